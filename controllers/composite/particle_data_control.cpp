#include "controllers/composite/particle_data_control.h"

#include <ctime>
#include <new>

#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "platform/crt_random.h"
#include "scene/particles.h"

namespace KT {

namespace {

// The generator restarts from the current second, as every particle
// controller's construction has always done.
void ReseedFromClock() { CrtSrand(static_cast<u32>(std::time(nullptr))); }

}  // namespace

CParticleDataControl::CParticleDataControl() { ReseedFromClock(); }

CParticleDataControl::CParticleDataControl(const CParticleDataControl& other) : CDataControlLevel(other) {
  ReseedFromClock();
}

Result CParticleDataControl::SetObject(CDorun* object) {
  if (object != nullptr && DynamicCast<CParticles>(object) == nullptr) return kErrInvalidArg;
  return CDataControl::SetObject(object);
}

Result CParticleDataControl::CreateInstance(CPointer<CBase>&) const { return kErrInvalidArg; }

Result CParticleDataControl::GetBoundParticles(CParticles*& out) const { return BoundObjectOf(*this, out); }

Result SkipOldLeadingWord(CStream& stream, u32 storedVersion) {
  if (storedVersion >= CParticleDataControl::kVersionNoLeadingWord) return kOk;
  u32 dropped = 0;
  return ReadU32(stream, dropped);
}

void CreateParticleDataControl(Result& result, CPointer<CBase>&) { result = kErrInvalidArg; }

// --- the emission track ------------------------------------------------------------------------

Result CEmitTrack::SetKeys(const std::vector<i32>& times, const std::vector<bool>& flags) {
  if (times.size() != flags.size()) return kErrInvalidArg;
  try {
    std::vector<i32> newTimes(times);
    std::vector<bool> newFlags(flags);
    times_.MutableTimes().swap(newTimes);
    emit_.swap(newFlags);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CEmitTrack::Read(CStream& stream, u32 storedVersion, u32 major, u32 minor) {
  emit_.clear();
  Result r = times_.Read(stream, static_cast<i32>(storedVersion), major, minor);
  if (Succeeded(r)) r = ReadBoolVector(stream, emit_);
  if (Failed(r)) return r;
  // The evaluation reads flag k for time k: a record that does not pair
  // them describes no track.
  return emit_.size() == times_.Size() ? kOk : kErrNotFound;
}

Result CEmitTrack::Write(CStream& stream) const {
  const Result r = times_.Write(stream);
  return Failed(r) ? r : WriteBoolVector(stream, emit_);
}

u32 CEmitTrack::GetMemorySize() const {
  return static_cast<u32>(sizeof(*this)) + times_.GetMemorySize() + static_cast<u32>((emit_.capacity() + 7) / 8);
}

void CEmitTrack::DescribeKeys(CMemberVisitor& visitor) const {
  for (u32 k = 0; k < times_.Size(); ++k) {
    const i32 time = times_[k];
    const bool flag = k < emit_.size() && emit_[k];
    visitor.Time(u"Times", &time);
    visitor.Bool(u"Emit", &flag);
  }
}

void CEmitTrack::DivideTimes(f32 frequency) {
  for (i32& time : times_.MutableTimes()) {
    time = ClampKeyTime(FloatToIntTrunc(static_cast<f32>(time) / frequency));
  }
}

}  // namespace KT
