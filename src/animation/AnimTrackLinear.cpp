#include "animation/AnimTrackLinear.h"

#include <cstring>

#include "animation/AnimTrackValues.h"

using NAnimTrackSearch::SegmentFraction;

void CZK_AnimTrackFloatLinear::Prepare() { PrepareKeyTimes(); }

namespace {
constexpr auto kHeldFloat = [](const CZK_KeyFrameLinearFloat& k) { return k.value; };
constexpr auto kBetweenFloats = [](const CZK_KeyFrameLinearFloat& prev,
                                   const CZK_KeyFrameLinearFloat& next, float t) {
  return Lerp(prev.value, next.value, SegmentFraction(t, prev.time, next.time));
};
}  // namespace

float CZK_AnimTrackFloatLinear::Evaluate(float time) const {
  return Sample(time, 0.0f, kHeldFloat, kBetweenFloats);
}

float CZK_AnimTrackFloatLinear::EvaluatePlaced(const NAnimTrackSearch::SPlacedTime& time,
                                               uint32_t* cursor) const {
  return SampleFrom(time, cursor, 0.0f, kHeldFloat, kBetweenFloats);
}

void CZK_AnimTrackPositionLinear::Prepare() { PrepareKeyTimes(); }

namespace {
constexpr auto kHeldPosition = [](const CZK_KeyFrameLinearPosition& k) { return k.value; };
constexpr auto kBetweenPositions = [](const CZK_KeyFrameLinearPosition& prev,
                                      const CZK_KeyFrameLinearPosition& next, float t) {
  return Lerp(prev.value, next.value, SegmentFraction(t, prev.time, next.time));
};
constexpr auto kHeldRotation = [](const CZK_KeyFrameLinearRotation& k) { return k.rotation; };
}  // namespace

Vector3* CZK_AnimTrackPositionLinear::Evaluate(Vector3* out, float time) const {
  *out = Sample(time, kZeroVector, kHeldPosition, kBetweenPositions);
  return out;
}

void CZK_AnimTrackRotationLinear::Prepare() {
  PrepareKeyTimes();
  // A turn at constant speed about one axis gives pairs of one same dot product, and the angle
  // is a function of the dot alone: a pair whose dot has the previous pair's bits takes its angle
  // without the inverse tangent again.
  uint32_t lastDot = 0;
  float lastAngle = 0.0f;
  for (size_t k = 1; k < m_keys.size(); ++k) {
    const float d = QuaternionDot(m_keys[k - 1].rotation, m_keys[k].rotation);
    uint32_t bits;
    std::memcpy(&bits, &d, sizeof(bits));
    if (k == 1 || bits != lastDot) {
      lastDot = bits;
      lastAngle = NAnimTrackSlerp::ShorterArcSignedAngleOfDot(d);
    }
    m_keys[k - 1].pairAngle = lastAngle;
  }
  m_preparedPairs = m_keys.empty() ? 0 : m_keys.size() - 1;
}

Quaternion* CZK_AnimTrackRotationLinear::EvaluatePlaced(Quaternion* out,
                                                        const NAnimTrackSearch::SPlacedTime& time,
                                                        uint32_t* cursor) const {
  *out = SampleFrom(
      time, cursor, kIdentityQuaternion, kHeldRotation,
      [this](const KeyType& prev, const KeyType& next, float t) {
        const float u = SegmentFraction(t, prev.time, next.time);
        const size_t pair =
            static_cast<size_t>(static_cast<const SLinearRotationKey*>(&prev) - m_keys.data());
        Quaternion q;
        if (!HasPair(pair)) return *D3DXQuaternionSlerp(&q, &prev.rotation, &next.rotation, u);
        return NAnimTrackSlerp::ShorterArcSlerp(
            prev.rotation, next.rotation, NAnimTrackSlerp::UnfoldSignedAngle(PairAngle(pair)), u);
      });
  return out;
}

Quaternion* CZK_AnimTrackRotationLinear::Evaluate(Quaternion* out, float time) const {
  *out = Sample(time, kIdentityQuaternion, kHeldRotation,
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
