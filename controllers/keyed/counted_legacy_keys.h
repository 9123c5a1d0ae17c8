// Older key records whose key count is stored apart from the arrays that
// describe the keys (a time array, a count, then per-key records, maybe a
// type array). Every array must cover the stored count: one that holds
// fewer entries does not describe whole keys and the load answers
// kErrNotFound (0x80000005). Entries past the count are dropped.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <new>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/stream.h"

namespace KT {

// Makes `count` default keys (the fill keys) in `keys`, then `fill(key, i)`
// for each. `arraySizes` below `count` answer kErrNotFound and leave `keys`
// empty; kErrOutOfMemory when the keys cannot be made.
template <typename Key, typename Fill>
Result BuildCountedKeys(std::size_t count, std::initializer_list<std::size_t> arraySizes, std::vector<Key>& keys,
                        Fill fill) {
  keys.clear();
  for (const std::size_t size : arraySizes) {
    if (size < count) return kErrNotFound;
  }
  try {
    keys.resize(count);
  } catch (const std::bad_alloc&) {
    keys.clear();
    return kErrOutOfMemory;
  }
  for (std::size_t i = 0; i < count; ++i) fill(keys[i], i);
  return kOk;
}

// The volume keys of the older video records: a time array (f32), a u32
// key count n and n pairs (f32 Volume, u32 TransitionType). Key i gets
// time i (truncated toward zero), the volume and the type; strength 50.
template <typename Key>
Result ReadLegacyVolumeKeys(CStream& stream, std::vector<Key>& keys) {
  struct Pair {
    f32 Volume;
    u32 TransitionType;
  };
  static_assert(sizeof(Pair) == 8);
  std::vector<i32> times;
  std::vector<Pair> pairs;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, pairs);
  if (Failed(r)) return r;
  return BuildCountedKeys(pairs.size(), {times.size()}, keys, [&](Key& key, std::size_t i) {
    key.Time = times[i];
    key.Volume = pairs[i].Volume;
    key.TransitionType = pairs[i].TransitionType;
  });
}

}  // namespace KT
