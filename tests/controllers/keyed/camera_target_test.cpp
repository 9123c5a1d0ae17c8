// The camera target node: a spatial with nothing of its own, placed and
// animated like any spatial, looked at by a camera, and stored as the
// spatial part followed by its version pair alone.
#include "controllers/keyed/camera_target.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/test_classes.h"
#include "controllers/core/transform_test_support.h"
#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/camera.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec3 = CVector3<float>;

class CameraTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CCameraTarget", &CreateObject<CCameraTarget>);
    test::UseTestIds(0);
  }
};

CRtsTransform At(const Vec3& at) {
  CRtsTransform t = kIdentityTransform;
  t.Translate = at;
  return t;
}

// A target moved by a keyframe controller from (0, 0, 0) to (4, 0, 0)
// over one second.
CPointer<CCameraTarget> SlidingTarget() {
  CPointer<CCameraTarget> target(new CCameraTarget());
  target->SetName(u"target");
  CPointer<CKeyframeControl> slide(new CKeyframeControl());
  EXPECT_EQ(slide->AddRtsKey(0, 1000.0f, At({0, 0, 0})), kOk);
  EXPECT_EQ(slide->AddRtsKey(1000, 1000.0f, At({4, 0, 0})), kOk);
  EXPECT_EQ(target->AddControl(slide.Get()), kOk);
  return target;
}

TEST_F(CameraTargetTest, ItMovesLikeAnySpatialAndACameraLooksAtIt) {
  CPointer<CNode> scene(new CNode());
  CPointer<CCameraTarget> target = SlidingTarget();
  ASSERT_EQ(scene->AddChild(target.Get()), kOk);
  CPointer<CCamera> camera(new CCamera());
  camera->SetFreeMode(false);
  ASSERT_EQ(camera->SetTarget(target.Get()), kOk);
  CPointer<CKeyframeControl> placed(new CKeyframeControl());
  ASSERT_EQ(placed->AddRtsKey(0, 1000.0f, At({2, 0, 2})), kOk);
  ASSERT_EQ(camera->AddControl(placed.Get()), kOk);
  ASSERT_EQ(scene->AddChild(camera.Get()), kOk);

  ASSERT_EQ(scene->UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  test::ExpectNear(target->GetWorldMatrix().GetTranslation(), {2, 0, 0});
  // A point: its bound sits at its place.
  test::ExpectNear(target->GetWorldBound().Center, {2, 0, 0});
  test::ExpectNear(camera->GetWorldEyeDirection(), {0, 0, -1});
  ASSERT_EQ(scene->UpdateScene(1000, 0, 0.0f, true, nullptr, false), kOk);
  test::ExpectNear(camera->GetWorldEyeDirection(), Vec3(2, 0, -2) * std::sqrt(0.125f));

  std::vector<CSpatial*> spatials;
  ASSERT_EQ(target->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials, std::vector<CSpatial*>{target.Get()});
}

TEST_F(CameraTargetTest, UpdateReportsFailuresAndOtherwiseSuccess) {
  struct Row {
    Result control;
    Result expected;
  };
  const Row rows[] = {{kOk, kOk}, {kDone, kOk}, {2, kOk}, {kErrNotFound, kErrNotFound}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control);
    CPointer<CCameraTarget> target(new CCameraTarget());
    CPointer<test::CTestControl> control(new test::CTestControl());
    control->updateResult = row.control;
    ASSERT_EQ(target->AddControl(control.Get()), kOk);
    EXPECT_EQ(target->Update(250), row.expected);
    EXPECT_EQ(control->lastTime, 250);
  }
}

TEST_F(CameraTargetTest, CopyToIsTheSpatialCopy) {
  CPointer<CCameraTarget> source(new CCameraTarget());
  source->SetBasis(At({1, 2, 3}));
  source->SetHidden(true);
  source->SetInherited(0x38);
  CPointer<CCameraTarget> target(new CCameraTarget());
  CPointer<CNode> node(new CNode());
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  test::ExpectNear(target->GetBasis().Translate, {1, 2, 3});
  EXPECT_TRUE(target->IsHidden());
  EXPECT_EQ(target->GetInherited(), 0x38u);
  ASSERT_EQ(source->CopyTo(node.Get(), displaced, 0), kOk);
  EXPECT_TRUE(node->IsHidden());
  EXPECT_EQ(source->CopyTo(notSpatial.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  CPointer<CBase> instance;
  ASSERT_EQ(source->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CCameraTarget>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->IsHidden());
  EXPECT_EQ(copy->GetVersion(), 200u);
}

TEST_F(CameraTargetTest, TheRecordIsTheSpatialPartAndTheVersionPair) {
  // Built from the layout: the spatial part, then 2.00 and nothing else;
  // saved again, the same bytes.
  ByteWriter body;
  test::BasePart(body, test::kTestIdTag + 0x10, u"aim here");
  test::DorunPart(body, 0);
  test::SpatialPart(body, 0x1C0);
  body.Pair(2, 0);
  CStream stream;
  CMemoryIo device;
  auto* loaded = test::LoadRoot<CCameraTarget>("CCameraTarget", body, stream, device);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetName(), u"aim here");
  EXPECT_EQ(loaded->GetInherited(), 0x1C0u);
  EXPECT_EQ(loaded->GetSaveSize(), loaded->CSpatial::GetSaveSize() + 8);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)),
            test::RenumberIds(test::SceneImage().Record("CCameraTarget", body, true).Data()));

  // An animated target with spatial fields set, through the whole file.
  CPointer<CCameraTarget> target = SlidingTarget();
  target->SetBasis(At({0, 1, 0}));
  target->SetRenderState(CSpatial::RS_WireFrame);
  test::ExpectSceneRoundTrip(*target);
  const std::string members = test::Members(target.Get());
  EXPECT_NE(members.find("CSpatial Member"), std::string::npos);
  EXPECT_EQ(members.find("CCameraTarget Member"), std::string::npos);

  ByteWriter newer;
  test::BasePart(newer, 0x10);
  test::DorunPart(newer, 0);
  test::SpatialPart(newer);
  newer.Pair(2, 1);
  CStream refused;
  EXPECT_EQ(test::LoadRecord("CCameraTarget", newer, refused, device), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
