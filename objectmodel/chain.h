// Helpers for objects chained through a counted "next" reference (custom
// data records, controllers, bounding meshes): each element owns its
// successor, so chains read from files can be long, and these helpers walk
// them in loops rather than through recursion.
#pragma once

#include <utility>

#include "objectmodel/pointer.h"

namespace KT {

// True when `target` is `first` or follows it; `next(element)` gives the
// element after `element`.
template <typename T, typename Next>
bool ChainContains(const T* first, const T* target, Next next) {
  for (const T* e = first; e != nullptr; e = next(e)) {
    if (e == target) return true;
  }
  return false;
}

// Lets go of the chain held by `head` one element at a time: were each
// element's destructor to release its successor, destroying a chain would
// recurse once per element. `link(element)` is the element's own counted
// reference to its successor. Elements also held elsewhere stop the walk
// (they and their successors stay alive).
template <typename T, typename Link>
void ReleaseChain(CPointer<T>& head, Link link) {
  CPointer<T> next = std::move(head);
  while (next && next->GetReferences() == 1) {
    CPointer<T> after = std::move(link(*next));
    next = std::move(after);
  }
}

}  // namespace KT
