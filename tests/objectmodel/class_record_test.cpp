#include "objectmodel/class_record.h"

#include <gtest/gtest.h>

#include <set>

namespace KT {
namespace {

TEST(ClassId, BaseMatchesKnownValue) {
  EXPECT_EQ(MakeClassId("CBase", 0), (82473ull * 256 + 5) * 16);
  EXPECT_EQ(MakeClassId("CBase", 0), 0x14229050ull);
  EXPECT_EQ(GetClassRecordAt(ClassIndex::CBase).id, 0x14229050ull);
}

TEST(ClassId, LongNamesSqueezeVowelsButKeepTheirLength) {
  // "ckeyframecontrol" (16) -> vowels from index 1 removed while longer than 12.
  const std::string squeezed = "ckyfrmcntrol";  // what remains after the squeeze
  u64 acc = 0;
  for (int j = 11; j >= 1; --j) acc = acc * 26 + static_cast<u64>(squeezed[j] - 'a');
  EXPECT_EQ(MakeClassId("CKeyframeControl", 0), (acc * 256 + 16) * 16);
}

TEST(ClassId, ThirteenCharacterNameUsesLength13) {
  // "cversiondata" is 12: no squeeze. "ccamerasubject"-like names of 13 are
  // squeezed only while longer than 12, so one vowel goes.
  const std::string name = "CAbcdefghijkl";  // 13 characters, vowel 'a' at 1
  const std::string s = "cbcdefghijkl";
  u64 acc = 0;
  for (int j = 11; j >= 1; --j) acc = acc * 26 + static_cast<u64>(s[j] - 'a');
  EXPECT_EQ(MakeClassId(name, 0), (acc * 256 + 13) * 16);
}

TEST(ClassId, DigitsAndUnderscoreContributeNegativeAmounts) {
  // "ccolorkey_v23": 13 characters; digits give negative differences.
  std::string s = "ccolorkey_v23";
  // squeeze vowels from index 1 while longer than 12: 'o' at 2 goes.
  s.erase(2, 1);
  u64 acc = 0;
  for (int j = 11; j >= 1; --j) acc = acc * 26 + static_cast<u64>(static_cast<i64>(s[j]) - 'a');
  EXPECT_EQ(MakeClassId("CColorKey_V23", 0), (acc * 256 + 13) * 16);
}

TEST(ClassId, KIsAddedSignExtended) {
  EXPECT_EQ(MakeClassId("CBase", -1), MakeClassId("CBase", 0) - 1);
  EXPECT_EQ(MakeClassId("CBase", 3), MakeClassId("CBase", 0) + 3);
}

TEST(ClassRecords, TableIsCompleteAndIdsAreUnique) {
  const ClassRecord* table = GetClassRecordTable();
  std::set<u64> ids;
  for (u32 i = 0; i < kClassRecordCount; ++i) {
    EXPECT_EQ(table[i].id, MakeClassId(table[i].name, 0)) << table[i].name;
    EXPECT_TRUE(GetClassRegistrationAnswer(static_cast<ClassIndex>(i))) << table[i].name;
    ids.insert(table[i].id);
  }
  EXPECT_EQ(ids.size(), kClassRecordCount);
  EXPECT_EQ(kClassRecordCount, 174u);
}

TEST(ClassRecords, ParentsAndVersions) {
  struct Row {
    const char* name;
    const char* parent;
    u32 version;
  };
  const Row rows[] = {
      {"CBase", nullptr, 201},           {"CTimeKey", nullptr, 100},
      {"CDorun", "CBase", 201},          {"CNode", "CSpatial", 203},
      {"CKeyframeControl", "CRTSControl", 300}, {"CXmlRawData", "CRawData", 200},
      {"CClipKey", "CTransitionKey", 101},
  };
  for (const Row& row : rows) {
    const ClassRecord* r = FindClassRecord(row.name);
    ASSERT_NE(r, nullptr) << row.name;
    EXPECT_EQ(r->Version(), row.version) << row.name;
    if (row.parent == nullptr) {
      EXPECT_EQ(r->parent, nullptr) << row.name;
    } else {
      ASSERT_NE(r->parent, nullptr) << row.name;
      EXPECT_STREQ(r->parent->name, row.parent);
    }
  }
  EXPECT_EQ(FindClassRecord("cnode"), nullptr);
}

TEST(ClassRecords, KindOfWalksParents) {
  const ClassRecord& node = GetClassRecordAt(ClassIndex::CSelNode);
  EXPECT_TRUE(node.IsKindOf(GetClassRecordAt(ClassIndex::CNode)));
  EXPECT_TRUE(node.IsKindOf(GetClassRecordAt(ClassIndex::CBase)));
  EXPECT_FALSE(node.IsKindOf(GetClassRecordAt(ClassIndex::CGeometry)));
  EXPECT_FALSE(GetClassRecordAt(ClassIndex::CNode).IsKindOf(node));
}

TEST(ClassIdRegistry, FirstHolderKeepsTheId) {
  const u64 id = 0xFEEDFACECAFEull;
  EXPECT_TRUE(RegisterClassId("CFirstHolder", id));
  EXPECT_FALSE(RegisterClassId("CSecondHolder", id));
  EXPECT_FALSE(RegisterClassId("CBase", 0x14229050ull));
}

}  // namespace
}  // namespace KT
