#include "controllers/keyed/data_description_control.h"

#include <new>

namespace KT {

void CDataDescriptionControl::CDescriptionKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CDescriptionKey>(visitor, *this);
}

Result CDataDescriptionControl::Update(i32 /*time*/) { return kDone; }
Result CDataDescriptionControl::UpdateTransform(i32 /*time*/) { return kDone; }
Result CDataDescriptionControl::UpdatePriority(i32 /*time*/) { return kDone; }
Result CDataDescriptionControl::ApplyTransform() { return kDone; }
Result CDataDescriptionControl::Apply() { return kDone; }

u32 CDataDescriptionControl::GetMemorySize() const {
  u32 size = CControl::GetMemorySize() + static_cast<u32>(sizeof(keys_)) + keys_.GetMemorySize();
  for (const CDescriptionKey& key : keys_.Keys()) {
    size += static_cast<u32>((key.ID.capacity() + key.Description.capacity()) * sizeof(char16_t));
  }
  return size;
}

Result CDataDescriptionControl::CopyOwnTo(CDataDescriptionControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
