// The video controller: stepped play states, eased volume, a list without
// keys keeping the video's own value, refusals, copies and every record
// form.
#include "controllers/keyed/video_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"

namespace KT {
namespace {

using test::ByteWriter;
using StateKey = CVideoControl::CVideoStateKey;
using VolumeKey = CVideoControl::CVideoVolumeKey;

class VideoControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CVideoControl", &CreateObject<CVideoControl>);
    CClassFactory::Register("CVideo", &CreateObject<CVideo>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

VolumeKey Volume(i32 time, f32 volume, u32 transition = TT_LINEAR) {
  VolumeKey key;
  key.Time = time;
  key.Volume = volume;
  key.TransitionType = transition;
  return key;
}

// A video (stopped, volume 0.7, unmodified) and a bound control.
struct Bound {
  CPointer<CVideo> video{new CVideo()};
  CPointer<CVideoControl> control{new CVideoControl()};
  Bound(const std::vector<StateKey>& states, const std::vector<VolumeKey>& volumes) {
    video->Volume = 0.7f;
    EXPECT_EQ(video->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->EditStateKeys().Assign(states), kOk);
    EXPECT_EQ(control->EditVolumeKeys().Assign(volumes), kOk);
    video->SetModified(false);
  }
};

TEST_F(VideoControlTest, StatesStepAndVolumeEases) {
  Bound bound({StateKey(0, CVideo::PS_Playing), StateKey(2000, CVideo::PS_Paused), StateKey(3000, CVideo::PS_Stopped)},
              {Volume(0, 0.0f), Volume(1000, 1.0f, TT_EASE_IN)});
  struct Row {
    i32 time;
    u32 state;
    f32 volume;
  };
  const Row rows[] = {
      {1999, CVideo::PS_Playing, 1.0f},
      {2000, CVideo::PS_Paused, 1.0f},
      {500, CVideo::PS_Playing, EaseTransition(0.5f, TT_EASE_IN, 50.0f)},
      {-100, CVideo::PS_Playing, 0.0f},  // before the first key: the first key's
      {3500, CVideo::PS_Stopped, 1.0f},
      {-100, CVideo::PS_Playing, 0.0f},  // from a later cache too
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    ASSERT_EQ(bound.control->Update(row.time), kOk);
    EXPECT_EQ(bound.video->PlayState, row.state);
    EXPECT_FLOAT_EQ(bound.video->Volume, row.volume);
    EXPECT_FALSE(bound.video->IsModified());
  }
  EXPECT_EQ(bound.control->GetEndTime(), 3000);
  EXPECT_EQ(bound.control->Apply(), kDone);
}

TEST_F(VideoControlTest, AnEmptyListKeepsTheVideosOwnValue) {
  Bound volumesOnly({}, {Volume(0, 0.2f), Volume(1000, 0.4f)});
  volumesOnly.video->PlayState = CVideo::PS_Paused;
  ASSERT_EQ(volumesOnly.control->Update(500), kOk);
  EXPECT_EQ(volumesOnly.video->PlayState, static_cast<u32>(CVideo::PS_Paused));
  EXPECT_FLOAT_EQ(volumesOnly.video->Volume, 0.3f);

  Bound statesOnly({StateKey(100, CVideo::PS_Playing)}, {});
  ASSERT_EQ(statesOnly.control->Update(500), kOk);
  EXPECT_EQ(statesOnly.video->PlayState, static_cast<u32>(CVideo::PS_Playing));
  EXPECT_FLOAT_EQ(statesOnly.video->Volume, 0.7f);

  Bound none({}, {});
  EXPECT_EQ(none.control->Update(500), kDone);
  EXPECT_EQ(none.video->PlayState, static_cast<u32>(CVideo::PS_Stopped));
  EXPECT_EQ(none.control->GetEndTime(), 0);
}

TEST_F(VideoControlTest, RefusalsAndTheSceneTimeAsGiven) {
  Bound idle({StateKey(0, CVideo::PS_Playing)}, {});
  idle.control->SetActive(false);
  EXPECT_EQ(idle.control->Update(0), kDone);
  EXPECT_EQ(idle.video->PlayState, static_cast<u32>(CVideo::PS_Stopped));

  CPointer<CVideoControl> loose(new CVideoControl());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CVideoControl> foreign(new CVideoControl());
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);

  Bound bound({StateKey(0, CVideo::PS_Playing), StateKey(2000, CVideo::PS_Paused)}, {});
  bound.control->SetFrequency(2.0f);
  bound.control->SetRepeat(CControl::RT_WRAP);
  ASSERT_EQ(bound.control->Update(1999), kOk);
  EXPECT_EQ(bound.video->PlayState, static_cast<u32>(CVideo::PS_Playing));
  ASSERT_EQ(bound.control->Update(2500), kOk);
  EXPECT_EQ(bound.video->PlayState, static_cast<u32>(CVideo::PS_Paused));
}

TEST_F(VideoControlTest, CopiesCarryBothLists) {
  Bound bound({StateKey(0, 0), StateKey(100, 1)}, {Volume(0, 1)});
  ASSERT_EQ(bound.control->Update(150), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CVideoControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetStateKeys().Size(), 2u);
  EXPECT_EQ(copy->GetStateKeys().GetLastIndex(), 0u);
  CPointer<CVideoControl> target(new CVideoControl());
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetStateKeys().GetLastIndex(), 1u);
  EXPECT_EQ(target->GetVolumeKeys().Size(), 1u);
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(VideoControlTest, RecordRoundTripSizesAndMembers) {
  Bound bound({StateKey(0, CVideo::PS_Playing), StateKey(800, CVideo::PS_Stopped)}, {Volume(300, 0.4f, TT_EASE_OUT)});
  EXPECT_EQ(StateKey().GetSaveSize(), 24u);
  EXPECT_EQ(VolumeKey().GetSaveSize(), 40u);
  EXPECT_EQ(bound.control->GetSaveSize(), bound.control->CDataControl::GetSaveSize() + 16 + 2 * 24 + 40);
  // The video's file is looked for on load; a found-nowhere video reads
  // back as lost, so the round trip runs on the control alone.
  ASSERT_EQ(bound.video->RemoveControl(bound.control.Get()), kOk);
  test::ExpectSceneRoundTrip(*bound.control);
  const std::string text = test::Members(bound.control.Get());
  for (const char* name : {"CVideoControl Member", "PlayState", "Volume", "LastIndex", "PlayStates", "PS_Playing"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

TEST_F(VideoControlTest, OlderClassForms) {
  ByteWriter v100 = test::DataControlHead();
  v100.Pair(1, 0);
  test::FloatArray(v100, {0.0f, 1999.9f});
  test::U32Array(v100, {CVideo::PS_Playing, CVideo::PS_Paused});
  CStream s100;
  CMemoryIo d100;
  auto* old = test::LoadRoot<CVideoControl>("CVideoControl", v100, s100, d100);
  ASSERT_NE(old, nullptr);
  ASSERT_EQ(old->GetStateKeys().Size(), 2u);
  EXPECT_EQ(old->GetStateKeys()[1].Time, 1999);
  EXPECT_EQ(old->GetStateKeys()[1].PlayStates, static_cast<u32>(CVideo::PS_Paused));
  EXPECT_TRUE(old->GetVolumeKeys().Empty());

  ByteWriter v101 = test::DataControlHead();
  v101.Pair(1, 1);
  test::FloatArray(v101, {0.0f});
  test::U32Array(v101, {CVideo::PS_Stopped});
  test::FloatArray(v101, {250.5f, 900.0f});
  v101.U32(2).F32(0.1f).U32(TT_EASE_IN).F32(0.8f).U32(TT_STEP);
  CStream s101;
  CMemoryIo d101;
  auto* control = test::LoadRoot<CVideoControl>("CVideoControl", v101, s101, d101);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetStateKeys().Size(), 1u);
  ASSERT_EQ(control->GetVolumeKeys().Size(), 2u);
  EXPECT_EQ(control->GetVolumeKeys()[0].Time, 250);
  EXPECT_EQ(control->GetVolumeKeys()[0].Volume, 0.1f);
  EXPECT_EQ(control->GetVolumeKeys()[0].TransitionType, static_cast<u32>(TT_EASE_IN));
  EXPECT_EQ(control->GetVolumeKeys()[1].TransitionStrength, 50.0f);
}

TEST_F(VideoControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 3).U32(0).U32(0);
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(1, 2).U32(1).Pair(1, 0).I32(0).Pair(1, 1).U32(0).U32(0);
  ByteWriter fewStates = test::DataControlHead();
  fewStates.Pair(1, 0);
  test::FloatArray(fewStates, {0.0f, 100.0f});
  test::U32Array(fewStates, {0});
  ByteWriter fewTimes = test::DataControlHead();
  fewTimes.Pair(1, 1).U32(0).U32(0);
  test::FloatArray(fewTimes, {0.0f});
  fewTimes.U32(2).F32(1).U32(0).F32(1).U32(0);
  const Row rows[] = {
      {"class version 1.03", newer, kErrNewerVersion},
      {"a state key of 1.01", newerKey, kErrNewerVersion},
      {"1.00: fewer states than times", fewStates, kErrNotFound},
      {"1.01: more volume keys than times", fewTimes, kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CVideoControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
