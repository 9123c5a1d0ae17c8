// KT::CRTSSwitcherControl: the transform container that switches between
// its children by timed channel keys.
//
// The children (KT::CRTSControl, the channel list of controllers/core/
// layer.h) are numbered by their index in the list; each channel key names
// one of them. Between two keys the switcher blends from the earlier key's
// child to the later key's child along the later key's transition curve,
// so keys (0, channel 0) and (1000, channel 1, TT_LINEAR) give an even mix
// of both children at 500, and TT_STEP on the later key holds the earlier
// child until the later key's time, then cuts. Each child is evaluated at
// the switcher's mapped time and maps it again by its own Repeat and
// Frequency.
//
// A key whose Channel names no child (past the end of the list, or an
// empty slot of a loaded list) leaves its side of the blend empty: the
// other side drives alone; with both sides empty the transform comes from
// SlaveMode.
//
// Record, after the CRTSControl part: version pair 1.01, the channel list
// (u32 count, 8-byte ids), the channel keys (u32 count, 40-byte records).
// Version 1.00 stores the keys as four arrays (f32 times, u32 channels, f32
// interpolation flags, u32 transition types); an array shorter than the
// times fails the load with kErrNotFound.
#pragma once

#include <vector>

#include "controllers/composite/switcher_control.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/time_key.h"

namespace KT {

namespace switcher_keys {

// A channel key of the transform switcher (40 bytes): the transition key
// part, then version pair 1.00 and Channel (u32), the index of the child
// the key names. Known as KT::CRTSSwitcherControl::CSwChannelKey.
class CSwChannelKey : public CKeyLevel<CSwChannelKey, CTransitionKey, ClassIndex::CSwChannelKey> {
 public:
  CSwChannelKey() = default;
  CSwChannelKey(i32 time, u32 channel, u32 transitionType = TT_LINEAR,
                f32 transitionStrength = kDefaultTransitionStrength)
      : CKeyLevel(time, transitionType, transitionStrength), Channel(channel) {}

  template <typename Walker, typename Key>
  static void Fields(Walker& walker, Key& key) {
    walker.UInt(u"Channel", key.Channel);
  }
  // Reports Time, "Channel", TransitionType and TransitionStrength.
  void DescribeMembers(CMemberVisitor& visitor) override;

  u32 Channel = 0;
};

}  // namespace switcher_keys

class CRTSSwitcherControl
    : public CSwitcherControl<CRTSSwitcherControl, CRTSControl, switcher_keys::CSwChannelKey> {
  KT_DECLARE_CLASS(CRTSSwitcherControl)

 public:
  using CSwChannelKey = switcher_keys::CSwChannelKey;

  CRTSSwitcherControl() = default;
  // Copies the CRTSControl part and the keys; LastIndex 0 and no children
  // (Clone fills the copy's children).
  CRTSSwitcherControl(const CRTSSwitcherControl& other) = default;

  // The keys (GetKeys, SetKeys), CreateInstance, CopyTo (into a transform
  // switcher), Load, Save, DescribeMembers ("CRTSSwitcherControl Member"),
  // the sizes and reference resolution are CSwitcherControl's; the list
  // operations (AddChild, RemoveChild, SetChild, RemoveAllChildren),
  // binding, child visits, the end time, Clone and Link the container's
  // (controllers/core/layer.h). Removing a child does not touch the keys:
  // a key naming a later child then names the child that moved into its
  // index.

  // --- controller protocol -----------------------------------------------------------------
  // At m = MapTime(time, GetEndTime()):
  //   inactive: kDone, nothing changes; unbound: kErrInvalidArg; bound to
  //   an object that is not a spatial: kErrNotFound;
  //   no children: Local and the world quantities from SlaveMode, kOk;
  //   no keys: child 0 alone;
  //   otherwise the keys around m (searched from LastIndex, which moves)
  //   name channels A and B; A and B differ: both children are evaluated
  //   at m and Local = InterpolateRts of their Locals at the weight
  //   EaseTransition(fraction, the later key's type and strength); A
  //   equals B: that child alone, Local a copy of its Local.
  //   The world quantities follow from Local, composed with the spatial's
  //   parent. kOk.
  // A child's failure is answered at once; Local and the world quantities
  // keep their previous values then.
  Result UpdateTransform(i32 time) override;
  // Each child's depth at trunc(time x Frequency); the first failure.
  Result GetUpdateDepth(i32 time, i32& depth) override { return ChildrenUpdateDepth(time, depth); }

  // Version 1.00's keys: four arrays (f32 times, u32 channels, f32
  // interpolation flags, u32 transition types); a flag of 0.0 makes a
  // TT_STEP key, every strength is 50. Arrays shorter than the times:
  // kErrNotFound.
  static Result ReadLegacyKeys(CStream& stream, std::vector<CSwChannelKey>& keys);
};

}  // namespace KT
