// KT::CNodeStepControl: what the node layer and node selection controllers
// share. Each holds one track of step keys (a time and one integer, no
// transition): the value in force at a time is that of the last key at or
// before it. Keys are matched against t = trunc(time x Frequency); Repeat
// is not applied.
//
// Record, after the data-controller part (little-endian): version pair
// 1.01; the keys (u32 count, 24-byte key records). The cache is not
// stored. Version 1.00 records hold two parallel arrays instead (u32 count
// and that many 4-byte values each): f32 times (truncated toward zero) and
// the values. A value array shorter than the times does not describe whole
// keys: kErrNotFound (0x80000005); values past the time count are dropped.
//
// PickByKeyStart is the most-recent-key pick of the step controllers
// (these two and the boolean controller).
#pragma once

#include <new>

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "controllers/core/legacy_key_arrays.h"

namespace KT {

// Derived supplies its key class `Key` (a CTimeKey level with one 4-byte
// value), the value's member pointer kValue, the track's member name
// kTrackName, whether its member group reports LastIndex
// (kDescribesLastIndex), and Update.
template <typename Derived, ClassIndex Index, typename Key>
class CNodeStepControl : public CControlLevel<Derived, CDataControl, Index> {
 public:
  // A copy takes the cache; CopyTo keeps the target's.
  using StepTrack = CKeyTrack<Key, TrackCacheCopy::kKeepTarget>;

  // Version gates of the record.
  static constexpr u32 kVersionKeyRecords = 101;  // key records instead of two parallel arrays
  static constexpr TimePolicy kTimePolicy = TimePolicy::kScaled;

  const StepTrack& GetKeys() const { return keys_; }
  // The track for editing in place (loaders, tools, tests).
  StepTrack& EditKeys() { return keys_; }

  // Update writes into the node: kDone.
  Result Apply() override { return kDone; }
  // The last key's time as it is (negative included); 0 without keys.
  i32 GetEndTime() const override { return keys_.GetEndTime(EndTimeRule::kLastKey); }
  // False without keys; else trunc(time x Frequency) is not before the
  // first key.
  bool IsStartedAt(i32 time) const override {
    return !keys_.Empty() && this->ScaleTime(time) >= keys_[0].Time;
  }
  // At trunc(time x Frequency), the key in force (searched from the cache,
  // which moves to it): none, or the time before the first key, answers 0;
  // otherwise PickByKeyStart with that key's time and the controller's
  // Priority. Active is not consulted.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override {
    u32 index = 0;
    const i32 code = keys_.FindStep(this->ScaleTime(time), index);
    if (code == kKeySearchNone || code == kKeySearchBefore) return kOk;
    return PickByKeyStart(*this, keys_[index].Time, this->GetPriority(), bestTime, pickedTime, bestPriority);
  }

  // "<class> Member": LastIndex when the class reports it, then one array
  // element per key; then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override {
    static const WString group = MemberGroupName(Derived::StaticClassRecord());
    visitor.BeginGroup(group.c_str());
    visitor.OpenGroup();
    if (Derived::kDescribesLastIndex) {
      u32 last = keys_.GetLastIndex();
      visitor.UInt(u"LastIndex", &last);
    }
    keys_.DescribeMembers(visitor, Derived::kTrackName);
    visitor.EndGroup();
    CDataControl::DescribeMembers(visitor);
  }
  u32 GetMemorySize() const override {
    return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(keys_)) + keys_.GetMemorySize();
  }

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(Derived::kTrackName, self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
    if (storedVersion >= kVersionKeyRecords) return this->LoadFields(stream, storedVersion);
    (void)record;
    return ReadTwoArrayKeys(stream, keys_.MutableKeys(), Derived::kValue);
  }
  // The keys; the target's cache stays.
  Result CopyOwnTo(Derived& target) const {
    try {
      target.keys_ = keys_;
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  }

 protected:
  // The key in force at trunc(time x Frequency) into `index` and the cache:
  // the last key at or before it, the first key before the first key.
  // False without keys.
  bool FindKeyInForce(i32 time, u32& index) {
    if (keys_.GetLastIndex() > keys_.Size()) keys_.SetLastIndex(keys_.Size());
    const i32 code = keys_.FindStep(this->ScaleTime(time), index);
    if (code == kKeySearchNone) return false;
    if (code == kKeySearchBefore) {
      keys_.SetLastIndex(0);
      index = 0;
    }
    return true;
  }

  StepTrack keys_;
};

}  // namespace KT
