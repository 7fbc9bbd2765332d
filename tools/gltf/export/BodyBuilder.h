// Bodies for the recorded skeletons, so that a .glb shows people in a car rather than empties.
//
// A person gets one skinned mesh built in the pose of the first frame: a closed, smooth shape per
// bone (a tapered capsule along each bone to its child, an elliptic torso, a head, a palm and
// the fingers where the skeleton has finger bones), with weights that blend into the parent
// bone at a shape's start and into the child at its end, so joints bend without tearing. Every
// size is a fraction of the skeleton's own bone lengths and spans, measured in that pose.
//
// A car gets rigid meshes on its nodes: a body shell with its glass on "body", a wheel on each
// hub ("e_wheelgrunk_*"), the steering wheel on "zDi_steeringwheel" and an arm on each outer
// wiper ("e_wiper_*"), sized from where the car's nodes sit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AnimationRecorder.h"

namespace zk_gltf {

enum class EBodyKind { kHuman, kCar };

// A character whose recorded nodes are [first, first + count).
struct SBodySource {
  std::string name;
  EBodyKind kind = EBodyKind::kHuman;
  std::size_t first = 0, count = 0;
};

struct SBodyMaterial {
  std::string name;
  float colour[4] = {1, 1, 1, 1};
  bool blend = false;  // see-through (the car's glass)
};

// One primitive: positions and normals (in the mesh node's space, glTF's frame, metres),
// triangles, and for a skinned mesh four joints (indices into SBodyMesh::joints) and weights
// (0..255, summing to 255) per vertex.
struct SBodyPart {
  int material = 0;
  std::vector<float> positions, normals;
  std::vector<uint16_t> joints;
  std::vector<uint8_t> weights;
  std::vector<uint32_t> indices;
};

struct SBodyMesh {
  std::string name;
  int node = -1;                           // the node it rides on; -1: skinned, at the scene root
  std::vector<std::size_t> joints;         // skinned: the recorded nodes of the skin
  std::vector<float> inverseBindMatrices;  // 16 per joint, glTF's column-major order
  std::vector<SBodyPart> parts;
};

struct SBodies {
  std::vector<SBodyMaterial> materials;
  std::vector<SBodyMesh> meshes;
};

// nodeKinds: per recorded node its hierarchy kind (2 marks a bone, which alone gets a shape in a
// person), or -1. A source with no bone, or a car without the nodes named above, gets nothing.
SBodies BuildBodies(const SKeyedAnimation& animation, const std::vector<SBodySource>& sources,
                    const std::vector<int>& nodeKinds);

}  // namespace zk_gltf
