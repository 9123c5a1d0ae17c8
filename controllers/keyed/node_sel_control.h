// KT::CNodeSelControl: chooses the child the selection node it is bound to
// shows, and since when, from a track of selection keys (step keys; see
// node_step_control.h for the time, the record and the priority pick).
//
// The selection time is the start of the run of keys with the same Sel
// that ends at the key in force: a node that keeps one child across several
// keys keeps one selection time, so the child's clock does not restart at
// each key. A run that reaches back to the first key starts at time 0.
#pragma once

#include "controllers/keyed/node_step_control.h"

namespace KT {

namespace node_sel_detail {
// A selection key (version 1.00): Sel, i32 (the child index). Default:
// time 0, child 0.
class CSelKey : public CKeyLevel<CSelKey, CTimeKey, ClassIndex::CSelKey> {
 public:
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Int(u"Sel", k.Sel);
  }
  // "Time", "Sel".
  void DescribeMembers(CMemberVisitor& visitor) override;
  i32 Sel = 0;
};
}  // namespace node_sel_detail

class CNodeSelControl
    : public CNodeStepControl<CNodeSelControl, ClassIndex::CNodeSelControl, node_sel_detail::CSelKey> {
 public:
  using CSelKey = node_sel_detail::CSelKey;
  static constexpr const char16_t* kTrackName = u"SelKeys";
  static constexpr i32 CSelKey::*kValue = &CSelKey::Sel;
  static constexpr bool kDescribesLastIndex = false;

  CNodeSelControl() = default;
  // Keys and cache.
  CNodeSelControl(const CNodeSelControl& other) = default;

  // Inactive: kDone. The bound object is written only when it is a
  // selection node. Without keys: its selection 0 and selection time 0,
  // kDone. Otherwise the cache is clamped to the key count and the key in
  // force found at trunc(time x Frequency) (before the first key: the
  // first); the node shows that key's Sel from the start of its run
  // (RunStartTime); kOk.
  Result Update(i32 time) override;

  // The start time of the run of equal Sel values that ends at key `index`
  // (below the key count): the time of its earliest key, or 0 when the run
  // reaches the first key.
  i32 RunStartTime(u32 index) const;
};

}  // namespace KT
