// Keyframe reduction of one keyframe controller with 10^3 to 10^6 RTS keys,
// on a straight run (every inner key goes) and on noise (every key stays).
//
//   BM_OnePass      ThinKeyframeControl: the one left-to-right pass over
//                   (last key kept, candidate, next key) and the bulk
//                   removal of the keys dropped;
//   BM_TestsOnly    the straightness tests alone over the same triples
//                   (the floor the pass is measured against);
//   BM_OneAtATime   the reference that removes one key at a time (up to
//                   10^5 keys: each removal shifts the tail, so a straight
//                   run costs time quadratic in the key count).
//
// Each iteration refills the controller outside the timing. Reported:
// time per iteration and per key, and the keys left.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/convert/keyframe_reduction.h"

namespace {

using KT::CKeyframeControl;
using CRtsKey = CKeyframeControl::CRtsKey;

enum Course { kStraight = 0, kNoise = 1 };

std::vector<CRtsKey> MakeKeys(std::size_t count, Course course) {
  std::mt19937 random(108);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<CRtsKey> keys;
  keys.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    KT::CRtsTransform rts = KT::kIdentityTransform;
    if (course == kStraight) {
      rts.Translate = {static_cast<float>(i), 0.5f * static_cast<float>(i), 0.0f};
    } else {
      rts.Translate = {unit(random), unit(random), unit(random)};
      rts.Rotate = KT::CQuaternion::FromAxisAngle({unit(random), unit(random), 1.0f}, unit(random));
    }
    // One key per host frame at 160 ticks per frame: the time coordinates
    // are whole numbers, so a straight run stays exactly straight.
    keys.emplace_back(static_cast<KT::i32>(i * 160), rts);
  }
  return keys;
}

// A little slack absorbs the rounding of the normalised steps of a long
// straight run; noise stays far outside it.
ReductionThresholds Thresholds() {
  ReductionThresholds t;
  t.rotation = t.translation = t.scale = t.property = 0.01f;
  return t;
}

void Report(benchmark::State& state, std::size_t keysLeft) {
  state.counters["keys_left"] = static_cast<double>(keysLeft);
  state.counters["time_per_key"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                      benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

void Thin(benchmark::State& state, ThinMode mode) {
  const std::vector<CRtsKey> keys = MakeKeys(static_cast<std::size_t>(state.range(0)), Course(state.range(1)));
  const ReductionThresholds t = Thresholds();
  KT::CPointer<CKeyframeControl> control(new CKeyframeControl());
  for (auto _ : state) {
    state.PauseTiming();
    control->SetRtsKeys(keys);
    state.ResumeTiming();
    ThinKeyframeControl(*control, t, mode);
  }
  Report(state, control->GetRtsKeys().size());
}

void BM_OnePass(benchmark::State& state) { Thin(state, ThinMode::kOnePass); }
void BM_OneAtATime(benchmark::State& state) { Thin(state, ThinMode::kOneAtATime); }

void BM_TestsOnly(benchmark::State& state) {
  const std::vector<CRtsKey> keys = MakeKeys(static_cast<std::size_t>(state.range(0)), Course(state.range(1)));
  const ReductionThresholds t = Thresholds();
  std::size_t left = 0;
  for (auto _ : state) {
    std::size_t last = 0;
    left = keys.size() < 3 ? keys.size() : 2;
    for (std::size_t k = 1; k + 1 < keys.size(); ++k) {
      if (!RtsKeysStraight(keys[last], keys[k], keys[k + 1], t)) {
        last = k;
        ++left;
      }
    }
    benchmark::DoNotOptimize(left);
  }
  Report(state, left);
}

void Sizes(benchmark::internal::Benchmark* b, long largest) {
  for (long course : {kStraight, kNoise})
    for (long n = 1000; n <= largest; n *= 10) b->Args({n, course});
  b->ArgNames({"keys", "noise"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_OnePass)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, 1000000); });
BENCHMARK(BM_TestsOnly)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, 1000000); });
BENCHMARK(BM_OneAtATime)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, 100000); });

}  // namespace
