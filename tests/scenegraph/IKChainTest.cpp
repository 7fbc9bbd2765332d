#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "scenegraph/IKChain.h"

namespace {

void ExpectVec(const Vector3& actual, const Vector3& expected, float tolerance = 1e-5f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

}  // namespace

TEST(IKChain, SolvesTheWorkedExamples) {
  Vector3 middle;
  const Vector3 up = {0, 1, 0};

  CZK_IKChain reachable;
  reachable.SetLengths(1, 1);
  const Vector3 near = {1, 0, 0};
  EXPECT_TRUE(reachable.Solve(&near, &up, &middle));
  ExpectVec(middle, {0.5f, std::sqrt(0.75f), 0});

  const Vector3 far = {3, 0, 0};
  EXPECT_FALSE(reachable.Solve(&far, &up, &middle));
  ExpectVec(middle, {1, 0, 0});

  CZK_IKChain folded;
  folded.SetLengths(1, 3);
  EXPECT_FALSE(folded.Solve(&near, &up, &middle));
  ExpectVec(middle, {0, 1, 0});
}

TEST(IKChain, ReachableTargetsKeepBothSegmentLengthsAndBendTowardsTheHint) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  CZK_IKChain chain;
  chain.SetLengths(0.3f, 0.25f);
  int solved = 0;
  for (int i = 0; i < 4000; ++i) {
    Vector3 target = {u(rng), u(rng), u(rng)};
    const float d = Vec3Length(target);
    if (d < 0.06f || d > 0.54f) continue;  // keep strictly within reach
    const Vector3 hint = {u(rng), u(rng), u(rng)};
    Vector3 axis;
    D3DXVec3Normalize(&axis, &target);
    const Vector3 perpendicular = hint - axis * Vec3Dot(hint, axis);
    if (Vec3Length(perpendicular) < 0.05f) continue;

    Vector3 middle;
    ASSERT_TRUE(chain.Solve(&target, &hint, &middle));
    EXPECT_NEAR(Vec3Length(middle), 0.3f, 1e-4f);
    EXPECT_NEAR(Vec3Length(target - middle), 0.25f, 1e-4f);
    // The elbow lies in the plane of target and hint, on the hint's side of the target line.
    EXPECT_NEAR(Vec3Dot(middle, Vec3Cross(target, perpendicular)), 0.0f, 1e-4f);
    EXPECT_GT(Vec3Dot(middle, perpendicular), 0.0f);
    // frame and basis are each other's inverse rotation.
    Matrix product;
    D3DXMatrixMultiply(&product, &chain.GetFrame(), &chain.GetBasis());
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(product.m[k], g_IdentityMatrix.m[k], 1e-5f);
    ++solved;
  }
  EXPECT_GT(solved, 100);
}

TEST(IKChain, DegenerateInputsStillPlaceTheElbowAtTheUpperLength) {
  CZK_IKChain chain;
  chain.SetLengths(1, 1);
  Vector3 middle;
  const Vector3 zero = {0, 0, 0};
  const Vector3 up = {0, 1, 0};
  EXPECT_FALSE(chain.Solve(&zero, &up, &middle));
  EXPECT_TRUE(std::isfinite(middle.x) && std::isfinite(middle.y) && std::isfinite(middle.z));

  const Vector3 target = {1, 0, 0};
  const Vector3 parallel = {2, 0, 0};
  EXPECT_TRUE(chain.Solve(&target, &parallel, &middle));
  EXPECT_NEAR(Vec3Length(middle), 1.0f, 1e-5f);
  EXPECT_NEAR(Vec3Length(target - middle), 1.0f, 1e-5f);
}
