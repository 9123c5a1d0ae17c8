#include "controllers/keyed/node_sel_control.h"

#include "scene/sel_node.h"

namespace KT {

void node_sel_detail::CSelKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CSelKey>(visitor, *this);
}

i32 CNodeSelControl::RunStartTime(u32 index) const {
  const i32 sel = keys_[index].Sel;
  while (index > 0 && keys_[index - 1].Sel == sel) --index;
  return index == 0 ? kZeroTime : keys_[index].Time;
}

Result CNodeSelControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  auto* node = DynamicCast<CSelNode>(GetObject());
  u32 index = 0;
  if (!FindKeyInForce(time, index)) {
    if (node != nullptr) {
      node->SetSelection(0);
      node->SetSelectionTime(kZeroTime);
    }
    return kDone;
  }
  if (node != nullptr) {
    node->SetSelectionTime(RunStartTime(index));
    node->SetSelection(keys_[index].Sel);
  }
  return kOk;
}

}  // namespace KT
