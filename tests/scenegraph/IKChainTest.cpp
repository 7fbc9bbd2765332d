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
