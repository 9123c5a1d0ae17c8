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

Result PickMostRecentKey(const CControl& control, i32 keyTime, f32 priority, i32& bestTime, i32& pickedTime,
                         f32& bestPriority) {
  if (bestTime > keyTime) return kOk;
  // A NaN priority compares false and never wins a tie.
  if (bestTime == keyTime && !(priority > bestPriority)) return kOk;
  bestTime = control.UnscaleTime(keyTime);
  pickedTime = bestTime;
  bestPriority = priority;
  return 2;
}

WString MemberGroupName(const ClassRecord& record) {
  WString name(record.name, record.name + std::strlen(record.name));
  name += u" Member";
  return name;
}

}  // namespace KT
