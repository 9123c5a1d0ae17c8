#include "controllers/keyed/post_effect_control.h"

#include <algorithm>
#include <new>

#include "controllers/core/legacy_key_arrays.h"

namespace KT {

namespace {

// A key of the 1.00 record: no version pairs.
struct LegacyVarKey {
  i32 Time;
  u32 TransitionType;
  f32 TransitionStrength;
  f32 Data[4];
};
static_assert(sizeof(LegacyVarKey) == 28);

}  // namespace

void CPostEffectControl::CVarKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }

Result CPostEffectControl::CTrackList::Write(CStream& stream) const {
  Result r = WriteU32(stream, static_cast<u32>(tracks_.size()));
  for (const VarTrack& track : tracks_) {
    if (Failed(r)) return r;
    r = track.Write(stream);
  }
  return r;
}

template <typename ReadTrack>
Result CPostEffectControl::CTrackList::ReadWith(CStream& stream, ReadTrack readTrack) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, 4);
  if (Failed(r)) return r;
  try {
    tracks_.resize(count);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (VarTrack& track : tracks_) {
    r = readTrack(track);
    if (Failed(r)) return r;
  }
  return r;
}

Result CPostEffectControl::CTrackList::Read(CStream& stream) {
  return ReadWith(stream, [&stream](VarTrack& track) { return track.Read(stream); });
}

u32 CPostEffectControl::CTrackList::GetSaveSize() const {
  u32 size = 4;
  for (const VarTrack& track : tracks_) size += track.GetSaveSize();
  return size;
}

void CPostEffectControl::CTrackList::DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const {
  visitor.RecordArray(name, static_cast<u32>(tracks_.size()), [this](u32 index, CMemberVisitor& v) {
    v.OpenGroup();
    tracks_[index].DescribeMembers(v, u"VarKeys");
    v.EndGroup();
  });
}

u32 CPostEffectControl::CTrackList::GetMemorySize() const {
  u32 size = static_cast<u32>(tracks_.capacity() * sizeof(VarTrack));
  for (const VarTrack& track : tracks_) size += track.GetMemorySize();
  return size;
}

Result CPostEffectControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CPostEffect* effect = nullptr;
  const Result r = BoundObjectOf(*this, effect);
  if (Failed(r)) return r;
  std::vector<VarTrack>& tracks = tracks_.Tracks();
  if (tracks.size() != effect->GetVariableCount()) return kErrNotFound;
  const CModifiedGuard guard(effect);
  const i32 t = LocalTime(time);
  for (u32 i = 0; i < tracks.size(); ++i) {
    KeyBracket bracket;
    if (tracks[i].Bracket(t, BlendRule::kLaterKey, bracket) == kKeySearchNone) continue;
    effect->SetVariable(i, tracks[i].Blend(bracket, &CVarKey::afData));
  }
  return kOk;
}

i32 CPostEffectControl::GetEndTime() const {
  i32 end = kZeroTime;
  for (const VarTrack& track : tracks_.Tracks()) end = std::max(end, track.GetEndTime(EndTimeRule::kAtLeastZero));
  return end;
}

u32 CPostEffectControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(tracks_)) + tracks_.GetMemorySize();
}

Result CPostEffectControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionKeyRecords) return CControlLevel::LoadOwn(stream, record, storedVersion);
  return tracks_.ReadWith(stream, [&stream](VarTrack& track) {
    std::vector<LegacyVarKey> stored;
    Result r = ReadLegacyArray(stream, stored);
    if (Failed(r)) return r;
    std::vector<CVarKey>& keys = track.MutableKeys();
    try {
      keys.assign(stored.size(), CVarKey());
    } catch (const std::bad_alloc&) {
      keys.clear();
      return kErrOutOfMemory;
    }
    for (std::size_t i = 0; i < stored.size(); ++i) {
      keys[i].Time = stored[i].Time;
      keys[i].TransitionType = stored[i].TransitionType;
      keys[i].TransitionStrength = stored[i].TransitionStrength;
      std::copy(std::begin(stored[i].Data), std::end(stored[i].Data), keys[i].afData.begin());
    }
    return r;
  });
}

Result CPostEffectControl::CopyOwnTo(CPostEffectControl& target) const {
  try {
    target.tracks_ = tracks_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
