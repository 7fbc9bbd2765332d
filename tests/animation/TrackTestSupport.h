// Builders and comparisons shared by the track tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "animation/KeyFrame.h"
#include "support/Near.h"

struct STimedValue {
  float time;
  float value;
};

// Appends one key per (time, value) pair to a track whose keys have a float field named value,
// sets the out-of-range kinds and prepares the track.
template <class Track>
void FillFloatTrack(Track& track, std::initializer_list<STimedValue> keys, uint32_t before = 0,
                    uint32_t after = 0) {
  for (const STimedValue& tv : keys) {
    typename Track::KeyType key;
    key.time = tv.time;
    key.value = tv.value;
    track.AddKey(key);
  }
  track.outOfRangeBefore = before;
  track.outOfRangeAfter = after;
  track.Prepare();
}

inline Quaternion AxisAngle(float x, float y, float z, float angle) {
  return QuaternionFromAxisAngle({x, y, z}, angle);
}
inline Quaternion RotZ(float angle) { return AxisAngle(0.0f, 0.0f, 1.0f, angle); }
inline Quaternion Negated(const Quaternion& q) { return {-q.x, -q.y, -q.z, -q.w}; }

// Equal as unit rotations: q and -q stand for the same orientation.
inline ::testing::AssertionResult SameRotation(const Quaternion& a, const Quaternion& b,
                                               float tolerance = 1e-5f) {
  if (std::fabs(std::fabs(QuaternionDot(a, b)) - 1.0f) <= tolerance &&
      std::fabs(QuaternionDot(a, a) - 1.0f) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return Near(a, b, 0.0f);
}

// The rotation angle of a quaternion about +z, assuming its axis is z.
inline float AngleAboutZ(const Quaternion& q) { return 2.0f * std::atan2(q.z, q.w); }
