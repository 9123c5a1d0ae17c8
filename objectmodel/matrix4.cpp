#include "objectmodel/matrix4.h"

#include <cmath>

#include "platform/d3dx_math.h"

namespace KT {

namespace {

D3DXMATRIX ToD3dx(const CMatrix4& a) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[i][j];
  return r;
}

CMatrix4 FromD3dx(const D3DXMATRIX& a) {
  CMatrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[i][j];
  return r;
}

CMatrix4 Embed(const CMatrix3& r) {
  CMatrix4 e;
  e.SetRotation3x3(r);
  return e;
}

}  // namespace

CMatrix4 CMatrix4::operator*(const CMatrix4& o) const {
  CMatrix4 r = *this;
  MatrixMultiply(r, r, o);
  return r;
}

CMatrix4 CMatrix4::operator*(const CMatrix3& r) const { return *this * Embed(r); }

void CMatrix4::ScaleColumns(const CVector3<float>& s) {
  for (auto& row : m) {
    row[0] *= s.x;
    row[1] *= s.y;
    row[2] *= s.z;
  }
}

void CMatrix4::SetRotation3x3(const CMatrix3& r) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = r.m[i][j];
}

CMatrix3 CMatrix4::GetRotation3x3() const {
  return CMatrix3(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
}

void CMatrix4::Compose(const CMatrix3& rotation, const CVector3<float>& translation, const CVector3<float>& scale) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[i][j] = rotation.m[i][j] * scale[i];
    m[i][3] = 0.0f;
  }
  m[3][0] = translation.x;
  m[3][1] = translation.y;
  m[3][2] = translation.z;
  m[3][3] = 1.0f;
}

void CMatrix4::Decompose(CMatrix3& rotation, CVector3<float>& translation, CVector3<float>& scale) const {
  translation = GetTranslation();
  for (int i = 0; i < 3; ++i) scale[i] = std::sqrt(m[i][0] * m[i][0] + m[i][1] * m[i][1] + m[i][2] * m[i][2]);
  const f32 d = GetRotation3x3().Determinant();
  const f32 sign = d > 0.0f ? 1.0f : (d < 0.0f ? -1.0f : 0.0f);
  scale *= sign;
  for (int i = 0; i < 3; ++i) {
    // A zero scale (a collapsed axis, or any axis of a singular matrix)
    // leaves its rotation row zero instead of dividing by zero.
    const f32 inverse = scale[i] != 0.0f ? 1.0f / scale[i] : 0.0f;
    for (int j = 0; j < 3; ++j) rotation.m[i][j] = m[i][j] * inverse;
  }
}

CMatrix3 CMatrix4::ExtractRotation() const {
  CMatrix3 rotation;
  CVector3<float> translation, scale;
  Decompose(rotation, translation, scale);
  return rotation;
}

void MatrixMultiply(CMatrix4& out, const CMatrix4& a, const CMatrix4& b) {
  const D3DXMATRIX da = ToD3dx(a), db = ToD3dx(b);
  D3DXMATRIX r;
  D3DXMatrixMultiply(&r, &da, &db);
  out = FromD3dx(r);
}

bool MatrixInverse(CMatrix4& out, f32* determinant, const CMatrix4& m) {
  const D3DXMATRIX dm = ToD3dx(m);
  D3DXMATRIX r;
  const bool inverted = D3DXMatrixInverse(&r, determinant, &dm) != nullptr;
  out = FromD3dx(r);
  return inverted;
}

void Vec3TransformCoord(CVector3<float>& out, const CVector3<float>& v, const CMatrix4& m) {
  const D3DXMATRIX dm = ToD3dx(m);
  const D3DXVECTOR3 dv = {v.x, v.y, v.z};
  D3DXVECTOR3 r;
  D3DXVec3TransformCoord(&r, &dv, &dm);
  out = {r.x, r.y, r.z};
}

CVector3<float> TransformCoord(const CVector3<float>& v, const CMatrix4& m) {
  CVector3<float> r;
  Vec3TransformCoord(r, v, m);
  return r;
}

CMatrix4 MultiplyRotationPart(const CMatrix4& a, const CMatrix4& b) {
  CMatrix4 r = b;
  r.SetRotation3x3(a.GetRotation3x3() * b.GetRotation3x3());
  return r;
}

}  // namespace KT
