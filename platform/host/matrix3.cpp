#include "platform/host/matrix3.h"

#include <cmath>

Matrix3::Matrix3() { IdentityMatrix(); }

Matrix3::Matrix3(const float (&rows)[12]) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = rows[i * 3 + j];
}

Point3 Matrix3::GetRow(int i) const { return {m[i][0], m[i][1], m[i][2]}; }

void Matrix3::SetRow(int i, const Point3& row) {
  m[i][0] = row.x;
  m[i][1] = row.y;
  m[i][2] = row.z;
}

void Matrix3::IdentityMatrix() {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = (i == j) ? 1.0f : 0.0f;
}

Matrix3 Matrix3::operator*(const Matrix3& b) const {
  // As 4x4 matrices with the column (0, 0, 0, 1).
  Matrix3 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      float sum = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
      if (i == 3) sum += b.m[3][j];
      r.m[i][j] = sum;
    }
  }
  return r;
}

Matrix3 Inverse(const Matrix3& a) {
  const float(&m)[4][3] = a.m;
  const double c00 = double(m[1][1]) * m[2][2] - double(m[1][2]) * m[2][1];
  const double c01 = double(m[1][2]) * m[2][0] - double(m[1][0]) * m[2][2];
  const double c02 = double(m[1][0]) * m[2][1] - double(m[1][1]) * m[2][0];
  const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
  Matrix3 r;
  if (det == 0.0 || !std::isfinite(det)) return r;
  const double inv = 1.0 / det;
  double i3[3][3];
  i3[0][0] = c00 * inv;
  i3[0][1] = (double(m[0][2]) * m[2][1] - double(m[0][1]) * m[2][2]) * inv;
  i3[0][2] = (double(m[0][1]) * m[1][2] - double(m[0][2]) * m[1][1]) * inv;
  i3[1][0] = c01 * inv;
  i3[1][1] = (double(m[0][0]) * m[2][2] - double(m[0][2]) * m[2][0]) * inv;
  i3[1][2] = (double(m[0][2]) * m[1][0] - double(m[0][0]) * m[1][2]) * inv;
  i3[2][0] = c02 * inv;
  i3[2][1] = (double(m[0][1]) * m[2][0] - double(m[0][0]) * m[2][1]) * inv;
  i3[2][2] = (double(m[0][0]) * m[1][1] - double(m[0][1]) * m[1][0]) * inv;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(i3[i][j]);
  // The translation row of the inverse is -t x inverse(3x3).
  for (int j = 0; j < 3; ++j) {
    const double t = -(m[3][0] * i3[0][j] + m[3][1] * i3[1][j] + m[3][2] * i3[2][j]);
    r.m[3][j] = static_cast<float>(t);
  }
  return r;
}

Point3 operator*(const Point3& p, const Matrix3& m) {
  return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
          p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
          p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

Matrix3 RotationMatrix(const Quat& q) {
  Matrix3 r;
  const double length = std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w);
  if (length == 0.0 || !std::isfinite(length)) return r;
  const double x = q.x / length, y = q.y / length, z = q.z / length, w = q.w / length;
  const double rows[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                             {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                             {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(rows[i][j]);
  return r;
}

Matrix3 ComposeSRT(const Point3& scale, const Quat& rotation, const Point3& translation) {
  Matrix3 r = RotationMatrix(rotation);
  for (int j = 0; j < 3; ++j) {
    r.m[0][j] *= scale.x;
    r.m[1][j] *= scale.y;
    r.m[2][j] *= scale.z;
  }
  r.SetTrans(translation);
  return r;
}
