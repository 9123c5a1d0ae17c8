#include "objectmodel/time_helpers.h"

#include "objectmodel/math_functions.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace KT {

i32 SnapTimeToFrame(i32 time, f32 fps) {
  if (!(fps > 0.0f) || !std::isfinite(fps)) return time;
  const f32 x = static_cast<f32>(static_cast<f64>(time) * static_cast<f64>(fps) * 0.001);
  // Rounding in double: in single precision 0.49999997f + 0.5f already
  // rounds up to 1.
  const f64 frame = x > 0.0f ? std::trunc(static_cast<f64>(x) + 0.5) : std::trunc(static_cast<f64>(x) - 0.5);
  // Dividing in double keeps grid times on the grid; in single precision
  // 251 / 1000 * 1000 comes out just below 251 and truncates to 250.
  const f64 snapped = std::trunc(frame * 1000.0 / static_cast<f64>(fps));
  if (std::isnan(snapped)) return time;
  if (snapped >= static_cast<f64>(std::numeric_limits<i32>::max())) return std::numeric_limits<i32>::max();
  if (snapped <= static_cast<f64>(std::numeric_limits<i32>::min())) return std::numeric_limits<i32>::min();
  return static_cast<i32>(snapped);
}

i32 FloatToIntTrunc(f32 value) { return TruncateToI32(value); }

i32 ClampKeyTime(i64 time) {
  if (time > kMaxKeyTime) return kMaxKeyTime;
  if (time < kMinKeyTime) return kMinKeyTime;
  return static_cast<i32>(time);
}

i32 SubtractTimeOffset(i32 time, i32 offset) { return ClampKeyTime(static_cast<i64>(time) - offset); }

}  // namespace KT
