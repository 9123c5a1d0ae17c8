#include "render/lights/point_light.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CPointLight::SetAttenuation(u32 index, f32 value) {
  if (index >= 3) return kErrOutOfRange;
  attenuation_[index] = value;
  SetModified();
  return kOk;
}

Result CPointLight::Update(i32 time) {
  const Result r = CLight::Update(time);
  if (Failed(r)) return r;
  Vec3TransformCoord(worldLocation_, location_, GetWorldMatrix());
  return kOk;
}

Result CPointLight::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CPointLight::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CLight::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CPointLight* other = DynamicCast<CPointLight>(target);
  if (other == nullptr) return kErrNotFound;
  other->location_ = location_;
  other->worldLocation_ = worldLocation_;
  other->range_ = range_;
  for (int i = 0; i < 3; ++i) other->attenuation_[i] = attenuation_[i];
  return kOk;
}

Result CPointLight::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CLight::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadFloatBlock(stream, location_);
  if (Failed(r) || stream.GetStoredVersion(StaticClassRecord()) < static_cast<i32>(kVersionRange)) return r;
  r = ReadU32(stream, range_);
  if (Succeeded(r)) r = ReadFloats(stream, attenuation_, 3);
  return r;
}

Result CPointLight::Save(CStream& stream, u32 flags) {
  Result r = CLight::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, location_);
  if (Succeeded(r)) r = WriteFloat(stream, range_);
  if (Succeeded(r)) r = WriteFloats(stream, attenuation_, 3);
  return r;
}

void CPointLight::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CPointLight Member");
  visitor.OpenGroup();
  visitor.Vector3(u"Location", &location_);
  visitor.Vector3(u"WorldLocation", &worldLocation_);
  visitor.Float(u"Range", &range_);
  visitor.Float(u"Attenuation0", &attenuation_[0]);
  visitor.Float(u"Attenuation1", &attenuation_[1]);
  visitor.Float(u"Attenuation2", &attenuation_[2]);
  visitor.EndGroup();
  CLight::DescribeMembers(visitor);
}

u32 CPointLight::GetMemorySize() const { return CLight::GetMemorySize() + 40; }

u32 CPointLight::GetSaveSize() const { return CLight::GetSaveSize() + 36; }

}  // namespace KT
