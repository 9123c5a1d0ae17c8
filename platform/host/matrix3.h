// Matrix3: the host's affine transform, four rows of three floats in the
// row-vector convention (p' = p x M; in A x B, A applies first), translation
// in row 3.
#pragma once

#include "platform/host/point3.h"
#include "platform/host/quat.h"

class Matrix3 {
 public:
  // The identity.
  Matrix3();
  // From twelve floats, row by row.
  explicit Matrix3(const float (&rows)[12]);

  Point3 GetRow(int i) const;
  void SetRow(int i, const Point3& row);
  Point3 GetTrans() const { return GetRow(3); }
  void SetTrans(const Point3& t) { SetRow(3, t); }
  void IdentityMatrix();

  // this x b.
  Matrix3 operator*(const Matrix3& b) const;
  bool operator==(const Matrix3&) const = default;

  float m[4][3];
};

// The inverse of m; a singular matrix (determinant 0 or not finite) gives the
// identity.
Matrix3 Inverse(const Matrix3& m);

// The point p transformed by m.
Point3 operator*(const Point3& p, const Matrix3& m);

// The rotation matrix of a host quaternion (sense as in quat.h); the
// quaternion is normalised first, and a zero one gives the identity.
Matrix3 RotationMatrix(const Quat& q);

// Scale, then rotation, then translation: S x R x T.
Matrix3 ComposeSRT(const Point3& scale, const Quat& rotation, const Point3& translation);
