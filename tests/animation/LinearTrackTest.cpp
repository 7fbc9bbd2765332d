// Linear rotation tracks take the shorter arc; the loader tests play the other linear kinds.
#include <gtest/gtest.h>

#include <memory>

#include "TrackTestSupport.h"
#include "animation/AnimTrackLinear.h"

namespace {

// A prepared linear rotation track through the keys (time, rotation).
std::unique_ptr<CZK_AnimTrackRotationLinear> Track(
    std::initializer_list<std::pair<float, Quaternion>> keys) {
  auto track = std::make_unique<CZK_AnimTrackRotationLinear>();
  CZK_KeyFrameLinearRotation key;
  for (const auto& [time, rotation] : keys) {
    key.time = time;
    key.rotation = rotation;
    track->AddKey(key);
  }
  track->Prepare();
  return track;
}

TEST(LinearTrack, RotationTakesTheShorterArc) {
  const Quaternion q = RotZ(1.0f);
  const auto same = Track({{0.0f, q}, {1.0f, Negated(q)}});
  // Each time also through the sampling with constants prepared per key pair, where the
  // hemisphere sign is folded into the pair's constants.
  Quaternion r;
  uint32_t cursor = 0;
  const auto placed = [&](const CZK_AnimTrackRotationLinear& t, float time) {
    return *t.EvaluatePlaced(&r, {time, NAnimTrackSearch::kHoldNone}, &cursor);
  };
  for (float t : {0.1f, 0.5f, 0.9f}) {
    EXPECT_TRUE(Near(*same->Evaluate(&r, t), q)) << t;
    EXPECT_TRUE(Near(placed(*same, t), q)) << t;
  }
  // Identity to 300 degrees about z is -60 degrees the short way: halfway is -30 degrees.
  const auto turn =
      Track({{0.0f, kIdentityQuaternion}, {1.0f, RotZ(300.0f * zk_math::kDegreesToRadians)}});
  const Quaternion half = RotZ(-30.0f * zk_math::kDegreesToRadians);
  EXPECT_TRUE(SameRotation(*turn->Evaluate(&r, 0.5f), half));
  EXPECT_TRUE(SameRotation(placed(*turn, 0.5f), half));
}

// A key added after Prepare plays at once: the search sees it, and its pair, which has no
// prepared constants yet, takes the general slerp.
TEST(LinearTrack, KeyAddedAfterPrepareIsPlayedAtOnce) {
  const auto t = Track({{0.0f, kIdentityQuaternion}, {1.0f, RotZ(1.0f)}});
  CZK_KeyFrameLinearRotation k;
  k.time = 2.0f;
  k.rotation = RotZ(3.0f);
  t->AddKey(k);
  Quaternion r;
  uint32_t cursor = 0;
  EXPECT_TRUE(Near(*t->Evaluate(&r, 1.5f), RotZ(2.0f)));
  EXPECT_TRUE(
      Near(*t->EvaluatePlaced(&r, {1.5f, NAnimTrackSearch::kHoldNone}, &cursor), RotZ(2.0f)));
}

// Scale factors blend linearly; the scale axis turns from one key's to the next's.
TEST(LinearTrack, ScaleAxisTurnsBetweenTheKeys) {
  CZK_KeyFrameLinearScale a, b;
  b.time = 1.0f;
  b.scale = {3.0f, 5.0f, 7.0f};
  b.axis = RotZ(1.0f);
  CZK_AnimTrackScaleLinear track;
  track.AddKey(a);
  track.AddKey(b);
  track.Prepare();
  ScaleValue s;
  track.Evaluate(&s, 0.25f);
  EXPECT_TRUE(Near(Vector3{s.x, s.y, s.z}, {1.5f, 2.0f, 2.5f}));
  EXPECT_TRUE(SameRotation(s.axis, RotZ(0.25f)));
}

}  // namespace
