#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "support/Near.h"

namespace {

constexpr int kSamples = 500;

class Random {
 public:
  explicit Random(unsigned seed) : m_engine(seed) {}
  float Uniform(float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(m_engine);
  }
  Quaternion UnitQuaternion() {
    const Quaternion q{Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), Uniform(0.1f, 1)};
    const float n = std::sqrt(QuaternionDot(q, q));
    return {q.x / n, q.y / n, q.z / n, q.w / n};
  }
  Matrix AnyMatrix() {
    Matrix m;
    for (float& e : m.m) e = Uniform(-2, 2);
    return m;
  }

 private:
  std::mt19937 m_engine;
};

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

// ---------------------------------------------------------------------------------------------
// Matrices.

// Both products apply their first factor first. Every element and term is checked by the inverse
// tests below.
TEST(MathProduct, TheFirstFactorActsFirst) {
  Matrix t, r;
  D3DXMatrixTranslation(&t, 1, 0, 0);
  D3DXMatrixRotationZ(&r, zk_math::kHalfPi);
  // Translate, then rotate: the origin goes to (1,0,0), then to (0,1,0); the other order: (1,0,0).
  EXPECT_TRUE(Near(TransformPoint({0, 0, 0}, Mul(t, r)), {0, 1, 0}, 1e-6f));
  EXPECT_TRUE(Near(TransformPoint({0, 0, 0}, Mul(r, t)), {1, 0, 0}, 1e-6f));
  const Quaternion a = QuaternionFromAxisAngle({0, 0, 1}, zk_math::kHalfPi);
  const Quaternion b = QuaternionFromAxisAngle({1, 0, 0}, zk_math::kHalfPi);
  // (1,0,0) -> a -> (0,1,0) -> b -> (0,0,1); the other order: -> b -> (1,0,0) -> a -> (0,1,0).
  EXPECT_TRUE(Near(TransformPoint({1, 0, 0}, FromQuaternion(QMul(a, b))), {0, 0, 1}, 1e-6f));
  EXPECT_TRUE(Near(TransformPoint({1, 0, 0}, FromQuaternion(QMul(b, a))), {0, 1, 0}, 1e-6f));
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
    EXPECT_TRUE(Near(Mul(inv, m), g_IdentityMatrix, tol)) << i;
    EXPECT_TRUE(Near(Mul(m, inv), g_IdentityMatrix, tol)) << i;
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
  EXPECT_TRUE(Near(out, before, 0.0f));
  // The determinant output may be null, and output may alias the input.
  Matrix a;
  D3DXMatrixScaling(&a, 2, 4, 8);
  EXPECT_EQ(D3DXMatrixInverse(&a, nullptr, &a), &a);
  EXPECT_FLOAT_EQ(a.m[0], 0.5f);
  EXPECT_FLOAT_EQ(a.m[5], 0.25f);
  EXPECT_FLOAT_EQ(a.m[10], 0.125f);
}

// ---------------------------------------------------------------------------------------------
// Quaternions and matrices.

TEST(MathQuaternion, InverseAndItsThreshold) {
  Random rng(10);
  const Quaternion identity{0, 0, 0, 1};
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion u = rng.UnitQuaternion();
    const float k = rng.Uniform(0.1f, 10);
    const Quaternion q{u.x * k, u.y * k, u.z * k, u.w * k};
    Quaternion inv;
    EXPECT_EQ(D3DXQuaternionInverse(&inv, &q), &inv);
    EXPECT_TRUE(Near(QMul(q, inv), identity, 1e-5f));
    EXPECT_TRUE(Near(QMul(inv, q), identity, 1e-5f));
  }
  Quaternion out{9, 9, 9, 9};
  const Quaternion below{3e-10f, 0, 0, 0};  // squared 9e-20, under 1.08420217e-19
  D3DXQuaternionInverse(&out, &below);
  EXPECT_TRUE(Near(out, {0, 0, 0, 0}, 0.0f));
  const Quaternion above{0, 4e-10f, 0, 0};  // squared 1.6e-19
  D3DXQuaternionInverse(&out, &above);
  EXPECT_FLOAT_EQ(out.y, -1.0f / 4e-10f);
  EXPECT_EQ(out.x, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Interpolation.

TEST(MathSlerpSpin, EqualInputsReturnTheFirstExactly) {
  Random rng(14);
  for (int i = 0; i < kSamples; ++i) {
    const Quaternion p = rng.UnitQuaternion();
    const float t = rng.Uniform(0, 1);
    const Quaternion r = QuaternionSlerpSpin(p, p, static_cast<float>(i % 3), t);
    EXPECT_TRUE(r.x == p.x && r.y == p.y && r.z == p.z && r.w == p.w) << i;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Sine and cosine.

// Against the double routines rounded once (nearly always the correctly rounded value): every
// quadrant, either sign, near the multiples of pi/2 where the reduction matters, and the values
// that take the fallback. A wrong quadrant, sign or reduction constant is off by far more than the
// one last bit allowed here, and that only now and then.
TEST(MathSineCosine, AgreeWithTheDoubleRoutinesRoundedOnce) {
  Random random(7);
  std::vector<float> angles = {0.0f,         -0.0f,         1e-30f,    -1e-8f,    zk_math::kHalfPi,
                               zk_math::kPi, -zk_math::kPi, 4.712389f, 131071.9f, -131072.0f,
                               131073.0f,    3e9f,          -1e30f};
  for (int k = -40; k <= 40; ++k) {
    const float base = static_cast<float>(k * 1.5707963267948966);
    angles.push_back(base);
    angles.push_back(std::nextafter(base, 1e9f));
    angles.push_back(std::nextafter(base, -1e9f));
  }
  for (int i = 0; i < 200000; ++i) angles.push_back(random.Uniform(-2000, 2000));
  int lastBitOff = 0;
  for (float a : angles) {
    float s, c;
    zk_math::SinCos(a, &s, &c);
    const float ts = static_cast<float>(std::sin(static_cast<double>(a)));
    const float tc = static_cast<float>(std::cos(static_cast<double>(a)));
    for (const auto& [got, want] : {std::pair{s, ts}, std::pair{c, tc}}) {
      ASSERT_LE(std::fabs(got - want), std::fabs(std::nextafter(want, 2.0f) - want)) << "at " << a;
      lastBitOff += got != want;
    }
    ASSERT_EQ(std::signbit(s), std::signbit(ts)) << "at " << a;
    EXPECT_EQ(zk_math::Sine(a), s);
    EXPECT_EQ(zk_math::Cosine(a), c);
  }
  EXPECT_LT(lastBitOff, 20) << "of " << 2 * angles.size();
  for (float a : {NAN, INFINITY, -INFINITY}) {
    float s, c;
    zk_math::SinCos(a, &s, &c);
    EXPECT_TRUE(std::isnan(s) && std::isnan(c)) << a;
  }
}
