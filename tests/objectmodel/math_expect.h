// Near-equality checks for the math tests of the object model.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/vector.h"

namespace KT::testing {

inline void ExpectNear(const CVector3<float>& a, const CVector3<float>& b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

inline void ExpectNear(const CMatrix3& a, const CMatrix3& b, float tolerance) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << j;
}

inline void ExpectNear(const CMatrix4& a, const CMatrix4& b, float tolerance) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << j;
}

// q and -q are the same rotation.
inline void ExpectSameRotation(const CQuaternion& a, const CQuaternion& b, float tolerance) {
  EXPECT_NEAR(std::fabs(a.Dot(b)), 1.0f, tolerance) << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w
                                                     << ") vs (" << b.x << ", " << b.y << ", " << b.z << ", "
                                                     << b.w << ")";
}

inline bool AllFinite(const CMatrix3& m) {
  for (const auto& row : m.m)
    for (float e : row)
      if (!std::isfinite(e)) return false;
  return true;
}

}  // namespace KT::testing
