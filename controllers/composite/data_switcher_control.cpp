#include "controllers/composite/data_switcher_control.h"

#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

void CDataSwitcherControl::CChannelKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CChannelKey>(visitor, *this);
}

Result CDataSwitcherControl::SetKeys(const std::vector<CChannelKey>& keys) {
  const Result r = keys_.Assign(keys);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CDataSwitcherControl::Update(i32 time) {
  ClearEvaluatedChild();
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

// --- root protocol ------------------------------------------------------------------------------

Result CDataSwitcherControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CDataSwitcherControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CDataSwitcherControl>(target);
  if (other == nullptr) return kErrNotFound;
  // The keys are copied first, so that running out of memory changes
  // nothing.
  KeyTrack::KeyVector keys;
  try {
    keys = keys_.Keys();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CopyListTo(*other, displaced, flags);
  if (Failed(r)) return r;
  other->keys_.MutableKeys().swap(keys);
  return kOk;
}

Result CDataSwitcherControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadChildList(stream, record, true);
  if (Failed(r)) return r;
  keys_.SetLastIndex(0);
  if (stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionKeyRecords)) {
    return keys_.Read(stream);
  }
  // Before key records: times and channels.
  return ReadTwoArrayKeys(stream, keys_.MutableKeys(), &CChannelKey::Channel);
}

Result CDataSwitcherControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  if (Succeeded(r)) r = keys_.Write(stream);
  return r;
}

void CDataSwitcherControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CDataSwitcherControl Member");
  visitor.OpenGroup();
  keys_.DescribeMembers(visitor, u"Keys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CDataSwitcherControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + GetChildListMemorySize() + keys_.GetMemorySize() +
         static_cast<u32>(sizeof(KeyTrack));
}

u32 CDataSwitcherControl::GetSaveSize() const {
  return CDataControl::GetSaveSize() + 8 + GetChildListSaveSize() + keys_.GetSaveSize();
}

}  // namespace KT
