// The video clip and the video track: defaults, the older record forms, the
// search for the file, the track's update, video list and copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effects_test_support.h"
#include "render/effects/video.h"
#include "render/effects/video_track.h"
#include "support/temp_folder.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class VideoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterEffectClasses();
    test::UseTestIds(0);
    CVideo::GetApplicationFolder().clear();
    CVideo::GetSearchFolders().clear();
  }
  void TearDown() override {
    CVideo::GetApplicationFolder().clear();
    CVideo::GetSearchFolders().clear();
  }
};

// A video record stored at 1.`minor`: the fields each version holds, with
// the volume given as 0.5 (a percentage of 50 before 1.03).
ByteWriter VideoRecord(u64 id, u32 minor, const std::u16string& path, const std::u16string& search = u"s",
                       const std::u16string& relative = u"r") {
  ByteWriter w = test::DorunHead(id);
  w.Pair(1, minor);
  const u32 v = 100 + minor;
  if (v == 104) return w;
  if (v == 105) w.U32(0xDEADBEEFu);
  w.WStr(path).U32(1);
  if (v < 103) {
    w.U32(50);
  } else {
    w.F32(0.5f);
  }
  w.U8(1).U8(0).U8(2);
  if (v >= 101) w.WStr(search);
  if (v >= 102) w.WStr(relative);
  return w;
}

TEST_F(VideoTest, NewVideoIsStoppedAtFullVolume) {
  CVideo video;
  EXPECT_EQ(video.PlayState, CVideo::PS_Stopped);
  EXPECT_EQ(video.Volume, 1.0f);
  EXPECT_FALSE(video.Mute || video.Still || video.Loop || video.LostVideo);
  EXPECT_EQ(video.Length, 0);
  EXPECT_EQ(video.GetVersion(), 106u);
}

TEST_F(VideoTest, OlderRecordsLoadByTheirVersion) {
  struct Case {
    u32 minor;
    Result result;
    std::u16string search;    // expected VideoSearchPath
    std::u16string relative;  // expected ApRelativePath
  };
  // The file is found nowhere, so the stored paths stay as read.
  const Case cases[] = {
      {0, kOk, u"/nowhere/a.avi", u""}, {1, kOk, u"s", u""},  {2, kOk, u"s", u"r"},
      {3, kOk, u"s", u"r"},             {4, kErrImageFormat, u"", u""}, {5, kOk, u"s", u"r"},
      {6, kOk, u"s", u"r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minor);
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CVideo", VideoRecord(5, c.minor, u"/nowhere/a.avi")}});
    EXPECT_EQ(loaded.result, c.result);
    if (c.result != kOk) continue;
    auto* video = DynamicCast<CVideo>(loaded.Root());
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->VideoPath, u"/nowhere/a.avi");
    EXPECT_EQ(video->PlayState, 1u);
    EXPECT_FLOAT_EQ(video->Volume, 0.5f);
    EXPECT_TRUE(video->Mute);
    EXPECT_FALSE(video->Still);
    EXPECT_TRUE(video->Loop);
    EXPECT_EQ(video->VideoSearchPath, c.search);
    EXPECT_EQ(video->ApRelativePath, c.relative);
    EXPECT_TRUE(video->LostVideo);
  }
}

TEST_F(VideoTest, NewerVersionIsRefused) {
  ByteWriter w = test::DorunHead(5);
  w.Pair(1, 7);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CVideo", w}}, false);
  EXPECT_EQ(loaded.result, kErrNewerVersion);
}

TEST_F(VideoTest, RelativePathOfOldRecordsNeedsTheApplicationFolderAsPrefix) {
  struct Case {
    std::u16string application;
    std::u16string path;
    std::u16string relative;
  };
  const Case cases[] = {
      {u"/app/", u"/app/clips/a.avi", u"clips/a.avi"},
      // Found inside the path but not at its start: not relative to it.
      {u"/app/", u"/data/app/a.avi", u""},
      // No application folder: nothing to be relative to.
      {u"", u"/app/a.avi", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    CVideo::GetApplicationFolder() = c.application;
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CVideo", VideoRecord(5, 1, c.path)}}, false);
    ASSERT_EQ(loaded.result, kOk);
    EXPECT_EQ(static_cast<CVideo*>(loaded.Root())->ApRelativePath, c.relative);
  }
}

TEST_F(VideoTest, ResolveTriesEachPathInTurn) {
  Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  folder.WriteFile("given.avi", "x");
  folder.WriteFile("found.avi", "x");
  folder.WriteFile("app/rel.avi", "x");
  folder.WriteFile("search/moved.avi", "x");
  folder.WriteFile("scene/beside.avi", "x");
  CVideo::GetApplicationFolder() = folder.Wide("app/");
  struct Case {
    const char* name;
    std::u16string path, search, relative;
    std::vector<std::u16string> searchFolders;
    std::u16string sceneFolder;
    std::u16string expectedSearch;
    bool lost;
  };
  const Case cases[] = {
      {"given path", folder.Wide("given.avi"), u"old", u"", {}, u"", folder.Wide("given.avi"), false},
      {"search path", u"/gone/a.avi", folder.Wide("found.avi"), u"", {}, u"", folder.Wide("found.avi"), false},
      {"relative path", u"/gone/a.avi", u"/gone/b.avi", u"rel.avi", {}, u"", folder.Wide("app/rel.avi"), false},
      {"search folder", u"C:\\gone\\moved.avi", u"", u"", {folder.Wide("search")}, u"",
       folder.Wide("search") + u"\\moved.avi", false},
      {"scene folder", u"C:\\gone\\beside.avi", u"", u"", {}, folder.Wide("scene"),
       folder.Wide("scene") + u"\\beside.avi", false},
      {"nowhere", u"C:\\gone\\none.avi", u"/gone/b.avi", u"none.avi", {}, folder.Wide("scene"), u"/gone/b.avi",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CVideo::GetSearchFolders() = c.searchFolders;
    CVideo video;
    video.VideoPath = c.path;
    video.VideoSearchPath = c.search;
    video.ApRelativePath = c.relative;
    video.LostVideo = !c.lost;
    video.Resolve(c.sceneFolder);
    EXPECT_EQ(video.VideoSearchPath, c.expectedSearch);
    EXPECT_EQ(video.LostVideo, c.lost);
    EXPECT_EQ(video.VideoPath, c.path);
    EXPECT_EQ(video.ApRelativePath, c.relative);
  }
}

TEST_F(VideoTest, LengthAndLostVideoAreNeverStored) {
  CVideo video;
  video.VideoPath = u"/nowhere/a.avi";
  const Bytes plain = test::SaveObjectRecord(video);
  video.Length = 4000;
  video.LostVideo = true;
  EXPECT_EQ(test::SaveObjectRecord(video), plain);
  EXPECT_EQ(plain.size(), video.GetSaveSize());
}

TEST_F(VideoTest, SavedVideoLoadsLostWithItsPaths) {
  CPointer<CVideo> video(new CVideo());
  video->VideoPath = u"/nowhere/clip.avi";
  video->VideoSearchPath = u"/nowhere/else.avi";
  video->ApRelativePath = u"clip.avi";
  video->Volume = 0.25f;
  video->PlayState = CVideo::PS_Paused;
  test::LoadedFile loaded;
  auto* copy = DynamicCast<CVideo>(test::SaveAndLoad(loaded, *video));
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->LostVideo);
  EXPECT_EQ(copy->VideoPath, video->VideoPath);
  EXPECT_EQ(copy->VideoSearchPath, video->VideoSearchPath);
  EXPECT_EQ(copy->ApRelativePath, video->ApRelativePath);
  EXPECT_EQ(copy->Volume, 0.25f);
  EXPECT_EQ(copy->PlayState, u32{CVideo::PS_Paused});
}

TEST_F(VideoTest, CopyToResolvesTheTargetAndRefusesOtherClasses) {
  Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  folder.WriteFile("a.avi", "x");
  CVideo source;
  source.VideoPath = folder.Wide("a.avi");
  source.Length = 1234;
  source.Volume = 0.75f;
  CVideo target;
  target.LostVideo = true;
  DisplacedList displaced;
  ASSERT_EQ(source.CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.Length, 1234);
  EXPECT_EQ(target.Volume, 0.75f);
  EXPECT_FALSE(target.LostVideo);
  EXPECT_EQ(target.VideoSearchPath, folder.Wide("a.avi"));
  CVideoTrack track;
  EXPECT_EQ(source.CopyTo(&track, displaced, 0), kErrNotFound);
  EXPECT_EQ(source.CopyTo(nullptr, displaced, 0), kErrNotFound);
}

// --- the track ------------------------------------------------------------------

TEST_F(VideoTest, NewTrackPlaysNothing) {
  CVideoTrack track;
  EXPECT_EQ(track.CurrentVideo, -1);
  EXPECT_EQ(track.ClipStartTime, 0);
  EXPECT_EQ(track.ClipState, 0u);
  EXPECT_EQ(track.Volume, 1.0f);
  EXPECT_FALSE(track.Mute || track.Loop || track.AuxFlag);
  EXPECT_EQ(track.Update(100), kDone);
}

TEST_F(VideoTest, UpdatePlaysTheCurrentVideoAtTheElapsedTime) {
  CPointer<CVideo> first(new CVideo());
  CPointer<CVideo> second(new CVideo());
  CPointer<test::CTestControl> control(new test::CTestControl());
  ASSERT_EQ(second->AddControl(control.Get()), kOk);
  CVideoTrack track;
  ASSERT_EQ(track.AddVideo(first.Get()), kOk);
  ASSERT_EQ(track.AddVideo(second.Get()), kOk);
  track.ClipStartTime = 400;
  struct Case {
    i32 current;
    Result result;
    i32 seen;  // the time the second video's controller saw (-1: none)
  };
  const Case cases[] = {{-1, kDone, -1}, {2, kDone, -1}, {0, kOk, -1}, {1, kOk, 600}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.current);
    control->lastTime = -1;
    track.CurrentVideo = c.current;
    EXPECT_EQ(track.Update(1000), c.result);
    EXPECT_EQ(control->lastTime, c.seen);
  }
  // Far-apart times do not overflow.
  track.ClipStartTime = 2147483000;
  EXPECT_EQ(track.Update(-2147483000), kOk);
  EXPECT_EQ(control->lastTime, std::numeric_limits<i32>::min());
}

TEST_F(VideoTest, UpdatePassesOnTheVideosFailure) {
  CPointer<CVideo> video(new CVideo());
  CPointer<test::CTestControl> control(new test::CTestControl());
  control->updateResult = kErrNotFound;
  ASSERT_EQ(video->AddControl(control.Get()), kOk);
  CVideoTrack track;
  ASSERT_EQ(track.AddVideo(video.Get()), kOk);
  track.CurrentVideo = 0;
  EXPECT_EQ(track.Update(0), kErrNotFound);
}

TEST_F(VideoTest, TrackWithMoreVideosThanBytesIsRefused) {
  ByteWriter track = test::DorunHead(1);
  track.Pair(1, 0).I32(0).U32(0).F32(1.0f).U8(0).U8(0).U8(0).U32(0x20000000u).U64(0);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CVideoTrack", track}}, false);
  EXPECT_LT(loaded.result, 0);
}

TEST_F(VideoTest, AddVideoKeepsOneEntryPerVideo) {
  CPointer<CVideo> video(new CVideo());
  CVideoTrack track;
  EXPECT_EQ(track.AddVideo(video.Get()), kOk);
  EXPECT_TRUE(track.IsModified());
  track.SetModified(false);
  EXPECT_EQ(track.AddVideo(video.Get()), kErrMissingObject);
  EXPECT_EQ(track.AddVideo(nullptr), kErrInvalidArg);
  EXPECT_EQ(track.GetVideoCount(), 1u);
  EXPECT_FALSE(track.IsModified());
}

TEST_F(VideoTest, VideoLengthByIndex) {
  CPointer<CVideo> playing(new CVideo());
  playing->Length = 5000;
  CPointer<CVideo> lost(new CVideo());
  lost->Length = 7000;
  lost->LostVideo = true;
  CVideoTrack track;
  ASSERT_EQ(track.AddVideo(playing.Get()), kOk);
  ASSERT_EQ(track.AddVideo(lost.Get()), kOk);
  struct Case {
    u32 index;
    Result result;
    i32 length;
  };
  const Case cases[] = {{0, kOk, 5000}, {1, kDone, 0}, {2, kErrOutOfRange, 0}};
  for (const Case& c : cases) {
    i32 length = -1;
    EXPECT_EQ(track.GetVideoLength(c.index, length), c.result) << c.index;
    EXPECT_EQ(length, c.length) << c.index;
  }
}

TEST_F(VideoTest, TrackFlagsAreStoredMuteAuxLoop) {
  CVideoTrack track;
  track.Mute = true;
  track.AuxFlag = false;
  track.Loop = true;
  track.CurrentVideo = 3;
  track.ClipState = 2;
  track.Volume = 0.5f;
  track.ClipStartTime = 999;  // not stored
  const Bytes bytes = test::SaveObjectRecord(track);
  ASSERT_EQ(bytes.size(), track.GetSaveSize());
  ByteWriter expected;
  expected.Pair(1, 0).I32(3).U32(2).F32(0.5f).U8(1).U8(0).U8(1).U32(0);
  const Bytes tail(bytes.end() - static_cast<std::ptrdiff_t>(expected.Size()), bytes.end());
  EXPECT_EQ(tail, expected.Data());
}

TEST_F(VideoTest, TrackRecordLinksItsVideosAndEmptiesForeignOnes) {
  ByteWriter track = test::DorunHead(1);
  track.Pair(1, 0).I32(1).U32(1).F32(0.5f).U8(0).U8(1).U8(0).U32(3).U64(2).U64(0).U64(3);
  ByteWriter video = VideoRecord(2, 6, u"/nowhere/a.avi");
  ByteWriter foreign = test::DorunHead(3);
  foreign.Pair(1, 0).I32(7);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CVideoTrack", track}, {"CVideo", video}, {"CTestDorun", foreign}});
  ASSERT_EQ(loaded.result, kOk);
  auto* linked = DynamicCast<CVideoTrack>(loaded.Root());
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(linked->CurrentVideo, 1);
  EXPECT_TRUE(linked->AuxFlag);
  ASSERT_EQ(linked->GetVideoCount(), 3u);
  ASSERT_NE(linked->GetVideo(0), nullptr);
  EXPECT_EQ(linked->GetVideo(0)->VideoPath, u"/nowhere/a.avi");
  EXPECT_EQ(linked->GetVideo(1), nullptr);
  EXPECT_EQ(linked->GetVideo(2), nullptr);
  i32 length = -1;
  EXPECT_EQ(linked->GetVideoLength(1, length), kErrNotFound);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(linked->Update(0), kDone);
}

TEST_F(VideoTest, CloneKeepsSharedVideosOnceAndCreateInstanceStartsEmpty) {
  CPointer<CVideo> video(new CVideo());
  CPointer<CVideoTrack> track(new CVideoTrack());
  ASSERT_EQ(track->AddVideo(video.Get()), kOk);
  track->CurrentVideo = 0;
  track->AuxFlag = true;
  CPointer<CBase> instance;
  ASSERT_EQ(track->CreateInstance(instance), kOk);
  EXPECT_EQ(static_cast<CVideoTrack*>(instance.Get())->GetVideoCount(), 0u);
  EXPECT_TRUE(static_cast<CVideoTrack*>(instance.Get())->AuxFlag);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(track->Clone(clone, map, 0), kOk);
  auto* copy = static_cast<CVideoTrack*>(clone.Get());
  ASSERT_EQ(copy->GetVideoCount(), 1u);
  EXPECT_NE(copy->GetVideo(0), video.Get());
  EXPECT_EQ(copy->GetVideo(0), map.at(video.Get()).Get());
  EXPECT_EQ(copy->CurrentVideo, 0);
}

TEST_F(VideoTest, TrackCopyToSharesTheVideos) {
  CPointer<CVideo> video(new CVideo());
  CPointer<CVideo> former(new CVideo());
  CVideoTrack source;
  ASSERT_EQ(source.AddVideo(video.Get()), kOk);
  source.Loop = true;
  CVideoTrack target;
  ASSERT_EQ(target.AddVideo(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(source.CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetVideo(0), video.Get());
  EXPECT_TRUE(target.Loop);
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(source.CopyTo(video.Get(), displaced, 0), kErrNotFound);
}

}  // namespace
}  // namespace KT
