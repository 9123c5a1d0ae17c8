// Link-pass helper for owning references of the effect classes, whose
// stored ids may name an object of another class in a foreign or damaged
// file: such a reference links to nothing rather than failing the load.
#pragma once

#include <algorithm>
#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/pointer.h"
#include "objectmodel/stream.h"

namespace KT {

// Resolves the record's next pending id into `slot`. An empty or unknown id
// leaves it empty (an unknown one is recorded as unresolved); an object
// that is not a T leaves it empty too. An object that would come to hold
// its owner is refused by the stream (kErrNotFound); otherwise the owner
// claims it and `slot` refers to it.
template <typename T>
Result LinkTypedOwned(CStream& stream, CStreamLoadRecord& record, CBase* owner, CPointer<T>& slot) {
  const u64 id = record.TakeNextId();
  CBase* object = stream.ObjectFromId(id);
  slot = nullptr;
  if (object == nullptr) {
    if (id != 0) stream.AddUnresolved(id, owner);
    return kOk;
  }
  T* typed = DynamicCast<T>(object);
  if (typed == nullptr) return kOk;
  const Result r = stream.ClaimOwnership(owner, typed);
  if (Failed(r)) return r;
  slot = typed;
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
