// Typed collectors: every object of one class under a root, each listed
// once, in the order the root's Collect first meets them.
#pragma once

#include <unordered_set>
#include <vector>

#include "objectmodel/base.h"

namespace KT {

namespace detail {
// Runs the root's Collect for class T and hands each object not yet in
// `seen` to `append`.
template <typename T, typename Append>
void CollectUnique(CBase* root, const char16_t* name, bool includeDerived, bool onlyMarked,
                   std::unordered_set<const CBase*>& seen, Append append) {
  std::vector<CBase*> gathered;
  root->Collect(gathered, name, &T::StaticClassRecord(), includeDerived, onlyMarked);
  for (CBase* object : gathered) {
    if (seen.insert(object).second) append(static_cast<T*>(object));
  }
}
}  // namespace detail

// Appends to `out` every T under `root` that `out` does not hold yet. A null
// root leaves `out` unchanged. Objects already in `out` stay first.
template <typename T>
void CollectObjects(std::vector<T*>& out, CBase* root, const char16_t* name, bool includeDerived,
                    bool onlyMarked) {
  if (root == nullptr) return;
  std::unordered_set<const CBase*> seen(out.begin(), out.end());
  detail::CollectUnique<T>(root, name, includeDerived, onlyMarked, seen, [&](T* o) { out.push_back(o); });
}

// The same with counted pointers: each appended object gains a count.
template <typename T>
void CollectPointers(std::vector<CPointer<T>>& out, CBase* root, const char16_t* name,
                     bool includeDerived, bool onlyMarked) {
  if (root == nullptr) return;
  std::unordered_set<const CBase*> seen;
  for (const CPointer<T>& p : out) seen.insert(p.Get());
  detail::CollectUnique<T>(root, name, includeDerived, onlyMarked, seen,
                           [&](T* o) { out.emplace_back(o); });
}

}  // namespace KT
