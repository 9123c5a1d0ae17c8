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

// Appends the clips of `contentType` from its clip-list property (the keys
// of the option dialogs: types 2, 3, 4, 5 and 13), names converted from
// the active code page. result: 0 when the property was read (also when it
// held no entries, or held a value that is not text), 1 when it does not
// exist (or there is no host interface), 0x80000003 for a type without a
// clip-list key.
void ReadClipList(KT::Result& result, Interface* ip, int contentType, std::vector<ClipRecord>& clips);
