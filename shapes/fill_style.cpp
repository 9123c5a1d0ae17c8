#include "shapes/fill_style.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "shapes/color_adjust.h"

namespace KT {

Result CFillStyle::AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  KT::AdjustColor(Color, hue, saturation, brightness, contrast, invert);
  AnimColor = Color;
  AnimOpacity = Opacity;
  SetModified();
  return kOk;
}

Result CFillStyle::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CFillStyle::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CFillStyle* other = DynamicCast<CFillStyle>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CTexture::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->Color = Color;
  other->Opacity = Opacity;
  other->AnimColor = Color;
  other->AnimOpacity = Opacity;
  return kOk;
}

Result CFillStyle::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadFloatBlock(stream, Color);
  if (Succeeded(r)) r = ReadU32(stream, Opacity);
  if (Succeeded(r) && stream.GetStoredVersion(StaticClassRecord()) == static_cast<i32>(kVersionTrailingWords)) {
    u32 dropped[4];
    r = stream.Read(dropped, sizeof(dropped), sizeof(dropped));
  }
  if (Failed(r)) return r;
  AnimColor = Color;
  AnimOpacity = Opacity;
  return kOk;
}

Result CFillStyle::Save(CStream& stream, u32 flags) {
  Result r = CTexture::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, Color);
  if (Succeeded(r)) r = WriteFloat(stream, Opacity);
  return r;
}

void CFillStyle::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CFillStyle Member");
  visitor.OpenGroup();
  visitor.Color(u"Color", &Color);
  visitor.Float(u"Opacity", &Opacity);
  visitor.EndGroup();
  CTexture::DescribeMembers(visitor);
}

u32 CFillStyle::GetMemorySize() const { return CTexture::GetMemorySize() + 40; }

// Version pair 8, Color 16, Opacity 4.
u32 CFillStyle::GetSaveSize() const { return CTexture::GetSaveSize() + 28; }

}  // namespace KT
