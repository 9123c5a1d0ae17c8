#include "objectmodel/quaternion.h"

#include <cmath>

#include "platform/d3dx_math.h"

namespace KT {

namespace {

D3DXQUATERNION ToD3dx(const CQuaternion& q) { return {q.x, q.y, q.z, q.w}; }
CQuaternion FromD3dx(const D3DXQUATERNION& q) { return {q.x, q.y, q.z, q.w}; }

}  // namespace

CQuaternion CQuaternion::operator*(const CQuaternion& q) const {
  return {w * q.x + x * q.w + y * q.z - z * q.y, w * q.y + y * q.w + z * q.x - x * q.z,
          w * q.z + z * q.w + x * q.y - y * q.x, w * q.w - x * q.x - y * q.y - z * q.z};
}

CQuaternion& CQuaternion::operator*=(const CQuaternion& q) { return *this = *this * q; }

f32 CQuaternion::Normalize() {
  const f32 length = std::sqrt(x * x + y * y + z * z + w * w);
  if (length > 0.0f) {
    x /= length;
    y /= length;
    z /= length;
    w /= length;
  }
  return length;
}

CMatrix3 CQuaternion::ToMatrix3() const {
  return CMatrix3(1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y),
                  2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + w * x),
                  2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 1.0f - 2.0f * (x * x + y * y));
}

CQuaternion CQuaternion::FromMatrix3(const CMatrix3& m) { return m.ToQuaternion(); }

CQuaternion CQuaternion::FromAxisAngle(const CVector3<float>& axis, f32 angle) {
  const D3DXVECTOR3 a = {axis.x, axis.y, axis.z};
  D3DXQUATERNION q;
  D3DXQuaternionRotationAxis(&q, &a, angle);
  return FromD3dx(q);
}

void CQuaternion::SetAxisAngle(const CVector3<float>& axis, f32 angle) { *this = FromAxisAngle(axis, angle); }

void CQuaternion::ToAxisAngle(CVector3<float>& axis, f32& angle) const {
  const D3DXQUATERNION q = ToD3dx(*this);
  D3DXVECTOR3 a;
  D3DXQuaternionToAxisAngle(&q, &a, &angle);
  axis = {a.x, a.y, a.z};
}

CQuaternion QuaternionSlerp(const CQuaternion& q1, const CQuaternion& q2, f32 t) {
  const D3DXQUATERNION a = ToD3dx(q1), b = ToD3dx(q2);
  D3DXQUATERNION r;
  D3DXQuaternionSlerp(&r, &a, &b, t);
  return FromD3dx(r);
}

void QuaternionSlerp(CQuaternion& out, const CQuaternion& q1, const CQuaternion& q2, f32 t) {
  out = QuaternionSlerp(q1, q2, t);
}

}  // namespace KT
