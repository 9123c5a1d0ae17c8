// KT::CColor: a colour of four floats (red, green, blue, alpha), usually in
// 0..1, with component-wise arithmetic. Nothing is clamped.
#pragma once

#include "objectmodel/types.h"

namespace KT {

struct CColor {
  f32 r = 0.0f;
  f32 g = 0.0f;
  f32 b = 0.0f;
  f32 a = 0.0f;

  constexpr CColor() = default;
  constexpr CColor(f32 r_, f32 g_, f32 b_, f32 a_ = 1.0f) : r(r_), g(g_), b(b_), a(a_) {}

  constexpr CColor operator+(const CColor& c) const { return {r + c.r, g + c.g, b + c.b, a + c.a}; }
  constexpr CColor operator-(const CColor& c) const { return {r - c.r, g - c.g, b - c.b, a - c.a}; }
  constexpr CColor operator*(const CColor& c) const { return {r * c.r, g * c.g, b * c.b, a * c.a}; }
  constexpr CColor operator*(f32 s) const { return {r * s, g * s, b * s, a * s}; }
  constexpr CColor& operator+=(const CColor& c) { return *this = *this + c; }
  constexpr CColor& operator-=(const CColor& c) { return *this = *this - c; }
  constexpr CColor& operator*=(const CColor& c) { return *this = *this * c; }
  constexpr CColor& operator*=(f32 s) { return *this = *this * s; }
  constexpr bool operator==(const CColor& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
};

static_assert(sizeof(CColor) == 16, "CColor is four packed floats");

}  // namespace KT
