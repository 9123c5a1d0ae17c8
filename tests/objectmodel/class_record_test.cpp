#include "objectmodel/class_record.h"

#include <gtest/gtest.h>

#include <set>

namespace KT {
namespace {

// Ids worked out by hand from the names: short names fold every character
// after the first; names longer than 12 lose vowels from index 1 until 12
// remain but keep their full length; digits and '_' count negatively.
TEST(ClassId, NamesGiveTheirKnownIds) {
  struct Row {
    const char* name;
    u64 id;
  };
  const Row rows[] = {
      {"CBase", 0x14229050ull},
      {"CKeyframeControl", 0x5CCCD7C8EA496100ull},
      {"CColorKey_V23", 0x809EA95BD46600D0ull},
      {"CXmlRawData", 0x0039C1508AB030B0ull},
      {"CAbcdefghijkl", 0x5B772E7964E910D0ull},
  };
  for (const Row& row : rows) EXPECT_EQ(MakeClassId(row.name, 0), row.id) << row.name;
  EXPECT_EQ(GetClassRecordAt(ClassIndex::CBase).id, 0x14229050ull);
  EXPECT_EQ(GetClassRecordAt(ClassIndex::CKeyframeControl).id, 0x5CCCD7C8EA496100ull);
  EXPECT_EQ(GetClassRecordAt(ClassIndex::CColorKey_V23).id, 0x809EA95BD46600D0ull);
  EXPECT_EQ(GetClassRecordAt(ClassIndex::CXmlRawData).id, 0x0039C1508AB030B0ull);
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
