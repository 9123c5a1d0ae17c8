#include "objectmodel/string_helpers.h"

namespace KT {

std::string ToLowerClassic(const std::string& text, const std::locale& locale) {
  // Converting through the given locale object, rather than switching the
  // process-wide locale, gives the same result without touching global state.
  std::string out = text;
  for (char& c : out) c = std::tolower(c, locale);
  return out;
}

}  // namespace KT
