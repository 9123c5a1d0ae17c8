#include "render/lights/spot_light_control.h"

#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "render/lights/keyed_light_support.h"
#include "render/lights/spot_light.h"

namespace KT {

void CSpotLightControl::CSpotLightKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

Result CSpotLightControl::SetKey(i32 time, f32 fps, const Vec3& falloffPhiTheta, f32 range) {
  CSpotLightKey key;
  key.Time = ScaledFrameTime(*this, time, fps);
  key.FalloffPhiTheta = falloffPhiTheta;
  key.Range = range;
  const Result r = keys_.SetKey(key);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CSpotLightControl::RemoveKey(u32 index) {
  const Result r = keys_.RemoveKey(index);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CSpotLightControl::RemoveKeys(const std::vector<bool>& keep) { return RemoveKeptTrackKeys(*this, keys_, keep); }

Result CSpotLightControl::Update(i32 time) {
  CSpotLight* light = nullptr;
  const Result r = BoundObjectOf(*this, light);
  if (Failed(r)) return r;
  KeyBracket bracket;
  if (keys_.Bracket(LocalTime(time), BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    range_ = keys_.Blend(bracket, &CSpotLightKey::Range);
    falloffPhiTheta_ = keys_.Blend(bracket, &CSpotLightKey::FalloffPhiTheta);
  } else {
    range_ = light->GetRange();
    falloffPhiTheta_ = {light->GetFalloff(), light->GetPhi(), light->GetTheta()};
  }
  return kOk;
}

Result CSpotLightControl::Apply() {
  CSpotLight* light = nullptr;
  const Result r = BoundObjectOf(*this, light);
  if (Failed(r)) return r;
  CModifiedGuard keep(light);
  light->SetRange(range_);
  light->SetFalloff(falloffPhiTheta_.x);
  light->SetPhi(falloffPhiTheta_.y);
  light->SetTheta(falloffPhiTheta_.z);
  return kOk;
}

i32 CSpotLightControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

void CSpotLightControl::DescribeMembers(CMemberVisitor& visitor) {
  u32 last = keys_.GetLastIndex();
  visitor.BeginGroup(u"CSpotLightControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &last);
  visitor.Float(u"Range", &range_);
  visitor.Vector3(u"FalloffPhiTheta", &falloffPhiTheta_);
  keys_.DescribeMembers(visitor, u"Keys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CSpotLightControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 48 + 32 * keys_.Size(); }

Result CSpotLightControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionKeyList) return CControlLevel::LoadOwn(stream, record, storedVersion);
  std::vector<i32> times;
  std::vector<Vec3> triples;
  std::vector<f32> ranges;
  std::vector<u32> types;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, triples);
  if (Succeeded(r)) r = ReadStoredRanges(stream, storedVersion < kVersionRangeValues, ranges);
  if (Succeeded(r) && storedVersion >= kVersionTransitions) r = ReadLegacyArray(stream, types);
  if (Failed(r)) return r;
  const std::size_t typeCount = storedVersion >= kVersionTransitions ? types.size() : times.size();
  return BuildKeysFromArrays(times, {triples.size(), ranges.size(), typeCount}, keys_.MutableKeys(),
                             [&](CSpotLightKey& key, std::size_t i) {
                               key.FalloffPhiTheta = triples[i];
                               key.Range = ranges[i];
                               if (!types.empty()) key.TransitionType = types[i];
                             });
}

Result CSpotLightControl::CopyOwnTo(CSpotLightControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
