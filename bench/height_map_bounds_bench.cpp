// The block bounds of a full 513 x 513 height field, as a load computes
// them: 64 blocks of 65 x 65 samples and the bound around them all. The
// pass must allocate nothing (allocs_per_eval, counted by
// bench/allocation_counter.h); items are the samples read, edge samples
// once per block that shares them.
#include <benchmark/benchmark.h>

#include "bench/allocation_counter.h"
#include "environment/height_map.h"

namespace {

using namespace KT;

void BM_BlockBounds(benchmark::State& state) {
  CPointer<CHeightMap> map(new CHeightMap());
  if (Failed(map->Heights.Create(CHeightMap::kSampleCount))) {
    state.SkipWithError("no memory for the grid");
    return;
  }
  // Rolling ground: every block has its own lowest and highest sample.
  for (u32 i = 0; i < CHeightMap::kSampleCount; ++i) map->Heights[i] = static_cast<f32>((i * 7919u) % 1000u) * 0.25f;
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(map->ComputeBlockBounds());
    benchmark::DoNotOptimize(map->GetTotalBound());
  }
  const double allocations = static_cast<double>(bench::AllocationCount() - before);
  state.counters["allocs_per_eval"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
  constexpr i64 kSamplesRead = i64{CHeightMap::kBlockCount} * (CHeightMap::kCellsPerBlock + 1) * (CHeightMap::kCellsPerBlock + 1);
  state.SetItemsProcessed(state.iterations() * kSamplesRead);
}
BENCHMARK(BM_BlockBounds);

}  // namespace
