// Key storage shared by the twelve concrete track classes: the keys by value in one contiguous
// array, their times in a second array for the segment search, and whether those times are in
// order.
//
// Filling a track (the scene loader's sequence):
//   1. AddKey for every key, in file order (ascending time);
//   2. set outOfRangeBefore and outOfRangeAfter;
//   3. Prepare, once. Prepare re-reads every key time (a key may have been changed through the
//      mutable GetKey after it was added), checks their order once and computes the derived
//      key fields (curve tables, tangents, control quaternions).
// Evaluate is const, allocates nothing and may be called from then on. A track without keys
// evaluates to the neutral value of its kind.
#pragma once

#include <cstddef>
#include <vector>

#include "animation/AnimTrack.h"
#include "animation/AnimTrackSearch.h"
#include "animation/StructureGeneration.h"

template <class TrackKind, class Key>
class CZK_AnimTrackKeys : public TrackKind {
 public:
  using KeyType = Key;

  // Appends a copy of key after the last one.
  void AddKey(const Key& key) {
    m_keys.push_back(key);
    m_times.Append(key.time);
    NStructureGeneration::Changed();
  }
  // index < GetKeyCount().
  Key& GetKey(size_t index) { return m_keys[index]; }
  const Key& GetKey(size_t index) const { return m_keys[index]; }
  size_t GetKeyCount() const { return m_keys.size(); }
  // Whether the last Prepare found the key times in non-decreasing order (binary search).
  bool HasOrderedKeys() const { return m_times.Ordered(); }
  // The times of the first and the last key as of the last Prepare. Requires at least one key.
  float FirstKeyTime() const { return m_times.Data()[0]; }
  float LastKeyTime() const { return m_times.Data()[m_times.Count() - 1]; }

 protected:
  // The first step of every Prepare.
  void PrepareKeyTimes() {
    m_times.Reset();
    for (const Key& key : m_keys) m_times.Append(key.time);
    m_times.Prepare();
    NStructureGeneration::Changed();
  }

  // The frame of every Evaluate: neutral without keys, held(key) for a held key, and
  // between(prev, next, time) for a pair of keys, time being the wrapped time.
  template <class Value, class Held, class Between>
  Value Sample(float time, const Value& neutral, Held held, Between between) const {
    if (m_keys.empty()) return neutral;
    const NAnimTrackSearch::STrackSegment s = FindSegment(time);
    if (s.hold) return held(m_keys[s.prev]);
    return between(m_keys[s.prev], m_keys[s.next], s.time);
  }

  // Sample for a time already placed against the key range, the key search starting from
  // *cursor (see NAnimTrackSearch::FindSegmentFrom): the same value as Sample at that time.
  template <class Value, class Held, class Between>
  Value SampleFrom(const NAnimTrackSearch::SPlacedTime& time, uint32_t* cursor,
                   const Value& neutral, Held held, Between between) const {
    if (m_keys.empty()) return neutral;
    const NAnimTrackSearch::STrackSegment s =
        NAnimTrackSearch::FindSegmentFrom(m_times, time, cursor);
    if (s.hold) return held(m_keys[s.prev]);
    return between(m_keys[s.prev], m_keys[s.next], s.time);
  }

  // Requires at least one key.
  NAnimTrackSearch::STrackSegment FindSegment(float time) const {
    return NAnimTrackSearch::FindSegment(m_times, this->outOfRangeBefore, this->outOfRangeAfter,
                                         time);
  }

  std::vector<Key> m_keys;
  // The key times as of the last Prepare or AddKey; until the first Prepare the search scans.
  NAnimTrackSearch::CKeyTimes m_times;
};
