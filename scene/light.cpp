#include "scene/light.h"

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CLight::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CLight::UpdateWorldBound() { return PlaceBoundAtOrigin(*this); }

Result CLight::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CLight* other = DynamicCast<CLight>(target);
  if (other == nullptr) return kErrNotFound;
  other->rgb_ = rgb_;
  other->multiplier_ = multiplier_;
  other->castShadow_ = castShadow_;
  return r;
}

Result CLight::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  r = ReadFloats(stream, &rgb_.r, 3);
  if (Succeeded(r) && v < static_cast<i32>(kVersionNoFiller)) {
    // The oldest records keep a fourth colour word that nothing uses.
    u32 filler = 0;
    r = ReadU32(stream, filler);
  }
  if (Succeeded(r) && v >= static_cast<i32>(kVersionMultiplier)) r = ReadU32(stream, multiplier_);
  if (Succeeded(r)) r = ReadBool(stream, castShadow_);
  return r;
}

Result CLight::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloats(stream, &rgb_.r, 3);
  if (Succeeded(r)) r = WriteFloat(stream, multiplier_);
  if (Succeeded(r)) r = WriteBool(stream, castShadow_);
  return r;
}

void CLight::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CLight Member");
  visitor.OpenGroup();
  visitor.Bool(u"CastShadow", &castShadow_);
  visitor.Color(u"Rgb", &rgb_);
  visitor.Float(u"Multiplier", &multiplier_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

u32 CLight::GetMemorySize() const { return CSpatial::GetMemorySize() + 24; }

u32 CLight::GetSaveSize() const { return CSpatial::GetSaveSize() + 25; }

CMatrix3 DirectionMatrix(const CMatrix4& world) {
  const CMatrix3 m = world.GetRotation3x3();
  const CMatrix3 cofactors = m.Cofactors();
  const f32 determinant = m.Determinant();
  return determinant == 0.0f ? cofactors : cofactors / determinant;
}

CVector3<float> WorldDirectionOf(const CVector3<float>& direction, const CMatrix4& world) {
  CVector3<float> out = direction.TransformByMatrix3(DirectionMatrix(world));
  out.Normalize();
  return out;
}

Result PlaceBoundAtOrigin(CSpatial& spatial) {
  CBound bound = spatial.GetWorldBound();
  bound.Center = spatial.GetWorldMatrix().GetTranslation();
  spatial.SetWorldBound(bound);
  return kOk;
}

}  // namespace KT
