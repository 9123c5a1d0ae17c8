// KT::CDataClipControl and KT::CUvwMapClipControl: the data controllers that
// play clips of child data controllers.
//
// Like the transform clip controller (controllers/core/rts_clip_control.h)
// each holds children and a time line of clips (controllers/core/layer.h
// holds the clip arithmetic), but for a time they pick one clip and let its
// child write the data: they never blend two children. At the Time of the
// next clip the next child takes over at once, whatever TransitionRange
// says.
//
//   KT::CDataClipControl plays any KT::CDataControl children. Before the
//   first clip it shows the first clip's child at its source start; the
//   child writes into the object when the owner calls Apply. The node
//   selection and node layer clip controllers derive from it and read
//   GetCurrentClipTime.
//   KT::CUvwMapClipControl plays KT::CUvwMapDataControl children (UVW-map
//   controllers, KT::CUvwMapControl); each child writes the map's
//   coordinates in its Update. Before the first clip it writes nothing.
//
// A clip whose ClipID names no child (the exporter writes -1 for a clip of
// no child; a file may name a child past the end) is kept and saved, but is
// absent at evaluation: as the clip in force it writes nothing (kDone), and
// it claims no time span and no priority.
//
// Records, after the data-controller part:
//   CDataClipControl 2.02: version pair, child list (u32 count, 8-byte
//     ids), Static (u32 count, one byte per flag), clip list (u32 count,
//     82-byte clip keys). Before 2.02: the child list, then a time array
//     (i32 from 2.01, f32 truncated before), u32 count and that many legacy
//     clip records in field form, then Static.
//   CUvwMapClipControl 2.06: version pair, child list, clip list, Static
//     (the clips before the flags). 2.05: no Static. 2.02 to 2.04: the
//     child list, a time array (i32 from 2.04), u32 count, legacy records
//     (block form below 2.03, field form from it), no Static. 2.01: 4-byte
//     child ids, f32 times, block-form records. 2.00: 4-byte child ids, u32
//     count and that many 20-byte records (f32 time, i32 ClipID, u32
//     LoopCount, f32 BeginTime, f32 EndTime) in one block.
// Records without Static load with one false flag per child.
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/layer.h"

namespace KT {

// --- KT::CDataClipControl ----------------------------------------------------------------------

class CDataClipControl : public CClipControl<CDataControl, CDataControl> {
  KT_DECLARE_CLASS(CDataClipControl)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionIntegerTimes = 201;  // legacy clip times as i32 from here on
  static constexpr u32 kVersionClipKeys = 202;      // clip keys instead of legacy records

  CDataClipControl() = default;
  // Copies the controller part, the clips and LastIndex; the copy holds no
  // children (and so no Static flags). Clone fills the copy's children.
  CDataClipControl(const CDataClipControl& other) = default;

  // Binding (a child bound to another object: kErrInvalidArg), child
  // visits, the end time (the end of the last clip, 0 without clips),
  // Clone, CopyTo (into a data clip controller, else kErrNotFound), Link,
  // the sizes and the destructor are CClipControl's
  // (controllers/core/layer.h); the container operations (AddChild,
  // RemoveChild, SetChild, RemoveAllChildren, AddClipKey, SetStatic) are
  // CClip's.

  // The Time of clip LastIndex (the clip found by the last evaluation), 0
  // when there is no such clip.
  i32 GetCurrentClipTime() const;

  // --- controller protocol -----------------------------------------------------------------
  // Evaluates the clip in force at t = trunc(time x Frequency) (no repeat
  // folding):
  //   inactive: kDone; unbound: kErrInvalidArg;
  //   no clips: LastIndex 0, kDone;
  //   before the first clip's Time: the first clip's child at its source
  //     time for 0 (LastIndex 0), kOk;
  //   otherwise the clip in force is the latest clip, walking back from the
  //   one found (FindClip), whose child IsStartedAt its source time (the
  //   found clip when none has started); its child runs Update at its
  //   source time (no time warp), kOk.
  // A clip of no child in force: nothing is evaluated, kDone. A child's
  // failure is answered unchanged.
  Result Update(i32 time) override;
  // Update's evaluation answering the child's own result unchanged (its
  // kDone included), with childRan telling whether a child ran at all;
  // without a child run it answers as Update does. Controllers that must
  // tell a child which evaluated nothing from one that did build on it.
  Result EvaluateClipChild(i32 time, bool& childRan);
  // Inactive, no clips, or the clip LastIndex plays no child: kDone. Else
  // the Apply of the child of clip LastIndex (it writes the value Update
  // evaluated into the object).
  Result Apply() override;
  // Priority for the frame (t as in Update): 0 and kDone when inactive,
  // before the first clip, without clips or for a clip of no child; 0 from
  // the end of a clip that does not Persist on (unless the next clip starts
  // within 8 ms of both t and that end); else the child's priority at its
  // time in the cycle plus the clip's Priority. Refreshed without marking
  // the controller modified.
  Result UpdatePriority(i32 time) override;
  // When active: the clips' spans (CollectClipSpans) for the window scaled
  // by Frequency. kOk.
  Result CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                          std::vector<f32>& spans) override;
  // When active and with clips: PickClipByPriority at the clip FindClip
  // finds (into LastIndex), in the controller's scaled time; else 0.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override;
  // True when the clip at t = trunc(time x Frequency) Persists and its
  // child is active at its source time; false before the first clip and
  // for a clip of no child. LastIndex serves as the search's start and is
  // left as it is (Apply relies on it).
  bool IsActiveAt(i32 time) const override;
  using CDataControl::GetPriority;
  // At t = trunc(time x Frequency), the clip FindClip finds from LastIndex
  // (LastIndex left as it is): its Priority plus its child's GetPriority at
  // its source time; before the first clip, without clips or for a clip of
  // no child, the controller's own Priority.
  f32 GetPriority(i32 time) const override;

  // --- root protocol --------------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Every stored version; a version above 2.02: kErrNewerVersion. Counts
  // are checked against the bytes left (kErrStream); legacy clips without
  // a time each: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CDataClipControl Member": LastIndex, Static; then the clips, then the
  // controller members.
  void DescribeMembers(CMemberVisitor& visitor) override;
};

// --- KT::CUvwMapClipControl --------------------------------------------------------------------

class CUvwMapClipControl : public CClipControl<CUvwMapDataControl, CUvwMapDataControl> {
  KT_DECLARE_CLASS(CUvwMapClipControl)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionLegacyClips = 201;   // time array and legacy records instead of 20-byte ones
  static constexpr u32 kVersionWideChildIds = 202;  // child ids as 8 bytes from here on
  static constexpr u32 kVersionFieldForm = 203;     // legacy records in field form from here on
  static constexpr u32 kVersionIntegerTimes = 204;  // legacy clip times as i32 from here on
  static constexpr u32 kVersionClipKeys = 205;      // clip keys instead of legacy records
  static constexpr u32 kVersionStatic = 206;        // Static stored from here on

  CUvwMapClipControl() = default;
  // As CDataClipControl's.
  CUvwMapClipControl(const CUvwMapClipControl& other) = default;

  // The shared operations are CClipControl's and CClip's, as for
  // CDataClipControl; CopyTo takes a UVW clip controller (else
  // kErrNotFound).

  // --- controller protocol -----------------------------------------------------------------
  // Evaluates the clip in force at the local time t (MapTime with
  // GetEndTime, so the repeat mode folds the whole clip sequence):
  //   inactive: kDone; unbound: kErrInvalidArg;
  //   no clips, or t before the first clip's Time: nothing written, kDone;
  //   otherwise the clip FindClip finds (into LastIndex) has its child run
  //   Update at its source time (no walk back, no time warp); the child's
  //   answer is answered (its Update writes the map's coordinates).
  // A clip of no child in force: nothing written, kDone.
  Result Update(i32 time) override;
  // Update wrote the coordinates through the child: kDone.
  Result Apply() override;
  // Priority for the frame at t = trunc(time x Frequency): as
  // CDataClipControl's, except that from the end of a clip that does not
  // Persist on the priority is 1.
  Result UpdatePriority(i32 time) override;
  // At t = trunc(time x Frequency), with a clip found (FindClip, into
  // LastIndex) that plays a child: its own UpdatePriority runs; a Priority
  // above `bestPriority` takes over (bestTime = pickedTime = time,
  // bestPriority = Priority; 2); an equal one narrows the span to the
  // clip's end e when trunc(bestTime x Frequency) is before e and e is not
  // after t (bestTime = pickedTime = trunc(e / Frequency); 1). Else 0.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override;

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Every stored version; a version above 2.06: kErrNewerVersion. Counts
  // are checked against the bytes left (kErrStream); legacy clips without
  // a time each: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CUvwMapClipControl Member": LastIndex (Static is not described); then
  // the clips, then the controller members.
  void DescribeMembers(CMemberVisitor& visitor) override;
};

}  // namespace KT
