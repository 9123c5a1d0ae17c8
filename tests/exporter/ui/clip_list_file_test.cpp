#include "exporter/ui/clip_list_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/ui/ui_script.h"
#include "support/temp_folder.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ClipListFile : public ::testing::Test {
 protected:
  void SetUp() override {
    UiScript::Current().Clear();
    ASSERT_TRUE(folder.Valid());
  }
  void TearDown() override { UiScript::Current().Clear(); }
  KT::Testing::TempFolder folder;
};

TEST_F(ClipListFile, WritesTheLayoutExactly) {
  ASSERT_TRUE(SaveClipListText(folder.Wide("clips.txt"), 13, {{"Walk", 0, 30}}));
  EXPECT_EQ(Contents(folder.Native("clips.txt")), "#13 Ostrel_G5_Human_MClip\r\n#Name, Start, End\r\nWalk 0 30\r\n");
  ASSERT_TRUE(SaveClipListText(folder.Wide("none.txt"), 2, {}));
  EXPECT_EQ(Contents(folder.Native("none.txt")), "#2 Ostrel3_CharAnimation_MClip\r\n#Name, Start, End\r\n");
}

TEST_F(ClipListFile, ReadsBackWhatItWroteWhateverTheHeaderSays) {
  const std::vector<ClipRow> clips = {{"Walk", 0, 30}, {"Caf\xE9", -5, 12}, {"Run", 31, 60}};
  ASSERT_TRUE(SaveClipListText(folder.Wide("c.txt"), 5, clips));
  std::vector<ClipRow> rows = {{"Old", 1, 2}};
  ASSERT_TRUE(LoadClipListText(folder.Wide("c.txt"), rows));
  EXPECT_EQ(rows, clips);
}

TEST_F(ClipListFile, ANameCharacterAboveU00FFEndsTheFileThere) {
  // 0x80 is the euro sign in the code page; 0xE9 and the unassigned 0x81
  // stay below U+0100.
  ASSERT_TRUE(SaveClipListText(folder.Wide("c.txt"), 5, {{"Caf\xE9\x81", 0, 1}, {"Euro\x80s", 2, 3}, {"Run", 4, 5}}));
  EXPECT_EQ(Contents(folder.Native("c.txt")), "#5 Ostrel3_Prop_MClip\r\n#Name, Start, End\r\nCaf\xE9\x81 0 1\r\nEuro");
}

TEST_F(ClipListFile, ANameWithASpaceStopsTheLoadThere) {
  ASSERT_TRUE(SaveClipListText(folder.Wide("c.txt"), 13, {{"Walk", 0, 30}, {"Big Jump", 31, 40}, {"Run", 41, 60}}));
  std::vector<ClipRow> rows;
  ASSERT_TRUE(LoadClipListText(folder.Wide("c.txt"), rows));
  EXPECT_EQ(rows, (std::vector<ClipRow>{{"Walk", 0, 30}}));
}

TEST_F(ClipListFile, AHeaderLinePast255CharactersEndsTheReading) {
  folder.WriteFile("long.txt", std::string(300, '#') + "\r\n#Name, Start, End\r\nWalk 0 30\r\n");
  std::vector<ClipRow> rows = {{"Old", 1, 2}};
  ASSERT_TRUE(LoadClipListText(folder.Wide("long.txt"), rows));
  EXPECT_TRUE(rows.empty());
}

TEST_F(ClipListFile, FilesThatCannotBeOpenedAreReportedAndChangeNothing) {
  std::vector<ClipRow> rows = {{"Old", 1, 2}};
  EXPECT_FALSE(LoadClipListText(folder.Wide("absent.txt"), rows));
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_FALSE(SaveClipListText(folder.Wide("no/such/folder/c.txt"), 13, rows));
  const auto& boxes = UiScript::Current().Messages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Failed to open this file.");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes[1].text, "Open file failed.");
  EXPECT_EQ(boxes[1].type, MB_OK | MB_ICONSTOP);
}

TEST(ClipValidation, FirstFailureWins) {
  struct Case {
    int start, end;
    const char* message;
  } cases[] = {
      {10, 9, "The \"To\" value must be larger than \"From\"."},
      {9, 9, ""},
      {-1, -2, "The \"From\" value is less than 0."},
      {0, -2, "The \"To\" value is less than 0."},
      {101, 102, "The \"From\" value is out of range."},
      {5, 101, "The \"To\" value is out of range."},
      {0, 100, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ClipValidationMessage(c.start, c.end, 0, 100), c.message) << c.start << " " << c.end;
  EXPECT_EQ(ClipValidationMessage(5, 20, 10, 100), "The \"From\" value is out of range.");
}

TEST(ClipValidation, NewClipsAreNumberedWithTwoDigits) {
  EXPECT_EQ(DefaultClipName(1), "DefaultClip01");
  EXPECT_EQ(DefaultClipName(12), "DefaultClip12");
  EXPECT_EQ(DefaultClipName(123), "DefaultClip123");
}

}  // namespace
