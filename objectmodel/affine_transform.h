// Affine decomposition and composition: the conversion between a 4x4
// transform and its decomposed form (sign, stretch, rotation, translation).
//
// In the row-vector convention the 3x3 part A of a matrix factors as
// A = S x Q: Q a rotation (times the sign f), S symmetric, and
// S = U^T x diag(k) x U with U the rotation matrix of the stretch
// quaternion u. Composing gives U^T x diag(f k) x U x R(q) with the
// translation t in row 3, so a decomposed matrix composes back to itself up
// to rounding (and up to shear-free-ness: S carries any shear as a stretch
// along rotated axes).
//
// The decomposition is the polar decomposition published by Shoemake
// (Graphics Gems IV), with its spectral step, its "snuggle" step that picks
// the stretch axes closest to the identity, and its rank-1 and rank-2
// fallbacks for singular matrices.
#pragma once

#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

// A decomposed transform: fifteen floats in file order (Sign, Scale,
// Stretch, Rotate, Translate), 60 bytes.
struct AffineParts {
  f32 Sign = 1.0f;                           // -1 when the 3x3 part mirrors
  CVector3<float> Scale{1.0f, 1.0f, 1.0f};   // stretch factors k
  CQuaternion Stretch;                       // stretch axes u (x, y, z, w)
  CQuaternion Rotate;                        // rotation q (x, y, z, w)
  CVector3<float> Translate;                 // translation t

  constexpr bool operator==(const AffineParts&) const = default;

  static constexpr AffineParts Identity() { return AffineParts(); }
  static constexpr AffineParts MirroredIdentity() {
    AffineParts r;
    r.Sign = -1.0f;
    return r;
  }
  static constexpr AffineParts Zero() {
    AffineParts r;
    r.Sign = 0.0f;
    r.Scale = {0.0f, 0.0f, 0.0f};
    r.Stretch = {0.0f, 0.0f, 0.0f, 0.0f};
    r.Rotate = {0.0f, 0.0f, 0.0f, 0.0f};
    return r;
  }
};

static_assert(sizeof(AffineParts) == 60, "AffineParts is fifteen packed floats");

// Decomposes an affine matrix (column 3 is ignored). Never fails: a singular
// 3x3 part goes through the rank fallbacks (its collapsed axes get scale 0
// and the rotation stays a proper rotation); a zero matrix gives rotation
// identity and scale 0.
void decomp_affine(const CMatrix4& matrix, AffineParts& parts);

// The matrix of a decomposed transform: U^T x diag(Sign x Scale) x U x
// R(Rotate), with Translate added to row 3.
CMatrix4 ComposeAffine(const AffineParts& parts);

// --- the steps of decomp_affine, public for tests ------------------------

// Polar decomposition A = S x Q by Higham's iteration on A itself (run in
// double precision). Returns the determinant of the last iterate: its sign
// is that of det A, and it is 0 exactly when A is exactly singular, in which
// case Q comes from the rank fallbacks and is a proper rotation. Otherwise
// Q is orthogonal with the sign of det A. S is exactly symmetric. Elements
// below the float epsilon are set to 0 in both. The iteration stops when it
// has converged, and after at most kPolarMaxIterations steps whatever it
// finds; *iterations (when given) receives the number of steps taken.
inline constexpr u32 kPolarMaxIterations = 100;
f32 polar_decomp(const CMatrix3& a, CMatrix3& q, CMatrix3& s, u32* iterations = nullptr);

// Jacobi eigen-decomposition of a symmetric S: returns the eigenvalues k and
// sets U (a rotation, eigenvectors as rows) with S = U^T x diag(k) x U.
CVector3<float> spect_decomp(const CMatrix3& s, CMatrix3& u);

// Among the 24 axis permutations and sign flips of the stretch u, finds the
// one closest to the identity; permutes k to match and returns the
// correcting quaternion p (the caller then sets u = u (x) p).
CQuaternion snuggle(const CQuaternion& u, CVector3<float>& k);

}  // namespace KT
