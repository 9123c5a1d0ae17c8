#include "controllers/composite/data_selector_control.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

u32 CDataSelectorControl::Choose(i32 time) {
  u32 choice = 0;
  i32 bestTime = 0;
  // The claim time starts open, as in the transform selector's pick.
  i32 pickedTime = 0x3FFFFFFF;
  f32 bestPriority = 0.0f;
  const u32 count = GetChildCount();
  for (u32 i = 0; i < count; ++i) {
    CDataControl* child = GetChild(i);
    if (child == nullptr) continue;
    const Result r = child->PickByPriority(time, bestTime, pickedTime, bestPriority);
    if (r != 2 && r != 3) continue;
    child->UpdatePriority(time);
    choice = i;
    bestPriority = child->GetPriority();
  }
  return choice;
}

Result CDataSelectorControl::Update(i32 time) {
  ClearEvaluatedChild();
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  if (GetChildCount() == 0) return kErrInvalidArg;
  const u32 choice = Choose(time);
  i32 cycles = 0;
  const i32 m = MapTime(time, GetEndTime(), cycles);
  CDataControl* child = GetChild(choice);
  // An empty slot of a loaded list evaluates nothing.
  if (child == nullptr) return kOk;
  SetEvaluatedChild(choice);
  const Result r = child->Update(m);
  return Failed(r) ? r : kOk;
}

// --- root protocol ------------------------------------------------------------------------------

Result CDataSelectorControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CDataSelectorControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CDataSelectorControl>(target);
  if (other == nullptr) return kErrNotFound;
  return CopyListTo(*other, displaced, flags);
}

Result CDataSelectorControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadChildList(stream, record, true);
  return r;
}

Result CDataSelectorControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  return r;
}

u32 CDataSelectorControl::GetMemorySize() const { return CDataControl::GetMemorySize() + GetChildListMemorySize() + 32; }

u32 CDataSelectorControl::GetSaveSize() const { return CDataControl::GetSaveSize() + 8 + GetChildListSaveSize(); }

}  // namespace KT
