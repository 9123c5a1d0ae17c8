#include "controllers/keyed/node_attribute_control.h"

#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "scene/sel_node.h"

namespace KT {

void CNodeAttributeControl::CAttributeKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

Result CNodeAttributeControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  const i32 t = LocalTime(time);
  KeyBracket bracket;
  if (keys_.Bracket(t, BlendRule::kLaterKey, bracket) == kKeySearchNone) {
    currentOpacity_ = 1.0f;
    return kOk;
  }
  currentOpacity_ = keys_.Blend(bracket, &CAttributeKey::Opacity);
  return kOk;
}

Result CNodeAttributeControl::Apply() {
  // No active check: an inactive controller still shows the value it holds.
  if (auto* node = DynamicCast<CSelNode>(GetObject())) node->SetOpacity(currentOpacity_);
  return kOk;
}

i32 CNodeAttributeControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kAtLeastZero); }

void CNodeAttributeControl::DescribeMembers(CMemberVisitor& visitor) { CDataControl::DescribeMembers(visitor); }

u32 CNodeAttributeControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(keys_) + sizeof(currentOpacity_)) +
         keys_.GetMemorySize();
}

Result CNodeAttributeControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionKeyRecords) return CControlLevel::LoadOwn(stream, record, storedVersion);
  return ReadFourArrayKeys(stream, keys_.MutableKeys(), &CAttributeKey::Opacity);
}

Result CNodeAttributeControl::CopyOwnTo(CNodeAttributeControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.currentOpacity_ = currentOpacity_;
  return kOk;
}

}  // namespace KT
