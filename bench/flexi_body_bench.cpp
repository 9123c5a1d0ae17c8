// A flexible body of N x N nodes (first row pinned) joined by structural
// and shear springs (3,906 at 32 x 32), stepped ten times per frame.
//
// BM_FlexiBodySteps runs the body's own Step with a controller per node
// bound to a spatial (the library's path: gust, normals, axis, springs,
// Verlet, the controllers' transforms and the row orientation).
// BM_FlexiBodyStepsNoControllers runs the same body without controllers
// (the arithmetic alone). BM_FlatSpringVerlet does the spring and damped
// Verlet arithmetic of a step (two passes) over flat arrays. All report
// steps per second and the heap allocations per step (expected 0), counted
// by bench/allocation_counter.h. Run with the argument 32 and 64: the
// larger body has four times the nodes and springs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/composite/flexi_control.h"
#include "controllers/composite/flexi_data.h"
#include "scene/node.h"

namespace {

using KT::CPointer;
using KT::f32;
using KT::u32;
using Vec = KT::CVector3<float>;

constexpr int kStepsPerFrame = 10;

struct Grid {
  CPointer<KT::CNode> root;
  std::vector<CPointer<KT::CNode>> nodes;
  std::vector<CPointer<KT::CFlexiControl>> controls;
  CPointer<KT::CFlexiData> body{new KT::CFlexiData()};
};

Vec Place(u32 i, u32 n) { return {0.1f * static_cast<f32>(i % n), 0.0f, -0.1f * static_cast<f32>(i / n)}; }

Grid MakeGrid(u32 n, bool withControllers) {
  Grid g;
  KT::CNode::Create(g.root);
  KT::CFlexiData& body = *g.body;
  body.Dimension[0] = n;
  body.Dimension[1] = n;
  body.WindForce = {1.0f, 0.5f, 0.0f};
  body.Consistency = 1;
  std::vector<KT::CFlexiData::Node>& nodes = body.EditNodes();
  nodes.resize(n * n);
  std::vector<KT::CFlexiControl*> raw;
  for (u32 i = 0; i < n * n; ++i) {
    nodes[i].Mass = i < n ? 0.0f : 1.0f;
    nodes[i].Rest.SetTranslation(Place(i, n));
    if (!withControllers) continue;
    CPointer<KT::CNode> node;
    KT::CNode::Create(node);
    KT::CRtsTransform local = KT::kIdentityTransform;
    local.Translate = Place(i, n);
    node->SetLocal(local);
    KT::CMatrix4 world;
    world.SetTranslation(Place(i, n));
    node->SetWorld(KT::kMatrix3Identity, KT::kMatrix3Identity, world);
    g.root->AddChild(node.Get());
    CPointer<KT::CFlexiControl> control(new KT::CFlexiControl());
    node->AddControl(control.Get());
    raw.push_back(control.Get());
    g.nodes.push_back(node);
    g.controls.push_back(control);
  }
  std::vector<KT::CFlexiData::Spring>& springs = body.EditSprings();
  const auto link = [&](u32 a, u32 b) {
    KT::CFlexiData::Spring s;
    s.NodeA = a;
    s.NodeB = b;
    springs.push_back(s);
  };
  for (u32 r = 0; r < n; ++r) {
    for (u32 c = 0; c < n; ++c) {
      const u32 i = r * n + c;
      if (c + 1 < n) link(i, i + 1);
      if (r + 1 < n) link(i, i + n);
      if (c + 1 < n && r + 1 < n) {
        link(i, i + n + 1);
        link(i + 1, i + n);
      }
    }
  }
  if (withControllers) body.AttachControls(raw);
  body.Initialise();
  return g;
}

void Report(benchmark::State& state, unsigned long long allocations, u32 springs) {
  const double steps = static_cast<double>(state.iterations()) * kStepsPerFrame;
  state.SetItemsProcessed(static_cast<int64_t>(steps));
  state.counters["steps_per_s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
  state.counters["allocs_per_step"] = benchmark::Counter(static_cast<double>(allocations) / steps);
  state.counters["springs"] = benchmark::Counter(static_cast<double>(springs));
}

void RunBody(benchmark::State& state, bool withControllers) {
  const u32 n = static_cast<u32>(state.range(0));
  Grid g = MakeGrid(n, withControllers);
  f32 time = 0.0f;
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    for (int s = 0; s < kStepsPerFrame; ++s) {
      time += 1000.0f / 60.0f;
      // Seconds in f32 lose the step past a few hours: wind the clock back.
      if (time > 600000.0f) {
        time = 0.0f;
        g.body->Reset();
      }
      benchmark::DoNotOptimize(g.body->Step(time));
    }
  }
  Report(state, bench::AllocationCount() - before, static_cast<u32>(g.body->GetSprings().size()));
}

void BM_FlexiBodySteps(benchmark::State& state) { RunBody(state, true); }
BENCHMARK(BM_FlexiBodySteps)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_FlexiBodyStepsNoControllers(benchmark::State& state) { RunBody(state, false); }
BENCHMARK(BM_FlexiBodyStepsNoControllers)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// The same springs and Verlet integration over flat arrays.
void BM_FlatSpringVerlet(benchmark::State& state) {
  const u32 n = static_cast<u32>(state.range(0));
  Grid g = MakeGrid(n, false);
  const std::vector<KT::CFlexiData::Spring>& springs = g.body->GetSprings();
  const u32 count = n * n;
  std::vector<Vec> p(count), q(count), f(count);
  std::vector<f32> mass(count);
  for (u32 i = 0; i < count; ++i) {
    p[i] = q[i] = g.body->GetNodes()[i].Position;
    mass[i] = g.body->GetNodes()[i].Mass;
  }
  const Vec gravity(0.0f, 0.0f, -9.8f);
  const f32 step2 = 0.008f * 0.008f;
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    for (int s = 0; s < kStepsPerFrame * 2; ++s) {
      for (Vec& force : f) force = Vec(0.0f, 0.0f, 0.0f);
      for (const KT::CFlexiData::Spring& spring : springs) {
        Vec d = p[spring.NodeA] - p[spring.NodeB];
        const f32 length = d.Length();
        if (length > 5.0f * spring.RestLength) continue;
        d.Normalize();
        const Vec force = d * ((length - spring.RestLength) * 6500.0f);
        f[spring.NodeA] -= force;
        f[spring.NodeB] += force;
      }
      for (u32 i = 0; i < count; ++i) {
        if (mass[i] == 0.0f) continue;
        const Vec sum = gravity + f[i] * 0.1f;
        const Vec a(sum.x / mass[i], sum.y / mass[i], sum.z / mass[i]);
        const Vec moved = p[i] + (p[i] - q[i] + a * step2) * 0.97f;
        q[i] = p[i];
        p[i] = moved;
      }
    }
    benchmark::DoNotOptimize(p.data());
  }
  Report(state, bench::AllocationCount() - before, static_cast<u32>(springs.size()));
}
BENCHMARK(BM_FlatSpringVerlet)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
