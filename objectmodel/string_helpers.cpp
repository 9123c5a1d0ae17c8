#include "objectmodel/string_helpers.h"

#include <sstream>

#include "platform/text_encoding.h"

namespace KT {

std::string ToLowerClassic(const std::string& text, const std::locale& locale) {
  // Converting through the given locale object, rather than switching the
  // process-wide locale, gives the same result without touching global state.
  std::string out = text;
  for (char& c : out) c = std::tolower(c, locale);
  return out;
}

WString AnsiToWide(std::string_view text) {
  // Names from old files were converted as C strings: nothing after a zero
  // byte ever reached the object.
  const auto end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  return Platform::Windows1252ToUtf16(text);
}

WString ToWString(const char16_t* text) { return text != nullptr ? WString(text) : WString(); }

WString ToWStringCopy(const WString& text) { return text; }

namespace {

// Extracts one value of type T with a stream imbued with the classic
// locale, so the user's locale (decimal comma, digit grouping) never
// changes what a text means.
template <typename T>
T ExtractClassic(std::string_view text) {
  std::istringstream in{std::string(text)};
  in.imbue(std::locale::classic());
  T value{};
  in >> value;
  return in.fail() ? T{} : value;
}

}  // namespace

i32 StringToInt(std::string_view text) { return ExtractClassic<i32>(text); }

f32 StringToFloat(std::string_view text) { return ExtractClassic<f32>(text); }

std::string WideToUtf8(std::u16string_view text) { return Platform::Utf16ToUtf8Lossy(text); }

WString Utf8ToWide(std::string_view text) { return Platform::Utf8ToUtf16Lossy(text); }

}  // namespace KT
