// KT::CMorphControl: blends one morph target into a geometry.
//
// It holds an offset for every vertex (the target shape minus the base
// shape) and a keyed weight track; each frame it adds offset x weight to the
// geometry's WorldXYZ. The geometry refills WorldXYZ from its level in use
// before its data controllers run, so several morph controllers on one mesh
// add up. When a deformer before it has already moved WorldXYZ into world
// space (WorldXYZReady), the offsets are turned by the geometry's world
// rotation and scale first; the translation does not apply to offsets.
//
// The weight track is two parallel arrays: WeightData (one f32 per key) and
// WeightTime (ascending ms); the weight is linear between keys and the end
// keys' weights stand outside them.
//
// Record, after the KT::CDataControl part (little-endian): version pair
// 2.02; u32 target count and, when it is not 0, that many offsets of three
// f32; WeightData (u32 count, count f32); WeightTime (u32 count, count i32).
// Older forms: below 2.02 the times are f32 (truncated on load); below 2.01
// they were stored relative to the controller's start, the first word of the
// old controller part (read into Weight by the base): every time is reduced
// by its truncated value.
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "objectmodel/vector.h"

namespace KT {

class CGeometry;

class CMorphControl : public CDataControl {
  KT_DECLARE_CLASS(CMorphControl)

 public:
  using Vec3 = CVector3<float>;

  // Version gates of the record.
  static constexpr u32 kVersionAbsoluteTimes = 201;  // times no longer relative to the controller's start
  static constexpr u32 kVersionIntTimes = 202;       // times stored as i32 from here on (f32 before)

  CMorphControl() = default;
  // Copies the controller part and the weight track; the copy has no
  // targets and LastIndex 0 (CreateInstance copies the targets as well).
  CMorphControl(const CMorphControl& other);
  ~CMorphControl() override;

  // --- targets ------------------------------------------------------------------------
  u32 GetTargetCount() const { return static_cast<u32>(targets_.size()); }
  const std::vector<Vec3>& GetTargets() const { return targets_; }
  // Drops the old offsets and makes `count` zero offsets. kErrOutOfMemory
  // when they cannot be allocated, or would take more than 32 bits of bytes:
  // the count is then 0. Marks modified.
  Result SetTargetCount(u32 count);
  // Offset `index` becomes `offset`. kErrOutOfRange past the target count
  // (no change). Marks modified.
  Result SetTarget(u32 index, const Vec3& offset);

  // --- weight keys --------------------------------------------------------------------
  u32 GetKeyCount() const { return times_.Size(); }
  const std::vector<f32>& GetWeightData() const { return weightData_; }
  const std::vector<i32>& GetWeightTime() const { return times_.Times(); }
  u32 GetLastIndex() const { return times_.GetLastIndex(); }
  // Keys `weight` at `time` x Frequency (truncated), snapped to the nearest
  // whole frame at `framesPerSecond`; a key already at that time takes the
  // new weight, otherwise a key is inserted in time order. Refusals
  // (nothing changes): unbound, kErrInvalidArg; bound to an object that is
  // not a KT::CGeometry, kErrNotFound; kErrOutOfMemory when the track cannot
  // grow. Marks modified; kOk.
  Result SetWeightKey(i32 time, f32 framesPerSecond, f32 weight);

  // --- controller protocol --------------------------------------------------------------
  // 0 without keys, else the last key's time.
  i32 GetEndTime() const override;
  // Inactive: kDone. Unbound: kErrInvalidArg; bound to an object that is
  // not a KT::CGeometry: kErrNotFound (nothing written). Without weight keys:
  // kOk, nothing changes. Otherwise the weight w at trunc(time x Frequency)
  // (no repeat folding); w exactly 0: kDone and the geometry is not touched.
  // Else, for every vertex below both the target count and the WorldXYZ
  // count, WorldXYZ[i] += offset i x w (the offset first turned by
  // WorldMatrix without its translation when WorldXYZReady is set), and
  // RecomputeNormals is set; kOk.
  Result Update(i32 time) override;
  // The positions were written by Update: kDone.
  Result Apply() override;

  // --- root protocol --------------------------------------------------------------------
  // A copy made by the copy constructor, then the targets copied;
  // kErrOutOfMemory when either cannot be allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target null or not a KT::CMorphControl: kErrNotFound and nothing
  // changes. Else the controller part, the targets, LastIndex and the weight
  // track; kErrOutOfMemory leaves the target as it was.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads every stored form. Counts beyond the bytes left: kErrStream,
  // before anything is allocated. A weight track whose two arrays differ in
  // length: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CMorphControl Member": LastIndex, then one record per key with
  // WeightTime and WeightData (the targets are not described).
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  // The bound geometry: kErrInvalidArg when unbound, kErrNotFound when the
  // object is of another class.
  Result GetBoundGeometry(CGeometry*& geometry) const;

  std::vector<Vec3> targets_;
  std::vector<f32> weightData_;
  // A copy starts its cache at 0; CopyTo copies it.
  CTimeTrack<TrackCacheCopy::kReset> times_;
};

}  // namespace KT
