#include "controllers/core/rts_clip_control.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "controllers/core/key_search.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

CRTSClipControl::CRTSClipControl(const CRTSClipControl& other) : CRTSControl(other), CClip<CRTSControl>(other) {}

CRTSClipControl::~CRTSClipControl() { DestroyChildren(); }

// --- evaluation ----------------------------------------------------------------------------

i32 CRTSClipControl::GetEndTime() const { return GetClipsEndTime(); }

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

void CRTSClipControl::TakeChild(const CRTSControl& child, const CSpatial& spatial, i32 offset, i32 limit) {
  // The child is bound to the same spatial and composed its world
  // quantities from its Local the same way.
  SetLocalAndCompose(child.GetLocal(), spatial);
  TakeSticky(child, offset, limit);
}

Result CRTSClipControl::UpdateTransform(i32 time) {
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
      SetLocalAndCompose(spatial->GetLocal(), *spatial);
      return kDone;
    }
    r = child->UpdateTransform(GetSourceTime(first, 0));
    if (Failed(r)) return r;
    SetLocalAndCompose(child->GetLocal(), *spatial);
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
    TakeChild(*nextChild, *spatial, upcoming.Time, kMaxKeyTime);
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
  TakeChild(*currentChild, *spatial, current.Time, hasNext ? upcoming.Time : kMaxKeyTime);
  return kOk;
}

void CRTSClipControl::SetFramePriority(f32 priority) {
  // A per-frame value, not an edit.
  const bool modified = IsModified();
  SetPriority(priority);
  SetModified(modified);
}

Result CRTSClipControl::UpdatePriority(i32 time) {
  if (!IsActive()) {
    SetFramePriority(0.0f);
    return kDone;
  }
  const i32 t = ScaleTime(time);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  lastIndex_ = found.current;
  const CClipKey* clip = found.code == kKeySearchNone || found.code == kKeySearchBefore ? nullptr : &clips_[lastIndex_];
  CRTSControl* child = clip != nullptr ? GetClipChild(*clip) : nullptr;
  if (child == nullptr) {
    SetFramePriority(0.0f);
    return kDone;
  }
  const i64 end = GetClipEnd(lastIndex_);
  bool near = false;
  if (lastIndex_ + 1 < clips_.size()) {
    // A clip that ends where the next one starts keeps its priority over
    // the seam.
    const i64 nextStart = GetClipStart(lastIndex_ + 1);
    near = std::llabs(t - nextStart) < 8 && std::llabs(end - nextStart) < 8;
  }
  if (!clip->Persist && t > end && !near) {
    SetFramePriority(0.0f);
    return kOk;
  }
  const i32 since = TimeSinceClip(*clip, t);
  const i64 inCycle = static_cast<i64>(since) - GetCycleStart(*clip, since);
  const Result r = child->UpdatePriority(FloatToIntTrunc(clip->Frequency * static_cast<f32>(inCycle)));
  if (Failed(r)) return r;
  SetFramePriority(child->GetPriority() + clip->Priority);
  return kOk;
}

Result CRTSClipControl::GetUpdateDepth(i32 time, i32& depth) {
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  if (found.code == kKeySearchNone) return kOk;
  // Before the first start the first clip's child is the one evaluated.
  const CClipKey& clip = clips_[found.current];
  CRTSControl* child = GetClipChild(clip);
  if (child == nullptr) return kOk;
  // The child time evaluation uses for this clip.
  return child->GetUpdateDepth(GetSourceTime(clip, TimeSinceClip(clip, t)), depth);
}

Result CRTSClipControl::CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times,
                                         std::vector<f32>& priorities, std::vector<f32>& spans) {
  if (!IsActive()) return kOk;
  CollectClipSpans(*this, clips_, ScaleTime(start), ScaleTime(duration), times, priorities, spans, lastIndex_);
  return kOk;
}

Result CRTSClipControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  if (!IsActive()) return kOk;
  const i32 t = ScaleTime(time);
  const ActiveClips found = FindActiveClips(clips_, t, lastIndex_);
  if (found.code == kKeySearchNone) return kOk;
  lastIndex_ = found.current;
  const i32 scaledBest = ScaleTime(bestTime);
  const i32 scaledPicked = ScaleTime(pickedTime);
  i32 best = scaledBest;
  i32 picked = scaledPicked;
  const Result r = PickClipByPriority(*this, clips_, t, lastIndex_, best, picked, bestPriority);
  // Only the ends the pick moved come back, so that an open end (the
  // largest key time) is not lost to the round trip through the scale.
  if (best != scaledBest) bestTime = UnscaleTime(best);
  if (picked != scaledPicked) pickedTime = UnscaleTime(picked);
  return r;
}

bool CRTSClipControl::IsActiveAt(i32 time) const {
  i32 cycles = 0;
  const i32 t = MapTime(time, GetEndTime(), cycles);
  const ActiveClips found = FindActiveClips(clips_, t, 0);
  if (found.code == kKeySearchNone || found.code == kKeySearchBefore) return false;
  const CClipKey& clip = clips_[found.current];
  if (!clip.Persist) return false;
  const CRTSControl* child = GetClipChild(clip);
  return child != nullptr && child->IsActiveAt(GetSourceTime(clip, TimeSinceClip(clip, t)));
}

Result CRTSClipControl::SetObject(CDorun* object) {
  const Result r = CRTSControl::SetObject(object);
  if (r != kOk) return r;
  return BindChildren(object);
}

void CRTSClipControl::ForgetObject(const CDorun* object) {
  CRTSControl::ForgetObject(object);
  ForgetObjectInChildren(object);
}

// --- chain-element parts ---------------------------------------------------------------------

CBase* CRTSClipControl::FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                                      bool onlyMarked) {
  if (CBase* hit = CRTSControl::FindInElement(name, record, includeDerived, onlyMarked)) return hit;
  return FindInChildren(name, record, includeDerived, onlyMarked);
}

void CRTSClipControl::CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                       bool includeDerived, bool onlyMarked) {
  CRTSControl::CollectInElement(out, name, record, includeDerived, onlyMarked);
  CollectInChildren(out, name, record, includeDerived, onlyMarked);
}

bool CRTSClipControl::UpdateMarkedInElement(const ObjectSet& set) {
  const bool marked = CRTSControl::UpdateMarkedInElement(set);
  UpdateMarkedInChildren(set);
  return marked;
}

void CRTSClipControl::ClearMarkedInElement() {
  CRTSControl::ClearMarkedInElement();
  ClearMarkedInChildren();
}

Result CRTSClipControl::ResolveReferencesInElement(CBase* root) {
  const Result r = ResolveChildReferences(root);
  if (Failed(r)) return r;
  return CRTSControl::ResolveReferencesInElement(root);
}

Result CRTSClipControl::RegisterElementForSave(CStream& stream, u32 flags) {
  const Result r = CRTSControl::RegisterElementForSave(stream, flags);
  if (r != kOk) return r;
  return RegisterChildrenForSave(stream, flags);
}

// --- root protocol ---------------------------------------------------------------------------

Result CRTSClipControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CRTSClipControl::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CRTSControl::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CRTSClipControl* copy = DynamicCast<CRTSClipControl>(out.Get());
  if (copy == nullptr) return kErrNotFound;
  return CloneClipChildrenInto(*copy, cloneMap, flags);
}

Result CRTSClipControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CRTSClipControl* other = DynamicCast<CRTSClipControl>(target);
  if (other == nullptr) return kErrNotFound;
  // Checked before anything is copied: the target would end up holding
  // itself.
  if (other != this && HoldsInSubtree(other)) return kErrInvalidArg;
  const Result r = CRTSControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  return CopyClipPartTo(*other, displaced);
}

Result CRTSClipControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRTSControl::Load(stream, record, flags);
  if (Failed(r)) return r;
  foldDuplicatesOnLink_ =
      stream.GetStoredVersion(CControl::StaticClassRecord()) < static_cast<i32>(CControl::kVersionOwners);
  r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  clips_.clear();
  static_.clear();
  lastIndex_ = 0;
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

Result CRTSClipControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CRTSControl::Link(stream, record, flags);
  if (Failed(r)) return r;
  ResolveChildIds(stream, record);
  if (foldDuplicatesOnLink_) FoldDuplicateChildren();
  // Records without flags (and files whose flags do not match the
  // children) get one false flag per child.
  FitStaticToChildren();
  return ClaimChildren(stream);
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
  const std::vector<u8> flags(static_.begin(), static_.end());
  visitor.BeginGroup(u"CRTSClipControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &lastIndex_);
  visitor.FlagArray(u"Static", flags.data(), static_cast<u32>(flags.size()));
  visitor.EndGroup();
  DescribeClips(visitor, clips_);
  CRTSControl::DescribeMembers(visitor);
}

void CRTSClipControl::EnumReferences(CReferenceVisitor& visitor) {
  EnumChildReferences(visitor);
  CRTSControl::EnumReferences(visitor);
}

u32 CRTSClipControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + static_cast<u32>(static_.size()) + 4 * GetChildCount() +
         CClipKey::kMemorySize * static_cast<u32>(clips_.size()) + kMemoryBase;
}

u32 CRTSClipControl::GetSaveSize() const {
  return CRTSControl::GetSaveSize() + 12 + static_cast<u32>(static_.size()) + GetClipListSaveSize(clips_) +
         GetChildListSaveSize();
}

bool CRTSClipControl::HasSubObjects() const { return GetChildCount() > 0 || CRTSControl::HasSubObjects(); }

}  // namespace KT
