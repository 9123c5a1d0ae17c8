// Bounding meshes: the chain a spatial keeps, the world-space update, the
// reference to a spatial, copying and cloning, and the record (round trip,
// sizes, truncation, older versions and hostile files).
#include "scene/bounding_mesh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_expect.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_box.h"
#include "scene/spatial.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestLeaf;
using Vec = CVector3<float>;

class BoundingMeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CBoundingMesh", &CreateObject<CBoundingMesh>);
    CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
    test::RegisterSceneTestClasses();
    test::UseTestIds(0);
  }
};

CPointer<CBoundingMesh> NewMesh(const char16_t* name) {
  CPointer<CBoundingMesh> mesh;
  EXPECT_EQ(CBoundingMesh::Create(mesh), kOk);
  mesh->SetName(name);
  return mesh;
}

// A mesh whose triangles are the triples of `indices`, over `points`.
CPointer<CBoundingMesh> MeshWith(const char16_t* name, const std::vector<u32>& indices,
                                 const std::vector<Vec>& points) {
  CPointer<CBoundingMesh> mesh = NewMesh(name);
  EXPECT_EQ(mesh->SetTriangles(static_cast<u32>(indices.size() / 3), indices.empty() ? nullptr : indices.data()), kOk);
  if (!points.empty()) {
    EXPECT_EQ(mesh->AllocateVertices(static_cast<u32>(points.size())), kOk);
    for (u32 i = 0; i < points.size(); ++i) mesh->GetXYZ()[i] = points[i];
  }
  return mesh;
}

std::vector<CBoundingMesh*> Chain(CBoundingMesh* head) {
  std::vector<CBoundingMesh*> chain;
  for (CBoundingMesh* p = head; p != nullptr; p = p->GetNextMesh()) chain.push_back(p);
  return chain;
}

// --- fields and the chain ------------------------------------------------------

TEST_F(BoundingMeshTest, DefaultsAndClassRecord) {
  CPointer<CBoundingMesh> mesh = NewMesh(u"m");
  EXPECT_EQ(mesh->GetReference(), nullptr);
  EXPECT_EQ(mesh->GetNextMesh(), nullptr);
  EXPECT_EQ(mesh->GetTriangleQuantity(), 0u);
  EXPECT_TRUE(mesh->GetXYZTriIndex().IsEmpty());
  EXPECT_TRUE(mesh->GetXYZ().IsEmpty());
  EXPECT_TRUE(mesh->GetWorldXYZ().IsEmpty());
  EXPECT_EQ(mesh->GetColor(), CColor(1.0f, 1.0f, 1.0f));
  EXPECT_TRUE(mesh->IsHidden());
  EXPECT_TRUE(mesh->IsActive());
  EXPECT_FALSE(mesh->IsFrozen());
  EXPECT_STREQ(mesh->GetClassRecord().name, "CBoundingMesh");
  EXPECT_EQ(mesh->GetVersion(), 203u);
  EXPECT_TRUE(mesh->IsKindOf(CDorun::StaticClassRecord()));
}

TEST_F(BoundingMeshTest, AllocateVerticesGivesBothBuffersZeroedPositions) {
  CPointer<CBoundingMesh> mesh = NewMesh(u"m");
  EXPECT_EQ(mesh->AllocateVertices(0), kErrInvalidArg);
  EXPECT_TRUE(mesh->GetXYZ().IsEmpty());
  ASSERT_EQ(mesh->AllocateVertices(4), kOk);
  ASSERT_EQ(mesh->GetXYZ().GetCount(), 4u);
  ASSERT_EQ(mesh->GetWorldXYZ().GetCount(), 4u);
  for (u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(mesh->GetXYZ()[i], kVectorZero);
    EXPECT_EQ(mesh->GetWorldXYZ()[i], kVectorZero);
  }
}

TEST_F(BoundingMeshTest, AppendedMeshesFormTheChainInCallOrder) {
  CPointer<CTestLeaf> owner(new CTestLeaf(u"owner"));
  CPointer<CBoundingMesh> meshes[] = {NewMesh(u"head"), NewMesh(u"second"), NewMesh(u"third")};
  for (auto& mesh : meshes) ASSERT_EQ(owner->AddBoundingMesh(mesh.Get()), kOk);
  EXPECT_EQ(Chain(owner->GetBoundingMesh()),
            (std::vector<CBoundingMesh*>{meshes[0].Get(), meshes[1].Get(), meshes[2].Get()}));
  // Each is held by its predecessor (or the owner) and by this test.
  for (auto& mesh : meshes) EXPECT_EQ(mesh->GetReferences(), 2u);
  EXPECT_TRUE(meshes[0]->IsModified());
}

TEST_F(BoundingMeshTest, AppendRefusesNullAndEveryLoop) {
  CPointer<CBoundingMesh> a = NewMesh(u"a");
  CPointer<CBoundingMesh> b = NewMesh(u"b");
  CPointer<CBoundingMesh> c = NewMesh(u"c");
  ASSERT_EQ(a->AppendMesh(b.Get()), kOk);
  EXPECT_EQ(a->AppendMesh(nullptr), kErrInvalidArg);
  EXPECT_EQ(a->AppendMesh(a.Get()), kErrInvalidArg);  // already the head
  EXPECT_EQ(a->AppendMesh(b.Get()), kErrInvalidArg);  // already the tail
  EXPECT_EQ(b->AppendMesh(a.Get()), kErrInvalidArg);  // called on the tail
  // A mesh whose own chain leads into this one.
  CPointer<CBoundingMesh> d = NewMesh(u"d");
  ASSERT_EQ(d->AppendMesh(a.Get()), kOk);
  EXPECT_EQ(a->AppendMesh(d.Get()), kErrInvalidArg);
  EXPECT_EQ(Chain(d.Get()), (std::vector<CBoundingMesh*>{d.Get(), a.Get(), b.Get()}));
  ASSERT_EQ(a->AppendMesh(c.Get()), kOk);
  EXPECT_EQ(Chain(a.Get()), (std::vector<CBoundingMesh*>{a.Get(), b.Get(), c.Get()}));
}

TEST_F(BoundingMeshTest, SetTrianglesAndCheckedTriangleAccess) {
  CPointer<CBoundingMesh> mesh = MeshWith(u"m", {0, 1, 2, 2, 1, 7}, {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}});
  EXPECT_EQ(mesh->GetTriangleQuantity(), 2u);
  ASSERT_EQ(mesh->GetXYZTriIndex().GetCount(), 6u);
  Vec corners[3];
  ASSERT_EQ(mesh->GetTriangle(0, corners), kOk);
  EXPECT_EQ(corners[0], Vec(1, 0, 0));
  EXPECT_EQ(corners[2], Vec(0, 0, 3));
  // Index 7 names no position: never read.
  EXPECT_EQ(mesh->GetTriangle(1, corners), kErrNotFound);
  EXPECT_EQ(mesh->GetTriangle(2, corners), kErrOutOfRange);
  // A count beyond the stored indices is refused the same way.
  mesh->SetTriangleQuantity(5);
  EXPECT_EQ(mesh->GetTriangle(2, corners), kErrOutOfRange);
  ASSERT_EQ(mesh->SetTriangles(0, nullptr), kOk);
  EXPECT_EQ(mesh->GetTriangleQuantity(), 0u);
  EXPECT_TRUE(mesh->GetXYZTriIndex().IsEmpty());
  // Zeroed indices when none are given.
  ASSERT_EQ(mesh->SetTriangles(1, nullptr), kOk);
  EXPECT_EQ(mesh->GetXYZTriIndex()[2], 0u);
  EXPECT_EQ(mesh->SetTriangles(0x60000000u, nullptr), kErrOutOfMemory);
  EXPECT_EQ(mesh->GetTriangleQuantity(), 1u);
}

// --- update -------------------------------------------------------------------------

TEST_F(BoundingMeshTest, UpdateWithoutReferenceCopiesThePositions) {
  CPointer<CBoundingMesh> mesh = MeshWith(u"m", {}, {{1, 2, 3}, {-4, 5, -6}});
  ASSERT_EQ(mesh->Update(0), kOk);
  ASSERT_EQ(mesh->GetWorldXYZ().GetCount(), 2u);
  EXPECT_EQ(mesh->GetWorldXYZ()[0], Vec(1, 2, 3));
  EXPECT_EQ(mesh->GetWorldXYZ()[1], Vec(-4, 5, -6));
}

TEST_F(BoundingMeshTest, UpdateMovesPositionsByTheReferenceWorldMatrix) {
  CPointer<CTestLeaf> reference(new CTestLeaf(u"ref"));
  CMatrix4 world;
  world.m[0][0] = 2.0f;  // scale x by 2
  world.SetTranslation({10, 20, 30});
  world.m[3][3] = 2.0f;  // w = 2 for every point: everything halves
  reference->SetWorld(CMatrix3(), CMatrix3(), world);
  CPointer<CBoundingMesh> mesh = MeshWith(u"m", {}, {{1, 1, 1}, {0, 0, 0}});
  mesh->SetReference(reference.Get());
  ASSERT_EQ(mesh->Update(0), kOk);
  testing::ExpectNear(mesh->GetWorldXYZ()[0], Vec(6, 10.5f, 15.5f), 1e-5f);
  testing::ExpectNear(mesh->GetWorldXYZ()[1], Vec(5, 10, 15), 1e-5f);
  // Positions replaced directly get a world buffer of their own size.
  ASSERT_EQ(mesh->GetXYZ().Create(3), kOk);
  ASSERT_EQ(mesh->Update(0), kOk);
  EXPECT_EQ(mesh->GetWorldXYZ().GetCount(), 3u);
}

TEST_F(BoundingMeshTest, EveryMeshOfTheChainJoinsTheDataPassOnce) {
  CPointer<CTestLeaf> owner(new CTestLeaf(u"owner"));
  CPointer<CBoundingMesh> meshes[] = {NewMesh(u"a"), NewMesh(u"b"), NewMesh(u"c")};
  for (auto& mesh : meshes) ASSERT_EQ(owner->AddBoundingMesh(mesh.Get()), kOk);
  std::vector<CDorun*> animated;
  ASSERT_EQ(owner->CollectAnimated(animated), kOk);
  ASSERT_EQ(owner->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, (std::vector<CDorun*>{meshes[0].Get(), meshes[1].Get(), meshes[2].Get()}));
  std::vector<CDorun*> single;
  ASSERT_EQ(meshes[2]->CollectAnimated(single), kOk);
  ASSERT_EQ(meshes[2]->CollectAnimated(single), kOk);
  EXPECT_EQ(single, (std::vector<CDorun*>{meshes[2].Get()}));
}

TEST_F(BoundingMeshTest, ReferenceRaisesTheOwnerUpdateDepth) {
  CPointer<CTestLeaf> owner(new CTestLeaf(u"owner"));
  CPointer<CTestLeaf> target(new CTestLeaf(u"target"));
  CPointer<CBoundingMesh> mesh = NewMesh(u"m");
  ASSERT_EQ(owner->AddBoundingMesh(mesh.Get()), kOk);

  i32 depth = 0;
  EXPECT_EQ(mesh->RaiseDepthOfReference(owner.Get(), 0, depth), kDone);  // no reference
  mesh->SetReference(owner.Get());
  EXPECT_EQ(mesh->RaiseDepthOfReference(owner.Get(), 0, depth), kDone);  // its own owner
  EXPECT_EQ(depth, 0);
  owner->SetDirty();
  ASSERT_EQ(owner->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 0);

  mesh->SetReference(target.Get());
  target->SetDirty();
  EXPECT_EQ(mesh->RaiseDepthOfReference(owner.Get(), 0, depth), kOk);
  EXPECT_EQ(depth, 1);
  owner->SetDirty();
  target->SetDirty();
  depth = 0;
  ASSERT_EQ(owner->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 1);
}

// --- search, references, copies --------------------------------------------------

TEST_F(BoundingMeshTest, FindAndCollectWalkTheChain) {
  CPointer<CBoundingMesh> meshes[] = {NewMesh(u"a"), NewMesh(u"b"), NewMesh(u"c")};
  ASSERT_EQ(meshes[0]->AppendMesh(meshes[1].Get()), kOk);
  ASSERT_EQ(meshes[0]->AppendMesh(meshes[2].Get()), kOk);
  EXPECT_EQ(meshes[0]->Find(u"c", nullptr, false, false), meshes[2].Get());
  EXPECT_EQ(meshes[1]->Find(u"a", nullptr, false, false), nullptr);
  std::vector<CBase*> found;
  meshes[0]->Collect(found, nullptr, &CBoundingMesh::StaticClassRecord(), false, false);
  EXPECT_EQ(found.size(), 3u);
  EXPECT_TRUE(meshes[0]->UpdateMarked({meshes[2].Get()}));
  EXPECT_TRUE(meshes[1]->IsMarked());
  EXPECT_TRUE(meshes[2]->IsMarked());
  meshes[0]->ClearMarked();
  EXPECT_FALSE(meshes[2]->IsMarked());
}

TEST_F(BoundingMeshTest, ResolveReferencesFindsTheSpatialOfTheSameName) {
  CPointer<CTestLeaf> root(new CTestLeaf(u"root"));
  CPointer<CTestLeaf> inTree(new CTestLeaf(u"target"));
  root->SetAttachment(inTree.Get());
  CPointer<CTestLeaf> old(new CTestLeaf(u"target"));
  CPointer<CBoundingMesh> first = NewMesh(u"target");  // same name, not a spatial
  CPointer<CBoundingMesh> second = NewMesh(u"second");
  first->AppendMesh(second.Get());
  root->AddBoundingMesh(first.Get());
  second->SetReference(old.Get());
  EXPECT_EQ(first->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(first->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(second->GetReference(), inTree.Get());
  EXPECT_EQ(first->GetReference(), nullptr);

  CPointer<CTestLeaf> stranger(new CTestLeaf(u"nowhere"));
  first->SetReference(stranger.Get());
  EXPECT_EQ(first->ResolveReferences(root.Get()), kErrCloneMissing);
}

TEST_F(BoundingMeshTest, RemapReferencesUsesTheCloneMap) {
  CPointer<CTestLeaf> a(new CTestLeaf(u"a"));
  CPointer<CTestLeaf> aClone(new CTestLeaf(u"a"));
  CPointer<CBoundingMesh> mesh = NewMesh(u"m");
  CloneMap map;
  EXPECT_EQ(mesh->RemapReferences(map), kOk);
  mesh->SetReference(a.Get());
  EXPECT_EQ(mesh->RemapReferences(map), kErrCloneMissing);
  map[a.Get()] = NewMesh(u"not a spatial");
  EXPECT_EQ(mesh->RemapReferences(map), kErrNotFound);
  map[a.Get()] = aClone.Get();
  ASSERT_EQ(mesh->RemapReferences(map), kOk);
  EXPECT_EQ(mesh->GetReference(), aClone.Get());
}

TEST_F(BoundingMeshTest, CloningASpatialClonesTheChainAndRemapsReferences) {
  CPointer<CTestLeaf> root(new CTestLeaf(u"root"));
  CPointer<CTestLeaf> target(new CTestLeaf(u"target"));
  root->SetAttachment(target.Get());
  CPointer<CBoundingMesh> meshes[] = {MeshWith(u"a", {0, 1, 2}, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), NewMesh(u"b"),
                                      NewMesh(u"c")};
  meshes[0]->SetReference(target.Get());
  meshes[1]->SetReference(root.Get());
  for (auto& mesh : meshes) root->AddBoundingMesh(mesh.Get());

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(root->Clone(out, map, 0), kOk);
  ASSERT_EQ(out->RemapAllReferences(map), kOk);
  CTestLeaf* copy = static_cast<CTestLeaf*>(out.Get());
  const std::vector<CBoundingMesh*> chain = Chain(copy->GetBoundingMesh());
  ASSERT_EQ(chain.size(), 3u);
  for (u32 i = 0; i < 3; ++i) {
    EXPECT_NE(chain[i], meshes[i].Get());
    EXPECT_EQ(chain[i]->GetName(), meshes[i]->GetName());
  }
  EXPECT_EQ(chain[0]->GetReference(), copy->GetAttachment());
  EXPECT_EQ(chain[1]->GetReference(), copy);
  EXPECT_EQ(chain[2]->GetReference(), nullptr);
  // The clone's Reference names a spatial of the same class and name.
  EXPECT_EQ(test::Members(chain[0]), test::Members(meshes[0].Get()));
  // A second clone through the same map is the first one.
  CPointer<CBase> again;
  EXPECT_EQ(meshes[0]->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), chain[0]);
}

TEST_F(BoundingMeshTest, CopyToKeepsTheTargetsIsHideAndActive) {
  CPointer<CTestLeaf> reference(new CTestLeaf(u"ref"));
  CPointer<CBoundingMesh> source = MeshWith(u"source", {0, 0, 0}, {{1, 1, 1}});
  CPointer<CBoundingMesh> next = NewMesh(u"next");
  source->AppendMesh(next.Get());
  source->SetReference(reference.Get());
  source->SetColor({0.5f, 0.25f, 0.125f});
  source->SetFrozen(true);
  source->SetHidden(false);
  source->SetActive(false);
  CPointer<CBoundingMesh> target = MeshWith(u"target", {}, {{9, 9, 9}, {8, 8, 8}});
  CPointer<CBoundingMesh> formerNext = NewMesh(u"former");
  target->AppendMesh(formerNext.Get());

  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetName(), u"source");
  EXPECT_EQ(target->GetReference(), reference.Get());
  EXPECT_EQ(target->GetTriangleQuantity(), 1u);
  EXPECT_EQ(target->GetXYZ(), source->GetXYZ());
  EXPECT_EQ(target->GetColor(), source->GetColor());
  EXPECT_TRUE(target->IsFrozen());
  EXPECT_TRUE(target->IsHidden());
  EXPECT_TRUE(target->IsActive());
  EXPECT_EQ(target->GetNextMesh(), next.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), formerNext.Get());

  // An empty source buffer empties the target's.
  CPointer<CBoundingMesh> empty = NewMesh(u"empty");
  ASSERT_EQ(empty->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(target->GetXYZ().IsEmpty());
  EXPECT_TRUE(target->GetWorldXYZ().IsEmpty());
  EXPECT_TRUE(target->GetXYZTriIndex().IsEmpty());
}

TEST_F(BoundingMeshTest, CopyToRefusesOtherClassesAndLoops) {
  CPointer<CBoundingMesh> a = NewMesh(u"a");
  CPointer<CBoundingMesh> b = NewMesh(u"b");
  a->AppendMesh(b.Get());
  CPointer<CBoundingBox> box(new CBoundingBox());
  DisplacedList displaced;
  EXPECT_EQ(a->CopyTo(box.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(a->CopyTo(nullptr, displaced, 0), kErrNotFound);
  // b sharing a's next mesh would make b its own successor.
  EXPECT_EQ(a->CopyTo(b.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(b->GetNextMesh(), nullptr);
  EXPECT_EQ(b->GetName(), u"b");
  EXPECT_EQ(a->CopyTo(a.Get(), displaced, 0), kOk);
}

TEST_F(BoundingMeshTest, HasSubObjects) {
  CPointer<CTestLeaf> reference(new CTestLeaf(u"ref"));
  CPointer<CBoundingMesh> mesh = NewMesh(u"m");
  EXPECT_FALSE(mesh->HasSubObjects());
  mesh->SetReference(reference.Get());
  EXPECT_TRUE(mesh->HasSubObjects());
  mesh->SetReference(nullptr);
  mesh->AppendMesh(NewMesh(u"n").Get());
  EXPECT_TRUE(mesh->HasSubObjects());
}

TEST_F(BoundingMeshTest, DescribesItsMembersInOrder) {
  struct Names : CMemberVisitor {
    std::vector<std::u16string> names;
    void BeginGroup(const char16_t* name) override { names.push_back(std::u16string(u"group ") + name); }
    void Bool(const char16_t* name, const bool*) override { names.push_back(name); }
    void UInt(const char16_t* name, const u32*) override { names.push_back(name); }
    void Color(const char16_t* name, const CColor*) override { names.push_back(name); }
    void UIntArray(const char16_t* name, const u32*, u32) override { names.push_back(name); }
    void VectorArray(const char16_t* name, const Vec*, u32) override { names.push_back(name); }
    void ObjectRef(const char16_t* name, const CBase*) override { names.push_back(name); }
  } visitor;
  NewMesh(u"m")->DescribeMembers(visitor);
  const std::vector<std::u16string> expected = {u"group CBoundingMesh Member",
                                                u"Reference",
                                                u"TriangleQuantity",
                                                u"Color",
                                                u"IsHide",
                                                u"Active",
                                                u"Freeze",
                                                u"XYZTriIndex",
                                                u"XYZ",
                                                u"WorldXYZ",
                                                u"group CDorun Member"};
  ASSERT_GE(visitor.names.size(), expected.size());
  EXPECT_EQ(std::vector<std::u16string>(visitor.names.begin(), visitor.names.begin() + 11), expected);
}

TEST_F(BoundingMeshTest, LongChainCostsNoStack) {
  constexpr u32 kCount = 200000;
  CPointer<CBoundingMesh> head = NewMesh(u"first");
  CBoundingMesh* last = head.Get();
  for (u32 i = 1; i < kCount; ++i) {
    CPointer<CBoundingMesh> mesh = NewMesh(i + 1 == kCount ? u"last" : u"");
    ASSERT_EQ(last->AppendMesh(mesh.Get()), kOk);
    last = mesh.Get();
  }
  EXPECT_EQ(head->Find(u"last", nullptr, false, false), last);
  std::vector<CBase*> all;
  head->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all.size(), kCount);
  std::vector<CDorun*> animated;
  ASSERT_EQ(head->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated.size(), kCount);
  EXPECT_TRUE(head->UpdateMarked({last}));
  head->ClearMarked();
  CStream stream;
  ASSERT_EQ(head->RegisterForSave(stream, 0), kOk);
  {
    CloneMap map;
    CPointer<CBase> clone;
    ASSERT_EQ(head->Clone(clone, map, 0), kOk);
    EXPECT_EQ(Chain(static_cast<CBoundingMesh*>(clone.Get())).size(), kCount);
  }
  head.Release();  // the whole chain goes, one mesh at a time
}

// --- the record ------------------------------------------------------------------

// Bytes in front of the first record of a file with one root record: the
// header, four section sizes and the root tag.
constexpr std::size_t kFirstRecordOffset = 40;

TEST_F(BoundingMeshTest, ChainWithReferencesSurvivesSaveAndLoad) {
  CPointer<CTestLeaf> root(new CTestLeaf(u"root"));
  CPointer<CTestLeaf> target(new CTestLeaf(u"target"));
  root->SetAttachment(target.Get());
  CPointer<CBoundingMesh> meshes[] = {MeshWith(u"first", {0, 1, 2, 2, 1, 0}, {{1, 2, 3}, {4, 5, 6}, {7.5f, -8, 9e9f}}),
                                      MeshWith(u"second", {}, {{0.5f, 0.25f, 0}}), NewMesh(u"third")};
  meshes[0]->SetReference(target.Get());
  meshes[0]->SetActive(false);
  meshes[1]->SetReference(root.Get());
  meshes[1]->SetFrozen(true);
  for (auto& mesh : meshes) ASSERT_EQ(root->AddBoundingMesh(mesh.Get()), kOk);
  const Bytes first = test::SaveRoots({root.Get()});

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CTestLeaf* loaded = DynamicCast<CTestLeaf>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  const std::vector<CBoundingMesh*> chain = Chain(loaded->GetBoundingMesh());
  ASSERT_EQ(chain.size(), 3u);
  for (u32 i = 0; i < 3; ++i) EXPECT_EQ(test::Members(chain[i]), test::Members(meshes[i].Get()));
  EXPECT_EQ(chain[0]->GetReference(), loaded->GetAttachment());
  EXPECT_EQ(chain[1]->GetReference(), loaded);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(BoundingMeshTest, TriangleCountIsWrittenOnlyWithItsIndices) {
  // TriangleQuantity and the indices may disagree in memory; the record
  // carries the triangles that have all three indices, and its size is
  // what GetSaveSize says.
  struct Row {
    u32 quantity;
    u32 indexCount;
    u32 positions;
    u32 savedTriangles;
  };
  const Row rows[] = {{0, 0, 0, 0}, {2, 0, 3, 0}, {2, 6, 3, 2}, {1, 6, 3, 1}, {3, 6, 0, 2}, {2, 7, 1, 2}, {0, 6, 2, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.quantity << " triangles, " << row.indexCount << " indices");
    test::UseTestIds(0);
    CPointer<CBoundingMesh> mesh = NewMesh(u"m");
    if (row.indexCount != 0) {
      ASSERT_EQ(mesh->GetXYZTriIndex().Create(row.indexCount), kOk);
      for (u32 i = 0; i < row.indexCount; ++i) mesh->GetXYZTriIndex()[i] = i % 3;
    }
    mesh->SetTriangleQuantity(row.quantity);
    if (row.positions != 0) {
      ASSERT_EQ(mesh->AllocateVertices(row.positions), kOk);
    }
    const Bytes bytes = test::SaveRoots({mesh.Get()});
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.size() - kFirstRecordOffset, mesh->GetSaveSize());

    test::UseTestIds(1);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* loaded = DynamicCast<CBoundingMesh>(stream.GetRootObject(0));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetTriangleQuantity(), row.savedTriangles);
    EXPECT_EQ(loaded->GetXYZTriIndex().GetCount(), 3 * row.savedTriangles);
    EXPECT_EQ(loaded->GetXYZ().GetCount(), row.positions);
    EXPECT_EQ(loaded->GetSaveSize(), mesh->GetSaveSize());
    EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(bytes));
  }
}

TEST_F(BoundingMeshTest, EveryPrefixOfTheRecordFails) {
  CPointer<CBoundingMesh> mesh = MeshWith(u"name", {0, 1, 2}, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  mesh->SetFrozen(true);
  const Bytes bytes = test::SaveRoots({mesh.Get()});
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

// --- byte images --------------------------------------------------------------------

// One CBoundingMesh record as a given version of the class writes it.
struct MeshImage {
  u64 id = 0x10;
  u32 minor = 3;
  u64 reference = 0;
  u64 next = 0;
  u32 triangles = 0;
  std::vector<u32> indices;
  u32 positions = 0;
  std::vector<f32> coordinates;
  u8 active = 1;
  u8 freeze = 0;
};

// A record of the root tree: its class name and body.
struct RecordImage {
  std::string className;
  ByteWriter body;
};

RecordImage MeshRecord(const MeshImage& m) {
  ByteWriter body;
  test::ObjectHead(body, m.id);
  body.Pair(2, m.minor);
  if (m.minor >= 2) {
    body.U64(m.reference).U64(m.next);
  } else {
    body.U32(static_cast<u32>(m.reference)).U32(static_cast<u32>(m.next));
  }
  body.U32(m.triangles);
  for (u32 index : m.indices) body.U32(index);
  body.U32(m.positions);
  for (f32 f : m.coordinates) body.F32(f);
  if (m.minor >= 1) body.U8(m.active);
  if (m.minor >= 3) body.U8(m.freeze);
  return {"CBoundingMesh", body};
}

RecordImage BoxRecord(u64 id) {
  ByteWriter body;
  test::ObjectHead(body, id).Pair(2, 0);
  for (int i = 0; i < 24; ++i) body.F32(0.0f);
  return {"CBoundingBox", body};
}

MeshImage MeshWithId(u64 id) {
  MeshImage m;
  m.id = id;
  return m;
}

// A 3.01 file whose root tree holds `records`; the last is the only root.
Bytes FileOf(const std::vector<RecordImage>& records) {
  test::SceneFile file;
  for (std::size_t i = 0; i < records.size(); ++i) {
    file.Record(records[i].className, records[i].body, i + 1 == records.size());
  }
  return file.Data();
}

TEST_F(BoundingMeshTest, OlderRecordVersionsLoad) {
  struct Row {
    u32 minor;
    bool hasActive;
    bool hasFreeze;
  };
  const Row rows[] = {{0, false, false}, {1, true, false}, {2, true, false}, {3, true, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "version 2.0" << row.minor);
    const MeshImage next = MeshWithId(0x20);
    MeshImage root;
    root.minor = row.minor;
    root.next = 0x20;  // four bytes below 2.02, widened
    root.triangles = 1;
    root.indices = {2, 0, 1};
    root.positions = 3;
    root.coordinates = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    root.active = 0;
    root.freeze = 1;
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(FileOf({MeshRecord(next), MeshRecord(root)}), stream, device), kOk);
    auto* mesh = DynamicCast<CBoundingMesh>(stream.GetRootObject(0));
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(mesh->GetNextMesh(), nullptr);
    EXPECT_EQ(mesh->GetTriangleQuantity(), 1u);
    EXPECT_EQ(mesh->GetXYZTriIndex()[0], 2u);
    ASSERT_EQ(mesh->GetXYZ().GetCount(), 3u);
    EXPECT_EQ(mesh->GetXYZ()[2], Vec(7, 8, 9));
    EXPECT_EQ(mesh->GetWorldXYZ().GetCount(), 3u);
    EXPECT_EQ(mesh->IsActive(), !row.hasActive);
    EXPECT_EQ(mesh->IsFrozen(), row.hasFreeze);
    EXPECT_EQ(stream.GetStoredVersion(CBoundingMesh::StaticClassRecord()), static_cast<i32>(200 + row.minor));
  }
}

TEST_F(BoundingMeshTest, HostileRecordsGiveTheirCodes) {
  struct Case {
    const char* name;
    std::vector<MeshImage> meshes;  // in file order; linked in ascending id order
    Result expected;
  };
  MeshImage wrap;  // 3 x count wraps to 2 in 32 bits
  wrap.triangles = 0x55555556u;
  wrap.indices = {0, 1};
  MeshImage huge;
  huge.triangles = 0xFFFFFFFFu;
  MeshImage manyPositions;
  manyPositions.positions = 0x20000000u;
  MeshImage shortPositions;
  shortPositions.positions = 1;
  shortPositions.coordinates = {1, 2};
  shortPositions.minor = 0;  // no flag bytes after the positions
  MeshImage self;
  self.next = self.id;
  MeshImage a, b;
  a.id = 0x10;
  a.next = 0x20;
  b.id = 0x20;
  b.next = 0x10;
  // A and C both lead to B, and B back to C: a loop through a shared mesh.
  MeshImage sa, sb, sc;  // linked in ascending id order: A, C, B
  sa.id = 0x10;
  sa.next = 0x30;
  sc.id = 0x20;
  sc.next = 0x30;
  sb.id = 0x30;
  sb.next = 0x20;
  MeshImage newer;
  newer.minor = 4;
  const std::vector<Case> cases = {
      {"index count wraps", {wrap}, kErrStream},
      {"huge triangle count", {huge}, kErrStream},
      {"huge position count", {manyPositions}, kErrStream},
      {"positions cut short", {shortPositions}, kErrStream},
      {"own next mesh", {self}, kErrNotFound},
      {"two meshes in a ring", {b, a}, kErrNotFound},
      // A -> B, then C -> B (B already owned), then B -> C closes the ring.
      {"ring through a shared mesh", {sb, sc, sa}, kErrNotFound},
      {"newer version", {newer}, kErrNewerVersion},
  };
  for (const Case& c : cases) {
    std::vector<RecordImage> records;
    for (const MeshImage& m : c.meshes) records.push_back(MeshRecord(m));
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(FileOf(records), stream, device), c.expected) << c.name;
  }
}

TEST_F(BoundingMeshTest, ReferenceToAnythingButASpatialLoadsAsNull) {
  const MeshImage other = MeshWithId(0x20);
  MeshImage root;
  root.reference = 0x30;
  root.next = 0x20;
  for (const RecordImage& referenced : {BoxRecord(0x30), MeshRecord(MeshWithId(0x30))}) {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(FileOf({referenced, MeshRecord(other), MeshRecord(root)}), stream, device), kOk);
    auto* mesh = DynamicCast<CBoundingMesh>(stream.GetRootObject(0));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetReference(), nullptr);
    EXPECT_NE(mesh->GetNextMesh(), nullptr);
  }
  // An id that names no record stays empty and is listed as unresolved.
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(FileOf({MeshRecord(root)}), stream, device), kOk);
  auto* mesh = DynamicCast<CBoundingMesh>(stream.GetRootObject(0));
  EXPECT_EQ(mesh->GetReference(), nullptr);
  EXPECT_EQ(stream.GetUnresolvedTable().count(0x30), 1u);
}

TEST_F(BoundingMeshTest, IndicesPastThePositionsLoadButAreNeverRead) {
  MeshImage root;
  root.triangles = 2;
  root.indices = {0, 1, 0, 0, 0xFFFFFFFFu, 1};
  root.positions = 2;
  root.coordinates = {1, 1, 1, 2, 2, 2};
  const Bytes bytes = FileOf({MeshRecord(root)});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* mesh = DynamicCast<CBoundingMesh>(stream.GetRootObject(0));
  ASSERT_NE(mesh, nullptr);
  Vec corners[3];
  EXPECT_EQ(mesh->GetTriangle(0, corners), kOk);
  EXPECT_EQ(corners[1], Vec(2, 2, 2));
  EXPECT_EQ(mesh->GetTriangle(1, corners), kErrNotFound);
  // Kept as stored: they are written back unchanged.
  const Bytes again = test::SaveLoaded(stream);
  CStream second;
  CMemoryIo secondDevice;
  ASSERT_EQ(test::LoadScene(again, second, secondDevice), kOk);
  EXPECT_EQ(test::Members(second.GetRootObject(0)), test::Members(mesh));
}

}  // namespace
}  // namespace KT
