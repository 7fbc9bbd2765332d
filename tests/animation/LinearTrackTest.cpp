// Linear rotation tracks take the shorter arc; the loader tests play the other linear kinds.
#include <gtest/gtest.h>

#include <memory>

#include "TrackTestSupport.h"
#include "animation/AnimTrackLinear.h"

namespace {

TEST(LinearTrack, RotationTakesTheShorterArc) {
  const auto track = [](const Quaternion& q0, const Quaternion& q1) {
    auto* t = new CZK_AnimTrackRotationLinear;
    CZK_KeyFrameLinearRotation a, b;
    a.rotation = q0;
    b.time = 1.0f;
    b.rotation = q1;
    t->AddKey(a);
    t->AddKey(b);
    t->Prepare();
    return std::unique_ptr<CZK_AnimTrackRotationLinear>(t);
  };
  const Quaternion q = RotZ(1.0f);
  const auto same = track(q, Negated(q));
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
  const auto turn = track(kIdentityQuaternion, RotZ(300.0f * zk_math::kDegreesToRadians));
  const Quaternion half = RotZ(-30.0f * zk_math::kDegreesToRadians);
  EXPECT_TRUE(SameRotation(*turn->Evaluate(&r, 0.5f), half));
  EXPECT_TRUE(SameRotation(placed(*turn, 0.5f), half));
}

// A key added after Prepare plays at once: the search sees it, and its pair, which has no
// prepared constants yet, takes the general slerp.
TEST(LinearTrack, KeyAddedAfterPrepareIsPlayedAtOnce) {
  CZK_AnimTrackRotationLinear t;
  CZK_KeyFrameLinearRotation k;
  t.AddKey(k);
  k.time = 1.0f;
  k.rotation = RotZ(1.0f);
  t.AddKey(k);
  t.Prepare();
  k.time = 2.0f;
  k.rotation = RotZ(3.0f);
  t.AddKey(k);
  Quaternion r;
  uint32_t cursor = 0;
  EXPECT_TRUE(Near(*t.Evaluate(&r, 1.5f), RotZ(2.0f)));
  EXPECT_TRUE(
      Near(*t.EvaluatePlaced(&r, {1.5f, NAnimTrackSearch::kHoldNone}, &cursor), RotZ(2.0f)));
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
