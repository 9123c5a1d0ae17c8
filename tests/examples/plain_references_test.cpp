// Plain (uncounted) references resolved when loading the sample scene never
// outlive their targets: a bone that only the skin and the bone boxes refer
// to is not kept by the delivered root, so those references are dropped at
// link, and the scene evaluates cleanly after the stream is gone.
#include <gtest/gtest.h>

#include "controllers/core/bone_skin_control.h"
#include "examples/sample_scene.h"
#include "library/register_library_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/stream_test_support.h"
#include "scene/geometry.h"
#include "scene/node.h"

namespace KT {
namespace {

class PlainReferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterCustomDataClasses();
    RegisterLibraryClasses();
    test::UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

  // The sample scene saved after its "Knee" bone was taken out of the node
  // tree (the skin and a bone box still name it).
  static test::Bytes SampleWithoutKneeInTree() {
    CStream stream;
    EXPECT_EQ(BuildSampleScene(stream), kOk);
    CBase* root = stream.GetRootObject(0);
    CPointer<CNode> knee(DynamicCast<CNode>(root->Find(u"Knee", nullptr, false, false)));
    EXPECT_TRUE(knee);
    if (!knee) return {};
    CNode* hip = DynamicCast<CNode>(knee->GetParent());
    EXPECT_NE(hip, nullptr);
    if (hip == nullptr) return {};
    EXPECT_EQ(hip->RemoveChild(knee.Get()), kOk);
    CMemoryIo device;
    stream.SetDevice(&device);
    EXPECT_EQ(stream.Save(CStream::kAllSections), kOk);
    return device.TakeData();
  }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(PlainReferencesTest, BonesOwnedByNothingElseAreDroppedAndTheSceneEvaluatesAfterTheStream) {
  const test::Bytes bytes = SampleWithoutKneeInTree();
  ASSERT_FALSE(bytes.empty());
  test::UseTestIds(1);
  CPointer<CSpatial> root;
  {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device, 0), kOk);
    root = DynamicCast<CSpatial>(stream.GetRootObject(0));
    ASSERT_TRUE(root);
    auto* skin = DynamicCast<CBoneSkinControl>(root->Find(u"Skin", nullptr, false, false));
    ASSERT_NE(skin, nullptr);
    ASSERT_EQ(skin->GetReferenceBone().size(), 2u);
    // The hip is in the tree and stays; the knee is held by nothing the
    // root delivers.
    EXPECT_NE(skin->GetReferenceBone()[0], nullptr);
    EXPECT_EQ(skin->GetReferenceBone()[1], nullptr);
    auto* leg = DynamicCast<CGeometry>(root->Find(u"Leg", nullptr, false, false));
    ASSERT_NE(leg, nullptr);
    for (const CGeometry::BoneBox& pair : leg->GetBoneBoxes()) {
      if (pair.Bone != nullptr) {
        EXPECT_NE(pair.Bone->GetName(), u"Knee");
      }
    }
  }  // the stream, and the knee with it, are gone
  for (const i32 time : {0, 250, 500, 1000}) {
    EXPECT_EQ(root->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk) << time;
  }
}

TEST_F(PlainReferencesTest, BonesInTheTreeStayAfterALoad) {
  CStream built;
  ASSERT_EQ(BuildSampleScene(built), kOk);
  CMemoryIo out;
  built.SetDevice(&out);
  ASSERT_EQ(built.Save(CStream::kAllSections), kOk);
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(out.GetData(), stream, device, 0), kOk);
  CBase* root = stream.GetRootObject(0);
  auto* skin = DynamicCast<CBoneSkinControl>(root->Find(u"Skin", nullptr, false, false));
  ASSERT_NE(skin, nullptr);
  for (const CBase* bone : skin->GetReferenceBone()) EXPECT_NE(bone, nullptr);
  auto* leg = DynamicCast<CGeometry>(root->Find(u"Leg", nullptr, false, false));
  ASSERT_NE(leg, nullptr);
  ASSERT_FALSE(leg->GetBoneBoxes().empty());
  for (const CGeometry::BoneBox& pair : leg->GetBoneBoxes()) EXPECT_NE(pair.Bone, nullptr);
}

}  // namespace
}  // namespace KT
