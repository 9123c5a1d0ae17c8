// Helpers shared by the tree-runtime tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_memory.h"

namespace trt::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const CTreeFileAccess& writer) {
  return Bytes(writer.GetData().begin(), writer.GetData().end());
}

// A reader over what `writer` wrote.
inline CTreeFileAccess ReaderOf(const CTreeFileAccess& writer) {
  return CTreeFileAccess(writer.GetData().data(), writer.GetData().size());
}

inline CTreeFileAccess ReaderOf(const Bytes& bytes) { return CTreeFileAccess(bytes.data(), bytes.size()); }

// The TreeFileError text `call` throws, or "(no error)".
template <typename F>
std::string TreeErrorText(F&& call) {
  try {
    call();
  } catch (const TreeFileError& e) {
    return e.Text();
  }
  return "(no error)";
}

// Installs an allocator for its lifetime and puts the previous one back.
class InstalledAllocator {
 public:
  explicit InstalledAllocator(CTreeAllocator* allocator) : previous_(InstallTreeAllocator(allocator)) {}
  ~InstalledAllocator() { InstallTreeAllocator(previous_); }
  InstalledAllocator(const InstalledAllocator&) = delete;
  InstalledAllocator& operator=(const InstalledAllocator&) = delete;

 private:
  CTreeAllocator* previous_;
};

}  // namespace trt::test
