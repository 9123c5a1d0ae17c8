#include "audio/audio_cue.h"

#include "audio/audio_track.h"
#include "audio/audio_fields.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CAudioCue::CAudioCue() = default;

CAudioCue::CAudioCue(const CAudioCue& other) : CAudioCueBase(other), data_(other.data_) {}

CAudioCue::~CAudioCue() { data_.Release(); }

void CAudioCue::SetData(CAudioData* data) {
  data_ = data;
  SetModified();
}

// --- lengths ---------------------------------------------------------------------------------

f32 CAudioCue::LengthFrom(const CFlatTiming& r) const {
  const f32 d = RoundToF32(static_cast<f64>(r.Speed) * r.Pitch * GetSpeed() * GetPitch());
  const i32 k = AddTimes(SubtractTimes(r.Padding, r.End), r.Delay);
  const f32 duration = data_ ? data_->GetDuration() : 0.0f;
  return RoundToF32(static_cast<f64>(duration) / static_cast<f64>(d) + static_cast<f32>(k));
}

f32 CAudioCue::GetLength() const {
  CFlatTiming r;
  FlattenUpTo(GetParent(), r);
  return LengthFrom(r);
}

f32 CAudioCue::GetFlatLength() const {
  CFlatTiming r;
  Flatten(r);
  return LengthFrom(r);
}

// --- traversal -------------------------------------------------------------------------------

CBase* CAudioCue::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CAudioCueBase::Find(name, record, includeDerived, onlyMarked)) return hit;
  return data_ ? data_->Find(name, record, includeDerived, onlyMarked) : nullptr;
}

void CAudioCue::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) {
  CAudioCueBase::Collect(out, name, record, includeDerived, onlyMarked);
  if (data_) data_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CAudioCue::UpdateMarked(const ObjectSet& set) {
  bool marked = CAudioCueBase::UpdateMarked(set);
  if (data_) marked = data_->UpdateMarked(set) || marked;
  SetMarked(marked);
  return marked;
}

void CAudioCue::ClearMarked() {
  CAudioCueBase::ClearMarked();
  if (data_) data_->ClearMarked();
}

Result CAudioCue::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  if (data_) {
    const Result r = data_->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CAudioCueBase::ResolveReferences(root);
}

Result CAudioCue::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CAudioCueBase::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return data_ ? data_->RegisterForSave(stream, flags) : kOk;
}

void CAudioCue::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(data_.Get(), 1);
  CAudioCueBase::EnumReferences(visitor);
}

bool CAudioCue::HasSubObjects() const { return data_ || CAudioCueBase::HasSubObjects(); }

Result CAudioCue::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CAudioCueBase::CollectAnimated(animated);
  if (Failed(r) || !data_) return r;
  return data_->CollectAnimated(animated);
}

// --- copies --------------------------------------------------------------------------------

Result CAudioCue::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CAudioCue::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CAudioCueBase::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  if (!data_) return kOk;
  CPointer<CBase> clone;
  r = CloneObject(clone, cloneMap, data_.Get(), flags);
  if (Failed(r)) return r;
  CAudioData* data = DynamicCast<CAudioData>(clone.Get());
  if (data == nullptr) return kErrOutOfMemory;
  static_cast<CAudioCue*>(out.Get())->SetData(data);
  return kOk;
}

Result CAudioCue::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CAudioCue* other = DynamicCast<CAudioCue>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CAudioCueBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  return AssignPointerMember(displaced, data_, other->data_);
}

// --- persistence ---------------------------------------------------------------------------

Result CAudioCue::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CAudioCueBase::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadObjectId(stream, record);
  return r;
}

Result CAudioCue::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CAudioCueBase::Link(stream, record, flags);
  if (Failed(r)) return r;
  return LinkOwnedPointer(stream, record, this, data_);
}

Result CAudioCue::Save(CStream& stream, u32 flags) {
  Result r = CAudioCueBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, data_.Get());
  return r;
}

u32 CAudioCue::GetMemorySize() const { return CAudioCueBase::GetMemorySize() + 8; }

// Version pair and the Data id.
u32 CAudioCue::GetSaveSize() const { return CAudioCueBase::GetSaveSize() + 16; }

}  // namespace KT
