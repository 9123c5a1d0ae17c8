#include "controllers/composite/data_switcher_control.h"

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/nested_walk.h"

namespace KT {

void switcher_keys::CChannelKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CChannelKey>(visitor, *this);
}

Result CDataSwitcherControl::Update(i32 time) {
  ClearEvaluatedChild();
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  const u32 count = GetChildCount();
  if (count == 0) return kOk;
  i32 cycles = 0;
  const i32 m = MapTime(time, GetEndTime(), cycles);
  u32 channel = 0;
  if (!keys_.Empty()) {
    u32 index = 0;
    // Before the first key the first key is in effect.
    if (keys_.FindStep(m, index) == kKeySearchBefore) index = 0;
    channel = keys_[index].Channel;
  }
  // An inactive child gives way to the next active one after it, never to
  // one before it.
  for (u32 i = channel; i < count; ++i) {
    CDataControl* child = GetChild(i);
    if (child == nullptr || !child->IsActive()) continue;
    SetEvaluatedChild(i);
    return child->Update(m);
  }
  return kDone;
}

Result CDataSwitcherControl::ReadLegacyKeys(CStream& stream, std::vector<CChannelKey>& keys) {
  return ReadTwoArrayKeys(stream, keys, &CChannelKey::Channel);
}

}  // namespace KT
