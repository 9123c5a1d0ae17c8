#include "shapes/edge.h"

#include <algorithm>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CEdge::CEdge(const CEdge& other)
    : CDorun(other),
      NewShape(other.NewShape),
      StartPoint(other.StartPoint),
      FillStyleID0(other.FillStyleID0),
      FillStyleID1(other.FillStyleID1),
      LineStyleID(other.LineStyleID),
      AnimStartPoint(other.AnimStartPoint),
      curveCount_(other.curveCount_),
      curves_(other.curves_),
      animCurves_(other.animCurves_) {
  // A failed buffer copy leaves it empty: no segment may be counted then.
  if (curves_.GetCount() < curveCount_) curveCount_ = 0;
}

Result CEdge::SetCurves(const EdgeCurve* curves, u32 count) {
  SetModified();
  animReset_ = true;
  boundDirty_ = true;
  if (count == 0 || curves == nullptr) {
    curves_.Free();
    curveCount_ = 0;
    return kOk;
  }
  const Result r = curves_.Create(count, curves);
  curveCount_ = Failed(r) ? 0 : count;
  return r;
}

Result CEdge::RefreshAnimated() {
  if (animCurves_.GetCount() < curveCount_) {
    const Result r = animCurves_.Create(curveCount_);
    if (Failed(r)) return r;
  }
  const u32 n = std::min(curveCount_, curves_.GetCount());
  std::copy(curves_.begin(), curves_.begin() + n, animCurves_.begin());
  AnimStartPoint = StartPoint;
  animReset_ = false;
  return kOk;
}

Result CEdge::UpdateBound() {
  if (animReset_) RefreshAnimated();
  if (boundDirty_) {
    // The segments are pairs of points: interleaved x, y for the bound.
    const u32 n = std::min(curveCount_, animCurves_.GetCount());
    bound_ = CBound2D();
    if (n > 0) {
      bound_.FromPoints(static_cast<i32>(2 * n), reinterpret_cast<const f32*>(animCurves_.GetData()));
      // Coinciding points still mark where the edge is.
      if (bound_.Radius == 0.0f) bound_.Radius = 1.0f;
    }
    boundDirty_ = false;
  }
  return kOk;
}

Result CEdge::Update(i32 time) {
  if (animReset_) RefreshAnimated();
  return CDorun::Update(time);
}

Result CEdge::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CEdge::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CEdge* other = DynamicCast<CEdge>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->animReset_ = true;
  other->StartPoint = StartPoint;
  other->FillStyleID0 = FillStyleID0;
  other->FillStyleID1 = FillStyleID1;
  other->LineStyleID = LineStyleID;
  other->NewShape = NewShape;
  r = other->animCurves_.CopyFrom(animCurves_);
  if (Failed(r)) return r;
  other->AnimStartPoint = AnimStartPoint;
  other->boundDirty_ = true;
  r = other->curves_.CopyFrom(curves_);
  other->curveCount_ = Failed(r) ? 0 : curveCount_;
  return r;
}

Result CEdge::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  u32 n = 0;
  if (Succeeded(r)) r = ReadU32(stream, n);
  if (Failed(r)) return r;
  curveCount_ = 0;
  if (n > 0) {
    r = stream.CheckAvailable(n, sizeof(EdgeCurve));
    if (Succeeded(r)) r = curves_.Create(n);
    if (Failed(r)) return r;
    curveCount_ = n;
    const u32 bytes = n * static_cast<u32>(sizeof(EdgeCurve));
    r = stream.Read(curves_.GetData(), bytes, bytes);
  }
  if (Succeeded(r)) r = ReadFloatBlock(stream, StartPoint);
  for (u16* id : {&FillStyleID0, &FillStyleID1, &LineStyleID}) {
    if (Succeeded(r)) r = stream.Read(id, 2, 2);
  }
  if (Succeeded(r)) r = ReadBool(stream, NewShape);
  if (Failed(r)) return r;
  boundDirty_ = true;
  return RefreshAnimated();
}

Result CEdge::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, curveCount_);
  if (Succeeded(r) && curveCount_ > 0) {
    r = stream.Write(curves_.GetData(), curveCount_ * static_cast<u32>(sizeof(EdgeCurve)));
  }
  if (Succeeded(r)) r = WriteFloatBlock(stream, StartPoint);
  for (const u16* id : {&FillStyleID0, &FillStyleID1, &LineStyleID}) {
    if (Succeeded(r)) r = stream.Write(id, 2);
  }
  if (Succeeded(r)) r = WriteBool(stream, NewShape);
  return r;
}

void CEdge::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CEdge Member");
  visitor.OpenGroup();
  visitor.Bool(u"NewShape", &NewShape);
  visitor.UShort(u"FillStyleID0", &FillStyleID0);
  visitor.UShort(u"FillStyleID1", &FillStyleID1);
  visitor.UShort(u"LineStyleID ", &LineStyleID);
  visitor.Point2(u"StartPoint", &StartPoint);
  visitor.RecordArray(u"Curves", curveCount_, [this](u32 index, CMemberVisitor& v) {
    v.Point2(u"ControlPoint", &curves_[index].ControlPoint);
    v.Point2(u"AnchorPoint ", &curves_[index].AnchorPoint);
  });
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CEdge::GetMemorySize() const {
  return CDorun::GetMemorySize() + 96 + static_cast<u32>(sizeof(EdgeCurve)) * curves_.GetCount();
}

// Version pair 8, count 4, 16 per segment, StartPoint 8, identifiers 6,
// NewShape 1.
u32 CEdge::GetSaveSize() const {
  return CDorun::GetSaveSize() + 27 + static_cast<u32>(sizeof(EdgeCurve)) * curveCount_;
}

}  // namespace KT
