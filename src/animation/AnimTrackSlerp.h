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
#include <emmintrin.h>
#endif

namespace NAnimTrackSlerp {

struct SSlerpPair {
  float angle = 0.0f;              // zero: a straight pair
  float signedInverseSine = 1.0f;  // 1 / sin(angle) times the sign (the sign alone if straight)
  bool Straight() const { return angle == 0.0f; }
};
static_assert(sizeof(SSlerpPair) == 8);

// sin x for x in [0, pi], in double: above pi/2 the argument is reflected, then an odd Taylor
// polynomial to x^13 (truncation below 7e-10 on [0, pi/2]) gives the sine far inside a float's
// precision, so the rounded result is nearly always the library sine's to the bit. The
// polynomial is summed in pairs of terms (Estrin's scheme) rather than nested, which shortens
// the chain of dependent operations a sample waits on. The coefficients are 1 / n! as
// constants, so that no division is left for run time.
constexpr double kSineC3 = -1.0 / 6, kSineC5 = 1.0 / 120, kSineC7 = -1.0 / 5040,
                 kSineC9 = 1.0 / 362880, kSineC11 = -1.0 / 39916800, kSineC13 = 1.0 / 6227020800.0;
constexpr double kHalfPi = 1.5707963267948966, kPi = 3.141592653589793;

inline float SineHalfTurn(float x) {
  double d = x;
  if (d > kHalfPi) d = kPi - d;
  const double d2 = d * d;
  const double d4 = d2 * d2;
  const double d8 = d4 * d4;
  const double low = (1.0 + d2 * kSineC3) + d4 * (kSineC5 + d2 * kSineC7);
  const double high = (kSineC9 + d2 * kSineC11) + d4 * kSineC13;
  return static_cast<float>(d * (low + d8 * high));
}

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
inline float ShorterArcSignedAngle(const Quaternion& a, const Quaternion& b) {
  const float d = QuaternionDot(a, b);
  const float c = std::fabs(d);
  const float angle = 1.0f - c < 1.1920929e-07f ? 0.0f : std::atan2(std::sqrt(1.0f - c * c), c);
  return d < 0.0f ? -angle : angle;
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
// the library's arc cosine; the reciprocal sine from the library's sine when prepared
// (exact) or from the polynomial when a sample needs a pair of its own (fast).
inline SSlerpPair DirectArcPair(const Quaternion& a, const Quaternion& b, bool exactSine = true) {
  SSlerpPair k;
  const float c = QuaternionDot(a, b);
  if (!(1.0f - std::fabs(c) < 9.99999997e-07f)) {
    k.angle = std::acos(c);
    k.signedInverseSine = 1.0f / (exactSine ? std::sin(k.angle) : SineHalfTurn(k.angle));
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

}  // namespace NAnimTrackSlerp
