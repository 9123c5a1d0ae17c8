// KT::CMaterialAttributeControl: animates a standard material from three
// independent key tracks: lighting (the three colours and three lighting
// factors), transparency (Opacity, Opfall, SoftThresh) and texture (the
// twelve channel weights). Update evaluates each track at the time as
// given (no frequency or repeat mapping) into the channel block of
// KT::CMaterialDataControl; a track without keys takes the material's
// current values. Apply (of the base) writes the block into the material.
//
// Record, after the KT::CMaterialDataControl level (little-endian):
// version pair 2.03; the light keys (u32 count, 84-byte records), the self
// keys (u32 count, 48-byte records), the texture keys (u32 count, 84-byte
// records). The search caches are not stored. Older levels:
//   below 2.02  each track as columns (u32 count + values): light times
//               (f32), Ambient, Diffuse, Specular (12 bytes each),
//               Shininess, ShineStrength, SelfIllum; self times, Opacity,
//               Opfall, SoftThresh; texture times, weights (48 bytes);
//               from 2.01 the transition types (u32) of the light, self and
//               texture keys follow, below every key is TT_LINEAR. A value
//               column shorter than its time column is refused
//               (kErrNotFound).
//   below 2.03  key times were scaled by Frequency: they are divided by it
//               (truncated) and Frequency becomes 1.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"
#include "render/materials/material_data_control.h"

namespace KT {

class CMaterialAttributeControl
    : public CControlLevel<CMaterialAttributeControl, CMaterialDataControl, ClassIndex::CMaterialAttributeControl> {
 public:
  // A lighting key (version 1.00): Ambient, Diffuse, Specular (3 x f32),
  // Shininess, ShineStrength, SelfIllum (f32). Default: white, factors 0.
  class CMtrlLightKey : public CKeyLevel<CMtrlLightKey, CTransitionKey, ClassIndex::CMtrlLightKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"Ambient", k.Ambient);
      w.Block(u"Diffuse", k.Diffuse);
      w.Block(u"Specular", k.Specular);
      w.Float(u"Shininess", k.Shininess);
      w.Float(u"ShineStrength", k.ShineStrength);
      w.Float(u"SelfIllum", k.SelfIllum);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    Vec3 Ambient{1.0f, 1.0f, 1.0f};
    Vec3 Diffuse{1.0f, 1.0f, 1.0f};
    Vec3 Specular{1.0f, 1.0f, 1.0f};
    f32 Shininess = 0.0f;
    f32 ShineStrength = 0.0f;
    f32 SelfIllum = 0.0f;
  };

  // A transparency key (version 1.00): Opacity, Opfall, SoftThresh.
  class CMtrlSelfKey : public CKeyLevel<CMtrlSelfKey, CTransitionKey, ClassIndex::CMtrlSelfKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"Opacity", k.Opacity);
      w.Float(u"Opfall", k.Opfall);
      w.Float(u"SoftThresh", k.SoftThresh);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 Opacity = 0.0f;
    f32 Opfall = 0.0f;
    f32 SoftThresh = 0.0f;
  };

  // A texture key (version 1.00): the twelve channel weights.
  class CMtrlTextureKey : public CKeyLevel<CMtrlTextureKey, CTransitionKey, ClassIndex::CMtrlTextureKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      for (u32 i = 0; i < CStandardMaterial::kChannelCount; ++i) w.Float(kWeightNames[i], k.Weights[i]);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    std::array<f32, CStandardMaterial::kChannelCount> Weights{};
  };

  using LightTrack = CKeyTrack<CMtrlLightKey, TrackCacheCopy::kReset>;
  using SelfTrack = CKeyTrack<CMtrlSelfKey, TrackCacheCopy::kReset>;
  using TextureTrack = CKeyTrack<CMtrlTextureKey, TrackCacheCopy::kReset>;

  // Version gates of the record.
  static constexpr u32 kVersionTransitions = 201;  // transition columns in the column layout
  static constexpr u32 kVersionKeyRecords = 202;   // key records instead of columns
  static constexpr u32 kVersionUnscaled = 203;     // key times no longer scaled by Frequency
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CMaterialAttributeControl() = default;
  // The channel block and the keys; the caches start at 0.
  CMaterialAttributeControl(const CMaterialAttributeControl& other) = default;

  const LightTrack& GetLightKeys() const { return lightKeys_; }
  const SelfTrack& GetSelfKeys() const { return selfKeys_; }
  const TextureTrack& GetTextureKeys() const { return textureKeys_; }

  // Each puts a key at trunc(time x Frequency) snapped to the nearest frame
  // at `fps`: a key at that time is overwritten, else one is inserted in
  // order. Marks the control modified; kOk, or kErrOutOfMemory (nothing
  // changed).
  Result SetLightKey(i32 time, f32 fps, const Vec3& ambient, const Vec3& diffuse, const Vec3& specular,
                     f32 shininess, f32 shineStrength, f32 selfIllum, u32 transitionType = TT_LINEAR,
                     f32 transitionStrength = 50.0f);
  Result SetSelfKey(i32 time, f32 fps, f32 opacity, f32 opfall, f32 softThresh, u32 transitionType = TT_LINEAR,
                    f32 transitionStrength = 50.0f);
  Result SetTextureKey(i32 time, f32 fps, const Weights& weights, u32 transitionType = TT_LINEAR,
                       f32 transitionStrength = 50.0f);
  // Erase the key at `index` of that track: kErrOutOfRange at or past the
  // end (nothing changed); else marks the control modified, kOk.
  Result RemoveLightKey(u32 index);
  Result RemoveSelfKey(u32 index);
  Result RemoveTextureKey(u32 index);
  // The bulk form: erases every key of the track whose flag in `keep` is false in one
  // compaction, resets the cache and marks modified when keys went.
  // kErrInvalidArg without one flag per key, kDone when every key stays.
  Result RemoveLightKeys(const std::vector<bool>& keep);
  Result RemoveSelfKeys(const std::vector<bool>& keep);
  Result RemoveTextureKeys(const std::vector<bool>& keep);

  // Inactive: kDone. Unbound: kErrInvalidArg; bound to something that is
  // not a standard material: kErrNotFound; nothing evaluated then.
  // Otherwise the channel block takes each track's blend at `time` (the
  // fraction eased by the later key's transition), or the material's
  // values for a track without keys; kOk.
  Result Update(i32 time) override;
  // The larger of 0 and the last key time of each track.
  i32 GetEndTime() const override;

  // "CMaterialAttributeControl Light", "... Self", "... Texture": each the
  // track's cache, then its keys; then the material data controller's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Light Keys", self.lightKeys_);
    w.Track(u"Self Keys", self.selfKeys_);
    w.Track(u"Texture Keys", self.textureKeys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys; the target's caches stay.
  Result CopyOwnTo(CMaterialAttributeControl& target) const;

 private:
  // The column layout of records below kVersionKeyRecords.
  Result LoadColumns(CStream& stream, u32 storedVersion);

  LightTrack lightKeys_;
  SelfTrack selfKeys_;
  TextureTrack textureKeys_;
};

}  // namespace KT
