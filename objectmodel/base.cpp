#include "objectmodel/base.h"

#include <vector>

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "platform/unique_id.h"

namespace KT {

CBase::CBase() : uniqueId_(QueryUniqueID()) {}

CBase::CBase(const CBase& other) : name_(other.name_), uniqueId_(QueryUniqueID()) {}

CBase& CBase::operator=(const CBase& other) {
  if (this != &other) name_ = other.name_;
  return *this;
}

CBase::~CBase() { ReleaseUniqueID(uniqueId_); }

void CBase::Destroy() {
  // An object whose last count goes while another object is being
  // destroyed (a member released by a destructor) is deleted by the
  // outermost Destroy, in a loop: destroying a graph nested n levels deep
  // then takes constant stack instead of one destructor frame per level.
  struct Pending {
    bool active = false;
    std::vector<CBase*> objects;
  };
  thread_local Pending pending;
  if (pending.active) {
    pending.objects.push_back(this);
    return;
  }
  pending.active = true;
  delete this;
  while (!pending.objects.empty()) {
    CBase* next = pending.objects.back();
    pending.objects.pop_back();
    delete next;
  }
  pending.active = false;
}

Result CBase::RemapReferences(const CloneMap&) { return kOk; }

bool CBase::Matches(const char16_t* name, const ClassRecord* record, bool includeDerived,
                    bool onlyMarked) const {
  if (onlyMarked && !marked_) return false;
  if (record != nullptr) {
    if (includeDerived) {
      if (!IsKindOf(*record)) return false;
    } else if (GetClassRecord().id != record->id) {
      return false;
    }
  }
  return name == nullptr || name_ == std::u16string_view(name);
}

CBase* CBase::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  return Matches(name, record, includeDerived, onlyMarked) ? this : nullptr;
}

void CBase::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                    bool includeDerived, bool onlyMarked) {
  if (Matches(name, record, includeDerived, onlyMarked)) out.push_back(this);
}

bool CBase::UpdateMarked(const ObjectSet& set) {
  marked_ = set.count(this) != 0;
  return marked_;
}

void CBase::ClearMarked() { marked_ = false; }

Result CBase::ResolveReferences(CBase*) { return kOk; }

const ClassRecord& CBase::GetClassRecord() const { return StaticClassRecord(); }

u32 CBase::GetVersion() const { return StaticClassRecord().Version(); }

Result CBase::CreateInstance(CPointer<CBase>&) const { return kErrInvalidArg; }

Result CBase::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32) {
  const auto it = cloneMap.find(this);
  if (it != cloneMap.end()) {
    out = it->second;
    return kDone;
  }
  const Result r = CreateInstance(out);
  if (Failed(r)) return r;
  cloneMap[this] = out;
  return r;
}

Result CBase::CopyTo(CBase* target, DisplacedList&, u32) const {
  if (target == nullptr) return kErrInvalidArg;
  target->name_ = name_;
  return kOk;
}

Result CBase::Load(CStream& stream, CStreamLoadRecord& record, u32) {
  Result r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  u64 id = 0;
  if (stream.GetStoredVersion(StaticClassRecord()) > static_cast<i32>(kVersionWideId)) {
    r = ReadU64(stream, id);
  } else {
    u32 narrowId = 0;
    r = ReadU32(stream, narrowId);
    id = narrowId;
  }
  if (Failed(r)) return r;
  // Id 0 means "no object" in every reference, so no record may carry it;
  // a second record with the same id would make references ambiguous.
  if (id == 0 || !stream.RegisterId(id, &record)) return kErrStream;
  return ReadWString(stream, name_);
}

Result CBase::Link(CStream&, CStreamLoadRecord&, u32) { return kDone; }

Result CBase::RegisterForSave(CStream& stream, u32) {
  if (!stream.RegisterId(uniqueId_, nullptr)) return kDone;
  stream.AddObjectForSave(this);
  return kOk;
}

Result CBase::Save(CStream& stream, u32) {
  const ClassRecord& record = GetClassRecord();
  const u32 nameLength = static_cast<u32>(std::strlen(record.name));
  Result r = WriteString(stream, record.name);
  // The body size counts every byte after its own field.
  if (Succeeded(r)) r = WriteU32(stream, GetSaveSize() - 8 - nameLength);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU64(stream, uniqueId_);
  if (Succeeded(r)) r = WriteWString(stream, name_);
  return r;
}

Result CBase::PrepareRuntime(void*) { return kOk; }

Result CBase::Reserved17(void*, void*) { return kErrInvalidArg; }

Result CBase::Reserved18(void*, void*) { return kErrInvalidArg; }

void CBase::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CBase Member");
  visitor.OpenGroup();
  visitor.Bool(u"Modified", &modified_);
  visitor.Bool(u"Marked", &marked_);
  visitor.WideString(u"Name", &name_);
  visitor.UInt(u"References", &references_);
  visitor.U64(u"VuskID", uniqueId_);
  visitor.EndGroup();
}

void CBase::EnumReferences(CReferenceVisitor&) {}

u32 CBase::GetMemorySize() const { return 60; }

u32 CBase::GetSaveSize() const {
  return static_cast<u32>(std::strlen(GetClassRecord().name) + 2 * name_.size() + 28);
}

bool CBase::HasSubObjects() const { return false; }

Result CBase::RemapAllReferences(const CloneMap& cloneMap) {
  std::vector<CBase*> found;
  Collect(found, nullptr, &StaticClassRecord(), true, false);
  const std::set<CBase*> ordered(found.begin(), found.end());
  for (CBase* object : ordered) {
    const Result r = object->RemapReferences(cloneMap);
    if (Failed(r)) return r;
  }
  return kOk;
}

CBase* DynamicCast(CBase* object, const ClassRecord& record) {
  return object != nullptr && object->IsKindOf(record) ? object : nullptr;
}

const CBase* DynamicCast(const CBase* object, const ClassRecord& record) {
  return object != nullptr && object->IsKindOf(record) ? object : nullptr;
}

Result CloneObject(CPointer<CBase>& out, CloneMap& cloneMap, CBase* object, u32 flags) {
  if (object == nullptr) return kErrInvalidArg;
  CPointer<CBase> clone;
  const Result r = object->Clone(clone, cloneMap, flags);
  if (Succeeded(r)) out = clone;
  return r;
}

}  // namespace KT
