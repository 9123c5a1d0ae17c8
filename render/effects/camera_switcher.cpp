#include "render/effects/camera_switcher.h"

#include <algorithm>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "render/materials/material_base.h"

namespace KT {

const char16_t* const CCameraSwitcher::kModeNames[2] = {u"CM_Browse", u"CM_Switch"};

namespace {

Result ReadId(CStream& stream, CStreamLoadRecord& record, bool wide) {
  return wide ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
}

// The clone of `camera` from the map, or null when the map does not hold
// it (or holds something that is not a camera).
CCamera* RemappedCamera(const CloneMap& cloneMap, CCamera* camera) {
  if (camera == nullptr) return nullptr;
  const auto it = cloneMap.find(camera);
  return it == cloneMap.end() ? nullptr : DynamicCast<CCamera>(it->second.Get());
}

}  // namespace

CCameraSwitcher::CCameraSwitcher(const CCameraSwitcher& other)
    : CDorun(other),
      selectedCamera_(other.selectedCamera_.Get()),
      mode_(other.mode_),
      updatedCamera_(other.updatedCamera_),
      followCamera_(other.followCamera_.Get()) {}

CCameraSwitcher::~CCameraSwitcher() {
  legacyControl_.Release();
  ownedObject_.Release();
  ownedCamera_.Release();
}

Result CCameraSwitcher::SetOwnedCamera(CCamera* camera) {
  if (WouldHoldItself(camera, this)) return kErrInvalidArg;
  ownedCamera_ = camera;
  SetModified();
  return kOk;
}

Result CCameraSwitcher::SetOwnedObject(CBase* object) {
  if (WouldHoldItself(object, this)) return kErrInvalidArg;
  ownedObject_ = object;
  SetModified();
  return kOk;
}

Result CCameraSwitcher::RemapReferences(const CloneMap& cloneMap) {
  // Looked up without inserting: a camera outside the map must not leave
  // an empty entry that later lookups (a controller's keys) would take.
  selectedCamera_.Set(RemappedCamera(cloneMap, selectedCamera_.Get()));
  updatedCamera_ = RemappedCamera(cloneMap, updatedCamera_);
  followCamera_.Set(RemappedCamera(cloneMap, followCamera_.Get()));
  return kOk;
}

CBase* CCameraSwitcher::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                             bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({ownedCamera_.Get(), ownedObject_.Get()}, name, record, includeDerived, onlyMarked);
}

void CCameraSwitcher::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                              bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({ownedCamera_.Get(), ownedObject_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CCameraSwitcher::UpdateMarked(const ObjectSet& set) {
  const bool own = CDorun::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked({ownedCamera_.Get(), ownedObject_.Get()}, set) || own;
  SetMarked(marked);
  return marked;
}

void CCameraSwitcher::ClearMarked() {
  CDorun::ClearMarked();
  owned_refs::ClearMarked({ownedCamera_.Get(), ownedObject_.Get()});
}

Result CCameraSwitcher::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  return CDorun::ResolveReferences(root);
}

Result CCameraSwitcher::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CCameraSwitcher::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CCameraSwitcher*>(out.Get());
  r = CloneMember(copy->ownedCamera_, cloneMap, ownedCamera_.Get(), flags);
  if (Succeeded(r)) r = CloneMember(copy->ownedObject_, cloneMap, ownedObject_.Get(), flags);
  if (Failed(r)) return r;
  copy->SetModified();
  return kOk;
}

Result CCameraSwitcher::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CCameraSwitcher* other = DynamicCast<CCameraSwitcher>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->mode_ = mode_;
  other->selectedCamera_.Set(selectedCamera_.Get());
  other->updatedCamera_ = updatedCamera_;
  other->followCamera_.Set(followCamera_.Get());
  AssignPointerMember(displaced, ownedCamera_, other->ownedCamera_);
  return AssignPointerMember(displaced, ownedObject_, other->ownedObject_);
}

Result CCameraSwitcher::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  storedVersion_ = v;
  legacyControl_ = nullptr;
  legacyCameraCount_ = 0;
  const bool wide = v >= kVersionWideIds;
  std::vector<i32> times;
  if (v < kVersionController) {
    legacyControl_ = new (std::nothrow) CCameraSwitcherControl();
    if (!legacyControl_) return kErrOutOfMemory;
    r = ReadU32(stream, legacyCameraCount_);
    if (Succeeded(r)) r = stream.CheckAvailable(legacyCameraCount_, wide ? 8 : 4);
    for (u32 i = 0; Succeeded(r) && i < legacyCameraCount_; ++i) r = ReadId(stream, record, wide);
    if (Succeeded(r)) r = ReadTimeArrayVersioned(stream, stored, times, 1, 4);
    if (Failed(r)) return r;
  }
  r = ReadId(stream, record, wide);
  if (Succeeded(r)) r = ReadU32(stream, mode_);
  if (Succeeded(r) && v >= kVersionSelected) r = ReadId(stream, record, wide);
  if (Succeeded(r) && v >= kVersionFollow) r = ReadId(stream, record, wide);
  if (Succeeded(r) && v >= kVersionFollow) r = ReadId(stream, record, wide);
  if (Failed(r)) return r;
  for (i32 time : times) {
    r = legacyControl_->SetKey(CCameraSwitcherControl::CCameraKey(time, nullptr),
                               CCameraSwitcherControl::kLegacyKeyRate);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CCameraSwitcher::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  const CPointer<CCameraSwitcherControl> legacy = legacyControl_;
  for (u32 i = 0; i < legacyCameraCount_; ++i) {
    CCamera* camera = DynamicCast<CCamera>(stream.ObjectFromId(record.TakeNextId()));
    // More cameras than keys: the extra ones name nothing.
    if (legacy && i < legacy->GetKeys().Size()) legacy->SetKeyCamera(i, camera);
  }
  r = LinkOwnedPointer(stream, record, this, ownedCamera_, ForeignObject::kLeaveEmpty);
  if (Failed(r)) return r;
  if (storedVersion_ >= kVersionSelected) {
    selectedCamera_.Set(DynamicCast<CCamera>(stream.ObjectFromId(record.TakeNextId())));
  }
  if (storedVersion_ >= kVersionFollow) {
    followCamera_.Set(DynamicCast<CCamera>(stream.ObjectFromId(record.TakeNextId())));
    r = LinkOwnedPointer(stream, record, this, ownedObject_, ForeignObject::kLeaveEmpty);
    if (Failed(r)) return r;
  }
  legacyControl_ = nullptr;
  legacyCameraCount_ = 0;
  stream.AddPostLinkStep([this, legacy, &stream]() -> Result {
    if (legacy) {
      // The keys of the older records go ahead of any other controller.
      // This waits for the whole tree: the controllers of the chain are
      // bound to the switcher only once they are linked themselves.
      CDorun* first = GetFirstControl();
      const Result attached = first != nullptr ? InsertControl(first, legacy.Get()) : AddControl(legacy.Get());
      if (Failed(attached)) return attached;
      // The switcher holds the keys now.
      legacy->DropCamerasUnlessHeld(stream, this);
    }
    selectedCamera_.DropUnlessHeld(stream, this);
    followCamera_.DropUnlessHeld(stream, this);
    return kOk;
  });
  return kOk;
}

Result CCameraSwitcher::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({ownedCamera_.Get(), ownedObject_.Get()}, stream, flags);
}

Result CCameraSwitcher::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, ownedCamera_.Get());
  if (Succeeded(r)) r = WriteU32(stream, mode_);
  if (Succeeded(r)) r = WriteObjectId(stream, selectedCamera_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, followCamera_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, ownedObject_.Get());
  return r;
}

void CCameraSwitcher::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CCameraSwitcher Member");
  visitor.OpenGroup();
  visitor.Enum(u"Mode", reinterpret_cast<const i32*>(&mode_), kModeNames, 2);
  visitor.ObjectRef(u"SelectedCamera", selectedCamera_.Get());
  visitor.ObjectRef(u"UpdatedCamera", updatedCamera_);
  visitor.ObjectRef(u"FollowCamera", followCamera_.Get());
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

void CCameraSwitcher::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(ownedObject_.Get(), 1);
  visitor.Visit(ownedCamera_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

u32 CCameraSwitcher::GetSaveSize() const { return CDorun::GetSaveSize() + 44; }

bool CCameraSwitcher::HasSubObjects() const {
  return ownedCamera_ || selectedCamera_ || ownedObject_ || followCamera_ || CDorun::HasSubObjects();
}

Result CCameraSwitcher::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CDorun::CollectAnimated(animated);
  if (Failed(r)) return r;
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  if (mode_ != CM_Browse) return kOk;
  const auto inView = [this](const CCamera* camera) {
    return camera != nullptr && (camera == selectedCamera_.Get() || camera == alternateCamera_);
  };
  if (inView(ownedCamera_.Get())) {
    ownedCamera_->CollectAnimated(animated);
  } else if (inView(followCamera_.Get())) {
    followCamera_->CollectAnimated(animated);
  }
  return kOk;
}

}  // namespace KT
