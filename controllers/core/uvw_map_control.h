// KT::CUvwMapControl: the keyed controller that animates the texture
// coordinates of one UV channel (a KT::CUvwMap of n UVW vectors).
//
// Each key holds a time, a transition type and a complete set of n UVW
// vectors. The keys live in three parallel arrays: UVWTime (ascending ms),
// TransitionType (one TT_* value per key) and UVWData (the sets key after
// key: key k occupies entries k x n to k x n + n - 1). Update writes the
// interpolated set straight into the bound map's buffer.
//
// Interpolation between the keys A (at or before the time) and B (after
// it): when A's TransitionType is TT_STEP the map shows A's set until B's
// time is reached; any other type blends linearly, component by component,
// by the plain fraction of the time between the keys (the ease types are not
// eased here).
//
// Record, after the KT::CUvwMapDataControl part (little-endian): version
// pair 2.03; UVWData (u32 count, count x three f32); UVWTime (u32 count,
// count i32); TransitionType (u32 count, count u32). Older forms:
//   below 2.03 the times are f32 (truncated on load);
//   below 2.02 no transition types: TT_LINEAR for every key from 2.00, TT_STEP
//   before;
//   below 2.01 the times were stored relative to the controller's start, the
//   first word of the old controller part (read into Weight by the base):
//   every time is reduced by its truncated value.
// Files also name this class "CTriMeshUVWMapControl".
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "controllers/core/time_key.h"
#include "objectmodel/vector.h"

namespace KT {

class CUvwMap;

class CUvwMapControl : public CUvwMapDataControl {
  KT_DECLARE_CLASS(CUvwMapControl)

 public:
  using Vec3 = CVector3<float>;

  // Version gates of the record.
  static constexpr u32 kVersionLinearDefault = 200;    // keys without stored types: TT_LINEAR (TT_STEP before)
  static constexpr u32 kVersionAbsoluteTimes = 201;    // times no longer relative to the controller's start
  static constexpr u32 kVersionTransitionTypes = 202;  // transition types stored from here on
  static constexpr u32 kVersionIntTimes = 203;         // times stored as i32 from here on (f32 before)

  CUvwMapControl() = default;
  // Copies the controller part, the three arrays and LastIndex.
  CUvwMapControl(const CUvwMapControl& other);
  ~CUvwMapControl() override;

  // --- keys ----------------------------------------------------------------------
  u32 GetKeyCount() const { return times_.Size(); }
  const std::vector<Vec3>& GetUVWData() const { return uvwData_; }
  const std::vector<i32>& GetUVWTime() const { return times_.Times(); }
  const std::vector<u32>& GetTransitionType() const { return transitionType_; }
  u32 GetLastIndex() const { return times_.GetLastIndex(); }

  // Keys the current coordinates of `uvwMap` at `time` x Frequency
  // (truncated), snapped to the nearest whole frame at `framesPerSecond`.
  // A key already at that time takes the new type and set; otherwise a key
  // is inserted in time order. Refusals (nothing changes):
  //   kErrInvalidArg  no controlled map (unbound), or `uvwMap` null;
  //   kErrNotFound    the bound object is not a KT::CUvwMap, `uvwMap`'s UVW
  //                   count differs from the controlled map's, or the keys
  //                   already held have sets of another size;
  //   kErrOutOfMemory the arrays cannot grow.
  // Marks modified; kOk.
  Result SetKey(i32 time, f32 framesPerSecond, const CUvwMap* uvwMap, u32 transitionType);
  // Erases key `index` (its time, its type and its set). kErrOutOfRange
  // when `index` is not below the key count (no change). Marks modified;
  // kOk.
  Result RemoveKey(u32 index);
  // Erases every key whose flag in `keep` is false (time, type and set) in
  // one compaction and resets the cache; marks modified when keys went.
  // kErrInvalidArg without one flag per key, kDone when every key stays.
  Result RemoveKeys(const std::vector<bool>& keep);

  // --- controller protocol ------------------------------------------------------------
  // 0 without keys, else the last key's time.
  i32 GetEndTime() const override;
  // Inactive: kDone. Unbound: kErrInvalidArg; bound to an object that is not
  // a KT::CUvwMap: kErrNotFound. Without keys, or when the map has no
  // coordinates: kOk and the map is left alone. When the keys' sets are not
  // the map's UVW count long: kErrNotFound and nothing is written.
  // Otherwise the time is mapped (repeat mode, Frequency, the end time as
  // the length), the keys around it are found from LastIndex and the map's
  // coordinates become the interpolated set; kOk.
  Result Update(i32 time) override;
  // The coordinates were written by Update: kDone.
  Result Apply() override;

  // --- root protocol ------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target null or not a KT::CUvwMapControl: kErrNotFound and nothing
  // changes. Else the controller part, the three arrays and LastIndex;
  // kErrOutOfMemory leaves the target as it was.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads every stored form. Counts beyond the bytes left: kErrStream,
  // before anything is allocated. Arrays that do not describe whole keys
  // (as many transition types as times, n UVW vectors per key for one n,
  // no vectors without keys): kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CUvwMapControl Member": LastIndex, then one record per key with
  // UVWTime, UVWData (the key's set) and TransitionType.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  // The bound map: kErrInvalidArg when unbound, kErrNotFound when the
  // object is of another class.
  Result GetBoundMap(CUvwMap*& map) const;
  // The number of UVW vectors per key (0 without keys).
  u32 GetSetSize() const;

  std::vector<Vec3> uvwData_;
  // Copies take the cache with the times.
  CTimeTrack<TrackCacheCopy::kCopy> times_;
  std::vector<u32> transitionType_;
};

}  // namespace KT
