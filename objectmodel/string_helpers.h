// Narrow and wide string helpers: case folding, code-page conversion and
// locale-independent number parsing.
#pragma once

#include <locale>
#include <string>
#include <string_view>

#include "objectmodel/types.h"

namespace KT {

// A copy of `text` with its letters lowered under `locale` (the class-id
// computation passes the classic locale).
std::string ToLowerClassic(const std::string& text, const std::locale& locale = std::locale::classic());

// The UTF-16 text of `text` read in the ANSI code page (Windows-1252). The
// text ends at its first zero byte, as a C string would; empty text gives
// an empty string.
WString AnsiToWide(std::string_view text);

// A copy of a wide string; null gives an empty string.
WString ToWString(const char16_t* text);
// A copy of a wide string.
WString ToWStringCopy(const WString& text);

// The integer a classic-locale stream extracts from the start of `text`
// (leading white space skipped, trailing text ignored): "42abc" gives 42.
// 0 when no integer can be read, including one outside the i32 range.
i32 StringToInt(std::string_view text);

// The f32 a classic-locale stream extracts from the start of `text`; the
// decimal point is always '.', whatever the process locale. 0 when no
// number can be read, including one outside the f32 range.
f32 StringToFloat(std::string_view text);

// UTF-16 -> UTF-8 for output and messages; an unpaired surrogate becomes
// U+FFFD.
std::string WideToUtf8(std::u16string_view text);
// UTF-8 -> UTF-16 for text from the command line or the console; a
// malformed sequence becomes U+FFFD.
WString Utf8ToWide(std::string_view text);

}  // namespace KT
