// KT::CVideoControl: animates the video it is bound to. Stepped state keys
// say when the video plays, pauses or stops; eased volume keys give its
// volume. Update writes the play state and volume in effect into the video
// (the scene time as given: neither Frequency nor Repeat applies); a list
// without keys keeps the video's own value for its field. Apply has
// nothing left to do.
//
// Record, after the data-controller part (little-endian): version pair
// 1.02; the state keys (u32 count, 24-byte records: time-key part, pair
// 1.00, u32 PlayStates); the volume keys (u32 count, 40-byte records:
// transition-key part, pair 1.00, f32 Volume). The caches are not stored.
// Older forms:
//   below 1.02 a time array (f32) and a play-state array (u32): one state
//        key per time; a state array shorter than the times: kErrNotFound
//        (0x80000005);
//   1.01 then holds a second time array (f32), a u32 key count n and n
//        pairs (f32 Volume, u32 TransitionType): n volume keys, strength
//        50; a time array shorter than n: kErrNotFound.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "render/effects/video.h"

namespace KT {

// "PS_Playing", "PS_Paused", "PS_Stopped", indexed by value.
extern const char16_t* const kPlayStateNames[3];

class CVideoControl : public CControlLevel<CVideoControl, CDataControl, ClassIndex::CVideoControl> {
 public:
  // A play-state key (version 1.00). Default: time 0, PS_Playing.
  class CVideoStateKey : public CKeyLevel<CVideoStateKey, CTimeKey, ClassIndex::CVideoStateKey> {
   public:
    CVideoStateKey() = default;
    CVideoStateKey(i32 time, u32 state) : CKeyLevel(time), PlayStates(state) {}
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Enum(u"PlayStates", k.PlayStates, kPlayStateNames, 3);
    }
    // "Time", "PlayStates".
    void DescribeMembers(CMemberVisitor& visitor) override;
    u32 PlayStates = CVideo::PS_Playing;
  };

  // A volume key (version 1.00). Default: time 0, TT_LINEAR, 50, volume 0.
  class CVideoVolumeKey : public CKeyLevel<CVideoVolumeKey, CTransitionKey, ClassIndex::CVideoVolumeKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"Volume", k.Volume);
    }
    // "Time", "Volume", "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 Volume = 0.0f;
  };

  using StateTrack = CKeyTrack<CVideoStateKey, TrackCacheCopy::kCopy>;
  using VolumeTrack = CKeyTrack<CVideoVolumeKey, TrackCacheCopy::kCopy>;

  static constexpr u32 kVersionKeyLists = 102;     // the two key lists
  static constexpr u32 kVersionVolumePairs = 101;  // volume pairs after the state arrays
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CVideoControl() = default;
  // Both key lists; both caches start at 0.
  CVideoControl(const CVideoControl& other);

  const StateTrack& GetStateKeys() const { return stateKeys_; }
  StateTrack& EditStateKeys() { return stateKeys_; }
  const VolumeTrack& GetVolumeKeys() const { return volumeKeys_; }
  VolumeTrack& EditVolumeKeys() { return volumeKeys_; }

  // Inactive: kDone. Unbound: kErrInvalidArg (0x80000003); bound to an
  // object that is not a video: kErrNotFound (0x80000005). Both lists
  // empty: kDone. Nothing is written in these cases. Otherwise the video's
  // PlayState becomes that of the last state key at or before `time` (the
  // first key's before it) and its Volume the eased volume at `time`,
  // each its own value when its list is empty; the video's Modified flag
  // stays as it was; kOk.
  Result Update(i32 time) override;
  Result Apply() override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  // The largest of 0, the last state key's and the last volume key's time.
  i32 GetEndTime() const override;

  // "CVideoControl Member" holding "PlayState" and "Volume", each its
  // LastIndex and keys; then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Video State Key", self.stateKeys_);
    w.Track(u"Volume Key", self.volumeKeys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Both key lists and both caches.
  Result CopyOwnTo(CVideoControl& target) const;

 private:
  StateTrack stateKeys_;
  VolumeTrack volumeKeys_;
};

}  // namespace KT
