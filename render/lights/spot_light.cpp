#include "render/lights/spot_light.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CSpotLight::SetAttenuation(u32 index, f32 value) {
  if (index >= 3) return kErrOutOfRange;
  attenuation_[index] = value;
  SetModified();
  return kOk;
}

Result CSpotLight::Update(i32 time) {
  const Result r = CLight::Update(time);
  if (Failed(r)) return r;
  Vec3TransformCoord(worldLocation_, location_, GetWorldMatrix());
  worldDirection_ = WorldDirectionOf(direction_, GetWorldMatrix());
  return kOk;
}

Result CSpotLight::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CSpotLight::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CLight::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CSpotLight* other = DynamicCast<CSpotLight>(target);
  if (other == nullptr) return kErrNotFound;
  other->location_ = location_;
  other->worldLocation_ = worldLocation_;
  other->direction_ = direction_;
  other->worldDirection_ = worldDirection_;
  other->range_ = range_;
  other->falloff_ = falloff_;
  for (int i = 0; i < 3; ++i) other->attenuation_[i] = attenuation_[i];
  other->theta_ = theta_;
  other->phi_ = phi_;
  return kOk;
}

Result CSpotLight::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CLight::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadFloatBlock(stream, location_);
  if (Succeeded(r)) r = ReadFloatBlock(stream, direction_);
  if (Succeeded(r)) r = ReadU32(stream, range_);
  if (Succeeded(r)) r = ReadU32(stream, falloff_);
  if (Succeeded(r)) r = ReadFloats(stream, attenuation_, 3);
  if (Succeeded(r)) r = ReadU32(stream, theta_);
  if (Succeeded(r)) r = ReadU32(stream, phi_);
  return r;
}

Result CSpotLight::Save(CStream& stream, u32 flags) {
  Result r = CLight::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, location_);
  if (Succeeded(r)) r = WriteFloatBlock(stream, direction_);
  if (Succeeded(r)) r = WriteFloat(stream, range_);
  if (Succeeded(r)) r = WriteFloat(stream, falloff_);
  if (Succeeded(r)) r = WriteFloats(stream, attenuation_, 3);
  if (Succeeded(r)) r = WriteFloat(stream, theta_);
  if (Succeeded(r)) r = WriteFloat(stream, phi_);
  return r;
}

void CSpotLight::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CSpotLight Member");
  visitor.OpenGroup();
  visitor.Vector3(u"Location", &location_);
  visitor.Vector3(u"WorldLocation", &worldLocation_);
  visitor.Vector3(u"Direction", &direction_);
  visitor.Vector3(u"WorldDirection", &worldDirection_);
  visitor.Float(u"Range", &range_);
  visitor.Float(u"Falloff", &falloff_);
  visitor.Float(u"Attenuation0", &attenuation_[0]);
  visitor.Float(u"Attenuation1", &attenuation_[1]);
  visitor.Float(u"Attenuation2", &attenuation_[2]);
  visitor.Float(u"Theta", &theta_);
  visitor.Float(u"Phi", &phi_);
  visitor.EndGroup();
  CLight::DescribeMembers(visitor);
}

u32 CSpotLight::GetMemorySize() const { return CLight::GetMemorySize() + 80; }

u32 CSpotLight::GetSaveSize() const { return CLight::GetSaveSize() + 60; }

}  // namespace KT
