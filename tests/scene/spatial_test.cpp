// KT::CSpatial: every stored form of its record, the update depth, and the
// copy, clone and CopyTo rules.
#include "scene/spatial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CLogControl;
using test::CTestLeaf;

class SpatialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    test::UseTestIds(0);
    test::SceneLog().clear();
  }
};

// The transform stored in every row: rows of the 3x3 part scaled by
// (sx, 3, 4), translation (1, 2, 3).
struct StoredTransform {
  f32 sx = 2.0f;
};

// A CSpatial part of `version` (major x 100 + minor) holding Inherited,
// Active, IsHide and Freeze set, RenderState 0, wherever the version stores
// them; no references.
ByteWriter& SpatialPart(ByteWriter& w, u32 version, u32 inherited, const StoredTransform& t = {}) {
  w.Pair(version / 100, version % 100);
  if (version < 200) {
    const f32 m[16] = {t.sx, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1};
    for (f32 f : m) w.F32(f);
    // Active, then a counted list of words that is read and dropped.
    return w.U8(1).U32(2).U32(0xDEAD).U32(0xBEEF);
  }
  if (version < 206) {
    const f32 rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (f32 f : rotation) w.F32(f);
    w.F32(1).F32(2).F32(3).F32(t.sx).F32(3).F32(4).U32(inherited);
    if (version >= 204) {
      w.U64(0).U64(0);
    } else {
      w.U32(0).U32(0);
    }
  } else {
    AffineParts basis;
    basis.Sign = t.sx < 0 ? -1.0f : 1.0f;
    basis.Scale = {std::fabs(t.sx), 3, 4};
    basis.Translate = {1, 2, 3};
    w.Raw(&basis, sizeof(basis)).U32(inherited).U64(0).U64(0);
  }
  w.U8(1);
  if (version >= 202) w.U8(1);
  if (version >= 205) w.U8(1);
  if (version >= 203) w.U32(0);
  return w;
}

Bytes LeafFile(u32 version, u32 inherited, const StoredTransform& t = {}) {
  ByteWriter body;
  test::ObjectHead(body, 0x7E57000100000001ull, u"leaf");
  SpatialPart(body, version, inherited, t).Pair(1, 0);
  return test::SceneFile().Record("CTestLeaf", body, true).Data();
}

// Loads a one-root file; the root stays alive with `stream`.
CTestLeaf* LoadLeaf(const Bytes& bytes, CStream& stream, CMemoryIo& device, Result& r) {
  r = test::LoadScene(bytes, stream, device);
  return r == kOk ? DynamicCast<CTestLeaf>(stream.GetRootObject(0)) : nullptr;
}

// A controller that reads its target in the data pass as well.
class CDataReader : public CLogControl {
 public:
  using CLogControl::CLogControl;
  Result GetDataUpdateDepth(void* context, i32& depth) override {
    return target != nullptr ? target->RaiseDataUpdateDepth(context, depth) : kOk;
  }
};

// Each spatial's controller reads the spatial before it, so each depth
// query (transform and data) asks the previous one: within the evaluation
// bound the chain is answered; 100,000 links stop at the bound with
// kErrInvalidArg instead of exhausting the stack (the sanitizers' build
// would fail on an overflow).
TEST_F(SpatialTest, DepthQueriesThroughWhatControllersReadAreBounded) {
  struct Case {
    u32 links;
    Result expected;
  };
  for (const Case& c : {Case{100, kOk}, Case{100000, kErrInvalidArg}}) {
    SCOPED_TRACE(c.links);
    std::vector<CPointer<CTestLeaf>> spatials;
    std::vector<CPointer<CLogControl>> controls;
    for (u32 i = 0; i < c.links; ++i) {
      spatials.emplace_back(new CTestLeaf(u"link"));
      if (i == 0) continue;
      controls.emplace_back(new CDataReader(u"read"));
      controls.back()->target = spatials[i - 1].Get();
      ASSERT_EQ(spatials[i]->AddControl(controls.back().Get()), kOk);
    }
    for (const CPointer<CTestLeaf>& s : spatials) s->SetDirty();
    i32 depth = 0;
    EXPECT_EQ(spatials.back()->GetUpdateDepth(0, depth), c.expected);
    if (c.expected == kOk) {
      EXPECT_EQ(depth, static_cast<i32>(c.links - 1));
    }
    for (const CPointer<CTestLeaf>& s : spatials) s->SetDirty();
    depth = 0;
    EXPECT_EQ(spatials.back()->GetDataUpdateDepth(nullptr, depth), c.expected);
    if (c.expected == kOk) {
      EXPECT_EQ(depth, static_cast<i32>(c.links - 1));
    }
  }
}

TEST_F(SpatialTest, EveryStoredVersionLoads) {
  struct Row {
    u32 version;
    u32 storedInherited;
    u32 inherited;
    bool isHide;
    bool freeze;
    u32 renderState;
  };
  const Row rows[] = {
      {199, 512, 0, false, false, CSpatial::RS_Normal},   // no Inherited stored at all
      {200, 512, 0, false, false, CSpatial::RS_Normal},   // 512 meant "inherit everything"
      {200, 7, 7, false, false, CSpatial::RS_Normal},
      {201, 512, 512, false, false, CSpatial::RS_Normal},
      {202, 5, 5, true, false, CSpatial::RS_Normal},
      {203, 5, 5, true, false, CSpatial::RS_WireFrame},
      {204, 5, 5, true, false, CSpatial::RS_WireFrame},
      {205, 5, 5, true, true, CSpatial::RS_WireFrame},
      {206, 512, 512, true, true, CSpatial::RS_WireFrame},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    CStream stream;
    CMemoryIo device;
    Result r = kOk;
    CTestLeaf* leaf = LoadLeaf(LeafFile(row.version, row.storedInherited), stream, device, r);
    ASSERT_EQ(r, kOk);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->GetInherited(), row.inherited);
    EXPECT_EQ(leaf->IsHidden(), row.isHide);
    EXPECT_EQ(leaf->IsFrozen(), row.freeze);
    EXPECT_EQ(leaf->GetRenderState(), row.renderState);
    EXPECT_TRUE(leaf->IsActive());
    const CRtsTransform& basis = leaf->GetBasis();
    EXPECT_EQ(basis.Sign, 1.0f);
    EXPECT_NEAR(basis.Translate.x, 1.0f, 1e-6f);
    EXPECT_NEAR(basis.Translate.y, 2.0f, 1e-6f);
    EXPECT_NEAR(basis.Translate.z, 3.0f, 1e-6f);
    EXPECT_NEAR(basis.Scale.x * basis.Scale.y * basis.Scale.z, 24.0f, 1e-4f);
    // Local is not stored: it waits at identity for the controller.
    EXPECT_EQ(leaf->GetLocal(), kIdentityTransform);
  }
}

TEST_F(SpatialTest, MirroredTransformLoadsWithSignMinusOne) {
  for (u32 version : {199u, 200u, 205u, 206u}) {
    SCOPED_TRACE(version);
    CStream stream;
    CMemoryIo device;
    Result r = kOk;
    CTestLeaf* leaf = LoadLeaf(LeafFile(version, 0, StoredTransform{-2.0f}), stream, device, r);
    ASSERT_NE(leaf, nullptr) << r;
    EXPECT_EQ(leaf->GetBasis().Sign, -1.0f);
    EXPECT_NEAR(leaf->GetBasis().Translate.z, 3.0f, 1e-6f);
  }
}

TEST_F(SpatialTest, NewerVersionIsRefused) {
  CStream stream;
  CMemoryIo device;
  Result r = kOk;
  LoadLeaf(LeafFile(207, 0), stream, device, r);
  EXPECT_EQ(r, kErrNewerVersion);
}

// A leaf with every stored field changed, an attachment and a bounding
// mesh-free record, as saved by this library.
struct SavedLeaf {
  CPointer<CTestLeaf> leaf{new CTestLeaf(u"leaf")};
  CPointer<CTestLeaf> attachment{new CTestLeaf(u"attached")};

  SavedLeaf() {
    CRtsTransform basis = kIdentityTransform;
    basis.Translate = {4, 5, 6};
    basis.Sign = -1.0f;
    leaf->SetBasis(basis);
    leaf->SetInherited(3);
    leaf->SetActive(false);
    leaf->SetHidden(true);
    leaf->SetFrozen(true);
    leaf->SetRenderState(CSpatial::RS_GouraudShading);
    leaf->SetAttachment(attachment.Get());
  }
};

TEST_F(SpatialTest, SaveLoadSaveKeepsMembersAndBytes) {
  SavedLeaf saved;
  const Bytes first = test::SaveRoots({saved.leaf.Get()});
  // Header and section sizes (31), the root tag (9), then the two records.
  EXPECT_EQ(first.size(), 40u + saved.leaf->GetSaveSize() + saved.attachment->GetSaveSize());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CTestLeaf* loaded = DynamicCast<CTestLeaf>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(saved.leaf.Get()));
  ASSERT_NE(loaded->GetAttachment(), nullptr);
  EXPECT_EQ(loaded->GetAttachment()->GetName(), u"attached");
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(SpatialTest, EveryPrefixFailsCleanly) {
  SavedLeaf saved;
  const Bytes bytes = test::SaveRoots({saved.leaf.Get()});
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

TEST_F(SpatialTest, CraftedDroppedWordCountBeyondTheFileIsRefused) {
  ByteWriter body;
  test::ObjectHead(body, 0x7E57000100000001ull);
  const f32 identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  body.Pair(1, 99);
  for (f32 f : identity) body.F32(f);
  body.U8(1).U32(0x40000000u).Pair(1, 0);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CTestLeaf", body, true).Data(), stream, device), kErrStream);
}

// --- update depth ------------------------------------------------------------------------

TEST_F(SpatialTest, DepthWithoutParentOrControlsIsTheFloor) {
  CPointer<CTestLeaf> plain(new CTestLeaf(u"plain"));
  CPointer<CTestLeaf> geometry(new CTestLeaf(u"geometry", CSpatial::kGeometryMinUpdateDepth));
  for (CTestLeaf* leaf : {plain.Get(), geometry.Get()}) {
    leaf->SetDirty();
    i32 depth = 0;
    ASSERT_EQ(leaf->GetUpdateDepth(0, depth), kOk);
    EXPECT_EQ(depth, leaf->GetMinUpdateDepth());
    EXPECT_FALSE(leaf->IsDirty());
  }
  // The answer only ever raises the depth it is given.
  i32 depth = 5;
  ASSERT_EQ(plain->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 5);
}

TEST_F(SpatialTest, DepthIsParentPlusOneAboveTargetsAndCachedWhileClean) {
  CPointer<CNode> root(new CNode());
  CPointer<CNode> middle(new CNode());
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  CPointer<CTestLeaf> constrained(new CTestLeaf(u"constrained"));
  ASSERT_EQ(root->AddChild(middle.Get()), kOk);
  ASSERT_EQ(middle->AddChild(leaf.Get()), kOk);
  ASSERT_EQ(root->AddChild(constrained.Get()), kOk);
  CPointer<CLogControl> control(new CLogControl(u"look"));
  control->target = leaf.Get();
  ASSERT_EQ(constrained->AddControl(control.Get()), kOk);

  for (CSpatial* s : {static_cast<CSpatial*>(root.Get()), static_cast<CSpatial*>(middle.Get()),
                      static_cast<CSpatial*>(leaf.Get()), static_cast<CSpatial*>(constrained.Get())}) {
    s->SetDirty();
  }
  i32 depth = 0;
  ASSERT_EQ(leaf->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 2);
  depth = 0;
  ASSERT_EQ(constrained->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 3);  // above its target (2), not just its parent (0)
  EXPECT_EQ(control->depthQueries, 1);

  // While clean, neither the parent nor the controls are asked again.
  ASSERT_EQ(middle->RemoveChild(leaf.Get()), kOk);
  depth = 0;
  ASSERT_EQ(leaf->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 2);
  depth = 0;
  ASSERT_EQ(constrained->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 3);
  EXPECT_EQ(control->depthQueries, 1);

  leaf->SetDirty();
  depth = 0;
  ASSERT_EQ(leaf->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 0);
}

TEST_F(SpatialTest, FailingControlStopsTheDepthQuery) {
  CPointer<CTestLeaf> target(new CTestLeaf(u"target"));
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  CPointer<CLogControl> control(new CLogControl(u"c"));
  control->target = target.Get();
  ASSERT_EQ(leaf->AddControl(control.Get()), kOk);
  // The target answers a failure through a control of its own.
  struct CFailingDepth : CLogControl {
    using CLogControl::CLogControl;
    Result GetUpdateDepth(i32, i32&) override { return kErrInvalidArg; }
  };
  CPointer<CFailingDepth> broken(new CFailingDepth(u"broken"));
  ASSERT_EQ(target->AddControl(broken.Get()), kOk);
  leaf->SetDirty();
  target->SetDirty();
  i32 depth = 0;
  EXPECT_EQ(leaf->GetUpdateDepth(0, depth), kErrInvalidArg);
}

// --- copies --------------------------------------------------------------------------------

TEST_F(SpatialTest, CopyConstructorKeepsFieldsButNoParentOrSubObjects) {
  CPointer<CNode> parent(new CNode());
  SavedLeaf saved;
  ASSERT_EQ(parent->AddChild(saved.leaf.Get()), kOk);
  saved.leaf->SetSticky(true, 10, 20);
  saved.leaf->SetCurrentLod(2);
  CPointer<CTestLeaf> copy(new CTestLeaf(*saved.leaf));
  EXPECT_EQ(copy->GetParent(), nullptr);
  EXPECT_EQ(copy->GetAttachment(), nullptr);
  EXPECT_EQ(copy->GetBoundingMesh(), nullptr);
  EXPECT_TRUE(copy->IsStickyEnabled());
  EXPECT_EQ(copy->GetStickyStart(), 0);
  EXPECT_EQ(copy->GetStickyEnd(), 0);
  EXPECT_EQ(copy->GetBasis(), saved.leaf->GetBasis());
  EXPECT_EQ(copy->GetInherited(), 3u);
  EXPECT_EQ(copy->GetCurrentLod(), 2u);
  EXPECT_TRUE(copy->IsFrozen());
}

TEST_F(SpatialTest, CopyToSharesSubObjectsAndKeepsTheTargetsParent) {
  SavedLeaf saved;
  CPointer<CNode> parent(new CNode());
  CPointer<CTestLeaf> target(new CTestLeaf(u"target"));
  CPointer<CTestLeaf> former(new CTestLeaf(u"former"));
  target->SetAttachment(former.Get());
  target->SetSticky(true, 1, 2);
  ASSERT_EQ(parent->AddChild(target.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(saved.leaf->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetParent(), parent.Get());
  EXPECT_EQ(target->GetAttachment(), saved.attachment.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(target->GetBasis(), saved.leaf->GetBasis());
  EXPECT_EQ(target->GetName(), u"leaf");
  EXPECT_EQ(target->GetStickyStart(), 1);  // Sticky is not copied
  EXPECT_EQ(saved.leaf->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST_F(SpatialTest, CloneClonesTheAttachmentOnce) {
  SavedLeaf saved;
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(saved.leaf->Clone(out, map, 0), kOk);
  CTestLeaf* clone = DynamicCast<CTestLeaf>(out.Get());
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(clone->GetAttachment(), nullptr);
  EXPECT_NE(clone->GetAttachment(), saved.attachment.Get());
  EXPECT_EQ(clone->GetAttachment()->GetName(), u"attached");
  EXPECT_EQ(clone->GetParent(), nullptr);
  CPointer<CBase> again;
  EXPECT_EQ(saved.leaf->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), clone);
}

// --- ownership read from files ------------------------------------------------------------------

TEST_F(SpatialTest, AttachmentThatOwnsItsSpatialIsRefused) {
  // Node 1 holds node 2, node 2 holds leaf 3, and the leaf names node 2 as
  // its attachment: node 2 would own itself through the leaf.
  ByteWriter leaf;
  test::ObjectHead(leaf, 3);
  test::SpatialPart206(leaf, 2).Pair(1, 0);
  const Bytes bytes = test::SceneFile()
                          .Record("CNode", test::NodeBody(1, {2}), true)
                          .Record("CNode", test::NodeBody(2, {3}))
                          .Record("CTestLeaf", leaf)
                          .Data();
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(bytes, stream, device), kErrNotFound);
}

TEST_F(SpatialTest, SharedAttachmentLoads) {
  CPointer<CNode> root(new CNode());
  CPointer<CTestLeaf> a(new CTestLeaf(u"a"));
  CPointer<CTestLeaf> b(new CTestLeaf(u"b"));
  CPointer<CTestLeaf> shared(new CTestLeaf(u"shared"));
  a->SetAttachment(shared.Get());
  b->SetAttachment(shared.Get());
  root->AddChild(a.Get());
  root->AddChild(b.Get());
  const Bytes bytes = test::SaveRoots({root.Get()});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  CNode* loaded = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->GetChildCount(), 2u);
  EXPECT_NE(loaded->GetChild(0)->GetAttachment(), nullptr);
  EXPECT_EQ(loaded->GetChild(0)->GetAttachment(), loaded->GetChild(1)->GetAttachment());
}

}  // namespace
}  // namespace KT
