// A file in the temporary folder for the benchmarks that write files,
// named after the program's process so that parallel runs do not meet;
// removed when the object goes.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "objectmodel/types.h"

namespace bench {

class TempFile {
 public:
  explicit TempFile(const std::string& stem, const std::string& extension = ".drn") {
    path_ = (std::filesystem::temp_directory_path() /
             ("kt-bench-" + stem + "-" + std::to_string(::getpid()) + extension))
                .string();
  }
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Native() const { return path_; }
  // Removes the file, so that the next write creates it instead of
  // truncating the last one (which costs the file system more than the
  // write itself, and varies).
  void Remove() const {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  // Temporary paths are ASCII.
  KT::WString Wide() const { return KT::WString(path_.begin(), path_.end()); }

 private:
  std::string path_;
};

}  // namespace bench
