// Writes what the library played as a glTF 2.0 binary file (.glb): the node tree, posed at the
// first frame, and one animation of every node's local transform at every frame; with bodies
// asked for, their meshes (BodyBuilder.h): a skinned mesh per person at the scene's root, bound
// in the first frame's pose, and the car's meshes on its nodes.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "AnimationRecorder.h"
#include "BodyBuilder.h"
#include "Recording.h"

namespace zk_gltf {

// The recording types live with the playback that makes them.
using zk_play::SNodeInfo;
using zk_play::SRecording;

// Another file's skinned meshes, to bind to the written nodes (MeshFrom.h reads them): its
// accessors packed tightly, its materials and meshes as glTF JSON whose accessor and material
// indices count within these lists, and its skins with their joints by name.
struct SCopiedAccessor {
  nlohmann::json accessor;  // componentType, count, type, normalized, min, max: no bufferView
  std::vector<uint8_t> bytes;
  int target = 0;  // the buffer view's target, or 0
};
struct SCopiedSkin {
  std::string name;
  std::vector<std::string> joints;  // the names of the nodes they bind to
  int inverseBindMatrices = -1;     // an accessor, or -1 for identities
};
struct SCopiedMeshes {
  std::vector<SCopiedAccessor> accessors;
  nlohmann::json materials = nlohmann::json::array(), meshes = nlohmann::json::array();
  std::vector<SCopiedSkin> skins;
  // Each a mesh node at the scene's root: its name, mesh, and skin.
  struct SNode {
    std::string name;
    int mesh = 0, skin = 0;
  };
  std::vector<SNode> nodes;
};

struct SWriteOptions {
  std::string animationName = "recording";
  float metresPerUnit = 1.0f;  // the library's world unit in metres (glTF is in metres)
  bool zUp = true;             // the library's files are Z up (as the samples), or already Y up
  // Characters that get bodies (BodyBuilder.h), and each recorded node's hierarchy kind.
  std::vector<SBodySource> bodies;
  std::vector<int> nodeKinds;
  // Meshes of the source file bound to the nodes of the same names, or none.
  const SCopiedMeshes* meshFrom = nullptr;
};

// Writes a .glb: one buffer, the node tree with the first frame's pose, one animation with
// translation and rotation channels (and scale where it is not 1) holding the local transforms
// recovered from consecutive world matrices (local = world · parent world⁻¹), carried into glTF's
// frame as GltfFrame.h describes. A channel that changes value only between frames one float
// step apart (a scene's steps, recorded on both sides) and holds it otherwise is written as STEP
// keys at its changes. Written to a temporary file and renamed, so a failure leaves no
// partial file. Throws std::runtime_error naming the path and the reason.
void WriteGlb(const SRecording& recording, const std::string& path,
              const SWriteOptions& options = {});
// The same from keys (CAnimationRecorder); the animation's frame change and units are already
// applied, so only options.animationName and the bodies are read.
void WriteGlb(const SKeyedAnimation& animation, const std::string& path,
              const SWriteOptions& options = {});
// The bytes that file holds, for a writer that puts them in place itself; path only names the
// file in errors.
std::vector<unsigned char> GlbBytes(const SKeyedAnimation& animation, const std::string& path,
                                    const SWriteOptions& options = {});

}  // namespace zk_gltf
