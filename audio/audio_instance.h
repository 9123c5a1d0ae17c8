// KT::CAudioInstance: one placed playback in the scene tree: resolved
// timing values (the quantities of a resolved cue, without Priority) and
// the sound data it plays. Nothing in the system fills an instance from a
// cue; LoopCount starts at 0 here.
//
// Record, after the KT::CSpatial level (little-endian): version pair 2.04;
// StartTime, BeginTime, EndTime, IntroTime, FadeTime (i32; IntroTime
// before FadeTime, unlike the cues); Volume, Pitch, Speed (f32); the 8-byte
// Data id; VolumeChannel (u32); DelayTime, PaddingTime (i32); LoopCount
// (u32). Older forms: below 2.04 the seven times are f32 (truncated toward
// zero); below 2.02 the Data id has 4 bytes; VolumeChannel from 2.01;
// DelayTime, PaddingTime and LoopCount from 2.03.
#pragma once

#include "scene/spatial.h"

namespace KT {

class CAudioInstance : public CSpatial {
  KT_DECLARE_CLASS(CAudioInstance)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionVolumeChannel = 201;
  static constexpr u32 kVersionWideDataId = 202;
  static constexpr u32 kVersionDelayPaddingLoop = 203;
  static constexpr u32 kVersionIntegerTimes = 204;

  // Times 0, factors 1.0, VolumeChannel 0, LoopCount 0, no Data.
  CAudioInstance();
  // The spatial copy and the twelve fields; Data shared.
  CAudioInstance(const CAudioInstance& other);
  ~CAudioInstance() override;

  // --- fields ---------------------------------------------------------------------------------
  u32 GetVolumeChannel() const { return volumeChannel_; }
  void SetVolumeChannel(u32 value) { Set(volumeChannel_, value); }
  i32 GetStartTime() const { return startTime_; }
  void SetStartTime(i32 value) { Set(startTime_, value); }
  i32 GetDelayTime() const { return delayTime_; }
  void SetDelayTime(i32 value) { Set(delayTime_, value); }
  i32 GetBeginTime() const { return beginTime_; }
  void SetBeginTime(i32 value) { Set(beginTime_, value); }
  i32 GetEndTime() const { return endTime_; }
  void SetEndTime(i32 value) { Set(endTime_, value); }
  i32 GetPaddingTime() const { return paddingTime_; }
  void SetPaddingTime(i32 value) { Set(paddingTime_, value); }
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
  u32 GetLoopCount() const { return loopCount_; }
  void SetLoopCount(u32 value) { Set(loopCount_, value); }
  CBase* GetData() const { return data_.Get(); }
  // Shares `data` (null empties the field) and marks the instance modified.
  void SetData(CBase* data);

  // --- spatial protocol --------------------------------------------------------------------------
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // A playback has no extent: kOk without a bound.
  Result UpdateWorldBound() override;

  // --- CBase protocol ------------------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The clone plays a clone of Data (made through the same map).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be an instance (else kErrNotFound, nothing changes):
  // the spatial part and the twelve fields; it shares Data, its former
  // data going to `displaced`.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Data as owned, then the spatial's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;

 private:
  template <typename T>
  void Set(T& field, T value) {
    field = value;
    SetModified();
  }

  u32 volumeChannel_ = 0;
  i32 startTime_ = 0;
  i32 delayTime_ = 0;
  i32 beginTime_ = 0;
  i32 endTime_ = 0;
  i32 paddingTime_ = 0;
  i32 introTime_ = 0;
  i32 fadeTime_ = 0;
  f32 speed_ = 1.0f;
  f32 volume_ = 1.0f;
  f32 pitch_ = 1.0f;
  u32 loopCount_ = 0;
  CPointer<CBase> data_;
};

}  // namespace KT
