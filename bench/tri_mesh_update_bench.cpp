// Per-frame update of a 100,000-vertex triangle mesh under a moving node:
// the level's positions and normals copied into the world buffers, the
// positions moved to world space, and (when a deformer asks for it) the
// world normals rebuilt from the world positions.
//
// BM_MeshUpdate runs the mesh's own Update with the node's transform
// already applied; BM_SceneUpdate runs the whole per-frame driver on the
// node and the mesh at a new time each iteration (transform pass with key
// interpolation, world bound, data pass). Both report vertices per second.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "controllers/core/keyframe_control.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace {

using KT::CPointer;
using KT::u32;
using Vec = KT::CVector3<float>;

constexpr u32 kColumns = 400;
constexpr u32 kRows = 250;  // 100,000 vertices, 198,702 triangles

// A gently curved grid with one normal per position.
CPointer<KT::CTriMeshData> Grid() {
  CPointer<KT::CTriMeshData> data;
  KT::CTriMeshData::Create(data);
  data->AllocateXYZ(kColumns * kRows);
  data->AllocateNormal(kColumns * kRows);
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

KT::CRtsTransform Pose(float angle, float x) {
  KT::CRtsTransform t = KT::kIdentityTransform;
  t.Rotate = KT::CQuaternion::FromAxisAngle({0.3f, 1.0f, 0.2f}, angle);
  t.Translate = {x, 1.0f, -2.0f};
  return t;
}

// A node that turns and moves over one second, holding the mesh.
struct MovingScene {
  CPointer<KT::CNode> node{new KT::CNode()};
  CPointer<KT::CTriMesh> mesh{new KT::CTriMesh()};
  MovingScene() {
    CPointer<KT::CKeyframeControl> path(new KT::CKeyframeControl());
    path->AddRtsKey(0, 30.0f, Pose(0.0f, 0.0f));
    path->AddRtsKey(1000, 30.0f, Pose(2.0f, 5.0f));
    node->AddControl(path.Get());
    CPointer<KT::CKeyframeControl> follow(new KT::CKeyframeControl());
    follow->AddRtsKey(0, 30.0f, KT::kIdentityTransform);
    mesh->AddControl(follow.Get());
    mesh->SetSingleLod(Grid().Get());
    mesh->AllocateWorldXYZ(kColumns * kRows);
    mesh->AllocateWorldNormal(kColumns * kRows);
    node->AddChild(mesh.Get());
  }
};

// range(0): 1 when every frame rebuilds the normals (as after a deformer).
void BM_MeshUpdate(benchmark::State& state) {
  MovingScene scene;
  scene.node->UpdateScene(500, 0, 0.0f, true, nullptr, true);
  const bool rebuild = state.range(0) != 0;
  for (auto _ : state) {
    scene.mesh->SetRecomputeNormals(rebuild);
    if (KT::Failed(scene.mesh->Update(500))) state.SkipWithError("update failed");
    benchmark::DoNotOptimize(scene.mesh->GetWorldXYZ().GetData());
    benchmark::DoNotOptimize(scene.mesh->GetWorldNormal().GetData());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kColumns * kRows);
}
BENCHMARK(BM_MeshUpdate)->ArgName("rebuildNormals")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SceneUpdate(benchmark::State& state) {
  MovingScene scene;
  const bool rebuild = state.range(0) != 0;
  KT::i32 time = 0;
  for (auto _ : state) {
    time = (time + 33) % 1000;
    scene.mesh->SetRecomputeNormals(rebuild);
    if (KT::Failed(scene.node->UpdateScene(time, 0, 0.0f, true, nullptr, false))) {
      state.SkipWithError("update failed");
    }
    benchmark::DoNotOptimize(scene.mesh->GetWorldXYZ().GetData());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kColumns * kRows);
}
BENCHMARK(BM_SceneUpdate)->ArgName("rebuildNormals")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
