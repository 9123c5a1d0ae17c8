// KT::CFlatHashMap: an open-addressing hash table for the stream's
// bookkeeping (ids to load records, owned objects to their owners).
//
// Keys are 64-bit ids or pointers; the slots live in one array, so an
// insertion costs no allocation until the table grows (it doubles past half
// full). Clear keeps the array for the next section. Iteration order is
// unspecified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace KT {

template <typename K, typename V>
class CFlatHashMap {
 public:
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // Room for `count` entries without growing.
  void Reserve(std::size_t count) {
    std::size_t wanted = 16;
    while (wanted < 2 * count) wanted *= 2;
    if (wanted > slots_.size()) Rehash(wanted);
  }

  // Forgets every entry; the slot array stays.
  void Clear() {
    if (size_ == 0) return;
    for (Slot& slot : slots_) slot.used = false;
    size_ = 0;
  }

  // Inserts (key, value) unless the key is present. Answers the stored
  // value and whether it was inserted.
  std::pair<V*, bool> Emplace(K key, V value) {
    if (2 * (size_ + 1) > slots_.size()) Rehash(slots_.empty() ? 16 : 2 * slots_.size());
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (!slot.used) {
        slot.used = true;
        slot.key = key;
        slot.value = std::move(value);
        ++size_;
        return {&slot.value, true};
      }
      if (slot.key == key) return {&slot.value, false};
    }
  }

  V* Find(K key) {
    if (size_ == 0) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (!slot.used) return nullptr;
      if (slot.key == key) return &slot.value;
    }
  }
  const V* Find(K key) const { return const_cast<CFlatHashMap*>(this)->Find(key); }

  // Calls f(key, value) for every entry.
  template <typename F>
  void ForEach(F&& f) const {
    for (const Slot& slot : slots_) {
      if (slot.used) f(slot.key, slot.value);
    }
  }

 private:
  struct Slot {
    K key{};
    V value{};
    bool used = false;
  };

  static std::size_t Hash(K key) {
    // A 64-bit finaliser: ids are often sequential and pointers aligned,
    // and linear probing needs the low bits well mixed.
    std::uint64_t h = static_cast<std::uint64_t>(ToInteger(key));
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<std::size_t>(h);
  }
  template <typename T>
  static std::uint64_t ToInteger(T* p) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
  }
  static std::uint64_t ToInteger(std::uint64_t v) { return v; }

  void Rehash(std::size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    size_ = 0;
    for (Slot& slot : old) {
      if (slot.used) Emplace(slot.key, std::move(slot.value));
    }
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace KT
