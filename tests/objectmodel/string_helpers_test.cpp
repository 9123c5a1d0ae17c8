#include "objectmodel/string_helpers.h"

#include <gtest/gtest.h>

namespace KT {
namespace {

TEST(StringHelpers, AnsiToWideReadsWindows1252UpToTheFirstZero) {
  const struct {
    std::string in;
    WString out;
  } cases[] = {
      {"", u""},
      {"Bip01 Head", u"Bip01 Head"},
      {"Caf\xE9", u"Caf\u00E9"},
      {"\x80 \x9F \xFF", u"\u20AC \u0178 \u00FF"},
      {"\x81", u"\u0081"},  // unassigned in the code page
      {std::string("ab\0cd", 5), u"ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToWide(c.in), c.out);
}

TEST(StringHelpers, WideCopies) {
  EXPECT_EQ(ToWString(nullptr), u"");
  EXPECT_EQ(ToWString(u"maps\\a.png"), u"maps\\a.png");
  const WString source = u"name";
  WString copy = ToWStringCopy(source);
  copy += u"!";
  EXPECT_EQ(source, u"name");
}

TEST(StringHelpers, StringToInt) {
  const struct {
    const char* in;
    i32 out;
  } cases[] = {
      {"42", 42},   {"  -17", -17},       {"+8", 8},   {"12abc", 12},
      {"3.9", 3},   {"abc", 0},           {"", 0},     {"2147483647", 2147483647},
      {"-2147483648", -2147483648LL},     {"2147483648", 0},  // out of range reads nothing
      {"99999999999999999999", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(StringToInt(c.in), c.out) << '"' << c.in << '"';
}

TEST(StringHelpers, StringToFloat) {
  const struct {
    const char* in;
    f32 out;
  } cases[] = {
      {"2.5", 2.5f}, {"-0.125", -0.125f}, {"1e3", 1000.0f}, {" 7", 7.0f},
      {"2,5", 2.0f}, {"abc", 0.0f},       {"", 0.0f},       {"1e60", 0.0f},
  };
  for (const auto& c : cases) EXPECT_EQ(StringToFloat(c.in), c.out) << '"' << c.in << '"';
}

// A locale whose decimal point is a comma, as many users' settings have.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(StringHelpers, NumberParsingIgnoresTheProcessLocale) {
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  const f32 f = StringToFloat("2.5");
  const i32 i = StringToInt("1.000");
  std::locale::global(previous);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(i, 1);
}

TEST(StringHelpers, Utf8AndWideConversions) {
  EXPECT_EQ(WideToUtf8(u"L Hand \u00E9\U0001F600"), "L Hand \xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToWide("L Hand \xC3\xA9\xF0\x9F\x98\x80"), u"L Hand \u00E9\U0001F600");
  EXPECT_EQ(WideToUtf8(u"a\xDC00"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToWide("a\xFF"), u"a\uFFFD");
}

}  // namespace
}  // namespace KT
