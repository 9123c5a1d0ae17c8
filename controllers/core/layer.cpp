#include "controllers/core/layer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "controllers/core/key_search.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

namespace {

i32 ClampToI32(i64 value) {
  return static_cast<i32>(
      std::clamp<i64>(value, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
}

// The child of a clip through the non-template side of the container.
CControl* ChildOf(const CLayerBase& layer, const CClipKey& clip) {
  if (clip.ClipID < 0 || static_cast<u32>(clip.ClipID) >= layer.GetChildCount()) return nullptr;
  return layer.GetChildControl(static_cast<u32>(clip.ClipID));
}

}  // namespace

// --- CLayerBase -----------------------------------------------------------------------------

const CLayerBase* CLayerBase::AsLayer(const CControl* control) { return dynamic_cast<const CLayerBase*>(control); }

CLayerBase* CLayerBase::AsLayer(CControl* control) { return dynamic_cast<CLayerBase*>(control); }

bool CLayerBase::HoldsInSubtree(const CControl* control) const {
  if (control == nullptr) return false;
  if (control == &GetLayerControl()) return true;
  // Containers may share children, so each container is searched once.
  std::vector<const CLayerBase*> pending{this};
  std::unordered_set<const CLayerBase*> seen{this};
  while (!pending.empty()) {
    const CLayerBase* layer = pending.back();
    pending.pop_back();
    for (u32 i = 0; i < layer->GetChildCount(); ++i) {
      const CControl* child = layer->GetChildControl(i);
      if (child == nullptr) continue;
      if (child == control) return true;
      const CLayerBase* nested = AsLayer(child);
      if (nested != nullptr && seen.insert(nested).second) pending.push_back(nested);
    }
  }
  return false;
}

Result CLayerBase::CheckAdoptable(const CControl* child) const {
  if (child == nullptr || child->GetNext() != nullptr) return kErrInvalidArg;
  const CDorun* object = GetLayerControl().GetObject();
  // A bound child may only come from another container of the same object;
  // a bound child without owners belongs to an object's chain.
  if (child->GetObject() != nullptr && (!child->HasOwners() || child->GetObject() != object)) {
    return kErrInvalidArg;
  }
  const CLayerBase* nested = AsLayer(child);
  if (child == &GetLayerControl() || (nested != nullptr && nested->HoldsInSubtree(&GetLayerControl()))) {
    return kErrInvalidArg;
  }
  return kOk;
}

Result CLayerBase::Adopt(CControl* child) {
  CControl& self = GetLayerControl();
  const Result r = child->SetObject(self.GetObject());
  if (Failed(r)) return r;
  return child->AddOwner(&self);
}

Result CLayerBase::Release(CControl* child) {
  Result r = child->RemoveOwner(&GetLayerControl());
  if (Failed(r)) return r;
  // A child still held by another container stays bound for it.
  if (!child->HasOwners()) {
    r = child->SetObject(nullptr);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CLayerBase::ReleaseDetached(std::vector<CPointer<CControl>>& detached) {
  while (!detached.empty()) {
    CPointer<CControl> child = std::move(detached.back());
    detached.pop_back();
    // A container about to die hands its children over first, so that its
    // destructor finds none to release.
    if (child && child->GetReferences() == 1) {
      if (CLayerBase* nested = AsLayer(child.Get())) nested->DetachChildren(detached);
    }
  }
}

// --- clip arithmetic ------------------------------------------------------------------------

i32 GetClipCycleLength(const CClipKey& clip, const CControl* child) {
  // A child that is a container asks its own children: bounded.
  const CEvaluationDepthGuard guard;
  const i64 childLength = child != nullptr && !guard.Exceeded() ? child->UnscaleTime(child->GetEndTime()) : 0;
  return ClampToI32(childLength + clip.Padding);
}

namespace {

// The position of s inside its cycle of length L (L not 0), counted from
// the cycle's start, or from its end when reversed.
i32 PositionInCycle(i64 s, i64 length, bool reverse) {
  const f32 l = static_cast<f32>(length);
  const f32 x = static_cast<f32>(s) / l;
  const f32 fraction = x - std::floor(x);
  const f32 position = reverse ? l * (1.0f - fraction) : l * fraction;
  return FloatToIntTrunc(position);
}

}  // namespace

i32 GetClipSourceTime(const CClipKey& clip, const CControl* child, i32 t) {
  const f32 scaled = clip.Frequency * static_cast<f32>(t);
  const i64 s = FloatToIntTrunc(scaled);
  const i64 length = GetClipCycleLength(clip, child);
  const i64 notStarted = clip.Reverse ? length - clip.BeginTime : clip.BeginTime;
  if (s <= clip.BeginTime) return ClampToI32(notStarted);
  if (clip.LoopCount != 0 && s >= static_cast<i64>(clip.LoopCount) * length - clip.EndTime) {
    return ClampToI32(clip.Reverse ? clip.EndTime : length - clip.EndTime);
  }
  // A cycle of length 0 has no inside: the clip shows its start.
  if (length == 0) return ClampToI32(notStarted);
  return PositionInCycle(s, length, clip.Reverse);
}

i32 ApplyClipTimeWarp(const CClipKey& clip, const CControl* child, i32 s) {
  const i32 length = GetClipCycleLength(clip, child);
  if (length == 0) return 0;
  const f32 x = static_cast<f32>(s) / static_cast<f32>(length);
  // The round trip through the fraction is part of the rule, the linear
  // default included: in single precision it can end a hair below s and
  // truncate to s - 1 (251 of 1000 gives 250, 700 of 1000 stays 700).
  const f32 eased = EaseTransition(x, clip.TimeWarpType, clip.TimeWarpStrength);
  return FloatToIntTrunc(static_cast<f32>(length) * eased);
}

i32 GetClipStartTime(const CClipKey& clip) {
  const f32 offset = static_cast<f32>(clip.BeginTime) / clip.Frequency;
  return ClampToI32(static_cast<i64>(clip.Time) + FloatToIntTrunc(offset));
}

i32 GetClipDurationTime(const CClipKey& clip, const CControl* child) {
  if (clip.LoopCount == 0) return kMaxKeyTime;
  const i64 cycles = static_cast<i64>(clip.LoopCount) * GetClipCycleLength(clip, child);
  const f32 cut = static_cast<f32>(clip.EndTime) / clip.Frequency;
  return FloatToIntTrunc(static_cast<f32>(cycles) - cut);
}

i32 GetClipEndTime(const CClipKey& clip, const CControl* child) {
  return ClampToI32(static_cast<i64>(clip.Time) + GetClipDurationTime(clip, child));
}

i32 GetClipCycleStart(const CClipKey& clip, const CControl* child, i32 d) {
  const f32 cycle = static_cast<f32>(GetClipCycleLength(clip, child)) / clip.Frequency;
  const i64 lc = FloatToIntTrunc(cycle);
  if (lc == 0) return 0;
  i64 n = static_cast<i64>(d) / lc;
  if (clip.LoopCount != 0 && n >= static_cast<i64>(clip.LoopCount)) n = static_cast<i64>(clip.LoopCount) - 1;
  return ClampToI32(n * lc);
}

i32 TimeSinceClip(const CClipKey& clip, i32 t) { return ClampToI32(static_cast<i64>(t) - clip.Time); }

i32 OffsetTime(i32 time, i32 offset) { return ClampToI32(static_cast<i64>(time) + offset); }

ActiveClips FindActiveClips(const std::vector<CClipKey>& clips, i32 t, u32 startIndex) {
  ActiveClips found;
  const u32 count = static_cast<u32>(clips.size());
  if (count == 0) return found;
  const u32 last = count - 1;
  const auto after = [&found, last] {
    found.current = found.next = last;
    found.untilNext = 0;
    found.code = kKeySearchAfter;
    return found;
  };
  if (t >= clips[last].Time) return after();
  if (t < GetClipStartTime(clips[0])) {
    found.code = kKeySearchBefore;
    return found;
  }
  const u32 i = startIndex < count ? startIndex : 0;
  const i32 at = GetClipStartTime(clips[i]);
  if (t == at) {
    found.current = found.next = i;
    found.code = kKeySearchOnKey;
    return found;
  }
  u32 current = i;
  u32 next = i;
  if (t > at) {
    next = i + 1;
    while (next <= last && t > GetClipStartTime(clips[next])) current = next++;
    // Only starts out of order (a negative BeginTime or Frequency) lead
    // past the last start before the last clip's Time.
    if (next > last) return after();
    found.code = kKeySearchForward;
  } else {
    // t is not before clip 0's start, so the walk ends at clip 0 at the
    // latest; i is above 0 here.
    current = i - 1;
    while (current > 0 && t < GetClipStartTime(clips[current])) next = current--;
    found.code = kKeySearchBackward;
  }
  found.current = current;
  found.next = next;
  found.untilNext = ClampToI32(static_cast<i64>(GetClipStartTime(clips[next])) - t);
  return found;
}

// --- clip-list helpers --------------------------------------------------------------------

Result InsertClipKey(std::vector<CClipKey>& clips, const CClipKey& key, f32 framesPerSecond) {
  CClipKey snapped = key;
  snapped.Time = SnapTimeToFrame(key.Time, framesPerSecond);
  u32 index = 0;
  bool found = false;
  FindKeyIndex(clips, snapped.Time, index, found);
  if (found) {
    clips[index] = snapped;
    return kOk;
  }
  try {
    clips.insert(clips.begin() + index, snapped);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

void RemoveClipsOfChild(std::vector<CClipKey>& clips, u32 index) {
  for (std::size_t k = clips.size(); k-- > 0;) {
    const i64 id = clips[k].ClipID;
    if (id == index) {
      clips.erase(clips.begin() + static_cast<std::ptrdiff_t>(k));
    } else if (id > index) {
      --clips[k].ClipID;
    }
  }
}

void MergeClipsOfChild(std::vector<CClipKey>& clips, u32 from, u32 to) {
  for (CClipKey& clip : clips) {
    const i64 id = clip.ClipID;
    if (id == from) {
      clip.ClipID = static_cast<i32>(to);
    } else if (id > from) {
      --clip.ClipID;
    }
  }
}

Result WriteClipList(CStream& stream, const std::vector<CClipKey>& clips) { return WriteKeyList(stream, clips); }

Result ReadClipList(CStream& stream, std::vector<CClipKey>& clips) { return ReadKeyList(stream, clips); }

u32 GetClipListSaveSize(const std::vector<CClipKey>& clips) { return GetKeyVectorSaveSize(clips); }

Result ReadLegacyClips(CStream& stream, i32 storedVersion, u32 timeMajor, u32 timeMinor, bool blockForm,
                       std::vector<CClipKey>& clips) {
  std::vector<i32> times;
  u32 count = 0;
  Result r = ReadTimeArrayVersioned(stream, storedVersion, times, timeMajor, timeMinor);
  if (Succeeded(r)) r = ReadU32(stream, count);
  // Either form takes at least the 36 bytes of the block form.
  if (Succeeded(r)) r = stream.CheckAvailable(count, 36);
  if (Failed(r)) return r;
  // Each clip takes its start from the time array.
  if (times.size() < count) return kErrNotFound;
  try {
    clips.assign(count, CClipKey());
  } catch (const std::bad_alloc&) {
    clips.clear();
    return kErrOutOfMemory;
  }
  for (u32 i = 0; i < count; ++i) {
    LegacyClipRecord record;
    InitLegacyClipRecord(record);
    r = ReadLegacyClipRecord(stream, blockForm, record);
    if (Failed(r)) {
      clips.resize(i);
      return r;
    }
    clips[i].FromLegacy(record, times[i]);
  }
  return kOk;
}

namespace {

template <typename Record>
Result ReadClipRecords(CStream& stream, std::vector<CClipKey>& clips) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, sizeof(Record));
  if (Failed(r)) return r;
  std::vector<Record> records;
  try {
    records.resize(count);
    clips.assign(count, CClipKey());
  } catch (const std::bad_alloc&) {
    clips.clear();
    return kErrOutOfMemory;
  }
  if (count != 0) {
    const u32 bytes = static_cast<u32>(count * sizeof(Record));
    r = stream.Read(records.data(), bytes, bytes);
    if (Failed(r)) {
      clips.clear();
      return r;
    }
  }
  for (u32 i = 0; i < count; ++i) {
    if constexpr (sizeof(Record) == sizeof(ClipRecord24)) {
      clips[i].FromRecord24(records[i]);
    } else {
      clips[i].FromRecord20(records[i]);
    }
  }
  return kOk;
}

}  // namespace

Result ReadClipRecords24(CStream& stream, std::vector<CClipKey>& clips) {
  return ReadClipRecords<ClipRecord24>(stream, clips);
}

Result ReadClipRecords20(CStream& stream, std::vector<CClipKey>& clips) {
  return ReadClipRecords<ClipRecord20>(stream, clips);
}

void DescribeClips(CMemberVisitor& visitor, std::vector<CClipKey>& clips) {
  visitor.BeginGroup(u"CClip Member");
  visitor.OpenGroup();
  visitor.RecordArray(u"Clips", static_cast<u32>(clips.size()),
                      [&clips](u32 index, CMemberVisitor& v) { clips[index].DescribeMembers(v); });
  visitor.EndGroup();
}

// --- spans and picks ---------------------------------------------------------------------

void CollectClipSpans(const CLayerBase& layer, const std::vector<CClipKey>& clips, i32 t0, i32 length,
                      std::vector<i32>& times, std::vector<f32>& priorities, std::vector<f32>& spans,
                      u32 startIndex) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return;
  const u32 count = static_cast<u32>(clips.size());
  if (count == 0) return;
  // The first clip that may reach into the window.
  u32 i = startIndex < count ? startIndex : 0;
  while (i > 0 && GetClipStartTime(clips[i]) > t0) --i;
  const i64 windowEnd = static_cast<i64>(t0) + length;
  for (; i < count; ++i) {
    const CClipKey& clip = clips[i];
    CControl* child = ChildOf(layer, clip);
    const i32 start = GetClipStartTime(clip);
    if (start > windowEnd) break;
    // A clip of no child plays nothing and claims no time.
    if (child == nullptr) continue;
    const i64 cycle = FloatToIntTrunc(static_cast<f32>(GetClipCycleLength(clip, child)) / clip.Frequency);
    const bool loops = clip.LoopCount != 1;
    i64 window = length;
    if (i + 1 < count) window = std::min<i64>(length, static_cast<i64>(clips[i + 1].Time) - t0);
    const i32 cycleStart = GetClipCycleStart(clip, child, ClampToI32(static_cast<i64>(t0) - clip.Time));
    const i64 offset = static_cast<i64>(cycleStart) + clip.Time;
    const i32 childStart = FloatToIntTrunc(clip.Frequency * static_cast<f32>(static_cast<i64>(t0) - offset));
    const i32 childLength = FloatToIntTrunc(clip.Frequency * static_cast<f32>(window));
    const i32 clipEnd = GetClipEndTime(clip, child);
    if (clip.Persist || childStart < cycle) {
      std::vector<i32> childTimes;
      std::vector<f32> childPriorities;
      std::vector<f32> childSpans;
      child->CollectTimeSpans(childStart, childLength, childTimes, childPriorities, childSpans);
      const std::size_t n = std::min({childTimes.size(), childPriorities.size(), childSpans.size()});
      const i32 childEnd = child->UnscaleTime(child->GetEndTime());
      for (std::size_t j = 0; j < n; ++j) {
        const i32 time =
            ClampToI32(static_cast<i64>(FloatToIntTrunc(static_cast<f32>(childTimes[j]) / clip.Frequency)) + offset);
        // A looping clip's child ends each cycle; only the end of the clip
        // itself is a change.
        if (loops && j + 1 == n && childTimes[j] == childEnd && time != clipEnd) continue;
        const f32 priority = childPriorities[j] + clip.Priority;
        const f32 childSpan = static_cast<f32>(FloatToIntTrunc(childSpans[j]));
        const f32 span = std::min(static_cast<f32>(FloatToIntTrunc(childSpan / clip.Frequency)), clip.TransitionRange);
        if (!times.empty() && static_cast<i64>(time) < static_cast<i64>(times.back()) + 8) {
          times.back() = time;
          priorities.back() = priority;
          spans.back() = span;
        } else {
          times.push_back(time);
          priorities.push_back(priority);
          spans.push_back(span);
        }
      }
    }
    if ((times.empty() || std::llabs(static_cast<i64>(times.front()) - t0) >= 8) && t0 < clipEnd) {
      times.insert(times.begin(), std::max(t0, start));
      priorities.insert(priorities.begin(), clip.Priority);
      spans.insert(spans.begin(), clip.TransitionRange);
    }
    if (!clip.Persist && t0 < clipEnd) {
      const f32 fade = std::min(clip.TransitionRange, 200.0f);
      if (!times.empty() && clipEnd <= times.back()) {
        times.back() = clipEnd;
        priorities.back() = 0.0f;
        spans.back() = fade;
      } else {
        times.push_back(clipEnd);
        priorities.push_back(0.0f);
        spans.push_back(fade);
      }
    }
  }
}

Result PickClipByPriority(const CLayerBase& layer, const std::vector<CClipKey>& clips, i32 t, u32 i,
                          i32& bestTime, i32& pickedTime, f32& bestPriority) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (i >= clips.size()) return kOk;
  const CClipKey& clip = clips[i];
  CControl* child = ChildOf(layer, clip);
  if (child == nullptr) return kOk;
  const i32 start = GetClipStartTime(clip);
  const i32 end = GetClipEndTime(clip, child);
  i32 previousEnd = 0;
  f32 previousPriority = 0.0f;
  if (i >= 2) {
    previousEnd = GetClipEndTime(clips[i - 1], ChildOf(layer, clips[i - 1]));
    previousPriority = clips[i - 1].Priority;
  }
  if (t < start) {
    if (bestPriority == 0.0f && start < pickedTime) {
      pickedTime = start;
      return 1;
    }
    return kOk;
  }
  if (t > end && !clip.Persist) {
    if (bestPriority == 0.0f && end >= bestTime) {
      bestTime = end;
      pickedTime = t;
      return 1;
    }
    if (bestPriority < clip.Priority) bestTime = std::max(end, bestTime);
    return kOk;
  }
  if (bestPriority < clip.Priority) {
    bestTime = end > t ? std::max(start, bestTime) : std::max(end, bestTime);
    bestPriority = clip.Priority;
    return end >= t ? 3 : 2;
  }
  // Within the clip at no higher priority: the child decides, in its own
  // time.
  f32 x = bestPriority - clip.Priority;
  const i64 cycleStart =
      static_cast<i64>(clip.Time) + GetClipCycleStart(clip, child, ClampToI32(static_cast<i64>(t) - clip.Time));
  const auto toChild = [&clip, cycleStart](i32 value) {
    return FloatToIntTrunc(clip.Frequency * static_cast<f32>(static_cast<i64>(value) - cycleStart));
  };
  const auto fromChild = [&clip, cycleStart](i32 value) {
    return ClampToI32(static_cast<i64>(FloatToIntTrunc(static_cast<f32>(value) / clip.Frequency)) + cycleStart);
  };
  i32 childBest = toChild(bestTime);
  i32 childPicked = toChild(pickedTime);
  const Result r = child->PickByPriority(toChild(t), childBest, childPicked, x);
  bestTime = fromChild(childBest);
  pickedTime = fromChild(childPicked);
  bestPriority = clip.Priority + x;
  if (r == kOk && bestPriority < previousPriority) bestTime = std::max(previousEnd, bestTime);
  return r;
}

}  // namespace KT
