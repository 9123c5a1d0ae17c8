// Helpers shared by the tests of lights, cameras and their controllers.
#pragma once

#include <gtest/gtest.h>

#include "objectmodel/matrix4.h"
#include "objectmodel/vector.h"

namespace KT::test {

// A scene file's first record starts here (header, empty sections, the
// root marker).
inline constexpr std::size_t kFirstRecordOffset = 40;

inline void ExpectVec(const CVector3<float>& got, const CVector3<float>& expected, f32 tolerance = 1e-6f) {
  EXPECT_NEAR(got.x, expected.x, tolerance);
  EXPECT_NEAR(got.y, expected.y, tolerance);
  EXPECT_NEAR(got.z, expected.z, tolerance);
}

// A world matrix scaling by `scale` (row i by component i), then moving by
// `move`.
inline CMatrix4 ScaledWorld(const CVector3<float>& scale, const CVector3<float>& move = {0, 0, 0}) {
  CMatrix4 m;
  m.m[0][0] = scale.x;
  m.m[1][1] = scale.y;
  m.m[2][2] = scale.z;
  m.SetTranslation(move);
  return m;
}

}  // namespace KT::test
