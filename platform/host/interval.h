// Interval: a closed range of ticks, the validity range of an evaluation.
#pragma once

#include <algorithm>

#include "platform/host/max_types.h"

class Interval {
 public:
  constexpr Interval() = default;  // empty: start after end
  constexpr Interval(TimeValue start, TimeValue end) : start_(start), end_(end) {}

  constexpr TimeValue Start() const { return start_; }
  constexpr TimeValue End() const { return end_; }
  constexpr void Set(TimeValue start, TimeValue end) {
    start_ = start;
    end_ = end;
  }
  constexpr void SetStart(TimeValue start) { start_ = start; }
  constexpr void SetEnd(TimeValue end) { end_ = end; }
  constexpr bool Empty() const { return start_ > end_; }
  constexpr bool InInterval(TimeValue t) const { return start_ <= t && t <= end_; }
  // This interval narrowed to its overlap with `other`.
  constexpr Interval& operator&=(const Interval& other) {
    start_ = std::max(start_, other.start_);
    end_ = std::min(end_, other.end_);
    return *this;
  }
  constexpr bool operator==(const Interval&) const = default;

 private:
  TimeValue start_ = 1;
  TimeValue end_ = 0;
};
