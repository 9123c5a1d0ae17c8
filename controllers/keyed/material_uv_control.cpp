#include "controllers/keyed/material_uv_control.h"

#include <algorithm>
#include <new>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "render/materials/standard_material.h"

namespace KT {

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CVector2& value) {
  visitor.Point2(name, &value);
}

const char16_t* const CMaterialUVControl::kKeysNames[kTrackCount] = {
    u"Diffuse Keys", u"Specular Keys", u"Opacity Keys", u"Bump Keys", u"Glow Keys", u"DiffuseBlend Keys",
};
const char16_t* const CMaterialUVControl::kLastIndexNames[kTrackCount] = {
    u"DiffuseLastIndex", u"SpecularLastIndex",   u"OpacityLastIndex",
    u"BumpLastIndex",    u"GlowLastStickyIndex", u"DiffuseBlendLastIndex",
};

void CMaterialUVControl::CMtrlUvKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

CMaterialUVControl::Track CMaterialUVControl::TrackOfChannel(u32 channel) {
  switch (channel) {
    case CStandardMaterial::kSpecular:
      return kSpecular;
    case CStandardMaterial::kOpacity:
      return kOpacity;
    case CStandardMaterial::kBump:
      return kBump;
    case CStandardMaterial::kGlow:
      return kGlow;
    case CStandardMaterial::kDiffuseBlend:
      return kDiffuseBlend;
    default:
      return kDiffuse;
  }
}

u32 CMaterialUVControl::ChannelOfTrack(Track track) {
  static constexpr u32 kChannels[kTrackCount] = {
      CStandardMaterial::kDiffuse, CStandardMaterial::kSpecular, CStandardMaterial::kOpacity,
      CStandardMaterial::kBump,    CStandardMaterial::kGlow,     CStandardMaterial::kDiffuseBlend,
  };
  return kChannels[track < kTrackCount ? track : kDiffuse];
}

Result CMaterialUVControl::PutUvKey(u32 channel, const CMtrlUvKey& key, f32 fps) {
  CMtrlUvKey snapped(key);
  snapped.Time = SnapTimeToFrame(key.Time, fps);
  return tracks_[TrackOfChannel(channel)].SetKey(snapped);
}

Result CMaterialUVControl::SetUvKey(u32 channel, const CMtrlUvKey& key, f32 fps) {
  const Result r = PutUvKey(channel, key, fps);
  if (Succeeded(r)) SetModified();
  return r;
}

void CMaterialUVControl::EvaluateTrack(UvTrack& track, i32 t, CVector2& translate, CVector2& scale, f32& rotate) {
  KeyBracket bracket;
  if (track.Bracket(t, BlendRule::kLaterKey, bracket) == kKeySearchNone) return;
  const CMtrlUvKey& a = track[bracket.prev];
  // A step on the earlier key holds it up to the later key, whatever the
  // later key's transition says.
  if (bracket.prev == bracket.next || a.TransitionType == TT_STEP) {
    translate = a.Translate;
    scale = a.Scale;
    rotate = a.Rotate;
    return;
  }
  const CMtrlUvKey& b = track[bracket.next];
  translate = BlendValue(a.Translate, b.Translate, bracket.weight);
  scale = BlendValue(a.Scale, b.Scale, bracket.weight);
  rotate = BlendValue(a.Rotate, b.Rotate, bracket.weight);
}

Result CMaterialUVControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CStandardMaterial* material = nullptr;
  const Result r = BoundObjectOf(*this, material);
  if (Failed(r)) return r;
  const i32 t = LocalTime(time);
  {
    // Animation is not an edit: the setters mark the material modified,
    // the guard puts the flag back.
    CModifiedGuard guard(material);
    for (u32 i = 0; i < kTrackCount; ++i) {
      const Track track = static_cast<Track>(i);
      const u32 channel = ChannelOfTrack(track);
      CVector2 translate = material->GetTexUvTranslate(channel);
      CVector2 scale = material->GetTexUvScale(channel);
      f32 rotate = material->GetTexUvRotate(channel);
      EvaluateTrack(tracks_[i], t, translate, scale, rotate);
      material->SetTexUvTranslate(channel, translate.x, translate.y);
      material->SetTexUvScale(channel, scale.x, scale.y);
      material->SetTexUvRotate(channel, rotate);
    }
  }
  material->Invalidate();
  return kOk;
}

i32 CMaterialUVControl::GetEndTime() const {
  i32 end = kZeroTime;
  for (const UvTrack& track : tracks_) end = std::max(end, track.GetEndTime(EndTimeRule::kAtLeastZero));
  return end;
}

void CMaterialUVControl::DescribeMembers(CMemberVisitor& visitor) {
  static const WString group = MemberGroupName(StaticClassRecord());
  visitor.BeginGroup(group.c_str());
  visitor.OpenGroup();
  for (u32 i = 0; i < kTrackCount; ++i) tracks_[i].DescribeWithLastIndex(visitor, kLastIndexNames[i], kKeysNames[i]);
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CMaterialUVControl::GetMemorySize() const {
  u32 size = CDataControl::GetMemorySize() + static_cast<u32>(sizeof(tracks_));
  for (const UvTrack& track : tracks_) size += track.GetMemorySize();
  return size;
}

Result CMaterialUVControl::CopyOwnTo(CMaterialUVControl& target) const {
  // Copied aside first, so that running out of memory changes nothing.
  std::array<UvTrack, kTrackCount> copy;
  try {
    copy = tracks_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.tracks_.swap(copy);
  return kOk;
}

Result CMaterialUVControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  for (UvTrack& track : tracks_) {
    track.Clear();
    track.SetLastIndex(0);
  }
  if (storedVersion >= kVersionKeyRecords) return CControlLevel::LoadOwn(stream, record, storedVersion);
  return LoadLists(stream, storedVersion);
}

namespace {

// A UV record of the list layout: translate u, v, scale u, v.
struct UvRecord {
  CVector2 translate;
  CVector2 scale;
};
static_assert(sizeof(UvRecord) == 16);

// A time list: i32 from kVersionIntTimes on, f32 (truncated) before.
Result ReadListTimes(CStream& stream, u32 storedVersion, std::vector<i32>& times) {
  if (storedVersion >= CMaterialUVControl::kVersionIntTimes) return ReadLegacyArray(stream, times);
  return ReadLegacyTimes(stream, times);
}

}  // namespace

Result CMaterialUVControl::LoadLists(CStream& stream, u32 storedVersion) {
  std::array<std::vector<i32>, kTrackCount> times;
  std::array<std::vector<UvRecord>, kTrackCount> uvs;
  std::array<std::vector<u32>, kTrackCount> types;
  Result r = kOk;
  for (u32 i = kDiffuse; i <= kGlow && Succeeded(r); ++i) {
    r = ReadListTimes(stream, storedVersion, times[i]);
    if (Succeeded(r)) r = ReadLegacyArray(stream, uvs[i]);
  }
  if (Succeeded(r) && storedVersion < kVersionNoDroppedPair) {
    // A channel these records kept and nothing reads any more.
    std::vector<i32> droppedTimes;
    std::vector<UvRecord> droppedUvs;
    r = ReadLegacyTimes(stream, droppedTimes);
    if (Succeeded(r)) r = ReadLegacyArray(stream, droppedUvs);
  }
  if (Succeeded(r) && storedVersion < kVersionNoDroppedPair) {
    // These records kept the translation before scaling.
    for (u32 i = kDiffuse; i <= kGlow; ++i) {
      for (UvRecord& uv : uvs[i]) {
        uv.translate.x = -(uv.translate.x * uv.scale.x);
        uv.translate.y = -(uv.translate.y * uv.scale.y);
      }
    }
  }
  if (Succeeded(r) && storedVersion >= kVersionDiffuseBlend) {
    r = ReadListTimes(stream, storedVersion, times[kDiffuseBlend]);
    if (Succeeded(r)) r = ReadLegacyArray(stream, uvs[kDiffuseBlend]);
  }
  if (Succeeded(r) && storedVersion >= kVersionTransitions) {
    for (u32 i = 0; i < kTrackCount && Succeeded(r); ++i) r = ReadLegacyArray(stream, types[i]);
  }
  if (Failed(r)) return r;
  if (storedVersion < kVersionTransitions) {
    try {
      for (u32 i = 0; i < kTrackCount; ++i) types[i].assign(times[i].size(), TT_STEP);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  for (u32 i = 0; i < kTrackCount; ++i) {
    std::vector<CMtrlUvKey> keys;
    r = BuildKeysFromArrays(times[i], {uvs[i].size(), types[i].size()}, keys,
                            [&](CMtrlUvKey& key, std::size_t k) {
                              key.Translate = uvs[i][k].translate;
                              key.Scale = uvs[i][k].scale;
                              key.TransitionType = types[i][k];
                            });
    for (const CMtrlUvKey& key : keys) {
      if (Succeeded(r)) r = PutUvKey(ChannelOfTrack(static_cast<Track>(i)), key, kLegacyFramesPerSecond);
    }
    if (Failed(r)) return r;
  }
  return kOk;
}

}  // namespace KT
