// Track base classes: a time-ordered list of keys of one value kind, sampled by controllers.
// Tracks are shared by reference count; the concrete linear, Bezier and TCB classes live in
// their own headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/Math.h"
#include "foundation/ObjectPool.h"

// Seven f32: the scale factors, then the scale-axis orientation.
struct ScaleValue {
  float x, y, z;
  Quaternion axis;
};
constexpr ScaleValue kIdentityScaleValue = {1.0f, 1.0f, 1.0f, {0.0f, 0.0f, 0.0f, 1.0f}};

// What a track does for times at or beyond its ends.
enum EOutOfRange : uint32_t { Hold = 0, Cycle = 1, Loop = 2, PingPong = 3 };

class CZK_AnimTrackBase {
 public:
  CZK_AnimTrackBase() = default;
  CZK_AnimTrackBase(const CZK_AnimTrackBase&) = delete;
  CZK_AnimTrackBase& operator=(const CZK_AnimTrackBase&) = delete;
  virtual ~CZK_AnimTrackBase() = default;

  // Tracks come from the object pool, as controllers do (see foundation/ObjectPool.h).
  static void* operator new(std::size_t size) { return NObjectPool::Allocate(size); }
  static void operator delete(void* p, std::size_t size) noexcept { NObjectPool::Free(p, size); }

  // Called once after the last key is added and the out-of-range kinds are set.
  virtual void Prepare() = 0;
  // Slot 2, Evaluate, is declared by the four value-kind classes below.

  uint32_t outOfRangeBefore = Hold;
  uint32_t outOfRangeAfter = Hold;

  // Reference counting: controllers take a track with AddRef and let go with Release, which
  // destroys the track when the count goes from 1 to 0.
  void AddRef() { ++m_refCount; }
  void Release() {
    if (--m_refCount == 0) delete this;
  }
  uint32_t GetRefCount() const { return m_refCount; }

 private:
  uint32_t m_refCount = 0;
};

class CZK_AnimTrackFloat : public CZK_AnimTrackBase {
 public:
  virtual float Evaluate(float time) const = 0;
};

class CZK_AnimTrackPosition : public CZK_AnimTrackBase {
 public:
  virtual Vector3* Evaluate(Vector3* out, float time) const = 0;
};

class CZK_AnimTrackRotation : public CZK_AnimTrackBase {
 public:
  virtual Quaternion* Evaluate(Quaternion* out, float time) const = 0;
};

class CZK_AnimTrackScale : public CZK_AnimTrackBase {
 public:
  virtual ScaleValue* Evaluate(ScaleValue* out, float time) const = 0;
};
