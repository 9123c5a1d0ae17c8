// KT::CQuaternion: rotations as quaternions (x, y, z, w), identity
// (0, 0, 0, 1).
//
// The product is the Hamilton product with the left operand first, and the
// rotation matrix of a unit quaternion is, in the row-vector convention,
//   m00 = 1 - 2(y^2 + z^2)  m01 = 2(xy + wz)      m02 = 2(xz - wy)
//   m10 = 2(xy - wz)        m11 = 1 - 2(x^2 + z^2) m12 = 2(yz + wx)
//   m20 = 2(xz + wy)        m21 = 2(yz - wx)      m22 = 1 - 2(x^2 + y^2).
#pragma once

#include "objectmodel/matrix3.h"
#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

struct CQuaternion {
  f32 x = 0.0f;
  f32 y = 0.0f;
  f32 z = 0.0f;
  f32 w = 1.0f;  // identity by default

  constexpr CQuaternion() = default;
  constexpr CQuaternion(f32 x_, f32 y_, f32 z_, f32 w_) : x(x_), y(y_), z(z_), w(w_) {}

  // Component-wise sum and difference of all four components.
  constexpr CQuaternion operator+(const CQuaternion& q) const { return {x + q.x, y + q.y, z + q.z, w + q.w}; }
  constexpr CQuaternion operator-(const CQuaternion& q) const { return {x - q.x, y - q.y, z - q.z, w - q.w}; }
  constexpr CQuaternion operator*(f32 s) const { return {x * s, y * s, z * s, w * s}; }
  constexpr bool operator==(const CQuaternion& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }

  // this = this (x) q, the Hamilton product with this on the left.
  CQuaternion& operator*=(const CQuaternion& q);
  // this (x) q.
  CQuaternion operator*(const CQuaternion& q) const;

  // (-x, -y, -z, w): the inverse rotation of a unit quaternion.
  constexpr CQuaternion Conjugate() const { return {-x, -y, -z, w}; }
  constexpr f32 Dot(const CQuaternion& q) const { return x * q.x + y * q.y + z * q.z + w * q.w; }
  // Scales to unit length and returns the four-component length it had; a
  // zero quaternion is left unchanged (and 0 returned).
  f32 Normalize();

  CMatrix3 ToMatrix3() const;
  // Quaternion of a rotation matrix (trace rule, else largest diagonal).
  static CQuaternion FromMatrix3(const CMatrix3& m);
  // Rotation by angle (radians) about axis; the axis is normalised first.
  static CQuaternion FromAxisAngle(const CVector3<float>& axis, f32 angle);
  void SetAxisAngle(const CVector3<float>& axis, f32 angle);
  // Unit axis and angle in [0, 2 pi]; the identity gives axis (0, 0, 0) and
  // angle 0.
  void ToAxisAngle(CVector3<float>& axis, f32& angle) const;
};

static_assert(sizeof(CQuaternion) == 16, "CQuaternion is four packed floats");

inline constexpr CQuaternion kQuaternionIdentity{0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr CQuaternion kQuaternionZero{0.0f, 0.0f, 0.0f, 0.0f};

// Spherical interpolation along the shorter arc: t = 0 gives q1, t = 1 gives
// q2 or -q2 (the same rotation). Nearly equal inputs (1 - |q1 . q2| <= 0.001)
// blend linearly; t outside [0, 1] extrapolates.
CQuaternion QuaternionSlerp(const CQuaternion& q1, const CQuaternion& q2, f32 t);
void QuaternionSlerp(CQuaternion& out, const CQuaternion& q1, const CQuaternion& q2, f32 t);

}  // namespace KT
