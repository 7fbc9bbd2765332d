#include <gtest/gtest.h>

#include <random>

#include "ControllerTestSupport.h"
#include "animation/AnimObject.h"
#include "animation/AnimationScene.h"
#include "controllers/ConstraintControllers.h"
#include "controllers/ControllerManager.h"

using namespace zk_test;

namespace {

CZK_ConstraintTarget Entry(const char* name, float key, int32_t slot) {
  CZK_ConstraintTarget e;
  e.name = name;
  e.key = key;
  e.slot = slot;
  return e;
}

class ConstraintTest : public ::testing::Test {
 protected:
  // A fixed-mode transform object whose world matrix is a translation to p.
  int MakeTarget(const std::string& name, Vector3 p) {
    const int i = manager.CreateTransformObject(name.c_str());
    MoveTarget(i, p);
    return i;
  }
  void MoveTarget(int i, Vector3 p) {
    static_cast<CZK_AnimObjectTM*>(manager.GetAnimObject(i))->fixed = Translation(p.x, p.y, p.z);
    manager.EvaluateTransform(i, 0.0f, nullptr);
  }

  ScopedHub hub;
  CZK_ControllerManager manager;
};

Vector3 Normalized(const Vector3& v) { return v * (1.0f / Vec3Length(v)); }

}  // namespace

TEST_F(ConstraintTest, LinkSwitchesTargetsAtTheirStartTimes) {
  const int x = MakeTarget("Car::X::PRS", {10, 0, 0});
  const int y = MakeTarget("Car::Y::PRS", {0, 20, 0});
  manager.AddScene("Anim");
  auto* link = new CZK_AnimationControllerLinkConstraints("Anim::Hand");
  link->AddLink(Entry("Car::X", 0, -1));
  link->AddLink(Entry("Car::Y", 5, -1));
  link->AddLink(Entry("__world_root__", 8, 7));
  auto* position = new CZK_AnimationControllerPositionVector("Anim::Hand::pos");
  position->SetTrack(new LinePositionTrack({1, 0, 0}));
  manager.AddController(position);
  link->SetPosition(position);
  manager.AddController(link);
  ASSERT_EQ(manager.GetScene(0)->linkConstraintControllers.size(), 1u);

  manager.ResolveSceneTargets("Anim");
  // Link targets take no scene prefix; the world root has no object.
  EXPECT_EQ(link->GetLinks()[0].slot, x);
  EXPECT_EQ(link->GetLinks()[0].kind, kTargetTransform);
  EXPECT_EQ(link->GetLinks()[1].slot, y);
  EXPECT_EQ(link->GetLinks()[2].slot, -1);

  const int hand = manager.CreateTransformObject("Anim::Hand");
  const Matrix parent = Translation(0, 0, 100);
  struct Case {
    float t;
    Vector3 expected;
  } cases[] = {{-1, {11, 0, 100}},   {0, {11, 0, 100}}, {4.9f, {11, 0, 100}}, {5, {1, 20, 100}},
               {7.9f, {1, 20, 100}}, {8, {1, 0, 100}},  {50, {1, 0, 100}}};
  for (const Case& c : cases) {
    const Matrix world = manager.EvaluateTransform(hand, c.t, &parent);
    EXPECT_TRUE(Near(Row(world, 3), c.expected)) << "t = " << c.t;
  }
  EXPECT_EQ(link->SelectLink(4.9f), 0);
  EXPECT_EQ(link->SelectLink(5.0f), 1);
}

TEST_F(ConstraintTest, LookAtBasisIsOrthonormalForEverySetting) {
  const int target = MakeTarget("S::T::PRS", {0, 0, 0});
  manager.AddScene("S");
  auto* lookAt = new CZK_AnimationControllerRotationLookAt("S::N::rot");
  lookAt->AddTarget(Entry("T", 2.5f, 0));
  manager.AddController(lookAt);
  manager.ResolveSceneTargets("S");

  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-10.0f, 10.0f);
  int checked = 0;
  for (uint32_t axis = 0; axis < 3; ++axis)
    for (uint32_t source = 0; source < 4; ++source)
      for (uint32_t upMode = 0; upMode < 2; ++upMode)
        for (uint32_t upAxis = 0; upAxis < 3; ++upAxis)
          for (uint32_t flips = 0; flips < 8; ++flips) {
            const uint32_t words[9] = {
                0, flips & 1, (flips >> 1) & 1, (flips >> 2) & 1, 0, axis, upAxis, source, upMode};
            lookAt->SetParameters(words);
            const uint32_t s = (source > 2 || source == axis) ? (axis + 1) % 3 : source;
            for (int k = 0; k < 12; ++k) {
              const Vector3 t = {u(rng), u(rng), u(rng)};
              const Vector3 w = {u(rng), u(rng), u(rng)};
              MoveTarget(target, t);
              Quaternion q;
              lookAt->Evaluate(&q, 0, &w);
              // A unit quaternion (w >= 0): its rows are an orthonormal right-handed basis.
              ASSERT_GE(q.w, 0.0f);
              ASSERT_NEAR(QuaternionDot(q, q), 1.0f, 1e-5f);
              Matrix m;
              D3DXMatrixRotationQuaternion(&m, &q);
              const Vector3 rows[3] = {Row(m, 0), Row(m, 1), Row(m, 2)};

              // The look-at row points at the target (away with flipLookAt).
              Vector3 d = Normalized(t - w);
              if (words[1] != 0) d = d * -1.0f;
              ASSERT_TRUE(Near(rows[axis], d, 2e-4f)) << axis << " " << s << " " << upMode;

              // The source row is the up reference with its part along d removed.
              Vector3 r = upMode == 0
                              ? Normalized(Vector3{0, 0, 0} - w)
                              : Vector3{upAxis == 0 ? 1.0f : 0.0f, upAxis == 1 ? 1.0f : 0.0f,
                                        upAxis == 2 ? 1.0f : 0.0f};
              const Vector3 perp = r - d * Vec3Dot(r, d);
              if (Vec3Length(perp) < 1e-2f) continue;
              Vector3 expected = Normalized(perp);
              if (words[2] != 0) expected = expected * -1.0f;
              ASSERT_TRUE(Near(rows[s], expected, 5e-4f)) << axis << " " << s << " " << upMode;
              ++checked;
            }
          }
  EXPECT_GT(checked, 2500);
}

TEST(LookAtBasis, DegenerateReferenceFallsBackToAWorldAxis) {
  for (uint32_t axis = 0; axis < 3; ++axis) {
    const Vector3 d = Normalized({0.3f, -0.4f, 0.866f});
    for (const Vector3& reference : {d, Vector3{0, 0, 0}, d * -2.0f}) {
      Matrix m = g_IdentityMatrix;
      BuildLookAtBasis(&m, d, reference, axis, (axis + 2) % 3, false);
      EXPECT_TRUE(Near(Row(m, static_cast<int>(axis)), d, 1e-6f));
      EXPECT_NEAR(Vec3Dot(Vec3Cross(Row(m, 0), Row(m, 1)), Row(m, 2)), 1.0f, 1e-5f);
    }
  }
}
