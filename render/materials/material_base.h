// Roots of the surface descriptions.
//
// KT::CMaterialBase is the common root of materials and textures,
// KT::CMaterial the base of everything a mesh carries as its material,
// KT::CTexture the base of every texture a material channel can hold. They
// store no fields of their own: each level's record part is its version
// pair 2.00 (a texture record older than 2.00 carries one more byte, read
// and dropped). All three are abstract: CreateInstance answers
// kErrInvalidArg and makes nothing.
//
// Invalidate, Validate and IsValid are the operations of surfaces alone:
// a material tells through them whether its values have changed since the
// renderer took them into account. A plain texture ignores the first two
// and is always valid.
//
// The file also holds the walks shared by the classes that own sub-objects
// through counted pointers (textures, sub-materials, images): each visits
// the present objects of a list in the list's order.
#pragma once

#include <initializer_list>
#include <vector>

#include "objectmodel/dorun.h"

namespace KT {

class CMaterialBase : public CDorun {
  KT_DECLARE_CLASS(CMaterialBase)

 public:
  CMaterialBase() = default;
  CMaterialBase(const CMaterialBase& other) = default;

  // The values have changed / were taken into account / are current.
  virtual void Invalidate() = 0;
  virtual void Validate() = 0;
  virtual bool IsValid() const = 0;

  Result CreateInstance(CPointer<CBase>& out) const override;
  // CDorun's CopyTo; any non-negative answer is reported as kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
};

class CMaterial : public CMaterialBase {
  KT_DECLARE_CLASS(CMaterial)

 public:
  CMaterial() = default;
  CMaterial(const CMaterial& other) = default;

  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
};

class CTexture : public CMaterialBase {
  KT_DECLARE_CLASS(CTexture)

 public:
  // Below this version of "CTexture" one legacy byte follows the pair.
  static constexpr u32 kVersionNoLegacyByte = 200;

  CTexture() = default;
  CTexture(const CTexture& other) = default;

  void Invalidate() override {}
  void Validate() override {}
  bool IsValid() const override { return true; }

  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
};

// Reads the one-byte field that records older than `since` carry after
// their version pair, and drops it.
Result SkipLegacyByte(CStream& stream, const ClassRecord& record, u32 since);

// Walks over the sub-objects a surface class owns. `refs` lists them in the
// order of the walk; empty entries are skipped.
namespace owned_refs {

using List = std::vector<CBase*>;

// The first hit of each present object's Find.
CBase* Find(const List& refs, const char16_t* name, const ClassRecord* record, bool includeDerived,
            bool onlyMarked);
void Collect(const List& refs, std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
             bool includeDerived, bool onlyMarked);
// OR of every present object's UpdateMarked (each is asked).
bool UpdateMarked(const List& refs, const ObjectSet& set);
void ClearMarked(const List& refs);
// Each present object's ResolveReferences; the first failure ends it.
Result ResolveReferences(const List& refs, CBase* root);
// Each present object's RegisterForSave; the first failure ends it.
Result RegisterForSave(const List& refs, CStream& stream, u32 flags);
// Each present scene-content object's CollectAnimated; the first failure
// ends it.
Result CollectAnimated(const List& refs, std::vector<CDorun*>& animated);
// Each entry as an owned reference (empty ones included).
void EnumReferences(const List& refs, CReferenceVisitor& visitor);
// True when any entry is present.
bool AnyPresent(const List& refs);

}  // namespace owned_refs

// The pointers of `slots` as a walk list.
template <typename T>
owned_refs::List RefList(const std::vector<CPointer<T>>& slots) {
  owned_refs::List refs;
  refs.reserve(slots.size());
  for (const CPointer<T>& slot : slots) refs.push_back(slot.Get());
  return refs;
}

}  // namespace KT
