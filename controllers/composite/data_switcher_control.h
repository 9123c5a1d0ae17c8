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

#include "controllers/composite/switcher_control.h"
#include "controllers/core/data_control.h"
#include "controllers/core/time_key.h"

namespace KT {

namespace switcher_keys {

// A channel key of the data switcher (24 bytes): the time key part, then
// version pair 1.00 and Channel (u32), the index of the child the key
// names. Known as KT::CDataSwitcherControl::CChannelKey.
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

}  // namespace switcher_keys

class CDataSwitcherControl
    : public CSwitcherControl<CDataSwitcherControl, CDataControl, switcher_keys::CChannelKey> {
  KT_DECLARE_CLASS(CDataSwitcherControl)

 public:
  using CChannelKey = switcher_keys::CChannelKey;

  CDataSwitcherControl() = default;
  // Copies the CDataControl part and the keys; no children (Clone fills
  // the copy's children).
  CDataSwitcherControl(const CDataSwitcherControl& other) = default;

  // The keys (GetKeys, SetKeys), CreateInstance, CopyTo (into a data
  // switcher), Load, Save, DescribeMembers ("CDataSwitcherControl
  // Member"), the sizes and reference resolution are CSwitcherControl's;
  // the list operations, binding, child visits, the end time (the latest
  // child end, each child's scaled back by its Frequency), Clone and Link
  // the container's (controllers/core/layer.h).

  // --- controller protocol -----------------------------------------------------------------
  // Inactive: kDone. No children: kOk, nothing evaluated. Otherwise at the
  // local time m = MapTime(time, GetEndTime()) the channel is the Channel
  // of the key in effect (0 without keys); a channel past the list: kDone;
  // else the first active child at or after it runs Update(m) and its
  // answer is answered; no such child: kDone.
  Result Update(i32 time) override;
  // The Apply of the child the last Update ran; kOk when it ran none.
  Result Apply() override { return ApplyEvaluatedChild(); }

  // Version 1.00's keys: two arrays (f32 times, u32 channels). A channel
  // array shorter than the times: kErrNotFound.
  static Result ReadLegacyKeys(CStream& stream, std::vector<CChannelKey>& keys);
};

}  // namespace KT
