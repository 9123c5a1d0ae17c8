#include "objectmodel/math_functions.h"

#include <cmath>

#include "platform/crt_random.h"

namespace KT {

f32 Cos(f32 x) { return std::cos(x); }
f32 Sin(f32 x) { return std::sin(x); }
f32 Sqrt(f32 x) { return std::sqrt(x); }
f32 Pow(f32 x, f32 y) { return std::pow(x, y); }
f32 Atan2(f32 y, f32 x) { return std::atan2(y, x); }
f32 Fabs(f32 x) { return std::fabs(x); }

i32 TruncateToI32(f64 x) {
  // NaN fails the comparison as well.
  if (x > -2147483649.0 && x < 2147483648.0) return static_cast<i32>(x);
  return INT32_MIN;
}

u32 TruncateToU32(f64 x) {
  if (std::isnan(x) || x <= 0.0) return 0;
  if (x >= 4294967295.0) return UINT32_MAX;
  return static_cast<u32>(x);
}

i32 Round(f32 x) {
  // In double, so that x + 0.5 is exact for every float.
  const f64 d = x;
  return TruncateToI32(x > 0.0f ? d + 0.5 : d - 0.5);
}

f32 SafeAcos(f32 x) {
  if (x <= -1.0f) return kPi;
  if (x >= 1.0f) return 0.0f;
  return std::acos(x);
}

f32 RandomUnit(f32 seed) {
  if (seed > 0.0f) CrtSrand(TruncateToU32(seed));
  return static_cast<f32>(CrtRand() / static_cast<f64>(kCrtRandMax));
}

bool IntersectRayTriangle(const CVector3<float>& p0, const CVector3<float>& p1, const CVector3<float>& p2,
                          const CVector3<float>& origin, const CVector3<float>& direction, bool twoSided,
                          CVector3<float>& hit, CVector3<float>& normal) {
  normal = (p1 - p0).Cross(p2 - p0);
  normal.Normalize();
  const f32 facing = normal.Dot(direction);
  if (!twoSided && facing >= 0.0f) return false;
  // Parallel rays and degenerate triangles have no single crossing point.
  if (facing == 0.0f) return false;
  const f32 t = -(origin.Dot(normal) - p0.Dot(normal)) / facing;
  if (!(t >= 0.0f)) return false;
  hit = origin + direction * t;
  const CVector3<float>* corners[3] = {&p0, &p1, &p2};
  for (int i = 0; i < 3; ++i) {
    const CVector3<float>& a = *corners[i];
    const CVector3<float>& b = *corners[(i + 1) % 3];
    // Strictly inside: a hit exactly on an edge is a miss.
    if (!((b - a).Cross(hit - a).Dot(normal) > 0.0f)) return false;
  }
  return true;
}

bool AreStaticFloatsValid(const f32 (&values)[4]) {
  for (f32 v : values) {
    if (std::isnan(v)) return false;
  }
  return true;
}

}  // namespace KT
