#include "platform/host/matrix3.h"

#include <gtest/gtest.h>

namespace {

void ExpectNear(const Matrix3& a, const Matrix3& b, float tolerance) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << j;
}

TEST(HostMatrix3, ProductAppliesTheLeftOperandFirst) {
  const Matrix3 scale = ComposeSRT(Point3(2, 2, 2), Quat(), Point3());
  const Matrix3 move = ComposeSRT(Point3(1, 1, 1), Quat(), Point3(1, 0, 0));
  const Point3 p = Point3(1, 0, 0) * (scale * move);
  EXPECT_EQ(p, Point3(3, 0, 0));
  EXPECT_EQ(Point3(1, 0, 0) * (move * scale), Point3(4, 0, 0));
}

TEST(HostMatrix3, InverseUndoesAnAffineTransform) {
  const Matrix3 m = ComposeSRT(Point3(2, 3, 0.5f), Quat(0.2f, 0.3f, -0.1f, 0.927362f), Point3(5, -1, 2));
  ExpectNear(m * Inverse(m), Matrix3(), 1e-5f);
  ExpectNear(Inverse(m) * m, Matrix3(), 1e-5f);
}

TEST(HostMatrix3, SingularMatrixInvertsToTheIdentity) {
  const float flat[12] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 4, 5, 6};
  EXPECT_EQ(Inverse(Matrix3(flat)), Matrix3());
}

TEST(HostMatrix3, RowsAndTranslation) {
  Matrix3 m;
  m.SetRow(1, Point3(0, 2, 0));
  m.SetTrans(Point3(7, 8, 9));
  EXPECT_EQ(m.GetRow(1), Point3(0, 2, 0));
  EXPECT_EQ(m.GetTrans(), Point3(7, 8, 9));
  EXPECT_EQ(Point3(1, 1, 1) * m, Point3(8, 10, 10));
}

TEST(HostMatrix3, ZeroQuaternionGivesTheIdentityRotation) {
  EXPECT_EQ(RotationMatrix(Quat(0, 0, 0, 0)), Matrix3());
}

}  // namespace
