// KT::CEdge: one path of a vector shape: a start point followed by
// quadratic curve segments, each a control point and an anchor point (a
// segment runs from the previous anchor, or the start point, through its
// control point to its anchor), with two fill-style and one line-style
// identifier (plain stored numbers: the edge holds no style).
//
// The curves and the start point have animated copies (AnimCurves,
// AnimStartPoint) that the edge morph controllers add their offsets to.
// While AnimReset is set the next Update (or bound computation) refreshes
// them from the stored values; the morphs set it again after they apply,
// so that every frame starts from the stored curves. Bound is the 2-D bound
// of the animated control and anchor points, recomputed on demand while
// BoundDirty is set.
//
// Record, after the KT::CDorun part (27 + 16 n bytes): version pair 1.00;
// n = CurveCount (u32); n segments of ControlPoint x, y and AnchorPoint
// x, y (f32); StartPoint x, y (f32); FillStyleID0, FillStyleID1,
// LineStyleID (u16); NewShape (one byte).
#pragma once

#include "objectmodel/buffer.h"
#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"
#include "scene/bound.h"

namespace KT {

class CEdge : public CDorun {
  KT_DECLARE_CLASS(CEdge)

 public:
  struct EdgeCurve {
    CVector2 ControlPoint;
    CVector2 AnchorPoint;
  };
  static_assert(sizeof(EdgeCurve) == 16, "a curve segment is four packed floats");

  // No curves, start points (0, 0), identifiers 0; BoundDirty and
  // AnimReset set; Bound empty.
  CEdge() = default;
  // The stored values and the animated copies, with deep copies of both
  // curve buffers (an allocation failure leaves a copy without curves);
  // BoundDirty and AnimReset set, Bound empty.
  CEdge(const CEdge& other);

  u32 GetCurveCount() const { return curveCount_; }
  const CBuffer<EdgeCurve>& GetCurves() const { return curves_; }
  const CBuffer<EdgeCurve>& GetAnimCurves() const { return animCurves_; }
  // The animated segments, for the controllers that morph them.
  CBuffer<EdgeCurve>& EditAnimCurves() { return animCurves_; }
  // The segments become a copy of `count` segments (0: none). Sets
  // AnimReset and BoundDirty and marks modified; kErrOutOfMemory leaves no
  // segments.
  Result SetCurves(const EdgeCurve* curves, u32 count);

  bool IsAnimReset() const { return animReset_; }
  void SetAnimReset(bool reset) { animReset_ = reset; }
  bool IsBoundDirty() const { return boundDirty_; }
  void SetBoundDirty(bool dirty) { boundDirty_ = dirty; }
  const CBound2D& GetBound() const { return bound_; }

  // The refresh of the animated copies: AnimCurves grows to CurveCount
  // zeroed segments when it holds fewer (a failure is answered and nothing
  // else changes); the first CurveCount segments and the start point are
  // copied; AnimReset is cleared.
  Result RefreshAnimated();
  // Refreshes the animated copies when AnimReset is set; then, when
  // BoundDirty is set, Bound becomes the bound of the 2 x CurveCount
  // animated control and anchor points (the start point is not included),
  // a bound of radius 0 around at least one segment getting radius 1, and
  // BoundDirty is cleared. kOk.
  Result UpdateBound();

  // With AnimReset, the refresh first (its answer is not used); then the
  // controllers as for every scene object.
  Result Update(i32 time) override;

  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target not an edge: kErrNotFound. Otherwise the CDorun part, the stored
  // values, AnimStartPoint and deep copies of both curve buffers; the
  // target's AnimReset and BoundDirty are set. A failing copy is answered.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // A segment count beyond the bytes left: kErrStream before anything is
  // allocated. A count of 0 leaves the buffer as it was.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CEdge Member": "NewShape", "FillStyleID0", "FillStyleID1",
  // "LineStyleID ", "StartPoint", then "Curves" (one element per segment
  // in use: "ControlPoint", "AnchorPoint "); then the CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  bool NewShape = false;
  CVector2 StartPoint;
  u16 FillStyleID0 = 0;
  u16 FillStyleID1 = 0;
  u16 LineStyleID = 0;
  // The animated copy of StartPoint (not saved).
  CVector2 AnimStartPoint;

 private:
  u32 curveCount_ = 0;
  CBuffer<EdgeCurve> curves_;
  bool boundDirty_ = true;
  bool animReset_ = true;
  CBuffer<EdgeCurve> animCurves_;
  CBound2D bound_;
};

}  // namespace KT
