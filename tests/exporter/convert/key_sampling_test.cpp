#include "exporter/convert/key_sampling.h"

#include <gtest/gtest.h>

namespace {

TEST(SampleTicks, WalksFromStartToEndInclusive) {
  const struct {
    TimeValue start, end;
    int rate, ticks;
    std::vector<TimeValue> expected;
  } cases[] = {
      {0, 1600, 5, 160, {0, 800, 1600}},
      {0, 1760, 5, 160, {0, 800, 1600}},  // the end frame missed by the step is not sampled
      {320, 320, 1, 160, {320}},
      {480, 320, 1, 160, {}},            // start after end
      {0, 480, 0, 160, {0, 160, 320, 480}},  // a rate below 1 steps one frame
      {0, 480, -3, 160, {0, 160, 320, 480}},
      {0, 3, 1, 0, {0, 1, 2, 3}},        // no ticks per frame: one tick
      {TIME_PosInfinity - 1, TIME_PosInfinity, 1000, 160, {TIME_PosInfinity - 1}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SampleTicks(c.start, c.end, c.rate, c.ticks), c.expected) << c.start << ".." << c.end << " / " << c.rate;
}

TEST(KeyTimeFromTicks, UsesSinglePrecisionOnAThirtyFramesTimeLine) {
  const struct {
    int frame;
    KT::i32 ms;
  } cases[] = {{0, 0}, {5, 166}, {10, 333}, {15, 500}, {30, 1000}, {100, 3333}, {-5, -166}};
  for (int ticks : {160, 192}) {  // 30 and 25 frames per second
    for (const auto& c : cases) EXPECT_EQ(KeyTimeFromTicks(c.frame * ticks, 0, ticks), c.ms) << ticks << " " << c.frame;
  }
  EXPECT_EQ(KeyTimeFromTicks(1600 + 800, 1600, 160), 166);
  EXPECT_EQ(KeyTimeFromTicks(5, 0, 0), KeyTimeFromTicks(5, 0, 1));
}

}  // namespace
