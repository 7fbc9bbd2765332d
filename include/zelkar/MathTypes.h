// The three value types that cross the facade: plain structs of f32, trivially copyable.
// Conventions: points are row vectors (p' = p * M), matrices are row-major with the
// translation in the fourth row, applying A then B is A * B, the frame is left-handed.
#pragma once

#include <type_traits>

struct Vector3 {
  float x, y, z;
};

struct Quaternion {
  float x, y, z, w;
};

// Element k lies at row k / 4, column k % 4.
struct Matrix {
  float m[16];
};

static_assert(sizeof(Vector3) == 12 && std::is_trivially_copyable_v<Vector3>);
static_assert(sizeof(Quaternion) == 16 && std::is_trivially_copyable_v<Quaternion>);
static_assert(sizeof(Matrix) == 64 && std::is_trivially_copyable_v<Matrix>);
