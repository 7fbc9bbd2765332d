// TCB (tension, continuity, bias) tracks: Kochanek-Bartels splines. Floats, positions and scale
// factors follow Hermite curves whose tangents Prepare derives from the neighbouring keys;
// rotations follow a chain of three spherical interpolations (squad) through control
// quaternions that Prepare derives the same way. Every segment's timing is eased away from its
// first key by that key's easeOut and towards its second key by that key's easeIn.
#pragma once

#include <vector>

#include "animation/AnimTrackKeys.h"
#include "animation/AnimTrackSlerp.h"
#include "animation/KeyFrame.h"

namespace NAnimTrackTCB {

// Eased fraction for u in [0, 1] with ease amounts a (away from the segment's first key) and b
// (towards its second key). Amounts that add up to more than 1 are scaled down to add up to 1.
float Ease(float u, float a, float b);

// Ease with the parts that depend only on the amounts worked out ahead, for a pair of keys
// sampled many times: EaseFrom(EaseConstants(a, b), u) is Ease(u, a, b) to the bit for u >= 0.
struct SEaseConstants {
  float a;        // the (scaled) amount away from the first key
  float lineEnd;  // where the line ends, 1 - b; above every u when b is 0
  float k, kOverA, kOverB;
};
SEaseConstants EaseConstants(float a, float b);
inline float EaseFrom(const SEaseConstants& c, float u) {
  if (u < c.a) return c.kOverA * u * u;
  if (u < c.lineEnd) return c.k * (2.0f * u - c.a);
  const float v = 1.0f - u;
  return 1.0f - c.kOverB * v * v;
}

// Cubic Hermite basis at the eased fraction e.
struct SHermiteBasis {
  float h1, h2, h3, h4;
};
SHermiteBasis HermiteBasis(float e);

}  // namespace NAnimTrackTCB

// Prepare for float, position and scale tracks writes outTangent and inTangent of every key
// from the neighbouring keys. A track whose outOfRangeBefore (outOfRangeAfter) is Loop joins
// the first (last) key's tangents across the seam, treating key n-1 and key 0 as one moment of
// the loop. A two-key track is never joined at the seam.
class CZK_AnimTrackFloatTCB : public CZK_AnimTrackKeys<CZK_AnimTrackFloat, CZK_KeyFrameTCBFloat> {
 public:
  void Prepare() override;
  float Evaluate(float time) const override;
};

class CZK_AnimTrackPositionTCB
    : public CZK_AnimTrackKeys<CZK_AnimTrackPosition, CZK_KeyFrameTCBPosition> {
 public:
  void Prepare() override;
  Vector3* Evaluate(Vector3* out, float time) const override;
  // As Evaluate at a time already placed against the key range (see AnimTrackLinear.h).
  Vector3* EvaluatePlaced(Vector3* out, const NAnimTrackSearch::SPlacedTime& time,
                          uint32_t* cursor) const;
};

class CZK_AnimTrackRotationTCB
    : public CZK_AnimTrackKeys<CZK_AnimTrackRotation, CZK_KeyFrameTCBRotation> {
 public:
  // Writes controlA and controlB of every key; the out-of-range kinds play no part. Also works
  // out the constants of the two fixed slerps of every pair of neighbouring keys.
  void Prepare() override;
  // Unlike the other tracks, the segment fraction has no minimum segment length.
  Quaternion* Evaluate(Quaternion* out, float time) const override;
  // As Evaluate at a time already placed against the key range (see AnimTrackLinear.h).
  Quaternion* EvaluatePlaced(Quaternion* out, const NAnimTrackSearch::SPlacedTime& time,
                             uint32_t* cursor) const;

  // Pair k joins keys k and k + 1: the slerp between their rotations, the one between the
  // first key's controlA and the second key's controlB, and the segment's ease.
  struct SPairConstants {
    NAnimTrackSlerp::SSlerpPair keys, controls;
    NAnimTrackTCB::SEaseConstants ease;
  };
  // The pairs the last Prepare worked out: fewer than the keys' pairs once keys are added.
  const SPairConstants* GetPreparedPairs() const { return m_pairs.data(); }
  size_t GetPreparedPairCount() const { return m_pairs.size(); }
  // EvaluatePlaced's value between keys k[0] and k[1] of pair `pair`, prepared, with
  // k[0].time <= time < k[1].time, written to *out.
  static void SamplePair(const CZK_KeyFrameTCBRotation* k, const SPairConstants& pair, float time,
                         Quaternion* out) {
    const float u = (time - k[0].time) / (k[1].time - k[0].time);
    NAnimTrackSlerp::DirectArcSquad(k[0].rotation, k[1].rotation, pair.keys, k[0].controlA,
                                    k[1].controlB, pair.controls,
                                    NAnimTrackTCB::EaseFrom(pair.ease, u), out);
  }
#if defined(ZELKAR_AVX_PATH)
  // SamplePair with AVX, to the bit the same; only where NAnimTrackSlerp::kCpuHasAvx.
  static void SamplePairAvx(const CZK_KeyFrameTCBRotation* k, const SPairConstants& pair,
                            float time, Quaternion* out);
#endif

 private:
  std::vector<SPairConstants> m_pairs;
};

// The scale factors are interpolated like positions. The axis orientation: the loader fills
// each key's axis (an absolute orientation, as in the linear and Bezier scale keys) and nothing
// else, and no controller reads the axis of a scale value. Rather than return a constant, the
// axis follows the keys the way a TCB rotation track would: Prepare copies each key's axis into
// axisRotation and derives axisControlA and axisControlB from it, and Evaluate joins them with
// the rotation track's squad at the same eased fraction as the factors. A caller that does read
// the axis thus gets a smooth curve through the keys' own axes.
class CZK_AnimTrackScaleTCB : public CZK_AnimTrackKeys<CZK_AnimTrackScale, CZK_KeyFrameTCBScale> {
 public:
  void Prepare() override;
  ScaleValue* Evaluate(ScaleValue* out, float time) const override;
};
