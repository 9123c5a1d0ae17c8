// KT::AdjustColor, KT::RgbToHsl and KT::HslToRgb.
#include "shapes/color_adjust.h"

#include <gtest/gtest.h>

namespace KT {
namespace {

void ExpectRgb(const CColor& c, f32 r, f32 g, f32 b, f32 a) {
  EXPECT_NEAR(c.r, r, 1e-6);
  EXPECT_NEAR(c.g, g, 1e-6);
  EXPECT_NEAR(c.b, b, 1e-6);
  EXPECT_EQ(c.a, a) << "alpha is never touched";
}

TEST(ColorAdjustTest, AdjustColorCases) {
  struct Row {
    const char* what;
    CColor in;
    f32 hue, saturation, brightness, contrast;
    bool invert;
    CColor out;
  };
  const Row rows[] = {
      {"all zeros: unchanged", {0.2f, 0.4f, 0.6f, 0.3f}, 0, 0, 0, 0, false, {0.2f, 0.4f, 0.6f, 0.3f}},
      {"invert only", {0.2f, 0.4f, 0.6f, 0.3f}, 0, 0, 0, 0, true, {0.8f, 0.6f, 0.4f, 0.3f}},
      {"contrast -2: 0.5 grey", {0.1f, 0.9f, 0.3f, 0.7f}, 0, 0, 0, -2.0f, false, {0.5f, 0.5f, 0.5f, 0.7f}},
      {"contrast -5 clamps the factor to 0", {0.1f, 0.9f, 0.3f, 0.7f}, 0, 0, 0, -5.0f, true, {0.5f, 0.5f, 0.5f, 0.7f}},
      {"brightness clamps at 1", {0.5f, 0.5f, 0.5f, 1.0f}, 0, 0, 0.75f, 0, false, {1.0f, 1.0f, 1.0f, 1.0f}},
      {"brightness clamps at 0", {0.5f, 0.5f, 0.5f, 1.0f}, 0, 0, -0.75f, 0, false, {0.0f, 0.0f, 0.0f, 1.0f}},
      {"contrast 1 doubles the distance to 0.5", {0.75f, 0.25f, 0.5f, 1.0f}, 0, 0, 0, 1.0f, false, {1.0f, 0.0f, 0.5f, 1.0f}},
      // Cyan has hue 0.5: a shift of 0.75 makes 1.25, wrapped once to 0.25,
      // the hue between yellow and green.
      {"hue sum 1.25 wraps to 0.25", {0.0f, 1.0f, 1.0f, 1.0f}, 0.75f, 0, 0, 0, false, {0.5f, 1.0f, 0.0f, 1.0f}},
      // 2.5 wraps to 1.5 only, which the conversion clamps to 1 (red).
      {"hue sum 2.5 clamps to 1", {0.0f, 1.0f, 1.0f, 1.0f}, 2.0f, 0, 0, 0, false, {1.0f, 0.0f, 0.0f, 1.0f}},
      {"hue sum -0.25 wraps to 0.75", {0.0f, 1.0f, 1.0f, 1.0f}, -0.75f, 0, 0, 0, false, {0.5f, 0.0f, 1.0f, 1.0f}},
      {"saturation -1 gives grey", {1.0f, 0.0f, 0.0f, 1.0f}, 0, -1.0f, 0, 0, false, {0.5f, 0.5f, 0.5f, 1.0f}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CColor c = row.in;
    AdjustColor(c, row.hue, row.saturation, row.brightness, row.contrast, row.invert);
    ExpectRgb(c, row.out.r, row.out.g, row.out.b, row.out.a);
  }
}

TEST(ColorAdjustTest, RgbToHslOnPrimariesAndGreys) {
  struct Row {
    const char* what;
    CColor in;
    f32 h, s, l;
  };
  const Row rows[] = {
      {"red", {1, 0, 0, 1}, 0.0f, 1.0f, 0.5f},
      {"green", {0, 1, 0, 1}, 1.0f / 3.0f, 1.0f, 0.5f},
      {"blue", {0, 0, 1, 1}, 2.0f / 3.0f, 1.0f, 0.5f},
      {"yellow", {1, 1, 0, 1}, 1.0f / 6.0f, 1.0f, 0.5f},
      {"cyan", {0, 1, 1, 1}, 0.5f, 1.0f, 0.5f},
      {"magenta", {1, 0, 1, 1}, 5.0f / 6.0f, 1.0f, 0.5f},
      {"black", {0, 0, 0, 1}, 0.0f, 0.0f, 0.0f},
      {"grey", {0.25f, 0.25f, 0.25f, 1}, 0.0f, 0.0f, 0.25f},
      {"white", {1, 1, 1, 1}, 0.0f, 0.0f, 1.0f},
      {"light red: saturation over 2 - (max + min)", {1.0f, 0.5f, 0.5f, 1}, 0.0f, 1.0f, 0.75f},
      {"dark red", {0.5f, 0.0f, 0.0f, 1}, 0.0f, 1.0f, 0.25f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    f32 h = -1, s = -1, l = -1;
    RgbToHsl(row.in, h, s, l);
    // Red at the max with green at the min gives 5 + b' = 6, one full turn.
    EXPECT_FLOAT_EQ(h == 1.0f ? 0.0f : h, row.h);
    EXPECT_FLOAT_EQ(s, row.s);
    EXPECT_FLOAT_EQ(l, row.l);
  }
}

TEST(ColorAdjustTest, HslToRgbOnPrimariesGreysAndClamps) {
  struct Row {
    const char* what;
    f32 h, s, l;
    CColor out;
  };
  const Row rows[] = {
      {"red", 0.0f, 1.0f, 0.5f, {1, 0, 0, 0.25f}},
      {"hue 1 is sextant 6, as 0", 1.0f, 1.0f, 0.5f, {1, 0, 0, 0.25f}},
      {"green", 1.0f / 3.0f, 1.0f, 0.5f, {0, 1, 0, 0.25f}},
      {"blue", 2.0f / 3.0f, 1.0f, 0.5f, {0, 0, 1, 0.25f}},
      {"yellow", 1.0f / 6.0f, 1.0f, 0.5f, {1, 1, 0, 0.25f}},
      {"grey", 0.7f, 0.0f, 0.25f, {0.25f, 0.25f, 0.25f, 0.25f}},
      {"lightness above 1 clamps to white", 0.3f, 0.0f, 2.0f, {1, 1, 1, 0.25f}},
      {"hue below 0 clamps to red", -3.0f, 1.0f, 0.5f, {1, 0, 0, 0.25f}},
      {"light red", 0.0f, 1.0f, 0.75f, {1.0f, 0.5f, 0.5f, 0.25f}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CColor c(9, 9, 9, 0.25f);
    HslToRgb(c, row.h, row.s, row.l);
    ExpectRgb(c, row.out.r, row.out.g, row.out.b, 0.25f);
  }
}

}  // namespace
}  // namespace KT
