#include "treeruntime/tree_memory.h"

#include <cstdlib>

namespace trt {
namespace {

CTreeAllocator* g_pInstalledAllocator = nullptr;
std::uint32_t g_uTrackedBytes = 0;

void* RawAlloc(std::size_t size) {
  void* block = g_pInstalledAllocator != nullptr
                    ? g_pInstalledAllocator->Alloc(size, kTreeAllocAlignment)
                    : std::malloc(size);
  // malloc(0) may answer null without failing; a zero-byte request still
  // gets a distinct block so that null keeps meaning "failed".
  if (block == nullptr && size == 0 && g_pInstalledAllocator == nullptr) block = std::malloc(1);
  if (block == nullptr) throw BadAllocation();
  return block;
}

void RawFree(void* block) {
  if (block == nullptr) return;
  if (g_pInstalledAllocator != nullptr) {
    g_pInstalledAllocator->Free(block);
  } else {
    std::free(block);
  }
}

}  // namespace

CTreeAllocator* InstallTreeAllocator(CTreeAllocator* allocator) {
  CTreeAllocator* previous = g_pInstalledAllocator;
  g_pInstalledAllocator = allocator;
  return previous;
}

CTreeAllocator* GetInstalledTreeAllocator() { return g_pInstalledAllocator; }

std::uint32_t GetTrackedBytes() { return g_uTrackedBytes; }

// The counter is 32 bits wide and wraps; unsigned arithmetic keeps that
// defined whatever the order of raises and releases.
void RaiseTrackedBytes(std::size_t bytes) { g_uTrackedBytes += static_cast<std::uint32_t>(bytes); }

void LowerTrackedBytes(std::size_t bytes) { g_uTrackedBytes -= static_cast<std::uint32_t>(bytes); }

void* TrackedAlloc(std::size_t size, const char* /*tag*/) {
  void* block = RawAlloc(size);
  RaiseTrackedBytes(size);
  return block;
}

void TrackedFree(void* block) { RawFree(block); }

void* UntrackedAlloc(std::size_t size) { return RawAlloc(size); }

void UntrackedFree(void* block) { RawFree(block); }

}  // namespace trt
