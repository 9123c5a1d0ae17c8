// What the keyed light and camera controllers share beyond the keyed-track
// core: the key time of their setters and the oldest range arrays.
#pragma once

#include <vector>

#include "controllers/core/control.h"
#include "controllers/core/legacy_key_arrays.h"
#include "controllers/core/time_key.h"
#include "objectmodel/time_helpers.h"

namespace KT {

// The time a setter stores for `time`: trunc(time x Frequency), then
// snapped to the nearest whole frame at `fps`.
inline i32 ScaledFrameTime(const CControl& control, i32 time, f32 fps) {
  return SnapTimeToFrame(control.ScaleTime(time), fps);
}

// The range array of the oldest point-light and spot-light records: u32
// count, then 16-byte records whose first f32 is the range (`wideRecords`),
// or plain f32 ranges. Stream codes are answered unchanged.
inline Result ReadStoredRanges(CStream& stream, bool wideRecords, std::vector<f32>& ranges) {
  if (!wideRecords) return ReadLegacyArray(stream, ranges);
  struct Wide {
    f32 values[4];
  };
  std::vector<Wide> wide;
  const Result r = ReadLegacyArray(stream, wide);
  ranges.clear();
  for (const Wide& each : wide) ranges.push_back(each.values[0]);
  return r;
}

}  // namespace KT
