#include "objectmodel/file_utils.h"

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "objectmodel/path_helpers.h"
#include "platform/file_system.h"

namespace KT {

bool PathExists(const WString& path) { return Platform::Exists(StripTrailingBackslash(path)); }

Result ReadWholeFile(std::vector<u8>& out, const WString& path) {
  out.clear();
  std::uint64_t size = 0;
  // Sizes travel as u32 everywhere in the format; a larger file is refused
  // rather than read in part.
  if (!Platform::GetFileSize(path, size) || size > std::numeric_limits<u32>::max()) return kErrFileSize;
  try {
    out.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const std::length_error&) {
    return kErrOutOfMemory;
  }
  std::FILE* file = Platform::OpenFile(path, Platform::FileMode::kRead);
  if (file == nullptr) {
    out.clear();
    out.shrink_to_fit();
    return kErrTreeData;
  }
  const std::size_t got = Platform::ReadFile(file, out.data(), out.size());
  Platform::CloseFile(file);
  if (got != out.size()) {
    out.clear();
    out.shrink_to_fit();
    return kErrTreeData;
  }
  return kOk;
}

i64 GetFileModifiedTime(const WString& path) {
  std::int64_t seconds = -1;
  return Platform::GetModifiedTime(path, seconds) ? seconds : -1;
}

}  // namespace KT
