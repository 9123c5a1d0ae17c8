// The rotation offset controller: the fixed turn on top of the object's
// Local, the order of its three angles, its answers and its record.
#include "controllers/composite/rts_offset_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Vec3 = CVector3<float>;

class RtsOffsetControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CRTSOffsetControl", &CreateObject<CRTSOffsetControl>);
    test::UseTestIds(0);
  }
};

CQuaternion About(const Vec3& axis, f32 angle) { return CQuaternion::FromAxisAngle(axis, angle); }

struct Turned {
  CPointer<CNode> node{new CNode()};
  CPointer<CRTSOffsetControl> control{new CRTSOffsetControl()};
  Turned() { EXPECT_EQ(node->AddControl(control.Get()), kOk); }
};

TEST_F(RtsOffsetControlTest, TheOffsetMultipliesTheLocalRotationOnTheRight) {
  const CQuaternion start = About({1, 0, 0}, 0.3f);
  struct Row {
    const char* name;
    Vec3 angles;
    CQuaternion offset;
  };
  const Row rows[] = {
      {"none", {0, 0, 0}, kQuaternionIdentity},
      {"a quarter turn about Z", {0, 0, kHalfPi}, About({0, 0, 1}, kHalfPi)},
      {"X first, then Y, then Z", {0.1f, 0.2f, 0.3f},
       About({0, 0, 1}, 0.3f) * About({0, 1, 0}, 0.2f) * About({1, 0, 0}, 0.1f)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Turned turned;
    CRtsTransform local = kIdentityTransform;
    local.Rotate = start;
    local.Translate = {1, 2, 3};
    turned.node->SetLocal(local);
    turned.node->SetSticky(true, 10, 20);
    turned.control->SetRotationOffset(row.angles);
    ASSERT_EQ(turned.control->UpdateTransform(12345), kOk);
    test::ExpectSameRotation(turned.control->GetLocal().Rotate, start * row.offset);
    test::ExpectNear(turned.control->GetWorldRotate(), (start * row.offset).ToMatrix3());
    test::ExpectNear(turned.control->GetWorldMatrix().GetTranslation(), {1, 2, 3});
    EXPECT_TRUE(turned.control->IsStickyEnabled());
    EXPECT_EQ(turned.control->GetStickyStart(), 10);
    EXPECT_EQ(turned.control->GetStickyEnd(), 20);
  }
}

TEST_F(RtsOffsetControlTest, ItTurnsWhatTheEarlierControllerSetOrItsOwnLastResult) {
  // Alone in the chain, each update turns the object again.
  Turned alone;
  alone.control->SetRotationOffset({0, 0, kHalfPi});
  for (int i = 1; i <= 2; ++i) {
    ASSERT_EQ(alone.control->UpdateTransform(0), kOk);
    ASSERT_EQ(alone.control->ApplyTransform(), kOk);
    test::ExpectSameRotation(alone.node->GetLocal().Rotate, About({0, 0, 1}, kHalfPi * static_cast<f32>(i)));
  }
  // Behind a keyframe controller it turns that controller's pose.
  CPointer<CNode> node(new CNode());
  CPointer<CKeyframeControl> keys(new CKeyframeControl());
  CRtsTransform pose = kIdentityTransform;
  pose.Rotate = About({0, 1, 0}, 0.4f);
  ASSERT_EQ(keys->AddRtsKey(0, 1000.0f, pose), kOk);
  CPointer<CRTSOffsetControl> offset(new CRTSOffsetControl());
  offset->SetRotationOffset({0, 0, kHalfPi});
  ASSERT_EQ(node->AddControl(keys.Get()), kOk);
  ASSERT_EQ(node->AddControl(offset.Get()), kOk);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(node->UpdateTransform(0), kOk);
    test::ExpectSameRotation(node->GetLocal().Rotate, pose.Rotate * About({0, 0, 1}, kHalfPi));
  }
}

TEST_F(RtsOffsetControlTest, Answers) {
  CPointer<CRTSOffsetControl> loose(new CRTSOffsetControl());
  EXPECT_EQ(loose->GetVersion(), 100u);
  EXPECT_EQ(loose->GetEndTime(), 0);
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  ASSERT_EQ(notSpatial->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrNotFound);
  Turned turned;
  turned.control->SetRotationOffset({0, 0, 1});
  turned.control->SetActive(false);
  EXPECT_EQ(turned.control->UpdateTransform(0), kDone);
  EXPECT_EQ(turned.control->GetLocal().Rotate, kQuaternionIdentity);

  CPointer<CRTSOffsetControl> target(new CRTSOffsetControl());
  DisplacedList displaced;
  ASSERT_EQ(turned.control->CopyTo(target.Get(), displaced, 0), kOk);
  test::ExpectNear(target->GetRotationOffset(), {0, 0, 1});
  EXPECT_EQ(turned.control->CopyTo(turned.node.Get(), displaced, 0), kErrNotFound);
  CPointer<CBase> instance;
  ASSERT_EQ(turned.control->CreateInstance(instance), kOk);
  test::ExpectNear(DynamicCast<CRTSOffsetControl>(instance.Get())->GetRotationOffset(), {0, 0, 1});
}

TEST_F(RtsOffsetControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CRTSOffsetControl> control(new CRTSOffsetControl());
  control->SetRotationOffset({0.5f, -0.25f, 2.0f});
  EXPECT_EQ(control->GetSaveSize(), control->CRTSControl::GetSaveSize() + 20);
  const Bytes first = test::SaveRoots({control.Get()});
  const Bytes own = ByteWriter().Pair(1, 0).F32(0.5f).F32(-0.25f).F32(2.0f).Data();
  ASSERT_GE(first.size(), own.size());
  EXPECT_TRUE(std::equal(own.begin(), own.end(), first.end() - static_cast<std::ptrdiff_t>(own.size())));
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CRTSOffsetControl>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  test::ExpectNear(loaded->GetRotationOffset(), {0.5f, -0.25f, 2.0f});
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectEveryPrefixFails(first, kFirstRecordOffset);
  // The member description is the transform controller's alone.
  const std::string text = test::Members(control.Get());
  EXPECT_EQ(text.find("CRTSOffsetControl Member"), std::string::npos);
  EXPECT_EQ(text.find("RotationOffset"), std::string::npos);
  EXPECT_NE(text.find("CRTSControl Member"), std::string::npos);

  ByteWriter newer = test::TransformControlHead(0x10, 0, 2, 0);
  newer.Pair(1, 1).F32(0).F32(0).F32(0);
  CStream refused;
  EXPECT_EQ(test::LoadScene(test::SceneImage().Record("CRTSOffsetControl", newer, true).Data(), refused, device),
            kErrNewerVersion);
}

}  // namespace
}  // namespace KT
