#include "controllers/composite/rts_selector_control.h"

#include <algorithm>
#include <limits>
#include <new>

#include "controllers/core/keyframe_control.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/spatial.h"

namespace KT {

namespace {

i32 ClampTime(i64 value) {
  return static_cast<i32>(std::clamp<i64>(value, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
}

// A child's spans for a window, its lists made equally long.
TimeSpanTrack SpansOf(CControl& child, i32 start, i32 duration) {
  TimeSpanTrack track;
  child.CollectTimeSpans(start, duration, track.times, track.priorities, track.fades);
  const std::size_t n = std::min({track.times.size(), track.priorities.size(), track.fades.size()});
  track.times.resize(n);
  track.priorities.resize(n);
  track.fades.resize(n);
  return track;
}

}  // namespace

f32 StepValueAt(const TimeSpanTrack& track, i32 time) {
  f32 value = 0.0f;
  const std::size_t n = std::min(track.times.size(), track.priorities.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (track.times[i] <= time) value = track.priorities[i];
  }
  return value;
}

TimeSpanTrack MergeTimeSpans(const TimeSpanTrack& p, const TimeSpanTrack& q, f32 transitionTime) {
  const std::size_t np = std::min({p.times.size(), p.priorities.size(), p.fades.size()});
  const std::size_t nq = std::min({q.times.size(), q.priorities.size(), q.fades.size()});
  if (nq == 0) return p;
  if (np == 0) return q;
  const TimeSpanTrack* tracks[2] = {&p, &q};
  const std::size_t sizes[2] = {np, nq};
  std::size_t index[2] = {0, 0};
  TimeSpanTrack out;
  std::vector<int> sources;  // 0: P, 1: Q, for every output entry
  while (index[0] < np && index[1] < nq) {
    const int s = p.times[index[0]] >= q.times[index[1]] ? 1 : 0;
    const i32 te = tracks[s]->times[index[s]];
    const f32 inEffect[2] = {StepValueAt(p, te), StepValueAt(q, te)};
    const int w = inEffect[1] > inEffect[0] ? 1 : inEffect[1] < inEffect[0] ? 0 : s;
    if (!out.Empty() && sources.back() != w && out.times.back() < te) {
      // The owner changes at te: a fade from the last output entry.
      const f32 since = static_cast<f32>(static_cast<i64>(te) - out.times.back());
      out.Add(te, inEffect[w], std::min(transitionTime, since));
      sources.push_back(w);
      ++index[s];
    } else if (!out.Empty() && s != w) {
      ++index[s];
    } else {
      const TimeSpanTrack& owner = *tracks[w];
      out.Add(owner.times[index[w]], owner.priorities[index[w]], owner.fades[index[w]]);
      sources.push_back(w);
      ++index[w];
    }
  }
  for (int r = 0; r < 2; ++r) {
    const TimeSpanTrack& rest = *tracks[r];
    for (; index[r] < sizes[r]; ++index[r]) {
      const f32 priority = rest.priorities[index[r]];
      if (sources.back() != r && !(priority > out.priorities.back())) continue;
      out.Add(rest.times[index[r]], priority, rest.fades[index[r]]);
      sources.push_back(r);
    }
  }
  return out;
}

// --- evaluation ----------------------------------------------------------------------------

void CRTSSelectorControl::PickAt(i32 time, Pick& pick) {
  const u32 count = GetChildCount();
  for (u32 i = 0; i < count; ++i) {
    CRTSControl* child = GetChild(i);
    if (child == nullptr) continue;
    child->UpdatePriority(time);
    const Result r = child->PickByPriority(time, pick.bestTime, pick.claimTime, pick.bestPriority);
    if (r == 2 || r == 3 || (r == 1 && !pick.final)) {
      pick.winner = i;
      pick.bestPriority = child->GetPriority();
      pick.final = r == 3;
    }
  }
}

Result CRTSSelectorControl::Choose(i32 time, Choice& choice) {
  if (GetChildCount() == 0) return kErrInvalidArg;
  i32 cycles = 0;
  const i32 m = MapTime(time, GetEndTime(), cycles);
  Pick pick;
  PickAt(time, pick);
  if (!pick.final) {
    // A claim that starts or ends elsewhere is asked again from there.
    if (pick.bestTime != time) {
      PickAt(pick.bestTime, pick);
    } else if (pick.claimTime != time && pick.claimTime != kOpenTime) {
      PickAt(pick.claimTime, pick);
    }
  }
  choice = Choice{pick.winner, pick.winner, m, 0.0f};
  const f32 t = transitionTime_;
  // NaN fades nothing either.
  if (!(t > kNoFade)) return kOk;

  // Look-ahead: the earliest takeover by another child within the fade.
  CRTSControl* winner = GetChild(pick.winner);
  const i32 ahead = FloatToIntTrunc(t);
  TimeSpanTrack own;
  if (winner != nullptr) own = SpansOf(*winner, m, ahead);
  i64 takeover = static_cast<i64>(m) + ahead;
  f32 current = pick.bestPriority;
  u32 incoming = pick.winner;
  const u32 count = GetChildCount();
  for (u32 i = 0; i < count; ++i) {
    CRTSControl* child = GetChild(i);
    if (i == pick.winner || child == nullptr || !child->IsActive()) continue;
    const TimeSpanTrack other = SpansOf(*child, m, ClampTime(takeover - m));
    for (std::size_t j = 0; j < other.Size(); ++j) {
      const f32 priority = other.priorities[j];
      bool candidate = false;
      i64 at = 0;
      if (own.Empty()) {
        candidate = priority > pick.bestPriority;
        at = other.times[j];
      } else {
        for (std::size_t k = 0; k < own.Size() && !candidate; ++k) {
          if (priority > own.priorities[k]) {
            candidate = true;
            at = std::max(other.times[j], own.times[k]);
          }
        }
      }
      if (candidate && (at < takeover || (at == takeover && priority > current))) {
        takeover = at;
        current = priority;
        incoming = i;
        break;
      }
    }
  }
  const i32 c = ClampTime(takeover);
  const f32 d = std::min(t, static_cast<f32>(static_cast<i64>(c) - pick.bestTime));
  if (incoming == pick.winner || !(d >= kNoFade)) return kOk;
  const f32 r = std::min(static_cast<f32>(m) + d - static_cast<f32>(c), d);
  // Held to [0, 1]: with the best time after m (a Frequency below 1, or a
  // wrapped time) the fraction would be negative and the ease curves give
  // NaN for a negative base. NaN itself gives 0.
  f32 f = r / d;
  f = f > 0.0f ? std::min(f, 1.0f) : 0.0f;
  choice.incoming = incoming;
  choice.incomingTime = c;
  choice.weight = EaseTransition(f, transitionType_, kDefaultTransitionStrength);
  return kOk;
}

Result CRTSSelectorControl::UpdateTransform(i32 time) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  if (GetChildCount() == 0) {
    const Result r = InitFromSlaveMode();
    return Failed(r) ? r : kDone;
  }
  CSpatial* spatial = nullptr;
  Result r = GetBoundSpatial(spatial);
  if (Failed(r)) return r;
  Choice choice;
  r = Choose(time, choice);
  if (Failed(r)) return r;
  lastActiveChannel_ = choice.winner;
  i32 cycles = 0;
  const i32 m = MapTime(time, GetEndTime(), cycles);
  CRTSControl* a = GetChild(choice.winner);
  CRTSControl* b = GetChild(choice.incoming);
  // An empty slot of a loaded list evaluates nothing: the other side drives
  // alone, and with neither SlaveMode gives the transform.
  if (a == nullptr && b == nullptr) {
    r = InitFromSlaveMode();
    return Failed(r) ? r : kDone;
  }
  if (a != nullptr) {
    r = a->UpdateTransform(m);
    if (Failed(r)) return r;
  }
  if (b != nullptr && b != a) {
    r = b->UpdateTransform(choice.incomingTime);
    if (Failed(r)) return r;
  }
  if (a == nullptr || b == nullptr || b == a) {
    SetLocalAndCompose((a != nullptr ? a : b)->GetLocal(), *spatial);
    return kOk;
  }
  SetLocalAndCompose(InterpolateRts(a->GetLocal(), b->GetLocal(), choice.weight), *spatial);
  return kOk;
}

Result CRTSSelectorControl::CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times,
                                             std::vector<f32>& priorities, std::vector<f32>& spans) {
  TimeSpanTrack merged;
  merged.times.swap(times);
  merged.priorities.swap(priorities);
  merged.fades.swap(spans);
  for (const CPointer<CRTSControl>& child : GetChildren()) {
    if (!child) continue;
    TimeSpanTrack track = SpansOf(*child, start, duration);
    std::fill(track.fades.begin(), track.fades.end(), 0.0f);
    merged = MergeTimeSpans(merged, track, transitionTime_);
  }
  times.swap(merged.times);
  priorities.swap(merged.priorities);
  spans.swap(merged.fades);
  return kOk;
}

// --- root protocol ------------------------------------------------------------------------------

Result CRTSSelectorControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CRTSSelectorControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CRTSSelectorControl>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CopyListTo(*other, displaced, flags);
  if (Failed(r)) return r;
  other->transitionTime_ = transitionTime_;
  other->transitionType_ = transitionType_;
  return kOk;
}

Result CRTSSelectorControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRTSControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  transitionType_ = TT_EASE_IN_OUT;
  r = ReadU32(stream, transitionTime_);
  if (Succeeded(r) && version >= static_cast<i32>(kVersionTransitionType)) r = ReadU32(stream, transitionType_);
  if (Succeeded(r)) r = ReadChildList(stream, record, version >= static_cast<i32>(kVersionWideChildIds));
  return r;
}

Result CRTSSelectorControl::Save(CStream& stream, u32 flags) {
  Result r = CRTSControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, transitionTime_);
  if (Succeeded(r)) r = WriteU32(stream, transitionType_);
  if (Succeeded(r)) r = WriteChildList(stream);
  return r;
}

void CRTSSelectorControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CRTSSelectorControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastActiveChannel", &lastActiveChannel_);
  visitor.Float(u"fTransitionTime", &transitionTime_);
  visitor.Enum(u"TransitionType", reinterpret_cast<i32*>(&transitionType_), kTransitionTypeNames,
               kTransitionTypeCount);
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CRTSSelectorControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + GetChildListMemorySize() + 16;
}

u32 CRTSSelectorControl::GetSaveSize() const { return CRTSControl::GetSaveSize() + 16 + GetChildListSaveSize(); }

}  // namespace KT
