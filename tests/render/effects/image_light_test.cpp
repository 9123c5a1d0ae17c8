// The image-based light: defaults, the record and its older forms, copies
// and clones of its two references.
#include <gtest/gtest.h>

#include "effects_test_support.h"
#include "render/effects/image_light.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::TrackBody;
using test::VideoBody;

class ImageLightTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterEffectClasses();
    test::UseTestIds(0);
  }
};

// A light record at 2.`minor` whose image id is `image` and, from 2.01 on,
// whose second id is `second`.
ByteWriter LightRecord(u64 id, u32 minor, u64 image, u64 second) {
  ByteWriter w = test::SpatialHead(id);
  w.Pair(2, minor).U64(image).F32(0.5f);
  if (minor >= 1) w.U64(second);
  return w;
}

TEST_F(ImageLightTest, NewLightHasFullStrengthAndNoReferences) {
  CImageLight light;
  EXPECT_EQ(light.Strength, 1.0f);
  EXPECT_EQ(light.GetImage(), nullptr);
  EXPECT_EQ(light.GetVideoTrack(), nullptr);
  EXPECT_FALSE(light.HasSubObjects());
}

TEST_F(ImageLightTest, RecordsByVersion) {
  struct Case {
    const char* name;
    u32 minor;
    const char* secondClass;  // the record the second id names (null: none)
    bool expectTrack;
  };
  const Case cases[] = {
      {"2.00 has no second id", 0, nullptr, false},
      {"2.01 naming a video", 1, "CVideo", true},
      {"2.01 naming nothing", 1, nullptr, false},
      {"2.02 naming a track", 2, "CVideoTrack", true},
      {"2.02 naming a video", 2, "CVideo", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const u64 second = c.secondClass ? 3 : 0;
    ByteWriter image = test::DorunHead(2);
    image.Pair(1, 0).I32(4);
    std::vector<std::pair<std::string, ByteWriter>> records = {{"CImageLight", LightRecord(1, c.minor, 2, second)},
                                                               {"CTestDorun", image}};
    const std::string secondClass = c.secondClass != nullptr ? c.secondClass : "";
    if (secondClass == "CVideo") records.emplace_back("CVideo", VideoBody(3));
    if (secondClass == "CVideoTrack") {
      records.emplace_back("CVideoTrack", TrackBody(3, 4));
      records.emplace_back("CVideo", VideoBody(4));
    }
    test::LoadedFile loaded;
    test::LoadRecords(loaded, records);
    ASSERT_EQ(loaded.result, kOk);
    auto* light = DynamicCast<CImageLight>(loaded.Root());
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->Strength, 0.5f);
    ASSERT_NE(light->GetImage(), nullptr);
    ASSERT_EQ(light->GetVideoTrack() != nullptr, c.expectTrack);
    if (c.expectTrack) {
      ASSERT_EQ(light->GetVideoTrack()->GetVideoCount(), 1u);
      EXPECT_NE(light->GetVideoTrack()->GetVideo(0), nullptr);
    }
  }
}

TEST_F(ImageLightTest, SavesTwentyEightBytesOfItsOwn) {
  CPointer<test::CTestDorun> image(new test::CTestDorun());
  CPointer<CVideoTrack> track(new CVideoTrack());
  CImageLight light;
  light.Strength = 2.0f;
  ASSERT_EQ(light.SetImage(image.Get()), kOk);
  ASSERT_EQ(light.SetVideoTrack(track.Get()), kOk);
  const Bytes bytes = test::SaveObjectRecord(light);
  ASSERT_EQ(bytes.size(), light.GetSaveSize());
  ByteWriter expected;
  expected.Pair(2, 2).U64(image->GetUniqueId()).F32(2.0f).U64(track->GetUniqueId());
  EXPECT_EQ(Bytes(bytes.end() - 28, bytes.end()), expected.Data());
}

TEST_F(ImageLightTest, RefusesReferencesThatHoldIt) {
  CPointer<CImageLight> light(new CImageLight());
  EXPECT_EQ(light->SetImage(light.Get()), kErrInvalidArg);
  CPointer<CImageLight> outer(new CImageLight());
  ASSERT_EQ(outer->SetImage(light.Get()), kOk);
  EXPECT_EQ(light->SetImage(outer.Get()), kErrInvalidArg);
  EXPECT_EQ(light->GetImage(), nullptr);
}

TEST_F(ImageLightTest, CloneCopiesBothReferencesAndCopyToSharesThem) {
  CPointer<test::CTestDorun> image(new test::CTestDorun());
  CPointer<CVideoTrack> track(new CVideoTrack());
  CPointer<CImageLight> light(new CImageLight());
  light->Strength = 3.0f;
  ASSERT_EQ(light->SetImage(image.Get()), kOk);
  ASSERT_EQ(light->SetVideoTrack(track.Get()), kOk);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(light->Clone(clone, map, 0), kOk);
  auto* copy = static_cast<CImageLight*>(clone.Get());
  EXPECT_EQ(copy->Strength, 3.0f);
  EXPECT_EQ(copy->GetImage(), map.at(image.Get()).Get());
  EXPECT_EQ(copy->GetVideoTrack(), map.at(track.Get()).Get());
  CImageLight target;
  DisplacedList displaced;
  ASSERT_EQ(light->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetImage(), image.Get());
  EXPECT_EQ(target.GetVideoTrack(), track.Get());
  EXPECT_EQ(target.Strength, 3.0f);
  EXPECT_EQ(light->CopyTo(nullptr, displaced, 0), kErrNotFound);
  std::vector<CBase*> held;
  light->Collect(held, nullptr, nullptr, false, false);
  EXPECT_NE(std::find(held.begin(), held.end(), image.Get()), held.end());
}

TEST_F(ImageLightTest, MarkingReachesTheImageAndIsClearedThere) {
  CPointer<test::CTestDorun> image(new test::CTestDorun());
  CImageLight light;
  ASSERT_EQ(light.SetImage(image.Get()), kOk);
  EXPECT_TRUE(light.UpdateMarked({image.Get()}));
  EXPECT_TRUE(image->IsMarked());
  EXPECT_TRUE(light.IsMarked());
  light.ClearMarked();
  EXPECT_FALSE(image->IsMarked());
  EXPECT_FALSE(light.IsMarked());
}

TEST_F(ImageLightTest, ResolveReferencesRefusesNullRoot) {
  CImageLight light;
  EXPECT_EQ(light.ResolveReferences(nullptr), kErrInvalidArg);
}

}  // namespace
}  // namespace KT
