#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ControllerTestSupport.h"
#include "controllers/AnimationController.h"

using namespace zk_test;

constexpr Vector3 kAxisZ = {0, 0, 1};

TEST(Controllers, TrackReferencesAreTakenAndReleasedOnce) {
  DestroyedTracks() = 0;
  auto* track = new LineFloatTrack(2, 0);
  {
    CZK_AnimationControllerFloat a("a");
    {
      CZK_AnimationControllerFloat b("b");
      a.SetTrack(track);
      b.SetTrack(track);
      EXPECT_EQ(track->GetRefCount(), 2u);
      EXPECT_FLOAT_EQ(b.GetValue(1.5f), 3.0f);
    }
    EXPECT_EQ(DestroyedTracks(), 0);
    EXPECT_EQ(track->GetRefCount(), 1u);
    // Replacing the track lets go of the old one, which dies with its last reference.
    a.SetTrack(new LineFloatTrack(1, 0));
    EXPECT_EQ(DestroyedTracks(), 1);
    // Setting the same track again keeps it alive.
    a.SetTrack(a.GetTrack());
    EXPECT_EQ(a.GetTrack()->GetRefCount(), 1u);
    EXPECT_EQ(DestroyedTracks(), 1);
  }
  EXPECT_EQ(DestroyedTracks(), 2);
}

TEST(Controllers, LeavesWithoutTracksGiveNeutralValues) {
  EXPECT_EQ(CZK_AnimationControllerFloat("f").GetValue(3), 0.0f);
  Vector3 v = {5, 5, 5};
  CZK_AnimationControllerPositionVector("p").Evaluate(&v, 1);
  EXPECT_TRUE(Near(v, {0, 0, 0}, 0));
  Quaternion q = {1, 1, 1, 1};
  CZK_AnimationControllerRotationQuaternion("r").Evaluate(&q, 1, nullptr);
  EXPECT_TRUE(Near(q, {0, 0, 0, 1}, 0));
  Matrix m;
  CZK_AnimationControllerScale("s").GetMatrix(&m, 1);
  EXPECT_TRUE(Near(m, g_IdentityMatrix, 0));
}

TEST(Controllers, PositionXYZSamplesZThenYThenX) {
  std::string order;
  CZK_AnimationControllerFloat x("x"), y("y"), z("z");
  x.SetTrack(new LineFloatTrack(1, 0, &order, 'x'));
  y.SetTrack(new LineFloatTrack(2, 0, &order, 'y'));
  z.SetTrack(new LineFloatTrack(3, 1, &order, 'z'));
  CZK_AnimationControllerPositionXYZ xyz("p");
  xyz.SetAxis(0, &x);
  xyz.SetAxis(1, &y);
  xyz.SetAxis(2, &z);
  Vector3 v;
  EXPECT_EQ(xyz.Evaluate(&v, 2.0f), &v);
  EXPECT_TRUE(Near(v, {2, 4, 7}, 0));
  EXPECT_EQ(order, "zyx");

  // An empty axis reads 0, the others still count.
  xyz.SetAxis(1, nullptr);
  xyz.Evaluate(&v, 1.0f);
  EXPECT_TRUE(Near(v, {1, 0, 4}, 0));
}

TEST(Controllers, PRSComposesScaleThenRotationThenTranslation) {
  // 2× scale, 90° about Z, at (1, 0, 0): (1, 0, 0) → (2, 0, 0) → (0, 2, 0) → (1, 2, 0).
  CZK_AnimationControllerPositionVector position("n::pos");
  CZK_AnimationControllerRotationQuaternion rotation("n::rot");
  CZK_AnimationControllerScale scale("n::scale");
  position.SetTrack(new LinePositionTrack({1, 0, 0}));
  rotation.SetTrack(new AxisRotationTrack(kAxisZ, zk_math::kHalfPi));
  scale.SetTrack(new ConstantScaleTrack({2, 2, 2, {0, 0, 0, 1}}));
  CZK_AnimationControllerPRS prs("n");
  prs.SetPosition(&position);
  prs.SetRotation(&rotation);
  prs.SetScale(&scale);
  Matrix m;
  EXPECT_EQ(prs.Evaluate(&m, 0, &g_IdentityMatrix), &m);
  EXPECT_TRUE(Near(TransformPoint({1, 0, 0}, m), {1, 2, 0}, 1e-5f));
  EXPECT_TRUE(Near(TransformPoint({0, 0, 0}, m), {1, 0, 0}, 1e-6f));
  EXPECT_TRUE(Near(TransformPoint({0, 1, 0}, m), {-1, 0, 0}, 1e-5f));
  // The level-of-detail controller composes its own three tracks the same way.
  CZK_AnimationControllerPRSLOD lod("lod");
  lod.SetPositionTrack(new LinePositionTrack({1, 0, 0}));
  lod.SetRotationTrack(new AxisRotationTrack(kAxisZ, zk_math::kHalfPi));
  lod.SetScaleTrack(new ConstantScaleTrack({2, 2, 2, {0, 0, 0, 1}}));
  Matrix fromLod;
  EXPECT_TRUE(Near(*lod.Evaluate(&fromLod, 0.0f), m, 1e-6f));
}

// Samples at times 0 and 1 whose 3×4 parts hold 100 (k + 1) + e for sample k, element e: a
// blend by u holds 100 (1 + u) + e, and the ends are held outside.
TEST(SampledController, BlendsElementByElementAndHoldsTheEnds) {
  auto samples = std::make_unique<float[]>(24);
  for (int i = 0; i < 24; ++i) samples[i] = 100.0f * static_cast<float>(i / 12 + 1) + i % 12;
  auto times = std::make_unique<float[]>(2);
  times[1] = 1.0f;
  CZK_AnimationControllerPRSSampled sampled("s");
  sampled.SetSamples(2, std::move(samples), std::move(times));
  const std::pair<float, float> cases[] = {{0.5f, 0.5f}, {0.25f, 0.25f}, {1.0f, 1.0f},
                                           {1.5f, 1.0f}, {100.0f, 1.0f}, {0.0f, 0.0f},
                                           {-3.0f, 0.0f}};
  for (const auto& [t, u] : cases) {
    Matrix m;
    sampled.Evaluate(&m, t, nullptr);
    for (int k = 0; k < 16; ++k) {
      const float e = static_cast<float>(k / 4 * 3 + k % 4);
      EXPECT_FLOAT_EQ(m.m[k], k % 4 == 3 ? (k == 15 ? 1.0f : 0.0f) : 100.0f * (1 + u) + e) << t;
    }
  }
}
