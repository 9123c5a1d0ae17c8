// KT::CParticleDataControl: base of the controllers that drive a particle
// node (KT::CParticles, scene/particles.h): the simulator
// (KT::CParticleAtomControl), the emission switch (KT::CParticleEmitControl)
// and the stored single-control settings (KT::CParticleControl).
//
// The class is abstract: its factory entry makes nothing. Binding through
// SetObject refuses any object that is not a particle node; an object bound
// by a file is checked again by each controller's Update.
//
// Every constructor (default and copy) of a particle controller reseeds the
// C-runtime generator (CrtSrand, platform/crt_random.h) from the wall clock
// in seconds, so that each run of a scene draws other particles; all random
// draws of the simulation come from that one generator, so reseeding after
// construction makes a simulation reproducible.
//
// Record, after the KT::CDataControl part: the version pair 2.00 and no
// fields (a stored version above 2.00 answers kErrNewerVersion).
//
// Beside the base live the pieces the particle controllers share: the
// emitter and motion settings (ParticleSettings) and the on/off emission
// track (CEmitTrack).
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/vector.h"

namespace KT {

class CParticles;

class CParticleDataControl : public CDataControlLevel<CDataControl, ClassIndex::CParticleDataControl> {
 public:
  // The particle controllers' records hold a dropped word before their
  // settings below this version (SkipOldLeadingWord).
  static constexpr u32 kVersionNoLeadingWord = 200;

  // Both reseed the C-runtime generator from the wall clock.
  CParticleDataControl();
  CParticleDataControl(const CParticleDataControl& other);

  // Null, or a KT::CParticles: the controller's binding (CControl's
  // SetObject). Any other object: kErrInvalidArg (0x80000003), nothing
  // changes.
  Result SetObject(CDorun* object) override;
  // The class is abstract: kErrInvalidArg, nothing made.
  Result CreateInstance(CPointer<CBase>& out) const override;

 protected:
  // The bound particle node: kErrInvalidArg when unbound, kErrNotFound
  // (0x80000005) when a file bound another kind of object.
  Result GetBoundParticles(CParticles*& out) const;
};

// Records of the particle controllers below 2.00 hold one word before their
// settings, which nothing reads: from `storedVersion` below
// CParticleDataControl::kVersionNoLeadingWord it is read and dropped. The
// stream's code.
Result SkipOldLeadingWord(CStream& stream, u32 storedVersion);

// The factory entry for "CParticleDataControl": the class is abstract, so
// it answers kErrInvalidArg and makes nothing.
void CreateParticleDataControl(Result& result, CPointer<CBase>& out);

// The emitter and motion settings of a particle system, with their
// defaults. Two field lists cover them, since the single-control record
// stores its sizes and colours between the two.
struct ParticleSettings {
  using Vec3 = CVector3<float>;

  f32 Gravity = 0.0f;                   // fall acceleration, per step unit squared
  Vec3 GravityDir{0.0f, 0.0f, -1.0f};   // direction of the fall
  f32 Wind = 0.0f;                      // wind speed
  Vec3 WindDir{0.0f, 0.0f, 0.0f};       // wind direction
  f32 EmitRate = 1.0f;                  // particles per millisecond of local time
  Vec3 EmitterPos{0.0f, 0.0f, 0.0f};    // centre of the emitter box, node-local
  Vec3 EmitterSize{0.0f, 0.0f, 0.0f};   // edge lengths of the emitter box
  Vec3 MaxSpeed{2.0f, 10.0f, 2.0f};     // upper corner of the start velocity
  Vec3 MinSpeed{-2.0f, 0.0f, -2.0f};    // lower corner of the start velocity
  f32 MaxLife = 150.0f;                 // longest life, ms
  f32 MinLife = 30.0f;                  // shortest life, ms
  f32 MaxAngle = 0.0f;                  // upper bound of the spin per step unit
  f32 MinAngle = 0.0f;                  // lower bound of the spin per step unit
  f32 StartAngle = 0.0f;                // rotation of a new particle
  f32 DirRandomness = 0.0f;             // range of the direction jitter; 0 or below: none

  // Gravity to EmitterSize, in stored order (60 bytes).
  template <typename W, typename S>
  static void EmitterFields(W& w, S& s) {
    w.Float(u"Gravity", s.Gravity);
    w.Block(u"GravityDir", s.GravityDir);
    w.Float(u"Wind", s.Wind);
    w.Block(u"WindDir", s.WindDir);
    w.Float(u"EmitRate", s.EmitRate);
    w.Block(u"EmitterPos", s.EmitterPos);
    w.Block(u"EmitterSize", s.EmitterSize);
  }
  // MaxSpeed to DirRandomness, in stored order (48 bytes).
  template <typename W, typename S>
  static void MotionFields(W& w, S& s) {
    w.Block(u"MaxSpeed", s.MaxSpeed);
    w.Block(u"MinSpeed", s.MinSpeed);
    w.Float(u"MaxLife", s.MaxLife);
    w.Float(u"MinLife", s.MinLife);
    w.Float(u"MaxAngle", s.MaxAngle);
    w.Float(u"MinAngle", s.MinAngle);
    w.Float(u"StartAngle", s.StartAngle);
    w.Float(u"DirRandomness", s.DirRandomness);
  }
};

// An on/off emission track: ascending key times (Times, local ms) with one
// flag per time (Emit: emission on from that key on), and the cached index
// of the step search.
class CEmitTrack {
 public:
  using TimeTrack = CTimeTrack<TrackCacheCopy::kCopy>;

  const TimeTrack& Times() const { return times_; }
  TimeTrack& Times() { return times_; }
  const std::vector<bool>& Emit() const { return emit_; }
  u32 Size() const { return times_.Size(); }
  bool Empty() const { return times_.Empty(); }

  // Replaces the keys: ascending times and one flag per time
  // (kErrInvalidArg, nothing changed, when the counts differ;
  // kErrOutOfMemory, nothing changed).
  Result SetKeys(const std::vector<i32>& times, const std::vector<bool>& flags);

  // The key in force at `time` by the step search from the cache (which
  // moves to it): kKeySearchNone without keys, kKeySearchBefore before the
  // first key (`index` untouched), else the search's code with `index`.
  i32 FindStep(i32 time, u32& index) { return times_.FindStep(time, index); }
  // The last key time; 0 without keys.
  i32 GetEndTime() const { return times_.GetEndTime(EndTimeRule::kLastKey); }

  // The record: u32 n and n times (i32 from version major.minor of the
  // caller's class on, f32 truncated toward zero before), then u32 m and m
  // flag bytes (non-zero is true). Flags that do not pair with the times
  // one to one describe no track: kErrNotFound (0x80000005).
  Result Read(CStream& stream, u32 storedVersion, u32 major, u32 minor);
  Result Write(CStream& stream) const;
  u32 GetSaveSize() const { return times_.GetSaveSize() + 4 + static_cast<u32>(emit_.size()); }
  u32 GetMemorySize() const;
  // Per key: "Times" (time) and "Emit" (bool).
  void DescribeKeys(CMemberVisitor& visitor) const;

  // Every time becomes trunc(time / frequency) (single precision), kept
  // inside the key-time range. `frequency` must be finite and above 0.
  void DivideTimes(f32 frequency);

 private:
  TimeTrack times_;
  std::vector<bool> emit_;
};

}  // namespace KT
