// Keyframes: one class per interpolation kind and value kind. Every field is f32 unless noted;
// fields keep their declaration order. The scene loader fills the stored fields; the fields a
// track computes (Bezier curve tables, TCB tangents and control quaternions) are written by the
// track's Prepare.
//
// Keys are plain values with a virtual destructor: tracks keep them by value in contiguous
// arrays, so copying and moving are allowed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/Math.h"

class CZK_KeyFrameBase {
 public:
  CZK_KeyFrameBase() = default;
  CZK_KeyFrameBase(const CZK_KeyFrameBase&) = default;
  CZK_KeyFrameBase(CZK_KeyFrameBase&&) = default;
  CZK_KeyFrameBase& operator=(const CZK_KeyFrameBase&) = default;
  CZK_KeyFrameBase& operator=(CZK_KeyFrameBase&&) = default;
  virtual ~CZK_KeyFrameBase() = default;

  // In the unit of the scene file; never converted by the library.
  float time = 0.0f;
};

constexpr Quaternion kIdentityQuaternion = {0.0f, 0.0f, 0.0f, 1.0f};

// ---------------------------------------------------------------------------------------------
// Linear keys.

class CZK_KeyFrameLinearBase : public CZK_KeyFrameBase {};

class CZK_KeyFrameLinearFloat : public CZK_KeyFrameLinearBase {
 public:
  float value = 0.0f;
};

class CZK_KeyFrameLinearPosition : public CZK_KeyFrameLinearBase {
 public:
  Vector3 value = {0.0f, 0.0f, 0.0f};
};

class CZK_KeyFrameLinearRotation : public CZK_KeyFrameLinearBase {
 public:
  Quaternion rotation = kIdentityQuaternion;
};

class CZK_KeyFrameLinearScale : public CZK_KeyFrameLinearBase {
 public:
  Vector3 scale = {1.0f, 1.0f, 1.0f};
  Quaternion axis = kIdentityQuaternion;
};

// ---------------------------------------------------------------------------------------------
// Bezier keys.

// One sample of a segment curve: normalised time x (0 at this key, 1 at the next) and value y.
struct BezierCurvePoint {
  float x, y;
};
// The samples of the segment that starts at a key: empty until the track's Prepare appends
// them. A growable array with the value semantics of a std::vector of points (a copy owns
// copies of the points), except that a track may place the tables of all its keys in one block
// of its own (UseStorage): one allocation per track instead of one per table, and a sample's
// tables close together. A table outgrowing its place, and every copy, moves to an allocation
// of its own; so does a table moved from that place, which might outlive the block.
class BezierCurveTable {
 public:
  BezierCurveTable() = default;
  BezierCurveTable(const BezierCurveTable& other) { Assign(other); }
  BezierCurveTable(BezierCurveTable&& other) { Take(other); }
  BezierCurveTable& operator=(const BezierCurveTable& other) {
    if (this != &other) Assign(other);
    return *this;
  }
  BezierCurveTable& operator=(BezierCurveTable&& other) {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  ~BezierCurveTable() { Release(); }

  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  BezierCurvePoint* data() { return m_data; }
  const BezierCurvePoint* data() const { return m_data; }
  // index < size().
  BezierCurvePoint& operator[](size_t index) { return m_data[index]; }
  const BezierCurvePoint& operator[](size_t index) const { return m_data[index]; }
  BezierCurvePoint* begin() { return m_data; }
  BezierCurvePoint* end() { return m_data + m_size; }
  const BezierCurvePoint* begin() const { return m_data; }
  const BezierCurvePoint* end() const { return m_data + m_size; }

  void clear() { m_size = 0; }
  // New points are (0, 0). Grows as a std::vector does: exactly from empty, at least doubling
  // after that.
  void resize(size_t count);
  // As resize(size() + count), but the new points are left unwritten for the caller, who fills
  // them through the returned pointer before reading any: a table is filled once, and writing
  // its fresh memory twice would cost a load time.
  BezierCurvePoint* extend(size_t count);
  void push_back(const BezierCurvePoint& point) { *extend(1) = point; }
  // For an empty table: room for `room` points at storage, which the caller keeps alive for as
  // long as the table refers to it.
  void UseStorage(BezierCurvePoint* storage, size_t room);

 private:
  void Assign(const BezierCurveTable& other);
  void Take(BezierCurveTable& other) {
    if (other.m_borrowed) return Assign(other);
    m_data = other.m_data;
    m_size = other.m_size;
    m_capacity = other.m_capacity;
    m_borrowed = other.m_borrowed;
    other.m_data = nullptr;
    other.m_size = other.m_capacity = other.m_borrowed = 0;
  }
  void Release();

  BezierCurvePoint* m_data = nullptr;
  uint32_t m_size = 0;
  uint32_t m_capacity : 31 = 0;
  uint32_t m_borrowed : 1 = 0;  // m_data lies in a block the table does not own
};

// dt is a time offset in units of the segment length (an in-tangent's dt is measured back from
// the key, so it is normally negative); dv is a value offset from the key's value.
struct BezierTangent {
  float dt, dv;
};

class CZK_KeyFrameBezierBase : public CZK_KeyFrameBase {};

class CZK_KeyFrameBezierFloat : public CZK_KeyFrameBezierBase {
 public:
  float value = 0.0f;
  BezierCurveTable curve;
  BezierTangent inTangent = {0.0f, 0.0f};
  BezierTangent outTangent = {0.0f, 0.0f};
};

class CZK_KeyFrameBezierPosition : public CZK_KeyFrameBezierBase {
 public:
  BezierCurveTable curves[3];  // axis x, y, z
  Vector3 value = {0.0f, 0.0f, 0.0f};
  BezierTangent inTangent[3] = {};   // axis x, y, z
  BezierTangent outTangent[3] = {};  // axis x, y, z
};

class CZK_KeyFrameBezierRotation : public CZK_KeyFrameBezierBase {
 public:
  Quaternion rotation = kIdentityQuaternion;
};

class CZK_KeyFrameBezierScale : public CZK_KeyFrameBezierBase {
 public:
  Vector3 scale = {1.0f, 1.0f, 1.0f};
  Quaternion axis = kIdentityQuaternion;
  // Kept as read from the file; Bezier scale tracks never interpolate, so nothing reads them.
  Vector3 tangents[4] = {};
};

// ---------------------------------------------------------------------------------------------
// TCB keys.

class CZK_KeyFrameTCBBase : public CZK_KeyFrameBase {
 public:
  float tension = 0.0f;
  float continuity = 0.0f;
  float bias = 0.0f;
  float easeIn = 25.0f;   // ease towards this key
  float easeOut = 25.0f;  // ease away from this key
};

class CZK_KeyFrameTCBFloat : public CZK_KeyFrameTCBBase {
 public:
  float value = 0.0f;
  float outTangent = 0.0f;
  float inTangent = 0.0f;
};

class CZK_KeyFrameTCBPosition : public CZK_KeyFrameTCBBase {
 public:
  Vector3 value = {0.0f, 0.0f, 0.0f};
  Vector3 outTangent = {0.0f, 0.0f, 0.0f};
  Vector3 inTangent = {0.0f, 0.0f, 0.0f};
};

class CZK_KeyFrameTCBRotation : public CZK_KeyFrameTCBBase {
 public:
  // The key's own axis with the running angle sum; informative only, never interpolated.
  Quaternion keyAxisAngle = kIdentityQuaternion;
  Quaternion controlA = kIdentityQuaternion;
  Quaternion controlB = kIdentityQuaternion;
  // Absolute orientation at the key.
  Quaternion rotation = kIdentityQuaternion;
};

class CZK_KeyFrameTCBScale : public CZK_KeyFrameTCBBase {
 public:
  Vector3 scale = {1.0f, 1.0f, 1.0f};
  Quaternion axis = kIdentityQuaternion;
  Vector3 outTangent = {0.0f, 0.0f, 0.0f};
  Vector3 inTangent = {0.0f, 0.0f, 0.0f};
  Quaternion axisControlA = kIdentityQuaternion;
  Quaternion axisControlB = kIdentityQuaternion;
  // Written by the track's Prepare from axis (see CZK_AnimTrackScaleTCB).
  Quaternion axisRotation = kIdentityQuaternion;
};
