#include "render/materials/material_base.h"

#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

// --- CMaterialBase ------------------------------------------------------------------------------

Result CMaterialBase::CreateInstance(CPointer<CBase>&) const { return kErrInvalidArg; }

Result CMaterialBase::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CDorun::CopyTo(target, displaced, flags);
  return Failed(r) ? r : kOk;
}

Result CMaterialBase::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Load(stream, record, flags);
  return Failed(r) ? r : stream.ReadVersionBlock(StaticClassRecord());
}

Result CMaterialBase::Save(CStream& stream, u32 flags) {
  const Result r = CDorun::Save(stream, flags);
  return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
}

u32 CMaterialBase::GetSaveSize() const { return CDorun::GetSaveSize() + 8; }

// --- CMaterial ----------------------------------------------------------------------------------

Result CMaterial::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CMaterialBase::Load(stream, record, flags);
  return Failed(r) ? r : stream.ReadVersionBlock(StaticClassRecord());
}

Result CMaterial::Save(CStream& stream, u32 flags) {
  const Result r = CMaterialBase::Save(stream, flags);
  return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
}

u32 CMaterial::GetSaveSize() const { return CMaterialBase::GetSaveSize() + 8; }

// --- CTexture -----------------------------------------------------------------------------------

Result CTexture::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterialBase::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  return SkipLegacyByte(stream, StaticClassRecord(), kVersionNoLegacyByte);
}

Result CTexture::Save(CStream& stream, u32 flags) {
  const Result r = CMaterialBase::Save(stream, flags);
  return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
}

u32 CTexture::GetSaveSize() const { return CMaterialBase::GetSaveSize() + 8; }

Result SkipLegacyByte(CStream& stream, const ClassRecord& record, u32 since) {
  if (stream.GetStoredVersion(record) >= static_cast<i32>(since)) return kOk;
  bool dropped = false;
  return ReadBool(stream, dropped);
}

// --- walks over owned sub-objects ---------------------------------------------------------------

namespace owned_refs {

CBase* Find(const List& refs, const char16_t* name, const ClassRecord* record, bool includeDerived,
            bool onlyMarked) {
  for (CBase* ref : refs) {
    if (ref == nullptr) continue;
    if (CBase* hit = ref->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void Collect(const List& refs, std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
             bool includeDerived, bool onlyMarked) {
  for (CBase* ref : refs) {
    if (ref != nullptr) ref->Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool UpdateMarked(const List& refs, const ObjectSet& set) {
  bool marked = false;
  for (CBase* ref : refs) {
    if (ref != nullptr && ref->UpdateMarked(set)) marked = true;
  }
  return marked;
}

void ClearMarked(const List& refs) {
  for (CBase* ref : refs) {
    if (ref != nullptr) ref->ClearMarked();
  }
}

Result ResolveReferences(const List& refs, CBase* root) {
  for (CBase* ref : refs) {
    if (ref == nullptr) continue;
    const Result r = ref->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result RegisterForSave(const List& refs, CStream& stream, u32 flags) {
  for (CBase* ref : refs) {
    if (ref == nullptr) continue;
    const Result r = ref->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CollectAnimated(const List& refs, std::vector<CDorun*>& animated) {
  for (CBase* ref : refs) {
    CDorun* content = DynamicCast<CDorun>(ref);
    if (content == nullptr) continue;
    const Result r = content->CollectAnimated(animated);
    if (Failed(r)) return r;
  }
  return kOk;
}

void EnumReferences(const List& refs, CReferenceVisitor& visitor) {
  for (CBase* ref : refs) visitor.Visit(ref, 1);
}

bool AnyPresent(const List& refs) {
  for (const CBase* ref : refs) {
    if (ref != nullptr) return true;
  }
  return false;
}

}  // namespace owned_refs

}  // namespace KT
