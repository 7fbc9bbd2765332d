// The segment search shared by every track's Evaluate: out-of-range handling (Hold, Cycle,
// Loop, PingPong), the search for the pair of keys around a time, and the segment fraction.
//
// The search result is defined as that of a scan from key 0 upwards for the first key whose
// time exceeds the (possibly wrapped) time. On keys in non-decreasing time order, which is what
// every exported file holds, the same key is found by a binary search; a track whose keys are
// out of order (a hand-edited file) keeps the scan. Either way the pair satisfies
// prev.time <= t < next.time, and no index outside the keys is ever produced.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "animation/AnimTrack.h"

namespace NAnimTrackSearch {

// Maps t into [first, last] by whole repeats of the range; a range <= 0 leaves t unchanged.
float Wrap(float t, float first, float last);
// Repeats the range back and forth: odd passes run backwards.
float PingPong(float t, float first, float last);

// Keys closer than this in time form an empty segment, sampled at its start.
constexpr float kMinSegmentLength = 0.0001f;

// Position of a time among the keys: either one held key (its value as stored) or a pair
// (prev, next) of keys with prev = next - 1 and times[prev] <= time < times[next].
struct STrackSegment {
  size_t prev;  // the held key when hold is set
  size_t next;
  float time;  // the time after any wrapping
  bool hold;
};

inline STrackSegment HoldKey(size_t index, float t) { return {index, index, t, true}; }

// Index of the first key whose time exceeds t, or count when there is none.
inline size_t FirstKeyAfter(const float* times, size_t count, bool ordered, float t) {
  if (ordered) return static_cast<size_t>(std::upper_bound(times, times + count, t) - times);
  size_t i = 0;
  while (i < count && !(times[i] > t)) ++i;
  return i;
}

// times: the key times in key order; count >= 1. ordered: the times are non-decreasing.
inline STrackSegment FindSegment(const float* times, size_t count, bool ordered,
                                 uint32_t outOfRangeBefore, uint32_t outOfRangeAfter, float t) {
  if (count == 1) return HoldKey(0, t);
  const float first = times[0];
  const float last = times[count - 1];
  // Kinds above PingPong are undefined in files; they act as Hold, the safest reading.
  if (t <= first) {
    if (outOfRangeBefore == ::Cycle || outOfRangeBefore == ::Loop) {
      t = Wrap(t, first, last);
    } else if (outOfRangeBefore == ::PingPong) {
      t = PingPong(t, first, last);
    } else {
      return HoldKey(0, t);
    }
  } else if (t >= last) {
    if (outOfRangeAfter == ::Cycle || outOfRangeAfter == ::Loop) {
      t = Wrap(t, first, last);
    } else if (outOfRangeAfter == ::PingPong) {
      t = PingPong(t, first, last);
    } else {
      return HoldKey(count - 1, t);
    }
  }
  const size_t i = FirstKeyAfter(times, count, ordered, t);
  if (i == count) return HoldKey(count - 1, t);
  // Only keys out of order (or a wrapped time rounded below the first key) get here: the time
  // lies before key 0, which has no predecessor, so key 0 is held.
  if (i == 0) return HoldKey(0, t);
  return {i - 1, i, t, false};
}

// u in [0, 1) across the segment; 0 when the keys are kMinSegmentLength or less apart.
inline float SegmentFraction(float t, float prevTime, float nextTime) {
  const float length = nextTime - prevTime;
  if (std::fabs(prevTime - nextTime) > kMinSegmentLength) return (t - prevTime) / length;
  return 0.0f;
}

// Whether the times never decrease (a NaN time counts as out of order).
inline bool TimesAreOrdered(const float* times, size_t count) {
  for (size_t i = 1; i < count; ++i) {
    if (!(times[i] >= times[i - 1])) return false;
  }
  return true;
}

}  // namespace NAnimTrackSearch
