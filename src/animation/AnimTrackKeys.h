// Key storage shared by the twelve concrete track classes: the keys by value in one contiguous
// array, which the segment search reads the key times from in place, and whether those times
// are in order. A loaded track holds exactly its keys: the loader reserves them from the count
// the file gives.
//
// Filling a track (the scene loader's sequence):
//   1. AddKey for every key, in file order (ascending time), or AppendKeys for all of them;
//   2. set outOfRangeBefore and outOfRangeAfter;
//   3. Prepare, once. Prepare takes the key times' order as it was checked while the keys were
//      appended, or checks it again when a key has been handed out through the mutable GetKey
//      since, and computes the derived key fields
//      (curve tables, tangents, control quaternions).
// Evaluate is const, allocates nothing and may be called from then on. A track without keys
// evaluates to the neutral value of its kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "animation/AnimTrack.h"
#include "animation/AnimTrackSearch.h"
#include "animation/KeyArray.h"
#include "animation/StructureGeneration.h"

// Stored is the element the track keeps per key: the key itself, or a class derived from it
// that adds what the track works out per key (constructible from a key).
template <class TrackKind, class Key, class Stored = Key>
class CZK_AnimTrackKeys : public TrackKind {
 public:
  using KeyType = Key;

  // Appends a copy of key after the last one.
  void AddKey(const Key& key) {
    m_times.SetOwnerFoundOrdered(m_times.OwnerFoundOrdered() &&
                                 (m_keys.empty() || key.time >= m_keys.back().time));
    m_keys.emplace_back(key);
    BindKeyTimes();
    NStructureGeneration::Changed();
  }
  // Appends count keys after the last one, each default-constructed and then filled by
  // fill(key) in order: the bulk form of AddKey for a loader. fill must not throw. The keys'
  // order is checked on the way in, so that Prepare need not read them again for it.
  template <class Fill>
  void AppendKeys(size_t count, Fill fill) {
    bool ordered = m_times.OwnerFoundOrdered();
    bool first = m_keys.empty();
    float previous = first ? 0.0f : m_keys.back().time;
    m_keys.Append(count, [&](Stored& key) {
      fill(key);
      // Branch-free; a NaN compares false, as in the check Prepare would make.
      ordered &= first | (key.time >= previous);
      first = false;
      previous = key.time;
    });
    m_times.SetOwnerFoundOrdered(ordered);
    BindKeyTimes();
    NStructureGeneration::Changed();
  }
  // The keys as stored, GetKeyCount() of them; they move on AddKey and AppendKeys.
  const Stored* GetStoredKeys() const { return m_keys.data(); }
  // index < GetKeyCount(). A key handed out for writing may change what evaluation plans
  // copied out of it, so they are rebuilt.
  Key& GetKey(size_t index) {
    NStructureGeneration::Changed();
    m_times.SetOwnerFoundOrdered(false);  // its time may change: Prepare checks the order again
    return m_keys[index];
  }
  const Key& GetKey(size_t index) const { return m_keys[index]; }
  size_t GetKeyCount() const { return m_keys.size(); }
  // Whether the last Prepare found the key times in non-decreasing order (binary search).
  bool HasOrderedKeys() const { return m_times.Ordered(); }
  // The times of the first and the last key. Requires at least one key.
  float FirstKeyTime() const { return m_keys.front().time; }
  float LastKeyTime() const { return m_keys.back().time; }
  // The segment of a time already placed against the key range, the key search starting from
  // *cursor (see NAnimTrackSearch::FindSegmentFrom). Requires at least one key.
  NAnimTrackSearch::STrackSegment FindPlacedSegment(const NAnimTrackSearch::SPlacedTime& time,
                                                    uint32_t* cursor) const {
    // Most samples fall in the segment found last time or in the one after it: keys that
    // enclose the time, read here without the view's stride, are the ones the search finds.
    const float t = time.time;
    const size_t count = m_keys.size();
    const size_t i = *cursor;
    if (time.held == NAnimTrackSearch::kHoldNone && m_times.Ordered() && i - 1 < count - 1 &&
        !(t < m_keys[i - 1].time)) {
      if (t < m_keys[i].time) return {i - 1, i, t, false};
      if (i + 1 < count && t < m_keys[i + 1].time) {
        *cursor = static_cast<uint32_t>(i + 1);
        return {i, i + 1, t, false};
      }
    }
    return NAnimTrackSearch::FindSegmentFrom(m_times, time, cursor);
  }

 protected:
  // The first step of every Prepare.
  void PrepareKeyTimes() {
    BindKeyTimes();
    if (m_times.OwnerFoundOrdered()) {
      m_times.PrepareKnowingOrder(true);
    } else {
      m_times.Prepare();
    }
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
    const NAnimTrackSearch::STrackSegment s = FindPlacedSegment(time, cursor);
    if (s.hold) return held(m_keys[s.prev]);
    return between(m_keys[s.prev], m_keys[s.next], s.time);
  }

  // Refills a per-pair array of Prepare: entry k is make(key k, key k + 1). The array is sized
  // exactly on a track's first Prepare, so a loaded track carries no spare room.
  template <class T, class Make>
  void PreparePerPair(std::vector<T>& pairs, Make make) const {
    pairs.clear();
    pairs.reserve(m_keys.size() > 1 ? m_keys.size() - 1 : 0);
    for (size_t k = 1; k < m_keys.size(); ++k) pairs.push_back(make(m_keys[k - 1], m_keys[k]));
  }

  // Requires at least one key.
  NAnimTrackSearch::STrackSegment FindSegment(float time) const {
    return NAnimTrackSearch::FindSegment(m_times, this->outOfRangeBefore, this->outOfRangeAfter,
                                         time);
  }

  // Drawn from the object pool, as the track itself is.
  CKeyArray<Stored> m_keys;
  // The times of m_keys, read in place; the search scans from an AddKey to the next Prepare.
  // It also keeps whether the keys were found in time order as they were appended, no key
  // having been handed out for writing since.
  NAnimTrackSearch::CKeyTimes m_times;

 private:
  void BindKeyTimes() {
    m_times.Bind(m_keys.empty() ? nullptr : &m_keys.front().time, m_keys.size(), sizeof(Stored));
  }
};
