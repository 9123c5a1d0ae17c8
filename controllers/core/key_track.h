// Key tracks: the keys of one animated quantity with their search cache.
//
// KT::CKeyTrack<Key> holds a time-sorted vector of keys (by value, in one
// contiguous array) and the cached index `LastIndex` the searches start
// from. KT::CTimeTrack holds a vector of bare i32 times with its cache, for
// controllers that keep their values in parallel arrays beside the times.
// Both offer, once for every keyed controller:
//   - the bracketing search (FindKeyInterval of key_search.h: code, earlier
//     and later index, fraction) and the step search (the last key at or
//     before a time), both starting from and moving the cache;
//   - the blend weight between the bracketing keys (key_blend.h);
//   - the end time by either rule the controllers use;
//   - the key-list record: u32 count, then each key's record (or i32 time)
//     in order; its size; the member description as array elements;
//   - the link, clone remapping and name resolution of the keys' target
//     references (CKeyTrack only);
//   - key editing: set a key at a time (overwrite or insert in order),
//     remove by index, replace all.
// The cache copy policy is a template parameter, since controllers differ
// in what a copy does with LastIndex.
//
// Tracks are expected in ascending time without equal times. A track read
// from a file is taken as stored (never sorted); the searches then still
// answer indices inside the track and finite fractions (0 across a
// decreasing step).
#pragma once

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "controllers/core/key_blend.h"
#include "controllers/core/key_search.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

// What a copy of a track does with the source's LastIndex.
enum class TrackCacheCopy : u32 {
  kCopy,        // copy construction and assignment copy it
  kReset,       // both start the copy at 0
  kKeepTarget,  // copy construction copies it; assignment (CopyTo) keeps the target's
};

// Which time GetEndTime answers.
enum class EndTimeRule : u32 {
  kAtLeastZero,  // the larger of 0 and the last key's time; 0 without keys
  kLastKey,      // the last key's time as it is (negative included); 0 without keys
};

// Where a time lies among a track's keys: the result of Bracket.
struct KeyBracket {
  i32 code = kKeySearchNone;  // KeySearchCode of FindKeyInterval
  u32 prev = 0;               // the earlier key (the key itself on, before or after the keys)
  u32 next = 0;               // the later key (prev when there is none)
  f32 fraction = 0.0f;        // linear fraction of the time between them, [0, 1)
  f32 weight = 0.0f;          // the fraction under the blend rule
};

namespace key_track_detail {

inline u32 CopiedCache(TrackCacheCopy policy, u32 source) {
  return policy == TrackCacheCopy::kReset ? 0u : source;
}

template <typename Track>
i32 EndTimeOf(const Track& track, EndTimeRule rule) {
  if (track.empty()) return kZeroTime;
  const i32 last = key_search_detail::TimeOf(track.back());
  return rule == EndTimeRule::kAtLeastZero && last < kZeroTime ? kZeroTime : last;
}

}  // namespace key_track_detail

// Keeps, in one compaction that preserves their order, the runs of
// `stride` entries of `values` whose flag in `keep` is true (entry run i
// goes with keep[i]). False, nothing changed, when `values` does not hold
// keep.size() runs; true otherwise. Never reallocates.
template <typename T>
bool CompactKeptRuns(std::vector<T>& values, const std::vector<bool>& keep, std::size_t stride = 1) {
  if (values.size() != keep.size() * stride) return false;
  std::size_t write = 0;
  for (std::size_t i = 0; i < keep.size(); ++i) {
    if (!keep[i]) continue;
    if (write != i)
      for (std::size_t j = 0; j < stride; ++j) values[write * stride + j] = std::move(values[i * stride + j]);
    ++write;
  }
  values.resize(write * stride);
  return true;
}

template <TimedKey Key, TrackCacheCopy CachePolicy = TrackCacheCopy::kCopy>
class CKeyTrack {
 public:
  using KeyType = Key;
  using KeyVector = std::vector<Key>;

  CKeyTrack() = default;
  CKeyTrack(const CKeyTrack& other)
      : keys_(other.keys_), lastIndex_(key_track_detail::CopiedCache(CachePolicy, other.lastIndex_)) {}
  // Copies the keys (and the cache as the policy says). The keys are
  // copied before anything changes: running out of memory throws
  // std::bad_alloc and leaves this track as it was.
  CKeyTrack& operator=(const CKeyTrack& other) {
    if (this == &other) return *this;
    KeyVector copy(other.keys_);
    keys_.swap(copy);
    if (CachePolicy == TrackCacheCopy::kCopy) lastIndex_ = other.lastIndex_;
    if (CachePolicy == TrackCacheCopy::kReset) lastIndex_ = 0;
    return *this;
  }
  CKeyTrack(CKeyTrack&&) noexcept = default;
  CKeyTrack& operator=(CKeyTrack&&) noexcept = default;

  // --- keys and cache ------------------------------------------------------------
  const KeyVector& Keys() const { return keys_; }
  // For loaders and editors that fill the keys themselves (older records).
  KeyVector& MutableKeys() { return keys_; }
  u32 Size() const { return static_cast<u32>(keys_.size()); }
  bool Empty() const { return keys_.empty(); }
  const Key& operator[](u32 index) const { return keys_[index]; }
  Key& operator[](u32 index) { return keys_[index]; }
  u32 GetLastIndex() const { return lastIndex_; }
  void SetLastIndex(u32 index) { lastIndex_ = index; }
  // A reference to the cache, for members that describe it.
  const u32& LastIndexField() const { return lastIndex_; }

  // --- searches --------------------------------------------------------------------
  // The bracketing search of FindKeyInterval from the cache (which it
  // moves), with the weight of `rule` between the two keys (0 when they are
  // one key). Code kKeySearchNone (no keys) leaves `out` as it was.
  i32 Bracket(i32 time, BlendRule rule, KeyBracket& out) {
    const i32 code = FindKeyInterval(time, keys_, lastIndex_, out.fraction, out.prev, out.next);
    if (code == kKeySearchNone) return code;
    out.code = code;
    out.weight = out.prev == out.next ? 0.0f : BlendWeight(rule, out.fraction, keys_[out.prev], keys_[out.next]);
    return code;
  }
  // The step search: the last key at or before `time`, starting from the
  // cache. Codes as FindKeyFloor: 0 no keys and 1 before the first key
  // leave `index` and the cache alone; otherwise `index` is that key and
  // the cache moves to it.
  i32 FindStep(i32 time, u32& index) {
    const i32 code = FindKeyFloor(time, keys_, lastIndex_, index);
    if (code == kKeySearchNone || code == kKeySearchBefore) return code;
    lastIndex_ = index;
    return code;
  }

  // The blend of field `field` for a bracket: key prev's value when the
  // bracket is one key, else BlendValue at the bracket's weight.
  template <typename V, typename K>
  V Blend(const KeyBracket& bracket, V K::*field) const {
    const V& a = keys_[bracket.prev].*field;
    if (bracket.prev == bracket.next) return a;
    return BlendValue(a, keys_[bracket.next].*field, bracket.weight);
  }
  // A stepped field: the earlier key's.
  template <typename V, typename K>
  const V& Step(const KeyBracket& bracket, V K::*field) const {
    return keys_[bracket.prev].*field;
  }

  // The end time by `rule`.
  i32 GetEndTime(EndTimeRule rule) const { return key_track_detail::EndTimeOf(keys_, rule); }

  // --- editing ---------------------------------------------------------------------
  // Puts `key` at its time: a key already at that time is overwritten,
  // otherwise `key` goes before the first later key (or at the end).
  // kErrOutOfMemory when the track cannot grow (unchanged); else kOk.
  Result SetKey(const Key& key) {
    u32 index = 0;
    bool found = false;
    FindTimeIndex(keys_, key.Time, index, found);
    if (found) {
      keys_[index] = key;
      return kOk;
    }
    try {
      keys_.insert(keys_.begin() + index, key);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  }
  // Erases key `index`: kErrOutOfRange (0x80000004) at or past the end,
  // nothing changed; else kOk.
  Result RemoveKey(u32 index) {
    if (index >= keys_.size()) return kErrOutOfRange;
    keys_.erase(keys_.begin() + index);
    return kOk;
  }
  // Erases every key whose flag in `keep` is false in one compaction (the
  // others keep their order) and resets the cache to 0: the bulk form of
  // RemoveKey for editors that drop many keys at once. kErrInvalidArg when
  // `keep` does not have one flag per key (nothing changed); kDone when
  // every key stays; else kOk.
  Result KeepKeys(const std::vector<bool>& keep) {
    if (keep.size() != keys_.size()) return kErrInvalidArg;
    if (std::find(keep.begin(), keep.end(), false) == keep.end()) return kDone;
    CompactKeptRuns(keys_, keep);
    lastIndex_ = 0;
    return kOk;
  }
  void Clear() { keys_.clear(); }
  // Replaces the keys by a copy of `keys` (taken as ordered);
  // kErrOutOfMemory leaves the track as it was.
  Result Assign(const KeyVector& keys) {
    try {
      KeyVector copy(keys);
      keys_.swap(copy);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  }

  // --- record ----------------------------------------------------------------------
  // u32 count, then each key's record; the first failing write ends it.
  Result Write(CStream& stream) const { return WriteKeyList(stream, keys_); }
  // u32 count, then count records, each loaded into a default key (the fill
  // key) by the key's own Load; the first failing key ends the read with its
  // code, keeping the keys read whole. A count the bytes left cannot hold
  // answers kErrStream (0x8000000C) before anything is allocated. The cache
  // is not stored and keeps its value (the searches clamp it).
  Result Read(CStream& stream) { return ReadKeyList(stream, keys_); }
  // Bytes Write writes: 4 plus the sum of the keys' record sizes.
  u32 GetSaveSize() const { return GetKeyVectorSaveSize(keys_); }
  // One array element per key under `name`, each the key's DescribeMembers.
  void DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const {
    visitor.RecordArray(name, Size(), [this](u32 index, CMemberVisitor& v) {
      const_cast<Key&>(keys_[index]).DescribeMembers(v);
    });
  }
  // The search cache under `lastIndexName` (a copy: describing never moves
  // it), then the keys under `keysName`.
  void DescribeWithLastIndex(CMemberVisitor& visitor, const char16_t* lastIndexName,
                             const char16_t* keysName) const {
    u32 last = GetLastIndex();
    visitor.UInt(lastIndexName, &last);
    DescribeMembers(visitor, keysName);
  }
  // A member group `group` that holds only DescribeWithLastIndex's members.
  void DescribeGroup(CMemberVisitor& visitor, const char16_t* group, const char16_t* lastIndexName,
                     const char16_t* keysName) const {
    visitor.BeginGroup(group);
    visitor.OpenGroup();
    DescribeWithLastIndex(visitor, lastIndexName, keysName);
    visitor.EndGroup();
  }
  // Bytes the keys take in memory.
  u32 GetMemorySize() const { return static_cast<u32>(keys_.capacity() * sizeof(Key)); }

  // --- target references of the keys ------------------------------------------------
  // Each key's Link in list order (the order Load read the ids).
  void Link(CStream& stream) {
    for (Key& key : keys_) key.Link(stream);
  }
  void Remap(const CloneMap& cloneMap) {
    for (Key& key : keys_) key.RemapReferences(cloneMap);
  }
  void ResolveByName(CBase* root) {
    for (Key& key : keys_) key.ResolveReferences(root);
  }

 private:
  KeyVector keys_;
  u32 lastIndex_ = 0;
};

// The bulk removal as a controller offers it: `track`'s KeepKeys, then
// `owner` marked modified when keys went. Results as KeepKeys.
template <typename Owner, typename Track>
Result RemoveKeptTrackKeys(Owner& owner, Track& track, const std::vector<bool>& keep) {
  const Result r = track.KeepKeys(keep);
  if (r == kOk) owner.SetModified();
  return r;
}

// A track of bare times (ascending i32 ms) with its cache; the values live
// in the controller's parallel arrays, indexed like the times.
template <TrackCacheCopy CachePolicy = TrackCacheCopy::kCopy>
class CTimeTrack {
 public:
  CTimeTrack() = default;
  CTimeTrack(const CTimeTrack& other)
      : times_(other.times_), lastIndex_(key_track_detail::CopiedCache(CachePolicy, other.lastIndex_)) {}
  // As CKeyTrack's: the times are copied before anything changes.
  CTimeTrack& operator=(const CTimeTrack& other) {
    if (this == &other) return *this;
    std::vector<i32> copy(other.times_);
    times_.swap(copy);
    if (CachePolicy == TrackCacheCopy::kCopy) lastIndex_ = other.lastIndex_;
    if (CachePolicy == TrackCacheCopy::kReset) lastIndex_ = 0;
    return *this;
  }
  CTimeTrack(CTimeTrack&&) noexcept = default;
  CTimeTrack& operator=(CTimeTrack&&) noexcept = default;

  const std::vector<i32>& Times() const { return times_; }
  std::vector<i32>& MutableTimes() { return times_; }
  u32 Size() const { return static_cast<u32>(times_.size()); }
  bool Empty() const { return times_.empty(); }
  i32 operator[](u32 index) const { return times_[index]; }
  u32 GetLastIndex() const { return lastIndex_; }
  void SetLastIndex(u32 index) { lastIndex_ = index; }
  const u32& LastIndexField() const { return lastIndex_; }

  // The bracketing search over times (FindKeyInterval's time-vector form:
  // after a forward walk the cache stays on the earlier key). The weight is
  // the plain fraction; callers with transition arrays ease it themselves.
  i32 Bracket(i32 time, KeyBracket& out) {
    const i32 code = FindKeyInterval(time, times_, lastIndex_, out.fraction, out.prev, out.next);
    if (code == kKeySearchNone) return code;
    out.code = code;
    out.weight = out.prev == out.next ? 0.0f : out.fraction;
    return code;
  }
  // The step search, as CKeyTrack::FindStep.
  i32 FindStep(i32 time, u32& index) {
    const i32 code = FindKeyFloor(time, times_, lastIndex_, index);
    if (code == kKeySearchNone || code == kKeySearchBefore) return code;
    lastIndex_ = index;
    return code;
  }
  i32 GetEndTime(EndTimeRule rule) const { return key_track_detail::EndTimeOf(times_, rule); }
  // CKeyTrack::KeepKeys over the times; the caller compacts its parallel
  // arrays with CompactKeptRuns.
  Result KeepKeys(const std::vector<bool>& keep) {
    if (keep.size() != times_.size()) return kErrInvalidArg;
    if (std::find(keep.begin(), keep.end(), false) == keep.end()) return kDone;
    CompactKeptRuns(times_, keep);
    lastIndex_ = 0;
    return kOk;
  }

  // Where `time` goes: index of the first time >= it, and whether it is
  // there already (see FindTimeIndex).
  void Locate(i32 time, u32& index, bool& found) const { FindTimeIndex(times_, time, index, found); }

  // u32 count, then count i32 times.
  Result Write(CStream& stream) const { return WritePodVector(stream, times_); }
  // The same record; from stored version major.minor of the caller's class
  // on the times are i32, before it f32 (truncated toward zero, then
  // clamped to the key-time range). The times are replaced (a count of 0
  // empties them); counts are checked against the bytes left (kErrStream).
  Result Read(CStream& stream, i32 storedVersion, u32 major, u32 minor) {
    times_.clear();
    return ReadTimeArrayVersioned(stream, storedVersion, times_, major, minor);
  }
  u32 GetSaveSize() const { return PodVectorSaveSize(times_); }
  u32 GetMemorySize() const { return static_cast<u32>(times_.capacity() * sizeof(i32)); }

 private:
  std::vector<i32> times_;
  u32 lastIndex_ = 0;
};

}  // namespace KT
