// Soft-body playback of 100,000 vertices per frame: two baked samples lerped
// into a mesh's world positions.
//
// BM_SoftBodyPlayback runs the control's Update at a time between its two
// samples, once for every vertex and once for 10% of them through the index
// list. BM_TransformLerp does the same lerp with std::transform over the same
// arrays (every vertex) or over the same index list (10%). All report
// vertices per second and the heap allocations made per frame (expected 0).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/composite/physics_soft_control.h"
#include "scene/tri_mesh.h"

namespace {

using KT::CPointer;
using KT::f32;
using KT::u32;
using Vec = KT::CVector3<float>;

using KT::i32;

constexpr u32 kVertices = 100000;
constexpr i32 kFrameTime = 37;  // between the samples at 0 and 100 ms

std::vector<Vec> Sample(f32 shift) {
  std::vector<Vec> positions(kVertices);
  for (u32 i = 0; i < kVertices; ++i) {
    const f32 x = static_cast<f32>(i % 400) * 0.01f;
    const f32 y = static_cast<f32>(i / 400) * 0.01f;
    positions[i] = {x + shift, y, shift * 0.5f};
  }
  return positions;
}

// Every tenth vertex.
std::vector<u32> TenthOfTheVertices() {
  std::vector<u32> indices;
  for (u32 i = 0; i < kVertices; i += 10) indices.push_back(i);
  return indices;
}

void Report(benchmark::State& state, u32 vertices, unsigned long long allocationsBefore) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * vertices);
  state.counters["allocs_per_frame"] = benchmark::Counter(
      static_cast<double>(bench::AllocationCount() - allocationsBefore) / static_cast<double>(state.iterations()));
}

void BM_SoftBodyPlayback(benchmark::State& state) {
  const bool indexed = state.range(0) != 0;
  CPointer<KT::CTriMesh> mesh(new KT::CTriMesh());
  mesh->AllocateWorldXYZ(kVertices);
  CPointer<KT::CPhysicsSoftControl> control(new KT::CPhysicsSoftControl());
  control->AddSample(0, Sample(0.0f));
  control->AddSample(100, Sample(1.0f));
  control->SetPlayback(true);
  const std::vector<u32> indices = TenthOfTheVertices();
  if (indexed) {
    control->SetVertexIndices(indices);
    control->SetUseIndexList(1);
  }
  mesh->AddControl(control.Get());
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    control->Update(kFrameTime);
    benchmark::DoNotOptimize(mesh->GetWorldXYZ().GetData());
    benchmark::ClobberMemory();
  }
  Report(state, indexed ? static_cast<u32>(indices.size()) : kVertices, before);
}
BENCHMARK(BM_SoftBodyPlayback)->Arg(0)->Arg(1)->ArgNames({"indexed"});

void BM_TransformLerp(benchmark::State& state) {
  const bool indexed = state.range(0) != 0;
  const std::vector<Vec> a = Sample(0.0f);
  const std::vector<Vec> b = Sample(1.0f);
  std::vector<Vec> out(kVertices);
  const std::vector<u32> indices = TenthOfTheVertices();
  const f32 f = static_cast<f32>(kFrameTime) / 100.0f;
  const f32 g = 1.0f - f;
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    if (indexed) {
      std::for_each(indices.begin(), indices.end(), [&](u32 v) { out[v] = a[v] * g + b[v] * f; });
    } else {
      std::transform(a.begin(), a.end(), b.begin(), out.begin(),
                     [f, g](const Vec& p, const Vec& q) { return p * g + q * f; });
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Report(state, indexed ? static_cast<u32>(indices.size()) : kVertices, before);
}
BENCHMARK(BM_TransformLerp)->Arg(0)->Arg(1)->ArgNames({"indexed"});

}  // namespace
