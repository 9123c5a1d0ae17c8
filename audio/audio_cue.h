// KT::CAudioCue: a leaf cue that plays one piece of sample data
// (KT::CAudioData, which several cues may share).
//
// Record, after the KT::CAudioCueBase level (little-endian): version pair
// 2.02 and the 8-byte id of Data (0 when empty), in every stored version.
// Link refuses (kErrNotFound) a Data reference that is not sample data.
#pragma once

#include "audio/audio_cue_base.h"
#include "audio/audio_data.h"

namespace KT {

class CAudioCue : public CAudioCueBase {
  KT_DECLARE_CLASS(CAudioCue)

 public:
  CAudioCue();
  // The cue-base copy (no Parent, no envelope); Data shared.
  CAudioCue(const CAudioCue& other);
  ~CAudioCue() override;

  CAudioData* GetData() const { return data_.Get(); }
  // Shares `data` (null empties the field); marks the cue modified, also
  // when the same data is set again.
  void SetData(CAudioData* data);

  // --- cue protocol -------------------------------------------------------------------
  // D / d + k, with D the duration of Data in ms (0 without Data), and,
  // from the cue resolved by itself (FlattenUpTo its own Parent): d the
  // resolved rate times the cue's own Speed and Pitch, k = Padding - End +
  // Delay of the resolution.
  f32 GetLength() const override;
  // The same from the resolution through the whole chain (Flatten).
  f32 GetFlatLength() const override;

  // --- CBase protocol -------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The clone plays a clone of Data (made through the same map).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a cue of this class (else kErrNotFound, nothing
  // changes); it shares Data, its former data going to `displaced`.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // Data as owned, then the chains.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;

 private:
  f32 LengthFrom(const CFlatTiming& r) const;

  CPointer<CAudioData> data_;
};

}  // namespace KT
