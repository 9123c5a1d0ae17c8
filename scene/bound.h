// KT::CBound: the bounding-volume record of the scene library, an
// axis-aligned box kept together with the sphere that encloses it, and
// KT::CBound2D, its flat counterpart for 2-D point sets.
//
// Spatial objects hold their world bound in a CBound, geometry data the
// bound of its vertices, and nodes merge their children's bounds into
// their own. Every operation that builds a bound from a box keeps
//   Center = (Min + Max) x 0.5   and   Radius = |Min - Center|,
// the half diagonal of the box, so the sphere passes through its corners.
// A Radius of 0 means empty: the empty bound has every vector at zero, and
// a bound around a single point (Radius 0) is treated as empty by Merge.
//
// No operation reports errors; all arithmetic is single precision.
#pragma once

#include <vector>

#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

struct CMatrix4;

struct CBound {
  f32 Radius = 0.0f;  // radius of the enclosing sphere; 0 = empty
  CVector3<float> Center = kVectorZero;
  CVector3<float> Min = kVectorZero;
  CVector3<float> Max = kVectorZero;

  // The empty bound.
  CBound() = default;
  // Copying copies all ten floats.
  CBound(const CBound&) = default;
  CBound& operator=(const CBound&) = default;

  // Exact equality of all ten floats.
  bool operator==(const CBound& other) const = default;

  // Resets to the empty bound.
  void Clear();
  bool IsEmpty() const { return Radius == 0.0f; }

  CVector3<float>* GetCenter() { return &Center; }
  const CVector3<float>* GetCenter() const { return &Center; }

  // Min = min, Max = max, then Center and Radius from them. The caller
  // guarantees min <= max per component.
  void SetMinMax(const CVector3<float>& min, const CVector3<float>& max);

  // Grows this bound to contain `other`: an empty `other` changes nothing;
  // an empty bound becomes a copy of `other`; otherwise the box becomes the
  // component-wise union of both boxes, with Center and Radius recomputed.
  // `other` may be this bound.
  void Merge(const CBound& other);

  // The bound of `count` points: the smallest box around them with its
  // sphere. A count below 1 (or null points) gives the empty bound; one
  // point, or identical points, gives a bound of Radius 0.
  void FromPoints(i32 count, const CVector3<float>* points);
  // The same over a vector; an empty vector gives the empty bound.
  void FromPoints(const std::vector<CVector3<float>>& points);

  // out = the axis-aligned bound of this bound's box after transforming its
  // eight corners by `matrix` (row vectors, divided by w). Radius is not
  // looked at: the result is the box around the transformed box with its
  // sphere recomputed, not the transformed sphere. `out` may be this bound.
  void Transform(CBound& out, const CMatrix4& matrix) const;
};

// Resizes `out` to 8 and fills it with the corners of the box [min, max]:
// (min.x, min.y, min.z), (max.x, min.y, min.z), (max.x, max.y, min.z),
// (min.x, max.y, min.z), then the same four with max.z. Always eight
// points, also when min equals max.
void BoxCorners(std::vector<CVector3<float>>& out, const CVector3<float>& min, const CVector3<float>& max);

struct CBound2D {
  f32 Radius = 0.0f;
  CVector2 Center;
  CVector2 Min;
  CVector2 Max;

  // Radius 0, every vector the 2-D zero vector.
  CBound2D() = default;

  bool operator==(const CBound2D& other) const = default;

  // The bound of `count` points given as interleaved (x, y) pairs
  // (2 x count floats). A count below 1 (or null data) gives Radius 0 and
  // every vector zero.
  void FromPoints(i32 count, const f32* xyPairs);
  // The same over an array of 2-D points.
  void FromPoints(i32 count, const CVector2* points);
};

}  // namespace KT
