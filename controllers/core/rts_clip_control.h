// KT::CRTSClipControl: the transform controller that plays a sequence of
// clips of child transform controllers.
//
// Each clip (KT::CClipKey) names a child (any KT::CRTSControl, a keyframe
// controller for instance) and says when and how the child's animation is
// played (controllers/core/layer.h holds the clip arithmetic). At a time
// the controller finds the clip playing, evaluates its child at the clip's
// child time and takes over the child's transform. While the next clip is
// less than its TransitionRange away, the current child's pose is blended
// toward the next child's start pose along the next clip's transition
// curve, so that the change of clip does not jump: with clips at 0 and
// 1000 ms and a linear range of 200 on the second, the weight of the
// second pose is 0 at 800, 0.5 at 900 and 1 at 1000.
//
// A clip whose ClipID names no child is treated as absent: as the clip in
// force it leaves the transform to SlaveMode (as without clips, result 1),
// as the next clip it is not blended toward, and it claims no time or
// priority.
//
// Record, after the CRTSControl part: version pair 2.06, the child list
// (u32 count, 8-byte ids), Static (u32 count, one byte per flag), the clip
// list (u32 count, 82-byte clip keys). Older parts: 2.03 to 2.05 store the
// clips in the legacy forms (a time array, f32 below 2.05, then field-form
// records from 2.04, block-form records before), then Static; 2.01 and 2.02
// store 4-byte child ids and block-form clips, Static from 2.02; 2.00
// stores 4-byte child ids and 24-byte clip records.
#pragma once

#include <vector>

#include "controllers/core/layer.h"
#include "controllers/core/rts_control.h"

namespace KT {

class CRTSClipControl : public CClipControl<CRTSControl, CRTSControl> {
  KT_DECLARE_CLASS(CRTSClipControl)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionLegacyClips = 201;   // time array and legacy records instead of 24-byte ones
  static constexpr u32 kVersionStatic = 202;        // Static stored from here on
  static constexpr u32 kVersionWideChildIds = 203;  // child ids as 8 bytes from here on
  static constexpr u32 kVersionFieldForm = 204;     // legacy records in field form from here on
  static constexpr u32 kVersionIntegerTimes = 205;  // legacy clip times as i32 from here on
  static constexpr u32 kVersionClipKeys = 206;      // clip keys instead of legacy records

  CRTSClipControl() = default;
  // Copies the CRTSControl part, the clips and LastIndex; the copy holds no
  // children (and so no Static flags): a child lists as owners only the
  // containers that really hold it. Clone fills the copy's children.
  CRTSClipControl(const CRTSClipControl& other) = default;

  // Binding, child visits, the end time (the end of the last clip, 0
  // without clips), Clone, CopyTo (into a transform clip controller),
  // Link, the sizes and the destructor are CClipControl's
  // (controllers/core/layer.h).

  // --- controller protocol -----------------------------------------------------------------
  // Evaluates the clips at local time t (MapTime with GetEndTime):
  //   inactive: kDone; unbound: kErrInvalidArg; bound to an object that is
  //   not a spatial: kErrNotFound;
  //   no clips (or the clip in force plays no child): SlaveMode gives the
  //     transform (InitFromSlaveMode), kDone;
  //   before the first clip's start: the first clip's child at its source
  //     time for 0, without time warp (a simulated child: the spatial's
  //     current transform), kDone;
  //   otherwise the clip in force (the latest clip, walking back from the
  //   one found, whose child IsStartedAt its source time) is evaluated at
  //   its time-warped source time; at the next clip's start that clip's
  //   child at its start is taken; within the next clip's TransitionRange
  //   before its start the two poses are blended (InterpolateRts, weight 1
  //   - EaseTransition(dt / range) with the next clip's transition, range
  //   = min(distance of the two starts, TransitionRange)); else the current
  //   child's transform stands. The sticky range is the child's, moved to
  //   the controller's time and ended at the next clip. kOk.
  // A child's failure is answered unchanged.
  Result UpdateTransform(i32 time) override;
  // Priority for the frame: 0 when inactive, without a clip in force or
  // past the end of a clip that does not Persist (unless the next clip
  // starts within 8 ms of both the time and that end); else the child's
  // priority at its time in the cycle plus the clip's Priority. Priority
  // is refreshed without marking the controller modified.
  Result UpdatePriority(i32 time) override;
  // The depth of the child in force (the first clip's before the first
  // start) at the clip's source time for the local time itself, which is
  // not reduced by the clip's Time; kOk without one.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // When active: the clips' spans (CollectClipSpans) for the window scaled
  // by Frequency. kOk.
  Result CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                          std::vector<f32>& spans) override;
  // When active and with clips: PickClipByPriority at the clip in force,
  // in the controller's scaled time; else 0.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override;
  // True when the clip in force at the time Persists and its child is
  // active at its source time.
  bool IsActiveAt(i32 time) const override;
  using CRTSControl::GetPriority;
  // At local time t (MapTime with GetEndTime), searching from clip 0: the
  // clip in force's Priority plus its child's GetPriority at its source
  // time; before the first clip, without clips or with a clip of no child,
  // the controller's own Priority. LastIndex is not touched.
  f32 GetPriority(i32 time) const override;

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Every stored version; a version above 2.06: kErrNewerVersion. Counts
  // are checked against the bytes left (kErrStream); legacy clips without
  // a time each: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CRTSClipControl Member": LastIndex, Static; then the clips, then the
  // CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  // Sets the transform from SlaveMode: kDone, or its failure.
  Result FallBack();
  // Takes `child`'s Local and world quantities as they are.
  void TakeTransform(const CRTSControl& child) {
    SetTransform(child.GetLocal(), child.GetWorldScale(), child.GetWorldRotate(), child.GetWorldMatrix());
  }
  // Takes `child`'s transform and its sticky range moved by `offset` (the
  // clip's Time), ended at `limit`.
  void TakeChild(const CRTSControl& child, i32 offset, i32 limit);
  // The sticky range of `child` moved by `offset` and ended at `limit`.
  void TakeSticky(const CRTSControl& child, i32 offset, i32 limit);
};

}  // namespace KT
