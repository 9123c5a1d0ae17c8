#include "environment/water.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CWater::CWater(const CWater& other) : CSingleSlotOwner(other) { other.CopySettings(*this); }

void CWater::CopySettings(CWater& target) const {
  target.WaterColor = WaterColor;
  target.FogEnable = FogEnable;
  target.FogColor = FogColor;
  target.FogDistance = FogDistance;
  target.RefractRate = RefractRate;
  target.ReflectUnder = ReflectUnder;
  target.RefractUnder = RefractUnder;
  target.ReflectAbove = ReflectAbove;
  target.RefractAbove = RefractAbove;
  target.ReflectShift = ReflectShift;
  target.RefractShift = RefractShift;
  target.ReflectBlurness = ReflectBlurness;
  target.RefractBlurness = RefractBlurness;
  target.BlurReflect = BlurReflect;
  target.BlurRefract = BlurRefract;
  target.Softness = Softness;
}

Result CWater::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CWater::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CWater* other = DynamicCast<CWater>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CopySettings(*other);
  return AssignSlotTo(*other, displaced);
}

Result CWater::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  // A 2.01 record still has the short id: it widened one version later.
  r = v >= kVersionWideId ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  if (Succeeded(r)) r = ReadFloats(stream, &WaterColor.r, 3);
  if (Succeeded(r)) r = ReadBool(stream, FogEnable);
  if (Succeeded(r)) r = ReadFloats(stream, &FogColor.r, 3);
  if (Succeeded(r)) r = ReadFloatBlock(stream, FogDistance);
  if (Succeeded(r)) r = ReadU32(stream, RefractRate);
  if (Succeeded(r)) r = ReadU32(stream, ReflectUnder);
  if (Succeeded(r)) r = ReadU32(stream, RefractUnder);
  if (Succeeded(r)) r = ReadU32(stream, ReflectAbove);
  if (Succeeded(r)) r = ReadU32(stream, RefractAbove);
  if (Succeeded(r)) r = ReadU32(stream, ReflectShift);
  if (Succeeded(r)) r = ReadU32(stream, RefractShift);
  if (Succeeded(r)) r = ReadU32(stream, ReflectBlurness);
  if (Succeeded(r) && v >= kVersionRefractBlurness) r = ReadU32(stream, RefractBlurness);
  if (Succeeded(r)) r = ReadBool(stream, BlurReflect);
  if (Succeeded(r)) r = ReadBool(stream, BlurRefract);
  if (Succeeded(r) && v >= kVersionSoftness) r = ReadU32(stream, Softness);
  return r;
}

Result CWater::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, GetSubObject());
  if (Succeeded(r)) r = WriteFloats(stream, &WaterColor.r, 3);
  if (Succeeded(r)) r = WriteBool(stream, FogEnable);
  if (Succeeded(r)) r = WriteFloats(stream, &FogColor.r, 3);
  if (Succeeded(r)) r = WriteFloatBlock(stream, FogDistance);
  if (Succeeded(r)) r = WriteFloat(stream, RefractRate);
  if (Succeeded(r)) r = WriteFloat(stream, ReflectUnder);
  if (Succeeded(r)) r = WriteFloat(stream, RefractUnder);
  if (Succeeded(r)) r = WriteFloat(stream, ReflectAbove);
  if (Succeeded(r)) r = WriteFloat(stream, RefractAbove);
  if (Succeeded(r)) r = WriteFloat(stream, ReflectShift);
  if (Succeeded(r)) r = WriteFloat(stream, RefractShift);
  if (Succeeded(r)) r = WriteFloat(stream, ReflectBlurness);
  if (Succeeded(r)) r = WriteFloat(stream, RefractBlurness);
  if (Succeeded(r)) r = WriteBool(stream, BlurReflect);
  if (Succeeded(r)) r = WriteBool(stream, BlurRefract);
  if (Succeeded(r)) r = WriteU32(stream, Softness);
  return r;
}

void CWater::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CWater Member");
  visitor.OpenGroup();
  visitor.Color(u"WaterColor", &WaterColor);
  visitor.UInt(u"Softness", &Softness);
  visitor.Bool(u"FogEnable", &FogEnable);
  visitor.Color(u"FogColor", &FogColor);
  visitor.Vector3(u"FogDistance", &FogDistance);
  visitor.Float(u"RefractRate", &RefractRate);
  visitor.Float(u"RefractUnder", &RefractUnder);
  visitor.Float(u"RefractAbove", &RefractAbove);
  visitor.Float(u"RefractShift", &RefractShift);
  visitor.Float(u"RefractBlurness", &RefractBlurness);
  visitor.Bool(u"BlurRefract", &BlurRefract);
  visitor.Float(u"ReflectUnder", &ReflectUnder);
  visitor.Float(u"ReflectAbove", &ReflectAbove);
  visitor.Float(u"ReflectShift", &ReflectShift);
  visitor.Float(u"ReflectBlurness", &ReflectBlurness);
  visitor.Bool(u"BlurReflect", &BlurReflect);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CWater::GetMemorySize() const { return CDorun::GetMemorySize() + 88; }

u32 CWater::GetSaveSize() const { return CDorun::GetSaveSize() + 95; }

}  // namespace KT
