// Spherical interpolation between the two keys of a segment with the segment's constants worked
// out once when the track is prepared: the angle between the keys, the reciprocal of its sine
// and, for the shorter-arc kind, the sign that turns the second key onto the near hemisphere. A
// sample then costs two polynomial sines instead of the inverse trigonometry and the library
// sines of the general routines, whose conventions these follow step for step.
//
// The pair is two floats, since it is stored once per key of every rotation track. The sign is
// carried by the reciprocal sine; keys so close that the weights are the plain linear ones have
// an angle of exactly zero (a curved pair's angle is never below 4e-4) and the sign alone in
// place of the reciprocal sine.
#pragma once

#include <cmath>
#include <cstdint>

#include "foundation/Math.h"

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
// the chain of dependent operations a sample waits on.
inline float SineHalfTurn(float x) {
  double d = x;
  if (d > 1.5707963267948966) d = 3.141592653589793 - d;
  const double d2 = d * d;
  const double d4 = d2 * d2;
  const double d8 = d4 * d4;
  // The coefficients 1 / n! as constants, so that no division is left for run time.
  constexpr double c3 = -1.0 / 6, c5 = 1.0 / 120, c7 = -1.0 / 5040, c9 = 1.0 / 362880,
                   c11 = -1.0 / 39916800, c13 = 1.0 / 6227020800.0;
  const double low = (1.0 + d2 * c3) + d4 * (c5 + d2 * c7);
  const double high = (c9 + d2 * c11) + d4 * c13;
  return static_cast<float>(d * (low + d8 * high));
}

// Constants of D3DXQuaternionSlerp(a, b): the second key taken on the near hemisphere.
inline SSlerpPair ShorterArcPair(const Quaternion& a, const Quaternion& b) {
  SSlerpPair k;
  float d = QuaternionDot(a, b);
  float sign = 1.0f;
  if (d < 0.0f) {
    sign = -1.0f;
    d = -d;
  }
  k.signedInverseSine = sign;
  if (!(1.0f - d < 1.1920929e-07f)) {
    k.angle = std::atan2(std::sqrt(1.0f - d * d), d);
    k.signedInverseSine = sign / std::sin(k.angle);
  }
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
    w1 = SineHalfTurn((1.0f - t) * k.angle) * std::fabs(k.signedInverseSine);
    w2 = SineHalfTurn(t * k.angle) * k.signedInverseSine;
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
    wa = SineHalfTurn(k.angle - phi) * k.signedInverseSine;
    wb = SineHalfTurn(phi) * k.signedInverseSine;
  }
  return {static_cast<float>(wa * a.x + wb * b.x), static_cast<float>(wa * a.y + wb * b.y),
          static_cast<float>(wa * a.z + wb * b.z), static_cast<float>(wa * a.w + wb * b.w)};
}

}  // namespace NAnimTrackSlerp
