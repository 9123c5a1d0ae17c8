// KT::CMaterialUVControl: animates the texture-coordinate placement of a
// standard material. Six texture channels each have a track of UV keys
// (translation, scale, rotation); every update writes the evaluated values
// into the material's TexUvTranslate, TexUvScale and TexUvRotate of that
// channel.
//
// Tracks and the channels they serve: Diffuse 1, Specular 2, Opacity 6,
// Bump 8, Glow 4, DiffuseBlend 7. Any other channel number names the
// Diffuse track (SetUvKey with 0, 3, 5, 9, 10 or 11 lands there).
//
// Evaluation of a track at the mapped time (MapTime over GetEndTime): the
// keys around the time; a TT_STEP on the earlier key holds its values up to
// the later key, otherwise the fraction is eased by the later key's
// transition and each component is blended. A track without keys leaves
// the material's values as they are.
//
// Record, after the data-controller part (little-endian): version pair
// 2.05, then the six tracks in the order Diffuse, Specular, Opacity, Bump,
// Glow, DiffuseBlend, each a u32 count and 56-byte key records. The search
// caches are not stored. Older records keep each channel as a time list and
// a list of 16-byte UV records {translate u, v, scale u, v}:
//   below 2.05  five groups (Diffuse .. Glow), each times then UV records;
//   below 2.04  the times are f32 (truncated toward zero), else i32;
//   below 2.01  one more pair (f32 times, UV records) follows, read and
//               dropped, and each stored translation T with scale S means
//               the translation -(T x S);
//   from 2.02   a DiffuseBlend group follows;
//   from 2.03   six lists of u32 transition types follow (track order);
//               before, every key is a step.
// The keys are then set through SetUvKey at 60 frames per second (their
// times snap to that grid). A UV or type list shorter than its times does
// not describe whole keys: kErrNotFound (0x80000005).
#pragma once

#include <array>

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "objectmodel/vector.h"

namespace KT {

class CStandardMaterial;

// A two-float key field is reported as a 2-D point.
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CVector2& value);

class CMaterialUVControl
    : public CControlLevel<CMaterialUVControl, CDataControl, ClassIndex::CMaterialUVControl> {
 public:
  // A UV key (version 1.01; Rotate stored from 1.01 on, older keys keep 0).
  // 56 bytes: the transition-key record, the pair, Translate, Scale (2 x
  // f32 each) and Rotate (f32).
  class CMtrlUvKey : public CKeyLevel<CMtrlUvKey, CTransitionKey, ClassIndex::CMtrlUvKey> {
   public:
    static constexpr u32 kVersionRotate = 101;

    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"Translate", k.Translate);
      w.Block(u"Scale", k.Scale);
      if (StoredSince(w, kVersionRotate)) w.Float(u"Rotate", k.Rotate);
    }
    // "Time", "Translate", "Scale", "Rotate", "TransitionType",
    // "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;

    CVector2 Translate{0.0f, 0.0f};
    CVector2 Scale{1.0f, 1.0f};
    f32 Rotate = 0.0f;
  };

  // Copies (CreateInstance and CopyTo) take the search caches along.
  using UvTrack = CKeyTrack<CMtrlUvKey, TrackCacheCopy::kCopy>;

  enum Track : u32 { kDiffuse = 0, kSpecular, kOpacity, kBump, kGlow, kDiffuseBlend, kTrackCount };

  // Version gates of the record.
  static constexpr u32 kVersionNoDroppedPair = 201;  // no dropped pair; translations stored as they apply
  static constexpr u32 kVersionDiffuseBlend = 202;   // the DiffuseBlend group
  static constexpr u32 kVersionTransitions = 203;    // transition-type lists
  static constexpr u32 kVersionIntTimes = 204;       // i32 times in the list layout
  static constexpr u32 kVersionKeyRecords = 205;     // key records instead of lists
  // The frame rate the keys of the list layout are snapped to.
  static constexpr f32 kLegacyFramesPerSecond = 60.0f;
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  CMaterialUVControl() = default;
  // Keys and caches.
  CMaterialUVControl(const CMaterialUVControl& other) = default;

  // The track a texture channel animates (see above).
  static Track TrackOfChannel(u32 channel);
  // The texture channel a track writes.
  static u32 ChannelOfTrack(Track track);

  const UvTrack& GetTrack(Track track) const { return tracks_[track]; }
  const UvTrack& GetChannelKeys(u32 channel) const { return tracks_[TrackOfChannel(channel)]; }

  // Puts `key` into the track of `channel` with its Time snapped to the
  // nearest frame at `fps`: a key at that time is overwritten whole, else
  // the key goes before the first later key (or at the end). Marks the
  // control modified; kOk (kErrOutOfMemory when the track cannot grow,
  // nothing changed).
  Result SetUvKey(u32 channel, const CMtrlUvKey& key, f32 fps);

  // Inactive: kDone. Unbound: kErrInvalidArg; bound to anything but a
  // standard material: kErrNotFound; nothing is written then. Otherwise,
  // channel by channel in the order 1, 2, 6, 8, 4, 7, the material's
  // translation, scale and rotation are read, evaluated by the channel's
  // track and written back through its setters; the material's Modified
  // flag is then put back as it was and the material is invalidated. kOk.
  Result Update(i32 time) override;
  // The values are written in Update: kDone.
  Result Apply() override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  // The largest of 0 and each track's last key time.
  i32 GetEndTime() const override;

  // "CMaterialUVControl Member": per track its cache ("DiffuseLastIndex",
  // ..., "GlowLastStickyIndex", ...) and its keys ("Diffuse Keys", ...);
  // then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    for (u32 i = 0; i < kTrackCount; ++i) w.Track(kKeysNames[i], self.tracks_[i]);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys and the caches.
  Result CopyOwnTo(CMaterialUVControl& target) const;

  static const char16_t* const kKeysNames[kTrackCount];
  static const char16_t* const kLastIndexNames[kTrackCount];

 private:
  // SetUvKey without marking the controller modified (loading is not an
  // edit).
  Result PutUvKey(u32 channel, const CMtrlUvKey& key, f32 fps);
  // The list layout of records below kVersionKeyRecords.
  Result LoadLists(CStream& stream, u32 storedVersion);
  // Evaluates `track` at the local time `t` into the three values.
  static void EvaluateTrack(UvTrack& track, i32 t, CVector2& translate, CVector2& scale, f32& rotate);

  std::array<UvTrack, kTrackCount> tracks_;
};

}  // namespace KT
