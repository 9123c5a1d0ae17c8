// Triangle meshes: the per-frame update with deformers, world normals, ray
// queries, level choice, the objects kept per level, copies, the record of
// every version and the old class names.
#include "scene/tri_mesh.h"
#include "objectmodel/test_class_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "controllers/core/control.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_box.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"
#include "scene/tri_mesh_data.h"
#include "scene/update_driver.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

constexpr std::size_t kFirstRecordOffset = 40;

class TriMeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
    CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
    CClassFactory::Register("CKeyframeControl", &CreateObject<CKeyframeControl>);
    // As the library's registration does, after the current names.
    RegisterOldClassNames();
    test::UseTestIds(0);
  }
};

void ExpectNear(const Vec& a, const Vec& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
  EXPECT_NEAR(a.z, b.z, 1e-5f);
}

// A square of side `size` in the z = 0 plane facing +z, through the
// builders as the exporter uses them: positions (0,0,0), (s,0,0), (s,s,0),
// (0,s,0), triangles (0,1,2) and (0,2,3), one normal per position,
// materials 0 and 1, and (when asked) one UV channel.
CPointer<CTriMeshData> Square(const char16_t* name, f32 size = 1, bool withUv = false) {
  CPointer<CTriMeshData> data;
  EXPECT_EQ(CTriMeshData::Create(data), kOk);
  data->SetName(name);
  EXPECT_EQ(data->AllocateXYZ(4), kOk);
  const Vec corners[4] = {{0, 0, 0}, {size, 0, 0}, {size, size, 0}, {0, size, 0}};
  std::copy(corners, corners + 4, data->GetXYZ().begin());
  EXPECT_EQ(data->AllocateNormal(4), kOk);
  EXPECT_EQ(data->SetTriangleQuantity(2), kOk);
  const u32 corners3[6] = {0, 1, 2, 0, 2, 3};
  std::copy(corners3, corners3 + 6, data->GetXYZTriIndex().begin());
  std::copy(corners3, corners3 + 6, data->GetNormalTriIndex().begin());
  EXPECT_EQ(data->AllocateTriangleMtlID(), kOk);
  data->GetTriangleMtlID()[1] = 1;
  EXPECT_EQ(data->CompactNormalIndices(), kOk);
  EXPECT_EQ(data->ComputeVertexNormals(), kOk);
  if (withUv) {
    CPointer<CUvwMap> map;
    EXPECT_EQ(CUvwMap::Create(map), kOk);
    map->SetName(u"uv");
    EXPECT_EQ(map->AllocateUvw(4), kOk);
    const Vec uvw[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    std::copy(uvw, uvw + 4, map->GetUVW().begin());
    CPointer<CUvwMapData> uvData;
    EXPECT_EQ(CUvwMapData::Create(uvData), kOk);
    EXPECT_EQ(uvData->AllocateUvwTriIndex(2), kOk);
    std::copy(corners3, corners3 + 6, uvData->GetUVWTriIndex().begin());
    map->SetUvwMapData(uvData.Get());
    EXPECT_EQ(data->AddUvwMap(map.Get()), kOk);
  }
  EXPECT_EQ(data->BuildVertexTriIndex(), kOk);
  EXPECT_EQ(data->SortByMaterial(), kOk);
  data->UpdateBoundingBox();
  return data;
}

// One triangle (0,0,0), (1,0,0), (0,1,0) with one normal.
CPointer<CTriMeshData> Triangle(const char16_t* name) {
  CPointer<CTriMeshData> data;
  EXPECT_EQ(CTriMeshData::Create(data), kOk);
  data->SetName(name);
  EXPECT_EQ(data->AllocateXYZ(3), kOk);
  data->GetXYZ()[1] = {1, 0, 0};
  data->GetXYZ()[2] = {0, 1, 0};
  EXPECT_EQ(data->AllocateNormal(1), kOk);
  EXPECT_EQ(data->SetTriangleQuantity(1), kOk);
  data->GetXYZTriIndex()[1] = 1;
  data->GetXYZTriIndex()[2] = 2;
  EXPECT_EQ(data->ComputeVertexNormals(), kOk);
  EXPECT_EQ(data->BuildVertexTriIndex(), kOk);
  data->UpdateBoundingBox();
  return data;
}

CPointer<CTriMesh> Mesh(const char16_t* name = u"mesh") {
  CPointer<CTriMesh> mesh;
  EXPECT_EQ(CTriMesh::Create(mesh), kOk);
  mesh->SetName(name);
  return mesh;
}

// A mesh with the square as level 0 and the triangle as level 1.
CPointer<CTriMesh> TwoLevelMesh(bool withUv = false) {
  CPointer<CTriMesh> mesh = Mesh();
  EXPECT_EQ(mesh->SetLods({Square(u"square", 1, withUv), Triangle(u"triangle")}), kOk);
  EXPECT_EQ(mesh->AllocateWorldXYZ(4), kOk);
  EXPECT_EQ(mesh->AllocateWorldNormal(4), kOk);
  return mesh;
}

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

// 90 degrees about z (x goes to y), then a move by (10, 0, 0).
CRtsTransform TurnAndMove() {
  CRtsTransform t = kIdentityTransform;
  t.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi);
  t.Translate = {10, 0, 0};
  return t;
}

CPointer<CKeyframeControl> KeyedAt(const CRtsTransform& transform) {
  CPointer<CKeyframeControl> control(new CKeyframeControl());
  EXPECT_EQ(control->AddRtsKey(0, 30.0f, transform), kOk);
  return control;
}

// A deforming data controller in the manner of the morph and skin
// controllers: its transform update marks the geometry deformed; its apply
// lifts every position to z = x (the plane z = x) and asks for new normals,
// or, like skinning, also writes world positions itself.
class CTestDeformer : public CControl {
  KT_TEST_CLASS(CTestDeformer, CControl, 1, 0)

 public:
  CTestDeformer() = default;
  CTestDeformer(const CTestDeformer& other) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return 1000; }
  Result UpdateTransform(i32) override {
    if (auto* geometry = DynamicCast<CGeometry>(GetObject())) geometry->SetHasDeformedWorldXYZ(true);
    return kOk;
  }
  Result ApplyTransform() override { return kDone; }
  bool IsDataControl() const override { return true; }
  Result Update(i32) override { return kOk; }
  Result Apply() override {
    auto* geometry = DynamicCast<CGeometry>(GetObject());
    if (geometry == nullptr) return kErrInvalidArg;
    ++applied;
    if (!deform) return kOk;
    for (Vec& p : geometry->GetWorldXYZ()) p.z = p.x;
    if (writesWorld) {
      for (Vec& p : geometry->GetWorldXYZ()) Vec3TransformCoord(p, p, geometry->GetWorldMatrix());
      geometry->SetWorldXYZReady(true);
    }
    geometry->SetRecomputeNormals(true);
    return kOk;
  }

  bool deform = true;
  bool writesWorld = false;
  int applied = 0;
};

// A rotated and moved node holding the two-level mesh, which follows the
// node through an identity key.
struct Scene {
  CPointer<CNode> root{new CNode()};
  CPointer<CTriMesh> mesh;
  explicit Scene(CPointer<CTriMesh> m) : mesh(std::move(m)) {
    root->SetName(u"turned");
    EXPECT_EQ(root->AddControl(KeyedAt(TurnAndMove()).Get()), kOk);
    EXPECT_EQ(mesh->AddControl(KeyedAt(kIdentityTransform).Get()), kOk);
    EXPECT_EQ(root->AddChild(mesh.Get()), kOk);
  }
  Result UpdateAt(i32 time) { return root->UpdateScene(time, 0, 0.0f, true, nullptr, false); }
};

// The square's corners after the turn and the move.
const Vec kTurnedSquare[4] = {{10, 0, 0}, {10, 1, 0}, {9, 1, 0}, {9, 0, 0}};

// --- class, defaults, names ------------------------------------------------------------------

TEST_F(TriMeshTest, DefaultsAndClassRecord) {
  CPointer<CTriMesh> mesh = Mesh();
  EXPECT_STREQ(mesh->GetClassRecord().name, "CTriMesh");
  EXPECT_EQ(mesh->GetVersion(), 205u);
  EXPECT_EQ(mesh->GetLodParam0().Threshold, 0.3f);
  EXPECT_EQ(mesh->GetLodParam0().PopBias, 0.05f);
  EXPECT_EQ(mesh->GetLodParam1().Threshold, 0.1f);
  EXPECT_EQ(mesh->GetLodParam1().PopBias, 0.025f);
  EXPECT_FALSE(mesh->GetShowEdge());
  EXPECT_FALSE(mesh->GetShowNormal());
  EXPECT_TRUE(mesh->GetLodObjects().empty());
  EXPECT_EQ(mesh->GetMinUpdateDepth(), 1048576);
}

// --- level operations and the lists kept per level -------------------------------------------

TEST_F(TriMeshTest, LevelOperationsKeepOneObjectListPerLevel) {
  CPointer<CTriMesh> mesh = Mesh();
  ASSERT_EQ(mesh->SetSingleLod(Square(u"a").Get()), kOk);
  EXPECT_EQ(mesh->GetLodObjects().size(), 1u);
  CPointer<CBoundingBox> box(new CBoundingBox());
  ASSERT_EQ(mesh->AddLodObject(0, box.Get()), kOk);
  EXPECT_EQ(mesh->AddLodObject(1, box.Get()), kErrOutOfRange);
  EXPECT_EQ(mesh->AddLodObject(0, nullptr), kErrInvalidArg);

  ASSERT_EQ(mesh->SetLods({Square(u"a"), Square(u"b"), Triangle(u"c")}), kOk);
  ASSERT_EQ(mesh->GetLodObjects().size(), 3u);
  EXPECT_TRUE(mesh->GetLodObjects()[0].empty());  // the former lists are dropped
  ASSERT_EQ(mesh->AddLod(Triangle(u"d").Get()), kOk);
  EXPECT_EQ(mesh->GetLodObjects().size(), 4u);
  EXPECT_EQ(mesh->AddLod(Square(u"too many").Get()), kErrLodOrder);
  EXPECT_EQ(mesh->GetLodObjects().size(), 4u);
  EXPECT_EQ(mesh->SetLods({Triangle(u"x"), Square(u"y")}), kErrLodOrder);
  EXPECT_EQ(mesh->GetLodCount(), 4u);
  // Replacing data that is not a level answers success and changes nothing.
  EXPECT_EQ(mesh->ReplaceLod(Square(u"stranger").Get(), Square(u"e").Get()), kOk);
  EXPECT_EQ(mesh->SetLod(3, Square(u"f").Get()), kErrLodOrder);
  EXPECT_EQ(mesh->GetLodObjects().size(), 4u);
}

// --- per-frame update --------------------------------------------------------------------------

TEST_F(TriMeshTest, UpdateCopiesTheLevelInUseAndMovesItToWorldSpace) {
  CPointer<CTriMesh> mesh = TwoLevelMesh();
  mesh->SetWorld(CMatrix3(), CMatrix3(), Translation(0, 0, 3));
  mesh->SetRecomputeNormals(false);
  ASSERT_EQ(mesh->Update(0), kOk);
  ASSERT_EQ(mesh->GetWorldXYZ().GetCount(), 4u);
  EXPECT_EQ(mesh->GetWorldXYZ()[2], Vec(1, 1, 3));
  EXPECT_TRUE(mesh->IsWorldXYZReady());
  EXPECT_TRUE(mesh->IsWorldNormalReady());
  // Without RecomputeNormals the level's normals stand as copied.
  EXPECT_EQ(mesh->GetWorldNormal()[0], Vec(0, 0, 1));

  // The world buffers take the size of the level in use; a level past the
  // last is the last.
  for (u32 lod : {1u, 7u}) {
    SCOPED_TRACE(lod);
    mesh->SetCurrentLod(lod);
    ASSERT_EQ(mesh->Update(0), kOk);
    ASSERT_EQ(mesh->GetWorldXYZ().GetCount(), 3u);
    EXPECT_EQ(mesh->GetWorldXYZ()[1], Vec(1, 0, 3));
    EXPECT_EQ(mesh->GetWorldNormal().GetCount(), 1u);
  }
}

TEST_F(TriMeshTest, MeshWithoutALevelUpdatesWithNothingDone) {
  struct Row {
    const char* what;
    CPointer<CTriMesh> mesh;
  };
  CPointer<CTriMesh> emptyLevel = Mesh();
  ASSERT_EQ(emptyLevel->AllocateWorldXYZ(2), kOk);
  const Row rows[] = {{"factory default", Mesh()}, {"world buffers but no level", emptyLevel}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.mesh->Update(0), kDone);
    EXPECT_EQ(row.mesh->UpdateWorldBound(), kOk);
    EXPECT_TRUE(row.mesh->GetWorldBound().IsEmpty());
    u32 triangle = 0;
    f32 distance = 0;
    Vec point;
    Vec normal;
    EXPECT_FALSE(row.mesh->IntersectRay({0, 0, 1}, {0, 0, -1}, true, triangle, distance, point, normal, false));
    EXPECT_EQ(distance, std::numeric_limits<f32>::max());
  }
}

TEST_F(TriMeshTest, TwoLevelMeshUnderATurnedNodeSavesLoadsAndUpdatesInWorldSpace) {
  Scene scene(TwoLevelMesh(true));
  CPointer<CBoundingBox> kept(new CBoundingBox());
  kept->SetName(u"kept with level 1");
  ASSERT_EQ(scene.mesh->AddLodObject(1, kept.Get()), kOk);
  scene.mesh->SetLodParam1({0.5f, 0.25f});
  const Bytes first = test::SaveRoots({scene.root.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), kFirstRecordOffset + test::LoadedRecordBytes(stream));
  CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  CTriMesh* mesh = DynamicCast<CTriMesh>(root->GetChild(0).Get());
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(test::Members(mesh), test::Members(scene.mesh.Get()));
  ASSERT_EQ(mesh->GetLodCount(), 2u);
  for (u32 i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(mesh->GetTriMeshLod(i), nullptr);
    EXPECT_TRUE(mesh->GetTriMeshLod(i)->IsEqual(scene.mesh->GetLod(i)));
    EXPECT_EQ(test::Members(mesh->GetLod(i)), test::Members(scene.mesh->GetLod(i)));
  }
  ASSERT_EQ(mesh->GetTriMeshLod(0)->GetUvwMapCount(), 1u);
  EXPECT_EQ(mesh->GetTriMeshLod(0)->GetUvwChannel(0)->GetName(), u"uv");
  ASSERT_EQ(mesh->GetLodObjects().size(), 2u);
  ASSERT_EQ(mesh->GetLodObjects()[1].size(), 1u);
  EXPECT_EQ(mesh->GetLodObjects()[1][0]->GetName(), u"kept with level 1");
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  // Brought to a time, the loaded mesh holds its positions in world space.
  ASSERT_EQ(root->UpdateScene(40, 0, 0.0f, true, nullptr, false), kOk);
  ASSERT_EQ(mesh->GetWorldXYZ().GetCount(), 4u);
  for (u32 i = 0; i < 4; ++i) ExpectNear(mesh->GetWorldXYZ()[i], kTurnedSquare[i]);
  // The first update rebuilt the normals from the world positions.
  ExpectNear(mesh->GetWorldNormal()[0], {0, 0, 1});
  EXPECT_FALSE(mesh->GetRecomputeNormals());
  EXPECT_NEAR(mesh->GetWorldBound().Min.x, 9, 1e-5f);
  EXPECT_NEAR(mesh->GetWorldBound().Max.y, 1, 1e-5f);
}

TEST_F(TriMeshTest, DeformersDecideWhatTheMeshRecomputes) {
  // Positions lifted to z = x make the normal (-1, 0, 1) / sqrt 2 locally,
  // (0, -1, 1) / sqrt 2 after the turn.
  const f32 h = std::sqrt(0.5f);
  struct Row {
    const char* what;
    bool deform;
    bool writesWorld;
    Vec normal;
  };
  const Row rows[] = {
      {"deformer asks for normals", true, false, {0, -h, h}},
      {"skin-like deformer writes world positions", true, true, {0, -h, h}},
      {"no deformation: the level's normals as copied", false, false, {0, 0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scene scene(TwoLevelMesh());
    CPointer<CTestDeformer> deformer(new CTestDeformer());
    ASSERT_EQ(scene.mesh->AddControl(deformer.Get()), kOk);
    // A first frame uses up the initial RecomputeNormals.
    deformer->deform = false;
    ASSERT_EQ(scene.UpdateAt(0), kOk);
    EXPECT_FALSE(scene.mesh->GetRecomputeNormals());
    deformer->deform = row.deform;
    deformer->writesWorld = row.writesWorld;
    ASSERT_EQ(scene.UpdateAt(40), kOk);
    EXPECT_EQ(deformer->applied, 2);
    EXPECT_TRUE(scene.mesh->HasDeformedWorldXYZ());
    const CBuffer<Vec>& world = scene.mesh->GetWorldXYZ();
    ASSERT_EQ(world.GetCount(), 4u);
    for (u32 i = 0; i < 4; ++i) {
      // Moved to world space exactly once, whoever did it.
      const Vec expected = row.deform ? kTurnedSquare[i] + Vec(0, 0, i == 1 || i == 2 ? 1.0f : 0.0f) : kTurnedSquare[i];
      ExpectNear(world[i], expected);
    }
    for (const Vec& n : scene.mesh->GetWorldNormal()) ExpectNear(n, row.normal);
    EXPECT_FALSE(scene.mesh->GetRecomputeNormals());
  }
}

TEST_F(TriMeshTest, WorldNormalsSkipTrianglesWithIndicesPastTheBuffers) {
  struct Row {
    const char* what;
    bool normalIndex;  // corrupt NormalTriIndex, else XYZTriIndex
    u32 value;
  };
  const Row rows[] = {{"normal index", true, 4}, {"position index", false, 0x7FFFFFFF}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CTriMesh> mesh = TwoLevelMesh();
    CTriMeshData* level = mesh->GetTriMeshLod(0);
    // Triangle 1 of the sorted square holds corners 0, 2, 3.
    (row.normalIndex ? level->GetNormalTriIndex() : level->GetXYZTriIndex())[4] = row.value;
    ASSERT_EQ(mesh->Update(0), kOk);
    // Only triangle 0 (corners 0, 1, 2) contributes.
    ExpectNear(mesh->GetWorldNormal()[1], {0, 0, 1});
    EXPECT_EQ(mesh->GetWorldNormal()[3], Vec());
    u32 triangle = 9;
    f32 distance = 0;
    Vec point;
    Vec normal;
    const bool hit = mesh->IntersectRay({0.1f, 0.8f, 1}, {0, 0, -1}, false, triangle, distance, point, normal, true);
    // The ray crosses triangle 1, which is skipped only when its position
    // index is broken.
    EXPECT_EQ(hit, row.normalIndex);
  }
}

// What the library saves it loads back: a level whose triangle 1 names a
// position past the positions saves, loads and evaluates; every reader
// skips that triangle and the other evaluates as before.
TEST_F(TriMeshTest, AMeshWithATrianglePastItsPositionsSavesLoadsAndSkipsIt) {
  Scene scene(TwoLevelMesh());
  // Triangle 1 of the sorted square holds corners 0, 2, 3.
  scene.mesh->GetTriMeshLod(0)->GetXYZTriIndex()[4] = 7;
  const Bytes first = test::SaveRoots({scene.root.Get()});
  ASSERT_FALSE(first.empty());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  CTriMesh* mesh = DynamicCast<CTriMesh>(root->GetChild(0).Get());
  ASSERT_NE(mesh, nullptr);
  CTriMeshData* level = mesh->GetTriMeshLod(0);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(level->GetXYZTriIndex()[4], 7u);

  ASSERT_EQ(root->UpdateScene(40, 0, 0.0f, true, nullptr, false), kOk);
  // Positions move per vertex, all four of them.
  for (u32 i = 0; i < 4; ++i) ExpectNear(mesh->GetWorldXYZ()[i], kTurnedSquare[i]);
  // Normals come from triangle 0 alone: normal 3 is used by no other.
  for (u32 i = 0; i < 3; ++i) ExpectNear(mesh->GetWorldNormal()[i], {0, 0, 1});
  EXPECT_EQ(mesh->GetWorldNormal()[3], Vec());
  // The ray through triangle 1 misses; the one through triangle 0 hits.
  u32 triangle = 9;
  f32 distance = 0;
  Vec point;
  Vec normal;
  EXPECT_FALSE(mesh->IntersectRay({0.1f, 0.8f, 1}, {0, 0, -1}, false, triangle, distance, point, normal, true));
  EXPECT_TRUE(mesh->IntersectRay({0.8f, 0.1f, 1}, {0, 0, -1}, false, triangle, distance, point, normal, true));
  EXPECT_EQ(triangle, 0u);
  // The builders skip it too, and what they leave saves and loads again.
  EXPECT_EQ(level->ComputeVertexNormals(), kOk);
  ASSERT_EQ(level->BuildVertexTriIndex(), kOk);
  for (u32 c = 3; c < 6; ++c) EXPECT_EQ(level->GetVertexTriIndex()[c], CTriMeshData::kNoVertex);
  EXPECT_EQ(level->GetVertexMapCount(), 3u);
  ASSERT_EQ(level->SortByMaterial(), kOk);
  const Bytes again = test::SaveLoaded(stream);
  CStream reloaded;
  CMemoryIo reloadedDevice;
  EXPECT_EQ(test::LoadScene(again, reloaded, reloadedDevice), kOk);
}

TEST_F(TriMeshTest, UpdateWorldNormalsAnswersDoneWhenThereIsNothingToDo) {
  CPointer<CTriMesh> mesh = Mesh();
  EXPECT_EQ(mesh->UpdateWorldNormals(), kDone);  // no WorldNormal
  mesh = TwoLevelMesh();
  mesh->SetWorldNormalReady(true);
  EXPECT_EQ(mesh->UpdateWorldNormals(), kDone);
  mesh->SetWorldNormalReady(false);
  EXPECT_EQ(mesh->UpdateWorldNormals(), kOk);
  EXPECT_TRUE(mesh->IsWorldXYZReady());  // moved to world space first
}

// --- ray queries and view -----------------------------------------------------------------------

TEST_F(TriMeshTest, IntersectRayHitsTheNearestTriangleOfLevelZero) {
  CPointer<CTriMesh> mesh = Mesh();
  // Level 0: the square at z = 0 and a copy raised to z = 2 (both facing +z).
  CPointer<CTriMeshData> level = Square(u"stack");
  CPointer<CTriMeshData> stacked;
  ASSERT_EQ(CTriMeshData::Create(stacked), kOk);
  ASSERT_EQ(stacked->AllocateXYZ(6), kOk);
  const Vec p[6] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}, {1, 0, 2}, {0, 1, 2}};
  std::copy(p, p + 6, stacked->GetXYZ().begin());
  ASSERT_EQ(stacked->SetTriangleQuantity(3), kOk);
  const u32 corners[9] = {0, 1, 2, 3, 4, 5, 3, 4, 5};
  std::copy(corners, corners + 9, stacked->GetXYZTriIndex().begin());
  ASSERT_EQ(mesh->SetLods({stacked, Square(u"smaller")}), kOk);
  mesh->SetWorld(CMatrix3(), CMatrix3(), Translation(0, 0, 10));
  mesh->SetCurrentLod(1);  // the query uses level 0 all the same
  ASSERT_EQ(mesh->AllocateWorldXYZ(6), kOk);
  for (u32 i = 0; i < 6; ++i) mesh->GetWorldXYZ()[i] = p[i] + Vec(0, 0, 10);

  struct Row {
    const char* what;
    bool useLocal;
    Vec origin;
    bool hit;
    u32 triangle;
    f32 distance;
  };
  const Row rows[] = {
      {"local positions", true, {0.2f, 0.2f, 5}, true, 1, 3},
      {"world positions", false, {0.2f, 0.2f, 15}, true, 1, 3},
      {"local ray against world positions", false, {0.2f, 0.2f, 5}, false, 0, 0},
      {"beside the triangles", true, {2, 2, 5}, false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    u32 triangle = 99;
    f32 distance = 0;
    Vec point;
    Vec normal;
    EXPECT_EQ(mesh->IntersectRay(row.origin, {0, 0, -1}, false, triangle, distance, point, normal, row.useLocal),
              row.hit);
    if (!row.hit) continue;
    EXPECT_EQ(triangle, row.triangle);  // the earlier of the two equal triangles
    EXPECT_FLOAT_EQ(distance, row.distance);
    EXPECT_EQ(normal, Vec(0, 0, 1));
  }
}

class FixedView : public CUpdateView {
 public:
  explicit FixedView(u32 lod) : lod_(lod) {}
  Result Prepare(i32) override { return kOk; }
  u32 ChooseLod(const CSpatial*) const override { return lod_; }

 private:
  u32 lod_;
};

TEST_F(TriMeshTest, ViewChoosesTheLevelWithinTheLevelCount) {
  CPointer<CTriMesh> mesh = Mesh();
  ASSERT_EQ(mesh->SetLods({Square(u"a"), Square(u"b"), Triangle(u"c")}), kOk);
  const FixedView seven(7);
  EXPECT_EQ(mesh->UpdateForView(nullptr), kDone);
  EXPECT_EQ(mesh->UpdateForView(&seven), kOk);
  EXPECT_EQ(mesh->GetCurrentLod(), 2u);
  const FixedView one(1);
  EXPECT_EQ(mesh->UpdateForView(&one), kOk);
  EXPECT_EQ(mesh->GetCurrentLod(), 1u);

  CPointer<CTriMesh> single = Mesh();
  ASSERT_EQ(single->SetSingleLod(Square(u"only").Get()), kOk);
  EXPECT_EQ(single->UpdateForView(&seven), kDone);
  EXPECT_EQ(single->GetCurrentLod(), 0u);
}

TEST_F(TriMeshTest, MeshUpdatesEveryFrameAndCollectsItsLevelObjects) {
  CPointer<CTriMesh> mesh = TwoLevelMesh();
  std::vector<CDorun*> animated;
  ASSERT_EQ(mesh->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, std::vector<CDorun*>{mesh.Get()});
  ASSERT_EQ(mesh->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated.size(), 1u);

  CPointer<CBoundingBox> box(new CBoundingBox());
  box->SetName(u"extra");
  ASSERT_EQ(mesh->AddLodObject(1, box.Get()), kOk);
  EXPECT_EQ(mesh->Find(u"extra", nullptr, false, false), box.Get());
  EXPECT_TRUE(mesh->HasSubObjects());
  std::vector<CBase*> found;
  mesh->Collect(found, u"extra", nullptr, false, false);
  EXPECT_EQ(found, std::vector<CBase*>{box.Get()});
  EXPECT_EQ(mesh->ResolveReferences(nullptr), kErrInvalidArg);
}

// --- copies -----------------------------------------------------------------------------------------

TEST_F(TriMeshTest, CloneAndCopyToCarryParametersAndLevelObjects) {
  CPointer<CTriMesh> mesh = TwoLevelMesh();
  CPointer<CBoundingBox> box(new CBoundingBox());
  ASSERT_EQ(mesh->AddLodObject(0, box.Get()), kOk);
  mesh->SetLodParam0({1, 2});
  mesh->SetShowEdge(true);

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(mesh->Clone(out, map, 0), kOk);
  CTriMesh* clone = DynamicCast<CTriMesh>(out.Get());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(test::Members(clone), test::Members(mesh.Get()));
  ASSERT_EQ(clone->GetLodObjects().size(), 2u);
  ASSERT_EQ(clone->GetLodObjects()[0].size(), 1u);
  EXPECT_NE(clone->GetLodObjects()[0][0].Get(), box.Get());
  EXPECT_NE(clone->GetLod(0), mesh->GetLod(0));

  CPointer<CTriMesh> target = Mesh(u"target");
  target->SetShowNormal(true);
  ASSERT_EQ(target->SetSingleLod(Triangle(u"old").Get()), kOk);
  CPointer<CBoundingBox> former(new CBoundingBox());
  ASSERT_EQ(target->AddLodObject(0, former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(mesh->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetLodParam0().PopBias, 2.0f);
  EXPECT_FALSE(target->GetShowEdge());  // display flags stay the target's
  EXPECT_TRUE(target->GetShowNormal());
  EXPECT_EQ(target->GetLods(), mesh->GetLods());
  ASSERT_EQ(target->GetLodObjects().size(), 2u);
  EXPECT_EQ(target->GetLodObjects()[0][0].Get(), box.Get());
  const auto isFormer = [&](const CPointer<CBase>& o) { return o.Get() == former.Get(); };
  EXPECT_NE(std::find_if(displaced.begin(), displaced.end(), isFormer), displaced.end());

  CPointer<CGeometry> geometry(new CGeometry());
  const std::string before = test::Members(geometry.Get());
  EXPECT_EQ(mesh->CopyTo(geometry.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(geometry.Get()), before);
}

// --- byte images of every stored version -------------------------------------------------------------

// Level 0 of old records: the square's four positions, four normals (1, 0,
// 0) that records up to 2.01 rebuild, and one unified vertex per position.
ByteWriter& OldSquareBlock(ByteWriter& w) {
  w.U32(4);
  for (f32 v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 0.f, 1.f, 0.f}) w.F32(v);
  w.U32(0);
  w.U32(4).U32(1);
  for (int i = 0; i < 4; ++i) w.F32(1).F32(0).F32(0);
  w.U32(0).U32(0);
  w.U32(4).U32(1).U32(0).U32(1).U32(2).U32(3);
  w.U32(1).U32(0).U32(1).U32(2).U32(3);
  return w.U32(0);
}

const u32 kCorners[6] = {0, 1, 2, 0, 2, 3};

// The triangles of the square as a present block of 3n (or n) values.
ByteWriter& Present(ByteWriter& w, const std::vector<u32>& values) {
  w.U32(1);
  for (u32 v : values) w.U32(v);
  return w;
}

struct MeshImage {
  u32 version = 205;      // of the CTriMesh part (major x 100 + minor)
  u32 geometryMinor = 4;  // CGeometry 2.geometryMinor: below 2 the level is inline
  std::vector<u32> channelValues;  // below 2.00: the stored values
  std::vector<u64> channels;       // 2.00 on
  std::vector<u32> vertexTriIndex = {0, 1, 2, 0, 2, 3};
  u32 tangentPresent = 0;          // 2.02
  u32 tangentRecords = 4;
};

// An image of a `version` mesh over a CGeometry part 2.`geometryMinor`,
// with the stored channel ids (from 2.00 on) and the 2.02 tangent presence
// word.
MeshImage Image(u32 version, u32 geometryMinor, std::vector<u64> channels = {}, u32 tangentPresent = 0) {
  MeshImage image;
  image.version = version;
  image.geometryMinor = geometryMinor;
  image.channels = std::move(channels);
  image.tangentPresent = tangentPresent;
  return image;
}
MeshImage WithChannelValues(MeshImage image, std::vector<u32> values) {
  image.channelValues = std::move(values);
  return image;
}
MeshImage WithVertices(MeshImage image, std::vector<u32> vertexTriIndex, u32 tangentRecords = 4) {
  image.vertexTriIndex = std::move(vertexTriIndex);
  image.tangentRecords = tangentRecords;
  return image;
}

// The mesh record; `meshPartAt` receives the offset of the mesh part's
// version pair.
ByteWriter MeshBody(const MeshImage& image, std::size_t* meshPartAt = nullptr) {
  ByteWriter w;
  test::ObjectHead(w, 0x10, u"mesh");
  test::SpatialPart206(w).Pair(2, image.geometryMinor);
  if (image.geometryMinor < 2) OldSquareBlock(w);
  w.U64(0);  // SharedObject
  if (image.geometryMinor == 2) w.U64(0x20);
  if (image.geometryMinor >= 3) w.U32(1).U64(0x20);
  w.U8(0);
  if (image.geometryMinor >= 4) w.U8(0).U32(0);
  if (meshPartAt != nullptr) *meshPartAt = w.Size();
  w.Pair(image.version / 100, image.version % 100);
  if (image.version < 203) {
    w.U32(2);
    Present(w, {kCorners, kCorners + 6});
    Present(w, {kCorners, kCorners + 6});
    w.U32(0);
    Present(w, image.vertexTriIndex);
    Present(w, {0, 1});
    Present(w, {1, 1});
    if (image.version < 200) {
      w.U32(static_cast<u32>(image.channelValues.size()));
      for (u32 v : image.channelValues) w.U32(v);
    } else {
      w.U32(static_cast<u32>(image.channels.size()));
      for (u64 id : image.channels) {
        if (image.version == 200) {
          w.U32(static_cast<u32>(id));
        } else {
          w.U64(id);
        }
      }
    }
    if (image.version == 202) {
      w.U32(image.tangentPresent);
      if (image.tangentPresent != 0) {
        for (u32 v = 0; v < image.tangentRecords; ++v) w.U32(3).U32(2).U32(1).U32(0xAA).U32(0xBB).U32(0xCC);
      }
    }
    w.U32(2).U32(0).U32(0).U32(1).U32(1).U32(1).U32(1);
  }
  if (image.version >= 204) w.F32(0.5f).F32(0.25f).F32(0.125f).F32(0.0625f);
  if (image.version >= 205) w.U32(1).U32(0);
  return w;
}

ByteWriter UvMapBody(u64 id, const std::u16string& name) {
  ByteWriter w;
  test::ObjectHead(w, id, name).Pair(2, 1).U32(4);
  for (f32 v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 0.f, 1.f, 0.f}) w.F32(v);
  return w.U64(0);
}

// The current level record: the old square with its triangles.
ByteWriter TriMeshDataBody() {
  ByteWriter w;
  test::ObjectHead(w, 0x20, u"stored");
  OldSquareBlock(w.Pair(1, 0));
  w.Pair(1, 0).U32(2);
  Present(w, {kCorners, kCorners + 6});
  Present(w, {kCorners, kCorners + 6});
  w.U32(0);
  Present(w, {kCorners, kCorners + 6});
  Present(w, {0, 1});
  Present(w, {1, 1});
  w.U32(1).U64(0x60);
  w.U32(1);
  for (u32 v = 0; v < 4; ++v) w.U32(0).U32(2).U32(3);
  return w.U32(2).U32(0).U32(0).U32(1).U32(1).U32(1).U32(1);
}

// The file: the mesh (named `className`), its level record when the level
// is stored by id, and the maps 0x60, 7 and 9.
Bytes MeshFile(const MeshImage& image, const std::string& className = "CTriMesh") {
  test::SceneFile file;
  file.Record(className, MeshBody(image), true);
  if (image.geometryMinor >= 2) {
    if (image.version >= 203) {
      file.Record("CTriMeshData", TriMeshDataBody());
    } else {
      ByteWriter level;
      test::ObjectHead(level, 0x20, u"old level");
      OldSquareBlock(level.Pair(1, 0));
      file.Record("CGeometryData", level);
    }
  }
  file.Record("CUvwMap", UvMapBody(0x60, u"uv"));
  file.Record("CUvwMap", UvMapBody(7, u"seven"));
  file.Record("CUvwMap", UvMapBody(9, u"nine"));
  return file.Data();
}

std::vector<u32> Values(const CBuffer<u32>& buffer) { return std::vector<u32>(buffer.begin(), buffer.end()); }

std::vector<u32> Tangents(const CTriMeshData& data) {
  std::vector<u32> out;
  for (const CTriMeshData::TangentIndex& t : data.GetTangentIndex()) {
    out.insert(out.end(), {t.IndexA, t.IndexB, t.IndexC});
  }
  return out;
}

TEST_F(TriMeshTest, EveryStoredVersionLoads) {
  const std::vector<u32> built = {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 2, 3};
  const std::vector<u32> stored = {3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1};
  const std::vector<u32> current = {0, 2, 3, 0, 2, 3, 0, 2, 3, 0, 2, 3};
  struct Row {
    const char* what;
    MeshImage image;
    std::vector<std::u16string> channels;
    std::vector<u32> tangents;
    Vec normal;  // of every normal of level 0
    f32 threshold0;
  };
  const Row rows[] = {
      {"1.99: channel values 5, 7, 0, 9", WithChannelValues(Image(199, 1), {5, 7, 0, 9}),
       {u"seven", u"nine"}, built, {0, 0, 1}, 0.3f},
      {"2.00: 4-byte channel ids, level by id", Image(200, 2, {0x60}), {u"uv"},
       built, {0, 0, 1}, 0.3f},
      {"2.01: 8-byte channel ids", Image(201, 2, {0x60}), {u"uv"}, built,
       {0, 0, 1}, 0.3f},
      {"2.02: stored tangents, level by id", Image(202, 2, {0x60}, 1),
       {u"uv"}, stored, {1, 0, 0}, 0.3f},
      {"2.02: stored tangents, inline level", Image(202, 1, {0x60}, 1),
       {u"uv"}, stored, {1, 0, 0}, 0.3f},
      {"2.02: no tangents", Image(202, 2, {0x60}), {u"uv"}, {}, {1, 0, 0}, 0.3f},
      {"2.03: triangles in the level", Image(203, 3), {u"uv"}, current, {1, 0, 0}, 0.3f},
      {"2.04: level-of-detail parameters", Image(204, 4), {u"uv"}, current, {1, 0, 0}, 0.5f},
      {"2.05: level objects", Image(205, 4), {u"uv"}, current, {1, 0, 0}, 0.5f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(MeshFile(row.image), stream, device), kOk);
    CTriMesh* mesh = DynamicCast<CTriMesh>(stream.GetRootObject(0));
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetLodCount(), 1u);
    CTriMeshData* level = mesh->GetTriMeshLod(0);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetTriangleQuantity(), 2u);
    EXPECT_EQ(level->GetXYZ().GetCount(), 4u);
    EXPECT_EQ(level->GetXYZ()[2], Vec(1, 1, 0));
    EXPECT_EQ(level->GetBoundingBox().Max, Vec(1, 1, 0));
    EXPECT_EQ(Values(level->GetXYZTriIndex()), std::vector<u32>(kCorners, kCorners + 6));
    EXPECT_EQ(Values(level->GetVertexTriIndex()), std::vector<u32>(kCorners, kCorners + 6));
    EXPECT_EQ(Values(level->GetTriangleMtlID()), (std::vector<u32>{0, 1}));
    EXPECT_EQ(level->GetAttributeRanges().size(), 2u);
    EXPECT_EQ(Tangents(*level), row.tangents);
    ASSERT_EQ(level->GetNormal().GetCount(), 4u);
    for (const Vec& n : level->GetNormal()) EXPECT_EQ(n, row.normal);
    ASSERT_EQ(level->GetUvwMapCount(), row.channels.size());
    for (u32 i = 0; i < level->GetUvwMapCount(); ++i) {
      ASSERT_NE(level->GetUvwChannel(i), nullptr);
      EXPECT_EQ(level->GetUvwChannel(i)->GetName(), row.channels[i]);
    }
    EXPECT_EQ(mesh->GetLodParam0().Threshold, row.threshold0);
    ASSERT_EQ(mesh->GetLodObjects().size(), 1u);
    EXPECT_TRUE(mesh->GetLodObjects()[0].empty());
    EXPECT_EQ(mesh->GetWorldXYZ().GetCount(), 4u);
    // The loaded mesh saves as a current record that loads back equal, and
    // draws.
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    CTriMesh* copy = DynamicCast<CTriMesh>(reloaded.GetRootObject(0));
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->GetTriMeshLod(0), nullptr);
    EXPECT_TRUE(copy->GetTriMeshLod(0)->IsEqual(level));
    EXPECT_EQ(test::Members(copy), test::Members(mesh));
    EXPECT_EQ(mesh->Update(0), kOk);
  }
}

TEST_F(TriMeshTest, OldClassNamesLoadAsTriMeshAndSaveUnderItsName) {
  for (const char* name : {"CBoneMesh", "CBoneNodeMesh", "CBoneShapeMesh"}) {
    SCOPED_TRACE(name);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(MeshFile(Image(205, 4), name), stream, device), kOk);
    CTriMesh* mesh = DynamicCast<CTriMesh>(stream.GetRootObject(0));
    ASSERT_NE(mesh, nullptr);
    EXPECT_STREQ(mesh->GetClassRecord().name, "CTriMesh");
    const Bytes again = test::SaveLoaded(stream);
    const std::string text(again.begin(), again.end());
    ByteWriter rootRecord;
    rootRecord.Str("_Root").Str("CTriMesh");
    const std::string expected(rootRecord.Data().begin(), rootRecord.Data().end());
    EXPECT_NE(text.find(expected), std::string::npos);
    EXPECT_EQ(text.find(name), std::string::npos);
  }
}

TEST_F(TriMeshTest, OldRecordsThatDisagreeWithTheirLevelAreRefused) {
  struct Row {
    const char* what;
    MeshImage image;
    Result expected;
  };
  const Row rows[] = {
      // Vertex indices up to 2 announce three tangent records, but the
      // level has four unified vertices.
      {"tangent count differs from the level",
       WithVertices(Image(202, 2, {0x60}, 1), {0, 1, 2, 0, 2, 2}, 3),
       kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(MeshFile(row.image), stream, device), row.expected);
  }
}

TEST_F(TriMeshTest, AnOldTriangleWithAVertexPastTheLevelLoadsAndIsSkipped) {
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(MeshFile(WithVertices(Image(201, 2), {0, 1, 2, 0, 2, 4})), stream, device), kOk);
  CTriMesh* mesh = DynamicCast<CTriMesh>(stream.GetRootObject(0));
  ASSERT_NE(mesh, nullptr);
  const CTriMeshData* level = mesh->GetTriMeshLod(0);
  ASSERT_NE(level, nullptr);
  // The tangents built for the old record name only the good triangle.
  const u32 vertices = level->GetVertexMapCount();
  for (const auto& tangent : level->GetTangentIndex()) {
    EXPECT_LT(tangent.IndexA, vertices);
    EXPECT_LT(tangent.IndexB, vertices);
    EXPECT_LT(tangent.IndexC, vertices);
  }
  EXPECT_EQ(mesh->Update(0), kOk);
}

TEST_F(TriMeshTest, OldRecordWhoseLevelDidNotResolveKeepsAnEmptyLevel) {
  test::SceneFile file;
  file.Record("CTriMesh", MeshBody(Image(201, 2, {0x60})), true);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
  CTriMesh* mesh = DynamicCast<CTriMesh>(stream.GetRootObject(0));
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->GetLodCount(), 1u);
  EXPECT_EQ(mesh->GetLod(0), nullptr);
  EXPECT_EQ(mesh->Update(0), kDone);
}

TEST_F(TriMeshTest, CountsBeyondTheRecordAreRefusedBeforeAllocating) {
  struct Row {
    const char* what;
    std::size_t offsetFromMinor;  // bytes after the mesh part's version pair
    u32 value;
  };
  // In a 2.01 record: n at 0, then the XYZTriIndex presence word and 6
  // values (28 bytes), NormalTriIndex (28), ColorTriIndex (4),
  // VertexTriIndex (28), TriangleMtlID (12), Smooth (12): the channel count
  // at 116.
  const Row rows[] = {{"triangle count", 0, 0x40000000}, {"channel count", 116, 0x20000000}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::size_t meshPartAt = 0;
    ByteWriter body = MeshBody(Image(201, 1, {0x60}), &meshPartAt);
    Bytes data = body.Data();
    const std::size_t offset = meshPartAt + 8 + row.offsetFromMinor;
    std::memcpy(&data[offset], &row.value, 4);
    ByteWriter patched;
    patched.Bytes(data);
    test::SceneFile file;
    file.Record("CTriMesh", patched, true);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrStream);
  }
}

TEST_F(TriMeshTest, EveryPrefixOfTheRecordFails) {
  for (const MeshImage& image : {Image(205, 4),
                                 Image(202, 1, {0x60}, 1)}) {
    SCOPED_TRACE(image.version);
    test::SceneFile file;
    file.Record("CTriMesh", MeshBody(image), true);
    const Bytes bytes = file.Data();
    {
      CStream stream;
      CMemoryIo device;
      ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    }
    test::ExpectEveryPrefixFails(bytes, kFirstRecordOffset);
  }
}

}  // namespace
}  // namespace KT
