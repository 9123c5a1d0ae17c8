#include "controllers/core/morph_control.h"

#include <algorithm>
#include <limits>
#include <new>

#include "controllers/core/key_search.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/geometry.h"

namespace KT {

CMorphControl::CMorphControl(const CMorphControl& other)
    : CDataControl(other), weightData_(other.weightData_), times_(other.times_) {}

CMorphControl::~CMorphControl() = default;

Result CMorphControl::GetBoundGeometry(CGeometry*& geometry) const {
  geometry = nullptr;
  if (GetObject() == nullptr) return kErrInvalidArg;
  geometry = DynamicCast<CGeometry>(GetObject());
  return geometry != nullptr ? kOk : kErrNotFound;
}

// --- targets and keys ------------------------------------------------------------------------

Result CMorphControl::SetTargetCount(u32 count) {
  targets_.clear();
  targets_.shrink_to_fit();
  SetModified();
  // Offsets beyond 32 bits of bytes are refused as the library's buffers
  // refuse them: the data must stay addressable on every platform.
  if (static_cast<u64>(count) * sizeof(Vec3) > std::numeric_limits<u32>::max()) return kErrOutOfMemory;
  try {
    targets_.resize(count);
  } catch (const std::bad_alloc&) {
    // The count follows the storage: no offsets, no count.
    targets_.clear();
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CMorphControl::SetTarget(u32 index, const Vec3& offset) {
  if (index >= targets_.size()) return kErrOutOfRange;
  targets_[index] = offset;
  SetModified();
  return kOk;
}

Result CMorphControl::SetWeightKey(i32 time, f32 framesPerSecond, f32 weight) {
  CGeometry* geometry = nullptr;
  const Result r = GetBoundGeometry(geometry);
  if (Failed(r)) return r;
  const i32 t = SnapTimeToFrame(ScaleTime(time), framesPerSecond);
  u32 index = 0;
  bool found = false;
  times_.Locate(t, index, found);
  if (found) {
    weightData_[index] = weight;
  } else {
    // Both arrays grow in copies first, so that running out of memory
    // leaves the track as it was.
    try {
      std::vector<f32> weights(weightData_);
      weights.insert(weights.begin() + index, weight);
      std::vector<i32> times(times_.Times());
      times.insert(times.begin() + index, t);
      weightData_.swap(weights);
      times_.MutableTimes().swap(times);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  SetModified();
  return kOk;
}

// --- evaluation ----------------------------------------------------------------------------------

i32 CMorphControl::GetEndTime() const { return times_.GetEndTime(EndTimeRule::kLastKey); }

Result CMorphControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CGeometry* geometry = nullptr;
  const Result r = GetBoundGeometry(geometry);
  if (Failed(r)) return r;
  // Load refuses tracks of unequal arrays; the setters keep them equal.
  if (times_.Empty() || weightData_.size() != times_.Times().size()) return kOk;
  KeyBracket k;
  times_.Bracket(ScaleTime(time), k);
  const f32 w = weightData_[k.prev] + (weightData_[k.next] - weightData_[k.prev]) * k.fraction;
  if (w == 0.0f) return kDone;

  CBuffer<Vec3>& world = geometry->GetWorldXYZ();
  // After a change of level WorldXYZ may be shorter than the target list.
  const std::size_t count = std::min<std::size_t>(targets_.size(), world.GetCount());
  Vec3* out = world.GetData();
  if (geometry->IsWorldXYZReady()) {
    // The positions are in world space already: the offsets follow the
    // object's rotation and scale, not its translation.
    CMatrix4 m = geometry->GetWorldMatrix();
    m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
    for (std::size_t i = 0; i < count; ++i) out[i] += TransformCoord(targets_[i], m) * w;
  } else {
    for (std::size_t i = 0; i < count; ++i) out[i] += targets_[i] * w;
  }
  geometry->SetRecomputeNormals(true);
  return kOk;
}

Result CMorphControl::Apply() { return kDone; }

// --- root protocol ---------------------------------------------------------------------------------

Result CMorphControl::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CBase> copy;
  try {
    const Result r = CreateCopy(*this, copy);
    if (Failed(r)) return r;
    static_cast<CMorphControl*>(copy.Get())->targets_ = targets_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  out = copy;
  return kOk;
}

Result CMorphControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CMorphControl* other = DynamicCast<CMorphControl>(target);
  if (other == nullptr) return kErrNotFound;
  std::vector<Vec3> targets;
  std::vector<f32> weights;
  std::vector<i32> times;
  try {
    targets = targets_;
    weights = weightData_;
    times = times_.Times();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->targets_.swap(targets);
  other->weightData_.swap(weights);
  other->times_.MutableTimes().swap(times);
  other->times_.SetLastIndex(times_.GetLastIndex());
  return kOk;
}


Result CMorphControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  times_.SetLastIndex(0);
  targets_.clear();
  weightData_.clear();
  try {
    // The target count and the offsets have the form of a counted vector.
    r = ReadPodVector(stream, targets_);
    if (Succeeded(r)) r = ReadPodVector(stream, weightData_);
    if (Succeeded(r)) {
      r = times_.Read(stream, version, kVersionIntTimes / 100, kVersionIntTimes % 100);
    }
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  }
  if (Failed(r)) return r;
  if (version < static_cast<i32>(kVersionAbsoluteTimes) && !times_.Empty()) {
    // Before link, Weight still holds the first word of the old controller
    // part: the start time these keys were stored relative to.
    const i32 offset = ClampKeyTime(FloatToIntTrunc(GetWeight()));
    for (i32& t : times_.MutableTimes()) t = SubtractTimeOffset(t, offset);
  }
  return weightData_.size() == times_.Times().size() ? kOk : kErrNotFound;
}

Result CMorphControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WritePodVector(stream, targets_);
  if (Succeeded(r)) r = WritePodVector(stream, weightData_);
  if (Succeeded(r)) r = times_.Write(stream);
  return r;
}

void CMorphControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CMorphControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &times_.LastIndexField());
  const u32 keys = static_cast<u32>(std::min(times_.Times().size(), weightData_.size()));
  visitor.RecordArray(u"Weight Keys", keys, [this](u32 i, CMemberVisitor& v) {
    v.Time(u"WeightTime", &times_.Times()[i]);
    v.Float(u"WeightData", &weightData_[i]);
  });
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CMorphControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() +
         4 * static_cast<u32>(weightData_.size() + times_.Times().size() + 3 * targets_.size()) + 64;
}

u32 CMorphControl::GetSaveSize() const {
  return CDataControl::GetSaveSize() + 20 +
         4 * static_cast<u32>(times_.Times().size() + weightData_.size() + 3 * targets_.size());
}

}  // namespace KT
