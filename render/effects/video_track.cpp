#include "render/effects/video_track.h"

#include <algorithm>
#include <limits>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "render/materials/material_base.h"

namespace KT {

CVideoTrack::~CVideoTrack() { videos_.clear(); }

Result CVideoTrack::AddVideo(CVideo* video) {
  if (video == nullptr) return kErrInvalidArg;
  for (const CPointer<CVideo>& listed : videos_) {
    if (listed.Get() == video) return kErrMissingObject;
  }
  try {
    videos_.emplace_back(video);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CVideoTrack::GetVideoLength(u32 index, i32& length) const {
  length = 0;
  if (index >= videos_.size()) return kErrOutOfRange;
  const CVideo* video = videos_[index].Get();
  if (video == nullptr) return kErrNotFound;
  if (video->LostVideo) return kDone;
  length = video->Length;
  return kOk;
}

Result CVideoTrack::Update(i32 time) {
  const Result r = CDorun::Update(time);
  if (Failed(r)) return r;
  if (CurrentVideo < 0 || static_cast<u32>(CurrentVideo) >= videos_.size()) return kDone;
  CVideo* video = videos_[static_cast<u32>(CurrentVideo)].Get();
  if (video == nullptr) return kDone;
  // Far-apart times must not overflow the difference.
  const i64 elapsed = static_cast<i64>(time) - ClipStartTime;
  const i64 clamped = std::clamp<i64>(elapsed, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max());
  const Result played = video->Update(static_cast<i32>(clamped));
  return Failed(played) ? played : kOk;
}

CBase* CVideoTrack::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find(RefList(videos_), name, record, includeDerived, onlyMarked);
}

void CVideoTrack::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect(RefList(videos_), out, name, record, includeDerived, onlyMarked);
}

bool CVideoTrack::UpdateMarked(const ObjectSet& set) {
  const bool own = CDorun::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked(RefList(videos_), set) || own;
  SetMarked(marked);
  return marked;
}

void CVideoTrack::ClearMarked() {
  CDorun::ClearMarked();
  owned_refs::ClearMarked(RefList(videos_));
}

Result CVideoTrack::CreateInstance(CPointer<CBase>& out) const {
  const Result r = CreateCopy(*this, out);
  if (Succeeded(r)) static_cast<CVideoTrack*>(out.Get())->videos_.clear();
  return r;
}

Result CVideoTrack::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CVideoTrack*>(out.Get());
  for (const CPointer<CVideo>& video : videos_) {
    if (!video) continue;
    CPointer<CVideo> clone;
    const Result c = CloneMember(clone, cloneMap, video.Get(), flags);
    if (Failed(c)) return c;
    const Result added = copy->AddVideo(clone.Get());
    if (Failed(added) && added != kErrMissingObject) return added;
  }
  return kOk;
}

Result CVideoTrack::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CVideoTrack* other = DynamicCast<CVideoTrack>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->ClipStartTime = ClipStartTime;
  other->CurrentVideo = CurrentVideo;
  other->ClipState = ClipState;
  other->Volume = Volume;
  other->Mute = Mute;
  other->Loop = Loop;
  other->AuxFlag = AuxFlag;
  return AssignPointerVectorMember(displaced, videos_, other->videos_);
}

Result CVideoTrack::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, CurrentVideo);
  if (Succeeded(r)) r = ReadU32(stream, ClipState);
  if (Succeeded(r)) r = ReadU32(stream, Volume);
  if (Succeeded(r)) r = ReadBool(stream, Mute);
  if (Succeeded(r)) r = ReadBool(stream, AuxFlag);
  if (Succeeded(r)) r = ReadBool(stream, Loop);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, videos_);
  return r;
}

Result CVideoTrack::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  for (CPointer<CVideo>& slot : videos_) {
    const Result linked = LinkOwnedPointer(stream, record, this, slot, ForeignObject::kLeaveEmpty);
    if (Failed(linked)) return linked;
  }
  return kOk;
}

Result CVideoTrack::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave(RefList(videos_), stream, flags);
}

Result CVideoTrack::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteI32(stream, CurrentVideo);
  if (Succeeded(r)) r = WriteU32(stream, ClipState);
  if (Succeeded(r)) r = WriteFloat(stream, Volume);
  // The flags are stored in this order, not in the order of the fields.
  if (Succeeded(r)) r = WriteBool(stream, Mute);
  if (Succeeded(r)) r = WriteBool(stream, AuxFlag);
  if (Succeeded(r)) r = WriteBool(stream, Loop);
  if (Succeeded(r)) r = WriteReferenceVector(stream, videos_);
  return r;
}

void CVideoTrack::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CVideoTrack Member");
  visitor.OpenGroup();
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

void CVideoTrack::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences(RefList(videos_), visitor);
  CDorun::EnumReferences(visitor);
}

u32 CVideoTrack::GetMemorySize() const { return CDorun::GetMemorySize() + 48; }

u32 CVideoTrack::GetSaveSize() const {
  return CDorun::GetSaveSize() + 23 + GetPointerVectorSaveSize(static_cast<u32>(videos_.size()));
}

bool CVideoTrack::HasSubObjects() const { return !videos_.empty() || CDorun::HasSubObjects(); }

Result LinkVideoAsTrack(CStream& stream, CStreamLoadRecord& record, CBase* owner, CPointer<CVideoTrack>& slot) {
  slot = nullptr;
  CPointer<CVideo> video;
  const Result r = LinkOwnedPointer(stream, record, owner, video, ForeignObject::kLeaveEmpty);
  if (Failed(r) || !video) return r;
  CPointer<CVideoTrack> track(new (std::nothrow) CVideoTrack());
  if (!track) return kErrOutOfMemory;
  const Result added = track->AddVideo(video.Get());
  if (Failed(added)) return added;
  slot = track;
  return kOk;
}

}  // namespace KT
