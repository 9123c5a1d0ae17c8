#include "controllers/composite/particle_emit_control.h"

#include "objectmodel/stream_fields.h"
#include "scene/particles.h"

namespace KT {

Result CParticleEmitControl::SetKeys(const std::vector<i32>& times, const std::vector<bool>& flags) {
  const Result r = keys_.SetKeys(times, flags);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CParticleEmitControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CParticles* node = nullptr;
  const Result r = GetBoundParticles(node);
  if (Failed(r)) return r;
  if (!keys_.Empty()) {
    lastCtrlTime_ = ScaleTime(time);
    u32 index = 0;
    const i32 code = keys_.FindStep(LocalTime(time), index);
    if (code != kKeySearchBefore) {
      // Keys edited in place may have fewer flags than times.
      node->SetParticleFlag(index < keys_.Emit().size() && keys_.Emit()[index]);
      return kOk;
    }
  }
  // Nothing in force: no particle may outlive the emission that made it.
  node->ResetParticles();
  node->SetParticleFlag(false);
  return kDone;
}

bool CParticleEmitControl::IsStartedAt(i32 time) const {
  return !keys_.Empty() && ScaleTime(time) >= keys_.Times()[0];
}

Result CParticleEmitControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  return PickByStepTrack(*this, keys_.Times(), time, bestTime, pickedTime, bestPriority);
}

Result CParticleEmitControl::Save(CStream& stream, u32 flags) {
  const Result r = CControlLevel::Save(stream, flags);
  return Failed(r) ? r : keys_.Write(stream);
}

u32 CParticleEmitControl::GetSaveSize() const { return CControlLevel::GetSaveSize() + keys_.GetSaveSize(); }

void CParticleEmitControl::DescribeMembers(CMemberVisitor& visitor) {
  u32 last = keys_.Times().GetLastIndex();
  visitor.BeginGroup(u"CParticleEmitControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &last);
  visitor.Time(u"LastCtrlTime", &lastCtrlTime_);
  keys_.DescribeKeys(visitor);
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CParticleEmitControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(lastCtrlTime_)) + keys_.GetMemorySize();
}

Result CParticleEmitControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  const Result r = keys_.Read(stream, storedVersion, 2, 0);
  if (Failed(r)) return r;
  keys_.Times().SetLastIndex(0);
  lastCtrlTime_ = 0;
  return kOk;
}

Result CParticleEmitControl::CopyOwnTo(CParticleEmitControl& target) const {
  const Result r = target.keys_.SetKeys(keys_.Times().Times(), keys_.Emit());
  if (Failed(r)) return r;
  target.keys_.Times().SetLastIndex(keys_.Times().GetLastIndex());
  target.lastCtrlTime_ = lastCtrlTime_;
  return kOk;
}

}  // namespace KT
