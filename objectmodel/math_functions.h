// Scalar helpers, the shared angle constants, the random-number function and
// the ray/triangle test of the scene library's math layer.
//
// All of these are reentrant except RandomUnit, which uses one process-wide
// generator.
#pragma once

#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

// pi is atan(1) x 4 computed in double precision and stored as a float; the
// others derive from that float.
inline constexpr f32 kPi = static_cast<f32>(3.14159265358979323846);
inline constexpr f32 kTwoPi = kPi * 2.0f;
inline constexpr f32 kHalfPi = kPi * 0.5f;
inline constexpr f32 kDegreesToRadians = kPi / 180.0f;

// Single-precision wrappers of the C library.
f32 Cos(f32 x);
f32 Sin(f32 x);
f32 Sqrt(f32 x);
f32 Pow(f32 x, f32 y);
f32 Atan2(f32 y, f32 x);
f32 Fabs(f32 x);

// b when b <= a, else a: with equal arguments the second one is returned.
template <typename T>
constexpr T Min(T a, T b) {
  return b <= a ? b : a;
}
// a only when b < a, else b: with equal arguments the second one is returned.
template <typename T>
constexpr T Max(T a, T b) {
  return b < a ? a : b;
}
template <typename T>
constexpr T Abs(T a) {
  return a < T(0) ? -a : a;
}

// The one float-to-integer conversion of the library, defined for every
// input: the value is truncated towards zero; NaN, the infinities and values
// whose truncation does not fit an i32 give INT32_MIN (the "integer
// indefinite" value the original hardware produced).
i32 TruncateToI32(f64 x);
// The unsigned form used for seeds: NaN and values at or below 0 give 0,
// values beyond the range UINT32_MAX.
u32 TruncateToU32(f64 x);

// Rounds halves away from zero: x > 0 gives truncate(x + 0.5), else
// truncate(x - 0.5), converted like TruncateToI32.
i32 Round(f32 x);

// acos clamped to its domain: x <= -1 gives pi, x >= 1 gives 0.
f32 SafeAcos(f32 x);

// A value in [0, 1]: the next value of the private 15-bit generator divided
// by 32767. A seed > 0 first restarts the generator with the seed truncated
// to an integer (seeds beyond the 32-bit range saturate); 0, negative or NaN
// seeds continue the current sequence.
f32 RandomUnit(f32 seed);

// Ray against triangle (p0, p1, p2). `normal` receives the unit face normal
// (p1 - p0) x (p2 - p0) (unnormalised when its length is 0). A one-sided test
// (twoSided false) only hits faces turned against the ray. A ray parallel to
// the plane, a degenerate triangle, a hit behind the origin or a hit exactly
// on an edge is a miss; `hit` receives the point only when the plane is hit
// at t >= 0.
bool IntersectRayTriangle(const CVector3<float>& p0, const CVector3<float>& p1, const CVector3<float>& p2,
                          const CVector3<float>& origin, const CVector3<float>& direction, bool twoSided,
                          CVector3<float>& hit, CVector3<float>& normal);

// True when none of the four floats of a static record is NaN.
bool AreStaticFloatsValid(const f32 (&values)[4]);

}  // namespace KT
