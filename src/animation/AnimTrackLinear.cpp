#include "animation/AnimTrackLinear.h"

#include "animation/AnimTrackValues.h"

using NAnimTrackSearch::SegmentFraction;

void CZK_AnimTrackFloatLinear::Prepare() { PrepareKeyTimes(); }

float CZK_AnimTrackFloatLinear::Evaluate(float time) const {
  return Sample(
      time, 0.0f, [](const KeyType& k) { return k.value; },
      [](const KeyType& prev, const KeyType& next, float t) {
        return Lerp(prev.value, next.value, SegmentFraction(t, prev.time, next.time));
      });
}

void CZK_AnimTrackPositionLinear::Prepare() { PrepareKeyTimes(); }

Vector3* CZK_AnimTrackPositionLinear::Evaluate(Vector3* out, float time) const {
  *out = Sample(
      time, kZeroVector, [](const KeyType& k) { return k.value; },
      [](const KeyType& prev, const KeyType& next, float t) {
        return Lerp(prev.value, next.value, SegmentFraction(t, prev.time, next.time));
      });
  return out;
}

void CZK_AnimTrackRotationLinear::Prepare() { PrepareKeyTimes(); }

Quaternion* CZK_AnimTrackRotationLinear::Evaluate(Quaternion* out, float time) const {
  *out = Sample(
      time, kIdentityQuaternion, [](const KeyType& k) { return k.rotation; },
      [](const KeyType& prev, const KeyType& next, float t) {
        Quaternion q;
        D3DXQuaternionSlerp(&q, &prev.rotation, &next.rotation,
                            SegmentFraction(t, prev.time, next.time));
        return q;
      });
  return out;
}

void CZK_AnimTrackScaleLinear::Prepare() { PrepareKeyTimes(); }

ScaleValue* CZK_AnimTrackScaleLinear::Evaluate(ScaleValue* out, float time) const {
  *out = Sample(
      time, kIdentityScaleValue, [](const KeyType& k) { return MakeScaleValue(k.scale, k.axis); },
      [](const KeyType& prev, const KeyType& next, float t) {
        const float u = SegmentFraction(t, prev.time, next.time);
        Quaternion axis;
        D3DXQuaternionSlerp(&axis, &prev.axis, &next.axis, u);
        return MakeScaleValue(Lerp(prev.scale, next.scale, u), axis);
      });
  return out;
}
