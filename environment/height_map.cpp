#include "environment/height_map.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

CHeightMap::~CHeightMap() {
  subObject_ = nullptr;
  subObjectList_.clear();
}

std::vector<CBase*> CHeightMap::Owned() const {
  std::vector<CBase*> refs = owned_walk::Of(subObjectList_);
  refs.push_back(subObject_.Get());
  return refs;
}

Result CHeightMap::AddListObject(CBase* object) {
  if (WouldHoldItself(object, this)) return kErrInvalidArg;
  subObjectList_.emplace_back(object);
  SetModified();
  return kOk;
}

Result CHeightMap::SetSubObject(CBase* object) {
  if (WouldHoldItself(object, this)) return kErrInvalidArg;
  subObject_ = object;
  SetModified();
  return kOk;
}

// --- bounds ----------------------------------------------------------------------------------

Result CHeightMap::ComputeBlockBounds() {
  blockBounds_.fill(CBound());
  totalBound_.Clear();
  // The pass reads exactly the 513 x 513 grid: any other sample count
  // (a damaged or foreign record) leaves the field without bounds rather
  // than reading past the buffer.
  if (Heights.GetCount() != kSampleCount) return kDone;
  const f32* heights = Heights.GetData();
  for (u32 j = 0; j < kBlocksPerSide; ++j) {
    for (u32 i = 0; i < kBlocksPerSide; ++i) {
      f32 lowest = FLT_MAX;
      f32 highest = -FLT_MAX;
      // Column by column; each sample is tested against both ends, so the
      // first sample counts as the lowest even when the heights only rise.
      for (u32 c = j * kCellsPerBlock; c <= (j + 1) * kCellsPerBlock; ++c) {
        for (u32 r = i * kCellsPerBlock; r <= (i + 1) * kCellsPerBlock; ++r) {
          const f32 z = heights[r * kSamplesPerSide + c] + Offset.z;
          if (z < lowest) lowest = z;
          if (z > highest) highest = z;
        }
      }
      const CVector3<float> min(static_cast<f32>(j * kCellsPerBlock) * kCellSize + Offset.x,
                                static_cast<f32>(i * kCellsPerBlock) * kCellSize + Offset.y, lowest);
      const CVector3<float> max(static_cast<f32>((j + 1) * kCellsPerBlock) * kCellSize + Offset.x,
                                static_cast<f32>((i + 1) * kCellsPerBlock) * kCellSize + Offset.y, highest);
      blockBounds_[i * kBlocksPerSide + j].SetMinMax(min, max);
    }
  }
  totalBound_ = blockBounds_[0];
  for (u32 b = 1; b < kBlockCount; ++b) totalBound_.Merge(blockBounds_[b]);
  return kOk;
}

// --- walks -----------------------------------------------------------------------------------

CBase* CHeightMap::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(Owned(), name, record, includeDerived, onlyMarked);
}

void CHeightMap::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                         bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(Owned(), out, name, record, includeDerived, onlyMarked);
}

bool CHeightMap::UpdateMarked(const ObjectSet& set) {
  const bool own = CDorun::UpdateMarked(set);
  const bool marked = owned_walk::UpdateMarked(this, Owned(), set) || own;
  SetMarked(marked);
  return marked;
}

void CHeightMap::ClearMarked() {
  CDorun::ClearMarked();
  owned_walk::ClearMarked(Owned());
}

Result CHeightMap::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave(Owned(), stream, flags);
}

void CHeightMap::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences(Owned(), visitor);
  CDorun::EnumReferences(visitor);
}

bool CHeightMap::HasSubObjects() const {
  for (const CPointer<CBase>& entry : subObjectList_) {
    if (entry) return true;
  }
  return subObject_ || CDorun::HasSubObjects();
}

// --- copies ----------------------------------------------------------------------------------

Result CHeightMap::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CHeightMap> copy(new (std::nothrow) CHeightMap());
  if (!copy) return kErrOutOfMemory;
  const Result r = CopyValuesTo(*copy);
  if (Failed(r)) return r;
  out = copy.Get();
  return kOk;
}

Result CHeightMap::CopyValuesTo(CHeightMap& other) const {
  other.Scale = Scale;
  other.Offset = Offset;
  Result r = other.Heights.CopyFrom(Heights);
  if (Succeeded(r)) r = other.Vectors.CopyFrom(Vectors);
  if (Succeeded(r)) r = other.Values.CopyFrom(Values);
  if (Failed(r)) return r;
  other.MinHeight = MinHeight;
  other.MaxHeight = MaxHeight;
  other.Flag1 = Flag1;
  other.Flag2 = Flag2;
  other.Flag3 = Flag3;
  other.Flag4 = Flag4;
  other.Setting = Setting;
  return kOk;
}

Result CHeightMap::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CHeightMap*>(out.Get());
  copy->subObjectList_.assign(subObjectList_.size(), CPointer<CBase>());
  for (std::size_t i = 0; i < subObjectList_.size(); ++i) {
    if (!subObjectList_[i]) continue;
    r = owned_walk::CloneInto<CBase>(subObjectList_[i].Get(), cloneMap, flags,
                                     [copy, i](CBase* clone) { copy->subObjectList_[i] = clone; });
    if (Failed(r)) return r;
  }
  if (subObject_) {
    r = owned_walk::CloneInto<CBase>(subObject_.Get(), cloneMap, flags,
                                     [copy](CBase* clone) { copy->subObject_ = clone; });
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CHeightMap::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // A null target or one of another class is refused before anything of
  // it changes.
  CHeightMap* other = DynamicCast<CHeightMap>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  r = CopyValuesTo(*other);
  if (Failed(r)) return r;
  // Every former entry goes to `displaced`, also those past the source's
  // count, so that the caller decides when they go.
  AssignPointerVectorMember(displaced, subObjectList_, other->subObjectList_);
  return AssignPointerMember(displaced, subObject_, other->subObject_);
}

// --- persistence -----------------------------------------------------------------------------

Result CHeightMap::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  subObjectList_.clear();
  subObject_ = nullptr;
  queuedEntries_ = 0;
  queuedSubObject_ = false;
  r = ReadU32(stream, Scale);
  if (Succeeded(r)) r = ReadFloatBlock(stream, Offset);
  if (Succeeded(r)) r = ReadPodBuffer(stream, Heights);
  if (Succeeded(r)) r = ReadPodBuffer(stream, Vectors);
  if (Succeeded(r)) r = ReadPodBuffer(stream, Values);
  if (Succeeded(r)) r = ReadU32(stream, MinHeight);
  if (Succeeded(r)) r = ReadU32(stream, MaxHeight);
  if (Succeeded(r)) r = ReadBool(stream, Flag1);
  if (Succeeded(r)) r = ReadBool(stream, Flag2);
  if (Succeeded(r)) r = ReadBool(stream, Flag3);
  if (Succeeded(r)) r = ReadU32(stream, Setting);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, subObjectList_);
  if (Failed(r)) return r;
  queuedEntries_ = static_cast<u32>(subObjectList_.size());
  r = ReadObjectId(stream, record);
  if (Failed(r)) return r;
  queuedSubObject_ = true;
  if (stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionFlag4)) {
    r = ReadBool(stream, Flag4);
    if (Failed(r)) return r;
  }
  // Bounds are derived data: a field without the full grid simply has
  // none, and the record is loaded all the same.
  ComputeBlockBounds();
  return kOk;
}

Result CHeightMap::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  // Only what Load queued: a failed load queued less.
  subObjectList_.resize(queuedEntries_);
  r = LinkOwnedList(stream, record, this, subObjectList_);
  if (Succeeded(r) && queuedSubObject_) r = LinkOwnedPointer(stream, record, this, subObject_);
  return r;
}

Result CHeightMap::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, Scale);
  if (Succeeded(r)) r = WriteFloatBlock(stream, Offset);
  if (Succeeded(r)) r = WritePodBuffer(stream, Heights);
  if (Succeeded(r)) r = WritePodBuffer(stream, Vectors);
  if (Succeeded(r)) r = WritePodBuffer(stream, Values);
  if (Succeeded(r)) r = WriteFloat(stream, MinHeight);
  if (Succeeded(r)) r = WriteFloat(stream, MaxHeight);
  if (Succeeded(r)) r = WriteBool(stream, Flag1);
  if (Succeeded(r)) r = WriteBool(stream, Flag2);
  if (Succeeded(r)) r = WriteBool(stream, Flag3);
  if (Succeeded(r)) r = WriteU32(stream, Setting);
  if (Succeeded(r)) r = WriteReferenceVector(stream, subObjectList_);
  if (Succeeded(r)) r = WriteObjectId(stream, subObject_.Get());
  if (Succeeded(r)) r = WriteBool(stream, Flag4);
  return r;
}

u32 CHeightMap::GetMemorySize() const {
  return CDorun::GetMemorySize() + 2728 + Heights.GetByteSize() + Vectors.GetByteSize() + Values.GetByteSize() +
         4 * static_cast<u32>(subObjectList_.size());
}

// Version pair 8, Scale 4, Offset 12, MinHeight and MaxHeight 8, three
// flags 3, Setting 4, SubObject 8, Flag4 1; then the three buffers and the
// list, each with its count.
u32 CHeightMap::GetSaveSize() const {
  return CDorun::GetSaveSize() + 48 + (4 + Heights.GetByteSize()) + (4 + Vectors.GetByteSize()) +
         (4 + Values.GetByteSize()) + GetPointerVectorSaveSize(static_cast<u32>(subObjectList_.size()));
}

}  // namespace KT
