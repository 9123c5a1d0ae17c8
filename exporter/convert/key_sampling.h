// The time grid every sampler of the exporter uses: which host ticks are
// sampled, and the key time (milliseconds) each sample gets.
#pragma once

#include <vector>

#include "objectmodel/types.h"
#include "platform/host/max_types.h"

// Keys made by the samplers are added at this rate, so the computed
// millisecond time stands as it is.
inline constexpr float kSampledKeyFramesPerSecond = 1000.0f;
inline constexpr float kSampledKeyStrength = 50.0f;

// The ticks start, start + step, ... up to and including `end`, with
// step = sampleRate x ticksPerFrame. The end is taken only when the step
// lands on it. A start after the end gives no sample. A sample rate below 1
// counts as 1 and a tick count per frame below 1 as 1, so the grid always
// advances (a stored optimisation value of 0 would otherwise never end).
std::vector<TimeValue> SampleTicks(TimeValue start, TimeValue end, int sampleRate, int ticksPerFrame);

// The key time of tick t measured from `origin` on the output's fixed
// 30-frames-per-second time line: (t - origin) / (ticksPerFrame x 0.03),
// every operand in single precision, truncated toward zero. At 160 ticks per
// frame frames 5, 15, 30 and 100 give 166, 500, 1000 and 3333 ms. A tick
// count per frame below 1 counts as 1.
KT::i32 KeyTimeFromTicks(TimeValue t, TimeValue origin, int ticksPerFrame);

// One sample of a grid: the host tick and its key time.
struct KeySample {
  TimeValue tick = 0;
  KT::i32 time = 0;
};

// SampleTicks from `start` to `end`, each tick with its KeyTimeFromTicks
// measured from `start`.
std::vector<KeySample> SampleGrid(TimeValue start, TimeValue end, int sampleRate, int ticksPerFrame);
