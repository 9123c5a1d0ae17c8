#include "render/lights/light_control.h"

#include <algorithm>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "render/lights/keyed_light_support.h"
#include "scene/light.h"

namespace KT {

namespace {

// A colour of 2.02 records with the transition into it.
struct StoredColor {
  CVector3<float> color;
  u32 transitionType;
};
static_assert(sizeof(StoredColor) == 16);

}  // namespace

void CLightControl::CColorKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }
void CLightControl::CMultiplierKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}
void CLightControl::CColorKey_V23::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

Result CLightControl::SetColorKey(i32 time, f32 fps, const Vec3& color) {
  CColorKey key;
  key.Time = ScaledFrameTime(*this, time, fps);
  key.Color = color;
  const Result r = colorKeys_.SetKey(key);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CLightControl::RemoveColorKey(u32 index) {
  const Result r = colorKeys_.RemoveKey(index);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CLightControl::RemoveColorKeys(const std::vector<bool>& keep) {
  return RemoveKeptTrackKeys(*this, colorKeys_, keep);
}

Result CLightControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CLight* light = nullptr;
  const Result r = BoundObjectOf(*this, light);
  if (Failed(r)) return r;
  const CColor& rgb = light->GetRgb();
  Vec3 color{rgb.r, rgb.g, rgb.b};
  f32 multiplier = light->GetMultiplier();
  const i32 t = LocalTime(time);
  KeyBracket bracket;
  if (colorKeys_.Bracket(t, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    color = colorKeys_.Blend(bracket, &CColorKey::Color);
  }
  if (multiplierKeys_.Bracket(t, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    multiplier = multiplierKeys_.Blend(bracket, &CMultiplierKey::Multiplier);
  }
  rgbData_[0] = color.x;
  rgbData_[1] = color.y;
  rgbData_[2] = color.z;
  rgbData_[3] = multiplier;
  return kOk;
}

i32 CLightControl::GetEndTime() const {
  return std::max(colorKeys_.GetEndTime(EndTimeRule::kAtLeastZero),
                  multiplierKeys_.GetEndTime(EndTimeRule::kAtLeastZero));
}

void CLightControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CLightControl Member");
  visitor.OpenGroup();
  colorKeys_.DescribeWithLastIndex(visitor, u"ColorLastIndex", u"Color Keys");
  multiplierKeys_.DescribeWithLastIndex(visitor, u"MultiplierLastIndex", u"Multiplier Keys");
  visitor.EndGroup();
  CLightDataControl::DescribeMembers(visitor);
}

u32 CLightControl::GetMemorySize() const {
  return CLightDataControl::GetMemorySize() + 56 + 28 * colorKeys_.Size() + 20 * multiplierKeys_.Size();
}

Result CLightControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionTwoTracks) return CControlLevel::LoadOwn(stream, record, storedVersion);
  std::vector<CColorKey>& colors = colorKeys_.MutableKeys();
  std::vector<CMultiplierKey>& multipliers = multiplierKeys_.MutableKeys();
  multipliers.clear();
  if (storedVersion == kVersionCombinedKeys) {
    std::vector<CColorKey_V23> combined;
    Result r = ReadKeyList(stream, combined);
    if (Failed(r)) return r;
    colors.assign(combined.size(), CColorKey());
    multipliers.assign(combined.size(), CMultiplierKey());
    for (std::size_t i = 0; i < combined.size(); ++i) {
      const CColorKey_V23& old = combined[i];
      for (CTransitionKey* split : {static_cast<CTransitionKey*>(&colors[i]), static_cast<CTransitionKey*>(&multipliers[i])}) {
        split->Time = old.Time;
        split->TransitionType = old.TransitionType;
        split->TransitionStrength = old.TransitionStrength;
      }
      colors[i].Color = old.Color;
      multipliers[i].Multiplier = old.Multiplier;
    }
    return kOk;
  }
  std::vector<i32> times;
  Result r = kOk;
  if (storedVersion < kVersionTransitions) {
    // Colours first, then one time per colour.
    std::vector<Vec3> values;
    r = ReadLegacyArray(stream, values);
    if (Succeeded(r)) r = ReadLegacyTimes(stream, times);
    // A time without a colour, or a colour without a time, is no whole key.
    if (Succeeded(r) && values.size() != times.size()) r = kErrNotFound;
    if (Succeeded(r)) {
      r = BuildKeysFromArrays(times, {values.size()}, colors,
                              [&](CColorKey& key, std::size_t i) { key.Color = values[i]; });
    }
  } else {
    std::vector<StoredColor> values;
    r = ReadLegacyTimes(stream, times);
    if (Succeeded(r)) r = ReadLegacyArray(stream, values);
    if (Succeeded(r)) {
      r = BuildKeysFromArrays(times, {values.size()}, colors, [&](CColorKey& key, std::size_t i) {
        key.Color = values[i].color;
        key.TransitionType = values[i].transitionType;
      });
    }
  }
  if (Failed(r)) return r;
  // These records kept key times in the controller's scaled time.
  const i32 offset = storedVersion < kVersionWeightOffset && GetWeight() != 0.0f ? FloatToIntTrunc(GetWeight()) : 0;
  for (CColorKey& key : colors) {
    key.Time = ClampKeyTime(UnscaleTime(key.Time));
    if (offset != 0) key.Time = SubtractTimeOffset(key.Time, offset);
  }
  SetFrequency(1.0f);
  return kOk;
}

Result CLightControl::CopyOwnTo(CLightControl& target) const {
  try {
    target.colorKeys_ = colorKeys_;
    target.multiplierKeys_ = multiplierKeys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
