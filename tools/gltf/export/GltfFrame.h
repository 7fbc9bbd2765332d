// The frame change between the library and glTF, and the translation / rotation / scale split of
// a transform, in double precision (world matrices of 0.001-scaled people lose digits in float).
//
// The library's matrices are row-major with row vectors (p' = p·M, translation in the fourth
// row). Its sample assets are authored Z up, facing -Y, with their left side at +X, in metres for
// the car and millimetres for people. glTF uses column vectors, Y up, an asset's front at +Z and
// its left at +X, in metres. Both frames draw the same physical figure with the same handedness
// when the library's axes are mapped as
//
//     library  +X (left)   +Y (back)   +Z (up)
//     glTF     +X (left)   -Z (back)   +Y (up)       p_glTF = (x, z, -y) · metresPerUnit
//
// which is a quarter turn about X (determinant +1), not a mirror: a mirror would put the left arm
// of a figure on its right. Every transform is carried over by conjugation with that axis map C
// (row form, p·C = (x, z, -y)): M_glTF = C⁻¹·M·C, translation scaled by metresPerUnit; a
// mirrored basis (determinant < 0) stays mirrored, and is split with a negative scale.
#pragma once

#include <zelkar/MathTypes.h>

namespace zk_gltf {

// A 4×4 transform in double, laid out like Matrix: row-major, row vectors, translation in 12..14.
struct SAffine {
  double m[16];
};

// How the library frame of a file relates to glTF's: its axes (Z up as the samples, or already
// Y up) and its unit.
struct SFrame {
  bool zUp = true;
  double metresPerUnit = 1.0;
};

// A transform split as glTF nodes hold it: T·R·S in column form; rotation is (x, y, z, w).
struct STrs {
  double translation[3] = {0, 0, 0};
  double rotation[4] = {0, 0, 0, 1};
  double scale[3] = {1, 1, 1};
};

SAffine ToAffine(const Matrix& m);
Matrix ToMatrix(const SAffine& a);
SAffine Multiply(const SAffine& a, const SAffine& b);
// False when the transform has no inverse (a zero or vanishing scale).
bool InvertAffine(const SAffine& a, SAffine* out);

SAffine LibraryToGltf(const SAffine& m, const SFrame& frame);
SAffine GltfToLibrary(const SAffine& m, const SFrame& frame);

// Splits a transform (row form, already in glTF's frame). A negative determinant gives negative
// scales on all three axes; a sheared basis (which T·R·S cannot hold) keeps the row lengths and
// the nearest rotation from its first two rows.
STrs Decompose(const SAffine& m);
// The row-form matrix of T·R·S, the rotation normalised first.
SAffine Compose(const STrs& trs);

// A quaternion means the same rotation in both conventions: the library's row-vector matrix of
// (x, y, z, w) is the transpose of glTF's column-vector one, so rotations need no conversion
// beyond the frame change of the matrix they come from.

}  // namespace zk_gltf
