// KT::CBillboardNode: a node with its own class and version block.
#include "scene/billboard_node.h"

#include <gtest/gtest.h>

#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::CTestLeaf;

class BillboardNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CBillboardNode", &CreateObject<CBillboardNode>);
    test::UseTestIds(0);
  }
};

TEST_F(BillboardNodeTest, CopiesKeepTheClass) {
  CPointer<CBillboardNode> node;
  ASSERT_EQ(CBillboardNode::Create(node), kOk);
  node->SetCustomId(7);
  node->AddChild(CPointer<CTestLeaf>(new CTestLeaf(u"leaf")).Get());
  CPointer<CBase> instance;
  ASSERT_EQ(node->CreateInstance(instance), kOk);
  CBillboardNode* made = DynamicCast<CBillboardNode>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetCustomId(), 7u);
  EXPECT_EQ(made->GetChildCount(), 0u);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(node->Clone(clone, map, 0), kOk);
  ASSERT_NE(DynamicCast<CBillboardNode>(clone.Get()), nullptr);
  EXPECT_EQ(DynamicCast<CBillboardNode>(clone.Get())->GetChildCount(), 1u);
}

TEST_F(BillboardNodeTest, SaveLoadSave) {
  CPointer<CBillboardNode> node;
  ASSERT_EQ(CBillboardNode::Create(node), kOk);
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"leaf"));
  node->AddChild(leaf.Get());
  const Bytes first = test::SaveRoots({node.Get()});
  EXPECT_EQ(first.size(), 40u + node->GetSaveSize() + leaf->GetSaveSize());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CBillboardNode* loaded = DynamicCast<CBillboardNode>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetChildCount(), 1u);
  EXPECT_EQ(test::Members(loaded), test::Members(node.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first);
}

TEST_F(BillboardNodeTest, LoadsFromAByteImage) {
  test::ByteWriter body = test::NodeBody(1, {5});
  body.Pair(2, 0);
  const Bytes bytes =
      test::SceneFile().Record("CBillboardNode", body, true).Record("CTestLeaf", test::LeafBody(5, u"five")).Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  CBillboardNode* node = DynamicCast<CBillboardNode>(stream.GetRootObject(0));
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->GetChildCount(), 1u);
  EXPECT_EQ(node->GetChild(0)->GetName(), u"five");
}

}  // namespace
}  // namespace KT
