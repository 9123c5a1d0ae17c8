#include "treeruntime/tree_wind.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

namespace trt {
namespace {

constexpr const char* kDefaultText =
    "NumWindMatricesAndLeafAngles 1 1\n"
    "WindResponseAndLimit 1 0\n"
    "MaxBendAngle 0\n"
    "BranchExponent 1\n"
    "LeafExponent 1\n"
    "GustStrengthMinMax 0 0\n"
    "GustDurationMinMax 0 0\n"
    "GustFrequency 0\n"
    "BranchOscillationX_LaLsHaHs 10 0.01 4 0.3\n"
    "BranchOscillationY_LaLsHaHs 10 0.01 4 0.3\n"
    "LeafRocking_LaLsHaHs 10 0.01 4 0.3\n"
    "LeafRustling_LaLsHaHs 10 0.01 4 0.3\n";

// The eleven lines of a complete text other than the count line.
constexpr const char* kElevenLines =
    "WindResponseAndLimit 2 0.5\n"
    "MaxBendAngle 35\n"
    "BranchExponent 1.5\n"
    "LeafExponent 0.25\n"
    "GustStrengthMinMax 0.1 0.9\n"
    "GustDurationMinMax 1 3\n"
    "GustFrequency 0.05\n"
    "BranchOscillationX_LaLsHaHs 11 0.02 5 0.4\n"
    "BranchOscillationY_LaLsHaHs 12 0.03 6 0.5\n"
    "LeafRocking_LaLsHaHs 13 0.04 7 0.6\n"
    "LeafRustling_LaLsHaHs 14 0.05 8 0.7\n";

std::string SavedText(const CTreeWind& wind) {
  std::uint32_t size = 99;
  std::uint8_t* bytes = wind.Save(size);
  EXPECT_NE(bytes, nullptr);
  EXPECT_EQ(TrackedArrayCount(bytes), size);
  std::string text(reinterpret_cast<const char*>(bytes), size);
  TrackedDeleteArray(bytes);
  return text;
}

bool Load(CTreeWind& wind, const std::string& text) {
  return wind.Load(text.data(), static_cast<std::uint32_t>(text.size()));
}

TEST(TreeWind, DefaultDefinition) {
  CTreeWind wind;
  const CTreeWindDef& def = wind.GetDefinition();
  EXPECT_EQ(def.m_pOwner, &wind);
  EXPECT_EQ(def.GetNumWindMatrices(), 1);
  EXPECT_EQ(wind.GetNumLeafAngles(), 1);
  EXPECT_EQ(def.WindResponse, 1.0f);
  EXPECT_EQ(def.BranchExponent, 1.0f);
  EXPECT_EQ(def.LeafRustling.LowAngle, 10.0f);
  EXPECT_EQ(def.LeafRustling.HighAngle, 4.0f);
  EXPECT_EQ(def.LeafRustling.LowSpeed, 0.01f);
  EXPECT_EQ(def.LeafRustling.HighSpeed, 0.3f);
  stMat4 expected;
  expected.m[10] = 1.1f;
  EXPECT_EQ(def.WindMatrices[0], expected);
  EXPECT_EQ(def.LeafAngleMatrices[0], expected);
}

TEST(TreeWind, DefaultText) { EXPECT_EQ(SavedText(CTreeWind()), kDefaultText); }

TEST(TreeWind, TextIgnoresTheProcessLocale) {
  struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  CTreeWind wind;
  const std::string text = SavedText(wind);
  const bool loaded = Load(wind, std::string("NumWindMatricesAndLeafAngles 1 1\n") + kElevenLines);
  std::locale::global(previous);
  EXPECT_EQ(text, kDefaultText);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(wind.GetDefinition().BranchExponent, 1.5f);
}

TEST(TreeWind, ParsedTextWritesTheSameLines) {
  CTreeWind wind;
  const std::string text = std::string("NumWindMatricesAndLeafAngles 3 5\n") + kElevenLines;
  ASSERT_TRUE(Load(wind, text));
  const CTreeWindDef& def = wind.GetDefinition();
  EXPECT_EQ(def.GetNumWindMatrices(), 3);
  EXPECT_EQ(def.BranchOscillationX.Values.size(), 3u);
  EXPECT_EQ(def.LeafRocking.Values.size(), 5u);
  EXPECT_EQ(def.LeafRustling.Values.size(), 5u);
  EXPECT_EQ(wind.GetNumLeafAngles(), 5);
  EXPECT_EQ(def.WindResponseLimit, 0.5f);
  EXPECT_EQ(def.LeafRocking.LowSpeed, 0.04f);
  EXPECT_EQ(SavedText(wind), text);
}

TEST(TreeWind, LinesMayComeInAnyOrderAndUnknownWordsAreSkipped) {
  CTreeWind wind;
  const std::string text = std::string("header words\n") +
                           "LeafRustling_LaLsHaHs 14 0.05 8 0.7\n"
                           "GustFrequency 0.05\n"
                           "NumWindMatricesAndLeafAngles 2 2\n"
                           "WindResponseAndLimit 2 0.5\n"
                           "MaxBendAngle 35\n"
                           "BranchExponent 1.5\n"
                           "LeafExponent 0.25\n"
                           "GustStrengthMinMax 0.1 0.9\n"
                           "GustDurationMinMax 1 3\n"
                           "BranchOscillationX_LaLsHaHs 11 0.02 5 0.4\n"
                           "BranchOscillationY_LaLsHaHs 12 0.03 6 0.5\n"
                           "LeafRocking_LaLsHaHs 13 0.04 7 0.6\n"
                           "never read";
  EXPECT_TRUE(Load(wind, text));
  EXPECT_EQ(wind.GetDefinition().LeafRustling.HighSpeed, 0.7f);
}

TEST(TreeWind, CountLineRules) {
  struct Case {
    const char* line;
    int matrices;
    int angles;
  };
  const Case cases[] = {
      {"NumWindMatricesAndLeafAngles 0 -3\n", 1, 1},
      {"NumWindMatricesAndLeafAngles 2.9 4\n", 2, 4},
      {"NumWindMatricesAndLeafAngles -1e30 1e-3\n", 1, 1},
  };
  for (const Case& c : cases) {
    CTreeWind wind;
    EXPECT_TRUE(Load(wind, std::string(c.line) + kElevenLines)) << c.line;
    EXPECT_EQ(wind.GetDefinition().GetNumWindMatrices(), c.matrices) << c.line;
    EXPECT_EQ(wind.GetNumLeafAngles(), c.angles) << c.line;
  }
}

TEST(TreeWind, OlderGustLineCountsThree) {
  CTreeWind wind;
  const std::string text = std::string("GustStrengthFreqDuration 2 3 4\n") +
                           "NumWindMatricesAndLeafAngles 1 1\n"
                           "WindResponseAndLimit 1 0\n"
                           "MaxBendAngle 0\n"
                           "BranchExponent 1\n"
                           "LeafExponent 1\n"
                           "BranchOscillationX_LaLsHaHs 10 0.01 4 0.3\n"
                           "BranchOscillationY_LaLsHaHs 10 0.01 4 0.3\n"
                           "LeafRocking_LaLsHaHs 10 0.01 4 0.3\n"
                           "LeafRustling_LaLsHaHs 10 0.01 4 0.3\n";
  ASSERT_TRUE(Load(wind, text));
  const CTreeWindDef& def = wind.GetDefinition();
  EXPECT_EQ(def.GustStrengthMin, 0.5f);
  EXPECT_EQ(def.GustStrengthMax, 2.5f);
  EXPECT_EQ(def.GustFrequency, 3.0f);
  EXPECT_EQ(def.GustDurationMin, 2.0f);
  EXPECT_EQ(def.GustDurationMax, 6.0f);
}

TEST(TreeWind, IncompleteTextsFailKeepingWhatWasRead) {
  CTreeWind wind;
  // Eleven keyword lines: the text ends before the twelfth.
  EXPECT_FALSE(Load(wind, kElevenLines));
  EXPECT_EQ(wind.GetDefinition().MaxBendAngle, 35.0f);
  // A last number that ends exactly at the end of the block ends the text.
  std::string exact = std::string("NumWindMatricesAndLeafAngles 1 1\n") + kElevenLines;
  exact.pop_back();
  EXPECT_FALSE(Load(wind, exact));
  EXPECT_FALSE(Load(wind, "MaxBendAngle abc\n"));
  EXPECT_FALSE(Load(wind, ""));
  EXPECT_FALSE(wind.Load(nullptr, 5));
  // Counts far beyond any wind are refused rather than allocated.
  EXPECT_FALSE(Load(wind, std::string("NumWindMatricesAndLeafAngles 1e9 1e9\n") + kElevenLines));
  EXPECT_EQ(wind.GetDefinition().GetNumWindMatrices(), 1);
}

TEST(TreeWind, CopiesOwnTheirDefinition) {
  CTreeWind wind;
  ASSERT_TRUE(Load(wind, std::string("NumWindMatricesAndLeafAngles 2 3\n") + kElevenLines));
  const CTreeWind copy(wind);
  EXPECT_EQ(copy.GetDefinition().m_pOwner, &copy);
  EXPECT_EQ(SavedText(copy), SavedText(wind));
  CTreeWind assigned;
  assigned = wind;
  EXPECT_EQ(assigned.GetDefinition().m_pOwner, &assigned);
  EXPECT_EQ(assigned.GetNumLeafAngles(), 3);
  wind.GetDefinition().SetLeafRustling(1, 2, 3, 4);
  EXPECT_EQ(copy.GetDefinition().LeafRustling.LowAngle, 14.0f);
}

TEST(TreeWind, MemoryIsTrackedAndGivenBack) {
  const std::uint32_t before = GetTrackedBytes();
  {
    CTreeWind wind;
    EXPECT_GT(GetTrackedBytes(), before + sizeof(CTreeWindDef) - 1);
  }
  EXPECT_EQ(GetTrackedBytes(), before);

  class FailingAllocator : public CTreeAllocator {
   public:
    void* Alloc(std::size_t, std::size_t) override { return nullptr; }
    void Free(void*) override {}
  } failing;
  CTreeAllocator* previous = InstallTreeAllocator(&failing);
  try {
    CTreeWind wind;
    ADD_FAILURE() << "constructed without memory";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  InstallTreeAllocator(previous);
  EXPECT_EQ(GetTrackedBytes(), before);
}

}  // namespace
}  // namespace trt
