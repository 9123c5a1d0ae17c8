// The host's bitmap file lookup: whether a path names a file, and the
// search of a bitmap's file through the host's map folders. The folders are
// those of the active host scene.
#pragma once

#include <string>

#include "platform/host/max_types.h"

class BitmapInfo {
 public:
  void SetName(const TCHAR* name) { name_ = name != nullptr ? name : ""; }
  const TCHAR* Name() const { return name_.c_str(); }

 private:
  std::string name_;
};

// True when `name` names an existing file (`\` and `/` both separate
// folders).
BOOL BMMIsFile(const TCHAR* name);

// Looks for the file of bi's name: the name itself when it names a file,
// otherwise its file name part in each map folder in order. When found, bi
// takes the full name and the answer is true; otherwise bi is unchanged.
BOOL BMMGetFullFilename(BitmapInfo* bi);
