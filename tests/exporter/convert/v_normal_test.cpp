#include "exporter/convert/v_normal.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using KT::CVNormal;

TEST(CVNormal, CornersOfOverlappingGroupsJoinTheFirstMatchingEntry) {
  CVNormal list;
  EXPECT_EQ(list.Count(), 0u);
  ASSERT_TRUE(list.Add(0, 0x1));
  ASSERT_TRUE(list.Add(3, 0x3));   // shares bit 0: joins entry 0
  ASSERT_TRUE(list.Add(6, 0x2));   // shares nothing with 0x1: appended
  ASSERT_TRUE(list.Add(9, 0x6));   // shares bit 1 with the entry of 6
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.Find(0x1), 0);
  EXPECT_EQ(list.Find(0x3), 0);
  EXPECT_EQ(list.Find(0x2), 6);
  EXPECT_EQ(list.Find(0x6), 6);
  EXPECT_EQ(list.Find(0x10), 6) << "no match: the last entry";
  EXPECT_EQ(CVNormal().Find(0x1), -1) << "an empty list answers the head";
}

TEST(CVNormal, GroupZeroNeverEntersAndAListHoldsAtMost32Entries) {
  CVNormal list;
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(list.Add(i, 0));
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.Find(0x1), -1);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(list.Add(i, 1u << (i % 32)));
  EXPECT_EQ(list.Count(), 32u);
  EXPECT_EQ(list.Find(0x80000000u), 31);
}

TEST(CVNormal, ALongChainIsFreedWithoutRecursion) {
  auto list = std::make_unique<CVNormal>();
  list->Mask = 1;
  CVNormal* tail = list.get();
  for (int i = 0; i < 1000000; ++i) {
    tail->Next = std::make_unique<CVNormal>();
    tail = tail->Next.get();
  }
  EXPECT_EQ(list->Count(), 1000001u);
  list.reset();  // a recursive destructor would exhaust the stack here
}

}  // namespace
