// Key search and key-vector storage, shared by every keyed controller.
//
// Keys are kept in vectors sorted by ascending time, either as key objects
// (KT::CTimeKey descendants, controllers/core/time_key.h) or as a separate
// vector of i32 times beside vectors of values. Evaluation runs every frame
// at a time close to the previous one, so the searches start from a cached
// index owned by the controller (LastIndex, LastStickyIndex...) and step
// from there: playback forward or backward costs O(1) per evaluation. A
// jump in time probes a few keys around the cache and then bisects, so
// random access costs O(log n) instead of a walk over the whole track; the
// result is the same as a key-by-key walk from the cache.
//
// Every function here is one template over a "track": a vector of keys
// (anything with an i32 member Time) or a vector of i32 times. None of them
// allocates except ReadKeyList.
//
// Tracks are expected in ascending order without equal times (setters
// replace the key at an existing time). A track read from a file may break
// that; the searches then still answer indices inside the track and finite
// fractions, though not meaningful ones.
#pragma once

#include <concepts>
#include <cstddef>
#include <new>
#include <type_traits>
#include <vector>

#include "controllers/core/time_key.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

// Result codes of the searches.
enum KeySearchCode : i32 {
  kKeySearchNone = 0,      // no keys; outputs untouched
  kKeySearchBefore = 1,    // time before the first key
  kKeySearchBackward = 2,  // between two keys, found walking backward from the cache
  kKeySearchOnKey = 3,     // exactly on a key (or prev equals next)
  kKeySearchForward = 4,   // between two keys, found walking forward from the cache
  kKeySearchAfter = 5,     // time after the last key
};

// A key type usable in a key track: it carries its time as `Time`.
template <typename Key>
concept TimedKey = requires(const Key& key) {
  { key.Time } -> std::convertible_to<i32>;
};

namespace key_search_detail {

inline i32 TimeOf(const i32& time) { return time; }
template <TimedKey Key>
i32 TimeOf(const Key& key) {
  return key.Time;
}

// Probes a search makes next to the cache (1 and 2 keys away) before it
// treats the time as a jump and bisects the whole track. Bisecting the whole
// track rather than the rest of it keeps the first probes of every jump on
// the same few keys, which stay in the processor's cache.
inline constexpr int kGallopProbes = 2;

// The last index in [low, high) whose time is <= t, given time[low] <= t and
// time[high] > t (or high the end). The range shrinks by the same amount
// whichever way a probe goes, so the compiler can use a conditional move
// instead of a branch that random times would mispredict.
template <typename Track>
std::size_t Bisect(const Track& track, std::size_t low, std::size_t high, i32 t) {
  std::size_t length = high - low;
  while (length > 1) {
    const std::size_t half = length / 2;
#if defined(__GNUC__)
    // Both keys the next probe can land on, fetched while this one is
    // compared: on long tracks the probes miss the processor's cache.
    const std::size_t nextHalf = (length - half) / 2;
    __builtin_prefetch(&track[low + nextHalf]);
    __builtin_prefetch(&track[low + half + nextHalf]);
#endif
    if (TimeOf(track[low + half]) <= t) low += half;
    length -= half;
  }
  return low;
}

// The last index whose time is <= t, given time[0] <= t and time[from] <= t:
// probes forward from `from`, then bisects.
template <typename Track>
u32 LastAtOrBeforeForward(const Track& track, u32 from, i32 t) {
  const std::size_t n = track.size();
  std::size_t low = from;
  std::size_t step = 1;
  for (int probes = 0; probes < kGallopProbes; ++probes, step *= 2) {
    const std::size_t probe = low + step;
    if (probe >= n) return static_cast<u32>(Bisect(track, low, n, t));
    if (TimeOf(track[probe]) > t) return static_cast<u32>(Bisect(track, low, probe, t));
    low = probe;
  }
  return static_cast<u32>(Bisect(track, 0, n, t));
}

// The last index below `from` whose time is <= t, given time[0] <= t and
// time[from] > t (from >= 1): probes backward from `from`, then bisects.
// The answer is kept below `from` even in a track out of order.
template <typename Track>
u32 LastAtOrBeforeBackward(const Track& track, u32 from, i32 t) {
  std::size_t high = from;
  std::size_t step = 1;
  for (int probes = 0; probes < kGallopProbes; ++probes, step *= 2) {
    if (step >= high) return static_cast<u32>(Bisect(track, 0, high, t));
    const std::size_t probe = high - step;
    if (TimeOf(track[probe]) <= t) return static_cast<u32>(Bisect(track, probe, high, t));
    high = probe;
  }
  const std::size_t found = Bisect(track, 0, track.size(), t);
  return static_cast<u32>(found < high ? found : high - 1);
}

// (t - time[prev]) / (time[next] - time[prev]), the difference and the
// interval each converted to f32 first. The differences are taken in 64
// bits so that no pair of i32 times can overflow, and an interval that is
// not positive (only in a disordered track) gives 0.
template <typename Track>
f32 IntervalFraction(const Track& track, u32 prev, u32 next, i32 t) {
  const i64 start = TimeOf(track[prev]);
  const i64 span = static_cast<i64>(TimeOf(track[next])) - start;
  if (span <= 0) return 0.0f;
  return static_cast<f32>(static_cast<i64>(t) - start) / static_cast<f32>(span);
}

// The interval search. `timeVectorForm` selects the one point in which the
// search over separate time vectors differs from the one over key vectors:
// after a forward walk the cache stays on the lower key and the code is
// kKeySearchForward even when the walk ends on the last key itself.
template <typename Track>
i32 FindInterval(i32 t, const Track& track, u32& cache, f32& fraction, u32& prev, u32& next,
                 bool timeVectorForm) {
  const std::size_t n = track.size();
  if (n == 0) return kKeySearchNone;
  if (t < TimeOf(track[0])) {
    fraction = 0.0f;
    cache = prev = next = 0;
    return kKeySearchBefore;
  }
  const u32 last = static_cast<u32>(n - 1);
  if (t > TimeOf(track[last])) {
    fraction = 0.0f;
    cache = prev = next = last;
    return kKeySearchAfter;
  }
  if (cache >= n) cache = 0;
  const i32 cached = TimeOf(track[cache]);
  if (t > cached) {
    prev = LastAtOrBeforeForward(track, cache, t);
    next = prev < last ? prev + 1 : prev;
    if (timeVectorForm) {
      cache = prev;
      fraction = prev == next ? 0.0f : IntervalFraction(track, prev, next, t);
      return kKeySearchForward;
    }
    cache = next;
    if (prev == next) {
      fraction = 0.0f;
      return kKeySearchOnKey;
    }
    fraction = IntervalFraction(track, prev, next, t);
    return kKeySearchForward;
  }
  if (t == cached) {
    fraction = 0.0f;
    prev = next = cache;
    return kKeySearchOnKey;
  }
  prev = LastAtOrBeforeBackward(track, cache, t);
  next = prev + 1;
  cache = prev;
  fraction = IntervalFraction(track, prev, next, t);
  return kKeySearchBackward;
}

// The floor search shared by FindKeyFloor and FindKeyFloorClamped, from
// step 5 on: `index` is inside the track and time[0] <= t <= time[n-1].
template <typename Track>
i32 FloorFrom(i32 t, const Track& track, u32& index) {
  const i32 at = TimeOf(track[index]);
  if (t == at) return kKeySearchOnKey;
  if (t < at) {
    index = LastAtOrBeforeBackward(track, index, t);
    return kKeySearchBackward;
  }
  index = LastAtOrBeforeForward(track, index, t);
  return TimeOf(track[index]) == t ? kKeySearchOnKey : kKeySearchForward;
}

// The first index whose time is >= t (n when there is none).
template <typename Track>
u32 LowerBound(const Track& track, i32 t) {
  std::size_t low = 0;
  std::size_t high = track.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (TimeOf(track[mid]) < t) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return static_cast<u32>(low);
}

}  // namespace key_search_detail

// --- interval search -----------------------------------------------------------------

// Locates t between two keys of a key vector, starting from `cache`:
//   0 no keys: nothing is written;
//   1 t before the first key: prev = next = cache = 0, fraction 0;
//   5 t after the last key: prev = next = cache = n-1, fraction 0;
//   otherwise prev = the last key at or before t, next = prev + 1 (prev
//   itself on the last key), fraction = (t - T[prev]) / (T[next] - T[prev]),
//   and by the direction taken from the cache (a cache >= n counts as 0):
//   3 t on the cached key (prev = next = cache), or the walk forward ended
//     on the last key (prev = next = n-1);
//   4 walked forward: the cache moves to next (the upper key);
//   2 walked backward: the cache moves to prev (the lower key).
// An exact hit reached by walking gives code 4 or 2 with fraction 0.
template <TimedKey Key>
i32 FindKeyInterval(i32 t, const std::vector<Key>& keys, u32& cache, f32& fraction, u32& prev, u32& next) {
  return key_search_detail::FindInterval(t, keys, cache, fraction, prev, next, false);
}

// The same over a vector of times, except after a forward walk: the cache
// stays on prev (the lower key), and the code is 4 even when the walk ends
// on the last key (prev = next = n-1, fraction 0).
inline i32 FindKeyInterval(i32 t, const std::vector<i32>& times, u32& cache, f32& fraction, u32& prev,
                           u32& next) {
  return key_search_detail::FindInterval(t, times, cache, fraction, prev, next, true);
}

// The interval search of a key vector of transition keys, with the fraction
// eased by the transition of the later key (keys[next]), the form in which
// keyed controllers blend from keys[prev] to keys[next]. `eased` is written
// whenever prev and next are (codes 1 to 5).
template <TimedKey Key>
  requires std::is_base_of_v<CTransitionKey, Key>
i32 FindEasedKeyInterval(i32 t, const std::vector<Key>& keys, u32& cache, f32& eased, u32& prev, u32& next) {
  f32 fraction = 0.0f;
  const i32 code = FindKeyInterval(t, keys, cache, fraction, prev, next);
  if (code != kKeySearchNone) eased = EaseTransitionKey(fraction, keys[next]);
  return code;
}

// --- floor search ----------------------------------------------------------------------

// The last index whose time is at or before t, starting from `hint`
// (index starts equal to hint):
//   0 no keys, 1 t before the first key: index unchanged;
//   5 t after the last key: index = n-1;
//   otherwise (a hint >= n counts as 0) 3 when t is the time at the hint,
//   2 when the search went backward, else 3 when it ended on a key at t
//   and 4 when t lies between keys.
template <typename Track>
i32 FindKeyFloor(i32 t, const Track& track, u32 hint, u32& index) {
  using namespace key_search_detail;
  index = hint;
  const std::size_t n = track.size();
  if (n == 0) return kKeySearchNone;
  if (t < TimeOf(track[0])) return kKeySearchBefore;
  if (t > TimeOf(track[n - 1])) {
    index = static_cast<u32>(n - 1);
    return kKeySearchAfter;
  }
  if (index >= n) index = 0;
  return FloorFrom(t, track, index);
}

// The clamped variant: index is -1 for codes 0 and 1, and the hint is
// clamped into [0, n-1] instead of being reset to 0.
template <typename Track>
i32 FindKeyFloorClamped(i32 t, const Track& track, i32 hint, i32& index) {
  using namespace key_search_detail;
  index = -1;
  const std::size_t n = track.size();
  if (n == 0) return kKeySearchNone;
  if (t < TimeOf(track[0])) return kKeySearchBefore;
  if (t > TimeOf(track[n - 1])) {
    index = static_cast<i32>(n - 1);
    return kKeySearchAfter;
  }
  u32 at = hint < 0 ? 0u : static_cast<u32>(hint);
  if (at >= n) at = static_cast<u32>(n - 1);
  const i32 code = FloorFrom(t, track, at);
  index = static_cast<i32>(at);
  return code;
}

// --- insertion search --------------------------------------------------------------------

// Where t belongs in a track, for a setter: index = the first position
// whose time is >= t, found = that time equals t. An empty track gives
// index 0; t after the last time gives index n, not found.
template <typename Track>
void FindTimeIndex(const Track& track, i32 t, u32& index, bool& found) {
  index = key_search_detail::LowerBound(track, t);
  found = index < track.size() && key_search_detail::TimeOf(track[index]) == t;
}

// The same for a key vector, answering whether the key goes inside the
// vector: true with found set when a key has time t (overwrite it), true
// when the key goes before the first later key (insert at index), false
// with index = n when it goes after all keys (append; also for an empty
// vector).
template <typename Track>
bool FindKeyIndex(const Track& track, i32 t, u32& index, bool& found) {
  FindTimeIndex(track, t, index, found);
  return index < track.size();
}

// --- key-vector storage -------------------------------------------------------------------

// Bytes WriteKeyList writes: 4 plus the sum of the keys' GetSaveSize (keys
// with strings differ in size); 4 for an empty vector.
template <TimedKey Key>
u32 GetKeyVectorSaveSize(const std::vector<Key>& keys) {
  u32 size = 4;
  for (const Key& key : keys) size += key.GetSaveSize();
  return size;
}

// u32 count, then each key's own record in order; the first failing write
// ends it with its code.
template <TimedKey Key>
Result WriteKeyList(CStream& stream, const std::vector<Key>& keys) {
  Result r = WriteU32(stream, static_cast<u32>(keys.size()));
  for (std::size_t i = 0; Succeeded(r) && i < keys.size(); ++i) r = keys[i].Save(stream);
  return r;
}

// u32 count, then count key records, each read by a default-constructed
// key's own Load. The vector is replaced: a count of 0 empties it. A count
// that cannot fit in the bytes left (every key record holds at least the
// 12-byte time key part) answers kErrStream before anything is allocated;
// an allocation failure answers kErrOutOfMemory. The first failing key load
// ends the read with its code, keeping only the keys read completely.
template <TimedKey Key>
Result ReadKeyList(CStream& stream, std::vector<Key>& keys) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Failed(r)) return r;
  r = stream.CheckAvailable(count, CTimeKey().GetSaveSize());
  if (Failed(r)) return r;
  try {
    keys.clear();
    keys.resize(count);
  } catch (const std::bad_alloc&) {
    keys.clear();
    return kErrOutOfMemory;
  }
  for (u32 i = 0; i < count; ++i) {
    r = keys[i].Load(stream);
    if (Failed(r)) {
      keys.resize(i);
      return r;
    }
  }
  return kOk;
}

}  // namespace KT
