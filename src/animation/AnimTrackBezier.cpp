#include "animation/AnimTrackBezier.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <span>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "animation/AnimTrackValues.h"
#include "foundation/Logger.h"

using NAnimTrackSearch::SegmentFraction;

namespace {
// The Bernstein weights of the kBezierCurveSamples sample positions, worked out once with the
// same float operations in the same order as a sample would: s advanced by repeated addition of
// the step, never recomputed from the index. Row k holds sample k's four weights, so that one
// 16-byte load gives them all.
struct SBezierWeights {
  alignas(16) float b[kBezierCurveSamples][4];
};
constexpr SBezierWeights MakeBezierWeights() {
  SBezierWeights w{};
  const float step = 1.0f / static_cast<float>(kBezierCurveSamples - 1);
  float s = 0.0f;
  for (size_t k = 0; k < kBezierCurveSamples; ++k) {
    const float a = 1.0f - s;
    const float a2 = a * a;
    const float s2 = s * s;
    w.b[k][0] = a2 * a;
    w.b[k][1] = 3.0f * s * a2;
    w.b[k][2] = 3.0f * s2 * a;
    w.b[k][3] = s2 * s;
    s += step;
  }
  return w;
}
constexpr SBezierWeights kBezierWeights = MakeBezierWeights();

#if defined(__SSE2__)
// The same weights by column: column i holds weight i of every sample, so that one 16-byte load
// gives that weight of four samples in a row.
struct SBezierWeightColumns {
  alignas(16) float b[4][kBezierCurveSamples];
};
constexpr SBezierWeightColumns MakeBezierWeightColumns() {
  SBezierWeightColumns w{};
  for (size_t k = 0; k < kBezierCurveSamples; ++k)
    for (size_t i = 0; i < 4; ++i) w.b[i][k] = kBezierWeights.b[k][i];
  return w;
}
constexpr SBezierWeightColumns kBezierWeightColumns = MakeBezierWeightColumns();

// And each weight of each sample in all four lanes, so that a sample's weights enter products
// for all three axes straight from memory, without a shuffle: 2 KB, which a frame's samples
// keep in the first-level cache.
struct SBezierWeightSplats {
  alignas(16) float b[kBezierCurveSamples][4][4];
};
constexpr SBezierWeightSplats MakeBezierWeightSplats() {
  SBezierWeightSplats w{};
  for (size_t k = 0; k < kBezierCurveSamples; ++k)
    for (size_t i = 0; i < 4; ++i)
      for (size_t lane = 0; lane < 4; ++lane) w.b[k][i][lane] = kBezierWeights.b[k][i];
  return w;
}
constexpr SBezierWeightSplats kBezierWeightSplats = MakeBezierWeightSplats();
#endif  // __SSE2__: the scalar path reads kBezierWeights
}  // namespace

namespace {
// The four control points of a segment curve, P0 = (0, v0) and P3 = (1, v1) with
// P1 = (p1x, p1y) and P2 = (p2x, p2y).
struct SBezierControls {
  float v0, p1x, p1y, p2x, p2y, v1;
};
SBezierControls BezierControls(float v0, const BezierTangent& out0, float v1,
                               const BezierTangent& in1) {
  return {v0, out0.dt, v0 + out0.dv, 1.0f + in1.dt, v1 + in1.dv, v1};
}
// Whether the x of the samples a lookup reads never decrease (a NaN counts as a decrease).
bool CurveIsSorted(const BezierCurvePoint* p, size_t size) {
  const size_t count = std::min(size, kBezierCurveSamples);
  for (size_t k = 1; k < count; ++k)
    if (!(p[k - 1].x <= p[k].x)) return false;
  return true;
}
// Sample k of the curve, as a table holds it. A sample worked out again from the same control
// points has the same bits.
[[maybe_unused]] BezierCurvePoint BezierSample(const SBezierControls& c, size_t k) {
  const float* b = kBezierWeights.b[k];
  return {b[1] * c.p1x + b[2] * c.p2x + b[3],
          b[0] * c.v0 + b[1] * c.p1y + b[2] * c.p2y + b[3] * c.v1};
}
// Writes the kBezierCurveSamples samples of the curve at out, in the order a table holds them,
// and returns whether their x never decrease (a NaN counts as a decrease). Loading a scene
// works out every sample of every key: with SSE2 four samples at a time, each lane with
// BezierSample's operations in its order, so to its bits.
[[gnu::always_inline]] inline bool WriteCurveSamples(const SBezierControls& c,
                                                     BezierCurvePoint* out) {
#if defined(__SSE2__)
  static_assert(kBezierCurveSamples % 4 == 0);
  const __m128 p1x = _mm_set1_ps(c.p1x), p2x = _mm_set1_ps(c.p2x), v0 = _mm_set1_ps(c.v0),
               p1y = _mm_set1_ps(c.p1y), p2y = _mm_set1_ps(c.p2y), v1 = _mm_set1_ps(c.v1);
  const float(&w)[4][kBezierCurveSamples] = kBezierWeightColumns.b;
  // The previous four samples (set at the first four: the first sample precedes itself).
  __m128 before = _mm_setzero_ps();
  __m128 order = _mm_castsi128_ps(_mm_set1_epi32(-1));
  for (size_t k = 0; k < kBezierCurveSamples; k += 4) {
    const __m128 b0 = _mm_load_ps(&w[0][k]), b1 = _mm_load_ps(&w[1][k]), b2 = _mm_load_ps(&w[2][k]),
                 b3 = _mm_load_ps(&w[3][k]);
    const __m128 x = _mm_add_ps(_mm_add_ps(_mm_mul_ps(b1, p1x), _mm_mul_ps(b2, p2x)), b3);
    const __m128 y = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(b0, v0), _mm_mul_ps(b1, p1y)), _mm_mul_ps(b2, p2y)),
        _mm_mul_ps(b3, v1));
    _mm_storeu_ps(&out[k].x, _mm_unpacklo_ps(x, y));
    _mm_storeu_ps(&out[k + 2].x, _mm_unpackhi_ps(x, y));
    // (last of before, x0, x1, x2): lane i then holds the x before lane i's.
    if (k == 0) before = _mm_shuffle_ps(x, x, _MM_SHUFFLE(0, 0, 0, 0));
    const __m128 ends = _mm_shuffle_ps(before, x, _MM_SHUFFLE(0, 0, 3, 3));
    order = _mm_and_ps(order, _mm_cmple_ps(_mm_shuffle_ps(ends, x, _MM_SHUFFLE(2, 1, 2, 0)), x));
    before = x;
  }
  return _mm_movemask_ps(order) == 0xF;
#else
  for (size_t k = 0; k < kBezierCurveSamples; ++k) out[k] = BezierSample(c, k);
  return CurveIsSorted(out, kBezierCurveSamples);
#endif
}
// Appends the samples of the curve to the table (one allocation of the exact size for a fresh
// table, written once: the fresh memory of a loaded scene's tables, several times its file's
// size, is a good part of its load). Returns whether the table's first kBezierCurveSamples
// samples are those of the curve, bit for bit, and sets *increasing to whether their x never
// decrease. A fresh table's samples are not read back.
bool AppendCurve(BezierCurveTable& table, const SBezierControls& c, bool* increasing) {
  if (table.empty()) {
    *increasing = WriteCurveSamples(c, table.extend(kBezierCurveSamples));
    return true;
  }
  BezierCurvePoint samples[kBezierCurveSamples];
  WriteCurveSamples(c, samples);
  std::memcpy(table.extend(kBezierCurveSamples), samples, sizeof(samples));
  *increasing = CurveIsSorted(table.data(), table.size());
  return std::memcmp(table.data(), samples, sizeof(samples)) == 0;
}
}  // namespace

BezierCurvePoint* BezierCurveTable::extend(size_t count) {
  if (count > 0x7FFFFFFFu - m_size) throw std::length_error("BezierCurveTable: too many samples");
  const size_t size = m_size + count;
  if (size > m_capacity) {
    const size_t capacity =
        std::min<size_t>(std::max<size_t>(size, 2 * size_t{m_size}), 0x7FFFFFFFu);
    auto* grown = new BezierCurvePoint[capacity];
    std::copy(m_data, m_data + m_size, grown);
    const uint32_t kept = m_size;
    Release();
    m_data = grown;
    m_size = kept;
    m_capacity = static_cast<uint32_t>(capacity) & 0x7FFFFFFFu;
  }
  BezierCurvePoint* added = m_data + m_size;
  m_size = static_cast<uint32_t>(size);
  return added;
}

void BezierCurveTable::resize(size_t count) {
  if (count <= m_size) {
    m_size = static_cast<uint32_t>(count);
    return;
  }
  const size_t added = count - m_size;
  std::fill_n(extend(added), added, BezierCurvePoint{0.0f, 0.0f});
}

void BezierCurveTable::UseStorage(BezierCurvePoint* storage, size_t room) {
  Release();
  m_data = storage;
  m_size = 0;
  m_capacity = static_cast<uint32_t>(std::min<size_t>(room, 0x7FFFFFFFu)) & 0x7FFFFFFFu;
  m_borrowed = 1;
}

void BezierCurveTable::Assign(const BezierCurveTable& other) {
  if (other.m_size > m_capacity || m_borrowed) {
    Release();
    if (other.m_size > 0) {
      m_data = new BezierCurvePoint[other.m_size];
      m_capacity = other.m_size & 0x7FFFFFFFu;
    }
  }
  std::copy(other.begin(), other.end(), m_data);
  m_size = other.m_size;
}

void BezierCurveTable::Release() {
  if (!m_borrowed) delete[] m_data;
  m_data = nullptr;
  m_size = 0;
  m_capacity = 0;
  m_borrowed = 0;
}

namespace {
// On a track's first Prepare, when no table of its keys holds samples yet: gives every table
// (tables(key) lists a key's) its place in one new block, which the track keeps in *block.
template <class Keys, class Tables>
void PlaceCurveTables(Keys& keys, std::unique_ptr<BezierCurvePoint[]>* block, Tables tables) {
  size_t count = 0;
  for (auto& key : keys) {
    for (BezierCurveTable& table : tables(key)) {
      if (!table.empty()) return;
      ++count;
    }
  }
  if (count == 0) return;
  // The tables are pointed at the new block before the old one, which an emptied table may
  // still refer to, is freed.
  std::unique_ptr<BezierCurvePoint[]> fresh(new BezierCurvePoint[count * kBezierCurveSamples]);
  BezierCurvePoint* at = fresh.get();
  for (auto& key : keys) {
    for (BezierCurveTable& table : tables(key)) {
      table.UseStorage(at, kBezierCurveSamples);
      at += kBezierCurveSamples;
    }
  }
  *block = std::move(fresh);
}
}  // namespace

void AppendBezierCurve(BezierCurveTable& table, float v0, const BezierTangent& out0, float v1,
                       const BezierTangent& in1) {
  bool increasing;
  AppendCurve(table, BezierControls(v0, out0, v1, in1), &increasing);
}

namespace {
// The value between samples k - 1 and k, where p[k - 1].x <= u < p[k].x (so the divisor is
// positive), or the last sample's when k is count.
inline float CurveValue(const BezierCurvePoint* p, size_t k, size_t count, float u) {
  if (k == count) return p[count - 1].y;
  const float f = (u - p[k - 1].x) / (p[k].x - p[k - 1].x);
  return (1.0f - f) * p[k - 1].y + f * p[k].y;
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

// Samples k[a] - 1 and k[a] of the three axes a of a position key: with SSE2 lane a of each
// register (the fourth lane is unused), so that the three axes run side by side.
#if defined(__SSE2__)
struct SSamplePairs3 {
  __m128 x0, y0, x1, y1;
};
#else
struct SSamplePairs3 {
  float x0[3], y0[3], x1[3], y1[3];
};
#endif

// The sample pairs read from the three tables of a key. With SSE2 each pair of samples is one
// 16-byte load (x0, y0, x1, y1), and the three loads are transposed into the x0, y0, x1 and y1
// of all three axes.
struct STableSamples3 {
  const BezierCurvePoint* p[3];
  SSamplePairs3 operator()(const size_t* k) const {
#if defined(__SSE2__)
    __m128 x0 = _mm_loadu_ps(&p[0][k[0] - 1].x);  // axis 0 before the transposition
    __m128 y0 = _mm_loadu_ps(&p[1][k[1] - 1].x);  // axis 1
    __m128 x1 = _mm_loadu_ps(&p[2][k[2] - 1].x);  // axis 2
    __m128 y1 = x1;
    _MM_TRANSPOSE4_PS(x0, y0, x1, y1);
    return {x0, y0, x1, y1};
#else
    SSamplePairs3 s;
    for (int a = 0; a < 3; ++a) {
      s.x0[a] = p[a][k[a] - 1].x;
      s.y0[a] = p[a][k[a] - 1].y;
      s.x1[a] = p[a][k[a]].x;
      s.y1[a] = p[a][k[a]].y;
    }
    return s;
#endif
  }
};

// The sample pairs worked out from a segment's control points with BezierSample's operations,
// lane by lane, so to the bit the tables' samples.
struct SComputedSamples3 {
  const SBezierPositionSegment& c;
#if defined(__SSE2__)
  // Sample x and y of every axis from the weights b0 .. b3 of each lane's sample.
  [[gnu::always_inline]] void Sample(__m128 b0, __m128 b1, __m128 b2, __m128 b3, __m128* x,
                                     __m128* y) const {
    // Each load of three floats takes the next array's first into the unused lane.
    *x = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(b1, _mm_loadu_ps(c.p1x)), _mm_mul_ps(b2, _mm_loadu_ps(c.p2x))), b3);
    *y = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(b0, _mm_loadu_ps(c.v0)),
                                          _mm_mul_ps(b1, _mm_loadu_ps(c.p1y))),
                               _mm_mul_ps(b2, _mm_loadu_ps(c.p2y))),
                    _mm_mul_ps(b3, _mm_loadu_ps(c.v1)));
  }
  // Sample k on every axis.
  void SampleRow(size_t k, __m128* x, __m128* y) const {
    const float(&w)[4][4] = kBezierWeightSplats.b[k];
    Sample(_mm_load_ps(w[0]), _mm_load_ps(w[1]), _mm_load_ps(w[2]), _mm_load_ps(w[3]), x, y);
  }
  SSamplePairs3 Uniform(size_t k) const {
    SSamplePairs3 s;
    SampleRow(k - 1, &s.x0, &s.y0);
    SampleRow(k, &s.x1, &s.y1);
    return s;
  }
#endif
  SSamplePairs3 operator()(const size_t* k) const {
    SSamplePairs3 s;
#if defined(__SSE2__)
    for (size_t back = 0; back < 2; ++back) {
      const auto weight = [&](int i) {
        return _mm_setr_ps(kBezierWeights.b[k[0] - back][i], kBezierWeights.b[k[1] - back][i],
                           kBezierWeights.b[k[2] - back][i], 0.0f);
      };
      Sample(weight(0), weight(1), weight(2), weight(3), back ? &s.x0 : &s.x1,
             back ? &s.y0 : &s.y1);
    }
#else
    for (int a = 0; a < 3; ++a) {
      const SBezierControls axis = {c.v0[a], c.p1x[a], c.p1y[a], c.p2x[a], c.p2y[a], c.v1[a]};
      const BezierCurvePoint before = BezierSample(axis, k[a] - 1), at = BezierSample(axis, k[a]);
      s.x0[a] = before.x;
      s.y0[a] = before.y;
      s.x1[a] = at.x;
      s.y1[a] = at.y;
    }
#endif
    return s;
  }
};

// Bit a of *below: u < x0 on axis a; of *under: u < x1. Returns whether on every axis x0 <= u <
// x1, the pair enclosing u.
[[gnu::always_inline]] inline bool Encloses3(const SSamplePairs3& s, float u, unsigned* below,
                                             unsigned* under) {
#if defined(__SSE2__)
  const __m128 uu = _mm_set1_ps(u);
  *below = static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(uu, s.x0))) & 7u;
  *under = static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(uu, s.x1))) & 7u;
#else
  *below = *under = 0;
  for (unsigned a = 0; a < 3; ++a) {
    *below |= static_cast<unsigned>(u < s.x0[a]) << a;
    *under |= static_cast<unsigned>(u < s.x1[a]) << a;
  }
#endif
  return *below == 0 && *under == 7u;
}

// Each axis' value between its pair, as CurveValue works it out: with SSE2 the three fractions
// take one division, with CurveValue's operations lane by lane, so the results are its bits.
[[gnu::always_inline]] inline void Interpolate3(const SSamplePairs3& s, float u, Vector3* out) {
#if defined(__SSE2__)
  const __m128 uu = _mm_set1_ps(u);
  const __m128 f = _mm_div_ps(_mm_sub_ps(uu, s.x0), _mm_sub_ps(s.x1, s.x0));
  const __m128 v =
      _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), f), s.y0), _mm_mul_ps(f, s.y1));
  _mm_storel_pi(reinterpret_cast<__m64*>(&out->x), v);  // x and y
  _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
#else
  float* value[3] = {&out->x, &out->y, &out->z};
  for (int a = 0; a < 3; ++a) {
    const float f = (u - s.x0[a]) / (s.x1[a] - s.x0[a]);
    *value[a] = (1.0f - f) * s.y0[a] + f * s.y1[a];
  }
#endif
}

// The three axes of a position key, each with sorted samples, at u > 0; samples(k) gives the
// pairs k[a] - 1 and k[a]. The samples' x run close to evenly from 0 to 1, so the first guess
// for every axis is the sample at u's share of the table; an axis whose guess is off by one
// moves to its neighbour (counted from two comparisons, without a branch) and all three are
// checked again. On sorted x a pair of neighbours enclosing u makes u's place certain, and no
// earlier sample is read. False when u lies elsewhere on some axis (the caller then looks each
// axis up in full), or at the last sample.
template <class Samples>
[[gnu::always_inline]] inline bool GuessedLookup3(const Samples& samples, float u, Vector3* out) {
  constexpr size_t count = kBezierCurveSamples;
  const float share = u * static_cast<float>(count - 1);
  if (!(share < static_cast<float>(count - 1))) return false;  // NaN or u at the last sample
  const size_t guess = static_cast<size_t>(share) + 1;         // 1 .. count - 1
  size_t k[3] = {guess, guess, guess};
  SSamplePairs3 s;
  if constexpr (requires { samples.Uniform(guess); })
    s = samples.Uniform(guess);
  else
    s = samples(k);
  unsigned below, under;
  if (!Encloses3(s, u, &below, &under)) {
    for (unsigned a = 0; a < 3; ++a) {
      const size_t up = static_cast<size_t>(!((under >> a) & 1u)) & (guess + 1 < count);
      const size_t down = static_cast<size_t>((below >> a) & 1u) & (guess > 1);
      k[a] = guess + up - down;
    }
    // Axes that share their time handles, the usual case, move together: their samples then
    // take the cheaper rows.
    if constexpr (requires { samples.Uniform(guess); })
      s = k[0] == k[1] && k[1] == k[2] ? samples.Uniform(k[0]) : samples(k);
    else
      s = samples(k);
    if (!Encloses3(s, u, &below, &under)) return false;
  }
  Interpolate3(s, u, out);
  return true;
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
  PlaceCurveTables(m_keys, &m_curveStorage,
                   [](KeyType& key) { return std::span<BezierCurveTable>(&key.curve, 1); });
  const size_t n = m_keys.size();
  for (size_t i = 0; i < n; ++i) {
    CZK_KeyFrameBezierFloat& key = m_keys[i];
    const CZK_KeyFrameBezierFloat& next = m_keys[i + 1 < n ? i + 1 : 0];
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
  PlaceCurveTables(m_keys, &m_curveStorage,
                   [](KeyType& key) { return std::span<BezierCurveTable>(key.curves); });
  const size_t n = m_keys.size();
  m_segments.clear();
  m_segmentCount = 0;
  m_segments.reserve(n > 1 ? n - 1 : 0);
  m_sortedCurves.clear();
  m_sortedCurves.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    CZK_KeyFrameBezierPosition& key = m_keys[i];
    const CZK_KeyFrameBezierPosition& next = m_keys[i + 1 < n ? i + 1 : 0];
    const float v0[3] = {key.value.x, key.value.y, key.value.z};
    const float v1[3] = {next.value.x, next.value.y, next.value.z};
    SBezierPositionSegment segment;
    bool computed = true;  // every table's first samples are those of the control points
    uint8_t sorted = 0;
    for (int a = 0; a < 3; ++a) {
      BezierCurveTable& table = key.curves[a];
      const SBezierControls c = BezierControls(v0[a], key.outTangent[a], v1[a], next.inTangent[a]);
      // A table filled before (a second Prepare) keeps its first samples: the segment uses
      // them only while they are still these.
      bool increasing;
      computed = AppendCurve(table, c, &increasing) && computed;
      sorted |= static_cast<uint8_t>(increasing ? 1 << a : 0);
      segment.v0[a] = c.v0;
      segment.p1x[a] = c.p1x;
      segment.p1y[a] = c.p1y;
      segment.p2x[a] = c.p2x;
      segment.p2y[a] = c.p2y;
      segment.v1[a] = c.v1;
    }
    m_sortedCurves.push_back(sorted);
    // The last key's tables run back to key 0 and are never read.
    if (i + 1 == n) break;
    segment.t0 = key.time;
    const bool spans = std::fabs(key.time - next.time) > NAnimTrackSearch::kMinSegmentLength;
    segment.t1 = computed && sorted == 7 && spans ? next.time : -INFINITY;
    m_segments.push_back(segment);
  }
  m_segmentCount = m_segments.size();
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
  // Most samples fall in the segment found last time or the one after it (as in
  // FindPlacedSegment), and nearly all of them are worked out from that segment's control
  // points alone, without reading the keys or their tables.
  const size_t i = *cursor;
  const float t = time.time;
  if (time.held == NAnimTrackSearch::kHoldNone && m_times.Ordered() && i - 1 < m_segmentCount &&
      !(t < m_segments[i - 1].t0)) {
    const SBezierPositionSegment* s = &m_segments[i - 1];
    bool found = t < s->t1;
    if (!found && i < m_segmentCount && !(t < s[1].t0) && t < s[1].t1) {
      *cursor = static_cast<uint32_t>(i + 1);
      ++s;
      found = true;
    }
    if (found) {
      // SegmentFraction's: a segment short enough for it to give 0 has no end here.
      const float u = (t - s->t0) / (s->t1 - s->t0);
      if (u > 0.0f && GuessedLookup3(SComputedSamples3{*s}, u, out)) return out;
    }
  }
  return EvaluateSearched(out, time, cursor);
}

Vector3* CZK_AnimTrackPositionBezier::EvaluateSearched(Vector3* out,
                                                       const NAnimTrackSearch::SPlacedTime& time,
                                                       uint32_t* cursor) const {
  *out = SampleFrom(
      time, cursor, kZeroVector, kHeldPosition,
      [this](const KeyType& prev, const KeyType& next, float t) {
        const size_t key = static_cast<size_t>(&prev - m_keys.data());
        // Keys added since the last Prepare have no flags: they take the scan.
        const uint32_t sorted = key < m_sortedCurves.size() ? m_sortedCurves[key] : 0;
        if (sorted != 7) return kBetweenPositions(prev, next, t);
        const float u = SegmentFraction(t, prev.time, next.time);
        const BezierCurveTable* tables = prev.curves;
        Vector3 v;
        if (u > 0.0f && tables[0].size() >= kBezierCurveSamples &&
            tables[1].size() >= kBezierCurveSamples && tables[2].size() >= kBezierCurveSamples &&
            GuessedLookup3(STableSamples3{{tables[0].data(), tables[1].data(), tables[2].data()}},
                           u, &v))
          return v;
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
