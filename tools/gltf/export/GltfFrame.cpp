#include "GltfFrame.h"

#include <cmath>

namespace zk_gltf {
namespace {

double Det3(const SAffine& a) {
  const double* m = a.m;
  return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
         m[2] * (m[4] * m[9] - m[5] * m[8]);
}

// The axis map as a row-form transform scaled by `scale`, and its inverse.
SAffine AxisMap(const SFrame& frame, bool inverse) {
  SAffine k{};
  const double s = inverse ? 1.0 / frame.metresPerUnit : frame.metresPerUnit;
  if (frame.zUp) {
    // p·C = (x, z, -y); p·C⁻¹ = (x, -z, y).
    k.m[0] = s;
    k.m[4 + 2] = inverse ? s : -s;
    k.m[8 + 1] = inverse ? -s : s;
  } else {
    k.m[0] = k.m[5] = k.m[10] = s;
  }
  k.m[15] = 1;
  return k;
}

}  // namespace

SAffine ToAffine(const Matrix& m) {
  SAffine a;
  for (int i = 0; i < 16; ++i) a.m[i] = m.m[i];
  return a;
}

Matrix ToMatrix(const SAffine& a) {
  Matrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = static_cast<float>(a.m[i]);
  return m;
}

SAffine Multiply(const SAffine& a, const SAffine& b) {
  SAffine r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[i * 4 + k] * b.m[k * 4 + j];
      r.m[i * 4 + j] = sum;
    }
  return r;
}

bool InvertAffine(const SAffine& a, SAffine* out) {
  const double det = Det3(a);
  double scale = 0;
  for (int i = 0; i < 12; ++i) scale = std::fmax(scale, std::fabs(a.m[i]));
  if (!(std::fabs(det) > 1e-30 * scale * scale * scale) || !std::isfinite(det)) return false;
  const double* m = a.m;
  SAffine r{};
  // Inverse of the 3×3 part by cofactors, then the translation row: -t·A⁻¹.
  r.m[0] = (m[5] * m[10] - m[6] * m[9]) / det;
  r.m[1] = (m[2] * m[9] - m[1] * m[10]) / det;
  r.m[2] = (m[1] * m[6] - m[2] * m[5]) / det;
  r.m[4] = (m[6] * m[8] - m[4] * m[10]) / det;
  r.m[5] = (m[0] * m[10] - m[2] * m[8]) / det;
  r.m[6] = (m[2] * m[4] - m[0] * m[6]) / det;
  r.m[8] = (m[4] * m[9] - m[5] * m[8]) / det;
  r.m[9] = (m[1] * m[8] - m[0] * m[9]) / det;
  r.m[10] = (m[0] * m[5] - m[1] * m[4]) / det;
  for (int j = 0; j < 3; ++j)
    r.m[12 + j] = -(m[12] * r.m[j] + m[13] * r.m[4 + j] + m[14] * r.m[8 + j]);
  r.m[15] = 1;
  *out = r;
  return true;
}

SAffine LibraryToGltf(const SAffine& m, const SFrame& frame) {
  return Multiply(Multiply(AxisMap(frame, true), m), AxisMap(frame, false));
}

SAffine GltfToLibrary(const SAffine& m, const SFrame& frame) {
  return Multiply(Multiply(AxisMap(frame, false), m), AxisMap(frame, true));
}

STrs Decompose(const SAffine& a) {
  STrs trs;
  for (int i = 0; i < 3; ++i) trs.translation[i] = a.m[12 + i];
  const double sign = Det3(a) < 0 ? -1.0 : 1.0;
  // Row i of the row form is column i of glTF's matrix: scale_i times the rotation's column i.
  double col[3][3];
  for (int i = 0; i < 3; ++i) {
    const double* row = a.m + 4 * i;
    const double len = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
    trs.scale[i] = sign * len;
    for (int j = 0; j < 3; ++j) col[i][j] = len > 0 ? row[j] / trs.scale[i] : (i == j ? 1 : 0);
  }
  // Orthonormalise (a no-op for a true rotation): column 1 loses its part along column 0, and
  // column 2 is their cross product.
  const double d = col[0][0] * col[1][0] + col[0][1] * col[1][1] + col[0][2] * col[1][2];
  for (int j = 0; j < 3; ++j) col[1][j] -= d * col[0][j];
  const double n1 =
      std::sqrt(col[1][0] * col[1][0] + col[1][1] * col[1][1] + col[1][2] * col[1][2]);
  if (n1 > 0)
    for (int j = 0; j < 3; ++j) col[1][j] /= n1;
  col[2][0] = col[0][1] * col[1][2] - col[0][2] * col[1][1];
  col[2][1] = col[0][2] * col[1][0] - col[0][0] * col[1][2];
  col[2][2] = col[0][0] * col[1][1] - col[0][1] * col[1][0];
  // R[r][c] = col[c][r]; the rotation's quaternion by the largest of its four candidates.
  auto R = [&](int r, int c) { return col[c][r]; };
  double* q = trs.rotation;
  const double trace = R(0, 0) + R(1, 1) + R(2, 2);
  if (trace > 0) {
    const double s = 2 * std::sqrt(trace + 1);
    q[3] = s / 4;
    q[0] = (R(2, 1) - R(1, 2)) / s;
    q[1] = (R(0, 2) - R(2, 0)) / s;
    q[2] = (R(1, 0) - R(0, 1)) / s;
  } else if (R(0, 0) >= R(1, 1) && R(0, 0) >= R(2, 2)) {
    const double s = 2 * std::sqrt(1 + R(0, 0) - R(1, 1) - R(2, 2));
    q[3] = (R(2, 1) - R(1, 2)) / s;
    q[0] = s / 4;
    q[1] = (R(0, 1) + R(1, 0)) / s;
    q[2] = (R(0, 2) + R(2, 0)) / s;
  } else if (R(1, 1) >= R(2, 2)) {
    const double s = 2 * std::sqrt(1 + R(1, 1) - R(0, 0) - R(2, 2));
    q[3] = (R(0, 2) - R(2, 0)) / s;
    q[0] = (R(0, 1) + R(1, 0)) / s;
    q[1] = s / 4;
    q[2] = (R(1, 2) + R(2, 1)) / s;
  } else {
    const double s = 2 * std::sqrt(1 + R(2, 2) - R(0, 0) - R(1, 1));
    q[3] = (R(1, 0) - R(0, 1)) / s;
    q[0] = (R(0, 2) + R(2, 0)) / s;
    q[1] = (R(1, 2) + R(2, 1)) / s;
    q[2] = s / 4;
  }
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (int i = 0; i < 4; ++i) q[i] /= n;
  return trs;
}

SAffine Compose(const STrs& trs) {
  double x = trs.rotation[0], y = trs.rotation[1], z = trs.rotation[2], w = trs.rotation[3];
  const double n = std::sqrt(x * x + y * y + z * z + w * w);
  if (n > 0) {
    x /= n;
    y /= n;
    z /= n;
    w /= n;
  } else {
    w = 1;
  }
  // Column-form rotation R; row i of the row form is scale_i · (column i of R).
  const double R[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                          {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                          {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  SAffine a{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a.m[4 * i + j] = trs.scale[i] * R[j][i];
    a.m[12 + i] = trs.translation[i];
  }
  a.m[15] = 1;
  return a;
}

}  // namespace zk_gltf
