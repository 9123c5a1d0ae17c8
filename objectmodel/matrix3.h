// KT::CMatrix3: the 3x3 float matrix of rotations, scales and their
// products.
//
// Nine floats, row-major (m[row][column]). Points are row vectors, p' = p x M,
// and in A x B the transform A applies first. The elementary rotations by an
// angle with cosine c and sine s are
//   Rx = (1, 0, 0), (0, c, s), (0, -s, c)
//   Ry = (c, 0, -s), (0, 1, 0), (s, 0, c)
//   Rz = (c, s, 0), (-s, c, 0), (0, 0, 1).
//
// Euler angles always travel as (x, y, z) in radians with an order code:
//   0 Rx x Ry x Rz, 1 Rz x Ry x Rx, 2 Rx x Rz x Ry,
//   3 Ry x Rz x Rx, 4 Ry x Rx x Rz, 5 Rz x Rx x Ry
// (the left factor is the rotation applied first).
//
// Operations return their result and leave the matrix unchanged unless they
// say otherwise.
#pragma once

#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

struct CQuaternion;

// Euler orders; the value is the code stored in files.
enum EulerOrder : u32 {
  kEulerXYZ = 0,
  kEulerZYX = 1,
  kEulerXZY = 2,
  kEulerYZX = 3,
  kEulerYXZ = 4,
  kEulerZXY = 5,
};

struct CMatrix3 {
  // Identity by default.
  f32 m[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

  constexpr CMatrix3() = default;
  constexpr CMatrix3(f32 m00, f32 m01, f32 m02, f32 m10, f32 m11, f32 m12, f32 m20, f32 m21, f32 m22)
      : m{{m00, m01, m02}, {m10, m11, m12}, {m20, m21, m22}} {}

  constexpr void Set(f32 m00, f32 m01, f32 m02, f32 m10, f32 m11, f32 m12, f32 m20, f32 m21, f32 m22) {
    *this = CMatrix3(m00, m01, m02, m10, m11, m12, m20, m21, m22);
  }

  static constexpr CMatrix3 Identity() { return CMatrix3(); }
  static constexpr CMatrix3 Zero() { return CMatrix3(0, 0, 0, 0, 0, 0, 0, 0, 0); }
  // diag(d.x, d.y, d.z).
  static constexpr CMatrix3 Diagonal(const CVector3<float>& d) {
    return CMatrix3(d.x, 0, 0, 0, d.y, 0, 0, 0, d.z);
  }

  constexpr bool operator==(const CMatrix3& o) const {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (m[i][j] != o.m[i][j]) return false;
    return true;
  }

  // this x o.
  CMatrix3 operator*(const CMatrix3& o) const;
  // this = this x o.
  CMatrix3& operator*=(const CMatrix3& o);
  // Element-wise sum, difference and scaling.
  CMatrix3 operator+(const CMatrix3& o) const;
  CMatrix3 operator-(const CMatrix3& o) const;
  CMatrix3 operator*(f32 s) const;
  // Every element times 1 / s.
  CMatrix3 operator/(f32 s) const;

  CMatrix3 Transpose() const;
  f32 Determinant() const;
  // The cofactor matrix (signed minors, not transposed, not divided).
  CMatrix3 Cofactors() const;
  // The inverse: transposed cofactors over the determinant. |det| < 1e-5
  // gives the zero matrix.
  CMatrix3 Inverse() const;
  // The transpose of the inverse: cofactors over the determinant, with the
  // same 1e-5 rule. Transforms normals under this matrix.
  CMatrix3 InverseTranspose() const;
  // this x diag(s): column j of every row times s[j].
  CMatrix3 ScaleColumns(const CVector3<float>& s) const;

  // Largest column sum of absolute values.
  f32 NormOne() const;
  // Largest row sum of absolute values.
  f32 NormInf() const;
  // Column of the largest absolute element, scanning row by row (the first
  // maximum wins); -1 when every element is 0.
  i32 FindMaxCol() const;

  // Sets the rotation by angle (radians) about a unit axis; it equals the
  // matrix of the quaternion of the same axis and angle.
  void SetRotationAxisAngle(const CVector3<float>& axis, f32 angle);

  // Sets the rotation of Euler angles (x, y, z) in the given order and
  // returns a copy. An order above 5 leaves the matrix unchanged.
  CMatrix3 FromEuler(u32 order, f32 x, f32 y, f32 z);
  // Angles (x, y, z) such that FromEuler with the same order gives this
  // rotation back. With the middle angle at +-pi/2 (within 1e-5 of its sine)
  // the rotation has one degree of freedom less and the first or last angle
  // of the order comes back 0. An order above 5 leaves the outputs untouched.
  void ToEuler(u32 order, f32& x, f32& y, f32& z) const;

  // Unit quaternion of the rotation (see CQuaternion; include
  // objectmodel/quaternion.h to call it).
  CQuaternion ToQuaternion() const;
};

inline constexpr CMatrix3 kMatrix3Zero = CMatrix3::Zero();
inline constexpr CMatrix3 kMatrix3Identity = CMatrix3::Identity();

}  // namespace KT
