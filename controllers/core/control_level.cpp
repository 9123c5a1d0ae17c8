#include "controllers/core/control_level.h"

#include <cstring>

namespace KT {

i32 LocalTimeOf(const CControl& control, TimePolicy policy, i32 time, i32 length) {
  switch (policy) {
    case TimePolicy::kMapped: {
      i32 cycles = 0;
      return control.MapTime(time, length, cycles);
    }
    case TimePolicy::kScaled:
      return control.ScaleTime(time);
    case TimePolicy::kUnchanged:
      break;
  }
  return time;
}

namespace {

// The claim `claim` against the best so far: a later claim wins, an equal
// one only with a strictly greater priority (a NaN priority compares false
// and never wins a tie). The winner writes `start` and its priority.
Result PickClaim(i32 claim, i32 start, f32 priority, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  if (bestTime > claim) return kOk;
  if (bestTime == claim && !(priority > bestPriority)) return kOk;
  bestTime = start;
  pickedTime = start;
  bestPriority = priority;
  return 2;
}

}  // namespace

Result PickMostRecentKey(const CControl& control, i32 keyTime, f32 priority, i32& bestTime, i32& pickedTime,
                         f32& bestPriority) {
  return PickClaim(keyTime, control.UnscaleTime(keyTime), priority, bestTime, pickedTime, bestPriority);
}

Result PickByKeyStart(const CControl& control, i32 keyTime, f32 priority, i32& bestTime, i32& pickedTime,
                      f32& bestPriority) {
  const i32 start = control.UnscaleTime(keyTime);
  return PickClaim(start, start, priority, bestTime, pickedTime, bestPriority);
}

WString MemberGroupName(const ClassRecord& record) {
  WString name(record.name, record.name + std::strlen(record.name));
  name += u" Member";
  return name;
}

}  // namespace KT
