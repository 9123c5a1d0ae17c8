#include "controllers/composite/node_sel_data_clip_control.h"

#include "scene/sel_node.h"

namespace KT {

Result CNodeSelDataClipControl::Update(i32 time) {
  const Result r = EvaluateClips(time);
  auto* node = DynamicCast<CSelNode>(GetObject());
  if (node == nullptr || !IsActive()) return kOk;
  if (r == kDone) {
    node->SetSelection(0);
    node->SetSelectionTime(0);
  } else if (Succeeded(r)) {
    node->SetSelectionTime(OffsetTime(GetCurrentClipTime(), node->GetSelectionTime()));
  }
  return kOk;
}

}  // namespace KT
