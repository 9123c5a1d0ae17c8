// KT::CAudioTrack: a cue that holds an ordered list of child cues (tracks
// or plain cues) and a repeat count.
//
// The track owns its children through counted references and is their
// Parent. Invariants: a cue's Parent is a track exactly while that track
// lists it, a cue is in at most one track, and no track is its own
// ancestor. Every operation that would break them is refused; whenever a
// track stops listing a cue (RemoveCue, a replacing AddCue, the children
// displaced by CopyTo, the track's destruction) it clears that cue's
// Parent, so no cue is left pointing at a track that is gone.
//
// Record, after the KT::CAudioCueBase level (little-endian): version pair
// 2.01; the child count n and one 8-byte id per child (0 for an empty
// slot); Loop (u32, from 2.01; older records load with Loop 1). Load keeps
// the stored order. Link refuses (kErrNotFound) a child that is not a cue
// and one that would make the track hold itself; a child another track of
// the file already holds, or one listed twice, stays with its first track.
//
// The walks down nested tracks (destruction, Find, Collect, marking,
// resolving, save registration, Clone, the lengths) run as loops over an explicit list,
// so a file nesting tracks as deep as its size allows costs no machine
// stack.
#pragma once

#include <unordered_map>
#include <vector>

#include "audio/audio_cue_base.h"

namespace KT {

class CAudioTrack : public CAudioCueBase {
  KT_DECLARE_CLASS(CAudioTrack)

 public:
  // Version gate of the record.
  static constexpr u32 kVersionLoop = 201;  // Loop stored from here on

  // No children, Loop 1.
  CAudioTrack();
  // The cue-base copy (no Parent, no envelope), Loop; no children.
  CAudioTrack(const CAudioTrack& other);
  // Releases the children, clearing their Parent.
  ~CAudioTrack() override;

  // --- children --------------------------------------------------------------------------------
  const std::vector<CPointer<CAudioCueBase>>& GetCues() const { return cues_; }
  // Makes this track the cue's Parent and inserts it before the first
  // child whose resolved start (Flatten) is above or equal to the cue's;
  // a child with an equal start leaves the list (its Parent cleared) when
  // `replaceSameStart` is true. kOk. Null: kErrInvalidArg; a cue that has a
  // Parent: kErrNotFound; this track or one of its ancestors:
  // kErrInvalidArg. Nothing changes on a refusal.
  Result AddCue(CAudioCueBase* cue, bool replaceSameStart);
  // Takes the cue out of the list and clears its Parent; a cue that is not
  // a child changes nothing. kOk; null: kErrInvalidArg.
  Result RemoveCue(CAudioCueBase* cue);
  u32 GetLoop() const { return loop_; }
  void SetLoop(u32 loop) {
    loop_ = loop;
    SetModified();
  }
  // True when `cue` is this track or one of its ancestors.
  bool IsSelfOrAncestor(const CAudioCueBase* cue) const;

  // --- cue protocol ------------------------------------------------------------------------------
  // (Padding + m) / (Pitch x Speed), m the latest end (child length plus
  // child StartTime) among the children, 0.0 without children.
  f32 GetLength() const override;
  // (Padding + m) / d with d the product of the resolved rate (Flatten of
  // the track) and the track's own Speed and Pitch again.
  f32 GetFlatLength() const override;

  // --- CBase protocol ------------------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The clone's children are clones of these, added with AddCue replacing
  // equal starts (so children with equal resolved starts collapse to the
  // last one).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a track (else kErrNotFound) that is not one of this
  // track's descendants (kErrInvalidArg); nothing changes on a refusal. The
  // cue-base fields and Loop are copied and the children move: the
  // target's former children go to `displaced` (their Parent cleared),
  // this track's children become the target's and this track ends empty.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The track (kDone when registered already: its children are still
  // visited), then its children.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Each child as owned, then the chains.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  u32 LoopFactor() const override { return loop_; }

 private:
  // Empties the list into `out`, clearing the Parent of every child that
  // names this track.
  void ReleaseCues(std::vector<CPointer<CAudioCueBase>>& out);
  // Pre-order list of the tracks below and including this one.
  std::vector<CAudioTrack*> SubtreeTracks();
  // (Padding + latestChildEnd) / (Pitch x Speed).
  f32 OwnLength(f32 latestChildEnd) const;
  // The lengths of every track below this one, computed bottom up.
  std::unordered_map<const CAudioCueBase*, f32> ChildTrackLengths() const;

  std::vector<CPointer<CAudioCueBase>> cues_;
  u32 loop_ = 1;
  // Children queued by Load for Link.
  u32 queuedCues_ = 0;
};

}  // namespace KT
