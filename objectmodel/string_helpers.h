// Narrow and wide string helpers: case folding, code-page conversion and
// locale-independent number parsing.
#pragma once

#include <locale>
#include <string>

#include "objectmodel/types.h"

namespace KT {

// A copy of `text` with its letters lowered under `locale` (the class-id
// computation passes the classic locale).
std::string ToLowerClassic(const std::string& text, const std::locale& locale = std::locale::classic());

}  // namespace KT
