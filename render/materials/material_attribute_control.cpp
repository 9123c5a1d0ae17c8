#include "render/materials/material_attribute_control.h"

#include <algorithm>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "render/lights/keyed_light_support.h"

namespace KT {

void CMaterialAttributeControl::CMtrlLightKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}
void CMaterialAttributeControl::CMtrlSelfKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}
void CMaterialAttributeControl::CMtrlTextureKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

namespace {

template <typename Key>
void SetTransition(Key& key, u32 type, f32 strength) {
  key.TransitionType = type;
  key.TransitionStrength = strength;
}

template <typename Track>
Result SetTrackKey(CControl& control, Track& track, const typename Track::KeyType& key) {
  const Result r = track.SetKey(key);
  if (Succeeded(r)) control.SetModified();
  return r;
}

template <typename Track>
Result RemoveTrackKey(CControl& control, Track& track, u32 index) {
  const Result r = track.RemoveKey(index);
  if (Succeeded(r)) control.SetModified();
  return r;
}

using Vec3 = CVector3<float>;
using Weights = CMaterialDataControl::Weights;

}  // namespace

Result CMaterialAttributeControl::SetLightKey(i32 time, f32 fps, const Vec3& ambient, const Vec3& diffuse,
                                              const Vec3& specular, f32 shininess, f32 shineStrength,
                                              f32 selfIllum, u32 transitionType, f32 transitionStrength) {
  CMtrlLightKey key;
  key.Time = ScaledFrameTime(*this, time, fps);
  SetTransition(key, transitionType, transitionStrength);
  key.Ambient = ambient;
  key.Diffuse = diffuse;
  key.Specular = specular;
  key.Shininess = shininess;
  key.ShineStrength = shineStrength;
  key.SelfIllum = selfIllum;
  return SetTrackKey(*this, lightKeys_, key);
}

Result CMaterialAttributeControl::SetSelfKey(i32 time, f32 fps, f32 opacity, f32 opfall, f32 softThresh,
                                             u32 transitionType, f32 transitionStrength) {
  CMtrlSelfKey key;
  key.Time = ScaledFrameTime(*this, time, fps);
  SetTransition(key, transitionType, transitionStrength);
  key.Opacity = opacity;
  key.Opfall = opfall;
  key.SoftThresh = softThresh;
  return SetTrackKey(*this, selfKeys_, key);
}

Result CMaterialAttributeControl::SetTextureKey(i32 time, f32 fps, const Weights& weights, u32 transitionType,
                                                f32 transitionStrength) {
  CMtrlTextureKey key;
  key.Time = ScaledFrameTime(*this, time, fps);
  SetTransition(key, transitionType, transitionStrength);
  key.Weights = weights;
  return SetTrackKey(*this, textureKeys_, key);
}

Result CMaterialAttributeControl::RemoveLightKey(u32 index) { return RemoveTrackKey(*this, lightKeys_, index); }
Result CMaterialAttributeControl::RemoveSelfKey(u32 index) { return RemoveTrackKey(*this, selfKeys_, index); }
Result CMaterialAttributeControl::RemoveTextureKey(u32 index) {
  return RemoveTrackKey(*this, textureKeys_, index);
}

Result CMaterialAttributeControl::RemoveLightKeys(const std::vector<bool>& keep) {
  return RemoveKeptTrackKeys(*this, lightKeys_, keep);
}
Result CMaterialAttributeControl::RemoveSelfKeys(const std::vector<bool>& keep) {
  return RemoveKeptTrackKeys(*this, selfKeys_, keep);
}
Result CMaterialAttributeControl::RemoveTextureKeys(const std::vector<bool>& keep) {
  return RemoveKeptTrackKeys(*this, textureKeys_, keep);
}

Result CMaterialAttributeControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CStandardMaterial* material = nullptr;
  const Result r = BoundObjectOf(*this, material);
  if (Failed(r)) return r;
  const i32 t = LocalTime(time);
  KeyBracket bracket;
  if (lightKeys_.Bracket(t, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    ambient_ = lightKeys_.Blend(bracket, &CMtrlLightKey::Ambient);
    diffuse_ = lightKeys_.Blend(bracket, &CMtrlLightKey::Diffuse);
    specular_ = lightKeys_.Blend(bracket, &CMtrlLightKey::Specular);
    shininess_ = lightKeys_.Blend(bracket, &CMtrlLightKey::Shininess);
    shineStrength_ = lightKeys_.Blend(bracket, &CMtrlLightKey::ShineStrength);
    selfIllum_ = lightKeys_.Blend(bracket, &CMtrlLightKey::SelfIllum);
  } else {
    ambient_ = material->Ambient;
    diffuse_ = material->Diffuse;
    specular_ = material->Specular;
    shininess_ = material->Shininess;
    shineStrength_ = material->ShineStrength;
    selfIllum_ = material->SelfIllum;
  }
  if (selfKeys_.Bracket(t, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    opacity_ = selfKeys_.Blend(bracket, &CMtrlSelfKey::Opacity);
    opfall_ = selfKeys_.Blend(bracket, &CMtrlSelfKey::Opfall);
    softThresh_ = selfKeys_.Blend(bracket, &CMtrlSelfKey::SoftThresh);
  } else {
    opacity_ = material->Opacity;
    opfall_ = material->Opfall;
    softThresh_ = material->SoftThresh;
  }
  if (textureKeys_.Bracket(t, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    weights_ = textureKeys_.Blend(bracket, &CMtrlTextureKey::Weights);
  } else {
    for (u32 i = 0; i < CStandardMaterial::kChannelCount; ++i) weights_[i] = material->GetTextureWeight(i);
  }
  return kOk;
}

i32 CMaterialAttributeControl::GetEndTime() const {
  return std::max({lightKeys_.GetEndTime(EndTimeRule::kAtLeastZero), selfKeys_.GetEndTime(EndTimeRule::kAtLeastZero),
                   textureKeys_.GetEndTime(EndTimeRule::kAtLeastZero)});
}

void CMaterialAttributeControl::DescribeMembers(CMemberVisitor& visitor) {
  lightKeys_.DescribeGroup(visitor, u"CMaterialAttributeControl Light", u"LightLastIndex", u"Light Keys");
  selfKeys_.DescribeGroup(visitor, u"CMaterialAttributeControl Self", u"SelfLastIndex", u"Self Keys");
  textureKeys_.DescribeGroup(visitor, u"CMaterialAttributeControl Texture", u"TextLastIndex", u"Texture Keys");
  CMaterialDataControl::DescribeMembers(visitor);
}

u32 CMaterialAttributeControl::GetMemorySize() const {
  return CMaterialDataControl::GetMemorySize() + 64 * (lightKeys_.Size() + textureKeys_.Size()) +
         28 * selfKeys_.Size() + 88;
}

Result CMaterialAttributeControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  Result r = storedVersion >= kVersionKeyRecords ? CControlLevel::LoadOwn(stream, record, storedVersion)
                                                 : LoadColumns(stream, storedVersion);
  if (Failed(r) || storedVersion >= kVersionUnscaled) return r;
  // These records kept key times in the control's scaled time.
  for (CMtrlLightKey& key : lightKeys_.MutableKeys()) key.Time = ClampKeyTime(UnscaleTime(key.Time));
  for (CMtrlSelfKey& key : selfKeys_.MutableKeys()) key.Time = ClampKeyTime(UnscaleTime(key.Time));
  for (CMtrlTextureKey& key : textureKeys_.MutableKeys()) key.Time = ClampKeyTime(UnscaleTime(key.Time));
  SetFrequency(1.0f);
  return kOk;
}

Result CMaterialAttributeControl::LoadColumns(CStream& stream, u32 storedVersion) {
  std::vector<i32> lightTimes, selfTimes, textureTimes;
  std::vector<Vec3> ambient, diffuse, specular;
  std::vector<f32> shininess, shineStrength, selfIllum, opacity, opfall, softThresh;
  std::vector<Weights> weights;
  std::vector<u32> lightTypes, selfTypes, textureTypes;
  Result r = ReadLegacyTimes(stream, lightTimes);
  if (Succeeded(r)) r = ReadLegacyArray(stream, ambient);
  if (Succeeded(r)) r = ReadLegacyArray(stream, diffuse);
  if (Succeeded(r)) r = ReadLegacyArray(stream, specular);
  for (std::vector<f32>* column : {&shininess, &shineStrength, &selfIllum}) {
    if (Succeeded(r)) r = ReadLegacyArray(stream, *column);
  }
  if (Succeeded(r)) r = ReadLegacyTimes(stream, selfTimes);
  for (std::vector<f32>* column : {&opacity, &opfall, &softThresh}) {
    if (Succeeded(r)) r = ReadLegacyArray(stream, *column);
  }
  if (Succeeded(r)) r = ReadLegacyTimes(stream, textureTimes);
  if (Succeeded(r)) r = ReadLegacyArray(stream, weights);
  const bool transitions = storedVersion >= kVersionTransitions;
  if (transitions) {
    for (std::vector<u32>* column : {&lightTypes, &selfTypes, &textureTypes}) {
      if (Succeeded(r)) r = ReadLegacyArray(stream, *column);
    }
  }
  if (Failed(r)) return r;
  // Without transition columns every key is TT_LINEAR: the columns count
  // as long as their tracks.
  if (!transitions) {
    lightTypes.assign(lightTimes.size(), TT_LINEAR);
    selfTypes.assign(selfTimes.size(), TT_LINEAR);
    textureTypes.assign(textureTimes.size(), TT_LINEAR);
  }
  r = BuildKeysFromArrays(lightTimes,
                          {ambient.size(), diffuse.size(), specular.size(), shininess.size(), shineStrength.size(),
                           selfIllum.size(), lightTypes.size()},
                          lightKeys_.MutableKeys(), [&](CMtrlLightKey& key, std::size_t i) {
                            key.Ambient = ambient[i];
                            key.Diffuse = diffuse[i];
                            key.Specular = specular[i];
                            key.Shininess = shininess[i];
                            key.ShineStrength = shineStrength[i];
                            key.SelfIllum = selfIllum[i];
                            key.TransitionType = lightTypes[i];
                          });
  if (Succeeded(r)) {
    r = BuildKeysFromArrays(selfTimes, {opacity.size(), opfall.size(), softThresh.size(), selfTypes.size()},
                            selfKeys_.MutableKeys(), [&](CMtrlSelfKey& key, std::size_t i) {
                              key.Opacity = opacity[i];
                              key.Opfall = opfall[i];
                              key.SoftThresh = softThresh[i];
                              key.TransitionType = selfTypes[i];
                            });
  }
  if (Succeeded(r)) {
    r = BuildKeysFromArrays(textureTimes, {weights.size(), textureTypes.size()}, textureKeys_.MutableKeys(),
                            [&](CMtrlTextureKey& key, std::size_t i) {
                              key.Weights = weights[i];
                              key.TransitionType = textureTypes[i];
                            });
  }
  return r;
}

Result CMaterialAttributeControl::CopyOwnTo(CMaterialAttributeControl& target) const {
  Result r = target.lightKeys_.Assign(lightKeys_.Keys());
  if (Succeeded(r)) r = target.selfKeys_.Assign(selfKeys_.Keys());
  if (Succeeded(r)) r = target.textureKeys_.Assign(textureKeys_.Keys());
  return r;
}

}  // namespace KT
