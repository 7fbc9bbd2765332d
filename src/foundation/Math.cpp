#include "foundation/Math.h"

#include <cmath>

const Matrix g_IdentityMatrix = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

Matrix* D3DXMatrixIdentity(Matrix* out) {
  *out = g_IdentityMatrix;
  return out;
}

Matrix* D3DXMatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b) {
  // Computed into a local so that out may alias a or b.
  Matrix r;
  for (int i = 0; i < 4; ++i) {
    const float a0 = a->m[i * 4 + 0], a1 = a->m[i * 4 + 1], a2 = a->m[i * 4 + 2],
                a3 = a->m[i * 4 + 3];
    for (int j = 0; j < 4; ++j) {
      r.m[i * 4 + j] = a0 * b->m[j] + a1 * b->m[4 + j] + a2 * b->m[8 + j] + a3 * b->m[12 + j];
    }
  }
  *out = r;
  return out;
}

Matrix* D3DXMatrixInverse(Matrix* out, float* determinant, const Matrix* m) {
  // Cofactor expansion in double precision; the result is rounded once to f32.
  const float* a = m->m;
  double inv[16];
  inv[0] = (double)a[5] * a[10] * a[15] - (double)a[5] * a[11] * a[14] -
           (double)a[9] * a[6] * a[15] + (double)a[9] * a[7] * a[14] +
           (double)a[13] * a[6] * a[11] - (double)a[13] * a[7] * a[10];
  inv[4] = -(double)a[4] * a[10] * a[15] + (double)a[4] * a[11] * a[14] +
           (double)a[8] * a[6] * a[15] - (double)a[8] * a[7] * a[14] -
           (double)a[12] * a[6] * a[11] + (double)a[12] * a[7] * a[10];
  inv[8] = (double)a[4] * a[9] * a[15] - (double)a[4] * a[11] * a[13] -
           (double)a[8] * a[5] * a[15] + (double)a[8] * a[7] * a[13] +
           (double)a[12] * a[5] * a[11] - (double)a[12] * a[7] * a[9];
  inv[12] = -(double)a[4] * a[9] * a[14] + (double)a[4] * a[10] * a[13] +
            (double)a[8] * a[5] * a[14] - (double)a[8] * a[6] * a[13] -
            (double)a[12] * a[5] * a[10] + (double)a[12] * a[6] * a[9];
  inv[1] = -(double)a[1] * a[10] * a[15] + (double)a[1] * a[11] * a[14] +
           (double)a[9] * a[2] * a[15] - (double)a[9] * a[3] * a[14] -
           (double)a[13] * a[2] * a[11] + (double)a[13] * a[3] * a[10];
  inv[5] = (double)a[0] * a[10] * a[15] - (double)a[0] * a[11] * a[14] -
           (double)a[8] * a[2] * a[15] + (double)a[8] * a[3] * a[14] +
           (double)a[12] * a[2] * a[11] - (double)a[12] * a[3] * a[10];
  inv[9] = -(double)a[0] * a[9] * a[15] + (double)a[0] * a[11] * a[13] +
           (double)a[8] * a[1] * a[15] - (double)a[8] * a[3] * a[13] -
           (double)a[12] * a[1] * a[11] + (double)a[12] * a[3] * a[9];
  inv[13] = (double)a[0] * a[9] * a[14] - (double)a[0] * a[10] * a[13] -
            (double)a[8] * a[1] * a[14] + (double)a[8] * a[2] * a[13] +
            (double)a[12] * a[1] * a[10] - (double)a[12] * a[2] * a[9];
  inv[2] = (double)a[1] * a[6] * a[15] - (double)a[1] * a[7] * a[14] - (double)a[5] * a[2] * a[15] +
           (double)a[5] * a[3] * a[14] + (double)a[13] * a[2] * a[7] - (double)a[13] * a[3] * a[6];
  inv[6] = -(double)a[0] * a[6] * a[15] + (double)a[0] * a[7] * a[14] +
           (double)a[4] * a[2] * a[15] - (double)a[4] * a[3] * a[14] - (double)a[12] * a[2] * a[7] +
           (double)a[12] * a[3] * a[6];
  inv[10] = (double)a[0] * a[5] * a[15] - (double)a[0] * a[7] * a[13] -
            (double)a[4] * a[1] * a[15] + (double)a[4] * a[3] * a[13] +
            (double)a[12] * a[1] * a[7] - (double)a[12] * a[3] * a[5];
  inv[14] = -(double)a[0] * a[5] * a[14] + (double)a[0] * a[6] * a[13] +
            (double)a[4] * a[1] * a[14] - (double)a[4] * a[2] * a[13] -
            (double)a[12] * a[1] * a[6] + (double)a[12] * a[2] * a[5];
  inv[3] = -(double)a[1] * a[6] * a[11] + (double)a[1] * a[7] * a[10] +
           (double)a[5] * a[2] * a[11] - (double)a[5] * a[3] * a[10] - (double)a[9] * a[2] * a[7] +
           (double)a[9] * a[3] * a[6];
  inv[7] = (double)a[0] * a[6] * a[11] - (double)a[0] * a[7] * a[10] - (double)a[4] * a[2] * a[11] +
           (double)a[4] * a[3] * a[10] + (double)a[8] * a[2] * a[7] - (double)a[8] * a[3] * a[6];
  inv[11] = -(double)a[0] * a[5] * a[11] + (double)a[0] * a[7] * a[9] +
            (double)a[4] * a[1] * a[11] - (double)a[4] * a[3] * a[9] - (double)a[8] * a[1] * a[7] +
            (double)a[8] * a[3] * a[5];
  inv[15] = (double)a[0] * a[5] * a[10] - (double)a[0] * a[6] * a[9] - (double)a[4] * a[1] * a[10] +
            (double)a[4] * a[2] * a[9] + (double)a[8] * a[1] * a[6] - (double)a[8] * a[2] * a[5];
  const double det = (double)a[0] * inv[0] + (double)a[1] * inv[4] + (double)a[2] * inv[8] +
                     (double)a[3] * inv[12];
  if (determinant) *determinant = static_cast<float>(det);
  if (det == 0.0 || !std::isfinite(det)) return nullptr;
  const double r = 1.0 / det;
  for (int i = 0; i < 16; ++i) out->m[i] = static_cast<float>(inv[i] * r);
  return out;
}

Matrix* D3DXMatrixTranspose(Matrix* out, const Matrix* m) {
  Matrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i * 4 + j] = m->m[j * 4 + i];
  *out = r;
  return out;
}

Matrix* D3DXMatrixTranslation(Matrix* out, float x, float y, float z) {
  *out = g_IdentityMatrix;
  out->m[12] = x;
  out->m[13] = y;
  out->m[14] = z;
  return out;
}

Matrix* D3DXMatrixScaling(Matrix* out, float sx, float sy, float sz) {
  *out = g_IdentityMatrix;
  out->m[0] = sx;
  out->m[5] = sy;
  out->m[10] = sz;
  return out;
}

Matrix* D3DXMatrixRotationX(Matrix* out, float angle) {
  float s, c;
  zk_math::SinCos(angle, &s, &c);
  *out = g_IdentityMatrix;
  out->m[5] = c;
  out->m[6] = s;
  out->m[9] = -s;
  out->m[10] = c;
  return out;
}

Matrix* D3DXMatrixRotationY(Matrix* out, float angle) {
  float s, c;
  zk_math::SinCos(angle, &s, &c);
  *out = g_IdentityMatrix;
  out->m[0] = c;
  out->m[2] = -s;
  out->m[8] = s;
  out->m[10] = c;
  return out;
}

Matrix* D3DXMatrixRotationZ(Matrix* out, float angle) {
  float s, c;
  zk_math::SinCos(angle, &s, &c);
  *out = g_IdentityMatrix;
  out->m[0] = c;
  out->m[1] = s;
  out->m[4] = -s;
  out->m[5] = c;
  return out;
}

Matrix* D3DXMatrixRotationQuaternion(Matrix* out, const Quaternion* pq) {
  const Quaternion q = *pq;
  Matrix& r = *out;
  r.m[0] = 1.0f - 2.0f * (q.y * q.y + q.z * q.z);
  r.m[1] = 2.0f * (q.x * q.y + q.z * q.w);
  r.m[2] = 2.0f * (q.x * q.z - q.y * q.w);
  r.m[3] = 0.0f;
  r.m[4] = 2.0f * (q.x * q.y - q.z * q.w);
  r.m[5] = 1.0f - 2.0f * (q.x * q.x + q.z * q.z);
  r.m[6] = 2.0f * (q.y * q.z + q.x * q.w);
  r.m[7] = 0.0f;
  r.m[8] = 2.0f * (q.x * q.z + q.y * q.w);
  r.m[9] = 2.0f * (q.y * q.z - q.x * q.w);
  r.m[10] = 1.0f - 2.0f * (q.x * q.x + q.y * q.y);
  r.m[11] = 0.0f;
  r.m[12] = r.m[13] = r.m[14] = 0.0f;
  r.m[15] = 1.0f;
  return out;
}

Quaternion* D3DXQuaternionRotationMatrix(Quaternion* out, const Matrix* pm) {
  // Inverse of D3DXMatrixRotationQuaternion, choosing the largest diagonal term for stability.
  const float* m = pm->m;
  const float trace = m[0] + m[5] + m[10];
  Quaternion q;
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f) * 2.0f;  // 4w
    q.w = 0.25f * s;
    q.x = (m[6] - m[9]) / s;
    q.y = (m[8] - m[2]) / s;
    q.z = (m[1] - m[4]) / s;
  } else if (m[0] > m[5] && m[0] > m[10]) {
    const float s = std::sqrt(1.0f + m[0] - m[5] - m[10]) * 2.0f;  // 4x
    q.w = (m[6] - m[9]) / s;
    q.x = 0.25f * s;
    q.y = (m[1] + m[4]) / s;
    q.z = (m[8] + m[2]) / s;
  } else if (m[5] > m[10]) {
    const float s = std::sqrt(1.0f + m[5] - m[0] - m[10]) * 2.0f;  // 4y
    q.w = (m[8] - m[2]) / s;
    q.x = (m[1] + m[4]) / s;
    q.y = 0.25f * s;
    q.z = (m[6] + m[9]) / s;
  } else {
    const float s = std::sqrt(1.0f + m[10] - m[0] - m[5]) * 2.0f;  // 4z
    q.w = (m[1] - m[4]) / s;
    q.x = (m[8] + m[2]) / s;
    q.y = (m[6] + m[9]) / s;
    q.z = 0.25f * s;
  }
  *out = q;
  return out;
}

Quaternion* D3DXQuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2) {
  // Rotation q1 followed by q2: the Hamilton product q2 * q1.
  const Quaternion a = *q2, b = *q1;
  Quaternion r;
  r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
  r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
  r.y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
  r.z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
  *out = r;
  return out;
}

Quaternion* D3DXQuaternionNormalize(Quaternion* out, const Quaternion* q) {
  const float n2 = QuaternionDot(*q, *q);
  if (n2 < 1.17549435e-38f) {
    *out = {0.0f, 0.0f, 0.0f, 0.0f};
    return out;
  }
  const float inv = 1.0f / std::sqrt(n2);
  *out = {q->x * inv, q->y * inv, q->z * inv, q->w * inv};
  return out;
}

Quaternion* D3DXQuaternionInverse(Quaternion* out, const Quaternion* q) {
  const float n2 = QuaternionDot(*q, *q);
  if (n2 < 1.08420217e-19f) {
    *out = {0.0f, 0.0f, 0.0f, 0.0f};
    return out;
  }
  const float inv = 1.0f / n2;
  *out = {-q->x * inv, -q->y * inv, -q->z * inv, q->w * inv};
  return out;
}

Quaternion* D3DXQuaternionExp(Quaternion* out, const Quaternion* q) {
  const float theta = std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z);
  float s, c;
  zk_math::SinCos(theta, &s, &c);
  Quaternion r;
  if (s != 0.0f) {
    const float k = s / theta;
    r = {q->x * k, q->y * k, q->z * k, c};
  } else {
    r = {q->x, q->y, q->z, c};
  }
  *out = r;
  return out;
}

Quaternion* D3DXQuaternionSlerp(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                float t) {
  float d = QuaternionDot(*q1, *q2);
  float sign = 1.0f;
  if (d < 0.0f) {
    sign = -1.0f;
    d = -d;
  }
  float w1, w2;
  if (1.0f - d < 1.1920929e-07f) {
    w1 = 1.0f - t;
    w2 = t;
  } else {
    const float theta = zk_math::ArcTangent2(std::sqrt(1.0f - d * d), d);
    const float inv = 1.0f / zk_math::Sine(theta);
    w1 = zk_math::Sine((1.0f - t) * theta) * inv;
    w2 = zk_math::Sine(t * theta) * inv;
  }
  w2 *= sign;
  const Quaternion a = *q1, b = *q2;
  *out = {w1 * a.x + w2 * b.x, w1 * a.y + w2 * b.y, w1 * a.z + w2 * b.z, w1 * a.w + w2 * b.w};
  return out;
}

Vector3* D3DXVec3Normalize(Vector3* out, const Vector3* v) {
  *out = Vec3Normalized(*v);
  return out;
}

Vector3* D3DXVec3TransformCoord(Vector3* out, const Vector3* pv, const Matrix* pm) {
  const Vector3 v = *pv;
  const float* m = pm->m;
  const float x = v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12];
  const float y = v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13];
  const float z = v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14];
  const float w = v.x * m[3] + v.y * m[7] + v.z * m[11] + m[15];
  const float inv = 1.0f / w;
  *out = {x * inv, y * inv, z * inv};
  return out;
}

Quaternion QuaternionSlerpSpin(const Quaternion& p, const Quaternion& q, float spins, float t) {
  const float c = QuaternionDot(p, q);
  // The blend runs in double so that p == q gives back p bit for bit: (1 - t) p + t p rounded
  // once to f32 is p, where an f32 blend can miss by one unit in the last place.
  double wp, wq;
  if (1.0f - std::fabs(c) < 9.99999997e-07f) {
    wp = 1.0 - static_cast<double>(t);
    wq = t;
  } else {
    // Without spins and at fractions in [0, 1], every angle lies in [0, pi]: the sines come from
    // SineHalfTurn there, so that the tracks' prepared slerps, which take the same steps, give
    // the same bits. Other angles take the general sine.
    const auto sine = [](float x) {
      return x >= 0.0f && x <= zk_math::kPi ? zk_math::SineHalfTurn(x) : zk_math::Sine(x);
    };
    const float omega = zk_math::ArcCosine(c);
    const float phi = (spins * zk_math::kPi + omega) * t;
    const float s = 1.0f / sine(omega);
    wp = sine(omega - phi) * s;
    wq = sine(phi) * s;
  }
  return {static_cast<float>(wp * p.x + wq * q.x), static_cast<float>(wp * p.y + wq * q.y),
          static_cast<float>(wp * p.z + wq * q.z), static_cast<float>(wp * p.w + wq * q.w)};
}

Quaternion QuaternionScaledLog(const Quaternion& q) {
  const float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
  const float theta = q.w != 0.0f ? zk_math::ArcTangent(len / q.w) : zk_math::kHalfPi;
  return {theta * q.x, theta * q.y, theta * q.z, 0.0f};
}

Quaternion QuaternionConjugateNormalized(const Quaternion& q) {
  Quaternion n;
  D3DXQuaternionNormalize(&n, &q);
  return {-n.x, -n.y, -n.z, n.w};
}

Quaternion QuaternionRelativeScaledLog(const Quaternion& a, const Quaternion& b) {
  Quaternion inv, r;
  D3DXQuaternionInverse(&inv, &a);
  D3DXQuaternionMultiply(&r, &inv, &b);
  const float d = QuaternionDot(a, b);
  const float len = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
  const float theta = d != 0.0f ? zk_math::ArcTangent(len / d) : zk_math::kHalfPi;
  return {theta * r.x, theta * r.y, theta * r.z, 0.0f};
}

Vector3 MatrixGetTranslation(const Matrix& m) { return {m.m[12], m.m[13], m.m[14]}; }
