// KT::CHDRControl: animates the HDR settings of the object it is bound to
// (one that offers KT::IHdrSettingsOwner: the scene settings). Each key
// holds a complete set of settings; Update writes the set in effect (the
// scene time as given: neither Frequency nor Repeat applies): the two
// switches and the glare type step from key to key, the six floats are
// eased by the later key's transition. Without keys the object's own
// settings go back unchanged. Apply has nothing left to do.
//
// Record, after the data-controller part (little-endian): version pair
// 1.01; the keys (u32 count, 66-byte CHdrKey records: transition-key part,
// pair 1.00, then u8 HDREnable, f32 BrightThreshold, f32 BloomScale, u8
// ToneEnable, f32 GaussianScalar, f32 Exposure, f32 AdaptSpeed, u32
// GlareType, f32 GlareScale). The cache is not stored. Version 1.00
// records hold a time array (f32), a u32 key count n, n 30-byte settings
// records (the nine fields as above) and a u32 array of transition types:
// n keys, strength 50. A time or type array shorter than n: kErrNotFound
// (0x80000005).
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "render/effects/hdr_settings.h"

namespace KT {

class CHDRControl : public CControlLevel<CHDRControl, CDataControl, ClassIndex::CHDRControl> {
 public:
  // A settings key (version 1.00). Default: time 0, TT_LINEAR, 50, both
  // switches off, every float 0, GT_Disable.
  class CHdrKey : public CKeyLevel<CHdrKey, CTransitionKey, ClassIndex::CHdrKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Bool(u"HDREnable", k.HDREnable);
      w.Float(u"BrightThreshold", k.BrightThreshold);
      w.Float(u"BloomScale", k.BloomScale);
      w.Bool(u"ToneEnable", k.ToneEnable);
      w.Float(u"GaussianScalar", k.GaussianScalar);
      w.Float(u"Exposure", k.Exposure);
      w.Float(u"AdaptSpeed", k.AdaptSpeed);
      w.Enum(u"GlareType", k.GlareType, kGlareTypeNames, kGlareTypeCount);
      w.Float(u"GlareScale", k.GlareScale);
    }
    // "Time", the nine settings, "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;
    // The key's settings as the object holds them.
    CHdrSettings ToSettings() const;

    bool HDREnable = false;
    f32 BrightThreshold = 0.0f;
    f32 BloomScale = 0.0f;
    bool ToneEnable = false;
    f32 GaussianScalar = 0.0f;
    f32 Exposure = 0.0f;
    f32 AdaptSpeed = 0.0f;
    u32 GlareType = GT_Disable;
    f32 GlareScale = 0.0f;
  };

  using HdrTrack = CKeyTrack<CHdrKey, TrackCacheCopy::kCopy>;

  static constexpr u32 kVersionParallelArrays = 100;  // the one form without key records
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CHDRControl() = default;
  // The keys and the cache.
  CHDRControl(const CHDRControl& other) = default;

  const HdrTrack& GetKeys() const { return keys_; }
  HdrTrack& EditKeys() { return keys_; }

  // The settings at `time` starting from `current`: unchanged without
  // keys; else the switches and glare type of the key in effect (the first
  // key's before it) and the floats eased between the keys around `time`.
  CHdrSettings Evaluate(i32 time, const CHdrSettings& current);

  // Inactive: kDone. Unbound: kErrInvalidArg (0x80000003); bound to an
  // object that does not offer IHdrSettingsOwner: kErrNotFound
  // (0x80000005); nothing is written then. Otherwise the object's settings
  // become Evaluate's, its Modified flag staying as it was; kOk.
  Result Update(i32 time) override;
  Result Apply() override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override;

  // "CHDRControl Member": "LastIndex", then the keys as "CHdrKey"; then
  // the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"CHdrKey", self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys and the cache.
  Result CopyOwnTo(CHDRControl& target) const;

 private:
  HdrTrack keys_;
};

}  // namespace KT
