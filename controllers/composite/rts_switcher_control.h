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

#include "controllers/core/key_track.h"
#include "controllers/core/layer.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/time_key.h"

namespace KT {

class CRTSSwitcherControl : public CListControl<CRTSControl, CRTSControl> {
  KT_DECLARE_CLASS(CRTSSwitcherControl)

 public:
  // Version gate of the record.
  static constexpr u32 kVersionKeyRecords = 101;  // key records instead of four arrays

  // A channel key (40 bytes): the transition key part, then version pair
  // 1.00 and Channel (u32), the index of the child the key names.
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
  // The key search cache is not copied: a copy starts at 0.
  using KeyTrack = CKeyTrack<CSwChannelKey, TrackCacheCopy::kReset>;

  CRTSSwitcherControl() = default;
  // Copies the CRTSControl part and the keys; LastIndex 0 and no children
  // (Clone fills the copy's children).
  CRTSSwitcherControl(const CRTSSwitcherControl& other) = default;

  // --- channel keys ------------------------------------------------------------------------
  const KeyTrack& GetKeys() const { return keys_; }
  // Replaces every key (expected in ascending Time order, taken as given).
  // Marks modified; kErrOutOfMemory leaves the keys as they were.
  Result SetKeys(const std::vector<CSwChannelKey>& keys);

  // The list operations (AddChild, RemoveChild, SetChild,
  // RemoveAllChildren), binding, child visits, the end time, Clone and Link
  // are the container's (controllers/core/layer.h). Removing a child does
  // not touch the keys: a key naming a later child then names the child
  // that moved into its index.

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

  // --- root protocol --------------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Into a switcher (else kErrNotFound); refusals of the move
  // (kErrInvalidArg: the target sits below this switcher, or a child is
  // also held for another object) leave both as they were. The CRTSControl
  // part, then the children move to the target (this switcher is left with
  // none; the target's former children go to `displaced`), then the
  // target takes a copy of the keys (its LastIndex stays).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Versions 1.00 and 1.01; above: kErrNewerVersion. Counts are checked
  // against the bytes left (kErrStream); four arrays of unequal length:
  // kErrNotFound. A failure leaves what was read in place.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CRTSSwitcherControl Member": each key as one array element; then the
  // CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // CRTSControl's + 8 + (4 + 8 per child) + (4 + 40 per key).
  u32 GetSaveSize() const override;

 protected:
  // Each child's, their failures ignored; then the controller's own.
  Result ResolveReferencesInElement(CBase* root) override { return ResolveReferencesIgnoringChildren(root); }

 private:
  KeyTrack keys_;
};

}  // namespace KT
