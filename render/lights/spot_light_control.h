// KT::CSpotLightControl: animates the Range, Falloff, Phi and Theta of the
// spot light it is bound to from one key track. Its Update takes the scene
// time as it is: no active check, no Frequency, no repeat.
//
// Record, after the KT::CDataControl level (little-endian): version pair
// 2.03; the spot keys (u32 count, 52-byte CSpotLightKey records). Older
// levels store the key times as f32 (u32 count + count f32), then the
// (falloff, phi, theta) triples (u32 count + 12-byte triples), then:
//   2.00  u32 count + 16-byte records (the range is the first f32);
//   2.01  u32 count + f32 ranges;
//   2.02  as 2.01, then u32 count + u32 transition types.
// The key count is the count of the times; an array holding fewer entries
// fails the load with kErrNotFound. Old key times are kept as stored.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "objectmodel/vector.h"

namespace KT {

class CSpotLightControl : public CControlLevel<CSpotLightControl, CDataControl, ClassIndex::CSpotLightControl> {
 public:
  using Vec3 = CVector3<float>;

  // A spot key (version 1.00): FalloffPhiTheta (falloff, phi, theta; 3 x
  // f32), then Range (f32); all 0 by default.
  class CSpotLightKey : public CKeyLevel<CSpotLightKey, CTransitionKey, ClassIndex::CSpotLightKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"FalloffPhiTheta", k.FalloffPhiTheta);
      w.Float(u"Range", k.Range);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    Vec3 FalloffPhiTheta{0.0f, 0.0f, 0.0f};
    f32 Range = 0.0f;
  };
  using SpotTrack = CKeyTrack<CSpotLightKey, TrackCacheCopy::kReset>;

  // Version gates of the record.
  static constexpr u32 kVersionRangeValues = 201;  // plain f32 ranges instead of 16-byte records
  static constexpr u32 kVersionTransitions = 202;  // an array of transition types follows
  static constexpr u32 kVersionKeyList = 203;      // key records
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // No keys; everything evaluated 0.
  CSpotLightControl() = default;
  // Keys copied; the copy's cache starts at 0.
  CSpotLightControl(const CSpotLightControl& other) = default;

  const SpotTrack& GetKeys() const { return keys_; }
  SpotTrack& EditKeys() { return keys_; }
  f32 GetRange() const { return range_; }
  const Vec3& GetFalloffPhiTheta() const { return falloffPhiTheta_; }

  // As CLightControl::SetColorKey for a spot key.
  Result SetKey(i32 time, f32 fps, const Vec3& falloffPhiTheta, f32 range);
  // kErrOutOfRange at or past the end (nothing changed); else erased,
  // marked modified, kOk.
  Result RemoveKey(u32 index);
  // The bulk form: erases every key whose flag in `keep` is false in one
  // compaction, resets the cache and marks modified when keys went.
  // kErrInvalidArg without one flag per key, kDone when every key stays.
  Result RemoveKeys(const std::vector<bool>& keep);

  // Unbound: kErrInvalidArg; bound to something that is not a spot light:
  // kErrNotFound; nothing changes then. Otherwise Range and FalloffPhiTheta
  // become the blend of the keys at `time` (without keys the light's Range
  // and (Falloff, Phi, Theta)); kOk.
  Result Update(i32 time) override;
  // The bound spot light's Range, Falloff, Phi and Theta take Range and
  // the triple in that order; its Modified flag stays as it was.
  // kErrInvalidArg / kErrNotFound as Update, nothing written.
  Result Apply() override;
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override;

  // "CSpotLightControl Member": LastIndex, Range, FalloffPhiTheta, the
  // keys; then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys; the target's cache back to 0.
  Result CopyOwnTo(CSpotLightControl& target) const;

 private:
  SpotTrack keys_;
  f32 range_ = 0.0f;
  Vec3 falloffPhiTheta_{0.0f, 0.0f, 0.0f};
};

}  // namespace KT
