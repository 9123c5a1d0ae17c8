// KT::CVideoTrackControl: drives the video track it is bound to. Clip keys
// start one of the track's videos at their time and let it play Loop Count
// times back to back; volume keys give the track's volume (eased) and mute
// state (stepped). Update works out which video is current, since when,
// whether it is waiting, inside its clip or past the end, whether it is
// still within its looped span, and the volume, and writes all of it into
// the track (the scene time as given: neither Frequency nor Repeat
// applies). Apply has nothing left to do.
//
// A clip's end is Time + Loop Count x the video's length, computed in 64
// bits and kept in the i32 range. A Video ID that names no video of the
// track, an empty entry or a lost video counts as length 0.
//
// Record, after the data-controller part (little-endian): version pair
// 1.03; the clip keys (u32 count, 28-byte records: time-key part, pair
// 1.01, Video ID, Loop Count); the volume keys (u32 count, 41-byte
// records: transition-key part, pair 1.01, f32 Volume, u8 Mute). The
// caches are not stored. Older forms:
//   1.00 clip keys hold one u32 after their pair, read and dropped (the
//        key keeps its fill values); 1.00 volume keys hold no Mute;
//   below 1.02 a time array (f32) and a u32 array come first, read and
//        dropped, so no clip keys result;
//   1.01 then holds a second time array (f32), a u32 key count n and n
//        pairs (f32 Volume, u32 TransitionType): n volume keys, strength
//        50. A time array shorter than n: kErrNotFound (0x80000005).
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "render/effects/video_track.h"

namespace KT {

class CVideoTrackControl
    : public CControlLevel<CVideoTrackControl, CDataControl, ClassIndex::CVideoTrackControl> {
 public:
  static constexpr u32 kNoVideo = 0xFFFFFFFFu;

  // A clip key (version 1.01). Default (the fill key): time 0, no video,
  // one play.
  class CVideoClipKey : public CKeyLevel<CVideoClipKey, CTimeKey, ClassIndex::CVideoClipKey> {
   public:
    static constexpr u32 kVersionClipFields = 101;  // Video ID and Loop Count stored
    CVideoClipKey() = default;
    CVideoClipKey(i32 time, u32 videoId, u32 loopCount) : CKeyLevel(time), VideoId(videoId), LoopCount(loopCount) {}
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      if (StoredSince(w, kVersionClipFields)) {
        w.UInt(u"Video ID", k.VideoId);
        w.UInt(u"Loop Count", k.LoopCount);
      } else {
        u32 dropped = 0;
        w.UInt(u"", dropped);
      }
    }
    // "Time", "Video ID", "Loop Count".
    void DescribeMembers(CMemberVisitor& visitor) override;
    u32 VideoId = kNoVideo;
    u32 LoopCount = 1;
  };

  // A volume key (version 1.01). Default: time 0, TT_LINEAR, 50, volume 1,
  // not muted.
  class CTrackVolumeKey : public CKeyLevel<CTrackVolumeKey, CTransitionKey, ClassIndex::CTrackVolumeKey> {
   public:
    static constexpr u32 kVersionMute = 101;  // Mute stored
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"Volume", k.Volume);
      if (StoredSince(w, kVersionMute)) w.Bool(u"Mute", k.Mute);
    }
    // "Time", "Volume", "Mute", "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 Volume = 1.0f;
    bool Mute = false;
  };

  using ClipTrack = CKeyTrack<CVideoClipKey, TrackCacheCopy::kCopy>;
  using VolumeTrack = CKeyTrack<CTrackVolumeKey, TrackCacheCopy::kCopy>;

  static constexpr u32 kVersionKeyLists = 102;     // the two key lists
  static constexpr u32 kVersionVolumePairs = 101;  // volume pairs after the dropped arrays
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // What Update writes into the track.
  struct TrackState {
    i32 ClipStartTime = kZeroTime;
    i32 CurrentVideo = -1;
    u32 ClipState = CVideoTrack::CS_Waiting;
    bool Loop = false;
    f32 Volume = 1.0f;
    bool Mute = false;
  };

  CVideoTrackControl() = default;
  // Both key lists; both caches start at 0.
  CVideoTrackControl(const CVideoTrackControl& other);

  const ClipTrack& GetClipKeys() const { return clipKeys_; }
  ClipTrack& EditClipKeys() { return clipKeys_; }
  const VolumeTrack& GetVolumeKeys() const { return volumeKeys_; }
  VolumeTrack& EditVolumeKeys() { return volumeKeys_; }

  // The state at `time` for `track` (whose videos give the clip lengths):
  //   no clip keys: video -1, waiting, start 0;
  //   before the first key: video 0, waiting, start at the first key;
  //   on or after the key p in effect: p's video from p's time, inside up
  //   to and including p's end; past it, the next key's video waiting for
  //   its time, or after the last key the state past the end;
  //   Loop: p plays more than once and `time` is before p's end;
  //   Volume eased and Mute stepped from the volume keys (1 and false
  //   without them).
  TrackState Evaluate(i32 time, const CVideoTrack& track);
  // The end of clip key `key` on `track` (see above).
  static i32 ClipEnd(const CVideoClipKey& key, const CVideoTrack& track);

  // Inactive: kDone. Unbound: kErrInvalidArg (0x80000003); bound to an
  // object that is not a video track: kErrNotFound (0x80000005); nothing is
  // written then. Otherwise Evaluate's six values go into the track, whose
  // Modified flag stays as it was; kOk.
  Result Update(i32 time) override;
  Result Apply() override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  // The largest of 0, the last clip key's and the last volume key's time.
  i32 GetEndTime() const override;

  // "CVideoTrackControl Member" holding "Video State Key" and "Volume Key",
  // each its LastIndex and keys; then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Video State Key", self.clipKeys_);
    w.Track(u"Volume Key", self.volumeKeys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Both key lists and both caches.
  Result CopyOwnTo(CVideoTrackControl& target) const;

 private:
  ClipTrack clipKeys_;
  VolumeTrack volumeKeys_;
};

}  // namespace KT
