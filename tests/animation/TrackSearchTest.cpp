// Segment search and out-of-range behaviour, checked through linear float tracks (whose values
// show which time was sampled) and against a reference scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
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

TEST(TrackOutOfRange, OneKeyAndHold) {
  for (uint32_t kind = 0; kind < 5; ++kind) {
    CZK_AnimTrackFloatLinear one;
    FillFloatTrack(one, {{3.0f, 7.5f}}, kind, kind);
    for (float t : {-100.0f, 3.0f, 3.1f, 1000.0f}) EXPECT_EQ(one.Evaluate(t), 7.5f);
  }
  // Kinds above PingPong act as Hold.
  for (uint32_t kind : {0u, 4u, 0xFFFFFFFFu}) {
    CZK_AnimTrackFloatLinear track;
    FillFloatTrack(track, {{1.0f, 4.0f}, {2.0f, 6.0f}, {3.0f, -2.0f}}, kind, kind);
    for (float t : {-50.0f, 0.999f, 1.0f}) EXPECT_EQ(track.Evaluate(t), 4.0f) << t;
    for (float t : {3.0f, 70.0f}) EXPECT_EQ(track.Evaluate(t), -2.0f) << t;
    EXPECT_FLOAT_EQ(track.Evaluate(2.25f), 4.0f);
  }
}

TEST(TrackOutOfRange, CycleExamplesAndPeriodicity) {
  CZK_AnimTrackFloatLinear track;
  FillFloatTrack(track, {{0.0f, 0.0f}, {1.0f, 10.0f}, {2.0f, 0.0f}}, Cycle, Cycle);
  EXPECT_FLOAT_EQ(track.Evaluate(2.5f), 5.0f);   // samples 0.5
  EXPECT_FLOAT_EQ(track.Evaluate(-0.5f), 5.0f);  // samples 1.5
  EXPECT_FLOAT_EQ(track.Evaluate(4.75f), 7.5f);  // samples 0.75
  for (uint32_t kind : {uint32_t{Cycle}, uint32_t{Loop}}) {
    CZK_AnimTrackFloatLinear uneven;
    FillFloatTrack(uneven, {{0.5f, 1.0f}, {1.25f, -3.0f}, {2.0f, 4.0f}, {2.5f, 2.0f}}, kind, kind);
    for (int i = 0; i < 400; ++i) {
      const float t = 0.5001f + 0.0049f * static_cast<float>(i);
      for (int k : {-3, -1, 1, 5}) {
        EXPECT_NEAR(uneven.Evaluate(t + 2.0f * static_cast<float>(k)), uneven.Evaluate(t), 2e-3f)
            << t << " " << k;
      }
    }
  }
}

TEST(TrackOutOfRange, PingPongExamplesAndSymmetry) {
  CZK_AnimTrackFloatLinear unit;
  FillFloatTrack(unit, {{0.0f, 0.0f}, {1.0f, 1.0f}}, PingPong, PingPong);
  const float samples[][2] = {{1.25f, 0.75f},  {1.75f, 0.25f},  {2.25f, 0.25f}, {2.0f, 0.0f},
                              {-0.25f, 0.25f}, {-1.25f, 0.75f}, {3.5f, 0.5f}};
  for (const auto& s : samples) EXPECT_FLOAT_EQ(unit.Evaluate(s[0]), s[1]) << s[0];

  CZK_AnimTrackFloatLinear track;
  FillFloatTrack(track, {{1.0f, 2.0f}, {1.5f, 5.0f}, {3.0f, -1.0f}}, PingPong, PingPong);
  for (int i = 1; i < 500; ++i) {
    const float x = 0.00397f * static_cast<float>(i);  // up to two ranges away
    EXPECT_NEAR(track.Evaluate(1.0f - x), track.Evaluate(1.0f + x), 1e-4f) << x;
    EXPECT_NEAR(track.Evaluate(3.0f + x), track.Evaluate(3.0f - x), 1e-4f) << x;
    EXPECT_NEAR(track.Evaluate(7.0f + x), track.Evaluate(3.0f + x), 1e-4f) << x;
  }
}

TEST(TrackOutOfRange, ExactEndTimes) {
  // A time equal to the last key takes the after path: repeats sample the first key's time.
  for (uint32_t kind : {uint32_t{Cycle}, uint32_t{Loop}, uint32_t{PingPong}}) {
    CZK_AnimTrackFloatLinear track;
    FillFloatTrack(track, {{0.0f, 1.0f}, {1.0f, 2.0f}, {2.0f, 3.0f}}, Hold, kind);
    EXPECT_EQ(track.Evaluate(2.0f), 1.0f) << kind;
  }
  // A wrapped time landing on the last key holds it; t = first wraps to first.
  CZK_AnimTrackFloatLinear cycle;
  FillFloatTrack(cycle, {{0.0f, 1.0f}, {1.0f, 2.0f}, {2.0f, 3.0f}}, Cycle, Cycle);
  EXPECT_EQ(cycle.Evaluate(-2.0f), 3.0f);
  EXPECT_EQ(cycle.Evaluate(-4.0f), 3.0f);
  EXPECT_EQ(cycle.Evaluate(0.0f), 1.0f);
}

TEST(TrackSegmentFraction, MinimumSegmentLength) {
  CZK_AnimTrackFloatLinear close;
  FillFloatTrack(close, {{1.0f, 3.0f}, {1.00009f, 9.0f}, {2.0f, 9.0f}});
  EXPECT_EQ(close.Evaluate(1.00005f), 3.0f);
  EXPECT_EQ(NAnimTrackSearch::SegmentFraction(0.00005f, 0.0f, 0.0001f), 0.0f);
  const float above = std::nextafter(0.0001f, 1.0f);
  EXPECT_FLOAT_EQ(NAnimTrackSearch::SegmentFraction(above * 0.5f, 0.0f, above), 0.5f);
  // Equal times: the last of them starts the next pair.
  CZK_AnimTrackFloatLinear equal;
  FillFloatTrack(equal, {{0.0f, 0.0f}, {1.0f, 1.0f}, {1.0f, 5.0f}, {1.0f, 7.0f}, {2.0f, 9.0f}});
  EXPECT_FLOAT_EQ(equal.Evaluate(1.0f), 7.0f);
  EXPECT_FLOAT_EQ(equal.Evaluate(1.5f), 8.0f);
}

TEST(TrackBadInput, EmptyTracksYieldNeutralValues) {
  CZK_AnimTrackFloatLinear fl;
  CZK_AnimTrackFloatBezier fb;
  CZK_AnimTrackFloatTCB ft;
  CZK_AnimTrackPositionLinear pl;
  CZK_AnimTrackPositionBezier pb;
  CZK_AnimTrackPositionTCB pt;
  CZK_AnimTrackRotationLinear rl;
  CZK_AnimTrackRotationBezier rb;
  CZK_AnimTrackRotationTCB rt;
  CZK_AnimTrackScaleLinear sl;
  CZK_AnimTrackScaleTCB st;
  for (CZK_AnimTrackBase* t : std::initializer_list<CZK_AnimTrackBase*>{
           &fl, &fb, &ft, &pl, &pb, &pt, &rl, &rb, &rt, &sl, &st}) {
    t->outOfRangeBefore = Cycle;
    t->outOfRangeAfter = PingPong;
    t->Prepare();
  }
  for (CZK_AnimTrackFloat* t :
       {(CZK_AnimTrackFloat*)&fl, (CZK_AnimTrackFloat*)&fb, (CZK_AnimTrackFloat*)&ft}) {
    EXPECT_EQ(t->Evaluate(1.0f), 0.0f);
  }
  for (CZK_AnimTrackPosition* t :
       {(CZK_AnimTrackPosition*)&pl, (CZK_AnimTrackPosition*)&pb, (CZK_AnimTrackPosition*)&pt}) {
    Vector3 v = {5.0f, 5.0f, 5.0f};
    EXPECT_EQ(t->Evaluate(&v, 0.5f), &v);
    EXPECT_TRUE(Near(v, {0.0f, 0.0f, 0.0f}, 0.0f));
  }
  for (CZK_AnimTrackRotation* t :
       {(CZK_AnimTrackRotation*)&rl, (CZK_AnimTrackRotation*)&rb, (CZK_AnimTrackRotation*)&rt}) {
    Quaternion q = {5.0f, 5.0f, 5.0f, 5.0f};
    EXPECT_EQ(t->Evaluate(&q, 0.5f), &q);
    EXPECT_TRUE(Near(q, kIdentityQuaternion, 0.0f));
  }
  for (CZK_AnimTrackScale* t : {(CZK_AnimTrackScale*)&sl, (CZK_AnimTrackScale*)&st}) {
    ScaleValue s = {};
    EXPECT_EQ(t->Evaluate(&s, 0.5f), &s);
    EXPECT_TRUE(Near(s, kIdentityScaleValue, 0.0f));
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

TEST(TrackBadInput, DecreasingKeyTimes) {
  // Keys 5, 1, 2: the range is negative, so wrapping leaves times unchanged, and a time below 5
  // that reaches the scan lies before key 0, which has no predecessor: key 0 is held.
  CZK_AnimTrackFloatLinear track;
  FillFloatTrack(track, {{5.0f, 50.0f}, {1.0f, 10.0f}, {2.0f, 20.0f}}, Cycle, Cycle);
  EXPECT_FALSE(track.HasOrderedKeys());
  EXPECT_EQ(track.Evaluate(3.0f), 50.0f);
  EXPECT_EQ(track.Evaluate(-100.0f), 50.0f);
  EXPECT_EQ(track.Evaluate(7.0f), 20.0f);
  CZK_AnimTrackFloatLinear mirrored;  // 3 mirrors to 2 - (3 - 5) = 4, -100 to 107
  FillFloatTrack(mirrored, {{5.0f, 50.0f}, {1.0f, 10.0f}, {2.0f, 20.0f}}, PingPong, Hold);
  EXPECT_EQ(mirrored.Evaluate(3.0f), 50.0f);
  EXPECT_EQ(mirrored.Evaluate(-100.0f), 20.0f);

  // Keys changed through GetKey are seen by the next Prepare, including their order.
  CZK_AnimTrackFloatLinear edited;
  FillFloatTrack(edited,
                 {{0.0f, 0.0f}, {0.5f, 100.0f}, {1.0f, 10.0f}, {2.0f, 20.0f}, {4.0f, 0.0f}});
  EXPECT_TRUE(edited.HasOrderedKeys());
  edited.GetKey(1).time = 3.0f;  // times 0, 3, 1, 2, 4
  edited.Prepare();
  EXPECT_FALSE(edited.HasOrderedKeys());
  // The first key after 1.5 is key 1: pair (0, 1). A binary search would find (2, 3): 15.
  EXPECT_FLOAT_EQ(edited.Evaluate(1.5f), 50.0f);
}

TEST(TrackSearch, IndexedSearchAndScanAgreeWithTheReference) {
  std::mt19937 rng(20240611u);
  std::uniform_int_distribution<int> step(0, 12), coin(0, 2), hit(-30, 30);
  std::uniform_real_distribution<float> anywhere(-9.0f, 9.0f), cluster(0.0f, 1.0f);
  int unordered = 0;
  for (int set = 0; set < 800; ++set) {
    // Quarter steps make equal key times and exact hits on key times common; other sets are
    // real times, some clustered so that buckets hold many keys or none.
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
    for (float t : times) keyTimes.Append(t);
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
    }
  }
  EXPECT_GT(unordered, 200);
}

TEST(TrackSearch, UpperBoundMatchesTheStandardOne) {
  const std::vector<float> times = {-1.0f, 0.0f, 0.0f, 0.5f, 2.0f, 2.0f, 2.0f, 7.0f};
  for (size_t n = 0; n <= times.size(); ++n) {
    for (float t : {-2.0f, -1.0f, 0.0f, 0.25f, 2.0f, 3.0f, 7.0f, 8.0f}) {
      EXPECT_EQ(NAnimTrackSearch::UpperBound(times.data(), n, t),
                static_cast<size_t>(std::upper_bound(times.begin(), times.begin() + n, t) -
                                    times.begin()))
          << n << " " << t;
    }
    EXPECT_EQ(NAnimTrackSearch::UpperBound(times.data(), n, std::nanf("")), n);
  }
}

TEST(TrackSearch, BucketEdgesRoundedAwayFromTheTimeStillGiveTheRightKey) {
  // In the first set the last time maps just below the end of the last bucket, whose keys alone
  // would give 19; in the second the time just below 1.8 maps into the bucket after its key.
  const std::vector<std::vector<float>> sets = {
      {-9.0f, -8.1f, -8.0f, -7.2f, -7.1f, -5.6f, -5.5f, -5.3f, -3.6f, -3.4f,
       -2.8f, -2.3f, -0.1f, 1.0f,  1.4f,  3.4f,  4.8f,  7.1f,  7.4f,  9.8f},
      {-8.2f, -7.3f, -5.1f, -4.7f, -3.9f, -2.6f, -0.3f, 1.7f, 1.8f, 3.9f, 7.8f, 8.5f, 8.6f, 9.3f}};
  for (const std::vector<float>& times : sets) {
    NAnimTrackSearch::CKeyTimes keyTimes;
    for (float t : times) keyTimes.Append(t);
    keyTimes.Prepare();
    for (float key : times) {
      for (float t : {std::nextafter(key, -10.0f), key, std::nextafter(key, 10.0f)}) {
        EXPECT_EQ(
            keyTimes.FirstKeyAfter(t),
            static_cast<size_t>(std::upper_bound(times.begin(), times.end(), t) - times.begin()))
            << t;
      }
    }
  }
}

TEST(TrackKeys, ReleaseDestroysTheTrackWithItsKeys) {
  auto* track = new CZK_AnimTrackPositionBezier;
  for (int i = 0; i < 10; ++i) {
    CZK_KeyFrameBezierPosition key;
    key.time = static_cast<float>(i);
    track->AddKey(key);
  }
  track->Prepare();
  track->AddRef();
  track->AddRef();
  track->Release();
  EXPECT_EQ(track->GetRefCount(), 1u);
  track->Release();  // destroyed here; the leak checker sees anything left behind
}

}  // namespace
