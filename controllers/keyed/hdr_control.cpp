#include "controllers/keyed/hdr_control.h"

#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "controllers/keyed/counted_legacy_keys.h"

namespace KT {

namespace {

#pragma pack(push, 1)
// The settings of a key of the 1.00 record, 30 bytes.
struct LegacyHdrRecord {
  u8 HDREnable;
  f32 BrightThreshold;
  f32 BloomScale;
  u8 ToneEnable;
  f32 GaussianScalar;
  f32 Exposure;
  f32 AdaptSpeed;
  u32 GlareType;
  f32 GlareScale;
};
#pragma pack(pop)
static_assert(sizeof(LegacyHdrRecord) == 30);

}  // namespace

void CHDRControl::CHdrKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }

CHdrSettings CHDRControl::CHdrKey::ToSettings() const {
  CHdrSettings s;
  s.HDREnable = HDREnable;
  s.HDRBrightThreshold = BrightThreshold;
  s.HDRBloomScale = BloomScale;
  s.HDRToneEnable = ToneEnable;
  s.HDRGaussianScalar = GaussianScalar;
  s.HDRExposure = Exposure;
  s.HDRAdaptSpeed = AdaptSpeed;
  s.HDRGlareType = GlareType;
  s.HDRGlareScale = GlareScale;
  return s;
}

CHdrSettings CHDRControl::Evaluate(i32 time, const CHdrSettings& current) {
  KeyBracket b;
  if (keys_.Bracket(time, BlendRule::kLaterKey, b) == kKeySearchNone) return current;
  CHdrSettings s = keys_[b.prev].ToSettings();
  s.HDRBrightThreshold = keys_.Blend(b, &CHdrKey::BrightThreshold);
  s.HDRBloomScale = keys_.Blend(b, &CHdrKey::BloomScale);
  s.HDRGaussianScalar = keys_.Blend(b, &CHdrKey::GaussianScalar);
  s.HDRExposure = keys_.Blend(b, &CHdrKey::Exposure);
  s.HDRAdaptSpeed = keys_.Blend(b, &CHdrKey::AdaptSpeed);
  s.HDRGlareScale = keys_.Blend(b, &CHdrKey::GlareScale);
  return s;
}

Result CHDRControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CDorun* object = GetObject();
  if (object == nullptr) return kErrInvalidArg;
  auto* owner = dynamic_cast<IHdrSettingsOwner*>(object);
  if (owner == nullptr) return kErrNotFound;
  const bool modified = owner->IsHdrOwnerModified();
  owner->SetHdrSettings(Evaluate(LocalTime(time), owner->GetHdrSettings()));
  owner->SetHdrOwnerModified(modified);
  return kOk;
}

i32 CHDRControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

void CHDRControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CHDRControl Member");
  visitor.OpenGroup();
  keys_.DescribeWithLastIndex(visitor, u"LastIndex", u"CHdrKey");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CHDRControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(keys_)) + keys_.GetMemorySize();
}

Result CHDRControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion != kVersionParallelArrays) return CControlLevel::LoadOwn(stream, record, storedVersion);
  std::vector<i32> times;
  std::vector<LegacyHdrRecord> settings;
  std::vector<u32> types;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, settings);
  if (Succeeded(r)) r = ReadLegacyArray(stream, types);
  if (Failed(r)) return r;
  return BuildCountedKeys(settings.size(), {times.size(), types.size()}, keys_.MutableKeys(),
                          [&](CHdrKey& key, std::size_t i) {
                            const LegacyHdrRecord& s = settings[i];
                            key.Time = times[i];
                            key.HDREnable = s.HDREnable != 0;
                            key.BrightThreshold = s.BrightThreshold;
                            key.BloomScale = s.BloomScale;
                            key.ToneEnable = s.ToneEnable != 0;
                            key.GaussianScalar = s.GaussianScalar;
                            key.Exposure = s.Exposure;
                            key.AdaptSpeed = s.AdaptSpeed;
                            key.GlareType = s.GlareType;
                            key.GlareScale = s.GlareScale;
                            key.TransitionType = types[i];
                          });
}

Result CHDRControl::CopyOwnTo(CHDRControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
