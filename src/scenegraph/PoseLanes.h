// The local matrices of four directly sampled nodes, worked out side by side. The plan gathers,
// node by node, what each local matrix is made of (the keys around the time, the fraction
// between them, the slerp constants of the pair, the scale factors) into one lane of an
// SInputs; Blend then computes the four rotations, positions and matrices at once with SSE2.
// Every lane goes through the same float and double operations, in the same order, as the
// scalar routines of the tracks (the shorter-arc slerp with its polynomial sines, the linear
// blend) and the S·R·T composition, so its matrix is to the bit that of BlendScalar, which
// calls those routines lane by lane.
#pragma once

#include <cstddef>

#include "animation/AnimTrackSlerp.h"
#include "foundation/Math.h"

namespace NPoseLanes {

constexpr size_t kLanes = 4;

// Per lane: the rotation is the shorter-arc slerp from rotationA to rotationB at fraction
// rotationU with the pair's constants (unfolded as NAnimTrackSlerp::UnfoldSignedAngle does), the
// position (1 - u)·positionA + u·positionB, and the scale factors multiply the rotation's rows. A
// held value is written as a blend from itself to -0 at fraction 0: both blends then return it to
// the bit (also -0, an infinity or a NaN).
struct alignas(16) SInputs {
  Quaternion rotationA[kLanes];
  Quaternion rotationB[kLanes];
  float rotationU[kLanes];
  float signedAngle[kLanes];  // the pair's constants (see NAnimTrackSlerp::ShorterArcSignedAngle)
  float positionA[3][kLanes];
  float positionB[3][kLanes];
  float positionU[kLanes];
  float scale[3][kLanes];
  // Blend's own: the reciprocal sines (times the sign) it worked out last, and the pair
  // constants they belong to. Most runs blend the same pairs at new fractions.
  float knownAngle[kLanes] = {0.0f, 0.0f, 0.0f, 0.0f};
  float knownInverse[kLanes] = {1.0f, 1.0f, 1.0f, 1.0f};

  void SetRotation(size_t lane, const Quaternion& a, const Quaternion& b, float u,
                   float pairAngle) {
    rotationA[lane] = a;
    rotationB[lane] = b;
    rotationU[lane] = u;
    signedAngle[lane] = pairAngle;
  }
  void HoldRotation(size_t lane, const Quaternion& q) {
    SetRotation(lane, q, {-0.0f, -0.0f, -0.0f, -0.0f}, 0.0f, 0.0f);
  }
  // HoldRotation's lane with the held value left to the caller, who writes it to the result.
  Quaternion* HeldRotation(size_t lane) {
    rotationB[lane] = {-0.0f, -0.0f, -0.0f, -0.0f};
    rotationU[lane] = 0.0f;
    signedAngle[lane] = 0.0f;
    return &rotationA[lane];
  }
  void SetPosition(size_t lane, const Vector3& a, const Vector3& b, float u) {
    const float av[3] = {a.x, a.y, a.z}, bv[3] = {b.x, b.y, b.z};
    for (int i = 0; i < 3; ++i) {
      positionA[i][lane] = av[i];
      positionB[i][lane] = bv[i];
    }
    positionU[lane] = u;
  }
  void HoldPosition(size_t lane, const Vector3& p) {
    SetPosition(lane, p, {-0.0f, -0.0f, -0.0f}, 0.0f);
  }
  void SetScale(size_t lane, const Vector3& s) {
    scale[0][lane] = s.x;
    scale[1][lane] = s.y;
    scale[2][lane] = s.z;
  }
};

// The four local matrices element by element: the three rotation rows' first three columns,
// then the translation. The last column is (0, 0, 0, 1) and is not stored.
struct alignas(16) SLocals {
  float m[12][kLanes];
  // Element e (row-major, 3 per row) of a lane's matrix is at Lane(lane)[e * kLanes].
  const float* Lane(size_t lane) const { return &m[0][lane]; }
};

// Blend keeps the reciprocal sines it works out in the inputs (only Blend writes them; a fresh
// SInputs holds ones that match its pairs), BlendScalar ignores them. With SSE2, Blend takes
// BlendAvx where the processor has AVX and BlendSse2 elsewhere, both to the bit BlendScalar's; the
// tests call each.
void Blend(SInputs& in, SLocals* out);
void BlendScalar(const SInputs& in, SLocals* out);
#if defined(__SSE2__)
void BlendSse2(SInputs& in, SLocals* out);
#endif
#if defined(ZELKAR_AVX_PATH)
void BlendAvx(SInputs& in, SLocals* out);  // only where NAnimTrackSlerp::kCpuHasAvx
#endif

}  // namespace NPoseLanes
