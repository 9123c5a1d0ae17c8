#include "platform/crt_random.h"

#include <gtest/gtest.h>

namespace {

TEST(CrtRandom, SeedOneGivesTheClassicSequence) {
  CrtSrand(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
  for (int value : expected) EXPECT_EQ(CrtRand(), value);
}

TEST(CrtRandom, ReseedingRestartsTheSequence) {
  CrtSrand(12345);
  const int first = CrtRand();
  const int second = CrtRand();
  CrtSrand(12345);
  EXPECT_EQ(CrtRand(), first);
  EXPECT_EQ(CrtRand(), second);
}

TEST(CrtRandom, ValuesStayWithinFifteenBits) {
  CrtSrand(0xFFFFFFFFu);
  int largest = 0;
  for (int i = 0; i < 100000; ++i) {
    const int v = CrtRand();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, kCrtRandMax);
    if (v > largest) largest = v;
  }
  EXPECT_GT(largest, 32000);  // the whole range is used
}

}  // namespace
