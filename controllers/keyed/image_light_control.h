// KT::CImageLightControl: animates the image light it is bound to. One key
// list switches the light on and off (stepped: exactly at a key's time)
// and fades its Strength (eased by the later key's transition). Update
// writes both into the light (the scene time as given: neither Frequency
// nor Repeat applies); without keys the light keeps its own values. Apply
// has nothing left to do.
//
// Record, after the data-controller part (little-endian): version pair
// 1.01; the keys (u32 count, 41-byte CIblKey records: transition-key
// part, pair 1.00, u8 Active, f32 Strength). The cache is not stored.
// Version 1.00 records hold a time array (f32), a u32 key count n, n
// pairs (u8 Active, f32 Strength) and a u32 array of transition types:
// n keys, strength 50. A time or type array shorter than n: kErrNotFound
// (0x80000005).
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "render/effects/image_light.h"

namespace KT {

class CImageLightControl
    : public CControlLevel<CImageLightControl, CDataControl, ClassIndex::CImageLightControl> {
 public:
  // A light key (version 1.00). Default: time 0, TT_LINEAR, 50, off,
  // strength 0.
  class CIblKey : public CKeyLevel<CIblKey, CTransitionKey, ClassIndex::CIblKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Bool(u"Active", k.Active);
      w.Float(u"Strength", k.Strength);
    }
    // "Time", "Active", "Strength", "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;
    bool Active = false;
    f32 Strength = 0.0f;
  };

  using IblTrack = CKeyTrack<CIblKey, TrackCacheCopy::kCopy>;

  static constexpr u32 kVersionParallelArrays = 100;  // the one form without key records
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CImageLightControl() = default;
  // The keys and the cache.
  CImageLightControl(const CImageLightControl& other) = default;

  const IblTrack& GetKeys() const { return keys_; }
  IblTrack& EditKeys() { return keys_; }

  // Inactive: kDone. Unbound: kErrInvalidArg (0x80000003); bound to an
  // object that is not an image light: kErrNotFound (0x80000005); nothing
  // is written then. Otherwise the light's Active flag and Strength take
  // the keys' values at `time` (the first key's before it, the last key's
  // after it; its own without keys); its other flags and its Modified flag
  // stay as they were; kOk.
  Result Update(i32 time) override;
  Result Apply() override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override;

  // "CImageLightControl Member": "LastIndex", then the keys; then the data
  // controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"IblKeys", self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys and the cache.
  Result CopyOwnTo(CImageLightControl& target) const;

 private:
  IblTrack keys_;
};

}  // namespace KT
