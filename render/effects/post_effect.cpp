#include "render/effects/post_effect.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "render/materials/material_base.h"

namespace KT {

namespace {

constexpr u32 kValueEntryBytes = 20;
constexpr u32 kObjectEntryBytes = 40;

}  // namespace

CPostEffect::CPostEffect(const CPostEffect& other)
    : CDorun(other),
      Enabled(other.Enabled),
      Kind(other.Kind),
      TrailingWord(other.TrailingWord),
      parameters_(other.parameters_),
      values_(other.values_) {}

CPostEffect::~CPostEffect() { objects_.clear(); }

Result CPostEffect::GetVariable(u32 index, Float4& value) const {
  if (index >= values_.size()) return kErrOutOfRange;
  value = values_[index].Value;
  return kOk;
}

Result CPostEffect::SetVariable(u32 index, const Float4& value) {
  if (index >= values_.size()) return kErrOutOfRange;
  values_[index].Value = value;
  SetModified();
  return kOk;
}

Result CPostEffect::AddVariable(u32 id, const Float4& value) {
  try {
    values_.push_back({id, value});
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CPostEffect::AddObjectEntry(CBase* object, const std::array<u32, 4>& words, const Float4& value) {
  if (WouldHoldItself(object, this)) return kErrInvalidArg;
  try {
    objects_.push_back({CPointer<CBase>(object), words, value});
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CPostEffect::SetParameters(const char* bytes, u32 count) {
  CBuffer<char> copy;
  if (count > 0) {
    const Result r = copy.Create(count, bytes);
    if (Failed(r)) return r;
  }
  parameters_.Swap(copy);
  SetModified();
  return kOk;
}

std::vector<CBase*> CPostEffect::Objects() const {
  std::vector<CBase*> refs;
  refs.reserve(objects_.size());
  for (const CObjectEntry& entry : objects_) refs.push_back(entry.Object.Get());
  return refs;
}

CBase* CPostEffect::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find(Objects(), name, record, includeDerived, onlyMarked);
}

void CPostEffect::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect(Objects(), out, name, record, includeDerived, onlyMarked);
}

bool CPostEffect::UpdateMarked(const ObjectSet& set) {
  const bool own = CDorun::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked(Objects(), set) || own;
  SetMarked(marked);
  return marked;
}

void CPostEffect::ClearMarked() {
  CDorun::ClearMarked();
  owned_refs::ClearMarked(Objects());
}

Result CPostEffect::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences(Objects(), root);
  return Failed(r) ? r : CDorun::ResolveReferences(root);
}

Result CPostEffect::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CPostEffect::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CPostEffect*>(out.Get());
  try {
    copy->objects_ = objects_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (CObjectEntry& entry : copy->objects_) {
    if (!entry.Object) continue;
    const Result c = CloneMember(entry.Object, cloneMap, entry.Object.Get(), flags);
    if (Failed(c)) return c;
  }
  return kOk;
}

Result CPostEffect::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CPostEffect* other = DynamicCast<CPostEffect>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->Enabled = Enabled;
  other->Kind = Kind;
  other->TrailingWord = TrailingWord;
  if (parameters_.IsEmpty()) {
    other->parameters_.Free();
  } else {
    r = other->parameters_.CopyFrom(parameters_);
    if (Failed(r)) return r;
  }
  try {
    other->values_ = values_;
    std::vector<CObjectEntry> entries(objects_.size());
    for (std::size_t i = 0; i < objects_.size(); ++i) {
      entries[i].Words = objects_[i].Words;
      entries[i].Value = objects_[i].Value;
      if (i < other->objects_.size()) entries[i].Object = other->objects_[i].Object;
      AssignPointerMember(displaced, objects_[i].Object, entries[i].Object);
    }
    for (std::size_t i = objects_.size(); i < other->objects_.size(); ++i) {
      if (other->objects_[i].Object) displaced.emplace_back(other->objects_[i].Object.Get());
    }
    other->objects_.swap(entries);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CPostEffect::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  r = ReadBool(stream, Enabled);
  if (Succeeded(r)) r = ReadU32(stream, Kind);
  if (Succeeded(r)) r = ReadPodBuffer(stream, parameters_);
  u32 count = 0;
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, kValueEntryBytes);
  if (Failed(r)) return r;
  values_.resize(count);
  for (CValueEntry& entry : values_) {
    r = ReadU32(stream, entry.Id);
    if (Succeeded(r)) r = ReadFloats(stream, entry.Value.data(), 4);
    if (Failed(r)) return r;
  }
  r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, kObjectEntryBytes);
  if (Failed(r)) return r;
  objects_.resize(count);
  for (CObjectEntry& entry : objects_) {
    r = ReadObjectId(stream, record);
    for (u32& word : entry.Words) {
      if (Succeeded(r)) r = ReadU32(stream, word);
    }
    if (Succeeded(r)) r = ReadFloats(stream, entry.Value.data(), 4);
    if (Failed(r)) return r;
  }
  TrailingWord = 0;
  if (stored >= static_cast<i32>(kVersionTrailingWord)) r = ReadU32(stream, TrailingWord);
  return r;
}

Result CPostEffect::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  for (CObjectEntry& entry : objects_) {
    const Result linked = LinkOwnedPointer(stream, record, this, entry.Object, ForeignObject::kLeaveEmpty);
    if (Failed(linked)) return linked;
  }
  return kOk;
}

Result CPostEffect::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave(Objects(), stream, flags);
}

Result CPostEffect::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteBool(stream, Enabled);
  if (Succeeded(r)) r = WriteU32(stream, Kind);
  if (Succeeded(r)) r = WritePodBuffer(stream, parameters_);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(values_.size()));
  for (const CValueEntry& entry : values_) {
    if (Succeeded(r)) r = WriteU32(stream, entry.Id);
    if (Succeeded(r)) r = WriteFloats(stream, entry.Value.data(), 4);
  }
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(objects_.size()));
  for (const CObjectEntry& entry : objects_) {
    if (Succeeded(r)) r = WriteObjectId(stream, entry.Object.Get());
    for (u32 word : entry.Words) {
      if (Succeeded(r)) r = WriteU32(stream, word);
    }
    if (Succeeded(r)) r = WriteFloats(stream, entry.Value.data(), 4);
  }
  if (Succeeded(r)) r = WriteU32(stream, TrailingWord);
  return r;
}

void CPostEffect::EnumReferences(CReferenceVisitor& visitor) {
  for (const CObjectEntry& entry : objects_) {
    if (entry.Object) visitor.Visit(entry.Object.Get(), 1);
  }
  CDorun::EnumReferences(visitor);
}

u32 CPostEffect::GetMemorySize() const {
  return CDorun::GetMemorySize() + 80 + 20 * static_cast<u32>(values_.size()) +
         36 * static_cast<u32>(objects_.size()) + parameters_.GetCount();
}

u32 CPostEffect::GetSaveSize() const {
  return CDorun::GetSaveSize() + 29 + parameters_.GetCount() +
         kValueEntryBytes * static_cast<u32>(values_.size()) + kObjectEntryBytes * static_cast<u32>(objects_.size());
}

bool CPostEffect::HasSubObjects() const {
  for (const CObjectEntry& entry : objects_) {
    if (entry.Object) return true;
  }
  return CDorun::HasSubObjects();
}

}  // namespace KT
