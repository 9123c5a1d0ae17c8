// KT::CVNormal: the smoothing-group normal list of one host vertex, used
// while a mesh is exported to decide which corners around the vertex share
// a normal.
//
// The list is a chain of entries {normal index, smoothing mask}. A corner
// joins the first entry whose mask shares a bit with its smoothing group,
// so corners whose groups overlap share that entry's normal. A new entry
// is appended only for a group that shares no bit with any entry already
// there; the masks of the entries are therefore disjoint and a list holds
// at most 32 entries (one per bit). Group 0 shares with nothing and no
// lookup can pick it, so it never enters a list.
//
// An empty list answers -1 (its head {-1, 0}). Once an entry exists the
// head can never be the answer (its mask matches nothing and it is not
// last), so the first entry is kept in the head object itself: a vertex
// whose corners all share one group costs no allocation.
#pragma once

#include <memory>

#include "objectmodel/types.h"

namespace KT {

class CVNormal {
 public:
  CVNormal() = default;
  CVNormal(CVNormal&&) noexcept = default;
  CVNormal& operator=(CVNormal&&) noexcept = default;
  CVNormal(const CVNormal&) = delete;
  CVNormal& operator=(const CVNormal&) = delete;
  // Frees the chain one entry at a time (no recursion).
  ~CVNormal();

  // Appends {index, mask} unless an entry already shares a bit with `mask`
  // (or the mask is 0). False only when memory ran out.
  bool Add(i32 index, u32 mask);
  // The index of the first entry whose mask shares a bit with `mask`; the
  // last entry's index when none does; -1 for an empty list.
  i32 Find(u32 mask) const;
  // Entries of the list (0 when empty).
  u32 Count() const;

  i32 Index = -1;
  u32 Mask = 0;
  std::unique_ptr<CVNormal> Next;
};

}  // namespace KT
