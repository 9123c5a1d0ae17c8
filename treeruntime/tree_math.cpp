#include "treeruntime/tree_math.h"

#include <bit>
#include <cmath>

namespace trt {
namespace {

// Normalisation guard: 100 x the f32 epsilon.
constexpr float kNormalizeGuard = 100.0f * std::numeric_limits<float>::epsilon();

float SquaredLength(const stVec3& v) {
  const double x = v.x;
  const double y = v.y;
  const double z = v.z;
  return static_cast<float>(x * x + y * y + z * z);
}

float FastSqrt(float q) {
  // The exponent is halved by the shift; 0x1fc00000 puts the bias back.
  const std::int32_t bits = std::bit_cast<std::int32_t>(q);
  const std::uint32_t root = static_cast<std::uint32_t>(bits >> 1) + 0x1fc00000u;
  return std::bit_cast<float>(root);
}

// M := R x M
void MultiplyInto(const stMat3& r, stMat3& m) { m = r * m; }

stMat3 MakeRows(float a0, float a1, float a2, float b0, float b1, float b2, float c0, float c1,
                float c2) {
  stMat3 r;
  r.m[0] = a0;
  r.m[1] = a1;
  r.m[2] = a2;
  r.m[3] = b0;
  r.m[4] = b1;
  r.m[5] = b2;
  r.m[6] = c0;
  r.m[7] = c1;
  r.m[8] = c2;
  return r;
}

float Radians(float degrees) { return degrees / kRadToDeg; }

}  // namespace

std::int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

void stVec3::Normalize() {
  const float q = SquaredLength(*this);
  const float length = q > kNormalizeGuard ? std::sqrt(q) : 0.01f;
  const float inverse = 1.0f / length;
  x *= inverse;
  y *= inverse;
  z *= inverse;
}

stVec3 operator+(const stVec3& a, const stVec3& b) {
  return {static_cast<float>(static_cast<double>(a.x) + b.x),
          static_cast<float>(static_cast<double>(a.y) + b.y),
          static_cast<float>(static_cast<double>(a.z) + b.z)};
}

stVec3 operator-(const stVec3& a, const stVec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

stVec3 operator-(const stVec3& v) { return {-v.x, -v.y, -v.z}; }

stVec3 operator*(const stVec3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

float Dot(const stVec3& a, const stVec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

stVec3 Cross(const stVec3& a, const stVec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

stVec3 Lerp(const stVec3& a, const stVec3& b, float t) { return a + (b - a) * t; }

float FastLength(const stVec3& v) { return FastSqrt(SquaredLength(v)); }

float FastDistance(const stVec3& a, const stVec3& b) { return FastLength(b - a); }

float AngleBetween(const stVec3& unitDirection, const stVec3& v) {
  float d = Dot(unitDirection, v);
  // A NaN dot product stays NaN; only real values are clamped.
  if (d > 1.0f) d = 1.0f;
  if (d < -1.0f) d = -1.0f;
  return std::acos(d);
}

void stMat3::RotateX(float degrees) {
  const float a = Radians(degrees);
  const float c = std::cos(a);
  const float s = std::sin(a);
  MultiplyInto(MakeRows(1.0f, 0.0f, 0.0f, 0.0f, c, s, 0.0f, -s, c), *this);
}

void stMat3::RotateY(float degrees) {
  const float a = Radians(degrees);
  const float c = std::cos(a);
  const float s = std::sin(a);
  MultiplyInto(MakeRows(c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c), *this);
}

void stMat3::RotateZ(float degrees) {
  const float a = Radians(degrees);
  const float c = std::cos(a);
  const float s = std::sin(a);
  MultiplyInto(MakeRows(c, s, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 1.0f), *this);
}

void stMat3::RotateYZ(float degreesY, float degreesZ) {
  const float a = Radians(degreesY);
  const float b = Radians(degreesZ);
  const float ca = std::cos(a);
  const float sa = std::sin(a);
  const float cb = std::cos(b);
  const float sb = std::sin(b);
  MultiplyInto(MakeRows(ca * cb, ca * sb, -sa, -sb, cb, 0.0f, sa * cb, sa * sb, ca), *this);
}

void stMat3::RotateAxis(float degrees, float axisX, float axisY, float axisZ) {
  MultiplyInto(AxisAngle(degrees, axisX, axisY, axisZ), *this);
}

stMat3 stMat3::AxisAngle(float degrees, float x, float y, float z) {
  const float a = Radians(degrees);
  const float c = std::cos(a);
  const float s = std::sin(a);
  const float t = 1.0f - c;
  return MakeRows(c + t * x * x, t * x * y + s * z, t * x * z - s * y,  //
                  t * x * y - s * z, c + t * y * y, t * y * z + s * x,  //
                  t * x * z + s * y, t * y * z - s * x, c + t * z * z);
}

stVec3 stMat3::MultiplyColumn(const stVec3& v) const {
  return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
          m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

stMat3 operator*(const stMat3& a, const stMat3& b) {
  stMat3 r;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      r.m[row * 3 + col] = a.m[row * 3] * b.m[col] + a.m[row * 3 + 1] * b.m[3 + col] +
                           a.m[row * 3 + 2] * b.m[6 + col];
    }
  }
  return r;
}

stVec3 operator*(const stVec3& v, const stMat3& m) {
  return {v.x * m.m[0] + v.y * m.m[3] + v.z * m.m[6], v.x * m.m[1] + v.y * m.m[4] + v.z * m.m[7],
          v.x * m.m[2] + v.y * m.m[5] + v.z * m.m[8]};
}

stVec3 operator*(const stVec3& p, const stMat4& m) {
  const float* e = m.m;
  return {p.x * e[0] + p.y * e[4] + p.z * e[8] + e[12], p.x * e[1] + p.y * e[5] + p.z * e[9] + e[13],
          p.x * e[2] + p.y * e[6] + p.z * e[10] + e[14]};
}

}  // namespace trt
