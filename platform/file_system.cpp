#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/text_encoding.h"

namespace KT::Platform {

bool ToNativePath(std::u16string_view path, std::string& out) {
  // A zero unit would end the path early at the system call and name a
  // different file; refuse it instead.
  if (path.find(u'\0') != std::u16string_view::npos || !Utf16ToUtf8(path, out)) {
    out.clear();
    return false;
  }
  std::replace(out.begin(), out.end(), '\\', '/');
  return true;
}

std::FILE* OpenFile(std::u16string_view path, FileMode mode) {
  std::string native;
  if (!ToNativePath(path, native) || native.empty()) return nullptr;
  std::FILE* file = std::fopen(native.c_str(), mode == FileMode::kRead ? "rb" : "wb");
  if (file == nullptr) return nullptr;
  if (mode == FileMode::kRead) {
    // The C library on this system opens folders for reading, where the
    // original platform refuses them; reading one would only fail later.
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
      std::fclose(file);
      return nullptr;
    }
  }
  return file;
}

std::size_t ReadFile(std::FILE* file, void* destination, std::size_t count) {
  if (file == nullptr || count == 0) return 0;
  return std::fread(destination, 1, count, file);
}

std::size_t WriteFile(std::FILE* file, const void* source, std::size_t count) {
  if (file == nullptr || count == 0) return 0;
  return std::fwrite(source, 1, count, file);
}

bool SeekRelative(std::FILE* file, std::int64_t offset) {
  if (file == nullptr) return false;
  return fseeko(file, static_cast<off_t>(offset), SEEK_CUR) == 0;
}

void CloseFile(std::FILE* file) {
  if (file != nullptr) std::fclose(file);
}

bool Exists(std::u16string_view path) {
  std::string native;
  if (!ToNativePath(path, native) || native.empty()) return false;
  struct stat st {};
  return stat(native.c_str(), &st) == 0;
}

bool RemoveFile(std::u16string_view path) {
  std::string native;
  if (!ToNativePath(path, native) || native.empty()) return false;
  struct stat st {};
  if (stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(native.c_str()) == 0;
}

bool GetFileSize(std::u16string_view path, std::uint64_t& size) {
  size = 0;
  std::string native;
  if (!ToNativePath(path, native) || native.empty()) return false;
  struct stat st {};
  if (stat(native.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode)) size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool GetModifiedTime(std::u16string_view path, std::int64_t& seconds) {
  seconds = -1;
  std::string native;
  if (!ToNativePath(path, native) || native.empty()) return false;
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = fstat(fd, &st) == 0;
  close(fd);
  if (!ok) return false;
  seconds = static_cast<std::int64_t>(st.st_mtime);
  return true;
}

}  // namespace KT::Platform
