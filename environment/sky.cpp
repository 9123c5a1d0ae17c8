#include "environment/sky.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CSky::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CSky::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CSky* other = DynamicCast<CSky>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->FogIncluded = FogIncluded;
  return AssignSlotTo(*other, displaced);
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

Result CSky::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, GetSubObject());
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

u32 CSky::GetMemorySize() const { return CDorun::GetMemorySize() + 8; }

u32 CSky::GetSaveSize() const { return CDorun::GetSaveSize() + 17; }

}  // namespace KT
