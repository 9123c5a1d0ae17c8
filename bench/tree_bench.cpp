// The tree model over a gallery of trees built here in code: LoadTree,
// Compute and GetGeometry (every part, every LOD) of
//   - a leafless tree of about 50,000 branch and frond vertices,
//   - leafy trees of about 1,000, 4,000 and 16,000 leaves;
// beside a hand-written loop that writes as many ring vertices (position,
// normal, tangent, binormal, one texture layer, each from sin and cos) and
// strip indices into plain arrays as the leafless tree holds.
//
// Each benchmark reports the tree's vertices and leaves as counters; the
// leafy Compute rows also report the time per leaf (leaf LOD placement
// compares leaves pairwise, so that time grows with the leaf count).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/tree_branch_info.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_rt.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Ramp(float from, float to) {
  return "BezierSpline 0 1 0 { 2 0 " + std::to_string(from) + " 1 0 0.1 1 " + std::to_string(to) + " 1 0 0.1 }";
}

struct Level {
  float length;
  float radius;
  float startAngle;
  float frequency;  // children per tree size of length
  std::int32_t segments;
  std::int32_t crossSections;
};

struct Gallery {
  std::vector<Level> levels;
  std::int32_t leafMaps;
  bool fronds;
};

Bytes BuildTree(const Gallery& shape) {
  trt::CTreeRT model;
  trt::CTreeEngine& engine = *model.GetEngine();
  engine.m_nSeed = 11;
  engine.m_fSize = 10.0f;
  engine.m_nNumBranchLods = 4;
  engine.m_cLeafInfo.m_nNumLeafLods = 3;
  for (const Level& l : shape.levels) {
    trt::STreeBranchInfo* level = trt::TrackedNew<trt::STreeBranchInfo>("bench level");
    engine.m_vBranchLevels.push_back(level);
    level->m_sDisturbance.Parse(Ramp(0.0f, 0.0f));
    level->m_sGravity.Parse(Ramp(0.0f, 0.0f));
    level->m_sFlexibility.Parse(Ramp(0.0f, 0.0f));
    level->m_sFlexibilityProfile.Parse(Ramp(0.0f, 0.0f));
    level->m_sLength.Parse(Ramp(l.length, 0.6f * l.length));
    level->m_sRadius.Parse(Ramp(l.radius, l.radius));
    level->m_sRadiusProfile.Parse(Ramp(1.0f, 0.4f));
    level->m_sStartAngle.Parse(Ramp(l.startAngle, l.startAngle));
    level->m_sGravityProfile.Parse(Ramp(0.5f, 0.5f));
    level->m_nSegments = l.segments;
    level->m_nCrossSections = l.crossSections;
    level->m_fFrequency = l.frequency;
    level->m_fFirstChild = 0.2f;
    level->ApplyDefaultCurves();
  }
  engine.m_pRootSupport->m_sBranch.ApplyDefaultCurves();
  for (std::int32_t m = 0; m < shape.leafMaps; ++m) {
    trt::STreeLeafMap map;
    map.m_bFlag = (m % 2) == 0;
    map.m_strFileName = "leaf" + std::to_string(m) + ".png";
    map.m_vRelativeSize = trt::stVec3(0.03f, 0.03f, 0.0f);
    map.m_vAbsoluteSize = trt::stVec3(0.3f, 0.3f, 0.0f);
    engine.m_cLeafInfo.m_vLeafMaps.push_back(map);
  }
  if (shape.fronds) {
    trt::CFrondEngine& fronds = *model.GetFrondEngine();
    fronds.m_ucFrondsEnabled = 1;
    fronds.m_nFirstFrondLevel = static_cast<std::int32_t>(shape.levels.size()) - 2;
    fronds.m_nFrondType = 1;
    fronds.m_fLodFractionLast = 0.3f;
  }
  std::uint32_t size = 0;
  std::uint8_t* block = model.SaveTree(size, false);
  Bytes bytes(block, block + size);
  trt::TrackedDeleteArray(block);
  return bytes;
}

// Trunk, limbs, branches (fronds in the leafless tree) and a last level
// whose parents bear the leaves. Leaves are spaced along their branches,
// so the leafy trees grow their leaf count through more limbs and
// branches, each bearing about twenty leaves.
Gallery Leafless() {
  return {{{1.0f, 0.04f, -90.0f, 60.0f, 12, 16},
           {0.45f, 0.02f, 50.0f, 60.0f, 8, 10},
           {0.15f, 0.006f, 40.0f, 0.0f, 4, 6},
           {0.05f, 0.002f, 30.0f, 0.0f, 1, 3}},
          0,
          true};
}

Gallery Leafy(float limbFrequency, float branchFrequency) {
  return {{{1.0f, 0.04f, -90.0f, limbFrequency, 8, 10},
           {0.45f, 0.02f, 50.0f, branchFrequency, 5, 6},
           {0.15f, 0.006f, 40.0f, 150.0f, 3, 4},
           {0.05f, 0.002f, 30.0f, 0.0f, 1, 3}},
          2,
          false};
}

const Bytes& GalleryTree(int index) {
  static const Bytes trees[4] = {BuildTree(Leafless()), BuildTree(Leafy(12.0f, 20.0f)), BuildTree(Leafy(28.0f, 44.0f)),
                                 BuildTree(Leafy(72.0f, 140.0f))};
  return trees[index];
}

// Whether the tree's data comes back unchanged from a load and a save (the
// gallery must be a fixed point, like any data the model writes).
bool IsFixedPoint(const Bytes& block) {
  trt::CTreeRT model;
  if (!model.LoadTree(block.data(), static_cast<std::int32_t>(block.size()))) return false;
  std::uint32_t size = 0;
  std::uint8_t* saved = model.SaveTree(size, false);
  const bool same = saved != nullptr && Bytes(saved, saved + size) == block;
  trt::TrackedDeleteArray(saved);
  return same;
}

const char* const kNames[4] = {"leafless", "leafy-small", "leafy-medium", "leafy-large"};

bool Load(trt::CTreeRT& model, const Bytes& block) {
  trt::CTreeRT::SetNumWindMatrices(10);
  return model.LoadTree(block.data(), static_cast<std::int32_t>(block.size()));
}

void Configure(trt::CTreeRT& model) {
  model.SetBranchLightingMethod(0);
  model.SetLeafLightingMethod(0);
  model.SetFrondLightingMethod(0);
  model.SetBranchWindMethod(0);
  model.SetLeafWindMethod(0);
  model.SetFrondWindMethod(0);
}

void ReadEverything(trt::CTreeRT& model, trt::CTreeRT::SGeometry& geometry) {
  model.GetGeometry(geometry, trt::CTreeRT::kBranchGeometry | trt::CTreeRT::kFrondGeometry |
                                  trt::CTreeRT::kLeafGeometry | trt::CTreeRT::kBillboardGeometry);
}

void Count(benchmark::State& state, trt::CTreeRT& model) {
  trt::CTreeRT::SGeometry geometry;
  ReadEverything(model, geometry);
  state.counters["vertices"] =
      static_cast<double>(geometry.m_sBranches.m_nNumVertices + geometry.m_sFronds.m_nNumVertices);
  state.counters["leaves"] = geometry.m_nNumLeafLods > 0 ? geometry.m_pLeaves[0].m_nLeafCount : 0;
  state.SetLabel(kNames[state.range(0)]);
}

void BM_LoadTree(benchmark::State& state) {
  const Bytes& block = GalleryTree(static_cast<int>(state.range(0)));
  if (!IsFixedPoint(block)) {
    state.SkipWithError("the gallery tree is not a fixed point of load and save");
    return;
  }
  for (auto _ : state) {
    trt::CTreeRT model;
    benchmark::DoNotOptimize(Load(model, block));
  }
  trt::CTreeRT model;
  Load(model, block);
  model.Compute(nullptr, 1, true);
  Count(state, model);
}
BENCHMARK(BM_LoadTree)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Times `step` on a freshly loaded and configured model of gallery tree
// `index`, after `prepare` (untimed) has run on it.
template <typename Prepare, typename Step>
void TimeOnFreshModel(benchmark::State& state, const Bytes& block, Prepare prepare, Step step) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      trt::CTreeRT model;
      Load(model, block);
      Configure(model);
      prepare(model);
      state.ResumeTiming();
      step(model);
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  trt::CTreeRT model;
  Load(model, block);
  Configure(model);
  model.Compute(nullptr, 1, true);
  Count(state, model);
}

void BM_Compute(benchmark::State& state) {
  TimeOnFreshModel(
      state, GalleryTree(static_cast<int>(state.range(0))), [](trt::CTreeRT&) {},
      [](trt::CTreeRT& model) { benchmark::DoNotOptimize(model.Compute(nullptr, 1, true)); });
  if (state.counters["leaves"] > 0) {
    state.counters["per_leaf"] =
        benchmark::Counter(state.counters["leaves"], benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  }
}
BENCHMARK(BM_Compute)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_GetGeometry(benchmark::State& state) {
  // The first request of each leaf LOD makes its cards.
  TimeOnFreshModel(
      state, GalleryTree(static_cast<int>(state.range(0))),
      [](trt::CTreeRT& model) { model.Compute(nullptr, 1, true); },
      [](trt::CTreeRT& model) {
        trt::CTreeRT::SGeometry geometry;
        ReadEverything(model, geometry);
        benchmark::DoNotOptimize(geometry.m_pLeaves);
      });
}
// Each iteration computes a fresh model untimed: a fixed, small count.
BENCHMARK(BM_GetGeometry)->DenseRange(0, 3)->Iterations(20)->Unit(benchmark::kMillisecond);

// The leafless tree's vertex and index counts, written by a plain loop:
// rings of 12 around a spine, every attribute from sin and cos, one strip
// per pair of rings.
void BM_HandWrittenRings(benchmark::State& state) {
  trt::CTreeRT model;
  Load(model, GalleryTree(0));
  Configure(model);
  model.Compute(nullptr, 1, true);
  trt::CTreeRT::SGeometry geometry;
  ReadEverything(model, geometry);
  const std::int64_t vertices = geometry.m_sBranches.m_nNumVertices + geometry.m_sFronds.m_nNumVertices;
  std::int64_t indices = 0;
  for (const trt::CTreeRT::SGeometry::SIndexed* part : {&geometry.m_sBranches, &geometry.m_sFronds}) {
    for (std::int32_t l = 0; l < part->m_nNumLods; ++l) {
      for (std::int32_t s = 0; s < part->m_pNumStrips[l]; ++s) indices += part->m_pStripLengths[l][s];
    }
  }
  constexpr std::int64_t kRing = 12;
  for (auto _ : state) {
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> tangents;
    std::vector<float> binormals;
    std::vector<float> texCoords;
    std::vector<std::int32_t> strip;
    positions.reserve(3 * vertices);
    normals.reserve(3 * vertices);
    tangents.reserve(3 * vertices);
    binormals.reserve(3 * vertices);
    texCoords.reserve(2 * vertices);
    strip.reserve(indices);
    for (std::int64_t v = 0; v < vertices; ++v) {
      const float angle = static_cast<float>(v % kRing) * (6.2831853f / kRing);
      const float height = static_cast<float>(v / kRing) * 0.1f;
      const float c = std::cos(angle);
      const float s = std::sin(angle);
      positions.insert(positions.end(), {0.2f * c, 0.2f * s, height});
      normals.insert(normals.end(), {c, s, 0.0f});
      tangents.insert(tangents.end(), {-s, c, 0.0f});
      binormals.insert(binormals.end(), {0.0f, 0.0f, 1.0f});
      texCoords.insert(texCoords.end(), {angle / 6.2831853f, height});
    }
    for (std::int64_t i = 0; i < indices; ++i) {
      const std::int64_t pair = i / 2;
      strip.push_back(static_cast<std::int32_t>((pair % vertices) + ((i % 2) != 0 ? kRing : 0)) %
                      static_cast<std::int32_t>(vertices));
    }
    benchmark::DoNotOptimize(positions.data());
    benchmark::DoNotOptimize(strip.data());
  }
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["indices"] = static_cast<double>(indices);
}
BENCHMARK(BM_HandWrittenRings)->Unit(benchmark::kMillisecond);

}  // namespace
