// KT::CParticleAtomControl: the particle simulator. Bound to a particle node
// (KT::CParticles), it emits particles from a box-shaped emitter while the
// node's emit flag (ParticleFlag) is set, gives each a random life, speed,
// direction and spin, moves every live particle each step under its
// velocity, a random direction jitter, wind and a growing gravity fall, and
// sets each particle's size and colour from the key lists at its age
// fraction. It writes the node directly in Update; Apply does nothing.
//
// A step at `time` works at t = trunc(time x Frequency) (no repeat folding)
// with dt = t - LastCtrlTime; going backward resets the node's particles
// and counts as dt = 0. A step of dt ms advances the motion by s = dt / 7
// step units:
//   - emission (flag set): trunc(EmitRate x dt + AccQuantity) particles,
//     the fraction carried in AccQuantity, never more than the free slots
//     (slots whose remaining life is 0 or below, taken from slot 0 up). Each
//     new particle draws u = CrtRand() % 100 / 100 in this order: position
//     (3: EmitterPos + EmitterSize x (u - 0.5), carried by the node's world
//     rotation and translation, not its scale), life (1), direction (3:
//     between MinSpeed and MaxSpeed, normalised, then rotated), speed (1:
//     between the lengths of MinSpeed and MaxSpeed), spin (1: between
//     MinAngle and MaxAngle). It starts with SizeKey[0], ColorKey[0],
//     StartAngle, fall speed Gravity and jitter timer 0.
//   - every slot: remaining life -= dt; a slot still alive moves, any other
//     is cleared (size, position, velocities and colour zero; angle, life
//     left, spin, fall speed and jitter timer 0). Moving: the spin turns
//     the angle by spin x s; the fall GravityDir x fall speed x s is taken,
//     then the fall speed grows by Gravity / 4 x s; with DirRandomness of 1
//     or more, when the jitter timer is 0 three signs and a magnitude m =
//     CrtRand() % trunc(DirRandomness) are drawn and the velocity becomes
//     the base velocity + (m s3, m s2, m s1) / 1024, the timer then running
//     on by dt and going back to 0 at 1024 ms; otherwise the velocity is
//     the base velocity. The position moves by velocity x s, then the wind
//     WindDir x Wind x s, then the fall; size and colour come from the keys
//     at the age fraction; the live count (ParticleCounter) counts it.
// The node's Origin becomes EmitterPos + its world translation.
//
// Values along a life: SizeKey[k] and ColorKey[k] stand at age fraction
// PosRateKey[k]; between two keys the value is interpolated linearly; age
// 0 takes the first key, age 1 the last; an age outside every interval
// takes the nearest key; without keys size and colour are 0.
//
// DirRandomness above 0 and below 1 would give a jitter range of 0 (a
// modulo by zero): such a value gives no jitter.
//
// Record, after the KT::CParticleDataControl part (little-endian): version
// pair 2.00; Gravity, GravityDir, Wind, WindDir, EmitRate, EmitterPos,
// EmitterSize, MaxSpeed, MinSpeed (84 bytes); MaxLife, MinLife, MaxAngle,
// MinAngle, StartAngle, DirRandomness (24 bytes); SizeKey (u32 n, n x 12
// bytes), ColorKey (u32 n, n x 16 bytes), PosRateKey (u32 n, n f32). Below
// 2.00 a u32 before Gravity is read and dropped. The three lists stand for
// one list of keys: lists of different lengths fail the load with
// kErrNotFound (0x80000005). AccQuantity, LastIndex and LastCtrlTime are not
// stored; a loaded controller starts at LastCtrlTime 0.
#pragma once

#include <vector>

#include "controllers/composite/particle_data_control.h"
#include "controllers/core/control_level.h"
#include "objectmodel/color.h"

namespace KT {

class CParticleAtomControl
    : public CControlLevel<CParticleAtomControl, CParticleDataControl, ClassIndex::CParticleAtomControl> {
 public:
  using Vec3 = CVector3<float>;

  // Milliseconds of step time after which the direction jitter is drawn anew.
  static constexpr f32 kJitterPeriodMs = 1024.0f;
  // Milliseconds per step unit.
  static constexpr f32 kMsPerStepUnit = 7.0f;

  // Settings at their defaults; four zero keys of each kind.
  CParticleAtomControl();
  // Every field, the step state included.
  CParticleAtomControl(const CParticleAtomControl& other) = default;

  // --- settings ----------------------------------------------------------------------
  const ParticleSettings& GetSettings() const { return settings_; }
  ParticleSettings& EditSettings() {
    SetModified();
    return settings_;
  }
  const std::vector<Vec3>& GetSizeKey() const { return sizeKey_; }
  const std::vector<CColor>& GetColorKey() const { return colorKey_; }
  const std::vector<f32>& GetPosRateKey() const { return posRateKey_; }
  // Replaces the three key lists, which must have one entry per key
  // (kErrInvalidArg, nothing changed, when the lengths differ;
  // kErrOutOfMemory, nothing changed).
  Result SetKeys(const std::vector<Vec3>& sizes, const std::vector<CColor>& colors, const std::vector<f32>& rates);

  // The size and colour at age fraction `age` (see above).
  void ValueAt(f32 age, Vec3& size, CColor& color) const;

  // --- step state ----------------------------------------------------------------------
  f32 GetAccQuantity() const { return accQuantity_; }
  i32 GetLastCtrlTime() const { return lastCtrlTime_; }
  u32 GetLastIndex() const { return lastIndex_; }

  // --- controller protocol -------------------------------------------------------------
  // Inactive: kDone, nothing moves. Unbound: kErrInvalidArg; bound (by a
  // file) to an object that is not a particle node: kErrNotFound, nothing
  // written. Otherwise the step above; kOk.
  Result Update(i32 time) override;
  // Update wrote the node: kDone.
  Result Apply() override { return kDone; }
  i32 GetEndTime() const override { return kZeroTime; }

  // --- root protocol -------------------------------------------------------------------
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
  // "CParticleAtomControl Member": the settings (DirRandomness after
  // MinSpeed), "AccQuantity", "LastCtrlTime", "LastIndex", then the group
  // "Keys" with "SizeKey", "ColorKey" and "PosRateKey"; then the data
  // controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  // The fixed part of the record (116 bytes); the key lists follow by hand.
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    ParticleSettings::EmitterFields(w, self.settings_);
    ParticleSettings::MotionFields(w, self.settings_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Every field, the step state included.
  Result CopyOwnTo(CParticleAtomControl& target) const;

 private:
  void Emit(CParticles& node, u32 count);

  ParticleSettings settings_;
  std::vector<Vec3> sizeKey_;
  std::vector<CColor> colorKey_;
  std::vector<f32> posRateKey_;
  f32 accQuantity_ = 0.0f;
  u32 lastIndex_ = 0;
  i32 lastCtrlTime_ = 0;
};

}  // namespace KT
