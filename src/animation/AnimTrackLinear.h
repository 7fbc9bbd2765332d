// Linear tracks: straight-line interpolation of floats, positions and scale factors, and
// shorter-arc spherical interpolation of rotations and scale axes. Prepare only checks the key
// order (see AnimTrackKeys.h).
#pragma once

#include "animation/AnimTrackKeys.h"
#include "animation/KeyFrame.h"

class CZK_AnimTrackFloatLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackFloat, CZK_KeyFrameLinearFloat> {
 public:
  void Prepare() override;
  float Evaluate(float time) const override;
};

class CZK_AnimTrackPositionLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackPosition, CZK_KeyFrameLinearPosition> {
 public:
  void Prepare() override;
  Vector3* Evaluate(Vector3* out, float time) const override;
};

class CZK_AnimTrackRotationLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackRotation, CZK_KeyFrameLinearRotation> {
 public:
  void Prepare() override;
  Quaternion* Evaluate(Quaternion* out, float time) const override;
};

class CZK_AnimTrackScaleLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackScale, CZK_KeyFrameLinearScale> {
 public:
  void Prepare() override;
  ScaleValue* Evaluate(ScaleValue* out, float time) const override;
};
