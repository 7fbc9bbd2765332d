#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>

#include "foundation/Math.h"

namespace {

constexpr int kSamples = 500;

// ---------------------------------------------------------------------------------------------
// Helpers: random inputs and comparisons.

class Random {
 public:
  explicit Random(unsigned seed) : m_engine(seed) {}
  float Uniform(float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(m_engine);
  }
  Vector3 UnitVector() {
    for (;;) {
      const Vector3 v{Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
      const float len = Vec3Length(v);
      if (len > 0.1f && len <= 1.0f) return v * (1.0f / len);
    }
  }
  Quaternion UnitQuaternion() {
    for (;;) {
      const Quaternion q{Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
      const float len = std::sqrt(QuaternionDot(q, q));
      if (len > 0.1f && len <= 1.0f) return {q.x / len, q.y / len, q.z / len, q.w / len};
    }
  }
  Matrix AnyMatrix() {
    Matrix m;
    for (float& e : m.m) e = Uniform(-2, 2);
    return m;
  }

 private:
  std::mt19937 m_engine;
};

Matrix Mul(const Matrix& a, const Matrix& b) {
  Matrix r;
  D3DXMatrixMultiply(&r, &a, &b);
  return r;
}

Matrix FromQuaternion(const Quaternion& q) {
  Matrix m;
  D3DXMatrixRotationQuaternion(&m, &q);
  return m;
}

Quaternion QMul(const Quaternion& a, const Quaternion& b) {
  Quaternion r;
  D3DXQuaternionMultiply(&r, &a, &b);
  return r;
}

Vector3 Transform(const Vector3& v, const Matrix& m) {
  Vector3 r;
  D3DXVec3TransformCoord(&r, &v, &m);
  return r;
}

// Largest element difference of two matrices, quaternions or vectors. A NaN anywhere gives NaN,
// so no tolerance check can pass on it.
template <class T>
float MaxDifference(const T& a, const std::type_identity_t<T>& b) {
  constexpr size_t n = sizeof(T) / sizeof(float);
  float fa[n], fb[n], d = 0;
  std::memcpy(fa, &a, sizeof(T));
  std::memcpy(fb, &b, sizeof(T));
  for (size_t i = 0; i < n; ++i) {
    const float e = std::fabs(fa[i] - fb[i]);
    if (!(e <= d)) d = e;
  }
  return d;
}

// q and -q are the same rotation.
float RotationDifference(const Quaternion& a, const Quaternion& b) {
  return std::fmin(MaxDifference(a, b), MaxDifference(a, {-b.x, -b.y, -b.z, -b.w}));
}

float Norm(const Quaternion& q) { return std::sqrt(QuaternionDot(q, q)); }

// Compares all sixteen elements: exactly, or within four float steps.
void ExpectElements(const Matrix& m, const std::array<float, 16>& e, bool exact,
                    const std::string& what = "") {
  for (int i = 0; i < 16; ++i) {
    if (exact)
      EXPECT_EQ(m.m[i], e[i]) << what << " element " << i;
    else
      EXPECT_FLOAT_EQ(m.m[i], e[i]) << what << " element " << i;
  }
}

// Rotation about a unit axis in this library's convention, built independently of quaternions:
// the textbook column-vector matrix (right-hand rule) transposed for row vectors.
Matrix AxisAngleMatrix(const Vector3& n, float angle) {
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  const double r[3][3] = {{c + t * n.x * n.x, t * n.x * n.y - s * n.z, t * n.x * n.z + s * n.y},
                          {t * n.x * n.y + s * n.z, c + t * n.y * n.y, t * n.y * n.z - s * n.x},
                          {t * n.x * n.z - s * n.y, t * n.y * n.z + s * n.x, c + t * n.z * n.z}};
  Matrix m = g_IdentityMatrix;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i * 4 + j] = static_cast<float>(r[j][i]);
  return m;
}

double Determinant3(const Matrix& m) {
  const float* a = m.m;
  return double(a[0]) * (double(a[5]) * a[10] - double(a[6]) * a[9]) -
         double(a[1]) * (double(a[4]) * a[10] - double(a[6]) * a[8]) +
         double(a[2]) * (double(a[4]) * a[9] - double(a[5]) * a[8]);
}

// ---------------------------------------------------------------------------------------------
// Matrices.

TEST(MathMatrix, IdentityTranslationAndScalingElements) {
  Matrix m;
  EXPECT_EQ(D3DXMatrixIdentity(&m), &m);
  ExpectElements(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, true, "identity");
  EXPECT_EQ(MaxDifference(m, g_IdentityMatrix), 0.0f);
  EXPECT_EQ(D3DXMatrixTranslation(&m, 1, 2, 3), &m);
  ExpectElements(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}, true, "translation");
  EXPECT_EQ(MatrixGetTranslation(m), (Vector3{1, 2, 3}));
  D3DXMatrixScaling(&m, 2, 3, 4);
  ExpectElements(m, {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1}, true, "scaling");
}

TEST(MathMatrix, AxisRotationElementValues) {
  for (float a : {0.0f, 0.3f, -1.2f, 2.5f, zk_math::kPi}) {
    const float c = std::cos(a), s = std::sin(a);
    Matrix x, y, z;
    D3DXMatrixRotationX(&x, a);
    D3DXMatrixRotationY(&y, a);
    D3DXMatrixRotationZ(&z, a);
    const std::string at = " at " + std::to_string(a);
    ExpectElements(x, {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}, false, "X" + at);
    ExpectElements(y, {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}, false, "Y" + at);
    ExpectElements(z, {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, false, "Z" + at);
  }
}

TEST(MathMatrix, FrameIsLeftHandedWithRowVectors) {
  Matrix m;
  // A quarter turn about each axis carries the next axis round in cyclic order.
  D3DXMatrixRotationZ(&m, zk_math::kHalfPi);
  EXPECT_LT(MaxDifference(Transform({1, 0, 0}, m), {0, 1, 0}), 1e-6f);
  D3DXMatrixRotationX(&m, zk_math::kHalfPi);
  EXPECT_LT(MaxDifference(Transform({0, 1, 0}, m), {0, 0, 1}), 1e-6f);
  D3DXMatrixRotationY(&m, zk_math::kHalfPi);
  EXPECT_LT(MaxDifference(Transform({0, 0, 1}, m), {1, 0, 0}), 1e-6f);
  // The translation is the fourth row and is applied after the basis.
  Matrix t;
  D3DXMatrixTranslation(&t, 10, 20, 30);
  EXPECT_LT(MaxDifference(Transform({1, 2, 3}, t), {11, 22, 33}), 1e-6f);
}

TEST(MathMatrix, RotationMatricesAreOrthonormal) {
  Random rng(1);
  for (int i = 0; i < kSamples; ++i) {
    const float a = rng.Uniform(-10, 10);
    Matrix rs[4];
    D3DXMatrixRotationX(&rs[0], a);
    D3DXMatrixRotationY(&rs[1], a);
    D3DXMatrixRotationZ(&rs[2], a);
    rs[3] = FromQuaternion(rng.UnitQuaternion());
    for (const Matrix& r : rs) {
      Matrix rt;
      D3DXMatrixTranspose(&rt, &r);
      EXPECT_LT(MaxDifference(Mul(r, rt), g_IdentityMatrix), 2e-6f);
      EXPECT_NEAR(Determinant3(r), 1.0, 1e-5);
      for (int k = 12; k < 15; ++k) EXPECT_EQ(r.m[k], 0.0f);
      EXPECT_EQ(r.m[15], 1.0f);
    }
  }
}

TEST(MathMatrix, MultiplyComposesInApplicationOrder) {
  Random rng(2);
  Matrix t, r;
  D3DXMatrixTranslation(&t, 1, 0, 0);
  D3DXMatrixRotationZ(&r, zk_math::kHalfPi);
  // Translate first, then rotate: the origin goes to (1,0,0), then to (0,1,0).
  EXPECT_LT(MaxDifference(Transform({0, 0, 0}, Mul(t, r)), {0, 1, 0}), 1e-6f);
  // Rotate first, then translate: the origin stays, then moves to (1,0,0).
  EXPECT_LT(MaxDifference(Transform({0, 0, 0}, Mul(r, t)), {1, 0, 0}), 1e-6f);

  for (int i = 0; i < kSamples; ++i) {
    const Matrix a = rng.AnyMatrix(), b = rng.AnyMatrix(), c = rng.AnyMatrix();
    EXPECT_LT(MaxDifference(Mul(Mul(a, b), c), Mul(a, Mul(b, c))), 1e-4f);
    EXPECT_EQ(MaxDifference(Mul(a, g_IdentityMatrix), a), 0.0f);
    EXPECT_EQ(MaxDifference(Mul(g_IdentityMatrix, a), a), 0.0f);
    // Transforming by a product equals transforming twice (affine parts only).
    Matrix aa = a, bb = b;
    aa.m[3] = aa.m[7] = aa.m[11] = 0, aa.m[15] = 1;
    bb.m[3] = bb.m[7] = bb.m[11] = 0, bb.m[15] = 1;
    const Vector3 p{rng.Uniform(-1, 1), rng.Uniform(-1, 1), rng.Uniform(-1, 1)};
    EXPECT_LT(MaxDifference(Transform(p, Mul(aa, bb)), Transform(Transform(p, aa), bb)), 1e-4f);
  }
}

TEST(MathMatrix, MultiplyAndTransposeAllowAliasedOutput) {
  Random rng(3);
  const Matrix a = rng.AnyMatrix(), b = rng.AnyMatrix();
  const Matrix expected = Mul(a, b);
  Matrix x = a;
  EXPECT_EQ(D3DXMatrixMultiply(&x, &x, &b), &x);
  EXPECT_EQ(MaxDifference(x, expected), 0.0f);
  Matrix y = b;
  D3DXMatrixMultiply(&y, &a, &y);
  EXPECT_EQ(MaxDifference(y, expected), 0.0f);

  Matrix t = a;
  EXPECT_EQ(D3DXMatrixTranspose(&t, &t), &t);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(t.m[i * 4 + j], a.m[j * 4 + i]);
  D3DXMatrixTranspose(&t, &t);
  EXPECT_EQ(MaxDifference(t, a), 0.0f);
  // (AB)^T = B^T A^T
  Matrix at, bt, abt;
  D3DXMatrixTranspose(&at, &a);
  D3DXMatrixTranspose(&bt, &b);
  D3DXMatrixTranspose(&abt, &expected);
  EXPECT_LT(MaxDifference(abt, Mul(bt, at)), 1e-5f);
}

TEST(MathMatrix, InverseTimesMatrixIsIdentity) {
  Random rng(4);
  for (int i = 0; i < kSamples; ++i) {
    const Matrix m = rng.AnyMatrix();
    Matrix inv;
    float det = 0;
    ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &m), &inv);
    // Tolerance follows the conditioning: |M| * |M^-1| bounds the error growth.
    float normM = 0, normInv = 0;
    for (int k = 0; k < 16; ++k) {
      normM = std::fmax(normM, std::fabs(m.m[k]));
      normInv = std::fmax(normInv, std::fabs(inv.m[k]));
    }
    const float tol = 1e-6f * 16 * normM * normInv;
    EXPECT_LT(MaxDifference(Mul(inv, m), g_IdentityMatrix), tol) << i;
    EXPECT_LT(MaxDifference(Mul(m, inv), g_IdentityMatrix), tol) << i;
  }
}

TEST(MathMatrix, InverseOfRigidTransformAndDeterminant) {
  Random rng(5);
  for (int i = 0; i < kSamples; ++i) {
    const float sx = rng.Uniform(0.5f, 2), sy = rng.Uniform(-2, -0.5f), sz = rng.Uniform(0.5f, 2);
    Matrix s, t;
    D3DXMatrixScaling(&s, sx, sy, sz);
    D3DXMatrixTranslation(&t, rng.Uniform(-5, 5), rng.Uniform(-5, 5), rng.Uniform(-5, 5));
    const Matrix r = FromQuaternion(rng.UnitQuaternion());
    const Matrix m = Mul(Mul(s, r), t);
    Matrix inv;
    float det = 0;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_NEAR(det, sx * sy * sz, 1e-4f * std::fabs(sx * sy * sz));
    // The inverse undoes the transform: t^-1 r^T s^-1.
    Matrix ti, rt, si;
    D3DXMatrixTranslation(&ti, -t.m[12], -t.m[13], -t.m[14]);
    D3DXMatrixTranspose(&rt, &r);
    D3DXMatrixScaling(&si, 1 / sx, 1 / sy, 1 / sz);
    EXPECT_LT(MaxDifference(inv, Mul(Mul(ti, rt), si)), 1e-4f);
  }
  // Determinant is multiplicative.
  for (int i = 0; i < 100; ++i) {
    const Matrix a = rng.AnyMatrix(), b = rng.AnyMatrix();
    Matrix scratch;
    float da, db, dab;
    D3DXMatrixInverse(&scratch, &da, &a);
    D3DXMatrixInverse(&scratch, &db, &b);
    const Matrix ab = Mul(a, b);
    D3DXMatrixInverse(&scratch, &dab, &ab);
    EXPECT_NEAR(dab, da * db, 1e-3f * (1 + std::fabs(da * db)));
  }
}

TEST(MathMatrix, SingularInverseReturnsNullAndLeavesOutput) {
  Matrix m = g_IdentityMatrix;
  m.m[4] = 1, m.m[5] = 0;  // rows 0 and 1 equal
  Matrix out;
  D3DXMatrixTranslation(&out, 7, 8, 9);
  const Matrix before = out;
  float det = 123;
  EXPECT_EQ(D3DXMatrixInverse(&out, &det, &m), nullptr);
  EXPECT_EQ(det, 0.0f);
  EXPECT_EQ(MaxDifference(out, before), 0.0f);
  // The determinant output may be null, and output may alias the input.
  Matrix a;
  D3DXMatrixScaling(&a, 2, 4, 8);
  EXPECT_EQ(D3DXMatrixInverse(&a, nullptr, &a), &a);
  EXPECT_FLOAT_EQ(a.m[0], 0.5f);
  EXPECT_FLOAT_EQ(a.m[5], 0.25f);
  EXPECT_FLOAT_EQ(a.m[10], 0.125f);
}

TEST(MathMatrix, TransformCoordDividesByW) {
  Matrix m = g_IdentityMatrix;
  m.m[11] = 1;  // w' = z
  m.m[15] = 0;
  EXPECT_LT(MaxDifference(Transform({2, 4, 8}, m), {0.25f, 0.5f, 1}), 1e-7f);
  // A uniform w of 2 halves every coordinate.
  Matrix h = g_IdentityMatrix;
  h.m[15] = 2;
  h.m[12] = 6;
  EXPECT_LT(MaxDifference(Transform({2, 4, 8}, h), {4, 2, 4}), 1e-6f);
  Vector3 v{1, 2, 3};
  EXPECT_EQ(D3DXVec3TransformCoord(&v, &v, &h), &v);
  EXPECT_LT(MaxDifference(v, {3.5f, 1, 1.5f}), 1e-6f);
}

// ---------------------------------------------------------------------------------------------
// Quaternions and matrices.

TEST(MathQuaternion, RotationMatrixMatchesAxisAngle) {
  Random rng(6);
  for (int i = 0; i < kSamples; ++i) {
    const Vector3 n = rng.UnitVector();
    const float a = rng.Uniform(-6.3f, 6.3f);
    EXPECT_LT(MaxDifference(FromQuaternion(QuaternionFromAxisAngle(n, a)), AxisAngleMatrix(n, a)),
              2e-6f);
  }
  // The axis rotations agree with their quaternions.
  Matrix z;
  D3DXMatrixRotationZ(&z, 0.7f);
  EXPECT_LT(MaxDifference(FromQuaternion(QuaternionFromAxisAngle({0, 0, 1}, 0.7f)), z), 1e-6f);
}

TEST(MathQuaternion, RotationQuaternionElementFormula) {
  // Not unit: the matrix is built from the elements as they are, without normalising.
  const float x = 0.1f, y = 0.2f, z = 0.3f, w = 0.4f;
  const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z;
  const float xw = x * w, yw = y * w, zw = z * w;
  ExpectElements(FromQuaternion({x, y, z, w}),
                 {1 - 2 * (yy + zz), 2 * (xy + zw), 2 * (xz - yw), 0,  //
                  2 * (xy - zw), 1 - 2 * (xx + zz), 2 * (yz + xw), 0,  //
                  2 * (xz + yw), 2 * (yz - xw), 1 - 2 * (xx + yy), 0,  //
                  0, 0, 0, 1},
                 false);
}

TEST(MathQuaternion, MatrixRoundTripIsSignInsensitive) {
  Random rng(7);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion q = rng.UnitQuaternion();
    const Matrix m = FromQuaternion(q);
    Quaternion back;
    EXPECT_EQ(D3DXQuaternionRotationMatrix(&back, &m), &back);
    EXPECT_LT(RotationDifference(back, q), 2e-5f) << i;
  }
  // Half turns about each axis reach every branch of the conversion (trace -1).
  for (const Vector3& axis : {Vector3{1, 0, 0}, Vector3{0, 1, 0}, Vector3{0, 0, 1},
                              Vector3{0.6f, 0.8f, 0}, Vector3{0, 0.6f, -0.8f}}) {
    for (float a : {zk_math::kPi, 3.1f, 2.9f, 0.01f}) {
      const Quaternion q = QuaternionFromAxisAngle(axis, a);
      Matrix m = FromQuaternion(q);
      m.m[12] = 5;  // translation and column 4 are ignored
      Quaternion back;
      D3DXQuaternionRotationMatrix(&back, &m);
      EXPECT_LT(RotationDifference(back, q), 2e-5f) << axis.x << axis.y << axis.z << " " << a;
    }
  }
}

TEST(MathQuaternion, MultiplyRotatesByTheFirstThenTheSecond) {
  const Quaternion a = QuaternionFromAxisAngle({0, 0, 1}, zk_math::kHalfPi);
  const Quaternion b = QuaternionFromAxisAngle({1, 0, 0}, zk_math::kHalfPi);
  // (1,0,0) -> a -> (0,1,0) -> b -> (0,0,1)
  EXPECT_LT(MaxDifference(Transform({1, 0, 0}, FromQuaternion(QMul(a, b))), {0, 0, 1}), 1e-6f);
  // The other order ends elsewhere: (1,0,0) -> b -> (1,0,0) -> a -> (0,1,0).
  EXPECT_LT(MaxDifference(Transform({1, 0, 0}, FromQuaternion(QMul(b, a))), {0, 1, 0}), 1e-6f);

  Random rng(8);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion p = rng.UnitQuaternion(), q = rng.UnitQuaternion();
    EXPECT_LT(MaxDifference(FromQuaternion(QMul(p, q)), Mul(FromQuaternion(p), FromQuaternion(q))),
              4e-6f);
  }
  // Output may alias either input.
  const Quaternion expected = QMul(a, b);
  Quaternion x = a, y = b;
  D3DXQuaternionMultiply(&x, &x, &b);
  D3DXQuaternionMultiply(&y, &a, &y);
  EXPECT_EQ(MaxDifference(x, expected), 0.0f);
  EXPECT_EQ(MaxDifference(y, expected), 0.0f);
}

TEST(MathQuaternion, NormalizeAndItsThreshold) {
  Random rng(9);
  for (int i = 0; i < 100; ++i) {
    const Quaternion u = rng.UnitQuaternion();
    const float k = rng.Uniform(0.01f, 100);
    const Quaternion scaled{u.x * k, u.y * k, u.z * k, u.w * k};
    Quaternion n;
    D3DXQuaternionNormalize(&n, &scaled);
    EXPECT_LT(MaxDifference(n, u), 1e-6f);
  }
  Quaternion out{9, 9, 9, 9};
  const Quaternion below{1e-19f, 0, 0, 0};  // squared 1e-38, under 1.17549435e-38
  D3DXQuaternionNormalize(&out, &below);
  EXPECT_EQ(MaxDifference(out, {0, 0, 0, 0}), 0.0f);
  const Quaternion above{0, 0, 0, 1.1e-19f};  // squared 1.21e-38
  D3DXQuaternionNormalize(&out, &above);
  EXPECT_LT(MaxDifference(out, {0, 0, 0, 1}), 1e-6f);

  Vector3 v{9, 9, 9};
  const Vector3 small{0, 1e-19f, 0};
  D3DXVec3Normalize(&v, &small);
  EXPECT_EQ(v, (Vector3{0, 0, 0}));
  const Vector3 big{0, 0, -1.1e-19f};
  D3DXVec3Normalize(&v, &big);
  EXPECT_LT(MaxDifference(v, {0, 0, -1}), 1e-6f);
  const Vector3 w{3, 4, 12};
  EXPECT_EQ(D3DXVec3Normalize(&v, &w), &v);
  EXPECT_LT(MaxDifference(v, {3.0f / 13, 4.0f / 13, 12.0f / 13}), 1e-7f);
}

TEST(MathQuaternion, InverseAndItsThreshold) {
  Random rng(10);
  const Quaternion identity{0, 0, 0, 1};
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion u = rng.UnitQuaternion();
    const float k = rng.Uniform(0.1f, 10);
    const Quaternion q{u.x * k, u.y * k, u.z * k, u.w * k};
    Quaternion inv;
    EXPECT_EQ(D3DXQuaternionInverse(&inv, &q), &inv);
    EXPECT_LT(MaxDifference(QMul(q, inv), identity), 1e-5f);
    EXPECT_LT(MaxDifference(QMul(inv, q), identity), 1e-5f);
  }
  Quaternion out{9, 9, 9, 9};
  const Quaternion below{3e-10f, 0, 0, 0};  // squared 9e-20, under 1.08420217e-19
  D3DXQuaternionInverse(&out, &below);
  EXPECT_EQ(MaxDifference(out, {0, 0, 0, 0}), 0.0f);
  const Quaternion above{0, 4e-10f, 0, 0};  // squared 1.6e-19
  D3DXQuaternionInverse(&out, &above);
  EXPECT_FLOAT_EQ(out.y, -1.0f / 4e-10f);
  EXPECT_EQ(out.x, 0.0f);
}

TEST(MathQuaternion, ExpMapsHalfAngleVectorsToRotations) {
  Random rng(11);
  for (int i = 0; i < kSamples; ++i) {
    const Vector3 n = rng.UnitVector();
    const float half = rng.Uniform(-3, 3);
    // w of the input is ignored.
    const Quaternion in{n.x * half, n.y * half, n.z * half, rng.Uniform(-5, 5)};
    Quaternion e;
    EXPECT_EQ(D3DXQuaternionExp(&e, &in), &e);
    EXPECT_LT(MaxDifference(e, QuaternionFromAxisAngle(n, 2 * half)), 2e-6f);
    EXPECT_NEAR(Norm(e), 1.0f, 2e-6f);
  }
  // A zero vector part: sin(0) is zero, the vector part is copied and w is cos 0.
  const Quaternion zero{0, 0, 0, 7};
  Quaternion e;
  D3DXQuaternionExp(&e, &zero);
  EXPECT_EQ(MaxDifference(e, {0, 0, 0, 1}), 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Interpolation.

TEST(MathSlerp, EndpointsAndConstantAxis) {
  Random rng(12);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion p = rng.UnitQuaternion(), q = rng.UnitQuaternion();
    const Quaternion qs = QuaternionDot(p, q) < 0 ? Quaternion{-q.x, -q.y, -q.z, -q.w} : q;
    Quaternion r;
    D3DXQuaternionSlerp(&r, &p, &q, 0);
    EXPECT_LT(MaxDifference(r, p), 2e-6f);
    D3DXQuaternionSlerp(&r, &p, &q, 1);
    EXPECT_LT(MaxDifference(r, qs), 2e-6f);  // the shorter arc ends at the nearer sign
    const float t = rng.Uniform(0, 1);
    D3DXQuaternionSlerp(&r, &p, &q, t);
    EXPECT_NEAR(Norm(r), 1.0f, 1e-5f);
  }
  // About one axis the angle interpolates linearly.
  const Vector3 n{0, 0.6f, 0.8f};
  const Quaternion a = QuaternionFromAxisAngle(n, 0.4f), b = QuaternionFromAxisAngle(n, 2.0f);
  for (float t : {0.1f, 0.25f, 0.5f, 0.9f}) {
    Quaternion r;
    D3DXQuaternionSlerp(&r, &a, &b, t);
    EXPECT_LT(MaxDifference(r, QuaternionFromAxisAngle(n, 0.4f + 1.6f * t)), 2e-6f) << t;
  }
}

TEST(MathSlerp, TakesTheShorterArc) {
  const Quaternion p{0, 0, 0, 1};
  const Quaternion q = QuaternionFromAxisAngle({0, 0, 1}, zk_math::kHalfPi);
  const Quaternion negated{-q.x, -q.y, -q.z, -q.w};
  Quaternion r1, r2;
  D3DXQuaternionSlerp(&r1, &p, &q, 0.5f);
  D3DXQuaternionSlerp(&r2, &p, &negated, 0.5f);
  EXPECT_LT(MaxDifference(r1, r2), 1e-6f);
  EXPECT_LT(MaxDifference(r1, QuaternionFromAxisAngle({0, 0, 1}, zk_math::kPi / 4)), 1e-6f);
}

TEST(MathSlerp, OppositeQuaternionReturnsTheFirst) {
  Random rng(13);
  for (int i = 0; i < 100; ++i) {
    const Quaternion q1 = rng.UnitQuaternion();
    const Quaternion q2{-q1.x, -q1.y, -q1.z, -q1.w};
    for (float t : {0.0f, 0.2f, 0.5f, 0.75f, 1.0f}) {
      Quaternion r;
      D3DXQuaternionSlerp(&r, &q1, &q2, t);
      EXPECT_LT(MaxDifference(r, q1), 1e-6f) << t;
    }
  }
  // Output may alias an input.
  Quaternion a{0, 0, 0, 1};
  const Quaternion b = QuaternionFromAxisAngle({1, 0, 0}, 1.0f);
  D3DXQuaternionSlerp(&a, &a, &b, 1.0f);
  EXPECT_LT(MaxDifference(a, b), 1e-6f);
}

TEST(MathSlerpSpin, EqualInputsReturnTheFirstExactly) {
  Random rng(14);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion p = rng.UnitQuaternion();
    const float t = rng.Uniform(0, 1);
    const Quaternion r = QuaternionSlerpSpin(p, p, static_cast<float>(i % 3), t);
    EXPECT_TRUE(r.x == p.x && r.y == p.y && r.z == p.z && r.w == p.w) << i;
  }
}

// The weights place the result on the great circle through p and q at angle (spins*pi + w)*t.
TEST(MathSlerpSpin, FollowsTheGreatCircleWithExtraTurns) {
  Random rng(15);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion p = rng.UnitQuaternion(), q = rng.UnitQuaternion();
    const float c = QuaternionDot(p, q);
    if (std::fabs(c) > 0.99f) continue;
    const float spins = static_cast<float>(i % 3);
    const float t = rng.Uniform(0, 1);
    const double omega = std::acos(double(c));
    const double phi = (spins * 3.14159265358979 + omega) * t;
    const double s = std::sin(omega);
    // u: the unit vector in the plane of p and q, perpendicular to p.
    const double ux = (q.x - c * p.x) / s, uy = (q.y - c * p.y) / s, uz = (q.z - c * p.z) / s,
                 uw = (q.w - c * p.w) / s;
    const Quaternion expected{static_cast<float>(std::cos(phi) * p.x + std::sin(phi) * ux),
                              static_cast<float>(std::cos(phi) * p.y + std::sin(phi) * uy),
                              static_cast<float>(std::cos(phi) * p.z + std::sin(phi) * uz),
                              static_cast<float>(std::cos(phi) * p.w + std::sin(phi) * uw)};
    EXPECT_LT(MaxDifference(QuaternionSlerpSpin(p, q, spins, t), expected), 1e-4f) << i;
  }
}

TEST(MathSlerpSpin, EndpointsAndNegativeDotTakesTheLongerArc) {
  const Quaternion p{0, 0, 0, 1};
  const Quaternion q = QuaternionFromAxisAngle({0, 0, 1}, zk_math::kHalfPi);
  EXPECT_LT(MaxDifference(QuaternionSlerpSpin(p, q, 0, 0), p), 1e-6f);
  EXPECT_LT(MaxDifference(QuaternionSlerpSpin(p, q, 0, 1), q), 1e-6f);
  // One spin ends at -q: the same rotation reached after an extra whole turn.
  EXPECT_LT(MaxDifference(QuaternionSlerpSpin(p, q, 1, 1), {-q.x, -q.y, -q.z, -q.w}), 1e-6f);

  // With c < 0 there is no sign correction: halfway along the 135-degree quaternion arc from
  // identity to -q is (0, 0, -sin 67.5, cos 67.5), a rotation by -135 degrees about z, where
  // the shorter arc would give +45 degrees.
  const Quaternion negated{-q.x, -q.y, -q.z, -q.w};
  const Quaternion mid = QuaternionSlerpSpin(p, negated, 0, 0.5f);
  const float h = 67.5f * zk_math::kPi / 180;
  EXPECT_LT(MaxDifference(mid, {0, 0, -std::sin(h), std::cos(h)}), 1e-6f);
  const float r = std::sqrt(0.5f);
  EXPECT_LT(MaxDifference(Transform({1, 0, 0}, FromQuaternion(mid)), {-r, -r, 0}), 1e-6f);
  Quaternion shorter;
  D3DXQuaternionSlerp(&shorter, &p, &negated, 0.5f);
  EXPECT_GT(RotationDifference(mid, shorter), 0.5f);
}

// ---------------------------------------------------------------------------------------------
// The library's own quaternion helpers.

TEST(MathOwn, FromAxisAngleKeepsTheAxisLength) {
  const Quaternion q = QuaternionFromAxisAngle({2, 0, 0}, zk_math::kPi);
  EXPECT_FLOAT_EQ(q.x, 2.0f);
  EXPECT_NEAR(q.w, 0.0f, 1e-7f);
  const Quaternion r = QuaternionFromAxisAngle({0, 1, 0}, 1.0f);
  EXPECT_FLOAT_EQ(r.y, std::sin(0.5f));
  EXPECT_FLOAT_EQ(r.w, std::cos(0.5f));
}

TEST(MathOwn, ScaledLogClosedForms) {
  EXPECT_EQ(MaxDifference(QuaternionScaledLog({0, 0, 0, 1}), {0, 0, 0, 0}), 0.0f);
  const Quaternion w0 = QuaternionScaledLog({0.2f, -0.4f, 0.8f, 0});
  EXPECT_FLOAT_EQ(w0.x, zk_math::kHalfPi * 0.2f);
  EXPECT_FLOAT_EQ(w0.y, zk_math::kHalfPi * -0.4f);
  EXPECT_FLOAT_EQ(w0.z, zk_math::kHalfPi * 0.8f);
  EXPECT_EQ(w0.w, 0.0f);

  // For a unit rotation by a about n: theta is a/2 and the vector part sin(a/2) n is scaled by
  // theta itself, giving (a/2) sin(a/2) n.
  Random rng(16);
  for (int i = 0; i < kSamples; ++i) {
    const Vector3 n = rng.UnitVector();
    const float a = rng.Uniform(0.01f, 3.1f);
    const Quaternion l = QuaternionScaledLog(QuaternionFromAxisAngle(n, a));
    const float k = 0.5f * a * std::sin(0.5f * a);
    EXPECT_LT(MaxDifference(l, {n.x * k, n.y * k, n.z * k, 0}), 2e-6f) << a;
  }
  // A negative w gives a negative theta: for a = 3pi/2, theta = 3pi/4 - pi = -pi/4.
  const float a = 1.5f * zk_math::kPi;
  const Quaternion l = QuaternionScaledLog(QuaternionFromAxisAngle({1, 0, 0}, a));
  EXPECT_NEAR(l.x, -zk_math::kPi / 4 * std::sin(a / 2), 1e-6f);
}

TEST(MathOwn, ConjugateNormalized) {
  const Quaternion c = QuaternionConjugateNormalized({0, 3, 0, 4});
  EXPECT_LT(MaxDifference(c, {0, -0.6f, 0, 0.8f}), 1e-7f);
  const Quaternion tiny = QuaternionConjugateNormalized({1e-20f, 0, 0, 0});
  EXPECT_EQ(MaxDifference(tiny, {0, 0, 0, 0}), 0.0f);
  // For unit q the conjugate is the inverse.
  Random rng(17);
  for (int i = 0; i < 100; ++i) {
    const Quaternion q = rng.UnitQuaternion();
    EXPECT_LT(MaxDifference(QMul(q, QuaternionConjugateNormalized(q)), {0, 0, 0, 1}), 2e-6f);
  }
}

TEST(MathOwn, RelativeScaledLogOfAKnownRelativeRotation) {
  Random rng(18);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion a = rng.UnitQuaternion();
    const Vector3 n = rng.UnitVector();
    const float angle = rng.Uniform(0.01f, 3.1f);
    // b = a followed by the relative rotation, so a^-1 then b leaves exactly that rotation.
    const Quaternion b = QMul(a, QuaternionFromAxisAngle(n, angle));
    const Quaternion l = QuaternionRelativeScaledLog(a, b);
    const float k = 0.5f * angle * std::sin(0.5f * angle);
    EXPECT_LT(MaxDifference(l, {n.x * k, n.y * k, n.z * k, 0}), 2e-5f) << i;
    EXPECT_LT(MaxDifference(QuaternionRelativeScaledLog(a, a), {0, 0, 0, 0}), 1e-6f);
  }
  // a . b = 0: theta is pi/2.
  const Quaternion l = QuaternionRelativeScaledLog({0, 0, 0, 1}, {1, 0, 0, 0});
  EXPECT_FLOAT_EQ(l.x, zk_math::kHalfPi);
  EXPECT_EQ(l.w, 0.0f);
}

}  // namespace
