#include "render/effects/video_map.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CVideoMap::CVideoMap(const CVideoMap& other) : CTexture(other), UvwChannel(other.UvwChannel) {}

CVideoMap::~CVideoMap() { videoTrack_.Release(); }

CBase* CVideoMap::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CTexture::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({videoTrack_.Get()}, name, record, includeDerived, onlyMarked);
}

void CVideoMap::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) {
  CTexture::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({videoTrack_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CVideoMap::UpdateMarked(const ObjectSet& set) {
  const bool own = CTexture::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked({videoTrack_.Get()}, set) || own;
  SetMarked(marked);
  return marked;
}

void CVideoMap::ClearMarked() {
  CTexture::ClearMarked();
  owned_refs::ClearMarked({videoTrack_.Get()});
}

Result CVideoMap::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CVideoMap::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CTexture::Clone(out, cloneMap, flags);
  if (r != kOk || !videoTrack_) return r;
  auto* copy = static_cast<CVideoMap*>(out.Get());
  const Result c = CloneMember(copy->videoTrack_, cloneMap, videoTrack_.Get(), flags);
  return Failed(c) ? c : kOk;
}

Result CVideoMap::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CVideoMap* other = DynamicCast<CVideoMap>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CTexture::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->UvwChannel = UvwChannel;
  return AssignPointerMember(displaced, videoTrack_, other->videoTrack_);
}

Result CVideoMap::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  // Kept for Link: a later record of this class changes the stream's
  // stored version.
  idNamesVideo_ = stream.GetStoredVersion(StaticClassRecord()) < static_cast<i32>(kVersionTrack);
  r = ReadU32(stream, UvwChannel);
  return Failed(r) ? r : ReadObjectId(stream, record);
}

Result CVideoMap::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CTexture::Link(stream, record, flags);
  if (Failed(r)) return r;
  return idNamesVideo_ ? LinkVideoAsTrack(stream, record, this, videoTrack_)
                       : LinkOwnedPointer(stream, record, this, videoTrack_, ForeignObject::kLeaveEmpty);
}

Result CVideoMap::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CTexture::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({videoTrack_.Get()}, stream, flags);
}

Result CVideoMap::Save(CStream& stream, u32 flags) {
  Result r = CTexture::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, UvwChannel);
  if (Succeeded(r)) r = WriteObjectId(stream, videoTrack_.Get());
  return r;
}

void CVideoMap::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CVideoMap Member");
  visitor.OpenGroup();
  visitor.UInt(u"UvwChannel", &UvwChannel);
  visitor.EndGroup();
  CTexture::DescribeMembers(visitor);
}

void CVideoMap::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(videoTrack_.Get(), 1);
  CTexture::EnumReferences(visitor);
}

Result CVideoMap::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CDorun::CollectAnimated(animated);
  if (Failed(r)) return r;
  return owned_refs::CollectAnimated({videoTrack_.Get()}, animated);
}

u32 CVideoMap::GetMemorySize() const { return CTexture::GetMemorySize() + 8; }
u32 CVideoMap::GetSaveSize() const { return CTexture::GetSaveSize() + 20; }
bool CVideoMap::HasSubObjects() const { return videoTrack_ || CTexture::HasSubObjects(); }

}  // namespace KT
