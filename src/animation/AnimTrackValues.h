// Small value helpers shared by the track implementations.
#pragma once

#include "animation/AnimTrack.h"

constexpr Vector3 kZeroVector = {0.0f, 0.0f, 0.0f};

// (1 - u) * a + u * b, per component.
inline float Lerp(float a, float b, float u) { return (1.0f - u) * a + u * b; }
inline Vector3 Lerp(const Vector3& a, const Vector3& b, float u) {
  return {Lerp(a.x, b.x, u), Lerp(a.y, b.y, u), Lerp(a.z, b.z, u)};
}

inline ScaleValue MakeScaleValue(const Vector3& factors, const Quaternion& axis) {
  return {factors.x, factors.y, factors.z, axis};
}
