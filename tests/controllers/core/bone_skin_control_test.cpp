// The skin controller: building the tables, the blend of bone transforms
// with the residual weight following the geometry, the level in use, the
// mesh-state flags, update depths, copies, and the record in its current,
// one-list and old per-bone forms, including hostile data.
#include "controllers/core/bone_skin_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/test_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "scene/geometry_data.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;
using SkinWeight = CBoneSkinControl::SkinWeight;

class BoneSkinControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CBoneSkinControl", &CreateObject<CBoneSkinControl>);
    CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
    CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CKeyframeControl", &CreateObject<CKeyframeControl>);
    test::UseTestIds(0);
  }
};

void ExpectNear(const Vec& a, const Vec& b, f32 tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.SetTranslation({x, y, z});
  return m;
}

// A quarter turn about z (x goes to y), then a move by (10, 0, 0).
CMatrix4 TurnAndMove() {
  CMatrix4 m = Translation(10, 0, 0);
  m.m[0][0] = 0;
  m.m[0][1] = 1;
  m.m[1][0] = -1;
  m.m[1][1] = 0;
  return m;
}

CPointer<CNode> Bone(const char16_t* name, const CMatrix4& world) {
  CPointer<CNode> bone(new CNode());
  bone->SetName(name);
  bone->SetWorld(CMatrix3(), CMatrix3(), world);
  return bone;
}

std::vector<Vec> Positions(const CGeometry& geometry) {
  return std::vector<Vec>(geometry.GetWorldXYZ().begin(), geometry.GetWorldXYZ().end());
}

// A geometry turned and moved by TurnAndMove, bones A (moved by (0, 0, 2))
// and B (moved by (0, 4, 0)) with identity bind matrices, and a skin bound
// to the geometry with one weight list.
struct Rig {
  CPointer<CGeometry> geometry{new CGeometry()};
  CPointer<CNode> a = Bone(u"A", Translation(0, 0, 2));
  CPointer<CNode> b = Bone(u"B", Translation(0, 4, 0));
  CPointer<CBoneSkinControl> skin{new CBoneSkinControl()};

  explicit Rig(u32 vertices) {
    geometry->SetName(u"geometry");
    geometry->SetWorld(CMatrix3(), CMatrix3(), TurnAndMove());
    EXPECT_EQ(geometry->AllocateWorldXYZ(vertices), kOk);
    // Vertex j rests at (1, 0, j).
    for (u32 j = 0; j < vertices; ++j) geometry->GetWorldXYZ()[j] = {1, 0, static_cast<f32>(j)};
    EXPECT_EQ(skin->SetSkinWeightListCount(1), kOk);
    EXPECT_EQ(skin->AddBone(a.Get(), CMatrix4()), kOk);
    EXPECT_EQ(skin->AddBone(b.Get(), CMatrix4()), kOk);
    EXPECT_EQ(geometry->AddControl(skin.Get()), kOk);
  }
  // The rest position of vertex j under the geometry, bone A and bone B.
  static Vec G(u32 j) { return {10, 1, static_cast<f32>(j)}; }
  static Vec A(u32 j) { return {1, 0, static_cast<f32>(j) + 2}; }
  static Vec B(u32 j) { return {1, 4, static_cast<f32>(j)}; }
};

// --- building the tables -------------------------------------------------------------------------

TEST_F(BoneSkinControlTest, AddBoneRefusesNullForeignAndListedBones) {
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  CPointer<CNode> bone = Bone(u"bone", CMatrix4());
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  EXPECT_EQ(skin->AddBone(nullptr, CMatrix4()), kErrMissingObject);
  EXPECT_EQ(skin->AddBone(notSpatial.Get(), CMatrix4()), kErrNotFound);
  EXPECT_TRUE(skin->GetReferenceBone().empty());
  EXPECT_FALSE(skin->HasSubObjects());

  skin->SetModified(false);
  ASSERT_EQ(skin->AddBone(bone.Get(), Translation(1, 2, 3)), kOk);
  EXPECT_TRUE(skin->IsModified());
  EXPECT_EQ(skin->AddBone(bone.Get(), Translation(4, 5, 6)), kDone);
  ASSERT_EQ(skin->GetReferenceBone().size(), 1u);
  ASSERT_EQ(skin->GetBoneXForm().size(), 1u);
  EXPECT_EQ(skin->GetBoneXForm()[0], Translation(1, 2, 3));
  EXPECT_TRUE(skin->HasSubObjects());
}

TEST_F(BoneSkinControlTest, SetBoneXFormReplacesOneBindMatrix) {
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  CPointer<CNode> bone = Bone(u"bone", CMatrix4());
  ASSERT_EQ(skin->AddBone(bone.Get(), Translation(1, 2, 3)), kOk);
  skin->SetModified(false);
  EXPECT_EQ(skin->SetBoneXForm(1, Translation(7, 8, 9)), kErrOutOfRange);
  EXPECT_FALSE(skin->IsModified());
  EXPECT_EQ(skin->SetBoneXForm(0, Translation(4, 5, 6)), kOk);
  EXPECT_TRUE(skin->IsModified());
  EXPECT_EQ(skin->GetBoneXForm()[0], Translation(4, 5, 6));
}

TEST_F(BoneSkinControlTest, AddSkinWeightGrowsTheListWithoutSorting) {
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  CPointer<CNode> a = Bone(u"a", CMatrix4());
  CPointer<CNode> b = Bone(u"b", CMatrix4());
  CPointer<CNode> stranger = Bone(u"stranger", CMatrix4());
  ASSERT_EQ(skin->AddBone(a.Get(), CMatrix4()), kOk);
  ASSERT_EQ(skin->AddBone(b.Get(), CMatrix4()), kOk);
  EXPECT_EQ(skin->AddSkinWeight(0, 0, a.Get(), 1.0f), kErrOutOfRange);  // no list yet
  ASSERT_EQ(skin->SetSkinWeightListCount(2), kOk);
  EXPECT_EQ(skin->AddSkinWeight(2, 0, a.Get(), 1.0f), kErrOutOfRange);
  EXPECT_EQ(skin->AddSkinWeight(0, 0, nullptr, 1.0f), kErrMissingObject);
  EXPECT_EQ(skin->AddSkinWeight(0, 0, stranger.Get(), 1.0f), kErrMissingObject);
  EXPECT_TRUE(skin->GetSkinWeightSet()[0].empty());

  ASSERT_EQ(skin->AddSkinWeight(0, 9, a.Get(), 0.25f), kOk);
  ASSERT_EQ(skin->AddSkinWeight(0, 9, b.Get(), 0.75f), kOk);
  const auto& list = skin->GetSkinWeightSet()[0];
  ASSERT_EQ(list.size(), 10u);
  for (u32 j = 0; j < 9; ++j) EXPECT_TRUE(list[j].PureWeight.empty()) << j;
  EXPECT_EQ(list[9].PureWeight, (std::vector<f32>{0.25f, 0.75f}));
  EXPECT_EQ(list[9].BoneID, (std::vector<u8>{0, 1}));
  EXPECT_TRUE(skin->GetSkinWeightSet()[1].empty());

  // Growing the set keeps the lists it has.
  ASSERT_EQ(skin->SetSkinWeightListCount(3), kOk);
  EXPECT_EQ(skin->GetSkinWeightSet()[0].size(), 10u);
}

TEST_F(BoneSkinControlTest, BonesPastWhatOneByteAddressesTakeNoWeights) {
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  ASSERT_EQ(skin->SetSkinWeightListCount(1), kOk);
  std::vector<CPointer<CNode>> bones;
  for (int i = 0; i < 257; ++i) {
    bones.push_back(Bone(u"bone", CMatrix4()));
    ASSERT_EQ(skin->AddBone(bones.back().Get(), CMatrix4()), kOk);
  }
  EXPECT_EQ(skin->AddSkinWeight(0, 0, bones[255].Get(), 0.5f), kOk);
  EXPECT_EQ(skin->AddSkinWeight(0, 0, bones[256].Get(), 0.5f), kErrOutOfRange);
  ASSERT_EQ(skin->GetSkinWeightSet()[0].size(), 1u);
  EXPECT_EQ(skin->GetSkinWeightSet()[0][0].BoneID, (std::vector<u8>{255}));
}

TEST_F(BoneSkinControlTest, SortOrdersPairsByDescendingWeight) {
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  std::vector<CPointer<CNode>> bones;
  ASSERT_EQ(skin->SetSkinWeightListCount(1), kOk);
  const f32 weights[4] = {0.1f, 0.4f, 0.2f, 0.3f};
  for (u8 i = 0; i < 4; ++i) {
    bones.push_back(Bone(u"bone", CMatrix4()));
    ASSERT_EQ(skin->AddBone(bones.back().Get(), CMatrix4()), kOk);
    ASSERT_EQ(skin->AddSkinWeight(0, 0, bones.back().Get(), weights[i]), kOk);
  }
  skin->SortWeightsDescending();
  const SkinWeight& entry = skin->GetSkinWeightSet()[0][0];
  EXPECT_EQ(entry.PureWeight, (std::vector<f32>{0.4f, 0.3f, 0.2f, 0.1f}));
  EXPECT_EQ(entry.BoneID, (std::vector<u8>{1, 3, 2, 0}));
}

// --- evaluation ----------------------------------------------------------------------------------

struct BlendRow {
  const char* what;
  std::vector<std::pair<int, f32>> pairs;  // bone 0 = A, 1 = B, 2 = a bone that no longer resolves
  Vec (*expected)(u32 j);
};

const BlendRow kBlendRows[] = {
    {"no weights: like an unskinned vertex", {}, [](u32 j) { return Rig::G(j); }},
    {"all on A", {{0, 1.0f}}, [](u32 j) { return Rig::A(j); }},
    {"half and half", {{0, 0.5f}, {1, 0.5f}}, [](u32 j) { return Rig::A(j) * 0.5f + Rig::B(j) * 0.5f; }},
    {"a quarter each: the other half follows the geometry",
     {{0, 0.25f}, {1, 0.25f}},
     [](u32 j) { return Rig::A(j) * 0.25f + Rig::B(j) * 0.25f + Rig::G(j) * 0.5f; }},
    // M = PA + PB has w = 2: the weights stay as stored and the divide by w
    // averages the two bones.
    {"weights summing to 2", {{0, 1.0f}, {1, 1.0f}}, [](u32 j) { return (Rig::A(j) + Rig::B(j)) * 0.5f; }},
    {"a lost bone's weight follows the geometry",
     {{2, 0.5f}, {0, 0.5f}},
     [](u32 j) { return Rig::A(j) * 0.5f + Rig::G(j) * 0.5f; }},
};

// One rig with one vertex per row; bone 2 is listed and then lost when the
// skin's references are resolved under a root that does not hold it.
Rig BlendRig() {
  constexpr u32 kRows = sizeof(kBlendRows) / sizeof(kBlendRows[0]);
  Rig rig(kRows);
  CPointer<CNode> lost = Bone(u"lost", Translation(100, 100, 100));
  EXPECT_EQ(rig.skin->AddBone(lost.Get(), CMatrix4()), kOk);
  CNode* bones[3] = {rig.a.Get(), rig.b.Get(), lost.Get()};
  for (u32 j = 0; j < kRows; ++j) {
    for (const auto& [bone, weight] : kBlendRows[j].pairs) {
      EXPECT_EQ(rig.skin->AddSkinWeight(0, j, bones[bone], weight), kOk);
    }
  }
  CPointer<CNode> root(new CNode());
  EXPECT_EQ(root->AddChild(rig.a.Get()), kOk);
  EXPECT_EQ(root->AddChild(rig.b.Get()), kOk);
  EXPECT_EQ(rig.skin->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(rig.skin->GetReferenceBone()[2], nullptr);
  return rig;
}

TEST_F(BoneSkinControlTest, EachVertexBlendsItsBonesAndTheGeometry) {
  Rig rig = BlendRig();
  ASSERT_EQ(rig.skin->Update(0), kOk);
  EXPECT_TRUE(rig.geometry->IsWorldXYZReady());
  EXPECT_TRUE(rig.geometry->GetRecomputeNormals());
  for (u32 j = 0; j < rig.geometry->GetWorldXYZ().GetCount(); ++j) {
    SCOPED_TRACE(kBlendRows[j].what);
    ExpectNear(rig.geometry->GetWorldXYZ()[j], kBlendRows[j].expected(j));
  }
  // The stored weights are not renormalised.
  EXPECT_EQ(rig.skin->GetSkinWeightSet()[0][4].PureWeight, (std::vector<f32>{1.0f, 1.0f}));
}

TEST_F(BoneSkinControlTest, PositionsAlreadyInWorldSpaceEndWhereLocalOnesDo) {
  // A deformer before the skin may have moved WorldXYZ to world space: the
  // palette takes them back, and neither the unweighted vertex nor the
  // residual weight is moved a second time.
  Rig rig = BlendRig();
  for (u32 j = 0; j < rig.geometry->GetWorldXYZ().GetCount(); ++j) rig.geometry->GetWorldXYZ()[j] = Rig::G(j);
  rig.geometry->SetWorldXYZReady(true);
  ASSERT_EQ(rig.skin->Update(0), kOk);
  for (u32 j = 0; j < rig.geometry->GetWorldXYZ().GetCount(); ++j) {
    SCOPED_TRACE(kBlendRows[j].what);
    ExpectNear(rig.geometry->GetWorldXYZ()[j], kBlendRows[j].expected(j), 1e-4f);
  }
}

TEST_F(BoneSkinControlTest, BindMatricesComeBeforeTheBoneTransform) {
  // A bone turned a quarter about z at (4, 0, 0) with the bind matrix that
  // takes its bind pose (at (4, 0, 0), unturned) back to the origin: a
  // vertex at (5, 0, 0) swings to (4, 1, 0).
  CPointer<CGeometry> geometry(new CGeometry());
  ASSERT_EQ(geometry->AllocateWorldXYZ(1), kOk);
  geometry->GetWorldXYZ()[0] = {5, 0, 0};
  CMatrix4 turned = TurnAndMove();
  turned.SetTranslation({4, 0, 0});
  CPointer<CNode> bone = Bone(u"bone", turned);
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  ASSERT_EQ(skin->SetSkinWeightListCount(1), kOk);
  ASSERT_EQ(skin->AddBone(bone.Get(), Translation(-4, 0, 0)), kOk);
  ASSERT_EQ(skin->AddSkinWeight(0, 0, bone.Get(), 1.0f), kOk);
  ASSERT_EQ(geometry->AddControl(skin.Get()), kOk);
  ASSERT_EQ(skin->Update(0), kOk);
  ExpectNear(geometry->GetWorldXYZ()[0], {4, 1, 0});
  ASSERT_EQ(skin->GetPalette().size(), 1u);
}

TEST_F(BoneSkinControlTest, AProjectiveBoneMatrixIsDividedByW) {
  // Column 3 of the bone's matrix is (0, 0, 0, 2): the blended point is
  // halved by the divide by w, for a vertex on that bone alone and for one
  // that shares it with an affine bone.
  CPointer<CGeometry> geometry(new CGeometry());
  ASSERT_EQ(geometry->AllocateWorldXYZ(2), kOk);
  geometry->GetWorldXYZ()[0] = {2, 4, 6};
  geometry->GetWorldXYZ()[1] = {2, 4, 6};
  CMatrix4 projective = Translation(2, 0, 0);
  projective.m[3][3] = 2;
  CPointer<CNode> bone = Bone(u"projective", projective);
  CPointer<CNode> plain = Bone(u"plain", Translation(0, 0, 2));
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  ASSERT_EQ(skin->SetSkinWeightListCount(1), kOk);
  ASSERT_EQ(skin->AddBone(bone.Get(), CMatrix4()), kOk);
  ASSERT_EQ(skin->AddBone(plain.Get(), CMatrix4()), kOk);
  ASSERT_EQ(skin->AddSkinWeight(0, 0, bone.Get(), 1.0f), kOk);
  ASSERT_EQ(skin->AddSkinWeight(0, 1, bone.Get(), 0.5f), kOk);
  ASSERT_EQ(skin->AddSkinWeight(0, 1, plain.Get(), 0.5f), kOk);
  ASSERT_EQ(geometry->AddControl(skin.Get()), kOk);
  ASSERT_EQ(skin->Update(0), kOk);
  ExpectNear(geometry->GetWorldXYZ()[0], {2, 2, 3});
  // (0.5 (4, 4, 6) + 0.5 (2, 4, 8)) / (0.5 x 2 + 0.5 x 1)
  ExpectNear(geometry->GetWorldXYZ()[1], Vec(3, 4, 7) * (1.0f / 1.5f));
}

TEST_F(BoneSkinControlTest, TheLevelInUseChoosesTheList) {
  // Two levels of 3 and 2 vertices; list 0 puts everything on A, list 1 on B.
  Rig rig(3);
  CPointer<CGeometryData> big;
  CPointer<CGeometryData> small;
  ASSERT_EQ(CGeometryData::Create(big), kOk);
  ASSERT_EQ(CGeometryData::Create(small), kOk);
  ASSERT_EQ(big->AllocateXYZ(3), kOk);
  ASSERT_EQ(small->AllocateXYZ(2), kOk);
  ASSERT_EQ(rig.geometry->SetLods(std::vector<CGeometryData*>{big.Get(), small.Get()}), kOk);
  ASSERT_EQ(rig.skin->SetSkinWeightListCount(2), kOk);
  for (u32 j = 0; j < 3; ++j) ASSERT_EQ(rig.skin->AddSkinWeight(0, j, rig.a.Get(), 1.0f), kOk);
  for (u32 j = 0; j < 2; ++j) ASSERT_EQ(rig.skin->AddSkinWeight(1, j, rig.b.Get(), 1.0f), kOk);
  const std::vector<Vec> rest = Positions(*rig.geometry);

  struct Row {
    u32 lod;
    Vec (*bone)(u32 j);
  };
  // A level past the last is the last, as for the mesh.
  for (const Row& row : {Row{0, &Rig::A}, Row{1, &Rig::B}, Row{7, &Rig::B}}) {
    SCOPED_TRACE(row.lod);
    // As the mesh does each frame: the level's positions, not yet in world
    // space.
    std::copy(rest.begin(), rest.end(), rig.geometry->GetWorldXYZ().begin());
    rig.geometry->SetWorldXYZReady(false);
    rig.geometry->SetCurrentLod(row.lod);
    ASSERT_EQ(rig.skin->Update(0), kOk);
    const u32 skinned = row.lod == 0 ? 3 : 2;
    for (u32 j = 0; j < skinned; ++j) ExpectNear(rig.geometry->GetWorldXYZ()[j], row.bone(j));
    // A position past the list moves like an unskinned vertex.
    for (u32 j = skinned; j < 3; ++j) ExpectNear(rig.geometry->GetWorldXYZ()[j], Rig::G(j));
  }
}

TEST_F(BoneSkinControlTest, AMissingListLeavesTheMeshRigidAnEmptyOneSkinsNothing) {
  Rig rig(2);
  const std::vector<Vec> rest = Positions(*rig.geometry);
  CPointer<CGeometryData> big;
  CPointer<CGeometryData> small;
  ASSERT_EQ(CGeometryData::Create(big), kOk);
  ASSERT_EQ(CGeometryData::Create(small), kOk);
  ASSERT_EQ(big->AllocateXYZ(2), kOk);
  ASSERT_EQ(small->AllocateXYZ(1), kOk);
  ASSERT_EQ(rig.geometry->SetLods(std::vector<CGeometryData*>{big.Get(), small.Get()}), kOk);

  // Level 1 in use, one list only: nothing is written, the mesh moves the
  // positions itself.
  rig.geometry->SetCurrentLod(1);
  rig.geometry->SetRecomputeNormals(false);
  EXPECT_EQ(rig.skin->Update(0), kDone);
  EXPECT_EQ(Positions(*rig.geometry), rest);
  EXPECT_FALSE(rig.geometry->IsWorldXYZReady());
  EXPECT_FALSE(rig.geometry->GetRecomputeNormals());

  // Level 0's list is empty: both flags are set, and the positions are in
  // world space as the flag says.
  rig.geometry->SetCurrentLod(0);
  EXPECT_EQ(rig.skin->Update(0), kOk);
  EXPECT_TRUE(rig.geometry->IsWorldXYZReady());
  EXPECT_TRUE(rig.geometry->GetRecomputeNormals());
  for (u32 j = 0; j < 2; ++j) ExpectNear(rig.geometry->GetWorldXYZ()[j], Rig::G(j));
}

TEST_F(BoneSkinControlTest, AListLongerThanWorldXYZStopsAtItsEnd) {
  Rig rig(2);
  for (u32 j = 0; j < 5; ++j) ASSERT_EQ(rig.skin->AddSkinWeight(0, j, rig.a.Get(), 1.0f), kOk);
  ASSERT_EQ(rig.skin->Update(0), kOk);
  ASSERT_EQ(rig.geometry->GetWorldXYZ().GetCount(), 2u);
  for (u32 j = 0; j < 2; ++j) ExpectNear(rig.geometry->GetWorldXYZ()[j], Rig::A(j));
}

TEST_F(BoneSkinControlTest, RefusesWhatItCannotSkin) {
  // Unbound.
  {
    CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
    EXPECT_EQ(skin->Update(0), kErrInvalidArg);
    EXPECT_EQ(skin->UpdateTransform(0), kErrInvalidArg);
  }
  // Bound to a node, which has no vertices.
  {
    CPointer<CNode> node(new CNode());
    CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
    ASSERT_EQ(node->AddControl(skin.Get()), kOk);
    EXPECT_EQ(skin->Update(0), kErrNotFound);
    EXPECT_EQ(skin->UpdateTransform(0), kErrNotFound);
  }
  // Inactive: nothing happens.
  {
    Rig rig(1);
    ASSERT_EQ(rig.skin->AddSkinWeight(0, 0, rig.a.Get(), 1.0f), kOk);
    const std::vector<Vec> rest = Positions(*rig.geometry);
    rig.skin->SetActive(false);
    EXPECT_EQ(rig.skin->Update(0), kDone);
    EXPECT_EQ(rig.skin->UpdateTransform(0), kDone);
    EXPECT_EQ(Positions(*rig.geometry), rest);
    EXPECT_FALSE(rig.geometry->IsWorldXYZReady());
    EXPECT_FALSE(rig.geometry->HasDeformedWorldXYZ());
  }
}

TEST_F(BoneSkinControlTest, TransformUpdateMarksTheGeometryDeformed) {
  Rig rig(1);
  EXPECT_EQ(rig.skin->UpdateTransform(0), kOk);
  EXPECT_TRUE(rig.geometry->HasDeformedWorldXYZ());
  // The geometry clears the flag at the start of its own transform update
  // and the skin, in its chain, sets it again.
  ASSERT_EQ(rig.geometry->UpdateTransform(0), kOk);
  EXPECT_TRUE(rig.geometry->HasDeformedWorldXYZ());
  EXPECT_EQ(rig.skin->ApplyTransform(), kDone);
  EXPECT_EQ(rig.skin->Apply(), kDone);
}

TEST_F(BoneSkinControlTest, TheGeometryUpdatesAfterEveryBone) {
  Rig rig(1);
  // A bone deeper than any geometry floor, and one animated in the data
  // pass at depth 5.
  CPointer<test::CTestLeaf> deep(new test::CTestLeaf(u"deep", 2000000));
  ASSERT_EQ(rig.skin->AddBone(deep.Get(), CMatrix4()), kOk);
  CPointer<test::CTestControl> data(new test::CTestControl(u"data"));
  data->isData = true;
  data->dataDepth = 5;
  ASSERT_EQ(rig.a->AddControl(data.Get()), kOk);

  rig.geometry->SetDirty(true);
  deep->SetDirty(true);
  i32 depth = 0;
  ASSERT_EQ(rig.geometry->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 2000001);

  rig.geometry->SetDirty(true);
  rig.a->SetDirty(true);
  i32 dataDepth = 0;
  i32 time = 0;
  ASSERT_EQ(rig.geometry->GetDataUpdateDepth(&time, dataDepth), kOk);
  EXPECT_EQ(dataDepth, 6);
}

// --- copies and references -----------------------------------------------------------------------

TEST_F(BoneSkinControlTest, CopyToCarriesTheTablesIntoASkinOnly) {
  Rig rig(1);
  ASSERT_EQ(rig.skin->AddSkinWeight(0, 0, rig.b.Get(), 0.5f), kOk);
  DisplacedList displaced;
  CPointer<CBoneSkinControl> target(new CBoneSkinControl());
  ASSERT_EQ(rig.skin->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetReferenceBone(), rig.skin->GetReferenceBone());
  EXPECT_EQ(target->GetBoneXForm(), rig.skin->GetBoneXForm());
  EXPECT_EQ(target->GetSkinWeightSet(), rig.skin->GetSkinWeightSet());

  CPointer<test::CTestControl> foreign(new test::CTestControl(u"foreign"));
  foreign->SetWeight(0.25f);
  EXPECT_EQ(rig.skin->CopyTo(foreign.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(foreign->GetWeight(), 0.25f);
  EXPECT_EQ(rig.skin->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(BoneSkinControlTest, AClonedSceneSkinsToItsOwnBones) {
  CPointer<CNode> root(new CNode());
  Rig rig(1);
  ASSERT_EQ(rig.skin->AddSkinWeight(0, 0, rig.b.Get(), 1.0f), kOk);
  ASSERT_EQ(root->AddChild(rig.a.Get()), kOk);
  ASSERT_EQ(root->AddChild(rig.b.Get()), kOk);
  ASSERT_EQ(root->AddChild(rig.geometry.Get()), kOk);

  CloneMap map;
  CPointer<CBase> rootCopy;
  ASSERT_EQ(CloneObject(rootCopy, map, root.Get(), 0), kOk);
  ASSERT_EQ(rootCopy->RemapAllReferences(map), kOk);
  auto* geometry = DynamicCast<CGeometry>(map.at(rig.geometry.Get()).Get());
  ASSERT_NE(geometry, nullptr);
  auto* copy = DynamicCast<CBoneSkinControl>(geometry->GetFirstControl());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, rig.skin.Get());
  ASSERT_EQ(copy->GetReferenceBone().size(), 2u);
  EXPECT_EQ(copy->GetReferenceBone()[0], map.at(rig.a.Get()).Get());
  EXPECT_EQ(copy->GetReferenceBone()[1], map.at(rig.b.Get()).Get());
  EXPECT_EQ(copy->GetSkinWeightSet(), rig.skin->GetSkinWeightSet());
  EXPECT_EQ(test::Members(copy), test::Members(rig.skin.Get()));
}

TEST_F(BoneSkinControlTest, ResolveReferencesFindsBonesByName) {
  Rig rig(1);
  CPointer<CNode> root(new CNode());
  CPointer<CNode> newA = Bone(u"A", CMatrix4());
  ASSERT_EQ(root->AddChild(newA.Get()), kOk);
  EXPECT_EQ(rig.skin->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(rig.skin->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(rig.skin->GetReferenceBone()[0], newA.Get());
  EXPECT_EQ(rig.skin->GetReferenceBone()[1], nullptr);
}

// --- the record ------------------------------------------------------------------------------------

// A root node holding bones A and B and a two-level mesh skinned to them.
struct SkinnedScene {
  CPointer<CNode> root{new CNode()};
  CPointer<CNode> a = Bone(u"A", Translation(0, 0, 2));
  CPointer<CNode> b = Bone(u"B", Translation(0, 4, 0));
  CPointer<CTriMesh> mesh;
  CPointer<CBoneSkinControl> skin{new CBoneSkinControl()};

  SkinnedScene() {
    root->SetName(u"root");
    EXPECT_EQ(CTriMesh::Create(mesh), kOk);
    mesh->SetName(u"mesh");
    CPointer<CTriMeshData> big;
    CPointer<CTriMeshData> small;
    EXPECT_EQ(CTriMeshData::Create(big), kOk);
    EXPECT_EQ(CTriMeshData::Create(small), kOk);
    EXPECT_EQ(big->AllocateXYZ(3), kOk);
    EXPECT_EQ(small->AllocateXYZ(2), kOk);
    EXPECT_EQ(mesh->SetLods(std::vector<CGeometryData*>{big.Get(), small.Get()}), kOk);
    EXPECT_EQ(skin->SetSkinWeightListCount(2), kOk);
    EXPECT_EQ(skin->AddBone(a.Get(), Translation(1, 2, 3)), kOk);
    EXPECT_EQ(skin->AddBone(b.Get(), TurnAndMove()), kOk);
    // Already in descending order, as a load leaves them.
    EXPECT_EQ(skin->AddSkinWeight(0, 0, a.Get(), 1.0f), kOk);
    EXPECT_EQ(skin->AddSkinWeight(0, 2, b.Get(), 0.75f), kOk);
    EXPECT_EQ(skin->AddSkinWeight(0, 2, a.Get(), 0.25f), kOk);
    EXPECT_EQ(skin->AddSkinWeight(1, 1, b.Get(), 0.5f), kOk);
    EXPECT_EQ(mesh->AddControl(skin.Get()), kOk);
    EXPECT_EQ(root->AddChild(a.Get()), kOk);
    EXPECT_EQ(root->AddChild(b.Get()), kOk);
    EXPECT_EQ(root->AddChild(mesh.Get()), kOk);
  }
};

CBoneSkinControl* SkinOf(CBase* root) {
  CBase* mesh = root != nullptr ? root->Find(u"mesh", &CTriMesh::StaticClassRecord(), false, false) : nullptr;
  if (mesh == nullptr) return nullptr;
  return DynamicCast<CBoneSkinControl>(static_cast<CTriMesh*>(mesh)->GetFirstControl());
}

TEST_F(BoneSkinControlTest, RoundTripsThroughAFile) {
  SkinnedScene scene;
  const Bytes first = test::SaveRoots({scene.root.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  u32 records = 0;
  for (const CPointer<CBase>& o : stream.GetLoadedObjects()) records += o->GetSaveSize();
  EXPECT_EQ(first.size(), 40u + records);
  CBoneSkinControl* skin = SkinOf(stream.GetRootObject(0));
  ASSERT_NE(skin, nullptr);
  EXPECT_EQ(test::Members(skin), test::Members(scene.skin.Get()));
  EXPECT_EQ(skin->GetSkinWeightSet(), scene.skin->GetSkinWeightSet());
  EXPECT_EQ(skin->GetBoneXForm(), scene.skin->GetBoneXForm());
  ASSERT_EQ(skin->GetReferenceBone().size(), 2u);
  EXPECT_EQ(skin->GetReferenceBone()[0]->GetName(), u"A");
  EXPECT_EQ(skin->GetReferenceBone()[1]->GetName(), u"B");
  EXPECT_NE(skin->GetReferenceBone()[0], scene.a.Get());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(BoneSkinControlTest, LoadSortsEachEntryByDescendingWeight) {
  SkinnedScene scene;
  CPointer<CNode> c = Bone(u"C", CMatrix4());
  ASSERT_EQ(scene.skin->AddBone(c.Get(), CMatrix4()), kOk);
  ASSERT_EQ(scene.root->AddChild(c.Get()), kOk);
  ASSERT_EQ(scene.skin->AddSkinWeight(0, 1, scene.a.Get(), 0.2f), kOk);
  ASSERT_EQ(scene.skin->AddSkinWeight(0, 1, scene.b.Get(), 0.3f), kOk);
  ASSERT_EQ(scene.skin->AddSkinWeight(0, 1, c.Get(), 0.5f), kOk);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(test::SaveRoots({scene.root.Get()}), stream, device), kOk);
  CBoneSkinControl* skin = SkinOf(stream.GetRootObject(0));
  ASSERT_NE(skin, nullptr);
  const SkinWeight& entry = skin->GetSkinWeightSet()[0][1];
  EXPECT_EQ(entry.PureWeight, (std::vector<f32>{0.5f, 0.3f, 0.2f}));
  EXPECT_EQ(entry.BoneID, (std::vector<u8>{2, 1, 0}));
}

// --- byte images ---------------------------------------------------------------------------------------

constexpr u64 kMeshId = 0x10;
constexpr u64 kLevelId = 0x20;
constexpr u64 kBoneA = 0x40;
constexpr u64 kBoneB = 0x41;

struct StoredPair {
  f32 weight;
  u8 bone;
};
using StoredList = std::vector<std::vector<StoredPair>>;

// Version pair 2.`minor` and the tables: bind matrices, the lists (2.01:
// exactly one, without a count), the bone ids.
ByteWriter& TablesPart(ByteWriter& w, u32 minor, const std::vector<CMatrix4>& matrices,
                       const std::vector<StoredList>& lists, const std::vector<u64>& bones) {
  w.Pair(2, minor).U32(static_cast<u32>(matrices.size()));
  for (const CMatrix4& m : matrices) {
    for (const auto& row : m.m) {
      for (f32 e : row) w.F32(e);
    }
  }
  if (minor >= 2) w.U32(static_cast<u32>(lists.size()));
  for (const StoredList& list : lists) {
    w.U32(static_cast<u32>(list.size()));
    for (const auto& entry : list) {
      w.U32(static_cast<u32>(entry.size()));
      for (const StoredPair& p : entry) w.F32(p.weight);
      for (const StoredPair& p : entry) w.U8(p.bone);
    }
  }
  w.U32(static_cast<u32>(bones.size()));
  for (u64 id : bones) w.U64(id);
  return w;
}

struct OldBone {
  u32 id;
  CMatrix4 bind;
  std::vector<std::pair<u32, f32>> pairs;  // (vertex, weight)
};

// The old per-bone form: version pair 2.00, then per bone its 4-byte id,
// bind matrix and (vertex, weight) pairs.
ByteWriter& OldPart(ByteWriter& w, const std::vector<OldBone>& bones) {
  w.Pair(2, 0).U32(static_cast<u32>(bones.size()));
  for (const OldBone& bone : bones) {
    w.U32(bone.id);
    for (const auto& row : bone.bind.m) {
      for (f32 e : row) w.F32(e);
    }
    w.U32(static_cast<u32>(bone.pairs.size()));
    for (const auto& [vertex, weight] : bone.pairs) w.U32(vertex).F32(weight);
  }
  return w;
}

// The skin record with the given part after the CDataControl part.
ByteWriter SkinBody(u64 id, const ByteWriter& part) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.object = kMeshId;
  test::ControlPart(w, fields).Pair(2, 0);
  w.Bytes(part.Data());
  return w;
}

// A current triangle mesh whose control chain is `skin` and whose only
// level is kLevelId.
ByteWriter MeshBody(u64 skin) {
  ByteWriter w;
  test::BasePart(w, kMeshId, u"mesh");
  test::DorunPart(w, skin);
  test::SpatialPart206(w);
  w.Pair(2, 4).U64(0).U32(1).U64(kLevelId).U8(0).U8(0).U32(0);
  return w.Pair(2, 5).F32(0.3f).F32(0.05f).F32(0.1f).F32(0.025f).U32(1).U32(0);
}

// Vertex data with `n` positions and nothing else.
ByteWriter LevelBody(u32 n) {
  ByteWriter w;
  test::ObjectHead(w, kLevelId, u"level").Pair(1, 0).U32(n);
  for (u32 i = 0; i < n; ++i) w.F32(static_cast<f32>(i)).F32(0).F32(0);
  for (int i = 0; i < 9; ++i) w.U32(0);
  return w;
}

// The file: the mesh and the two bones (roots), the mesh's level of
// `vertices`, and last the skin record (id `skinId`), which starts at
// `skinAt` when asked.
Bytes SkinFile(u64 skinId, const ByteWriter& part, u32 vertices = 4, std::size_t* skinAt = nullptr) {
  test::SceneFile file;
  file.Record("CTriMesh", MeshBody(skinId), true);
  file.Record("CGeometryData", LevelBody(vertices));
  file.Record("CTestLeaf", test::LeafBody(kBoneA, u"A"), true);
  file.Record("CTestLeaf", test::LeafBody(kBoneB, u"B"), true);
  if (skinAt != nullptr) *skinAt = file.Data().size();
  file.Record("CBoneSkinControl", SkinBody(skinId, part));
  return file.Data();
}

struct Loaded {
  CStream stream;
  CMemoryIo device;
  Result result = kOk;
  explicit Loaded(const Bytes& bytes) { result = test::LoadScene(bytes, stream, device); }
  CBoneSkinControl* Skin() const {
    auto* mesh = DynamicCast<CTriMesh>(stream.GetRootObject(0));
    return mesh != nullptr ? DynamicCast<CBoneSkinControl>(mesh->GetFirstControl()) : nullptr;
  }
};

std::vector<std::u16string> BoneNames(const CBoneSkinControl& skin) {
  std::vector<std::u16string> names;
  for (const CBase* bone : skin.GetReferenceBone()) names.push_back(bone != nullptr ? bone->GetName() : u"null");
  return names;
}

TEST_F(BoneSkinControlTest, TheOneListFormLoadsAsOneList) {
  ByteWriter part;
  TablesPart(part, 1, {Translation(1, 0, 0), Translation(2, 0, 0)}, {{{{0.25f, 0}, {0.75f, 1}}, {}}},
             {kBoneA, kBoneB});
  Loaded loaded(SkinFile(0x30, part));
  ASSERT_EQ(loaded.result, kOk);
  CBoneSkinControl* skin = loaded.Skin();
  ASSERT_NE(skin, nullptr);
  ASSERT_EQ(skin->GetSkinWeightSet().size(), 1u);
  ASSERT_EQ(skin->GetSkinWeightSet()[0].size(), 2u);
  EXPECT_EQ(skin->GetSkinWeightSet()[0][0].PureWeight, (std::vector<f32>{0.75f, 0.25f}));
  EXPECT_EQ(skin->GetSkinWeightSet()[0][0].BoneID, (std::vector<u8>{1, 0}));
  EXPECT_EQ(BoneNames(*skin), (std::vector<std::u16string>{u"A", u"B"}));
  EXPECT_EQ(skin->GetBoneXForm()[1], Translation(2, 0, 0));
  // It saves in the current form, which loads back equal.
  const Bytes again = test::SaveLoaded(loaded.stream);
  Loaded reloaded(again);
  ASSERT_EQ(reloaded.result, kOk);
  ASSERT_NE(reloaded.Skin(), nullptr);
  EXPECT_EQ(test::Members(reloaded.Skin()), test::Members(skin));
}

// The old form: bone B (id 0x41) is stored before bone A (id 0x40); B
// carries vertex 1 (0.25) and a zero weight on vertex 9, past the level
// (dropped, so it names nothing), A carries vertices 0 (1.0) and 1 (0.75).
ByteWriter OldFormPart() {
  ByteWriter part;
  OldPart(part, {{static_cast<u32>(kBoneB), Translation(0, 2, 0), {{1, 0.25f}, {9, 0.0f}}},
                 {static_cast<u32>(kBoneA), Translation(0, 1, 0), {{0, 1.0f}, {1, 0.75f}}}});
  return part;
}

TEST_F(BoneSkinControlTest, TheOldFormIsConvertedAtLinkWhateverTheLinkOrder) {
  // Records link in id order: a skin id below the mesh's links before the
  // mesh has its level, one above after.
  for (u64 skinId : {u64{0x08}, u64{0x30}}) {
    SCOPED_TRACE(skinId);
    Loaded loaded(SkinFile(skinId, OldFormPart(), 4));
    ASSERT_EQ(loaded.result, kOk);
    CBoneSkinControl* skin = loaded.Skin();
    ASSERT_NE(skin, nullptr);
    // Bones in ascending id order, each with its own bind matrix.
    EXPECT_EQ(BoneNames(*skin), (std::vector<std::u16string>{u"A", u"B"}));
    ASSERT_EQ(skin->GetBoneXForm().size(), 2u);
    EXPECT_EQ(skin->GetBoneXForm()[0], Translation(0, 1, 0));
    EXPECT_EQ(skin->GetBoneXForm()[1], Translation(0, 2, 0));
    // One list with an entry per vertex of level 0; the zero weight is
    // dropped; pairs in descending order.
    ASSERT_EQ(skin->GetSkinWeightSet().size(), 1u);
    const auto& list = skin->GetSkinWeightSet()[0];
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].PureWeight, (std::vector<f32>{1.0f}));
    EXPECT_EQ(list[0].BoneID, (std::vector<u8>{0}));
    EXPECT_EQ(list[1].PureWeight, (std::vector<f32>{0.75f, 0.25f}));
    EXPECT_EQ(list[1].BoneID, (std::vector<u8>{0, 1}));
    EXPECT_TRUE(list[2].PureWeight.empty());
    EXPECT_TRUE(list[3].PureWeight.empty());
    // Saved again, it is a current record.
    Loaded reloaded(test::SaveLoaded(loaded.stream));
    ASSERT_EQ(reloaded.result, kOk);
    ASSERT_NE(reloaded.Skin(), nullptr);
    EXPECT_EQ(reloaded.Skin()->GetSkinWeightSet(), skin->GetSkinWeightSet());
  }
}

TEST_F(BoneSkinControlTest, ABoneOfAnotherClassIsRefusedAtUpdate) {
  // The second bone id names the mesh's level, which is not a spatial.
  ByteWriter part;
  TablesPart(part, 2, {CMatrix4(), CMatrix4()}, {{{{1.0f, 0}}}}, {kBoneA, kLevelId});
  Loaded loaded(SkinFile(0x30, part));
  ASSERT_EQ(loaded.result, kOk);
  auto* mesh = DynamicCast<CTriMesh>(loaded.stream.GetRootObject(0));
  ASSERT_NE(mesh, nullptr);
  const std::vector<Vec> before = Positions(*mesh);
  EXPECT_EQ(loaded.Skin()->Update(0), kErrNotFound);
  EXPECT_EQ(Positions(*mesh), before);
  EXPECT_FALSE(mesh->IsWorldXYZReady());
}

TEST_F(BoneSkinControlTest, InvalidTablesAreRefused) {
  const auto current = [](const std::vector<CMatrix4>& matrices, const std::vector<StoredList>& lists,
                          const std::vector<u64>& bones) {
    ByteWriter part;
    TablesPart(part, 2, matrices, lists, bones);
    return part;
  };
  const auto old = [](const std::vector<OldBone>& bones) {
    ByteWriter part;
    OldPart(part, bones);
    return part;
  };
  std::vector<OldBone> tooManyBones(257, OldBone{static_cast<u32>(kBoneA), CMatrix4(), {}});
  ByteWriter newer;
  TablesPart(newer, 3, {}, {}, {});
  // A list count, an entry count and a pair count far beyond the record.
  ByteWriter hugeLists;
  hugeLists.Pair(2, 2).U32(0).U32(0x40000000);
  ByteWriter hugeEntries;
  hugeEntries.Pair(2, 2).U32(0).U32(1).U32(0x40000000);
  ByteWriter hugePairs;
  hugePairs.Pair(2, 2).U32(0).U32(1).U32(1).U32(0x40000000);
  ByteWriter hugeOldPairs;
  hugeOldPairs.Pair(2, 0).U32(1).U32(static_cast<u32>(kBoneA));
  for (int i = 0; i < 16; ++i) hugeOldPairs.F32(0);
  hugeOldPairs.U32(0x40000000);

  struct Row {
    const char* what;
    u64 skinId;
    ByteWriter part;
    Result expected;
  };
  const Row rows[] = {
      {"a bone index at the bone count", 0x30, current({CMatrix4()}, {{{{1.0f, 1}}}}, {kBoneA}), kErrNotFound},
      {"more bind matrices than bones", 0x30, current({CMatrix4(), CMatrix4()}, {}, {kBoneA}), kErrNotFound},
      // An old vertex index at or past the level's vertex count, with the
      // level linked before the skin (0x30) and after it (0x08).
      {"an old vertex index at the vertex count, level linked first", 0x30,
       old({{static_cast<u32>(kBoneA), CMatrix4(), {{4, 1.0f}}}}), kErrNotFound},
      {"an old vertex index at the vertex count, level linked last", 0x08,
       old({{static_cast<u32>(kBoneA), CMatrix4(), {{4, 1.0f}}}}), kErrNotFound},
      {"an old vertex index past the vertex count, level linked first", 0x30,
       old({{static_cast<u32>(kBoneA), CMatrix4(), {{0, 0.5f}, {6, 1.0f}}}}), kErrNotFound},
      {"an old vertex index past the vertex count, level linked last", 0x08,
       old({{static_cast<u32>(kBoneA), CMatrix4(), {{0, 0.5f}, {6, 1.0f}}}}), kErrNotFound},
      // Level not linked yet: no level of this file can hold that vertex.
      {"an old vertex index beyond any level of the file", 0x08,
       old({{static_cast<u32>(kBoneA), CMatrix4(), {{0x7FFFFFFF, 1.0f}}}}), kErrNotFound},
      {"more old bones than one byte addresses", 0x30, old(tooManyBones), kErrNotFound},
      {"a newer version", 0x30, newer, kErrNewerVersion},
      {"a list count beyond the record", 0x30, hugeLists, kErrStream},
      {"an entry count beyond the record", 0x30, hugeEntries, kErrStream},
      {"a pair count beyond the record", 0x30, hugePairs, kErrStream},
      {"an old pair count beyond the record", 0x30, hugeOldPairs, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Loaded loaded(SkinFile(row.skinId, row.part, 4));
    EXPECT_EQ(loaded.result, row.expected);
  }
}

TEST_F(BoneSkinControlTest, EveryPrefixOfEachFormFails) {
  ByteWriter current;
  TablesPart(current, 2, {CMatrix4(), CMatrix4()}, {{{{0.5f, 0}, {0.5f, 1}}}, {{{1.0f, 1}}}}, {kBoneA, kBoneB});
  ByteWriter oneList;
  TablesPart(oneList, 1, {CMatrix4()}, {{{{1.0f, 0}}}}, {kBoneA});
  const ByteWriter old = OldFormPart();
  for (const ByteWriter* part : std::vector<const ByteWriter*>{&current, &oneList, &old}) {
    std::size_t skinAt = 0;
    const Bytes bytes = SkinFile(0x30, *part, 4, &skinAt);
    {
      Loaded whole(bytes);
      ASSERT_EQ(whole.result, kOk);
    }
    // Every cut inside the skin record (a cut before it is a whole file
    // without the skin).
    for (std::size_t n = skinAt + 1; n < bytes.size(); ++n) {
      const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
      Loaded loaded(prefix);
      EXPECT_LT(loaded.result, 0) << n;
    }
  }
}

TEST_F(BoneSkinControlTest, DescribeMembersNamesTheTables) {
  SkinnedScene scene;
  const std::string text = test::Members(scene.skin.Get());
  for (const char* name : {"CBoneSkinControl Member", "BoneInfo", "BoneXForm", "ReferenceBone", "SkinWeightSet",
                           "SkinWeight", "PureWeight", "Weight", "BoneID", "CControl Member"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_LT(text.find("CBoneSkinControl Member"), text.find("CControl Member"));
}

}  // namespace
}  // namespace KT
