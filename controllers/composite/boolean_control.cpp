#include "controllers/composite/boolean_control.h"

#include <new>

#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

Result CBooleanControl::SetKeys(const std::vector<i32>& times, const std::vector<bool>& states) {
  if (times.size() != states.size()) return kErrInvalidArg;
  try {
    std::vector<i32> newTimes(times);
    std::vector<bool> newStates(states);
    shareTime_.MutableTimes().swap(newTimes);
    activeKeys_.swap(newStates);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CBooleanControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CSpatial* spatial = nullptr;
  const Result r = BoundObjectOf(*this, spatial);
  if (Failed(r)) return r;
  const CSpatial* parent = spatial->GetParent();
  const i32 t = LocalTime(time);
  if (shareTime_.GetLastIndex() > shareTime_.Size()) shareTime_.SetLastIndex(shareTime_.Size());
  u32 index = 0;
  const i32 code = shareTime_.FindStep(t, index);
  if (code == kKeySearchNone) {
    if (!referenceParent_) return kDone;
    spatial->SetActive(parent == nullptr || parent->IsActive());
    return kOk;
  }
  if (code == kKeySearchBefore) {
    shareTime_.SetLastIndex(0);
    index = 0;
  }
  // Load keeps one state per time; keys edited in place may not.
  const bool state = index < activeKeys_.size() && activeKeys_[index];
  spatial->SetActive(referenceParent_ && parent != nullptr ? state && parent->IsActive() : state);
  return kOk;
}

Result CBooleanControl::GetDataUpdateDepth(void* context, i32& depth) {
  if (!IsActive() || !referenceParent_) return kDone;
  const auto* spatial = DynamicCast<CSpatial>(GetObject());
  CSpatial* parent = spatial != nullptr ? spatial->GetParent() : nullptr;
  if (parent == nullptr) return kDone;
  return parent->RaiseDataUpdateDepth(context, depth);
}

bool CBooleanControl::IsStartedAt(i32 time) const {
  return !shareTime_.Empty() && ScaleTime(time) >= shareTime_[0];
}

Result CBooleanControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  return PickByStepTrack(*this, shareTime_, time, bestTime, pickedTime, bestPriority);
}

Result CBooleanControl::Save(CStream& stream, u32 flags) {
  Result r = CControlLevel::Save(stream, flags);
  if (Succeeded(r)) r = shareTime_.Write(stream);
  if (Succeeded(r)) r = WriteBoolVector(stream, activeKeys_);
  if (Succeeded(r)) r = WriteBool(stream, referenceParent_);
  return r;
}

u32 CBooleanControl::GetSaveSize() const {
  return CControlLevel::GetSaveSize() + shareTime_.GetSaveSize() + 4 + static_cast<u32>(activeKeys_.size()) + 1;
}

void CBooleanControl::DescribeMembers(CMemberVisitor& visitor) {
  u32 last = shareTime_.GetLastIndex();
  visitor.BeginGroup(u"CBooleanControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &last);
  visitor.Bool(u"ReferenceParent", &referenceParent_);
  for (u32 k = 0; k < shareTime_.Size(); ++k) {
    const i32 keyTime = shareTime_[k];
    const bool state = k < activeKeys_.size() && activeKeys_[k];
    visitor.Time(u"ShareTime", &keyTime);
    visitor.Bool(u"ActiveKeys", &state);
  }
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CBooleanControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(shareTime_) + sizeof(activeKeys_) + 1) +
         shareTime_.GetMemorySize() + static_cast<u32>((activeKeys_.capacity() + 7) / 8);
}

Result CBooleanControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  if (storedVersion < kVersionOldest) return kErrNewerVersion;
  activeKeys_.clear();
  Result r = shareTime_.Read(stream, static_cast<i32>(storedVersion), 2, 2);
  if (Succeeded(r)) r = ReadBoolVector(stream, activeKeys_);
  if (Succeeded(r) && storedVersion >= kVersionReferenceParent) r = ReadBool(stream, referenceParent_);
  if (Failed(r)) return r;
  if (activeKeys_.size() < shareTime_.Size()) return kErrNotFound;
  activeKeys_.resize(shareTime_.Size());
  return kOk;
}

Result CBooleanControl::CopyOwnTo(CBooleanControl& target) const {
  try {
    target.shareTime_ = shareTime_;
    std::vector<bool> states(activeKeys_);
    target.activeKeys_.swap(states);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.referenceParent_ = referenceParent_;
  return kOk;
}

}  // namespace KT
