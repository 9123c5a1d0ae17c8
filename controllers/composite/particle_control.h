// KT::CParticleControl: the single-control layout of a particle system's
// settings: emitter, motion, life and spin (ParticleSettings), a pair of
// sizes and a pair of colours, and the on/off emission track (Times,
// Emit). It is stored, copied, loaded and saved, and it can fold its
// Frequency into its key times, but it does not simulate: its Update
// answers kErrNotEvaluated (0x8000000B), which ends the data update
// of the particle node holding it.
//
// Record, after the KT::CParticleDataControl part (little-endian): version
// pair 2.02; Gravity, GravityDir, Wind, WindDir, EmitRate, EmitterPos,
// EmitterSize, Size1, Size2, Color1, Color2, MaxSpeed, MinSpeed, MaxLife,
// MinLife, MaxAngle, MinAngle, StartAngle, DirRandomness (164 bytes); Times
// (u32 n + n i32); Emit (u32 m + m bytes). Older forms:
//   2.01   the times are f32 (truncated toward zero);
//   2.00   no track is stored: it is built from the controller part's
//          Weight and Priority: a key at trunc(Weight) with emission on;
//          then, when Repeat is not RT_CLAMP, Repeat becomes RT_CLAMP and
//          nothing more is added, else a key at trunc(Priority) with
//          emission off;
//   < 2.00 as 2.00, with a u32 before Gravity that is read and dropped.
// Flags that do not pair with the times one to one fail the load with
// kErrNotFound (0x80000005).
#pragma once

#include <vector>

#include "controllers/composite/particle_data_control.h"
#include "controllers/core/control_level.h"
#include "objectmodel/color.h"

namespace KT {

class CParticleControl
    : public CControlLevel<CParticleControl, CParticleDataControl, ClassIndex::CParticleControl> {
 public:
  using Vec3 = CVector3<float>;

  // Version gates of the record.
  static constexpr u32 kVersionTrack = 201;          // Times and Emit stored from here on (f32 times)
  static constexpr u32 kVersionIntegerTimes = 202;   // key times as i32 from here on

  // The sizes and colours of the single layout.
  struct Looks {
    Vec3 Size1{1.0f, 1.0f, 0.0f};
    Vec3 Size2{1.0f, 1.0f, 0.0f};
    CColor Color1{1.0f, 1.0f, 1.0f, 1.0f};
    CColor Color2{0.0f, 0.0f, 0.0f, 1.0f};
  };

  CParticleControl() = default;
  // Every field.
  CParticleControl(const CParticleControl& other) = default;

  // --- settings --------------------------------------------------------------------
  const ParticleSettings& GetSettings() const { return settings_; }
  ParticleSettings& EditSettings() {
    SetModified();
    return settings_;
  }
  const Looks& GetLooks() const { return looks_; }
  Looks& EditLooks() {
    SetModified();
    return looks_;
  }
  const std::vector<i32>& GetTimes() const { return keys_.Times().Times(); }
  const std::vector<bool>& GetEmit() const { return keys_.Emit(); }
  // Replaces the keys: ascending times and one flag per time
  // (kErrInvalidArg, nothing changed, when the counts differ;
  // kErrOutOfMemory, nothing changed).
  Result SetKeys(const std::vector<i32>& times, const std::vector<bool>& flags);

  // Every key time becomes trunc(time / Frequency) (single precision) and
  // Frequency becomes 1.0, with or without keys; kOk. A Frequency that is
  // not a finite number above 0 cannot be divided by: kErrInvalidArg,
  // nothing changed.
  virtual Result BakeFrequency();

  // --- controller protocol -----------------------------------------------------------
  // Bound (by a file) to an object that is not a particle node:
  // kErrNotFound. Otherwise kErrNotEvaluated; nothing is done.
  Result Update(i32 time) override;
  // kDone.
  Result Apply() override { return kDone; }
  // The last key time; 0 without keys.
  i32 GetEndTime() const override { return keys_.GetEndTime(); }

  // --- root protocol -----------------------------------------------------------------
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
  // The data controller's members only.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  // The 164 bytes of settings; the track follows by hand.
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    ParticleSettings::EmitterFields(w, self.settings_);
    w.Block(u"Size1", self.looks_.Size1);
    w.Block(u"Size2", self.looks_.Size2);
    w.Block(u"Color1", self.looks_.Color1);
    w.Block(u"Color2", self.looks_.Color2);
    ParticleSettings::MotionFields(w, self.settings_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Every field.
  Result CopyOwnTo(CParticleControl& target) const;

 private:
  ParticleSettings settings_;
  Looks looks_;
  CEmitTrack keys_;
};

}  // namespace KT
