#include <gtest/gtest.h>

#include <cmath>

#include "scenegraph/IKChain.h"
#include "support/Near.h"

// Worked examples, then degenerate inputs (no direction to the target, an up vector along it)
// whose answer is known only by its lengths: the elbow stays at the upper length.
TEST(IKChain, SolvesTheWorkedExamplesAndSurvivesDegenerateInputs) {
  const float any = NAN;
  const struct {
    float upper, lower;
    Vector3 target, up;
    bool reached;
    Vector3 middle;
  } cases[] = {
      {1, 1, {1, 0, 0}, {0, 1, 0}, true, {0.5f, std::sqrt(0.75f), 0}},
      {1, 1, {3, 0, 0}, {0, 1, 0}, false, {1, 0, 0}},
      {1, 3, {1, 0, 0}, {0, 1, 0}, false, {0, 1, 0}},
      {1, 1, {0, 0, 0}, {0, 1, 0}, false, {any, any, any}},
      {1, 1, {1, 0, 0}, {2, 0, 0}, true, {any, any, any}},
  };
  for (const auto& c : cases) {
    CZK_IKChain chain;
    chain.SetLengths(c.upper, c.lower);
    Vector3 middle;
    EXPECT_EQ(chain.Solve(&c.target, &c.up, &middle), c.reached);
    if (!std::isnan(c.middle.x)) {
      EXPECT_TRUE(Near(middle, c.middle));
    } else {
      EXPECT_NEAR(Vec3Length(middle), c.upper, 1e-5f);
      if (c.reached) {
        EXPECT_NEAR(Vec3Length(c.target - middle), c.lower, 1e-5f);
      }
    }
  }
}
