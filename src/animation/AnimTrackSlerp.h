// Spherical interpolation between the two keys of a segment with the segment's constants worked
// out once when the track is prepared: the angle between the keys, the reciprocal of its sine
// and, for the shorter-arc kind, the sign that turns the second key onto the near hemisphere. A
// sample then costs two polynomial sines instead of the inverse trigonometry and the library
// sines of the general routines, whose conventions these follow step for step.
//
// The pair is two floats, since it is stored once per key of every rotation track (one for
// linear keys, see ShorterArcSignedAngle). The sign is carried by the reciprocal sine; keys so
// close that the weights are the plain linear ones have an angle of exactly zero (a curved
// pair's angle is never below 4e-4) and the sign alone in place of the reciprocal sine.
#pragma once

#include <cmath>
#include <cstdint>

#include "foundation/Math.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace NAnimTrackSlerp {

struct SSlerpPair {
  float angle = 0.0f;              // zero: a straight pair
  float signedInverseSine = 1.0f;  // 1 / sin(angle) times the sign (the sign alone if straight)
  bool Straight() const { return angle == 0.0f; }
};
static_assert(sizeof(SSlerpPair) == 8);

// The polynomial sine and its constants (foundation/Math.h), which the routines below run two
// or four at a time.
using zk_math::kSineC11;
using zk_math::kSineC13;
using zk_math::kSineC3;
using zk_math::kSineC5;
using zk_math::kSineC7;
using zk_math::kSineC9;
using zk_math::SineHalfTurn;
constexpr double kHalfPi = zk_math::kHalfPiDouble, kPi = zk_math::kPiDouble;

#if defined(__SSE2__)
// SineHalfTurn of the two doubles of d in [0, pi/2], where no reflection is needed: to the bit
// the same operations.
inline __m128d SineQuarterTurn2(__m128d d) {
  const __m128d d2 = _mm_mul_pd(d, d);
  const __m128d d4 = _mm_mul_pd(d2, d2);
  const __m128d d8 = _mm_mul_pd(d4, d4);
  const auto c = [](double v) { return _mm_set1_pd(v); };
  const __m128d low =
      _mm_add_pd(_mm_add_pd(c(1.0), _mm_mul_pd(d2, c(kSineC3))),
                 _mm_mul_pd(d4, _mm_add_pd(c(kSineC5), _mm_mul_pd(d2, c(kSineC7)))));
  const __m128d high =
      _mm_add_pd(_mm_add_pd(c(kSineC9), _mm_mul_pd(d2, c(kSineC11))), _mm_mul_pd(d4, c(kSineC13)));
  return _mm_mul_pd(d, _mm_add_pd(low, _mm_mul_pd(d8, high)));
}

// SineHalfTurn of the two doubles of d, to the bit the same operations.
inline __m128d SineHalfTurn2(__m128d d) {
  const __m128d reflect = _mm_cmpgt_pd(d, _mm_set1_pd(kHalfPi));
  return SineQuarterTurn2(
      _mm_or_pd(_mm_and_pd(reflect, _mm_sub_pd(_mm_set1_pd(kPi), d)), _mm_andnot_pd(reflect, d)));
}

// SineHalfTurn of four floats in [0, pi/2], to the bit.
inline __m128 SineQuarterTurn4(__m128 x) {
  const __m128d low = SineQuarterTurn2(_mm_cvtps_pd(x));
  const __m128d high = SineQuarterTurn2(_mm_cvtps_pd(_mm_movehl_ps(x, x)));
  return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

// Where the processor has AVX, four doubles go through the polynomial in one register: the same
// operations, so the same bits, in half the instructions. Only functions built for AVX call the
// ...Avx routines, and only where kCpuHasAvx (read once, when the library is loaded).
//
// SSE2 also compiles to WebAssembly's SIMD, which has no AVX: there ZELKAR_AVX_PATH is not defined
// and the SSE2 routines serve alone.
#if !defined(__EMSCRIPTEN__)
#define ZELKAR_AVX_PATH 1
#define ZELKAR_TARGET_AVX __attribute__((target("avx")))
inline const bool kCpuHasAvx = (__builtin_cpu_init(), __builtin_cpu_supports("avx"));

// SineHalfTurn's polynomial of four doubles in [0, pi/2].
ZELKAR_TARGET_AVX inline __m256d SineQuarterTurnAvx(__m256d d) {
  const __m256d d2 = _mm256_mul_pd(d, d);
  const __m256d d4 = _mm256_mul_pd(d2, d2);
  const __m256d d8 = _mm256_mul_pd(d4, d4);
  const __m256d low = _mm256_add_pd(
      _mm256_add_pd(_mm256_set1_pd(1.0), _mm256_mul_pd(d2, _mm256_set1_pd(kSineC3))),
      _mm256_mul_pd(
          d4, _mm256_add_pd(_mm256_set1_pd(kSineC5), _mm256_mul_pd(d2, _mm256_set1_pd(kSineC7)))));
  const __m256d high = _mm256_add_pd(
      _mm256_add_pd(_mm256_set1_pd(kSineC9), _mm256_mul_pd(d2, _mm256_set1_pd(kSineC11))),
      _mm256_mul_pd(d4, _mm256_set1_pd(kSineC13)));
  return _mm256_mul_pd(d, _mm256_add_pd(low, _mm256_mul_pd(d8, high)));
}

// SineQuarterTurn4 and SineHalfTurn4 (below) with AVX.
ZELKAR_TARGET_AVX inline __m128 SineQuarterTurn4Avx(__m128 x) {
  return _mm256_cvtpd_ps(SineQuarterTurnAvx(_mm256_cvtps_pd(x)));
}
ZELKAR_TARGET_AVX inline __m128 SineHalfTurn4Avx(__m128 x) {
  const __m256d d = _mm256_cvtps_pd(x);
  const __m256d reflect = _mm256_cmp_pd(d, _mm256_set1_pd(kHalfPi), _CMP_GT_OQ);
  return _mm256_cvtpd_ps(
      SineQuarterTurnAvx(_mm256_blendv_pd(d, _mm256_sub_pd(_mm256_set1_pd(kPi), d), reflect)));
}
#endif  // ZELKAR_AVX_PATH
#endif

// SineHalfTurn of two arguments at once, to the bit the same: every slerp needs two sines, and
// with SSE2 both share one chain of double operations.
inline void SineHalfTurnPair(float x, float y, float* sx, float* sy) {
#if defined(__SSE2__)
  const __m128 r = _mm_cvtpd_ps(SineHalfTurn2(_mm_cvtps_pd(_mm_setr_ps(x, y, 0.0f, 0.0f))));
  *sx = _mm_cvtss_f32(r);
  *sy = _mm_cvtss_f32(_mm_shuffle_ps(r, r, 1));
#else
  *sx = SineHalfTurn(x);
  *sy = SineHalfTurn(y);
#endif
}

// Constants of D3DXQuaternionSlerp(a, b), the second key taken on the near hemisphere, folded
// into one float, as a linear rotation key keeps them: the angle between the keys carrying the
// sign of the correction (a straight pair is +0 or -0). The shorter arc's angle never exceeds
// pi/2. Unfolding works the reciprocal sine out with the polynomial sine.
// The folded angle depends on the keys' dot product d alone: ShorterArcSignedAngle of d.
// With c >= 0 the angle atan2(s, c) is the arc tangent of the quotient s / c (infinite at
// c = 0), which is how the 64-bit C library's float atan2 works it out there: calling atan on
// the quotient gives its bits (checked over every float c in [0, 1]) without its case analysis,
// about 7% off the load of a scene of linear tracks. (The 32-bit library's atan2 divides in
// extended precision; there a quarter of a percent of the angles differ in their last bit.)
inline float ShorterArcSignedAngleOfDot(float d) {
  const float c = std::fabs(d);
  const float angle =
      1.0f - c < 1.1920929e-07f ? 0.0f : zk_math::ArcTangent(std::sqrt(1.0f - c * c) / c);
  return d < 0.0f ? -angle : angle;
}
inline float ShorterArcSignedAngle(const Quaternion& a, const Quaternion& b) {
  return ShorterArcSignedAngleOfDot(QuaternionDot(a, b));
}
inline SSlerpPair UnfoldSignedAngle(float signedAngle) {
  SSlerpPair k;
  k.angle = std::fabs(signedAngle);
  const float sign = std::copysign(1.0f, signedAngle);
  k.signedInverseSine = k.Straight() ? sign : sign / SineHalfTurn(k.angle);
  return k;
}

inline Quaternion ShorterArcSlerp(const Quaternion& a, const Quaternion& b, const SSlerpPair& k,
                                  float t) {
  // A sign flip is exact, so these weights are those of the angle, reciprocal sine and sign
  // applied one after the other.
  float w1, w2;
  if (k.Straight()) {
    w1 = 1.0f - t;
    w2 = t * k.signedInverseSine;
  } else {
    SineHalfTurnPair((1.0f - t) * k.angle, t * k.angle, &w1, &w2);
    w1 *= std::fabs(k.signedInverseSine);
    w2 *= k.signedInverseSine;
  }
  return {w1 * a.x + w2 * b.x, w1 * a.y + w2 * b.y, w1 * a.z + w2 * b.z, w1 * a.w + w2 * b.w};
}

// Constants of QuaternionSlerpSpin(a, b, 0, t): no hemisphere correction. The angle comes from
// the library's arc cosine, the reciprocal sine from SineHalfTurn, as QuaternionSlerpSpin works
// them out.
inline SSlerpPair DirectArcPair(const Quaternion& a, const Quaternion& b) {
  SSlerpPair k;
  const float c = QuaternionDot(a, b);
  if (!(1.0f - std::fabs(c) < 9.99999997e-07f)) {
    k.angle = zk_math::ArcCosine(c);
    k.signedInverseSine = 1.0f / SineHalfTurn(k.angle);
  }
  return k;
}

inline Quaternion DirectArcSlerp(const Quaternion& a, const Quaternion& b, const SSlerpPair& k,
                                 float t) {
  // The blend runs in double, as in the general routine.
  double wa, wb;
  if (k.Straight()) {
    wa = 1.0 - static_cast<double>(t);
    wb = t;
  } else {
    const float phi = k.angle * t;
    float sa, sb;
    SineHalfTurnPair(k.angle - phi, phi, &sa, &sb);
    wa = sa * k.signedInverseSine;
    wb = sb * k.signedInverseSine;
  }
  return {static_cast<float>(wa * a.x + wb * b.x), static_cast<float>(wa * a.y + wb * b.y),
          static_cast<float>(wa * a.z + wb * b.z), static_cast<float>(wa * a.w + wb * b.w)};
}

#if defined(__SSE2__)
// SineHalfTurn of four arguments at once, to the bit the same: the two halves of the register
// run through the polynomial side by side, so their chains of dependent operations overlap.
inline __m128 SineHalfTurn4(__m128 x) {
  return _mm_movelh_ps(_mm_cvtpd_ps(SineHalfTurn2(_mm_cvtps_pd(x))),
                       _mm_cvtpd_ps(SineHalfTurn2(_mm_cvtps_pd(_mm_movehl_ps(x, x)))));
}

// The double weights (wa, wb) of DirectArcSlerp from its float sines (lanes `lane` and
// `lane` + 1 of s, already multiplied by the reciprocal sine), or the straight pair's.
template <int lane>
inline __m128d DirectArcWeights(__m128 s, bool straight, float t) {
  if (straight) return _mm_setr_pd(1.0 - static_cast<double>(t), t);
  if constexpr (lane == 0) return _mm_cvtps_pd(s);
  return _mm_cvtps_pd(_mm_movehl_ps(s, s));
}

// DirectArcSlerp's blend with the weights (wa, wb): in double, rounded once per component.
inline __m128 DirectArcBlend(__m128 a, __m128 b, __m128d w) {
  const __m128d wa = _mm_unpacklo_pd(w, w);
  const __m128d wb = _mm_unpackhi_pd(w, w);
  const __m128d low = _mm_add_pd(_mm_mul_pd(wa, _mm_cvtps_pd(a)), _mm_mul_pd(wb, _mm_cvtps_pd(b)));
  const __m128d high = _mm_add_pd(_mm_mul_pd(wa, _mm_cvtps_pd(_mm_movehl_ps(a, a))),
                                  _mm_mul_pd(wb, _mm_cvtps_pd(_mm_movehl_ps(b, b))));
  return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}
#endif

#if defined(__SSE2__)
// The last slerp of a squad whose two inner slerps are not within DirectArcPair's straight
// limit of each other (dot product c): its own angle and three sines. Out of line, so that the
// usual path, a straight last slerp, needs no frame of its own (and keys sampled at their own
// pace mostly take it).
[[gnu::noinline]] inline void DirectArcLastSlerp(__m128 onCurve, __m128 onControls, float c,
                                                 float e, Quaternion* out) {
  const float between = 2.0f * e * (1.0f - e);
  const float angle = zk_math::ArcCosine(c);
  const float phi = angle * between;
  alignas(16) float s[4];
  _mm_store_ps(s, SineHalfTurn4(_mm_setr_ps(angle - phi, phi, angle, angle)));
  const float inverseSine = 1.0f / s[2];
  const __m128d w = _mm_setr_pd(s[0] * inverseSine, s[1] * inverseSine);
  _mm_storeu_ps(&out->x, DirectArcBlend(onCurve, onControls, w));
}
#endif

#if defined(__SSE2__)
#if defined(ZELKAR_AVX_PATH)
// DirectArcBlend with AVX, the weights wa and wb in every element.
ZELKAR_TARGET_AVX inline __m128 DirectArcBlendAvx(__m128 a, __m128 b, __m256d wa, __m256d wb) {
  return _mm256_cvtpd_ps(
      _mm256_add_pd(_mm256_mul_pd(wa, _mm256_cvtps_pd(a)), _mm256_mul_pd(wb, _mm256_cvtps_pd(b))));
}
#endif

// The steps of a squad with a given instruction set: Sines of four floats in [0, pi]; Slerp,
// the blend of a and b with the sines in lanes `lane` and `lane` + 1 (already times the
// reciprocal sine) or, for a straight pair, with 1 - t and t; Straight, the latter alone. Both
// sets take the same operations, so the squad's bits do not depend on the set.
struct SSquadStepsSse2 {
  static __m128 Sines(__m128 x) { return SineHalfTurn4(x); }
  template <int lane>
  static __m128 Slerp(__m128 a, __m128 b, __m128 sines, bool straight, float t) {
    return DirectArcBlend(a, b, DirectArcWeights<lane>(sines, straight, t));
  }
  static __m128 Straight(__m128 a, __m128 b, float t) {
    return DirectArcBlend(a, b, _mm_setr_pd(1.0 - static_cast<double>(t), t));
  }
};
#if defined(ZELKAR_AVX_PATH)
struct SSquadStepsAvx {
  ZELKAR_TARGET_AVX static __m128 Sines(__m128 x) { return SineHalfTurn4Avx(x); }
  template <int lane>
  ZELKAR_TARGET_AVX static __m128 Slerp(__m128 a, __m128 b, __m128 sines, bool straight, float t) {
    if (straight) return Straight(a, b, t);
    const __m256d wide = _mm256_cvtps_pd(sines);
    const __m256d pair = _mm256_permute2f128_pd(wide, wide, lane == 0 ? 0x00 : 0x11);
    return DirectArcBlendAvx(a, b, _mm256_permute_pd(pair, 0x0), _mm256_permute_pd(pair, 0xF));
  }
  ZELKAR_TARGET_AVX static __m128 Straight(__m128 a, __m128 b, float t) {
    return DirectArcBlendAvx(a, b, _mm256_set1_pd(1.0 - static_cast<double>(t)), _mm256_set1_pd(t));
  }
};
#endif

// DirectArcSquad (below) with the steps of Steps: the four sines of the first two slerps in one
// pass, the blends two or four components to a register, and the last slerp, when not
// straight, with its three sines (the two weights' and its reciprocal's) in one more pass.
template <class Steps>
[[gnu::always_inline]] inline void DirectArcSquadWith(const Quaternion& q0, const Quaternion& q1,
                                                      const SSlerpPair& keys, const Quaternion& a0,
                                                      const Quaternion& b1,
                                                      const SSlerpPair& controls, float e,
                                                      Quaternion* out) {
  const float phiKeys = keys.angle * e;
  const float phiControls = controls.angle * e;
  const __m128 sines =
      _mm_mul_ps(Steps::Sines(_mm_setr_ps(keys.angle - phiKeys, phiKeys,
                                          controls.angle - phiControls, phiControls)),
                 _mm_setr_ps(keys.signedInverseSine, keys.signedInverseSine,
                             controls.signedInverseSine, controls.signedInverseSine));
  const __m128 onCurve =
      Steps::template Slerp<0>(_mm_loadu_ps(&q0.x), _mm_loadu_ps(&q1.x), sines, keys.Straight(), e);
  const __m128 onControls = Steps::template Slerp<2>(_mm_loadu_ps(&a0.x), _mm_loadu_ps(&b1.x),
                                                     sines, controls.Straight(), e);
  // The dot product summed in the order of QuaternionDot.
  const __m128 p = _mm_mul_ps(onCurve, onControls);
  const __m128 p1 = _mm_shuffle_ps(p, p, _MM_SHUFFLE(1, 1, 1, 1));
  const __m128 p2 = _mm_movehl_ps(p, p);
  const __m128 p3 = _mm_shuffle_ps(p, p, _MM_SHUFFLE(3, 3, 3, 3));
  const float c = _mm_cvtss_f32(_mm_add_ss(_mm_add_ss(_mm_add_ss(p, p1), p2), p3));
  if (!(1.0f - std::fabs(c) < 9.99999997e-07f))
    return DirectArcLastSlerp(onCurve, onControls, c, e, out);
  _mm_storeu_ps(&out->x, Steps::Straight(onCurve, onControls, 2.0f * e * (1.0f - e)));
}
#endif

// The squad of a prepared pair of keys, written to *out: DirectArcSlerp(q0, q1, keys, e) on the
// curve, DirectArcSlerp(a0, b1, controls, e) on the controls, then the slerp between the two
// with its own DirectArcPair at 2e(1 - e). With its sines from SineHalfTurn, as
// QuaternionSlerpSpin's are, it gives the squad of the general routines to the bit, even near a
// half turn, where the weights grow as 1 / sin angle and any difference in a sine would show.
inline void DirectArcSquad(const Quaternion& q0, const Quaternion& q1, const SSlerpPair& keys,
                           const Quaternion& a0, const Quaternion& b1, const SSlerpPair& controls,
                           float e, Quaternion* out) {
#if defined(__SSE2__)
  DirectArcSquadWith<SSquadStepsSse2>(q0, q1, keys, a0, b1, controls, e, out);
#else
  const Quaternion onCurve = DirectArcSlerp(q0, q1, keys, e);
  const Quaternion onControls = DirectArcSlerp(a0, b1, controls, e);
  const SSlerpPair last = DirectArcPair(onCurve, onControls);
  *out = DirectArcSlerp(onCurve, onControls, last, 2.0f * e * (1.0f - e));
#endif
}

#if defined(ZELKAR_AVX_PATH)
// DirectArcSquad with AVX, to the bit the same.
ZELKAR_TARGET_AVX inline void DirectArcSquadAvx(const Quaternion& q0, const Quaternion& q1,
                                                const SSlerpPair& keys, const Quaternion& a0,
                                                const Quaternion& b1, const SSlerpPair& controls,
                                                float e, Quaternion* out) {
  DirectArcSquadWith<SSquadStepsAvx>(q0, q1, keys, a0, b1, controls, e, out);
}
#endif

}  // namespace NAnimTrackSlerp
