#include "render/materials/standard_material.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

const char16_t* const CStandardMaterial::kTextureBlendNames[3] = {u"TBT_Modulate", u"TBT_Add", u"TBT_Overlay"};

CStandardMaterial::CStandardMaterial() {
  textureWeight_.fill(1.0f);
  texUvTranslate_.fill(Vec2(0.0f, 0.0f));
  texUvScale_.fill(Vec2(1.0f, 1.0f));
  texUvRotate_.fill(0.0f);
}

CStandardMaterial::~CStandardMaterial() {
  for (CPointer<CTexture>& texture : texture_) texture.Release();
}

void CStandardMaterial::SetTexture(u32 channel, CTexture* texture) {
  texture_[channel] = texture;
  SetModified();
}

f32& CStandardMaterial::TextureWeightRef(u32 channel) {
  SetModified();
  return textureWeight_[channel];
}

void CStandardMaterial::SetTexUvTranslate(u32 channel, f32 u, f32 v) {
  texUvTranslate_[channel] = Vec2(u, v);
  SetModified();
}

void CStandardMaterial::SetTexUvScale(u32 channel, f32 u, f32 v) {
  texUvScale_[channel] = Vec2(u, v);
  SetModified();
}

void CStandardMaterial::SetTexUvRotate(u32 channel, f32 angle) {
  texUvRotate_[channel] = angle;
  SetModified();
}

owned_refs::List CStandardMaterial::Textures() const {
  owned_refs::List refs;
  refs.reserve(kChannelCount);
  for (const CPointer<CTexture>& texture : texture_) refs.push_back(texture.Get());
  return refs;
}

// --- traversal ----------------------------------------------------------------------------------

CBase* CStandardMaterial::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                               bool onlyMarked) {
  if (CBase* hit = CMaterial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find(Textures(), name, record, includeDerived, onlyMarked);
}

void CStandardMaterial::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                bool includeDerived, bool onlyMarked) {
  CMaterial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect(Textures(), out, name, record, includeDerived, onlyMarked);
}

bool CStandardMaterial::UpdateMarked(const ObjectSet& set) {
  const bool own = CMaterial::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked(Textures(), set) || own;
  SetMarked(marked);
  return marked;
}

void CStandardMaterial::ClearMarked() {
  CMaterial::ClearMarked();
  owned_refs::ClearMarked(Textures());
}

Result CStandardMaterial::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences(Textures(), root);
  return Failed(r) ? r : CMaterial::ResolveReferences(root);
}

Result CStandardMaterial::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CMaterial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave(Textures(), stream, flags);
}

void CStandardMaterial::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences(Textures(), visitor);
  CMaterial::EnumReferences(visitor);
}

bool CStandardMaterial::HasSubObjects() const {
  for (u32 i = 0; i < channelCount_ && i < kChannelCount; ++i) {
    if (texture_[i]) return true;
  }
  return CMaterial::HasSubObjects();
}

Result CStandardMaterial::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CMaterial::CollectAnimated(animated);
  return Failed(r) ? r : owned_refs::CollectAnimated(Textures(), animated);
}

Result CStandardMaterial::Update(i32 time) { return UpdateOk(time); }

// --- copies -------------------------------------------------------------------------------------

Result CStandardMaterial::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CStandardMaterial::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CMaterial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CStandardMaterial*>(out.Get());
  for (u32 i = 0; i < kChannelCount; ++i) {
    if (!texture_[i]) continue;
    CPointer<CTexture> clone;
    const Result c = CloneMember(clone, cloneMap, texture_[i].Get(), flags);
    if (Failed(c)) return c;
    copy->SetTexture(i, clone.Get());
  }
  return kOk;
}

Result CStandardMaterial::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  Result r = CMaterial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CStandardMaterial* other = DynamicCast<CStandardMaterial>(target);
  if (other == nullptr) return kErrNotFound;
  other->Ambient = Ambient;
  other->Diffuse = Diffuse;
  other->Specular = Specular;
  other->Filter = Filter;
  other->Shininess = Shininess;
  other->ShineStrength = ShineStrength;
  other->SelfIllum = SelfIllum;
  other->Opacity = Opacity;
  other->Opfall = Opfall;
  other->WireSize = WireSize;
  other->IORefract = IORefract;
  other->DimIntens = DimIntens;
  other->DimMult = DimMult;
  other->SoftThresh = SoftThresh;
  other->TwoSided = TwoSided;
  other->AlphaThreshold = AlphaThreshold;
  other->AlphaRefValue = AlphaRefValue;
  other->ShadowRefValue = ShadowRefValue;
  other->channelCount_ = channelCount_;
  other->DiffTexBlend = DiffTexBlend;
  for (u32 i = 0; i < kChannelCount; ++i) {
    r = AssignPointerMember(displaced, texture_[i], other->texture_[i]);
    if (Failed(r)) return r;
    other->textureWeight_[i] = textureWeight_[i];
    other->texUvTranslate_[i] = texUvTranslate_[i];
    other->texUvScale_[i] = texUvScale_[i];
    other->texUvRotate_[i] = texUvRotate_[i];
  }
  return kOk;
}

// --- persistence --------------------------------------------------------------------------------

Result CStandardMaterial::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  if (v < kVersionWeights) r = ReadBool(stream, TwoSided);
  for (Vec3* colour : {&Ambient, &Diffuse, &Specular, &Filter}) {
    if (Succeeded(r)) r = ReadFloatBlock(stream, *colour);
  }
  for (f32* factor : {&Shininess, &ShineStrength, &SelfIllum, &Opacity, &Opfall, &WireSize, &IORefract, &DimIntens,
                      &DimMult, &SoftThresh}) {
    if (Succeeded(r)) r = ReadU32(stream, *factor);
  }
  if (Succeeded(r) && v >= kVersionWeights) r = ReadBool(stream, TwoSided);
  u32 count = 0;
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Failed(r)) return r;
  // The channels are twelve; a larger count would run past them.
  if (count > kChannelCount) return kErrInvalidArg;
  channelCount_ = count;
  for (u32 i = 0; Succeeded(r) && i < count; ++i) {
    r = v >= kVersionWideIds ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  }
  if (Failed(r)) return r;
  if (v >= kVersionWeights) {
    r = ReadFloats(stream, textureWeight_.data(), count);
  } else {
    textureWeight_[kGlow] = 0.2f;
    textureWeight_[kRefraction] = 0.0f;
  }
  if (Succeeded(r) && v >= kVersionUvPlacement) {
    r = ReadFloats(stream, &texUvTranslate_[0].x, 2 * count);
    if (Succeeded(r)) r = ReadFloats(stream, &texUvScale_[0].x, 2 * count);
  }
  if (Succeeded(r) && v >= kVersionTexBlend) r = ReadU32(stream, DiffTexBlend);
  if (Succeeded(r) && v >= kVersionUvRotate) r = ReadFloats(stream, texUvRotate_.data(), count);
  if (Succeeded(r) && v >= kVersionAlpha) {
    r = ReadBool(stream, AlphaThreshold);
    if (Succeeded(r)) r = ReadU32(stream, AlphaRefValue);
  }
  if (Failed(r)) return r;
  if (v >= kVersionShadowRef) return ReadU32(stream, ShadowRefValue);
  ShadowRefValue = kOldShadowRefValue;
  return kOk;
}

Result CStandardMaterial::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Link(stream, record, flags);
  for (u32 i = 0; Succeeded(r) && i < channelCount_ && i < kChannelCount; ++i) {
    r = LinkOwnedPointer(stream, record, this, texture_[i]);
  }
  channelCount_ = kChannelCount;
  return r;
}

Result CStandardMaterial::Save(CStream& stream, u32 flags) {
  Result r = CMaterial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  for (const Vec3* colour : {&Ambient, &Diffuse, &Specular, &Filter}) {
    if (Succeeded(r)) r = WriteFloatBlock(stream, *colour);
  }
  for (const f32 factor : {Shininess, ShineStrength, SelfIllum, Opacity, Opfall, WireSize, IORefract, DimIntens,
                           DimMult, SoftThresh}) {
    if (Succeeded(r)) r = WriteFloat(stream, factor);
  }
  if (Succeeded(r)) r = WriteBool(stream, TwoSided);
  const u32 count = channelCount_ < kChannelCount ? channelCount_ : kChannelCount;
  if (Succeeded(r)) r = WriteU32(stream, count);
  for (u32 i = 0; Succeeded(r) && i < count; ++i) r = WriteObjectId(stream, texture_[i].Get());
  if (Succeeded(r)) r = WriteFloats(stream, textureWeight_.data(), count);
  if (Succeeded(r)) r = WriteFloats(stream, &texUvTranslate_[0].x, 2 * count);
  if (Succeeded(r)) r = WriteFloats(stream, &texUvScale_[0].x, 2 * count);
  if (Succeeded(r)) r = WriteU32(stream, DiffTexBlend);
  if (Succeeded(r)) r = WriteFloats(stream, texUvRotate_.data(), count);
  if (Succeeded(r)) r = WriteBool(stream, AlphaThreshold);
  if (Succeeded(r)) r = WriteFloat(stream, AlphaRefValue);
  if (Succeeded(r)) r = WriteFloat(stream, ShadowRefValue);
  return r;
}

// Version pair 8, colours 48, factors 40, TwoSided 1, count 4; per channel
// id 8, weight 4, translation 8, scale 8, rotation 4; DiffTexBlend 4,
// AlphaThreshold 1, AlphaRefValue 4, ShadowRefValue 4.
u32 CStandardMaterial::GetSaveSize() const {
  const u32 count = channelCount_ < kChannelCount ? channelCount_ : kChannelCount;
  return CMaterial::GetSaveSize() + 114 + 32 * count;
}

u32 CStandardMaterial::GetMemorySize() const { return CMaterial::GetMemorySize() + 4 * channelCount_ + 448; }

void CStandardMaterial::DescribeMembers(CMemberVisitor& visitor) {
  i32 blend = static_cast<i32>(DiffTexBlend);
  visitor.BeginGroup(u"CStandardMaterial Member");
  visitor.OpenGroup();
  visitor.Vector3(u"Ambient", &Ambient);
  visitor.Vector3(u"Diffuse", &Diffuse);
  visitor.Vector3(u"Specular", &Specular);
  visitor.Vector3(u"Filter", &Filter);
  visitor.Float(u"Shininess", &Shininess);
  visitor.Float(u"ShineStrength", &ShineStrength);
  visitor.Float(u"SelfIllum", &SelfIllum);
  visitor.Float(u"Opacity", &Opacity);
  visitor.Float(u"Opfall", &Opfall);
  visitor.Float(u"WireSize", &WireSize);
  visitor.Float(u"IORefract", &IORefract);
  visitor.Float(u"DimIntens", &DimIntens);
  visitor.Float(u"DimMult", &DimMult);
  visitor.Float(u"SoftThresh", &SoftThresh);
  visitor.Bool(u"TwoSided", &TwoSided);
  visitor.Bool(u"Valid", &Valid);
  visitor.Enum(u"DiffTexBlend", &blend, kTextureBlendNames, 3);
  const u32 count = channelCount_ < kChannelCount ? channelCount_ : kChannelCount;
  visitor.RecordArray(u"Texture", count, [this](u32 i, CMemberVisitor& v) {
    v.Float(u"TextureWeight", &textureWeight_[i]);
    v.Point2(u"TexUvTranslate", &texUvTranslate_[i]);
    v.Point2(u"TexUvScale", &texUvScale_[i]);
    v.Float(u"TexUvRotate", &texUvRotate_[i]);
  });
  visitor.Bool(u"AlphaThreshold", &AlphaThreshold);
  visitor.Float(u"AlphaRefValue", &AlphaRefValue);
  visitor.Float(u"ShadowRefValue", &ShadowRefValue);
  visitor.EndGroup();
  CMaterial::DescribeMembers(visitor);
}

}  // namespace KT
