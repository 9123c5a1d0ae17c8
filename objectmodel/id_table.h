// KT::CIdTable: the stream's table of 64-bit ids to values (load records,
// or nothing for objects registered for saving).
//
// Files usually list their records in ascending id order, so ids that
// arrive above every id so far are appended to a sorted array (no hashing,
// no allocation per entry beyond the array's growth); any other id goes to
// a flat hash table. Lookups try the entry after the last one found first,
// which is what a link pass over a chain asks for. Clear keeps both arrays
// for the next section.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "objectmodel/flat_hash_map.h"
#include "objectmodel/types.h"

namespace KT {

template <typename V>
class CIdTable {
 public:
  std::size_t Size() const { return sorted_.size() + others_.Size(); }

  void Clear() {
    sorted_.clear();
    others_.Clear();
    hint_ = 0;
  }

  // Inserts (id, value) unless the id is present; true when inserted.
  bool Insert(u64 id, V value) {
    if (sorted_.empty() || id > sorted_.back().first) {
      if (!others_.Empty() && others_.Find(id) != nullptr) return false;
      sorted_.emplace_back(id, value);
      return true;
    }
    if (FindSorted(id) != nullptr) return false;
    return others_.Emplace(id, value).second;
  }

  // The value stored under `id`, or null.
  const V* Find(u64 id) const {
    if (const V* v = FindSorted(id)) return v;
    return others_.Empty() ? nullptr : others_.Find(id);
  }

  // Calls f(id, value) for every entry in ascending id order.
  template <typename F>
  void ForEachAscending(F&& f) const {
    if (others_.Empty()) {
      for (const auto& [id, value] : sorted_) f(id, value);
      return;
    }
    std::vector<std::pair<u64, V>> rest;
    rest.reserve(others_.Size());
    others_.ForEach([&](u64 id, const V& value) { rest.emplace_back(id, value); });
    std::sort(rest.begin(), rest.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t i = 0;
    for (const auto& [id, value] : sorted_) {
      for (; i < rest.size() && rest[i].first < id; ++i) f(rest[i].first, rest[i].second);
      f(id, value);
    }
    for (; i < rest.size(); ++i) f(rest[i].first, rest[i].second);
  }

 private:
  const V* FindSorted(u64 id) const {
    const std::size_t n = sorted_.size();
    if (n == 0 || id < sorted_.front().first || id > sorted_.back().first) return nullptr;
    // The entry after the last hit, then the last hit itself.
    for (std::size_t i : {hint_ + 1, hint_}) {
      if (i < n && sorted_[i].first == id) {
        hint_ = i;
        return &sorted_[i].second;
      }
    }
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), id,
                                     [](const std::pair<u64, V>& entry, u64 key) { return entry.first < key; });
    if (it == sorted_.end() || it->first != id) return nullptr;
    hint_ = static_cast<std::size_t>(it - sorted_.begin());
    return &it->second;
  }

  std::vector<std::pair<u64, V>> sorted_;  // ascending ids
  CFlatHashMap<u64, V> others_;
  mutable std::size_t hint_ = 0;
};

}  // namespace KT
