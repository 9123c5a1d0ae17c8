// The mesh builders: normals, normal compaction, corner unification,
// tangent records and grouping by material, and the index algorithms
// beneath them.
#include "scene/mesh_builders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "objectmodel/stream_test_support.h"
#include "scene/tri_mesh_data.h"

namespace KT {
namespace {

using Vec = CVector3<float>;
using Range = CTriMeshData::AttributeRange;
using Tangent = CTriMeshData::TangentIndex;

CPointer<CUvwMap> MakeChannel(u32 coordinates, const std::vector<u32>& cornerIndex) {
  CPointer<CUvwMap> map;
  CPointer<CUvwMapData> data;
  EXPECT_EQ(CUvwMap::Create(map), kOk);
  EXPECT_EQ(CUvwMapData::Create(data), kOk);
  EXPECT_EQ(map->AllocateUvw(coordinates), kOk);
  EXPECT_EQ(data->AllocateUvwTriIndex(static_cast<u32>(cornerIndex.size() / 3)), kOk);
  for (u32 c = 0; c < cornerIndex.size(); ++c) data->GetUVWTriIndex()[c] = cornerIndex[c];
  map->SetUvwMapData(data.Get());
  return map;
}

// A mesh data with the given streams and corner indices (an empty list:
// no stream of that kind).
CPointer<CTriMeshData> MakeMesh(const std::vector<Vec>& xyz, u32 normals, const std::vector<u32>& xyzIndex,
                                const std::vector<u32>& normalIndex, const std::vector<u32>& materials = {}) {
  CPointer<CTriMeshData> mesh;
  EXPECT_EQ(CTriMeshData::Create(mesh), kOk);
  EXPECT_EQ(mesh->AllocateXYZ(static_cast<u32>(xyz.size())), kOk);
  for (u32 i = 0; i < xyz.size(); ++i) mesh->GetXYZ()[i] = xyz[i];
  if (normals > 0) {
    EXPECT_EQ(mesh->AllocateNormal(normals), kOk);
  }
  EXPECT_EQ(mesh->SetTriangleQuantity(static_cast<u32>(xyzIndex.size() / 3)), kOk);
  for (u32 c = 0; c < xyzIndex.size(); ++c) mesh->GetXYZTriIndex()[c] = xyzIndex[c];
  for (u32 c = 0; c < normalIndex.size(); ++c) mesh->GetNormalTriIndex()[c] = normalIndex[c];
  if (!materials.empty()) {
    EXPECT_EQ(mesh->AllocateTriangleMtlID(), kOk);
    for (u32 t = 0; t < materials.size(); ++t) mesh->GetTriangleMtlID()[t] = materials[t];
  }
  return mesh;
}

std::vector<u32> Values(const CBuffer<u32>& buffer) { return std::vector<u32>(buffer.begin(), buffer.end()); }

// --- the cube through the exporter's chain -------------------------------------------------

struct Cube {
  std::vector<Vec> xyz;
  std::vector<u32> xyzIndex, normalIndex, uvIndex, materials;

  Cube() {
    for (u32 i = 0; i < 8; ++i) xyz.push_back({static_cast<f32>(i & 1), static_cast<f32>((i >> 1) & 1),
                                              static_cast<f32>(i >> 2)});
    // Each face as four positions counter-clockwise seen from outside.
    const u32 faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (u32 f = 0; f < 6; ++f) {
      for (u32 corner : {0u, 1u, 2u, 0u, 2u, 3u}) {
        xyzIndex.push_back(faces[f][corner]);
        normalIndex.push_back(100 - 10 * f);  // sparse, descending: compaction reorders them
        uvIndex.push_back(corner);
      }
      materials.push_back(f % 3);
      materials.push_back(f % 3);
    }
  }
};

TEST(MeshBuildersTest, CubeGoesThroughTheChainToTwentyFourVertices) {
  Cube cube;
  CPointer<CTriMeshData> mesh = MakeMesh(cube.xyz, 6, cube.xyzIndex, cube.normalIndex, cube.materials);
  ASSERT_EQ(mesh->CompactNormalIndices(), kOk);
  EXPECT_EQ(mesh->GetNormal().GetCount(), 6u);
  // 100 - 10f becomes 5 - f: the ascending position of the old value.
  for (u32 c = 0; c < 36; ++c) EXPECT_EQ(mesh->GetNormalTriIndex()[c], 5 - c / 6) << c;
  ASSERT_EQ(mesh->ComputeVertexNormals(), kOk);
  CPointer<CUvwMap> channel = MakeChannel(4, cube.uvIndex);
  ASSERT_EQ(mesh->AddUvwMap(channel.Get()), kOk);
  ASSERT_EQ(mesh->BuildVertexTriIndex(), kOk);
  ASSERT_EQ(mesh->SortByMaterial(), kOk);

  CUvwMapData* data = channel->GetUvwMapData();
  ASSERT_EQ(mesh->GetVertexMapCount(), 24u);
  ASSERT_EQ(data->GetVertexUVWMap().GetCount(), 24u);
  EXPECT_TRUE(mesh->GetVertexColorMap().IsEmpty());
  // Vertex ids follow the ascending (XYZ, Normal, UVW) keys.
  auto key = [&](u32 v) {
    return std::vector<u32>{mesh->GetVertexXYZMap()[v], mesh->GetVertexNormalMap()[v], data->GetVertexUVWMap()[v]};
  };
  for (u32 v = 1; v < 24; ++v) EXPECT_LT(key(v - 1), key(v)) << v;
  // Every corner is drawn with its own indices.
  for (u32 c = 0; c < 36; ++c) {
    const u32 v = mesh->GetVertexTriIndex()[c];
    ASSERT_LT(v, 24u);
    EXPECT_EQ(key(v), (std::vector<u32>{mesh->GetXYZTriIndex()[c], mesh->GetNormalTriIndex()[c],
                                        data->GetUVWTriIndex()[c]}));
  }
  // Each face's normal is its outward unit axis.
  for (u32 t = 0; t < 12; ++t) {
    const Vec& n = mesh->GetNormal()[mesh->GetNormalTriIndex()[3 * t]];
    const Vec p0 = mesh->GetXYZ()[mesh->GetXYZTriIndex()[3 * t]];
    EXPECT_FLOAT_EQ(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z), 1.0f);
    EXPECT_GT(n.Dot(p0 - Vec(0.5f, 0.5f, 0.5f)), 0.0f) << t;
  }
  EXPECT_EQ(Values(mesh->GetTriangleMtlID()), (std::vector<u32>{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}));
  EXPECT_EQ(mesh->GetAttributeRanges(), (std::vector<Range>{{0, 0, 4}, {1, 4, 4}, {2, 8, 4}}));
  // Tangent records name a triangle that uses their vertex.
  ASSERT_EQ(mesh->GetTangentIndex().GetCount(), 24u);
  for (u32 v = 0; v < 24; ++v) {
    const Tangent& t = mesh->GetTangentIndex()[v];
    EXPECT_TRUE(t.IndexA == v || t.IndexB == v || t.IndexC == v) << v;
  }
}

// --- corner unification ----------------------------------------------------------------

TEST(MeshBuildersTest, ADifferentUvIndexSplitsAVertexOnlyWithTheChannel) {
  const std::vector<Vec> xyz = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  for (bool withChannel : {false, true}) {
    SCOPED_TRACE(withChannel);
    CPointer<CTriMeshData> mesh = MakeMesh(xyz, 1, {0, 1, 2, 0, 2, 1}, {0, 0, 0, 0, 0, 0});
    if (withChannel) {
      ASSERT_EQ(mesh->AddUvwMap(MakeChannel(2, {0, 0, 0, 1, 0, 0}).Get()), kOk);
    }
    ASSERT_EQ(mesh->BuildVertexTriIndex(), kOk);
    EXPECT_EQ(mesh->GetVertexMapCount(), withChannel ? 4u : 3u);
    EXPECT_EQ(Values(mesh->GetVertexTriIndex()),
              withChannel ? (std::vector<u32>{0, 2, 3, 1, 3, 2}) : (std::vector<u32>{0, 1, 2, 0, 2, 1}));
  }
}

TEST(MeshBuildersTest, AChannelWithoutCornerIndicesTakesNoPart) {
  CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 0, {0, 1, 2}, {});
  CPointer<CUvwMap> bare;
  ASSERT_EQ(CUvwMap::Create(bare), kOk);
  CPointer<CUvwMapData> empty;
  ASSERT_EQ(CUvwMapData::Create(empty), kOk);
  bare->SetUvwMapData(empty.Get());
  ASSERT_EQ(mesh->AddUvwMap(bare.Get()), kOk);
  ASSERT_EQ(mesh->BuildVertexTriIndex(), kOk);
  EXPECT_EQ(mesh->GetVertexMapCount(), 3u);
  EXPECT_TRUE(empty->GetVertexUVWMap().IsEmpty());
  EXPECT_TRUE(mesh->GetVertexNormalMap().IsEmpty());
}

TEST(MeshBuildersTest, UnificationRefusesBuffersItCannotRead) {
  struct Case {
    const char* what;
    void (*change)(CTriMeshData&);
  };
  const Case cases[] = {
      {"no positions' corners", [](CTriMeshData& m) { m.GetXYZTriIndex().Free(); }},
      {"short normal corners", [](CTriMeshData& m) { m.GetNormalTriIndex().Create(2); }},
      {"short channel corners",
       [](CTriMeshData& m) { m.AddUvwMap(MakeChannel(1, {0, 0, 0, 0, 0, 0}).Get()); }},
      {"no triangles", [](CTriMeshData& m) { m.Clear(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 1, {0, 1, 2}, {0, 0, 0});
    c.change(*mesh);
    const std::string before = test::Members(mesh.Get());
    EXPECT_EQ(mesh->BuildVertexTriIndex(), kErrInvalidArg);
    EXPECT_EQ(test::Members(mesh.Get()), before);
  }
}

// Corner keys drawn at random from `low` to `low + range - 1` (wrapping
// below 0) for streams of `count` normals and UV coordinates: a triangle
// with a corner past its stream (every negative value is) makes no vertex;
// the reference numbers the distinct keys of the other corners in an
// ordered map.
void CheckUnificationAgainstAnOrderedMap(u32 low, u32 range, u32 count, u32 seed) {
  std::mt19937 random(seed);
  const u32 triangles = 300;
  CPointer<CTriMeshData> mesh;
  ASSERT_EQ(CTriMeshData::Create(mesh), kOk);
  ASSERT_EQ(mesh->AllocateXYZ(8), kOk);
  ASSERT_EQ(mesh->AllocateNormal(count), kOk);
  ASSERT_EQ(mesh->SetTriangleQuantity(triangles), kOk);
  std::vector<u32> uv(3 * triangles);
  auto draw = [&] { return low + static_cast<u32>(random() % range); };
  for (u32 c = 0; c < 3 * triangles; ++c) {
    mesh->GetXYZTriIndex()[c] = draw() % 5;  // few positions: large buckets
    mesh->GetNormalTriIndex()[c] = draw();
    uv[c] = draw();
  }
  CPointer<CUvwMap> channel = MakeChannel(count, uv);
  ASSERT_EQ(mesh->AddUvwMap(channel.Get()), kOk);
  ASSERT_EQ(mesh->BuildVertexTriIndex(), kOk);

  auto keyOf = [&](u32 c) {
    return std::vector<i32>{static_cast<i32>(mesh->GetXYZTriIndex()[c]), static_cast<i32>(mesh->GetNormalTriIndex()[c]),
                            static_cast<i32>(uv[c])};
  };
  auto kept = [&](u32 t) {
    for (u32 c = 3 * t; c < 3 * t + 3; ++c) {
      if (mesh->GetNormalTriIndex()[c] >= count || uv[c] >= count) return false;
    }
    return true;
  };
  std::map<std::vector<i32>, u32> keys;
  u32 keptTriangles = 0;
  for (u32 t = 0; t < triangles; ++t) {
    if (!kept(t)) continue;
    ++keptTriangles;
    for (u32 c = 3 * t; c < 3 * t + 3; ++c) keys.emplace(keyOf(c), 0);
  }
  ASSERT_GT(keptTriangles, 10u);
  ASSERT_LT(keptTriangles, triangles);
  u32 next = 0;
  for (auto& entry : keys) entry.second = next++;
  ASSERT_EQ(mesh->GetVertexMapCount(), keys.size());
  for (u32 c = 0; c < 3 * triangles; ++c) {
    const u32 expected = kept(c / 3) ? keys[keyOf(c)] : CTriMeshData::kNoVertex;
    ASSERT_EQ(mesh->GetVertexTriIndex()[c], expected) << c;
  }
  for (const auto& [key, v] : keys) {
    EXPECT_EQ(static_cast<i32>(mesh->GetVertexXYZMap()[v]), key[0]);
    EXPECT_EQ(static_cast<i32>(mesh->GetVertexNormalMap()[v]), key[1]);
    EXPECT_EQ(static_cast<i32>(channel->GetUvwMapData()->GetVertexUVWMap()[v]), key[2]);
  }
  // Every tangent record names vertices.
  for (const auto& tangent : mesh->GetTangentIndex()) {
    EXPECT_LT(tangent.IndexA, keys.size());
    EXPECT_LT(tangent.IndexB, keys.size());
    EXPECT_LT(tangent.IndexC, keys.size());
  }
}

TEST(MeshBuildersTest, VerticesAreNumberedInKeyOrderAndBadTrianglesMakeNone) {
  CheckUnificationAgainstAnOrderedMap(0u - 1u, 7, 5, 1);  // dense values: table ranking
  CheckUnificationAgainstAnOrderedMap(0, 200000, 170000, 2);  // spread values: sorted ranking
}

TEST(MeshBuildersTest, RankingAndKeyOrderAreSigned) {
  const u32 wide[] = {5, 0xFFFFFFFFu, 5, 0, 0x7FFFFFFFu, 0x80000000u};
  const u32 dense[] = {3, 1, 3, 2};
  u32 ranks[6];
  u32 distinct = 0;
  ASSERT_EQ(RankSignedValues(wide, 6, ranks, distinct), kOk);
  EXPECT_EQ(distinct, 5u);
  EXPECT_EQ(std::vector<u32>(ranks, ranks + 6), (std::vector<u32>{3, 1, 3, 2, 4, 0}));
  ASSERT_EQ(RankSignedValues(dense, 4, ranks, distinct), kOk);
  EXPECT_EQ(distinct, 3u);
  EXPECT_EQ(std::vector<u32>(ranks, ranks + 4), (std::vector<u32>{2, 0, 2, 1}));

  const u32 minusOne[] = {0xFFFFFFFFu, 7}, zero[] = {0, 0};
  EXPECT_TRUE(CTriMeshData::CornerKeyLess(minusOne, zero, 2));
  EXPECT_FALSE(CTriMeshData::CornerKeyLess(zero, minusOne, 2));
  EXPECT_FALSE(CTriMeshData::CornerKeyLess(zero, zero, 2));
  EXPECT_TRUE(CTriMeshData::CornerKeyLess(zero, minusOne + 1, 1));
}

// --- tangents ------------------------------------------------------------------------------

TEST(MeshBuildersTest, TangentsSkipTrianglesPastTheVertices) {
  // Triangle 1 names vertex 9 of 4; vertex 3 is used by no good triangle
  // and takes the last good one.
  CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}}, 0, std::vector<u32>(9, 0), {});
  ASSERT_EQ(mesh->GetVertexTriIndex().Create(9), kOk);
  const u32 vertices[9] = {0, 1, 2, 2, 9, 3, 1, 2, 0};
  std::copy(vertices, vertices + 9, mesh->GetVertexTriIndex().begin());
  ASSERT_EQ(mesh->BuildTangentIndex(4), kOk);
  const CBuffer<Tangent>& tangents = mesh->GetTangentIndex();
  ASSERT_EQ(tangents.GetCount(), 4u);
  EXPECT_EQ(tangents[0], (Tangent{0, 1, 2}));
  EXPECT_EQ(tangents[2], (Tangent{0, 1, 2}));
  EXPECT_EQ(tangents[3], (Tangent{1, 2, 0}));
}

TEST(MeshBuildersTest, TangentRecordsMatchAScanPerVertex) {
  std::mt19937 random(7);
  const u32 triangles = 200, vertices = 150;  // some vertices used by no triangle
  CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}}, 0, std::vector<u32>(3 * triangles, 0), {});
  ASSERT_EQ(mesh->GetVertexTriIndex().Create(3 * triangles), kOk);
  for (u32 c = 0; c < 3 * triangles; ++c) mesh->GetVertexTriIndex()[c] = random() % (vertices - 20);
  ASSERT_EQ(mesh->BuildTangentIndex(vertices), kOk);
  ASSERT_EQ(mesh->GetTangentIndex().GetCount(), vertices);
  const CBuffer<u32>& vti = mesh->GetVertexTriIndex();
  for (u32 v = 0; v < vertices; ++v) {
    Tangent expected;
    for (u32 t = 0; t < triangles; ++t) {
      expected = {vti[3 * t], vti[3 * t + 1], vti[3 * t + 2]};
      if (expected.IndexA == v || expected.IndexB == v || expected.IndexC == v) break;
    }
    EXPECT_EQ(mesh->GetTangentIndex()[v], expected) << v;
  }
}

TEST(MeshBuildersTest, TangentsForNoVerticesKeepThePreviousRecords) {
  CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}}, 0, {0, 0, 0}, {});
  ASSERT_EQ(mesh->GetTangentIndex().Create(1), kOk);
  mesh->GetTangentIndex()[0] = {4, 5, 6};
  EXPECT_EQ(mesh->BuildTangentIndex(0), kOk);
  EXPECT_EQ(mesh->GetTangentIndex()[0], (Tangent{4, 5, 6}));
  // Without a vertex index every record holds zeros.
  ASSERT_EQ(mesh->BuildTangentIndex(2), kOk);
  EXPECT_EQ(mesh->GetTangentIndex()[1], (Tangent{0, 0, 0}));
}

// --- normals ---------------------------------------------------------------------------------

TEST(MeshBuildersTest, NormalsWeighTrianglesByAreaAndSkipWhatTheyCannotRead) {
  // Triangle 0 (area 2) faces +z, triangle 1 (area 0.5) faces +x; both
  // name normal 0. Triangle 2 is degenerate; triangle 3 names a position
  // that does not exist.
  const std::vector<Vec> xyz = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 1, 0}, {0, 0, 1}};
  CPointer<CTriMeshData> mesh =
      MakeMesh(xyz, 3, {0, 1, 2, 0, 3, 4, 0, 1, 1, 0, 1, 9}, {0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2});
  mesh->GetNormal()[2] = {5, 5, 5};
  ASSERT_EQ(mesh->ComputeVertexNormals(), kOk);
  // Sum: 3 x (0, 0, 4) + 3 x (1, 0, 0), normalised.
  const Vec expected = Vec(3, 0, 12) * (1.0f / std::sqrt(153.0f));
  EXPECT_FLOAT_EQ(mesh->GetNormal()[0].x, expected.x);
  EXPECT_FLOAT_EQ(mesh->GetNormal()[0].z, expected.z);
  EXPECT_EQ(mesh->GetNormal()[1], kVectorZero);
  EXPECT_EQ(mesh->GetNormal()[2], kVectorZero);

  CPointer<CTriMeshData> bare = MakeMesh(xyz, 0, {0, 1, 2}, {});
  EXPECT_EQ(bare->ComputeVertexNormals(), kDone);
  mesh->GetNormalTriIndex().Free();
  EXPECT_EQ(mesh->ComputeVertexNormals(), kErrInvalidArg);
}

TEST(MeshBuildersTest, CompactingNeedsNormalIndices) {
  CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}}, 0, {0, 0, 0}, {});
  EXPECT_EQ(mesh->CompactNormalIndices(), kErrInvalidArg);
  ASSERT_EQ(mesh->GetNormalTriIndex().Create(3), kOk);
  mesh->GetNormalTriIndex()[1] = 0xFFFFFFFFu;
  ASSERT_EQ(mesh->CompactNormalIndices(), kOk);
  EXPECT_EQ(Values(mesh->GetNormalTriIndex()), (std::vector<u32>{1, 0, 1}));
  EXPECT_EQ(mesh->GetNormal().GetCount(), 2u);
}

// --- grouping by material --------------------------------------------------------------------

// Four triangles with materials `ids`; triangle t has positions (t, t, t),
// normal t, vertex t, smoothing 1 << t and one channel with UV t.
CPointer<CTriMeshData> FourTriangles(const std::vector<u32>& ids, CPointer<CUvwMap>& channel) {
  std::vector<u32> corners;
  for (u32 t = 0; t < 4; ++t) corners.insert(corners.end(), {t, t, t});
  CPointer<CTriMeshData> mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, 4, corners, corners, ids);
  EXPECT_EQ(mesh->GetVertexTriIndex().Create(12, corners.data()), kOk);
  EXPECT_EQ(mesh->AllocateSmooth(), kOk);
  for (u32 t = 0; t < 4; ++t) mesh->GetSmooth()[t] = 1u << t;
  channel = MakeChannel(4, corners);
  EXPECT_EQ(mesh->AddUvwMap(channel.Get()), kOk);
  return mesh;
}

TEST(MeshBuildersTest, SortByMaterialGroupsStablyInSignedOrder) {
  struct Case {
    std::vector<u32> ids;
    std::vector<u32> order;
    std::vector<Range> ranges;
  };
  const Case cases[] = {
      {{2, 0, 2, 1}, {1, 3, 0, 2}, {{0, 0, 1}, {1, 1, 1}, {2, 2, 2}}},
      {{0, 0xFFFFFFFFu, 0, 0xFFFFFFFFu}, {1, 3, 0, 2}, {{0xFFFFFFFFu, 0, 2}, {0, 2, 2}}},
      {{5, 5, 5, 5}, {0, 1, 2, 3}, {{5, 0, 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.ids[0] << " " << c.ids[1] << " " << c.ids[2] << " " << c.ids[3]);
    CPointer<CUvwMap> channel;
    CPointer<CTriMeshData> mesh = FourTriangles(c.ids, channel);
    ASSERT_EQ(mesh->SortByMaterial(), kOk);
    std::vector<u32> corners, sortedIds, smooth;
    for (u32 t : c.order) {
      corners.insert(corners.end(), {t, t, t});
      sortedIds.push_back(c.ids[t]);
      smooth.push_back(1u << t);
    }
    EXPECT_EQ(Values(mesh->GetTriangleMtlID()), sortedIds);
    EXPECT_EQ(mesh->GetAttributeRanges(), c.ranges);
    for (const CBuffer<u32>* buffer : {&mesh->GetXYZTriIndex(), &mesh->GetNormalTriIndex(),
                                       &mesh->GetVertexTriIndex(), &channel->GetUvwMapData()->GetUVWTriIndex()}) {
      EXPECT_EQ(Values(*buffer), corners);
    }
    EXPECT_EQ(Values(mesh->GetSmooth()), smooth);
  }
}

TEST(MeshBuildersTest, ChannelsSharingIndexDataAreReorderedOnce) {
  CPointer<CUvwMap> channel;
  CPointer<CTriMeshData> mesh = FourTriangles({2, 0, 2, 1}, channel);
  CPointer<CUvwMap> twin;
  ASSERT_EQ(CUvwMap::Create(twin), kOk);
  twin->SetUvwMapData(channel->GetUvwMapData());
  ASSERT_EQ(mesh->AddUvwMap(twin.Get()), kOk);
  ASSERT_EQ(mesh->SortByMaterial(), kOk);
  EXPECT_EQ(Values(channel->GetUvwMapData()->GetUVWTriIndex()), Values(mesh->GetXYZTriIndex()));
}

TEST(MeshBuildersTest, SortByMaterialRefusesBeforeChangingAnything) {
  struct Case {
    const char* what;
    void (*change)(CTriMeshData&);
  };
  const Case cases[] = {
      {"no material ids", [](CTriMeshData& m) { m.GetTriangleMtlID().Free(); }},
      {"no normal corners", [](CTriMeshData& m) { m.GetNormalTriIndex().Free(); }},
      {"no vertex corners", [](CTriMeshData& m) { m.GetVertexTriIndex().Free(); }},
      {"short smoothing groups", [](CTriMeshData& m) { m.GetSmooth().Create(3); }},
      {"short channel corners", [](CTriMeshData& m) { m.GetUvwChannel(0)->GetUvwMapData()->AllocateUvwTriIndex(3); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CUvwMap> channel;
    CPointer<CTriMeshData> mesh = FourTriangles({2, 0, 2, 1}, channel);
    c.change(*mesh);
    const std::string before = test::Members(mesh.Get()) + test::Members(channel->GetUvwMapData());
    EXPECT_EQ(mesh->SortByMaterial(), kErrInvalidArg);
    EXPECT_EQ(test::Members(mesh.Get()) + test::Members(channel->GetUvwMapData()), before);
  }
}

TEST(MeshBuildersTest, PermuteTrianglesChecksItsArguments) {
  CPointer<CUvwMap> channel;
  CPointer<CTriMeshData> mesh = FourTriangles({0, 0, 0, 0}, channel);
  CBuffer<u32> empty;
  CBuffer<u32> shortBuffer;
  ASSERT_EQ(shortBuffer.Create(6), kOk);
  struct Case {
    const char* what;
    CBuffer<u32>* buffer;
    std::vector<u32> order;
    Result expected;
  };
  const Case cases[] = {
      {"empty buffer", &empty, {0, 1, 2, 3}, kErrInvalidArg},
      {"empty order", &mesh->GetXYZTriIndex(), {}, kErrInvalidArg},
      {"short buffer", &shortBuffer, {0, 1, 2, 3}, kErrInvalidArg},
      {"short order", &mesh->GetXYZTriIndex(), {0, 1}, kErrInvalidArg},
      {"entry past the triangles", &mesh->GetXYZTriIndex(), {0, 1, 2, 4}, kErrInvalidArg},
      {"reversed", &mesh->GetXYZTriIndex(), {3, 2, 1, 0}, kOk},
  };
  for (const Case& c : cases) EXPECT_EQ(mesh->PermuteTriangles(*c.buffer, c.order), c.expected) << c.what;
  EXPECT_EQ(Values(mesh->GetXYZTriIndex()), (std::vector<u32>{3, 3, 3, 2, 2, 2, 1, 1, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace KT
