#include "environment/terrain.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CTerrain::~CTerrain() {
  subObject2_.Release();
  subObject1_.Release();
}

Result CTerrain::SetSubObject1(CBase* object) { return SetSlot(subObject1_, object); }

Result CTerrain::SetSubObject2(CBase* object) { return SetSlot(subObject2_, object); }

Result CTerrain::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CTerrain::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CTerrain*>(out.Get());
  const CPointer<CSlotOwner> held(copy);
  r = CloneSlot(subObject1_.Get(), cloneMap, flags, held, copy->subObject1_);
  return Failed(r) ? r : CloneSlot(subObject2_.Get(), cloneMap, flags, held, copy->subObject2_);
}

Result CTerrain::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CTerrain* other = DynamicCast<CTerrain>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  AssignPointerMember(displaced, subObject1_, other->subObject1_);
  return AssignPointerMember(displaced, subObject2_, other->subObject2_);
}

Result CTerrain::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  queuedSubObject1_ = false;
  // SubObject2 is the slot every version stores, so it comes first.
  r = v >= kVersionWideId ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  if (Failed(r) || v < kVersionSubObject1) return r;
  r = ReadObjectId(stream, record);
  queuedSubObject1_ = Succeeded(r);
  return r;
}

Result CTerrain::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, subObject2_);
  if (Succeeded(r) && queuedSubObject1_) r = LinkOwnedPointer(stream, record, this, subObject1_);
  return r;
}

Result CTerrain::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, subObject2_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, subObject1_.Get());
  return r;
}

void CTerrain::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(subObject2_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

u32 CTerrain::GetMemorySize() const { return CDorun::GetMemorySize() + 8; }

u32 CTerrain::GetSaveSize() const { return CDorun::GetSaveSize() + 24; }

}  // namespace KT
