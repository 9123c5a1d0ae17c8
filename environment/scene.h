// KT::CScene: the scene-wide render settings of a scene file (ambient and
// background colour, fog, glow, HDR, screen-space ambient occlusion, toon
// shading and painterly rendering). It also owns eight slots and an ordered
// list of further objects of any class, which every walk over the object
// graph visits (slots in order, then the list's non-empty entries).
//
// The scene is not a spatial: it changes over time only through the
// controllers of its chain. It offers KT::IHdrSettingsOwner, so an HDR
// control bound to it animates its nine HDR fields.
//
// Record, after the KT::CDorun part (little-endian, bool one byte, ids 8
// bytes, 0 for an empty reference): version pair 2.06; the ids of
// SubObject1..7; AmbientColor (3 f32); BackgroundColor (4 f32); FogEnable;
// FogColor (3 f32); FogDistance (3 f32); Glowness; HDREnable,
// HDRBrightThreshold, HDRBloomScale, HDRToneEnable, HDRGaussianScalar,
// HDRExposure, HDRAdaptSpeed, HDRGlareScale, HDRGlareType (scale before
// type); the id of SubObject8; SSAOEnable, SSAOQuality, SSAORadius,
// SSAOContrast; ToonEnable, ToonEdgeColor, ToonEdgeWidth; ToonLevel (u32
// count, then the f32 values); ToonSilhouetteColor, ToonLightedColor,
// ToonShadedColor (3 f32 each); ToonEdgeIntensity, ToonNormalThreshold,
// ToonNormalSensitivity (i32); NprEnable, PaintWeight; SubObjectList (u32
// count, then the ids); ToonInterSectionLine. BlurRadius and
// CombineSSAOEnable are never stored. Older forms:
//   below 2.01  six slot ids, no SubObject7;
//   up to 2.02  the first seven (or six) ids are 4 bytes;
//   below 2.02  nothing after Glowness (no HDR group, no SubObject8);
//   below 2.04  nothing after SubObject8;
//   below 2.05  no SubObjectList;  below 2.06  no ToonInterSectionLine.
// Fields a record lacks keep their defaults.
#pragma once

#include <vector>

#include "environment/slot_owner.h"
#include "objectmodel/color.h"
#include "objectmodel/vector.h"
#include "render/effects/hdr_settings.h"

namespace KT {

class CScene : public CSlotOwner, public IHdrSettingsOwner {
  KT_DECLARE_CLASS(CScene)

 public:
  // Where the toon shader takes its edge colour from (u32 on disk).
  enum EdgeColorSource : u32 { EC_Silhouette = 0, EC_Texture = 1 };
  static constexpr u32 kEdgeColorCount = 2;
  static const char16_t* const kEdgeColorNames[kEdgeColorCount];

  static constexpr u32 kSlotCount = 8;

  // Version gates of the record.
  static constexpr u32 kVersionSubObject7 = 201;
  static constexpr u32 kVersionHdr = 202;        // the HDR group and SubObject8 (8-byte id)
  static constexpr u32 kVersionWideIds = 203;    // the first seven ids are 8 bytes from here on
  static constexpr u32 kVersionPostEffects = 204;  // SSAO, toon and painterly settings
  static constexpr u32 kVersionSubObjectList = 205;
  static constexpr u32 kVersionInterSectionLine = 206;

  // Every default below; ToonLevel holds 0.0, 0.4, 0.8, 1.0.
  CScene();
  // The KT::CDorun part, every setting (BlurRadius and CombineSSAOEnable
  // included); the eight slots are shared, the list starts empty.
  CScene(const CScene& other);
  // Releases the list, then SubObject8 down to SubObject1.
  ~CScene() override;

  // The object in slot `slot` (1..8; null outside that range or when
  // empty).
  CBase* GetSubObject(u32 slot) const;
  // Puts `object` in slot `slot` (1..8) and marks the scene modified. A
  // null object, a slot outside 1..8, or an object that is the scene or
  // holds it (the slot would make the scene own itself): kErrInvalidArg,
  // nothing changed.
  Result SetSubObject(u32 slot, CBase* object);
  Result SetSubObject1(CBase* object) { return SetSubObject(1, object); }
  Result SetSubObject2(CBase* object) { return SetSubObject(2, object); }
  Result SetSubObject3(CBase* object) { return SetSubObject(3, object); }
  Result SetSubObject4(CBase* object) { return SetSubObject(4, object); }
  Result SetSubObject5(CBase* object) { return SetSubObject(5, object); }
  Result SetSubObject6(CBase* object) { return SetSubObject(6, object); }
  Result SetSubObject7(CBase* object) { return SetSubObject(7, object); }
  Result SetSubObject8(CBase* object) { return SetSubObject(8, object); }

  // The ordered list (entries loaded from null ids stay empty).
  const std::vector<CPointer<CBase>>& GetSubObjectList() const { return list_; }
  // Appends `object` to the list; refused as SetSubObject refuses.
  Result AppendToSubObjectList(CBase* object);

  // --- IHdrSettingsOwner -----------------------------------------------------------
  const CHdrSettings& GetHdrSettings() const override { return Hdr; }
  // Replaces the nine HDR fields and marks the scene modified.
  void SetHdrSettings(const CHdrSettings& settings) override;
  bool IsHdrOwnerModified() const override { return IsModified(); }
  void SetHdrOwnerModified(bool modified) override { SetModified(modified); }

  // --- CBase protocol ----------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The KT::CDorun clone (kDone or a failure returned unchanged); then
  // each set slot cloned through the same map into the copy's slot, and
  // each non-empty list entry into the same index of the copy's list.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A target that is not a scene: kErrNotFound, nothing changed. Else the
  // KT::CDorun part, every stored setting (not BlurRadius or
  // CombineSSAOEnable), the slots and the list (shared; the target's
  // former objects go to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // A stored version above 2.06: kErrNewerVersion. A ToonLevel or list
  // count larger than the bytes left: kErrStream.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The slots and entries the record held, in the order read. A reference
  // that would make the scene own itself: kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CScene Member", "CScene HDR", "CScene SSAO", "CScene Toon Shading"
  // (one "ToonLevel" float per entry), "CScene NPR"; then the KT::CDorun
  // members. The slots and the list are not described.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The eight slots (empty ones too), then every list entry, all owned;
  // then the KT::CDorun references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  // --- settings ------------------------------------------------------------------------
  CColor AmbientColor{0.0f, 0.0f, 0.0f, 0.0f};     // RGB
  CColor BackgroundColor{0.0f, 0.0f, 0.0f, 0.0f};  // RGBA
  bool FogEnable = false;
  CColor FogColor{0.0f, 0.0f, 0.0f, 0.0f};  // RGB
  CVector3<float> FogDistance{0.0f, 6000.0f, 6000.0f};
  f32 Glowness = 0.5f;
  CHdrSettings Hdr;
  bool SSAOEnable = false;
  f32 SSAOQuality = 3.0f;
  f32 SSAORadius = 1.5f;
  f32 BlurRadius = 7.0f;  // runtime only
  f32 SSAOContrast = 0.06f;
  bool CombineSSAOEnable = true;  // runtime only
  bool ToonEnable = false;
  bool ToonInterSectionLine = false;
  u32 ToonEdgeColor = EC_Silhouette;
  f32 ToonEdgeWidth = 1.0f;
  f32 ToonEdgeIntensity = 0.8f;
  f32 ToonNormalThreshold = 0.5f;
  i32 ToonNormalSensitivity = 1;
  std::vector<f32> ToonLevel;
  CColor ToonSilhouetteColor{0.0f, 0.0f, 0.0f, 0.0f};  // RGB
  CColor ToonLightedColor{1.0f, 1.0f, 1.0f, 0.0f};     // RGB
  CColor ToonShadedColor{0.25f, 0.25f, 0.25f, 0.0f};   // RGB
  bool NprEnable = false;
  f32 PaintWeight = 3.0f;

 protected:
  std::vector<CBase*> OwnedObjects() const override;

 private:
  // Copies every stored setting (what CopyTo carries).
  void CopyStoredSettings(CScene& target) const;

  CPointer<CBase> slots_[kSlotCount];
  std::vector<CPointer<CBase>> list_;
  // How many slot ids Load queued (6, 7 or 8) and whether it queued the
  // list: Link takes exactly those.
  u8 queuedSlots_ = 0;
  bool queuedList_ = false;
};

}  // namespace KT
