// KT::CMatrix4: the 4x4 float matrix of affine transforms, and
// KT::CMatrix4d, its double-precision form for constants.
//
// Sixteen floats, row-major (m[row][column]). Points are row vectors,
// p' = (p, 1) x M; rows 0-2 hold the (scaled) rotation, row 3 the
// translation, and column 3 is (0, 0, 0, 1) for affine transforms. In A x B
// the transform A applies first. Products, inverses and point transforms go
// through the platform's matrix functions.
#pragma once

#include "objectmodel/matrix3.h"
#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

struct CMatrix4 {
  // Identity by default.
  f32 m[4][4] = {
      {1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}};

  constexpr CMatrix4() = default;

  static constexpr CMatrix4 Identity() { return CMatrix4(); }
  static constexpr CMatrix4 Zero() {
    CMatrix4 r;
    for (auto& row : r.m)
      for (f32& e : row) e = 0.0f;
    return r;
  }

  constexpr bool operator==(const CMatrix4& o) const {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        if (m[i][j] != o.m[i][j]) return false;
    return true;
  }

  // this x o.
  CMatrix4 operator*(const CMatrix4& o) const;
  // this x (r placed in a 4x4 with zero translation).
  CMatrix4 operator*(const CMatrix3& r) const;
  // In place: columns 0-2 of all four rows times s[j].
  void ScaleColumns(const CVector3<float>& s);

  // Replaces the upper 3x3; the rest stays.
  void SetRotation3x3(const CMatrix3& r);
  CMatrix3 GetRotation3x3() const;
  CVector3<float> GetTranslation() const { return {m[3][0], m[3][1], m[3][2]}; }
  void SetTranslation(const CVector3<float>& t) {
    m[3][0] = t.x;
    m[3][1] = t.y;
    m[3][2] = t.z;
  }

  // Sets row i (i < 3) to row i of rotation times scale[i] with column 3 = 0,
  // and row 3 to (translation, 1).
  void Compose(const CMatrix3& rotation, const CVector3<float>& translation, const CVector3<float>& scale);
  // The inverse of Compose for matrices without shear. translation = row 3;
  // scale[i] = length of row i, negated for all three when the determinant
  // of the 3x3 is negative, and all 0 when it is exactly 0; rotation row i =
  // row i / scale[i], or a zero row when scale[i] is 0 (never a division by
  // zero).
  void Decompose(CMatrix3& rotation, CVector3<float>& translation, CVector3<float>& scale) const;
  // The rotation that Decompose gives.
  CMatrix3 ExtractRotation() const;
};

inline constexpr CMatrix4 kMatrix4Identity = CMatrix4::Identity();
inline constexpr CMatrix4 kMatrix4Zero = CMatrix4::Zero();

// out = a x b; out may be a or b.
void MatrixMultiply(CMatrix4& out, const CMatrix4& a, const CMatrix4& b);
// out = inverse of m, true on success; *determinant (when given) receives
// the determinant. A singular matrix (determinant exactly 0) answers false
// and sets out to the identity.
bool MatrixInverse(CMatrix4& out, f32* determinant, const CMatrix4& m);
// out = (v, 1) x m divided by the resulting w (the zero vector when w is 0).
void Vec3TransformCoord(CVector3<float>& out, const CVector3<float>& v, const CMatrix4& m);
CVector3<float> TransformCoord(const CVector3<float>& v, const CMatrix4& m);
// A copy of b whose upper 3x3 is (3x3 of a) x (3x3 of b); b's translation
// and column 3 stay.
CMatrix4 MultiplyRotationPart(const CMatrix4& a, const CMatrix4& b);

// Double-precision 4x4 matrix, used for constants.
struct CMatrix4d {
  f64 m[4][4] = {};

  constexpr CMatrix4d() = default;

  // The sixteen elements, row by row.
  constexpr void Set(f64 m00, f64 m01, f64 m02, f64 m03, f64 m10, f64 m11, f64 m12, f64 m13, f64 m20, f64 m21,
                     f64 m22, f64 m23, f64 m30, f64 m31, f64 m32, f64 m33) {
    const f64 v[16] = {m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33};
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = v[i];
  }

  static constexpr CMatrix4d Zero() {
    CMatrix4d r;
    r.Set(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    return r;
  }
  static constexpr CMatrix4d Identity() {
    CMatrix4d r;
    r.Set(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return r;
  }
};

inline constexpr CMatrix4d kMatrix4dZero = CMatrix4d::Zero();
inline constexpr CMatrix4d kMatrix4dIdentity = CMatrix4d::Identity();

}  // namespace KT
