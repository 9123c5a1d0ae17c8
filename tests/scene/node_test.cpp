// KT::CNode: tree operations, copies, world bounds, persistence (current
// and older child lists, every prefix, crafted cycles) and trees far deeper
// than the machine stack would allow for recursion.
#include "scene/node.h"

#include <gtest/gtest.h>

#include <string>

#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CTestLeaf;

class NodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    test::UseTestIds(0);
  }
};

CPointer<CNode> MakeNode(const char16_t* name, u32 customId = 0) {
  CPointer<CNode> node;
  EXPECT_EQ(CNode::Create(node), kOk);
  node->SetName(name);
  node->SetCustomId(customId);
  return node;
}

std::string ChildNames(const CNode& node) {
  std::string names;
  for (const CPointer<CSpatial>& child : node.GetChildren()) names += test::NarrowName(*child) + " ";
  return names;
}

// --- tree operations ----------------------------------------------------------------

TEST_F(NodeTest, AddChildSetsParentAndRefusesWhatWouldBreakTheTree) {
  CPointer<CNode> root = MakeNode(u"root");
  CPointer<CNode> child = MakeNode(u"child");
  CPointer<CNode> grandchild = MakeNode(u"grandchild");
  EXPECT_EQ(root->AddChild(nullptr), kDone);
  EXPECT_EQ(root->AddChild(child.Get()), kOk);
  EXPECT_EQ(child->GetParent(), root.Get());
  EXPECT_EQ(child->GetReferences(), 2u);
  EXPECT_EQ(child->AddChild(grandchild.Get()), kOk);
  struct Case {
    CNode* parent;
    CSpatial* child;
  };
  const Case refused[] = {
      {root.Get(), child.Get()},       // added twice: it already has a parent
      {grandchild.Get(), child.Get()},  // another node's child
      {root.Get(), root.Get()},         // itself
      {grandchild.Get(), root.Get()},   // its own ancestor (which has no parent)
  };
  for (const Case& c : refused) EXPECT_EQ(c.parent->AddChild(c.child), kErrInvalidArg);
  EXPECT_EQ(ChildNames(*root), "child ");
  EXPECT_EQ(root->GetParent(), nullptr);
  EXPECT_EQ(grandchild->GetChildCount(), 0u);
}

TEST_F(NodeTest, RemoveChildClearsParentAndKeepsGrandchildren) {
  CPointer<CNode> root = MakeNode(u"root");
  CPointer<CNode> a = MakeNode(u"a");
  CPointer<CNode> b = MakeNode(u"b");
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  root->AddChild(a.Get());
  root->AddChild(b.Get());
  a->AddChild(leaf.Get());
  EXPECT_EQ(root->RemoveChild(nullptr), kDone);
  EXPECT_EQ(root->RemoveChild(leaf.Get()), kErrInvalidArg);  // a's child
  root->SetModified(false);
  EXPECT_EQ(root->RemoveChild(a.Get()), kOk);
  EXPECT_TRUE(root->IsModified());
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(leaf->GetParent(), a.Get());
  EXPECT_EQ(ChildNames(*root), "b ");
  EXPECT_EQ(root->RemoveChild(a.Get()), kErrInvalidArg);  // no longer ours
}

TEST_F(NodeTest, SetChildReplacesAtAnIndex) {
  CPointer<CNode> root = MakeNode(u"root");
  CPointer<CNode> a = MakeNode(u"a");
  CPointer<CNode> b = MakeNode(u"b");
  CPointer<CNode> c = MakeNode(u"c");
  root->AddChild(a.Get());
  root->AddChild(b.Get());
  EXPECT_EQ(root->SetChild(0, c.Get()), kOk);
  EXPECT_EQ(ChildNames(*root), "c b ");
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(c->GetParent(), root.Get());
  EXPECT_EQ(root->SetChild(0, c.Get()), kDone);
  EXPECT_EQ(root->SetChild(2, a.Get()), kErrOutOfRange);
  EXPECT_EQ(root->SetChild(0, nullptr), kErrInvalidArg);
  EXPECT_EQ(root->SetChild(1, c.Get()), kErrInvalidArg);  // already a child
  EXPECT_EQ(c->AddChild(a.Get()), kOk);
  EXPECT_EQ(a->SetChild(0, root.Get()), kErrOutOfRange);
  a->AddChild(MakeNode(u"x").Get());
  EXPECT_EQ(a->SetChild(0, root.Get()), kErrInvalidArg);  // its ancestor
  EXPECT_EQ(ChildNames(*root), "c b ");
}

TEST_F(NodeTest, SwapGetAndFindChild) {
  CPointer<CNode> root = MakeNode(u"root");
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"same"));
  CPointer<CNode> node = MakeNode(u"same");
  root->AddChild(leaf.Get());
  root->AddChild(node.Get());
  EXPECT_EQ(root->GetChild(1).Get(), node.Get());
  EXPECT_EQ(root->GetChild(2).Get(), nullptr);
  EXPECT_EQ(root->FindChild(u"same", nullptr, false), leaf.Get());
  EXPECT_EQ(root->FindChild(u"same", &CNode::StaticClassRecord(), false), node.Get());
  EXPECT_EQ(root->FindChild(nullptr, &CSpatial::StaticClassRecord(), false), nullptr);
  EXPECT_EQ(root->FindChild(nullptr, &CSpatial::StaticClassRecord(), true), leaf.Get());
  EXPECT_EQ(root->FindChild(u"other", nullptr, true), nullptr);
  EXPECT_EQ(FindNode(root.Get(), u"same", false), node.Get());
  EXPECT_EQ(FindNode(nullptr, u"same", false), nullptr);
  EXPECT_EQ(FindTriMesh(root.Get(), nullptr, true), nullptr);
  EXPECT_EQ(root->SwapChildren(0, 1), kOk);
  EXPECT_EQ(root->FindChild(u"same", nullptr, false), node.Get());
  EXPECT_EQ(root->SwapChildren(0, 2), kErrOutOfRange);
}

TEST_F(NodeTest, DestructionClearsTheParentOfChildrenThatLiveOn) {
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  {
    CPointer<CNode> root = MakeNode(u"root");
    root->AddChild(leaf.Get());
  }
  EXPECT_EQ(leaf->GetParent(), nullptr);
  EXPECT_EQ(leaf->GetReferences(), 1u);
}

// --- copies -------------------------------------------------------------------------------

TEST_F(NodeTest, CopyToMovesChildrenAndDisplacesTheTargetsOwn) {
  CPointer<CNode> source = MakeNode(u"source", 7);
  source->SetDummy(true);
  CPointer<CNode> a = MakeNode(u"a");
  CPointer<CNode> b = MakeNode(u"b");
  source->AddChild(a.Get());
  source->AddChild(b.Get());
  CPointer<CNode> target = MakeNode(u"target");
  CPointer<CNode> former = MakeNode(u"former");
  target->AddChild(former.Get());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(source->GetChildCount(), 0u);
  EXPECT_EQ(ChildNames(*target), "a b ");
  EXPECT_EQ(a->GetParent(), target.Get());
  EXPECT_EQ(b->GetParent(), target.Get());
  EXPECT_EQ(former->GetParent(), nullptr);
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(target->GetCustomId(), 7u);
  EXPECT_TRUE(target->IsDummy());

  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  EXPECT_EQ(target->CopyTo(leaf.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(target->CopyTo(nullptr, displaced, 0), kErrNotFound);
  // Into its own descendant: refused, nothing moves.
  EXPECT_EQ(target->CopyTo(a.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(ChildNames(*target), "a b ");
}

TEST_F(NodeTest, CloneCopiesTheWholeTree) {
  CPointer<CNode> root = MakeNode(u"root");
  CPointer<CNode> a = MakeNode(u"a");
  CPointer<CTestLeaf> a1(new CTestLeaf(u"a1"));
  CPointer<CTestLeaf> b(new CTestLeaf(u"b"));
  root->AddChild(a.Get());
  a->AddChild(a1.Get());
  root->AddChild(b.Get());
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(root->Clone(out, map, 0), kOk);
  CNode* copy = DynamicCast<CNode>(out.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(ChildNames(*copy), "a b ");
  CNode* copyA = DynamicCast<CNode>(copy->GetChild(0).Get());
  ASSERT_NE(copyA, nullptr);
  EXPECT_NE(copyA, a.Get());
  EXPECT_EQ(copyA->GetParent(), copy);
  EXPECT_EQ(ChildNames(*copyA), "a1 ");
  EXPECT_EQ(ChildNames(*root), "a b ");
  EXPECT_EQ(map.size(), 4u);
}

TEST_F(NodeTest, CopyTreeByCustomIdCopiesTheConnectedPartWithTheId) {
  CPointer<CNode> root = MakeNode(u"root", 5);
  CPointer<CNode> kept = MakeNode(u"kept", 5);
  CPointer<CNode> other = MakeNode(u"other", 6);
  CPointer<CNode> below = MakeNode(u"below", 5);  // under a node of another id
  CPointer<CNode> deeper = MakeNode(u"deeper", 5);
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  root->AddChild(kept.Get());
  root->AddChild(other.Get());
  root->AddChild(leaf.Get());
  other->AddChild(below.Get());
  kept->AddChild(deeper.Get());

  NodeCopyMap map;
  CPointer<CNode> copy;
  ASSERT_EQ(root->CopyTreeByCustomId(map, copy, 5), kOk);
  ASSERT_TRUE(copy);
  EXPECT_EQ(ChildNames(*copy), "kept ");
  EXPECT_EQ(ChildNames(*DynamicCast<CNode>(copy->GetChild(0).Get())), "deeper ");
  EXPECT_EQ(map.size(), 3u);
  CPointer<CNode> again;
  ASSERT_EQ(root->CopyTreeByCustomId(map, again, 5), kOk);
  EXPECT_EQ(again.Get(), copy.Get());

  CPointer<CNode> none;
  EXPECT_EQ(root->CopyTreeByCustomId(none, 6), kDone);
  EXPECT_FALSE(none);
}

// --- bounds -----------------------------------------------------------------------------------

TEST_F(NodeTest, WorldBoundMergesNonEmptyChildBounds) {
  CPointer<CNode> root = MakeNode(u"root");
  CPointer<CNode> inner = MakeNode(u"inner");
  CPointer<CTestLeaf> a(new CTestLeaf(u"a"));
  CPointer<CTestLeaf> empty(new CTestLeaf(u"empty"));
  CPointer<CTestLeaf> b(new CTestLeaf(u"b"));
  a->ownBound.SetMinMax({0, 0, 0}, {1, 1, 1});
  b->ownBound.SetMinMax({2, 2, 2}, {3, 3, 3});
  root->AddChild(inner.Get());
  inner->AddChild(a.Get());
  inner->AddChild(empty.Get());
  root->AddChild(b.Get());
  CBound stale;
  stale.SetMinMax({-9, -9, -9}, {9, 9, 9});
  root->SetWorldBound(stale);
  ASSERT_EQ(root->UpdateWorldBound(), kOk);
  EXPECT_EQ(inner->GetWorldBound(), a->ownBound);
  CBound expected = a->ownBound;
  expected.Merge(b->ownBound);
  EXPECT_EQ(root->GetWorldBound(), expected);

  CPointer<CNode> lonely = MakeNode(u"lonely");
  CPointer<CTestLeaf> alsoEmpty(new CTestLeaf(u"alsoEmpty"));
  lonely->AddChild(alsoEmpty.Get());
  lonely->SetWorldBound(stale);
  ASSERT_EQ(lonely->UpdateWorldBound(), kOk);
  EXPECT_TRUE(lonely->GetWorldBound().IsEmpty());
}

// --- persistence -----------------------------------------------------------------------------

struct SavedTree {
  CPointer<CNode> root = MakeNode(u"root", 3);
  CPointer<CNode> a = MakeNode(u"a");
  CPointer<CTestLeaf> a1{new CTestLeaf(u"a1")};
  CPointer<CTestLeaf> b{new CTestLeaf(u"b")};
  SavedTree() {
    root->SetReceiveShadow(false);
    root->SetBlock(true);
    a->SetDummy(true);
    root->AddChild(a.Get());
    a->AddChild(a1.Get());
    root->AddChild(b.Get());
  }
};

TEST_F(NodeTest, SaveLoadSaveKeepsTheTree) {
  SavedTree tree;
  const Bytes first = test::SaveRoots({tree.root.Get()});
  u32 records = 0;
  for (CBase* o : {static_cast<CBase*>(tree.root.Get()), static_cast<CBase*>(tree.a.Get()),
                   static_cast<CBase*>(tree.a1.Get()), static_cast<CBase*>(tree.b.Get())}) {
    records += o->GetSaveSize();
  }
  EXPECT_EQ(first.size(), 40u + records);

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(ChildNames(*root), "a b ");
  CNode* a = DynamicCast<CNode>(root->GetChild(0).Get());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetParent(), root);
  EXPECT_EQ(ChildNames(*a), "a1 ");
  EXPECT_EQ(a->GetChild(0)->GetParent(), a);
  EXPECT_EQ(test::Members(root), test::Members(tree.root.Get()));
  EXPECT_EQ(test::Members(a), test::Members(tree.a.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(NodeTest, EveryPrefixFailsCleanly) {
  SavedTree tree;
  const Bytes bytes = test::SaveRoots({tree.root.Get()});
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

// A node record whose CNode part has version `version` and the given child
// ids (4 bytes each before 2.02).
ByteWriter OldNodeBody(u64 id, u32 version, const std::vector<u32>& children) {
  ByteWriter w;
  test::ObjectHead(w, id);
  test::SpatialPart206(w);
  w.Pair(version / 100, version % 100).U32(9).U8(0).U8(1);
  if (version >= 201) w.U8(1);
  w.U32(static_cast<u32>(children.size()));
  for (u32 child : children) w.U32(child);
  return w;
}

TEST_F(NodeTest, OlderChildListsLoad) {
  struct Row {
    u32 version;
    u32 customId;
    bool isBlock;
  };
  for (const Row& row : {Row{199, 0, false}, Row{200, 9, false}, Row{201, 9, true}}) {
    SCOPED_TRACE(row.version);
    const Bytes bytes = test::SceneFile()
                            .Record("CNode", OldNodeBody(1, row.version, {5, 0, 7}), true)
                            .Record("CTestLeaf", test::LeafBody(5, u"five"))
                            .Record("CTestLeaf", test::LeafBody(7, u"seven"))
                            .Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
    ASSERT_NE(root, nullptr);
    // Below 2.00 the empty entry is skipped; later it resolves to nothing
    // and is dropped: either way the list holds the two children.
    EXPECT_EQ(ChildNames(*root), "five seven ");
    EXPECT_EQ(root->GetCustomId(), row.customId);
    EXPECT_FALSE(root->GetReceiveShadow());
    EXPECT_EQ(root->IsBlock(), row.isBlock);
    EXPECT_FALSE(root->IsDummy());
  }
}

TEST_F(NodeTest, ChildCountBeyondTheFileIsRefused) {
  ByteWriter body;
  test::ObjectHead(body, 1);
  test::SpatialPart206(body);
  body.Pair(2, 3).U32(0).U8(1).U8(1).U8(0).U8(0).U32(0x20000000u);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CNode", body, true).Data(), stream, device), kErrStream);
}

TEST_F(NodeTest, CraftedChildListsAreRepairedOrRefused) {
  struct Case {
    const char* what;
    std::vector<std::pair<u64, std::vector<u64>>> nodes;  // id, children; the first is the root
    Result result;
    std::string rootChildren;
  };
  const Case cases[] = {
      {"two nodes hold each other", {{1, {2}}, {2, {1}}}, kErrNotFound, ""},
      {"a node holds itself", {{1, {1}}}, kErrNotFound, ""},
      {"a longer loop", {{1, {2}}, {2, {3}}, {3, {1}}}, kErrNotFound, ""},
      {"a child listed twice", {{1, {9, 9}}}, kOk, "nine "},
      {"a child of two nodes", {{1, {2, 9}}, {2, {9}}}, kOk, " nine "},
      {"ids that resolve to nothing", {{1, {0, 77, 9}}}, kOk, "nine "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::SceneFile file;
    bool first = true;
    for (const auto& [id, children] : c.nodes) {
      file.Record("CNode", test::NodeBody(id, children), first);
      first = false;
    }
    file.Record("CTestLeaf", test::LeafBody(9, u"nine"));
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file.Data(), stream, device), c.result);
    if (c.result != kOk) continue;
    CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ChildNames(*root), c.rootChildren);
    for (const CPointer<CSpatial>& child : root->GetChildren()) EXPECT_EQ(child->GetParent(), root);
  }
}

// --- deep trees ------------------------------------------------------------------------------

constexpr u32 kDepth = 100000;

// A chain of kDepth nodes; the deepest holds a leaf named "bottom" with a
// bound.
CPointer<CNode> DeepChain() {
  CPointer<CNode> root = MakeNode(u"top");
  CNode* last = root.Get();
  for (u32 i = 1; i < kDepth; ++i) {
    CPointer<CNode> next = MakeNode(u"");
    last->AddChild(next.Get());
    last = next.Get();
  }
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"bottom"));
  leaf->ownBound.SetMinMax({0, 0, 0}, {1, 1, 1});
  last->AddChild(leaf.Get());
  return root;
}

TEST_F(NodeTest, DeepTreeWalksWithoutRecursion) {
  CPointer<CNode> root = DeepChain();
  std::vector<CSpatial*> spatials;
  ASSERT_EQ(root->CollectSpatials(spatials), kOk);
  ASSERT_EQ(spatials.size(), kDepth + 1);
  EXPECT_EQ(spatials.front(), root.Get());
  CBase* bottom = root->Find(u"bottom", nullptr, false, false);
  ASSERT_NE(bottom, nullptr);
  EXPECT_EQ(spatials.back(), bottom);
  std::vector<CBase*> nodes;
  root->Collect(nodes, nullptr, &CNode::StaticClassRecord(), false, false);
  EXPECT_EQ(nodes.size(), kDepth);

  EXPECT_TRUE(root->UpdateMarked({bottom}));
  EXPECT_TRUE(spatials[kDepth / 2]->IsMarked());
  root->ClearMarked();
  EXPECT_FALSE(spatials[kDepth / 2]->IsMarked());

  // Asked directly, the deepest spatial settles its Dirty ancestors first.
  for (CSpatial* s : spatials) s->SetDirty();
  i32 depth = 0;
  ASSERT_EQ(spatials.back()->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, static_cast<i32>(kDepth));
  EXPECT_FALSE(spatials[kDepth / 2]->IsDirty());

  ASSERT_EQ(root->UpdateWorldBound(), kOk);
  EXPECT_EQ(root->GetWorldBound(), static_cast<CTestLeaf*>(bottom)->GetWorldBound());
  EXPECT_EQ(root->ResolveReferences(root.Get()), kOk);

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(root->Clone(clone, map, 0), kOk);
  EXPECT_EQ(map.size(), kDepth + 1);
  CPointer<CNode> copy;
  ASSERT_EQ(root->CopyTreeByCustomId(copy, 0), kOk);
  std::vector<CSpatial*> copied;
  copy->CollectSpatials(copied);
  EXPECT_EQ(copied.size(), kDepth);  // the leaf is not a node
}

TEST_F(NodeTest, DeepTreeSavesLoadsAndIsReleased) {
  Bytes bytes;
  {
    CPointer<CNode> root = DeepChain();
    bytes = test::SaveRoots({root.Get()});
  }
  ASSERT_FALSE(bytes.empty());
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  EXPECT_NE(root->Find(u"bottom", nullptr, false, false), nullptr);
}

}  // namespace
}  // namespace KT
