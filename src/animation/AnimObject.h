// Animated objects: named evaluation slots through which nodes and the host ask the controller
// manager for a float, a vector or a transform by index, without holding controller pointers.
#pragma once

#include <cstdint>
#include <string>
#include <typeinfo>

#include "foundation/Math.h"

// How an animated object gets its value.
enum EAnimObjectMode : uint32_t {
  kAnimObjectFromController = 0,  // computed from the controller at controllerIndex
  kAnimObjectFixed = 1,           // the stored value; the controller is not consulted
  kAnimObjectUnbound = 2,         // as constructed, before the manager binds it
};

class CZK_AnimObjectBase {
 public:
  explicit CZK_AnimObjectBase(const std::string& name) : name(name) {}
  CZK_AnimObjectBase(const CZK_AnimObjectBase&) = delete;
  CZK_AnimObjectBase& operator=(const CZK_AnimObjectBase&) = delete;
  virtual ~CZK_AnimObjectBase() = default;

  std::string name;
  int32_t controllerIndex = -1;
  uint32_t mode = kAnimObjectUnbound;
};

class CZK_AnimObjectFloat final : public CZK_AnimObjectBase {
 public:
  using CZK_AnimObjectBase::CZK_AnimObjectBase;
  float value = 0.0f;
};

class CZK_AnimObjectVector3 final : public CZK_AnimObjectBase {
 public:
  using CZK_AnimObjectBase::CZK_AnimObjectBase;
  Vector3 value = {0.0f, 0.0f, 0.0f};
};

// Transform slot (also used for scale queries). fixed is the local transform in fixed mode;
// world is the result of the slot's last transform evaluation.
class CZK_AnimObjectTM final : public CZK_AnimObjectBase {
 public:
  using CZK_AnimObjectBase::CZK_AnimObjectBase;
  Matrix fixed = g_IdentityMatrix;
  Matrix world = g_IdentityMatrix;
};

// The object as a transform slot, or null when it is none (or null). What a dynamic_cast gives,
// for the price of one type comparison: the class is final.
inline CZK_AnimObjectTM* AsTransformObject(CZK_AnimObjectBase* object) {
  return object != nullptr && typeid(*object) == typeid(CZK_AnimObjectTM)
             ? static_cast<CZK_AnimObjectTM*>(object)
             : nullptr;
}
