// The seam between two triangle meshes: the stamps of the two controls,
// the weld of positions and normals, the data-pass order, copies, and the
// records (current, older, and crafted with stray indices).
#include "controllers/keyed/connect_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controllers/keyed/connect_data.h"
#include "keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"

namespace KT {
namespace {

using test::ByteWriter;
using Vec = CVector3<float>;

class ConnectControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
    CClassFactory::Register("CConnectData", &CreateObject<CConnectData>);
    CClassFactory::Register("CConnectControl", &CreateObject<CConnectControl>);
    test::UseTestIds(0);
  }
};

void ExpectNear(const Vec& a, const Vec& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
  EXPECT_NEAR(a.z, b.z, 1e-5f);
}

// A mesh whose world buffers hold `positions` (already in world space) and
// as many normals, all (0, 0, 1) unless given.
CPointer<CTriMesh> MakeMesh(const char16_t* name, const std::vector<Vec>& positions,
                            const std::vector<Vec>& normals = {}) {
  CPointer<CTriMesh> mesh(new CTriMesh());
  mesh->SetName(name);
  const u32 count = static_cast<u32>(positions.size());
  EXPECT_EQ(mesh->AllocateWorldXYZ(count), kOk);
  EXPECT_EQ(mesh->AllocateWorldNormal(count), kOk);
  for (u32 i = 0; i < count; ++i) {
    mesh->GetWorldXYZ()[i] = positions[i];
    mesh->GetWorldNormal()[i] = normals.empty() ? Vec(0.0f, 0.0f, 1.0f) : normals[i];
  }
  mesh->SetWorldXYZReady(true);
  mesh->SetRecomputeNormals(false);
  return mesh;
}

// Two meshes of three vertices, welded by two controls sharing one seam.
// Seam vertex 0 of the left mesh is vertex 2; its partners on the right
// are vertices 0 and 1 (n = 2).
struct Seam {
  CPointer<CTriMesh> left = MakeMesh(u"left", {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}},
                                     {{1, 0, 0}, {0, 1, 0}, {1, 0, 0}});
  CPointer<CTriMesh> right = MakeMesh(u"right", {{6, 0, 0}, {0, 3, 0}, {9, 9, 9}},
                                      {{0, 1, 0}, {0, 0, 1}, {0, 0, 1}});
  CPointer<CConnectData> data{new CConnectData()};
  CPointer<CConnectControl> leftControl{new CConnectControl()};
  CPointer<CConnectControl> rightControl{new CConnectControl()};
  Seam(const std::vector<std::vector<u32>>& normals0 = {{2}}, const std::vector<std::vector<u32>>& normals1 = {{0}}) {
    data->SetName(u"seam");
    data->SetMeshes(left.Get(), right.Get());
    EXPECT_EQ(data->SetSeam({2}, {0, 1}, normals0, normals1), kOk);
    leftControl->SetConnectData(data.Get());
    rightControl->SetConnectData(data.Get());
    EXPECT_EQ(left->AddControl(leftControl.Get()), kOk);
    EXPECT_EQ(right->AddControl(rightControl.Get()), kOk);
  }
};

TEST_F(ConnectControlTest, TheWeldWaitsForBothMeshes) {
  Seam s;
  EXPECT_EQ(s.leftControl->Update(40), kDone);
  EXPECT_EQ(s.data->GetTimeState0(), 40);
  EXPECT_EQ(s.data->GetTimeState1(), CConnectData::kNoTime);
  ExpectNear(s.left->GetWorldXYZ()[2], Vec(3, 0, 0));
  // The other mesh reporting another time welds nothing either.
  EXPECT_EQ(s.rightControl->Update(80), kDone);
  EXPECT_EQ(s.data->GetTimeState0(), 40);
  EXPECT_EQ(s.data->GetTimeState1(), 80);
  ExpectNear(s.right->GetWorldXYZ()[0], Vec(6, 0, 0));
}

TEST_F(ConnectControlTest, EachSeamVertexAndItsPartnersTakeTheirAverage) {
  Seam s;
  EXPECT_EQ(s.leftControl->Update(40), kDone);
  EXPECT_EQ(s.rightControl->Update(40), kOk);
  // (3 + 6 + 0) / 3, (0 + 0 + 3) / 3.
  const Vec average(3.0f, 1.0f, 0.0f);
  ExpectNear(s.left->GetWorldXYZ()[2], average);
  ExpectNear(s.right->GetWorldXYZ()[0], average);
  ExpectNear(s.right->GetWorldXYZ()[1], average);
  ExpectNear(s.right->GetWorldXYZ()[2], Vec(9, 9, 9));
  ExpectNear(s.left->GetWorldXYZ()[0], Vec(0, 0, 0));
  // a = (1, 0, 0), b = (0, 1, 0): the shared normal lies between them.
  const f32 h = std::sqrt(0.5f);
  ExpectNear(s.left->GetWorldNormal()[2], Vec(h, h, 0));
  ExpectNear(s.right->GetWorldNormal()[0], Vec(h, h, 0));
  ExpectNear(s.left->GetWorldNormal()[0], Vec(1, 0, 0));
  EXPECT_EQ(s.data->GetTimeState0(), CConnectData::kNoTime);
  EXPECT_EQ(s.data->GetTimeState1(), CConnectData::kNoTime);
}

TEST_F(ConnectControlTest, NormalsOfOneSideAreSummedAndNormalisedFirst) {
  struct Case {
    std::vector<std::vector<u32>> normals0;
    std::vector<std::vector<u32>> normals1;
    Vec shared;
  };
  const f32 h = std::sqrt(0.5f);
  const std::vector<Case> cases = {
      // An empty list on the left: a stays zero and the shared normal is b.
      {{{}}, {{0}}, Vec(0, 1, 0)},
      // Two left normals (1,0,0) + (0,1,0) normalised, then with b = (0,1,0).
      {{{0, 1}}, {{0}}, Vec(h, h + 1.0f, 0) * (1.0f / std::sqrt(0.5f + (h + 1.0f) * (h + 1.0f)))},
      // Both empty: the zero vector stays zero.
      {{{}}, {{}}, Vec(0, 0, 0)},
  };
  for (const Case& c : cases) {
    Seam s(c.normals0, c.normals1);
    ASSERT_EQ(s.leftControl->Update(0), kDone);
    ASSERT_EQ(s.rightControl->Update(0), kOk);
    for (const u32 n : c.normals0.front()) ExpectNear(s.left->GetWorldNormal()[n], c.shared);
    for (const u32 n : c.normals1.front()) ExpectNear(s.right->GetWorldNormal()[n], c.shared);
  }
}

TEST_F(ConnectControlTest, NothingIsWeldedWhileAMeshShowsACoarserLevel) {
  Seam s;
  s.right->SetCurrentLod(1);
  EXPECT_EQ(s.leftControl->Update(40), kDone);
  EXPECT_EQ(s.rightControl->Update(40), kDone);
  ExpectNear(s.left->GetWorldXYZ()[2], Vec(3, 0, 0));
  ExpectNear(s.right->GetWorldXYZ()[0], Vec(6, 0, 0));
  EXPECT_EQ(s.data->GetTimeState0(), 40);
  EXPECT_EQ(s.data->GetTimeState1(), 40);
}

TEST_F(ConnectControlTest, AnEmptySeamOnlyClearsTheStamps) {
  Seam s;
  ASSERT_EQ(s.data->SetSeam({}, {}, {}, {}), kOk);
  EXPECT_EQ(s.leftControl->Update(7), kDone);
  EXPECT_EQ(s.rightControl->Update(7), kOk);
  EXPECT_EQ(s.data->GetTimeState0(), CConnectData::kNoTime);
  ExpectNear(s.right->GetWorldXYZ()[0], Vec(6, 0, 0));
}

TEST_F(ConnectControlTest, TheMeshThatIsNotMesh0UpdatesAfterIt) {
  Seam s;
  s.data->StampMesh(s.left.Get(), 5);
  s.left->SetDirty();
  s.right->SetDirty();
  i32 leftDepth = 0;
  i32 rightDepth = 0;
  ASSERT_EQ(s.left->GetDataUpdateDepth(nullptr, leftDepth), kOk);
  ASSERT_EQ(s.right->GetDataUpdateDepth(nullptr, rightDepth), kOk);
  EXPECT_GT(rightDepth, leftDepth);
  EXPECT_EQ(s.data->GetTimeState0(), CConnectData::kNoTime);

  i32 depth = 0;
  CConnectControl bare;
  EXPECT_EQ(bare.GetDataUpdateDepth(nullptr, depth), kDone);
  s.rightControl->SetActive(false);
  EXPECT_EQ(s.rightControl->GetDataUpdateDepth(nullptr, depth), kDone);
}

TEST_F(ConnectControlTest, RefusalsWriteNothing) {
  Seam s;
  // No seam, unbound, or a mesh missing from the seam.
  CPointer<CConnectControl> bare(new CConnectControl());
  EXPECT_EQ(bare->Update(0), kErrInvalidArg);
  CConnectControl unbound;
  unbound.SetConnectData(s.data.Get());
  EXPECT_EQ(unbound.Update(0), kErrInvalidArg);
  CConnectData half;
  half.SetMeshes(s.left.Get(), nullptr);
  EXPECT_EQ(half.Update(0), kErrInvalidArg);
  // A file can bind the control to anything: a node is refused.
  CPointer<CNode> node(new CNode());
  CPointer<CConnectControl> misbound(new CConnectControl());
  misbound->SetConnectData(s.data.Get());
  ASSERT_EQ(node->AddControl(misbound.Get()), kOk);
  EXPECT_EQ(misbound->Update(0), kErrNotFound);
  EXPECT_EQ(s.data->GetTimeState0(), CConnectData::kNoTime);
  // Inactive.
  s.leftControl->SetActive(false);
  EXPECT_EQ(s.leftControl->Update(0), kDone);
  EXPECT_EQ(s.data->GetTimeState0(), CConnectData::kNoTime);
  EXPECT_EQ(s.leftControl->GetEndTime(), 0);
}

TEST_F(ConnectControlTest, BothSidesAreWeldedInWorldSpace) {
  // The right mesh still holds local positions and sits 12 units along x:
  // its control moves them into world space before the weld.
  Seam s;
  s.right->SetWorldXYZReady(false);
  CMatrix4 moved = s.right->GetWorldMatrix();
  moved.SetTranslation(Vec(12.0f, 0.0f, 0.0f));
  s.right->SetWorld(s.right->GetWorldScale(), s.right->GetWorldRotate(), moved);
  EXPECT_EQ(s.leftControl->Update(3), kDone);
  EXPECT_EQ(s.rightControl->Update(3), kOk);
  EXPECT_TRUE(s.right->IsWorldXYZReady());
  // (3 + 18 + 12) / 3, (0 + 0 + 3) / 3.
  ExpectNear(s.left->GetWorldXYZ()[2], Vec(11.0f, 1.0f, 0.0f));
  ExpectNear(s.right->GetWorldXYZ()[2], Vec(21.0f, 9.0f, 9.0f));
}

TEST_F(ConnectControlTest, AMeshAskingForNewNormalsRebuildsThemBeforeTheWeld) {
  Seam s;
  s.right->SetWorldNormalReady(false);
  s.right->SetRecomputeNormals(true);
  EXPECT_EQ(s.rightControl->Update(3), kDone);
  EXPECT_TRUE(s.right->IsWorldNormalReady());
}

TEST_F(ConnectControlTest, InstancesCopyTheNormalListsAndCopyToSharesThem) {
  Seam s;
  CPointer<CBase> instance;
  ASSERT_EQ(s.data->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CConnectData>(instance.Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->GetNormalIDs0().size(), 1u);
  EXPECT_FALSE(copy->GetNormalIDs0()[0].SharesWith(s.data->GetNormalIDs0()[0]));
  EXPECT_FALSE(copy->GetNormalIDs1()[0].SharesWith(s.data->GetNormalIDs1()[0]));
  EXPECT_EQ(*copy->GetNormalIDs0()[0], *s.data->GetNormalIDs0()[0]);
  EXPECT_EQ(copy->GetMesh0(), s.left.Get());
  EXPECT_EQ(copy->GetXYZIDs1(), s.data->GetXYZIDs1());

  CConnectData target;
  DisplacedList displaced;
  s.data->StampMesh(s.left.Get(), 9);
  ASSERT_EQ(s.data->CopyTo(&target, displaced, 0), kOk);
  EXPECT_TRUE(target.GetNormalIDs0()[0].SharesWith(s.data->GetNormalIDs0()[0]));
  EXPECT_TRUE(target.GetNormalIDs1()[0].SharesWith(s.data->GetNormalIDs1()[0]));
  EXPECT_EQ(target.GetTimeState0(), 9);
  EXPECT_EQ(target.GetMesh1(), s.right.Get());
  CNode node;
  EXPECT_EQ(s.data->CopyTo(&node, displaced, 0), kErrNotFound);

  CConnectControl other;
  ASSERT_EQ(s.leftControl->CopyTo(&other, displaced, 0), kOk);
  EXPECT_EQ(other.GetConnectData(), s.data.Get());
  EXPECT_EQ(s.leftControl->CopyTo(&node, displaced, 0), kErrNotFound);
}

TEST_F(ConnectControlTest, ClonesOfBothControlsShareOneSeamClone) {
  Seam s;
  CloneMap map;
  CPointer<CBase> leftClone, rightClone;
  ASSERT_EQ(s.left->Clone(leftClone, map, 0), kOk);
  ASSERT_EQ(s.right->Clone(rightClone, map, 0), kOk);
  auto* leftMesh = DynamicCast<CTriMesh>(leftClone.Get());
  auto* rightMesh = DynamicCast<CTriMesh>(rightClone.Get());
  ASSERT_NE(leftMesh, nullptr);
  ASSERT_NE(rightMesh, nullptr);
  auto* c0 = DynamicCast<CConnectControl>(leftMesh->GetFirstControl());
  auto* c1 = DynamicCast<CConnectControl>(rightMesh->GetFirstControl());
  ASSERT_NE(c0, nullptr);
  ASSERT_NE(c1, nullptr);
  ASSERT_NE(c0->GetConnectData(), nullptr);
  EXPECT_NE(c0->GetConnectData(), s.data.Get());
  EXPECT_EQ(c0->GetConnectData(), c1->GetConnectData());
}

TEST_F(ConnectControlTest, ResolveReferencesFindsBothMeshesByName) {
  Seam s;
  CPointer<CNode> root(new CNode());
  CPointer<CTriMesh> left = MakeMesh(u"left", {{0, 0, 0}});
  CPointer<CTriMesh> right = MakeMesh(u"right", {{0, 0, 0}});
  ASSERT_EQ(root->AddChild(left.Get()), kOk);
  ASSERT_EQ(root->AddChild(right.Get()), kOk);
  ASSERT_EQ(s.leftControl->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(s.data->GetMesh0(), left.Get());
  EXPECT_EQ(s.data->GetMesh1(), right.Get());
  EXPECT_EQ(s.data->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(s.leftControl->ResolveReferences(nullptr), kErrInvalidArg);
}

// --- records -----------------------------------------------------------------------------------------

TEST_F(ConnectControlTest, SavedScenesRoundTrip) {
  Seam s;
  CPointer<CNode> root(new CNode());
  ASSERT_EQ(root->AddChild(s.left.Get()), kOk);
  ASSERT_EQ(root->AddChild(s.right.Get()), kOk);
  EXPECT_EQ(test::SaveObjectRecord(*s.data).size(), s.data->GetSaveSize());
  EXPECT_EQ(s.leftControl->GetSaveSize(), s.leftControl->CDataControl::GetSaveSize() + 16);
  EXPECT_EQ(s.data->GetSaveSize(),
            s.data->CDorun::GetSaveSize() + 8 + 16 + (4 + 4) + (4 + 8) + (4 + 4 + 4) + (4 + 4 + 4));
  test::ExpectSceneRoundTrip(*root);
}

// The seam's own part after the version pair.
ByteWriter& SeamLists(ByteWriter& w, const std::vector<u32>& ids0, const std::vector<u32>& ids1,
                      const std::vector<std::vector<u32>>& n0, const std::vector<std::vector<u32>>& n1) {
  for (const auto* ids : {&ids0, &ids1}) {
    w.U32(static_cast<u32>(ids->size()));
    for (const u32 i : *ids) w.U32(i);
  }
  for (const auto* lists : {&n0, &n1}) {
    w.U32(static_cast<u32>(lists->size()));
    for (const auto& list : *lists) {
      w.U32(static_cast<u32>(list.size()));
      for (const u32 i : list) w.U32(i);
    }
  }
  return w;
}

// Loads a CConnectData body (from its base part on) in which the meshes are
// named by ids 0x21 and 0x22, resolving them to `mesh0` and `mesh1`.
Result LoadSeam(const ByteWriter& body, CTriMesh* mesh0, CTriMesh* mesh1, CPointer<CConnectData>& out) {
  CMemoryIo device(body.Data());
  CStream stream;
  stream.SetDevice(&device);
  CStreamLoadRecord records[3];
  records[1].object = mesh0;
  records[2].object = mesh1;
  EXPECT_TRUE(stream.RegisterId(0x21, &records[1]));
  EXPECT_TRUE(stream.RegisterId(0x22, &records[2]));
  out = new CConnectData();
  records[0].object = out;
  Result r = out->Load(stream, records[0], 0);
  if (Failed(r)) return r;
  EXPECT_EQ(stream.GetRemaining(), 0u);
  return out->Link(stream, records[0], 0);
}

TEST_F(ConnectControlTest, AnOlderSeamRecordWithFourByteIdsLoads) {
  Seam s;
  ByteWriter body;
  test::BasePart(body, 0x10);
  test::DorunPart(body, 0);
  body.Pair(2, 0).U32(0x21).U32(0x22);
  SeamLists(body, {2}, {0, 1}, {{2}}, {{0}});
  CPointer<CConnectData> loaded;
  ASSERT_EQ(LoadSeam(body, s.left.Get(), s.right.Get(), loaded), kOk);
  EXPECT_EQ(loaded->GetMesh0(), s.left.Get());
  EXPECT_EQ(loaded->GetMesh1(), s.right.Get());
  EXPECT_EQ(loaded->GetXYZIDs1(), (std::vector<u32>{0, 1}));
  ASSERT_EQ(loaded->GetNormalIDs1().size(), 1u);
  EXPECT_EQ(*loaded->GetNormalIDs1()[0], (std::vector<u32>{0}));
  // It saves in the current form.
  EXPECT_EQ(test::SaveObjectRecord(*loaded).size(), loaded->GetSaveSize());

  // An older control record: a 4-byte id of the seam.
  ByteWriter control = test::DataControlHead();
  control.Pair(2, 0).U32(0);
  CStream stream;
  CMemoryIo device;
  auto* c = test::LoadRoot<CConnectControl>("CConnectControl", control, stream, device);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetConnectData(), nullptr);
}

TEST_F(ConnectControlTest, StrayIndicesFromAFileChangeNothing) {
  Seam s;
  ByteWriter body;
  test::BasePart(body, 0x10);
  test::DorunPart(body, 0);
  body.Pair(2, 1).U64(0x21).U64(0x22);
  // Seam vertex 0 is sound, 1 names a left vertex past the buffer, 2 a
  // partner past the right buffer. Only seam vertex 0 has normal lists,
  // holding one stray index each.
  SeamLists(body, {2, 99, 0}, {0, 1, 2, 2, 1, 0xFFFFFFFFu}, {{2, 1000}}, {{0, 0x80000000u}, {1}});
  CPointer<CConnectData> loaded;
  ASSERT_EQ(LoadSeam(body, s.left.Get(), s.right.Get(), loaded), kOk);
  loaded->StampMesh(s.left.Get(), 1);
  loaded->StampMesh(s.right.Get(), 1);
  EXPECT_EQ(loaded->Update(1), kOk);
  ExpectNear(s.left->GetWorldXYZ()[2], Vec(3, 1, 0));
  ExpectNear(s.left->GetWorldXYZ()[0], Vec(0, 0, 0));
  ExpectNear(s.right->GetWorldXYZ()[2], Vec(9, 9, 9));
  const f32 h = std::sqrt(0.5f);
  ExpectNear(s.left->GetWorldNormal()[2], Vec(h, h, 0));
  ExpectNear(s.right->GetWorldNormal()[1], Vec(0, 0, 1));
}

TEST_F(ConnectControlTest, CutAndOversizedSeamRecordsFail) {
  ByteWriter body;
  test::BasePart(body, 0x10);
  test::DorunPart(body, 0);
  body.Pair(2, 1).U64(0).U64(0);
  SeamLists(body, {1}, {2}, {{3}}, {{4}});
  for (std::size_t cut = 0; cut < body.Size(); ++cut) {
    ByteWriter part;
    part.Raw(body.Data().data(), cut);
    CPointer<CConnectData> loaded;
    EXPECT_LT(LoadSeam(part, nullptr, nullptr, loaded), 0) << cut;
  }
  ByteWriter huge;
  test::BasePart(huge, 0x10);
  test::DorunPart(huge, 0);
  huge.Pair(2, 1).U64(0).U64(0).U32(0).U32(0).U32(0x40000000u);
  CPointer<CConnectData> loaded;
  EXPECT_EQ(LoadSeam(huge, nullptr, nullptr, loaded), kErrStream);
  ByteWriter newer;
  test::BasePart(newer, 0x10);
  test::DorunPart(newer, 0);
  newer.Pair(2, 2);
  EXPECT_EQ(LoadSeam(newer, nullptr, nullptr, loaded), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
