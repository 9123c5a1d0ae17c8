// KT::CMaterialLayerControl: blends the channel blocks of several child
// material data controllers into its own, which its Apply (the material
// data controller's) writes into the material.
//
// The children form a plain child list (controllers/core/layer.h), with
// the list operations, binding, owner lists, saving and linking of the
// data containers. The weights come from keys: at each key time
// (ShareTime, ascending) a list of weights, one per child
// (TransitionType). At the mapped time (MapTime over the end time) the two
// lists around it are lerped without easing; before the first key and
// after the last that key's list holds. Without keys every child weighs
// 1 / child count. A weight list shorter than the children gives the
// missing children weight 0. Weights need not sum to 1.
//
// Each update resets the block to 0, lets every child update at the
// global time (their answers are not the layer's) and adds weight x each
// of the child's 27 floats.
//
// Clone is not available for this class (kErrNotAvailable, 0x80000001).
//
// Record, after the material data controller's part (little-endian):
// version pair 2.02; u32 key count K, then K weight lists (u32 n, n x
// f32); the child list (u32 count, 8-byte ids); u32 time count and the
// i32 key times. Older levels: up to 2.00 the child ids take 4 bytes;
// below 2.02 the key times are f32 (truncated toward zero). Key times and
// weight lists of different counts do not describe whole keys:
// kErrNotFound (0x80000005). The search cache SharedLastIndex is not
// stored.
#pragma once

#include <vector>

#include "controllers/core/key_track.h"
#include "controllers/core/layer.h"
#include "render/materials/material_data_control.h"

namespace KT {

class CMaterialLayerControl : public CListControl<CMaterialDataControl, CMaterialDataControl> {
  KT_DECLARE_CLASS(CMaterialLayerControl)

 public:
  using WeightList = std::vector<f32>;
  // Copies take the search cache along.
  using TimeTrack = CTimeTrack<TrackCacheCopy::kCopy>;

  // Version gates of the record.
  static constexpr i32 kVersionWideIds = 201;  // 8-byte child ids
  static constexpr u32 kVersionIntTimes = 202;  // i32 key times

  CMaterialLayerControl() = default;
  // The material data part (channel block included), the keys and the
  // cache; no children.
  CMaterialLayerControl(const CMaterialLayerControl& other)
      : CListControl(other), keyWeights_(other.keyWeights_), shareTime_(other.shareTime_) {}

  // --- keys ---------------------------------------------------------------------------------
  const std::vector<i32>& GetShareTimes() const { return shareTime_.Times(); }
  const std::vector<WeightList>& GetWeightLists() const { return keyWeights_; }
  u32 GetSharedLastIndex() const { return shareTime_.GetLastIndex(); }
  // Replaces the keys: `times` ascending, `weights` one list per time.
  // Lists of different counts: kErrInvalidArg, nothing changed. Marks the
  // layer modified; kErrOutOfMemory leaves the keys as they were.
  Result SetKeys(const std::vector<i32>& times, const std::vector<WeightList>& weights);
  // The weight of each child at `time` (the first step of Update), moving
  // the search cache.
  std::vector<f32> EvaluateWeights(i32 time);

  // --- controller protocol --------------------------------------------------------------------
  // Inactive: kDone. Unbound: kErrInvalidArg; bound to anything but a
  // standard material: kErrNotFound; nothing evaluated then. Otherwise the
  // blend (see above); kOk. Past the nesting bound of containers:
  // kErrInvalidArg.
  Result Update(i32 time) override;

  // --- root protocol ----------------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Not available for this class: kErrNotAvailable, nothing made.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Into a material layer (else kErrNotFound); refusals of the move
  // (kErrInvalidArg) leave both as they were. The material data part, then
  // the children move to the target, which takes copies of the keys and
  // the cache.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // The current form and the older ones; a version above 2.02:
  // kErrNewerVersion. Counts are checked against the bytes left
  // (kErrStream).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CMaterialLayerControl Member": "SharedLastIndex", then per key
  // "ShareTime" and "TransitionType" (its weights); then the material data
  // controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // The material data part's + 8 + 4 + per key (4 + 4 per weight) + the
  // child list (4 + 8 per child) + (4 + 4 per key time).
  u32 GetSaveSize() const override;

 private:
  // The weight list of each key (TransitionType).
  std::vector<WeightList> keyWeights_;
  TimeTrack shareTime_;
};

}  // namespace KT
