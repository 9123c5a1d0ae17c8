// KT::CParticleEmitControl: switches the emission of a particle node
// (KT::CParticles) on and off over time. It holds a step track of timed
// on/off keys (Times, with Emit[k] in force from Times[k] on) and sets the
// node's emit flag (ParticleFlag), which the particle simulator
// (KT::CParticleAtomControl) reads before emitting; particles already
// alive live on while emission is off. Before the first key, or without
// keys, it clears the node's particles and leaves emission off.
//
// Among several controllers a priority container (the data selector)
// picks the one whose key in force began last, as among boolean
// controllers.
//
// Record, after the KT::CParticleDataControl part (little-endian): version
// pair 2.00; u32 n + n i32 key times; u32 m + m flag bytes (0 or 1).
// Older records store the times as f32 (truncated toward zero). Flags that
// do not pair with the times one to one fail the load with kErrNotFound
// (0x80000005). LastIndex and LastCtrlTime are not stored.
#pragma once

#include <vector>

#include "controllers/composite/particle_data_control.h"
#include "controllers/core/control_level.h"

namespace KT {

class CParticleEmitControl
    : public CControlLevel<CParticleEmitControl, CParticleDataControl, ClassIndex::CParticleEmitControl> {
 public:
  // Version gates of the record.
  static constexpr u32 kVersionIntegerTimes = 200;  // key times as i32 from here on (f32 before)
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  CParticleEmitControl() = default;
  // Keys, LastIndex and LastCtrlTime.
  CParticleEmitControl(const CParticleEmitControl& other) = default;

  // --- keys ------------------------------------------------------------------------
  const CEmitTrack& GetKeys() const { return keys_; }
  const std::vector<i32>& GetTimes() const { return keys_.Times().Times(); }
  const std::vector<bool>& GetEmit() const { return keys_.Emit(); }
  // Replaces the keys: ascending times and one flag per time
  // (kErrInvalidArg, nothing changed, when the counts differ;
  // kErrOutOfMemory, nothing changed).
  Result SetKeys(const std::vector<i32>& times, const std::vector<bool>& flags);
  u32 GetLastIndex() const { return keys_.Times().GetLastIndex(); }
  i32 GetLastCtrlTime() const { return lastCtrlTime_; }

  // --- controller protocol -----------------------------------------------------------
  // Inactive: kDone. Unbound: kErrInvalidArg; bound (by a file) to an
  // object that is not a particle node: kErrNotFound; nothing written
  // either way. Without keys: the node's particles are reset and its emit
  // flag cleared; kDone. Otherwise LastCtrlTime = trunc(time x Frequency)
  // and, at the mapped time (MapTime over the end time), the key in force
  // is searched from the cache (which moves to it): before the first key
  // the particles are reset and the flag cleared (kDone); else the flag
  // takes that key's Emit (kOk).
  Result Update(i32 time) override;
  // Update wrote the flag: kDone.
  Result Apply() override { return kDone; }
  // The last key time; 0 without keys.
  i32 GetEndTime() const override { return keys_.GetEndTime(); }
  // False without keys; else trunc(time x Frequency) is not before the
  // first key.
  bool IsStartedAt(i32 time) const override;
  // The most recent key wins: PickByStepTrack (controllers/core/
  // control_level.h) over the key times.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override;

  // --- root protocol -----------------------------------------------------------------
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
  // "CParticleEmitControl Member": "LastIndex", "LastCtrlTime", then per
  // key "Times" and "Emit"; then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  // The record is irregular (a flag vector, version-gated times): Save,
  // GetSaveSize and LoadOwn write it by hand, so the field list is empty.
  template <typename W, typename Self>
  static void Fields(W&, Self&) {}
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Keys, LastIndex and LastCtrlTime.
  Result CopyOwnTo(CParticleEmitControl& target) const;

 private:
  CEmitTrack keys_;
  i32 lastCtrlTime_ = 0;
};

}  // namespace KT
