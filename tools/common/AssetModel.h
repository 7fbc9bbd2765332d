// In-memory model of a hierarchy or scene file: every chunk, field and key exactly as stored, so
// that a file read into it and written back gives the same bytes. Reals are kept as their 32-bit
// patterns (F32) so that NaN payloads and negative zeros survive unchanged.
//
// The JSON form (AssetJson.h), the bounded reader (AssetReader.h), the writer (AssetWriter.h) and
// the tools built on them (zelkar-asset, the glTF import, the node names of the players) all work
// on this model.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace NZelkarAsset {

using Bytes = std::vector<uint8_t>;
using F32 = uint32_t;  // bit pattern of an IEEE single

// The 22 header characters; the file holds them followed by one zero byte.
inline constexpr char kHeaderText[] = "[[ZELKAR:SCENE:HDR]]!!";
inline constexpr uint32_t kHeaderSize = 23;
inline constexpr uint32_t kChunkIdLength = 8;
inline constexpr uint32_t kChunkHeaderSize = 16;  // id length, class, subclass, payload length
inline constexpr uint32_t kMaxStringLength = 255;

// Chunk classes and subclasses of the format.
inline constexpr uint32_t kClassObject = 6, kSubclassObject = 21;
inline constexpr uint32_t kClassTransform = 7, kSubclassPRS = 28, kSubclassLink = 29,
                          kSubclassPRSSampled = 33;
inline constexpr uint32_t kClassPosition = 8, kSubclassPositionVector = 26,
                          kSubclassPositionXYZ = 31;
inline constexpr uint32_t kClassRotation = 9, kSubclassRotationQuaternion = 27,
                          kSubclassLookAt = 30, kSubclassEulerXYZ = 32;
inline constexpr uint32_t kClassScale = 10;
inline constexpr uint32_t kClassFloat = 11, kSubclassFloat = 24;
inline constexpr uint32_t kClassIKChain = 12, kSubclassIKChain = 20;
inline constexpr uint32_t kClassTrack = 13;
inline constexpr uint32_t kClassHierarchy = 18;
inline constexpr uint32_t kClassRange = 20;
inline constexpr uint32_t kNodeTransform = 47, kNodePositionScale = 48;

// Ids the format leaves free ("any"). These are what the tool writes when the JSON does not say:
// a scale controller takes the free subclass between the float (24) and position-vector (26)
// controllers, an axis chunk is labelled as the float controller it holds, and node records
// carry the class of the hierarchy chunk around them.
inline constexpr uint32_t kDefaultScaleSubclass = 25;
inline constexpr uint32_t kDefaultAxisClass = kClassFloat, kDefaultAxisSubclass = kSubclassFloat;
inline constexpr uint32_t kDefaultNodeClass = kClassHierarchy;
inline constexpr uint32_t kDefaultRangeSubclass = 0, kDefaultHierarchySubclass = 0;

// A chunk kept as its id and payload bytes: one the format does not define at its place, or one
// whose contents do not fit there (a track whose key type belongs to another value kind).
struct RawChunk {
  uint32_t chunkClass = 0;
  uint32_t subclass = 0;
  Bytes payload;
  std::string note;  // why the reader kept it raw; informational, never written
};

enum class ValueKind { Float, Position, Rotation, Scale };

struct Track {
  uint32_t keyType = 0;  // 35..46
  uint32_t before = 0, after = 0;
  std::vector<F32> values;  // keys one after another, KeyTypeInfo::floatCount values each
  Bytes trailing;           // bytes after the last key, up to the end of the chunk
};

// What a single-track controller or an axis holds: a track chunk or some other chunk.
struct TrackSlot {
  bool isRaw = false;
  Track track;
  RawChunk raw;
};

// One axis of a position-XYZ or Euler-XYZ controller: a chunk whose id is not examined, holding
// the float track.
struct Axis {
  uint32_t chunkClass = kDefaultAxisClass;
  uint32_t subclass = kDefaultAxisSubclass;
  TrackSlot slot;
  Bytes trailing;
};

struct Link {
  std::string parent;
  F32 start = 0;
};

struct Target {
  std::string name;
  F32 weight = 0;
};

struct IKJoint {
  std::string name;
  uint32_t id = 0;
};

struct Sample {
  F32 time = 0;
  std::array<F32, 12> rows{};  // four rows of three; row 3 is the translation
};

enum class ControllerType {
  PRS,
  LinkConstraints,
  PRSSampled,
  PositionVector,
  PositionXYZ,
  RotationQuaternion,
  LookAt,
  EulerXYZ,
  Scale,
  Float,
  IKChain,
  Raw,
};

inline constexpr int kLookAtParamCount = 9;

struct Controller {
  ControllerType type = ControllerType::Raw;
  uint32_t scaleSubclass = kDefaultScaleSubclass;  // Scale only
  TrackSlot slot;                            // PositionVector, RotationQuaternion, Scale, Float
  std::vector<Axis> axes;                    // PositionXYZ, EulerXYZ: x, y, z
  std::vector<Controller> parts;             // PRS, LinkConstraints: position, rotation, scale
  std::vector<Link> links;                   // LinkConstraints
  std::optional<int32_t> storedLinkCount;    // a count of 0 or less with no links after it
  std::vector<Target> targets;               // LookAt
  std::optional<int32_t> storedTargetCount;  // as storedLinkCount
  std::array<uint32_t, kLookAtParamCount> lookAtParams{};
  std::vector<Sample> samples;           // PRSSampled
  std::array<IKJoint, 4> joints;         // IKChain
  F32 upperLength = 0, lowerLength = 0;  // IKChain
  RawChunk raw;                          // Raw
  Bytes trailing;                        // payload bytes after the controller's contents
};

struct Node {
  uint32_t chunkClass = kDefaultNodeClass;
  uint32_t subclass = kNodeTransform;
  std::optional<uint32_t> storedLength;  // a payload length other than the record's true size
  std::string name;
  int32_t id = 0;
  int32_t parent = -1;
  std::array<F32, 12> rows{};  // four rows of three; row 3 is the translation
  uint32_t kind = 0;
};

enum class TopType { Object, Range, Hierarchy, Raw };

struct TopChunk {
  TopType type = TopType::Raw;
  uint32_t subclass = 0;    // Range, Hierarchy
  std::string name;         // Object
  Controller controller;    // Object
  F32 start = 0, end = 0;   // Range
  std::vector<Node> nodes;  // Hierarchy
  RawChunk raw;             // Raw
  Bytes trailing;
};

struct Document {
  std::vector<TopChunk> chunks;
};

// Key record layouts. A record is the key's time followed by floatCount - 1 further reals; each
// field names a group of those reals in the order a reader of the JSON expects (per axis x, y, z;
// tangents first to fourth), with index giving each one's place in the stored record.
struct KeyField {
  const char* name;
  uint8_t rows;  // 1 for a scalar or a plain vector
  uint8_t cols;
  uint8_t index[12];
};

struct KeyTypeInfo {
  uint32_t keyType;
  const char* name;
  ValueKind kind;
  uint8_t floatCount;
  uint8_t fieldCount;
  KeyField fields[10];
};

const KeyTypeInfo* FindKeyType(uint32_t keyType);
const KeyTypeInfo* FindKeyTypeByName(const std::string& name);
// Every key type, in ascending order of its value.
const KeyTypeInfo* KeyTypesBegin();
const KeyTypeInfo* KeyTypesEnd();

const char* ValueKindName(ValueKind kind);
// The value kind whose tracks a controller type holds (Float for the axes of XYZ and Euler).
bool ControllerTakesKeys(ControllerType type, ValueKind* kind);

// The class and subclass a controller is written with.
uint32_t ControllerClass(const Controller& controller);
uint32_t ControllerSubclass(const Controller& controller);

// Names of the out-of-range kinds 0..3; null for other values.
const char* OutOfRangeName(uint32_t value);

}  // namespace NZelkarAsset
