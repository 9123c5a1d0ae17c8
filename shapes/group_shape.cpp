#include "shapes/group_shape.h"

#include <algorithm>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

namespace {

// Merges `contribution` into `bound`: the first one is copied.
void Contribute(CBound& bound, bool& any, const CBound& contribution) {
  if (!any) {
    bound = contribution;
    any = true;
  } else {
    bound.Merge(contribution);
  }
}

}  // namespace

CGroupShape::CGroupShape(const CGroupShape& other)
    : CNode(other), GroupID(other.GroupID), Layer(other.Layer), animLayer_(other.animLayer_) {}

CGroupShape::~CGroupShape() {
  for (const CPointer<CShapeInstance>& instance : instances_) {
    if (instance && instance->GetParent() == this) instance->SetParent(nullptr);
  }
}

void CGroupShape::AddShape(CShape* shape) {
  shapes_.emplace_back(shape);
  SetModified();
}

Result CGroupShape::AddShapeInstance(CShapeInstance* instance) {
  if (instance == nullptr || instance->GetParent() != nullptr) return kErrInvalidArg;
  instance->SetParent(this);
  instances_.emplace_back(instance);
  SetModified();
  return kOk;
}

CShape* CGroupShape::ShapeOf(const CShapeInstance& instance) const {
  return instance.ShapeID < shapes_.size() ? shapes_[instance.ShapeID].Get() : nullptr;
}

std::vector<CBase*> CGroupShape::AllElements() const {
  std::vector<CBase*> all = owned_walk::Of(shapes_);
  for (const auto& instance : instances_) all.push_back(instance.Get());
  return all;
}

// --- spatial protocol ------------------------------------------------------------------------

Result CGroupShape::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  for (const CPointer<CShapeInstance>& instance : instances_) {
    if (!instance) continue;
    const Result r = instance->CollectSpatials(spatials);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CGroupShape::GetUpdateDepth(i32 time, i32& depth) {
  return SettleCachedDepth(*this, cachedDepth_, depth,
                           [time](CSpatial& parent, i32& cached) { return parent.RaiseUpdateDepth(time, cached); });
}

Result CGroupShape::UpdateShapeBounds() {
  for (const CPointer<CShape>& shape : shapes_) {
    if (!shape) continue;
    const Result r = shape->UpdateBound();
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CGroupShape::UpdateWorldBound() {
  const Result r = UpdateShapeBounds();
  if (Failed(r)) return r;
  CBound bound;
  bool any = false;
  for (const CPointer<CSpatial>& child : GetChildren()) {
    if (child && child->IsActive() && child->GetWorldBound().Radius > 0.0f) Contribute(bound, any, child->GetWorldBound());
  }
  ForEachPlacement([&](CShapeInstance& instance, const CShape& shape) {
    CBound placed;
    shape.GetBound().Transform(placed, instance.GetWorldMatrix());
    instance.SetWorldBound(placed);
    Contribute(bound, any, placed);
  });
  SetWorldBound(any ? bound : CBound());
  return kOk;
}

Result CGroupShape::GetBound(CBound& bound) {
  CBound merged;
  bool any = false;
  for (const CPointer<CSpatial>& child : GetChildren()) {
    if (!child) continue;
    CBound own;
    if (child->GetBound(own) == kOk) Contribute(merged, any, own);
  }
  const Result r = UpdateShapeBounds();
  if (Failed(r)) return r;
  ForEachPlacement([&](const CShapeInstance& instance, const CShape& shape) {
    CBound placed;
    shape.GetBound().Transform(placed, instance.GetWorldMatrix());
    Contribute(merged, any, placed);
  });
  if (any) bound = merged;
  return kOk;
}

Result CGroupShape::GetShapeBound(const CMatrix4& space, CBound& bound) {
  const Result r = UpdateShapeBounds();
  if (Failed(r)) return r;
  CMatrix4 inverse;
  MatrixInverse(inverse, nullptr, space);
  CBound merged;
  bool any = false;
  ForEachPlacement([&](const CShapeInstance& instance, const CShape& shape) {
    CBound placed;
    shape.GetBound().Transform(placed, instance.GetWorldMatrix() * inverse);
    Contribute(merged, any, placed);
  });
  if (any) bound = merged;
  return kOk;
}

// --- traversal -------------------------------------------------------------------------------

CBase* CGroupShape::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CNode::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(AllElements(), name, record, includeDerived, onlyMarked);
}

void CGroupShape::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  CNode::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(AllElements(), out, name, record, includeDerived, onlyMarked);
}

bool CGroupShape::UpdateMarked(const ObjectSet& set) {
  bool marked = CNode::UpdateMarked(set);
  marked = owned_walk::UpdateMarked(&shapes_, AllElements(), set) || marked;
  SetMarked(marked);
  return marked;
}

void CGroupShape::ClearMarked() {
  CNode::ClearMarked();
  owned_walk::ClearMarked(AllElements());
}

Result CGroupShape::ResolveReferences(CBase* root) {
  const Result r = CNode::ResolveReferences(root);
  if (Failed(r)) return r;
  return owned_walk::ResolveReferences(AllElements(), root);
}

Result CGroupShape::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CNode::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave(AllElements(), stream, flags);
}

void CGroupShape::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences(AllElements(), visitor);
  CNode::EnumReferences(visitor);
}

Result CGroupShape::CollectAnimated(std::vector<CDorun*>& animated) {
  animLayer_ = Layer;
  CNode::CollectAnimated(animated);
  owned_walk::CollectAnimated(AllElements(), animated);
  return kOk;
}

Result CGroupShape::Update(i32 time) {
  const Result r = CNode::Update(time);
  return Failed(r) ? r : kOk;
}

bool CGroupShape::HasSubObjects() const { return !shapes_.empty() || !instances_.empty() || CNode::HasSubObjects(); }

// --- copies --------------------------------------------------------------------------------

Result CGroupShape::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CGroupShape::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CNode::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CPointer<CGroupShape> copy(static_cast<CGroupShape*>(out.Get()));
  for (const CPointer<CShape>& shape : shapes_) {
    if (!shape) continue;
    const Result e =
        owned_walk::CloneInto<CShape>(shape.Get(), cloneMap, flags, [copy](CShape* c) { copy->AddShape(c); });
    if (Failed(e)) return e;
  }
  for (const CPointer<CShapeInstance>& instance : instances_) {
    if (!instance) continue;
    // An instance cloned before for another group keeps its parent there:
    // AddShapeInstance refuses it and the loop goes on.
    const Result e = owned_walk::CloneInto<CShapeInstance>(instance.Get(), cloneMap, flags,
                                                           [copy](CShapeInstance* c) { copy->AddShapeInstance(c); });
    if (Failed(e)) return e;
  }
  return kOk;
}

Result CGroupShape::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CGroupShape* other = DynamicCast<CGroupShape>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CNode::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->GroupID = GroupID;
  other->Layer = Layer;
  if (other != this) {
    for (const CPointer<CShapeInstance>& former : other->instances_) {
      if (former && former->GetParent() == other) former->SetParent(nullptr);
    }
  }
  AssignPointerVectorMember(displaced, shapes_, other->shapes_);
  AssignPointerVectorMember(displaced, instances_, other->instances_);
  for (const CPointer<CShapeInstance>& instance : other->instances_) {
    if (instance) instance->SetParent(other);
  }
  other->SetModified(false);
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------

Result CGroupShape::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CNode::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, GroupID);
  if (Succeeded(r)) r = ReadU32(stream, Layer);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, shapes_);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, instances_);
  if (Failed(r)) return r;
  animLayer_ = Layer;
  return kOk;
}

Result CGroupShape::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CNode::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedList(stream, record, this, shapes_);
  if (Succeeded(r)) r = LinkOwnedList(stream, record, this, instances_);
  if (Failed(r)) return r;
  for (const CPointer<CShapeInstance>& instance : instances_) {
    if (instance) instance->SetParent(this);
  }
  return kOk;
}

Result CGroupShape::Save(CStream& stream, u32 flags) {
  Result r = CNode::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, GroupID);
  if (Succeeded(r)) r = WriteU32(stream, Layer);
  if (Succeeded(r)) r = WriteReferenceVector(stream, shapes_);
  if (Succeeded(r)) r = WriteReferenceVector(stream, instances_);
  return r;
}

void CGroupShape::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CGroupShape Member");
  visitor.OpenGroup();
  visitor.CustomId(u"Group ID", &GroupID);
  visitor.Int(u"Layer", reinterpret_cast<const i32*>(&Layer));
  visitor.RecordArray(u"ShapeData", static_cast<u32>(shapes_.size()),
                      [this](u32 i, CMemberVisitor& v) { v.ObjectRef(u"Shape Data", shapes_[i].Get()); });
  visitor.RecordArray(u"ShapeInstance", static_cast<u32>(instances_.size()),
                      [this](u32 i, CMemberVisitor& v) { v.ObjectRef(u"Shape Instance", instances_[i].Get()); });
  visitor.EndGroup();
  CNode::DescribeMembers(visitor);
}

u32 CGroupShape::GetMemorySize() const { return CSpatial::GetMemorySize() + 64; }

// Version pair 8, GroupID and Layer 8, and both reference lists.
u32 CGroupShape::GetSaveSize() const {
  return CNode::GetSaveSize() + 16 + GetPointerVectorSaveSize(static_cast<u32>(shapes_.size())) +
         GetPointerVectorSaveSize(static_cast<u32>(instances_.size()));
}

}  // namespace KT
