#include "animation/AnimTrackTCB.h"

#include <cmath>

#include "animation/AnimTrackValues.h"

using NAnimTrackSearch::SegmentFraction;

namespace NAnimTrackTCB {

float Ease(float u, float a, float b) {
  const float s = a + b;
  if (s == 0.0f) return u;
  if (s > 1.0f) {
    a = a / s;
    b = b / s;
  }
  const float k = 1.0f / (2.0f - a - b);
  if (u < a) return (k / a) * u * u;
  // With no ease-in the last branch would divide by b = 0 at u = 1, where the line already
  // reaches 1: it takes the line instead.
  if (u < 1.0f - b || b == 0.0f) return k * (2.0f * u - a);
  const float v = 1.0f - u;
  return 1.0f - (k / b) * v * v;
}

SEaseConstants EaseConstants(float a, float b) {
  const float s = a + b;
  // No ease is the line u = 0.5 * (2u - 0), exact in float.
  if (s == 0.0f) return {0.0f, INFINITY, 0.5f, 0.0f, 0.0f};
  if (s > 1.0f) {
    a = a / s;
    b = b / s;
  }
  const float k = 1.0f / (2.0f - a - b);
  return {a, b == 0.0f ? INFINITY : 1.0f - b, k, k / a, k / b};
}

SHermiteBasis HermiteBasis(float e) {
  const float e2 = e * e;
  const float e3 = e2 * e;
  return {2.0f * e3 - 3.0f * e2 + 1.0f, 3.0f * e2 - 2.0f * e3, e3 - 2.0f * e2 + e, e3 - e2};
}

}  // namespace NAnimTrackTCB

namespace {

using NAnimTrackTCB::Ease;
using NAnimTrackTCB::EaseFrom;
using NAnimTrackTCB::HermiteBasis;
using NAnimTrackTCB::SHermiteBasis;

// ---------------------------------------------------------------------------------------------
// Tangents of scalar channels. V is float or Vector3 (three channels, one set of parameters).

template <class V>
struct STangents {
  V in, out;
};

// Tangents of key c (time tc, value vc) between p and q; only the times may be shifted (across
// a loop seam), never the values.
template <class V>
STangents<V> MiddleTangents(float tp, const V& vp, float tc, const V& vc,
                            const CZK_KeyFrameTCBBase& c, float tq, const V& vq) {
  const float d = 0.5f * (tq - tp);
  float fp = (tc - tp) / d;
  float fn = (tq - tc) / d;
  const float a = std::fabs(c.continuity);
  fp = a + fp - a * fp;
  fn = a + fn - a * fn;
  const float cm = 1.0f - c.continuity;
  const float tm = 0.5f * (1.0f - c.tension);
  const float cp = 2.0f - cm;
  const float bm = 1.0f - c.bias;
  const float bp = 2.0f - bm;
  const V dm = vc - vp;
  const V dp = vq - vc;
  return {dm * (tm * cm * bp * fp) + dp * (tm * cp * bm * fp),
          dm * (tm * cp * bp * fn) + dp * (tm * cm * bm * fn)};
}

// Tangent of an end key from the two keys next to it: f10 and d10 span the nearer neighbour,
// f20 and d20 the farther one.
template <class V>
V EndTangent(float tension, float f10, float f20, const V& d10, const V& d20) {
  return (d20 * ((0.25f - f10 / (2.0f * f20)) + 0.5f) + (d10 - d20 * 0.5f) * 1.5f) *
         (1.0f - tension);
}

template <class Keys, class Key, class V>
void PrepareChannelTangents(Keys& k, V Key::*value, V Key::*outT, V Key::*inT,
                            uint32_t outOfRangeBefore, uint32_t outOfRangeAfter) {
  const size_t n = k.size();
  if (n < 2) return;
  if (n == 2) {
    const V delta = k[1].*value - k[0].*value;
    k[0].*inT = V{};
    k[0].*outT = delta * (1.0f - k[0].tension);
    k[1].*outT = V{};
    k[1].*inT = delta * (1.0f - k[1].tension);
    return;
  }
  for (size_t i = 1; i + 1 < n; ++i) {
    const STangents<V> t = MiddleTangents(k[i - 1].time, k[i - 1].*value, k[i].time, k[i].*value,
                                          k[i], k[i + 1].time, k[i + 1].*value);
    k[i].*inT = t.in;
    k[i].*outT = t.out;
  }
  const Key& k0 = k[0];
  const Key& k1 = k[1];
  const Key& kb = k[n - 2];  // the key before the last
  const Key& kl = k[n - 1];
  k[0].*outT = EndTangent(k0.tension, k1.time - k0.time, k[2].time - k0.time, k1.*value - k0.*value,
                          k[2].*value - k0.*value);
  k[n - 1].*inT = EndTangent(kl.tension, kl.time - kb.time, kl.time - k[n - 3].time,
                             kl.*value - kb.*value, kl.*value - k[n - 3].*value);

  const float range = kl.time - k0.time;
  if (outOfRangeBefore == Loop) {
    // Key 0 continues the previous cycle, whose key n-2 lies one range earlier.
    const STangents<V> t =
        MiddleTangents(kb.time - range, kb.*value, k0.time, k0.*value, k0, k1.time, k1.*value);
    k[0].*inT = t.in;
    k[0].*outT = t.out;
  }
  if (outOfRangeAfter == Loop) {
    // The last key runs on into the next cycle, whose key 1 lies one range later.
    const STangents<V> t =
        MiddleTangents(kb.time, kb.*value, kl.time, kl.*value, kl, k1.time + range, k1.*value);
    k[n - 1].*inT = t.in;
    k[n - 1].*outT = t.out;
  }
}

// h1 * v0 + h2 * v1 + h3 * out0 + h4 * in1, per channel.
template <class V>
V HermiteValue(const SHermiteBasis& h, const V& v0, const V& v1, const V& out0, const V& in1) {
  return v0 * h.h1 + v1 * h.h2 + out0 * h.h3 + in1 * h.h4;
}

// ---------------------------------------------------------------------------------------------
// Control quaternions.

Quaternion ScaleQuaternion(const Quaternion& q, float s) {
  return {q.x * s, q.y * s, q.z * s, q.w * s};
}
Quaternion AddQuaternions(const Quaternion& a, const Quaternion& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}

// Writes the control quaternions of key c from its neighbours p and q (either may be missing).
template <class Key>
void RotationControls(const Key* p, Key& c, const Key* q, Quaternion Key::*rotation,
                      Quaternion Key::*controlA, Quaternion Key::*controlB) {
  const Quaternion& rc = c.*rotation;
  Quaternion gIn{}, gOut{};
  if (p != nullptr) {
    Quaternion rp = p->*rotation;
    if (QuaternionDot(rp, rc) < 0.0f) rp = QuaternionConjugateNormalized(rp);
    gIn = QuaternionRelativeScaledLog(rp, rc);
  }
  if (q != nullptr) {
    Quaternion rq = q->*rotation;
    if (QuaternionDot(rq, rc) < 0.0f) rq = QuaternionConjugateNormalized(rq);
    gOut = QuaternionRelativeScaledLog(rc, rq);
  }
  if (p == nullptr) gIn = gOut;
  if (q == nullptr) gOut = gIn;

  float fp = 1.0f;
  float fn = 1.0f;
  if (p != nullptr && q != nullptr) {
    const float d = 0.5f * (q->time - p->time);
    const float a = std::fabs(c.continuity);
    fp = (c.time - p->time) / d;
    fn = (q->time - c.time) / d;
    fp = a + fp - a * fp;
    fn = a + fn - a * fn;
  }
  const float cm = 1.0f - c.continuity;
  const float tm = 0.5f * (1.0f - c.tension);
  const float bm = 1.0f - c.bias;
  const float bp = 2.0f - bm;
  const float cp = 2.0f - cm;
  const float ksm = tm * cm * bp * fp;
  const float ksp = tm * cp * bm * fp;
  const float kdm = tm * cp * bp * fn;
  const float kdp = tm * cm * bm * fn;

  const Quaternion hOut = ScaleQuaternion(
      AddQuaternions(ScaleQuaternion(gIn, kdm), ScaleQuaternion(gOut, kdp - 1.0f)), 0.5f);
  const Quaternion hIn = ScaleQuaternion(
      AddQuaternions(ScaleQuaternion(gIn, 1.0f - ksm), ScaleQuaternion(gOut, -ksp)), 0.5f);
  Quaternion e;
  D3DXQuaternionExp(&e, &hOut);
  D3DXQuaternionMultiply(&(c.*controlB), &e, &rc);
  D3DXQuaternionExp(&e, &hIn);
  D3DXQuaternionMultiply(&(c.*controlA), &e, &rc);
}

template <class Keys, class Key>
void PrepareRotationControls(Keys& k, Quaternion Key::*rotation, Quaternion Key::*controlA,
                             Quaternion Key::*controlB) {
  const size_t n = k.size();
  if (n < 2) return;
  for (size_t i = 1; i + 1 < n; ++i) {
    RotationControls(&k[i - 1], k[i], &k[i + 1], rotation, controlA, controlB);
  }
  RotationControls<Key>(nullptr, k[0], &k[1], rotation, controlA, controlB);
  RotationControls<Key>(&k[n - 2], k[n - 1], nullptr, rotation, controlA, controlB);
}

// Squad between q0 (outer control a0) and q1 (inner control b1); no shorter-arc correction.
Quaternion Squad(const Quaternion& q0, const Quaternion& a0, const Quaternion& q1,
                 const Quaternion& b1, float e) {
  const Quaternion onCurve = QuaternionSlerpSpin(q0, q1, 0.0f, e);
  const Quaternion onControls = QuaternionSlerpSpin(a0, b1, 0.0f, e);
  return QuaternionSlerpSpin(onCurve, onControls, 0.0f, 2.0f * e * (1.0f - e));
}

// Eased fraction of a pair of TCB keys.
template <class Key>
float EasedFraction(float t, const Key& prev, const Key& next) {
  return Ease(SegmentFraction(t, prev.time, next.time), prev.easeOut, next.easeIn);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void CZK_AnimTrackFloatTCB::Prepare() {
  PrepareKeyTimes();
  PrepareChannelTangents(m_keys, &CZK_KeyFrameTCBFloat::value, &CZK_KeyFrameTCBFloat::outTangent,
                         &CZK_KeyFrameTCBFloat::inTangent, outOfRangeBefore, outOfRangeAfter);
}

float CZK_AnimTrackFloatTCB::Evaluate(float time) const {
  return Sample(
      time, 0.0f, [](const KeyType& k) { return k.value; },
      [](const KeyType& prev, const KeyType& next, float t) {
        const SHermiteBasis h = HermiteBasis(EasedFraction(t, prev, next));
        return HermiteValue(h, prev.value, next.value, prev.outTangent, next.inTangent);
      });
}

void CZK_AnimTrackPositionTCB::Prepare() {
  PrepareKeyTimes();
  PrepareChannelTangents(m_keys, &CZK_KeyFrameTCBPosition::value,
                         &CZK_KeyFrameTCBPosition::outTangent, &CZK_KeyFrameTCBPosition::inTangent,
                         outOfRangeBefore, outOfRangeAfter);
}

namespace {
constexpr auto kHeldPosition = [](const CZK_KeyFrameTCBPosition& k) { return k.value; };
constexpr auto kBetweenPositions = [](const CZK_KeyFrameTCBPosition& prev,
                                      const CZK_KeyFrameTCBPosition& next, float t) {
  const SHermiteBasis h = HermiteBasis(EasedFraction(t, prev, next));
  return HermiteValue(h, prev.value, next.value, prev.outTangent, next.inTangent);
};
constexpr auto kHeldRotation = [](const CZK_KeyFrameTCBRotation& k) { return k.rotation; };
// No minimum segment length here: the search guarantees next.time > prev.time.
float RotationEase(float t, const CZK_KeyFrameTCBRotation& prev,
                   const CZK_KeyFrameTCBRotation& next) {
  return Ease((t - prev.time) / (next.time - prev.time), prev.easeOut, next.easeIn);
}
}  // namespace

Vector3* CZK_AnimTrackPositionTCB::Evaluate(Vector3* out, float time) const {
  *out = Sample(time, kZeroVector, kHeldPosition, kBetweenPositions);
  return out;
}

Vector3* CZK_AnimTrackPositionTCB::EvaluatePlaced(Vector3* out,
                                                  const NAnimTrackSearch::SPlacedTime& time,
                                                  uint32_t* cursor) const {
  *out = SampleFrom(time, cursor, kZeroVector, kHeldPosition, kBetweenPositions);
  return out;
}

void CZK_AnimTrackRotationTCB::Prepare() {
  PrepareKeyTimes();
  PrepareRotationControls(m_keys, &CZK_KeyFrameTCBRotation::rotation,
                          &CZK_KeyFrameTCBRotation::controlA, &CZK_KeyFrameTCBRotation::controlB);
  PreparePerPair(m_pairs, [](const KeyType& a, const KeyType& b) {
    return SPairConstants{NAnimTrackSlerp::DirectArcPair(a.rotation, b.rotation),
                          NAnimTrackSlerp::DirectArcPair(a.controlA, b.controlB),
                          NAnimTrackTCB::EaseConstants(a.easeOut, b.easeIn)};
  });
}

Quaternion* CZK_AnimTrackRotationTCB::Evaluate(Quaternion* out, float time) const {
  *out = Sample(time, kIdentityQuaternion, kHeldRotation,
                [](const KeyType& prev, const KeyType& next, float t) {
                  return Squad(prev.rotation, prev.controlA, next.rotation, next.controlB,
                               RotationEase(t, prev, next));
                });
  return out;
}

// Flattened: the squad inlined here saves a call with seven arguments and its spills on every
// sample (about 5% of a frame of TCB rotations).
[[gnu::flatten]] Quaternion* CZK_AnimTrackRotationTCB::EvaluatePlaced(
    Quaternion* out, const NAnimTrackSearch::SPlacedTime& time, uint32_t* cursor) const {
  *out = SampleFrom(time, cursor, kIdentityQuaternion, kHeldRotation,
                    [this](const KeyType& prev, const KeyType& next, float t) {
                      const size_t pair = static_cast<size_t>(&prev - m_keys.data());
                      // Keys added since the last Prepare have no constants yet.
                      if (pair >= m_pairs.size())
                        return Squad(prev.rotation, prev.controlA, next.rotation, next.controlB,
                                     RotationEase(t, prev, next));
                      Quaternion q;
                      SamplePair(&prev, m_pairs[pair], t, &q);
                      return q;
                    });
  return out;
}

#if defined(ZELKAR_AVX_PATH)
ZELKAR_TARGET_AVX void CZK_AnimTrackRotationTCB::SamplePairAvx(const CZK_KeyFrameTCBRotation* k,
                                                               const SPairConstants& pair,
                                                               float time, Quaternion* out) {
  const float u = (time - k[0].time) / (k[1].time - k[0].time);
  NAnimTrackSlerp::DirectArcSquadAvx(k[0].rotation, k[1].rotation, pair.keys, k[0].controlA,
                                     k[1].controlB, pair.controls,
                                     NAnimTrackTCB::EaseFrom(pair.ease, u), out);
}
#endif

void CZK_AnimTrackScaleTCB::Prepare() {
  PrepareKeyTimes();
  PrepareChannelTangents(m_keys, &CZK_KeyFrameTCBScale::scale, &CZK_KeyFrameTCBScale::outTangent,
                         &CZK_KeyFrameTCBScale::inTangent, outOfRangeBefore, outOfRangeAfter);
  for (CZK_KeyFrameTCBScale& key : m_keys) key.axisRotation = key.axis;
  PrepareRotationControls(m_keys, &CZK_KeyFrameTCBScale::axisRotation,
                          &CZK_KeyFrameTCBScale::axisControlA, &CZK_KeyFrameTCBScale::axisControlB);
}

ScaleValue* CZK_AnimTrackScaleTCB::Evaluate(ScaleValue* out, float time) const {
  *out = Sample(
      time, kIdentityScaleValue, [](const KeyType& k) { return MakeScaleValue(k.scale, k.axis); },
      [](const KeyType& prev, const KeyType& next, float t) {
        const float e = EasedFraction(t, prev, next);
        const Vector3 factors =
            HermiteValue(HermiteBasis(e), prev.scale, next.scale, prev.outTangent, next.inTangent);
        return MakeScaleValue(factors, Squad(prev.axisRotation, prev.axisControlA,
                                             next.axisRotation, next.axisControlB, e));
      });
  return out;
}
