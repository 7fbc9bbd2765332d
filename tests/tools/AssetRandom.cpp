#ifdef ZELKAR_ASSET_CORE

#include "AssetRandom.h"

#include <bit>

namespace NZelkarAsset {

Document CRandomAsset::MakeDocument() {
  Document document;
  const uint32_t count = Below(7);
  for (uint32_t i = 0; i < count; ++i) document.chunks.push_back(MakeTop());
  return document;
}

F32 CRandomAsset::MakeReal() {
  static const F32 kSpecial[] = {
      0x00000000u, 0x80000000u,  // +0, -0
      0x7f800000u, 0xff800000u,  // infinities
      0x7fc00000u, 0x7fa00001u,  // quiet and signalling NaN
      0xffffffffu, 0x00000001u,  // NaN with every payload bit, smallest subnormal
      0x7f7fffffu, 0x3dcccccdu,  // largest finite, 0.1f
  };
  switch (Below(4)) {
    case 0:
      return kSpecial[Below(std::size(kSpecial))];
    case 1:
      return static_cast<F32>(m_rng());
    case 2:
      return std::bit_cast<F32>(static_cast<float>(static_cast<int>(Below(2001)) - 1000) / 8.0f);
    default:
      return std::bit_cast<F32>(std::uniform_real_distribution<float>(-2000.0f, 2000.0f)(m_rng));
  }
}

std::string CRandomAsset::MakeName() {
  const uint32_t length = Chance(3) ? 255 : Below(14);
  std::string name;
  for (uint32_t i = 0; i < length; ++i)
    name += static_cast<char>(Chance(80) ? 'A' + Below(58) : 1 + Below(255));
  return name;
}

Bytes CRandomAsset::MakeBytes(uint32_t maxCount) {
  Bytes bytes(Below(maxCount + 1));
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(m_rng());
  return bytes;
}

std::array<F32, 12> CRandomAsset::MakeRows() {
  std::array<F32, 12> rows;
  for (F32& value : rows) value = MakeReal();
  return rows;
}

RawChunk CRandomAsset::MakeRaw(uint32_t chunkClass, uint32_t subclass) {
  RawChunk raw;
  raw.chunkClass = chunkClass;
  raw.subclass = subclass;
  raw.payload = MakeBytes(24);
  return raw;
}

// A chunk that the readers do not take as a controller in this place.
RawChunk CRandomAsset::MakeUnknownController(Place place) {
  switch (place) {
    case Place::Position:  // a rotation controller, or class 8 with a foreign subclass
      return Chance(50) ? MakeRaw(kClassRotation, kSubclassRotationQuaternion)
                        : MakeRaw(kClassPosition, 40 + Below(100));
    case Place::Rotation:
      return Chance(50) ? MakeRaw(kClassPosition, kSubclassPositionVector)
                        : MakeRaw(kClassRotation, 40 + Below(100));
    case Place::Scale:
      return MakeRaw(kClassFloat, kSubclassFloat);
    case Place::Object:
      break;
  }
  return Chance(50) ? MakeRaw(kClassTransform, 40 + Below(100))
                    : MakeRaw(21 + Below(80), Below(60));
}

TrackSlot CRandomAsset::MakeSlot(ValueKind kind) {
  TrackSlot slot;
  if (Chance(10)) {
    slot.isRaw = true;
    if (Chance(50)) {
      // A track whose key type belongs to another value kind, or to no kind at all.
      uint32_t keyType = 35 + Below(14);
      while (keyType <= 46 && FindKeyType(keyType)->kind == kind) keyType = 35 + Below(14);
      slot.raw = MakeRaw(kClassTrack, keyType);
    } else {
      slot.raw = MakeRaw(Below(13), Below(50));
    }
    return slot;
  }
  const KeyTypeInfo* info;
  do {
    info = KeyTypesBegin() + Below(static_cast<uint32_t>(KeyTypesEnd() - KeyTypesBegin()));
  } while (info->kind != kind);
  Track& track = slot.track;
  track.keyType = info->keyType;
  track.before = Chance(90) ? Below(4) : static_cast<uint32_t>(m_rng());
  track.after = Chance(90) ? Below(4) : static_cast<uint32_t>(m_rng());
  track.values.resize(Below(5) * info->floatCount);
  for (F32& value : track.values) value = MakeReal();
  track.trailing = MakeTrailing();
  return slot;
}

Controller CRandomAsset::MakeController(Place place, int depth) {
  Controller c;
  static const ControllerType kPosition[] = {ControllerType::PositionVector,
                                             ControllerType::PositionXYZ};
  static const ControllerType kRotation[] = {ControllerType::RotationQuaternion,
                                             ControllerType::LookAt, ControllerType::EulerXYZ};
  static const ControllerType kAny[] = {
      ControllerType::PRS,         ControllerType::LinkConstraints,
      ControllerType::PRSSampled,  ControllerType::PositionVector,
      ControllerType::PositionXYZ, ControllerType::RotationQuaternion,
      ControllerType::LookAt,      ControllerType::EulerXYZ,
      ControllerType::Scale,       ControllerType::Float,
      ControllerType::IKChain};
  if (Chance(8)) {
    c.type = ControllerType::Raw;
    c.raw = MakeUnknownController(place);
    return c;
  }
  switch (place) {
    case Place::Position:
      c.type = kPosition[Below(2)];
      break;
    case Place::Rotation:
      c.type = kRotation[Below(3)];
      break;
    case Place::Scale:
      c.type = ControllerType::Scale;
      break;
    case Place::Object:
      do {
        c.type = kAny[Below(std::size(kAny))];
      } while (depth > 0 &&
               (c.type == ControllerType::PRS || c.type == ControllerType::LinkConstraints));
      break;
  }
  switch (c.type) {
    case ControllerType::LinkConstraints:
      for (uint32_t n = Below(4), i = 0; i < n; ++i) c.links.push_back({MakeName(), MakeReal()});
      if (c.links.empty() && Chance(30)) c.storedLinkCount = -static_cast<int32_t>(Below(5));
      [[fallthrough]];
    case ControllerType::PRS:
      c.parts.push_back(MakeController(Place::Position, depth + 1));
      c.parts.push_back(MakeController(Place::Rotation, depth + 1));
      c.parts.push_back(MakeController(Place::Scale, depth + 1));
      break;
    case ControllerType::PRSSampled:
      for (uint32_t n = Below(4), i = 0; i < n; ++i) c.samples.push_back({MakeReal(), MakeRows()});
      break;
    case ControllerType::Scale:
      if (Chance(30)) c.scaleSubclass = m_rng();
      [[fallthrough]];
    case ControllerType::PositionVector:
    case ControllerType::RotationQuaternion:
    case ControllerType::Float: {
      ValueKind kind;
      ControllerTakesKeys(c.type, &kind);
      c.slot = MakeSlot(kind);
      break;
    }
    case ControllerType::PositionXYZ:
    case ControllerType::EulerXYZ:
      for (int i = 0; i < 3; ++i) {
        Axis axis;
        if (Chance(20)) {
          axis.chunkClass = m_rng();
          axis.subclass = m_rng();
        }
        axis.slot = MakeSlot(ValueKind::Float);
        axis.trailing = MakeTrailing();
        c.axes.push_back(std::move(axis));
      }
      break;
    case ControllerType::LookAt:
      for (uint32_t n = Below(4), i = 0; i < n; ++i) c.targets.push_back({MakeName(), MakeReal()});
      if (c.targets.empty() && Chance(30)) c.storedTargetCount = -static_cast<int32_t>(Below(5));
      for (uint32_t& word : c.lookAtParams) word = Chance(80) ? Below(3) : m_rng();
      break;
    case ControllerType::IKChain:
      for (IKJoint& joint : c.joints) joint = {MakeName(), static_cast<uint32_t>(m_rng())};
      c.upperLength = MakeReal();
      c.lowerLength = MakeReal();
      break;
    case ControllerType::Raw:
      break;
  }
  c.trailing = MakeTrailing();
  return c;
}

Node CRandomAsset::MakeNode() {
  Node node;
  if (Chance(10)) node.chunkClass = m_rng();
  node.subclass = Chance(45) ? kNodeTransform : Chance(80) ? kNodePositionScale : m_rng();
  node.name = MakeName();
  node.id = static_cast<int32_t>(Chance(80) ? Below(100) : m_rng());
  node.parent = static_cast<int32_t>(Chance(80) ? Below(100) - 1 : m_rng());
  node.rows = MakeRows();
  node.kind = Chance(90) ? Below(4) : m_rng();
  if (Chance(10)) node.storedLength = m_rng();
  return node;
}

TopChunk CRandomAsset::MakeTop() {
  TopChunk top;
  const uint32_t pick = Below(100);
  if (pick < 60) {
    top.type = TopType::Object;
    top.name = MakeName();
    top.controller = MakeController(Place::Object, 0);
  } else if (pick < 72) {
    top.type = TopType::Range;
    top.subclass = Chance(70) ? 0 : m_rng();
    top.start = MakeReal();
    top.end = MakeReal();
  } else if (pick < 88) {
    top.type = TopType::Hierarchy;
    top.subclass = Chance(70) ? 0 : m_rng();
    for (uint32_t n = Below(6), i = 0; i < n; ++i) top.nodes.push_back(MakeNode());
  } else {
    // Any class the readers skip at the top, including object chunks of other subclasses.
    top.type = TopType::Raw;
    top.raw = Chance(30) ? MakeRaw(kClassObject, kSubclassObject + 1 + Below(10))
                         : MakeRaw(21 + Below(80), m_rng());
    return top;
  }
  top.trailing = MakeTrailing();
  return top;
}

}  // namespace NZelkarAsset

#endif
