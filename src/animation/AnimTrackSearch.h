// The segment search shared by every track's Evaluate: out-of-range handling (Hold, Cycle,
// Loop, PingPong), the search for the pair of keys around a time, and the segment fraction.
//
// The search result is defined as that of a scan from key 0 upwards for the first key whose
// time exceeds the (possibly wrapped) time. On keys in non-decreasing time order, which is what
// every exported file holds, the same key is found from a guess that assumes evenly spaced keys,
// checked against its neighbours, and by a binary search where the guess misses; a track whose
// keys are out of order (a hand-edited file) keeps the scan. Either way the pair satisfies
// prev.time <= t < next.time, and no index outside the keys is ever produced.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "animation/AnimTrack.h"

namespace NAnimTrackSearch {

// Maps t into [first, last] by whole repeats of the range; a range <= 0 leaves t unchanged.
float Wrap(float t, float first, float last);
// Repeats the range back and forth: odd passes run backwards.
float PingPong(float t, float first, float last);

// Keys closer than this in time form an empty segment, sampled at its start.
constexpr float kMinSegmentLength = 0.0001f;

// The key times of a track, read in place from its keys (stride bytes apart from the first
// key's time), with their order and a guess of where a time falls. The view holds no copy: the
// owner binds it again whenever its keys move.
class CKeyTimes {
 public:
  // Views count times, the first at first and each next one stride bytes further on. The order
  // is unknown until the next Prepare: the search scans.
  void Bind(const float* first, size_t count, size_t stride = sizeof(float)) {
    m_first = reinterpret_cast<const unsigned char*>(first);
    m_count = count;
    m_stride = stride;
    m_ordered = false;
  }
  // Checks the order once and, for ordered times, sets up the guess.
  void Prepare() { PrepareKnowingOrder(ScanOrder()); }
  // Prepare for times whose order the caller has already checked as it wrote them (ordered:
  // every time at or after the one before it, no NaN among them past the first).
  void PrepareKnowingOrder(bool ordered);

  size_t Count() const { return m_count; }
  // index < Count().
  float Time(size_t index) const {
    float t;
    std::memcpy(&t, m_first + index * m_stride, sizeof(t));
    return t;
  }
  bool Ordered() const { return m_ordered; }
  // What the owner found of the order while it wrote the times, kept here for its next Prepare
  // (it sits in room the view's layout leaves free).
  bool OwnerFoundOrdered() const { return m_ownerFoundOrdered; }
  void SetOwnerFoundOrdered(bool ordered) { m_ownerFoundOrdered = ordered; }

  // Index of the first key whose time exceeds t, or Count() when there is none.
  size_t FirstKeyAfter(float t) const {
    const size_t count = m_count;
    if (!m_ordered) {
      size_t i = 0;
      while (i < count && !(Time(i) > t)) ++i;
      return i;
    }
    // A track sampled frame after frame finds the time where it found it last, or one key on:
    // on ordered keys an answer whose neighbours enclose t is the only one.
    const size_t last = m_last;
    if (last <= count && Encloses(last, t)) return last;
    if (last < count && Encloses(last + 1, t)) return m_last = last + 1;
    return m_last = Search(t);
  }

  // On ordered times: whether i is the first key after t, its neighbours enclosing t.
  // i <= Count().
  bool Encloses(size_t i, float t) const {
    return (i == 0 || !(t < Time(i - 1))) && (i == m_count || t < Time(i));
  }

 private:
  // FirstKeyAfter on ordered times, from nothing remembered. Exported keys are evenly spaced:
  // the guess from the time's place in the range is then the answer or next to it. Keys spaced
  // otherwise are found by steps doubling away from the guess and a halving search between the
  // last two steps.
  size_t Search(float t) const {
    const size_t count = m_count;
    const float x = (t - m_guessOrigin) * m_keysPerTime;
    if (!(x >= 0.0f && x < static_cast<float>(count) - 1.0f)) return UpperBound(t, 0, count);
    const size_t guess = static_cast<size_t>(x) + 1;  // 1 .. count - 1
    if (t < Time(guess)) {
      if (!(t < Time(guess - 1))) return guess;
      size_t hi = guess - 1, step = 1;  // t < Time(hi)
      while (hi > step && t < Time(hi - step)) {
        hi -= step;
        step *= 2;
      }
      const size_t lo = hi > step ? hi - step : 0;
      return UpperBound(t, lo, hi);
    }
    size_t lo = guess + 1, step = 1;  // !(t < Time(lo - 1))
    while (lo + step <= count && !(t < Time(lo + step - 1))) {
      lo += step;
      step *= 2;
    }
    return UpperBound(t, lo, lo + step <= count ? lo + step - 1 : count);
  }

  // Whether every time is at or after the one before it.
  bool ScanOrder() const;

  // Index of the first of the sorted times in [begin, end) that exceeds t (end when none
  // does), as std::upper_bound finds it, but without branches on the comparisons: times that
  // sweep many keys would make those branches unpredictable, and the mispredictions would cost
  // more than the comparisons. !(t < x) keeps a NaN t behaving as the scan does (no key after
  // it).
  size_t UpperBound(float t, size_t begin, size_t end) const {
    if (begin == end) return begin;
    size_t base = begin;  // the answer lies in [base, base + n]
    size_t n = end - begin;
    while (n > 1) {
      const size_t half = n / 2;
      base = !(t < Time(base + half)) ? base + half : base;
      n -= half;
    }
    return base + (!(t < Time(base)) ? 1 : 0);
  }

  const unsigned char* m_first = nullptr;
  size_t m_count = 0;
  size_t m_stride = sizeof(float);
  // Keys per unit of time from the first key's time, when the times are ordered and span a
  // finite time; 0 otherwise (every guess is then key 1, checked like any other).
  float m_guessOrigin = 0.0f;
  float m_keysPerTime = 0.0f;
  bool m_ordered = false;
  bool m_ownerFoundOrdered = true;
  // The last answer on ordered times, where the next search starts. Written by const searches:
  // the library runs on its host's thread alone.
  mutable size_t m_last = 0;
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
      PlaceTime(t, keys.Time(0), keys.Time(count - 1), outOfRangeBefore, outOfRangeAfter);
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
  size_t i = *cursor;
  // On ordered keys i is the answer exactly when its neighbours enclose t (see FirstKeyAfter);
  // keys out of order always take the scan.
  const auto encloses = [&](size_t k) { return k <= count && keys.Encloses(k, t); };
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
