// KT::CNodeLayerClipControl: plays node layer controllers
// (controllers/keyed/node_layer_control.h) by clips, as the data clip
// controller does, for the selection node it is bound to; when no clip
// plays, the node shows its stored layer.
//
// Record: the data clip controller's, then the version pair 1.00 (no
// fields).
#pragma once

#include "controllers/composite/node_clip_level.h"

namespace KT {

class CNodeLayerClipControl : public CNodeClipLevel<CNodeLayerClipControl, ClassIndex::CNodeLayerClipControl> {
 public:
  CNodeLayerClipControl() = default;
  // As the data clip controller's: clips and cache, no children.
  CNodeLayerClipControl(const CNodeLayerClipControl& other) = default;

  // The clip evaluation (EvaluateClips). When it evaluated nothing (kDone)
  // while this controller is active and bound to a selection node, the
  // node's current layer becomes its stored layer. kOk in every case: a
  // failure of the clip evaluation is not reported.
  Result Update(i32 time) override;
};

}  // namespace KT
