#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace KT::Platform {
namespace {

struct ValidCase {
  std::u16string wide;
  std::string utf8;
};

class ValidText : public ::testing::TestWithParam<ValidCase> {};

TEST_P(ValidText, ConvertsBothWaysStrictlyAndLossily) {
  const ValidCase& c = GetParam();
  std::string narrow = "stale";
  ASSERT_TRUE(Utf16ToUtf8(c.wide, narrow));
  EXPECT_EQ(narrow, c.utf8);
  std::u16string wide = u"stale";
  ASSERT_TRUE(Utf8ToUtf16(c.utf8, wide));
  EXPECT_EQ(wide, c.wide);
  EXPECT_EQ(Utf16ToUtf8Lossy(c.wide), c.utf8);
  EXPECT_EQ(Utf8ToUtf16Lossy(c.utf8), c.wide);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValidText,
    ::testing::Values(ValidCase{u"", ""}, ValidCase{u"Bip01 L Hand", "Bip01 L Hand"},
                      ValidCase{u"\u00E9", "\xC3\xA9"},                    // two bytes
                      ValidCase{u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},  // 2/3-byte boundary
                      ValidCase{u"\u20AC", "\xE2\x82\xAC"},                // euro sign
                      ValidCase{u"\uFFFF", "\xEF\xBF\xBF"},
                      ValidCase{u"\U0001F600", "\xF0\x9F\x98\x80"},  // surrogate pair
                      ValidCase{u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},  // last code point
                      ValidCase{std::u16string(u"a\0b", 3), std::string("a\0b", 3)}));

TEST(TextEncoding, Utf16WithUnpairedSurrogateFailsStrictAndIsReplacedLossily) {
  const struct {
    std::u16string wide;
    std::string lossy;
  } cases[] = {
      {u"a\xD800", "a\xEF\xBF\xBD"},                    // high at the end
      {u"a\xDC00z", "a\xEF\xBF\xBDz"},                  // lone low
      {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},  // high, then a valid pair
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_FALSE(Utf16ToUtf8(c.wide, out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Utf16ToUtf8Lossy(c.wide), c.lossy);
  }
}

TEST(TextEncoding, MalformedUtf8FailsStrictAndIsReplacedLossily) {
  const struct {
    const char* name;
    std::string utf8;
    std::u16string lossy;
  } cases[] = {
      {"stray continuation", "\x80" "a", u"\uFFFDa"},
      {"overlong two-byte", "\xC0\x80", u"\uFFFD\uFFFD"},
      {"overlong three-byte", "\xE0\x80\x80", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"invalid lead", "\xFF", u"\uFFFD"},
      {"truncated at end", "a\xC3", u"a\uFFFD"},
      {"missing continuation keeps next byte", "\xC3" "A", u"\uFFFDA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string out = u"stale";
    EXPECT_FALSE(Utf8ToUtf16(c.utf8, out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Utf8ToUtf16Lossy(c.utf8), c.lossy);
  }
}

TEST(TextEncoding, Windows1252HighControlRangeUsesTheCodePageTable) {
  const char16_t expected[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  for (int b = 0x80; b <= 0x9F; ++b) {
    const std::string in(1, static_cast<char>(b));
    EXPECT_EQ(Windows1252ToUtf16(in), std::u16string(1, expected[b - 0x80])) << "byte " << b;
  }
}

TEST(TextEncoding, Windows1252OtherBytesMapToTheSameCodePoint) {
  for (int b = 0x00; b <= 0xFF; ++b) {
    if (b >= 0x80 && b <= 0x9F) continue;
    const std::string in(1, static_cast<char>(b));
    EXPECT_EQ(Windows1252ToUtf16(in), std::u16string(1, static_cast<char16_t>(b))) << "byte " << b;
  }
  EXPECT_EQ(Windows1252ToUtf16("Caf\xE9 \x80"), u"Caf\u00E9 \u20AC");
  EXPECT_EQ(Windows1252ToUtf16(""), u"");
}

TEST(TextEncoding, Utf16ToWindows1252InvertsEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    std::string back;
    ASSERT_TRUE(Utf16ToWindows1252(Windows1252ToUtf16(in), back)) << "byte " << b;
    EXPECT_EQ(back, in) << "byte " << b;
  }
}

TEST(TextEncoding, Utf16ToWindows1252RefusesWhatTheCodePageLacks) {
  std::string out = "old";
  EXPECT_FALSE(Utf16ToWindows1252(u"a\u0100", out));  // Latin A with macron
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(Utf16ToWindows1252(u"\U0001F600", out));  // a surrogate pair
  ASSERT_TRUE(Utf16ToWindows1252(u"Caf\u00E9 \u20AC", out));
  EXPECT_EQ(out, "Caf\xE9 \x80");
}

TEST(TextEncoding, Utf16ToWindows1252LossyMarksEachMissingCharacter) {
  const struct {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"Caf\u00E9 \u20AC", "Caf\xE9 \x80"},
      {u"a\u0100b", "a?b"},
      {u"\U0001F600!", "?!"},   // a surrogate pair is one character
      {u"x\xD800y", "x?y"},     // an unpaired surrogate too
      {u"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16ToWindows1252Lossy(c.in), c.out);
}

}  // namespace
}  // namespace KT::Platform
