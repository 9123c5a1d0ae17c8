#include "controllers/keyed/video_control.h"

#include <algorithm>
#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "controllers/keyed/counted_legacy_keys.h"

namespace KT {

const char16_t* const kPlayStateNames[3] = {u"PS_Playing", u"PS_Paused", u"PS_Stopped"};

void CVideoControl::CVideoStateKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CVideoStateKey>(visitor, *this);
}

void CVideoControl::CVideoVolumeKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }

CVideoControl::CVideoControl(const CVideoControl& other)
    : CControlLevel(other), stateKeys_(other.stateKeys_), volumeKeys_(other.volumeKeys_) {
  stateKeys_.SetLastIndex(0);
  volumeKeys_.SetLastIndex(0);
}

Result CVideoControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CVideo* video = nullptr;
  const Result r = BoundObjectOf(*this, video);
  if (Failed(r)) return r;
  if (stateKeys_.Empty() && volumeKeys_.Empty()) return kDone;
  const i32 t = LocalTime(time);
  u32 playState = video->PlayState;
  u32 index = 0;
  const i32 code = stateKeys_.FindStep(t, index);
  if (code == kKeySearchBefore) playState = stateKeys_[0].PlayStates;
  if (code != kKeySearchNone && code != kKeySearchBefore) playState = stateKeys_[index].PlayStates;
  f32 volume = video->Volume;
  KeyBracket bracket;
  if (volumeKeys_.Bracket(t, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    volume = volumeKeys_.Blend(bracket, &CVideoVolumeKey::Volume);
  }
  const CModifiedGuard guard(video);
  video->PlayState = playState;
  video->Volume = volume;
  return kOk;
}

i32 CVideoControl::GetEndTime() const {
  return std::max(stateKeys_.GetEndTime(EndTimeRule::kAtLeastZero), volumeKeys_.GetEndTime(EndTimeRule::kAtLeastZero));
}

void CVideoControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CVideoControl Member");
  visitor.OpenGroup();
  stateKeys_.DescribeGroup(visitor, u"PlayState", u"LastIndex", u"Keys");
  volumeKeys_.DescribeGroup(visitor, u"Volume", u"LastIndex", u"Keys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CVideoControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(stateKeys_) + sizeof(volumeKeys_)) +
         stateKeys_.GetMemorySize() + volumeKeys_.GetMemorySize();
}

Result CVideoControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionKeyLists) return CControlLevel::LoadOwn(stream, record, storedVersion);
  Result r = ReadTwoArrayKeys(stream, stateKeys_.MutableKeys(), &CVideoStateKey::PlayStates);
  if (Failed(r) || storedVersion != kVersionVolumePairs) return r;
  return ReadLegacyVolumeKeys(stream, volumeKeys_.MutableKeys());
}

Result CVideoControl::CopyOwnTo(CVideoControl& target) const {
  try {
    target.stateKeys_ = stateKeys_;
    target.volumeKeys_ = volumeKeys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
