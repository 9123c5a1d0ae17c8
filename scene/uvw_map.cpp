#include "scene/uvw_map.h"

#include <limits>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// `buffer` becomes `count` zeroed elements. Built aside and swapped in, so a
// refused or failed allocation leaves the buffer as it was.
template <typename T>
Result AllocateZeroed(CBuffer<T>& buffer, u64 count) {
  if (count == 0) return kErrInvalidArg;
  if (count > std::numeric_limits<u32>::max()) return kErrOutOfMemory;
  CBuffer<T> fresh;
  const Result r = fresh.Create(static_cast<u32>(count));
  if (Failed(r)) return r;
  fresh.SetExtra(buffer.GetExtra());
  buffer.Swap(fresh);
  return kOk;
}

// `count` elements whose count the record stored elsewhere: checked against
// the bytes left, allocated, then read when `present` (else left zeroed).
// Even elements that are absent are held to the bytes left, so that a
// crafted count cannot ask for a huge zeroed allocation.
template <typename T>
Result ReadCountedElements(CStream& stream, CBuffer<T>& buffer, u64 count, bool present) {
  if (count == 0) return kOk;
  Result r = stream.CheckAvailable(count, sizeof(T));
  if (Succeeded(r)) r = AllocateZeroed(buffer, count);
  if (Succeeded(r) && present) {
    const u32 bytes = static_cast<u32>(count * sizeof(T));
    r = stream.Read(buffer.GetData(), bytes, bytes);
  }
  return r;
}

// One field of the old inline layout: a u32 count (times `perCount`
// elements), a presence word, and the elements when present.
template <typename T>
Result ReadOldField(CStream& stream, CBuffer<T>& buffer, u64 perCount) {
  u32 count = 0;
  u32 present = 0;
  Result r = ReadU32(stream, count);
  if (Succeeded(r)) r = ReadU32(stream, present);
  if (Succeeded(r)) r = ReadCountedElements(stream, buffer, perCount * count, present != 0);
  return r;
}

// A buffer's elements after its u32 count.
template <typename T>
Result WriteElements(CStream& stream, const CBuffer<T>& buffer, u32 count) {
  Result r = WriteU32(stream, count);
  if (Succeeded(r) && count != 0) r = stream.Write(buffer.GetData(), static_cast<u32>(count * sizeof(T)));
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// CUvwMapData

CUvwMapData::CUvwMapData(const CUvwMapData& other)
    : CDorun(other), vertexUvwMap_(other.vertexUvwMap_), uvwTriIndex_(other.uvwTriIndex_) {}

Result CUvwMapData::Create(CPointer<CUvwMapData>& out) {
  CUvwMapData* data = new (std::nothrow) CUvwMapData();
  if (data == nullptr) return kErrOutOfMemory;
  out = data;
  return kOk;
}

Result CUvwMapData::AllocateUvwTriIndex(u32 triangles) {
  const Result r = AllocateZeroed(uvwTriIndex_, 3 * static_cast<u64>(triangles));
  if (Succeeded(r)) SetModified();
  return r;
}

Result CUvwMapData::AllocateVertexUvwMap(u32 vertices) {
  const Result r = AllocateZeroed(vertexUvwMap_, vertices);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CUvwMapData::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CBase> copy;
  const Result r = CreateCopy(*this, copy);
  if (Failed(r)) return r;
  const CUvwMapData* data = static_cast<const CUvwMapData*>(copy.Get());
  // The buffers' copy constructor cannot report a failed allocation.
  if (data->uvwTriIndex_.GetCount() != uvwTriIndex_.GetCount() ||
      data->vertexUvwMap_.GetCount() != vertexUvwMap_.GetCount()) {
    return kErrOutOfMemory;
  }
  out = std::move(copy);
  return kOk;
}

Result CUvwMapData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CUvwMapData* other = DynamicCast<CUvwMapData>(target);
  // Tested before the base part is copied, so a refused target keeps all.
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Succeeded(r)) r = other->uvwTriIndex_.CopyFrom(uvwTriIndex_);
  if (Succeeded(r)) r = other->vertexUvwMap_.CopyFrom(vertexUvwMap_);
  return Failed(r) ? r : kOk;
}

Result CUvwMapData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  u32 corners = 0;
  if (Succeeded(r)) r = ReadU32(stream, corners);
  if (Failed(r)) return r;
  // The writer stores whole triangles only; a count that would cut one is
  // a damaged record, not something to round down.
  if (corners % 3 != 0) return kErrNotFound;
  r = ReadCountedElements(stream, uvwTriIndex_, corners, true);
  u32 vertices = 0;
  if (Succeeded(r)) r = ReadU32(stream, vertices);
  if (Succeeded(r)) r = ReadCountedElements(stream, vertexUvwMap_, vertices, true);
  return Failed(r) ? r : kOk;
}

Result CUvwMapData::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  // The corner indices come first, the reverse of the member order.
  if (Succeeded(r)) r = WriteElements(stream, uvwTriIndex_, SavedCornerCount());
  if (Succeeded(r)) r = WriteElements(stream, vertexUvwMap_, vertexUvwMap_.GetCount());
  return r;
}

void CUvwMapData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CUvwMapData Member");
  visitor.OpenGroup();
  visitor.UIntArray(u"VertexUVWMap", vertexUvwMap_.GetData(), vertexUvwMap_.GetCount());
  visitor.UIntArray(u"UVWTriIndex", uvwTriIndex_.GetData(), uvwTriIndex_.GetCount());
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CUvwMapData::GetMemorySize() const {
  return CDorun::GetMemorySize() + 4 * (vertexUvwMap_.GetCount() + uvwTriIndex_.GetCount()) + 32;
}

u32 CUvwMapData::GetSaveSize() const {
  // 8 version bytes and the two counts.
  return CDorun::GetSaveSize() + 4 * (vertexUvwMap_.GetCount() + SavedCornerCount()) + 16;
}

// ---------------------------------------------------------------------------
// CUvwMap

CUvwMap::CUvwMap(const CUvwMap& other) : CDorun(other), uvw_(other.uvw_) {}

Result CUvwMap::Create(CPointer<CUvwMap>& out) {
  CUvwMap* map = new (std::nothrow) CUvwMap();
  if (map == nullptr) return kErrOutOfMemory;
  out = map;
  return kOk;
}

void CUvwMap::SetUvwMapData(CUvwMapData* data) {
  if (uvwMapData_.Get() == data) return;
  uvwMapData_ = data;
  SetModified();
}

Result CUvwMap::AllocateUvw(u32 count) {
  const Result r = AllocateZeroed(uvw_, count);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CUvwMap::CheckIndices() const {
  if (!uvwMapData_) return kOk;
  const u32 count = uvw_.GetCount();
  for (const CBuffer<u32>* indices : {&uvwMapData_->uvwTriIndex_, &uvwMapData_->vertexUvwMap_}) {
    for (const u32 index : *indices) {
      if (index >= count) return kErrNotFound;
    }
  }
  return kOk;
}

CBase* CUvwMap::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return uvwMapData_ ? uvwMapData_->Find(name, record, includeDerived, onlyMarked) : nullptr;
}

void CUvwMap::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                      bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  if (uvwMapData_) uvwMapData_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CUvwMap::UpdateMarked(const ObjectSet& set) {
  bool marked = CDorun::UpdateMarked(set);
  // Evaluated whatever this map answered: the data's own flag is set here.
  if (uvwMapData_ && uvwMapData_->UpdateMarked(set)) marked = true;
  SetMarked(marked);
  return marked;
}

void CUvwMap::ClearMarked() {
  CDorun::ClearMarked();
  if (uvwMapData_) uvwMapData_->ClearMarked();
}

Result CUvwMap::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  if (uvwMapData_) {
    r = uvwMapData_->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CUvwMap::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(uvwMapData_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

bool CUvwMap::HasSubObjects() const { return uvwMapData_ || CDorun::HasSubObjects(); }

Result CUvwMap::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CBase> copy;
  const Result r = CreateCopy(*this, copy);
  if (Failed(r)) return r;
  // The buffer's copy constructor cannot report a failed allocation.
  if (static_cast<const CUvwMap*>(copy.Get())->uvw_.GetCount() != uvw_.GetCount()) return kErrOutOfMemory;
  out = std::move(copy);
  return kOk;
}

Result CUvwMap::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  if (uvwMapData_) {
    CUvwMap* copy = static_cast<CUvwMap*>(out.Get());
    r = CloneMember(copy->uvwMapData_, cloneMap, uvwMapData_.Get(), flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CUvwMap::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CUvwMap* other = DynamicCast<CUvwMap>(target);
  // Tested before the base part is copied, so a refused target keeps all.
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Succeeded(r)) r = other->uvw_.CopyFrom(uvw_);
  return Failed(r) ? r : kOk;
}

Result CUvwMap::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  dataIdQueued_ = false;
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  if (stream.GetStoredVersion(StaticClassRecord()) < static_cast<i32>(kVersionSeparateData)) {
    return LoadOldLayout(stream);
  }
  r = ReadPodBuffer(stream, uvw_);
  if (Succeeded(r)) r = ReadObjectId(stream, record);
  if (Failed(r)) return r;
  dataIdQueued_ = true;
  return kOk;
}

Result CUvwMap::LoadOldLayout(CStream& stream) {
  CPointer<CUvwMapData> data;
  Result r = CUvwMapData::Create(data);
  if (Failed(r)) return r;
  uvwMapData_ = data;
  r = ReadOldField(stream, uvw_, 1);
  if (Succeeded(r)) r = ReadOldField(stream, data->uvwTriIndex_, 3);
  if (Succeeded(r)) r = ReadOldField(stream, data->vertexUvwMap_, 1);
  return Failed(r) ? r : kOk;
}

Result CUvwMap::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Failed(r) || !dataIdQueued_) return r;
  dataIdQueued_ = false;
  const u64 id = record.TakeNextId();
  CBase* object = stream.ObjectFromId(id);
  CUvwMapData* data = DynamicCast<CUvwMapData>(object);
  if (data != nullptr) {
    // The data's own chains may reach back to this map in a crafted file;
    // the stream refuses exactly the links that would close such a loop.
    r = stream.ClaimOwnership(this, data);
    if (Failed(r)) return r;
  }
  uvwMapData_ = data;
  if (object == nullptr && id != 0) stream.AddUnresolved(id, this);
  return kOk;
}

Result CUvwMap::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WritePodBuffer(stream, uvw_);
  if (Succeeded(r)) r = WriteObjectId(stream, uvwMapData_.Get());
  return r;
}

void CUvwMap::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CUvwMap Member");
  visitor.OpenGroup();
  visitor.VectorArray(u"UVW", uvw_.GetData(), uvw_.GetCount());
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CUvwMap::GetMemorySize() const { return CDorun::GetMemorySize() + 12 * uvw_.GetCount() + 24; }

u32 CUvwMap::GetSaveSize() const {
  // 8 version bytes, the coordinate count and the data's 8-byte id.
  return CDorun::GetSaveSize() + 12 * uvw_.GetCount() + 20;
}

}  // namespace KT
