// Grouped triangle meshes: the four settings on top of the triangle mesh,
// PreviousLayer, copies, and the record of every stored version.
#include "scene/group_tri_mesh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

constexpr std::size_t kFirstRecordOffset = 40;

class GroupTriMeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CGroupTriMesh", &CreateObject<CGroupTriMesh>);
    CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
    CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    test::UseTestIds(0);
  }
};

// One triangle (0,0,0), (1,0,0), (0,1,0) with one normal.
CPointer<CTriMeshData> Triangle() {
  CPointer<CTriMeshData> data;
  EXPECT_EQ(CTriMeshData::Create(data), kOk);
  data->SetName(u"triangle");
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

// A grouped mesh with the triangle as its only level and every setting set.
CPointer<CGroupTriMesh> Grouped() {
  CPointer<CGroupTriMesh> mesh;
  EXPECT_EQ(CGroupTriMesh::Create(mesh), kOk);
  mesh->SetName(u"grouped");
  EXPECT_EQ(mesh->SetSingleLod(Triangle().Get()), kOk);
  EXPECT_EQ(mesh->AllocateWorldXYZ(3), kOk);
  EXPECT_EQ(mesh->AllocateWorldNormal(1), kOk);
  mesh->SetGroupId(-7);
  mesh->SetLayer(3);
  mesh->SetClipDepth(12);
  mesh->SetFacingCamera(true);
  return mesh;
}

TEST_F(GroupTriMeshTest, DefaultsAndClassRecord) {
  CPointer<CGroupTriMesh> mesh;
  ASSERT_EQ(CGroupTriMesh::Create(mesh), kOk);
  EXPECT_STREQ(mesh->GetClassRecord().name, "CGroupTriMesh");
  EXPECT_EQ(mesh->GetVersion(), 102u);
  EXPECT_NE(DynamicCast<CTriMesh>(mesh.Get()), nullptr);
  EXPECT_EQ(mesh->GetGroupId(), 0);
  EXPECT_EQ(mesh->GetLayer(), 0u);
  EXPECT_EQ(mesh->GetClipDepth(), 0u);
  EXPECT_FALSE(mesh->IsFacingCamera());
  EXPECT_EQ(mesh->GetPreviousLayer(), 0u);
  EXPECT_EQ(mesh->GetLodParam0().Threshold, 0.3f);  // the triangle mesh's defaults
  const std::string members = test::Members(mesh.Get());
  for (const char* name : {"Group ID = 0", "Layer = 0", "ClipDepth = 0", "FacingCamera = false"}) {
    EXPECT_NE(members.find(name), std::string::npos) << name;
  }
}

TEST_F(GroupTriMeshTest, UpdateRefreshesPreviousLayerAndUpdatesAsATriangleMesh) {
  CPointer<CGroupTriMesh> mesh = Grouped();
  CMatrix4 world;
  world.m[3][0] = 5;
  mesh->SetWorld(CMatrix3(), CMatrix3(), world);
  ASSERT_EQ(mesh->Update(0), kOk);
  EXPECT_EQ(mesh->GetPreviousLayer(), 3u);
  EXPECT_EQ(mesh->GetWorldXYZ()[1], Vec(6, 0, 0));
  mesh->SetLayer(9);
  EXPECT_EQ(mesh->GetPreviousLayer(), 3u);
  ASSERT_EQ(mesh->Update(40), kOk);
  EXPECT_EQ(mesh->GetPreviousLayer(), 9u);

  // Where a triangle mesh without a level answers kDone, this one answers kOk.
  CPointer<CGroupTriMesh> empty;
  ASSERT_EQ(CGroupTriMesh::Create(empty), kOk);
  empty->SetLayer(4);
  EXPECT_EQ(empty->Update(0), kOk);
  EXPECT_EQ(empty->GetPreviousLayer(), 4u);
}

TEST_F(GroupTriMeshTest, CopiesCarryTheSettings) {
  CPointer<CGroupTriMesh> mesh = Grouped();
  CPointer<CBase> instance;
  ASSERT_EQ(mesh->CreateInstance(instance), kOk);
  EXPECT_EQ(test::Members(instance.Get()), test::Members(mesh.Get()));

  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(mesh->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CGroupTriMesh>(out.Get());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(test::Members(clone), test::Members(mesh.Get()));
  EXPECT_NE(clone->GetLod(0), mesh->GetLod(0));
  // A second clone through the same map is the first.
  CPointer<CBase> again;
  EXPECT_EQ(mesh->Clone(again, cloneMap, 0), kDone);
  EXPECT_EQ(again.Get(), clone);

  CPointer<CGroupTriMesh> target;
  ASSERT_EQ(CGroupTriMesh::Create(target), kOk);
  DisplacedList displaced;
  ASSERT_EQ(mesh->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetGroupId(), -7);
  EXPECT_EQ(target->GetLayer(), 3u);
  EXPECT_EQ(target->GetClipDepth(), 12u);
  EXPECT_TRUE(target->IsFacingCamera());
  EXPECT_EQ(target->GetPreviousLayer(), 0u);  // run-time state stays the target's
  EXPECT_EQ(target->GetLods(), mesh->GetLods());

  CPointer<CTriMesh> plain;
  ASSERT_EQ(CTriMesh::Create(plain), kOk);
  const std::string before = test::Members(plain.Get());
  EXPECT_EQ(mesh->CopyTo(plain.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(plain.Get()), before);
  EXPECT_EQ(mesh->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST_F(GroupTriMeshTest, SaveLoadSaveKeepsTheSettings) {
  CPointer<CNode> root(new CNode());
  CPointer<CGroupTriMesh> mesh = Grouped();
  ASSERT_EQ(root->AddChild(mesh.Get()), kOk);
  const Bytes first = test::SaveRoots({root.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* loadedRoot = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(loadedRoot, nullptr);
  auto* loaded = DynamicCast<CGroupTriMesh>(loadedRoot->GetChild(0).Get());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(mesh.Get()));
  EXPECT_EQ(loaded->GetPreviousLayer(), 3u);
  ASSERT_NE(loaded->GetTriMeshLod(0), nullptr);
  EXPECT_TRUE(loaded->GetTriMeshLod(0)->IsEqual(mesh->GetLod(0)));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// --- byte images -------------------------------------------------------------------------------------------

// A grouped mesh record without levels: a 2.04 geometry part, a 2.05 mesh
// part without level objects, then the group part of `version` (Group ID
// -2, Layer 5, ClipDepth 6 from 1.01, FacingCamera from 1.02).
ByteWriter GroupBody(u32 version) {
  ByteWriter w;
  test::ObjectHead(w, 0x10, u"grouped");
  test::SpatialPart206(w).Pair(2, 4).U64(0).U32(0).U8(0).U8(0).U32(0);
  w.Pair(2, 5).F32(0.3f).F32(0.05f).F32(0.1f).F32(0.025f).U32(0);
  w.Pair(version / 100, version % 100).I32(-2).U32(5);
  if (version >= 101) w.U32(6);
  if (version >= 102) w.U8(1);
  return w;
}

TEST_F(GroupTriMeshTest, EveryStoredVersionLoads) {
  struct Row {
    u32 version;
    u32 clipDepth;
    bool facingCamera;
  };
  const Row rows[] = {{100, 0, false}, {101, 6, false}, {102, 6, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    test::SceneFile file;
    file.Record("CGroupTriMesh", GroupBody(row.version), true);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
    auto* mesh = DynamicCast<CGroupTriMesh>(stream.GetRootObject(0));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetGroupId(), -2);
    EXPECT_EQ(mesh->GetLayer(), 5u);
    EXPECT_EQ(mesh->GetPreviousLayer(), 5u);
    EXPECT_EQ(mesh->GetClipDepth(), row.clipDepth);
    EXPECT_EQ(mesh->IsFacingCamera(), row.facingCamera);
    // Saved again as the current form, it loads back equal.
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(mesh));
  }
}

TEST_F(GroupTriMeshTest, NewerRecordIsRefused) {
  test::SceneFile file;
  file.Record("CGroupTriMesh", GroupBody(103), true);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrNewerVersion);
}

TEST_F(GroupTriMeshTest, EveryPrefixOfTheRecordFails) {
  for (u32 version : {100u, 102u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CGroupTriMesh", GroupBody(version), true);
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
