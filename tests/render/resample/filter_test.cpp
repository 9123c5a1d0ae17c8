#include "render/resample/filter.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

namespace KT::Resample {
namespace {

TEST(ResampleFilter, TableOrderSupportsAndFlags) {
  struct Row {
    const char* name;
    double support;
    int windowed, cardinal, unitrange;
  };
  const Row rows[] = {
      {"point", 0, 0, 1, 1},      {"box", 0.5, 0, 1, 1},     {"triangle", 1, 0, 1, 1},  {"quadratic", 1.5, 0, 0, 1},
      {"cubic", 2, 0, 0, 1},      {"catrom", 2, 0, 1, 0},    {"mitchell", 2, 0, 0, 0},  {"gaussian", 1.25, 0, 0, 1},
      {"sinc", 4, 1, 1, 0},       {"bessel", 3.2383, 1, 0, 0}, {"hanning", 1, 0, 1, 1}, {"hamming", 1, 0, 1, 1},
      {"blackman", 1, 0, 1, 1},   {"kaiser", 1, 0, 1, 1},
  };
  ASSERT_EQ(GetFilterCount(), 14);
  for (int i = 0; i < 14; ++i) {
    const Filter* f = GetFilter(i);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, rows[i].name);
    EXPECT_EQ(f->support, rows[i].support) << f->name;  // exact, 3.2383 included
    EXPECT_EQ(f->blur, 1.0);
    EXPECT_EQ(f->windowed, rows[i].windowed) << f->name;
    EXPECT_EQ(f->cardinal, rows[i].cardinal) << f->name;
    EXPECT_EQ(f->unitrange, rows[i].unitrange) << f->name;
    EXPECT_EQ(FindFilter(rows[i].name), f);
  }
  EXPECT_EQ(GetFilter(14), nullptr);
}

TEST(ResampleFilter, Values) {
  struct Row {
    const char* name;
    double x;
    double value;
  };
  const double pi = std::numbers::pi;
  const Row rows[] = {
      {"point", 0.0, 1},  {"box", -0.5, 1},       {"box", 0.5, 0},        {"triangle", 0.25, 0.75},
      {"triangle", -0.25, 0.75}, {"triangle", 1.0, 0}, {"quadratic", 0, 0.75}, {"quadratic", 1.0, 0.125},
      {"quadratic", -1.0, 0.125}, {"cubic", 0, 4.0 / 6}, {"cubic", 1, 1.0 / 6}, {"cubic", 2, 0},
      {"catrom", 0, 1},   {"catrom", 1, 0},        {"catrom", 1.5, -0.0625}, {"gaussian", 0, std::sqrt(2 / pi)},
      {"sinc", 0, 1},     {"sinc", 0.5, 2 / pi},   {"bessel", 0, pi / 4},  {"bessel", 0.5, ::j1(pi * 0.5)},
      {"hanning", 0, 1},  {"hanning", 1, 0},       {"hamming", 1, 0.08},   {"blackman", 0, 1},
      {"blackman", 1, 0}, {"kaiser", 0, 1},
      // Mitchell, B = C = 1/3: p0 = 8/9 at 0, and at 1: q0 + q1 + q2 + q3 = 1/18.
      {"mitchell", 0, 8.0 / 9}, {"mitchell", 1, 1.0 / 18},
  };
  for (const Row& r : rows) {
    const Filter* f = FindFilter(r.name);
    ASSERT_NE(f, nullptr) << r.name;
    EXPECT_NEAR(f->func(r.x, f->clientdata), r.value, 1e-12) << r.name << " at " << r.x;
  }
  const Filter* kaiser = FindFilter("kaiser");
  EXPECT_NEAR(kaiser->func(1.0, kaiser->clientdata), 1.0 / BesselI0(6.5), 1e-15);
}

TEST(ResampleFilter, BesselI0AndMitchellCoefficients) {
  EXPECT_EQ(BesselI0(0), 1.0);
  EXPECT_NEAR(BesselI0(1), 1.2660658777520082, 1e-7);
  EXPECT_NEAR(BesselI0(6.5) / std::cyl_bessel_i(0.0, 6.5), 1.0, 1e-8);
  double c[7];
  MitchellCoefficients(1.0 / 3, 1.0 / 3, c);
  const double expected[7] = {16.0 / 18, -2.0, 7.0 / 6, 16.0 / 9, -10.0 / 3, 2.0, -7.0 / 18};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(c[i], expected[i], 1e-12) << i;
}

TEST(ResampleFilter, NamesAreExactAndCaseSensitive) {
  EXPECT_EQ(FindFilter("Triangle"), nullptr);
  EXPECT_EQ(FindFilter("tri"), nullptr);
  EXPECT_EQ(FindFilter("unknown"), nullptr);
  EXPECT_EQ(FindFilter(nullptr), nullptr);
}

TEST(ResampleFilter, WindowedFilters) {
  const Filter* sinc = FindFilter("sinc");
  FilterRef windowed = MakeWindowedFilter(sinc, "blackman");
  ASSERT_NE(windowed, nullptr);
  EXPECT_STREQ(windowed->name, "sinc*blackman");
  EXPECT_EQ(windowed->support, 4.0);
  EXPECT_EQ(windowed->windowed, 1);
  EXPECT_EQ(windowed->cardinal, 1);
  EXPECT_EQ(windowed->init, nullptr);
  EXPECT_EQ(windowed->print, nullptr);  // neither has a print operation
  const Filter* blackman = FindFilter("blackman");
  for (double x : {0.0, 0.3, 1.7, -2.5, 3.9}) {
    EXPECT_DOUBLE_EQ(windowed->func(x, windowed->clientdata),
                     sinc->func(x, nullptr) * blackman->func(x / 4.0, nullptr))
        << x;
  }
  // "box" as a window: the filter itself.
  FilterRef same = MakeWindowedFilter(sinc, "box");
  EXPECT_EQ(same.get(), sinc);
  // A window with a print operation gives the windowed filter one.
  FilterRef kaiser = MakeWindowedFilter(FindFilter("bessel"), "kaiser");
  ASSERT_NE(kaiser, nullptr);
  EXPECT_STREQ(kaiser->name, "bessel*kaiser");
  EXPECT_NE(kaiser->print, nullptr);
  EXPECT_EQ(MakeWindowedFilter(sinc, "nothing"), nullptr);
  EXPECT_EQ(MakeWindowedFilter(nullptr, "box"), nullptr);
}

}  // namespace
}  // namespace KT::Resample
