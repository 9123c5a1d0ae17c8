// KT::CNodeAttributeControl: animates the opacity of the selection node it
// is bound to from one track of opacity keys.
//
// Update maps the time through Repeat and Frequency (MapTime over the end
// time) and blends the keys around it through the later key's transition;
// Apply writes the value into the node (Update only evaluates).
//
// Record, after the data-controller part (little-endian): version pair
// 1.01; the opacity keys (u32 count, 40-byte CAttributeKey records). The
// cache and the evaluated opacity are not stored. Version 1.00 records hold
// four parallel arrays instead (u32 count and that many 4-byte values
// each): f32 times, f32 opacities, f32 interpolation flags (0.0: the key
// steps) and u32 transition types; times are truncated toward zero and
// every key gets strength 50. An opacity, flag or type array shorter than
// the times does not describe whole keys: kErrNotFound (0x80000005).
// Entries past the time count are dropped.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"

namespace KT {

class CNodeAttributeControl
    : public CControlLevel<CNodeAttributeControl, CDataControl, ClassIndex::CNodeAttributeControl> {
 public:
  // An opacity key (version 1.00): Opacity, f32. Default (also the key that
  // receives a stored record): time 0, TT_LINEAR, 50, opacity 1.
  class CAttributeKey : public CKeyLevel<CAttributeKey, CTransitionKey, ClassIndex::CAttributeKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"Opacity", k.Opacity);
    }
    // "Time", "Opacity", "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 Opacity = 1.0f;
  };

  // A copy takes the cache; CopyTo keeps the target's.
  using AttributeTrack = CKeyTrack<CAttributeKey, TrackCacheCopy::kKeepTarget>;

  // Version gates of the record.
  static constexpr u32 kVersionKeyRecords = 101;  // key records instead of four parallel arrays
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  // No keys; the evaluated opacity is 1.
  CNodeAttributeControl() = default;
  // Keys, cache and evaluated opacity.
  CNodeAttributeControl(const CNodeAttributeControl& other) = default;

  const AttributeTrack& GetKeys() const { return keys_; }
  // The track for editing in place (loaders, tools, tests).
  AttributeTrack& EditKeys() { return keys_; }
  // The opacity the last Update evaluated (1 until then).
  f32 GetCurrentOpacity() const { return currentOpacity_; }

  // Inactive: kDone, the evaluated opacity kept. Otherwise at the mapped
  // time: without keys 1, else the eased blend of the keys around it
  // (before the first key the first key's, after the last the last's);
  // kOk.
  Result Update(i32 time) override;
  // Writes the evaluated opacity into the bound node when it is a selection
  // node (nothing otherwise), whether or not the controller is active; kOk.
  Result Apply() override;
  // The larger of 0 and the last key's time.
  i32 GetEndTime() const override;

  // The data controller's members only: the controller reports neither its
  // cache nor its keys.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"AttributeKeys", self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys and the evaluated opacity; the target's cache stays.
  Result CopyOwnTo(CNodeAttributeControl& target) const;

 private:
  AttributeTrack keys_;
  f32 currentOpacity_ = 1.0f;
};

}  // namespace KT
