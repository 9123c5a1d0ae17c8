// Speed of whole scene files through the file device, beside a
// general-purpose binary serializer (cereal's binary archive) holding the
// same object graphs, and beside a plain read and write of the same bytes.
//
// Two scenes, generated here:
// - object-heavy: 20,000 nodes under one root, each with a keyframe
//   controller of 8 keys;
// - bulk: four triangle meshes of 250,000 vertices with normals under one
//   root.
// For each: Load, Save, and Copy (load then save, as `drn copy` does) of the
// scene file; cereal's load, save and load-then-save of the same graph in
// its own file; plain fread, fwrite and fread-then-fwrite of the scene
// file's bytes. Targets: Copy of the object-heavy scene at or below
// cereal's copy; Copy of the bulk scene within 1.1 times the plain copy.
// Run with --benchmark_repetitions=5 and compare medians (file writes go
// through the page cache and vary). Releasing the loaded objects and
// removing the previous output file are outside the timed part.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cereal/archives/binary.hpp>
#include <cereal/types/array.hpp>
#include <cereal/types/memory.hpp>
#include <cereal/types/string.hpp>
#include <cereal/types/vector.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/temp_file.h"
#include "controllers/core/keyframe_control.h"
#include "library/register_library_classes.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/file_io.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace {

using namespace KT;

constexpr u32 kNodeCount = 20000;
constexpr u32 kKeysPerNode = 8;
constexpr u32 kMeshCount = 4;
constexpr u32 kGridSide = 500;  // 250,000 vertices per mesh

enum SceneKind { kObjects = 0, kBulk = 1 };

using bench::TempFile;

// --- the graphs in the library's classes ----------------------------------------

CRtsTransform KeyPose(u32 node, u32 key) {
  CRtsTransform t = kIdentityTransform;
  const f32 a = 0.001f * static_cast<f32>(node) + 0.3f * static_cast<f32>(key);
  t.Rotate = CQuaternion::FromAxisAngle({0.3f, 1.0f, 0.2f}, a);
  t.Translate = {static_cast<f32>(key), 0.5f * a, -2.0f};
  return t;
}

CPointer<CNode> ObjectScene() {
  CPointer<CNode> root(new CNode());
  root->SetName(u"Root");
  for (u32 i = 0; i < kNodeCount; ++i) {
    CPointer<CNode> node(new CNode());
    node->SetName(u"Node");
    CPointer<CKeyframeControl> control(new CKeyframeControl());
    for (u32 k = 0; k < kKeysPerNode; ++k) control->AddRtsKey(static_cast<i32>(k * 100), 30.0f, KeyPose(i, k));
    node->AddControl(control.Get());
    root->AddChild(node.Get());
  }
  return root;
}

CPointer<CTriMeshData> GridData(u32 seed) {
  CPointer<CTriMeshData> data;
  CTriMeshData::Create(data);
  data->AllocateXYZ(kGridSide * kGridSide);
  data->AllocateNormal(kGridSide * kGridSide);
  for (u32 r = 0; r < kGridSide; ++r) {
    for (u32 c = 0; c < kGridSide; ++c) {
      const f32 x = static_cast<f32>(c) * 0.01f;
      const f32 y = static_cast<f32>(r) * 0.01f;
      data->GetXYZ()[r * kGridSide + c] = {x, y, 0.1f * Sin(x + static_cast<f32>(seed)) * Cos(y)};
    }
  }
  data->SetTriangleQuantity(2 * (kGridSide - 1) * (kGridSide - 1));
  u32* xyz = data->GetXYZTriIndex().GetData();
  for (u32 r = 0; r + 1 < kGridSide; ++r) {
    for (u32 c = 0; c + 1 < kGridSide; ++c) {
      const u32 a = r * kGridSide + c;
      const u32 corners[6] = {a, a + 1, a + kGridSide + 1, a, a + kGridSide + 1, a + kGridSide};
      for (u32 k : corners) *xyz++ = k;
    }
  }
  std::copy(data->GetXYZTriIndex().begin(), data->GetXYZTriIndex().end(), data->GetNormalTriIndex().begin());
  data->ComputeVertexNormals();
  data->UpdateBoundingBox();
  return data;
}

CPointer<CNode> BulkScene() {
  CPointer<CNode> root(new CNode());
  root->SetName(u"Root");
  for (u32 i = 0; i < kMeshCount; ++i) {
    CPointer<CTriMesh> mesh(new CTriMesh());
    mesh->SetName(u"Mesh");
    mesh->SetSingleLod(GridData(i).Get());
    root->AddChild(mesh.Get());
  }
  return root;
}

// --- the same graphs for cereal ---------------------------------------------------
// The fields each object carries on disk in the scene file, as a cereal
// user would describe them: names, transforms, bounds, flags and the arrays.

struct CerealKey {
  i32 time = 0;
  u32 transition = 0;
  f32 strength = 0;
  std::array<f32, 15> rts{};
  std::array<f32, 4> tangents{};
  template <class Archive>
  void serialize(Archive& ar) {
    ar(time, transition, strength, rts, tangents);
  }
};

struct CerealControl {
  std::u16string name;
  u64 id = 0;
  u32 repeat = 0;
  f32 frequency = 1, weight = 1, priority = 0;
  std::vector<CerealKey> keys;
  template <class Archive>
  void serialize(Archive& ar) {
    ar(name, id, repeat, frequency, weight, priority, keys);
  }
};

struct CerealMesh {
  std::vector<f32> xyz, normal;
  std::vector<u32> xyzTri, normalTri;
  std::array<f32, 6> box{};
  template <class Archive>
  void serialize(Archive& ar) {
    ar(xyz, normal, xyzTri, normalTri, box);
  }
};

struct CerealNode {
  std::u16string name;
  u64 id = 0;
  u32 flags = 0;
  std::array<f32, 15> local{};
  std::array<f32, 4> bound{};
  std::shared_ptr<CerealControl> control;
  std::shared_ptr<CerealMesh> mesh;
  std::vector<std::shared_ptr<CerealNode>> children;
  template <class Archive>
  void serialize(Archive& ar) {
    ar(name, id, flags, local, bound, control, mesh, children);
  }
};

std::shared_ptr<CerealNode> CerealObjects() {
  auto root = std::make_shared<CerealNode>();
  root->name = u"Root";
  for (u32 i = 0; i < kNodeCount; ++i) {
    auto node = std::make_shared<CerealNode>();
    node->name = u"Node";
    node->id = i + 2;
    node->control = std::make_shared<CerealControl>();
    for (u32 k = 0; k < kKeysPerNode; ++k) {
      CerealKey key;
      key.time = static_cast<i32>(k * 100);
      const CRtsTransform pose = KeyPose(i, k);
      std::memcpy(key.rts.data(), &pose, sizeof(pose));
      node->control->keys.push_back(key);
    }
    root->children.push_back(node);
  }
  return root;
}

std::shared_ptr<CerealNode> CerealBulk() {
  auto root = std::make_shared<CerealNode>();
  for (u32 i = 0; i < kMeshCount; ++i) {
    CPointer<CTriMeshData> data = GridData(i);
    auto node = std::make_shared<CerealNode>();
    node->mesh = std::make_shared<CerealMesh>();
    const auto* xyz = reinterpret_cast<const f32*>(data->GetXYZ().GetData());
    const auto* normal = reinterpret_cast<const f32*>(data->GetNormal().GetData());
    node->mesh->xyz.assign(xyz, xyz + 3 * data->GetXYZ().GetCount());
    node->mesh->normal.assign(normal, normal + 3 * data->GetNormal().GetCount());
    node->mesh->xyzTri.assign(data->GetXYZTriIndex().begin(), data->GetXYZTriIndex().end());
    node->mesh->normalTri.assign(data->GetNormalTriIndex().begin(), data->GetNormalTriIndex().end());
    root->children.push_back(node);
  }
  return root;
}

// --- files ------------------------------------------------------------------------

void Register() {
  static const bool done = [] {
    RegisterCustomDataClasses();
    RegisterLibraryClasses();
    return true;
  }();
  (void)done;
}

Result SaveScene(CBase* root, const TempFile& file) {
  CFileIo out;
  Result r = out.OpenWrite(file.Wide());
  if (Failed(r)) return r;
  CStream stream;
  stream.SetDevice(&out);
  stream.AddRootObject(root);
  r = stream.Save(CStream::kAllSections);
  out.Close();
  return r;
}

Result LoadScene(const TempFile& file, CStream& stream, CFileIo& in) {
  Result r = in.OpenRead(file.Wide());
  if (Failed(r)) return r;
  stream.SetDevice(&in);
  return stream.Load(0x1E, CStream::kAllSections);
}

void SaveCereal(const std::shared_ptr<CerealNode>& root, const TempFile& file) {
  std::ofstream out(file.Native(), std::ios::binary | std::ios::trunc);
  cereal::BinaryOutputArchive archive(out);
  archive(root);
}

std::shared_ptr<CerealNode> LoadCereal(const TempFile& file) {
  std::ifstream in(file.Native(), std::ios::binary);
  cereal::BinaryInputArchive archive(in);
  std::shared_ptr<CerealNode> root;
  archive(root);
  return root;
}

// Both scenes in both forms, written once per program run.
struct Fixture {
  TempFile scene;
  TempFile cereal;
  CPointer<CNode> root;
  std::shared_ptr<CerealNode> cerealRoot;
  std::size_t sceneBytes = 0;
  std::size_t cerealBytes = 0;
  Fixture(SceneKind kind, const char* stem)
      : scene(stem), cereal(stem, ".cereal") {
    Register();
    root = kind == kObjects ? ObjectScene() : BulkScene();
    cerealRoot = kind == kObjects ? CerealObjects() : CerealBulk();
    if (Failed(SaveScene(root.Get(), scene))) std::abort();
    SaveCereal(cerealRoot, cereal);
    sceneBytes = std::filesystem::file_size(scene.Native());
    cerealBytes = std::filesystem::file_size(cereal.Native());
  }
};

Fixture& Shared(SceneKind kind) {
  static Fixture objects(kObjects, "objects");
  static Fixture bulk(kBulk, "bulk");
  return kind == kObjects ? objects : bulk;
}

TempFile& Output() {
  static TempFile out("out");
  return out;
}

void Finish(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

// --- scene file ---------------------------------------------------------------------

void BM_SceneLoad(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    auto stream = std::make_unique<CStream>();
    CFileIo in;
    if (Failed(LoadScene(f.scene, *stream, in))) state.SkipWithError("load failed");
    state.PauseTiming();
    stream.reset();
    state.ResumeTiming();
  }
  Finish(state, f.sceneBytes);
}

void BM_SceneSave(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Output().Remove();
    state.ResumeTiming();
    if (Failed(SaveScene(f.root.Get(), Output()))) state.SkipWithError("save failed");
  }
  Finish(state, f.sceneBytes);
}

void BM_SceneCopy(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Output().Remove();
    state.ResumeTiming();
    auto stream = std::make_unique<CStream>();
    CFileIo in;
    if (Failed(LoadScene(f.scene, *stream, in))) state.SkipWithError("load failed");
    in.Close();
    CFileIo out;
    out.OpenWrite(Output().Wide());
    stream->SetDevice(&out);
    if (Failed(stream->Save(CStream::kAllSections))) state.SkipWithError("save failed");
    out.Close();
    state.PauseTiming();
    stream.reset();
    state.ResumeTiming();
  }
  Finish(state, f.sceneBytes);
}

// --- cereal -----------------------------------------------------------------------

void BM_CerealLoad(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    std::shared_ptr<CerealNode> root = LoadCereal(f.cereal);
    benchmark::DoNotOptimize(root.get());
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  Finish(state, f.cerealBytes);
}

void BM_CerealSave(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Output().Remove();
    state.ResumeTiming();
    SaveCereal(f.cerealRoot, Output());
  }
  Finish(state, f.cerealBytes);
}

void BM_CerealCopy(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Output().Remove();
    state.ResumeTiming();
    std::shared_ptr<CerealNode> root = LoadCereal(f.cereal);
    SaveCereal(root, Output());
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  Finish(state, f.cerealBytes);
}

// --- plain bytes ----------------------------------------------------------------------

std::vector<u8> ReadAll(const std::string& path) {
  std::vector<u8> bytes(std::filesystem::file_size(path));
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) bytes.clear();
  if (in != nullptr) std::fclose(in);
  return bytes;
}

void WriteAll(const std::string& path, const std::vector<u8>& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

void BM_PlainRead(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    std::vector<u8> bytes = ReadAll(f.scene.Native());
    benchmark::DoNotOptimize(bytes.data());
  }
  Finish(state, f.sceneBytes);
}

void BM_PlainWrite(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  const std::vector<u8> bytes = ReadAll(f.scene.Native());
  for (auto _ : state) {
    state.PauseTiming();
    Output().Remove();
    state.ResumeTiming();
    WriteAll(Output().Native(), bytes);
  }
  Finish(state, f.sceneBytes);
}

void BM_PlainCopy(benchmark::State& state) {
  Fixture& f = Shared(static_cast<SceneKind>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Output().Remove();
    state.ResumeTiming();
    const std::vector<u8> bytes = ReadAll(f.scene.Native());
    WriteAll(Output().Native(), bytes);
  }
  Finish(state, f.sceneBytes);
}

void Scenes(benchmark::internal::Benchmark* b) {
  b->ArgName("bulk")->Arg(kObjects)->Arg(kBulk)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_SceneLoad)->Apply(Scenes);
BENCHMARK(BM_SceneSave)->Apply(Scenes);
BENCHMARK(BM_SceneCopy)->Apply(Scenes);
BENCHMARK(BM_CerealLoad)->Apply(Scenes);
BENCHMARK(BM_CerealSave)->Apply(Scenes);
BENCHMARK(BM_CerealCopy)->Apply(Scenes);
BENCHMARK(BM_PlainRead)->Apply(Scenes);
BENCHMARK(BM_PlainWrite)->Apply(Scenes);
BENCHMARK(BM_PlainCopy)->Apply(Scenes);

}  // namespace
