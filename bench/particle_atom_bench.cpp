// The particle simulator's step over 10,000 and 100,000 live slots.
//
// BM_ParticleAtomStep runs the atom control's Update on a particle node
// whose slots are all alive (lives far longer than the run, emission off),
// 16 ms per frame, with wind, gravity, spin and three size and colour keys;
// the direction jitter is off, so the step draws no random numbers.
// BM_StructOfArraysStep does the same arithmetic in a plain loop over
// arrays of its own: life, the size and colour at the age fraction (the
// same key search and interpolation), spin, fall, velocity, wind. Both
// report slots per second and the heap allocations made per step
// (expected 0).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/composite/particle_atom_control.h"
#include "scene/geometry_data.h"
#include "scene/particles.h"

namespace {

using KT::CColor;
using KT::CPointer;
using KT::f32;
using KT::i32;
using KT::u32;
using Vec = KT::CVector3<float>;

constexpr i32 kFrameMs = 16;
constexpr f32 kLife = 1.0e9f;

// Three keys along a life.
const std::vector<Vec> kSizes{{1, 1, 1}, {2, 2, 2}, {0.5f, 0.5f, 0.5f}};
const std::vector<CColor> kColors{{1, 1, 0, 1}, {1, 0.5f, 0, 0.8f}, {0.5f, 0, 0, 0}};
const std::vector<f32> kRates{0.0f, 0.5f, 1.0f};

void Settle(KT::ParticleSettings& s) {
  s.Gravity = 0.01f;
  s.Wind = 0.5f;
  s.WindDir = Vec(1, 0, 0);
  s.MinLife = kLife;
  s.MaxLife = kLife;
  s.MinAngle = 0.1f;
  s.MaxAngle = 0.3f;
  s.EmitterSize = Vec(1, 1, 1);
}

void Report(benchmark::State& state, u32 slots, unsigned long long allocationsBefore) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * slots);
  state.counters["allocs_per_step"] = benchmark::Counter(
      static_cast<double>(bench::AllocationCount() - allocationsBefore) / static_cast<double>(state.iterations()));
}

void BM_ParticleAtomStep(benchmark::State& state) {
  const u32 slots = static_cast<u32>(state.range(0));
  CPointer<KT::CParticles> node(new KT::CParticles());
  CPointer<KT::CGeometryData> level;
  KT::CGeometryData::Create(level);
  level->AllocateXYZ(1);
  node->SetSingleLod(level.Get());
  node->SetMaxQuantity(slots);
  CPointer<KT::CParticleAtomControl> atom(new KT::CParticleAtomControl());
  Settle(atom->EditSettings());
  atom->EditSettings().EmitRate = static_cast<f32>(slots);
  atom->SetKeys(kSizes, kColors, kRates);
  node->AddControl(atom.Get());
  // One step fills every slot; then emission stops.
  node->SetParticleFlag(true);
  i32 time = kFrameMs;
  atom->Update(time);
  node->SetParticleFlag(false);
  if (node->GetParticleCounter() != slots) state.SkipWithError("not every slot is alive");

  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    time += kFrameMs;
    atom->Update(time);
    benchmark::DoNotOptimize(node->GetWorldXYZ().GetData());
    benchmark::ClobberMemory();
  }
  Report(state, slots, before);
  if (node->GetParticleCounter() != slots) state.SkipWithError("particles died during the run");
}
BENCHMARK(BM_ParticleAtomStep)->Arg(10000)->Arg(100000)->ArgNames({"slots"});

// The slot arrays of the plain loop.
struct Slots {
  std::vector<Vec> position, size, base, velocity;
  std::vector<CColor> color;
  std::vector<f32> life, remaining, angle, spin, fall;
  explicit Slots(u32 n)
      : position(n), size(n), base(n, Vec(0.1f, 0.2f, 0.0f)), velocity(n), color(n), life(n, kLife),
        remaining(n, kLife), angle(n), spin(n, 0.2f), fall(n, 0.01f) {}
};

// The size and colour at an age fraction, as the simulator finds them.
inline void KeyValue(f32 age, Vec& size, CColor& color) {
  const std::size_t n = kRates.size();
  if (age == 0.0f) {
    size = kSizes[0];
    color = kColors[0];
    return;
  }
  if (age == 1.0f) {
    size = kSizes[n - 1];
    color = kColors[n - 1];
    return;
  }
  for (std::size_t k = 0; k + 1 < n; ++k) {
    if (kRates[k] <= age && age < kRates[k + 1]) {
      const f32 f = (age - kRates[k]) / (kRates[k + 1] - kRates[k]);
      size = kSizes[k] + (kSizes[k + 1] - kSizes[k]) * f;
      color = kColors[k] + (kColors[k + 1] - kColors[k]) * f;
      return;
    }
  }
  size = kSizes[0];
  color = kColors[0];
}

void BM_StructOfArraysStep(benchmark::State& state) {
  const u32 n = static_cast<u32>(state.range(0));
  Slots p(n);
  KT::ParticleSettings s;
  Settle(s);
  const f32 dt = static_cast<f32>(kFrameMs);
  const f32 step = dt / 7.0f;
  const Vec wind = s.WindDir * (s.Wind * step);
  const f32 growth = s.Gravity / 4.0f * step;
  u32 alive = 0;
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    alive = 0;
    for (u32 i = 0; i < n; ++i) {
      p.remaining[i] -= dt;
      if (!(p.remaining[i] > 0.0f)) {
        p.position[i] = p.size[i] = p.base[i] = p.velocity[i] = Vec();
        p.color[i] = CColor();
        p.angle[i] = p.remaining[i] = p.spin[i] = p.fall[i] = 0.0f;
        continue;
      }
      const f32 age = (p.life[i] - p.remaining[i]) / p.life[i];
      Vec sizeNow;
      CColor colorNow;
      KeyValue(age, sizeNow, colorNow);
      p.size[i] = sizeNow;
      p.angle[i] += p.spin[i] * step;
      const Vec drop = s.GravityDir * (p.fall[i] * step);
      p.fall[i] += growth;
      p.velocity[i] = p.base[i];
      p.position[i] += p.velocity[i] * step;
      p.position[i] += wind;
      p.position[i] += drop;
      p.color[i] = colorNow;
      ++alive;
    }
    benchmark::DoNotOptimize(p.position.data());
    benchmark::DoNotOptimize(alive);
    benchmark::ClobberMemory();
  }
  Report(state, n, before);
}
BENCHMARK(BM_StructOfArraysStep)->Arg(10000)->Arg(100000)->ArgNames({"slots"});

}  // namespace
