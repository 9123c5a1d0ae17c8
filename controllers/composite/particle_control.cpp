#include "controllers/composite/particle_control.h"

#include <cmath>

#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/particles.h"

namespace KT {

Result CParticleControl::SetKeys(const std::vector<i32>& times, const std::vector<bool>& flags) {
  const Result r = keys_.SetKeys(times, flags);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CParticleControl::BakeFrequency() {
  const f32 frequency = GetFrequency();
  if (!std::isfinite(frequency) || !(frequency > 0.0f)) return kErrInvalidArg;
  keys_.DivideTimes(frequency);
  SetFrequency(1.0f);
  return kOk;
}

Result CParticleControl::Update(i32 /*time*/) {
  // Only a file can bind another kind of object; the answer then names the
  // binding, not the layout.
  if (GetObject() != nullptr && DynamicCast<CParticles>(GetObject()) == nullptr) return kErrNotFound;
  return kErrNotEvaluated;
}

Result CParticleControl::Save(CStream& stream, u32 flags) {
  const Result r = CControlLevel::Save(stream, flags);
  return Failed(r) ? r : keys_.Write(stream);
}

u32 CParticleControl::GetSaveSize() const { return CControlLevel::GetSaveSize() + keys_.GetSaveSize(); }

void CParticleControl::DescribeMembers(CMemberVisitor& visitor) { CDataControl::DescribeMembers(visitor); }

u32 CParticleControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(settings_) + sizeof(looks_)) +
         keys_.GetMemorySize();
}

Result CParticleControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  Result r = SkipOldLeadingWord(stream, storedVersion);
  if (Succeeded(r)) r = LoadFields(stream, storedVersion);
  if (Failed(r)) return r;
  if (storedVersion >= kVersionTrack) return keys_.Read(stream, storedVersion, 2, 2);

  // Records before the track kept one emission span in the controller's
  // Weight (start) and Priority (end); a repeating span had no end.
  std::vector<i32> times{ClampKeyTime(FloatToIntTrunc(GetWeight()))};
  std::vector<bool> flags{true};
  if (GetRepeat() != RT_CLAMP) {
    SetRepeat(RT_CLAMP);
  } else {
    times.push_back(ClampKeyTime(FloatToIntTrunc(GetPriority())));
    flags.push_back(false);
  }
  return keys_.SetKeys(times, flags);
}

Result CParticleControl::CopyOwnTo(CParticleControl& target) const {
  const Result r = target.keys_.SetKeys(keys_.Times().Times(), keys_.Emit());
  if (Failed(r)) return r;
  target.keys_.Times().SetLastIndex(keys_.Times().GetLastIndex());
  target.settings_ = settings_;
  target.looks_ = looks_;
  return kOk;
}

}  // namespace KT
