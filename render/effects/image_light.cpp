#include "render/effects/image_light.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "render/materials/material_base.h"
#include "scene/light.h"

namespace KT {

CImageLight::~CImageLight() {
  videoTrack_.Release();
  image_.Release();
}

Result CImageLight::SetImage(CBase* image) {
  if (WouldHoldItself(image, this)) return kErrInvalidArg;
  image_ = image;
  SetModified();
  return kOk;
}

Result CImageLight::SetVideoTrack(CVideoTrack* track) {
  if (WouldHoldItself(track, this)) return kErrInvalidArg;
  videoTrack_ = track;
  SetModified();
  return kOk;
}

Result CImageLight::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CImageLight::UpdateWorldBound() { return PlaceBoundAtOrigin(*this); }

CBase* CImageLight::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({image_.Get(), videoTrack_.Get()}, name, record, includeDerived, onlyMarked);
}

void CImageLight::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({image_.Get(), videoTrack_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CImageLight::UpdateMarked(const ObjectSet& set) {
  const bool own = CSpatial::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked({image_.Get(), videoTrack_.Get()}, set) || own;
  SetMarked(marked);
  return marked;
}

void CImageLight::ClearMarked() {
  CSpatial::ClearMarked();
  // The image too: UpdateMarked marks it, so it must not stay marked.
  owned_refs::ClearMarked({image_.Get(), videoTrack_.Get()});
}

Result CImageLight::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  return owned_refs::CollectAnimated({videoTrack_.Get()}, animated);
}

Result CImageLight::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences({videoTrack_.Get()}, root);
  return Failed(r) ? r : CSpatial::ResolveReferences(root);
}

Result CImageLight::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CImageLight::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CImageLight*>(out.Get());
  r = CloneMember(copy->image_, cloneMap, image_.Get(), flags);
  if (Failed(r)) return r;
  r = CloneMember(copy->videoTrack_, cloneMap, videoTrack_.Get(), flags);
  return Failed(r) ? r : kOk;
}

Result CImageLight::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CImageLight* other = DynamicCast<CImageLight>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->Strength = Strength;
  AssignPointerMember(displaced, image_, other->image_);
  return AssignPointerMember(displaced, videoTrack_, other->videoTrack_);
}

Result CImageLight::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  storedVersion_ = stored < 0 ? 0u : static_cast<u32>(stored);
  r = ReadObjectId(stream, record);
  if (Succeeded(r)) r = ReadU32(stream, Strength);
  if (Succeeded(r) && storedVersion_ >= kVersionSecondId) r = ReadObjectId(stream, record);
  return r;
}

Result CImageLight::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, image_, ForeignObject::kLeaveEmpty);
  if (Failed(r) || storedVersion_ < kVersionSecondId) return r;
  if (storedVersion_ >= kVersionTrack) {
    return LinkOwnedPointer(stream, record, this, videoTrack_, ForeignObject::kLeaveEmpty);
  }
  // A 2.01 record named the video itself: it becomes the one video of a
  // new track.
  return LinkVideoAsTrack(stream, record, this, videoTrack_);
}

Result CImageLight::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({image_.Get(), videoTrack_.Get()}, stream, flags);
}

Result CImageLight::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, image_.Get());
  if (Succeeded(r)) r = WriteFloat(stream, Strength);
  if (Succeeded(r)) r = WriteObjectId(stream, videoTrack_.Get());
  return r;
}

void CImageLight::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CImageLight Member");
  visitor.OpenGroup();
  visitor.Float(u"Strength", &Strength);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

void CImageLight::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences({image_.Get(), videoTrack_.Get()}, visitor);
  CSpatial::EnumReferences(visitor);
}

u32 CImageLight::GetSaveSize() const { return CSpatial::GetSaveSize() + 28; }

bool CImageLight::HasSubObjects() const { return image_ || videoTrack_ || CSpatial::HasSubObjects(); }

}  // namespace KT
