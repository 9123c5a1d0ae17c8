// KT::CBooleanControl: switches the spatial object it is bound to on and
// off over time from a step track of on/off keys (ShareTime, with the
// state of key k in ActiveKeys[k]). With ReferenceParent set the object is
// on only while its parent is on as well, and it is data-updated after its
// parent. Among several boolean controllers a priority container picks the
// one whose key in force began last.
//
// Record, after the data-controller part (little-endian): version pair
// 2.03; u32 n + n i32 key times; u32 m + m flag bytes (0 or 1);
// ReferenceParent (1 byte). Older records: 2.02 has no ReferenceParent
// (false); 2.01 also stores the times as f32 (truncated toward zero);
// below 2.01: kErrNewerVersion (0x8000000A), as the format has always
// refused them. Fewer flags than times do not describe whole keys:
// kErrNotFound (0x80000005); flags past the time count are dropped.
#pragma once

#include <vector>

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"

namespace KT {

class CBooleanControl : public CControlLevel<CBooleanControl, CDataControl, ClassIndex::CBooleanControl> {
 public:
  // Version gates of the record.
  static constexpr u32 kVersionOldest = 201;           // older records are refused
  static constexpr u32 kVersionIntegerTimes = 202;     // key times as i32 from here on (f32 before)
  static constexpr u32 kVersionReferenceParent = 203;  // ReferenceParent stored from here on
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  // A copy takes the cache; CopyTo keeps the target's.
  using TimeTrack = CTimeTrack<TrackCacheCopy::kKeepTarget>;

  CBooleanControl() = default;
  // Keys, cache and ReferenceParent.
  CBooleanControl(const CBooleanControl& other) = default;

  // --- keys ------------------------------------------------------------------------
  const TimeTrack& GetShareTime() const { return shareTime_; }
  const std::vector<bool>& GetActiveKeys() const { return activeKeys_; }
  // Replaces the keys: ascending times and one state per time
  // (kErrInvalidArg, nothing changed, when the counts differ;
  // kErrOutOfMemory, nothing changed).
  Result SetKeys(const std::vector<i32>& times, const std::vector<bool>& states);
  bool GetReferenceParent() const { return referenceParent_; }
  void SetReferenceParent(bool value) {
    referenceParent_ = value;
    SetModified();
  }

  // --- controller protocol -----------------------------------------------------------
  // Inactive: kDone. Unbound: kErrInvalidArg; bound to an object that is
  // not a spatial: kErrNotFound; nothing written either way. At the mapped
  // time (MapTime over the end time), with the cache clamped to the key
  // count and moved to the key in force (the first before the first key):
  //   keys: the object's Active = that key's state, ANDed with the
  //     parent's Active when ReferenceParent is set and there is a parent;
  //     kOk;
  //   no keys, ReferenceParent clear: kDone, nothing written;
  //   no keys, ReferenceParent set: Active = the parent's Active (true
  //     without a parent); kOk.
  Result Update(i32 time) override;
  // Update wrote the flag: kDone.
  Result Apply() override { return kDone; }
  // The last key time; 0 without keys.
  i32 GetEndTime() const override { return shareTime_.GetEndTime(EndTimeRule::kLastKey); }
  // When active, with ReferenceParent set and a bound spatial that has a
  // parent: `depth` is raised above the parent's data-update depth
  // (RaiseDataUpdateDepth) and the answer is the parent's (kOk when it
  // succeeds). Otherwise kDone and `depth` is unchanged.
  Result GetDataUpdateDepth(void* context, i32& depth) override;
  // False without keys; else trunc(time x Frequency) is not before the
  // first key.
  bool IsStartedAt(i32 time) const override;
  // At trunc(time x Frequency), the key in force (searched from the cache,
  // which moves to it): none, or the time before the first key, answers 0;
  // otherwise PickByKeyStart (controllers/core/control_level.h) with
  // that key's time and Priority.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override;

  // --- root protocol -----------------------------------------------------------------
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
  // "CBooleanControl Member": LastIndex, ReferenceParent, then per key
  // "ShareTime" and "ActiveKeys"; then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  // The record is irregular (a flag vector, version-gated forms): Save,
  // GetSaveSize and LoadOwn write it by hand, so the field list is empty.
  template <typename W, typename Self>
  static void Fields(W&, Self&) {}
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Keys and ReferenceParent; the target's cache stays.
  Result CopyOwnTo(CBooleanControl& target) const;

 private:
  TimeTrack shareTime_;
  std::vector<bool> activeKeys_;
  bool referenceParent_ = false;
};

}  // namespace KT
