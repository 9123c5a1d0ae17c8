#include "render/lights/directional_light.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CDirectionalLight::Update(i32 time) {
  const Result r = CLight::Update(time);
  if (Failed(r)) return r;
  worldDirection_ = WorldDirectionOf(direction_, GetWorldMatrix());
  return kOk;
}

Result CDirectionalLight::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CDirectionalLight::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CLight::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CDirectionalLight* other = DynamicCast<CDirectionalLight>(target);
  if (other == nullptr) return kErrNotFound;
  other->direction_ = direction_;
  other->worldDirection_ = worldDirection_;
  return kOk;
}

Result CDirectionalLight::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CLight::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadFloatBlock(stream, direction_);
  return r;
}

Result CDirectionalLight::Save(CStream& stream, u32 flags) {
  Result r = CLight::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, direction_);
  return r;
}

void CDirectionalLight::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CDirectionalLight Member");
  visitor.OpenGroup();
  visitor.Vector3(u"Direction", &direction_);
  visitor.Vector3(u"WorldDirection", &worldDirection_);
  visitor.EndGroup();
  CLight::DescribeMembers(visitor);
}

u32 CDirectionalLight::GetMemorySize() const { return CLight::GetMemorySize() + 24; }

u32 CDirectionalLight::GetSaveSize() const { return CLight::GetSaveSize() + 20; }

}  // namespace KT
