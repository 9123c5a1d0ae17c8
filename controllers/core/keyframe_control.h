// KT::CKeyframeControl: the transform controller that animates a spatial
// from a track of RTS keys (time, easing, a full KT::CRtsTransform) and a
// second track of sticky keys that switch the sticky (foot-lock) flag on
// and off.
//
// Evaluation: the global time is mapped to local time (repeat mode and
// Frequency; key times are local times in ms), both tracks are searched from
// their caches, and the two RTS keys around the time are blended by the
// fraction eased with the later key's transition, each part of the
// transform in its own way (InterpolateRts). Before the first key and after
// the last the end key's transform stands. Without RTS keys the SlaveMode
// of KT::CRTSControl supplies the transform.
//
// Records (after the CRTSControl part): version pair 3.00, the RTS keys
// (u32 count, 96-byte CRtsKey records), the sticky keys (u32 count, 21-byte
// CStickyKey records). Parts before 3.00 hold parallel arrays of values and
// float times, read by the legacy loader in the source.
#pragma once

#include <vector>

#include "controllers/core/key_track.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/time_key.h"

namespace KT {

// The blend of two transforms at weight f (0 gives a, 1 gives b):
//   Sign      s = a.Sign + (b.Sign - a.Sign) f, reduced to +1 (s >= 0) or -1;
//   Scale     (a.Scale + (b.Scale - a.Scale) f) x |s|, each step in f32;
//   Stretch, Rotate  spherical (QuaternionSlerp);
//   Translate linear.
CRtsTransform InterpolateRts(const CRtsTransform& a, const CRtsTransform& b, f32 f);

class CKeyframeControl : public CRTSControl {
  KT_DECLARE_CLASS(CKeyframeControl)

 public:
  // A key of the RTS track. Record (96 bytes): the CTransitionKey part,
  // version pair 1.00, the transform as fifteen f32 (Sign, Scale x3,
  // Stretch x4, Rotate x4, Translate x3). Default: time 0, TT_LINEAR,
  // strength 50, the identity transform.
  class CRtsKey : public CKeyLevel<CRtsKey, CTransitionKey, ClassIndex::CRtsKey> {
   public:
    CRtsKey() = default;
    CRtsKey(i32 time, const CRtsTransform& value, u32 transitionType = TT_LINEAR,
            f32 transitionStrength = kDefaultTransitionStrength)
        : CKeyLevel(time, transitionType, transitionStrength), Value(value) {}

    template <typename Walker, typename Key>
    static void Fields(Walker& walker, Key& key) {
      walker.Block(u"Rts", key.Value);
    }
    // Reports Time, "Sign", "Scale", "Stretch", "Rotate" and "Translate".
    void DescribeMembers(CMemberVisitor& visitor) override;

    CRtsTransform Value = kIdentityTransform;
  };

  // A key of the sticky track: from its time on the sticky flag is Enable.
  // Record (21 bytes): the CTimeKey part, version pair 1.00, Enable (one
  // byte; non-zero reads as true).
  class CStickyKey : public CKeyLevel<CStickyKey, CTimeKey, ClassIndex::CStickyKey> {
   public:
    CStickyKey() = default;
    CStickyKey(i32 time, bool enable) : CKeyLevel(time), Enable(enable) {}

    template <typename Walker, typename Key>
    static void Fields(Walker& walker, Key& key) {
      walker.Bool(u"Enable", key.Enable);
    }
    // Reports Time and "Enable".
    void DescribeMembers(CMemberVisitor& visitor) override;

    bool Enable = false;
  };

  // Version gates of the record. Before 3.00 the keys were parallel arrays.
  static constexpr u32 kVersionKeyLists = 300;
  static constexpr u32 kVersionBlockAndOffset = 200;  // up to here: a leading block, a time offset, a tail word
  static constexpr u32 kVersionTwoDroppedArrays = 202;  // this version alone: two arrays, both dropped
  static constexpr u32 kVersionTransitionTypes = 203;   // transition types stored from here on
  static constexpr u32 kVersionFrequencyBaked = 204;    // times stored unscaled by Frequency from here on
  static constexpr u32 kVersionRotationXyzw = 205;      // rotations stored x, y, z, w from here on
  static constexpr u32 kVersionStretch = 206;           // stretch quaternions stored from here on
  static constexpr u32 kVersionSign = 207;              // signs stored from here on

  CKeyframeControl() = default;
  // Copies the CRTSControl part, both tracks and both caches.
  CKeyframeControl(const CKeyframeControl& other);
  ~CKeyframeControl() override;

  // --- tracks --------------------------------------------------------------------
  const std::vector<CRtsKey>& GetRtsKeys() const { return rts_.Keys(); }
  const std::vector<CStickyKey>& GetStickyKeys() const { return sticky_.Keys(); }
  u32 GetLastIndex() const { return rts_.GetLastIndex(); }
  u32 GetLastStickyIndex() const { return sticky_.GetLastIndex(); }

  // Adds a key at `time` snapped to the nearest whole frame at `fps`
  // (SnapTimeToFrame; not scaled by Frequency). A key already at that time
  // is overwritten (time, transition, transform); otherwise the key is
  // inserted before the first later key. Marks modified; kOk
  // (kErrOutOfMemory when the track cannot grow).
  Result AddRtsKey(i32 time, f32 fps, const CRtsTransform& transform, u32 transitionType = TT_LINEAR,
                   f32 transitionStrength = kDefaultTransitionStrength);
  // Replaces the transform of key `index`; kErrOutOfRange past the end (no
  // change). Marks modified.
  Result SetRtsKeyValue(u32 index, const CRtsTransform& transform);
  // Erases key `index`; kErrOutOfRange past the end (no change). Marks
  // modified.
  Result RemoveRtsKey(u32 index);
  // Erases every RTS key whose flag in `keep` is false in one compaction and
  // resets the track's cache; marks modified when keys went. kErrInvalidArg
  // without one flag per key, kDone when every key stays (no change).
  Result RemoveRtsKeys(const std::vector<bool>& keep);
  // Erases every RTS key; marks modified.
  Result ClearRtsKeys();
  // Replaces the RTS track by a copy of `keys` (expected ascending, without
  // two keys at one time); marks modified. kErrOutOfMemory leaves the track
  // as it was.
  Result SetRtsKeys(const std::vector<CRtsKey>& keys);
  // The same for the sticky track.
  Result SetStickyKeys(const std::vector<CStickyKey>& keys);

  // --- keyframe-controller protocol ---------------------------------------------------
  // The transform of the RTS track at a local time: the identity without
  // keys; the first or last key's transform before or after the track;
  // else the two keys around the time blended by InterpolateRts at the
  // fraction eased by the later key. Moves the track's cache. kOk.
  virtual Result EvaluateRts(i32 time, CRtsTransform& out);
  // Folds Frequency into the RTS key times: each becomes
  // trunc(f32(Time) / Frequency), then Frequency = 1.0 (also without keys).
  // Sticky key times stay. The Modified flag is not touched. kOk; a
  // Frequency that is not a finite number above 0 cannot be folded into
  // times: kErrInvalidArg, nothing changed.
  virtual Result BakeFrequency();
  // Adds `offset` to the translation of every RTS key and marks modified;
  // kDone without keys.
  virtual Result OffsetTranslation(const CVector3<float>& offset);
  // Post-multiplies every RTS key's matrix by the matrix of `transform` and
  // decomposes the product back into the key; marks modified. kDone
  // without keys.
  virtual Result TransformKeys(const CRtsTransform& transform);

  // --- controller protocol ----------------------------------------------------------------
  // Time of the last RTS key; 0 without keys.
  i32 GetEndTime() const override;
  // Inactive: kDone. Unbound: kErrInvalidArg; bound to an object that is
  // not a spatial: kErrNotFound; nothing is evaluated then. Otherwise maps
  // the time, sets Local from the RTS track (or from SlaveMode without
  // keys), derives the world quantities, composes them with the spatial's
  // parent, and evaluates the sticky range: Enable false before the first
  // sticky key (Start and End kept); else Enable, Start = the time of the
  // sticky key at or before the time, End = the time of the first later key
  // whose Enable differs (the largest key time when none does). kOk.
  Result UpdateTransform(i32 time) override;

  // --- root protocol ---------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory when it cannot be
  // allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The CRTSControl part, both tracks and caches, into a keyframe
  // controller (else kErrNotFound, nothing changed).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Every stored version. Counts are checked against the bytes left before
  // anything is allocated (kErrStream). Parts before 3.00 whose value arrays
  // are shorter than their time arrays answer kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 protected:
  // The sticky range at a local time (see UpdateTransform).
  void EvaluateSticky(i32 time);
  // The bracketing search of the RTS track that EvaluateRts runs (from the
  // track's cache, which it moves), weighted by the later key's transition:
  // for evaluations that replace EvaluateRts but keep its key search.
  // kKeySearchNone without keys (`out` unchanged).
  i32 BracketRtsKeys(i32 time, KeyBracket& out) { return rts_.Bracket(time, BlendRule::kLaterKey, out); }

 private:
  Result LoadLegacyTracks(CStream& stream, i32 version);

  // Copies (construction and CopyTo) take the caches with the keys.
  CKeyTrack<CRtsKey, TrackCacheCopy::kCopy> rts_;
  CKeyTrack<CStickyKey, TrackCacheCopy::kCopy> sticky_;
};

}  // namespace KT
