#include "shapes/shape.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

CShape::CShape(const CShape& other)
    : CDorun(other),
      Plane(other.Plane),
      Direction(other.Direction),
      TextureScale(other.TextureScale),
      GradientUnit(other.GradientUnit) {}

CShape::~CShape() {
  fillStyles_.clear();
  lineStyles_.clear();
  edges_.clear();
}

void CShape::AddFillStyle(CFillStyle* style) {
  fillStyles_.emplace_back(style);
  SetModified();
}

void CShape::AddLineStyle(CLineStyle* style) {
  lineStyles_.emplace_back(style);
  SetModified();
}

void CShape::AddEdge(CEdge* edge) {
  edges_.emplace_back(edge);
  SetModified();
}

std::vector<CBase*> CShape::AllElements() const {
  std::vector<CBase*> all;
  all.reserve(fillStyles_.size() + lineStyles_.size() + edges_.size());
  for (const auto& p : fillStyles_) all.push_back(p.Get());
  for (const auto& p : lineStyles_) all.push_back(p.Get());
  for (const auto& p : edges_) all.push_back(p.Get());
  return all;
}

// --- placement -------------------------------------------------------------------------------

CVector3<float> CShape::MapPoint(const CVector2& point) const {
  const f32 x = point.x * Direction.x;
  const f32 y = point.y * Direction.y;
  switch (Plane) {
    case 1:
      return {x, y, 0.0f};
    case 2:
      return {0.0f, y, x};
    default:
      return {x, 0.0f, y};
  }
}

Result CShape::UpdateBound() {
  bound_.Clear();
  bool first = true;
  for (const CPointer<CEdge>& edge : edges_) {
    if (!edge) continue;
    edge->UpdateBound();
    const CBound2D& flat = edge->GetBound();
    CBound mapped;
    mapped.Radius = flat.Radius;
    mapped.Center = MapPoint(flat.Center);
    mapped.Min = MapPoint(flat.Min);
    mapped.Max = MapPoint(flat.Max);
    if (first) {
      bound_ = mapped;
      first = false;
    } else {
      bound_.Merge(mapped);
    }
  }
  return kOk;
}

Result CShape::Reserved() { return kErrNotImplemented; }

// --- traversal -------------------------------------------------------------------------------

CBase* CShape::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(AllElements(), name, record, includeDerived, onlyMarked);
}

void CShape::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
                     bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(AllElements(), out, name, record, includeDerived, onlyMarked);
}

bool CShape::UpdateMarked(const ObjectSet& set) {
  bool marked = CDorun::UpdateMarked(set);
  marked = owned_walk::UpdateMarked(&fillStyles_, AllElements(), set) || marked;
  SetMarked(marked);
  return marked;
}

void CShape::ClearMarked() {
  CDorun::ClearMarked();
  owned_walk::ClearMarked(AllElements());
}

Result CShape::ResolveReferences(CBase* root) {
  const Result r = CDorun::ResolveReferences(root);
  if (Failed(r)) return r;
  return owned_walk::ResolveReferences(AllElements(), root);
}

Result CShape::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave(AllElements(), stream, flags);
}

void CShape::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences(AllElements(), visitor);
  CDorun::EnumReferences(visitor);
}

bool CShape::HasSubObjects() const {
  return !fillStyles_.empty() || !lineStyles_.empty() || !edges_.empty() || CDorun::HasSubObjects();
}

Result CShape::CollectAnimated(std::vector<CDorun*>& animated) {
  CDorun::CollectAnimated(animated);
  owned_walk::CollectAnimated(AllElements(), animated);
  return kOk;
}

Result CShape::Update(i32 time) {
  CDorun::Update(time);
  return kOk;
}

// --- copies --------------------------------------------------------------------------------

Result CShape::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CShape::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CPointer<CShape> copy(static_cast<CShape*>(out.Get()));
  // Each element is one nested step; the copy appends in list order since
  // the steps run in order.
  for (const CPointer<CFillStyle>& style : fillStyles_) {
    if (!style) continue;
    const Result e = owned_walk::CloneInto<CFillStyle>(style.Get(), cloneMap, flags,
                                                       [copy](CFillStyle* c) { copy->AddFillStyle(c); });
    if (Failed(e)) return e;
  }
  for (const CPointer<CLineStyle>& style : lineStyles_) {
    if (!style) continue;
    const Result e = owned_walk::CloneInto<CLineStyle>(style.Get(), cloneMap, flags,
                                                       [copy](CLineStyle* c) { copy->AddLineStyle(c); });
    if (Failed(e)) return e;
  }
  for (const CPointer<CEdge>& edge : edges_) {
    if (!edge) continue;
    const Result e =
        owned_walk::CloneInto<CEdge>(edge.Get(), cloneMap, flags, [copy](CEdge* c) { copy->AddEdge(c); });
    if (Failed(e)) return e;
  }
  return kOk;
}

Result CShape::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CShape* other = DynamicCast<CShape>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->TextureScale = TextureScale;
  other->GradientUnit = GradientUnit;
  other->Plane = Plane;
  other->Direction = Direction;
  AssignPointerVectorMember(displaced, fillStyles_, other->fillStyles_);
  AssignPointerVectorMember(displaced, lineStyles_, other->lineStyles_);
  AssignPointerVectorMember(displaced, edges_, other->edges_);
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------

Result CShape::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, fillStyles_);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, lineStyles_);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, edges_);
  if (Succeeded(r)) r = ReadU32(stream, TextureScale);
  if (Succeeded(r)) r = ReadU32(stream, GradientUnit);
  if (Succeeded(r)) r = ReadU32(stream, Plane);
  if (Succeeded(r)) r = ReadFloatBlock(stream, Direction);
  return r;
}

Result CShape::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedList(stream, record, this, fillStyles_);
  if (Succeeded(r)) r = LinkOwnedList(stream, record, this, lineStyles_);
  if (Succeeded(r)) r = LinkOwnedList(stream, record, this, edges_);
  return r;
}

Result CShape::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteReferenceVector(stream, fillStyles_);
  if (Succeeded(r)) r = WriteReferenceVector(stream, lineStyles_);
  if (Succeeded(r)) r = WriteReferenceVector(stream, edges_);
  if (Succeeded(r)) r = WriteFloat(stream, TextureScale);
  if (Succeeded(r)) r = WriteFloat(stream, GradientUnit);
  if (Succeeded(r)) r = WriteU32(stream, Plane);
  if (Succeeded(r)) r = WriteFloatBlock(stream, Direction);
  return r;
}

void CShape::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CShape Member");
  visitor.OpenGroup();
  visitor.Point2(u"Direction", &Direction);
  visitor.Float(u"TextureScale", &TextureScale);
  visitor.Float(u"GradientUnit", &GradientUnit);
  visitor.RecordArray(u"FillStyles", static_cast<u32>(fillStyles_.size()), [this](u32 i, CMemberVisitor& v) {
    v.ObjectRef(u"FillStyle", fillStyles_[i].Get());
  });
  visitor.RecordArray(u"LineStyles", static_cast<u32>(lineStyles_.size()), [this](u32 i, CMemberVisitor& v) {
    v.ObjectRef(u"LineStyles", lineStyles_[i].Get());
  });
  visitor.RecordArray(u"Edges", static_cast<u32>(edges_.size()),
                      [this](u32 i, CMemberVisitor& v) { v.ObjectRef(u"Edge", edges_[i].Get()); });
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CShape::GetMemorySize() const { return CDorun::GetMemorySize() + 136; }

// Version pair 8, TextureScale and GradientUnit 8, Plane 4, Direction 8,
// and the three reference lists.
u32 CShape::GetSaveSize() const {
  return CDorun::GetSaveSize() + 28 + GetPointerVectorSaveSize(static_cast<u32>(fillStyles_.size())) +
         GetPointerVectorSaveSize(static_cast<u32>(lineStyles_.size())) +
         GetPointerVectorSaveSize(static_cast<u32>(edges_.size()));
}

}  // namespace KT
