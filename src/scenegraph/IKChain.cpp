#include "scenegraph/IKChain.h"

#include <algorithm>
#include <cmath>

#include "scenegraph/Node.h"

CZK_IKChain::~CZK_IKChain() { ReleaseJoints(); }

void CZK_IKChain::SetRootJoint(CZK_IKJointLink* link) {
  delete rootJoint;
  rootJoint = link;
}

void CZK_IKChain::SetMiddleJoint(CZK_IKJointLink* link) {
  delete middleJoint;
  middleJoint = link;
}

void CZK_IKChain::SetEndJoint(CZK_IKJointLink* link) {
  delete endJoint;
  endJoint = link;
}

void CZK_IKChain::ReleaseJoints() {
  delete rootJoint;
  delete middleJoint;
  delete endJoint;
  rootJoint = middleJoint = endJoint = nullptr;
}

void CZK_IKChain::MeasureLengths() {
  // A chain without its three joints has nothing to measure and keeps its lengths.
  if (!rootJoint || !middleJoint || !endJoint || !rootJoint->node || !middleJoint->node ||
      !endJoint->node)
    return;
  const Vector3 r = MatrixGetTranslation(*rootJoint->node->GetMatrix());
  const Vector3 m = MatrixGetTranslation(*middleJoint->node->GetMatrix());
  const Vector3 e = MatrixGetTranslation(*endJoint->node->GetMatrix());
  upperLength = Vec3Length(r - m);
  lowerLength = Vec3Length(m - e);
}

float CZK_IKChain::ElbowDistance(float a, float b, float d) {
  float v = ((a * a - b * b) / d + d) * 0.5f;
  v = std::min(v, a);
  return v < 0.0f ? 0.0f : v;
}

bool CZK_IKChain::Solve(const Vector3* toTarget, const Vector3* bendHint, Vector3* outMiddle) {
  Vector3 x, y;
  D3DXVec3Normalize(&x, toTarget);
  const Vector3 hint = *bendHint;
  const Vector3 perpendicular = hint - x * Vec3Dot(hint, x);
  D3DXVec3Normalize(&y, &perpendicular);
  if (Vec3Dot(y, y) == 0.0f && Vec3Dot(x, x) != 0.0f) {
    // A hint parallel to the target line gives no bend direction. Rather than collapse the
    // elbow onto the line, bend towards the coordinate axis least aligned with the target, so
    // the middle joint still sits at the upper length from the root.
    const float ax = std::fabs(x.x), ay = std::fabs(x.y), az = std::fabs(x.z);
    const Vector3 axis = (ax <= ay && ax <= az) ? Vector3{1, 0, 0}
                         : (ay <= az)           ? Vector3{0, 1, 0}
                                                : Vector3{0, 0, 1};
    const Vector3 p = axis - x * Vec3Dot(axis, x);
    D3DXVec3Normalize(&y, &p);
  }
  const Vector3 z = Vec3Cross(x, y);

  basis = g_IdentityMatrix;
  basis.m[0] = x.x, basis.m[4] = x.y, basis.m[8] = x.z;
  basis.m[1] = y.x, basis.m[5] = y.y, basis.m[9] = y.z;
  basis.m[2] = z.x, basis.m[6] = z.y, basis.m[10] = z.z;
  D3DXMatrixTranspose(&frame, &basis);

  Vector3 p;
  D3DXVec3TransformCoord(&p, toTarget, &basis);
  const float d = Vec3Length(p);
  // A target at the root itself has no line to fold along: treat it as too near (folded arm),
  // which keeps the division in ElbowDistance away from zero.
  const float elbow = d > 0.0f ? ElbowDistance(upperLength, lowerLength, d) : 0.0f;
  const float h = std::sqrt(std::max(0.0f, upperLength * upperLength - elbow * elbow));
  const Vector3 local = {elbow, h, 0.0f};
  D3DXVec3TransformCoord(outMiddle, &local, &frame);
  return elbow > 0.0f && elbow < upperLength;
}
