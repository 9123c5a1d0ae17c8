// Older key records: key lists stored as parallel arrays.
//
// Before their key classes existed, keyed controllers stored each track as
// parallel arrays, each a u32 count followed by that many elements:
//   - times as f32 milliseconds (ReadLegacyTimes: truncated toward zero by
//     FloatToIntTrunc, then clamped to the key-time range);
//   - values of 4 bytes (f32, u32, i32) or fixed-size records of f32
//     (ReadLegacyArray).
// Load converts them into keys; Save always writes the current key list.
// The key count is the count of the times; every other array must hold at
// least that many entries, else the record does not describe whole keys
// and the load answers kErrNotFound (0x80000005). Entries past the key
// count are dropped.
//
// Two layouts recur:
//   two arrays   times, values: key i gets Time and the value;
//   four arrays  times, values, interpolation flags (f32) and transition
//                types (u32): key i gets Time, the value, TransitionType =
//                TT_STEP when its flag is 0.0 and the stored type otherwise,
//                and TransitionStrength 50.
// Keys made here start as the key class's default (the fill key).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <vector>

#include "controllers/core/time_key.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

// u32 count, then count elements of T (4-byte values or fixed records of
// f32). The vector is replaced (a count of 0 empties it). A count the bytes
// left cannot hold answers kErrStream before anything is allocated;
// kErrOutOfMemory when the vector cannot be allocated.
template <typename T>
Result ReadLegacyArray(CStream& stream, std::vector<T>& values) {
  values.clear();
  try {
    return ReadPodVector(stream, values);
  } catch (const std::bad_alloc&) {
    values.clear();
    return kErrOutOfMemory;
  }
}

// u32 count, then count object ids (the id lists of older constraint
// records): 8 bytes each when `wide`, else 4 bytes widened with a zero
// upper half. Errors as ReadLegacyArray.
inline Result ReadLegacyIdArray(CStream& stream, bool wide, std::vector<u64>& ids) {
  if (wide) return ReadLegacyArray(stream, ids);
  std::vector<u32> narrow;
  const Result r = ReadLegacyArray(stream, narrow);
  ids.clear();
  if (Failed(r)) return r;
  try {
    ids.assign(narrow.begin(), narrow.end());
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return r;
}

// u32 count, then count f32 times, each truncated toward zero to whole
// milliseconds (FloatToIntTrunc) and clamped to the key-time range, so NaN
// and infinities become kMinKeyTime and 1999.9 becomes 1999.
inline Result ReadLegacyTimes(CStream& stream, std::vector<i32>& times) {
  times.clear();
  try {
    return ReadFloatTimeArray(stream, times);
  } catch (const std::bad_alloc&) {
    times.clear();
    return kErrOutOfMemory;
  }
}

// Builds `keys` from `times`: one default key per time, Time set, then
// `fill(key, i)` sets the rest from the parallel arrays. `arraySizes` are
// the sizes of those arrays: any below the time count answers kErrNotFound
// and leaves `keys` empty. kErrOutOfMemory when the keys cannot be made.
template <typename Key, typename Fill>
Result BuildKeysFromArrays(const std::vector<i32>& times, std::initializer_list<std::size_t> arraySizes,
                           std::vector<Key>& keys, Fill fill) {
  keys.clear();
  for (const std::size_t size : arraySizes) {
    if (size < times.size()) return kErrNotFound;
  }
  try {
    keys.resize(times.size());
  } catch (const std::bad_alloc&) {
    keys.clear();
    return kErrOutOfMemory;
  }
  for (std::size_t i = 0; i < times.size(); ++i) {
    keys[i].Time = times[i];
    fill(keys[i], i);
  }
  return kOk;
}

// The two-array layout: f32 times, then values of type V into `field` of
// each key. Stream codes are answered unchanged; short value arrays give
// kErrNotFound.
template <typename Key, typename V, typename K>
Result ReadTwoArrayKeys(CStream& stream, std::vector<Key>& keys, V K::*field) {
  static_assert(std::is_base_of_v<K, Key>);
  std::vector<i32> times;
  std::vector<V> values;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, values);
  if (Failed(r)) return r;
  return BuildKeysFromArrays(times, {values.size()}, keys,
                             [&](Key& key, std::size_t i) { key.*field = values[i]; });
}

// The four-array layout (see above) for transition keys.
template <typename Key, typename V, typename K>
Result ReadFourArrayKeys(CStream& stream, std::vector<Key>& keys, V K::*field) {
  static_assert(std::is_base_of_v<CTransitionKey, Key> && std::is_base_of_v<K, Key>);
  std::vector<i32> times;
  std::vector<V> values;
  std::vector<f32> flags;
  std::vector<u32> types;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, values);
  if (Succeeded(r)) r = ReadLegacyArray(stream, flags);
  if (Succeeded(r)) r = ReadLegacyArray(stream, types);
  if (Failed(r)) return r;
  return BuildKeysFromArrays(times, {values.size(), flags.size(), types.size()}, keys,
                             [&](Key& key, std::size_t i) {
                               key.*field = values[i];
                               key.TransitionType = flags[i] == 0.0f ? static_cast<u32>(TT_STEP) : types[i];
                               key.TransitionStrength = kDefaultTransitionStrength;
                             });
}

}  // namespace KT
