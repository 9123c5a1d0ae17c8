// Key-time constants, snapping of times to whole animation frames, and the
// float-to-integer conversions used for values read from files.
#pragma once

#include "objectmodel/types.h"

namespace KT {

// Times are signed 32-bit counts of milliseconds.
inline constexpr i32 kZeroTime = 0;
// The largest and smallest key times. An empty time range has
// Start = kMaxKeyTime and End = kMinKeyTime.
inline constexpr i32 kMaxKeyTime = 1073741823;   // 0x3FFFFFFF
inline constexpr i32 kMinKeyTime = -1073741826;  // 0xBFFFFFFE as i32

// The time of the nearest whole frame at `fps` frames per second:
//   x     = time * fps * 0.001, rounded to f32;
//   frame = x rounded half away from zero;
//   time' = trunc(frame * 1000 / fps), computed in double precision,
// so a time already on the frame grid stays where it is (at 1000 fps 251
// stays 251; at 30 fps 50 gives 66 and -50 gives -66). A frame rate that is
// not a finite number above 0 answers `time` unchanged. A result beyond the
// i32 range (only for absurd frame rates) is clamped to it.
i32 SnapTimeToFrame(i32 time, f32 fps);
// The same, written to an out parameter.
inline void SnapTimeToFrame(i32& out, i32 time, f32 fps) { out = SnapTimeToFrame(time, fps); }

// Truncation toward zero of a float that came from a file. NaN, infinities
// and values whose truncation does not fit an i32 answer INT32_MIN (the
// "integer indefinite" value the original hardware produced), so a file
// cannot make the conversion undefined.
i32 FloatToIntTrunc(f32 value);

// `time` kept inside [kMinKeyTime, kMaxKeyTime]. Float times from files go
// through FloatToIntTrunc first, so NaN, the infinities and values beyond
// the i32 range become INT32_MIN and then kMinKeyTime.
i32 ClampKeyTime(i64 time);

// time - offset, kept inside [kMinKeyTime, kMaxKeyTime] (older records
// stored key times relative to a start that loading takes off).
i32 SubtractTimeOffset(i32 time, i32 offset);

}  // namespace KT
