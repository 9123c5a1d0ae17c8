// KT::CVector2 and KT::CVector3<T>: the 2- and 3-component vectors of the
// scene library.
//
// Points and directions are row vectors: a point p is transformed by a
// matrix M as p x M. On disk a vector is its components as 32-bit floats,
// so CVector3<float> is exactly three packed floats.
#pragma once

#include <cmath>

#include "objectmodel/types.h"

namespace KT {

struct CMatrix3;

struct CVector2 {
  f32 x = 0.0f;
  f32 y = 0.0f;

  constexpr CVector2() = default;
  constexpr CVector2(f32 x_, f32 y_) : x(x_), y(y_) {}

  constexpr CVector2 operator+(const CVector2& v) const { return {x + v.x, y + v.y}; }
  constexpr CVector2 operator-(const CVector2& v) const { return {x - v.x, y - v.y}; }
  constexpr CVector2 operator*(f32 s) const { return {x * s, y * s}; }
  constexpr bool operator==(const CVector2& v) const { return x == v.x && y == v.y; }

  f32 Length() const { return std::sqrt(x * x + y * y); }
  // Scales to unit length and returns the length it had; a zero vector is
  // left unchanged (and 0 returned).
  f32 Normalize();
};

template <typename T>
struct CVector3 {
  T x = T(0);
  T y = T(0);
  T z = T(0);

  constexpr CVector3() = default;
  constexpr CVector3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}

  constexpr void Set(T x_, T y_, T z_) {
    x = x_;
    y = y_;
    z = z_;
  }

  constexpr CVector3 operator+(const CVector3& v) const { return {x + v.x, y + v.y, z + v.z}; }
  constexpr CVector3 operator-(const CVector3& v) const { return {x - v.x, y - v.y, z - v.z}; }
  constexpr CVector3 operator-() const { return {-x, -y, -z}; }
  // Component-wise product and quotient.
  constexpr CVector3 operator*(const CVector3& v) const { return {x * v.x, y * v.y, z * v.z}; }
  constexpr CVector3 operator/(const CVector3& v) const { return {x / v.x, y / v.y, z / v.z}; }
  constexpr CVector3 operator*(T s) const { return {x * s, y * s, z * s}; }
  constexpr CVector3& operator+=(const CVector3& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
  }
  constexpr CVector3& operator-=(const CVector3& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
  }
  constexpr CVector3& operator*=(T s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
  // Exact equality of all three components.
  constexpr bool operator==(const CVector3& v) const { return x == v.x && y == v.y && z == v.z; }

  constexpr T& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr const T& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  constexpr T Dot(const CVector3& v) const { return x * v.x + y * v.y + z * v.z; }
  // this x v.
  constexpr CVector3 Cross(const CVector3& v) const {
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
  }
  constexpr T LengthSquared() const { return x * x + y * y + z * z; }
  T Length() const { return std::sqrt(x * x + y * y + z * z); }
  // Scales to unit length and returns the length it had; a zero vector is
  // left unchanged (and 0 returned).
  T Normalize() {
    const T length = Length();
    if (length > T(0)) {
      x /= length;
      y /= length;
      z /= length;
    }
    return length;
  }
  // The row vector times the 3x3 matrix (CVector3<float> only).
  CVector3 TransformByMatrix3(const CMatrix3& m) const;
};

template <typename T>
constexpr CVector3<T> operator*(T s, const CVector3<T>& v) {
  return v * s;
}

template <>
CVector3<float> CVector3<float>::TransformByMatrix3(const CMatrix3& m) const;

static_assert(sizeof(CVector2) == 8, "CVector2 is two packed floats");
static_assert(sizeof(CVector3<float>) == 12, "CVector3<float> is three packed floats");

// Constant vectors.
inline constexpr CVector3<float> kVectorZero{0.0f, 0.0f, 0.0f};
inline constexpr CVector3<float> kVectorUnitX{1.0f, 0.0f, 0.0f};
inline constexpr CVector3<float> kVectorUnitY{0.0f, 1.0f, 0.0f};
inline constexpr CVector3<float> kVectorUnitZ{0.0f, 0.0f, 1.0f};
inline constexpr CVector3<float> kVectorXY{1.0f, 1.0f, 0.0f};
inline constexpr CVector3<float> kVectorYZ{0.0f, 1.0f, 1.0f};
inline constexpr CVector3<float> kVectorXZ{1.0f, 0.0f, 1.0f};
inline constexpr CVector3<float> kVectorOne{1.0f, 1.0f, 1.0f};

}  // namespace KT
