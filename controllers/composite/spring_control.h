// KT::CSpringControl: makes a spatial (a bone of a tail, a strand of hair)
// lag behind and swing around the pose the controllers before it in the
// chain produced, with a small mass-spring-damper simulation run from one
// evaluation to the next.
//
//   ST_Position  a mass point chases the spatial's world position, kept
//                within MaxLength of it, pulled by the spring (K, Damp,
//                Mass) and by Gravity along world -Z; the spatial's
//                translation becomes the mass point (taken into the
//                parent's space).
//   ST_Angle     the spatial's rotation trails its own previous world
//                position, sags under gravity (its rest pose) and is pulled
//                back toward the rest direction; MaxSpeed bounds the swing.
//
// The simulation advances only while the class-wide Play flag is set (false
// at start; the host sets it while it plays) and time moves forward; time 0
// and the first evaluation reset it. A spring always starts a step from the
// spatial's Local and world position as they stand when it runs, so it
// belongs after the controllers whose pose it follows. The per-frame
// driver evaluates it at sub-steps too (NeedsSubSteps).
//
// SpringRatio, DampRatio and MassRatio are percentages of K, Damp and
// Mass; MassRatio 0 switches the spring off (the spatial then takes the
// SlaveMode pose).
//
// TargetSpring names another spring whose spatial must update first (the
// update depth is raised above it); it is a plain target reference
// (CTargetRef): not counted, not saved with the spring, resolved at link.
//
// Record, after the CRTSControl part (64 bytes): the pair 2.06,
// TargetSpring id (u64), Gravity, MaxLength, K, Damp, Mass, MaxSpeed,
// fNotUsed (f32), nMoveActivity (i32), SpringType (u32), SpringRatio,
// DampRatio, MassRatio (f32). The simulation state is not stored.
// Older forms (below 2.06) hold arrays that are read and dropped, and the
// nine parameters as the first entry of an array of 36-byte records:
//   below 2.01       two u32 arrays first;
//   2.04 and 2.05    one array of 8-byte values, below 2.04 one u32 array;
//   then             the parameter array;
//   2.03 and later   SpringRatio and DampRatio (else both 100);
//   2.05             MassRatio (else MassRatio = the controller's Weight);
//   below 2.02       Weight 100 and Active true (before MassRatio takes the
//                    Weight).
// Every older form sets SlaveMode to SM_CURRENT_WORLD and leaves
// TargetSpring empty.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/target_ref.h"
#include "objectmodel/vector.h"

namespace KT {

class CSpatial;

class CSpringControl : public CControlLevel<CSpringControl, CRTSControl, ClassIndex::CSpringControl> {
 public:
  enum SpringTypeValue : u32 { ST_Position = 0, ST_Angle = 1 };
  static const char16_t* const kSpringTypeNames[2];

  // Version gates of the record.
  static constexpr u32 kVersionNoLeadingArrays = 201;  // the two leading u32 arrays are gone
  static constexpr u32 kVersionOwnWeight = 202;        // Weight and Active are the stored ones
  static constexpr u32 kVersionRatios = 203;           // SpringRatio and DampRatio stored
  static constexpr u32 kVersionWideArray = 204;        // the dropped array holds 8-byte values
  static constexpr u32 kVersionMassRatio = 205;        // MassRatio stored
  static constexpr u32 kVersionCurrent = 206;          // the 64-byte record above
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // The nine parameters, one 36-byte block on disk.
  struct Parameters {
    f32 Gravity = 0.0f;
    f32 MaxLength = 0.0f;
    f32 K = 0.0f;
    f32 Damp = 0.0f;
    f32 Mass = 0.0f;
    f32 MaxSpeed = 0.0f;
    f32 fNotUsed = 0.0f;
    i32 nMoveActivity = 0;
    u32 SpringType = ST_Position;
  };
  static_assert(sizeof(Parameters) == 36, "the parameters are one 36-byte block");

  // Repeat RT_CLAMP, SlaveMode SM_CURRENT_WORLD, ratios 100, every
  // parameter 0, no TargetSpring, the simulation at rest.
  CSpringControl();
  // The CRTSControl part, ratios, parameters, TargetSpring and the
  // simulation state from Fs to LastTime; Initial false.
  CSpringControl(const CSpringControl& other);

  // --- the class-wide Play flag (reported as "Play") ---------------------------------
  static bool IsPlaying();
  static void SetPlay(bool play);

  // --- settings -------------------------------------------------------------------------
  const Parameters& GetParameters() const { return params_; }
  void SetParameters(const Parameters& params) {
    params_ = params;
    SetModified();
  }
  f32 GetSpringRatio() const { return springRatio_; }
  f32 GetDampRatio() const { return dampRatio_; }
  f32 GetMassRatio() const { return massRatio_; }
  void SetRatios(f32 spring, f32 damp, f32 mass) {
    springRatio_ = spring;
    dampRatio_ = damp;
    massRatio_ = mass;
    SetModified();
  }
  CSpringControl* GetTargetSpring() const { return targetSpring_.Get(); }
  void SetTargetSpring(CSpringControl* target) {
    targetSpring_.Set(target);
    SetModified();
  }

  // --- simulation state -------------------------------------------------------------------
  bool IsInitial() const { return initial_; }
  const CVector3<float>& GetVelocity() const { return velocity_; }
  const CVector3<float>& GetTarget() const { return target_; }
  const CVector3<float>& GetAcceleration() const { return accel_; }
  const CVector3<float>& GetPrePos() const { return prePos_; }
  i32 GetLastTime() const { return lastTime_; }
  i32 GetTimeInterval() const { return timeInterval_; }

  // The step length in simulation units: float(TimeIntrval x
  // nMoveActivity) / 100, the product taken in 64 bits.
  f32 StepLength() const;

  // Evaluates the spring at `time`. Unbound: kErrInvalidArg; bound to an
  // object that is not a spatial: kErrNotFound. Not active, MassRatio 0 or
  // NaN, or a mass (0.01 x Mass x MassRatio) of 0: the SlaveMode pose,
  // kDone. Otherwise the first evaluation resets; with Play off time 0
  // resets and any other time re-applies the held Local (kOk); while
  // playing a later time steps (kOk), the same time does nothing (kDone)
  // and an earlier one re-applies the held Local (kDone).
  Result UpdateTransform(i32 time) override;
  // Raises `depth` above TargetSpring's spatial when it has one: that
  // spatial's answer; otherwise kOk and nothing changes.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  bool NeedsSubSteps() const override { return true; }
  bool IsSimulated() const override { return true; }
  i32 GetEndTime() const override { return kZeroTime; }

  // --- root protocol ------------------------------------------------------------------------
  // The base's link (TargetSpring from its stored id); once the tree is
  // linked a TargetSpring the delivered roots do not keep alive is emptied.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // "CSpringControl Member" (ratios, parameters, Initial, TimeIntrval,
  // Original, Play, the simulation vectors, LastTime), then the
  // CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  bool HasSubObjects() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Ref(u"TargetSpring", self.targetSpring_);
    w.Float(u"Gravity", self.params_.Gravity);
    w.Float(u"MaxLength", self.params_.MaxLength);
    w.Float(u"K", self.params_.K);
    w.Float(u"Damp", self.params_.Damp);
    w.Float(u"Mass", self.params_.Mass);
    w.Float(u"MaxSpeed", self.params_.MaxSpeed);
    w.Float(u"fNotUsed", self.params_.fNotUsed);
    w.Int(u"nMoveActivity", self.params_.nMoveActivity);
    w.Enum(u"SpringType", self.params_.SpringType, kSpringTypeNames, 2);
    w.Float(u"SpringRatio", self.springRatio_);
    w.Float(u"DampRatio", self.dampRatio_);
    w.Float(u"MassRatio", self.massRatio_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  Result CopyOwnTo(CSpringControl& target) const;

 private:
  f32 SpringMass() const;
  // One simulation step at `time` (the reset at time 0) in the model of
  // SpringType; other types do nothing. Sets LastTime.
  void Step(CSpatial& object, i32 time);
  void StepPosition(CSpatial& object, i32 time);
  void StepAngle(CSpatial& object, i32 time);
  // `transform` turned so that the bone from its parent to the spatial
  // hangs toward gravity.
  void TurnToRest(CRtsTransform& transform, const CSpatial& object) const;

  f32 springRatio_ = 100.0f;
  f32 dampRatio_ = 100.0f;
  f32 massRatio_ = 100.0f;
  Parameters params_;
  CTargetRef<CSpringControl> targetSpring_;
  bool initial_ = false;
  CVector3<float> fs_{0.0f, 0.0f, 0.0f};
  CVector3<float> fd_{0.0f, 0.0f, 0.0f};
  CVector3<float> velocity_{0.0f, 0.0f, 0.0f};
  CVector3<float> target_{0.0f, 0.0f, 0.0f};
  CVector3<float> accel_{0.0f, 0.0f, 0.0f};
  CVector3<float> prePos_{0.0f, 0.0f, 0.0f};
  i32 lastTime_ = 0;
  i32 timeInterval_ = 0;
  CVector3<float> original_{0.0f, 0.0f, 0.0f};
};

}  // namespace KT
