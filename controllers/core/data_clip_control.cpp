#include "controllers/core/data_clip_control.h"

#include <new>

#include "controllers/core/key_search.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

// --- KT::CDataClipControl: evaluation ------------------------------------------------------------

i32 CDataClipControl::GetCurrentClipTime() const {
  return lastIndex_ < clips_.size() ? clips_[lastIndex_].Time : 0;
}

Result CDataClipControl::Update(i32 time) {
  bool childRan = false;
  const Result r = EvaluateClipChild(time, childRan);
  // A child that ran answers for the clip only when it failed.
  if (!childRan) return r;
  return Failed(r) ? r : kOk;
}

Result CDataClipControl::EvaluateClipChild(i32 time, bool& childRan) {
  childRan = false;
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  if (GetObject() == nullptr) return kErrInvalidArg;
  const i32 t = ScaleTime(time);
  const i32 code = FindClip(t, lastIndex_, lastIndex_);
  if (code == kKeySearchNone) return kDone;
  if (code == kKeySearchBefore) {
    // Before the first clip its child shows its start; LastIndex is 0, so
    // Apply writes what was evaluated here.
    const CClipKey& first = clips_[0];
    CDataControl* child = GetClipChild(first);
    if (child == nullptr) return kDone;
    childRan = true;
    return child->Update(GetSourceTime(first, 0));
  }
  // The clip in force is the latest one whose child has started; a child
  // that has not (one waiting for a condition) leaves the earlier clip
  // playing. A clip of no child is in force as it is (and plays nothing).
  for (u32 k = lastIndex_ + 1; k-- > 0;) {
    const CClipKey& clip = clips_[k];
    const CDataControl* child = GetClipChild(clip);
    if (child != nullptr && !child->IsStartedAt(GetSourceTime(clip, TimeSinceClip(clip, t)))) continue;
    lastIndex_ = k;
    break;
  }
  const CClipKey& current = clips_[lastIndex_];
  CDataControl* child = GetClipChild(current);
  if (child == nullptr) return kDone;
  childRan = true;
  return child->Update(GetSourceTime(current, TimeSinceClip(current, t)));
}

Result CDataClipControl::Apply() {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  // An inactive controller evaluated nothing this frame: its child's value
  // may be from another time.
  if (!IsActive() || lastIndex_ >= clips_.size()) return kDone;
  CDataControl* child = GetClipChild(clips_[lastIndex_]);
  return child != nullptr ? child->Apply() : kDone;
}

Result CDataClipControl::UpdatePriority(i32 time) {
  if (!IsActive()) {
    SetFramePriority(0.0f);
    return kDone;
  }
  const i32 t = ScaleTime(time);
  const i32 code = FindClip(t, lastIndex_, lastIndex_);
  return UpdatePriorityAtClip(t, code != kKeySearchNone && code != kKeySearchBefore, true, 0.0f);
}

Result CDataClipControl::CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times,
                                          std::vector<f32>& priorities, std::vector<f32>& spans) {
  return CollectScaledClipSpans(start, duration, times, priorities, spans);
}

Result CDataClipControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  if (!IsActive()) return kOk;
  const i32 t = ScaleTime(time);
  if (FindClip(t, lastIndex_, lastIndex_) == kKeySearchNone) return kOk;
  return PickAtClip(t, bestTime, pickedTime, bestPriority);
}

bool CDataClipControl::IsActiveAt(i32 time) const {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return false;
  const i32 t = ScaleTime(time);
  u32 index = 0;
  const i32 code = FindClip(t, lastIndex_, index);
  if (code == kKeySearchNone || code == kKeySearchBefore) return false;
  const CClipKey& clip = clips_[index];
  if (!clip.Persist) return false;
  const CDataControl* child = GetClipChild(clip);
  return child != nullptr && child->IsActiveAt(GetSourceTime(clip, TimeSinceClip(clip, t)));
}

f32 CDataClipControl::GetPriority(i32 time) const {
  const i32 t = ScaleTime(time);
  u32 index = 0;
  const i32 code = FindClip(t, lastIndex_, index);
  return PriorityAtClip(t, code != kKeySearchNone && code != kKeySearchBefore, index);
}

// --- KT::CDataClipControl: root protocol ---------------------------------------------------------

Result CDataClipControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CDataClipControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  i32 version = 0;
  Result r = BeginClipLoad(stream, record, flags, StaticClassRecord(), version);
  if (Succeeded(r)) r = ReadChildList(stream, record, true);
  if (Failed(r)) return r;
  if (version >= static_cast<i32>(kVersionClipKeys)) {
    r = ReadBoolVector(stream, static_);
    if (Succeeded(r)) r = ReadClipList(stream, clips_);
    return r;
  }
  // Older records: field-form legacy clips, each with its time from the
  // time array, then the flags.
  r = ReadLegacyClips(stream, version, 2, 1, false, clips_);
  if (Succeeded(r)) r = ReadBoolVector(stream, static_);
  return r;
}

Result CDataClipControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  if (Succeeded(r)) r = WriteBoolVector(stream, static_);
  if (Succeeded(r)) r = WriteClipList(stream, clips_);
  return r;
}

void CDataClipControl::DescribeMembers(CMemberVisitor& visitor) {
  DescribeClipControl(visitor, u"CDataClipControl Member", true);
}

// --- KT::CUvwMapClipControl: evaluation ----------------------------------------------------------

Result CUvwMapClipControl::Update(i32 time) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  if (GetObject() == nullptr) return kErrInvalidArg;
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const i32 code = FindClip(t, lastIndex_, lastIndex_);
  // Before the first clip the map keeps what it holds.
  if (code == kKeySearchNone || code == kKeySearchBefore) return kDone;
  const CClipKey& clip = clips_[lastIndex_];
  CUvwMapDataControl* child = GetClipChild(clip);
  if (child == nullptr) return kDone;
  return child->Update(GetSourceTime(clip, TimeSinceClip(clip, t)));
}

Result CUvwMapClipControl::Apply() { return kDone; }

Result CUvwMapClipControl::UpdatePriority(i32 time) {
  if (!IsActive()) {
    SetFramePriority(0.0f);
    return kDone;
  }
  const i32 t = ScaleTime(time);
  const i32 code = FindClip(t, lastIndex_, lastIndex_);
  return UpdatePriorityAtClip(t, code != kKeySearchNone && code != kKeySearchBefore, true, 1.0f);
}

Result CUvwMapClipControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  const i32 t = ScaleTime(time);
  const i32 code = FindClip(t, lastIndex_, lastIndex_);
  if (code == kKeySearchNone || code == kKeySearchBefore) return kOk;
  // A clip of no child claims nothing.
  if (GetClipChild(clips_[lastIndex_]) == nullptr) return kOk;
  const Result r = UpdatePriority(time);
  if (Failed(r)) return r;
  const f32 priority = GetPriority();
  if (bestPriority < priority) {
    bestTime = pickedTime = time;
    bestPriority = priority;
    return 2;
  }
  if (bestPriority == priority) {
    const i32 end = GetClipEnd(lastIndex_);
    if (ScaleTime(bestTime) < end && end <= t) {
      bestTime = pickedTime = UnscaleTime(end);
      bestPriority = priority;
      return 1;
    }
  }
  return kOk;
}

// --- KT::CUvwMapClipControl: root protocol -------------------------------------------------------

Result CUvwMapClipControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CUvwMapClipControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  i32 version = 0;
  Result r = BeginClipLoad(stream, record, flags, StaticClassRecord(), version);
  if (Succeeded(r)) r = ReadChildList(stream, record, version >= static_cast<i32>(kVersionWideChildIds));
  if (Failed(r)) return r;
  // Static is stored from 2.06 only; Link gives older records one false
  // flag per child.
  if (version >= static_cast<i32>(kVersionClipKeys)) {
    r = ReadClipList(stream, clips_);
    if (Succeeded(r) && version >= static_cast<i32>(kVersionStatic)) r = ReadBoolVector(stream, static_);
    return r;
  }
  if (version >= static_cast<i32>(kVersionLegacyClips)) {
    return ReadLegacyClips(stream, version, 2, 4, version < static_cast<i32>(kVersionFieldForm), clips_);
  }
  return ReadClipRecords20(stream, clips_);
}

Result CUvwMapClipControl::Save(CStream& stream, u32 flags) {
  Result r = CUvwMapDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  // This class stores the clips before the flags.
  if (Succeeded(r)) r = WriteClipList(stream, clips_);
  if (Succeeded(r)) r = WriteBoolVector(stream, static_);
  return r;
}

void CUvwMapClipControl::DescribeMembers(CMemberVisitor& visitor) {
  DescribeClipControl(visitor, u"CUvwMapClipControl Member", false);
}

}  // namespace KT
