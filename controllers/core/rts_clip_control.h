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

class CRTSClipControl : public CRTSControl, public CClip<CRTSControl> {
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
  CRTSClipControl(const CRTSClipControl& other);
  // Releases every child (each loses this container as owner and is
  // unbound when no other container holds it).
  ~CRTSClipControl() override;

  CControl& GetLayerControl() override { return *this; }
  const CControl& GetLayerControl() const override { return *this; }

  // --- controller protocol -----------------------------------------------------------------
  // The end of the last clip (GetClipEnd); 0 without clips.
  i32 GetEndTime() const override;
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
  // The depth of the child in force at its source time (the first clip's
  // before the first start); kOk without one.
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
  // Binds the controller and then every child (see CLayer::BindChildren).
  Result SetObject(CDorun* object) override;
  void ForgetObject(const CDorun* object) override;

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The controller (and its chain) through the clone map, then a clone of
  // every child added to the copy; the Static flags follow.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Into a transform clip controller (else kErrNotFound; one below this
  // controller: kErrInvalidArg; nothing changed): the CRTSControl part,
  // then the children move to the target (this controller is left with
  // none; the target's former children go to `displaced`), and the target
  // takes the clips, Static and LastIndex.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Every stored version; a version above 2.06: kErrNewerVersion. Counts
  // are checked against the bytes left (kErrStream); legacy clips without
  // a time each: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Resolves the children. A child that would close an ownership loop, or
  // is listed twice in a file that stores owner lists, fails with
  // kErrNotFound; files from before owner lists fold duplicates.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  // The chain-element parts: this controller, then its children.
  CBase* FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                       bool onlyMarked) override;
  void CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) override;
  bool UpdateMarkedInElement(const ObjectSet& set) override;
  void ClearMarkedInElement() override;
  // Every child's first (the first failure answered), then this one's.
  Result ResolveReferencesInElement(CBase* root) override;
  Result RegisterElementForSave(CStream& stream, u32 flags) override;

 private:
  // Sets the transform from SlaveMode: kDone, or its failure.
  Result FallBack();
  // Takes `child`'s Local (with the world quantities composed for
  // `spatial`) and its sticky range moved by `offset` (the clip's Time),
  // ended at `limit`.
  void TakeChild(const CRTSControl& child, const CSpatial& spatial, i32 offset, i32 limit);
  // The sticky range of `child` moved by `offset` and ended at `limit`.
  void TakeSticky(const CRTSControl& child, i32 offset, i32 limit);
  void SetFramePriority(f32 priority);

  // Files from before owner lists may list a child twice (see Link).
  bool foldDuplicatesOnLink_ = false;
};

}  // namespace KT
