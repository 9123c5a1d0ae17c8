// Skinning a 100,000-vertex triangle mesh to 60 bones, four weights per
// vertex, per frame: the level's positions copied into the world buffer,
// blended by the bone palette, and the world normals rebuilt from the
// blended positions.
//
// BM_SkinnedMeshUpdate runs the mesh's own Update with a skin controller in
// its chain (the library's path: copy, skin, normal rebuild).
// BM_HandWrittenLinearBlend does the same work in a plain loop over flat
// arrays: the same palette and weights, each vertex the weighted sum of its
// affine bone transforms, and the same normal rebuild. Both report vertices
// per second and the heap allocations made per frame (expected 0), counted
// by bench/allocation_counter.h.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/core/bone_skin_control.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"



namespace {

using KT::CPointer;
using KT::f32;
using KT::u32;
using KT::u8;
using Vec = KT::CVector3<float>;

constexpr u32 kColumns = 400;
constexpr u32 kRows = 250;  // 100,000 vertices, 198,702 triangles
constexpr u32 kVertices = kColumns * kRows;
constexpr u32 kBones = 60;
constexpr u32 kWeightsPerVertex = 4;
constexpr f32 kWeights[kWeightsPerVertex] = {0.4f, 0.3f, 0.2f, 0.1f};

// A gently curved grid with one normal per position.
CPointer<KT::CTriMeshData> Grid() {
  CPointer<KT::CTriMeshData> data;
  KT::CTriMeshData::Create(data);
  data->AllocateXYZ(kVertices);
  data->AllocateNormal(kVertices);
  for (u32 r = 0; r < kRows; ++r) {
    for (u32 c = 0; c < kColumns; ++c) {
      const float x = static_cast<float>(c) * 0.01f;
      const float y = static_cast<float>(r) * 0.01f;
      data->GetXYZ()[r * kColumns + c] = {x, y, 0.1f * KT::Sin(x) * KT::Cos(y)};
    }
  }
  data->SetTriangleQuantity(2 * (kColumns - 1) * (kRows - 1));
  u32* xyz = data->GetXYZTriIndex().GetData();
  for (u32 r = 0; r + 1 < kRows; ++r) {
    for (u32 c = 0; c + 1 < kColumns; ++c) {
      const u32 a = r * kColumns + c;
      const u32 corners[6] = {a, a + 1, a + kColumns + 1, a, a + kColumns + 1, a + kColumns};
      for (u32 k : corners) *xyz++ = k;
    }
  }
  std::copy(data->GetXYZTriIndex().begin(), data->GetXYZTriIndex().end(), data->GetNormalTriIndex().begin());
  data->ComputeVertexNormals();
  data->UpdateBoundingBox();
  return data;
}

KT::CMatrix4 Pose(u32 bone) {
  const float angle = 0.05f * static_cast<float>(bone);
  const KT::CQuaternion q = KT::CQuaternion::FromAxisAngle({0.3f, 1.0f, 0.2f}, angle);
  KT::CMatrix4 m;
  m.SetRotation3x3(q.ToMatrix3());
  m.SetTranslation({0.01f * static_cast<float>(bone), 0.5f, -0.02f * static_cast<float>(bone)});
  return m;
}

// The bone of weight k of vertex v.
u8 BoneOf(u32 v, u32 k) { return static_cast<u8>((v / 97 + 17 * k) % kBones); }

// The mesh with its skin, the bones with their world matrices and bind
// matrices, and the same data flattened for the hand-written loop.
struct SkinnedScene {
  CPointer<KT::CTriMesh> mesh{new KT::CTriMesh()};
  std::vector<CPointer<KT::CNode>> bones;
  CPointer<KT::CBoneSkinControl> skin{new KT::CBoneSkinControl()};

  SkinnedScene() {
    mesh->SetSingleLod(Grid().Get());
    mesh->AllocateWorldXYZ(kVertices);
    mesh->AllocateWorldNormal(kVertices);
    mesh->SetWorld(KT::CMatrix3(), KT::CMatrix3(), KT::CMatrix4());
    skin->SetSkinWeightListCount(1);
    for (u32 b = 0; b < kBones; ++b) {
      bones.emplace_back(new KT::CNode());
      bones.back()->SetWorld(KT::CMatrix3(), KT::CMatrix3(), Pose(b));
      KT::CMatrix4 bind;
      bind.SetTranslation({-0.01f * static_cast<float>(b), 0.0f, 0.0f});
      skin->AddBone(bones.back().Get(), bind);
    }
    for (u32 v = 0; v < kVertices; ++v) {
      for (u32 k = 0; k < kWeightsPerVertex; ++k) {
        skin->AddSkinWeight(0, v, bones[BoneOf(v, k)].Get(), kWeights[k]);
      }
    }
    mesh->AddControl(skin.Get());
  }
};

void ReportPerFrame(benchmark::State& state, long long allocations) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kVertices);
  state.counters["allocs_per_frame"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

void BM_SkinnedMeshUpdate(benchmark::State& state) {
  SkinnedScene scene;
  if (KT::Failed(scene.mesh->Update(0))) state.SkipWithError("update failed");  // sizes the palette
  const long long before = bench::AllocationCount();
  for (auto _ : state) {
    if (KT::Failed(scene.mesh->Update(0))) state.SkipWithError("update failed");
    benchmark::DoNotOptimize(scene.mesh->GetWorldXYZ().GetData());
    benchmark::DoNotOptimize(scene.mesh->GetWorldNormal().GetData());
  }
  ReportPerFrame(state, bench::AllocationCount() - before);
}
BENCHMARK(BM_SkinnedMeshUpdate)->Unit(benchmark::kMicrosecond);

// The reference: flat arrays of bone indices and weights, the palette as
// 4x3 affine matrices, p' = sum of w (p x P).
void BM_HandWrittenLinearBlend(benchmark::State& state) {
  SkinnedScene scene;
  const KT::CTriMeshData& level = *scene.mesh->GetTriMeshLod(0);
  std::vector<u8> boneIds(static_cast<std::size_t>(kVertices) * kWeightsPerVertex);
  std::vector<f32> weights(boneIds.size());
  for (u32 v = 0; v < kVertices; ++v) {
    for (u32 k = 0; k < kWeightsPerVertex; ++k) {
      boneIds[v * kWeightsPerVertex + k] = BoneOf(v, k);
      weights[v * kWeightsPerVertex + k] = kWeights[k];
    }
  }
  std::vector<KT::CMatrix4> palette(kBones);
  std::vector<Vec> positions(kVertices);
  std::vector<Vec> normals(kVertices);
  const u32 triangles = level.GetTriangleQuantity();
  const u32* xyzIndex = level.GetXYZTriIndex().GetData();
  const u32* normalIndex = level.GetNormalTriIndex().GetData();
  const Vec* rest = level.GetXYZ().GetData();
  const Vec* restNormals = level.GetNormal().GetData();

  const long long before = bench::AllocationCount();
  for (auto _ : state) {
    for (u32 b = 0; b < kBones; ++b) {
      palette[b] = scene.skin->GetBoneXForm()[b] * scene.bones[b]->GetWorldMatrix();
    }
    std::copy(rest, rest + kVertices, positions.begin());
    std::copy(restNormals, restNormals + kVertices, normals.begin());
    for (u32 v = 0; v < kVertices; ++v) {
      const Vec p = positions[v];
      Vec out;
      for (u32 k = 0; k < kWeightsPerVertex; ++k) {
        const auto& m = palette[boneIds[v * kWeightsPerVertex + k]].m;
        const f32 w = weights[v * kWeightsPerVertex + k];
        out.x += w * (p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0]);
        out.y += w * (p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1]);
        out.z += w * (p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]);
      }
      positions[v] = out;
    }
    std::fill(normals.begin(), normals.end(), Vec());
    for (u32 t = 0; t < triangles; ++t) {
      const u32* p = xyzIndex + 3 * static_cast<std::size_t>(t);
      const u32* n = normalIndex + 3 * static_cast<std::size_t>(t);
      const Vec face = (positions[p[1]] - positions[p[0]]).Cross(positions[p[2]] - positions[p[0]]);
      normals[n[0]] += face;
      normals[n[1]] += face;
      normals[n[2]] += face;
    }
    for (Vec& n : normals) n.Normalize();
    benchmark::DoNotOptimize(positions.data());
    benchmark::DoNotOptimize(normals.data());
  }
  ReportPerFrame(state, bench::AllocationCount() - before);
}
BENCHMARK(BM_HandWrittenLinearBlend)->Unit(benchmark::kMicrosecond);

}  // namespace
