#include "environment/scene.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

namespace {

// An RGB colour is three floats on disk; the alpha is not stored.
Result ReadRgb(CStream& stream, CColor& color) { return ReadFloats(stream, &color.r, 3); }
Result WriteRgb(CStream& stream, const CColor& color) { return WriteFloats(stream, &color.r, 3); }

const i32* AsEnum(const u32& value) { return reinterpret_cast<const i32*>(&value); }

}  // namespace

const char16_t* const CScene::kEdgeColorNames[kEdgeColorCount] = {u"EC_Silhouette", u"EC_Texture"};

CScene::CScene() : ToonLevel{0.0f, 0.4f, 0.8f, 1.0f} {}

CScene::CScene(const CScene& other)
    : CSlotOwner(other),
      AmbientColor(other.AmbientColor),
      BackgroundColor(other.BackgroundColor),
      FogEnable(other.FogEnable),
      FogColor(other.FogColor),
      FogDistance(other.FogDistance),
      Glowness(other.Glowness),
      Hdr(other.Hdr),
      SSAOEnable(other.SSAOEnable),
      SSAOQuality(other.SSAOQuality),
      SSAORadius(other.SSAORadius),
      BlurRadius(other.BlurRadius),
      SSAOContrast(other.SSAOContrast),
      CombineSSAOEnable(other.CombineSSAOEnable),
      ToonEnable(other.ToonEnable),
      ToonInterSectionLine(other.ToonInterSectionLine),
      ToonEdgeColor(other.ToonEdgeColor),
      ToonEdgeWidth(other.ToonEdgeWidth),
      ToonEdgeIntensity(other.ToonEdgeIntensity),
      ToonNormalThreshold(other.ToonNormalThreshold),
      ToonNormalSensitivity(other.ToonNormalSensitivity),
      ToonLevel(other.ToonLevel),
      ToonSilhouetteColor(other.ToonSilhouetteColor),
      ToonLightedColor(other.ToonLightedColor),
      ToonShadedColor(other.ToonShadedColor),
      NprEnable(other.NprEnable),
      PaintWeight(other.PaintWeight) {
  for (u32 i = 0; i < kSlotCount; ++i) slots_[i] = other.slots_[i];
}

CScene::~CScene() {
  list_.clear();
  for (u32 i = kSlotCount; i-- > 0;) slots_[i].Release();
}

CBase* CScene::GetSubObject(u32 slot) const {
  return slot >= 1 && slot <= kSlotCount ? slots_[slot - 1].Get() : nullptr;
}

Result CScene::SetSubObject(u32 slot, CBase* object) {
  if (object == nullptr || slot < 1 || slot > kSlotCount) return kErrInvalidArg;
  // An object that holds the scene would make the scene own itself: every
  // walk would then run without end.
  return SetSlot(slots_[slot - 1], object);
}

Result CScene::AppendToSubObjectList(CBase* object) {
  if (object == nullptr || WouldHoldItself(object, this)) return kErrInvalidArg;
  SetModified();
  list_.emplace_back(object);
  return kOk;
}

void CScene::SetHdrSettings(const CHdrSettings& settings) {
  Hdr = settings;
  SetModified();
}

std::vector<CBase*> CScene::OwnedObjects() const {
  std::vector<CBase*> objects;
  objects.reserve(kSlotCount + list_.size());
  for (const CPointer<CBase>& slot : slots_) objects.push_back(slot.Get());
  for (const CPointer<CBase>& entry : list_) objects.push_back(entry.Get());
  return objects;
}

// --- copies ---------------------------------------------------------------------------------

Result CScene::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CScene::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CScene*>(out.Get());
  const CPointer<CSlotOwner> held(copy);
  // The copy constructor shared the slots; each set slot now takes the
  // clone of its object (one clone per object through the map, so slots
  // that share an object keep sharing its clone), as its setter would.
  for (u32 i = 0; i < kSlotCount; ++i) {
    if (!slots_[i]) continue;
    copy->SetModified();
    r = CloneSlot(slots_[i].Get(), cloneMap, flags, held, copy->slots_[i]);
    if (Failed(r)) return r;
  }
  copy->list_.assign(list_.size(), CPointer<CBase>());
  for (std::size_t i = 0; i < list_.size(); ++i) {
    r = CloneSlot(list_[i].Get(), cloneMap, flags, held, copy->list_[i]);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CScene::CopyStoredSettings(CScene& target) const {
  target.AmbientColor = AmbientColor;
  target.BackgroundColor = BackgroundColor;
  target.FogEnable = FogEnable;
  target.FogColor = FogColor;
  target.FogDistance = FogDistance;
  target.Glowness = Glowness;
  target.Hdr = Hdr;
  target.SSAOEnable = SSAOEnable;
  target.SSAOQuality = SSAOQuality;
  target.SSAORadius = SSAORadius;
  target.SSAOContrast = SSAOContrast;
  target.ToonEnable = ToonEnable;
  target.ToonInterSectionLine = ToonInterSectionLine;
  target.ToonEdgeColor = ToonEdgeColor;
  target.ToonEdgeWidth = ToonEdgeWidth;
  target.ToonLevel = ToonLevel;
  target.ToonSilhouetteColor = ToonSilhouetteColor;
  target.ToonLightedColor = ToonLightedColor;
  target.ToonShadedColor = ToonShadedColor;
  target.ToonEdgeIntensity = ToonEdgeIntensity;
  target.ToonNormalThreshold = ToonNormalThreshold;
  target.ToonNormalSensitivity = ToonNormalSensitivity;
  target.NprEnable = NprEnable;
  target.PaintWeight = PaintWeight;
}

Result CScene::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // The class is checked before anything is copied, so that a refused
  // copy leaves the target as it was.
  CScene* other = DynamicCast<CScene>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CopyStoredSettings(*other);
  for (u32 i = 0; i < kSlotCount; ++i) AssignPointerMember(displaced, slots_[i], other->slots_[i]);
  return AssignPointerVectorMember(displaced, list_, other->list_);
}

// --- persistence -----------------------------------------------------------------------------

Result CScene::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  queuedSlots_ = 0;
  queuedList_ = false;

  // Slot ids: 4 bytes up to 2.02, SubObject7 from 2.01.
  const u32 leading = v >= kVersionSubObject7 ? 7u : 6u;
  for (u32 i = 0; Succeeded(r) && i < leading; ++i) {
    r = v >= kVersionWideIds ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
    if (Succeeded(r)) ++queuedSlots_;
  }
  if (Succeeded(r)) r = ReadRgb(stream, AmbientColor);
  if (Succeeded(r)) r = ReadFloatBlock(stream, BackgroundColor);
  if (Succeeded(r)) r = ReadBool(stream, FogEnable);
  if (Succeeded(r)) r = ReadRgb(stream, FogColor);
  if (Succeeded(r)) r = ReadFloatBlock(stream, FogDistance);
  if (Succeeded(r)) r = ReadU32(stream, Glowness);
  if (Failed(r) || v < kVersionHdr) return r;

  r = ReadBool(stream, Hdr.HDREnable);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRBrightThreshold);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRBloomScale);
  if (Succeeded(r)) r = ReadBool(stream, Hdr.HDRToneEnable);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRGaussianScalar);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRExposure);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRAdaptSpeed);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRGlareScale);
  if (Succeeded(r)) r = ReadU32(stream, Hdr.HDRGlareType);
  // SubObject8 arrived with the HDR group and was 8 bytes from the start.
  if (Succeeded(r)) r = ReadObjectId(stream, record);
  if (Failed(r)) return r;
  ++queuedSlots_;
  if (v < kVersionPostEffects) return r;

  r = ReadBool(stream, SSAOEnable);
  if (Succeeded(r)) r = ReadU32(stream, SSAOQuality);
  if (Succeeded(r)) r = ReadU32(stream, SSAORadius);
  if (Succeeded(r)) r = ReadU32(stream, SSAOContrast);
  if (Succeeded(r)) r = ReadBool(stream, ToonEnable);
  if (Succeeded(r)) r = ReadU32(stream, ToonEdgeColor);
  if (Succeeded(r)) r = ReadU32(stream, ToonEdgeWidth);
  if (Failed(r)) return r;
  // A stored count of 0 empties the list (the four defaults are not kept).
  u32 levels = 0;
  r = ReadU32(stream, levels);
  if (Succeeded(r)) r = stream.CheckAvailable(levels, sizeof(f32));
  if (Failed(r)) return r;
  ToonLevel.assign(levels, 0.0f);
  r = ReadFloats(stream, ToonLevel.data(), levels);
  if (Succeeded(r)) r = ReadRgb(stream, ToonSilhouetteColor);
  if (Succeeded(r)) r = ReadRgb(stream, ToonLightedColor);
  if (Succeeded(r)) r = ReadRgb(stream, ToonShadedColor);
  if (Succeeded(r)) r = ReadU32(stream, ToonEdgeIntensity);
  if (Succeeded(r)) r = ReadU32(stream, ToonNormalThreshold);
  if (Succeeded(r)) r = ReadU32(stream, ToonNormalSensitivity);
  if (Succeeded(r)) r = ReadBool(stream, NprEnable);
  if (Succeeded(r)) r = ReadU32(stream, PaintWeight);
  if (Failed(r) || v < kVersionSubObjectList) return r;

  list_.clear();
  r = ReadReferenceVector(stream, record, list_);
  if (Failed(r)) return r;
  queuedList_ = true;
  if (v < kVersionInterSectionLine) return r;
  return ReadBool(stream, ToonInterSectionLine);
}

Result CScene::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  for (u32 i = 0; Succeeded(r) && i < queuedSlots_; ++i) {
    r = LinkOwnedPointer(stream, record, this, slots_[i]);
  }
  if (Succeeded(r) && queuedList_) r = LinkOwnedList(stream, record, this, list_);
  return r;
}

Result CScene::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  for (u32 i = 0; Succeeded(r) && i < 7; ++i) r = WriteObjectId(stream, slots_[i].Get());
  if (Succeeded(r)) r = WriteRgb(stream, AmbientColor);
  if (Succeeded(r)) r = WriteFloatBlock(stream, BackgroundColor);
  if (Succeeded(r)) r = WriteBool(stream, FogEnable);
  if (Succeeded(r)) r = WriteRgb(stream, FogColor);
  if (Succeeded(r)) r = WriteFloatBlock(stream, FogDistance);
  if (Succeeded(r)) r = WriteFloat(stream, Glowness);
  if (Succeeded(r)) r = WriteBool(stream, Hdr.HDREnable);
  if (Succeeded(r)) r = WriteFloat(stream, Hdr.HDRBrightThreshold);
  if (Succeeded(r)) r = WriteFloat(stream, Hdr.HDRBloomScale);
  if (Succeeded(r)) r = WriteBool(stream, Hdr.HDRToneEnable);
  if (Succeeded(r)) r = WriteFloat(stream, Hdr.HDRGaussianScalar);
  if (Succeeded(r)) r = WriteFloat(stream, Hdr.HDRExposure);
  if (Succeeded(r)) r = WriteFloat(stream, Hdr.HDRAdaptSpeed);
  if (Succeeded(r)) r = WriteFloat(stream, Hdr.HDRGlareScale);
  if (Succeeded(r)) r = WriteU32(stream, Hdr.HDRGlareType);
  if (Succeeded(r)) r = WriteObjectId(stream, slots_[7].Get());
  if (Succeeded(r)) r = WriteBool(stream, SSAOEnable);
  if (Succeeded(r)) r = WriteFloat(stream, SSAOQuality);
  if (Succeeded(r)) r = WriteFloat(stream, SSAORadius);
  if (Succeeded(r)) r = WriteFloat(stream, SSAOContrast);
  if (Succeeded(r)) r = WriteBool(stream, ToonEnable);
  if (Succeeded(r)) r = WriteU32(stream, ToonEdgeColor);
  if (Succeeded(r)) r = WriteFloat(stream, ToonEdgeWidth);
  if (Succeeded(r)) r = WritePodVector(stream, ToonLevel);
  if (Succeeded(r)) r = WriteRgb(stream, ToonSilhouetteColor);
  if (Succeeded(r)) r = WriteRgb(stream, ToonLightedColor);
  if (Succeeded(r)) r = WriteRgb(stream, ToonShadedColor);
  if (Succeeded(r)) r = WriteFloat(stream, ToonEdgeIntensity);
  if (Succeeded(r)) r = WriteFloat(stream, ToonNormalThreshold);
  if (Succeeded(r)) r = WriteI32(stream, ToonNormalSensitivity);
  if (Succeeded(r)) r = WriteBool(stream, NprEnable);
  if (Succeeded(r)) r = WriteFloat(stream, PaintWeight);
  if (Succeeded(r)) r = WriteReferenceVector(stream, list_);
  if (Succeeded(r)) r = WriteBool(stream, ToonInterSectionLine);
  return r;
}

void CScene::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CScene Member");
  visitor.OpenGroup();
  visitor.Color(u"AmbientColor", &AmbientColor);
  visitor.Color2(u"BackgroundColor", &BackgroundColor);
  visitor.Bool(u"FogEnable", &FogEnable);
  visitor.Color(u"FogColor", &FogColor);
  visitor.Vector3(u"FogDistance", &FogDistance);
  visitor.Float(u"Glowness", &Glowness);
  visitor.EndGroup();

  visitor.BeginGroup(u"CScene HDR");
  visitor.OpenGroup();
  visitor.Bool(u"HDREnable", &Hdr.HDREnable);
  visitor.Float(u"HDRBrightThreshold", &Hdr.HDRBrightThreshold);
  visitor.Float(u"HDRBloomScale", &Hdr.HDRBloomScale);
  visitor.Bool(u"HDRToneEnable", &Hdr.HDRToneEnable);
  visitor.Float(u"HDRGaussianScalar", &Hdr.HDRGaussianScalar);
  visitor.Float(u"HDRExposure", &Hdr.HDRExposure);
  visitor.Float(u"HDRAdaptSpeed", &Hdr.HDRAdaptSpeed);
  visitor.Enum(u"HDRGlareType", AsEnum(Hdr.HDRGlareType), kGlareTypeNames, kGlareTypeCount);
  visitor.Float(u"HDRGlareScale", &Hdr.HDRGlareScale);
  visitor.EndGroup();

  visitor.BeginGroup(u"CScene SSAO");
  visitor.OpenGroup();
  visitor.Bool(u"SSAOEnable", &SSAOEnable);
  visitor.Float(u"SSAOQuality", &SSAOQuality);
  visitor.Float(u"SSAORadius", &SSAORadius);
  visitor.Float(u"BlurRadius", &BlurRadius);
  visitor.Float(u"SSAOContrast", &SSAOContrast);
  visitor.Bool(u"CombineSSAOEnable", &CombineSSAOEnable);
  visitor.EndGroup();

  visitor.BeginGroup(u"CScene Toon Shading");
  visitor.OpenGroup();
  visitor.Bool(u"ToonEnable", &ToonEnable);
  visitor.Bool(u"ToonInterSectionLine", &ToonInterSectionLine);
  visitor.Enum(u"ToonEdgeColor", AsEnum(ToonEdgeColor), kEdgeColorNames, kEdgeColorCount);
  visitor.Float(u"ToonEdgeWidth", &ToonEdgeWidth);
  visitor.Float(u"ToonEdgeIntensity", &ToonEdgeIntensity);
  visitor.Float(u"ToonNormalThreshold", &ToonNormalThreshold);
  visitor.Int(u"ToonNormalSensitivity", &ToonNormalSensitivity);
  for (const f32& level : ToonLevel) visitor.Float(u"ToonLevel", &level);
  visitor.Color(u"ToonSilhouetteColor", &ToonSilhouetteColor);
  visitor.Color(u"ToonLightedColor", &ToonLightedColor);
  visitor.Color(u"ToonShadedColor", &ToonShadedColor);
  visitor.EndGroup();

  visitor.BeginGroup(u"CScene NPR");
  visitor.OpenGroup();
  visitor.Bool(u"NprEnable", &NprEnable);
  visitor.Float(u"PaintWeight", &PaintWeight);
  visitor.EndGroup();

  CDorun::DescribeMembers(visitor);
}

void CScene::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences(OwnedObjects(), visitor);
  CDorun::EnumReferences(visitor);
}

u32 CScene::GetMemorySize() const { return CDorun::GetMemorySize() + 264 + 4 * static_cast<u32>(list_.size()); }

u32 CScene::GetSaveSize() const {
  // 235: the version pair, eight ids and every fixed-size field.
  return CDorun::GetSaveSize() + 235 + PodVectorSaveSize(ToonLevel) +
         GetPointerVectorSaveSize(static_cast<u32>(list_.size()));
}

}  // namespace KT
