#include "exporter/ui/export_settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/host/scene_builder.h"
#include "ui_fixtures.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;
using KT::Testing::StoredProperties;

TEST(ExportSettings, ANewSceneOpensWithTheDefaults) {
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  PanelSettings s;
  LoadPanelSettings(scene.get(), s);
  EXPECT_EQ(s.contentType, 13);
  EXPECT_FALSE(s.optimise);
  EXPECT_EQ(s.sampleRate, 1);
  EXPECT_EQ(s.thresholdR, 0.0f);
  EXPECT_EQ(s.thumbnailMode, 0);
  EXPECT_TRUE(s.textureLimit);
  EXPECT_EQ(s.textureSizeIndex, 3);
  EXPECT_EQ(s.author, "Quenstrale");
  EXPECT_EQ(s.company, "Quenstrale");
  EXPECT_EQ(s.email, "");
  EXPECT_EQ(s.homePage, "https://www.quenstrale.example/");

  PanelSettings untouched;
  untouched.contentType = 4;
  LoadPanelSettings(nullptr, untouched);  // no host: the constructor values stay
  EXPECT_EQ(untouched.contentType, 4);
  EXPECT_FALSE(untouched.textureLimit);
}

TEST(ExportSettings, SavingWritesThePanelKeysInOrderThenTheOptionDialogs) {
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  PanelSettings s;
  LoadPanelSettings(scene.get(), s);
  OptionSettings human{13, 1, {}};
  OptionSettings prop{5, 0, {{"Walk", 0, 30}, {"Run", 31, 60}}};
  OptionSettings motion{2, 2, {}};
  SavePanelSettings(scene.get(), s, {&prop, &human, &motion});
  EXPECT_EQ(StoredProperties(*scene), (std::vector<std::string>{
                                "Ostrel3_Type=13", "Ostrel3_IsOptimize=0", "Ostrel3_IsBiped=0", "Ostrel3_IsHandOnly=0",
                                "Ostrel3_OptimizeValue=\"1_0.000_0.000_0.000_0.000\"", "Ostrel3_Thumbnail=0",
                                "Ostrel3_ThumbFile=\"\"", "Ostrel3_Info_Author=\"Quenstrale\"",
                                "Ostrel3_Info_Company=\"Quenstrale\"", "Ostrel3_Info_Email=\"\"",
                                "Ostrel3_Info_HomePage=\"https://www.quenstrale.example/\"", "Ostrel3_TextureIndex=1",
                                "Ostrel3_TextureSize=3", "Ostrel3_CharAnimation_MClip=\"\"", "Ostrel_G5_Human_ExpOpt=1",
                                "Ostrel_G5_Human_MClip=\"\"", "Ostrel3_Prop_ExpOpt=0",
                                "Ostrel3_Prop_MClip=\"Walk&#%0 to 30*;@Run&#%31 to 60*;@\""}));

  // Saved, then loaded: the same fields.
  s.optimise = true;
  s.sampleRate = 5;
  s.thresholdR = s.thresholdT = s.thresholdS = s.thresholdP = 0.5f;
  s.thumbnailFile = "C:\\thumb.png";
  s.textureLimit = false;
  SavePanelSettings(scene.get(), s, {});
  PanelSettings back;
  LoadPanelSettings(scene.get(), back);
  EXPECT_TRUE(back.optimise);
  EXPECT_EQ(back.sampleRate, 5);
  EXPECT_EQ(back.thresholdP, 0.5f);
  EXPECT_EQ(back.thumbnailFile, "C:\\thumb.png");
  EXPECT_FALSE(back.textureLimit);
  std::string value;
  ASSERT_TRUE(GetStringFileProperty(scene.get(), u"Ostrel3_OptimizeValue", value));
  EXPECT_EQ(value, "5_0.500_0.500_0.500_0.500");
}

TEST(ExportSettings, IntegersReadTheirLow16BitsAndFlagsAboveZero) {
  SceneBuilder b;
  b.IntProperty(u"Ostrel3_IsOptimize", 2).IntProperty(u"Ostrel3_IsBiped", -1).IntProperty(u"Ostrel3_Type", 65537);
  b.IntProperty(u"Ostrel3_TextureIndex", -3).StringProperty(u"Ostrel3_Thumbnail", "1");
  std::unique_ptr<HostScene> scene = b.Make();
  PanelSettings s;
  LoadPanelSettings(scene.get(), s);
  EXPECT_TRUE(s.optimise);
  EXPECT_FALSE(s.biped);
  EXPECT_EQ(s.contentType, 1);
  EXPECT_TRUE(s.textureLimit);     // not 0
  EXPECT_EQ(s.thumbnailMode, 0);   // a string where an integer belongs counts as missing
  int value = 9;
  EXPECT_FALSE(GetIntFileProperty(scene.get(), u"Ostrel3_Absent", value));
  EXPECT_EQ(value, 9);
  SetIntFileProperty(scene.get(), u"Ostrel3_Type", 0x18000);
  ASSERT_TRUE(GetIntFileProperty(scene.get(), u"Ostrel3_Type", value));
  EXPECT_EQ(value, -32768);
}

TEST(ExportSettings, LongTextsAreStoredCutTo1023Bytes) {
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  SetFileProperty(scene.get(), u"Ostrel3_ThumbFile", std::string(2000, 'x'));
  std::string value;
  ASSERT_TRUE(GetStringFileProperty(scene.get(), u"Ostrel3_ThumbFile", value));
  EXPECT_EQ(value.size(), 1023u);
}

struct OptimizeCase {
  const char* text;
  int rate;
  float r, t, s, p;
};

TEST(ExportSettings, HasFilePropertyOfEitherType) {
  SceneBuilder b;
  b.IntProperty(u"Count", 3).StringProperty(u"Text", "x");
  std::unique_ptr<HostScene> scene = b.Make();
  EXPECT_TRUE(HasFileProperty(scene.get(), u"Count"));
  EXPECT_TRUE(HasFileProperty(scene.get(), u"Text"));
  EXPECT_FALSE(HasFileProperty(scene.get(), u"text"));
  EXPECT_FALSE(HasFileProperty(nullptr, u"Text"));
}

TEST(ExportSettings, ParseOptimizeValue) {
  const OptimizeCase cases[] = {
      {"3_1.5", 3, 1.5f, 9, 9, 9},                  // R read, T, S and P kept
      {"5_0.500_0.500_0.500_0.500", 5, 0.5f, 0.5f, 0.5f, 0.5f},
      {"2_1_2", 2, 1, 2, 9, 9},
      {"4_1_2_3", 4, 1, 2, 3, 9},
      {"7_1_2_3_4_5", 7, 1, 2, 3, 4},  // P reads the number at the start of "4_5"
      {"12", 9, 9, 9, 9, 9},                        // no underscore: nothing changes
      {"x_y", 0, 0, 9, 9, 9},
  };
  for (const OptimizeCase& c : cases) {
    PanelSettings s;
    s.sampleRate = 9;
    s.thresholdR = s.thresholdT = s.thresholdS = s.thresholdP = 9;
    ParseOptimizeValue(c.text, s);
    EXPECT_EQ(s.sampleRate, c.rate) << c.text;
    EXPECT_FLOAT_EQ(s.thresholdR, c.r) << c.text;
    EXPECT_FLOAT_EQ(s.thresholdT, c.t) << c.text;
    EXPECT_FLOAT_EQ(s.thresholdS, c.s) << c.text;
    EXPECT_FLOAT_EQ(s.thresholdP, c.p) << c.text;
  }
}

TEST(ExportSettings, ClipListValuesRoundTripAndMalformedEntriesStayInside) {
  const std::vector<ClipRow> clips = {{"Walk", 0, 30}, {"Run", 31, 60}};
  EXPECT_EQ(FormatClipListValue(clips), "Walk&#%0 to 30*;@Run&#%31 to 60*;@");
  EXPECT_EQ(ParseClipListValue(FormatClipListValue(clips)), clips);
  EXPECT_EQ(FormatClipListValue({}), "");
  EXPECT_TRUE(ParseClipListValue("").empty());
  EXPECT_TRUE(ParseClipListValue("Walk&#%0 to 30").empty());  // no separator: no clips
  // The reader ignores what follows a second "&#%".
  EXPECT_EQ(ParseClipEntry("Jump&#%5 to 9&#%5 to 9"), (ClipRow{"Jump", 5, 9}));
  EXPECT_EQ(ParseClipEntry("NoFrames"), (ClipRow{"NoFrames", 0, 0}));
  EXPECT_EQ(ParseClipEntry("Half&#%12"), (ClipRow{"Half", 12, 0}));
  EXPECT_EQ(ParseClipEntry("Tight&#%to5"), (ClipRow{"Tight", 0, 5}));
  // A name holding the separators splits differently when read back.
  const std::vector<ClipRow> odd = ParseClipListValue(FormatClipListValue({{"a*;@b", 1, 2}}));
  ASSERT_EQ(odd.size(), 2u);
  EXPECT_EQ(odd[0], (ClipRow{"a", 0, 0}));
}

TEST(ExportSettings, OptionDialogsReadTheirKeysWithTheirDefaults) {
  SceneBuilder b;
  b.IntProperty(u"Ostrel3_Acces_ExpOpt", 2).StringProperty(u"Ostrel3_Acces_MClip", "Idle&#%0 to 10*;@");
  std::unique_ptr<HostScene> scene = b.Make();
  const std::pair<int, int> defaults[] = {{2, 2}, {3, 1}, {4, 2}, {5, 0}, {13, 1}};
  for (const auto& [type, expected] : defaults) {
    OptionSettings option;
    option.contentType = type;
    ReadOptionSettings(scene.get(), option);
    EXPECT_EQ(option.exportOption, expected) << type;
    EXPECT_EQ(option.clips.size(), type == 4 ? 1u : 0u) << type;
  }
  EXPECT_EQ(ExportOptionKey(2), u"");
  EXPECT_EQ(ClipListKey(14), u"");
}

}  // namespace
