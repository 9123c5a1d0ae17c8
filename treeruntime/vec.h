// The small vector of the curve code and the axis-aligned box built on it.
//
// stVec holds up to five f32 components and how many of them are in use;
// the curves use it with two (a point in the plane), the box with three.
#pragma once

#include "treeruntime/tree_math.h"

namespace trt {

struct stVec {
  static constexpr int kMaxSize = 5;

  float m_afData[kMaxSize] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  int m_nSize = 3;

  // Three zero components.
  stVec() = default;
  // Two components (a point in the plane).
  stVec(float x, float y);

  float& operator[](int index) { return m_afData[index]; }
  float operator[](int index) const { return m_afData[index]; }

  // Square root of the sum of squares of the components in use.
  float Length() const;
  // Divides by the length unless it is 0 (a zero vector stays zero).
  void Normalize();
};

// Component-wise over the smaller of the two sizes; the result has that size.
stVec operator+(const stVec& a, const stVec& b);
stVec operator-(const stVec& a, const stVec& b);
// Every component in use scaled; the size is kept.
stVec operator*(const stVec& v, float s);

// Axis-aligned box: the minimum and the maximum corner, three components
// each. A new box is empty: minimum (M, M, M) and maximum (-M, -M, -M), M
// being the largest finite f32, so that adding anything replaces both.
// The comparisons are strict and a NaN component changes nothing.
struct stRegion {
  stVec m_cMin;
  stVec m_cMax;

  stRegion();

  // True while nothing has been added (some minimum above its maximum).
  bool IsEmpty() const;
};

// A copy of the box grown to hold the point; the operand is unchanged.
stRegion operator+(const stRegion& box, const stVec3& point);
// The union of the two boxes; the operands are unchanged.
stRegion operator+(const stRegion& box, const stRegion& other);

}  // namespace trt
