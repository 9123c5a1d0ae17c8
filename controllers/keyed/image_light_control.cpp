#include "controllers/keyed/image_light_control.h"

#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "controllers/keyed/counted_legacy_keys.h"

namespace KT {

namespace {

#pragma pack(push, 1)
// A key of the 1.00 record, 5 bytes.
struct LegacyIblPair {
  u8 Active;
  f32 Strength;
};
#pragma pack(pop)
static_assert(sizeof(LegacyIblPair) == 5);

}  // namespace

void CImageLightControl::CIblKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }

Result CImageLightControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CImageLight* light = nullptr;
  const Result r = BoundObjectOf(*this, light);
  if (Failed(r)) return r;
  bool active = light->IsActive();
  f32 strength = light->Strength;
  KeyBracket bracket;
  if (keys_.Bracket(LocalTime(time), BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    active = keys_.Step(bracket, &CIblKey::Active);
    strength = keys_.Blend(bracket, &CIblKey::Strength);
  }
  const CModifiedGuard guard(light);
  light->SetActive(active);
  light->Strength = strength;
  return kOk;
}

i32 CImageLightControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

void CImageLightControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CImageLightControl Member");
  visitor.OpenGroup();
  keys_.DescribeWithLastIndex(visitor, u"LastIndex", u"IblKeys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CImageLightControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(keys_)) + keys_.GetMemorySize();
}

Result CImageLightControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion != kVersionParallelArrays) return CControlLevel::LoadOwn(stream, record, storedVersion);
  std::vector<i32> times;
  std::vector<LegacyIblPair> pairs;
  std::vector<u32> types;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, pairs);
  if (Succeeded(r)) r = ReadLegacyArray(stream, types);
  if (Failed(r)) return r;
  return BuildCountedKeys(pairs.size(), {times.size(), types.size()}, keys_.MutableKeys(),
                          [&](CIblKey& key, std::size_t i) {
                            key.Time = times[i];
                            key.Active = pairs[i].Active != 0;
                            key.Strength = pairs[i].Strength;
                            key.TransitionType = types[i];
                          });
}

Result CImageLightControl::CopyOwnTo(CImageLightControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
