#include "exporter/plugin/conversion_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "objectmodel/matrix3.h"
#include "support/temp_folder.h"

namespace {

class ConversionProfile : public ::testing::Test {
 protected:
  // Loads a profile file holding `text`.
  std::vector<ProfileRecord> Load(const std::string& text, KT::Result* result = nullptr) {
    folder_.WriteFile("profile.prf", text);
    std::vector<ProfileRecord> records;
    KT::Result r = -1;
    LoadConversionProfile(r, folder_.Native("profile.prf"), records);
    EXPECT_EQ(r, KT::kOk);
    if (result != nullptr) *result = r;
    return records;
  }
  KT::Testing::TempFolder folder_;
};

void ExpectMatrixNear(const KT::CMatrix4& a, const float (&b)[4][4]) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b[r][c], 1e-6f) << r << "," << c;
}

void ExpectRotationPartNear(const KT::CMatrix4& a, const KT::CMatrix3& b) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], 1e-6f) << r << "," << c;
}

TEST_F(ConversionProfile, ABoneLineWithThreeAnglesRotatesAboutX) {
  const std::vector<ProfileRecord> records = Load("header\nBip01_Head x KT_Head 90,0,0\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].HostBone, u"Bip01_Head");
  EXPECT_EQ(records[0].RigBone, u"KT_Head");
  const KT::i32 numbers[6] = {90, 0, 0, 0, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(records[0].Numbers[i], numbers[i]) << i;
  // Identity axis mapping, 90 degrees about X in the row-vector convention.
  const float expected[4][4] = {{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {0, 0, 0, 1}};
  ExpectMatrixNear(records[0].Matrix, expected);
  KT::CMatrix3 rx;
  rx.SetRotationAxisAngle({1, 0, 0}, 3.14159265f / 2);
  ExpectRotationPartNear(records[0].Matrix, rx);
}

TEST_F(ConversionProfile, SkipsTheHeaderPositionFrameRateAndShortLines) {
  const std::vector<ProfileRecord> records = Load(
      "Bip01 x KT_Hips 0,0,0\n"      // the first line is skipped whatever it holds
      "position 1 2 3\n"
      "POSITION 1 2 3\n"
      "FrameRate 30 fps 1\n"
      "framerate 30 fps 1\n"
      "\n"
      "   \t \n"
      "short line only\n"
      "Bip01_Spine x KT_Spine01 0,0,0\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].RigBone, u"KT_Spine01");
}

TEST_F(ConversionProfile, DefaultAndAxisRecords) {
  const std::vector<ProfileRecord> records = Load(
      "h\n"
      "* KT_Root unused #2,-1,3,0,0,90\n"
      "Bip01_L_Hand anything KT_L_Hand .-2,1,3,45,45,45\n"
      "Bip01_R_Hand anything KT_R_Hand\t0,0,0,3,1,2\r\n");
  ASSERT_EQ(records.size(), 3u);

  EXPECT_EQ(records[0].HostBone, u"*-=-*");
  EXPECT_EQ(records[0].RigBone, u"KT_Root");
  // Rows X, Y, Z map to +Y, -X, +Z, then 90 degrees about Z in front.
  KT::CMatrix3 rz;
  rz.SetRotationAxisAngle({0, 0, 1}, 3.14159265f / 2);
  const KT::CMatrix3 a(0, 1, 0, -1, 0, 0, 0, 0, 1);
  ExpectRotationPartNear(records[0].Matrix, rz * a);

  // After ".": axis codes; the angles that follow are not used.
  EXPECT_EQ(records[1].HostBone, u"Bip01_L_Hand");
  EXPECT_EQ(records[1].RigBone, u"KT_L_Hand");
  EXPECT_EQ(records[1].Numbers[5], 45);
  const float axis[4][4] = {{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  ExpectMatrixNear(records[1].Matrix, axis);

  // Angles first, then the axis codes: a row permutation.
  const float permuted[4][4] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}};
  ExpectMatrixNear(records[2].Matrix, permuted);
}

TEST_F(ConversionProfile, AnglesApplyRzThenRyThenRx) {
  const std::vector<ProfileRecord> records = Load("h\nB x KT_B 30,40,50,0,0,0\n");
  ASSERT_EQ(records.size(), 1u);
  KT::CMatrix3 rx, ry, rz;
  const float d = 3.14159265f / 180.0f;
  rx.SetRotationAxisAngle({1, 0, 0}, 30 * d);
  ry.SetRotationAxisAngle({0, 1, 0}, 40 * d);
  rz.SetRotationAxisAngle({0, 0, 1}, 50 * d);
  ExpectRotationPartNear(records[0].Matrix, rx * ry * rz);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(records[0].Matrix.m[3][c], 0.0f);
}

TEST(ProfileNumbers, TheLastNumberRepeatsAndTextReadsAsItsLeadingInteger) {
  const struct {
    std::string text;
    KT::i32 numbers[6];
  } cases[] = {
      {"1,2,3,4,5,6", {1, 2, 3, 4, 5, 6}},
      {"90,0,0", {90, 0, 0, 0, 0, 0}},
      {"1,2,7", {1, 2, 7, 7, 7, 7}},
      {"-3", {-3, -3, -3, -3, -3, -3}},
      {"", {0, 0, 0, 0, 0, 0}},
      {"5x,,abc,8", {5, 0, 0, 8, 8, 8}},
      {"1,2,3,4,5,6,7,8", {1, 2, 3, 4, 5, 6}},
      {"99999999999,1", {0, 1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    KT::i32 numbers[6] = {-9, -9, -9, -9, -9, -9};
    ParseProfileNumbers(c.text, numbers);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(numbers[i], c.numbers[i]) << c.text << " #" << i;
  }
}

TEST_F(ConversionProfile, ALongLineIsReadInPiecesWithinItsText) {
  // A line far beyond the 1023-character piece: its first piece is a
  // record, the rest a piece without four words or another record; nothing
  // is read past the text.
  const std::string longName(3000, 'N');
  std::vector<ProfileRecord> records = Load("h\nA x KT_A 10,20,30\n" + longName + " x KT_Z 1,2,3\nB x KT_B 0,0,0");
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records.front().RigBone, u"KT_A");
  EXPECT_EQ(records.back().RigBone, u"KT_B");
  // Each piece stands alone: a first piece of one word holds no record,
  // the words after it make their own.
  records = Load("h\n" + std::string(1023, 'a') + " x b c 0,0,0\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].HostBone, u"x");
  EXPECT_EQ(records[0].RigBone, u"c");
}

TEST(LoadConversionProfile, AMissingFileReadsNothing) {
  std::vector<ProfileRecord> records;
  KT::Result result = 0;
  LoadConversionProfile(result, "/nonexistent/folder/Profile_HumanG5_Full.prf", records);
  EXPECT_LT(result, 0);
  EXPECT_TRUE(records.empty());
}

}  // namespace
