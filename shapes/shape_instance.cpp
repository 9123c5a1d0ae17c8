#include "shapes/shape_instance.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CShapeInstance::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CShapeInstance::GetUpdateDepth(i32 time, i32& depth) {
  return SettleCachedDepth(*this, cachedDepth_, depth,
                           [time](CSpatial& parent, i32& cached) { return parent.RaiseUpdateDepth(time, cached); });
}

Result CShapeInstance::GetDataUpdateDepth(void* context, i32& depth) {
  return SettleCachedDepth(*this, cachedDepth_, depth, [context](CSpatial& parent, i32& cached) {
    return parent.RaiseDataUpdateDepth(context, cached);
  });
}

Result CShapeInstance::UpdateWorldBound() { return kOk; }

Result CShapeInstance::GetBound(CBound&) { return kDone; }

Result CShapeInstance::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CShapeInstance::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CShapeInstance* other = DynamicCast<CShapeInstance>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->ShapeID = ShapeID;
  other->Depth = Depth;
  other->ClipDepth = ClipDepth;
  return kOk;
}

Result CShapeInstance::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  for (u32* value : {&ShapeID, &Depth, &ClipDepth}) {
    if (Succeeded(r)) r = ReadU32(stream, *value);
  }
  return r;
}

Result CShapeInstance::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  for (const u32 value : {ShapeID, Depth, ClipDepth}) {
    if (Succeeded(r)) r = WriteU32(stream, value);
  }
  return r;
}

void CShapeInstance::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CShapeInstance Member");
  visitor.OpenGroup();
  visitor.Int(u"ShapeID", reinterpret_cast<const i32*>(&ShapeID));
  visitor.Int(u"Depth", reinterpret_cast<const i32*>(&Depth));
  visitor.Int(u"ClipDepth", reinterpret_cast<const i32*>(&ClipDepth));
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

Result CShapeInstance::CollectAnimated(std::vector<CDorun*>& animated) {
  CDorun::CollectAnimated(animated);
  return kOk;
}

void CShapeInstance::ClearMarked() { CDorun::ClearMarked(); }

Result CShapeInstance::Update(i32 time) { return UpdateOk(time); }

u32 CShapeInstance::GetMemorySize() const { return CSpatial::GetMemorySize() + 16; }

// Version pair 8, three u32 12.
u32 CShapeInstance::GetSaveSize() const { return CSpatial::GetSaveSize() + 20; }

}  // namespace KT
