// Bezier tracks: curve tables against the cubic they sample, channel independence, the longer
// arc of rotations and the unsupported scale track.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "TrackTestSupport.h"
#include "animation/AnimTrackBezier.h"

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

// Each channel of a position track follows the cubic of that channel's values and tangents.
TEST(BezierTrack, PositionChannelsFollowTheirOwnTangents) {
  const BezierTangent out[3] = {{0.2f, 6.0f}, {0.3f, -4.0f}, {0.1f, 2.0f}};
  const BezierTangent in[3] = {{-0.4f, 3.0f}, {-0.2f, 1.0f}, {-0.3f, -5.0f}};
  const float end[3] = {10.0f, 20.0f, 30.0f};
  CZK_KeyFrameBezierPosition a, b;
  b.time = 2.0f;
  b.value = {end[0], end[1], end[2]};
  std::copy(out, out + 3, a.outTangent);
  std::copy(in, in + 3, b.inTangent);
  CZK_AnimTrackPositionBezier track;
  track.AddKey(a);
  track.AddKey(b);
  track.Prepare();
  for (int i = 0; i < 100; ++i) {
    const float u = static_cast<float>(i) / 100.0f;
    Vector3 v;
    track.Evaluate(&v, 2.0f * u);
    const float got[3] = {v.x, v.y, v.z};
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(got[c], ReferenceCurve(u, 0.0f, out[c], end[c], in[c]), 0.1) << c << " " << u;
  }
}

// Placed samples are the general ones to the bit, with time handles uneven enough that guesses
// miss, and still after a second Prepare with a key changed, which the tables' first samples
// do not follow. Keys 1 and 2 are too close for a fraction (t = 0.25 falls between them), and
// the handles of keys 2 and 3 cross on x, whose samples then turn back.
TEST(BezierTrack, PlacedPositionsAreTheGeneralOnesToTheBit) {
  CZK_AnimTrackPositionBezier track;
  for (int k = 0; k < 4; ++k) {
    CZK_KeyFrameBezierPosition key;
    key.time = std::array{0.0f, 0.24996f, 0.25004f, 1.5f}[k];
    key.value = {static_cast<float>(k % 3), -1.5f * static_cast<float>(k), 0.3f};
    for (int a = 0; a < 3; ++a) {
      key.inTangent[a] = {-0.1f - 0.25f * static_cast<float>(a), 2.0f};
      key.outTangent[a] = {0.05f + 0.3f * static_cast<float>(a), 1.0f + static_cast<float>(k)};
    }
    if (k >= 2) (k == 2 ? key.outTangent : key.inTangent)[0].dt = k == 2 ? 1.2f : -1.2f;
    track.AddKey(key);
  }
  for (int prepare = 0; prepare < 2; ++prepare) {
    track.Prepare();
    uint32_t cursor = 0;
    Vector3 placed, general;
    for (int i = 1; i < 300; ++i) {
      const float t = 0.005f * static_cast<float>(i);
      track.EvaluatePlaced(&placed, {t, NAnimTrackSearch::kHoldNone}, &cursor);
      EXPECT_EQ(std::memcmp(&placed, track.Evaluate(&general, t), sizeof(placed)), 0) << t;
    }
    track.GetKey(1).value.y += 1.0f;
    if (prepare > 0) continue;
    // Copies, and keys moved out of the track, own their samples.
    const CZK_KeyFrameBezierPosition copy = track.GetKey(2), moved = std::move(track.GetKey(3));
    track.GetKey(2).curves[1][5].y = track.GetKey(3).curves[1][5].y = 99.0f;
    EXPECT_NE(copy.curves[1][5].y, 99.0f);
    EXPECT_NE(moved.curves[1][5].y, 99.0f);
    CZK_KeyFrameBezierPosition assigned;
    assigned = CZK_KeyFrameBezierPosition(copy);
    EXPECT_EQ(std::memcmp(assigned.curves[2].data(), copy.curves[2].data(), 256), 0);
  }
}

}  // namespace
