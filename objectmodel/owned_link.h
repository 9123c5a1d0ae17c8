// Link-pass helpers for references an object owns.
#pragma once

#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/pointer.h"
#include "objectmodel/stream.h"

namespace KT {

// Link-pass helpers for owning references that must be of a given class:
// an empty or unknown id leaves the reference empty (an unknown one is
// recorded as unresolved), an object of another class is refused with
// kErrNotFound, and the stream refuses (kErrNotFound) a reference that
// would make the owner hold itself.

// Resolves the record's next pending id into `slot`.
template <typename T>
Result LinkOwnedPointer(CStream& stream, CStreamLoadRecord& record, CBase* owner, CPointer<T>& slot) {
  const u64 id = record.TakeNextId();
  CBase* object = stream.ObjectFromId(id);
  if (object == nullptr) {
    if (id != 0) stream.AddUnresolved(id, owner);
    slot = nullptr;
    return kOk;
  }
  T* typed = DynamicCast<T>(object);
  if (typed == nullptr) return kErrNotFound;
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

}  // namespace KT
