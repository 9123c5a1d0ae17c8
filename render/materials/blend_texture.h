// KT::CBlendTex: a texture made of two sub-textures, each with its own
// weight (Weight0 for texture 0, Weight1 for texture 1).
//
// Record of the own level (32 bytes): pair 2.01; Weight0, Weight1 (f32);
// the ids of texture 0 and texture 1 (8 bytes each; 4 up to 2.00).
#pragma once

#include "render/materials/material_base.h"

namespace KT {

class CBlendTex : public CTexture {
  KT_DECLARE_CLASS(CBlendTex)

 public:
  static constexpr u32 kVersionWideIds = 201;  // 8-byte texture ids

  CBlendTex() = default;
  CBlendTex(const CBlendTex& other) = default;

  // `index` 0 or 1.
  CTexture* GetTexture(u32 index) const { return textures_[index != 0].Get(); }
  void SetTexture(u32 index, CTexture* texture) {
    textures_[index != 0] = texture;
    SetModified();
  }

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  // The weights, no sub-textures.
  Result CreateInstance(CPointer<CBase>& out) const override;
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  f32 Weight0 = 1.0f;
  f32 Weight1 = 1.0f;

 private:
  owned_refs::List Textures() const { return {textures_[0].Get(), textures_[1].Get()}; }

  CPointer<CTexture> textures_[2];
};

}  // namespace KT
