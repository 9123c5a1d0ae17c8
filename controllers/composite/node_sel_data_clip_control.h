// KT::CNodeSelDataClipControl: plays node selection controllers
// (controllers/keyed/node_sel_control.h) by clips, as the data clip
// controller does, for the selection node it is bound to. The child writes
// the selection time in its clip's local time; this controller moves it
// into its own time by adding the start of the clip in force, so a child
// that selects at clip-local 200 in a clip starting at 1000 reports 1200.
//
// Record: the data clip controller's, then the version pair 1.00 (no
// fields).
#pragma once

#include "controllers/composite/node_clip_level.h"

namespace KT {

class CNodeSelDataClipControl
    : public CNodeClipLevel<CNodeSelDataClipControl, ClassIndex::CNodeSelDataClipControl> {
 public:
  CNodeSelDataClipControl() = default;
  // As the data clip controller's: clips and cache, no children.
  CNodeSelDataClipControl(const CNodeSelDataClipControl& other) = default;

  // The clip evaluation (EvaluateClips); then, when this controller is
  // active and bound to a selection node: if the evaluation answered kDone
  // (nothing was evaluated), the node's selection and selection time
  // become 0; if it succeeded, the node's selection time becomes the start
  // of the clip in force (GetCurrentClipTime) plus the selection time the
  // child wrote. kOk in every case: a failure of the clip evaluation is not
  // reported (and moves nothing).
  Result Update(i32 time) override;
};

}  // namespace KT
