// Key search over tracks of 100, 10,000 and 1,000,000 keys: forward and
// backward playback (the cached search should cost the same per evaluation
// whatever the track length), random access, and std::upper_bound on the
// same keys for comparison. Every benchmark reports allocs_per_eval, counted
// by bench/allocation_counter.h; evaluation must allocate
// nothing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/core/key_search.h"



namespace {

using namespace KT;

constexpr i32 kKeySpacing = 33;  // about one key per frame at 30 fps
constexpr i32 kPlaybackStep = 11;  // three evaluations per key interval

const std::vector<CTransitionKey>& Track(std::size_t count) {
  static std::vector<CTransitionKey> tracks[3];
  std::vector<CTransitionKey>& track = tracks[count == 100 ? 0 : count == 10000 ? 1 : 2];
  if (track.size() != count) {
    track.clear();
    for (std::size_t i = 0; i < count; ++i) {
      track.emplace_back(static_cast<i32>(i) * kKeySpacing, static_cast<u32>(i % kTransitionTypeCount));
    }
  }
  return track;
}

const std::vector<i32>& Times(std::size_t count) {
  static std::vector<i32> times[3];
  std::vector<i32>& track = times[count == 100 ? 0 : count == 10000 ? 1 : 2];
  if (track.size() != count) {
    track.clear();
    for (const CTransitionKey& key : Track(count)) track.push_back(key.Time);
  }
  return track;
}

// Times spread uniformly over the track, the same for every random-access run.
const std::vector<i32>& RandomTimes(i32 lastTime) {
  static std::vector<i32> times;
  times.assign(1 << 16, 0);
  std::mt19937 random(2024);
  std::uniform_int_distribution<i32> pick(0, lastTime);
  for (i32& t : times) t = pick(random);
  return times;
}

void ReportAllocations(benchmark::State& state, unsigned long long before) {
  const double allocations = static_cast<double>(bench::AllocationCount() - before);
  state.counters["allocs_per_eval"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}

// Playback forward: small steps, wrapping to the start after the last key.
void BM_ForwardPlayback(benchmark::State& state) {
  const auto& keys = Track(static_cast<std::size_t>(state.range(0)));
  const i32 end = keys.back().Time;
  u32 cache = 0, prev = 0, next = 0;
  f32 fraction = 0.0f;
  i32 t = 0;
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindKeyInterval(t, keys, cache, fraction, prev, next));
    benchmark::DoNotOptimize(fraction);
    t = t >= end ? 0 : t + kPlaybackStep;
  }
  ReportAllocations(state, before);
}

// Playback backward: small steps down, wrapping to the end before the first key.
void BM_BackwardPlayback(benchmark::State& state) {
  const auto& keys = Track(static_cast<std::size_t>(state.range(0)));
  const i32 end = keys.back().Time;
  u32 cache = 0, prev = 0, next = 0;
  f32 fraction = 0.0f;
  i32 t = end;
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindKeyInterval(t, keys, cache, fraction, prev, next));
    benchmark::DoNotOptimize(fraction);
    t = t <= 0 ? end : t - kPlaybackStep;
  }
  ReportAllocations(state, before);
}

// Forward playback over a separate time vector (the other form of track).
void BM_ForwardPlaybackTimeVector(benchmark::State& state) {
  const auto& times = Times(static_cast<std::size_t>(state.range(0)));
  const i32 end = times.back();
  u32 cache = 0, prev = 0, next = 0;
  f32 fraction = 0.0f;
  i32 t = 0;
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindKeyInterval(t, times, cache, fraction, prev, next));
    benchmark::DoNotOptimize(fraction);
    t = t >= end ? 0 : t + kPlaybackStep;
  }
  ReportAllocations(state, before);
}

// Random access through the cached search.
void BM_RandomAccess(benchmark::State& state) {
  const auto& keys = Track(static_cast<std::size_t>(state.range(0)));
  const auto& times = RandomTimes(keys.back().Time);
  u32 cache = 0, prev = 0, next = 0;
  f32 fraction = 0.0f;
  std::size_t i = 0;
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindKeyInterval(times[i], keys, cache, fraction, prev, next));
    benchmark::DoNotOptimize(fraction);
    i = (i + 1) & (times.size() - 1);
  }
  ReportAllocations(state, before);
}

// The same random times located with std::upper_bound on the same keys.
void BM_RandomAccessUpperBound(benchmark::State& state) {
  const auto& keys = Track(static_cast<std::size_t>(state.range(0)));
  const auto& times = RandomTimes(keys.back().Time);
  std::size_t i = 0;
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    const auto it = std::upper_bound(keys.begin(), keys.end(), times[i],
                                     [](i32 t, const CTransitionKey& key) { return t < key.Time; });
    benchmark::DoNotOptimize(it);
    i = (i + 1) & (times.size() - 1);
  }
  ReportAllocations(state, before);
}

}  // namespace

BENCHMARK(BM_ForwardPlayback)->Arg(100)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_BackwardPlayback)->Arg(100)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_ForwardPlaybackTimeVector)->Arg(100)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_RandomAccess)->Arg(100)->Arg(10000)->Arg(1000000);
BENCHMARK(BM_RandomAccessUpperBound)->Arg(100)->Arg(10000)->Arg(1000000);
