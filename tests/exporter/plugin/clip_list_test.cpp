#include "exporter/plugin/clip_list.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/host/scene_builder.h"

namespace {

std::unique_ptr<KT::Host::HostScene> SceneWith(const std::u16string& key, const std::string& value) {
  KT::Host::SceneBuilder b;
  b.StringProperty(key, value);
  return b.Make();
}

TEST(ReadClipList, ReadsTheEntriesOfTheTypesKey) {
  std::unique_ptr<KT::Host::HostScene> scene = SceneWith(u"Ostrel_G5_Human_MClip", "Walk&#%0 to 30*;@Run&#%31 to 60*;@");
  std::vector<ClipRecord> clips = {{u"Old", 1, 2}};
  KT::Result result = -1;
  ReadClipList(result, scene.get(), 13, clips);
  EXPECT_EQ(result, KT::kOk);
  EXPECT_EQ(clips, (std::vector<ClipRecord>{{u"Old", 1, 2}, {u"Walk", 0, 30}, {u"Run", 31, 60}}));
}

TEST(ReadClipList, KeysByContentType) {
  const struct {
    int type;
    std::u16string key;
  } keys[] = {{2, u"Ostrel3_CharAnimation_MClip"},
              {3, u"Ostrel3_NonHuman_MClip"},
              {4, u"Ostrel3_Acces_MClip"},
              {5, u"Ostrel3_Prop_MClip"},
              {13, u"Ostrel_G5_Human_MClip"}};
  for (const auto& k : keys) {
    std::unique_ptr<KT::Host::HostScene> scene = SceneWith(k.key, "Jump&#%5 to 9*;@");
    std::vector<ClipRecord> clips;
    KT::Result result = -1;
    ReadClipList(result, scene.get(), k.type, clips);
    EXPECT_EQ(result, KT::kOk) << k.type;
    EXPECT_EQ(clips, (std::vector<ClipRecord>{{u"Jump", 5, 9}})) << k.type;
    // Another type's key is not read.
    ReadClipList(result, scene.get(), k.type == 13 ? 2 : 13, clips);
    EXPECT_EQ(result, KT::kDone);
    EXPECT_EQ(clips.size(), 1u);
  }
}

TEST(ReadClipList, ResultsWithoutClips) {
  std::unique_ptr<KT::Host::HostScene> scene = SceneWith(u"Ostrel_G5_Human_MClip", "Walk&#%0 to 30");
  std::vector<ClipRecord> clips;
  KT::Result result = -1;
  // No "*;@": no clips, but the key was read.
  ReadClipList(result, scene.get(), 13, clips);
  EXPECT_EQ(result, KT::kOk);
  EXPECT_TRUE(clips.empty());
  for (const int type : {0, 1, 6, 12, 14, -1}) {
    ReadClipList(result, scene.get(), type, clips);
    EXPECT_EQ(result, KT::kErrInvalidArg) << type;
  }
  ReadClipList(result, nullptr, 13, clips);
  EXPECT_EQ(result, KT::kDone);
  EXPECT_TRUE(clips.empty());
}

TEST(ReadClipList, AValueOfAnotherTypeHoldsNoClips) {
  KT::Host::SceneBuilder b;
  b.IntProperty(u"Ostrel_G5_Human_MClip", 7);
  std::unique_ptr<KT::Host::HostScene> scene = b.Make();
  std::vector<ClipRecord> clips;
  KT::Result result = -1;
  ReadClipList(result, scene.get(), 13, clips);
  EXPECT_EQ(result, KT::kOk);
  EXPECT_TRUE(clips.empty());
}

TEST(ReadClipList, NamesComeThroughTheActiveCodePage) {
  std::unique_ptr<KT::Host::HostScene> scene = SceneWith(u"Ostrel_G5_Human_MClip", "Caf\xE9&#%1 to 2*;@");
  std::vector<ClipRecord> clips;
  KT::Result result = -1;
  ReadClipList(result, scene.get(), 13, clips);
  ASSERT_EQ(clips.size(), 1u);
  EXPECT_EQ(clips[0].Name, u"Caf\u00E9");
}

}  // namespace
