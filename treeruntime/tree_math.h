// Vector and matrix math shared by the branch, leaf, frond, wind and
// lighting code of the tree runtime.
//
// Conventions (they decide the shape of every generated tree):
// - a point or direction is a row vector multiplied from the left, v x M;
// - stMat3 is row-major; its first row is the growth direction of an
//   orientation, (1, 0, 0) x M;
// - the rotation builders take degrees and rotate in the matrix's local
//   frame: M := R x M;
// - with row vectors a positive Rz angle turns (1, 0, 0) toward (0, 1, 0).
#pragma once

#include <cstdint>
#include <limits>

namespace trt {

inline constexpr float kPi = 3.1415927f;
inline constexpr float kTwoPi = 2.0f * kPi;
inline constexpr float kHalfPi = kPi / 2.0f;
inline constexpr float kQuarterPi = kPi / 4.0f;
inline constexpr float kOneOver90 = 1.0f / 90.0f;
// Degrees per radian: radians = degrees / kRadToDeg, degrees = radians x it.
inline constexpr float kRadToDeg = 57.29578f;

// Truncation toward zero of a value that may come from data: NaN gives 0 and
// values beyond the int range saturate, so the conversion is always defined.
std::int32_t TruncateToInt(double value);

// Three f32 components.
struct stVec3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  constexpr stVec3() = default;
  constexpr stVec3(float fx, float fy, float fz) : x(fx), y(fy), z(fz) {}

  // Guarded normalisation in place: q = x^2 + y^2 + z^2 (in double, rounded
  // to f32); the length is sqrt(q) when q > 100 x FLT_EPSILON, else 0.01.
  // Each component is multiplied by 1 / length, so a zero vector stays zero
  // and a very short one grows a hundredfold instead of becoming unit length.
  void Normalize();

  bool operator==(const stVec3&) const = default;
};

// Component-wise sum, each component computed in double and rounded to f32.
stVec3 operator+(const stVec3& a, const stVec3& b);
stVec3 operator-(const stVec3& a, const stVec3& b);
stVec3 operator-(const stVec3& v);
stVec3 operator*(const stVec3& v, float s);
float Dot(const stVec3& a, const stVec3& b);
// (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x)
stVec3 Cross(const stVec3& a, const stVec3& b);
// a + (b - a) x t
stVec3 Lerp(const stVec3& a, const stVec3& b, float t);

// First-order square root: q = x^2 + y^2 + z^2 (in double, rounded to f32);
// the bit pattern of q shifted right by one (as a signed integer) plus
// 0x1fc00000, read back as f32. Exact at powers of four, otherwise up to
// about 6 percent high: (3, 4, 0) gives 5.125.
float FastLength(const stVec3& v);
// FastLength(b - a).
float FastDistance(const stVec3& a, const stVec3& b);
// acos of the dot product of a unit direction and a vector, clamped to
// [-1, 1]; radians.
float AngleBetween(const stVec3& unitDirection, const stVec3& v);

// Row-major 3x3 matrix (m0 m1 m2 / m3 m4 m5 / m6 m7 m8); identity when
// default-constructed.
struct stMat3 {
  float m[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};

  // M := Rx(degrees) x M with Rx rows (1, 0, 0) / (0, c, s) / (0, -s, c).
  void RotateX(float degrees);
  // M := Ry x M with rows (c, 0, -s) / (0, 1, 0) / (s, 0, c).
  void RotateY(float degrees);
  // M := Rz x M with rows (c, s, 0) / (-s, c, 0) / (0, 0, 1).
  void RotateZ(float degrees);
  // M := (Ry(a) x Rz(b)) x M in one step, with rows
  // (ca cb, ca sb, -sa) / (-sb, cb, 0) / (sa cb, sa sb, ca).
  void RotateYZ(float degreesY, float degreesZ);
  // M := AxisAngle(degrees, axis) x M (the axis is used as given).
  void RotateAxis(float degrees, float axisX, float axisY, float axisZ);

  // The axis-angle rotation alone, without multiplying; callers form M x R
  // themselves to rotate about a world-space axis. Rows:
  // (c + (1-c)xx, (1-c)xy + sz, (1-c)xz - sy) /
  // ((1-c)xy - sz, c + (1-c)yy, (1-c)yz + sx) /
  // ((1-c)xz + sy, (1-c)yz - sx, c + (1-c)zz)
  static stMat3 AxisAngle(float degrees, float axisX, float axisY, float axisZ);

  // (row0 . v, row1 . v, row2 . v)
  stVec3 MultiplyColumn(const stVec3& v) const;
};

// Ordinary row-major product A x B.
stMat3 operator*(const stMat3& a, const stMat3& b);
// Row vector times matrix: (x m0 + y m3 + z m6, x m1 + y m4 + z m7,
// x m2 + y m5 + z m8).
stVec3 operator*(const stVec3& v, const stMat3& m);

// Row-major 4x4 matrix of sixteen f32 (translation in the fourth row);
// identity when default-constructed.
struct stMat4 {
  float m[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

  bool operator==(const stMat4&) const = default;
};

// Point as a row vector times a 4x4 matrix: (x m0 + y m4 + z m8 + m12,
// x m1 + y m5 + z m9 + m13, x m2 + y m6 + z m10 + m14); no division by w.
stVec3 operator*(const stVec3& p, const stMat4& m);

}  // namespace trt
