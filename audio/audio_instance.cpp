#include "audio/audio_instance.h"

#include "audio/audio_fields.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CAudioInstance::CAudioInstance() = default;

CAudioInstance::CAudioInstance(const CAudioInstance& other)
    : CSpatial(other),
      volumeChannel_(other.volumeChannel_),
      startTime_(other.startTime_),
      delayTime_(other.delayTime_),
      beginTime_(other.beginTime_),
      endTime_(other.endTime_),
      paddingTime_(other.paddingTime_),
      introTime_(other.introTime_),
      fadeTime_(other.fadeTime_),
      speed_(other.speed_),
      volume_(other.volume_),
      pitch_(other.pitch_),
      loopCount_(other.loopCount_),
      data_(other.data_) {}

CAudioInstance::~CAudioInstance() { data_.Release(); }

void CAudioInstance::SetData(CBase* data) {
  data_ = data;
  SetModified();
}

Result CAudioInstance::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CAudioInstance::UpdateWorldBound() { return kOk; }

// --- traversal -------------------------------------------------------------------------------

CBase* CAudioInstance::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return data_ ? data_->Find(name, record, includeDerived, onlyMarked) : nullptr;
}

void CAudioInstance::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                             bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  if (data_) data_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CAudioInstance::UpdateMarked(const ObjectSet& set) {
  bool marked = CSpatial::UpdateMarked(set);
  if (data_) marked = data_->UpdateMarked(set) || marked;
  SetMarked(marked);
  return marked;
}

void CAudioInstance::ClearMarked() {
  CSpatial::ClearMarked();
  if (data_) data_->ClearMarked();
}

Result CAudioInstance::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  if (data_) {
    const Result r = data_->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CSpatial::ResolveReferences(root);
}

Result CAudioInstance::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return data_ ? data_->RegisterForSave(stream, flags) : kOk;
}

void CAudioInstance::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(data_.Get(), 1);
  CSpatial::EnumReferences(visitor);
}

bool CAudioInstance::HasSubObjects() const { return data_ || CSpatial::HasSubObjects(); }

Result CAudioInstance::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r) || !data_) return r;
  CDorun* data = DynamicCast<CDorun>(data_.Get());
  return data != nullptr ? data->CollectAnimated(animated) : r;
}

// --- copies --------------------------------------------------------------------------------

Result CAudioInstance::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CAudioInstance::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk || !data_) return r;
  CPointer<CBase> clone;
  r = CloneObject(clone, cloneMap, data_.Get(), flags);
  if (Failed(r)) return r;
  if (!clone) return kErrOutOfMemory;
  static_cast<CAudioInstance*>(out.Get())->SetData(clone.Get());
  return kOk;
}

Result CAudioInstance::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CAudioInstance* other = DynamicCast<CAudioInstance>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->volumeChannel_ = volumeChannel_;
  other->startTime_ = startTime_;
  other->delayTime_ = delayTime_;
  other->beginTime_ = beginTime_;
  other->endTime_ = endTime_;
  other->paddingTime_ = paddingTime_;
  other->introTime_ = introTime_;
  other->fadeTime_ = fadeTime_;
  other->speed_ = speed_;
  other->volume_ = volume_;
  other->pitch_ = pitch_;
  other->loopCount_ = loopCount_;
  return AssignPointerMember(displaced, data_, other->data_);
}

// --- persistence ---------------------------------------------------------------------------

Result CAudioInstance::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  const bool integerTimes = v >= static_cast<i32>(kVersionIntegerTimes);
  for (i32* time : {&startTime_, &beginTime_, &endTime_, &introTime_, &fadeTime_}) {
    if (Succeeded(r)) r = integerTimes ? ReadU32(stream, *time) : ReadFloatTime(stream, *time);
  }
  for (f32* factor : {&volume_, &pitch_, &speed_}) {
    if (Succeeded(r)) r = ReadU32(stream, *factor);
  }
  if (Succeeded(r)) {
    r = v >= static_cast<i32>(kVersionWideDataId) ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  }
  if (Succeeded(r) && v >= static_cast<i32>(kVersionVolumeChannel)) r = ReadU32(stream, volumeChannel_);
  if (Failed(r)) return r;
  if (v < static_cast<i32>(kVersionDelayPaddingLoop)) {
    delayTime_ = 0;
    paddingTime_ = 0;
    return kOk;
  }
  for (i32* time : {&delayTime_, &paddingTime_}) {
    if (Succeeded(r)) r = integerTimes ? ReadU32(stream, *time) : ReadFloatTime(stream, *time);
  }
  if (Succeeded(r)) r = ReadU32(stream, loopCount_);
  return r;
}

Result CAudioInstance::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CSpatial::Link(stream, record, flags);
  if (Failed(r)) return r;
  return LinkOwnedPointer(stream, record, this, data_);
}

Result CAudioInstance::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  for (const i32 time : {startTime_, beginTime_, endTime_, introTime_, fadeTime_}) {
    if (Succeeded(r)) r = WriteI32(stream, time);
  }
  for (const f32 factor : {volume_, pitch_, speed_}) {
    if (Succeeded(r)) r = WriteFloat(stream, factor);
  }
  if (Succeeded(r)) r = WriteObjectId(stream, data_.Get());
  if (Succeeded(r)) r = WriteU32(stream, volumeChannel_);
  if (Succeeded(r)) r = WriteI32(stream, delayTime_);
  if (Succeeded(r)) r = WriteI32(stream, paddingTime_);
  if (Succeeded(r)) r = WriteU32(stream, loopCount_);
  return r;
}

void CAudioInstance::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CAudioInstance Member");
  visitor.OpenGroup();
  visitor.UInt(u"VolumeChannel", &volumeChannel_);
  visitor.Int(u"StartTime", &startTime_);
  visitor.Int(u"DelayTime", &delayTime_);
  visitor.Int(u"BeginTime", &beginTime_);
  visitor.Int(u"EndTime", &endTime_);
  visitor.Int(u"PaddingTime", &paddingTime_);
  visitor.Int(u"IntroTime", &introTime_);
  visitor.Int(u"FadeTime", &fadeTime_);
  visitor.Float(u"Speed", &speed_);
  visitor.Float(u"Volume", &volume_);
  visitor.Float(u"Pitch", &pitch_);
  visitor.UInt(u"LoopCount", &loopCount_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

u32 CAudioInstance::GetMemorySize() const { return CSpatial::GetMemorySize() + 56; }

// Version pair 8, seven times 28, three factors 12, Data id 8,
// VolumeChannel and LoopCount 8.
u32 CAudioInstance::GetSaveSize() const { return CSpatial::GetSaveSize() + 64; }

}  // namespace KT
