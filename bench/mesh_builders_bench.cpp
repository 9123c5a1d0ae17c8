// The exporter's builder chain on a mesh of 1,000,000 triangles over
// 500,000 positions with one UV channel: each builder alone, the whole
// chain, and beside them meshoptimizer's vertex remap over the same corner
// keys (position, normal and UV index per corner) as the peer of
// BuildVertexTriIndex.
//
// The mesh is a grid of quads (two triangles each) whose positions are
// visited in a shuffled order, as an exporter's corner indices are; normals
// are one per position (smooth), UVs split along a seam every 16 columns,
// and materials come in runs of 1,000 triangles over three ids.
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "scene/tri_mesh_data.h"

namespace {

using KT::CPointer;
using KT::CTriMeshData;
using KT::CUvwMap;
using KT::CUvwMapData;
using KT::u32;

constexpr u32 kColumns = 1000;
constexpr u32 kRows = 500;  // positions: kColumns x kRows = 500,000
constexpr u32 kPositions = kColumns * kRows;
constexpr u32 kTriangles = 2 * (kColumns - 1) * (kRows - 1) + 2004;  // ~1,000,000
constexpr u32 kCorners = 3 * kTriangles;

// The raw data the exporter copies out of the modelling application.
struct RawMesh {
  std::vector<KT::CVector3<float>> xyz;
  std::vector<u32> xyzIndex, normalIndex, uvIndex, materials, smooth;
  u32 uvCount = 0;

  RawMesh() {
    std::mt19937 random(12345);
    std::vector<u32> shuffle(kPositions);
    std::iota(shuffle.begin(), shuffle.end(), 0u);
    std::shuffle(shuffle.begin(), shuffle.end(), random);
    xyz.resize(kPositions);
    for (u32 r = 0; r < kRows; ++r) {
      for (u32 c = 0; c < kColumns; ++c) {
        xyz[shuffle[r * kColumns + c]] = {static_cast<float>(c), static_cast<float>(r),
                                          static_cast<float>((c * 7 + r * 3) % 11) * 0.1f};
      }
    }
    // UV columns: one more per seam every 16 columns.
    const u32 uvColumns = kColumns + kColumns / 16;
    uvCount = uvColumns * kRows;
    // A corner on the right of a seam column takes the seam's left copy.
    auto uvOf = [&](u32 r, u32 c, bool rightCorner) {
      const u32 column = c + c / 16 - (rightCorner && c % 16 == 0 ? 1 : 0);
      return r * uvColumns + column;
    };
    xyzIndex.reserve(kCorners);
    for (u32 r = 0; r + 1 < kRows; ++r) {
      for (u32 c = 0; c + 1 < kColumns; ++c) {
        const u32 quad[4][2] = {{r, c}, {r, c + 1}, {r + 1, c + 1}, {r + 1, c}};
        for (u32 corner : {0u, 1u, 2u, 0u, 2u, 3u}) {
          const u32 qr = quad[corner][0], qc = quad[corner][1];
          xyzIndex.push_back(shuffle[qr * kColumns + qc]);
          uvIndex.push_back(uvOf(qr, qc, qc == c + 1));
        }
      }
    }
    // Pad with triangles over the first row so the count is a round million.
    while (xyzIndex.size() < kCorners) {
      const u32 c = static_cast<u32>(xyzIndex.size() / 3) % (kColumns - 2);
      for (u32 qc : {c, c + 1, c + 2}) {
        xyzIndex.push_back(shuffle[qc]);
        uvIndex.push_back(uvOf(0, qc, false));
      }
    }
    normalIndex = xyzIndex;
    for (u32 t = 0; t < kTriangles; ++t) {
      materials.push_back((t / 1000) % 3);
      smooth.push_back(1);
    }
  }
};

const RawMesh& Raw() {
  static const RawMesh raw;
  return raw;
}

// A freshly sized mesh data filled as the exporter fills it (step 1).
CPointer<CTriMeshData> FilledMesh() {
  const RawMesh& raw = Raw();
  CPointer<CTriMeshData> mesh;
  CTriMeshData::Create(mesh);
  mesh->AllocateXYZ(kPositions);
  std::copy(raw.xyz.begin(), raw.xyz.end(), mesh->GetXYZ().begin());
  mesh->AllocateNormal(kPositions);
  mesh->SetTriangleQuantity(kTriangles);
  std::copy(raw.xyzIndex.begin(), raw.xyzIndex.end(), mesh->GetXYZTriIndex().begin());
  std::copy(raw.normalIndex.begin(), raw.normalIndex.end(), mesh->GetNormalTriIndex().begin());
  mesh->AllocateTriangleMtlID();
  std::copy(raw.materials.begin(), raw.materials.end(), mesh->GetTriangleMtlID().begin());
  mesh->AllocateSmooth();
  std::copy(raw.smooth.begin(), raw.smooth.end(), mesh->GetSmooth().begin());
  return mesh;
}

void AddChannel(CTriMeshData& mesh) {
  const RawMesh& raw = Raw();
  CPointer<CUvwMap> map;
  CPointer<CUvwMapData> data;
  CUvwMap::Create(map);
  CUvwMapData::Create(data);
  map->AllocateUvw(raw.uvCount);
  data->AllocateUvwTriIndex(kTriangles);
  std::copy(raw.uvIndex.begin(), raw.uvIndex.end(), data->GetUVWTriIndex().begin());
  map->SetUvwMapData(data.Get());
  mesh.AddUvwMap(map.Get());
}

// The mesh data as each step finds it in the chain.
enum class Stage { Filled, Compacted, WithChannel, Unified };

CPointer<CTriMeshData> MeshAt(Stage stage) {
  CPointer<CTriMeshData> mesh = FilledMesh();
  if (stage >= Stage::Compacted) {
    mesh->CompactNormalIndices();
    mesh->ComputeVertexNormals();
  }
  if (stage >= Stage::WithChannel) AddChannel(*mesh);
  if (stage >= Stage::Unified) mesh->BuildVertexTriIndex();
  return mesh;
}

template <typename Step>
void RunStep(benchmark::State& state, Stage stage, Step step) {
  for (auto _ : state) {
    state.PauseTiming();
    CPointer<CTriMeshData> mesh = MeshAt(stage);
    state.ResumeTiming();
    const KT::Result r = step(*mesh);
    benchmark::DoNotOptimize(r);
    if (KT::Failed(r)) state.SkipWithError("builder failed");
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}

void BM_SetTriangleQuantity(benchmark::State& state) {
  RunStep(state, Stage::Filled, [](CTriMeshData& m) { return m.SetTriangleQuantity(kTriangles); });
}
void BM_CompactNormalIndices(benchmark::State& state) {
  RunStep(state, Stage::Filled, [](CTriMeshData& m) { return m.CompactNormalIndices(); });
}
void BM_ComputeVertexNormals(benchmark::State& state) {
  RunStep(state, Stage::Compacted, [](CTriMeshData& m) { return m.ComputeVertexNormals(); });
}
void BM_BuildVertexTriIndex(benchmark::State& state) {
  RunStep(state, Stage::WithChannel, [](CTriMeshData& m) { return m.BuildVertexTriIndex(); });
}
void BM_BuildTangentIndex(benchmark::State& state) {
  RunStep(state, Stage::Unified, [](CTriMeshData& m) { return m.BuildTangentIndex(m.GetVertexMapCount()); });
}
void BM_SortByMaterial(benchmark::State& state) {
  RunStep(state, Stage::Unified, [](CTriMeshData& m) { return m.SortByMaterial(); });
}

// The exporter's whole chain from the raw data: sizing and filling
// included, as the exporter does it.
void BM_WholeChain(benchmark::State& state) {
  for (auto _ : state) {
    CPointer<CTriMeshData> mesh = FilledMesh();
    KT::Result r = mesh->CompactNormalIndices();
    if (KT::Succeeded(r)) r = mesh->ComputeVertexNormals();
    AddChannel(*mesh);
    if (KT::Succeeded(r)) r = mesh->BuildVertexTriIndex();
    if (KT::Succeeded(r)) r = mesh->SortByMaterial();
    benchmark::DoNotOptimize(r);
    if (KT::Failed(r)) state.SkipWithError("chain failed");
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}

// The peer: meshoptimizer's remap over the same corner keys (12 bytes per
// corner: position, compacted normal and UV index).
void BM_MeshoptGenerateVertexRemap(benchmark::State& state) {
  CPointer<CTriMeshData> mesh = MeshAt(Stage::WithChannel);
  const CUvwMapData* uv = mesh->GetUvwChannel(0)->GetUvwMapData();
  std::vector<u32> keys(3 * static_cast<std::size_t>(kCorners));
  for (u32 c = 0; c < kCorners; ++c) {
    keys[3 * c] = mesh->GetXYZTriIndex()[c];
    keys[3 * c + 1] = mesh->GetNormalTriIndex()[c];
    keys[3 * c + 2] = uv->GetUVWTriIndex()[c];
  }
  std::vector<unsigned int> remap(kCorners);
  std::size_t unique = 0;
  for (auto _ : state) {
    unique = meshopt_generateVertexRemap(remap.data(), nullptr, kCorners, keys.data(), kCorners, 12);
    benchmark::DoNotOptimize(remap.data());
  }
  state.counters["vertices"] = static_cast<double>(unique);
  state.SetItemsProcessed(state.iterations() * kTriangles);
}

void BM_BuildVertexTriIndexVertices(benchmark::State& state) {
  CPointer<CTriMeshData> mesh = MeshAt(Stage::Unified);
  for (auto _ : state) benchmark::DoNotOptimize(mesh->GetVertexMapCount());
  state.counters["vertices"] = static_cast<double>(mesh->GetVertexMapCount());
}

BENCHMARK(BM_SetTriangleQuantity)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactNormalIndices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeVertexNormals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildVertexTriIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildVertexTriIndexVertices)->Iterations(1);
BENCHMARK(BM_MeshoptGenerateVertexRemap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTangentIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByMaterial)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond);

}  // namespace
