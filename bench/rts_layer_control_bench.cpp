// The layer control on a stack of 16 keyframe layers, played forward in
// 33 ms steps over a 2.4 s loop. Each layer's transform track has a key
// every 40 ms; its weight track has a key every 100 ms with a changing
// weight and constraint, blended by weight, so that at nearly every frame
// the weights at the next weight key differ and the second composition
// runs.
//
//   BM_LayerControl  UpdateTransform of the layer control (children
//                    evaluated through their own UpdateTransform);
//   BM_FlatLoop      the same evaluation over plain arrays: the cached
//                    key searches of the 16 weight and transform tracks,
//                    the constraint chain, the composition at t and at the
//                    next weight key and their blend, and the control's
//                    world quantities.
//
// Each reports time_per_eval and allocs_per_eval (counted by
// bench/allocation_counter.h). The setup checks that the flat loop and the
// control produce the same Local, so both do the same work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/composite/rts_layer_control.h"
#include "controllers/core/key_search.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/quaternion.h"
#include "scene/node.h"

namespace {

using namespace KT;
using CRtsKey = CKeyframeControl::CRtsKey;
using CWeightKey = CRTSLayerControl::CWeightKey;

constexpr u32 kLayers = 16;
constexpr i32 kRtsSpacing = 40;
constexpr i32 kWeightSpacing = 100;
constexpr i32 kLoopEnd = 2400;
constexpr i32 kFrameStep = 33;

std::vector<CRtsKey> MakeTrack(std::mt19937& random) {
  std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
  std::vector<CRtsKey> keys;
  for (i32 t = 0; t <= kLoopEnd; t += kRtsSpacing) {
    CRtsTransform value;
    value.Rotate = CQuaternion::FromAxisAngle({unit(random), unit(random), unit(random) + 2.0f}, 0.3f * unit(random));
    value.Translate = {unit(random), unit(random), unit(random)};
    value.Scale = {1.0f + 0.1f * unit(random), 1.0f + 0.1f * unit(random), 1.0f + 0.1f * unit(random)};
    keys.emplace_back(t, value, static_cast<u32>(t / kRtsSpacing) % kTransitionTypeCount);
  }
  return keys;
}

std::vector<CWeightKey> MakeWeights(std::mt19937& random) {
  std::uniform_real_distribution<f32> unit(0.0f, 1.0f);
  std::vector<CWeightKey> keys;
  for (i32 t = 0; t <= kLoopEnd; t += kWeightSpacing) {
    keys.emplace_back(t, 0.2f + 0.8f * unit(random), 0.9f + 0.1f * unit(random),
                      static_cast<u32>(t / kWeightSpacing) % kTransitionTypeCount);
  }
  return keys;
}

struct Stack {
  CPointer<CNode> node;
  CPointer<CRTSLayerControl> control;
  std::vector<CKeyframeControl*> layers;
};

Stack& SharedStack() {
  static Stack stack = [] {
    Stack s;
    std::mt19937 random(2026);
    s.node = new CNode();
    s.control = new CRTSLayerControl();
    s.node->AddControl(s.control.Get());
    for (u32 i = 0; i < kLayers; ++i) {
      CPointer<CKeyframeControl> layer(new CKeyframeControl());
      layer->SetRtsKeys(MakeTrack(random));
      s.control->AddChild(layer.Get());
      s.control->SetWeightKeys(i, MakeWeights(random));
      s.layers.push_back(layer.Get());
    }
    return s;
  }();
  return stack;
}

// The flat form: per layer the transform track and the weight track (the
// controls' own keys, so both forms read the same memory), one cache per
// transform track and one shared by the weight tracks, and the scratch
// arrays of the weights.
struct FlatStack {
  std::vector<const std::vector<CRtsKey>*> tracks;
  std::vector<const std::vector<CWeightKey>*> weightTracks;
  std::vector<u32> cache;
  u32 sharedCache = 0;
  std::vector<f32> weights;
  std::vector<f32> constraints;
  std::vector<f32> nextWeights;
  std::vector<f32> nextConstraints;
  CRtsTransform local;
  CMatrix3 worldScale;
  CMatrix3 worldRotate;
  CMatrix4 worldMatrix;

  explicit FlatStack(const Stack& stack) {
    for (u32 i = 0; i < kLayers; ++i) {
      tracks.push_back(&stack.layers[i]->GetRtsKeys());
      weightTracks.push_back(&stack.control->GetWeightKeys()[i]);
    }
    cache.assign(kLayers, 0);
    weights.assign(kLayers, 0.0f);
    constraints.assign(kLayers, 0.0f);
    nextWeights.assign(kLayers, 0.0f);
    nextConstraints.assign(kLayers, 0.0f);
  }

  // Weights at t (forward chain, blended by weight); with `scan`, the next
  // weight key N, the latest from-key L, its type and span.
  void Weights(i32 t, f32* w, f32* c, i32* next, i32* latest, u32* type, f32* span) {
    bool found = false;
    if (next != nullptr) {
      *next = kMaxKeyTime;
      *latest = 0;
      *type = 0;
      *span = std::numeric_limits<f32>::max();
    }
    for (u32 i = 0; i < kLayers; ++i) {
      const std::vector<CWeightKey>& keys = *weightTracks[i];
      f32 fraction = 0.0f;
      u32 p = 0;
      u32 n = 0;
      FindKeyInterval(t, keys, sharedCache, fraction, p, n);
      if (keys[p].Time == t) n = p;
      const f32 e = EaseTransition(fraction, keys[n].TransitionType, keys[n].TransitionStrength);
      w[i] = keys[p].Weight + (keys[n].Weight - keys[p].Weight) * e;
      c[i] = keys[p].Constraint + (keys[n].Constraint - keys[p].Constraint) * e;
      if (next == nullptr) continue;
      const i32 x = std::max(t, keys[n].Time);
      *latest = std::max(*latest, keys[p].Time);
      if (x != t && x < *next) {
        *next = x;
        *type = keys[n].TransitionType;
        *span = static_cast<f32>(x - keys[p].Time);
        found = true;
      }
    }
    if (next != nullptr && !found) *next = t;
    f32 carried = 1.0f;
    for (u32 i = 0; i < kLayers; ++i) {
      w[i] *= carried;
      carried *= c[i];
    }
  }

  CRtsTransform Compose(i32 t, const f32* w) {
    CRtsTransform out = kIdentityTransform;
    for (u32 i = 0; i < kLayers; ++i) {
      if (w[i] == 0.0f) continue;
      const std::vector<CRtsKey>& keys = *tracks[i];
      f32 eased = 0.0f;
      u32 p = 0;
      u32 n = 0;
      FindEasedKeyInterval(t, keys, cache[i], eased, p, n);
      const CRtsTransform pose = p == n ? keys[p].Value : InterpolateRts(keys[p].Value, keys[n].Value, eased);
      const CRtsTransform q = InterpolateRts(pose.Sign >= 0.0f ? kIdentityTransform : kMirroredIdentityTransform, pose, w[i]);
      out.Sign = q.Sign;
      for (int k = 0; k < 3; ++k) out.Scale[k] *= q.Scale[k];
      out.Stretch = out.Stretch * q.Stretch;
      out.Rotate = out.Rotate * q.Rotate;
      out.Translate = out.Translate + q.Translate;
    }
    return out;
  }

  void Evaluate(i32 t) {
    i32 next = 0;
    i32 latest = 0;
    u32 type = 0;
    f32 span = 0.0f;
    Weights(t, weights.data(), constraints.data(), &next, &latest, &type, &span);
    f32 f = 1.0f;
    if (next != latest) {
      const f32 g = std::min(span, static_cast<f32>(next - latest));
      if (g < (1.0f / 60.0f) / 2.0f) {
        f = 0.0f;
      } else {
        const f32 x = std::min(static_cast<f32>(next - t), g);
        f = EaseTransition((g - x) / g, type, kDefaultTransitionStrength);
      }
    }
    local = Compose(t, weights.data());
    if (next != t && f != 0.0f) {
      Weights(next, nextWeights.data(), nextConstraints.data(), nullptr, nullptr, nullptr, nullptr);
      if (nextWeights != weights) local = InterpolateRts(local, Compose(next, nextWeights.data()), f);
    }
    worldScale = GetScaleMatrix(local);
    worldRotate = local.Rotate.ToMatrix3();
    worldMatrix = ComposeAffine(local);
  }
};

i32 NextFrame(i32 time) { return time + kFrameStep > kLoopEnd ? 0 : time + kFrameStep; }

void Report(benchmark::State& state, unsigned long long allocationsBefore) {
  const double evaluations = static_cast<double>(state.iterations());
  const double allocations = static_cast<double>(bench::AllocationCount() - allocationsBefore);
  state.counters["time_per_eval"] =
      benchmark::Counter(evaluations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["allocs_per_eval"] = benchmark::Counter(allocations / evaluations);
}

// The control and the flat loop must agree exactly at a few frames, else
// the comparison would not be of the same work.
bool FlatLoopMatchesControl(Stack& stack) {
  FlatStack flat(stack);
  for (i32 t : {0, 33, 150, 1000, 1717, kLoopEnd, kLoopEnd + 50}) {
    if (stack.control->UpdateTransform(t) != kOk) return false;
    flat.Evaluate(t);
    if (std::memcmp(&flat.local, &stack.control->GetLocal(), sizeof(CRtsTransform)) != 0) return false;
  }
  return true;
}

void BM_LayerControl(benchmark::State& state) {
  Stack& stack = SharedStack();
  if (!FlatLoopMatchesControl(stack)) {
    state.SkipWithError("the flat loop and the layer control disagree");
    return;
  }
  i32 t = 0;
  stack.control->UpdateTransform(t);
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    t = NextFrame(t);
    if (stack.control->UpdateTransform(t) != kOk) {
      state.SkipWithError("UpdateTransform failed");
      return;
    }
    benchmark::DoNotOptimize(stack.control->GetWorldMatrix());
  }
  Report(state, before);
}

void BM_FlatLoop(benchmark::State& state) {
  FlatStack flat(SharedStack());
  i32 t = 0;
  flat.Evaluate(t);
  const auto before = bench::AllocationCount();
  for (auto _ : state) {
    t = NextFrame(t);
    flat.Evaluate(t);
    benchmark::DoNotOptimize(flat.worldMatrix);
  }
  Report(state, before);
}

BENCHMARK(BM_LayerControl);
BENCHMARK(BM_FlatLoop);

}  // namespace
