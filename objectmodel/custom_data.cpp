#include "objectmodel/custom_data.h"

#include "objectmodel/chain.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/version_data.h"

namespace KT {

namespace {

// True when `target` is `start` or follows it in its chain.
bool ChainContains(const CCustomData* start, const CCustomData* target) {
  return KT::ChainContains(start, target, [](const CCustomData* e) { return e->GetNext(); });
}

}  // namespace

CCustomData::~CCustomData() {
  ReleaseChain(next_, [](CCustomData& e) -> CPointer<CCustomData>& { return e.next_; });
}

Result CCustomData::SetNext(CCustomData* next) {
  if (ChainContains(next, this)) return kErrInvalidArg;
  next_ = next;
  SetModified();
  return kOk;
}

CBase* CCustomData::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  for (CCustomData* p = this; p != nullptr; p = p->next_.Get()) {
    if (p->Matches(name, record, includeDerived, onlyMarked)) return p;
  }
  return nullptr;
}

void CCustomData::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  for (CCustomData* p = this; p != nullptr; p = p->next_.Get()) {
    if (p->Matches(name, record, includeDerived, onlyMarked)) out.push_back(p);
  }
}

bool CCustomData::UpdateMarked(const ObjectSet& set) {
  // Each record is marked when it or any record after it is in the set:
  // walk the chain once, then settle the flags from the tail.
  std::vector<CCustomData*> chain;
  for (CCustomData* p = this; p != nullptr; p = p->next_.Get()) chain.push_back(p);
  bool after = false;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    after = (*it)->CBase::UpdateMarked(set) || after;
    (*it)->SetMarked(after);
  }
  return after;
}

void CCustomData::ClearMarked() {
  for (CCustomData* p = this; p != nullptr; p = p->next_.Get()) p->SetMarked(false);
}

Result CCustomData::ResolveReferences(CBase* root) { return root == nullptr ? kErrInvalidArg : kOk; }

Result CCustomData::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CBase::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CCustomData* previous = static_cast<CCustomData*>(out.Get());
  for (CCustomData* source = next_.Get(); source != nullptr; source = source->next_.Get()) {
    CPointer<CBase> clone;
    r = source->CBase::Clone(clone, cloneMap, flags);
    if (Failed(r)) return r;
    previous->next_ = DynamicCast<CCustomData>(clone.Get());
    if (r == kDone) break;  // the rest of the chain was cloned before
    previous = previous->next_.Get();
  }
  return kOk;
}

Result CCustomData::CopyChainPart(CCustomData* target, DisplacedList& displaced) const {
  if (target != this && ChainContains(next_.Get(), target)) return kErrInvalidArg;
  return AssignPointerMember(displaced, next_, target->next_);
}

Result CCustomData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  if (target == nullptr) return kErrInvalidArg;
  if (!target->IsKindOf(GetClassRecord())) return kErrNotFound;
  CCustomData* other = static_cast<CCustomData*>(target);
  if (other != this && ChainContains(next_.Get(), other)) return kErrInvalidArg;
  const Result r = CBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  return CopyChainPart(other, displaced);
}

Result CCustomData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CBase::Load(stream, record, flags);
  if (Failed(r)) return r;
  legacyIds_ = 0;
  const i32 fileVersion = stream.GetFileVersion();
  if (fileVersion < CStream::kFirstSectionedVersion) {
    // Files before 3.01 carry the part of a former base class first; only
    // its reference survives, as an extra queued id.
    u64 version = static_cast<u64>(fileVersion);
    if (fileVersion >= CStream::kFirstSizedRecordVersion) {
      u32 pair[2] = {0, 0};
      r = stream.Read(pair, sizeof(pair), sizeof(pair));
      if (Failed(r)) return r;
      version = static_cast<u64>(pair[0]) * 100 + pair[1];
    }
    if (version < 201) {
      u32 ignored = 0;
      r = ReadU32(stream, ignored);
      if (Succeeded(r) && version >= 101) {
        r = ReadU32(stream, ignored);
        if (Succeeded(r)) r = ReadObjectId32(stream, record);
        legacyIds_ = 1;
      }
    } else {
      u64 ignored = 0;
      r = ReadU64(stream, ignored);
      if (Succeeded(r)) r = ReadU64(stream, ignored);
      if (Succeeded(r)) r = ReadObjectId(stream, record);
      legacyIds_ = 1;
    }
    if (Failed(r)) return r;
  }
  r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  if (version < static_cast<i32>(kVersionNoLegacyInfo)) {
    WString ignoredText;
    u32 ignored = 0;
    r = ReadWString(stream, ignoredText);
    if (Succeeded(r)) r = ReadU32(stream, ignored);
    if (Succeeded(r)) r = ReadU32(stream, ignored);
    if (Failed(r)) return r;
  }
  return version >= static_cast<i32>(kVersionWideNext) ? ReadObjectId(stream, record)
                                                        : ReadObjectId32(stream, record);
}

Result CCustomData::LinkNext(CStream& stream, CCustomData* owner, u64 id) {
  CCustomData* target = DynamicCast<CCustomData>(stream.ObjectFromId(id));
  if (target != nullptr) {
    const Result r = stream.ClaimOwnership(owner, target);
    if (Failed(r)) return r;
    // A record already owned elsewhere: check the chain itself.
    if (r == kDone && ChainContains(target, owner)) return kErrNotFound;
  }
  owner->next_ = target;
  if (target == nullptr && id != 0) stream.AddUnresolved(id, owner);
  return kOk;
}

Result CCustomData::Link(CStream& stream, CStreamLoadRecord& record, u32) {
  if (legacyIds_ == 0) return LinkNext(stream, this, record.TakeNextId());
  // Older files queue two ids: the first is this record's Next; the second
  // continues the chain behind it when the first resolved, else it is this
  // record's Next after all.
  const u64 first = record.TakeNextId();
  const u64 second = record.TakeNextId();
  Result r = LinkNext(stream, this, first);
  if (Failed(r)) return r;
  if (!next_) return LinkNext(stream, this, second);
  if (stream.ObjectFromId(second) == nullptr) {
    if (second != 0) stream.AddUnresolved(second, next_.Get());
    return kOk;
  }
  return LinkNext(stream, next_.Get(), second);
}

Result CCustomData::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CBase::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  for (CCustomData* p = next_.Get(); p != nullptr; p = p->next_.Get()) {
    r = p->CBase::RegisterForSave(stream, flags);
    if (Failed(r)) return r;
    if (r == kDone) break;
  }
  return kOk;
}

Result CCustomData::Save(CStream& stream, u32 flags) {
  Result r = CBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, next_.Get());
  return r;
}

void CCustomData::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(next_.Get(), 1);
  CBase::EnumReferences(visitor);
}

u32 CCustomData::GetMemorySize() const { return sizeof(CCustomData); }

u32 CCustomData::GetSaveSize() const { return CBase::GetSaveSize() + 16; }

bool CCustomData::HasSubObjects() const { return next_ || CBase::HasSubObjects(); }

void RegisterCustomDataClasses() {
  CClassFactory::Register("CCustomData", &CreateObject<CCustomData>);
  CClassFactory::Register("CVersionData", &CreateObject<CVersionData>);
  CClassFactory::Register("CRawData", &CreateObject<CRawData>);
  CClassFactory::Register("CXmlRawData", &CreateObject<CXmlRawData>);
}

}  // namespace KT
