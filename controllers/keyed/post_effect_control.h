// KT::CPostEffectControl: animates the variables of the post effect it is
// bound to. It holds one track of four-float keys per variable, in the
// effect's variable order; Update writes the eased value of every track
// that has keys into its variable (the scene time as given: neither
// Frequency nor Repeat applies). Apply has nothing left to do.
//
// Record, after the data-controller part (little-endian): version pair
// 1.01; the track count (u32); each track's keys (u32 count, 52-byte
// CVarKey records: the transition-key part, pair 1.00, four f32). The
// caches are not stored. Version 1.00 records hold each track as a u32 key
// count and 28-byte keys without version pairs: i32 Time, u32
// TransitionType, f32 TransitionStrength, four f32.
#pragma once

#include <vector>

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "render/effects/post_effect.h"

namespace KT {

class CPostEffectControl
    : public CControlLevel<CPostEffectControl, CDataControl, ClassIndex::CPostEffectControl> {
 public:
  using Float4 = CPostEffect::Float4;

  // A variable key (version 1.00): afData, the variable's four floats.
  // Default (also the key that receives a stored record): time 0,
  // TT_LINEAR, 50, (0, 0, 0, 0).
  class CVarKey : public CKeyLevel<CVarKey, CTransitionKey, ClassIndex::CVarKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"afData", k.afData);
    }
    // "Time", "afData", "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;
    Float4 afData{};
  };

  using VarTrack = CKeyTrack<CVarKey, TrackCacheCopy::kCopy>;

  // The ordered tracks as one stored field: u32 count, then each track's
  // key list. A count the bytes left cannot hold (4 bytes a track at
  // least) answers kErrStream before anything is allocated.
  class CTrackList {
   public:
    std::vector<VarTrack>& Tracks() { return tracks_; }
    const std::vector<VarTrack>& Tracks() const { return tracks_; }
    Result Write(CStream& stream) const;
    // Resizes to the stored count (new tracks empty, surplus tracks
    // dropped), then reads every track.
    Result Read(CStream& stream);
    // The same count, then each track read by `readTrack`.
    template <typename ReadTrack>
    Result ReadWith(CStream& stream, ReadTrack readTrack);
    u32 GetSaveSize() const;
    // Under `name`, one element per track: an open entry, its keys, the
    // closing entry.
    void DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const;
    u32 GetMemorySize() const;
    // Keys hold no references.
    void Link(CStream&) {}
    void Remap(const CloneMap&) {}
    void ResolveByName(CBase*) {}

   private:
    std::vector<VarTrack> tracks_;
  };

  static constexpr u32 kVersionKeyRecords = 101;  // key records with version pairs
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CPostEffectControl() = default;
  // Every track with its keys and cache.
  CPostEffectControl(const CPostEffectControl& other) = default;

  const std::vector<VarTrack>& GetTracks() const { return tracks_.Tracks(); }
  // The tracks for editing in place (loaders, tools, tests).
  std::vector<VarTrack>& EditTracks() { return tracks_.Tracks(); }

  // Inactive: kDone. Unbound: kErrInvalidArg (0x80000003); bound to an
  // object that is not a post effect, or with a track count other than its
  // variable count: kErrNotFound (0x80000005); nothing is written then.
  // Otherwise every track with keys sets its variable to the eased value
  // at `time` (the first key's before it, the last key's after it); the
  // effect's Modified flag stays as it was. kOk.
  Result Update(i32 time) override;
  // Update writes: kDone.
  Result Apply() override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  // The largest last-key time over the tracks, never below 0.
  i32 GetEndTime() const override;

  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"VarTracks", self.tracks_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The tracks with their keys and caches.
  Result CopyOwnTo(CPostEffectControl& target) const;

 private:
  CTrackList tracks_;
};

}  // namespace KT
