// Record helpers shared by the audio classes.
#pragma once

#include <vector>

#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

// Reads a time that older records store as f32, truncated toward zero by
// the library's one conversion (NaN and out-of-range values give INT32_MIN).
inline Result ReadFloatTime(CStream& stream, i32& time) {
  f32 value = 0.0f;
  const Result r = ReadU32(stream, value);
  if (Succeeded(r)) time = FloatToIntTrunc(value);
  return r;
}

}  // namespace KT
