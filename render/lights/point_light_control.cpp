#include "render/lights/point_light_control.h"

#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "render/lights/keyed_light_support.h"
#include "render/lights/point_light.h"

namespace KT {

namespace {

// A range of 2.02 records with the transition into it.
struct StoredRange {
  f32 range;
  u32 transitionType;
};

}  // namespace

void CPointLightControl::CRangeKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }

Result CPointLightControl::SetKeyAt(CRangeKey key, f32 fps) {
  key.Time = ScaledFrameTime(*this, key.Time, fps);
  const Result r = keys_.SetKey(key);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CPointLightControl::SetRangeKey(i32 time, f32 fps, f32 range) {
  CRangeKey key;
  key.Time = time;
  key.Range = range;
  return SetKeyAt(key, fps);
}

Result CPointLightControl::RemoveRangeKey(u32 index) {
  const Result r = keys_.RemoveKey(index);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CPointLightControl::RemoveRangeKeys(const std::vector<bool>& keep) {
  return RemoveKeptTrackKeys(*this, keys_, keep);
}

Result CPointLightControl::Update(i32 time) {
  CPointLight* light = nullptr;
  const Result r = BoundObjectOf(*this, light);
  if (Failed(r)) return r;
  KeyBracket bracket;
  range_ = keys_.Bracket(LocalTime(time), BlendRule::kLaterKey, bracket) != kKeySearchNone
               ? keys_.Blend(bracket, &CRangeKey::Range)
               : light->GetRange();
  return kOk;
}

Result CPointLightControl::Apply() {
  CPointLight* light = nullptr;
  const Result r = BoundObjectOf(*this, light);
  if (Failed(r)) return r;
  CModifiedGuard keep(light);
  light->SetRange(range_);
  return kOk;
}

i32 CPointLightControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

void CPointLightControl::DescribeMembers(CMemberVisitor& visitor) {
  u32 last = keys_.GetLastIndex();
  visitor.BeginGroup(u"CPointLightControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &last);
  visitor.Float(u"Range", &range_);
  keys_.DescribeMembers(visitor, u"Keys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CPointLightControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 32 + 20 * keys_.Size(); }

Result CPointLightControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionCurrent) return CControlLevel::LoadOwn(stream, record, storedVersion);
  std::vector<CRangeKey> former;
  Result r = kOk;
  if (storedVersion >= kVersionKeyList) {
    r = ReadKeyList(stream, former);
  } else {
    std::vector<i32> times;
    r = ReadLegacyTimes(stream, times);
    if (Failed(r)) return r;
    if (storedVersion < kVersionTransitions) {
      std::vector<f32> ranges;
      r = ReadStoredRanges(stream, storedVersion < kVersionRangeValues, ranges);
      if (Succeeded(r)) {
        r = BuildKeysFromArrays(times, {ranges.size()}, former,
                                [&](CRangeKey& key, std::size_t i) { key.Range = ranges[i]; });
      }
    } else {
      std::vector<StoredRange> values;
      r = ReadLegacyArray(stream, values);
      if (Succeeded(r)) {
        r = BuildKeysFromArrays(times, {values.size()}, former, [&](CRangeKey& key, std::size_t i) {
          key.Range = values[i].range;
          key.TransitionType = values[i].transitionType;
        });
      }
    }
  }
  if (Failed(r)) return r;
  // These records kept key times in the controller's scaled time and off
  // the frame grid: each key is set again through the setter's rule.
  keys_.Clear();
  for (CRangeKey key : former) {
    key.Time = ClampKeyTime(UnscaleTime(key.Time));
    r = SetKeyAt(key, kRebuildFps);
    if (Failed(r)) return r;
  }
  SetFrequency(1.0f);
  return kOk;
}

Result CPointLightControl::CopyOwnTo(CPointLightControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
