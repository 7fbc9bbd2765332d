#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "ControllerTestSupport.h"
#include "controllers/AnimationController.h"
#include "platform/DebugOutput.h"

using namespace zk_test;

namespace {

constexpr Vector3 kAxisX = {1, 0, 0};
constexpr Vector3 kAxisY = {0, 1, 0};
constexpr Vector3 kAxisZ = {0, 0, 1};

// A PRS controller with its three sub-controllers, owned together for the test.
struct PRSRig {
  CZK_AnimationControllerPositionVector position{"n::pos"};
  CZK_AnimationControllerRotationQuaternion rotation{"n::rot"};
  CZK_AnimationControllerScale scale{"n::scale"};
  CZK_AnimationControllerPRS prs{"n"};

  PRSRig(Vector3 p, Vector3 axis, float angle, float s) {
    position.SetTrack(new LinePositionTrack(p));
    rotation.SetTrack(new AxisRotationTrack(axis, angle));
    scale.SetTrack(new ConstantScaleTrack({s, s, s, {0, 0, 0, 1}}));
    prs.SetPosition(&position);
    prs.SetRotation(&rotation);
    prs.SetScale(&scale);
  }
};

// Records the world position it is handed.
class ProbeRotation : public CZK_AnimationControllerRotationBase {
 public:
  ProbeRotation() : CZK_AnimationControllerRotationBase("probe") {}
  Quaternion* Evaluate(Quaternion* out, float, const Vector3* world) const override {
    seen = world != nullptr ? *world : Vector3{-99, -99, -99};
    *out = {0, 0, 0, 1};
    return out;
  }
  mutable Vector3 seen = {0, 0, 0};
};

}  // namespace

TEST(Controllers, TrackReferencesAreTakenAndReleasedOnce) {
  DestroyedTracks() = 0;
  auto* track = new LineFloatTrack(2, 0);
  {
    CZK_AnimationControllerFloat a("a");
    {
      CZK_AnimationControllerFloat b("b");
      a.SetTrack(track);
      b.SetTrack(track);
      EXPECT_EQ(track->GetRefCount(), 2u);
      EXPECT_FLOAT_EQ(b.GetValue(1.5f), 3.0f);
    }
    EXPECT_EQ(DestroyedTracks(), 0);
    EXPECT_EQ(track->GetRefCount(), 1u);
    // Replacing the track lets go of the old one, which dies with its last reference.
    a.SetTrack(new LineFloatTrack(1, 0));
    EXPECT_EQ(DestroyedTracks(), 1);
    // Setting the same track again keeps it alive.
    a.SetTrack(a.GetTrack());
    EXPECT_EQ(a.GetTrack()->GetRefCount(), 1u);
    EXPECT_EQ(DestroyedTracks(), 1);
  }
  EXPECT_EQ(DestroyedTracks(), 2);

  // The PRS-LOD controller holds three references of its own.
  DestroyedTracks() = 0;
  {
    auto* p = new LinePositionTrack({1, 2, 3});
    CZK_AnimationControllerPositionVector shared("shared");
    shared.SetTrack(p);
    {
      CZK_AnimationControllerPRSLOD lod("lod");
      lod.SetPositionTrack(p);
      lod.SetRotationTrack(new AxisRotationTrack(kAxisZ, 0.5f));
      lod.SetScaleTrack(new ConstantScaleTrack(kIdentityScaleValue));
      EXPECT_EQ(p->GetRefCount(), 2u);
    }
    EXPECT_EQ(DestroyedTracks(), 2);
  }
  EXPECT_EQ(DestroyedTracks(), 3);
}

TEST(Controllers, LeavesWithoutTracksGiveNeutralValues) {
  EXPECT_EQ(CZK_AnimationControllerFloat("f").GetValue(3), 0.0f);
  Vector3 v = {5, 5, 5};
  CZK_AnimationControllerPositionVector("p").Evaluate(&v, 1);
  EXPECT_TRUE(VectorNear(v, {0, 0, 0}, 0));
  Quaternion q = {1, 1, 1, 1};
  CZK_AnimationControllerRotationQuaternion("r").Evaluate(&q, 1, nullptr);
  EXPECT_TRUE(QuaternionNear(q, {0, 0, 0, 1}, 0));
  Matrix m;
  CZK_AnimationControllerScale("s").GetMatrix(&m, 1);
  EXPECT_TRUE(MatrixNear(m, g_IdentityMatrix, 0));
}

TEST(Controllers, PositionXYZSamplesZThenYThenX) {
  std::string order;
  CZK_AnimationControllerFloat x("x"), y("y"), z("z");
  x.SetTrack(new LineFloatTrack(1, 0, &order, 'x'));
  y.SetTrack(new LineFloatTrack(2, 0, &order, 'y'));
  z.SetTrack(new LineFloatTrack(3, 1, &order, 'z'));
  CZK_AnimationControllerPositionXYZ xyz("p");
  xyz.SetAxis(0, &x);
  xyz.SetAxis(1, &y);
  xyz.SetAxis(2, &z);
  Vector3 v;
  EXPECT_EQ(xyz.Evaluate(&v, 2.0f), &v);
  EXPECT_TRUE(VectorNear(v, {2, 4, 7}, 0));
  EXPECT_EQ(order, "zyx");

  // An empty axis reads 0, the others still count.
  xyz.SetAxis(1, nullptr);
  xyz.Evaluate(&v, 1.0f);
  EXPECT_TRUE(VectorNear(v, {1, 0, 4}, 0));
}

TEST(Controllers, EulerAboutZAloneIsHalfAngleQuaternion) {
  CZK_AnimationControllerFloat zero("0"), zAngle("z");
  zero.SetTrack(new LineFloatTrack(0, 0));
  zAngle.SetTrack(new LineFloatTrack(0.25f, 0.1f));
  CZK_AnimationControllerEulerXYZ euler("e");
  euler.SetAxis(0, &zero);
  euler.SetAxis(1, &zero);
  euler.SetAxis(2, &zAngle);
  for (float t : {0.0f, 1.0f, 4.0f, 9.0f}) {
    const float a = 0.25f * t + 0.1f;
    Quaternion q;
    euler.Evaluate(&q, t, nullptr);
    // The quaternion and its negation are the same rotation.
    const float sign = q.w < 0 ? -1.0f : 1.0f;
    EXPECT_TRUE(QuaternionNear({sign * q.x, sign * q.y, sign * q.z, sign * q.w},
                               {0, 0, std::sin(a / 2), std::cos(a / 2)}, 1e-5f))
        << "t = " << t;
  }
}

TEST(Controllers, EulerAppliesXThenYThenZ) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
  CZK_AnimationControllerFloat ax("x"), ay("y"), az("z");
  CZK_AnimationControllerEulerXYZ euler("e");
  euler.SetAxis(0, &ax);
  euler.SetAxis(1, &ay);
  euler.SetAxis(2, &az);
  for (int i = 0; i < 200; ++i) {
    const float a = angle(rng), b = angle(rng), c = angle(rng);
    ax.SetTrack(new LineFloatTrack(0, a));
    ay.SetTrack(new LineFloatTrack(0, b));
    az.SetTrack(new LineFloatTrack(0, c));
    Quaternion q;
    euler.Evaluate(&q, 0, nullptr);
    Matrix m;
    D3DXMatrixRotationQuaternion(&m, &q);
    // Rotate a point about X, then Y, then Z by the axis quaternions, one after another.
    const Vector3 p = {0.3f, -1.2f, 0.7f};
    Matrix rx, ry, rz;
    const Quaternion qx = QuaternionFromAxisAngle(kAxisX, a),
                     qy = QuaternionFromAxisAngle(kAxisY, b),
                     qz = QuaternionFromAxisAngle(kAxisZ, c);
    D3DXMatrixRotationQuaternion(&rx, &qx);
    D3DXMatrixRotationQuaternion(&ry, &qy);
    D3DXMatrixRotationQuaternion(&rz, &qz);
    const Vector3 expected = TransformPoint(TransformPoint(TransformPoint(p, rx), ry), rz);
    EXPECT_TRUE(VectorNear(TransformPoint(p, m), expected, 1e-4f)) << a << " " << b << " " << c;
  }
}

TEST(Controllers, ScaleIgnoresAxisOrientation) {
  CZK_AnimationControllerScale scale("s");
  scale.SetTrack(new ConstantScaleTrack({2, 3, 4, {0, 0.7071068f, 0, 0.7071068f}}));
  Matrix m;
  scale.GetMatrix(&m, 0);
  Matrix expected;
  D3DXMatrixScaling(&expected, 2, 3, 4);
  EXPECT_TRUE(MatrixNear(m, expected, 0));
}

TEST(Controllers, PRSComposesScaleThenRotationThenTranslation) {
  // 2× scale, 90° about Z, at (1, 0, 0): (1, 0, 0) → (2, 0, 0) → (0, 2, 0) → (1, 2, 0).
  PRSRig rig({1, 0, 0}, kAxisZ, zk_math::kHalfPi, 2);
  Matrix m;
  EXPECT_EQ(rig.prs.Evaluate(&m, 0, &g_IdentityMatrix), &m);
  EXPECT_TRUE(VectorNear(TransformPoint({1, 0, 0}, m), {1, 2, 0}, 1e-5f));
  EXPECT_TRUE(VectorNear(TransformPoint({0, 0, 0}, m), {1, 0, 0}, 1e-6f));
  EXPECT_TRUE(VectorNear(TransformPoint({0, 1, 0}, m), {-1, 0, 0}, 1e-5f));

  // Identity values give the identity matrix.
  PRSRig identity({0, 0, 0}, kAxisX, 0, 1);
  identity.prs.Evaluate(&m, 3, nullptr);
  EXPECT_TRUE(MatrixNear(m, g_IdentityMatrix, 0));
}

TEST(Controllers, PRSPassesPositionPlusParentTranslationToRotation) {
  CZK_AnimationControllerPositionVector position("p");
  position.SetTrack(new LinePositionTrack({1, 2, 3}, {1, 0, 0}));
  ProbeRotation probe;
  CZK_AnimationControllerPRS prs("n");
  prs.SetPosition(&position);
  prs.SetRotation(&probe);
  // The parent's rotation and scale do not enter: only its translation row.
  Matrix parent;
  const Quaternion turn = QuaternionFromAxisAngle(kAxisY, 1.0f);
  D3DXMatrixRotationQuaternion(&parent, &turn);
  parent.m[0] *= 3;
  parent.m[12] = 10;
  parent.m[13] = 20;
  parent.m[14] = 30;
  Matrix m;
  prs.Evaluate(&m, 2.0f, &parent);
  EXPECT_TRUE(VectorNear(probe.seen, {13, 22, 33}, 0));
  // The parent is not multiplied in by the controller itself.
  EXPECT_TRUE(VectorNear(Row(m, 3), {3, 2, 3}, 0));
  // A null parent counts as the identity.
  prs.Evaluate(&m, 0.0f, nullptr);
  EXPECT_TRUE(VectorNear(probe.seen, {1, 2, 3}, 0));
}

TEST(Controllers, PRSWithEmptySlotsUsesNeutralParts) {
  CZK_AnimationControllerPRS prs("n");
  Matrix m;
  prs.Evaluate(&m, 1, nullptr);
  EXPECT_TRUE(MatrixNear(m, g_IdentityMatrix, 0));

  CZK_AnimationControllerRotationQuaternion rotation("r");
  rotation.SetTrack(new AxisRotationTrack(kAxisX, 0.4f));
  prs.SetRotation(&rotation);
  prs.Evaluate(&m, 1, nullptr);
  Matrix expected;
  const Quaternion q = QuaternionFromAxisAngle(kAxisX, 0.4f);
  D3DXMatrixRotationQuaternion(&expected, &q);
  EXPECT_TRUE(MatrixNear(m, expected, 1e-6f));
}

TEST(Controllers, PRSLODMatchesPRSFormula) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-2.0f, 2.0f);
  for (int i = 0; i < 50; ++i) {
    const Vector3 p = {u(rng), u(rng), u(rng)};
    const float angle = u(rng), s = 0.5f + std::fabs(u(rng));
    const Vector3 axis = {0.48f, 0.6f, 0.64f};
    CZK_AnimationControllerPRSLOD lod("lod");
    lod.SetPositionTrack(new LinePositionTrack(p));
    lod.SetRotationTrack(new AxisRotationTrack(axis, angle));
    lod.SetScaleTrack(new ConstantScaleTrack({s, 2 * s, 3 * s, {0, 0, 0, 1}}));
    Matrix m;
    lod.Evaluate(&m, 0.0f);

    Matrix S, R, T;
    const Quaternion q = QuaternionFromAxisAngle(axis, angle);
    D3DXMatrixScaling(&S, s, 2 * s, 3 * s);
    D3DXMatrixRotationQuaternion(&R, &q);
    D3DXMatrixTranslation(&T, p.x, p.y, p.z);
    EXPECT_TRUE(MatrixNear(m, Multiply(Multiply(S, R), T), 1e-5f));
  }
}

// ---- Sampled controller -----------------------------------------------------------------------

namespace {

// Sample k is the 3×4 part of a matrix whose elements are base + k-th row/column code.
std::unique_ptr<float[]> MakeSamples(int count, float base) {
  auto samples = std::make_unique<float[]>(static_cast<size_t>(count) * 12);
  for (int k = 0; k < count; ++k)
    for (int e = 0; e < 12; ++e)
      samples[k * 12 + e] = base * static_cast<float>(k + 1) + static_cast<float>(e);
  return samples;
}

std::unique_ptr<float[]> MakeTimes(std::initializer_list<float> times) {
  auto out = std::make_unique<float[]>(times.size());
  int i = 0;
  for (float t : times) out[i++] = t;
  return out;
}

Matrix Expand(const float* s) {
  Matrix m = {
      {s[0], s[1], s[2], 0, s[3], s[4], s[5], 0, s[6], s[7], s[8], 0, s[9], s[10], s[11], 1}};
  return m;
}

std::string g_debugText;
void CaptureDebug(const char* text) { g_debugText += text; }

}  // namespace

TEST(SampledController, BlendsElementByElementAndHoldsTheEnds) {
  CZK_AnimationControllerPRSSampled sampled("s");
  auto samples = MakeSamples(2, 100);
  const Matrix a = Expand(&samples[0]), b = Expand(&samples[12]);
  sampled.SetSamples(2, std::move(samples), MakeTimes({0, 1}));

  Matrix m;
  sampled.Evaluate(&m, 0.5f, nullptr);
  for (int k = 0; k < 16; ++k) EXPECT_FLOAT_EQ(m.m[k], 0.5f * (a.m[k] + b.m[k])) << k;
  sampled.Evaluate(&m, 0.25f, nullptr);
  for (int k = 0; k < 16; ++k) EXPECT_FLOAT_EQ(m.m[k], 0.75f * a.m[k] + 0.25f * b.m[k]) << k;
  for (float t : {1.0f, 1.5f, 100.0f}) {
    sampled.Evaluate(&m, t, nullptr);
    EXPECT_TRUE(MatrixNear(m, b, 0)) << t;
  }
  for (float t : {0.0f, -3.0f}) {
    sampled.Evaluate(&m, t, nullptr);
    EXPECT_TRUE(MatrixNear(m, a, 0)) << t;
  }
}

TEST(SampledController, PicksTheRightSegmentAmongMany) {
  // Eleven samples at irregular times; the blend must use the segment that holds t.
  const int n = 11;
  CZK_AnimationControllerPRSSampled sampled("s");
  auto samples = MakeSamples(n, 10);
  std::vector<Matrix> expanded;
  for (int k = 0; k < n; ++k) expanded.push_back(Expand(&samples[k * 12]));
  auto times = std::make_unique<float[]>(n);
  for (int k = 0; k < n; ++k) times[k] = static_cast<float>(k * k) * 0.1f;
  std::vector<float> timeCopy(times.get(), times.get() + n);
  sampled.SetSamples(n, std::move(samples), std::move(times));
  for (int k = 1; k < n; ++k) {
    const float t0 = timeCopy[k - 1], t1 = timeCopy[k];
    const float t = t0 + 0.3f * (t1 - t0);
    const float f = (t - t0) / (t1 - t0);
    Matrix m;
    sampled.Evaluate(&m, t, nullptr);
    EXPECT_NEAR(m.m[0], (1 - f) * expanded[k - 1].m[0] + f * expanded[k].m[0], 1e-3f) << k;
    // Exactly on a sample time: that sample.
    sampled.Evaluate(&m, t1, nullptr);
    EXPECT_TRUE(MatrixNear(m, expanded[k], 1e-4f)) << k;
  }
}

TEST(SampledController, CloseTimesOneSampleAndNoSamples) {
  CZK_AnimationControllerPRSSampled close("c");
  auto samples = MakeSamples(3, 50);
  const Matrix first = Expand(&samples[0]), second = Expand(&samples[12]);
  close.SetSamples(3, std::move(samples), MakeTimes({0, 0.00005f, 1}));
  Matrix m;
  // Inside a segment shorter than 0.0001 the blend weight is 0: the earlier sample.
  close.Evaluate(&m, 0.00002f, nullptr);
  EXPECT_TRUE(MatrixNear(m, first, 0));
  close.Evaluate(&m, 0.5f, nullptr);
  EXPECT_GT(m.m[0], second.m[0]);

  CZK_AnimationControllerPRSSampled one("o");
  auto single = MakeSamples(1, 7);
  const Matrix only = Expand(&single[0]);
  one.SetSamples(1, std::move(single), MakeTimes({5}));
  for (float t : {-1.0f, 5.0f, 9.0f}) {
    one.Evaluate(&m, t, nullptr);
    EXPECT_TRUE(MatrixNear(m, only, 0));
  }

  CZK_AnimationControllerPRSSampled none("n");
  none.Evaluate(&m, 1, nullptr);
  EXPECT_TRUE(MatrixNear(m, g_IdentityMatrix, 0));
}

TEST(SampledController, MemoryReportCountsLiveControllersAndBytes) {
  ASSERT_EQ(CZK_AnimationControllerPRSSampled::GetLiveCount(), 0u);
  g_debugText.clear();
  const auto previous = zk_platform::SetDebugSink(&CaptureDebug);
  {
    auto first = std::make_unique<CZK_AnimationControllerPRSSampled>("a");
    auto second = std::make_unique<CZK_AnimationControllerPRSSampled>("b");
    EXPECT_EQ(CZK_AnimationControllerPRSSampled::GetLiveCount(), 2u);
    EXPECT_EQ(CZK_AnimationControllerPRSSampled::GetByteTotal(), 0u);
    first->SetSamples(100, MakeSamples(100, 1), std::make_unique<float[]>(100));
    second->SetSamples(200, MakeSamples(200, 1), std::make_unique<float[]>(200));
    first.reset();
    EXPECT_EQ(CZK_AnimationControllerPRSSampled::GetByteTotal(), 6800u);
    EXPECT_EQ(g_debugText.find("memory used"), std::string::npos);
    second.reset();
  }
  EXPECT_EQ(CZK_AnimationControllerPRSSampled::GetLiveCount(), 0u);
  EXPECT_EQ(CZK_AnimationControllerPRSSampled::GetByteTotal(), 20400u);
  // 20400 / 1024 = 19 (whole kilobytes), logged once when the last one goes.
  EXPECT_EQ(g_debugText, "memory used by CZK_AnimationControllerPRSSampled: 19 kb.\n");

  // The next controller made while none is alive restarts the total.
  g_debugText.clear();
  {
    CZK_AnimationControllerPRSSampled again("c");
    EXPECT_EQ(CZK_AnimationControllerPRSSampled::GetByteTotal(), 0u);
  }
  EXPECT_EQ(g_debugText, "memory used by CZK_AnimationControllerPRSSampled: 0 kb.\n");
  zk_platform::SetDebugSink(previous);
}
