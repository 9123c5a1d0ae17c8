// The clip list of an export: the user's animation clips of one content
// type, read from the scene's user-defined file properties.
#pragma once

#include <vector>

#include "objectmodel/types.h"

class Interface;

// One clip: its name and its first and last whole frame.
struct ClipRecord {
  KT::WString Name;
  int From = 0;
  int To = 0;
  bool operator==(const ClipRecord&) const = default;
};
