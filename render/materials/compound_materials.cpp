#include "render/materials/compound_materials.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

void InvalidateAll(const owned_refs::List& materials) {
  for (CBase* material : materials) {
    if (material != nullptr) static_cast<CMaterial*>(material)->Invalidate();
  }
}

void ValidateAll(const owned_refs::List& materials) {
  for (CBase* material : materials) {
    if (material != nullptr) static_cast<CMaterial*>(material)->Validate();
  }
}

bool AllValid(const owned_refs::List& materials) {
  for (const CBase* material : materials) {
    if (material != nullptr && !static_cast<const CMaterial*>(material)->IsValid()) return false;
  }
  return true;
}

Result ReadId(CStream& stream, CStreamLoadRecord& record, bool wide) {
  return wide ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
}

}  // namespace

// --- CBlendMaterial -----------------------------------------------------------------------------

void CBlendMaterial::Invalidate() { InvalidateAll(Materials()); }
void CBlendMaterial::Validate() { ValidateAll(Materials()); }
bool CBlendMaterial::IsValid() const { return AllValid(Materials()); }

CBase* CBlendMaterial::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                            bool onlyMarked) {
  if (CBase* hit = CMaterial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({mask_.Get(), materials_[0].Get(), materials_[1].Get()}, name, record, includeDerived,
                          onlyMarked);
}

void CBlendMaterial::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                             bool includeDerived, bool onlyMarked) {
  owned_refs::Collect(Materials(), out, name, record, includeDerived, onlyMarked);
  CMaterial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({mask_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CBlendMaterial::UpdateMarked(const ObjectSet& set) {
  const bool own = CMaterial::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked({materials_[0].Get(), materials_[1].Get(), mask_.Get()}, set) || own;
  SetMarked(marked);
  return marked;
}

void CBlendMaterial::ClearMarked() {
  CMaterial::ClearMarked();
  owned_refs::ClearMarked({materials_[0].Get(), materials_[1].Get(), mask_.Get()});
}

Result CBlendMaterial::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences({mask_.Get(), materials_[0].Get(), materials_[1].Get()}, root);
  return Failed(r) ? r : CMaterial::ResolveReferences(root);
}

Result CBlendMaterial::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CMaterial::CollectAnimated(animated);
  return Failed(r) ? r : owned_refs::CollectAnimated(Materials(), animated);
}

Result CBlendMaterial::Update(i32 time) { return UpdateOk(time); }

Result CBlendMaterial::CreateInstance(CPointer<CBase>& out) const {
  const Result r = CreateCopy(*this, out);
  if (Succeeded(r)) {
    auto* copy = static_cast<CBlendMaterial*>(out.Get());
    copy->mask_ = nullptr;
    copy->materials_[0] = nullptr;
    copy->materials_[1] = nullptr;
  }
  return r;
}

Result CBlendMaterial::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CMaterial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CBlendMaterial*>(out.Get());
  r = CloneMember(copy->mask_, cloneMap, mask_.Get(), flags);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = CloneMember(copy->materials_[i], cloneMap, materials_[i].Get(), flags);
  return Failed(r) ? r : kOk;
}

Result CBlendMaterial::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CMaterial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CBlendMaterial* other = DynamicCast<CBlendMaterial>(target);
  if (other == nullptr) return kErrNotFound;
  other->Blend = Blend;
  AssignPointerMember(displaced, mask_, other->mask_);
  AssignPointerMember(displaced, materials_[0], other->materials_[0]);
  return AssignPointerMember(displaced, materials_[1], other->materials_[1]);
}

Result CBlendMaterial::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = SkipLegacyByte(stream, StaticClassRecord(), kVersionNoLegacyByte);
  if (Failed(r)) return r;
  const bool wide = stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionWideIds);
  r = ReadU32(stream, Blend);
  for (u32 i = 0; Succeeded(r) && i < 3; ++i) r = ReadId(stream, record, wide);
  return r;
}

Result CBlendMaterial::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, mask_);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = LinkOwnedPointer(stream, record, this, materials_[i]);
  return r;
}

Result CBlendMaterial::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CMaterial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({mask_.Get(), materials_[0].Get(), materials_[1].Get()}, stream, flags);
}

Result CBlendMaterial::Save(CStream& stream, u32 flags) {
  Result r = CMaterial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, Blend);
  if (Succeeded(r)) r = WriteObjectId(stream, mask_.Get());
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = WriteObjectId(stream, materials_[i].Get());
  return r;
}

void CBlendMaterial::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CBlendMaterial Member");
  visitor.OpenGroup();
  visitor.Float(u"Blend", &Blend);
  visitor.EndGroup();
  CMaterial::DescribeMembers(visitor);
}

void CBlendMaterial::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences({materials_[0].Get(), materials_[1].Get(), mask_.Get()}, visitor);
  CMaterial::EnumReferences(visitor);
}

u32 CBlendMaterial::GetMemorySize() const { return CMaterial::GetMemorySize() + 16; }
u32 CBlendMaterial::GetSaveSize() const { return CMaterial::GetSaveSize() + 36; }
bool CBlendMaterial::HasSubObjects() const {
  return mask_ || materials_[0] || materials_[1] || CMaterial::HasSubObjects();
}

// --- CMultiMaterial -----------------------------------------------------------------------------

void CMultiMaterial::AddSubMaterial(CMaterial* material) {
  if (material == nullptr) return;
  materials_.emplace_back(material);
  SetModified();
}

void CMultiMaterial::ClearSubMaterials() {
  materials_.clear();
  SetModified();
}

void CMultiMaterial::Invalidate() { InvalidateAll(RefList(materials_)); }
void CMultiMaterial::Validate() { ValidateAll(RefList(materials_)); }
bool CMultiMaterial::IsValid() const { return AllValid(RefList(materials_)); }

CBase* CMultiMaterial::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                            bool onlyMarked) {
  if (CBase* hit = CMaterial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find(RefList(materials_), name, record, includeDerived, onlyMarked);
}

void CMultiMaterial::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                             bool includeDerived, bool onlyMarked) {
  CMaterial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect(RefList(materials_), out, name, record, includeDerived, onlyMarked);
}

bool CMultiMaterial::UpdateMarked(const ObjectSet& set) {
  const bool own = CMaterial::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked(RefList(materials_), set) || own;
  SetMarked(marked);
  return marked;
}

void CMultiMaterial::ClearMarked() {
  CMaterial::ClearMarked();
  owned_refs::ClearMarked(RefList(materials_));
}

Result CMultiMaterial::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences(RefList(materials_), root);
  return Failed(r) ? r : CMaterial::ResolveReferences(root);
}

Result CMultiMaterial::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CMaterial::CollectAnimated(animated);
  return Failed(r) ? r : owned_refs::CollectAnimated(RefList(materials_), animated);
}

Result CMultiMaterial::Update(i32 time) { return UpdateOk(time); }

Result CMultiMaterial::CreateInstance(CPointer<CBase>& out) const {
  const Result r = CreateCopy(*this, out);
  if (Succeeded(r)) static_cast<CMultiMaterial*>(out.Get())->materials_.clear();
  return r;
}

Result CMultiMaterial::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CMaterial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CMultiMaterial*>(out.Get());
  for (const CPointer<CMaterial>& material : materials_) {
    // An empty entry (from a stored null id) stays empty, so the entries
    // after it keep the positions faces refer to.
    if (!material) {
      copy->materials_.emplace_back();
      continue;
    }
    CPointer<CMaterial> clone;
    const Result c = CloneMember(clone, cloneMap, material.Get(), flags);
    if (Failed(c)) return c;
    copy->AddSubMaterial(clone.Get());
  }
  return kOk;
}

Result CMultiMaterial::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CMaterial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CMultiMaterial* other = DynamicCast<CMultiMaterial>(target);
  if (other == nullptr) return kErrNotFound;
  return AssignPointerVectorMember(displaced, materials_, other->materials_);
}

Result CMultiMaterial::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = SkipLegacyByte(stream, StaticClassRecord(), kVersionNoLegacyByte);
  if (Failed(r)) return r;
  const bool wide = stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionWideIds);
  materials_.clear();
  return ReadReferenceVector(stream, record, materials_, wide);
}

Result CMultiMaterial::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CMaterial::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedList(stream, record, this, materials_);
}

Result CMultiMaterial::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CMaterial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave(RefList(materials_), stream, flags);
}

Result CMultiMaterial::Save(CStream& stream, u32 flags) {
  Result r = CMaterial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  return Failed(r) ? r : WriteReferenceVector(stream, materials_);
}

void CMultiMaterial::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences(RefList(materials_), visitor);
  CMaterial::EnumReferences(visitor);
}

u32 CMultiMaterial::GetMemorySize() const {
  return CMaterial::GetMemorySize() + 24 + static_cast<u32>(materials_.size());
}
u32 CMultiMaterial::GetSaveSize() const {
  return CMaterial::GetSaveSize() + 8 + GetPointerVectorSaveSize(static_cast<u32>(materials_.size()));
}
bool CMultiMaterial::HasSubObjects() const { return !materials_.empty() || CMaterial::HasSubObjects(); }

}  // namespace KT
