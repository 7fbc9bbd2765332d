#include "controllers/ConstraintControllers.h"

#include <cmath>

#include "controllers/ControllerManager.h"

// ---- Link constraints ----------------------------------------------------------------------

int CZK_AnimationControllerLinkConstraints::SelectLink(float time) const {
  const int n = static_cast<int>(m_links.size());
  if (n == 0) return -1;
  for (int i = 0; i + 1 < n; ++i) {
    if (m_links[i + 1].key > time) return i;
  }
  return n - 1;
}

Matrix* CZK_AnimationControllerLinkConstraints::Evaluate(Matrix* out, float time,
                                                         const Matrix* parent) const {
  Matrix link = g_IdentityMatrix;
  const int i = SelectLink(time);
  if (i >= 0 && m_links[i].slot != -1 && m_manager != nullptr) {
    if (const Matrix* world = m_manager->GetAnimObjectWorld(m_links[i].slot)) link = *world;
  }
  Matrix local;
  ComposeLocal(&local, time, parent);
  return D3DXMatrixMultiply(out, &link, &local);
}

// ---- Look-at -------------------------------------------------------------------------------

void CZK_AnimationControllerRotationLookAt::SetParameters(const uint32_t words[kParameterCount]) {
  lookAtParam0 = words[0];
  flipLookAt = words[1];
  flipUp = words[2];
  upNodeMode = words[3];
  lookAtParam4 = words[4];
  lookAtAxis = words[5];
  upNodeAxis = words[6];
  sourceAxis = words[7];
  upAxisMode = words[8];
}

Vector3 CZK_AnimationControllerRotationLookAt::GetTargetPosition(float) const {
  Vector3 sum = {0.0f, 0.0f, 0.0f};
  for (const CZK_ConstraintTarget& target : m_targets) {
    // An entry that was never resolved, or whose target has no object, adds nothing.
    if (m_manager == nullptr || target.slot == -1) continue;
    Vector3 position;
    if (target.kind == kTargetTransform) {
      const Matrix* world = m_manager->GetAnimObjectWorld(target.slot);
      if (world == nullptr) continue;
      position = MatrixGetTranslation(*world);
    } else if (target.kind == kTargetPosition) {
      position = m_manager->GetAnimObjectPosition(target.slot);
    } else {
      continue;
    }
    sum = sum + position * target.key;
  }
  if (m_totalWeight > 0.0f) return sum * (1.0f / m_totalWeight);
  return sum;
}

namespace {

// Normalise, giving the zero vector for a zero-length input.
Vector3 SafeNormalize(const Vector3& v) {
  const float length = Vec3Length(v);
  if (length > 0.0f) return v * (1.0f / length);
  return {0.0f, 0.0f, 0.0f};
}

Vector3 WorldAxis(uint32_t axis) {
  switch (axis) {
    case 0:
      return {1.0f, 0.0f, 0.0f};
    case 1:
      return {0.0f, 1.0f, 0.0f};
    default:
      return {0.0f, 0.0f, 1.0f};
  }
}

void SetRow(Matrix* m, uint32_t row, const Vector3& v) {
  m->m[row * 4 + 0] = v.x;
  m->m[row * 4 + 1] = v.y;
  m->m[row * 4 + 2] = v.z;
}

}  // namespace

// The basis, for look-at axis a, source axis s and the remaining axis o:
//
//   a  s  o   (a, s, o) cyclic?   o row                     s row
//   X  Y  Z   yes                 d × r                     o × d
//   Y  Z  X   yes                 d × r                     o × d
//   Z  X  Y   yes                 d × r                     o × d
//   X  Z  Y   no                  r × d                     d × o
//   Y  X  Z   no                  r × d                     d × o
//   Z  Y  X   no                  r × d                     d × o
//
// Each cross product is normalised. In a right-handed triple (i, j, k) row k = row i × row j, so
// both orders give determinant +1, and the s row is r with its component along d removed, i.e. it
// leans towards the reference. flipUp negates the o row before the last cross product, which
// turns the s row away from the reference and keeps the determinant at +1.
void BuildLookAtBasis(Matrix* out, const Vector3& d, const Vector3& reference, uint32_t lookAxis,
                      uint32_t sourceAxis, bool flipUp) {
  const uint32_t a = lookAxis;
  // The source axis cannot be the look-at axis (3ds Max does not offer that pairing either);
  // such a setting, or an out-of-range one, falls back to the next axis.
  const uint32_t s = (sourceAxis > 2 || sourceAxis == a) ? (a + 1) % 3 : sourceAxis;
  const uint32_t o = 3 - a - s;
  const bool cyclic = s == (a + 1) % 3;

  Vector3 cross = cyclic ? Vec3Cross(d, reference) : Vec3Cross(reference, d);
  if (Vec3Dot(cross, cross) < 1e-10f) {
    // No usable reference: take the world axis least aligned with d.
    const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    const uint32_t k = (ax <= ay && ax <= az) ? 0 : (ay <= az ? 1 : 2);
    const Vector3 fallback = WorldAxis(k);
    cross = cyclic ? Vec3Cross(d, fallback) : Vec3Cross(fallback, d);
  }
  Vector3 other = SafeNormalize(cross);
  if (flipUp) other = other * -1.0f;
  const Vector3 source = SafeNormalize(cyclic ? Vec3Cross(other, d) : Vec3Cross(d, other));

  SetRow(out, a, d);
  SetRow(out, s, source);
  SetRow(out, o, other);
}

Quaternion* CZK_AnimationControllerRotationLookAt::Evaluate(Quaternion* out, float time,
                                                            const Vector3* worldPosition) const {
  Matrix m = g_IdentityMatrix;
  if (!m_targets.empty() && lookAtAxis <= 2) {
    const Vector3 w = worldPosition != nullptr ? *worldPosition : Vector3{0.0f, 0.0f, 0.0f};
    Vector3 d = SafeNormalize(GetTargetPosition(time) - w);
    if (flipLookAt != 0) d = d * -1.0f;

    // The up vector points from the node towards the world origin.
    const Vector3 toOrigin = Vector3{0.0f, 0.0f, 0.0f} - w;
    Vector3 up;
    if (upNodeMode == 0)
      up = SafeNormalize(toOrigin);
    else
      D3DXVec3Normalize(&up, &toOrigin);

    // The source axis follows the up vector (the up node is looked at), or, with a nonzero
    // upAxisMode, aligns with the world axis upNodeAxis (axis alignment; values above 2 mean Z).
    const Vector3 reference = upAxisMode == 0 ? up : WorldAxis(upNodeAxis);

    // A target on the node gives no direction: every row would be zero, and the normalised
    // result is the identity, which is what is kept.
    if (Vec3Dot(d, d) > 0.0f)
      BuildLookAtBasis(&m, d, reference, lookAtAxis, sourceAxis, flipUp != 0);
  }
  Quaternion q;
  D3DXQuaternionRotationMatrix(&q, &m);
  if (q.w < 0.0f) q = {-q.x, -q.y, -q.z, -q.w};
  return D3DXQuaternionNormalize(out, &q);
}
