// export --mesh-from: a glTF file's skinned meshes, to bind to the nodes an export plays.
//
// Every node with a mesh and a skin gives a mesh node at the scene's root; its mesh's primitives
// keep their attributes, indices and materials, and its skin its inverse bind matrices, with the
// joints named as the import names them (a node's name, or "node<index>" where it has none).
// Materials keep their factors, alpha mode and sidedness; textures are left out, as are morph
// targets and meshes without a skin. Vertex data and bind matrices stay in the source's glTF
// frame, so the export's --up and --units must be the import's: the played joints then sit
// where the source's do.
#pragma once

#include <string>
#include <vector>

#include "GltfWriter.h"

namespace tinygltf {
class Model;
}

namespace zk_gltf {

// Throws std::runtime_error "<name>: <reason>" for a file without a skinned mesh, or with a
// sparse accessor. notes: one line per thing left out.
SCopiedMeshes CopySkinnedMeshes(const tinygltf::Model& model, const std::string& name,
                                std::vector<std::string>* notes);

}  // namespace zk_gltf
