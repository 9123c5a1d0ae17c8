// The texture maps a material channel or a blend material's mask holds.
//
// KT::CTextureMap: a bitmap texture: one image and the index of the mesh
// UVW channel that maps it. Record (20 bytes): pair 2.01, uUvwChannel
// (u32), the image's id (8 bytes). Below 2.00 the stored channel counts
// from 1; up to 2.00 the id has 4 bytes.
// KT::CNormalBumpTex: a normal-map texture and a bump texture, each with an
// enable flag and a scale. Record (34 bytes): pair 2.01, NormalEnable,
// BumpEnable (1 byte each), NormalScale, BumpScale (f32), the two texture
// ids (8 bytes; 4 up to 2.00).
// KT::CCubeMap: a cube-map marker; record: pair 2.00.
// KT::CRefractionMap: a refraction marker; record (12 bytes): pair 2.00,
// RefractionIndex (f32).
//
// CreateInstance copies the scalar fields and leaves the references empty;
// Clone also clones the references through the clone map; CopyTo shares
// them (the target's former ones are displaced).
#pragma once

#include "render/images/image.h"
#include "render/materials/material_base.h"

namespace KT {

class CTextureMap : public CTexture {
  KT_DECLARE_CLASS(CTextureMap)

 public:
  static constexpr u32 kVersionZeroBasedChannel = 200;  // channel counted from 1 below
  static constexpr u32 kVersionWideIds = 201;           // 8-byte image id

  CTextureMap() = default;
  CTextureMap(const CTextureMap& other) = default;

  u32 GetUvwChannel() const { return uUvwChannel_; }
  void SetUvwChannel(u32 channel) {
    uUvwChannel_ = channel;
    SetModified();
  }
  CImage* GetImage() const { return image_.Get(); }
  void SetImage(CImage* image) {
    image_ = image;
    SetModified();
  }

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
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

 private:
  u32 uUvwChannel_ = 0;
  CPointer<CImage> image_;
};

class CNormalBumpTex : public CTexture {
  KT_DECLARE_CLASS(CNormalBumpTex)

 public:
  static constexpr u32 kVersionWideIds = 201;  // 8-byte texture ids

  CNormalBumpTex() = default;
  CNormalBumpTex(const CNormalBumpTex& other) = default;

  CTexture* GetNormalTexture() const { return normalTexture_.Get(); }
  CTexture* GetBumpTexture() const { return bumpTexture_.Get(); }
  void SetNormalTexture(CTexture* texture) {
    normalTexture_ = texture;
    SetModified();
  }
  void SetBumpTexture(CTexture* texture) {
    bumpTexture_ = texture;
    SetModified();
  }

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
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

  bool NormalEnable = true;
  bool BumpEnable = true;
  f32 NormalScale = 1.0f;
  f32 BumpScale = 1.0f;

 private:
  owned_refs::List Textures() const { return {normalTexture_.Get(), bumpTexture_.Get()}; }

  CPointer<CTexture> normalTexture_;
  CPointer<CTexture> bumpTexture_;
};

class CCubeMap : public CTexture {
  KT_DECLARE_CLASS(CCubeMap)

 public:
  CCubeMap() = default;
  CCubeMap(const CCubeMap& other) = default;

  Result CreateInstance(CPointer<CBase>& out) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
};

class CRefractionMap : public CTexture {
  KT_DECLARE_CLASS(CRefractionMap)

 public:
  CRefractionMap() = default;
  CRefractionMap(const CRefractionMap& other) = default;

  Result CreateInstance(CPointer<CBase>& out) const override;
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  f32 RefractionIndex = 0.95f;
};

}  // namespace KT
