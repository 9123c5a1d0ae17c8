#include "platform/text_encoding.h"

#include <cstdint>

namespace KT::Platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes the code point at text[i] and advances i. An unpaired surrogate
// answers false and advances by one unit.
bool NextUtf16(std::u16string_view text, std::size_t& i, char32_t& cp) {
  const char32_t u = text[i++];
  if (IsHighSurrogate(u)) {
    if (i < text.size() && IsLowSurrogate(text[i])) {
      cp = 0x10000 + ((u - 0xD800) << 10) + (static_cast<char32_t>(text[i]) - 0xDC00);
      ++i;
      return true;
    }
    return false;
  }
  if (IsLowSurrogate(u)) return false;
  cp = u;
  return true;
}

// Decodes the sequence at text[i] and advances i. A malformed sequence
// answers false and advances past the bytes that cannot belong to any valid
// sequence (at least one), so decoding resynchronises on the next lead byte.
bool NextUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  const auto lead = static_cast<std::uint8_t>(text[i++]);
  if (lead < 0x80) {
    cp = lead;
    return true;
  }
  int extra = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    min = 0x80;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    min = 0x800;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    min = 0x10000;
    cp = lead & 0x07;
  } else {
    return false;  // continuation byte, overlong two-byte lead or > U+10FFFF lead
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size()) return false;
    const auto b = static_cast<std::uint8_t>(text[i]);
    if ((b & 0xC0) != 0x80) return false;  // leave the byte for the next round
    cp = (cp << 6) | (b & 0x3F);
    ++i;
  }
  if (cp < min || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp)) return false;
  return true;
}

// Code page 1252, bytes 0x80-0x9F. Unassigned bytes keep their own value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

bool Utf16ToUtf8(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    if (!NextUtf16(text, i, cp)) {
      out.clear();
      return false;
    }
    AppendUtf8(out, cp);
  }
  return true;
}

bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    if (!NextUtf8(text, i, cp)) {
      out.clear();
      return false;
    }
    AppendUtf16(out, cp);
  }
  return true;
}

std::string Utf16ToUtf8Lossy(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    AppendUtf8(out, NextUtf16(text, i, cp) ? cp : kReplacement);
  }
  return out;
}

std::u16string Utf8ToUtf16Lossy(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    AppendUtf16(out, NextUtf8(text, i, cp) ? cp : kReplacement);
  }
  return out;
}

std::u16string Windows1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<std::uint8_t>(c);
    out.push_back(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

namespace {

// The code-page byte of a UTF-16 code unit, or -1 when the code page has none.
int Windows1252Byte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int b = 0; b < 32; ++b)
    if (kCp1252High[b] == unit) return 0x80 + b;
  return -1;
}

}  // namespace

bool Utf16ToWindows1252(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (const char16_t unit : text) {
    const int byte = Windows1252Byte(unit);
    if (byte < 0) {
      out.clear();
      return false;
    }
    out.push_back(static_cast<char>(byte));
  }
  return true;
}

std::string Utf16ToWindows1252Lossy(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = Windows1252Byte(text[i]);
    if (byte >= 0) {
      out.push_back(static_cast<char>(byte));
      continue;
    }
    // A surrogate pair is one character: one '?' for both units.
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      ++i;
    out.push_back('?');
  }
  return out;
}

}  // namespace KT::Platform
