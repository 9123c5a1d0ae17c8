#include "objectmodel/base.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

#include "platform/unique_id.h"

namespace KT {

CBase::CBase() : uniqueId_(QueryUniqueID()) {}

CBase::CBase(const CBase& other) : name_(other.name_), uniqueId_(QueryUniqueID()) {}

CBase& CBase::operator=(const CBase& other) {
  if (this != &other) name_ = other.name_;
  return *this;
}

CBase::~CBase() { ReleaseUniqueID(uniqueId_); }

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

Result CBase::Link(CStream&, CStreamLoadRecord&, u32) { return kDone; }

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
