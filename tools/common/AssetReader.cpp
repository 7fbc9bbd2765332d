#include "AssetReader.h"

#include <cstring>

#include "AssetError.h"

namespace NZelkarAsset {

namespace {

struct ChunkHeader {
  size_t start;  // first byte of the chunk (its id length)
  uint32_t chunkClass;
  uint32_t subclass;
  size_t end;  // one past the last payload byte
};

// What a controller chunk stands in for, which decides the ids it may have.
enum class Place { Object, Position, Rotation, Scale };

class CReader {
 public:
  CReader(const uint8_t* data, size_t size, const std::string& name)
      : m_data(data), m_size(size), m_name(name) {}

  Document Read() {
    Document document;
    if (m_size < kHeaderSize)
      Fail(0, "file of " + std::to_string(m_size) + " bytes is shorter than the " +
                  std::to_string(kHeaderSize) + "-byte header");
    // The header text and its terminating zero are compared as kHeaderSize bytes.
    for (size_t i = 0; i < kHeaderSize; ++i)
      if (m_data[i] != static_cast<uint8_t>(kHeaderText[i]))
        Fail(i, "not a hierarchy or scene file: the header differs from \"" +
                    std::string(kHeaderText) + "\" and its zero");
    m_pos = kHeaderSize;
    while (m_pos < m_size) document.chunks.push_back(ReadTopChunk());
    return document;
  }

 private:
  [[noreturn]] void Fail(size_t offset, const std::string& what) const {
    throw CAssetError(m_name + ": byte " + std::to_string(offset) + ": " + what);
  }

  void Need(size_t count, size_t limit, const char* what) const {
    if (count > limit - m_pos)
      Fail(m_pos, std::string(what) + " needs " + std::to_string(count) + " bytes, " +
                      std::to_string(limit - m_pos) + " left in its chunk");
  }

  uint32_t U32(size_t limit, const char* what) {
    Need(4, limit, what);
    const uint8_t* p = m_data + m_pos;
    m_pos += 4;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  }

  F32 Real(size_t limit, const char* what) { return U32(limit, what); }

  std::string String(size_t limit, const char* what) {
    const void* zero = m_pos < limit ? std::memchr(m_data + m_pos, 0, limit - m_pos) : nullptr;
    if (!zero) Fail(m_pos, std::string(what) + " has no terminating zero inside its chunk");
    const size_t length = static_cast<const uint8_t*>(zero) - (m_data + m_pos);
    if (length > kMaxStringLength)
      Fail(m_pos, std::string(what) + " is " + std::to_string(length) +
                      " characters long; at most " + std::to_string(kMaxStringLength) +
                      " are allowed");
    std::string text(reinterpret_cast<const char*>(m_data + m_pos), length);
    m_pos += length + 1;
    return text;
  }

  Bytes Take(size_t limit) {
    Bytes bytes(m_data + m_pos, m_data + limit);
    m_pos = limit;
    return bytes;
  }

  ChunkHeader Header(size_t limit, const char* what) {
    ChunkHeader h{};
    h.start = m_pos;
    Need(kChunkHeaderSize, limit, what);
    const uint32_t idLength = U32(limit, what);
    if (idLength != kChunkIdLength)
      Fail(h.start, std::string(what) + " has an id length of " + std::to_string(idLength) +
                        "; the format uses " + std::to_string(kChunkIdLength));
    h.chunkClass = U32(limit, what);
    h.subclass = U32(limit, what);
    const uint32_t length = U32(limit, what);
    if (length > limit - m_pos)
      Fail(h.start + 12, std::string(what) + " (class " + std::to_string(h.chunkClass) +
                             ", subclass " + std::to_string(h.subclass) + ") claims " +
                             std::to_string(length) + " payload bytes, only " +
                             std::to_string(limit - m_pos) + " are left around it");
    h.end = m_pos + length;
    return h;
  }

  RawChunk Raw(const ChunkHeader& h, std::string note = {}) {
    RawChunk raw;
    raw.chunkClass = h.chunkClass;
    raw.subclass = h.subclass;
    raw.payload = Take(h.end);
    raw.note = std::move(note);
    return raw;
  }

  TopChunk ReadTopChunk() {
    const ChunkHeader h = Header(m_size, "chunk");
    TopChunk top;
    if (h.chunkClass == kClassObject && h.subclass == kSubclassObject) {
      top.type = TopType::Object;
      top.name = String(h.end, "object name");
      top.controller = ReadController(h.end, Place::Object);
    } else if (h.chunkClass == kClassRange) {
      top.type = TopType::Range;
      top.subclass = h.subclass;
      top.start = Real(h.end, "scene range start");
      top.end = Real(h.end, "scene range end");
    } else if (h.chunkClass == kClassHierarchy) {
      top.type = TopType::Hierarchy;
      top.subclass = h.subclass;
      const uint32_t count = U32(h.end, "node count");
      // No reservation from the count: a lying count fails at the end of the chunk instead.
      for (uint32_t i = 0; i < count; ++i) top.nodes.push_back(ReadNode(h.end));
    } else {
      top.raw = Raw(h);
      return top;
    }
    top.trailing = Take(h.end);
    return top;
  }

  Node ReadNode(size_t limit) {
    Node node;
    const size_t start = m_pos;
    Need(kChunkHeaderSize, limit, "node record");
    const uint32_t idLength = U32(limit, "node record");
    if (idLength != kChunkIdLength)
      Fail(start, "node record has an id length of " + std::to_string(idLength) +
                      "; the format uses " + std::to_string(kChunkIdLength));
    node.chunkClass = U32(limit, "node record");
    node.subclass = U32(limit, "node record");
    const uint32_t storedLength = U32(limit, "node record");
    // The record's length word is not used by readers: the fields follow one another and the
    // next record starts right after the last one, whatever the word says.
    node.name = String(limit, "node name");
    node.id = static_cast<int32_t>(U32(limit, "node id"));
    node.parent = static_cast<int32_t>(U32(limit, "node parent id"));
    ReadMatrix(limit, node.rows, "node transform");
    node.kind = U32(limit, "node kind");
    if (storedLength != m_pos - (start + kChunkHeaderSize)) node.storedLength = storedLength;
    return node;
  }

  // Stored as three columns of four (m00 m10 m20 m30, m01 ...); kept as four rows of three.
  void ReadMatrix(size_t limit, std::array<F32, 12>& rows, const char* what) {
    Need(48, limit, what);
    for (int column = 0; column < 3; ++column)
      for (int row = 0; row < 4; ++row) rows[row * 3 + column] = Real(limit, what);
  }

  static bool Accepts(Place place, uint32_t chunkClass, uint32_t subclass) {
    switch (place) {
      case Place::Position:
        return chunkClass == kClassPosition &&
               (subclass == kSubclassPositionVector || subclass == kSubclassPositionXYZ);
      case Place::Rotation:
        return chunkClass == kClassRotation &&
               (subclass == kSubclassRotationQuaternion || subclass == kSubclassLookAt ||
                subclass == kSubclassEulerXYZ);
      case Place::Scale:
        return chunkClass == kClassScale;
      case Place::Object:
        return true;
    }
    return false;
  }

  static bool Classify(uint32_t chunkClass, uint32_t subclass, ControllerType* type) {
    struct Entry {
      uint32_t chunkClass, subclass;
      ControllerType type;
    };
    static const Entry kTable[] = {
        {kClassTransform, kSubclassPRS, ControllerType::PRS},
        {kClassTransform, kSubclassLink, ControllerType::LinkConstraints},
        {kClassTransform, kSubclassPRSSampled, ControllerType::PRSSampled},
        {kClassPosition, kSubclassPositionVector, ControllerType::PositionVector},
        {kClassPosition, kSubclassPositionXYZ, ControllerType::PositionXYZ},
        {kClassRotation, kSubclassRotationQuaternion, ControllerType::RotationQuaternion},
        {kClassRotation, kSubclassLookAt, ControllerType::LookAt},
        {kClassRotation, kSubclassEulerXYZ, ControllerType::EulerXYZ},
        {kClassFloat, kSubclassFloat, ControllerType::Float},
        {kClassIKChain, kSubclassIKChain, ControllerType::IKChain},
    };
    if (chunkClass == kClassScale) {
      *type = ControllerType::Scale;
      return true;
    }
    for (const Entry& e : kTable)
      if (e.chunkClass == chunkClass && e.subclass == subclass) {
        *type = e.type;
        return true;
      }
    return false;
  }

  Controller ReadController(size_t limit, Place place) {
    const ChunkHeader h = Header(limit, "controller chunk");
    Controller c;
    if (!Classify(h.chunkClass, h.subclass, &c.type)) {
      c.type = ControllerType::Raw;
      c.raw = Raw(h);
      return c;
    }
    if (!Accepts(place, h.chunkClass, h.subclass)) {
      static const char* const kPlaceNames[] = {"object", "position", "rotation", "scale"};
      c.type = ControllerType::Raw;
      c.raw = Raw(h, std::string("not used in the ") + kPlaceNames[static_cast<int>(place)] +
                         " place of a transform controller");
      return c;
    }
    switch (c.type) {
      case ControllerType::PRS:
        ReadParts(h.end, c);
        break;
      case ControllerType::LinkConstraints: {
        const int32_t count = static_cast<int32_t>(U32(h.end, "link count"));
        if (count < 0) c.storedLinkCount = count;
        for (int32_t i = 0; i < count; ++i) {
          Link link;
          link.parent = String(h.end, "link parent name");
          link.start = Real(h.end, "link start time");
          c.links.push_back(std::move(link));
        }
        ReadParts(h.end, c);
        break;
      }
      case ControllerType::PRSSampled: {
        const size_t countAt = m_pos;
        const uint32_t count = U32(h.end, "sample count");
        const uint64_t needed = uint64_t{count} * (4 + 48);
        if (needed > h.end - m_pos)
          Fail(countAt, std::to_string(count) + " samples need " + std::to_string(needed) +
                            " bytes, only " + std::to_string(h.end - m_pos) +
                            " are left in the chunk");
        c.samples.resize(count);
        for (Sample& s : c.samples) s.time = Real(h.end, "sample time");
        for (Sample& s : c.samples) ReadMatrix(h.end, s.rows, "sample transform");
        break;
      }
      case ControllerType::PositionVector:
      case ControllerType::RotationQuaternion:
      case ControllerType::Scale:
      case ControllerType::Float: {
        ValueKind kind;
        ControllerTakesKeys(c.type, &kind);
        if (c.type == ControllerType::Scale) c.scaleSubclass = h.subclass;
        c.slot = ReadTrackSlot(h.end, kind);
        break;
      }
      case ControllerType::PositionXYZ:
      case ControllerType::EulerXYZ:
        for (int axis = 0; axis < 3; ++axis) {
          const ChunkHeader a = Header(h.end, "axis chunk");
          Axis item;
          item.chunkClass = a.chunkClass;
          item.subclass = a.subclass;
          item.slot = ReadTrackSlot(a.end, ValueKind::Float);
          item.trailing = Take(a.end);
          c.axes.push_back(std::move(item));
        }
        break;
      case ControllerType::LookAt: {
        const int32_t count = static_cast<int32_t>(U32(h.end, "look-at target count"));
        if (count < 0) c.storedTargetCount = count;
        for (int32_t i = 0; i < count; ++i) {
          Target target;
          target.name = String(h.end, "look-at target name");
          target.weight = Real(h.end, "look-at target weight");
          c.targets.push_back(std::move(target));
        }
        for (uint32_t& word : c.lookAtParams) word = U32(h.end, "look-at parameters");
        break;
      }
      case ControllerType::IKChain:
        for (IKJoint& joint : c.joints) {
          joint.name = String(h.end, "IK chain joint name");
          joint.id = U32(h.end, "IK chain joint id");
        }
        c.upperLength = Real(h.end, "IK chain upper length");
        c.lowerLength = Real(h.end, "IK chain lower length");
        break;
      case ControllerType::Raw:
        break;
    }
    c.trailing = Take(h.end);
    return c;
  }

  void ReadParts(size_t limit, Controller& c) {
    c.parts.push_back(ReadController(limit, Place::Position));
    c.parts.push_back(ReadController(limit, Place::Rotation));
    c.parts.push_back(ReadController(limit, Place::Scale));
  }

  TrackSlot ReadTrackSlot(size_t limit, ValueKind kind) {
    const ChunkHeader h = Header(limit, "track chunk");
    TrackSlot slot;
    const KeyTypeInfo* info = FindKeyType(h.subclass);
    if (h.chunkClass != kClassTrack || !info || info->kind != kind) {
      slot.isRaw = true;
      std::string note;
      if (h.chunkClass == kClassTrack)
        note = info ? std::string("key type ") + info->name + " does not fit a " +
                          ValueKindName(kind) + " controller"
                    : "unknown key type " + std::to_string(h.subclass);
      slot.raw = Raw(h, std::move(note));
      return slot;
    }
    Track& track = slot.track;
    track.keyType = h.subclass;
    track.before = U32(h.end, "track out-of-range before");
    track.after = U32(h.end, "track out-of-range after");
    const size_t countAt = m_pos;
    const uint32_t count = U32(h.end, "key count");
    const uint64_t needed = uint64_t{count} * info->floatCount * 4;
    if (needed > h.end - m_pos)
      Fail(countAt, std::to_string(count) + " " + info->name + " keys need " +
                        std::to_string(needed) + " bytes, only " + std::to_string(h.end - m_pos) +
                        " are left in the track chunk");
    track.values.resize(size_t{count} * info->floatCount);
    for (F32& value : track.values) value = Real(h.end, "key");
    track.trailing = Take(h.end);
    return slot;
  }

  const uint8_t* m_data;
  size_t m_size;
  const std::string& m_name;
  size_t m_pos = 0;
};

}  // namespace

Document ReadDocument(const uint8_t* data, size_t size, const std::string& name) {
  return CReader(data, size, name).Read();
}

}  // namespace NZelkarAsset
