#include "controllers/composite/physics_soft_control.h"

#include <algorithm>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/geometry.h"

namespace KT {

CPhysicsSoftControl::~CPhysicsSoftControl() = default;

Result CPhysicsSoftControl::GetBoundGeometry(CGeometry*& geometry) const {
  geometry = nullptr;
  if (GetObject() == nullptr) return kErrInvalidArg;
  geometry = DynamicCast<CGeometry>(GetObject());
  return geometry != nullptr ? kOk : kErrNotFound;
}

// --- samples -------------------------------------------------------------------------------------

Result CPhysicsSoftControl::AddSample(i32 time, const VertexList& positions) {
  if (!times_.Empty() && time <= times_.Times().back()) return kErrInvalidArg;
  try {
    VertexList copy(positions);
    localXyz_.reserve(localXyz_.size() + 1);
    times_.MutableTimes().reserve(times_.Size() + 1);
    localXyz_.push_back(std::move(copy));
    times_.MutableTimes().push_back(time);
  } catch (const std::bad_alloc&) {
    // Only the reservations can throw; nothing was appended.
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CPhysicsSoftControl::SetVertexIndices(const std::vector<u32>& indices) {
  try {
    std::vector<u32> copy(indices);
    vertexIndices_.swap(copy);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

// --- evaluation -------------------------------------------------------------------------------------

Result CPhysicsSoftControl::Update(i32 time) {
  if (GetObject() == nullptr) return kErrInvalidArg;
  if (CheckActive() == kDone) return kDone;
  CGeometry* geometry = nullptr;
  const Result r = GetBoundGeometry(geometry);
  if (Failed(r)) return r;
  if (!playback_) {
    geometry->SetRecomputeNormals(true);
    return kDone;
  }
  // Load refuses unequal lists; AddSample keeps them equal.
  if (times_.Empty() || localXyz_.size() != times_.Times().size()) return kDone;
  KeyBracket k;
  if (times_.Bracket(ScaleTime(time), k) == kKeySearchBefore) return kDone;
  const f32 f = k.prev == k.next ? 0.0f : k.fraction;
  const f32 g = 1.0f - f;
  const VertexList& a = localXyz_[k.prev];
  const VertexList& b = localXyz_[k.next];

  CBuffer<Vec3>& world = geometry->GetWorldXYZ();
  Vec3* out = world.GetData();
  const std::size_t worldCount = world.GetCount();
  // Vertices the samples or the world buffer do not hold are skipped.
  const std::size_t limit = std::min({worldCount, a.size(), b.size()});
  if (useIndexList_ != 0) {
    for (const u32 v : vertexIndices_) {
      if (v >= limit) continue;
      out[v] = a[v] * g + b[v] * f;
    }
  } else {
    for (std::size_t v = 0; v < limit; ++v) out[v] = a[v] * g + b[v] * f;
  }
  geometry->SetWorldXYZReady(true);
  geometry->SetRecomputeNormals(true);
  return kOk;
}

Result CPhysicsSoftControl::Apply() { return kDone; }

Result CPhysicsSoftControl::UpdateTransform(i32 /*time*/) {
  CGeometry* geometry = nullptr;
  const Result r = GetBoundGeometry(geometry);
  if (Failed(r)) return r;
  geometry->SetHasDeformedWorldXYZ(true);
  return kOk;
}

i32 CPhysicsSoftControl::GetEndTime() const {
  return times_.Empty() ? kZeroTime : UnscaleTime(times_.Times().back());
}

// --- root protocol ---------------------------------------------------------------------------------

Result CPhysicsSoftControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CPhysicsSoftControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CPhysicsSoftControl* other = DynamicCast<CPhysicsSoftControl>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return CDataControl::CopyTo(target, displaced, flags);
  std::vector<i32> times;
  std::vector<VertexList> samples;
  std::vector<u32> indices;
  try {
    times = times_.Times();
    samples = localXyz_;
    indices = vertexIndices_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->playback_ = playback_;
  other->times_.MutableTimes().swap(times);
  other->localXyz_.swap(samples);
  other->vertexIndices_.swap(indices);
  other->useIndexList_ = useIndexList_;
  return kOk;
}

Result CPhysicsSoftControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  times_.MutableTimes().clear();
  times_.SetLastIndex(0);
  localXyz_.clear();
  vertexIndices_.clear();
  useIndexList_ = 0;
  try {
    r = ReadBool(stream, playback_);
    if (Succeeded(r)) r = ReadPodVector(stream, times_.MutableTimes());
    u32 samples = 0;
    if (Succeeded(r)) r = ReadU32(stream, samples);
    // Each sample takes at least its count word.
    if (Succeeded(r)) r = stream.CheckAvailable(samples, 4);
    if (Succeeded(r)) {
      localXyz_.resize(samples);
      for (VertexList& list : localXyz_) {
        r = ReadPodVector(stream, list);
        if (Failed(r)) break;
      }
    }
    if (Succeeded(r)) r = ReadPodVector(stream, vertexIndices_);
    if (Succeeded(r)) r = ReadU32(stream, useIndexList_);
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  }
  if (Failed(r)) return r;
  return localXyz_.size() == times_.Times().size() ? kOk : kErrNotFound;
}

Result CPhysicsSoftControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDataControl::Link(stream, record, flags);
  return Failed(r) ? r : kOk;
}

Result CPhysicsSoftControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteBool(stream, playback_);
  if (Succeeded(r)) r = times_.Write(stream);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(localXyz_.size()));
  for (const VertexList& list : localXyz_) {
    if (Failed(r)) break;
    r = WritePodVector(stream, list);
  }
  if (Succeeded(r)) r = WritePodVector(stream, vertexIndices_);
  if (Succeeded(r)) r = WriteU32(stream, useIndexList_);
  return r;
}

void CPhysicsSoftControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CPhysicsSoftControl Member");
  visitor.OpenGroup();
  const u32 samples = static_cast<u32>(std::min(times_.Times().size(), localXyz_.size()));
  visitor.RecordArray(u"Samples", samples, [this](u32 i, CMemberVisitor& v) {
    v.Time(u"Time", &times_.Times()[i]);
    v.VectorList(u"LocalXYZ", &localXyz_[i]);
  });
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CPhysicsSoftControl::GetMemorySize() const {
  std::size_t bytes = sizeof(*this) - sizeof(CDataControl) + times_.GetMemorySize() +
                      localXyz_.capacity() * sizeof(VertexList) + vertexIndices_.capacity() * sizeof(u32);
  for (const VertexList& list : localXyz_) bytes += list.capacity() * sizeof(Vec3);
  return CDataControl::GetMemorySize() + static_cast<u32>(bytes);
}

u32 CPhysicsSoftControl::GetSaveSize() const {
  std::size_t bytes = 8 + 1 + times_.GetSaveSize() + 4 + PodVectorSaveSize(vertexIndices_) + 4;
  for (const VertexList& list : localXyz_) bytes += PodVectorSaveSize(list);
  return CDataControl::GetSaveSize() + static_cast<u32>(bytes);
}

}  // namespace KT
