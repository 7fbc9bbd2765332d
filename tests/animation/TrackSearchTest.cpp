// Segment search and out-of-range behaviour, checked through linear float tracks (whose values
// show which time was sampled) and against a reference scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "TrackTestSupport.h"
#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"

namespace {

using NAnimTrackSearch::STrackSegment;

// The search as defined: out-of-range handling, then a scan from key 0.
STrackSegment ReferenceSearch(const std::vector<float>& times, uint32_t before, uint32_t after,
                              float t) {
  const size_t n = times.size();
  const auto outside = [&](uint32_t kind, size_t held, float& time) {
    if (kind == Cycle || kind == Loop) {
      time = NAnimTrackSearch::Wrap(time, times.front(), times.back());
    } else if (kind == PingPong) {
      time = NAnimTrackSearch::PingPong(time, times.front(), times.back());
    } else {
      return std::optional<STrackSegment>(STrackSegment{held, held, time, true});
    }
    return std::optional<STrackSegment>();
  };
  if (n == 1) return {0, 0, t, true};
  if (t <= times.front()) {
    if (auto held = outside(before, 0, t)) return *held;
  } else if (t >= times.back()) {
    if (auto held = outside(after, n - 1, t)) return *held;
  }
  for (size_t i = 0; i < n; ++i) {
    if (times[i] > t)
      return i == 0 ? STrackSegment{0, 0, t, true} : STrackSegment{i - 1, i, t, false};
  }
  return {n - 1, n - 1, t, true};
}

// Cycle samples the wrapped time, PingPong the mirrored one, on either side of the keys.
TEST(TrackOutOfRange, CycleWrapsAndPingPongMirrors) {
  CZK_AnimTrackFloatLinear cycle, pingPong;
  FillFloatTrack(cycle, {{0.0f, 0.0f}, {1.0f, 10.0f}, {2.0f, 0.0f}}, Cycle, Cycle);
  FillFloatTrack(pingPong, {{0.0f, 0.0f}, {1.0f, 1.0f}}, PingPong, PingPong);
  const float wrapped[][2] = {{2.5f, 5.0f}, {-0.5f, 5.0f}, {4.75f, 7.5f}};
  for (const auto& s : wrapped) EXPECT_FLOAT_EQ(cycle.Evaluate(s[0]), s[1]) << s[0];
  const float mirrored[][2] = {{1.25f, 0.75f},  {1.75f, 0.25f},  {2.25f, 0.25f}, {2.0f, 0.0f},
                               {-0.25f, 0.25f}, {-1.25f, 0.75f}, {3.5f, 0.5f}};
  for (const auto& s : mirrored) EXPECT_FLOAT_EQ(pingPong.Evaluate(s[0]), s[1]) << s[0];
}

// Every kind of track without keys, whatever its out-of-range kinds, gives the neutral value.
TEST(TrackBadInput, EmptyTracksYieldNeutralValues) {
  const auto empty = [](auto track) {
    track->outOfRangeBefore = Cycle;
    track->outOfRangeAfter = PingPong;
    track->Prepare();
    return std::unique_ptr<std::remove_pointer_t<decltype(track)>>(track);
  };
  for (auto* t : {static_cast<CZK_AnimTrackFloat*>(new CZK_AnimTrackFloatLinear),
                  static_cast<CZK_AnimTrackFloat*>(new CZK_AnimTrackFloatBezier),
                  static_cast<CZK_AnimTrackFloat*>(new CZK_AnimTrackFloatTCB)})
    EXPECT_EQ(empty(t)->Evaluate(1.0f), 0.0f);
  for (auto* t : {static_cast<CZK_AnimTrackPosition*>(new CZK_AnimTrackPositionLinear),
                  static_cast<CZK_AnimTrackPosition*>(new CZK_AnimTrackPositionBezier),
                  static_cast<CZK_AnimTrackPosition*>(new CZK_AnimTrackPositionTCB)}) {
    Vector3 v = {5.0f, 5.0f, 5.0f};
    EXPECT_TRUE(Near(*empty(t)->Evaluate(&v, 0.5f), {0.0f, 0.0f, 0.0f}, 0.0f));
  }
  for (auto* t : {static_cast<CZK_AnimTrackRotation*>(new CZK_AnimTrackRotationLinear),
                  static_cast<CZK_AnimTrackRotation*>(new CZK_AnimTrackRotationBezier),
                  static_cast<CZK_AnimTrackRotation*>(new CZK_AnimTrackRotationTCB)}) {
    Quaternion q = {5.0f, 5.0f, 5.0f, 5.0f};
    EXPECT_TRUE(Near(*empty(t)->Evaluate(&q, 0.5f), {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f));
  }
  for (auto* t : {static_cast<CZK_AnimTrackScale*>(new CZK_AnimTrackScaleLinear),
                  static_cast<CZK_AnimTrackScale*>(new CZK_AnimTrackScaleTCB)}) {
    ScaleValue s = {};
    EXPECT_TRUE(Near(*empty(t)->Evaluate(&s, 0.5f), {1, 1, 1, {0, 0, 0, 1}}, 0.0f));
  }
}

TEST(TrackBadInput, NonFiniteTimesAndKeyTimes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (uint32_t kind = 0; kind < 4; ++kind) {
    CZK_AnimTrackFloatLinear track;
    FillFloatTrack(track, {{0.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 2.0f}}, kind, kind);
    EXPECT_EQ(track.Evaluate(nan), 2.0f) << kind;  // no key lies after NaN: the last is held
    for (float t : {inf, -inf}) {
      const float v = track.Evaluate(t);
      EXPECT_TRUE(std::isnan(v) || (v >= 0.0f && v <= 2.0f)) << kind << " " << t;
    }
  }
  CZK_AnimTrackFloatLinear nanKey;
  FillFloatTrack(nanKey, {{0.0f, 0.0f}, {nan, 1.0f}, {2.0f, 2.0f}, {3.0f, 3.0f}});
  EXPECT_FALSE(nanKey.HasOrderedKeys());
  EXPECT_EQ(nanKey.Evaluate(1.0f), 1.0f);  // pair (1, 2) has no usable length: key 1
  EXPECT_FLOAT_EQ(nanKey.Evaluate(2.5f), 2.5f);
}

TEST(TrackSearch, IndexedSearchAndScanAgreeWithTheReference) {
  std::mt19937 rng(20240611u);
  std::uniform_int_distribution<int> step(0, 12), coin(0, 2), hit(-30, 30);
  std::uniform_real_distribution<float> anywhere(-9.0f, 9.0f), cluster(0.0f, 1.0f);
  int unordered = 0;
  for (int set = 0; set < 800; ++set) {
    // Quarter steps make equal key times and exact hits on key times common; other sets are
    // real times, some clustered far from even spacing, so that the search's guess misses.
    const size_t n = 1 + static_cast<size_t>(set % 40);
    std::vector<float> times(n);
    for (float& t : times) {
      if (set % 4 == 0) {
        t = 0.25f * static_cast<float>(step(rng)) - 1.0f;
      } else {
        const float c = cluster(rng);
        t = set % 4 == 1 ? anywhere(rng) : c * c * c * c * 8.0f - 1.0f;
      }
    }
    if (set % 3 != 0) std::sort(times.begin(), times.end());
    NAnimTrackSearch::CKeyTimes keyTimes;
    keyTimes.Bind(times.data(), times.size());
    keyTimes.Prepare();
    const bool ordered = std::is_sorted(times.begin(), times.end());
    ASSERT_EQ(keyTimes.Ordered(), ordered);
    unordered += ordered ? 0 : 1;
    const uint32_t before = static_cast<uint32_t>(set % 5), after = (set / 5) % 5;
    CZK_AnimTrackFloatLinear track;
    for (size_t i = 0; i < n; ++i) {
      CZK_KeyFrameLinearFloat key;
      key.time = times[i];
      key.value = static_cast<float>(i * i) + 0.5f;
      track.AddKey(key);
    }
    track.outOfRangeBefore = before;
    track.outOfRangeAfter = after;
    track.Prepare();
    // The same keys in two bulk appends, as the loader fills a track.
    CZK_AnimTrackFloatLinear appended;
    size_t next = 0;
    const auto copy = [&](CZK_KeyFrameLinearFloat& key) {
      key = std::as_const(track).GetKey(next++);
    };
    appended.AppendKeys(n / 2, copy);
    appended.AppendKeys(n - n / 2, copy);
    appended.outOfRangeBefore = before;
    appended.outOfRangeAfter = after;
    appended.Prepare();
    ASSERT_EQ(appended.HasOrderedKeys(), ordered) << set;
    for (int k = 0; k < 50; ++k) {
      const int pick = coin(rng);
      const float t = pick == 0   ? 0.25f * static_cast<float>(hit(rng))
                      : pick == 1 ? times[static_cast<size_t>(k) % n]
                                  : anywhere(rng);
      const STrackSegment want = ReferenceSearch(times, before, after, t);
      const STrackSegment got = NAnimTrackSearch::FindSegment(keyTimes, before, after, t);
      ASSERT_EQ(got.hold, want.hold) << set << " " << t;
      ASSERT_EQ(got.prev, want.prev) << set << " " << t;
      ASSERT_EQ(got.hold ? 0 : got.next, want.hold ? 0 : want.next) << set << " " << t;
      ASSERT_FLOAT_EQ(got.time, want.time);
      float value = track.GetKey(want.prev).value;
      if (!want.hold) {
        const float t0 = times[want.prev], t1 = times[want.next];
        const float u = std::fabs(t0 - t1) > 0.0001f ? (want.time - t0) / (t1 - t0) : 0.0f;
        value = (1.0f - u) * value + u * track.GetKey(want.next).value;
      }
      ASSERT_FLOAT_EQ(track.Evaluate(t), value) << set << " " << t;
      ASSERT_EQ(appended.Evaluate(t), track.Evaluate(t)) << set << " " << t;
    }
  }
  EXPECT_GT(unordered, 200);
}

}  // namespace
