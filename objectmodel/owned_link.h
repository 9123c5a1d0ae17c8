// Link-pass helpers for references an object owns.
#pragma once

#include <algorithm>
#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/pointer.h"
#include "objectmodel/stream.h"

namespace KT {

// Link-pass helpers for owning references that must be of a given class:
// an empty or unknown id leaves the reference empty (an unknown one is
// recorded as unresolved), an object of another class is refused with
// kErrNotFound (or left out, as the caller asks), and the stream refuses (kErrNotFound) a reference that
// would make the owner hold itself.

// What the link does with a stored id that names an object of another
// class: refuse the load, or leave the reference empty (classes whose
// references a foreign or damaged file may point elsewhere).
enum class ForeignObject { kRefuse, kLeaveEmpty };

// Resolves the record's next pending id into `slot`.
template <typename T>
Result LinkOwnedPointer(CStream& stream, CStreamLoadRecord& record, CBase* owner, CPointer<T>& slot,
                        ForeignObject foreign = ForeignObject::kRefuse) {
  const u64 id = record.TakeNextId();
  CBase* object = stream.ObjectFromId(id);
  if (foreign == ForeignObject::kLeaveEmpty) slot = nullptr;
  if (object == nullptr) {
    if (id != 0) stream.AddUnresolved(id, owner);
    slot = nullptr;
    return kOk;
  }
  T* typed = DynamicCast<T>(object);
  if (typed == nullptr) return foreign == ForeignObject::kRefuse ? kErrNotFound : kOk;
  const Result r = stream.ClaimOwnership(owner, typed);
  if (Failed(r)) return r;
  slot = typed;
  return kOk;
}

// The same for every slot of a list, in order; the first failure ends it.
template <typename T>
Result LinkOwnedList(CStream& stream, CStreamLoadRecord& record, CBase* owner, std::vector<CPointer<T>>& slots) {
  for (CPointer<T>& slot : slots) {
    const Result r = LinkOwnedPointer(stream, record, owner, slot);
    if (Failed(r)) return r;
  }
  return kOk;
}

// True when `owner` taking `candidate` as an owned reference would make it
// hold itself: `candidate` is `owner` or holds it (its Collect reaches it).
inline bool WouldHoldItself(CBase* candidate, const CBase* owner) {
  if (candidate == nullptr) return false;
  if (candidate == owner) return true;
  std::vector<CBase*> held;
  candidate->Collect(held, nullptr, nullptr, false, false);
  return std::find(held.begin(), held.end(), owner) != held.end();
}

}  // namespace KT
