// KT::CAudioCueBase: the timing and level parameters shared by the two cue
// classes, KT::CAudioTrack (a list of child cues) and KT::CAudioCue (one
// piece of sample data).
//
// Cues nest: a cue held by a track points back at it (Parent, a plain
// pointer that holds no count; the track owns its children). The
// effective timing of a cue is its own parameters resolved through the
// chain of parent tracks (Flatten). Nothing here plays sound: the class
// stores the parameters and does the arithmetic a player would use.
//
// Record of the level, after the KT::CDorun level (little-endian): version
// pair 2.03; StartTime, BeginTime, EndTime, FadeTime, IntroTime (i32);
// Volume, Pitch, Speed (f32); Delay, Padding (i32); Priority (f32). Older
// forms (below 2.03) store the seven times as f32, truncated toward zero
// when loaded; Delay and Padding from 2.01, Priority from 2.02. DirtyTime,
// the envelope and Parent are run-time state and never stored.
//
// Numeric conventions of the resolution (they decide the exact integers):
// f32(x) is x rounded once to single precision; "t scaled by d" is
// ScaleTime below; integer sums wrap in 32 bits.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"

namespace KT {

class CAudioTrack;

class CAudioCueBase : public CDorun {
  KT_DECLARE_CLASS(CAudioCueBase)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionDelayPadding = 201;  // Delay and Padding stored from here on
  static constexpr u32 kVersionPriority = 202;      // Priority stored from here on
  static constexpr u32 kVersionIntegerTimes = 203;  // times as i32 instead of f32 from here on

  // The resolved timing of a cue (Flatten, FlattenUpTo).
  struct CFlatTiming {
    i32 Start = 0;
    i32 Delay = 0;
    f32 Volume = 1.0f;
    f32 Speed = 1.0f;
    f32 Pitch = 1.0f;
    i32 Begin = 0;
    i32 End = 0;
    i32 Intro = 0;
    i32 Fade = 0;
    i32 Padding = 0;
    f32 Priority = 0.0f;
    u32 LoopCount = 1;
    bool operator==(const CFlatTiming&) const = default;
  };

  // Times 0, factors 1.0, Priority 0.0, DirtyTime false, no Parent, no
  // envelope.
  CAudioCueBase();
  // Copies the eleven stored fields; no Parent, no envelope, DirtyTime
  // false.
  CAudioCueBase(const CAudioCueBase& other);
  ~CAudioCueBase() override;

  // --- numeric helpers ------------------------------------------------------------------
  // f32(x): NaN stays NaN, a value beyond the f32 range gives an infinity.
  static f32 RoundToF32(f64 x);
  // t scaled by d: t to f32, divided by d in double precision, rounded to
  // f32, truncated toward zero to 64 bits, cut to its low 32 bits. An
  // infinite or NaN quotient, or one outside the 64-bit range, gives 0
  // (so a rate of 0 makes every scaled time 0).
  static i32 ScaleTime(i32 t, f32 d);
  // a + b wrapping in 32 bits.
  static i32 AddTimes(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) + static_cast<u32>(b)); }
  // a - b wrapping in 32 bits.
  static i32 SubtractTimes(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) - static_cast<u32>(b)); }

  // --- envelope arithmetic ----------------------------------------------------------------
  // Inserts into (aTimes, aValues) every time of bTimes that aTimes lacks
  // (both ascend): a time before the first point takes the first value,
  // one after the last point the last value, one in between the value
  // interpolated linearly. An empty `a` takes b's times with the value 1.0.
  // aTimes and aValues of different lengths: kErrInvalidArg, nothing changes.
  static Result MergeEnvelopeTimes(std::vector<i32>& aTimes, std::vector<f32>& aValues,
                                   const std::vector<i32>& bTimes);
  // Merges both envelopes' times into each other, then a's values become
  // f32(b x a), a product above 1.0 becoming 1.0 (NaN stays). A pair of
  // vectors of different lengths: kErrInvalidArg, nothing changes.
  static Result MultiplyEnvelopes(std::vector<i32>& aTimes, std::vector<f32>& aValues, std::vector<i32> bTimes,
                                  std::vector<f32> bValues);

  // --- fields ----------------------------------------------------------------------------------
  // Every setter marks the object modified.
  i32 GetStartTime() const { return startTime_; }
  void SetStartTime(i32 value) { Set(startTime_, value); }
  i32 GetBeginTime() const { return beginTime_; }
  void SetBeginTime(i32 value) { Set(beginTime_, value); }
  i32 GetEndTime() const { return endTime_; }
  void SetEndTime(i32 value) { Set(endTime_, value); }
  i32 GetIntroTime() const { return introTime_; }
  void SetIntroTime(i32 value) { Set(introTime_, value); }
  i32 GetFadeTime() const { return fadeTime_; }
  void SetFadeTime(i32 value) { Set(fadeTime_, value); }
  f32 GetSpeed() const { return speed_; }
  void SetSpeed(f32 value) { Set(speed_, value); }
  f32 GetVolume() const { return volume_; }
  void SetVolume(f32 value) { Set(volume_, value); }
  f32 GetPitch() const { return pitch_; }
  void SetPitch(f32 value) { Set(pitch_, value); }
  i32 GetDelay() const { return delay_; }
  void SetDelay(i32 value) { Set(delay_, value); }
  i32 GetPadding() const { return padding_; }
  void SetPadding(i32 value) { Set(padding_, value); }
  f32 GetPriority() const { return priority_; }
  void SetPriority(f32 value) { Set(priority_, value); }
  bool GetDirtyTime() const { return dirtyTime_; }
  // The track that holds this cue (set and cleared by the track only).
  CAudioTrack* GetParent() const { return parent_; }
  const std::vector<i32>& GetEnvelopeTimes() const { return envelopeTimes_; }
  const std::vector<f32>& GetEnvelopeValues() const { return envelopeValues_; }
  // The gain envelope: times strictly ascending, one value per time (both
  // empty clears it); else kErrInvalidArg and nothing changes.
  Result SetEnvelope(const std::vector<i32>& times, const std::vector<f32>& values);

  // --- cue protocol -------------------------------------------------------------------------
  // Length in the parent's time; 0.0 here (tracks and cues answer).
  virtual f32 GetLength() const;
  // Length with the whole parent chain applied; 0.0 here.
  virtual f32 GetFlatLength() const;
  // Resolves the cue through its parents up to, not including, `stopAt`:
  // a cue whose Parent is null or `stopAt` is resolved as a root. Every
  // track on the resolved chain (the cue itself included) multiplies its
  // Loop into LoopCount. The chain is walked in a loop, not by recursion.
  virtual void FlattenUpTo(const CAudioCueBase* stopAt, CFlatTiming& out) const;
  // Resolves the cue through its whole parent chain.
  virtual void Flatten(CFlatTiming& out) const;
  // Combines the envelopes of the chain, from the topmost parent down, into
  // (times, values): each envelope's times are scaled by its cue's
  // resolved rate and moved by its resolved Delay and Start; the first
  // envelope found is taken as it is, the later ones are multiplied in
  // (MultiplyEnvelopes). Vectors of different lengths: kErrInvalidArg.
  virtual Result CollectEnvelope(std::vector<i32>& times, std::vector<f32>& values) const;

  // --- CBase protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a cue (else kErrNotFound, nothing changes): the
  // stored fields and the envelope are copied; its Parent and DirtyTime
  // stay.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 protected:
  // What a resolution through this cue multiplies into LoopCount (a
  // track's Loop; 1 for everything else).
  virtual u32 LoopFactor() const { return 1; }

 private:
  friend class CAudioTrack;

  template <typename T>
  void Set(T& field, T value) {
    field = value;
    SetModified();
  }
  void SetParent(CAudioTrack* parent) { parent_ = parent; }

  i32 startTime_ = 0;
  i32 beginTime_ = 0;
  i32 endTime_ = 0;
  i32 introTime_ = 0;
  i32 fadeTime_ = 0;
  f32 speed_ = 1.0f;
  f32 volume_ = 1.0f;
  f32 pitch_ = 1.0f;
  i32 delay_ = 0;
  i32 padding_ = 0;
  f32 priority_ = 0.0f;
  bool dirtyTime_ = false;
  CAudioTrack* parent_ = nullptr;
  std::vector<i32> envelopeTimes_;
  std::vector<f32> envelopeValues_;
};

}  // namespace KT
