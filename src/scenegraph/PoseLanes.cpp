#include "scenegraph/PoseLanes.h"

#include "animation/AnimTrackValues.h"

namespace NPoseLanes {

namespace {

// The local matrix S·R·T as ComposeScaleRotationTranslation gives it, its rotation rows by the
// same expressions as D3DXMatrixRotationQuaternion, each scaled (a unit factor leaves a row as
// it is), the translation below.
void ComposeLocal(float* e, size_t stride, const Vector3& t, const Quaternion& q,
                  const float s[3]) {
  const float m[12] = {s[0] * (1.0f - 2.0f * (q.y * q.y + q.z * q.z)),
                       s[0] * (2.0f * (q.x * q.y + q.z * q.w)),
                       s[0] * (2.0f * (q.x * q.z - q.y * q.w)),
                       s[1] * (2.0f * (q.x * q.y - q.z * q.w)),
                       s[1] * (1.0f - 2.0f * (q.x * q.x + q.z * q.z)),
                       s[1] * (2.0f * (q.y * q.z + q.x * q.w)),
                       s[2] * (2.0f * (q.x * q.z + q.y * q.w)),
                       s[2] * (2.0f * (q.y * q.z - q.x * q.w)),
                       s[2] * (1.0f - 2.0f * (q.x * q.x + q.y * q.y)),
                       t.x,
                       t.y,
                       t.z};
  for (size_t i = 0; i < 12; ++i) e[i * stride] = m[i];
}

}  // namespace

void BlendScalar(const SInputs& in, SLocals* out) {
  for (size_t l = 0; l < kLanes; ++l) {
    const Quaternion q = NAnimTrackSlerp::ShorterArcSlerp(
        in.rotationA[l], in.rotationB[l], NAnimTrackSlerp::UnfoldSignedAngle(in.signedAngle[l]),
        in.rotationU[l]);
    const float u = in.positionU[l];
    const Vector3 p = {Lerp(in.positionA[0][l], in.positionB[0][l], u),
                       Lerp(in.positionA[1][l], in.positionB[1][l], u),
                       Lerp(in.positionA[2][l], in.positionB[2][l], u)};
    const float s[3] = {in.scale[0][l], in.scale[1][l], in.scale[2][l]};
    ComposeLocal(&out->m[0][l], kLanes, p, q, s);
  }
}

#if defined(__SSE2__)

namespace {

__m128 Select(__m128 mask, __m128 ifSet, __m128 ifClear) {
  return _mm_or_ps(_mm_and_ps(mask, ifSet), _mm_andnot_ps(mask, ifClear));
}

// The four lanes with the sines of four floats at a time given by sines(x), which decides the
// instructions they take and nothing of their bits.
template <class Sines>
[[gnu::always_inline]] inline void BlendLanes(SInputs& in, SLocals* out, Sines sines) {
  const __m128 one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f);
  // The slerp weights, as ShorterArcSlerp works them out (its angles never exceed pi/2): the plain
  // linear ones (times the sign) for a straight pair, the two sines times the reciprocal sine
  // otherwise.
  const __m128 u = _mm_load_ps(in.rotationU);
  const __m128 signBit = _mm_set1_ps(-0.0f);
  const __m128 signedAngle = _mm_load_ps(in.signedAngle);
  const __m128 angle = _mm_andnot_ps(signBit, signedAngle);
  const __m128 sign = _mm_or_ps(_mm_and_ps(signBit, signedAngle), one);
  const __m128 straight = _mm_cmpeq_ps(angle, _mm_setzero_ps());
  const __m128 rest = _mm_sub_ps(one, u);
  __m128 w1 = rest, w2 = _mm_mul_ps(u, sign);
  // Lanes that hold values, or nodes on other kinds of tracks, are all straight: no sines.
  if (_mm_movemask_ps(straight) != 0xF) {
    // The reciprocal sines depend on the pairs alone: worked out again only when a lane's pair
    // changed since the last run (compared bit for bit).
    __m128 inverse = _mm_load_ps(in.knownInverse);
    const __m128i known = _mm_load_si128(reinterpret_cast<const __m128i*>(in.knownAngle));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(known, _mm_castps_si128(signedAngle))) != 0xFFFF) {
      inverse = Select(straight, sign, _mm_div_ps(sign, sines(angle)));
      _mm_store_ps(in.knownInverse, inverse);
      _mm_store_ps(in.knownAngle, signedAngle);
    }
    const __m128 magnitude = _mm_andnot_ps(signBit, inverse);
    w1 = Select(straight, w1, _mm_mul_ps(sines(_mm_mul_ps(rest, angle)), magnitude));
    w2 = Select(straight, w2, _mm_mul_ps(sines(_mm_mul_ps(u, angle)), inverse));
  }

  __m128 ax = _mm_load_ps(&in.rotationA[0].x), ay = _mm_load_ps(&in.rotationA[1].x);
  __m128 az = _mm_load_ps(&in.rotationA[2].x), aw = _mm_load_ps(&in.rotationA[3].x);
  _MM_TRANSPOSE4_PS(ax, ay, az, aw);
  __m128 bx = _mm_load_ps(&in.rotationB[0].x), by = _mm_load_ps(&in.rotationB[1].x);
  __m128 bz = _mm_load_ps(&in.rotationB[2].x), bw = _mm_load_ps(&in.rotationB[3].x);
  _MM_TRANSPOSE4_PS(bx, by, bz, bw);
  const auto blend = [&](__m128 a, __m128 b) {
    return _mm_add_ps(_mm_mul_ps(w1, a), _mm_mul_ps(w2, b));
  };
  const __m128 x = blend(ax, bx), y = blend(ay, by), z = blend(az, bz), w = blend(aw, bw);

  // The rows of the rotation matrix, each times its scale factor.
  const __m128 s0 = _mm_load_ps(in.scale[0]), s1 = _mm_load_ps(in.scale[1]);
  const __m128 s2 = _mm_load_ps(in.scale[2]);
  const auto mul = [](__m128 a, __m128 b) { return _mm_mul_ps(a, b); };
  const auto add = [](__m128 a, __m128 b) { return _mm_add_ps(a, b); };
  const auto sub = [](__m128 a, __m128 b) { return _mm_sub_ps(a, b); };
  const __m128 xx = mul(x, x), yy = mul(y, y), zz = mul(z, z);
  const __m128 xy = mul(x, y), zw = mul(z, w), xz = mul(x, z), yw = mul(y, w);
  const __m128 yz = mul(y, z), xw = mul(x, w);
  _mm_store_ps(out->m[0], mul(s0, sub(one, mul(two, add(yy, zz)))));
  _mm_store_ps(out->m[1], mul(s0, mul(two, add(xy, zw))));
  _mm_store_ps(out->m[2], mul(s0, mul(two, sub(xz, yw))));
  _mm_store_ps(out->m[3], mul(s1, mul(two, sub(xy, zw))));
  _mm_store_ps(out->m[4], mul(s1, sub(one, mul(two, add(xx, zz)))));
  _mm_store_ps(out->m[5], mul(s1, mul(two, add(yz, xw))));
  _mm_store_ps(out->m[6], mul(s2, mul(two, add(xz, yw))));
  _mm_store_ps(out->m[7], mul(s2, mul(two, sub(yz, xw))));
  _mm_store_ps(out->m[8], mul(s2, sub(one, mul(two, add(xx, yy)))));

  // The positions.
  const __m128 pu = _mm_load_ps(in.positionU);
  const __m128 prest = _mm_sub_ps(one, pu);
  for (int i = 0; i < 3; ++i) {
    _mm_store_ps(out->m[9 + i], add(mul(prest, _mm_load_ps(in.positionA[i])),
                                    mul(pu, _mm_load_ps(in.positionB[i]))));
  }
}

#if defined(ZELKAR_AVX_PATH)
struct SAvxSines {
  ZELKAR_TARGET_AVX __m128 operator()(__m128 x) const {
    return NAnimTrackSlerp::SineQuarterTurn4Avx(x);
  }
};
#endif

}  // namespace

void BlendSse2(SInputs& in, SLocals* out) {
  BlendLanes(in, out, [](__m128 x) { return NAnimTrackSlerp::SineQuarterTurn4(x); });
}

#if defined(ZELKAR_AVX_PATH)
ZELKAR_TARGET_AVX void BlendAvx(SInputs& in, SLocals* out) { BlendLanes(in, out, SAvxSines()); }
#endif

void Blend(SInputs& in, SLocals* out) {
#if defined(ZELKAR_AVX_PATH)
  if (NAnimTrackSlerp::kCpuHasAvx) {
    BlendAvx(in, out);
    return;
  }
#endif
  BlendSse2(in, out);
}

#else

void Blend(SInputs& in, SLocals* out) { BlendScalar(in, out); }

#endif

}  // namespace NPoseLanes
