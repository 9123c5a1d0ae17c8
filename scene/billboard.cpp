#include "scene/billboard.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

const char16_t* const CBillboard::kBlendModeNames[3] = {u"BM_AlphaBlend", u"BM_Additive", u"BM_Subtractive"};
const char16_t* const CBillboard::kTypeNames[2] = {u"BT_RotateZ", u"BT_FaceCam"};

CBillboard::CBillboard() = default;

CBillboard::CBillboard(const CBillboard& other)
    : CUvwMappedGeometry(other), blendMode_(other.blendMode_), type_(other.type_) {}

CBillboard::~CBillboard() = default;

Result CBillboard::Create(CPointer<CBillboard>& out) {
  CBillboard* billboard = new (std::nothrow) CBillboard();
  if (billboard == nullptr) return kErrOutOfMemory;
  out = billboard;
  return kOk;
}

u32 CBillboard::GetMemorySize() const { return CGeometry::GetMemorySize() + 16 + 4 * GetUVWMapQuantity(); }

u32 CBillboard::GetSaveSize() const {
  // Version pair, BlendMode and Type (16), then the map list.
  return CGeometry::GetSaveSize() + 16 + GetMapsSaveSize();
}

Result CBillboard::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CBillboard::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the geometry part is copied, so a refused target stays
  // as it was.
  CBillboard* other = DynamicCast<CBillboard>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CGeometry::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->blendMode_ = blendMode_;
  other->type_ = type_;
  CopyMapsTo(*other, displaced);
  return kOk;
}

Result CBillboard::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometry::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, blendMode_);
  if (Succeeded(r)) r = ReadU32(stream, type_);
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  return LoadMaps(stream, record, v >= static_cast<i32>(kVersionWideMapIds));
}

Result CBillboard::Save(CStream& stream, u32 flags) {
  Result r = CGeometry::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, blendMode_);
  if (Succeeded(r)) r = WriteU32(stream, type_);
  if (Succeeded(r)) r = SaveMaps(stream);
  return r;
}

void CBillboard::DescribeMembers(CMemberVisitor& visitor) {
  i32 blendMode = static_cast<i32>(blendMode_);
  i32 type = static_cast<i32>(type_);
  u32 quantity = GetUVWMapQuantity();
  visitor.BeginGroup(u"CBillboard Member");
  visitor.OpenGroup();
  visitor.Enum(u"BlendMode", &blendMode, kBlendModeNames, 3);
  visitor.Enum(u"Type", &type, kTypeNames, 2);
  visitor.UInt(u"UVWMapQuantity", &quantity);
  visitor.EndGroup();
  CGeometry::DescribeMembers(visitor);
}

}  // namespace KT
