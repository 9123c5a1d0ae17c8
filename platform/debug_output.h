// The debugger's output channel: what the platform's debug-string call
// would show in an attached debugger. Messages go to standard error (as
// UTF-8, one line each) and, while a recorder is installed, to it as well,
// so tests can check what was reported.
#pragma once

#include <functional>
#include <string_view>

namespace KT::Platform {

// Writes `text` (UTF-16; null writes nothing) to the debug sink.
void OutputDebugStringW(const char16_t* text);
// The same for narrow (UTF-8) text: library warnings and errors.
void OutputDebugText(std::string_view text);

// Receives every message after it went to standard error. Installing one
// replaces the previous recorder (which is returned); an empty function
// removes it.
using DebugOutputRecorder = std::function<void(std::u16string_view)>;
DebugOutputRecorder SetDebugOutputRecorder(DebugOutputRecorder recorder);

}  // namespace KT::Platform
