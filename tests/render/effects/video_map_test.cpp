// The video texture: its record (the oldest form naming a video), copies
// and the data-pass collection through its track.
#include <gtest/gtest.h>

#include "effects_test_support.h"
#include "render/effects/video_map.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::TrackBody;
using test::VideoBody;

class VideoMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterEffectClasses();
    test::UseTestIds(0);
  }
};

ByteWriter MapRecord(u64 id, u32 minor, u64 reference, u32 channel = 2) {
  ByteWriter w = test::DorunHead(id);
  w.Pair(2, 0).Pair(2, 0);  // CMaterialBase, CTexture
  w.Pair(1, minor).U32(channel).U64(reference);
  return w;
}

TEST_F(VideoMapTest, RecordsLinkTheirTrack) {
  struct Case {
    const char* name;
    u32 minor;
    bool trackRecord;  // the referenced record is a track (else a video)
    bool expectTrack;
  };
  const Case cases[] = {
      {"1.00 naming a video", 0, false, true},
      {"1.01 naming a track", 1, true, true},
      {"1.01 naming a video", 1, false, false},
      {"1.00 naming a track", 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::LoadedFile loaded;
    std::vector<std::pair<std::string, ByteWriter>> records = {{"CVideoMap", MapRecord(1, c.minor, 2)}};
    if (c.trackRecord) {
      records.emplace_back("CVideoTrack", TrackBody(2, 3));
      records.emplace_back("CVideo", VideoBody(3));
    } else {
      records.emplace_back("CVideo", VideoBody(2));
    }
    test::LoadRecords(loaded, records);
    ASSERT_EQ(loaded.result, kOk);
    auto* map = DynamicCast<CVideoMap>(loaded.Root());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->UvwChannel, 2u);
    ASSERT_EQ(map->GetVideoTrack() != nullptr, c.expectTrack);
    if (!c.expectTrack) continue;
    ASSERT_EQ(map->GetVideoTrack()->GetVideoCount(), 1u);
    ASSERT_NE(map->GetVideoTrack()->GetVideo(0), nullptr);
    EXPECT_EQ(map->GetVideoTrack()->GetVideo(0)->VideoPath, u"/nowhere/v.avi");
  }
}

TEST_F(VideoMapTest, OldRecordWithoutVideoHasNoTrack) {
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CVideoMap", MapRecord(1, 0, 0)}});
  ASSERT_EQ(loaded.result, kOk);
  EXPECT_EQ(static_cast<CVideoMap*>(loaded.Root())->GetVideoTrack(), nullptr);
}

TEST_F(VideoMapTest, SavesTwentyBytesOfItsOwn) {
  CPointer<CVideoTrack> track(new CVideoTrack());
  CVideoMap map;
  map.UvwChannel = 3;
  map.SetVideoTrack(track.Get());
  const Bytes bytes = test::SaveObjectRecord(map);
  ASSERT_EQ(bytes.size(), map.GetSaveSize());
  ByteWriter expected;
  expected.Pair(1, 1).U32(3).U64(track->GetUniqueId());
  EXPECT_EQ(Bytes(bytes.end() - 20, bytes.end()), expected.Data());
}

TEST_F(VideoMapTest, CopiesAndInstances) {
  CPointer<CVideoTrack> track(new CVideoTrack());
  CVideoMap map;
  map.UvwChannel = 1;
  map.SetVideoTrack(track.Get());
  CPointer<CBase> instance;
  ASSERT_EQ(map.CreateInstance(instance), kOk);
  EXPECT_EQ(static_cast<CVideoMap*>(instance.Get())->UvwChannel, 1u);
  EXPECT_EQ(static_cast<CVideoMap*>(instance.Get())->GetVideoTrack(), nullptr);
  CVideoMap target;
  DisplacedList displaced;
  ASSERT_EQ(map.CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetVideoTrack(), track.Get());
  EXPECT_EQ(map.CopyTo(track.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(map.CopyTo(nullptr, displaced, 0), kErrNotFound);
  CloneMap cloneMap;
  CPointer<CBase> clone;
  ASSERT_EQ(map.Clone(clone, cloneMap, 0), kOk);
  EXPECT_EQ(static_cast<CVideoMap*>(clone.Get())->GetVideoTrack(), cloneMap.at(track.Get()).Get());
}

TEST_F(VideoMapTest, CollectAnimatedReachesTheTrack) {
  CPointer<CVideoTrack> track(new CVideoTrack());
  CPointer<test::CTestControl> control(new test::CTestControl());
  control->isData = true;
  ASSERT_EQ(track->AddControl(control.Get()), kOk);
  CVideoMap map;
  map.SetVideoTrack(track.Get());
  std::vector<CDorun*> animated;
  ASSERT_EQ(map.CollectAnimated(animated), kOk);
  ASSERT_EQ(animated.size(), 1u);
  EXPECT_EQ(animated[0], track.Get());
}

}  // namespace
}  // namespace KT
