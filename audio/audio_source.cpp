#include "audio/audio_source.h"

#include "audio/audio_fields.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CAudioSource::CAudioSource() = default;

CAudioSource::CAudioSource(const CAudioSource& other)
    : CSpatial(other),
      speed_(other.speed_),
      volume_(other.volume_),
      pitch_(other.pitch_),
      mute_(other.mute_),
      maxProcess_(other.maxProcess_),
      volumeChannel_(other.volumeChannel_) {}

CAudioSource::~CAudioSource() {
  attachments_.clear();
  cues_.clear();
}

Result CAudioSource::AddCue(CAudioCueBase* cue) {
  if (cue == nullptr) return kErrInvalidArg;
  if (cue->GetParent() != nullptr) return kErrNotFound;
  cues_.emplace_back(cue);
  SetModified();
  return kOk;
}

void CAudioSource::AddAttachment(CBase* object, u32 first, u32 second) {
  // The source holding itself would never be released.
  if (object == nullptr || object == this) return;
  attachments_.emplace_back(object);
  keys_.push_back({first, second});
  SetModified();
}

Result CAudioSource::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CAudioSource::UpdateWorldBound() { return kOk; }

// --- traversal -------------------------------------------------------------------------------

CBase* CAudioSource::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  for (const CPointer<CBase>& attachment : attachments_) {
    if (!attachment) continue;
    if (CBase* hit = attachment->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (!cue) continue;
    if (CBase* hit = cue->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CAudioSource::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                           bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  for (const CPointer<CBase>& attachment : attachments_) {
    if (attachment) attachment->Collect(out, name, record, includeDerived, onlyMarked);
  }
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (cue) cue->Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool CAudioSource::UpdateMarked(const ObjectSet& set) {
  bool marked = CSpatial::UpdateMarked(set);
  for (const CPointer<CBase>& attachment : attachments_) {
    if (attachment) marked = attachment->UpdateMarked(set) || marked;
  }
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (cue) marked = cue->UpdateMarked(set) || marked;
  }
  SetMarked(marked);
  return marked;
}

void CAudioSource::ClearMarked() {
  CSpatial::ClearMarked();
  for (const CPointer<CBase>& attachment : attachments_) {
    if (attachment) attachment->ClearMarked();
  }
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (cue) cue->ClearMarked();
  }
}

Result CAudioSource::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (!cue) continue;
    const Result r = cue->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  for (const CPointer<CBase>& attachment : attachments_) {
    if (!attachment) continue;
    const Result r = attachment->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CSpatial::ResolveReferences(root);
}

Result CAudioSource::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (!cue) continue;
    r = cue->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  for (const CPointer<CBase>& attachment : attachments_) {
    if (!attachment) continue;
    r = attachment->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CAudioSource::EnumReferences(CReferenceVisitor& visitor) {
  for (const CPointer<CAudioCueBase>& cue : cues_) visitor.Visit(cue.Get(), 1);
  for (const CPointer<CBase>& attachment : attachments_) visitor.Visit(attachment.Get(), 1);
  CSpatial::EnumReferences(visitor);
}

bool CAudioSource::HasSubObjects() const {
  return !cues_.empty() || !attachments_.empty() || CSpatial::HasSubObjects();
}

// --- copies --------------------------------------------------------------------------------

Result CAudioSource::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CAudioSource::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CAudioSource* copy = static_cast<CAudioSource*>(out.Get());
  for (const CPointer<CAudioCueBase>& cue : cues_) {
    if (!cue) continue;
    CPointer<CBase> clone;
    r = CloneObject(clone, cloneMap, cue.Get(), flags);
    if (Failed(r)) return r;
    copy->AddCue(DynamicCast<CAudioCueBase>(clone.Get()));
  }
  for (std::size_t i = 0; i < attachments_.size(); ++i) {
    if (!attachments_[i]) continue;
    CPointer<CBase> clone;
    r = CloneObject(clone, cloneMap, attachments_[i].Get(), flags);
    if (Failed(r)) return r;
    copy->AddAttachment(clone.Get(), keys_[i].first, keys_[i].second);
  }
  return kOk;
}

Result CAudioSource::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CAudioSource* other = DynamicCast<CAudioSource>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->speed_ = speed_;
  other->volume_ = volume_;
  other->pitch_ = pitch_;
  other->mute_ = mute_;
  other->maxProcess_ = maxProcess_;
  other->volumeChannel_ = volumeChannel_;
  other->keys_ = keys_;
  AssignPointerVectorMember(displaced, cues_, other->cues_);
  return AssignPointerVectorMember(displaced, attachments_, other->attachments_);
}

// --- persistence ---------------------------------------------------------------------------

Result CAudioSource::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  cues_.clear();
  attachments_.clear();
  keys_.clear();
  queuedCues_ = 0;
  queuedAttachments_ = 0;
  r = ReadReferenceVector(stream, record, cues_);
  if (Failed(r)) return r;
  queuedCues_ = static_cast<u32>(cues_.size());
  r = ReadU32(stream, volume_);
  if (Succeeded(r)) r = ReadU32(stream, pitch_);
  if (Succeeded(r)) r = ReadU32(stream, speed_);
  if (Succeeded(r)) r = ReadU32(stream, volumeChannel_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionAttachments)) {
    r = ReadReferenceVector(stream, record, attachments_);
    if (Succeeded(r)) queuedAttachments_ = static_cast<u32>(attachments_.size());
  }
  if (Succeeded(r) && v >= static_cast<i32>(kVersionMute)) r = ReadBool(stream, mute_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionMaxProcess)) r = ReadU32(stream, maxProcess_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionKeys)) r = ReadPodVector(stream, keys_);
  // One pair per attachment, whatever the record held: older records have
  // none (every pair all bits set), a crafted one may hold more or fewer.
  keys_.resize(attachments_.size());
  return r;
}

Result CAudioSource::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Link(stream, record, flags);
  if (Failed(r)) return r;
  // Only the slots Load queued: a failed load queued fewer.
  cues_.resize(queuedCues_);
  attachments_.resize(queuedAttachments_);
  keys_.resize(attachments_.size());
  r = LinkOwnedList(stream, record, this, cues_);
  if (Succeeded(r)) r = LinkOwnedList(stream, record, this, attachments_);
  return r;
}

Result CAudioSource::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteReferenceVector(stream, cues_);
  if (Succeeded(r)) r = WriteFloat(stream, volume_);
  if (Succeeded(r)) r = WriteFloat(stream, pitch_);
  if (Succeeded(r)) r = WriteFloat(stream, speed_);
  if (Succeeded(r)) r = WriteU32(stream, volumeChannel_);
  if (Succeeded(r)) r = WriteReferenceVector(stream, attachments_);
  if (Succeeded(r)) r = WriteBool(stream, mute_);
  if (Succeeded(r)) r = WriteU32(stream, maxProcess_);
  if (Succeeded(r)) r = WritePodVector(stream, keys_);
  return r;
}

void CAudioSource::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CAudioSource Member");
  visitor.OpenGroup();
  visitor.Float(u"Speed", &speed_);
  visitor.Float(u"Volume", &volume_);
  visitor.Float(u"Pitch", &pitch_);
  visitor.Bool(u"Mute", &mute_);
  visitor.UInt(u"MaxProcess", &maxProcess_);
  visitor.UInt(u"VolumeChannel", &volumeChannel_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

u32 CAudioSource::GetMemorySize() const {
  return CSpatial::GetMemorySize() + 96 + 4 * static_cast<u32>(cues_.size()) +
         4 * static_cast<u32>(attachments_.size()) + 8 * static_cast<u32>(keys_.size());
}

// Version pair 8, three factors 12, VolumeChannel 4, Mute 1, MaxProcess 4,
// and the three counted lists.
u32 CAudioSource::GetSaveSize() const {
  return CSpatial::GetSaveSize() + 29 + GetPointerVectorSaveSize(static_cast<u32>(cues_.size())) +
         GetPointerVectorSaveSize(static_cast<u32>(attachments_.size())) + PodVectorSaveSize(keys_);
}

}  // namespace KT
