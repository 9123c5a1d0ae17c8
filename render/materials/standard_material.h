// KT::CStandardMaterial: the everyday surface description of a mesh:
// ambient/diffuse/specular lighting colours and factors, transparency and
// alpha-test settings, and twelve texture channels, each holding one
// texture with its weight and UV placement (translation, scale, rotation).
// Textures are owned through counted pointers and may be shared between
// materials (CopyTo and CreateInstance share them; Clone copies them
// through the clone map).
//
// Record of the own level (after the KT::CMaterial level; 498 bytes with
// twelve channels): version pair 2.06; Ambient, Diffuse, Specular, Filter
// (3 x f32 each); Shininess, ShineStrength, SelfIllum, Opacity, Opfall,
// WireSize, IORefract, DimIntens, DimMult, SoftThresh (f32); TwoSided (1
// byte); the channel count (u32); count texture ids (8 bytes); count
// weights; count UV translations (2 x f32); count UV scales; DiffTexBlend
// (u32); count UV rotations; AlphaThreshold (1 byte); AlphaRefValue,
// ShadowRefValue (f32). Valid is never stored. Older levels:
//   below 2.00  TwoSided ahead of the colours; no weights (Glow 0.2,
//               Refraction 0, the others 1)
//   up to 2.01  4-byte texture ids
//   below 2.01  no UV translation and scale
//   below 2.03  no DiffTexBlend;  below 2.04  no UV rotation
//   below 2.05  no alpha settings; below 2.06 ShadowRefValue is 0.2
// A stored count above twelve does not fit the channels and is refused
// (kErrInvalidArg); a smaller count fills the first channels and leaves the
// others at their defaults. After a load the count is twelve.
#pragma once

#include <array>

#include "objectmodel/vector.h"
#include "render/materials/material_base.h"

namespace KT {

class CStandardMaterial : public CMaterial {
  KT_DECLARE_CLASS(CStandardMaterial)

 public:
  using Vec3 = CVector3<float>;
  using Vec2 = CVector2;

  static constexpr u32 kChannelCount = 12;
  enum Channel : u32 {
    kAmbient = 0,
    kDiffuse = 1,
    kSpecular = 2,
    kShininess = 3,
    kGlow = 4,
    kDisplacement = 5,
    kOpacity = 6,
    kDiffuseBlend = 7,
    kBump = 8,
    kReflection = 9,
    kRefraction = 10,
    kCube = 11,
  };
  enum TextureBlendType : u32 { TBT_Modulate = 0, TBT_Add = 1, TBT_Overlay = 2 };
  static const char16_t* const kTextureBlendNames[3];

  // Version gates of the record.
  static constexpr u32 kVersionWeights = 200;      // weights stored, TwoSided after the factors
  static constexpr u32 kVersionUvPlacement = 201;  // UV translation and scale
  static constexpr u32 kVersionWideIds = 202;      // 8-byte texture ids
  static constexpr u32 kVersionTexBlend = 203;     // DiffTexBlend
  static constexpr u32 kVersionUvRotate = 204;     // UV rotation
  static constexpr u32 kVersionAlpha = 205;        // AlphaThreshold, AlphaRefValue
  static constexpr u32 kVersionShadowRef = 206;    // ShadowRefValue
  // ShadowRefValue of records older than kVersionShadowRef.
  static constexpr f32 kOldShadowRefValue = 0.2f;

  CStandardMaterial();
  // Every field, Valid included; the textures are shared.
  CStandardMaterial(const CStandardMaterial& other) = default;
  ~CStandardMaterial() override;

  // --- channels (index 0-11, not tested); every setter marks the material modified
  void SetTexture(u32 channel, CTexture* texture);
  CTexture* GetTexture(u32 channel) const { return texture_[channel].Get(); }
  f32& TextureWeightRef(u32 channel);
  void SetTexUvTranslate(u32 channel, f32 u, f32 v);
  const Vec2& GetTexUvTranslate(u32 channel) const { return texUvTranslate_[channel]; }
  void SetTexUvScale(u32 channel, f32 u, f32 v);
  const Vec2& GetTexUvScale(u32 channel) const { return texUvScale_[channel]; }
  void SetTexUvRotate(u32 channel, f32 angle);
  f32 GetTexUvRotate(u32 channel) const { return texUvRotate_[channel]; }
  f32 GetTextureWeight(u32 channel) const { return textureWeight_[channel]; }
  u32 GetChannelCount() const { return channelCount_; }

  // --- material operations
  void Invalidate() override { Valid = false; }
  void Validate() override { Valid = true; }
  bool IsValid() const override { return Valid; }

  // --- CBase protocol
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg. The textures', then CDorun's.
  Result ResolveReferences(CBase* root) override;
  // A copy of this material (textures shared).
  Result CreateInstance(CPointer<CBase>& out) const override;
  // This material's copy with each texture cloned through the map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a standard material: kErrNotFound. Copies every field but
  // Valid; the textures are shared, the target's former ones displaced.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // CDorun::UpdateOk.
  Result Update(i32 time) override;

  // --- plain fields, written directly by the exporter and the controllers
  Vec3 Ambient{0.2f, 0.2f, 0.2f};
  Vec3 Diffuse{0.8f, 0.0f, 0.0f};
  Vec3 Specular{0.5f, 0.5f, 0.5f};
  Vec3 Filter{0.0f, 0.0f, 0.0f};
  f32 Shininess = 0.5f;
  f32 ShineStrength = 1.0f;
  f32 SelfIllum = 0.0f;
  f32 Opacity = 1.0f;
  f32 Opfall = 0.0f;
  f32 WireSize = 0.0f;
  f32 IORefract = 0.0f;
  f32 DimIntens = 0.0f;
  f32 DimMult = 0.0f;
  f32 SoftThresh = 0.0f;
  bool TwoSided = false;
  bool AlphaThreshold = false;
  f32 AlphaRefValue = 0.5f;
  f32 ShadowRefValue = 0.0f;
  bool Valid = false;
  u32 DiffTexBlend = TBT_Modulate;

 private:
  owned_refs::List Textures() const;

  u32 channelCount_ = kChannelCount;
  std::array<CPointer<CTexture>, kChannelCount> texture_;
  std::array<f32, kChannelCount> textureWeight_;
  std::array<Vec2, kChannelCount> texUvTranslate_;
  std::array<Vec2, kChannelCount> texUvScale_;
  std::array<f32, kChannelCount> texUvRotate_;
};

}  // namespace KT
