#include "scene/bound.h"

#include <array>

#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"

namespace KT {

namespace {

CVector3<float> ComponentMin(const CVector3<float>& a, const CVector3<float>& b) {
  return {Min(a.x, b.x), Min(a.y, b.y), Min(a.z, b.z)};
}

CVector3<float> ComponentMax(const CVector3<float>& a, const CVector3<float>& b) {
  return {Max(a.x, b.x), Max(a.y, b.y), Max(a.z, b.z)};
}

// Widens [lo, hi] to take in v. A component replaces an extreme only when
// strictly beyond it, so the first point wins ties.
void Extend(f32 v, f32& lo, f32& hi) {
  if (v < lo) lo = v;
  if (v > hi) hi = v;
}

// The eight corners of [min, max] in the order BoxCorners documents.
void FillCorners(CVector3<float>* out, const CVector3<float>& min, const CVector3<float>& max) {
  out[0] = {min.x, min.y, min.z};
  out[1] = {max.x, min.y, min.z};
  out[2] = {max.x, max.y, min.z};
  out[3] = {min.x, max.y, min.z};
  out[4] = {min.x, min.y, max.z};
  out[5] = {max.x, min.y, max.z};
  out[6] = {max.x, max.y, max.z};
  out[7] = {min.x, max.y, max.z};
}

void FinishBound2D(CBound2D& bound) {
  bound.Center = (bound.Min + bound.Max) * 0.5f;
  bound.Radius = (bound.Min - bound.Center).Length();
}

}  // namespace

void CBound::Clear() { *this = CBound(); }

void CBound::SetMinMax(const CVector3<float>& min, const CVector3<float>& max) {
  Min = min;
  Max = max;
  Center = (Min + Max) * 0.5f;
  Radius = (Min - Center).Length();
}

void CBound::Merge(const CBound& other) {
  if (other.Radius == 0.0f) return;
  if (Radius == 0.0f) {
    *this = other;
    return;
  }
  SetMinMax(ComponentMin(Min, other.Min), ComponentMax(Max, other.Max));
}

void CBound::FromPoints(i32 count, const CVector3<float>* points) {
  if (count < 1 || points == nullptr) {
    Clear();
    return;
  }
  CVector3<float> min = points[0];
  CVector3<float> max = points[0];
  for (i32 i = 1; i < count; ++i) {
    Extend(points[i].x, min.x, max.x);
    Extend(points[i].y, min.y, max.y);
    Extend(points[i].z, min.z, max.z);
  }
  SetMinMax(min, max);
}

void CBound::FromPoints(const std::vector<CVector3<float>>& points) {
  if (points.empty()) {
    Clear();
    return;
  }
  // Larger vectors than an i32 can count do not occur in a scene; the
  // count saturates rather than wrapping negative.
  const i32 count = points.size() > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<i32>(points.size());
  FromPoints(count, points.data());
}

void CBound::Transform(CBound& out, const CMatrix4& matrix) const {
  // The corners are taken before `out` is written, so transforming a bound
  // into itself reads the original box. They stay on the stack: this runs
  // for every geometry on every update.
  std::array<CVector3<float>, 8> corners;
  FillCorners(corners.data(), Min, Max);
  for (CVector3<float>& corner : corners) Vec3TransformCoord(corner, corner, matrix);
  out.FromPoints(static_cast<i32>(corners.size()), corners.data());
}

void BoxCorners(std::vector<CVector3<float>>& out, const CVector3<float>& min, const CVector3<float>& max) {
  out.resize(8);
  FillCorners(out.data(), min, max);
}

void CBound2D::FromPoints(i32 count, const f32* xyPairs) {
  if (count < 1 || xyPairs == nullptr) {
    *this = CBound2D();
    return;
  }
  Min = {xyPairs[0], xyPairs[1]};
  Max = Min;
  for (i32 i = 1; i < count; ++i) {
    Extend(xyPairs[2 * i], Min.x, Max.x);
    Extend(xyPairs[2 * i + 1], Min.y, Max.y);
  }
  FinishBound2D(*this);
}

void CBound2D::FromPoints(i32 count, const CVector2* points) {
  if (count < 1 || points == nullptr) {
    *this = CBound2D();
    return;
  }
  Min = points[0];
  Max = Min;
  for (i32 i = 1; i < count; ++i) {
    Extend(points[i].x, Min.x, Max.x);
    Extend(points[i].y, Min.y, Max.y);
  }
  FinishBound2D(*this);
}

}  // namespace KT
