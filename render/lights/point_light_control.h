// KT::CPointLightControl: animates the Range of the point light it is
// bound to from one key track. Its Update takes the scene time as it is:
// no active check, no Frequency, no repeat.
//
// Record, after the KT::CDataControl level (little-endian): version pair
// 2.04; the range keys (u32 count, 40-byte CRangeKey records). Older
// levels store the key times as f32 (u32 count + count f32) followed by:
//   2.00  u32 count n + n 16-byte records (the range is the first f32);
//   2.01  u32 count n + n f32 ranges;
//   2.02  u32 count n + n (f32 range, u32 transition type).
// A 2.03 level holds the key records as 2.04 does.
// Every record below 2.04 is rebuilt on loading: each key is set again
// through SetRangeKey's rule at 60 frames per second from trunc(time /
// Frequency), keeping its value and transition; then Frequency is 1.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"

namespace KT {

class CPointLightControl : public CControlLevel<CPointLightControl, CDataControl, ClassIndex::CPointLightControl> {
 public:
  // A range key (version 1.00): Range, f32; default 0.
  class CRangeKey : public CKeyLevel<CRangeKey, CTransitionKey, ClassIndex::CRangeKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"Range", k.Range);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 Range = 0.0f;
  };
  // Copies start their search at the first key.
  using RangeTrack = CKeyTrack<CRangeKey, TrackCacheCopy::kReset>;

  // Version gates of the record.
  static constexpr u32 kVersionRangeValues = 201;  // plain f32 ranges instead of 16-byte records
  static constexpr u32 kVersionTransitions = 202;  // ranges with transition types
  static constexpr u32 kVersionKeyList = 203;      // key records
  static constexpr u32 kVersionCurrent = 204;      // key times no longer rebuilt on loading
  // The frame rate old records are rebuilt at.
  static constexpr f32 kRebuildFps = 60.0f;
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // No keys; Range 0.
  CPointLightControl() = default;
  // Keys copied; the copy's cache starts at 0.
  CPointLightControl(const CPointLightControl& other) = default;

  const RangeTrack& GetRangeKeys() const { return keys_; }
  RangeTrack& EditRangeKeys() { return keys_; }
  f32 GetRange() const { return range_; }

  // As CLightControl::SetColorKey for a range key.
  Result SetRangeKey(i32 time, f32 fps, f32 range);
  // kErrOutOfRange at or past the end (nothing changed); else erased,
  // marked modified, kOk.
  Result RemoveRangeKey(u32 index);
  // The bulk form: erases every key whose flag in `keep` is false in one
  // compaction, resets the cache and marks modified when keys went.
  // kErrInvalidArg without one flag per key, kDone when every key stays.
  Result RemoveRangeKeys(const std::vector<bool>& keep);

  // Unbound: kErrInvalidArg; bound to something that is not a point light:
  // kErrNotFound; nothing changes then. Otherwise Range becomes the blend
  // of the keys at `time` (the light's own Range without keys); kOk.
  Result Update(i32 time) override;
  // The bound point light's Range takes Range; its Modified flag stays as
  // it was. kErrInvalidArg / kErrNotFound as Update, nothing written.
  Result Apply() override;
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override;

  // "CPointLightControl Member": LastIndex, Range, the keys; then the data
  // controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys; the target's cache back to 0.
  Result CopyOwnTo(CPointLightControl& target) const;

 private:
  // Puts `key` at trunc(key.Time x Frequency) snapped at `fps`.
  Result SetKeyAt(CRangeKey key, f32 fps);

  RangeTrack keys_;
  f32 range_ = 0.0f;
};

}  // namespace KT
