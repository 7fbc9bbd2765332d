// Keyframes: one class per interpolation kind and value kind. Every field is f32 unless noted;
// fields keep their declaration order. The scene loader fills the stored fields; the fields a
// track computes (Bezier curve tables, TCB tangents and control quaternions) are written by the
// track's Prepare.
//
// Keys are plain values with a virtual destructor: tracks keep them by value in contiguous
// arrays, so copying and moving are allowed.
#pragma once

#include <vector>

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
// Empty until the track's Prepare appends the samples of the segment that starts at the key.
using BezierCurveTable = std::vector<BezierCurvePoint>;

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
