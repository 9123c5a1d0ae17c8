#include "platform/d3dx_math.h"

#include <algorithm>
#include <cmath>

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  // Computed into a temporary so that out may be a or b.
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                  a->m[i][3] * b->m[3][j];
    }
  }
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
  // Cofactor expansion in double precision: the 2x2 minors of float inputs
  // are exact there, so an exactly singular matrix reports a zero
  // determinant instead of rounding noise.
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = m->m[i / 4][i % 4];

  const double s0 = a[0] * a[5] - a[4] * a[1];
  const double s1 = a[0] * a[6] - a[4] * a[2];
  const double s2 = a[0] * a[7] - a[4] * a[3];
  const double s3 = a[1] * a[6] - a[5] * a[2];
  const double s4 = a[1] * a[7] - a[5] * a[3];
  const double s5 = a[2] * a[7] - a[6] * a[3];
  const double c5 = a[10] * a[15] - a[14] * a[11];
  const double c4 = a[9] * a[15] - a[13] * a[11];
  const double c3 = a[9] * a[14] - a[13] * a[10];
  const double c2 = a[8] * a[15] - a[12] * a[11];
  const double c1 = a[8] * a[14] - a[12] * a[10];
  const double c0 = a[8] * a[13] - a[12] * a[9];

  const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  if (determinant != nullptr) *determinant = static_cast<float>(det);
  if (det == 0.0 || !std::isfinite(det)) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) out->m[i][j] = i == j ? 1.0f : 0.0f;
    return nullptr;
  }
  const double inv = 1.0 / det;
  double r[16];
  r[0] = (a[5] * c5 - a[6] * c4 + a[7] * c3) * inv;
  r[1] = (-a[1] * c5 + a[2] * c4 - a[3] * c3) * inv;
  r[2] = (a[13] * s5 - a[14] * s4 + a[15] * s3) * inv;
  r[3] = (-a[9] * s5 + a[10] * s4 - a[11] * s3) * inv;
  r[4] = (-a[4] * c5 + a[6] * c2 - a[7] * c1) * inv;
  r[5] = (a[0] * c5 - a[2] * c2 + a[3] * c1) * inv;
  r[6] = (-a[12] * s5 + a[14] * s2 - a[15] * s1) * inv;
  r[7] = (a[8] * s5 - a[10] * s2 + a[11] * s1) * inv;
  r[8] = (a[4] * c4 - a[5] * c2 + a[7] * c0) * inv;
  r[9] = (-a[0] * c4 + a[1] * c2 - a[3] * c0) * inv;
  r[10] = (a[12] * s4 - a[13] * s2 + a[15] * s0) * inv;
  r[11] = (-a[8] * s4 + a[9] * s2 - a[11] * s0) * inv;
  r[12] = (-a[4] * c3 + a[5] * c1 - a[6] * c0) * inv;
  r[13] = (a[0] * c3 - a[1] * c1 + a[2] * c0) * inv;
  r[14] = (-a[12] * s3 + a[13] * s1 - a[14] * s0) * inv;
  r[15] = (a[8] * s3 - a[9] * s1 + a[10] * s0) * inv;
  for (int i = 0; i < 16; ++i) out->m[i / 4][i % 4] = static_cast<float>(r[i]);
  return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const float x = v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0] + m->m[3][0];
  const float y = v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1] + m->m[3][1];
  const float z = v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2] + m->m[3][2];
  const float w = v->x * m->m[0][3] + v->y * m->m[1][3] + v->z * m->m[2][3] + m->m[3][3];
  if (w == 0.0f) {
    *out = {0.0f, 0.0f, 0.0f};
  } else {
    *out = {x / w, y / w, z / w};
  }
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
  const auto& e = m->m;
  const float trace = e[0][0] + e[1][1] + e[2][2];
  D3DXQUATERNION q;
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f);  // 2w
    const float f = 0.5f / s;
    q = {(e[1][2] - e[2][1]) * f, (e[2][0] - e[0][2]) * f, (e[0][1] - e[1][0]) * f, 0.5f * s};
  } else {
    int i = 0;
    if (e[1][1] > e[0][0]) i = 1;
    if (e[2][2] > e[i][i]) i = 2;
    const int j = (i + 1) % 3;
    const int k = (i + 2) % 3;
    // s = 2 * (component i); a non-rotation can make the radicand negative
    // or zero, and then there is nothing sensible to divide by.
    const float radicand = e[i][i] - e[j][j] - e[k][k] + 1.0f;
    if (!(radicand > 0.0f)) {
      *out = {0.0f, 0.0f, 0.0f, 1.0f};
      return out;
    }
    const float s = std::sqrt(radicand);
    const float f = 0.5f / s;
    float c[3];
    c[i] = 0.5f * s;
    c[j] = (e[i][j] + e[j][i]) * f;
    c[k] = (e[i][k] + e[k][i]) * f;
    q = {c[0], c[1], c[2], (e[j][k] - e[k][j]) * f};
  }
  *out = q;
  return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                    float t) {
  float dot = q1->x * q2->x + q1->y * q2->y + q1->z * q2->z + q1->w * q2->w;
  float sign = 1.0f;
  if (dot < 0.0f) {  // the shorter arc runs to -q2
    dot = -dot;
    sign = -1.0f;
  }
  float w1 = 1.0f - t;
  float w2 = t;
  if (1.0f - dot > 0.001f) {
    const float theta = std::acos(std::min(dot, 1.0f));
    const float s = std::sin(theta);
    w1 = std::sin((1.0f - t) * theta) / s;
    w2 = std::sin(t * theta) / s;
  }
  w2 *= sign;
  const D3DXQUATERNION r = {w1 * q1->x + w2 * q2->x, w1 * q1->y + w2 * q2->y, w1 * q1->z + w2 * q2->z,
                            w1 * q1->w + w2 * q2->w};
  *out = r;
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
  float x = axis->x, y = axis->y, z = axis->z;
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length > 0.0f) {
    x /= length;
    y /= length;
    z /= length;
  }
  const float s = std::sin(angle * 0.5f);
  *out = {x * s, y * s, z * s, std::cos(angle * 0.5f)};
  return out;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, float* angle) {
  const float w = std::clamp(q->w, -1.0f, 1.0f);
  const float x = q->x, y = q->y, z = q->z;
  if (angle != nullptr) *angle = 2.0f * std::acos(w);
  if (axis != nullptr) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0f) {
      *axis = {x / length, y / length, z / length};
    } else {
      *axis = {0.0f, 0.0f, 0.0f};
    }
  }
}
