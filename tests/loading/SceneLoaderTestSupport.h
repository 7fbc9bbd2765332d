// Builds scene and hierarchy buffers in memory, byte for byte as the chunked disk writer lays them
// out (id length 8, class, subclass, payload length, payload), plus the matrices and quaternions
// the loader tests check against.
#pragma once

#include <gtest/gtest.h>
#include <zelkar/MathTypes.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zk_test {

class SceneBytes {
 public:
  // The 22 header characters and their zero.
  SceneBytes& Header() {
    for (char c : std::string("[[ZELKAR:SCENE:HDR]]!!")) bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
    return *this;
  }
  SceneBytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  SceneBytes& S32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  SceneBytes& F32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof(bits));
    return U32(bits);
  }
  SceneBytes& Str(const std::string& s) {
    for (char c : s) bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
    return *this;
  }
  SceneBytes& Vec3(float x, float y, float z) { return F32(x).F32(y).F32(z); }
  // The angle first, then the axis.
  SceneBytes& AxisAngle(float angle, float x, float y, float z) { return F32(angle).Vec3(x, y, z); }
  SceneBytes& Tcb(float tension, float continuity, float bias, float easeIn, float easeOut) {
    return F32(tension).F32(continuity).F32(bias).F32(easeIn).F32(easeOut);
  }
  // A 4×4 matrix (fourth column 0, 0, 0, 1) as the files store it: 3 columns of 4.
  SceneBytes& Transform(const Matrix& m) {
    for (int column = 0; column < 3; ++column)
      for (int row = 0; row < 4; ++row) F32(m.m[row * 4 + column]);
    return *this;
  }

  // Opens a chunk whose payload length End fills in.
  SceneBytes& Begin(uint32_t cls, uint32_t subclass) {
    U32(8).U32(cls).U32(subclass);
    open_.push_back(bytes.size());
    return U32(0xBABEFACEu);
  }
  SceneBytes& End() {
    const size_t at = open_.back();
    open_.pop_back();
    const auto length = static_cast<uint32_t>(bytes.size() - at - 4);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(length >> (8 * i));
    return *this;
  }

  // An object chunk's opening: the chunk and the object name. The controller chunk follows.
  SceneBytes& Object(const std::string& name) { return Begin(6, 21).Str(name); }
  // A track chunk's opening: key type, out-of-range kinds and key count. The keys follow.
  SceneBytes& Track(uint32_t keyType, uint32_t count, uint32_t before = 0, uint32_t after = 0) {
    return Begin(13, keyType).U32(before).U32(after).U32(count);
  }
  // A whole node record of a hierarchy chunk.
  SceneBytes& Node(uint32_t subclass, const std::string& name, int32_t id, int32_t parent,
                   const Matrix& transform, uint32_t kind) {
    U32(8).U32(0).U32(subclass).U32(0);
    return Str(name).S32(id).S32(parent).Transform(transform).U32(kind);
  }

  std::vector<uint8_t> bytes;

 private:
  std::vector<size_t> open_;
};

inline Matrix TestMatrix(float seed) {
  Matrix m{};
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 3; ++column) m.m[row * 4 + column] = seed + row * 3 + column;
  m.m[15] = 1.0f;
  return m;
}

inline Quaternion AxisAngleQuaternion(float angle, float x, float y, float z) {
  const float s = std::sin(angle / 2.0f);
  return {x * s, y * s, z * s, std::cos(angle / 2.0f)};
}

}  // namespace zk_test
