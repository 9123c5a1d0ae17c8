// The camera switcher and its controller: modes, the record and its older
// forms (keys turned into a controller), remapping through a clone map, and
// the step evaluation of the controller.
#include <gtest/gtest.h>

#include <algorithm>

#include "effects_test_support.h"
#include "render/effects/camera_switcher.h"
#include "render/effects/camera_switcher_control.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Key = CCameraSwitcherControl::CCameraKey;

class CameraSwitcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterEffectClasses();
    test::UseTestIds(0);
  }
};

// A camera record (2.02, no target).
ByteWriter CameraBody(u64 id) {
  ByteWriter w = test::SpatialHead(id);
  w.Pair(2, 2).F32(1).F32(2).F32(1);
  w.F32(-100).F32(100).F32(-100).F32(100);
  for (f32 f : {0.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, -1.f}) w.F32(f);
  w.U8(1).U8(1).U8(0).U64(0).F32(0).F32(1000).F32(1).U32(0);
  return w;
}

ByteWriter TestDorunBody(u64 id) {
  ByteWriter w = test::DorunHead(id);
  w.Pair(1, 0).I32(3);
  return w;
}

struct SwitcherIds {
  u64 owned = 0, selected = 0, follow = 0, object = 0;
};

// A switcher record at 1.`minor`. From 1.05 the five fields alone; before,
// the camera list and key times first (i32 times at 1.04, f32 before) and
// the ids of the version.
ByteWriter SwitcherRecord(u64 id, u32 minor, const SwitcherIds& ids, const std::vector<u64>& cameras = {},
                          const std::vector<f32>& times = {}, u64 controls = 0) {
  const u32 v = 100 + minor;
  const bool wide = v >= 103;
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, controls);
  w.Pair(1, minor);
  const auto writeId = [&](u64 value) {
    if (wide) {
      w.U64(value);
    } else {
      w.U32(static_cast<u32>(value));
    }
  };
  if (v < 105) {
    w.U32(static_cast<u32>(cameras.size()));
    for (u64 camera : cameras) writeId(camera);
    w.U32(static_cast<u32>(times.size()));
    for (f32 time : times) {
      if (v == 104) {
        w.I32(static_cast<i32>(time));
      } else {
        w.F32(time);
      }
    }
  }
  writeId(ids.owned);
  w.U32(CCameraSwitcher::CM_Switch);
  if (v >= 101) writeId(ids.selected);
  if (v >= 102) {
    writeId(ids.follow);
    writeId(ids.object);
  }
  return w;
}

TEST_F(CameraSwitcherTest, DefaultSwitcherBrowsesAndCollectsOnlyItself) {
  CCameraSwitcher switcher;
  EXPECT_EQ(switcher.GetMode(), u32{CCameraSwitcher::CM_Browse});
  EXPECT_EQ(switcher.GetVersion(), 105u);
  std::vector<CDorun*> animated;
  ASSERT_EQ(switcher.CollectAnimated(animated), kOk);
  ASSERT_EQ(animated.size(), 1u);
  EXPECT_EQ(animated[0], &switcher);
}

TEST_F(CameraSwitcherTest, BrowseCollectsTheSelectedOwnOrFollowCamera) {
  CPointer<CCamera> own(new CCamera());
  CPointer<CCamera> follow(new CCamera());
  CPointer<test::CTestControl> data(new test::CTestControl());
  data->isData = true;
  ASSERT_EQ(own->AddControl(data.Get()), kOk);
  CPointer<test::CTestControl> followData(new test::CTestControl());
  followData->isData = true;
  ASSERT_EQ(follow->AddControl(followData.Get()), kOk);
  CCameraSwitcher switcher;
  ASSERT_EQ(switcher.SetOwnedCamera(own.Get()), kOk);
  switcher.SetFollowCamera(follow.Get());
  struct Case {
    const char* name;
    u32 mode;
    CCamera* selected;
    CCamera* alternate;
    CDorun* expected;  // collected after the switcher (null: nothing)
  };
  const Case cases[] = {
      {"own selected", CCameraSwitcher::CM_Browse, own.Get(), nullptr, own.Get()},
      {"own alternate", CCameraSwitcher::CM_Browse, nullptr, own.Get(), own.Get()},
      {"follow selected", CCameraSwitcher::CM_Browse, follow.Get(), nullptr, follow.Get()},
      {"neither", CCameraSwitcher::CM_Browse, nullptr, nullptr, nullptr},
      {"switch mode", CCameraSwitcher::CM_Switch, own.Get(), nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    switcher.SetMode(c.mode);
    switcher.SetSelectedCamera(c.selected);
    switcher.SetAlternateCamera(c.alternate);
    std::vector<CDorun*> animated;
    ASSERT_EQ(switcher.CollectAnimated(animated), kOk);
    ASSERT_EQ(animated.size(), c.expected ? 2u : 1u);
    if (c.expected) {
      EXPECT_EQ(animated[1], c.expected);
    }
  }
}

TEST_F(CameraSwitcherTest, SavesFortyFourBytesWithoutTheUpdatedCamera) {
  CPointer<CCamera> own(new CCamera());
  CPointer<CCamera> selected(new CCamera());
  CCameraSwitcher switcher;
  ASSERT_EQ(switcher.SetOwnedCamera(own.Get()), kOk);
  switcher.SetSelectedCamera(selected.Get());
  switcher.SetMode(CCameraSwitcher::CM_Switch);
  const Bytes bytes = test::SaveObjectRecord(switcher);
  ASSERT_EQ(bytes.size(), switcher.GetSaveSize());
  ByteWriter expected;
  expected.Pair(1, 5).U64(own->GetUniqueId()).U32(1).U64(selected->GetUniqueId()).U64(0).U64(0);
  EXPECT_EQ(Bytes(bytes.end() - 44, bytes.end()), expected.Data());
  switcher.SetUpdatedCamera(selected.Get());
  switcher.SetAlternateCamera(own.Get());
  EXPECT_EQ(test::SaveObjectRecord(switcher), bytes);
}

TEST_F(CameraSwitcherTest, CurrentRecordLinksItsCameras) {
  test::LoadedFile loaded;
  test::LoadRecords(loaded,
                    {{"CCameraSwitcher", SwitcherRecord(1, 5, {2, 3, 4, 5})},
                     {"CCamera", CameraBody(3)},
                     {"CCamera", CameraBody(4)},
                     {"CCamera", CameraBody(2)},
                     {"CTestDorun", TestDorunBody(5)}},
                    true, 3);
  ASSERT_EQ(loaded.result, kOk);
  auto* switcher = DynamicCast<CCameraSwitcher>(loaded.Root());
  ASSERT_NE(switcher, nullptr);
  EXPECT_EQ(switcher->GetMode(), u32{CCameraSwitcher::CM_Switch});
  EXPECT_EQ(switcher->GetSelectedCamera(), loaded.Root(1));
  EXPECT_EQ(switcher->GetFollowCamera(), loaded.Root(2));
  ASSERT_NE(switcher->GetOwnedCamera(), nullptr);
  EXPECT_NE(DynamicCast<test::CTestDorun>(switcher->GetOwnedObject()), nullptr);
  EXPECT_EQ(switcher->GetFirstControl(), nullptr);
}

TEST_F(CameraSwitcherTest, PlainCameraNotHeldByTheRootsIsDropped) {
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CCameraSwitcher", SwitcherRecord(1, 5, {0, 3, 0, 0})}, {"CCamera", CameraBody(3)}},
                    false);
  ASSERT_EQ(loaded.result, kOk);
  EXPECT_EQ(static_cast<CCameraSwitcher*>(loaded.Root())->GetSelectedCamera(), nullptr);
}

TEST_F(CameraSwitcherTest, OlderRecordsBecomeAController) {
  struct Case {
    u32 minor;
    std::vector<f32> times;
    bool selected, follow;  // whether the version stores them
  };
  const Case cases[] = {
      {4, {0.0f, 110.0f, 250.0f}, true, true},
      {3, {0.0f, 110.7f, 250.2f}, true, true},
      {2, {0.0f, 110.7f, 250.2f}, true, true},
      {1, {0.0f, 110.7f, 250.2f}, true, false},
      {0, {0.0f, 110.7f, 250.2f}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minor);
    test::LoadedFile loaded;
    test::LoadRecords(loaded,
                      {{"CCameraSwitcher", SwitcherRecord(1, c.minor, {2, 3, 4, 5}, {3, 4, 3}, c.times)},
                       {"CCamera", CameraBody(3)},
                       {"CCamera", CameraBody(4)},
                       {"CCamera", CameraBody(2)},
                       {"CTestDorun", TestDorunBody(5)}},
                      true, 3);
    ASSERT_EQ(loaded.result, kOk);
    auto* switcher = DynamicCast<CCameraSwitcher>(loaded.Root());
    ASSERT_NE(switcher, nullptr);
    EXPECT_NE(switcher->GetOwnedCamera(), nullptr);
    EXPECT_EQ(switcher->GetSelectedCamera(), c.selected ? loaded.Root(1) : nullptr);
    EXPECT_EQ(switcher->GetFollowCamera(), c.follow ? loaded.Root(2) : nullptr);
    EXPECT_EQ(switcher->GetOwnedObject() != nullptr, c.follow);
    auto* control = DynamicCast<CCameraSwitcherControl>(switcher->GetFirstControl());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetNext(), nullptr);
    EXPECT_EQ(control->GetObject(), switcher);
    ASSERT_EQ(control->GetKeys().Size(), 3u);
    // Snapped to whole frames at 60 per second.
    EXPECT_EQ(control->GetKeys()[0].Time, 0);
    EXPECT_EQ(control->GetKeys()[1].Time, 116);
    EXPECT_EQ(control->GetKeys()[2].Time, 250);
    EXPECT_EQ(control->GetKeys()[0].Camera.Get(), loaded.Root(1));
    EXPECT_EQ(control->GetKeys()[1].Camera.Get(), loaded.Root(2));
    EXPECT_EQ(control->GetKeys()[2].Camera.Get(), loaded.Root(1));
    // Saved again, the record is the current one with the controller.
    const Bytes again = test::SaveLoaded(loaded.stream);
    test::LoadedFile reloaded;
    reloaded.result = test::LoadScene(again, reloaded.stream, reloaded.device);
    ASSERT_EQ(reloaded.result, kOk);
    auto* control2 =
        DynamicCast<CCameraSwitcherControl>(static_cast<CCameraSwitcher*>(reloaded.Root())->GetFirstControl());
    ASSERT_NE(control2, nullptr);
    EXPECT_EQ(control2->GetKeys().Size(), 3u);
  }
}

TEST_F(CameraSwitcherTest, OldKeysOnOneFrameMergeAndExtraCamerasNameNothing) {
  test::LoadedFile loaded;
  // 100 and 105 ms snap onto one frame at 60 per second.
  test::LoadRecords(loaded,
                    {{"CCameraSwitcher", SwitcherRecord(1, 4, {}, {3, 4, 3}, {100.0f, 105.0f})},
                     {"CCamera", CameraBody(3)},
                     {"CCamera", CameraBody(4)}},
                    true, 3);
  ASSERT_EQ(loaded.result, kOk);
  auto* control =
      DynamicCast<CCameraSwitcherControl>(static_cast<CCameraSwitcher*>(loaded.Root())->GetFirstControl());
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 1u);
  EXPECT_EQ(control->GetKeys()[0].Camera.Get(), loaded.Root(1));
}

TEST_F(CameraSwitcherTest, OldRecordsPutTheirControllerFirst) {
  test::ControlFields fields;
  fields.object = 1;
  test::LoadedFile loaded;
  test::LoadRecords(loaded,
                    {{"CCameraSwitcher", SwitcherRecord(1, 4, {}, {}, {0.0f}, 6)},
                     {"CTestControl", test::TestControlBody(6, fields)}},
                    true);
  ASSERT_EQ(loaded.result, kOk);
  auto* switcher = static_cast<CCameraSwitcher*>(loaded.Root());
  ASSERT_NE(DynamicCast<CCameraSwitcherControl>(switcher->GetFirstControl()), nullptr);
  EXPECT_NE(DynamicCast<test::CTestControl>(switcher->GetFirstControl()->GetChainNext()), nullptr);
}

TEST_F(CameraSwitcherTest, HostileCameraCountIsRefused) {
  ByteWriter w;
  test::BasePart(w, 1);
  test::DorunPart(w, 0);
  w.Pair(1, 4).U32(0x40000000u);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CCameraSwitcher", w}}, false);
  EXPECT_LT(loaded.result, 0);
}

TEST_F(CameraSwitcherTest, RemapEmptiesCamerasOutsideTheMapWithoutTouchingIt) {
  CPointer<CCamera> inMap(new CCamera());
  CPointer<CCamera> outside(new CCamera());
  CPointer<CCamera> copy(new CCamera());
  CCameraSwitcher switcher;
  switcher.SetSelectedCamera(outside.Get());
  switcher.SetFollowCamera(inMap.Get());
  switcher.SetUpdatedCamera(outside.Get());
  CCameraSwitcherControl control;
  ASSERT_EQ(control.SetKey(Key(0, outside.Get()), 30.0f), kOk);
  ASSERT_EQ(control.SetKey(Key(500, inMap.Get()), 30.0f), kOk);
  CloneMap map;
  map.emplace(inMap.Get(), CPointer<CBase>(copy.Get()));
  // Either order gives the same result: the switcher leaves no entry for
  // the camera outside the map, so the key keeps it.
  for (int order = 0; order < 2; ++order) {
    CCameraSwitcher s(switcher);
    CCameraSwitcherControl c(control);
    if (order == 0) {
      ASSERT_EQ(s.RemapReferences(map), kOk);
      ASSERT_EQ(c.RemapReferences(map), kOk);
    } else {
      ASSERT_EQ(c.RemapReferences(map), kOk);
      ASSERT_EQ(s.RemapReferences(map), kOk);
    }
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(s.GetSelectedCamera(), nullptr);
    EXPECT_EQ(s.GetUpdatedCamera(), nullptr);
    EXPECT_EQ(s.GetFollowCamera(), copy.Get());
    EXPECT_EQ(c.GetKeys()[0].Camera.Get(), outside.Get());
    EXPECT_EQ(c.GetKeys()[1].Camera.Get(), copy.Get());
  }
}

TEST_F(CameraSwitcherTest, CopiesInstancesAndClones) {
  CPointer<CCamera> own(new CCamera());
  CPointer<CCamera> selected(new CCamera());
  CPointer<test::CTestDorun> object(new test::CTestDorun());
  CPointer<CCameraSwitcher> switcher(new CCameraSwitcher());
  ASSERT_EQ(switcher->SetOwnedCamera(own.Get()), kOk);
  ASSERT_EQ(switcher->SetOwnedObject(object.Get()), kOk);
  switcher->SetSelectedCamera(selected.Get());
  switcher->SetUpdatedCamera(selected.Get());
  switcher->SetAlternateCamera(selected.Get());
  switcher->SetMode(CCameraSwitcher::CM_Switch);
  CPointer<CBase> instance;
  ASSERT_EQ(switcher->CreateInstance(instance), kOk);
  auto* made = static_cast<CCameraSwitcher*>(instance.Get());
  EXPECT_EQ(made->GetMode(), u32{CCameraSwitcher::CM_Switch});
  EXPECT_EQ(made->GetSelectedCamera(), selected.Get());
  EXPECT_EQ(made->GetUpdatedCamera(), selected.Get());
  EXPECT_EQ(made->GetOwnedCamera(), nullptr);
  EXPECT_EQ(made->GetOwnedObject(), nullptr);
  EXPECT_EQ(made->GetAlternateCamera(), nullptr);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(switcher->Clone(clone, map, 0), kOk);
  auto* cloned = static_cast<CCameraSwitcher*>(clone.Get());
  EXPECT_EQ(cloned->GetOwnedCamera(), map.at(own.Get()).Get());
  EXPECT_EQ(cloned->GetOwnedObject(), map.at(object.Get()).Get());
  EXPECT_TRUE(cloned->IsModified());
  CCameraSwitcher target;
  DisplacedList displaced;
  ASSERT_EQ(switcher->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetOwnedCamera(), own.Get());
  EXPECT_EQ(target.GetSelectedCamera(), selected.Get());
  EXPECT_EQ(switcher->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(switcher->CopyTo(own.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(switcher->ResolveReferences(nullptr), kErrInvalidArg);
  CPointer<CCamera> aiming(new CCamera());
  ASSERT_EQ(aiming->SetTarget(switcher.Get()), kOk);
  EXPECT_EQ(switcher->SetOwnedCamera(aiming.Get()), kErrInvalidArg);
}

// --- the controller -------------------------------------------------------------

TEST_F(CameraSwitcherTest, ControllerSteppedEvaluation) {
  CPointer<CCamera> a(new CCamera());
  CPointer<CCamera> b(new CCamera());
  CPointer<CCameraSwitcher> switcher(new CCameraSwitcher());
  switcher->SetMode(CCameraSwitcher::CM_Switch);
  CPointer<CCameraSwitcherControl> control(new CCameraSwitcherControl());
  ASSERT_EQ(control->SetKey(Key(100, a.Get()), 1000.0f), kOk);
  ASSERT_EQ(control->SetKey(Key(300, b.Get()), 1000.0f), kOk);
  ASSERT_EQ(control->SetKey(Key(500, nullptr), 1000.0f), kOk);
  ASSERT_EQ(switcher->AddControl(control.Get()), kOk);
  struct Case {
    i32 time;
    CCamera* camera;
  };
  const Case cases[] = {{99, nullptr}, {100, a.Get()}, {299, a.Get()}, {300, b.Get()},
                        {499, b.Get()}, {500, nullptr}, {9000, nullptr}, {150, a.Get()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    switcher->SetUpdatedCamera(b.Get());
    ASSERT_EQ(control->Update(c.time), kOk);
    EXPECT_EQ(control->GetCurrentCamera(), c.camera);
    ASSERT_EQ(control->Apply(), kOk);
    EXPECT_EQ(switcher->GetUpdatedCamera(), c.camera);
  }
  EXPECT_EQ(control->GetEndTime(), 500);
}

TEST_F(CameraSwitcherTest, ControllerAfterTheLastKeyHoldsItsCamera) {
  CPointer<CCamera> a(new CCamera());
  CPointer<CCameraSwitcher> switcher(new CCameraSwitcher());
  CPointer<CCameraSwitcherControl> control(new CCameraSwitcherControl());
  EXPECT_EQ(control->GetEndTime(), 0);
  ASSERT_EQ(control->SetKey(Key(0, a.Get()), 30.0f), kOk);
  ASSERT_EQ(switcher->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->Update(100000), kOk);
  EXPECT_EQ(control->GetCurrentCamera(), a.Get());
  // In "CM_Browse" Apply changes nothing.
  EXPECT_EQ(control->Apply(), kDone);
  EXPECT_EQ(switcher->GetUpdatedCamera(), nullptr);
}

TEST_F(CameraSwitcherTest, ControllerRefusesMissingOrForeignSwitcher) {
  CPointer<CCamera> a(new CCamera());
  CPointer<CCameraSwitcherControl> control(new CCameraSwitcherControl());
  ASSERT_EQ(control->SetKey(Key(0, a.Get()), 30.0f), kOk);
  EXPECT_EQ(control->Update(0), kErrInvalidArg);
  EXPECT_EQ(control->Apply(), kErrInvalidArg);
  EXPECT_EQ(control->GetCurrentCamera(), nullptr);
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  ASSERT_EQ(other->AddControl(control.Get()), kOk);
  EXPECT_EQ(control->Update(0), kErrNotFound);
  EXPECT_EQ(control->Apply(), kErrNotFound);
  EXPECT_EQ(control->GetCurrentCamera(), nullptr);
}

TEST_F(CameraSwitcherTest, SetKeySnapsAndReplacesOnOneFrame) {
  CPointer<CCamera> a(new CCamera());
  CPointer<CCamera> b(new CCamera());
  CCameraSwitcherControl control;
  ASSERT_EQ(control.SetKey(Key(100, a.Get()), 30.0f), kOk);
  EXPECT_TRUE(control.IsModified());
  ASSERT_EQ(control.SetKey(Key(95, b.Get()), 30.0f), kOk);
  ASSERT_EQ(control.SetKey(Key(10, nullptr), 30.0f), kOk);
  ASSERT_EQ(control.GetKeys().Size(), 2u);
  EXPECT_EQ(control.GetKeys()[0].Time, 0);
  EXPECT_EQ(control.GetKeys()[1].Time, 100);
  EXPECT_EQ(control.GetKeys()[1].Camera.Get(), b.Get());
  control.SetModified(false);
  EXPECT_EQ(control.SetKeyCamera(2, a.Get()), kErrOutOfRange);
  EXPECT_FALSE(control.IsModified());
  ASSERT_EQ(control.SetKeyCamera(0, a.Get()), kOk);
  EXPECT_TRUE(control.IsModified());
  EXPECT_EQ(control.GetKeys()[0].Camera.Get(), a.Get());
}

TEST_F(CameraSwitcherTest, ControllerRecordLinksItsKeyCameras) {
  ByteWriter w;
  test::BasePart(w, 1);
  test::DorunPart(w, 0);
  test::ControlPart(w, {}).Pair(2, 0).Pair(1, 0).U32(2);
  w.Pair(1, 0).I32(0).Pair(1, 0).U64(2);
  w.Pair(1, 0).I32(400).Pair(1, 0).U64(3);
  test::LoadedFile loaded;
  test::LoadRecords(loaded,
                    {{"CCameraSwitcherControl", w}, {"CCamera", CameraBody(2)}, {"CTestDorun", TestDorunBody(3)}}, true,
                    2);
  ASSERT_EQ(loaded.result, kOk);
  auto* control = DynamicCast<CCameraSwitcherControl>(loaded.Root());
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 2u);
  EXPECT_EQ(control->GetKeys()[0].Camera.Get(), loaded.Root(1));
  // An object of another class names no camera.
  EXPECT_EQ(control->GetKeys()[1].Camera.Get(), nullptr);
  EXPECT_EQ(control->GetEndTime(), 400);
}

TEST_F(CameraSwitcherTest, ControllerRecordAndKeyVersions) {
  CPointer<CCamera> a(new CCamera());
  CCameraSwitcherControl control;
  ASSERT_EQ(control.SetKey(Key(40, a.Get()), 1000.0f), kOk);
  ASSERT_EQ(control.SetKey(Key(80, nullptr), 1000.0f), kOk);
  const Bytes bytes = test::SaveObjectRecord(control);
  ASSERT_EQ(bytes.size(), control.GetSaveSize());
  ByteWriter keys;
  keys.Pair(1, 0).U32(2);
  keys.Pair(1, 0).I32(40).Pair(1, 0).U64(a->GetUniqueId());
  keys.Pair(1, 0).I32(80).Pair(1, 0).U64(0);
  EXPECT_EQ(Bytes(bytes.end() - static_cast<std::ptrdiff_t>(keys.Size()), bytes.end()), keys.Data());
  // A key of a newer version is refused.
  ByteWriter w;
  test::BasePart(w, 1);
  test::DorunPart(w, 0);
  test::ControlPart(w, {}).Pair(2, 0).Pair(1, 0).U32(1).Pair(1, 0).I32(0).Pair(1, 1).U64(0);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CCameraSwitcherControl", w}}, false);
  EXPECT_EQ(loaded.result, kErrNewerVersion);
}

}  // namespace
}  // namespace KT
