// TCB tracks: ease curve, tangents from neighbours (middle, end and loop-seam keys), Hermite
// evaluation and the rotation controls.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "TrackTestSupport.h"
#include "animation/AnimTrackTCB.h"

namespace {

using NAnimTrackTCB::Ease;
using NAnimTrackTCB::EaseConstants;
using NAnimTrackTCB::EaseFrom;

struct STCB {
  float tension = 0.0f, continuity = 0.0f, bias = 0.0f, easeIn = 0.0f, easeOut = 0.0f;
};

template <class Key>
Key TCBKey(float time, const STCB& p) {
  Key key;
  key.time = time;
  std::tie(key.tension, key.continuity, key.bias, key.easeIn, key.easeOut) =
      std::tie(p.tension, p.continuity, p.bias, p.easeIn, p.easeOut);
  return key;
}

CZK_KeyFrameTCBFloat FloatKey(float time, float value, const STCB& p = {}) {
  CZK_KeyFrameTCBFloat key = TCBKey<CZK_KeyFrameTCBFloat>(time, p);
  key.value = value;
  return key;
}

CZK_KeyFrameTCBRotation RotationKey(float time, const Quaternion& q, const STCB& p = {}) {
  CZK_KeyFrameTCBRotation key = TCBKey<CZK_KeyFrameTCBRotation>(time, p);
  key.rotation = q;
  return key;
}

template <class Track, class Key>
std::unique_ptr<Track> MakeTrack(const std::vector<Key>& keys, uint32_t before = Hold,
                                 uint32_t after = Hold) {
  auto track = std::make_unique<Track>();
  for (const Key& key : keys) track->AddKey(key);
  track->outOfRangeBefore = before;
  track->outOfRangeAfter = after;
  track->Prepare();
  return track;
}
auto FloatTrack(const std::vector<CZK_KeyFrameTCBFloat>& keys, uint32_t before = Hold,
                uint32_t after = Hold) {
  return MakeTrack<CZK_AnimTrackFloatTCB>(keys, before, after);
}

// --- Ease and Hermite basis. -----------------------------------------------------------------

TEST(TCBEase, ClosedForms) {
  // Both the general routine and the one from the constants prepared per pair of keys.
  const auto expect = [](float u, float a, float b, float value, float tolerance) {
    EXPECT_NEAR(Ease(u, a, b), value, tolerance) << u << " " << a << " " << b;
    EXPECT_NEAR(EaseFrom(EaseConstants(a, b), u), value, tolerance) << u << " " << a << " " << b;
  };
  expect(1.0f, 0.3f, 0.0f, 1.0f, 1e-6f);  // no ease-in: no division by zero at the end
  for (int i = 0; i < 100; ++i) {
    const float u = 0.01f * static_cast<float>(i);
    expect(u, 0.0f, 0.0f, u, 0.0f);
    expect(u, 0.3f, 0.0f, u < 0.3f ? u * u / 0.51f : (2.0f * u - 0.3f) / 1.7f, 1e-6f);
    // The construction defaults, 25 and 25, normalise to 0.5 each.
    const float v = 1.0f - u;
    expect(u, 25.0f, 25.0f, u < 0.5f ? 2.0f * u * u : 1.0f - 2.0f * v * v, 1e-6f);
  }
}

// --- Tangents. --------------------------------------------------------------------------------

TEST(TCBTangents, TwoKeysGiveTheStraightLineAndAreNeverJoinedAtTheSeam) {
  for (uint32_t kind : {uint32_t{Hold}, uint32_t{Loop}}) {
    const auto track = FloatTrack({FloatKey(0.0f, 0.0f), FloatKey(1.0f, 10.0f)}, kind, kind);
    const auto &k0 = track->GetKey(0), &k1 = track->GetKey(1);
    EXPECT_EQ(std::make_pair(k0.inTangent, k0.outTangent), std::make_pair(0.0f, 10.0f));
    EXPECT_EQ(std::make_pair(k1.inTangent, k1.outTangent), std::make_pair(10.0f, 0.0f));
    for (int i = 0; i < 200; ++i) {
      const float u = 0.005f * static_cast<float>(i);
      EXPECT_NEAR(track->Evaluate(u), 10.0f * u, 1e-5f) << u;
    }
    EXPECT_EQ(track->Evaluate(1.0f), kind == Loop ? 0.0f : 10.0f);
  }
  // Tension 0.5 halves both tangents.
  STCB tense;
  tense.tension = 0.5f;
  const auto taut = FloatTrack({FloatKey(0.0f, 0.0f, tense), FloatKey(1.0f, 10.0f, tense)});
  EXPECT_EQ(std::make_pair(taut->GetKey(0).outTangent, taut->GetKey(1).inTangent),
            std::make_pair(5.0f, 5.0f));
  // With the default ease (25, 25) the line is retimed: u = 0.25 gives e = 0.125.
  CZK_KeyFrameTCBFloat a, b;
  b.time = 2.0f;
  b.value = 10.0f;
  EXPECT_NEAR(FloatTrack({a, b})->Evaluate(0.5f), 1.25f, 1e-5f);
}

TEST(TCBTangents, MiddleAndEndKeys) {
  // Equal spacing: Catmull-Rom, both tangents (v2 - v0) / 2.
  const auto even = FloatTrack({FloatKey(1.0f, 3.0f), FloatKey(2.0f, 7.0f), FloatKey(3.0f, -2.f)});
  EXPECT_FLOAT_EQ(even->GetKey(1).inTangent, -2.5f);
  EXPECT_FLOAT_EQ(even->GetKey(1).outTangent, -2.5f);
  // Continuity 0.5 weighs the deltas 4 and -9 by 1/4 and 3/4 coming in, 3/4 and 1/4 going out.
  STCB broken;
  broken.continuity = 0.5f;
  const auto kink =
      FloatTrack({FloatKey(1.0f, 3.0f), FloatKey(2.0f, 7.0f, broken), FloatKey(3.0f, -2.f)});
  EXPECT_FLOAT_EQ(kink->GetKey(1).inTangent, -5.75f);
  EXPECT_FLOAT_EQ(kink->GetKey(1).outTangent, 0.75f);
  // Uneven spacing, d = 1.5: fp = 2/3 and fn = 4/3 scale the sum of the deltas, 3.
  const auto uneven = FloatTrack({FloatKey(0.0f, 0.0f), FloatKey(1.0f, 2.0f), FloatKey(3.0f, 3.f)});
  EXPECT_FLOAT_EQ(uneven->GetKey(1).inTangent, 1.0f);
  EXPECT_FLOAT_EQ(uneven->GetKey(1).outTangent, 2.0f);
  // End keys: 3 (0.25 - 1/6 + 0.5) + 1.5 (2 - 1.5) and 3 (0.25 - 1/3 + 0.5) + 1.5 (1 - 1.5).
  EXPECT_FLOAT_EQ(uneven->GetKey(0).outTangent, 2.5f);
  EXPECT_FLOAT_EQ(uneven->GetKey(2).inTangent, 0.5f);
}

TEST(TCBTangents, LoopJoinsTheSeamAcrossShiftedNeighbours) {
  const std::vector<CZK_KeyFrameTCBFloat> keys = {FloatKey(0.0f, 1.0f), FloatKey(0.5f, 4.0f),
                                                  FloatKey(3.0f, 2.0f), FloatKey(4.0f, 1.0f)};
  const auto loop = FloatTrack(keys, Loop, Loop);
  // Key 0 between key 2 at -1 and key 1 at 0.5, key 3 between key 2 at 3 and key 1 at 4.5: both
  // d = 0.75, fp = 4/3, fn = 2/3, deltas -1 and 3.
  for (size_t k : {0u, 3u}) {
    EXPECT_FLOAT_EQ(loop->GetKey(k).inTangent, 4.0f / 3.0f) << k;
    EXPECT_FLOAT_EQ(loop->GetKey(k).outTangent, 2.0f / 3.0f) << k;
  }
  // Cycle keeps the end-key formulas: f10 = 0.5, f20 = 3; f10 = 1, f20 = 3.5.
  const auto cycle = FloatTrack(keys, Cycle, Cycle);
  EXPECT_FLOAT_EQ(cycle->GetKey(0).outTangent, (0.25f - 0.5f / 6.0f + 0.5f) + 1.5f * 2.5f);
  EXPECT_FLOAT_EQ(cycle->GetKey(3).inTangent, -3.0f * (0.25f - 1.0f / 7.0f + 0.5f) + 0.75f);
}

// --- Evaluation. -------------------------------------------------------------------------------

TEST(TCBEvaluate, PositionAndScaleChannelsMatchFloatTracks) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> value(-5.0f, 5.0f), gap(0.3f, 1.3f), param(-1.0f, 1.0f),
      ease(0.0f, 1.0f);
  std::vector<CZK_KeyFrameTCBPosition> positions;
  std::vector<CZK_KeyFrameTCBScale> scales;
  std::vector<CZK_KeyFrameTCBFloat> channels[3];
  float t = 0.0f;
  for (int i = 0; i < 8; ++i, t += gap(rng)) {
    const STCB p = {param(rng), param(rng), param(rng), ease(rng), ease(rng)};
    const Vector3 v = {value(rng), value(rng), value(rng)};
    positions.push_back(TCBKey<CZK_KeyFrameTCBPosition>(t, p));
    positions.back().value = v;
    scales.push_back(TCBKey<CZK_KeyFrameTCBScale>(t, p));
    scales.back().scale = v;
    const float c[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) channels[k].push_back(FloatKey(t, c[k], p));
  }
  const auto position = MakeTrack<CZK_AnimTrackPositionTCB>(positions, Loop, PingPong);
  const auto scale = MakeTrack<CZK_AnimTrackScaleTCB>(scales, Loop, PingPong);
  const auto x = FloatTrack(channels[0], Loop, PingPong),
             y = FloatTrack(channels[1], Loop, PingPong),
             z = FloatTrack(channels[2], Loop, PingPong);
  for (int i = 0; i < 300; ++i) {
    const float time = -2.0f + 0.05f * static_cast<float>(i);
    Vector3 p;
    ScaleValue s;
    const Vector3 want = {x->Evaluate(time), y->Evaluate(time), z->Evaluate(time)};
    EXPECT_TRUE(Near(*position->Evaluate(&p, time), want, 0.0f)) << time;
    scale->Evaluate(&s, time);
    EXPECT_TRUE(Near(Vector3{s.x, s.y, s.z}, want, 0.0f)) << time;
  }
}

// --- Rotations. ------------------------------------------------------------------------------

TEST(TCBRotation, ControlQuaternionsOfAnUnevenTurn) {
  // Keys about z at 0, 0.4 and 1.2 radians at times 0, 1 and 3, bias 0.5 on the middle key.
  // The scaled logs are (phi/2) sin(phi/2) for relative angles 0.4 and 0.8.
  STCB biased;
  biased.bias = 0.5f;
  const auto track = MakeTrack<CZK_AnimTrackRotationTCB>(
      std::vector{RotationKey(0.0f, RotZ(0.0f)), RotationKey(1.0f, RotZ(0.4f), biased),
                  RotationKey(3, RotZ(1.2f))});
  const double gIn = 0.2 * std::sin(0.2), gOut = 0.4 * std::sin(0.4);
  // d = 1.5, fp = 2/3, fn = 4/3; bias 0.5: ksm = 1/2, ksp = 1/6, kdm = 1, kdp = 1/3. exp of a
  // z half-angle h turns by 2h.
  const double controlB1 = 0.4 + (gIn - (2.0 / 3.0) * gOut);
  const double controlA1 = 0.4 + (0.5 * gIn - gOut / 6.0);
  EXPECT_TRUE(SameRotation(track->GetKey(1).controlB, RotZ(static_cast<float>(controlB1))));
  EXPECT_TRUE(SameRotation(track->GetKey(1).controlA, RotZ(static_cast<float>(controlA1))));
  // The end keys have one neighbour each: gIn = gOut and both controls are the key itself.
  EXPECT_TRUE(SameRotation(track->GetKey(0).controlA, RotZ(0.0f)));
  EXPECT_TRUE(SameRotation(track->GetKey(2).controlB, RotZ(1.2f)));

  // Everything turns about z, so each spherical interpolation moves the angle linearly:
  // angle = a(e) + 2e(1 - e) (b(e) - a(e)) with a along the keys and b along the controls.
  // Rows: start time, length, key angles, control angles.
  const double segments[2][6] = {{0.0, 1.0, 0.0, 0.4, 0.0, controlB1},
                                 {1.0, 2.0, 0.4, 1.2, controlA1, 1.2}};
  Quaternion r;
  for (const double* g : segments) {
    for (int i = 0; i < 50; ++i) {
      const double u = 0.02 * i;
      const double a = g[2] + u * (g[3] - g[2]), b = g[4] + u * (g[5] - g[4]);
      track->Evaluate(&r, static_cast<float>(g[0] + g[1] * u));
      EXPECT_NEAR(AngleAboutZ(r), a + 2.0 * u * (1.0 - u) * (b - a), 2e-5) << g[0] << " " << u;
    }
  }
}

TEST(TCBRotation, PlacedSamplesNearAHalfTurnFollowTheGeneralOnes) {
  // Keys 0.2 rad apart about z, the second negated: the squad runs the long way round, its
  // weights near 1 / sin(3.04) with the quaternions cancelling, where a last-bit change of a
  // sine shows a hundred times larger. The placed samples keep to the general ones' bits.
  const auto track = MakeTrack<CZK_AnimTrackRotationTCB>(
      std::vector{RotationKey(0.0f, RotZ(0.0f)), RotationKey(1.0f, Negated(RotZ(0.2f)))});
  uint32_t cursor = 0;
  Quaternion placed, general;
  for (int i = 0; i < 200; ++i) {
    const float t = 0.005f * static_cast<float>(i);
    track->EvaluatePlaced(&placed, {t, NAnimTrackSearch::kHoldNone}, &cursor);
    EXPECT_TRUE(Near(placed, *track->Evaluate(&general, t), 0.0f)) << t;
  }
}

TEST(TCBRotation, PreparedSquadsGiveTheGeneralSquadsBits) {
  // Random keys up to 3 rad apart, so that some squads run their last slerp or the general
  // routines, with random tension, continuity, bias and easing. The prepared pair's squad, with
  // SSE2 and with AVX where the processor has it, must give the general routines' bits.
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> v(-1.0f, 1.0f);
  int compared = 0;
  for (int trackIndex = 0; trackIndex < 200; ++trackIndex) {
    std::vector<CZK_KeyFrameTCBRotation> keys;
    for (int k = 0; k < 6; ++k) {
      const STCB p = {v(rng) / 2, v(rng) / 2, v(rng) / 2, (v(rng) + 1) / 2, (v(rng) + 1) / 2};
      keys.push_back(RotationKey(
          static_cast<float>(k),
          QuaternionFromAxisAngle(Vec3Normalized({v(rng), v(rng), 0.4f}), 3 * v(rng)), p));
    }
    const auto track = MakeTrack<CZK_AnimTrackRotationTCB>(keys);
    const auto* stored = track->GetStoredKeys();
    for (size_t pair = 0; pair < track->GetPreparedPairCount(); ++pair) {
      const auto& constants = track->GetPreparedPairs()[pair];
      for (int i = 1; i <= 40; ++i) {
        const float t = stored[pair].time + static_cast<float>(i) / 41.0f;
        Quaternion general, prepared;
        track->Evaluate(&general, t);
        CZK_AnimTrackRotationTCB::SamplePair(stored + pair, constants, t, &prepared);
        ASSERT_EQ(std::memcmp(&general, &prepared, sizeof(general)), 0)
            << trackIndex << " " << pair << " " << t;
#if defined(__SSE2__)
        if (NAnimTrackSlerp::kCpuHasAvx) {
          CZK_AnimTrackRotationTCB::SamplePairAvx(stored + pair, constants, t, &prepared);
          ASSERT_EQ(std::memcmp(&general, &prepared, sizeof(general)), 0)
              << "AVX " << trackIndex << " " << pair << " " << t;
        }
#endif
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 200 * 5 * 40);
}

}  // namespace
