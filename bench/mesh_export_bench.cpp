// The mesh export of one host node of 1,000,000 triangles, beside the
// builder chain it ends with (CompactNormalIndices, ComputeVertexNormals,
// BuildVertexTriIndex, SortByMaterial) run on the same triangles in the
// same program.
//
// The host mesh is a grid of quads (two triangles each) whose smoothing
// groups come in patches of 16 x 16 quads (one bit per patch, so patches
// that meet do not share normals), followed by a fan of 100,000 group-0
// triangles around one vertex, two map channels with one coordinate per
// position, and material ids 0, 1, 2 in turn over a 3-entry
// multi-material.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "exporter/convert/v_normal.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/host_scene.h"
#include "platform/host/inode.h"
#include "platform/host/scene_builder.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace {

using KT::u32;

constexpr u32 kColumns = 751;  // 750 x 600 quads: 900,000 triangles
constexpr u32 kRows = 601;
constexpr u32 kFan = 100000;
constexpr u32 kPatch = 16;

KT::Host::MeshDesc HostMesh() {
  KT::Host::MeshDesc mesh;
  for (u32 r = 0; r < kRows; ++r) {
    for (u32 c = 0; c < kColumns; ++c) {
      mesh.verts.emplace_back(static_cast<float>(c), static_cast<float>(r), static_cast<float>((c * 7 + r * 3) % 11) * 0.1f);
    }
  }
  u32 next = 0;
  for (u32 r = 0; r + 1 < kRows; ++r) {
    for (u32 c = 0; c + 1 < kColumns; ++c) {
      const u32 patch = (r / kPatch) * (kColumns / kPatch + 1) + c / kPatch;
      const DWORD group = 1u << (patch % 32);
      const u32 a = r * kColumns + c, b = a + 1, d = a + kColumns, e = d + 1;
      mesh.faces.push_back({{a, b, e}, group, next++ % 3});
      mesh.faces.push_back({{a, e, d}, group, next++ % 3});
    }
  }
  // The fan: every triangle meets at the first vertex, none smoothed.
  for (u32 i = 0; i < kFan; ++i) {
    const u32 a = 1 + i % (kColumns * kRows - 2);
    mesh.faces.push_back({{0, a, a + 1}, 0, next++ % 3});
  }
  for (int channel : {1, 2}) {
    KT::Host::MapChannelDesc map;
    map.channel = channel;
    for (const Point3& p : mesh.verts) map.verts.emplace_back(p.x / kColumns, p.y / kRows, static_cast<float>(channel));
    for (const auto& f : mesh.faces) map.faces.push_back(f.v);
    mesh.maps.push_back(std::move(map));
  }
  return mesh;
}

struct BenchScene {
  BenchScene() {
    KT::Host::SceneBuilder b;
    b.Range(0, 0);
    b.AddMaterial("s0", "S0");
    b.AddMaterial("s1", "S1");
    b.AddMaterial("s2", "S2");
    b.AddMaterial("multi", "Multi", KT::Host::MaterialClass::kMulti).Sub("s0").Sub("s1").Sub("s2");
    b.AddNode("Grid").Mesh(HostMesh()).Material("multi");
    desc = b.Description().nodes[0].mesh;
    scene = b.Make();
    active = std::make_unique<KT::Host::ActiveHostScene>(*scene);
    context = std::make_unique<CMaxDrn>(scene.get(), scene.get(), false);
  }
  KT::Host::MeshDesc desc;
  std::unique_ptr<KT::Host::HostScene> scene;
  std::unique_ptr<KT::Host::ActiveHostScene> active;
  std::unique_ptr<CMaxDrn> context;
};

// Built on first use and never destroyed: the library's process-wide
// registries that the converted objects use may be made after it and so
// would be gone before its destructor ran at exit.
BenchScene& Scene() {
  static BenchScene* scene = new BenchScene;
  return *scene;
}

void BM_CreateMesh(benchmark::State& state) {
  BenchScene& s = Scene();
  INode* node = s.scene->NodeAt(0);
  u32 triangles = 0;
  for (auto _ : state) {
    KT::CPointer<KT::CNode> parent;
    KT::CNode::Create(parent);
    s.context->CreateMesh(parent.Get(), node, 0);
    auto* mesh = static_cast<KT::CTriMesh*>(parent->GetChild(0).Get());
    triangles = mesh->GetTriMeshLod(0)->GetTriangleQuantity();
    benchmark::DoNotOptimize(triangles);
    state.PauseTiming();
    parent.Release();
    state.ResumeTiming();
  }
  state.counters["triangles"] = triangles;
}

// The level data as the export has it just before its builders run: the
// same positions, corners, shared normal ids, UV channels and ids.
KT::CPointer<KT::CTriMeshData> ChainInput(const KT::Host::MeshDesc& desc) {
  KT::CPointer<KT::CTriMeshData> data;
  KT::CTriMeshData::Create(data);
  const auto faces = static_cast<u32>(desc.faces.size());
  data->AllocateXYZ(static_cast<u32>(desc.verts.size()));
  data->AllocateNormal(3 * faces);
  for (std::size_t i = 0; i < desc.verts.size(); ++i) data->GetXYZ()[static_cast<u32>(i)] = {desc.verts[i].x, desc.verts[i].y, desc.verts[i].z};
  data->SetTriangleQuantity(faces);
  std::vector<KT::CVNormal> lists(desc.verts.size());
  for (u32 f = 0; f < faces; ++f) {
    for (u32 c = 0; c < 3; ++c) lists[desc.faces[f].v[c]].Add(static_cast<KT::i32>(3 * f + c), desc.faces[f].smooth);
  }
  data->AllocateSmooth();
  data->AllocateTriangleMtlID();
  for (u32 f = 0; f < faces; ++f) {
    const auto& face = desc.faces[f];
    data->GetSmooth()[f] = face.smooth;
    data->GetTriangleMtlID()[f] = face.mtl % 3;
    for (u32 c = 0; c < 3; ++c) {
      data->GetXYZTriIndex()[3 * f + c] = face.v[c];
      data->GetNormalTriIndex()[3 * f + c] =
          face.smooth == 0 ? 3 * f + c : static_cast<u32>(lists[face.v[c]].Find(face.smooth));
    }
  }
  for (const auto& channel : desc.maps) {
    KT::CPointer<KT::CUvwMap> map;
    KT::CPointer<KT::CUvwMapData> mapData;
    KT::CUvwMap::Create(map);
    KT::CUvwMapData::Create(mapData);
    map->SetUvwMapData(mapData.Get());
    map->AllocateUvw(static_cast<u32>(channel.verts.size()));
    for (std::size_t i = 0; i < channel.verts.size(); ++i) {
      map->GetUVW()[static_cast<u32>(i)] = {channel.verts[i].x, channel.verts[i].y, channel.verts[i].z};
    }
    mapData->AllocateUvwTriIndex(faces);
    for (u32 f = 0; f < faces; ++f) {
      for (u32 c = 0; c < 3; ++c) mapData->GetUVWTriIndex()[3 * f + c] = channel.faces[f][c];
    }
    data->AddUvwMap(map.Get());
  }
  return data;
}

void BM_BuilderChain(benchmark::State& state) {
  u32 triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    KT::CPointer<KT::CTriMeshData> data = ChainInput(Scene().desc);
    state.ResumeTiming();
    data->CompactNormalIndices();
    data->ComputeVertexNormals();
    data->BuildVertexTriIndex();
    data->SortByMaterial();
    triangles = data->GetTriangleQuantity();
    benchmark::DoNotOptimize(data->GetAttributeRanges().size());
    state.PauseTiming();
    data.Release();
    state.ResumeTiming();
  }
  state.counters["triangles"] = triangles;
}

BENCHMARK(BM_CreateMesh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuilderChain)->Unit(benchmark::kMillisecond);

}  // namespace
