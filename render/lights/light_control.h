// KT::CLightControl: animates the colour (Rgb) and the intensity
// (Multiplier) of the light it is bound to from two key tracks, one of
// colour keys and one of multiplier keys. Each track is searched from its
// own cache and blended through the transition of the key approached.
//
// Record, after the KT::CLightDataControl level (little-endian): version
// pair 2.04; the colour keys (u32 count, 48-byte CColorKey records); the
// multiplier keys (u32 count, 40-byte CMultiplierKey records). The caches
// are not stored. Older levels:
//   below 2.02  u32 count n + n RGB colours (12 bytes), then the key times
//               as f32 (u32 count + count f32); one key per colour, its
//               time divided by Frequency; below 2.01 each time also less
//               trunc(Weight). No multiplier keys.
//   2.02        the f32 key times, then u32 count n + n (RGB, u32
//               transition type); times divided by Frequency.
//   2.03        u32 count n + n CColorKey_V23 records (52 bytes: colour and
//               multiplier together); each gives one key of each track.
// Records whose times were divided by Frequency end with Frequency 1.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "objectmodel/vector.h"

namespace KT {

class CLightControl : public CControlLevel<CLightControl, CLightDataControl, ClassIndex::CLightControl> {
 public:
  using Vec3 = CVector3<float>;

  // A colour key (version 1.00): Color, 3 x f32. Default (also the key
  // that receives a stored record): time 0, TT_LINEAR, 50, white.
  class CColorKey : public CKeyLevel<CColorKey, CTransitionKey, ClassIndex::CColorKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"Color", k.Color);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    Vec3 Color{1.0f, 1.0f, 1.0f};
  };

  // A multiplier key (version 1.00): Multiplier, f32; default 1.
  class CMultiplierKey : public CKeyLevel<CMultiplierKey, CTransitionKey, ClassIndex::CMultiplierKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"Multiplier", k.Multiplier);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 Multiplier = 1.0f;
  };

  // The key of 2.03 records (version 1.01): Color, then Multiplier (only
  // in keys stored at 1.01 or later). Read only, to be split in two.
  class CColorKey_V23 : public CKeyLevel<CColorKey_V23, CTransitionKey, ClassIndex::CColorKey_V23> {
   public:
    static constexpr u32 kVersionMultiplier = 101;
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"Color", k.Color);
      if (StoredSince(w, kVersionMultiplier)) w.Float(u"Multiplier", k.Multiplier);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    Vec3 Color{1.0f, 1.0f, 1.0f};
    f32 Multiplier = 1.0f;
  };

  using ColorTrack = CKeyTrack<CColorKey, TrackCacheCopy::kCopy>;
  using MultiplierTrack = CKeyTrack<CMultiplierKey, TrackCacheCopy::kCopy>;

  // Version gates of the record.
  static constexpr u32 kVersionWeightOffset = 201;  // below: key times less trunc(Weight)
  static constexpr u32 kVersionTransitions = 202;   // colours with transition types
  static constexpr u32 kVersionCombinedKeys = 203;  // CColorKey_V23 keys
  static constexpr u32 kVersionTwoTracks = 204;     // colour and multiplier tracks
  // Keys are matched against trunc(time x Frequency), without repeat.
  static constexpr TimePolicy kTimePolicy = TimePolicy::kScaled;

  // No keys.
  CLightControl() = default;
  // Keys and caches copied.
  CLightControl(const CLightControl& other) = default;

  const ColorTrack& GetColorKeys() const { return colorKeys_; }
  const MultiplierTrack& GetMultiplierKeys() const { return multiplierKeys_; }
  // The tracks for editing in place (loaders, tools, tests).
  ColorTrack& EditColorKeys() { return colorKeys_; }
  MultiplierTrack& EditMultiplierKeys() { return multiplierKeys_; }

  // Puts a colour key at trunc(time x Frequency) snapped to the nearest
  // frame at `fps`: a key at that time is overwritten, else one is
  // inserted in order; the key has TT_LINEAR at strength 50. Marks the
  // controller modified. kOk, or kErrOutOfMemory (nothing changed).
  Result SetColorKey(i32 time, f32 fps, const Vec3& color);
  // Erases colour key `index`: kErrOutOfRange at or past the end, nothing
  // changed; else marks the controller modified, kOk.
  Result RemoveColorKey(u32 index);
  // The bulk form: erases every key whose flag in `keep` is false in one
  // compaction, resets the cache and marks modified when keys went.
  // kErrInvalidArg without one flag per key, kDone when every key stays.
  Result RemoveColorKeys(const std::vector<bool>& keep);

  // Inactive: kDone, nothing changes. Unbound: kErrInvalidArg; bound to
  // something that is not a light: kErrNotFound. Otherwise RgbData takes
  // the light's Rgb and Multiplier, replaced by the blend of each track
  // that has keys at trunc(time x Frequency) (before the first key the
  // first key's value, after the last the last's); kOk. Apply (of the
  // light data controller) then writes it into the light.
  Result Update(i32 time) override;
  // The larger of 0 and the last key time of each track.
  i32 GetEndTime() const override;

  // "CLightControl Member": ColorLastIndex, the group "Color Keys",
  // MultiplierLastIndex, the group "Multiplier Keys"; then the light data
  // controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Color Keys", self.colorKeys_);
    w.Track(u"Multiplier Keys", self.multiplierKeys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Both tracks with their caches.
  Result CopyOwnTo(CLightControl& target) const;

 private:
  ColorTrack colorKeys_;
  MultiplierTrack multiplierKeys_;
};

}  // namespace KT
