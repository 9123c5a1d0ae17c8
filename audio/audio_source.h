// KT::CAudioSource: a sound emitter in the scene tree. It holds root cues
// (tracks or cues, kept in insertion order and without a Parent), attached
// objects each tagged with a pair of u32 keys, and its own level factors.
//
// Record, after the KT::CSpatial level (little-endian): version pair 2.04;
// the cue count n and n 8-byte ids; Volume, Pitch, Speed (f32);
// VolumeChannel (u32); from 2.01 the attachment count m and m 8-byte ids;
// from 2.02 Mute (one byte); from 2.03 MaxProcess (u32); from 2.04 the key
// count k and k pairs (u32, u32). Records older than 2.04 give every
// attachment the pair (0xFFFFFFFF, 0xFFFFFFFF); newer ones whose key count
// differs from the attachment count have their keys padded with that pair
// or cut at load, so there is always one pair per attachment.
//
// Link refuses (kErrNotFound) a cue reference that is not a cue and any
// reference that would make the source hold itself. A cue that a track of
// the same file also holds keeps that track as its Parent.
#pragma once

#include <vector>

#include "audio/audio_cue_base.h"
#include "scene/spatial.h"

namespace KT {

class CAudioSource : public CSpatial {
  KT_DECLARE_CLASS(CAudioSource)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionAttachments = 201;
  static constexpr u32 kVersionMute = 202;
  static constexpr u32 kVersionMaxProcess = 203;
  static constexpr u32 kVersionKeys = 204;

  // The key pair of an attachment.
  struct CKeyPair {
    u32 first = 0xFFFFFFFFu;
    u32 second = 0xFFFFFFFFu;
    bool operator==(const CKeyPair&) const = default;
  };

  // No cues or attachments; Speed, Volume, Pitch 1.0; Mute false;
  // MaxProcess 1; VolumeChannel 0.
  CAudioSource();
  // The spatial copy and the six factors and settings; no cues, no
  // attachments, no keys.
  CAudioSource(const CAudioSource& other);
  ~CAudioSource() override;

  // --- lists -------------------------------------------------------------------------------
  const std::vector<CPointer<CAudioCueBase>>& GetCues() const { return cues_; }
  const std::vector<CPointer<CBase>>& GetAttachments() const { return attachments_; }
  const std::vector<CKeyPair>& GetAttachmentKeys() const { return keys_; }
  // Appends a root cue. kOk; null: kErrInvalidArg; a cue that has a
  // Parent: kErrNotFound (nothing changes).
  Result AddCue(CAudioCueBase* cue);
  // Appends `object` with the key pair (first, second); null, or the
  // source itself, changes nothing.
  void AddAttachment(CBase* object, u32 first, u32 second);

  // --- fields --------------------------------------------------------------------------------
  f32 GetSpeed() const { return speed_; }
  void SetSpeed(f32 value) { Set(speed_, value); }
  f32 GetVolume() const { return volume_; }
  void SetVolume(f32 value) { Set(volume_, value); }
  f32 GetPitch() const { return pitch_; }
  void SetPitch(f32 value) { Set(pitch_, value); }
  bool GetMute() const { return mute_; }
  void SetMute(bool value) { Set(mute_, value); }
  u32 GetMaxProcess() const { return maxProcess_; }
  void SetMaxProcess(u32 value) { Set(maxProcess_, value); }
  u32 GetVolumeChannel() const { return volumeChannel_; }
  void SetVolumeChannel(u32 value) { Set(volumeChannel_, value); }

  // --- spatial protocol ------------------------------------------------------------------------
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // An emitter has no extent: kOk without a bound.
  Result UpdateWorldBound() override;

  // --- CBase protocol ----------------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Clones of the cues (added with AddCue, refusals ignored) and of the
  // attachments with their key pairs.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a source (else kErrNotFound, nothing changes): the
  // spatial part, the six fields and the keys are copied; the target shares
  // this source's cues and attachments, its former ones go to `displaced`.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Each cue, then each attachment, as owned; then the spatial's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 private:
  template <typename T>
  void Set(T& field, T value) {
    field = value;
    SetModified();
  }

  std::vector<CPointer<CAudioCueBase>> cues_;
  std::vector<CPointer<CBase>> attachments_;
  std::vector<CKeyPair> keys_;
  f32 speed_ = 1.0f;
  f32 volume_ = 1.0f;
  f32 pitch_ = 1.0f;
  bool mute_ = false;
  u32 maxProcess_ = 1;
  u32 volumeChannel_ = 0;
  // References queued by Load for Link.
  u32 queuedCues_ = 0;
  u32 queuedAttachments_ = 0;
};

}  // namespace KT
