// Helpers shared by the tree-runtime tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

// Counts the bytes the runtime holds through it and the most it held at once.
class PeakAllocator : public CTreeAllocator {
 public:
  void* Alloc(std::size_t size, std::size_t) override {
    auto* block = static_cast<std::size_t*>(std::malloc(size + kTreeAllocAlignment));
    if (block == nullptr) return nullptr;
    *block = size;
    current += size;
    if (current > peak) peak = current;
    return reinterpret_cast<unsigned char*>(block) + kTreeAllocAlignment;
  }
  void Free(void* block) override {
    if (block == nullptr) return;
    auto* start = reinterpret_cast<std::size_t*>(static_cast<unsigned char*>(block) - kTreeAllocAlignment);
    current -= *start;
    std::free(start);
  }
  std::size_t current = 0;
  std::size_t peak = 0;
};

}  // namespace trt::test
