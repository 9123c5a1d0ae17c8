// The keyed camera controller: depth of field, field of view and view
// volume tracks, their time rules, copies and every record form.
#include "render/lights/camera_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "render/lights/point_light.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using DofKey = CCameraControl::CDofKey;
using FovKey = CCameraControl::CFovKey;
using ViewVolKey = CCameraControl::CCameraViewVolKey;

class CameraControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CCameraControl", &CreateObject<CCameraControl>);
    test::UseTestIds(0);
  }
};

DofKey Dof(i32 time, f32 distance, u32 effect, u32 transition = TT_LINEAR) {
  DofKey key;
  key.Time = time;
  key.FocalDistance = distance;
  key.FocalRange = 2.0f * distance;
  key.Blurness = 1.0f;
  key.DofEffect = effect;
  key.TransitionType = transition;
  return key;
}

FovKey Fov(i32 time, f32 fov) {
  FovKey key;
  key.Time = time;
  key.FrustumFov = fov;
  return key;
}

ViewVolKey Volume(i32 time, f32 half) {
  ViewVolKey key;
  key.Time = time;
  key.VolumeLeft = -half;
  key.VolumeRight = half;
  key.VolumeTop = -half;
  key.VolumeBottom = half;
  return key;
}

struct Bound {
  CPointer<CCamera> camera{new CCamera()};
  CPointer<CCameraControl> control{new CCameraControl()};
  Bound() { EXPECT_EQ(camera->AddControl(control.Get()), kOk); }
  void Run(i32 time) {
    ASSERT_EQ(control->Update(time), kOk);
    ASSERT_EQ(control->Apply(), kOk);
  }
};

TEST_F(CameraControlTest, WithoutKeysTheCameraKeepsItsValues) {
  Bound bound;
  bound.camera->SetDepthOfField(3, 4, 5, CCamera::DOF_CoC);
  bound.camera->SetFrustumFov(0.7f);
  bound.camera->SetModified(false);
  bound.Run(500);
  EXPECT_EQ(bound.camera->GetFocalDistance(), 3.0f);
  EXPECT_EQ(bound.camera->GetDofEffect(), u32{CCamera::DOF_CoC});
  EXPECT_EQ(bound.camera->GetFrustumFov(), 0.7f);
  EXPECT_EQ(bound.control->GetEyeUpRotData(), bound.camera->GetWorldEyeUp());
  // No view-volume keys: the volume is never written.
  EXPECT_EQ(bound.camera->GetVolumeL(), -100.0f);
  EXPECT_FALSE(bound.camera->IsModified());
}

TEST_F(CameraControlTest, DepthOfFieldBlendsItsFloatsAndStepsItsEffect) {
  Bound bound;
  ASSERT_EQ(bound.control->EditDofKeys().SetKey(Dof(0, 10, CCamera::DOF_Gauss)), kOk);
  ASSERT_EQ(bound.control->EditDofKeys().SetKey(Dof(1000, 20, CCamera::DOF_Hybrid)), kOk);
  struct Row {
    i32 time;
    f32 distance;
    u32 effect;
  };
  for (const Row& row : {Row{-10, 10, CCamera::DOF_Gauss}, Row{0, 10, CCamera::DOF_Gauss},
                         Row{250, 12.5f, CCamera::DOF_Gauss}, Row{999, 19.99f, CCamera::DOF_Gauss},
                         Row{1000, 20, CCamera::DOF_Hybrid}, Row{4000, 20, CCamera::DOF_Hybrid}}) {
    SCOPED_TRACE(row.time);
    bound.Run(row.time);
    EXPECT_NEAR(bound.camera->GetFocalDistance(), row.distance, 1e-4f);
    EXPECT_NEAR(bound.camera->GetFocalRange(), 2.0f * row.distance, 1e-4f);
    EXPECT_EQ(bound.camera->GetDofEffect(), row.effect);
  }
}

TEST_F(CameraControlTest, OnlyTheViewVolumeScalesTheTimeByFrequency) {
  Bound bound;
  bound.control->SetFrequency(2.0f);
  ASSERT_EQ(bound.control->EditDofKeys().SetKey(Dof(0, 0, 0)), kOk);
  ASSERT_EQ(bound.control->EditDofKeys().SetKey(Dof(1000, 10, 0)), kOk);
  ASSERT_EQ(bound.control->EditFovKeys().SetKey(Fov(0, 0.0f)), kOk);
  ASSERT_EQ(bound.control->EditFovKeys().SetKey(Fov(1000, 1.0f)), kOk);
  ASSERT_EQ(bound.control->EditViewVolKeys().SetKey(Volume(0, 100)), kOk);
  ASSERT_EQ(bound.control->EditViewVolKeys().SetKey(Volume(1000, 50)), kOk);
  bound.camera->SetModified(false);
  bound.Run(500);
  EXPECT_EQ(bound.camera->GetVolumeL(), -50.0f);
  EXPECT_EQ(bound.camera->GetVolumeB(), 50.0f);
  EXPECT_EQ(bound.camera->GetFocalDistance(), 5.0f);
  EXPECT_EQ(bound.camera->GetFrustumFov(), 0.5f);
  EXPECT_FALSE(bound.camera->IsModified());
  EXPECT_EQ(bound.control->GetEndTime(), 1000);
}

TEST_F(CameraControlTest, UpdateRefusesUnboundForeignAndInactive) {
  CPointer<CCameraControl> control(new CCameraControl());
  EXPECT_EQ(control->Update(0), kErrInvalidArg);
  CPointer<CPointLight> lamp(new CPointLight());
  ASSERT_EQ(lamp->AddControl(control.Get()), kOk);
  EXPECT_EQ(control->Update(0), kErrNotFound);
  Bound bound;
  ASSERT_EQ(bound.control->EditFovKeys().SetKey(Fov(0, 0.25f)), kOk);
  bound.control->SetActive(false);
  EXPECT_EQ(bound.control->Update(0), kDone);
  EXPECT_EQ(bound.control->GetFrustumFov(), 1.0f);
}

TEST_F(CameraControlTest, SetFovKeyScalesSnapsAndReplaces) {
  CPointer<CCameraControl> control(new CCameraControl());
  control->SetFrequency(2.0f);
  FovKey key = Fov(505, 0.5f);
  key.TransitionType = TT_EASE_OUT;
  ASSERT_EQ(control->SetFovKey(key, 30.0f), kOk);
  ASSERT_EQ(control->SetFovKey(Fov(500, 0.75f), 30.0f), kOk);
  ASSERT_EQ(control->GetFovKeys().Size(), 1u);
  EXPECT_EQ(control->GetFovKeys()[0].Time, 1000);
  EXPECT_EQ(control->GetFovKeys()[0].FrustumFov, 0.75f);
  EXPECT_EQ(control->GetFovKeys()[0].TransitionType, u32{TT_LINEAR});
  EXPECT_EQ(control->RemoveFovKey(1), kErrOutOfRange);
  EXPECT_EQ(control->RemoveFovKey(0), kOk);
  EXPECT_TRUE(control->GetFovKeys().Empty());
}

TEST_F(CameraControlTest, CopiesResetTheTargetsCaches) {
  Bound bound;
  ASSERT_EQ(bound.control->EditFovKeys().SetKey(Fov(0, 0.5f)), kOk);
  ASSERT_EQ(bound.control->EditFovKeys().SetKey(Fov(1000, 1.5f)), kOk);
  ASSERT_EQ(bound.control->EditDofKeys().SetKey(Dof(0, 1, 0)), kOk);
  ASSERT_EQ(bound.control->EditDofKeys().SetKey(Dof(1000, 2, 0)), kOk);
  ASSERT_EQ(bound.control->EditViewVolKeys().SetKey(Volume(0, 1)), kOk);
  ASSERT_EQ(bound.control->EditViewVolKeys().SetKey(Volume(1000, 2)), kOk);
  bound.Run(600);
  CPointer<CCameraControl> target(new CCameraControl());
  target->EditDofKeys().SetLastIndex(5);
  target->EditFovKeys().SetLastIndex(5);
  target->EditViewVolKeys().SetLastIndex(5);
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetDofKeys().Size(), 2u);
  EXPECT_EQ(target->GetViewVolKeys().Size(), 2u);
  EXPECT_EQ(target->GetDofKeys().GetLastIndex(), 0u);
  EXPECT_EQ(target->GetFovKeys().GetLastIndex(), 0u);
  EXPECT_EQ(target->GetViewVolKeys().GetLastIndex(), 0u);
  // CopyTo carries the evaluated values; a copy made by construction does not.
  EXPECT_EQ(target->GetFrustumFov(), bound.control->GetFrustumFov());
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  EXPECT_EQ(DynamicCast<CCameraControl>(instance.Get())->GetFrustumFov(), 1.0f);
  EXPECT_EQ(bound.control->CopyTo(bound.camera.Get(), displaced, 0), kErrNotFound);
}

// --- records -----------------------------------------------------------------------------------------------

TEST_F(CameraControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CCameraControl> control(new CCameraControl());
  ASSERT_EQ(control->EditDofKeys().SetKey(Dof(0, 1, CCamera::DOF_Gauss, TT_EASE_IN)), kOk);
  ASSERT_EQ(control->EditFovKeys().SetKey(Fov(0, 0.5f)), kOk);
  ASSERT_EQ(control->EditFovKeys().SetKey(Fov(500, 0.6f)), kOk);
  ASSERT_EQ(control->EditViewVolKeys().SetKey(Volume(100, 3)), kOk);
  EXPECT_EQ(control->GetSaveSize(),
            control->CCameraDataControl::GetSaveSize() + 8 + (4 + 52) + (4 + 2 * 40) + (4 + 52));
  const Bytes first = test::SaveRoots({control.Get()});
  EXPECT_EQ(first.size(), kFirstRecordOffset + control->GetSaveSize());
  // The depth-of-field key stores its effect before the floats.
  const Bytes dofKey = ByteWriter().Pair(1, 0).I32(0).Pair(1, 0).U32(TT_EASE_IN).F32(50).Pair(1, 0).U32(1).F32(1).F32(2).F32(1).Data();
  EXPECT_NE(std::search(first.begin(), first.end(), dofKey.begin(), dofKey.end()), first.end());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(test::Members(stream.GetRootObject(0)), test::Members(control.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectEveryPrefixFails(first, kFirstRecordOffset);

  const std::string text = test::Members(control.Get());
  std::size_t at = 0;
  for (const char* name : {"CCameraControl Dof Data", "LastDofIndex", "FocalDistance", "DofEffect",
                           "CCameraControl Fov Data", "LastFovIndex", "FrustumFov",
                           "CCameraControl Orhtographic Camera View Volume Data", "LastViewVolIndex", "VolumeLeft",
                           "VolumeBottom", "CCameraDataControl Member"}) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
}

// The controller head: root, scene-content and controller parts, the data
// controller's and the camera data controller's pairs, then the camera
// controller's pair at 2.`minor`.
ByteWriter Head(u32 major, u32 minor) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlPart(w, test::ControlFields()).Pair(2, 0).Pair(2, 0).Pair(major, minor);
  return w;
}

ByteWriter& Times(ByteWriter& w, std::initializer_list<f32> times) {
  w.U32(static_cast<u32>(times.size()));
  for (f32 t : times) w.F32(t);
  return w;
}

Result Load(const ByteWriter& body, CPointer<CCameraControl>& out) {
  const Bytes file = test::SceneImage().Record("CCameraControl", body, true).Data();
  CStream stream;
  CMemoryIo device;
  const Result r = test::LoadScene(file, stream, device);
  out = DynamicCast<CCameraControl>(stream.GetRootObject(0));
  if (r == kOk) test::ExpectEveryPrefixFails(file, kFirstRecordOffset);
  return r;
}

TEST_F(CameraControlTest, OlderRecordsLoad) {
  // Below 2.00 and at 2.00: dropped vectors, no keys.
  ByteWriter oldest = Head(1, 0);
  oldest.U32(1).F32(1).F32(2).F32(3).U32(2).U32(7).U32(8);
  ByteWriter v200 = Head(2, 0);
  v200.U32(1).U32(9);
  for (const ByteWriter* body : {&oldest, &v200}) {
    CPointer<CCameraControl> control;
    ASSERT_EQ(Load(*body, control), kOk);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->GetDofKeys().Empty());
    EXPECT_TRUE(control->GetFovKeys().Empty());
  }

  ByteWriter v201 = Head(2, 1);
  Times(v201, {0, 999.9f});
  v201.U32(2).F32(1).F32(2).U32(2).F32(3).F32(4).U32(2).F32(5).F32(6).U32(2).U32(1).U32(3);
  Times(v201, {10});
  v201.U32(1).F32(0.5f);
  CPointer<CCameraControl> control;
  ASSERT_EQ(Load(v201, control), kOk);
  ASSERT_EQ(control->GetDofKeys().Size(), 2u);
  EXPECT_EQ(control->GetDofKeys()[1].Time, 999);
  EXPECT_EQ(control->GetDofKeys()[1].FocalDistance, 2.0f);
  EXPECT_EQ(control->GetDofKeys()[1].FocalRange, 4.0f);
  EXPECT_EQ(control->GetDofKeys()[1].Blurness, 6.0f);
  EXPECT_EQ(control->GetDofKeys()[1].DofEffect, 3u);
  ASSERT_EQ(control->GetFovKeys().Size(), 1u);
  EXPECT_EQ(control->GetFovKeys()[0].FrustumFov, 0.5f);

  for (u32 minor : {2u, 3u}) {
    SCOPED_TRACE(minor);
    ByteWriter w = Head(2, minor);
    Times(w, {0}).U32(1).F32(1).F32(2).F32(3).U32(2).U32(TT_STEP);
    Times(w, {0, 100}).U32(2).F32(0.5f).U32(TT_LINEAR).F32(0.7f).U32(TT_EASE_IN);
    if (minor == 3) Times(w, {50}).U32(1).F32(-1).F32(1).F32(-2).F32(2).U32(TT_EASE_OUT);
    ASSERT_EQ(Load(w, control), kOk);
    ASSERT_EQ(control->GetDofKeys().Size(), 1u);
    EXPECT_EQ(control->GetDofKeys()[0].DofEffect, 2u);
    EXPECT_EQ(control->GetDofKeys()[0].TransitionType, u32{TT_STEP});
    ASSERT_EQ(control->GetFovKeys().Size(), 2u);
    EXPECT_EQ(control->GetFovKeys()[1].TransitionType, u32{TT_EASE_IN});
    ASSERT_EQ(control->GetViewVolKeys().Size(), minor == 3 ? 1u : 0u);
    if (minor == 3) {
      EXPECT_EQ(control->GetViewVolKeys()[0].VolumeBottom, 2.0f);
      EXPECT_EQ(control->GetViewVolKeys()[0].Time, 50);
    }
  }

  // A value array shorter than its times.
  ByteWriter shortValues = Head(2, 2);
  Times(shortValues, {0, 100}).U32(1).F32(1).F32(2).F32(3).U32(2).U32(0);
  Times(shortValues, {}).U32(0);
  EXPECT_EQ(Load(shortValues, control), kErrNotFound);
  ByteWriter newer = Head(2, 5);
  EXPECT_EQ(Load(newer, control), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
