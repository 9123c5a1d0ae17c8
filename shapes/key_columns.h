// The keys of the vector-shape controllers: parallel vectors, one entry per
// key in each, in ascending time:
//   times (i32 ms) with the search cache LastIndex,
//   one vector per animated value (Values...),
//   transition times (f32; stored, copied and saved, not used), and
//   transition types (u32, the TT_ values).
// On disk each vector is a u32 count followed by its raw entries, in that
// order. Times are f32 (truncated toward zero) in records older than the
// controller's 1.01. Vectors of different lengths do not describe keys: a
// load refuses them with kErrNotFound (0x80000005) and keeps none.
//
// Between keys a value is v[p] + (v[n] - v[p]) x e, e being the fraction
// eased by the transition of the approached key n at strength 50.
#pragma once

#include <cstddef>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "controllers/core/key_blend.h"
#include "controllers/core/key_track.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/member_visitor.h"

namespace KT {

template <typename... Values>
class CKeyColumns {
 public:
  // A copy made by construction keeps LastIndex; an assignment (CopyTo)
  // leaves the target's.
  using TimeTrack = CTimeTrack<TrackCacheCopy::kKeepTarget>;
  // Times are i32 from this version of the controllers' records.
  static constexpr u32 kVersionIntegerTimes = 101;

  const TimeTrack& Times() const { return times_; }
  template <std::size_t I>
  const auto& Column() const {
    return std::get<I>(values_);
  }
  template <std::size_t I>
  auto& EditColumn() {
    return std::get<I>(values_);
  }
  const std::vector<f32>& TransitionTimes() const { return transitionTimes_; }
  const std::vector<u32>& TransitionTypes() const { return transitionTypes_; }
  u32 Size() const { return times_.Size(); }
  bool Empty() const { return times_.Empty(); }
  u32 GetLastIndex() const { return times_.GetLastIndex(); }
  const u32& LastIndexField() const { return times_.LastIndexField(); }

  bool IsConsistent() const {
    const std::size_t n = times_.Size();
    return transitionTimes_.size() == n && transitionTypes_.size() == n &&
           std::apply([n](const auto&... column) { return ((column.size() == n) && ...); }, values_);
  }

  // Puts a key at `time`: a key at that time is overwritten, otherwise one
  // is inserted in order. kErrOutOfMemory leaves the keys as they were.
  Result SetKey(i32 time, const Values&... values, f32 transitionTime, u32 transitionType) {
    u32 index = 0;
    bool found = false;
    times_.Locate(time, index, found);
    if (found) {
      Assign(index, std::index_sequence_for<Values...>(), values...);
      transitionTimes_[index] = transitionTime;
      transitionTypes_[index] = transitionType;
      return kOk;
    }
    try {
      // Room first, so that running out of memory changes nothing.
      times_.MutableTimes().reserve(times_.Size() + 1);
      std::apply([](auto&... column) { (column.reserve(column.size() + 1), ...); }, values_);
      transitionTimes_.reserve(transitionTimes_.size() + 1);
      transitionTypes_.reserve(transitionTypes_.size() + 1);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    times_.MutableTimes().insert(times_.MutableTimes().begin() + index, time);
    Insert(index, std::index_sequence_for<Values...>(), values...);
    transitionTimes_.insert(transitionTimes_.begin() + index, transitionTime);
    transitionTypes_.insert(transitionTypes_.begin() + index, transitionType);
    return kOk;
  }

  // The keys around local time `t` (FindKeyInterval over the times, from
  // and moving LastIndex): prev p, next n and the eased fraction e. False
  // without keys, or when the vectors differ in length (nothing is read).
  bool Bracket(i32 t, u32& prev, u32& next, f32& eased) {
    if (times_.Empty() || !IsConsistent()) return false;
    KeyBracket bracket;
    times_.Bracket(t, bracket);
    prev = bracket.prev;
    next = bracket.next;
    eased = EaseTransition(bracket.fraction, transitionTypes_[next], kDefaultTransitionStrength);
    return true;
  }

  // The end time by `rule`.
  i32 GetEndTime(EndTimeRule rule) const { return times_.GetEndTime(rule); }

  // --- record -----------------------------------------------------------------------
  Result Write(CStream& stream) const {
    Result r = times_.Write(stream);
    std::apply(
        [&](const auto&... column) { ((r = Succeeded(r) ? WritePodVector(stream, column) : r), ...); }, values_);
    if (Succeeded(r)) r = WritePodVector(stream, transitionTimes_);
    if (Succeeded(r)) r = WritePodVector(stream, transitionTypes_);
    return r;
  }
  // The current form (used through the field walkers).
  Result Read(CStream& stream) { return Read(stream, kVersionIntegerTimes); }
  // The form of the controller's stored version `storedVersion`.
  Result Read(CStream& stream, u32 storedVersion) {
    Result r = times_.Read(stream, static_cast<i32>(storedVersion), kVersionIntegerTimes / 100,
                           kVersionIntegerTimes % 100);
    std::apply([&](auto&... column) { ((r = Succeeded(r) ? ReadLegacyArray(stream, column) : r), ...); },
               values_);
    if (Succeeded(r)) r = ReadLegacyArray(stream, transitionTimes_);
    if (Succeeded(r)) r = ReadLegacyArray(stream, transitionTypes_);
    if (Failed(r)) return r;
    if (!IsConsistent()) {
      Clear();
      return kErrNotFound;
    }
    return kOk;
  }
  u32 GetSaveSize() const {
    u32 size = times_.GetSaveSize() + PodVectorSaveSize(transitionTimes_) + PodVectorSaveSize(transitionTypes_);
    std::apply([&](const auto&... column) { ((size += PodVectorSaveSize(column)), ...); }, values_);
    return size;
  }
  // The bytes the entries hold (count times entry size).
  u32 GetEntryBytes() const {
    std::size_t bytes = times_.Size() * sizeof(i32) + transitionTimes_.size() * sizeof(f32) +
                        transitionTypes_.size() * sizeof(u32);
    std::apply([&](const auto&... column) { ((bytes += column.size() * sizeof(column[0])), ...); }, values_);
    return static_cast<u32>(bytes);
  }
  // One array element per key: "Time", "TransitionTime", "TransitionType"
  // (the value columns are the controller's to describe).
  void DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const {
    visitor.RecordArray(name, IsConsistent() ? Size() : 0, [this](u32 index, CMemberVisitor& v) {
      i32 time = times_[index];
      f32 transitionTime = transitionTimes_[index];
      i32 type = static_cast<i32>(transitionTypes_[index]);
      v.Time(u"Time", &time);
      v.Float(u"TransitionTime", &transitionTime);
      v.Enum(u"TransitionType", &type, kTransitionTypeNames, kTransitionTypeCount);
    });
  }
  // The keys hold no references.
  void Link(CStream&) {}
  void Remap(const CloneMap&) {}
  void ResolveByName(CBase*) {}

  void Clear() {
    times_.MutableTimes().clear();
    std::apply([](auto&... column) { (column.clear(), ...); }, values_);
    transitionTimes_.clear();
    transitionTypes_.clear();
  }

 private:
  template <std::size_t... I>
  void Assign(u32 index, std::index_sequence<I...>, const Values&... values) {
    ((std::get<I>(values_)[index] = values), ...);
  }
  template <std::size_t... I>
  void Insert(u32 index, std::index_sequence<I...>, const Values&... values) {
    ((std::get<I>(values_).insert(std::get<I>(values_).begin() + index, values)), ...);
  }

  TimeTrack times_;
  std::tuple<std::vector<Values>...> values_;
  std::vector<f32> transitionTimes_;
  std::vector<u32> transitionTypes_;
};

}  // namespace KT
