// KT::CVideoTrack: plays one of a list of videos at a time.
//
// The track holds its videos (owned), the index of the one playing
// (CurrentVideo, negative for none), the time it started (ClipStartTime),
// the state of the clip (ClipState), a volume and three flags. The video
// track controller writes CurrentVideo, ClipStartTime, ClipState, Volume,
// Mute and Loop during the data pass; AuxFlag changes only by Load and
// CopyTo. On each update the playing video updates at the time elapsed
// since ClipStartTime.
//
// Record, after the KT::CDorun level (little-endian): version pair 1.00;
// CurrentVideo (i32); ClipState (u32); Volume (f32); Mute, AuxFlag, Loop
// (one byte each, in that order); the videos (u32 count, one 8-byte id
// each, 0 for an empty entry). ClipStartTime is not stored.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"
#include "render/effects/video.h"

namespace KT {

class CVideoTrack : public CDorun {
  KT_DECLARE_CLASS(CVideoTrack)

 public:
  enum ClipStateType : u32 { CS_Waiting = 0, CS_Inside = 1, CS_Ended = 2 };

  CVideoTrack() = default;
  // Every field; the videos are shared (one more reference each).
  CVideoTrack(const CVideoTrack& other) = default;
  ~CVideoTrack() override;

  // Appends `video`: kErrMissingObject (0x80000000) when it is listed
  // already, kErrInvalidArg for null (nothing changed either way); else
  // the track owns it, is marked modified, kOk.
  Result AddVideo(CVideo* video);
  u32 GetVideoCount() const { return static_cast<u32>(videos_.size()); }
  // The video at `index`, null past the end or for an empty entry.
  CVideo* GetVideo(u32 index) const { return index < videos_.size() ? videos_[index].Get() : nullptr; }
  // The length of video `index`: kErrOutOfRange (0x80000004) at or past
  // the video count and kErrNotFound (0x80000005) for an empty entry, with
  // `length` 0; kDone with `length` 0 (the no-time marker) when the video
  // is lost; else its Length and kOk.
  Result GetVideoLength(u32 index, i32& length) const;

  // The base update (a failure is returned); then kDone when CurrentVideo
  // is negative, at or past the end of the list or names an empty entry;
  // else the video updates at time - ClipStartTime (clamped to the i32
  // range): its failure is returned, else kOk.
  Result Update(i32 time) override;

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // A copy of every field with an empty video list.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base clone (kDone or a failure ends it); then each video's clone,
  // in order, added with AddVideo (so entries naming one video stay one).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not a track: kErrNotFound, nothing
  // changed. Else the base part, the fields and the video list (shared;
  // the target's former videos go to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Each entry takes the object of the next stored id; an id of an object
  // that is not a video leaves the entry empty.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // An empty "CVideoTrack Member" group, then the base's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  i32 ClipStartTime = 0;  // not stored
  i32 CurrentVideo = -1;
  u32 ClipState = CS_Waiting;
  f32 Volume = 1.0f;
  bool Mute = false;
  bool Loop = false;
  bool AuxFlag = false;

 private:
  std::vector<CPointer<CVideo>> videos_;
};

// The link of the older records whose stored id names a video where the
// current ones name a track: when the next pending id resolves to a video,
// `slot` becomes a new track holding just that video (owned by `owner`);
// an empty, unknown or foreign id leaves `slot` empty. kErrOutOfMemory
// when the track cannot be made; a video that would hold `owner` is
// refused (kErrNotFound).
Result LinkVideoAsTrack(CStream& stream, CStreamLoadRecord& record, CBase* owner, CPointer<CVideoTrack>& slot);

}  // namespace KT
