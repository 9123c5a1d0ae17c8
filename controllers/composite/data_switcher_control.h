// KT::CDataSwitcherControl: the data container that lets one child
// evaluate, chosen by a step track of channel keys.
//
// The children (KT::CDataControl, the child list of controllers/core/
// layer.h) are numbered by their index in the list. At a time the key in
// effect (the last key at or before the local time; before the first key,
// the first) names a channel; the first active child at or after that
// index runs Update at the local time. Apply hands on to the child the
// last Update ran, so children that write their value only in Apply work
// under the switcher too.
//
// Record, after the CDataControl part: version pair 1.01, the child list
// (u32 count, 8-byte ids), the channel keys (u32 count, 24-byte records).
// Version 1.00 stores the keys as two arrays (f32 times, u32 channels); a
// channel array shorter than the times fails the load with kErrNotFound.
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "controllers/core/layer.h"
#include "controllers/core/time_key.h"

namespace KT {

class CDataSwitcherControl : public CListControl<CDataControl, CDataControl> {
  KT_DECLARE_CLASS(CDataSwitcherControl)

 public:
  // Version gate of the record.
  static constexpr u32 kVersionKeyRecords = 101;  // key records instead of two arrays

  // A channel key (24 bytes): the time key part, then version pair 1.00
  // and Channel (u32), the index of the child the key names.
  class CChannelKey : public CKeyLevel<CChannelKey, CTimeKey, ClassIndex::CChannelKey> {
   public:
    CChannelKey() = default;
    CChannelKey(i32 time, u32 channel) : CKeyLevel(time), Channel(channel) {}

    template <typename Walker, typename Key>
    static void Fields(Walker& walker, Key& key) {
      walker.UInt(u"Channel", key.Channel);
    }
    // Reports Time and "Channel".
    void DescribeMembers(CMemberVisitor& visitor) override;

    u32 Channel = 0;
  };
  using KeyTrack = CKeyTrack<CChannelKey, TrackCacheCopy::kReset>;

  CDataSwitcherControl() = default;
  // Copies the CDataControl part and the keys; no children (Clone fills
  // the copy's children).
  CDataSwitcherControl(const CDataSwitcherControl& other) = default;

  // --- channel keys ------------------------------------------------------------------------
  const KeyTrack& GetKeys() const { return keys_; }
  // Replaces every key (expected in ascending Time order, taken as given).
  // Marks modified; kErrOutOfMemory leaves the keys as they were.
  Result SetKeys(const std::vector<CChannelKey>& keys);

  // The list operations, binding, child visits, the end time (the latest
  // child end, each child's scaled back by its Frequency), Clone and Link
  // are the container's (controllers/core/layer.h).

  // --- controller protocol -----------------------------------------------------------------
  // Inactive: kDone. No children: kOk, nothing evaluated. Otherwise at the
  // local time m = MapTime(time, GetEndTime()) the channel is the Channel
  // of the key in effect (0 without keys); a channel past the list: kDone;
  // else the first active child at or after it runs Update(m) and its
  // answer is answered; no such child: kDone.
  Result Update(i32 time) override;
  // The Apply of the child the last Update ran; kOk when it ran none.
  Result Apply() override { return ApplyEvaluatedChild(); }

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Into a data switcher (else kErrNotFound); refusals of the move
  // (kErrInvalidArg) leave both as they were. The CDataControl part, then
  // the children move to the target, which takes a copy of the keys.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Versions 1.00 and 1.01; above: kErrNewerVersion. Counts are checked
  // against the bytes left (kErrStream); two arrays of unequal length:
  // kErrNotFound. A failure leaves what was read in place.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CDataSwitcherControl Member": each key as one array element; then the
  // CDataControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // CDataControl's + 8 + (4 + 8 per child) + (4 + 24 per key).
  u32 GetSaveSize() const override;

 protected:
  // Each child's, their failures ignored; then the controller's own.
  Result ResolveReferencesInElement(CBase* root) override { return ResolveReferencesIgnoringChildren(root); }

 private:
  KeyTrack keys_;
};

}  // namespace KT
