// Comparisons with a tolerance shared by every test folder: vectors, quaternions and matrices
// element by element (a NaN never passes), and the rows of a matrix.
#pragma once

#include <gtest/gtest.h>
#include <zelkar/MathTypes.h>

#include <cmath>
#include <cstring>
#include <type_traits>

#include "foundation/Math.h"

template <class T>
::testing::AssertionResult Near(const T& a, const std::type_identity_t<T>& b,
                                float tolerance = 1e-5f) {
  constexpr std::size_t n = sizeof(T) / sizeof(float);
  float fa[n], fb[n];
  std::memcpy(fa, &a, sizeof(T));
  std::memcpy(fb, &b, sizeof(T));
  bool ok = true;
  for (std::size_t i = 0; i < n; ++i) ok = ok && std::fabs(fa[i] - fb[i]) <= tolerance;
  if (ok) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  for (std::size_t i = 0; i < n; ++i) failure << fa[i] << "/" << fb[i] << " ";
  return failure;
}

inline void ExpectVectorNear(const Vector3& a, const Vector3& b, float tolerance = 1e-5f) {
  EXPECT_TRUE(Near(a, b, tolerance));
}
inline void ExpectMatrixNear(const Matrix& a, const Matrix& b, float tolerance = 1e-5f) {
  EXPECT_TRUE(Near(a, b, tolerance));
}

inline Vector3 Row(const Matrix& m, int row) {
  return {m.m[row * 4], m.m[row * 4 + 1], m.m[row * 4 + 2]};
}

// The product a·b: a applied first.
inline Matrix Mul(const Matrix& a, const Matrix& b) {
  Matrix r;
  D3DXMatrixMultiply(&r, &a, &b);
  return r;
}

// The point p carried by m (the row-vector convention: p · m).
inline Vector3 TransformPoint(const Vector3& p, const Matrix& m) {
  Vector3 out;
  D3DXVec3TransformCoord(&out, &p, &m);
  return out;
}

inline Matrix Translation(float x, float y, float z) {
  Matrix m;
  D3DXMatrixTranslation(&m, x, y, z);
  return m;
}
