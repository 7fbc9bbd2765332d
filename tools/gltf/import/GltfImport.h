// Reads glTF 2.0 (.gltf with its .bin files, or .glb) into the library's hierarchy and scene
// files: a skin's joints (or the whole node tree) become hierarchy nodes at their rest pose's
// world transforms, and each animation a scene of "<node>::PRS" objects.
//
// What a glTF viewer shows is what the library plays: a joint's transform includes the nodes
// between it and its parent joint (or the scene root) that are not joints themselves, and
// `node.matrix` where a node gives one. Channels become tracks as follows:
//
//   glTF interpolation  translation             rotation                 scale
//   LINEAR              linear keys             linear keys (slerp)      linear keys
//   STEP                linear keys, each value held by a second key one float step before
//                       the next key (the library's segment of under 0.0001 s keeps its start)
//   CUBICSPLINE         Bezier keys with the    linear keys resampled    linear keys resampled
//                       Hermite tangents        until within 1e-6 of     until within 1e-6 of
//                       (control points at a    the curve                the curve
//                       third of each segment)
//
// Bezier position segments run along the same cubic as glTF's Hermite segment (the library
// tabulates each at 32 points). Rotation and scale cannot use the library's curved tracks: its
// Bezier rotation keys carry no tangents and its TCB tangents come from tension, continuity and
// bias rather than from the file, and it does not evaluate Bezier scale.
//
// Every track holds its first and last values outside its keys, or, with `loop`, spans 0 to the
// animation's last key (held out to both) and repeats; key times are kept as they are and the
// scene runs from 0 to the animation's last key.
//
// A node that is no joint but is animated and lies above joints (root motion on the armature
// node) joins the hierarchy as a node of its own, with its own tracks, so that the joints move
// with it as a viewer shows them. Each scene keeps the source animation's name (SceneSource.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GltfFrame.h"

namespace tinygltf {
class Model;
}

namespace zk_gltf {

struct SImportOptions {
  std::string animation;  // a name or an index; empty: every animation
  int skin = -1;          // -1: the first skin, or the whole node tree when there is none
  SFrame frame;           // the library frame wanted: Z up or Y up, and its unit in metres
  bool loop = false;      // tracks repeat with the animation's period instead of holding
  std::string
      sourcePath;  // kept in each scene for export --mesh-from (SceneSource.h); may be empty
};

struct SImportedScene {
  std::string animationName;
  std::vector<uint8_t> bytes;  // the scene file
  size_t objects = 0;
  float end = 0;
};

struct SImport {
  std::vector<uint8_t> hierarchy;  // the hierarchy file
  size_t nodes = 0;
  std::vector<SImportedScene> scenes;
  std::vector<std::string> notes;  // what was left out, one line each
};

// Reads a file; .glb is told from .gltf by its first four bytes. Throws std::runtime_error
// "<path>: <JSON path or byte offset>: <reason>" for a file that cannot be imported.
void LoadGltf(const std::string& path, tinygltf::Model* model);
// The same from bytes in memory; external files are looked up in baseDir (none when empty).
void ParseGltf(const std::vector<uint8_t>& bytes, const std::string& name,
               const std::string& baseDir, tinygltf::Model* model);

SImport ImportModel(const tinygltf::Model& model, const SImportOptions& options,
                    const std::string& name);

// Writes the hierarchy and the scenes (the first at scenePath, the k-th after it at
// "<scenePath without .zka>_<k>.zka"), all or none; returns one line per file written.
std::string WriteImport(const SImport& import, const std::string& hierarchyPath,
                        const std::string& scenePath);

// The skins and animations of a model, one per line.
std::string ListModel(const tinygltf::Model& model);

}  // namespace zk_gltf
