// KT::CRTSSelectorControl: the transform container that hands the
// transform to the child claiming it with the highest priority, and fades
// ahead of a change.
//
// Its children (KT::CRTSControl, typically clip controllers whose clips
// claim the transform for time windows) decide when and with which
// priority they claim: the selector asks each in list order for its
// priority (UpdatePriority) and its claim (PickByPriority), keeps the
// winner, and looks ahead over the children's time spans
// (CollectTimeSpans): when another child takes over within the next
// fTransitionTime milliseconds, the selector blends from the winner toward
// that child's pose at its takeover time, so that the hand-over does not
// jump.
//
// Record, after the CRTSControl part: version pair 2.02, fTransitionTime
// (f32), TransitionType (u32), the channel list (u32 count, 8-byte ids).
// 2.01 stores no TransitionType (5 then); 2.00 and older also store
// 4-byte child ids.
#pragma once

#include <vector>

#include "controllers/core/layer.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/time_key.h"

namespace KT {

// A track of time spans: start times (ms), priorities and fade lengths,
// index for index.
struct TimeSpanTrack {
  std::vector<i32> times;
  std::vector<f32> priorities;
  std::vector<f32> fades;

  std::size_t Size() const { return times.size(); }
  bool Empty() const { return times.empty(); }
  void Add(i32 time, f32 priority, f32 fade) {
    times.push_back(time);
    priorities.push_back(priority);
    fades.push_back(fade);
  }
};

// The priority of `track` in effect at `time`: that of the last entry (in
// track order) whose time is at or before it; 0.0 before every entry.
f32 StepValueAt(const TimeSpanTrack& track, i32 time);

// The merge of an accumulated track `p` with a child's track `q`, the
// selector's own spans: a two-way walk over both in time order that
// outputs an entry where the owner (the track of the higher priority in
// effect; the event's own track on a tie) changes, with the fade min(T,
// time since the last output), and the owner's own entries otherwise; the
// rest of the track left over is appended where it is the last owner or
// rises above the last priority output. Either track empty: the other.
// Tracks of unequal list lengths are taken at their shortest.
TimeSpanTrack MergeTimeSpans(const TimeSpanTrack& p, const TimeSpanTrack& q, f32 transitionTime);

class CRTSSelectorControl : public CListControl<CRTSControl, CRTSControl> {
  KT_DECLARE_CLASS(CRTSSelectorControl)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionWideChildIds = 201;  // child ids as 8 bytes from here on
  static constexpr u32 kVersionTransitionType = 202;  // TransitionType stored from here on

  static constexpr f32 kDefaultTransitionTime = 200.0f;
  // A fade time at or below this turns fading off.
  static constexpr f32 kNoFade = 0.00001f;
  // The claim time before any child narrowed it.
  static constexpr i32 kOpenTime = 0x3FFFFFFF;

  // The outcome of the channel choice at a time.
  struct Choice {
    u32 winner = 0;    // child A, evaluated at the mapped time
    u32 incoming = 0;  // child B (the winner when nothing fades in)
    i32 incomingTime = 0;  // the time child B is evaluated at (its takeover time)
    f32 weight = 0.0f;     // the weight of B in the blend, [0, 1]
  };

  CRTSSelectorControl() = default;
  // Copies the CRTSControl part, fTransitionTime and TransitionType;
  // LastActiveChannel 0 and no children (Clone fills the copy's children).
  CRTSSelectorControl(const CRTSSelectorControl& other)
      : CListControl(other), transitionTime_(other.transitionTime_), transitionType_(other.transitionType_) {}

  f32 GetTransitionTime() const { return transitionTime_; }
  void SetTransitionTime(f32 milliseconds) {
    transitionTime_ = milliseconds;
    SetModified();
  }
  u32 GetTransitionType() const { return transitionType_; }
  void SetTransitionType(u32 type) {
    transitionType_ = type;
    SetModified();
  }
  // The winner of the last evaluation.
  u32 GetLastActiveChannel() const { return lastActiveChannel_; }

  // --- controller protocol -----------------------------------------------------------------
  // Inactive: kDone, nothing changes. No children: Local and the world
  // quantities from SlaveMode, kDone. Unbound: kErrInvalidArg; bound to an
  // object that is not a spatial: kErrNotFound. Otherwise the choice
  // (Choose) at `time`; LastActiveChannel = the winner; the winner is
  // evaluated at m = MapTime(time, GetEndTime()), the incoming child (when
  // another) at its takeover time; Local = InterpolateRts of the two at
  // the incoming weight; the world quantities follow from Local, composed
  // with the spatial's parent. kOk. A child's failure is answered at once
  // and leaves Local and the world quantities as they were.
  Result UpdateTransform(i32 time) override;
  // The channel choice at `time` (kErrInvalidArg without children):
  //   first pick: every child in list order runs UpdatePriority(time) and
  //   PickByPriority(time, best time, claim time, best priority) from best
  //   time 0, claim time kOpenTime, best priority 0; an answer 2 or 3, or 1
  //   while the last claim taken was not final (3), makes the child the
  //   winner with its Priority as the best priority; nobody: child 0;
  //   second pick, unless the last claim was final: the same from what the
  //   first left, at the best time when it differs from `time`, else at the
  //   claim time when it differs from `time` and is not open;
  //   look-ahead at m: the winner's spans for the next trunc(T) ms, then
  //   for every other active child its spans up to the earliest takeover C
  //   found so far (start m + trunc(T)): a span of higher priority than
  //   the winner's (than the best priority when the winner has none) takes
  //   over at its time (or the later of its and the winner's span's time);
  //   an earlier takeover, or an equal one of higher priority, becomes C
  //   and its child the incoming one;
  //   fade D = min(T, C - best time): with an incoming child and D not
  //   below kNoFade its weight is EaseTransition(f, TransitionType, 50) with
  //   f = min(m + D - C, D) / D held to [0, 1], and it is evaluated at C.
  // T at or below kNoFade: the winner alone. kOk.
  Result Choose(i32 time, Choice& choice);
  // Each child's depth at trunc(time x Frequency); the first failure.
  Result GetUpdateDepth(i32 time, i32& depth) override { return ChildrenUpdateDepth(time, depth); }
  // Every child's spans for the window, their fades set to 0.0, merged one
  // after another into the given lists (MergeTimeSpans with
  // fTransitionTime). kOk.
  Result CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                          std::vector<f32>& spans) override;

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Into a selector (else kErrNotFound); refusals of the move
  // (kErrInvalidArg) leave both as they were. The CRTSControl part, then
  // the children move to the target, which takes fTransitionTime and
  // TransitionType.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Versions 2.00 to 2.02 (and older, read as 2.00); above:
  // kErrNewerVersion. The child count is checked against the bytes left
  // (kErrStream).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CRTSSelectorControl Member": "LastActiveChannel", "fTransitionTime",
  // "TransitionType"; then the CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // CRTSControl's + 16 + (4 + 8 per child).
  u32 GetSaveSize() const override;

 protected:
  // Each child's, their failures ignored; then the controller's own.
  Result ResolveReferencesInElement(CBase* root) override { return ResolveReferencesIgnoringChildren(root); }

 private:
  // One pass of the pick over every child at `time`.
  struct Pick {
    i32 bestTime = 0;
    i32 claimTime = kOpenTime;
    f32 bestPriority = 0.0f;
    u32 winner = 0;
    bool final = false;
  };
  void PickAt(i32 time, Pick& pick);

  f32 transitionTime_ = kDefaultTransitionTime;
  u32 transitionType_ = TT_EASE_IN_OUT;
  u32 lastActiveChannel_ = 0;
};

}  // namespace KT
