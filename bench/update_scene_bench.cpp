// The per-frame driver on a large animated tree: 10,000 nodes, eight levels
// deep (node i > 0 is a child of node (i - 1) / 4), each animated by a
// keyframe controller of 300 keys 40 ms apart, played forward in 33 ms
// steps: frames fall between keys, 33 frames in 40 cross a key, and the
// playback starts over after the last key (one backward search per pass).
//
//   BM_UpdateScene               UpdateScene as the exporter calls it
//                                (transform pass, world bounds, view and
//                                data passes);
//   BM_UpdateSceneTransformOnly  the same with transformOnly, to tell the
//                                transform pass from the rest;
//   BM_FlatLoop                  the same evaluation over plain arrays in
//                                depth order: the cached eased key search,
//                                InterpolateRts, the three world quantities
//                                and their composition with the parent's,
//                                reading the same key tracks.
//
// Each reports time_per_node (per node per frame), allocs_per_frame and
// allocs_per_node (counted by bench/allocation_counter.h). The
// setup checks that the flat loop and the driver produce the same world
// matrices, so both do the same work.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/core/key_search.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/quaternion.h"
#include "scene/node.h"



namespace {

using namespace KT;
using CRtsKey = CKeyframeControl::CRtsKey;

constexpr std::size_t kNodeCount = 10000;
constexpr std::size_t kBranching = 4;  // 10,000 nodes in heap order: levels 0 to 7
constexpr std::size_t kKeysPerTrack = 300;
constexpr i32 kKeySpacing = 40;
constexpr i32 kFrameStep = 33;
constexpr i32 kTrackEnd = static_cast<i32>(kKeysPerTrack - 1) * kKeySpacing;

// A varied, deterministic track: small turns about random axes, small moves,
// scales near 1, every transition type.
std::vector<CRtsKey> MakeTrack(std::mt19937& random) {
  std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
  std::vector<CRtsKey> keys;
  keys.reserve(kKeysPerTrack);
  for (std::size_t k = 0; k < kKeysPerTrack; ++k) {
    CRtsTransform value;
    value.Rotate = CQuaternion::FromAxisAngle({unit(random), unit(random), unit(random) + 2.0f}, unit(random));
    value.Translate = {unit(random), unit(random), unit(random)};
    value.Scale = {1.0f + 0.2f * unit(random), 1.0f + 0.2f * unit(random), 1.0f + 0.2f * unit(random)};
    keys.emplace_back(static_cast<i32>(k) * kKeySpacing, value, static_cast<u32>(k % kTransitionTypeCount));
  }
  return keys;
}

struct Scene {
  CPointer<CNode> root;
  // Every node in depth order (a parent before its children).
  std::vector<CNode*> nodes;
  std::vector<CKeyframeControl*> controls;
};

// Built once and shared by the benchmarks.
Scene& SharedScene() {
  static Scene scene = [] {
    Scene s;
    std::mt19937 random(2024);
    s.nodes.reserve(kNodeCount);
    for (std::size_t i = 0; i < kNodeCount; ++i) {
      CPointer<CNode> node(new CNode());
      CPointer<CKeyframeControl> control(new CKeyframeControl());
      control->SetRtsKeys(MakeTrack(random));
      node->AddControl(control.Get());
      if (i == 0) {
        s.root = node;
      } else {
        s.nodes[(i - 1) / kBranching]->AddChild(node.Get());
      }
      s.nodes.push_back(node.Get());
      s.controls.push_back(control.Get());
    }
    return s;
  }();
  return scene;
}

// The flat form of the same animation: per node, in depth order, the
// parent's index, the inheritance flags, the track (the controller's own
// keys, so both forms read the same memory), the search cache and the
// evaluated quantities.
struct FlatScene {
  std::vector<i32> parent;
  std::vector<u32> inherited;
  std::vector<const std::vector<CRtsKey>*> tracks;
  std::vector<u32> cache;
  std::vector<CRtsTransform> local;
  std::vector<CMatrix3> worldScale;
  std::vector<CMatrix3> worldRotate;
  std::vector<CMatrix4> worldMatrix;

  explicit FlatScene(const Scene& scene) {
    const std::size_t n = scene.nodes.size();
    parent.resize(n, -1);
    for (std::size_t i = 1; i < n; ++i) parent[i] = static_cast<i32>((i - 1) / kBranching);
    for (std::size_t i = 0; i < n; ++i) {
      inherited.push_back(scene.nodes[i]->GetInherited());
      tracks.push_back(&scene.controls[i]->GetRtsKeys());
    }
    cache.assign(n, 0);
    local.assign(n, kIdentityTransform);
    worldScale.assign(n, CMatrix3());
    worldRotate.assign(n, CMatrix3());
    worldMatrix.assign(n, CMatrix4());
  }

  void Evaluate(i32 time) {
    const std::size_t n = parent.size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::vector<CRtsKey>& keys = *tracks[i];
      f32 eased = 0.0f;
      u32 prev = 0;
      u32 next = 0;
      FindEasedKeyInterval(time, keys, cache[i], eased, prev, next);
      CRtsTransform& l = local[i];
      l = prev == next ? keys[prev].Value : InterpolateRts(keys[prev].Value, keys[next].Value, eased);
      CMatrix3& s = worldScale[i];
      CMatrix3& r = worldRotate[i];
      CMatrix4& m = worldMatrix[i];
      s = GetScaleMatrix(l);
      r = l.Rotate.ToMatrix3();
      m = ComposeAffine(l);
      const i32 p = parent[i];
      if (p >= 0) ComposeWithParent(s, r, m, worldScale[p], worldRotate[p], worldMatrix[p], inherited[i]);
    }
  }
};

i32 NextFrame(i32 time) { return time + kFrameStep > kTrackEnd ? 0 : time + kFrameStep; }

void ReportPerNode(benchmark::State& state, unsigned long long allocationsBefore) {
  const double frames = static_cast<double>(state.iterations());
  const double nodeFrames = frames * static_cast<double>(kNodeCount);
  const double allocations = static_cast<double>(bench::AllocationCount() - allocationsBefore);
  state.counters["time_per_node"] =
      benchmark::Counter(nodeFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["allocs_per_frame"] = benchmark::Counter(allocations / frames);
  state.counters["allocs_per_node"] = benchmark::Counter(allocations / nodeFrames);
  state.SetItemsProcessed(static_cast<i64>(nodeFrames));
}

// The driver and the flat loop must agree exactly at a few frames, else the
// comparison would not be of the same work.
bool FlatLoopMatchesDriver(Scene& scene) {
  FlatScene flat(scene);
  for (i32 t : {0, 33, 1000, 5017, kTrackEnd, kTrackEnd + 50}) {
    if (scene.root->UpdateScene(t, 0, 0.0f, true, nullptr, true) != kOk) return false;
    flat.Evaluate(t);
    for (std::size_t i = 0; i < scene.nodes.size(); ++i) {
      if (!MatrixEquals(scene.nodes[i]->GetWorldMatrix(), flat.worldMatrix[i])) return false;
    }
  }
  return true;
}

void RunUpdateScene(benchmark::State& state, bool transformOnly) {
  Scene& scene = SharedScene();
  if (!FlatLoopMatchesDriver(scene)) {
    state.SkipWithError("the flat loop and UpdateScene disagree");
    return;
  }
  i32 t = 0;
  scene.root->UpdateScene(t, 0, 0.0f, true, nullptr, transformOnly);
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    t = NextFrame(t);
    if (scene.root->UpdateScene(t, 0, 0.0f, true, nullptr, transformOnly) != kOk) {
      state.SkipWithError("UpdateScene failed");
      return;
    }
    benchmark::DoNotOptimize(scene.nodes.back()->GetWorldMatrix());
  }
  ReportPerNode(state, before);
}

void BM_UpdateScene(benchmark::State& state) { RunUpdateScene(state, false); }
void BM_UpdateSceneTransformOnly(benchmark::State& state) { RunUpdateScene(state, true); }

void BM_FlatLoop(benchmark::State& state) {
  FlatScene flat(SharedScene());
  i32 t = 0;
  flat.Evaluate(t);
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    t = NextFrame(t);
    flat.Evaluate(t);
    benchmark::DoNotOptimize(flat.worldMatrix.back());
  }
  ReportPerNode(state, before);
}

}  // namespace

BENCHMARK(BM_UpdateScene)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateSceneTransformOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatLoop)->Unit(benchmark::kMillisecond);
