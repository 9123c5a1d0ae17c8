// KT::CBoundingBox: a box given by its eight corners. Geometry keeps bone
// boxes of this kind to build the world bound of skinned meshes.
//
// A box built from a minimum and a maximum has its corners in this order:
//   0 (min x, min y, min z)   1 (min x, max y, min z)
//   2 (max x, max y, min z)   3 (max x, min y, min z)
//   4 (min x, min y, max z)   5 (min x, max y, max z)
//   6 (max x, max y, max z)   7 (max x, min y, max z)
// A transformed box keeps eight arbitrary corners (an oriented box);
// merging makes it axis-aligned again.
//
// Record, after the KT::CDorun record: version pair 2.00, then the eight
// corners as three f32 each (96 bytes), in corner order.
#pragma once

#include <array>

#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"

namespace KT {

struct CMatrix4;

class CBoundingBox : public CDorun {
  KT_DECLARE_CLASS(CBoundingBox)

 public:
  using Vec3 = CVector3<float>;
  using Corners = std::array<Vec3, 8>;

  // All eight corners at the origin.
  CBoundingBox() = default;
  // Copies Name and the corners; no chains.
  CBoundingBox(const CBoundingBox& other) : CDorun(other), corners_(other.corners_) {}

  // A new default box into `out`: kOk, or kErrOutOfMemory (`out` unchanged).
  static Result Create(CPointer<CBoundingBox>& out);

  // --- corner arithmetic (no objects made) ----------------------------------------
  // The corners of the box [min, max] in the order above.
  static Corners CornersFromMinMax(const Vec3& min, const Vec3& max);
  // Each corner transformed as a point by `matrix` (divided by w); the
  // order stays.
  static Corners TransformCorners(const Corners& corners, const CMatrix4& matrix);
  // The axis-aligned box (in the order above) of the component-wise minimum
  // and maximum over the corners of `a` and `b`.
  static Corners MergeCorners(const Corners& a, const Corners& b);

  // --- the box ------------------------------------------------------------------
  const Corners& GetCorners() const { return corners_; }
  // Corner i (0..7; anything else is the caller's error).
  const Vec3& GetCorner(u32 i) const { return corners_[i]; }
  void SetCorners(const Corners& corners) {
    corners_ = corners;
    SetModified();
  }
  // The eight corners of [min, max] in the order above; kOk.
  Result SetFromMinMax(const Vec3& min, const Vec3& max);
  // A new box holding this box's corners transformed by `matrix`.
  // kErrOutOfMemory when it cannot be made (`out` unchanged).
  Result Transform(const CMatrix4& matrix, CPointer<CBoundingBox>& out) const;
  // A new axis-aligned box around the corners of `a` and `b` (which may be
  // the same box). kErrOutOfMemory when it cannot be made (`out` unchanged).
  static Result Merge(const CBoundingBox& a, const CBoundingBox& b, CPointer<CBoundingBox>& out);

  // --- overrides ---------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Null target, or one that is not a bounding box: kErrNotFound. Else the
  // KT::CDorun part, then the 24 floats of the corners.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  Corners corners_{};
};

}  // namespace KT
