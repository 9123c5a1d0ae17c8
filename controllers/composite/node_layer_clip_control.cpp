#include "controllers/composite/node_layer_clip_control.h"

#include "scene/sel_node.h"

namespace KT {

Result CNodeLayerClipControl::Update(i32 time) {
  const Result r = EvaluateClips(time);
  if (r == kDone && IsActive()) {
    if (auto* node = DynamicCast<CSelNode>(GetObject())) node->SetCurrentLayer(node->GetLayer());
  }
  return kOk;
}

}  // namespace KT
