/// @file
/// The three value types that cross the facade: plain structs of f32, trivially copyable.
///
/// Conventions: points are row vectors (p' = p · M), matrices are row-major with the translation
/// in the fourth row, applying A then B is A · B, the frame is left-handed, angles are radians.
#pragma once

#include <type_traits>

/// A point or direction.
struct Vector3 {
  float x;  ///< first component
  float y;  ///< second component
  float z;  ///< third component
};

/// A rotation; the identity is (0, 0, 0, 1).
struct Quaternion {
  float x;  ///< vector part, x
  float y;  ///< vector part, y
  float z;  ///< vector part, z
  float w;  ///< scalar part
};

/// A 4×4 transform. Element k lies at row k / 4, column k % 4; the translation is m[12],
/// m[13], m[14].
struct Matrix {
  float m[16];  ///< row-major elements
};

static_assert(sizeof(Vector3) == 12 && std::is_trivially_copyable_v<Vector3>);
static_assert(sizeof(Quaternion) == 16 && std::is_trivially_copyable_v<Quaternion>);
static_assert(sizeof(Matrix) == 64 && std::is_trivially_copyable_v<Matrix>);
