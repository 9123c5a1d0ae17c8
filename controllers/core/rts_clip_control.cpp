#include "controllers/core/rts_clip_control.h"

#include <algorithm>
#include <new>

#include "controllers/core/key_search.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

// --- evaluation ----------------------------------------------------------------------------

Result CRTSClipControl::FallBack() {
  const Result r = InitFromSlaveMode();
  return Failed(r) ? r : kDone;
}

void CRTSClipControl::TakeSticky(const CRTSControl& child, i32 offset, i32 limit) {
  if (!child.IsStickyEnabled()) {
    SetStickyRange(false, child.GetStickyStart(), child.GetStickyEnd());
    return;
  }
  const i32 end = std::min(OffsetTime(child.GetStickyEnd(), offset), limit);
  SetStickyRange(true, OffsetTime(child.GetStickyStart(), offset), end);
}

void CRTSClipControl::TakeChild(const CRTSControl& child, i32 offset, i32 limit) {
  // The world quantities are the child's own: a constraint or simulation
  // child computes them from more than its Local.
  TakeTransform(child);
  TakeSticky(child, offset, limit);
}

Result CRTSClipControl::UpdateTransform(i32 time) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  CSpatial* spatial = nullptr;
  Result r = GetBoundSpatial(spatial);
  if (Failed(r)) return r;
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  lastIndex_ = found.current;
  SetStickyRange(false, GetStickyStart(), GetStickyEnd());
  if (found.code == kKeySearchNone) return FallBack();

  if (found.code == kKeySearchBefore) {
    // Before the first start the first clip's child shows its start pose.
    const CClipKey& first = clips_[0];
    CRTSControl* child = GetClipChild(first);
    if (child == nullptr) return FallBack();
    if (child->IsSimulated()) {
      // A simulation cannot be wound to its start: the spatial stays as
      // it is.
      SetTransform(spatial->GetLocal(), spatial->GetWorldScale(), spatial->GetWorldRotate(),
                   spatial->GetWorldMatrix());
      return kDone;
    }
    r = child->UpdateTransform(GetSourceTime(first, 0));
    if (Failed(r)) return r;
    TakeTransform(*child);
    return kDone;
  }

  // The clip in force is the latest one whose child has started; a child
  // that has not (one waiting for a condition) leaves the earlier clip
  // playing. A clip of no child is in force as it is (and plays nothing).
  u32 next = found.next;
  i32 untilNext = found.untilNext;
  for (u32 k = lastIndex_ + 1; k-- > 0;) {
    const CClipKey& clip = clips_[k];
    CRTSControl* child = GetClipChild(clip);
    if (child != nullptr && !child->IsStartedAt(GetSourceTime(clip, TimeSinceClip(clip, t)))) continue;
    if (k != lastIndex_) {
      lastIndex_ = next = k;
      untilNext = 0;
    }
    break;
  }

  const CClipKey& current = clips_[lastIndex_];
  CRTSControl* currentChild = GetClipChild(current);
  if (currentChild == nullptr) return FallBack();
  r = currentChild->UpdateTransform(ApplyTimeWarp(current, GetSourceTime(current, TimeSinceClip(current, t))));
  if (Failed(r)) return r;

  const bool hasNext = next != lastIndex_;
  const CClipKey& upcoming = clips_[next];
  CRTSControl* nextChild = hasNext ? GetClipChild(upcoming) : nullptr;
  if (nextChild != nullptr && untilNext == 0) {
    // Exactly at the next clip's start: its start pose, whole.
    r = nextChild->UpdateTransform(ApplyTimeWarp(upcoming, GetSourceTime(upcoming, 0)));
    if (Failed(r)) return r;
    TakeChild(*nextChild, upcoming.Time, kMaxKeyTime);
    return kOk;
  }
  if (nextChild != nullptr && static_cast<f32>(untilNext) <= upcoming.TransitionRange) {
    TakeSticky(*currentChild, current.Time, upcoming.Time);
    const CRtsTransform from = currentChild->GetLocal();
    r = nextChild->UpdateTransform(ApplyTimeWarp(upcoming, GetSourceTime(upcoming, 0)));
    if (Failed(r)) return r;
    const f32 distance =
        static_cast<f32>(static_cast<i64>(GetClipStart(next)) - static_cast<i64>(GetClipStart(lastIndex_)));
    const f32 range = std::min(distance, upcoming.TransitionRange);
    // The range is above 0 whenever the next start lies ahead; a file can
    // still make it empty, and then the next pose is taken whole.
    f32 weight = 1.0f;
    if (range > 0.0f) {
      weight = 1.0f - EaseTransition(static_cast<f32>(untilNext) / range, upcoming.TransitionType,
                                     upcoming.TransitionStrength);
    }
    SetLocalAndCompose(InterpolateRts(from, nextChild->GetLocal(), weight), *spatial);
    return kOk;
  }
  TakeChild(*currentChild, current.Time, hasNext ? upcoming.Time : kMaxKeyTime);
  return kOk;
}

Result CRTSClipControl::UpdatePriority(i32 time) {
  if (!IsActive()) {
    SetFramePriority(0.0f);
    return kDone;
  }
  const i32 t = ScaleTime(time);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  lastIndex_ = found.current;
  return UpdatePriorityAtClip(t, found.code != kKeySearchNone && found.code != kKeySearchBefore, false, 0.0f);
}

Result CRTSClipControl::GetUpdateDepth(i32 time, i32& depth) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  if (found.code == kKeySearchNone) return kOk;
  // Before the first start the first clip's child is the one evaluated.
  const CClipKey& clip = clips_[found.current];
  CRTSControl* child = GetClipChild(clip);
  if (child == nullptr) return kOk;
  // The child is asked at the source time of t itself, not of the time
  // since the clip's start.
  return child->GetUpdateDepth(GetSourceTime(clip, t), depth);
}

Result CRTSClipControl::CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times,
                                         std::vector<f32>& priorities, std::vector<f32>& spans) {
  return CollectScaledClipSpans(start, duration, times, priorities, spans);
}

Result CRTSClipControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  if (!IsActive()) return kOk;
  const i32 t = ScaleTime(time);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  if (found.code == kKeySearchNone) return kOk;
  lastIndex_ = found.current;
  return PickAtClip(t, bestTime, pickedTime, bestPriority);
}

bool CRTSClipControl::IsActiveAt(i32 time) const {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return false;
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const ActiveClips found = FindActiveClips(clips_, t, 0);
  if (found.code == kKeySearchNone || found.code == kKeySearchBefore) return false;
  const CClipKey& clip = clips_[found.current];
  if (!clip.Persist) return false;
  const CRTSControl* child = GetClipChild(clip);
  return child != nullptr && child->IsActiveAt(GetSourceTime(clip, TimeSinceClip(clip, t)));
}

f32 CRTSClipControl::GetPriority(i32 time) const {
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const ActiveClips found = FindActiveClips(clips_, t, 0);
  return PriorityAtClip(t, found.code != kKeySearchNone && found.code != kKeySearchBefore, found.current);
}

// --- root protocol ---------------------------------------------------------------------------

Result CRTSClipControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CRTSClipControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  i32 version = 0;
  Result r = BeginClipLoad(stream, record, flags, StaticClassRecord(), version);
  if (Failed(r)) return r;
  r = ReadChildList(stream, record, version >= static_cast<i32>(kVersionWideChildIds));
  if (Failed(r)) return r;
  if (version >= static_cast<i32>(kVersionClipKeys)) {
    r = ReadBoolVector(stream, static_);
    if (Succeeded(r)) r = ReadClipList(stream, clips_);
    return r;
  }
  if (version >= static_cast<i32>(kVersionLegacyClips)) {
    r = ReadLegacyClips(stream, version, 2, 5, version < static_cast<i32>(kVersionFieldForm), clips_);
    if (Succeeded(r) && version >= static_cast<i32>(kVersionStatic)) r = ReadBoolVector(stream, static_);
    return r;
  }
  return ReadClipRecords24(stream, clips_);
}

Result CRTSClipControl::Save(CStream& stream, u32 flags) {
  Result r = CRTSControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  if (Succeeded(r)) r = WriteBoolVector(stream, static_);
  if (Succeeded(r)) r = WriteClipList(stream, clips_);
  return r;
}

void CRTSClipControl::DescribeMembers(CMemberVisitor& visitor) {
  DescribeClipControl(visitor, u"CRTSClipControl Member", true);
}

}  // namespace KT
