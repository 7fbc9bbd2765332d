// The segment search shared by every track's Evaluate: out-of-range handling (Hold, Cycle,
// Loop, PingPong), the search for the pair of keys around a time, and the segment fraction.
//
// The search result is defined as that of a scan from key 0 upwards for the first key whose
// time exceeds the (possibly wrapped) time. On keys in non-decreasing time order, which is what
// every exported file holds, the same key is found by a binary search, narrowed first by an
// index of equal-width time buckets; a track whose keys are out of order (a hand-edited file)
// keeps the scan. Either way the pair satisfies prev.time <= t < next.time, and no index
// outside the keys is ever produced.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "animation/AnimTrack.h"

namespace NAnimTrackSearch {

// Maps t into [first, last] by whole repeats of the range; a range <= 0 leaves t unchanged.
float Wrap(float t, float first, float last);
// Repeats the range back and forth: odd passes run backwards.
float PingPong(float t, float first, float last);

// Keys closer than this in time form an empty segment, sampled at its start.
constexpr float kMinSegmentLength = 0.0001f;

// Whether the times never decrease (a NaN time counts as out of order).
bool TimesAreOrdered(const float* times, size_t count);

// Index of the first of count sorted times that exceeds t (count when none does), as
// std::upper_bound finds it, but without branches on the comparisons: times that sweep many
// keys would make those branches unpredictable, and the mispredictions would cost more than
// the comparisons. !(t < x) keeps a NaN t behaving as the scan does (no key after it).
inline size_t UpperBound(const float* times, size_t count, float t) {
  if (count == 0) return 0;
  const float* base = times;  // the answer lies in [base, base + n]
  size_t n = count;
  while (n > 1) {
    const size_t half = n / 2;
    base = !(t < base[half]) ? base + half : base;
    n -= half;
  }
  return static_cast<size_t>(base - times) + (!(t < *base) ? 1 : 0);
}

// The key times of a track in key order, with their order and a search index.
class CKeyTimes {
 public:
  // Reset and Append refill the times; the search scans until the next Prepare.
  void Reset() {
    m_times.clear();
    m_ordered = false;
  }
  void Append(float time) {
    m_times.push_back(time);
    m_ordered = false;
  }
  // Checks the order once and, for ordered times, builds the bucket index.
  void Prepare();

  size_t Count() const { return m_times.size(); }
  const float* Data() const { return m_times.data(); }
  bool Ordered() const { return m_ordered; }

  // Index of the first key whose time exceeds t, or Count() when there is none.
  size_t FirstKeyAfter(float t) const {
    const size_t count = m_times.size();
    const float* times = m_times.data();
    if (!m_ordered) {
      size_t i = 0;
      while (i < count && !(times[i] > t)) ++i;
      return i;
    }
    const float x = (t - m_bucketOrigin) * m_bucketsPerTime;
    if (x >= 0.0f && x < static_cast<float>(m_bucketStarts.size()) - 1.0f) {  // false for NaN
      const size_t b = static_cast<size_t>(x);
      const size_t lo = m_bucketStarts[b];
      const size_t i = lo + UpperBound(times + lo, m_bucketStarts[b + 1] - lo, t);
      // The bucket is only a guess where rounding put t near its edge: the answer is kept when
      // it is the one index whose neighbours enclose t.
      if ((i == 0 || !(t < times[i - 1])) && (i == count || t < times[i])) return i;
    }
    return UpperBound(times, count, t);
  }

 private:
  std::vector<float> m_times;
  // For bucket b of the equal-width buckets over [first, last], m_bucketStarts[b] is the first
  // key after the bucket's start time; one more entry closes the last bucket. Empty when the
  // times are out of order or span no time.
  std::vector<uint32_t> m_bucketStarts;
  float m_bucketOrigin = 0.0f;
  float m_bucketsPerTime = 0.0f;
  bool m_ordered = false;
};

// Position of a time among the keys: either one held key (its value as stored) or a pair
// (prev, next) of keys with prev = next - 1 and times[prev] <= time < times[next].
struct STrackSegment {
  size_t prev;  // the held key when hold is set
  size_t next;
  float time;  // the time after any wrapping
  bool hold;
};

inline STrackSegment HoldKey(size_t index, float t) { return {index, index, t, true}; }

// A time placed against a key range [first, last]: wrapped into it by the out-of-range kinds,
// or holding the first or the last key. Every track of that range and those kinds places the
// same time the same way, so a caller sampling many such tracks at one time places it once.
enum EHeldEnd : uint8_t { kHoldNone = 0, kHoldFirst = 1, kHoldLast = 2 };
struct SPlacedTime {
  float time;  // wrapped when the kinds ask for it, unchanged otherwise
  uint8_t held;
};

inline SPlacedTime PlaceTime(float t, float first, float last, uint32_t outOfRangeBefore,
                             uint32_t outOfRangeAfter) {
  // Kinds above PingPong are undefined in files; they act as Hold, the safest reading.
  if (t <= first) {
    if (outOfRangeBefore == ::Cycle || outOfRangeBefore == ::Loop) return {Wrap(t, first, last), 0};
    if (outOfRangeBefore == ::PingPong) return {PingPong(t, first, last), 0};
    return {t, kHoldFirst};
  }
  if (t >= last) {
    if (outOfRangeAfter == ::Cycle || outOfRangeAfter == ::Loop) return {Wrap(t, first, last), 0};
    if (outOfRangeAfter == ::PingPong) return {PingPong(t, first, last), 0};
    return {t, kHoldLast};
  }
  return {t, kHoldNone};
}

// The segment of the placed time t whose next key is i, the first key after t.
inline STrackSegment SegmentBefore(size_t i, size_t count, float t) {
  if (i == count) return HoldKey(count - 1, t);
  // Only keys out of order (or a wrapped time rounded below the first key) get here: the time
  // lies before key 0, which has no predecessor, so key 0 is held.
  if (i == 0) return HoldKey(0, t);
  return {i - 1, i, t, false};
}

// Requires at least one key.
inline STrackSegment FindSegment(const CKeyTimes& keys, uint32_t outOfRangeBefore,
                                 uint32_t outOfRangeAfter, float t) {
  const size_t count = keys.Count();
  if (count == 1) return HoldKey(0, t);
  const SPlacedTime p =
      PlaceTime(t, keys.Data()[0], keys.Data()[count - 1], outOfRangeBefore, outOfRangeAfter);
  if (p.held != kHoldNone) return HoldKey(p.held == kHoldFirst ? 0 : count - 1, t);
  return SegmentBefore(keys.FirstKeyAfter(p.time), count, p.time);
}

// The same segment as FindSegment for a time already placed against the keys' range, starting
// from *cursor, the next key of the segment found last time. Time that moved little since then
// finds its segment there or one key on, without a search; *cursor is left at the answer.
// Requires at least one key.
inline STrackSegment FindSegmentFrom(const CKeyTimes& keys, const SPlacedTime& p,
                                     uint32_t* cursor) {
  const size_t count = keys.Count();
  if (count == 1) return HoldKey(0, p.time);
  if (p.held != kHoldNone) return HoldKey(p.held == kHoldFirst ? 0 : count - 1, p.time);
  const float t = p.time;
  const float* times = keys.Data();
  size_t i = *cursor;
  // On ordered keys i is the answer exactly when its neighbours enclose t (see FirstKeyAfter);
  // keys out of order always take the scan.
  const auto encloses = [&](size_t k) {
    return k <= count && (k == 0 || !(t < times[k - 1])) && (k == count || t < times[k]);
  };
  if (!keys.Ordered() || !encloses(i)) {
    i = keys.Ordered() && encloses(i + 1) ? i + 1 : keys.FirstKeyAfter(t);
    *cursor = static_cast<uint32_t>(i);
  }
  return SegmentBefore(i, count, t);
}

// u in [0, 1) across the segment; 0 when the keys are kMinSegmentLength or less apart.
inline float SegmentFraction(float t, float prevTime, float nextTime) {
  if (std::fabs(prevTime - nextTime) > kMinSegmentLength) {
    return (t - prevTime) / (nextTime - prevTime);
  }
  return 0.0f;
}

}  // namespace NAnimTrackSearch
