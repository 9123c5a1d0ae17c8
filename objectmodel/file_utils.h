// Whole-file utilities: existence, whole-file read and modification time.
#pragma once

#include <vector>

#include "objectmodel/types.h"

namespace KT {

// True when a file or folder exists at `path`. One trailing '\' is removed
// first, so a folder written as C:\a\ is found.
bool PathExists(const WString& path);

// Reads the whole file at `path` into `out` (replacing its contents).
// - kErrFileSize: the size cannot be read (no such file) or does not fit
//   32 bits; nothing is allocated;
// - kErrOutOfMemory: the block cannot be allocated;
// - kErrTreeData (0x80000006): the file cannot be opened, or it delivers
//   fewer bytes than its size; `out` is left empty.
// An empty file answers kOk with an empty block.
Result ReadWholeFile(std::vector<u8>& out, const WString& path);

// The file's last-modification time in seconds since 1970-01-01 UTC, or -1
// when the file cannot be opened.
i64 GetFileModifiedTime(const WString& path);

}  // namespace KT
