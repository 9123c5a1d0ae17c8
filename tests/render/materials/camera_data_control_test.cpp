// The camera data controller base: evaluation fields that copies reset and
// CopyTo transfers, Apply into the bound camera, and its record level.
#include "render/materials/camera_data_control.h"

#include <gtest/gtest.h>

#include <string>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "objectmodel/test_class_record.h"
#include "render/lights/camera.h"
#include "render/lights/point_light.h"

namespace KT {
namespace {

using test::Bytes;
using Vec = CVector3<float>;

// A concrete camera controller whose Update sets fixed values.
class CTestCameraData : public CCameraDataControl {
  KT_TEST_CLASS(CTestCameraData, CCameraDataControl, 1, 0)

 public:
  CTestCameraData() = default;
  CTestCameraData(const CTestCameraData& other) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }
  i32 GetEndTime() const override { return 0; }
  Result Update(i32) override {
    eyeUpRotData_ = {0, 0, 1};
    focalDistance_ = 2.0f;
    focalRange_ = 3.0f;
    blurness_ = 4.0f;
    dofEffect_ = CCamera::DOF_Hybrid;
    frustumFov_ = 0.5f;
    return kOk;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = CCameraDataControl::Load(stream, record, flags);
    return Failed(r) ? r : stream.ReadVersionBlock(StaticClassRecord());
  }
  Result Save(CStream& stream, u32 flags) override {
    const Result r = CCameraDataControl::Save(stream, flags);
    return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
  }
  u32 GetSaveSize() const override { return CCameraDataControl::GetSaveSize() + 8; }
};

class CameraDataControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CTestCameraData", &CreateObject<CTestCameraData>);
    test::UseTestIds(0);
  }
};

TEST_F(CameraDataControlTest, DefaultsAndClass) {
  CPointer<CTestCameraData> control(new CTestCameraData());
  EXPECT_EQ(CCameraDataControl::StaticClassRecord().Version(), 200u);
  EXPECT_TRUE(control->IsKindOf(CCameraDataControl::StaticClassRecord()));
  EXPECT_TRUE(control->IsDataControl());
  EXPECT_EQ(control->GetEyeUpRotData(), (Vec{0, 0, 0}));
  EXPECT_EQ(control->GetFocalDistance(), 0.0f);
  EXPECT_EQ(control->GetFocalRange(), 0.0f);
  EXPECT_EQ(control->GetBlurness(), 0.0f);
  EXPECT_EQ(control->GetDofEffect(), 0u);
  EXPECT_EQ(control->GetFrustumFov(), 1.0f);
}

TEST_F(CameraDataControlTest, CopyConstructionResetsTheValuesCopyToTransfersThem) {
  CPointer<CTestCameraData> source(new CTestCameraData());
  source->SetFrequency(2.0f);
  ASSERT_EQ(source->Update(0), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(source->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CTestCameraData>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetFrequency(), 2.0f);
  EXPECT_EQ(copy->GetFocalDistance(), 0.0f);
  EXPECT_EQ(copy->GetFocalRange(), 0.0f);
  EXPECT_EQ(copy->GetBlurness(), 0.0f);
  EXPECT_EQ(copy->GetDofEffect(), 0u);
  EXPECT_EQ(copy->GetFrustumFov(), 1.0f);

  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(copy, displaced, 0), kOk);
  EXPECT_EQ(copy->GetEyeUpRotData(), (Vec{0, 0, 1}));
  EXPECT_EQ(copy->GetFocalDistance(), 2.0f);
  EXPECT_EQ(copy->GetFocalRange(), 3.0f);
  EXPECT_EQ(copy->GetBlurness(), 4.0f);
  EXPECT_EQ(copy->GetDofEffect(), u32{CCamera::DOF_Hybrid});
  EXPECT_EQ(copy->GetFrustumFov(), 0.5f);

  CPointer<CCamera> camera(new CCamera());
  EXPECT_EQ(source->CopyTo(camera.Get(), displaced, 0), kErrNotFound);
}

TEST_F(CameraDataControlTest, ApplyWritesTheCameraAndKeepsItsModifiedFlag) {
  for (const bool modified : {false, true}) {
    SCOPED_TRACE(modified);
    CPointer<CCamera> camera(new CCamera());
    CPointer<CTestCameraData> control(new CTestCameraData());
    ASSERT_EQ(camera->AddControl(control.Get()), kOk);
    ASSERT_EQ(control->Update(0), kOk);
    camera->SetModified(modified);
    ASSERT_EQ(control->Apply(), kOk);
    EXPECT_EQ(camera->IsModified(), modified);
    EXPECT_EQ(camera->GetWorldEyeUp(), (Vec{0, 0, 1}));
    EXPECT_EQ(camera->GetFocalDistance(), 2.0f);
    EXPECT_EQ(camera->GetFocalRange(), 3.0f);
    EXPECT_EQ(camera->GetBlurness(), 4.0f);
    EXPECT_EQ(camera->GetDofEffect(), u32{CCamera::DOF_Hybrid});
    EXPECT_EQ(camera->GetFrustumFov(), 0.5f);
  }
}

TEST_F(CameraDataControlTest, ApplyRefusesAMissingOrForeignObject) {
  CPointer<CTestCameraData> control(new CTestCameraData());
  EXPECT_EQ(control->Apply(), kErrInvalidArg);
  CPointer<CPointLight> lamp(new CPointLight());
  ASSERT_EQ(lamp->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->Update(0), kOk);
  const std::string before = test::Members(lamp.Get());
  EXPECT_EQ(control->Apply(), kErrNotFound);
  EXPECT_EQ(test::Members(lamp.Get()), before);
}

TEST_F(CameraDataControlTest, TheLevelStoresItsVersionPairOnly) {
  CPointer<CTestCameraData> control(new CTestCameraData());
  ASSERT_EQ(control->Update(0), kOk);
  EXPECT_EQ(control->GetSaveSize(), control->CDataControl::GetSaveSize() + 16);
  const Bytes first = test::SaveRoots({control.Get()});
  EXPECT_EQ(first.size(), 40 + control->GetSaveSize());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CTestCameraData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  // The evaluated values were not stored.
  EXPECT_EQ(loaded->GetFocalDistance(), 0.0f);
  EXPECT_EQ(loaded->GetFrustumFov(), 1.0f);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectEveryPrefixFails(first, 40);

  const std::string text = test::Members(control.Get());
  EXPECT_LT(text.find("CCameraDataControl Member"), text.find("EyeUpRotData"));
  EXPECT_LT(text.find("FrustumFov"), text.find("DofEffect"));
  EXPECT_LT(text.find("DofEffect"), text.find("CControl Member"));
  EXPECT_NE(text.find("DOF_Hybrid"), std::string::npos);
}

}  // namespace
}  // namespace KT
