// The steps of a glTF import, shared by its two files: the skeleton (GltfImport.cpp) and the
// animations (ImportAnimation.cpp), each written out through the asset JSON form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "AssetJson.h"
#include "GltfFrame.h"
#include "GltfImport.h"
#include "TinyGltf.h"

namespace zk_gltf::importing {

using NZelkarAsset::Json;
using Vec4 = std::array<double, 4>;

[[noreturn]] inline void Fail(const std::string& name, const std::string& where,
                              const std::string& reason) {
  throw std::runtime_error(name + ": " + where + ": " + reason);
}

// Text taken from a file, cut to a length that suits a one-line message (a buffer's base64 or a
// name can run to kilobytes).
inline std::string Excerpt(const std::string& text, size_t limit = 80) {
  return text.size() <= limit ? text : text.substr(0, limit) + "...";
}

inline std::string At(const char* list, size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

// The elements of an accessor as doubles, normalised integers turned into [-1, 1] or [0, 1]:
// `type` is the element type required (TINYGLTF_TYPE_*), `normalisedInts` whether integer
// components are accepted (normalised ones only). Every offset is checked; a fault throws as
// Fail, naming `user` (what reads the accessor).
std::vector<double> ReadAccessor(const tinygltf::Model& model, int index, int type,
                                 bool normalisedInts, const std::string& name,
                                 const std::string& user);

// A real as the library stores it: rounded to float.
inline Json Real(double v) { return static_cast<double>(static_cast<float>(v)); }

// A name's bytes as the asset JSON spells them: each byte one character U+0000..U+00FF.
Json NameJson(const std::string& name);

// The bytes of the library file a JSON description gives; name labels a refusal.
std::vector<uint8_t> FileBytes(const Json& json, const std::string& name);

// A node's own transform as glTF gives it (its matrix split when it has one).
STrs NodeTrs(const tinygltf::Node& node);

// A static transform that follows a joint's own (the non-joint nodes up to its parent joint):
// uniform scale k, rotation q, translation t, in glTF's frame.
struct SFold {
  double k = 1;
  Vec4 q{0, 0, 0, 1};
  double t[3] = {0, 0, 0};
};

// The joints that become the hierarchy's nodes, parents first.
struct SSkeleton {
  int skin = -1;             // -1: the whole node tree
  std::vector<int> joints;   // node of each joint
  std::vector<int> jointOf;  // per node: its place in joints, or -1
  std::vector<std::string> names;
  std::vector<SFold> folds;   // per joint
  std::vector<bool> carried;  // per joint: not a joint of the skin, taken in for its animation
};

// What an import left out, counted over every animation.
struct SIgnored {
  size_t morphs = 0;
  size_t channels = 0;  // channels of nodes that are not joints
};

// Values of glTF's frame (with a joint's fold) in the library's frame.
class CConverter {
 public:
  CConverter(const SFrame& frame, const SFold& fold) : m_frame(frame), m_fold(fold) {}

  // A translation (or, with offset false, a tangent of one) into the library's frame.
  Vec4 Translation(const double* v, bool offset = true) const;
  Vec4 Rotation(const double* v) const;
  Vec4 Scale(const double* v) const;

 private:
  // glTF (x, y, z) in the library's Z-up axes: (x, -z, y), or (x, z, y) for a magnitude.
  Vec4 Axes(const double* v, double scale, int sign) const;
  SFrame m_frame;
  SFold m_fold;
};

// The scene of animation `animation` (SIZE_MAX: the rest pose) on the skeleton.
SImportedScene ImportScene(const tinygltf::Model& model, const SSkeleton& skeleton,
                           size_t animation, const SImportOptions& options, const std::string& name,
                           SIgnored& ignored);

}  // namespace zk_gltf::importing
