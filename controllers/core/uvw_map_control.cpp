#include "controllers/core/uvw_map_control.h"

#include <algorithm>
#include <new>

#include "controllers/core/key_search.h"
#include "controllers/core/time_key.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/uvw_map.h"

namespace KT {

CUvwMapControl::CUvwMapControl(const CUvwMapControl& other)
    : CUvwMapDataControl(other),
      uvwData_(other.uvwData_),
      times_(other.times_),
      transitionType_(other.transitionType_) {}

CUvwMapControl::~CUvwMapControl() = default;

Result CUvwMapControl::GetBoundMap(CUvwMap*& map) const {
  map = nullptr;
  if (GetObject() == nullptr) return kErrInvalidArg;
  map = DynamicCast<CUvwMap>(GetObject());
  return map != nullptr ? kOk : kErrNotFound;
}

u32 CUvwMapControl::GetSetSize() const {
  return times_.Empty() ? 0 : static_cast<u32>(uvwData_.size() / times_.Times().size());
}

// --- keys ---------------------------------------------------------------------------------

Result CUvwMapControl::SetKey(i32 time, f32 framesPerSecond, const CUvwMap* uvwMap, u32 transitionType) {
  CUvwMap* controlled = nullptr;
  const Result r = GetBoundMap(controlled);
  if (Failed(r)) return r;
  if (uvwMap == nullptr) return kErrInvalidArg;
  const CBuffer<Vec3>& source = uvwMap->GetUVW();
  const u32 n = controlled->GetUVW().GetCount();
  if (source.GetCount() != n) return kErrNotFound;
  // Keys set for a map of another size cannot take a set of this one.
  if (!times_.Empty() && uvwData_.size() != times_.Times().size() * n) return kErrNotFound;

  const i32 t = SnapTimeToFrame(ScaleTime(time), framesPerSecond);
  u32 index = 0;
  bool found = false;
  times_.Locate(t, index, found);
  const std::size_t first = static_cast<std::size_t>(index) * n;
  if (found) {
    transitionType_[index] = transitionType;
    std::copy(source.begin(), source.end(), uvwData_.begin() + static_cast<std::ptrdiff_t>(first));
  } else {
    // Each array grows in a copy first, so that running out of memory
    // leaves the keys as they were.
    try {
      std::vector<Vec3> data;
      data.reserve(uvwData_.size() + n);
      data.insert(data.end(), uvwData_.begin(), uvwData_.begin() + static_cast<std::ptrdiff_t>(first));
      data.insert(data.end(), source.begin(), source.end());
      data.insert(data.end(), uvwData_.begin() + static_cast<std::ptrdiff_t>(first), uvwData_.end());
      std::vector<i32> times(times_.Times());
      times.insert(times.begin() + index, t);
      std::vector<u32> types(transitionType_);
      types.insert(types.begin() + index, transitionType);
      uvwData_.swap(data);
      times_.MutableTimes().swap(times);
      transitionType_.swap(types);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  SetModified();
  return kOk;
}

Result CUvwMapControl::RemoveKey(u32 index) {
  if (index >= times_.Times().size()) return kErrOutOfRange;
  const std::size_t n = GetSetSize();
  const auto first = uvwData_.begin() + static_cast<std::ptrdiff_t>(index * n);
  uvwData_.erase(first, first + static_cast<std::ptrdiff_t>(n));
  times_.MutableTimes().erase(times_.MutableTimes().begin() + index);
  transitionType_.erase(transitionType_.begin() + index);
  SetModified();
  return kOk;
}

Result CUvwMapControl::RemoveKeys(const std::vector<bool>& keep) {
  if (keep.size() != times_.Times().size() || transitionType_.size() != keep.size()) return kErrInvalidArg;
  const std::size_t n = GetSetSize();
  if (uvwData_.size() != keep.size() * n) return kErrInvalidArg;
  const Result r = times_.KeepKeys(keep);
  if (r != kOk) return r;
  CompactKeptRuns(uvwData_, keep, n);
  CompactKeptRuns(transitionType_, keep);
  SetModified();
  return kOk;
}

// --- evaluation -----------------------------------------------------------------------------

i32 CUvwMapControl::GetEndTime() const { return times_.GetEndTime(EndTimeRule::kLastKey); }

Result CUvwMapControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CUvwMap* map = nullptr;
  const Result r = GetBoundMap(map);
  if (Failed(r)) return r;
  if (times_.Empty()) return kOk;
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  KeyBracket k;
  times_.Bracket(t, k);
  const u32 a = k.prev;
  const u32 b = k.next;
  const f32 fraction = k.fraction;
  CBuffer<Vec3>& uvw = map->GetUVW();
  const std::size_t n = uvw.GetCount();
  if (n == 0) return kOk;
  // The map may have been resized since the keys were set (or a file pairs
  // keys with a map of another size): no set is written in part.
  if (uvwData_.size() != times_.Times().size() * n || transitionType_.size() != times_.Times().size()) return kErrNotFound;
  const Vec3* from = uvwData_.data() + a * n;
  const Vec3* to = uvwData_.data() + b * n;
  if (transitionType_[a] == TT_STEP) {
    std::copy(from, from + n, uvw.begin());
    return kOk;
  }
  Vec3* out = uvw.GetData();
  for (std::size_t i = 0; i < n; ++i) out[i] = from[i] + (to[i] - from[i]) * fraction;
  return kOk;
}

Result CUvwMapControl::Apply() { return kDone; }

// --- root protocol ------------------------------------------------------------------------------

Result CUvwMapControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CUvwMapControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CUvwMapControl* other = DynamicCast<CUvwMapControl>(target);
  if (other == nullptr) return kErrNotFound;
  std::vector<Vec3> data;
  std::vector<i32> times;
  std::vector<u32> types;
  try {
    data = uvwData_;
    times = times_.Times();
    types = transitionType_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CUvwMapDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->uvwData_.swap(data);
  other->times_.MutableTimes().swap(times);
  other->transitionType_.swap(types);
  other->times_.SetLastIndex(times_.GetLastIndex());
  return kOk;
}


Result CUvwMapControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CUvwMapDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  times_.SetLastIndex(0);
  uvwData_.clear();
  transitionType_.clear();
  try {
    r = ReadPodVector(stream, uvwData_);
    if (Succeeded(r)) {
      r = times_.Read(stream, version, kVersionIntTimes / 100, kVersionIntTimes % 100);
    }
    if (Failed(r)) return r;
    if (version < static_cast<i32>(kVersionAbsoluteTimes) && !times_.Empty()) {
      // Before link, Weight still holds the first word of the old controller
      // part: the start time these keys were stored relative to.
      const i32 offset = ClampKeyTime(FloatToIntTrunc(GetWeight()));
      for (i32& t : times_.MutableTimes()) t = SubtractTimeOffset(t, offset);
    }
    if (version >= static_cast<i32>(kVersionTransitionTypes)) {
      r = ReadPodVector(stream, transitionType_);
      if (Failed(r)) return r;
    } else {
      transitionType_.assign(times_.Times().size(),
                             version >= static_cast<i32>(kVersionLinearDefault) ? TT_LINEAR : TT_STEP);
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  // Every key needs a type and a set of the same size as the others.
  const std::size_t keys = times_.Times().size();
  const bool whole = transitionType_.size() == keys &&
                     (keys == 0 ? uvwData_.empty() : uvwData_.size() % keys == 0);
  return whole ? kOk : kErrNotFound;
}

Result CUvwMapControl::Save(CStream& stream, u32 flags) {
  Result r = CUvwMapDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WritePodVector(stream, uvwData_);
  if (Succeeded(r)) r = times_.Write(stream);
  if (Succeeded(r)) r = WritePodVector(stream, transitionType_);
  return r;
}

void CUvwMapControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CUvwMapControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &times_.LastIndexField());
  // A set is reported only when the arrays hold it whole.
  const u32 n = GetSetSize();
  const u32 keys = static_cast<u32>(std::min(times_.Times().size(), transitionType_.size()));
  visitor.RecordArray(u"UVW Keys", keys, [this, n](u32 i, CMemberVisitor& v) {
    v.Time(u"UVWTime", &times_.Times()[i]);
    v.VectorArray(u"UVWData", n != 0 ? &uvwData_[static_cast<std::size_t>(i) * n] : nullptr, n);
    v.Enum(u"TransitionType", reinterpret_cast<const i32*>(&transitionType_[i]), kTransitionTypeNames,
           kTransitionTypeCount);
  });
  visitor.EndGroup();
  CUvwMapDataControl::DescribeMembers(visitor);
}

u32 CUvwMapControl::GetMemorySize() const {
  return CUvwMapDataControl::GetMemorySize() +
         4 * static_cast<u32>(3 * uvwData_.size() + times_.Times().size() + transitionType_.size()) + 80;
}

u32 CUvwMapControl::GetSaveSize() const {
  return CUvwMapDataControl::GetSaveSize() + 8 + PodVectorSaveSize(uvwData_) + times_.GetSaveSize() +
         PodVectorSaveSize(transitionType_);
}

}  // namespace KT
