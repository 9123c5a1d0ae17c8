#include "objectmodel/matrix3.h"

#include <cmath>

#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"
#include "platform/d3dx_math.h"

namespace KT {

namespace {

// Below this |determinant| a 3x3 matrix counts as singular.
constexpr f32 kSingularDeterminant = 1e-5f;
// When 1 - |pivot| drops below this, the middle Euler angle is taken as
// exactly +-pi/2 (gimbal lock).
constexpr f32 kGimbalTolerance = 1e-5f;

// Cosine of the middle Euler angle from the angle found first: element /
// cos(first) in general, element / sin(first) when cos(first) is near 0.
f32 MiddleCosine(f32 first, f32 overCos, f32 overSin) {
  if (std::fabs(std::fabs(first) - kHalfPi) >= 1e-5f) return overCos / std::cos(first);
  return overSin / std::sin(first);
}

CMatrix3 RotationX(f32 a) {
  const f32 c = std::cos(a), s = std::sin(a);
  return CMatrix3(1, 0, 0, 0, c, s, 0, -s, c);
}
CMatrix3 RotationY(f32 a) {
  const f32 c = std::cos(a), s = std::sin(a);
  return CMatrix3(c, 0, -s, 0, 1, 0, s, 0, c);
}
CMatrix3 RotationZ(f32 a) {
  const f32 c = std::cos(a), s = std::sin(a);
  return CMatrix3(c, s, 0, -s, c, 0, 0, 0, 1);
}

}  // namespace

CMatrix3 CMatrix3::operator*(const CMatrix3& o) const {
  CMatrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
  return r;
}

CMatrix3& CMatrix3::operator*=(const CMatrix3& o) { return *this = *this * o; }

CMatrix3 CMatrix3::operator+(const CMatrix3& o) const {
  CMatrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] + o.m[i][j];
  return r;
}

CMatrix3 CMatrix3::operator-(const CMatrix3& o) const {
  CMatrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] - o.m[i][j];
  return r;
}

CMatrix3 CMatrix3::operator*(f32 s) const {
  CMatrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] * s;
  return r;
}

CMatrix3 CMatrix3::operator/(f32 s) const { return *this * (1.0f / s); }

CMatrix3 CMatrix3::Transpose() const {
  return CMatrix3(m[0][0], m[1][0], m[2][0], m[0][1], m[1][1], m[2][1], m[0][2], m[1][2], m[2][2]);
}

CMatrix3 CMatrix3::Cofactors() const {
  return CMatrix3(m[1][1] * m[2][2] - m[1][2] * m[2][1], m[1][2] * m[2][0] - m[1][0] * m[2][2],
                  m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][2] * m[2][1] - m[0][1] * m[2][2],
                  m[0][0] * m[2][2] - m[0][2] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1],
                  m[0][1] * m[1][2] - m[0][2] * m[1][1], m[0][2] * m[1][0] - m[0][0] * m[1][2],
                  m[0][0] * m[1][1] - m[0][1] * m[1][0]);
}

f32 CMatrix3::Determinant() const {
  const CMatrix3 c = Cofactors();
  return m[0][0] * c.m[0][0] + m[0][1] * c.m[0][1] + m[0][2] * c.m[0][2];
}

CMatrix3 CMatrix3::Inverse() const { return InverseTranspose().Transpose(); }

CMatrix3 CMatrix3::InverseTranspose() const {
  const CMatrix3 c = Cofactors();
  const f32 d = m[0][0] * c.m[0][0] + m[0][1] * c.m[0][1] + m[0][2] * c.m[0][2];
  if (std::fabs(d) < kSingularDeterminant) return Zero();
  return c / d;
}

CMatrix3 CMatrix3::ScaleColumns(const CVector3<float>& s) const {
  CMatrix3 r = *this;
  for (int i = 0; i < 3; ++i) {
    r.m[i][0] *= s.x;
    r.m[i][1] *= s.y;
    r.m[i][2] *= s.z;
  }
  return r;
}

f32 CMatrix3::NormOne() const {
  f32 best = 0.0f;
  for (int j = 0; j < 3; ++j) {
    const f32 sum = std::fabs(m[0][j]) + std::fabs(m[1][j]) + std::fabs(m[2][j]);
    if (sum > best) best = sum;
  }
  return best;
}

f32 CMatrix3::NormInf() const {
  f32 best = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const f32 sum = std::fabs(m[i][0]) + std::fabs(m[i][1]) + std::fabs(m[i][2]);
    if (sum > best) best = sum;
  }
  return best;
}

i32 CMatrix3::FindMaxCol() const {
  f32 best = 0.0f;
  i32 column = -1;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const f32 a = std::fabs(m[i][j]);
      if (a > best) {
        best = a;
        column = j;
      }
    }
  }
  return column;
}

void CMatrix3::SetRotationAxisAngle(const CVector3<float>& axis, f32 angle) {
  const f32 c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
  const f32 x = axis.x, y = axis.y, z = axis.z;
  Set(t * x * x + c, t * x * y + s * z, t * x * z - s * y,  //
      t * x * y - s * z, t * y * y + c, t * y * z + s * x,  //
      t * x * z + s * y, t * y * z - s * x, t * z * z + c);
}

CMatrix3 CMatrix3::FromEuler(u32 order, f32 x, f32 y, f32 z) {
  switch (order) {
    case kEulerXYZ: *this = RotationX(x) * RotationY(y) * RotationZ(z); break;
    case kEulerZYX: *this = RotationZ(z) * RotationY(y) * RotationX(x); break;
    case kEulerXZY: *this = RotationX(x) * RotationZ(z) * RotationY(y); break;
    case kEulerYZX: *this = RotationY(y) * RotationZ(z) * RotationX(x); break;
    case kEulerYXZ: *this = RotationY(y) * RotationX(x) * RotationZ(z); break;
    case kEulerZXY: *this = RotationZ(z) * RotationX(x) * RotationY(y); break;
    default: break;
  }
  return *this;
}

void CMatrix3::ToEuler(u32 order, f32& x, f32& y, f32& z) const {
  // Each order has a pivot element equal to +-sin of its middle angle. In
  // gimbal lock the first and last rotations turn about the same axis, so
  // one of them is set to 0 and the other carries their sum (or
  // difference); each gimbal row below is the one that FromEuler of the same
  // order reproduces.
  switch (order) {
    case kEulerXYZ: {
      const f32 pivot = m[0][2];
      if (1.0f - std::fabs(pivot) < kGimbalTolerance) {
        y = pivot >= 0.0f ? -kHalfPi : kHalfPi;
        x = std::atan2(m[1][0], m[2][0]);
        if (pivot > 0.0f) x += kPi;
        z = 0.0f;
      } else {
        x = std::atan2(m[1][2], m[2][2]);
        const f32 c = MiddleCosine(x, m[2][2], m[1][2]);
        y = std::atan2(-m[0][2], c);
        z = std::atan2(m[0][1], m[0][0]);
      }
      break;
    }
    case kEulerZYX: {
      const f32 pivot = m[2][0];
      if (1.0f - std::fabs(pivot) < kGimbalTolerance) {
        y = pivot > 0.0f ? kHalfPi : -kHalfPi;
        x = 0.0f;
        // m01 = sin(z +- x), m11 = cos(z +- x) in both locks.
        z = std::atan2(m[0][1], m[1][1]);
      } else {
        x = -std::atan2(m[2][1], m[2][2]);
        const f32 c = MiddleCosine(x, m[2][2], -m[2][1]);
        y = std::atan2(m[2][0], c);
        z = -std::atan2(m[1][0], m[0][0]);
      }
      break;
    }
    case kEulerXZY: {
      const f32 pivot = m[0][1];
      if (1.0f - std::fabs(pivot) < kGimbalTolerance) {
        z = pivot > 0.0f ? kHalfPi : -kHalfPi;
        y = 0.0f;
        x = -std::atan2(m[2][0], m[1][0]);
        if (pivot > 0.0f) x += kPi;
      } else {
        x = -std::atan2(m[2][1], m[1][1]);
        y = -std::atan2(m[0][2], m[0][0]);
        const f32 c = MiddleCosine(y, m[0][0], -m[0][2]);
        z = std::atan2(m[0][1], c);
      }
      break;
    }
    case kEulerYZX: {
      const f32 pivot = m[1][0];
      if (1.0f - std::fabs(pivot) < kGimbalTolerance) {
        z = pivot >= 0.0f ? -kHalfPi : kHalfPi;
        x = 0.0f;
        y = -std::atan2(m[0][2], m[2][2]);
      } else {
        x = std::atan2(m[1][2], m[1][1]);
        y = std::atan2(m[2][0], m[0][0]);
        const f32 c = MiddleCosine(y, m[0][0], m[2][0]);
        z = std::atan2(-m[1][0], c);
      }
      break;
    }
    case kEulerYXZ: {
      const f32 pivot = m[1][2];
      if (1.0f - std::fabs(pivot) < kGimbalTolerance) {
        x = pivot > 0.0f ? kHalfPi : -kHalfPi;
        y = 0.0f;
        z = std::atan2(m[0][1], m[0][0]);
      } else {
        y = -std::atan2(m[0][2], m[2][2]);
        z = -std::atan2(m[1][0], m[1][1]);
        const f32 c = MiddleCosine(z, m[1][1], -m[1][0]);
        x = std::atan2(m[1][2], c);
      }
      break;
    }
    case kEulerZXY: {
      const f32 pivot = m[2][1];
      if (1.0f - std::fabs(pivot) < kGimbalTolerance) {
        x = pivot >= 0.0f ? -kHalfPi : kHalfPi;
        y = 0.0f;
        z = -std::atan2(m[1][0], m[0][0]);
      } else {
        y = std::atan2(m[2][0], m[2][2]);
        z = std::atan2(m[0][1], m[1][1]);
        const f32 c = MiddleCosine(z, m[1][1], m[0][1]);
        x = std::atan2(-m[2][1], c);
      }
      break;
    }
    default: break;
  }
}

CQuaternion CMatrix3::ToQuaternion() const {
  D3DXMATRIX embedded = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) embedded.m[i][j] = m[i][j];
  embedded.m[3][3] = 1.0f;
  D3DXQUATERNION q;
  D3DXQuaternionRotationMatrix(&q, &embedded);
  return CQuaternion(q.x, q.y, q.z, q.w);
}

}  // namespace KT
