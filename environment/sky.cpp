#include "environment/sky.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CSky::~CSky() { subObject_.Release(); }

Result CSky::SetSubObject(CBase* object) { return SetSlot(subObject_, object); }

Result CSky::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CSky::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CSky*>(out.Get());
  return CloneSlot(subObject_.Get(), cloneMap, flags, CPointer<CSlotOwner>(copy), copy->subObject_);
}

Result CSky::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CSky* other = DynamicCast<CSky>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->FogIncluded = FogIncluded;
  return AssignPointerMember(displaced, subObject_, other->subObject_);
}

Result CSky::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  r = v >= kVersionWideId ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  return Failed(r) ? r : ReadBool(stream, FogIncluded);
}

Result CSky::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, subObject_);
}

Result CSky::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, subObject_.Get());
  if (Succeeded(r)) r = WriteBool(stream, FogIncluded);
  return r;
}

void CSky::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CSky Member");
  visitor.OpenGroup();
  visitor.Bool(u"FogIncluded", &FogIncluded);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

void CSky::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(subObject_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

u32 CSky::GetMemorySize() const { return CDorun::GetMemorySize() + 8; }

u32 CSky::GetSaveSize() const { return CDorun::GetSaveSize() + 17; }

}  // namespace KT
