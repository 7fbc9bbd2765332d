// The chunked binary format of hierarchy and scene files, as read: the chunk and record ids, the
// record sizes, a bounds-checked chunk walker and the readers of transforms and key records.
// What the records become (nodes, controllers, IK chains) is built by the loader above.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "files/DiskReader.h"
#include "foundation/Exceptions.h"
#include "foundation/Math.h"

namespace NSceneFormat {

// The 22 characters every file starts with; a zero byte follows them.
inline constexpr const char* kHeaderText = "[[ZELKAR:SCENE:HDR]]!!";
inline constexpr std::uint32_t kHeaderSize = 23;

// Chunk classes and the subclasses that matter for them.
enum EChunkId : uint32_t {
  kClassObject = 6,
  kSubclassObject = 21,
  kClassTransform = 7,
  kSubclassPRS = 28,
  kSubclassLinkConstraints = 29,
  kSubclassPRSSampled = 33,
  kClassPosition = 8,
  kSubclassPositionVector = 26,
  kSubclassPositionXYZ = 31,
  kClassRotation = 9,
  kSubclassRotationQuaternion = 27,
  kSubclassLookAt = 30,
  kSubclassEulerXYZ = 32,
  kClassScale = 10,
  kClassFloat = 11,
  kSubclassFloat = 24,
  kClassIKChain = 12,
  kSubclassIKChain = 20,
  kClassTrack = 13,
  kClassHierarchy = 18,
  kClassSceneRange = 20,
  kSubclassTransformNode = 47,
  kSubclassPositionScaleNode = 48,
};

// The subclass of a track chunk.
enum EKeyType : uint32_t {
  kKeyPositionBezier = 35,
  kKeyRotationBezier = 36,
  kKeyScaleBezier = 37,
  kKeyFloatBezier = 38,
  kKeyPositionTCB = 39,
  kKeyRotationTCB = 40,
  kKeyScaleTCB = 41,
  kKeyFloatTCB = 42,
  kKeyPositionLinear = 43,
  kKeyRotationLinear = 44,
  kKeyScaleLinear = 45,
  kKeyFloatLinear = 46,
};

constexpr uint32_t kChunkIdLength = 8;
// Id length, class, subclass and payload length.
constexpr uint32_t kChunkHeaderSize = 16;
// The smallest record behind a count: an empty string and one 4-byte word.
constexpr uint32_t kNamedWordSize = 1 + 4;
// Header, empty name, node id, parent id, 12 floats of transform, kind.
constexpr uint32_t kMinNodeRecordSize = 16 + 1 + 4 + 4 + 48 + 4;
// Time and 12 floats of transform.
constexpr uint32_t kSampleRecordSize = 4 + 48;
// Node trees are walked and destroyed recursively; a file that nests deeper than any real
// skeleton or car would exhaust the host thread's stack, so it is refused instead.
constexpr uint32_t kMaxNodeDepth = 1024;

// Record sizes per key class: the time, the value fields and the extras of the record.
constexpr uint32_t kTcbSize = 5 * 4;
constexpr uint32_t kAxisAngleSize = 4 * 4;
template <class Key>
inline constexpr uint32_t kKeyRecordSize = 0;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearFloat> = 4 + 4;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierFloat> = 4 + 4 + 2 * 8;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBFloat> = 4 + 4 + kTcbSize;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearPosition> = 4 + 12;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierPosition> = 4 + 12 + 6 * 8;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBPosition> = 4 + 12 + kTcbSize;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearRotation> = 4 + kAxisAngleSize;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierRotation> = 4 + kAxisAngleSize;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBRotation> = 4 + kAxisAngleSize + kTcbSize;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearScale> = 4 + 12 + kAxisAngleSize;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierScale> = 4 + 12 + kAxisAngleSize + 4 * 12;
template <>
inline constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBScale> = 4 + 12 + kAxisAngleSize + kTcbSize;

// ---- Chunks ---------------------------------------------------------------------------------

struct SChunk {
  uint32_t start;  // first header byte
  uint32_t cls;
  uint32_t subclass;
  uint32_t payload;  // first payload byte
  uint32_t end;      // payload + payload length
};

// Walks chunks over a bounds-checked reader: refuses an id length other than 8, a chunk that
// reaches past its parent, contents that run past their chunk and counts that promise more
// records than the bytes left could hold.
class CChunkWalker {
 public:
  CChunkWalker(CDiskReader& reader, const char* context) : m_reader(reader), m_context(context) {}

  [[noreturn]] void Fail(uint32_t offset, const std::string& problem) const {
    throw CZK_Exception(std::string(m_context) + " " + m_reader.GetName() + ", offset " +
                        std::to_string(offset) + ": " + problem);
  }

  // Reads the id length and id of a chunk or node record starting at the cursor.
  void ReadId(uint32_t start, uint32_t& cls, uint32_t& subclass) {
    const uint32_t idLength = m_reader.ReadU32();
    if (idLength != kChunkIdLength) FailIdLength(start, idLength);
    cls = m_reader.ReadU32();
    subclass = m_reader.ReadU32();
  }

  [[noreturn, gnu::noinline, gnu::cold]] void FailIdLength(uint32_t start,
                                                           uint32_t idLength) const {
    Fail(start, "chunk id length " + std::to_string(idLength) + " where 8 is expected");
  }

  // Reads a chunk header; the whole chunk must end at or before limit. Inlined where chunks are
  // walked: a loaded object is eight chunks.
  [[gnu::always_inline]] SChunk ReadChunk(uint32_t limit) {
    // The whole header must be there: its four words are read with one check.
    if (m_reader.BytesLeft() < kChunkHeaderSize) ReadShortHeader();
    SChunk chunk;
    chunk.start = m_reader.Tell();
    const uint8_t* p = m_reader.GetCurrentPointer();
    const uint32_t idLength = NDiskBytes::LoadU32(p);
    chunk.cls = NDiskBytes::LoadU32(p + 4);
    chunk.subclass = NDiskBytes::LoadU32(p + 8);
    const uint32_t length = NDiskBytes::LoadU32(p + 12);
    if (idLength != kChunkIdLength) FailIdLength(chunk.start, idLength);
    chunk.payload = chunk.start + kChunkHeaderSize;
    m_reader.Seek(chunk.payload);
    if (chunk.payload > limit || length > limit - chunk.payload) FailReach(chunk, length, limit);
    chunk.end = chunk.payload + length;
    return chunk;
  }

  // A header cut short by the end of the buffer: read field by field, the reader refuses it
  // where it ends (a wrong id length found first is refused as such).
  [[noreturn, gnu::noinline, gnu::cold]] void ReadShortHeader() {
    const uint32_t start = m_reader.Tell();
    uint32_t cls, subclass;
    ReadId(start, cls, subclass);
    m_reader.ReadU32();
    Fail(start, "chunk header cut short");  // not reached: fewer than 16 bytes were left
  }

  [[noreturn, gnu::noinline, gnu::cold]] void FailReach(const SChunk& chunk, uint32_t length,
                                                        uint32_t limit) const {
    Fail(chunk.start, "chunk of class " + std::to_string(chunk.cls) + ", subclass " +
                          std::to_string(chunk.subclass) + " with " + std::to_string(length) +
                          " payload bytes reaches past offset " + std::to_string(limit));
  }

  // Refuses contents read past the chunk's end.
  void CheckInside(const SChunk& chunk) const {
    if (m_reader.Tell() > chunk.end) FailOverrun(chunk);
  }

  [[noreturn, gnu::noinline, gnu::cold]] void FailOverrun(const SChunk& chunk) const {
    Fail(chunk.start, "the contents of the chunk of class " + std::to_string(chunk.cls) +
                          ", subclass " + std::to_string(chunk.subclass) +
                          " run past its end at offset " + std::to_string(chunk.end));
  }

  // Moves the cursor to the chunk's end, skipping what was not read.
  void Leave(const SChunk& chunk) {
    CheckInside(chunk);
    m_reader.Seek(chunk.end);
  }

  // Refuses unless count records of at least recordSize bytes fit between the cursor and limit.
  void RequireRecords(uint64_t count, uint32_t recordSize, uint32_t limit, const char* what) const {
    const uint32_t at = m_reader.Tell();
    const uint64_t left = at <= limit ? limit - at : 0;
    if (count * recordSize > left) {
      Fail(at, std::to_string(count) + " " + what + " need at least " +
                   std::to_string(count * recordSize) + " bytes, " + std::to_string(left) +
                   " are left");
    }
  }

 private:
  CDiskReader& m_reader;
  const char* m_context;
};

// Reads and compares the 23-byte header; a short buffer is a wrong header too.
inline void CheckHeader(CDiskReader& reader, const char* message) {
  char header[kHeaderSize];
  if (reader.BytesLeft() < sizeof(header)) throw CZK_Exception(message);
  reader.ReadBytes(header, sizeof(header));
  if (std::memcmp(header, kHeaderText, sizeof(header)) != 0) throw CZK_Exception(message);
}

// A transform stored as 3 columns of 4 (the translation in row 3); the fourth column is
// 0, 0, 0, 1. Written as rows of three into out (4 × 3 floats).
inline void ReadTransformRows(CDiskReader& reader, float* out) {
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 4; ++row) out[row * 3 + column] = reader.ReadF32();
  }
}

inline Matrix ReadTransform(CDiskReader& reader) {
  float rows[12];
  ReadTransformRows(reader, rows);
  Matrix m;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 3; ++column) m.m[row * 4 + column] = rows[row * 3 + column];
    m.m[row * 4 + 3] = row == 3 ? 1.0f : 0.0f;
  }
  return m;
}

// ---- Key records ----------------------------------------------------------------------------

// Reads key records in place, field after field, from bytes that the caller has checked lie
// inside the track chunk: no per-field bounds checks and no calls out of this file.
class CRecordCursor {
 public:
  explicit CRecordCursor(const uint8_t* p) : m_p(p) {}
  // Inlined into the key loops whatever the compiler's budget: a value returned from a call
  // goes through the stack.
  [[gnu::always_inline]] float ReadF32() {
    const float value = NDiskBytes::LoadF32(m_p);
    m_p += 4;
    return value;
  }
  [[gnu::always_inline]] Vector3 ReadVector3() {
    const float x = ReadF32();
    const float y = ReadF32();
    return {x, y, ReadF32()};
  }

 private:
  const uint8_t* m_p;
};

// Relative rotation keys: the running angle sum and the running product of the key rotations.
struct SRotationRun {
  bool first = true;
  float angleSum = 0.0f;
  Quaternion product = kIdentityQuaternion;
};

// Writes the quaternion of an axis-angle record into out. Inlined into every key loop: a
// quaternion returned by value from a call goes through the stack in halves and is read back
// whole, which costs a store-forwarding stall per key.
[[gnu::always_inline]] inline void ReadAxisAngle(CRecordCursor& reader, Quaternion& out) {
  const float angle = reader.ReadF32();
  const Vector3 axis = reader.ReadVector3();
  // Scale axes are nearly always stored unrotated. The sine of a zero is that zero and its
  // cosine 1, exactly (IEEE 754), so skipping the library calls keeps every bit, signs of zero
  // included.
  if (angle == 0.0f) {
    const float s = angle * 0.5f;
    out = {axis.x * s, axis.y * s, axis.z * s, 1.0f};
  } else {
    out = QuaternionFromAxisAngle(axis, angle);
  }
}

inline BezierTangent ReadTangent(CRecordCursor& reader) {
  BezierTangent t;
  t.dt = reader.ReadF32();
  t.dv = reader.ReadF32();
  return t;
}

inline void ReadTcb(CRecordCursor& reader, CZK_KeyFrameTCBBase& key) {
  key.tension = reader.ReadF32();
  key.continuity = reader.ReadF32();
  key.bias = reader.ReadF32();
  key.easeIn = reader.ReadF32();
  key.easeOut = reader.ReadF32();
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearFloat& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadF32();
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierFloat& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadF32();
  key.inTangent = ReadTangent(reader);
  key.outTangent = ReadTangent(reader);
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBFloat& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadF32();
  ReadTcb(reader, key);
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearPosition& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadVector3();
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierPosition& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadVector3();
  // The exporter writes the tangents of the axes in the order x, z, y.
  static constexpr int kAxisOrder[3] = {0, 2, 1};
  for (int axis : kAxisOrder) key.inTangent[axis] = ReadTangent(reader);
  for (int axis : kAxisOrder) key.outTangent[axis] = ReadTangent(reader);
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBPosition& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadVector3();
  ReadTcb(reader, key);
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearRotation& key, SRotationRun&) {
  key.time = reader.ReadF32();
  ReadAxisAngle(reader, key.rotation);
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierRotation& key, SRotationRun&) {
  key.time = reader.ReadF32();
  ReadAxisAngle(reader, key.rotation);
}

// The stored angle is relative to the previous key: keyAxisAngle carries the running angle sum
// about this key's axis, rotation the product of all key rotations so far (the absolute
// orientation at the key).
inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBRotation& key, SRotationRun& run) {
  key.time = reader.ReadF32();
  const float angle = reader.ReadF32();
  const Vector3 axis = reader.ReadVector3();
  ReadTcb(reader, key);
  run.angleSum = run.first ? angle : run.angleSum + angle;
  run.first = false;
  key.keyAxisAngle = QuaternionFromAxisAngle(axis, run.angleSum);
  const Quaternion step = QuaternionFromAxisAngle(axis, angle);
  D3DXQuaternionMultiply(&run.product, &run.product, &step);
  key.rotation = run.product;
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearScale& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.scale = reader.ReadVector3();
  ReadAxisAngle(reader, key.axis);
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierScale& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.scale = reader.ReadVector3();
  ReadAxisAngle(reader, key.axis);
  // The four vectors come in the order third, first, fourth, second.
  static constexpr int kVectorOrder[4] = {2, 0, 3, 1};
  for (int slot : kVectorOrder) key.tangents[slot] = reader.ReadVector3();
}

inline void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBScale& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.scale = reader.ReadVector3();
  ReadAxisAngle(reader, key.axis);
  ReadTcb(reader, key);
}

}  // namespace NSceneFormat
