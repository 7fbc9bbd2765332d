// Linear tracks: per-component interpolation and shorter-arc rotations.
#include <gtest/gtest.h>

#include <memory>

#include "TrackTestSupport.h"
#include "animation/AnimTrackLinear.h"

namespace {

TEST(LinearTrack, FloatAndPositionInterpolateEachComponent) {
  CZK_AnimTrackFloatLinear track;
  FillFloatTrack(track, {{0.0f, 2.0f}, {2.0f, 6.0f}, {3.0f, -4.0f}});
  EXPECT_FLOAT_EQ(track.Evaluate(0.5f), 3.0f);
  EXPECT_FLOAT_EQ(track.Evaluate(2.25f), 3.5f);

  CZK_AnimTrackPositionLinear position;
  CZK_KeyFrameLinearPosition a, b;
  a.time = 1.0f;
  a.value = {1.0f, -2.0f, 10.0f};
  b.time = 5.0f;
  b.value = {5.0f, 2.0f, 0.0f};
  position.AddKey(a);
  position.AddKey(b);
  position.Prepare();
  Vector3 v;
  EXPECT_TRUE(Near(*position.Evaluate(&v, 2.0f), {2.0f, -1.0f, 7.5f}));
  EXPECT_TRUE(Near(*position.Evaluate(&v, 9.0f), b.value, 0.0f));
}

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
  Quaternion r;
  for (float t : {0.1f, 0.5f, 0.9f}) EXPECT_TRUE(Near(*same->Evaluate(&r, t), q)) << t;
  // Identity to 300 degrees about z is -60 degrees the short way: halfway is -30 degrees.
  const auto turn = track(kIdentityQuaternion, RotZ(300.0f * zk_math::kDegreesToRadians));
  EXPECT_TRUE(SameRotation(*turn->Evaluate(&r, 0.5f), RotZ(-30.0f * zk_math::kDegreesToRadians)));
}

TEST(LinearTrack, ScaleInterpolatesFactorsAndSlerpsTheAxis) {
  CZK_AnimTrackScaleLinear track;
  CZK_KeyFrameLinearScale a, b;
  a.scale = {1.0f, 2.0f, 4.0f};
  b.time = 2.0f;
  b.scale = {3.0f, 2.0f, 0.0f};
  b.axis = AxisAngle(1.0f, 0.0f, 0.0f, 1.2f);
  track.AddKey(a);
  track.AddKey(b);
  track.Prepare();
  ScaleValue s;
  EXPECT_EQ(track.Evaluate(&s, 0.5f), &s);
  EXPECT_TRUE(Near(Vector3{s.x, s.y, s.z}, {1.5f, 2.0f, 3.0f}));
  EXPECT_TRUE(SameRotation(s.axis, AxisAngle(1.0f, 0.0f, 0.0f, 0.3f)));
}

}  // namespace
