// Matrix, quaternion and vector routines. The D3DX-named routines follow the conventions of
// that math library (output pointer first and returned, outputs may alias inputs); the rest are
// the library's own quaternion helpers used by the rotation and scale tracks.
#pragma once

#include <zelkar/MathTypes.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zk_math {
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kFramesToSeconds = 0.033333335f;
constexpr float kDegreesToRadians = 0.017453292f;

// sin x for x in [0, pi], in double: above pi/2 the argument is reflected, then an odd Taylor
// polynomial to x^13 (truncation below 7e-10 on [0, pi/2]) gives the sine far inside a float's
// precision, so the rounded result is nearly always the correctly rounded sine (measured over
// three million arguments in [0, pi]: one in 1,500 a last bit off, where the C library's float
// sine is in one in 80). The slerps of the animation tracks take their sines from here. The
// polynomial is summed in pairs of terms (Estrin's scheme) rather than nested, which shortens
// the chain of dependent operations a sample waits on. The coefficients are 1 / n! as
// constants, so that no division is left for run time.
constexpr double kSineC3 = -1.0 / 6, kSineC5 = 1.0 / 120, kSineC7 = -1.0 / 5040,
                 kSineC9 = 1.0 / 362880, kSineC11 = -1.0 / 39916800, kSineC13 = 1.0 / 6227020800.0;
constexpr double kHalfPiDouble = 1.5707963267948966, kPiDouble = 3.141592653589793;

inline float SineHalfTurn(float x) {
  double d = x;
  if (d > kHalfPiDouble) d = kPiDouble - d;
  const double d2 = d * d;
  const double d4 = d2 * d2;
  const double d8 = d4 * d4;
  const double low = (1.0 + d2 * kSineC3) + d4 * (kSineC5 + d2 * kSineC7);
  const double high = (kSineC9 + d2 * kSineC11) + d4 * kSineC13;
  return static_cast<float>(d * (low + d8 * high));
}

// Sine and cosine of any float angle, evaluated in double and rounded once, and the inverse
// functions through the C library's double routines. The C libraries' float routines disagree
// with one another in the last bit now and then (glibc's sine misses the correctly rounded value
// about once in 80 calls); these give the same bits on every platform the library builds for,
// the browser included, so that one drive gives one result everywhere.
//
// The angle is reduced by the nearest multiple k of pi/2 (pi/2 in two parts, so that the
// reduction is exact to far below a float for |x| up to 2^17), then Taylor polynomials of the
// reduced angle r, |r| <= pi/4, give sin r (to r^11) and cos r (to r^12), with truncation below
// 7e-12; the quadrant k picks and signs the pair. Measured over four million angles in
// [-50, 50]: 23 results a last bit away from the double routines' (glibc's float ones: 103,000).
constexpr double kCosineC2 = -1.0 / 2, kCosineC4 = 1.0 / 24, kCosineC6 = -1.0 / 720,
                 kCosineC8 = 1.0 / 40320, kCosineC10 = -1.0 / 3628800, kCosineC12 = 1.0 / 479001600,
                 kCosineC14 = -1.0 / 87178291200.0;
constexpr double kTwoOverPi = 0.6366197723675814;
constexpr double kHalfPiHigh = 1.5707963267341256, kHalfPiLow = 6.077100506506192e-11;
constexpr float kLargestReducedAngle = 131072.0f;
constexpr double kRoundingShift = 6755399441055744.0;  // 1.5 * 2^52

inline void SinCos(float angle, float* sine, float* cosine) {
  if (!(std::fabs(angle) <= kLargestReducedAngle)) {  // huge, infinite or NaN
    *sine = static_cast<float>(std::sin(static_cast<double>(angle)));
    *cosine = static_cast<float>(std::cos(static_cast<double>(angle)));
    return;
  }
  const double x = angle;
  // k = x / (pi/2) rounded to nearest: adding 1.5 * 2^52 leaves k in the low bits of the sum.
  const double shifted = x * kTwoOverPi + kRoundingShift;
  std::uint64_t bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  const double k = shifted - kRoundingShift;
  const double r = (x - k * kHalfPiHigh) - k * kHalfPiLow;
  const double r2 = r * r;
  const double r4 = r2 * r2;
  const double r8 = r4 * r4;
  const double sr =
      r * (((1.0 + r2 * kSineC3) + r4 * (kSineC5 + r2 * kSineC7)) + r8 * (kSineC9 + r2 * kSineC11));
  const double cr = ((1.0 + r2 * kCosineC2) + r4 * (kCosineC4 + r2 * kCosineC6)) +
                    r8 * ((kCosineC8 + r2 * kCosineC10) + r4 * kCosineC12);
  // Quadrant k mod 4: odd ones swap sine and cosine; the sine is negative in 2 and 3, the
  // cosine in 1 and 2.
  const unsigned quadrant = static_cast<unsigned>(bits) & 3u;
  const double s = (quadrant & 1u) ? cr : sr;
  const double c = (quadrant & 1u) ? sr : cr;
  *sine = static_cast<float>((quadrant & 2u) ? -s : s);
  *cosine = static_cast<float>(((quadrant + 1u) & 2u) ? -c : c);
}
inline float Sine(float angle) {
  float s, c;
  SinCos(angle, &s, &c);
  return s;
}
inline float Cosine(float angle) {
  float s, c;
  SinCos(angle, &s, &c);
  return c;
}
inline float ArcCosine(float x) { return static_cast<float>(std::acos(static_cast<double>(x))); }
inline float ArcTangent(float x) { return static_cast<float>(std::atan(static_cast<double>(x))); }
inline float ArcTangent2(float y, float x) {
  return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}
}  // namespace zk_math

// The shared identity matrix, passed where a node has no parent matrix.
extern const Matrix g_IdentityMatrix;

Matrix* D3DXMatrixIdentity(Matrix* out);
Matrix* D3DXMatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b);
// Returns null (and leaves out untouched) when M is singular, as D3DX does.
Matrix* D3DXMatrixInverse(Matrix* out, float* determinant, const Matrix* m);
Matrix* D3DXMatrixTranspose(Matrix* out, const Matrix* m);
Matrix* D3DXMatrixTranslation(Matrix* out, float x, float y, float z);
Matrix* D3DXMatrixScaling(Matrix* out, float sx, float sy, float sz);
Matrix* D3DXMatrixRotationX(Matrix* out, float angle);
Matrix* D3DXMatrixRotationY(Matrix* out, float angle);
Matrix* D3DXMatrixRotationZ(Matrix* out, float angle);
Matrix* D3DXMatrixRotationQuaternion(Matrix* out, const Quaternion* q);

Quaternion* D3DXQuaternionRotationMatrix(Quaternion* out, const Matrix* m);
Quaternion* D3DXQuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2);
Quaternion* D3DXQuaternionNormalize(Quaternion* out, const Quaternion* q);
Quaternion* D3DXQuaternionInverse(Quaternion* out, const Quaternion* q);
Quaternion* D3DXQuaternionExp(Quaternion* out, const Quaternion* q);
Quaternion* D3DXQuaternionSlerp(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                float t);

Vector3* D3DXVec3Normalize(Vector3* out, const Vector3* v);
Vector3* D3DXVec3TransformCoord(Vector3* out, const Vector3* v, const Matrix* m);

// The library's own quaternion operations.
// (axis·sin(angle/2), cos(angle/2)); the axis is used as given, without normalising. Inline:
// loaders convert every rotation key with it.
inline Quaternion QuaternionFromAxisAngle(const Vector3& axis, float angle) {
  float s, c;
  zk_math::SinCos(angle * 0.5f, &s, &c);
  return {axis.x * s, axis.y * s, axis.z * s, c};
}
Quaternion QuaternionSlerpSpin(const Quaternion& p, const Quaternion& q, float spins, float t);
Quaternion QuaternionScaledLog(const Quaternion& q);
Quaternion QuaternionConjugateNormalized(const Quaternion& q);
Quaternion QuaternionRelativeScaledLog(const Quaternion& a, const Quaternion& b);
Vector3 MatrixGetTranslation(const Matrix& m);

// Small value helpers used throughout the library.
inline float QuaternionDot(const Quaternion& a, const Quaternion& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}
inline Vector3 operator+(const Vector3& a, const Vector3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector3 operator-(const Vector3& a, const Vector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector3 operator*(const Vector3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Vec3Dot(const Vector3& a, const Vector3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vector3 Vec3Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Vec3Length(const Vector3& v) { return std::sqrt(Vec3Dot(v, v)); }
// v scaled to unit length, or the zero vector when its squared length is below the smallest
// normal float (D3DXVec3Normalize's result). Inline: chains of these on the per-frame path (the
// car's suspension) overlap only when the processor sees them side by side.
inline Vector3 Vec3Normalized(const Vector3& v) {
  const float n2 = Vec3Dot(v, v);
  if (n2 < 1.17549435e-38f) return {0.0f, 0.0f, 0.0f};
  const float inv = 1.0f / std::sqrt(n2);
  return {v.x * inv, v.y * inv, v.z * inv};
}
// Row 0 to 3 of a matrix as a vector (its first three elements): an axis, or the translation.
inline Vector3 MatrixGetRow(const Matrix& m, uint32_t row) {
  return {m.m[row * 4], m.m[row * 4 + 1], m.m[row * 4 + 2]};
}
inline void MatrixSetRow(Matrix& m, uint32_t row, const Vector3& v) {
  m.m[row * 4] = v.x;
  m.m[row * 4 + 1] = v.y;
  m.m[row * 4 + 2] = v.z;
}
inline bool operator==(const Vector3& a, const Vector3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}
