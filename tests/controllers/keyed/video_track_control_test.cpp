// The video track controller: clip resolution and loop spans, lost and
// unknown videos, the volume track, refusals, copies and every record form.
#include "controllers/keyed/video_track_control.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"

namespace KT {
namespace {

using test::ByteWriter;
using ClipKey = CVideoTrackControl::CVideoClipKey;
using VolumeKey = CVideoTrackControl::CTrackVolumeKey;

class VideoTrackControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CVideoTrackControl", &CreateObject<CVideoTrackControl>);
    CClassFactory::Register("CVideoTrack", &CreateObject<CVideoTrack>);
    CClassFactory::Register("CVideo", &CreateObject<CVideo>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

VolumeKey Volume(i32 time, f32 volume, bool mute, u32 transition = TT_LINEAR) {
  VolumeKey key;
  key.Time = time;
  key.Volume = volume;
  key.Mute = mute;
  key.TransitionType = transition;
  return key;
}

// A track with videos of the given lengths (a negative length: a lost
// video) and a bound control with `clips` and `volumes`.
struct Bound {
  CPointer<CVideoTrack> track{new CVideoTrack()};
  CPointer<CVideoTrackControl> control{new CVideoTrackControl()};
  Bound(std::initializer_list<i32> lengths, const std::vector<ClipKey>& clips,
        const std::vector<VolumeKey>& volumes = {}) {
    for (i32 length : lengths) {
      CPointer<CVideo> video(new CVideo());
      video->Length = length < 0 ? 5000 : length;
      video->LostVideo = length < 0;
      EXPECT_EQ(track->AddVideo(video.Get()), kOk);
    }
    EXPECT_EQ(track->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->EditClipKeys().Assign(clips), kOk);
    EXPECT_EQ(control->EditVolumeKeys().Assign(volumes), kOk);
    track->SetModified(false);
  }
  void Expect(i32 time, i32 video, u32 state, i32 start, bool loop) {
    SCOPED_TRACE(time);
    ASSERT_EQ(control->Update(time), kOk);
    EXPECT_EQ(track->CurrentVideo, video);
    EXPECT_EQ(track->ClipState, state);
    EXPECT_EQ(track->ClipStartTime, start);
    EXPECT_EQ(track->Loop, loop);
    EXPECT_FALSE(track->IsModified());
  }
};

TEST_F(VideoTrackControlTest, LoopedClipAndThePendingNextClip) {
  // Video 0 lasts 2000 ms and plays 3 times from 1000: its clip ends at 7000.
  Bound bound({2000, 1500}, {ClipKey(1000, 0, 3), ClipKey(9000, 1, 1)});
  bound.Expect(0, 0, CVideoTrack::CS_Waiting, 1000, false);  // before the first key
  bound.Expect(1000, 0, CVideoTrack::CS_Inside, 1000, true);
  bound.Expect(6999, 0, CVideoTrack::CS_Inside, 1000, true);
  bound.Expect(7000, 0, CVideoTrack::CS_Inside, 1000, false);
  bound.Expect(7001, 1, CVideoTrack::CS_Waiting, 9000, false);
  bound.Expect(9000, 1, CVideoTrack::CS_Inside, 9000, false);
  // After the last key: inside up to and including its end, past it after.
  bound.Expect(10500, 1, CVideoTrack::CS_Inside, 9000, false);
  bound.Expect(10501, 1, CVideoTrack::CS_Ended, 9000, false);
  bound.Expect(3000, 0, CVideoTrack::CS_Inside, 1000, true);  // backwards again
}

TEST_F(VideoTrackControlTest, LostAndUnknownVideosEndAtOnce) {
  // Video 0 is lost; id 7 names no video; 0xFFFFFFFF is no video at all.
  Bound lost({-1}, {ClipKey(1000, 0, 4)});
  lost.Expect(1000, 0, CVideoTrack::CS_Inside, 1000, false);
  lost.Expect(1001, 0, CVideoTrack::CS_Ended, 1000, false);
  Bound unknown({2000}, {ClipKey(0, 7, 2), ClipKey(500, CVideoTrackControl::kNoVideo, 2)});
  unknown.Expect(0, 7, CVideoTrack::CS_Inside, 0, false);
  unknown.Expect(1, -1, CVideoTrack::CS_Waiting, 500, false);
  unknown.Expect(501, -1, CVideoTrack::CS_Ended, 500, false);
}

TEST_F(VideoTrackControlTest, ClipEndIsComputedWideAndKeptInRange) {
  CPointer<CVideoTrack> track(new CVideoTrack());
  CPointer<CVideo> video(new CVideo());
  video->Length = 2000000;
  ASSERT_EQ(track->AddVideo(video.Get()), kOk);
  EXPECT_EQ(CVideoTrackControl::ClipEnd(ClipKey(1000, 0, 3), *track), 6001000);
  // 4000 plays of 2000000 ms overflow 32 bits: the end stays at the top.
  EXPECT_EQ(CVideoTrackControl::ClipEnd(ClipKey(1000, 0, 4000), *track), std::numeric_limits<i32>::max());
  EXPECT_EQ(CVideoTrackControl::ClipEnd(ClipKey(1000, 0, 0xFFFFFFFFu), *track), std::numeric_limits<i32>::max());
  Bound bound({2000000}, {ClipKey(1000, 0, 4000)});
  bound.Expect(std::numeric_limits<i32>::max() - 1, 0, CVideoTrack::CS_Inside, 1000, true);
}

TEST_F(VideoTrackControlTest, WithoutKeysAndTheVolumeTrack) {
  Bound empty({2000}, {});
  empty.track->Volume = 0.3f;
  empty.track->Mute = true;
  empty.track->Loop = true;
  empty.Expect(500, -1, CVideoTrack::CS_Waiting, 0, false);
  EXPECT_FLOAT_EQ(empty.track->Volume, 1.0f);
  EXPECT_FALSE(empty.track->Mute);
  EXPECT_EQ(empty.control->GetEndTime(), 0);

  Bound bound({2000}, {}, {Volume(1000, 0.2f, true), Volume(2000, 0.6f, false), Volume(3000, 1.0f, true, TT_STEP)});
  struct Row {
    i32 time;
    f32 volume;
    bool mute;
  };
  const Row rows[] = {{0, 0.2f, true},    {1500, 0.4f, true}, {1999, 0.5996f, true},
                      {2000, 0.6f, false}, {2999, 0.6f, false}, {3000, 1.0f, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    ASSERT_EQ(bound.control->Update(row.time), kOk);
    EXPECT_NEAR(bound.track->Volume, row.volume, 1e-5f);
    EXPECT_EQ(bound.track->Mute, row.mute);
  }
}

TEST_F(VideoTrackControlTest, EndTimeAndTheSceneTimeAsGiven) {
  Bound single({2000}, {ClipKey(5000, 0, 10)});
  EXPECT_EQ(single.control->GetEndTime(), 5000);
  Bound both({2000}, {ClipKey(-300, 0, 1)}, {Volume(-100, 1, false)});
  EXPECT_EQ(both.control->GetEndTime(), 0);
  Bound volumes({2000}, {ClipKey(100, 0, 1)}, {Volume(800, 1, false)});
  EXPECT_EQ(volumes.control->GetEndTime(), 800);

  Bound bound({2000}, {ClipKey(1000, 0, 1)});
  bound.control->SetFrequency(2.0f);
  bound.control->SetRepeat(CControl::RT_WRAP);
  bound.Expect(999, 0, CVideoTrack::CS_Waiting, 1000, false);
  bound.Expect(1000, 0, CVideoTrack::CS_Inside, 1000, false);
}

TEST_F(VideoTrackControlTest, RefusalsWriteNothing) {
  Bound idle({2000}, {ClipKey(0, 0, 1)});
  idle.control->SetActive(false);
  EXPECT_EQ(idle.control->Update(0), kDone);
  EXPECT_EQ(idle.track->CurrentVideo, -1);
  EXPECT_EQ(idle.control->Apply(), kDone);

  CPointer<CVideoTrackControl> loose(new CVideoTrackControl());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CVideoTrackControl> foreign(new CVideoTrackControl());
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);
  EXPECT_EQ(other->value, 0);
}

TEST_F(VideoTrackControlTest, CopiesCarryBothLists) {
  Bound bound({2000}, {ClipKey(0, 0, 1), ClipKey(1000, 0, 2)}, {Volume(0, 1, false), Volume(900, 0, true)});
  ASSERT_EQ(bound.control->Update(950), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CVideoTrackControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetClipKeys().Size(), 2u);
  EXPECT_EQ(copy->GetVolumeKeys().Size(), 2u);
  EXPECT_EQ(copy->GetVolumeKeys().GetLastIndex(), 0u);

  CPointer<CVideoTrackControl> target(new CVideoTrackControl());
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetClipKeys()[1].LoopCount, 2u);
  EXPECT_EQ(target->GetVolumeKeys().GetLastIndex(), bound.control->GetVolumeKeys().GetLastIndex());
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(VideoTrackControlTest, RecordRoundTripSizesAndMembers) {
  // No videos: a video of the track would be looked for on disk when loaded.
  Bound bound({}, {ClipKey(0, 0, 3), ClipKey(7000, 0, 1)}, {Volume(0, 0.5f, true, TT_EASE_IN)});
  EXPECT_EQ(ClipKey().GetSaveSize(), 28u);
  EXPECT_EQ(VolumeKey().GetSaveSize(), 41u);
  EXPECT_EQ(bound.control->GetSaveSize(), bound.control->CDataControl::GetSaveSize() + 16 + 2 * 28 + 41);
  test::ExpectSceneRoundTrip(*bound.track);
  const std::string text = test::Members(bound.control.Get());
  for (const char* name : {"CVideoTrackControl Member", "Video State Key", "Volume Key", "Video ID", "Loop Count",
                           "LastIndex", "Mute"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

TEST_F(VideoTrackControlTest, OlderKeyForms) {
  // 1.00 keys: the clip key's one word is dropped, the volume key has no Mute.
  ByteWriter w = test::DataControlHead();
  w.Pair(1, 3);
  w.U32(1).Pair(1, 0).I32(400).Pair(1, 0).U32(77);
  w.U32(1).Pair(1, 0).I32(600).Pair(1, 0).U32(TT_EASE_OUT).F32(60).Pair(1, 0).F32(0.25f);
  CStream stream;
  CMemoryIo device;
  auto* control = test::LoadRoot<CVideoTrackControl>("CVideoTrackControl", w, stream, device);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetClipKeys().Size(), 1u);
  EXPECT_EQ(control->GetClipKeys()[0].Time, 400);
  EXPECT_EQ(control->GetClipKeys()[0].VideoId, CVideoTrackControl::kNoVideo);
  EXPECT_EQ(control->GetClipKeys()[0].LoopCount, 1u);
  ASSERT_EQ(control->GetVolumeKeys().Size(), 1u);
  EXPECT_EQ(control->GetVolumeKeys()[0].Volume, 0.25f);
  EXPECT_FALSE(control->GetVolumeKeys()[0].Mute);
  EXPECT_EQ(control->GetVolumeKeys()[0].TransitionStrength, 60.0f);
}

TEST_F(VideoTrackControlTest, OlderClassForms) {
  // 1.00: two arrays, read and dropped.
  ByteWriter v100 = test::DataControlHead();
  v100.Pair(1, 0);
  test::FloatArray(v100, {0.0f, 500.0f});
  test::U32Array(v100, {3, 4});
  CStream s100;
  CMemoryIo d100;
  auto* old = test::LoadRoot<CVideoTrackControl>("CVideoTrackControl", v100, s100, d100);
  ASSERT_NE(old, nullptr);
  EXPECT_TRUE(old->GetClipKeys().Empty());
  EXPECT_TRUE(old->GetVolumeKeys().Empty());

  // 1.01: the same, then volume times, a count and (volume, type) pairs.
  ByteWriter v101 = test::DataControlHead();
  v101.Pair(1, 1);
  test::FloatArray(v101, {0.0f});
  test::U32Array(v101, {1});
  test::FloatArray(v101, {10.7f, 2000.2f, 3000.0f});
  v101.U32(2).F32(0.5f).U32(TT_EASE_IN).F32(0.9f).U32(TT_STEP);
  CStream s101;
  CMemoryIo d101;
  auto* control = test::LoadRoot<CVideoTrackControl>("CVideoTrackControl", v101, s101, d101);
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->GetClipKeys().Empty());
  ASSERT_EQ(control->GetVolumeKeys().Size(), 2u);
  EXPECT_EQ(control->GetVolumeKeys()[0].Time, 10);
  EXPECT_EQ(control->GetVolumeKeys()[1].Time, 2000);
  EXPECT_EQ(control->GetVolumeKeys()[1].Volume, 0.9f);
  EXPECT_EQ(control->GetVolumeKeys()[1].TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_EQ(control->GetVolumeKeys()[1].TransitionStrength, 50.0f);
  EXPECT_FALSE(control->GetVolumeKeys()[1].Mute);
}

TEST_F(VideoTrackControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 4).U32(0).U32(0);
  ByteWriter newerClip = test::DataControlHead();
  newerClip.Pair(1, 3).U32(1).Pair(1, 0).I32(0).Pair(1, 2).U32(0).U32(1).U32(0);
  ByteWriter shortTimes = test::DataControlHead();
  shortTimes.Pair(1, 1).U32(0).U32(0);
  test::FloatArray(shortTimes, {0.0f});
  shortTimes.U32(2).F32(1).U32(0).F32(1).U32(0);
  ByteWriter hugeCount = test::DataControlHead();
  hugeCount.Pair(1, 1).U32(0).U32(0).U32(0).U32(0x20000000);
  const Row rows[] = {
      {"class version 1.04", newer, kErrNewerVersion},
      {"a clip key of 1.02", newerClip, kErrNewerVersion},
      {"1.01: more volume keys than times", shortTimes, kErrNotFound},
      {"1.01: a pair count the record cannot hold", hugeCount, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CVideoTrackControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
