#include "animation/SceneLoader.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "characters/Character.h"
#include "characters/CharacterCar.h"
#include "characters/CharacterCoDriver.h"
#include "characters/CharacterDriver.h"
#include "characters/CharacterManager.h"
#include "controllers/AnimationController.h"
#include "controllers/ConstraintControllers.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "foundation/Exceptions.h"
#include "foundation/Math.h"
#include "interface/LibraryGlobal.h"
#include "scenegraph/IKChain.h"
#include "scenegraph/Node.h"

namespace {

const char kSceneContext[] = "[CZK_3DSMAXAnimationLoader::LoadSceneFromBuf]";
const char kHierarchyContext[] = "[CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf]";

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
constexpr uint32_t kKeyRecordSize = 0;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearFloat> = 4 + 4;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierFloat> = 4 + 4 + 2 * 8;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBFloat> = 4 + 4 + kTcbSize;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearPosition> = 4 + 12;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierPosition> = 4 + 12 + 6 * 8;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBPosition> = 4 + 12 + kTcbSize;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearRotation> = 4 + kAxisAngleSize;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierRotation> = 4 + kAxisAngleSize;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBRotation> = 4 + kAxisAngleSize + kTcbSize;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameLinearScale> = 4 + 12 + kAxisAngleSize;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameBezierScale> = 4 + 12 + kAxisAngleSize + 4 * 12;
template <>
constexpr uint32_t kKeyRecordSize<CZK_KeyFrameTCBScale> = 4 + 12 + kAxisAngleSize + kTcbSize;

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// base followed by suffix, built in one allocation of the exact size: the name is then moved
// into its controller without another copy.
std::string JoinName(std::string_view base, std::string_view suffix) {
  // Sized at once and copied into: appending checks the room and the length at every step.
  std::string name(base.size() + suffix.size(), '\0');
  base.copy(name.data(), base.size());
  suffix.copy(name.data() + base.size(), suffix.size());
  return name;
}

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
void CheckHeader(CDiskReader& reader, const char* message) {
  char header[CZK_3DSMAXAnimationLoader::kHeaderSize];
  if (reader.BytesLeft() < sizeof(header)) throw CZK_Exception(message);
  reader.ReadBytes(header, sizeof(header));
  if (std::memcmp(header, CZK_3DSMAXAnimationLoader::kHeaderText, sizeof(header)) != 0)
    throw CZK_Exception(message);
}

// A transform stored as 3 columns of 4 (the translation in row 3); the fourth column is
// 0, 0, 0, 1. Written as rows of three into out (4 × 3 floats).
void ReadTransformRows(CDiskReader& reader, float* out) {
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 4; ++row) out[row * 3 + column] = reader.ReadF32();
  }
}

Matrix ReadTransform(CDiskReader& reader) {
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

BezierTangent ReadTangent(CRecordCursor& reader) {
  BezierTangent t;
  t.dt = reader.ReadF32();
  t.dv = reader.ReadF32();
  return t;
}

void ReadTcb(CRecordCursor& reader, CZK_KeyFrameTCBBase& key) {
  key.tension = reader.ReadF32();
  key.continuity = reader.ReadF32();
  key.bias = reader.ReadF32();
  key.easeIn = reader.ReadF32();
  key.easeOut = reader.ReadF32();
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearFloat& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadF32();
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierFloat& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadF32();
  key.inTangent = ReadTangent(reader);
  key.outTangent = ReadTangent(reader);
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBFloat& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadF32();
  ReadTcb(reader, key);
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearPosition& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadVector3();
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierPosition& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadVector3();
  // The exporter writes the tangents of the axes in the order x, z, y.
  static constexpr int kAxisOrder[3] = {0, 2, 1};
  for (int axis : kAxisOrder) key.inTangent[axis] = ReadTangent(reader);
  for (int axis : kAxisOrder) key.outTangent[axis] = ReadTangent(reader);
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBPosition& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.value = reader.ReadVector3();
  ReadTcb(reader, key);
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearRotation& key, SRotationRun&) {
  key.time = reader.ReadF32();
  ReadAxisAngle(reader, key.rotation);
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierRotation& key, SRotationRun&) {
  key.time = reader.ReadF32();
  ReadAxisAngle(reader, key.rotation);
}

// The stored angle is relative to the previous key: keyAxisAngle carries the running angle sum
// about this key's axis, rotation the product of all key rotations so far (the absolute
// orientation at the key).
void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBRotation& key, SRotationRun& run) {
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

void ReadKey(CRecordCursor& reader, CZK_KeyFrameLinearScale& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.scale = reader.ReadVector3();
  ReadAxisAngle(reader, key.axis);
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameBezierScale& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.scale = reader.ReadVector3();
  ReadAxisAngle(reader, key.axis);
  // The four vectors come in the order third, first, fourth, second.
  static constexpr int kVectorOrder[4] = {2, 0, 3, 1};
  for (int slot : kVectorOrder) key.tangents[slot] = reader.ReadVector3();
}

void ReadKey(CRecordCursor& reader, CZK_KeyFrameTCBScale& key, SRotationRun&) {
  key.time = reader.ReadF32();
  key.scale = reader.ReadVector3();
  ReadAxisAngle(reader, key.axis);
  ReadTcb(reader, key);
}

// ---- Track kinds ----------------------------------------------------------------------------

// For each value kind: the controller that holds one such track, the three track classes and the
// key types that make them (the Bezier type; TCB and linear follow 4 and 8 above it).
constexpr const char* kKindNames[4] = {"a position", "a rotation", "a scale", "a float"};

template <class ControllerClass, class BaseClass, class BezierClass, class TCBClass,
          class LinearClass, uint32_t bezierKeyType>
struct STrackKind {
  using Controller = ControllerClass;
  using Base = BaseClass;
  using Bezier = BezierClass;
  using TCB = TCBClass;
  using Linear = LinearClass;
  static constexpr uint32_t kBezier = bezierKeyType;
  static constexpr uint32_t kTCB = bezierKeyType + 4;
  static constexpr uint32_t kLinear = bezierKeyType + 8;
  static constexpr const char* kName = kKindNames[bezierKeyType - kKeyPositionBezier];
};

using SFloatKind =
    STrackKind<CZK_AnimationControllerFloat, CZK_AnimTrackFloat, CZK_AnimTrackFloatBezier,
               CZK_AnimTrackFloatTCB, CZK_AnimTrackFloatLinear, kKeyFloatBezier>;
using SPositionKind = STrackKind<CZK_AnimationControllerPositionVector, CZK_AnimTrackPosition,
                                 CZK_AnimTrackPositionBezier, CZK_AnimTrackPositionTCB,
                                 CZK_AnimTrackPositionLinear, kKeyPositionBezier>;
using SRotationKind = STrackKind<CZK_AnimationControllerRotationQuaternion, CZK_AnimTrackRotation,
                                 CZK_AnimTrackRotationBezier, CZK_AnimTrackRotationTCB,
                                 CZK_AnimTrackRotationLinear, kKeyRotationBezier>;
using SScaleKind =
    STrackKind<CZK_AnimationControllerScale, CZK_AnimTrackScale, CZK_AnimTrackScaleBezier,
               CZK_AnimTrackScaleTCB, CZK_AnimTrackScaleLinear, kKeyScaleBezier>;

// ---- Scene files ----------------------------------------------------------------------------

// One pass over a scene buffer. Everything it builds is either handed to the controller manager
// at once or held by a unique_ptr until it is, so an exception leaks nothing; what the manager
// has already taken is removed by the caller with TruncateTo.
class CSceneParser {
 public:
  CSceneParser(CDiskReader& reader, CZK_ControllerManager& manager, const std::string& prefix,
               const std::string& sceneName)
      : m_reader(reader),
        m_walker(reader, kSceneContext),
        m_manager(manager),
        m_prefix(prefix),
        m_sceneName(sceneName) {}

  void ReadChunks(std::string& objectName, uint32_t& sceneRangeIndex);

 private:
  void ReadController(const SChunk& chunk, std::string&& name);

  CZK_AnimationControllerPRS* ReadPRS(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerPRS* ReadLinkConstraints(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerPRS* ReadPRSSampled(std::string&& name, const SChunk& chunk);
  void ReadTransformSlots(CZK_AnimationControllerPRS& prs, const SChunk& chunk);
  CZK_AnimationControllerPositionBase* ReadPosition(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerRotationBase* ReadRotation(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerRotationBase* ReadLookAt(std::string&& name, const SChunk& chunk);
  template <class Composite>
  Composite* ReadAxes(std::string&& name, const SChunk& chunk);
  void ReadIKChain(const SChunk& chunk);

  // A controller whose payload is one track chunk; a chunk of another class than 13 leaves it
  // without a track.
  template <class Kind>
  typename Kind::Controller* ReadTrackController(std::string&& name, const SChunk& chunk);
  template <class Kind>
  std::unique_ptr<typename Kind::Base> ReadTrackOfKind(const SChunk& chunk);
  template <class Track>
  std::unique_ptr<Track> ReadTrack(const SChunk& chunk);
  [[noreturn]] void RefuseKeyType(const SChunk& chunk, const char* kind) const;

  template <class Controller>
  Controller* Register(std::unique_ptr<Controller> controller);

  CDiskReader& m_reader;
  CChunkWalker m_walker;
  CZK_ControllerManager& m_manager;
  const std::string& m_prefix;
  const std::string& m_sceneName;
  // The scene is added right before the file's first controller: a file that registers no
  // controller (a header alone, a time range alone) leaves the scene list as it was.
  bool m_sceneAdded = false;
};

void CSceneParser::ReadChunks(std::string& objectName, uint32_t& sceneRangeIndex) {
  const uint32_t size = m_reader.GetSize();
  while (!m_reader.IsAtEnd()) {
    const SChunk chunk = m_walker.ReadChunk(size);
    if (chunk.cls == kClassObject && chunk.subclass == kSubclassObject) {
      objectName.assign(m_reader.ReadStringView());
      const SChunk controller = m_walker.ReadChunk(chunk.end);
      ReadController(controller, JoinName(m_prefix, objectName));
      m_walker.Leave(controller);
    } else if (chunk.cls == kClassSceneRange) {
      SceneRecord record;
      record.name = m_sceneName;
      record.start = m_reader.ReadF32();
      record.end = m_reader.ReadF32();
      m_walker.CheckInside(chunk);
      sceneRangeIndex = static_cast<uint32_t>(m_manager.AddSceneRecord(record));
    }
    m_walker.Leave(chunk);
  }
}

void CSceneParser::ReadController(const SChunk& chunk, std::string&& name) {
  switch (chunk.cls) {
    case kClassTransform:
      if (chunk.subclass == kSubclassPRS) {
        ReadPRS(std::move(name), chunk);
      } else if (chunk.subclass == kSubclassLinkConstraints) {
        ReadLinkConstraints(std::move(name), chunk);
      } else if (chunk.subclass == kSubclassPRSSampled) {
        ReadPRSSampled(std::move(name), chunk);
      }
      break;
    case kClassPosition:
      ReadPosition(std::move(name), chunk);
      break;
    case kClassRotation:
      ReadRotation(std::move(name), chunk);
      break;
    case kClassScale:
      ReadTrackController<SScaleKind>(std::move(name), chunk);
      break;
    case kClassFloat:
      if (chunk.subclass == kSubclassFloat) {
        ReadTrackController<SFloatKind>(std::move(name), chunk);
      }
      break;
    case kClassIKChain:
      if (chunk.subclass == kSubclassIKChain) ReadIKChain(chunk);
      break;
    default:
      break;
  }
}

CZK_AnimationControllerPRS* CSceneParser::ReadPRS(std::string&& name, const SChunk& chunk) {
  auto prs = std::make_unique<CZK_AnimationControllerPRS>(std::move(name));
  ReadTransformSlots(*prs, chunk);
  return Register(std::move(prs));
}

CZK_AnimationControllerPRS* CSceneParser::ReadLinkConstraints(std::string&& name,
                                                              const SChunk& chunk) {
  auto link = std::make_unique<CZK_AnimationControllerLinkConstraints>(std::move(name));
  const int32_t count = m_reader.ReadS32();
  if (count > 0) {
    m_walker.RequireRecords(static_cast<uint64_t>(count), kNamedWordSize, chunk.end, "links");
    for (int32_t i = 0; i < count; ++i) {
      CZK_ConstraintTarget entry;
      entry.name = m_reader.ReadString();
      entry.key = m_reader.ReadF32();
      entry.slot = -1;
      link->AddLink(entry);
    }
  }
  ReadTransformSlots(*link, chunk);
  return Register(std::move(link));
}

CZK_AnimationControllerPRS* CSceneParser::ReadPRSSampled(std::string&& name, const SChunk& chunk) {
  auto sampled = std::make_unique<CZK_AnimationControllerPRSSampled>(std::move(name));
  const uint32_t count = m_reader.ReadU32();
  m_walker.RequireRecords(count, kSampleRecordSize, chunk.end, "samples");
  auto times = std::make_unique<float[]>(count);
  for (uint32_t i = 0; i < count; ++i) times[i] = m_reader.ReadF32();
  constexpr uint32_t kFloats = CZK_AnimationControllerPRSSampled::kFloatsPerSample;
  auto samples = std::make_unique<float[]>(static_cast<size_t>(count) * kFloats);
  for (uint32_t i = 0; i < count; ++i)
    ReadTransformRows(m_reader, &samples[static_cast<size_t>(i) * kFloats]);
  sampled->SetSamples(count, std::move(samples), std::move(times));
  return Register(std::move(sampled));
}

// The position, rotation and scale sub-chunks, in that order; a sub-chunk of an unexpected class
// leaves its slot empty.
void CSceneParser::ReadTransformSlots(CZK_AnimationControllerPRS& prs, const SChunk& chunk) {
  const std::string& name = prs.GetName();
  const SChunk position = m_walker.ReadChunk(chunk.end);
  if (position.cls == kClassPosition)
    prs.SetPosition(ReadPosition(JoinName(name, "::pos"), position));
  m_walker.Leave(position);

  const SChunk rotation = m_walker.ReadChunk(chunk.end);
  if (rotation.cls == kClassRotation)
    prs.SetRotation(ReadRotation(JoinName(name, "::rot"), rotation));
  m_walker.Leave(rotation);

  const SChunk scale = m_walker.ReadChunk(chunk.end);
  if (scale.cls == kClassScale) {
    prs.SetScale(ReadTrackController<SScaleKind>(JoinName(name, "::scale"), scale));
  }
  m_walker.Leave(scale);
}

CZK_AnimationControllerPositionBase* CSceneParser::ReadPosition(std::string&& name,
                                                                const SChunk& chunk) {
  if (chunk.subclass == kSubclassPositionVector) {
    return ReadTrackController<SPositionKind>(std::move(name), chunk);
  }
  if (chunk.subclass == kSubclassPositionXYZ)
    return ReadAxes<CZK_AnimationControllerPositionXYZ>(std::move(name), chunk);
  return nullptr;
}

CZK_AnimationControllerRotationBase* CSceneParser::ReadRotation(std::string&& name,
                                                                const SChunk& chunk) {
  switch (chunk.subclass) {
    case kSubclassRotationQuaternion:
      return ReadTrackController<SRotationKind>(std::move(name), chunk);
    case kSubclassLookAt:
      return ReadLookAt(std::move(name), chunk);
    case kSubclassEulerXYZ:
      return ReadAxes<CZK_AnimationControllerEulerXYZ>(std::move(name), chunk);
    default:
      return nullptr;
  }
}

CZK_AnimationControllerRotationBase* CSceneParser::ReadLookAt(std::string&& name,
                                                              const SChunk& chunk) {
  auto lookAt = std::make_unique<CZK_AnimationControllerRotationLookAt>(std::move(name));
  const int32_t count = m_reader.ReadS32();
  if (count > 0) {
    m_walker.RequireRecords(static_cast<uint64_t>(count), kNamedWordSize, chunk.end, "targets");
    for (int32_t i = 0; i < count; ++i) {
      CZK_ConstraintTarget target;
      target.name = m_reader.ReadString();
      target.key = m_reader.ReadF32();
      target.slot = 0;
      lookAt->AddTarget(target);
    }
  }
  uint32_t words[CZK_AnimationControllerRotationLookAt::kParameterCount];
  for (uint32_t& word : words) word = m_reader.ReadU32();
  lookAt->SetParameters(words);
  return Register(std::move(lookAt));
}

// Three axis chunks x, y, z, each holding one float track chunk; the axis chunk's id is not
// examined.
template <class Composite>
Composite* CSceneParser::ReadAxes(std::string&& name, const SChunk& chunk) {
  static constexpr const char* kAxisNames[3] = {"::x", "::y", "::z"};
  auto composite = std::make_unique<Composite>(std::move(name));
  for (int axis = 0; axis < 3; ++axis) {
    const SChunk axisChunk = m_walker.ReadChunk(chunk.end);
    composite->SetAxis(axis, ReadTrackController<SFloatKind>(
                                 JoinName(composite->GetName(), kAxisNames[axis]), axisChunk));
    m_walker.Leave(axisChunk);
  }
  return Register(std::move(composite));
}

// Four (string, word) pairs that are not kept, then the two segment lengths.
void CSceneParser::ReadIKChain(const SChunk& chunk) {
  auto chain = std::make_unique<CZK_IKChain>();
  for (int i = 0; i < 4; ++i) {
    m_reader.ReadString();
    m_reader.ReadU32();
  }
  const float upper = m_reader.ReadF32();
  const float lower = m_reader.ReadF32();
  chain->SetLengths(upper, lower);
  m_walker.CheckInside(chunk);
  const int before = m_manager.GetIKChainCount();
  try {
    m_manager.AddIKChain(chain.get());
  } catch (...) {
    if (m_manager.GetIKChainCount() > before) chain.release();
    throw;
  }
  chain.release();
}

template <class Kind>
typename Kind::Controller* CSceneParser::ReadTrackController(std::string&& name,
                                                             const SChunk& chunk) {
  auto controller = std::make_unique<typename Kind::Controller>(std::move(name));
  const SChunk track = m_walker.ReadChunk(chunk.end);
  // SetTrack takes the track's first reference; the controller owns it from here on.
  if (track.cls == kClassTrack) controller->SetTrack(ReadTrackOfKind<Kind>(track).release());
  m_walker.Leave(track);
  return Register(std::move(controller));
}

// A key type that belongs to another kind of controller is refused: building, say, a position
// track under a float controller would hand the controller a track it cannot sample.
void CSceneParser::RefuseKeyType(const SChunk& chunk, const char* kind) const {
  m_walker.Fail(chunk.start, "key type " + std::to_string(chunk.subclass) + " does not belong to " +
                                 kind + " controller");
}

template <class Kind>
std::unique_ptr<typename Kind::Base> CSceneParser::ReadTrackOfKind(const SChunk& chunk) {
  switch (chunk.subclass) {
    case Kind::kBezier:
      return ReadTrack<typename Kind::Bezier>(chunk);
    case Kind::kTCB:
      return ReadTrack<typename Kind::TCB>(chunk);
    case Kind::kLinear:
      return ReadTrack<typename Kind::Linear>(chunk);
    default:
      RefuseKeyType(chunk, Kind::kName);
  }
}

// before, after, the key count and the keys in file order; Prepare runs once all are in.
template <class Track>
std::unique_ptr<Track> CSceneParser::ReadTrack(const SChunk& chunk) {
  using Key = typename Track::KeyType;
  auto track = std::make_unique<Track>();
  const uint32_t before = m_reader.ReadU32();
  const uint32_t after = m_reader.ReadU32();
  const uint32_t count = m_reader.ReadU32();
  m_walker.RequireRecords(count, kKeyRecordSize<Key>, chunk.end, "keys");
  // The count is known to fit in the chunk's bytes, so it cannot ask for more than the file.
  CRecordCursor records(m_reader.GetCurrentPointer());
  m_reader.Seek(m_reader.Tell() + count * kKeyRecordSize<Key>);
  SRotationRun run;
  track->AppendKeys(count, [&](Key& key) { ReadKey(records, key, run); });
  track->outOfRangeBefore = before;
  track->outOfRangeAfter = after;
  track->Prepare();
  return track;
}

// Hands the controller to the manager, children having gone before their parent. Should the
// manager fail while taking it, ownership follows whether its list grew.
template <class Controller>
Controller* CSceneParser::Register(std::unique_ptr<Controller> controller) {
  if (!m_sceneAdded) {
    m_manager.AddScene(m_sceneName);
    m_sceneAdded = true;
  }
  Controller* raw = controller.get();
  const int before = m_manager.GetControllerCount();
  try {
    m_manager.AddController(raw);
  } catch (...) {
    if (m_manager.GetControllerCount() > before) controller.release();
    throw;
  }
  controller.release();
  return raw;
}

// ---- Hierarchy files ------------------------------------------------------------------------

class CHierarchyParser {
 public:
  CHierarchyParser(CDiskReader& reader, CZK_Character& character, bool human)
      : m_reader(reader),
        m_walker(reader, kHierarchyContext),
        m_character(character),
        m_registry(*GetLibraryGlobal()->characterManager),
        m_human(human) {}

  void ReadChunks();

 private:
  void ReadNode(const SChunk& hierarchy);
  void MeasureTree();

  CDiskReader& m_reader;
  CChunkWalker m_walker;
  CZK_Character& m_character;
  CZK_CharacterManager& m_registry;
  bool m_human;
  // For every node id in the tree, the depth of the deepest node carrying it: a bound on the
  // depth of whatever node a child of that id is hung under.
  std::unordered_map<int32_t, uint32_t> m_depthById;
};

void CHierarchyParser::ReadChunks() {
  MeasureTree();
  const uint32_t size = m_reader.GetSize();
  while (!m_reader.IsAtEnd()) {
    const SChunk chunk = m_walker.ReadChunk(size);
    if (chunk.cls == kClassHierarchy) {
      const uint32_t count = m_reader.ReadU32();
      m_walker.RequireRecords(count, kMinNodeRecordSize, chunk.end, "node records");
      for (uint32_t i = 0; i < count; ++i) ReadNode(chunk);
    }
    m_walker.Leave(chunk);
  }
}

// The depths of the nodes the character already has (its root at least).
void CHierarchyParser::MeasureTree() {
  std::vector<std::pair<const CZK_Node*, uint32_t>> stack{{m_character.GetRoot(), 0}};
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    uint32_t& known = m_depthById[node->id];
    if (depth > known) known = depth;
    for (const CZK_Node* child : node->children) stack.emplace_back(child, depth + 1);
  }
}

void CHierarchyParser::ReadNode(const SChunk& hierarchy) {
  const uint32_t start = m_reader.Tell();
  uint32_t cls = 0;
  uint32_t subclass = 0;
  m_walker.ReadId(start, cls, subclass);
  m_reader.ReadU32();  // the record's payload length: the fields follow one another directly
  if (subclass != kSubclassTransformNode && subclass != kSubclassPositionScaleNode) {
    m_walker.Fail(start, "node record of subclass " + std::to_string(subclass) +
                             " where 47 (transform) or 48 (position and scale) is expected");
  }
  std::string name = m_reader.ReadString();
  const int32_t id = m_reader.ReadS32();
  const int32_t parentId = m_reader.ReadS32();
  const Matrix transform = ReadTransform(m_reader);
  const uint32_t kind = m_reader.ReadU32();
  if (m_reader.Tell() > hierarchy.end)
    m_walker.Fail(start, "node record runs past the end of its hierarchy chunk");

  const auto parentDepth = m_depthById.find(parentId);
  if (parentDepth == m_depthById.end()) {
    m_walker.Fail(start, "node \"" + name + "\" names parent id " + std::to_string(parentId) +
                             ", which is not in the tree");
  }
  const uint32_t depth = parentDepth->second + 1;
  if (depth > kMaxNodeDepth) {
    m_walker.Fail(start, "node \"" + name + "\" nests deeper than " +
                             std::to_string(kMaxNodeDepth) + " levels");
  }

  std::unique_ptr<CZK_Node> node;
  if (subclass == kSubclassPositionScaleNode) {
    node = std::make_unique<CZK_NodePS>(std::move(name), id, parentId);
  } else if (kind == kNodeBone) {
    node = std::make_unique<CZK_NodeBone>(std::move(name), id, parentId);
  } else if (m_human) {
    node = std::make_unique<CZK_NodeHumanPRS>(std::move(name), id, parentId);
  } else {
    node = std::make_unique<CZK_NodePRS>(std::move(name), id, parentId);
  }
  node->kind = kind;
  node->bindMatrix = transform;
  node->matrix = transform;

  try {
    m_character.AttachNode(node.get());
  } catch (...) {
    // AttachNode refuses before it hands the node to a parent; anything that fails later leaves
    // the node in the tree, which then owns it.
    const CZK_Node* parent = CZK_Node::FindNodeById(parentId, m_character.GetRoot());
    if (parent != nullptr) {
      for (const CZK_Node* child : parent->children) {
        if (child == node.get()) {
          node.release();
          break;
        }
      }
    }
    throw;
  }
  CZK_Node* attached = node.release();
  uint32_t& known = m_depthById[id];
  if (depth > known) known = depth;
  attached->registryIndex = m_registry.AddNode(attached);
}

// Restores a pointer field when a load ends, however it ends.
class CReaderScope {
 public:
  CReaderScope(CDiskReader*& field, CDiskReader* reader) : m_field(field), m_saved(field) {
    m_field = reader;
  }
  ~CReaderScope() { m_field = m_saved; }
  CReaderScope(const CReaderScope&) = delete;
  CReaderScope& operator=(const CReaderScope&) = delete;

 private:
  CDiskReader*& m_field;
  CDiskReader* m_saved;
};

CZK_Character* MakeCharacter(const std::string& name) { return new CZK_Character(name); }
CZK_Character* MakeHumanCharacter(const std::string& name) { return new CZK_CharacterHuman(name); }
CZK_Character* MakeCar(const std::string& name) { return new CZK_CharacterCar(name); }
CZK_Character* MakeDriver(const std::string& name) { return new CZK_CharacterDriver(name); }
CZK_Character* MakeCoDriver(const std::string& name) { return new CZK_CharacterCoDriver(name); }

}  // namespace

// ---- The loader -----------------------------------------------------------------------------

CZK_3DSMAXAnimationLoader::~CZK_3DSMAXAnimationLoader() = default;

void CZK_3DSMAXAnimationLoader::SetSceneName(const std::string& name) {
  m_sceneName = name;
  m_namePrefix = name + "::";
}

void CZK_3DSMAXAnimationLoader::LoadScene(const std::string& path, const std::string& sceneName,
                                          CDiskReader* reader) {
  m_path = path;
  std::unique_ptr<CDiskReader> own;
  if (reader != nullptr) {
    reader->Seek(0);
  } else {
    own = std::make_unique<CDiskReader>();
    own->Load(path);
    reader = own.get();
  }
  CReaderScope scope(m_reader, reader);
  SetSceneName(sceneName);
  LoadSceneFromBuf(reader);
  if (own != nullptr) own->Close();
}

void CZK_3DSMAXAnimationLoader::LoadSceneFromBuf(CDiskReader* reader) {
  if (reader == nullptr) throw CZK_Exception(std::string(kSceneContext) + " no reader");
  CReaderScope scope(m_reader, reader);
  CheckHeader(*reader,
              "[CZK_3DSMAXAnimationLoader::LoadSceneFromBuf] scene doesn't have a valid "
              "header..");
  CZK_ControllerManager& manager = *GetLibraryGlobal()->controllerManager;
  const CZK_ControllerManager::Counts mark = manager.GetCounts();
  const uint32_t sceneRangeIndex = m_sceneRangeIndex;
  try {
    CSceneParser parser(*reader, manager, m_namePrefix, m_sceneName);
    parser.ReadChunks(m_currentObjectName, m_sceneRangeIndex);
    manager.IndexControllerNames();
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    manager.TruncateTo(mark);
    m_sceneRangeIndex = sceneRangeIndex;
    throw CZK_Exception(std::string(kSceneContext) + " damaged scene file " + reader->GetName(), e);
  } catch (...) {
    manager.TruncateTo(mark);
    m_sceneRangeIndex = sceneRangeIndex;
    throw;
  }
}

void CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf(CDiskReader* reader, CZK_Character* character,
                                                     bool human) {
  if (reader == nullptr || character == nullptr)
    throw CZK_Exception(std::string(kHierarchyContext) + " no reader or no character");
  CReaderScope scope(m_reader, reader);
  CheckHeader(*reader,
              "[CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf] scene doesn't have a "
              "valid header..");
  CZK_CharacterManager& registry = *GetLibraryGlobal()->characterManager;
  const size_t mark = registry.GetNodeCount();
  try {
    CHierarchyParser parser(*reader, *character, human);
    parser.ReadChunks();
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    registry.TruncateNodes(mark);
    throw CZK_Exception(
        std::string(kHierarchyContext) + " damaged hierarchy file " + reader->GetName(), e);
  } catch (...) {
    registry.TruncateNodes(mark);
    throw;
  }
}

CZK_Character* CZK_3DSMAXAnimationLoader::CreateCharacter(const std::string& path,
                                                          const std::string& name,
                                                          const std::string& kind) {
  if (EqualsIgnoringCase(kind, "Car")) {
    // The car becomes the current one only once it is built: a car whose hierarchy is refused
    // is destroyed on the way out, and the car that was current stays current.
    CZK_Character* car = CreateCharacterOfKind(path, name, &MakeCar, false);
    GetLibraryGlobal()->currentCar = static_cast<CZK_CharacterCar*>(car);
    return car;
  }
  return CreateCharacterOfKind(path, name, &MakeCharacter, false);
}

CZK_Character* CZK_3DSMAXAnimationLoader::CreateHumanCharacter(const std::string& path,
                                                               const std::string&,
                                                               const std::string& name,
                                                               const std::string& kind) {
  if (EqualsIgnoringCase(kind, "Driver"))
    return CreateCharacterOfKind(path, name, &MakeDriver, true);
  if (EqualsIgnoringCase(kind, "CoDriver"))
    return CreateCharacterOfKind(path, name, &MakeCoDriver, true);
  return CreateCharacterOfKind(path, name, &MakeHumanCharacter, true);
}

// A character whose hierarchy cannot be read is destroyed before the exception goes on: it was
// never registered, nobody else holds it, and its root and nodes leave the node registry with it,
// so a failed creation leaves the library as it was.
CZK_Character* CZK_3DSMAXAnimationLoader::CreateCharacterOfKind(
    const std::string& path, const std::string& name,
    CZK_Character* (*make)(const std::string& name), bool human) {
  CZK_CharacterManager& registry = *GetLibraryGlobal()->characterManager;
  const size_t mark = registry.GetNodeCount();
  std::unique_ptr<CZK_Character> character;
  try {
    character.reset(make(name));
    m_path = path;
    auto reader = std::make_unique<CDiskReader>();
    reader->Load(path);
    CReaderScope scope(m_reader, reader.get());
    m_namePrefix = name + "::";
    LoadHierarchyFromBuf(reader.get(), character.get(), human);
    character->OnHierarchyLoaded();
    reader->Close();
  } catch (...) {
    registry.TruncateNodes(mark);
    throw;
  }
  return character.release();
}
