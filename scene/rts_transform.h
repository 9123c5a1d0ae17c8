// KT::CRtsTransform: the 60-byte transform record shared by spatial
// objects, transform controllers and their keys: Sign, Scale (3), Stretch
// quaternion (4), Rotate quaternion (4), Translate (3), the same in memory
// and on disk.
#pragma once

#include "objectmodel/affine_transform.h"

namespace KT {

struct CRtsTransform : AffineParts {
  CRtsTransform() = default;
  constexpr CRtsTransform(const AffineParts& parts) : AffineParts(parts) {}

  // The decomposition of an affine 4x4 matrix (translation in row 3).
  static CRtsTransform FromMatrix(const CMatrix4& matrix);
  // The matrix this transform composes to.
  CMatrix4 ToMatrix() const { return ComposeAffine(*this); }
};

static_assert(sizeof(CRtsTransform) == 60, "the transform record is fifteen packed floats");

inline constexpr CRtsTransform kIdentityTransform{AffineParts::Identity()};
inline constexpr CRtsTransform kMirroredIdentityTransform{AffineParts::MirroredIdentity()};
inline constexpr CRtsTransform kZeroTransform{AffineParts::Zero()};

}  // namespace KT
