#include "controllers/AnimationController.h"

#include <cmath>
#include <ostream>
#include <utility>

#include "foundation/Logger.h"

Matrix* ComposeScaleRotationTranslation(Matrix* out, const Vector3& position,
                                        const Quaternion& rotation, float sx, float sy, float sz) {
  // S·R scales the rows of R; multiplying by T then only sets the fourth row. Written out, the
  // result equals the three matrix products exactly.
  Matrix r;
  D3DXMatrixRotationQuaternion(&r, &rotation);
  const float scale[3] = {sx, sy, sz};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) out->m[row * 4 + col] = scale[row] * r.m[row * 4 + col];
    out->m[row * 4 + 3] = 0.0f;
  }
  out->m[12] = position.x;
  out->m[13] = position.y;
  out->m[14] = position.z;
  out->m[15] = 1.0f;
  return out;
}

Vector3* CZK_AnimationControllerPositionVector::Evaluate(Vector3* out, float time) const {
  const CZK_AnimTrackPosition* track = m_track.Get();
  if (track == nullptr) {
    *out = {0.0f, 0.0f, 0.0f};
    return out;
  }
  return track->Evaluate(out, time);
}

Vector3* CZK_AnimationControllerPositionXYZ::Evaluate(Vector3* out, float time) const {
  // z, y, x: the order the axes are sampled in.
  const float z = m_axes.Sample(2, time);
  const float y = m_axes.Sample(1, time);
  const float x = m_axes.Sample(0, time);
  *out = {x, y, z};
  return out;
}

Quaternion* CZK_AnimationControllerRotationQuaternion::Evaluate(Quaternion* out, float time,
                                                                const Vector3*) const {
  const CZK_AnimTrackRotation* track = m_track.Get();
  if (track == nullptr) {
    *out = {0.0f, 0.0f, 0.0f, 1.0f};
    return out;
  }
  return track->Evaluate(out, time);
}

Quaternion* CZK_AnimationControllerEulerXYZ::Evaluate(Quaternion* out, float time,
                                                      const Vector3*) const {
  return FromAngles(out, m_axes.Sample(0, time), m_axes.Sample(1, time), m_axes.Sample(2, time));
}

namespace {

// a·b over the upper 3×3 blocks of two rotation matrices (whose fourth row and column are
// 0 0 0 1), into out's block, which is all D3DXQuaternionRotationMatrix reads. Each element is
// D3DXMatrixMultiply's sum in the same order; its fourth term is 0·0, so "+ 0.0f" stands for it and
// the bits are the full product's, at less than half the operations.
void MultiplyRotations(const float (&a)[3][3], const float (&b)[3][3], float (&out)[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + 0.0f;
}

}  // namespace

Quaternion* CZK_AnimationControllerEulerXYZ::FromAngles(Quaternion* out, float x, float y,
                                                        float z) {
  // The blocks of D3DXMatrixRotationX, Y and Z, then X·Y·Z.
  float sx, cx, sy, cy, sz, cz;
  zk_math::SinCos(x, &sx, &cx);
  zk_math::SinCos(y, &sy, &cy);
  zk_math::SinCos(z, &sz, &cz);
  const float rx[3][3] = {{1, 0, 0}, {0, cx, sx}, {0, -sx, cx}};
  const float ry[3][3] = {{cy, 0, -sy}, {0, 1, 0}, {sy, 0, cy}};
  const float rz[3][3] = {{cz, sz, 0}, {-sz, cz, 0}, {0, 0, 1}};
  float xy[3][3], xyz[3][3];
  MultiplyRotations(rx, ry, xy);
  MultiplyRotations(xy, rz, xyz);
  Matrix m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m.m[4 * i + j] = xyz[i][j];
    m.m[4 * i + 3] = 0;
  }
  m.m[12] = m.m[13] = m.m[14] = 0;
  m.m[15] = 1;
  return D3DXQuaternionRotationMatrix(out, &m);
}

Vector3 CZK_AnimationControllerScale::GetFactors(float time) const {
  const CZK_AnimTrackScale* track = m_track.Get();
  ScaleValue s = kIdentityScaleValue;
  if (track != nullptr) track->Evaluate(&s, time);
  return {s.x, s.y, s.z};
}

Matrix* CZK_AnimationControllerScale::GetMatrix(Matrix* out, float time) const {
  const Vector3 s = GetFactors(time);
  return D3DXMatrixScaling(out, s.x, s.y, s.z);
}

Matrix* CZK_AnimationControllerPRS::Evaluate(Matrix* out, float time, const Matrix* parent) const {
  return ComposeLocal(out, time, parent);
}

Matrix* CZK_AnimationControllerPRS::ComposeLocal(Matrix* out, float time,
                                                 const Matrix* parent) const {
  Vector3 p = {0.0f, 0.0f, 0.0f};
  if (m_position != nullptr) m_position->Evaluate(&p, time);

  // The node's position in its parent's frame, moved by the parent's translation only.
  Vector3 world = p;
  if (parent != nullptr) world = p + MatrixGetTranslation(*parent);

  Quaternion q = {0.0f, 0.0f, 0.0f, 1.0f};
  if (m_rotation != nullptr) m_rotation->Evaluate(&q, time, &world);

  const Vector3 s = m_scale != nullptr ? m_scale->GetFactors(time) : Vector3{1.0f, 1.0f, 1.0f};
  return ComposeScaleRotationTranslation(out, p, q, s.x, s.y, s.z);
}

// ---- Sampled controller --------------------------------------------------------------------

namespace {
// Process-wide, unsynchronised like the rest of the library's state.
uint32_t g_sampledLiveCount = 0;
uint32_t g_sampledByteTotal = 0;
}  // namespace

CZK_AnimationControllerPRSSampled::CZK_AnimationControllerPRSSampled(std::string name)
    : CZK_AnimationControllerPRS(std::move(name)) {
  if (g_sampledLiveCount == 0) g_sampledByteTotal = 0;
  ++g_sampledLiveCount;
}

CZK_AnimationControllerPRSSampled::~CZK_AnimationControllerPRSSampled() {
  g_sampledByteTotal += kBytesPerSample * m_sampleCount;
  --g_sampledLiveCount;
  if (g_sampledLiveCount == 0) {
    NRQLib2::NLogger::GetLogger().SelectLevel(2)
        << "memory used by CZK_AnimationControllerPRSSampled: " << g_sampledByteTotal / 1024
        << " kb." << std::endl;
  }
}

uint32_t CZK_AnimationControllerPRSSampled::GetLiveCount() { return g_sampledLiveCount; }
uint32_t CZK_AnimationControllerPRSSampled::GetByteTotal() { return g_sampledByteTotal; }

void CZK_AnimationControllerPRSSampled::SetSamples(uint32_t count, std::unique_ptr<float[]> samples,
                                                   std::unique_ptr<float[]> times) {
  // Without both arrays there is nothing to read: the controller keeps no samples.
  if (samples == nullptr || times == nullptr) count = 0;
  m_sampleCount = count;
  m_samples = std::move(samples);
  m_sampleTimes = std::move(times);
}

namespace {
// Expands sample k (four rows of three floats) to a 4×4 matrix with the fourth column 0, 0, 0, 1.
void ExpandSample(Matrix* out, const float* samples, uint32_t k) {
  const float* s =
      samples + static_cast<size_t>(k) * CZK_AnimationControllerPRSSampled::kFloatsPerSample;
  for (int row = 0; row < 4; ++row) {
    out->m[row * 4 + 0] = s[row * 3 + 0];
    out->m[row * 4 + 1] = s[row * 3 + 1];
    out->m[row * 4 + 2] = s[row * 3 + 2];
    out->m[row * 4 + 3] = row == 3 ? 1.0f : 0.0f;
  }
}
}  // namespace

Matrix* CZK_AnimationControllerPRSSampled::Evaluate(Matrix* out, float time, const Matrix*) const {
  const uint32_t n = m_sampleCount;
  if (n == 0) return D3DXMatrixIdentity(out);
  const float* times = m_sampleTimes.get();
  const float* samples = m_samples.get();
  if (n == 1 || time <= times[0]) {
    ExpandSample(out, samples, 0);
    return out;
  }
  if (time > times[n - 1]) {
    ExpandSample(out, samples, n - 1);
    return out;
  }
  uint32_t i = 1;
  while (i < n && !(times[i] > time)) ++i;
  if (i == n) {
    ExpandSample(out, samples, n - 1);
    return out;
  }
  const float t0 = times[i - 1];
  const float t1 = times[i];
  const float f = std::fabs(t0 - t1) > 0.0001f ? (time - t0) / (t1 - t0) : 0.0f;
  Matrix a, b;
  ExpandSample(&a, samples, i - 1);
  ExpandSample(&b, samples, i);
  for (int k = 0; k < 16; ++k) out->m[k] = (1.0f - f) * a.m[k] + f * b.m[k];
  return out;
}

// ---- PRS-LOD -------------------------------------------------------------------------------

Matrix* CZK_AnimationControllerPRSLOD::Evaluate(Matrix* out, float time) const {
  Vector3 p = {0.0f, 0.0f, 0.0f};
  Quaternion q = {0.0f, 0.0f, 0.0f, 1.0f};
  ScaleValue s = kIdentityScaleValue;
  if (const CZK_AnimTrackPosition* track = m_position.Get()) track->Evaluate(&p, time);
  if (const CZK_AnimTrackRotation* track = m_rotation.Get()) track->Evaluate(&q, time);
  if (const CZK_AnimTrackScale* track = m_scale.Get()) track->Evaluate(&s, time);
  return ComposeScaleRotationTranslation(out, p, q, s.x, s.y, s.z);
}
