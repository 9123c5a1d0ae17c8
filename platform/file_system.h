// The few file-system calls the object model needs, behind one small
// interface: open/read/write/relative seek/close of a file, an existence
// test, removal of a file, a file's size and its modification time.
//
// Paths arrive as UTF-16 with `\` or `/` as separators; they are turned into
// UTF-8 with every `\` made a `/` before they reach the operating system. A
// path that cannot be converted exactly (an unpaired surrogate or an
// embedded zero unit) names no file: opening fails and the queries answer
// "not there".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace KT::Platform {

// The native form of `path` (UTF-8, `/` separators). False when the path
// holds an unpaired surrogate or a zero unit.
bool ToNativePath(std::u16string_view path, std::string& out);

enum class FileMode {
  kRead,   // an existing regular file, from its start ("rb")
  kWrite,  // created or truncated ("wb")
};

// Opens the file, or answers null. Folders are never opened for reading.
std::FILE* OpenFile(std::u16string_view path, FileMode mode);
// Reads up to `count` bytes; answers the bytes read.
std::size_t ReadFile(std::FILE* file, void* destination, std::size_t count);
// Writes up to `count` bytes; answers the bytes written.
std::size_t WriteFile(std::FILE* file, const void* source, std::size_t count);
// Moves the file position by `offset` from the current one; false when the
// system refuses (a target before the start, a stream that cannot seek).
bool SeekRelative(std::FILE* file, std::int64_t offset);
// Closes the file; null is ignored.
void CloseFile(std::FILE* file);

// True when a file or folder exists at `path`.
bool Exists(std::u16string_view path);
// Deletes the file at `path`; false when there is none or the system
// refuses. Folders are never removed.
bool RemoveFile(std::u16string_view path);
// The size in bytes of the file at `path` (0 for a folder); false when the
// path cannot be queried.
bool GetFileSize(std::u16string_view path, std::uint64_t& size);
// The last-modification time of the file at `path` in whole seconds since
// 1970-01-01 UTC; false when the file cannot be opened.
bool GetModifiedTime(std::u16string_view path, std::int64_t& seconds);

}  // namespace KT::Platform
