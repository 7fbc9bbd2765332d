// Bezier tracks: curve tables against the cubic they sample, channel independence, the longer
// arc of rotations and the unsupported scale track.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "TrackTestSupport.h"
#include "animation/AnimTrackBezier.h"
#include "foundation/Logger.h"

namespace {

CZK_KeyFrameBezierFloat BezierKey(float time, float value, BezierTangent in, BezierTangent out) {
  CZK_KeyFrameBezierFloat key;
  key.time = time;
  key.value = value;
  key.inTangent = in;
  key.outTangent = out;
  return key;
}

// The segment's cubic, solved for x = u by bisection in double precision.
double ReferenceCurve(double u, float v0, BezierTangent out0, float v1, BezierTangent in1) {
  const auto cubic = [](double s, double p0, double p1, double p2, double p3) {
    const double a = 1.0 - s;
    return a * a * a * p0 + 3.0 * s * a * a * p1 + 3.0 * s * s * a * p2 + s * s * s * p3;
  };
  double lo = 0.0, hi = 1.0;
  for (int i = 0; i < 60; ++i) {
    const double mid = 0.5 * (lo + hi);
    (cubic(mid, 0.0, out0.dt, 1.0 + in1.dt, 1.0) < u ? lo : hi) = mid;
  }
  return cubic(0.5 * (lo + hi), v0, v0 + out0.dv, v1 + in1.dv, v1);
}

TEST(BezierTrack, OneThirdTangentsReproduceAStraightLine) {
  const float d = (11.0f - 2.0f) / 3.0f;
  CZK_AnimTrackFloatBezier track;
  track.AddKey(BezierKey(1.0f, 2.0f, {-1.0f / 3.0f, -d}, {1.0f / 3.0f, d}));
  track.AddKey(BezierKey(3.0f, 11.0f, {-1.0f / 3.0f, -d}, {1.0f / 3.0f, d}));
  track.Prepare();
  for (int i = 0; i <= 400; ++i) {
    const float t = 1.0f + 0.005f * static_cast<float>(i);
    EXPECT_NEAR(track.Evaluate(t), 2.0f + 4.5f * (t - 1.0f), 2e-4f) << t;
  }
}

TEST(BezierTrack, FollowsTheCubicItSamples) {
  const BezierTangent out0 = {0.2f, 6.0f}, in1 = {-0.4f, 3.0f};
  CZK_AnimTrackFloatBezier track;
  track.AddKey(BezierKey(0.0f, 0.0f, {-0.3f, 1.0f}, out0));
  track.AddKey(BezierKey(2.0f, 10.0f, in1, {0.3f, 1.0f}));
  track.Prepare();
  for (int i = 0; i < 200; ++i) {
    const float u = static_cast<float>(i) / 200.0f;
    EXPECT_NEAR(track.Evaluate(2.0f * u), ReferenceCurve(u, 0.0f, out0, 10.0f, in1), 0.03) << u;
  }
}

TEST(BezierTrack, TablesRunFromKeyToKeyAndPreparingTwiceChangesNothing) {
  CZK_AnimTrackFloatBezier track;
  track.AddKey(BezierKey(0.0f, 1.0f, {-0.2f, 0.0f}, {0.25f, 2.0f}));
  track.AddKey(BezierKey(1.0f, 4.0f, {-0.25f, -1.0f}, {0.2f, 0.5f}));
  track.AddKey(BezierKey(3.0f, -2.0f, {-0.3f, 1.0f}, {0.3f, 0.0f}));
  track.Prepare();
  const float values[3] = {1.0f, 4.0f, -2.0f};
  for (size_t i = 0; i < 3; ++i) {
    const BezierCurveTable& table = track.GetKey(i).curve;
    ASSERT_EQ(table.size(), kBezierCurveSamples);
    EXPECT_EQ(table.front().x, 0.0f);
    EXPECT_EQ(table.front().y, values[i]);
    EXPECT_NEAR(table.back().x, 1.0f, 1e-5f);
    EXPECT_NEAR(table.back().y, values[(i + 1) % 3], 1e-4f);  // the last runs back to key 0
  }
  const BezierCurveTable& table = track.GetKey(0).curve;
  for (size_t k = 1; k + 1 < table.size(); ++k) {
    EXPECT_NEAR(BezierCurveLookup(table, table[k].x, 0.0f), table[k].y, 1e-5f) << k;
  }
  float once[60];
  for (int i = 0; i < 60; ++i) once[i] = track.Evaluate(0.05f * static_cast<float>(i));
  track.Prepare();
  EXPECT_EQ(track.GetKey(0).curve.size(), 2 * kBezierCurveSamples);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(track.Evaluate(0.05f * static_cast<float>(i)), once[i]);
}

TEST(BezierTrack, LookupOutsideTheTableAndOnShortTables) {
  BezierCurveTable table;
  EXPECT_EQ(BezierCurveLookup(table, 0.5f, 7.0f), 7.0f);
  AppendBezierCurve(table, 3.0f, {0.3f, 0.0f}, 5.0f, {-0.3f, 0.0f});
  EXPECT_EQ(BezierCurveLookup(table, -1.0f, 0.0f), 3.0f);
  EXPECT_EQ(BezierCurveLookup(table, 2.0f, 0.0f), table.back().y);
  table.resize(4);
  EXPECT_EQ(BezierCurveLookup(table, 0.9f, 0.0f), table[3].y);
}

TEST(BezierTrack, PositionChannelsMatchSeparateFloatTracks) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> dt(0.05f, 0.45f), dv(-3.0f, 3.0f);
  CZK_AnimTrackPositionBezier position;
  CZK_AnimTrackFloatBezier channel[3];
  for (int i = 0; i < 4; ++i) {
    CZK_KeyFrameBezierPosition key;
    key.time = 0.7f * static_cast<float>(i);
    key.value = {dv(rng), dv(rng), dv(rng)};
    const float v[3] = {key.value.x, key.value.y, key.value.z};
    for (int c = 0; c < 3; ++c) {
      key.inTangent[c] = {-dt(rng), dv(rng)};
      key.outTangent[c] = {dt(rng), dv(rng)};
      channel[c].AddKey(BezierKey(key.time, v[c], key.inTangent[c], key.outTangent[c]));
    }
    position.AddKey(key);
  }
  position.outOfRangeAfter = Cycle;
  position.Prepare();
  for (CZK_AnimTrackFloatBezier& c : channel) {
    c.outOfRangeAfter = Cycle;
    c.Prepare();
  }
  for (int i = 0; i < 150; ++i) {
    const float t = -0.2f + 0.02f * static_cast<float>(i);
    Vector3 p;
    position.Evaluate(&p, t);
    const Vector3 want = {channel[0].Evaluate(t), channel[1].Evaluate(t), channel[2].Evaluate(t)};
    EXPECT_TRUE(Near(p, want, 0.0f)) << t;
  }
}

TEST(BezierTrack, RotationKeepsTheLongerArc) {
  const auto track = [](const Quaternion& q1) {
    auto* t = new CZK_AnimTrackRotationBezier;
    CZK_KeyFrameBezierRotation a, b;
    b.time = 1.0f;
    b.rotation = q1;
    t->AddKey(a);
    t->AddKey(b);
    t->Prepare();
    return std::unique_ptr<CZK_AnimTrackRotationBezier>(t);
  };
  const Quaternion q300 = RotZ(300.0f * zk_math::kDegreesToRadians);
  const auto turn = track(q300);
  Quaternion r;
  // The long way from 0 to 300 degrees passes 150 degrees halfway (not -30).
  EXPECT_TRUE(SameRotation(*turn->Evaluate(&r, 0.5f), RotZ(150.0f * zk_math::kDegreesToRadians)));
  for (int i = 0; i < 100; ++i) {
    const float u = 0.01f * static_cast<float>(i);
    EXPECT_TRUE(Near(*turn->Evaluate(&r, u), QuaternionSlerpSpin(kIdentityQuaternion, q300, 0, u)));
  }
  // Between the identity and its negation the weights stay linear (1 - 2u): no flip.
  const auto opposite = track(Negated(kIdentityQuaternion));
  EXPECT_TRUE(Near(*opposite->Evaluate(&r, 0.25f), {0.0f, 0.0f, 0.0f, 0.5f}));
}

TEST(BezierTrack, ScaleIsUnsupportedAndLogsEveryEvaluation) {
  const std::string path = ::testing::TempDir() + "zelkar_bezier_scale_" +
                           std::to_string(std::random_device{}()) + ".log";
  ASSERT_TRUE(NRQLib2::NLogger::GetLogger().OpenLevelFile(4, path.c_str()));
  CZK_AnimTrackScaleBezier track;
  CZK_KeyFrameBezierScale key;
  key.scale = {2.0f, 3.0f, 4.0f};
  key.axis = AxisAngle(1.0f, 0.0f, 0.0f, 0.5f);
  track.AddKey(key);
  key.time = 2.0f;
  track.AddKey(key);
  track.Prepare();
  for (float t : {-1.0f, 1.5f, 3.0f}) {
    ScaleValue s = {9.0f, 9.0f, 9.0f, {9.0f, 9.0f, 9.0f, 9.0f}};
    EXPECT_EQ(track.Evaluate(&s, t), &s);
    EXPECT_TRUE(Near(s, kIdentityScaleValue, 0.0f));
  }
  NRQLib2::NLogger::DestroyLogger();
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(path.c_str());
  const std::string line = "AnimTrackScaleBezier not supported!\n";
  EXPECT_EQ(text.str(), line + line + line);
}

}  // namespace
