#include "AssetModel.h"

#include <cstring>
#include <iterator>

namespace NZelkarAsset {

namespace {

// The five TCB parameters, stored in this order from index first on.
#define ZA_TCB(first)                                                                            \
  KeyField{"tension", 1, 1, {first}}, KeyField{"continuity", 1, 1, {(first) + 1}},               \
      KeyField{"bias", 1, 1, {(first) + 2}}, KeyField{"easeIn", 1, 1, {(first) + 3}}, KeyField { \
    "easeOut", 1, 1, { (first) + 4 }                                                             \
  }

constexpr KeyField kTime{"time", 1, 1, {0}};

// Bezier position: the six (dt, dv) pairs are stored as the in-tangents of x, z, y and then the
// out-tangents of x, z, y; the JSON lists both in x, y, z order.
// Bezier scale: the four stored 3-vectors are the key's third, first, fourth and second tangent
// vectors; the JSON lists them first to fourth.
constexpr KeyTypeInfo kKeyTypes[] = {
    {35,
     "bezierPosition",
     ValueKind::Position,
     16,
     4,
     {kTime,
      {"value", 1, 3, {1, 2, 3}},
      {"inTangent", 3, 2, {4, 5, 8, 9, 6, 7}},
      {"outTangent", 3, 2, {10, 11, 14, 15, 12, 13}}}},
    {36,
     "bezierRotation",
     ValueKind::Rotation,
     5,
     3,
     {kTime, {"angle", 1, 1, {1}}, {"axis", 1, 3, {2, 3, 4}}}},
    {37,
     "bezierScale",
     ValueKind::Scale,
     20,
     5,
     {kTime,
      {"scale", 1, 3, {1, 2, 3}},
      {"angle", 1, 1, {4}},
      {"axis", 1, 3, {5, 6, 7}},
      {"tangents", 4, 3, {11, 12, 13, 17, 18, 19, 8, 9, 10, 14, 15, 16}}}},
    {38,
     "bezierFloat",
     ValueKind::Float,
     6,
     4,
     {kTime, {"value", 1, 1, {1}}, {"inTangent", 1, 2, {2, 3}}, {"outTangent", 1, 2, {4, 5}}}},
    {39, "tcbPosition", ValueKind::Position, 9, 7, {kTime, {"value", 1, 3, {1, 2, 3}}, ZA_TCB(4)}},
    // The stored angle of a TCB rotation key is relative to the previous key.
    {40,
     "tcbRotation",
     ValueKind::Rotation,
     10,
     8,
     {kTime, {"relativeAngle", 1, 1, {1}}, {"axis", 1, 3, {2, 3, 4}}, ZA_TCB(5)}},
    {41,
     "tcbScale",
     ValueKind::Scale,
     13,
     9,
     {kTime,
      {"scale", 1, 3, {1, 2, 3}},
      {"angle", 1, 1, {4}},
      {"axis", 1, 3, {5, 6, 7}},
      ZA_TCB(8)}},
    {42, "tcbFloat", ValueKind::Float, 7, 7, {kTime, {"value", 1, 1, {1}}, ZA_TCB(2)}},
    {43, "linearPosition", ValueKind::Position, 4, 2, {kTime, {"value", 1, 3, {1, 2, 3}}}},
    {44,
     "linearRotation",
     ValueKind::Rotation,
     5,
     3,
     {kTime, {"angle", 1, 1, {1}}, {"axis", 1, 3, {2, 3, 4}}}},
    {45,
     "linearScale",
     ValueKind::Scale,
     8,
     4,
     {kTime, {"scale", 1, 3, {1, 2, 3}}, {"angle", 1, 1, {4}}, {"axis", 1, 3, {5, 6, 7}}}},
    {46, "linearFloat", ValueKind::Float, 2, 2, {kTime, {"value", 1, 1, {1}}}},
};

#undef ZA_TCB

}  // namespace

const KeyTypeInfo* KeyTypesBegin() { return std::begin(kKeyTypes); }
const KeyTypeInfo* KeyTypesEnd() { return std::end(kKeyTypes); }

const KeyTypeInfo* FindKeyType(uint32_t keyType) {
  for (const KeyTypeInfo& info : kKeyTypes)
    if (info.keyType == keyType) return &info;
  return nullptr;
}

const KeyTypeInfo* FindKeyTypeByName(const std::string& name) {
  for (const KeyTypeInfo& info : kKeyTypes)
    if (name == info.name) return &info;
  return nullptr;
}

const char* ValueKindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::Float:
      return "float";
    case ValueKind::Position:
      return "position";
    case ValueKind::Rotation:
      return "rotation";
    case ValueKind::Scale:
      return "scale";
  }
  return "?";
}

bool ControllerTakesKeys(ControllerType type, ValueKind* kind) {
  switch (type) {
    case ControllerType::PositionVector:
      *kind = ValueKind::Position;
      return true;
    case ControllerType::RotationQuaternion:
      *kind = ValueKind::Rotation;
      return true;
    case ControllerType::Scale:
      *kind = ValueKind::Scale;
      return true;
    case ControllerType::Float:
    case ControllerType::PositionXYZ:
    case ControllerType::EulerXYZ:
      *kind = ValueKind::Float;
      return true;
    default:
      return false;
  }
}

uint32_t ControllerClass(const Controller& c) {
  switch (c.type) {
    case ControllerType::PRS:
    case ControllerType::LinkConstraints:
    case ControllerType::PRSSampled:
      return kClassTransform;
    case ControllerType::PositionVector:
    case ControllerType::PositionXYZ:
      return kClassPosition;
    case ControllerType::RotationQuaternion:
    case ControllerType::LookAt:
    case ControllerType::EulerXYZ:
      return kClassRotation;
    case ControllerType::Scale:
      return kClassScale;
    case ControllerType::Float:
      return kClassFloat;
    case ControllerType::IKChain:
      return kClassIKChain;
    case ControllerType::Raw:
      return c.raw.chunkClass;
  }
  return 0;
}

uint32_t ControllerSubclass(const Controller& c) {
  switch (c.type) {
    case ControllerType::PRS:
      return kSubclassPRS;
    case ControllerType::LinkConstraints:
      return kSubclassLink;
    case ControllerType::PRSSampled:
      return kSubclassPRSSampled;
    case ControllerType::PositionVector:
      return kSubclassPositionVector;
    case ControllerType::PositionXYZ:
      return kSubclassPositionXYZ;
    case ControllerType::RotationQuaternion:
      return kSubclassRotationQuaternion;
    case ControllerType::LookAt:
      return kSubclassLookAt;
    case ControllerType::EulerXYZ:
      return kSubclassEulerXYZ;
    case ControllerType::Scale:
      return c.scaleSubclass;
    case ControllerType::Float:
      return kSubclassFloat;
    case ControllerType::IKChain:
      return kSubclassIKChain;
    case ControllerType::Raw:
      return c.raw.subclass;
  }
  return 0;
}

const char* OutOfRangeName(uint32_t value) {
  static const char* const kNames[] = {"hold", "cycle", "loop", "pingPong"};
  return value < 4 ? kNames[value] : nullptr;
}

}  // namespace NZelkarAsset
