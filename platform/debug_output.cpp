#include "platform/debug_output.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/text_encoding.h"

namespace KT::Platform {

namespace {

DebugOutputRecorder& Recorder() {
  static DebugOutputRecorder recorder;
  return recorder;
}

void Emit(std::u16string_view wide, std::string_view narrow) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(narrow.size()), narrow.data());
  if (Recorder()) Recorder()(wide);
}

}  // namespace

void OutputDebugStringW(const char16_t* text) {
  if (text == nullptr) return;
  const std::u16string_view wide(text);
  Emit(wide, Utf16ToUtf8Lossy(wide));
}

void OutputDebugText(std::string_view text) { Emit(Utf8ToUtf16Lossy(text), text); }

DebugOutputRecorder SetDebugOutputRecorder(DebugOutputRecorder recorder) {
  return std::exchange(Recorder(), std::move(recorder));
}

}  // namespace KT::Platform
