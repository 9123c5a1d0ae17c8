#include "controllers/keyed/node_layer_control.h"

#include "scene/sel_node.h"

namespace KT {

void node_layer_detail::CLayerKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CLayerKey>(visitor, *this);
}

Result CNodeLayerControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  u32 index = 0;
  const bool keyed = FindKeyInForce(time, index);
  if (auto* node = DynamicCast<CSelNode>(GetObject())) {
    node->SetCurrentLayer(keyed ? keys_[index].Layer : node->GetLayer());
  }
  return kOk;
}

}  // namespace KT
