// KT::CNodeLayerControl: sets the current layer of the selection node it
// is bound to from a track of layer keys (step keys; see
// node_step_control.h for the time, the record and the priority pick).
#pragma once

#include "controllers/keyed/node_step_control.h"

namespace KT {

namespace node_layer_detail {
// A layer key (version 1.00): Layer, u32. Default: time 0, layer 0.
class CLayerKey : public CKeyLevel<CLayerKey, CTimeKey, ClassIndex::CLayerKey> {
 public:
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.UInt(u"Layer", k.Layer);
  }
  // "Time", "Layer".
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 Layer = 0;
};
}  // namespace node_layer_detail

class CNodeLayerControl
    : public CNodeStepControl<CNodeLayerControl, ClassIndex::CNodeLayerControl, node_layer_detail::CLayerKey> {
 public:
  using CLayerKey = node_layer_detail::CLayerKey;
  static constexpr const char16_t* kTrackName = u"LayerKeys";
  static constexpr u32 CLayerKey::*kValue = &CLayerKey::Layer;
  static constexpr bool kDescribesLastIndex = true;

  CNodeLayerControl() = default;
  // Keys and cache.
  CNodeLayerControl(const CNodeLayerControl& other) = default;

  // Inactive: kDone, nothing written. Otherwise the cache is clamped to the
  // key count and the key in force found at trunc(time x Frequency) (before
  // the first key: the first). When the bound object is a selection node
  // its current layer becomes that key's Layer, or its stored layer
  // without keys (nothing is written into any other object); kOk.
  Result Update(i32 time) override;
};

}  // namespace KT
