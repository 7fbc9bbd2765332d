#include <gtest/gtest.h>

#include "foundation/Math.h"

TEST(Math, Placeholder) {
  Matrix m;
  D3DXMatrixRotationZ(&m, 0.5f);
  EXPECT_FLOAT_EQ(m.m[0], std::cos(0.5f));
}
