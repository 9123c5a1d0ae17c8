// Text conversions the platform would do for us: UTF-16 <-> UTF-8 and the
// ANSI code page (Windows-1252) <-> UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace KT::Platform {

// Strict UTF-16 -> UTF-8. False (and `out` cleared) when the text holds an
// unpaired surrogate; used where a lossy result would name something else
// (file paths).
bool Utf16ToUtf8(std::u16string_view text, std::string& out);

// Strict UTF-8 -> UTF-16. False (and `out` cleared) on a malformed sequence:
// a stray or missing continuation byte, an overlong form, a surrogate code
// point or a value above U+10FFFF.
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

// Lossy forms for display and messages: every unpaired surrogate or
// malformed sequence becomes U+FFFD and conversion goes on.
std::string Utf16ToUtf8Lossy(std::u16string_view text);
std::u16string Utf8ToUtf16Lossy(std::string_view text);

// Windows-1252 -> UTF-16, one code unit per byte. 0x80-0x9F use the code
// page's table; the five bytes the code page leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows
// itself does. Embedded zero bytes are converted like any other byte.
std::u16string Windows1252ToUtf16(std::string_view text);

// Strict UTF-16 -> Windows-1252, the inverse of Windows1252ToUtf16. False
// (and `out` cleared) when a code unit has no byte in the code page.
bool Utf16ToWindows1252(std::u16string_view text, std::string& out);

// The lossy form: a character the code page cannot hold (a code unit
// without a byte, or a surrogate pair) becomes one '?'.
std::string Utf16ToWindows1252Lossy(std::u16string_view text);

}  // namespace KT::Platform
