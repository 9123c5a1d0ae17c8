// The converted tree as text, for tests: "name(child child ...)".
#pragma once

#include <string>

#include "scene/node.h"

inline std::string TreeShape(const KT::CSpatial* spatial) {
  std::string out;
  for (char16_t c : spatial->GetName()) out += static_cast<char>(c);
  const auto* node = dynamic_cast<const KT::CNode*>(spatial);
  if (node == nullptr || node->GetChildCount() == 0) return out;
  out += "(";
  bool first = true;
  for (const auto& child : node->GetChildren()) {
    if (!first) out += " ";
    first = false;
    out += TreeShape(child.Get());
  }
  return out + ")";
}
