#include "objectmodel/time_helpers.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace KT {
namespace {

TEST(TimeHelpers, KeyTimeConstants) {
  EXPECT_EQ(kZeroTime, 0);
  EXPECT_EQ(static_cast<u32>(kMaxKeyTime), 0x3FFFFFFFu);
  EXPECT_EQ(static_cast<u32>(kMinKeyTime), 0xBFFFFFFEu);
}

struct SnapCase {
  i32 time;
  f32 fps;
  i32 expected;
};

class SnapTime : public ::testing::TestWithParam<SnapCase> {};

TEST_P(SnapTime, SnapsToTheNearestWholeFrame) {
  const SnapCase& c = GetParam();
  EXPECT_EQ(SnapTimeToFrame(c.time, c.fps), c.expected);
  i32 out = 12345;
  SnapTimeToFrame(out, c.time, c.fps);
  EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SnapTime,
    ::testing::Values(SnapCase{50, 30.0f, 66},    // 1.5 frames round up to frame 2
                      SnapCase{-50, 30.0f, -66},  // and away from zero below it
                      SnapCase{49, 30.0f, 33},    // 1.47 frames -> frame 1
                      SnapCase{0, 30.0f, 0},
                      SnapCase{251, 1000.0f, 251},  // on the grid: stays
                      SnapCase{-251, 1000.0f, -251},
                      SnapCase{1000, 24.0f, 1000},
                      SnapCase{20, 25.0f, 40},  // 0.5 frames -> frame 1
                      SnapCase{19, 25.0f, 0},
                      SnapCase{1000, 29.97f, 1001},  // frame 30 at 29.97 fps
                      // Frame rates that are not a positive number leave the time alone.
                      SnapCase{57, 0.0f, 57}, SnapCase{57, -30.0f, 57},
                      SnapCase{57, std::numeric_limits<f32>::quiet_NaN(), 57},
                      SnapCase{57, std::numeric_limits<f32>::infinity(), 57},
                      SnapCase{1, 1e-30f, 0},
                      // 0.6 frames round up to frame 1, which lies beyond the i32
                      // range at this rate: clamped instead of overflowing.
                      SnapCase{2000000000, 3e-7f, std::numeric_limits<i32>::max()},
                      SnapCase{-2000000000, 3e-7f, std::numeric_limits<i32>::min()}));

TEST(TimeHelpers, SnappedTimesStayOnTheGrid) {
  for (const f32 fps : {24.0f, 25.0f, 29.97f, 30.0f, 50.0f, 60.0f, 120.0f, 1000.0f}) {
    for (i32 t = -5000; t <= 5000; ++t) {
      const i32 once = SnapTimeToFrame(t, fps);
      ASSERT_EQ(SnapTimeToFrame(once, fps), once) << "fps " << fps << " time " << t;
      ASSERT_LE(std::abs(once - t), static_cast<i32>(500.0f / fps) + 1) << "fps " << fps << " time " << t;
    }
  }
}

TEST(TimeHelpers, FloatToIntTrunc) {
  constexpr i32 kIndefinite = std::numeric_limits<i32>::min();
  const struct {
    f32 in;
    i32 out;
  } cases[] = {
      {0.0f, 0},
      {-0.0f, 0},
      {1.9f, 1},
      {-1.9f, -1},
      {2147483520.0f, 2147483520},  // largest float below 2^31
      {-2147483648.0f, kIndefinite},  // exactly -2^31 fits
      {2147483648.0f, kIndefinite},   // 2^31 does not
      {-2147483904.0f, kIndefinite},  // next float below -2^31
      {1e20f, kIndefinite},
      {std::numeric_limits<f32>::infinity(), kIndefinite},
      {-std::numeric_limits<f32>::infinity(), kIndefinite},
      {std::numeric_limits<f32>::quiet_NaN(), kIndefinite},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToIntTrunc(c.in), c.out) << c.in;
}

TEST(TimeHelpers, ClampKeyTime) {
  const struct {
    i64 in;
    i32 out;
  } cases[] = {
      {0, 0},
      {1500, 1500},
      {kMaxKeyTime, kMaxKeyTime},
      {static_cast<i64>(kMaxKeyTime) + 1, kMaxKeyTime},
      {kMinKeyTime, kMinKeyTime},
      {static_cast<i64>(kMinKeyTime) - 1, kMinKeyTime},
      {std::numeric_limits<i32>::min(), kMinKeyTime},  // what FloatToIntTrunc answers for NaN
      {std::numeric_limits<i64>::max(), kMaxKeyTime},
  };
  for (const auto& c : cases) EXPECT_EQ(ClampKeyTime(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace KT
