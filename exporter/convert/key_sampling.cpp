#include "exporter/convert/key_sampling.h"

#include <algorithm>
#include <cstdint>

#include "objectmodel/time_helpers.h"

std::vector<TimeValue> SampleTicks(TimeValue start, TimeValue end, int sampleRate, int ticksPerFrame) {
  std::vector<TimeValue> ticks;
  if (start > end) return ticks;
  // 64-bit steps: a large rate times a large frame never wraps around and
  // walks back into the range.
  const std::int64_t step =
      static_cast<std::int64_t>(std::max(sampleRate, 1)) * static_cast<std::int64_t>(std::max(ticksPerFrame, 1));
  ticks.reserve(static_cast<std::size_t>((static_cast<std::int64_t>(end) - start) / step + 1));
  for (std::int64_t t = start; t <= end; t += step) ticks.push_back(static_cast<TimeValue>(t));
  return ticks;
}

KT::i32 KeyTimeFromTicks(TimeValue t, TimeValue origin, int ticksPerFrame) {
  const float frame = static_cast<float>(std::max(ticksPerFrame, 1)) * 0.03f;
  const float elapsed = static_cast<float>(t) - static_cast<float>(origin);
  return KT::FloatToIntTrunc(elapsed / frame);
}

std::vector<KeySample> SampleGrid(TimeValue start, TimeValue end, int sampleRate, int ticksPerFrame) {
  std::vector<KeySample> samples;
  for (TimeValue t : SampleTicks(start, end, sampleRate, ticksPerFrame))
    samples.push_back({t, KeyTimeFromTicks(t, start, ticksPerFrame)});
  return samples;
}
