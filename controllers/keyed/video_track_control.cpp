#include "controllers/keyed/video_track_control.h"

#include <algorithm>
#include <limits>
#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "controllers/keyed/counted_legacy_keys.h"

namespace KT {

void CVideoTrackControl::CVideoClipKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CVideoClipKey>(visitor, *this);
}

void CVideoTrackControl::CTrackVolumeKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

CVideoTrackControl::CVideoTrackControl(const CVideoTrackControl& other)
    : CControlLevel(other), clipKeys_(other.clipKeys_), volumeKeys_(other.volumeKeys_) {
  clipKeys_.SetLastIndex(0);
  volumeKeys_.SetLastIndex(0);
}

i32 CVideoTrackControl::ClipEnd(const CVideoClipKey& key, const CVideoTrack& track) {
  i32 length = 0;
  // The id comes from the file: only an index of the list is asked for.
  if (key.VideoId >= track.GetVideoCount() || track.GetVideoLength(key.VideoId, length) != kOk) length = 0;
  const i64 end = static_cast<i64>(key.Time) + static_cast<i64>(key.LoopCount) * static_cast<i64>(length);
  return static_cast<i32>(std::clamp<i64>(end, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
}

CVideoTrackControl::TrackState CVideoTrackControl::Evaluate(i32 time, const CVideoTrack& track) {
  TrackState state;
  KeyBracket clip;
  const i32 code = clipKeys_.Bracket(time, BlendRule::kLinear, clip);
  if (code == kKeySearchBefore) {
    state.CurrentVideo = 0;
    state.ClipStartTime = clipKeys_[0].Time;
  } else if (code != kKeySearchNone) {
    const CVideoClipKey& p = clipKeys_[clip.prev];
    const i32 end = ClipEnd(p, track);
    const CVideoClipKey* current = &p;
    state.ClipState = CVideoTrack::CS_Inside;
    if (time > end && code == kKeySearchAfter) {
      state.ClipState = CVideoTrack::CS_Ended;
    } else if (time > end && clip.next != clip.prev) {
      // The clip is over: the next one is pending.
      current = &clipKeys_[clip.next];
      state.ClipState = CVideoTrack::CS_Waiting;
    }
    state.CurrentVideo = static_cast<i32>(current->VideoId);
    state.ClipStartTime = current->Time;
    state.Loop = p.LoopCount > 1 && time < end;
  }
  KeyBracket volume;
  if (volumeKeys_.Bracket(time, BlendRule::kLaterKey, volume) != kKeySearchNone) {
    state.Volume = volumeKeys_.Blend(volume, &CTrackVolumeKey::Volume);
    state.Mute = volumeKeys_.Step(volume, &CTrackVolumeKey::Mute);
  }
  return state;
}

Result CVideoTrackControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CVideoTrack* track = nullptr;
  const Result r = BoundObjectOf(*this, track);
  if (Failed(r)) return r;
  const TrackState state = Evaluate(LocalTime(time), *track);
  const CModifiedGuard guard(track);
  track->ClipStartTime = state.ClipStartTime;
  track->CurrentVideo = state.CurrentVideo;
  track->ClipState = state.ClipState;
  track->Loop = state.Loop;
  track->Volume = state.Volume;
  track->Mute = state.Mute;
  return kOk;
}

i32 CVideoTrackControl::GetEndTime() const {
  return std::max(clipKeys_.GetEndTime(EndTimeRule::kAtLeastZero), volumeKeys_.GetEndTime(EndTimeRule::kAtLeastZero));
}

void CVideoTrackControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CVideoTrackControl Member");
  visitor.OpenGroup();
  clipKeys_.DescribeGroup(visitor, u"Video State Key", u"LastIndex", u"Keys");
  volumeKeys_.DescribeGroup(visitor, u"Volume Key", u"LastIndex", u"Keys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CVideoTrackControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(clipKeys_) + sizeof(volumeKeys_)) +
         clipKeys_.GetMemorySize() + volumeKeys_.GetMemorySize();
}

Result CVideoTrackControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionKeyLists) return CControlLevel::LoadOwn(stream, record, storedVersion);
  // The clip arrays of the older forms are read and not kept.
  std::vector<f32> clipTimes;
  std::vector<u32> clipValues;
  Result r = ReadLegacyArray(stream, clipTimes);
  if (Succeeded(r)) r = ReadLegacyArray(stream, clipValues);
  if (Failed(r) || storedVersion != kVersionVolumePairs) return r;
  return ReadLegacyVolumeKeys(stream, volumeKeys_.MutableKeys());
}

Result CVideoTrackControl::CopyOwnTo(CVideoTrackControl& target) const {
  try {
    target.clipKeys_ = clipKeys_;
    target.volumeKeys_ = volumeKeys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
