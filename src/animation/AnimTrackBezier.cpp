#include "animation/AnimTrackBezier.h"

#include <algorithm>
#include <ostream>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "animation/AnimTrackValues.h"
#include "foundation/Logger.h"

using NAnimTrackSearch::SegmentFraction;

namespace {
// The Bernstein weights of the kBezierCurveSamples sample positions, worked out once with the
// same float operations in the same order as a sample would: s advanced by repeated addition of
// the step, never recomputed from the index.
struct SBezierWeights {
  float b0[kBezierCurveSamples], b1[kBezierCurveSamples], b2[kBezierCurveSamples],
      b3[kBezierCurveSamples];
};
constexpr SBezierWeights MakeBezierWeights() {
  SBezierWeights w{};
  const float step = 1.0f / static_cast<float>(kBezierCurveSamples - 1);
  float s = 0.0f;
  for (size_t k = 0; k < kBezierCurveSamples; ++k) {
    const float a = 1.0f - s;
    const float a2 = a * a;
    const float s2 = s * s;
    w.b0[k] = a2 * a;
    w.b1[k] = 3.0f * s * a2;
    w.b2[k] = 3.0f * s2 * a;
    w.b3[k] = s2 * s;
    s += step;
  }
  return w;
}
constexpr SBezierWeights kBezierWeights = MakeBezierWeights();
}  // namespace

void AppendBezierCurve(BezierCurveTable& table, float v0, const BezierTangent& out0, float v1,
                       const BezierTangent& in1) {
  const float p1x = out0.dt;
  const float p1y = v0 + out0.dv;
  const float p2x = 1.0f + in1.dt;
  const float p2y = v1 + in1.dv;
  // One allocation of the exact size for a fresh table.
  const size_t at = table.size();
  table.resize(at + kBezierCurveSamples);
  BezierCurvePoint* out = table.data() + at;
  const SBezierWeights& w = kBezierWeights;
  for (size_t k = 0; k < kBezierCurveSamples; ++k) {
    // P0 = (0, v0) and P3 = (1, v1).
    out[k].x = w.b1[k] * p1x + w.b2[k] * p2x + w.b3[k];
    out[k].y = w.b0[k] * v0 + w.b1[k] * p1y + w.b2[k] * p2y + w.b3[k] * v1;
  }
}

namespace {
// The value between samples k - 1 and k, where p[k - 1].x <= u < p[k].x (so the divisor is
// positive), or the last sample's when k is count.
inline float CurveValue(const BezierCurvePoint* p, size_t k, size_t count, float u) {
  if (k == count) return p[count - 1].y;
  const float f = (u - p[k - 1].x) / (p[k].x - p[k - 1].x);
  return (1.0f - f) * p[k - 1].y + f * p[k].y;
}

// Whether the x of the samples a lookup reads never decrease (a NaN counts as a decrease).
bool CurveIsSorted(const BezierCurveTable& table) {
  const size_t count = std::min(table.size(), kBezierCurveSamples);
  for (size_t k = 1; k < count; ++k)
    if (!(table[k - 1].x <= table[k].x)) return false;
  return true;
}

// The frame of both lookups: the first sample for u at or before it, else the value between
// samples k - 1 and k for the k that next(p, count) finds, the first whose x exceeds u.
template <class Next>
[[gnu::always_inline]] inline float Lookup(const BezierCurveTable& table, float u, float fallback,
                                           Next next) {
  const size_t count = std::min(table.size(), kBezierCurveSamples);
  if (count == 0) return fallback;
  const BezierCurvePoint* p = table.data();
  if (u <= 0.0f || u < p[0].x) return p[0].y;
  return CurveValue(p, next(p, count), count, u);
}

// BezierCurveLookup for a table that CurveIsSorted accepts. The samples' x run close to
// evenly from 0 to 1 on any curve whose time handles are not extreme, so the sample at u's
// share of the table, or a neighbour, is nearly always the first whose x exceeds u; a guess is
// kept only when its neighbours enclose u, which on sorted x makes it that same sample. Other
// curves find it by halving.
[[gnu::always_inline]] inline float SortedCurveLookup(const BezierCurveTable& table, float u,
                                                      float fallback) {
  return Lookup(table, u, fallback, [u](const BezierCurvePoint* p, size_t count) {
    // Here u > p[0].x, so k = 1 always has its lower neighbour.
    const auto encloses = [&](size_t k) { return !(u < p[k - 1].x) && (k == count || u < p[k].x); };
    const float share = u * static_cast<float>(count - 1);  // false below for NaN
    const size_t guess =
        share < static_cast<float>(count - 1) ? static_cast<size_t>(share) + 1 : count;
    if (encloses(guess)) return guess;
    if (guess < count && encloses(guess + 1)) return guess + 1;
    if (guess > 1 && encloses(guess - 1)) return guess - 1;
    size_t k = 1;
    size_t n = count - 1;  // the answer lies in [k, k + n]
    while (n > 0) {
      const size_t half = n / 2;
      if (!(u < p[k + half].x)) {
        k += half + 1;
        n -= half + 1;
      } else {
        n = half;
      }
    }
    return k;
  });
}

// Samples k[a] - 1 and k[a] of the three axes' tables: when on every axis the first is at or
// below u and the second above, writes each axis' value between them (as CurveValue does) and
// returns true. With SSE2 the three axes run in one register: each pair of samples is one
// 16-byte load (x0, y0, x1, y1), and the loads are transposed into the x0, y0, x1 and y1 of
// all three axes (the fourth lane repeats the third axis), so the three fractions take one
// division. Lane by lane the operations are CurveValue's, so the results are the same bits.
[[gnu::always_inline]] inline bool InterpolateEnclosing3(const BezierCurvePoint* const* p,
                                                         const size_t* k, float u, float* out) {
#if defined(__SSE2__)
  // Row a holds axis a's pair; after the transposition row 0 holds the x0 of every axis, row 1
  // the y0, row 2 the x1 and row 3 the y1.
  __m128 x0 = _mm_loadu_ps(&p[0][k[0] - 1].x);  // axis 0 before the transposition
  __m128 y0 = _mm_loadu_ps(&p[1][k[1] - 1].x);  // axis 1
  __m128 x1 = _mm_loadu_ps(&p[2][k[2] - 1].x);  // axis 2
  __m128 y1 = x1;
  _MM_TRANSPOSE4_PS(x0, y0, x1, y1);
  const __m128 uu = _mm_set1_ps(u);
  const __m128 inside = _mm_andnot_ps(_mm_cmplt_ps(uu, x0), _mm_cmplt_ps(uu, x1));
  if (_mm_movemask_ps(inside) != 15) return false;
  const __m128 f = _mm_div_ps(_mm_sub_ps(uu, x0), _mm_sub_ps(x1, x0));
  const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), f), y0), _mm_mul_ps(f, y1));
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, v);
  for (int a = 0; a < 3; ++a) out[a] = lanes[a];
#else
  for (int a = 0; a < 3; ++a)
    if (u < p[a][k[a] - 1].x || !(u < p[a][k[a]].x)) return false;
  for (int a = 0; a < 3; ++a) out[a] = CurveValue(p[a], k[a], kBezierCurveSamples, u);
#endif
  return true;
}

// The three axes of a position key, each table sorted and at least kBezierCurveSamples long,
// at u > 0. The samples' x run close to evenly from 0 to 1, so the first guess for every axis
// is the sample at u's share of the table; an axis whose guess is off by one moves to its
// neighbour (counted from two comparisons, without a branch) and all three are checked again.
// On sorted x a pair of neighbours enclosing u makes u's place certain, and no earlier sample
// is read. False when u lies elsewhere on some axis (the caller then looks each axis up in
// full), or at the last sample.
[[gnu::always_inline]] inline bool GuessedLookup3(const BezierCurveTable* tables, float u,
                                                  float* out) {
  constexpr size_t count = kBezierCurveSamples;
  const float share = u * static_cast<float>(count - 1);
  if (!(share < static_cast<float>(count - 1))) return false;  // NaN or u at the last sample
  const size_t guess = static_cast<size_t>(share) + 1;         // 1 .. count - 1
  const BezierCurvePoint* const p[3] = {tables[0].data(), tables[1].data(), tables[2].data()};
  size_t k[3] = {guess, guess, guess};
  if (InterpolateEnclosing3(p, k, u, out)) return true;
  for (int a = 0; a < 3; ++a) {
    const size_t up = static_cast<size_t>(!(u < p[a][guess].x)) & (guess + 1 < count);
    const size_t down = static_cast<size_t>(u < p[a][guess - 1].x) & (guess > 1);
    k[a] = guess + up - down;
  }
  return InterpolateEnclosing3(p, k, u, out);
}
}  // namespace

float BezierCurveLookup(const BezierCurveTable& table, float u, float fallback) {
  return Lookup(table, u, fallback, [u](const BezierCurvePoint* p, size_t count) {
    size_t k = 1;
    while (k < count && !(u < p[k].x)) ++k;
    return k;
  });
}

// ---------------------------------------------------------------------------------------------

void CZK_AnimTrackFloatBezier::Prepare() {
  PrepareKeyTimes();
  const size_t n = m_keys.size();
  for (size_t i = 0; i < n; ++i) {
    CZK_KeyFrameBezierFloat& key = m_keys[i];
    const CZK_KeyFrameBezierFloat& next = m_keys[(i + 1) % n];
    AppendBezierCurve(key.curve, key.value, key.outTangent, next.value, next.inTangent);
  }
}

float CZK_AnimTrackFloatBezier::Evaluate(float time) const {
  return Sample(
      time, 0.0f, [](const KeyType& k) { return k.value; },
      [](const KeyType& prev, const KeyType& next, float t) {
        const float u = SegmentFraction(t, prev.time, next.time);
        return BezierCurveLookup(prev.curve, u, prev.value);
      });
}

void CZK_AnimTrackPositionBezier::Prepare() {
  PrepareKeyTimes();
  const size_t n = m_keys.size();
  for (size_t i = 0; i < n; ++i) {
    CZK_KeyFrameBezierPosition& key = m_keys[i];
    const CZK_KeyFrameBezierPosition& next = m_keys[(i + 1) % n];
    AppendBezierCurve(key.curves[0], key.value.x, key.outTangent[0], next.value.x,
                      next.inTangent[0]);
    AppendBezierCurve(key.curves[1], key.value.y, key.outTangent[1], next.value.y,
                      next.inTangent[1]);
    AppendBezierCurve(key.curves[2], key.value.z, key.outTangent[2], next.value.z,
                      next.inTangent[2]);
  }
  m_sortedCurves.clear();
  m_sortedCurves.reserve(m_keys.size());
  for (const CZK_KeyFrameBezierPosition& key : m_keys) {
    uint8_t sorted = 0;
    for (int axis = 0; axis < 3; ++axis)
      sorted |= static_cast<uint8_t>(CurveIsSorted(key.curves[axis]) ? 1 << axis : 0);
    m_sortedCurves.push_back(sorted);
  }
}

namespace {
constexpr auto kHeldPosition = [](const CZK_KeyFrameBezierPosition& k) { return k.value; };
constexpr auto kBetweenPositions = [](const CZK_KeyFrameBezierPosition& prev,
                                      const CZK_KeyFrameBezierPosition& next, float t) {
  const float u = SegmentFraction(t, prev.time, next.time);
  return Vector3{BezierCurveLookup(prev.curves[0], u, prev.value.x),
                 BezierCurveLookup(prev.curves[1], u, prev.value.y),
                 BezierCurveLookup(prev.curves[2], u, prev.value.z)};
};
constexpr auto kHeldRotation = [](const CZK_KeyFrameBezierRotation& k) { return k.rotation; };
}  // namespace

Vector3* CZK_AnimTrackPositionBezier::Evaluate(Vector3* out, float time) const {
  *out = Sample(time, kZeroVector, kHeldPosition, kBetweenPositions);
  return out;
}

Vector3* CZK_AnimTrackPositionBezier::EvaluatePlaced(Vector3* out,
                                                     const NAnimTrackSearch::SPlacedTime& time,
                                                     uint32_t* cursor) const {
  *out = SampleFrom(time, cursor, kZeroVector, kHeldPosition,
                    [this](const KeyType& prev, const KeyType& next, float t) {
                      const size_t key = static_cast<size_t>(&prev - m_keys.data());
                      // Keys added since the last Prepare have no flags: they take the scan.
                      const uint32_t sorted = key < m_sortedCurves.size() ? m_sortedCurves[key] : 0;
                      if (sorted != 7) return kBetweenPositions(prev, next, t);
                      const float u = SegmentFraction(t, prev.time, next.time);
                      const BezierCurveTable* tables = prev.curves;
                      float v[3];
                      if (u > 0.0f && tables[0].size() >= kBezierCurveSamples &&
                          tables[1].size() >= kBezierCurveSamples &&
                          tables[2].size() >= kBezierCurveSamples && GuessedLookup3(tables, u, v))
                        return Vector3{v[0], v[1], v[2]};
                      return Vector3{SortedCurveLookup(prev.curves[0], u, prev.value.x),
                                     SortedCurveLookup(prev.curves[1], u, prev.value.y),
                                     SortedCurveLookup(prev.curves[2], u, prev.value.z)};
                    });
  return out;
}

void CZK_AnimTrackRotationBezier::Prepare() {
  PrepareKeyTimes();
  PreparePerPair(m_pairs, [](const KeyType& a, const KeyType& b) {
    return NAnimTrackSlerp::DirectArcPair(a.rotation, b.rotation);
  });
}

Quaternion* CZK_AnimTrackRotationBezier::EvaluatePlaced(Quaternion* out,
                                                        const NAnimTrackSearch::SPlacedTime& time,
                                                        uint32_t* cursor) const {
  *out = SampleFrom(time, cursor, kIdentityQuaternion, kHeldRotation,
                    [this](const KeyType& prev, const KeyType& next, float t) {
                      const size_t pair = static_cast<size_t>(&prev - m_keys.data());
                      const float u = SegmentFraction(t, prev.time, next.time);
                      // Keys added since the last Prepare have no constants yet.
                      if (pair >= m_pairs.size())
                        return QuaternionSlerpSpin(prev.rotation, next.rotation, 0.0f, u);
                      return NAnimTrackSlerp::DirectArcSlerp(prev.rotation, next.rotation,
                                                             m_pairs[pair], u);
                    });
  return out;
}

Quaternion* CZK_AnimTrackRotationBezier::Evaluate(Quaternion* out, float time) const {
  *out = Sample(time, kIdentityQuaternion, kHeldRotation,
                [](const KeyType& prev, const KeyType& next, float t) {
                  const float u = SegmentFraction(t, prev.time, next.time);
                  return QuaternionSlerpSpin(prev.rotation, next.rotation, 0.0f, u);
                });
  return out;
}

void CZK_AnimTrackScaleBezier::Prepare() { PrepareKeyTimes(); }

ScaleValue* CZK_AnimTrackScaleBezier::Evaluate(ScaleValue* out, float /*time*/) const {
  NRQLib2::NLogger::GetLogger().SelectLevel(4)
      << "AnimTrackScaleBezier not supported!" << std::endl;
  *out = kIdentityScaleValue;
  return out;
}
