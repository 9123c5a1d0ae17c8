#include "objectmodel/file_io.h"

#include <cstdint>
#include <limits>

#include "objectmodel/file_utils.h"
#include "objectmodel/path_helpers.h"
#include "platform/file_system.h"

namespace KT {

CFileIo::CFileIo() = default;

CFileIo::~CFileIo() { Close(); }

Result CFileIo::OpenRead(const WString& path) {
  Close();
  if (path.empty()) return kErrInvalidArg;
  path_ = path;
  std::uint64_t size = 0;
  // The format measures everything in u32; a file beyond that cannot be one
  // of ours, and keeping only the low 32 bits would read a wrong length.
  if (!Platform::GetFileSize(path, size) || size > std::numeric_limits<u32>::max()) return kErrFileSize;
  file_ = Platform::OpenFile(path, Platform::FileMode::kRead);
  if (file_ == nullptr) return kErrTreeData;
  reading_ = true;
  size_ = static_cast<u32>(size);
  return kOk;
}

Result CFileIo::OpenWrite(const WString& path) {
  Close();
  if (path.empty()) return kErrInvalidArg;
  path_ = path;
  file_ = Platform::OpenFile(path, Platform::FileMode::kWrite);
  if (file_ == nullptr) return kErrTreeData;
  reading_ = false;
  return kOk;
}

Result CFileIo::Close() {
  Platform::CloseFile(file_);
  file_ = nullptr;
  reading_ = false;
  size_ = 0;
  position_ = 0;
  written_ = 0;
  return kOk;
}

bool CFileIo::IsEof() const { return position_ >= size_; }

bool CFileIo::Exists(WString path) const { return PathExists(path); }

Result CFileIo::GetFolder(WString& folder) const {
  folder = KT::GetFolder(path_);
  return kOk;
}

Result CFileIo::PrepareSize(u32 /*totalBytes*/, u32 /*largestItem*/) { return kOk; }

u32 CFileIo::GetSize() const { return size_; }

u32 CFileIo::GetRemaining() const { return size_ >= position_ ? size_ - position_ : 0; }

Result CFileIo::Read(void* destination, u32 capacity, u32 count, u32 /*context*/) {
  if (count == 0) return kOk;
  if (destination == nullptr || count > capacity) return kErrInvalidArg;
  if (!IsOpenForReading()) return kErrStream;
  const std::size_t got = Platform::ReadFile(file_, destination, count);
  position_ += static_cast<u32>(got);
  return got == count ? kOk : kErrStream;
}

Result CFileIo::Write(const void* source, u32 count, u32 /*context*/) {
  if (count == 0) return kOk;
  if (source == nullptr) return kErrInvalidArg;
  if (file_ == nullptr || reading_) return kErrStream;
  const std::size_t put = Platform::WriteFile(file_, source, count);
  written_ += static_cast<u32>(put);
  return put == count ? kOk : kErrStream;
}

Result CFileIo::Skip(i32 offset) {
  if (!IsOpenForReading()) return kErrStream;
  const i64 target = static_cast<i64>(position_) + offset;
  // Skipping past the end would succeed on the file system and leave the
  // device claiming data it does not have; a truncated file must fail here.
  if (target < 0 || target > static_cast<i64>(size_)) return kErrStream;
  if (!Platform::SeekRelative(file_, offset)) return kErrStream;
  position_ = static_cast<u32>(target);
  return kOk;
}

}  // namespace KT
