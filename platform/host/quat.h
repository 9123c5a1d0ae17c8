// Quat, the host's rotation (x, y, z, w), and ScaleValue, a scale with the
// rotation of its axes.
//
// Rotation sense: the matrix of a host Quat (x, y, z, w) is the object
// model's rotation matrix of (-x, -y, -z, w); in the row-vector convention
//   m00 = 1 - 2(y^2 + z^2)  m01 = 2(xy - wz)       m02 = 2(xz + wy)
//   m10 = 2(xy + wz)        m11 = 1 - 2(x^2 + z^2) m12 = 2(yz - wx)
//   m20 = 2(xz - wy)        m21 = 2(yz + wx)       m22 = 1 - 2(x^2 + y^2).
#pragma once

#include "platform/host/point3.h"

class Quat {
 public:
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 1.0f;

  constexpr Quat() = default;
  constexpr Quat(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  constexpr bool operator==(const Quat&) const = default;
};

class ScaleValue {
 public:
  Point3 s{1.0f, 1.0f, 1.0f};  // the scale factors
  Quat q;                       // the orientation of the scale axes

  constexpr ScaleValue() = default;
  constexpr explicit ScaleValue(const Point3& s_, const Quat& q_ = Quat()) : s(s_), q(q_) {}
};
