// Materials made of other materials. Both forward Invalidate, Validate and
// IsValid to their sub-materials, so that invalidating the outer material
// invalidates every material below it.
//
// KT::CBlendMaterial mixes material 0 and material 1 under a mask texture
// with a blend amount. Record of the own level (36 bytes): pair 2.01;
// Blend (f32); the ids of the mask, material 0 and material 1 (8 bytes
// each; 4 up to 2.00). Below 2.00 one legacy byte precedes Blend.
//
// KT::CMultiMaterial is a list of sub-materials; a mesh face picks one by
// its position (the face's material id). Record of the own level (12 + 8
// per entry): pair 2.01; u32 count; count ids (4 bytes each up to 2.00).
// Below 2.00 one legacy byte precedes the count. A stored null id, or one
// that links to nothing, leaves an empty entry: it keeps the positions of
// the entries after it, every walk skips it, and saving writes the null id
// back.
#pragma once

#include "render/materials/material_base.h"

namespace KT {

class CBlendMaterial : public CMaterial {
  KT_DECLARE_CLASS(CBlendMaterial)

 public:
  static constexpr u32 kVersionNoLegacyByte = 200;
  static constexpr u32 kVersionWideIds = 201;

  CBlendMaterial() = default;
  CBlendMaterial(const CBlendMaterial& other) = default;

  // Index 0 sets material 0, any other index material 1. Modified is not
  // set.
  void SetMaterial(u32 index, CMaterial* material) { materials_[index != 0] = material; }
  CMaterial* GetMaterial(u32 index) const { return materials_[index != 0].Get(); }
  void SetMask(CTexture* mask) {
    mask_ = mask;
    SetModified();
  }
  CTexture* GetMask() const { return mask_.Get(); }

  // To material 0, then material 1, each when present; not the mask.
  void Invalidate() override;
  void Validate() override;
  // True when every present sub-material is valid.
  bool IsValid() const override;

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  // Blend, no sub-objects.
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
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result Update(i32 time) override;

  f32 Blend = 0.0f;

 private:
  owned_refs::List Materials() const { return {materials_[0].Get(), materials_[1].Get()}; }

  CPointer<CTexture> mask_;
  CPointer<CMaterial> materials_[2];
};

class CMultiMaterial : public CMaterial {
  KT_DECLARE_CLASS(CMultiMaterial)

 public:
  static constexpr u32 kVersionNoLegacyByte = 200;
  static constexpr u32 kVersionWideIds = 201;

  CMultiMaterial() = default;
  CMultiMaterial(const CMultiMaterial& other) = default;

  // Appends `material` and marks the list modified; null is ignored.
  void AddSubMaterial(CMaterial* material);
  void ClearSubMaterials();
  u32 GetSubMaterialCount() const { return static_cast<u32>(materials_.size()); }
  // Null for an empty entry.
  CMaterial* GetSubMaterial(u32 index) const { return materials_[index].Get(); }

  // To every present sub-material in list order.
  void Invalidate() override;
  void Validate() override;
  // True when every present sub-material is valid (true for an empty list).
  bool IsValid() const override;

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  // An empty list.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The sub-materials cloned through the map in list order (empty entries
  // stay empty).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result Update(i32 time) override;

 private:
  std::vector<CPointer<CMaterial>> materials_;
};

}  // namespace KT
