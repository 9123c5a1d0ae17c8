// The stream's id table: ids in ascending order go to the sorted array,
// others to the hashed part; both answer lookups and duplicates alike, and
// the walk comes out in ascending id order.
#include "objectmodel/id_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace KT {
namespace {

TEST(IdTableTest, AnswersInsertsLookupsAndOrderForEveryArrivalOrder) {
  struct Case {
    const char* name;
    std::vector<u64> ids;
  };
  const Case cases[] = {
      {"ascending", {1, 2, 3, 10, 11}},
      {"descending", {11, 10, 3, 2, 1}},
      {"mixed", {10, 2, 11, 1, 3}},
      {"gaps and large ids", {5, 0xFFFFFFFFFFFFFFFFull, 7, 0x8000000000000000ull, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CIdTable<int> table;
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
      EXPECT_TRUE(table.Insert(c.ids[i], static_cast<int>(i)));
    }
    // Every id a second time is refused and keeps its first value.
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
      EXPECT_FALSE(table.Insert(c.ids[i], -1));
      const int* value = table.Find(c.ids[i]);
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(*value, static_cast<int>(i));
    }
    EXPECT_EQ(table.Size(), c.ids.size());
    EXPECT_EQ(table.Find(4), nullptr);
    EXPECT_EQ(table.Find(0), nullptr);
    std::vector<u64> walked;
    table.ForEachAscending([&](u64 id, int value) {
      walked.push_back(id);
      EXPECT_EQ(c.ids[static_cast<std::size_t>(value)], id);
    });
    std::vector<u64> sorted = c.ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(walked, sorted);

    table.Clear();
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_EQ(table.Find(c.ids[0]), nullptr);
    EXPECT_TRUE(table.Insert(c.ids[0], 9));
  }
}

}  // namespace
}  // namespace KT
