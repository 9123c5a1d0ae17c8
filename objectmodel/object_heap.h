// KT::ObjectHeap: where the library's objects (every KT::CBase) live.
//
// A scene file of tens of thousands of objects makes and frees them in
// bursts. Through the general heap every burst lands on memory the C
// library has just handed back to the system, so each load pays a page
// fault per 4 KiB it fills. The object heap keeps what it was given: blocks
// of up to kLargestBlock bytes come from one reserved address range,
// carved in chunks of one block size and asking the system for huge pages;
// freed blocks go to a per-thread list of their size and are reused by the
// next object of that size. The memory is not returned to the system while
// the process runs.
//
// Larger requests, and every request when the range cannot be reserved or
// is used up, go to the global operator new. Release accepts either kind of
// block from any thread; it needs no size. Builds with
// AddressSanitizer take every block from the global heap, so that the
// sanitizer sees each object's life.
#pragma once

#include <cstddef>

namespace KT::ObjectHeap {

inline constexpr std::size_t kLargestBlock = 1024;

// A block of at least `size` bytes, aligned for any object; throws
// std::bad_alloc when there is no memory.
void* Allocate(std::size_t size);
// The same, or null when there is no memory.
void* TryAllocate(std::size_t size) noexcept;
// Gives back a block of Allocate or TryAllocate (null is ignored).
void Release(void* block) noexcept;
// True when blocks come from the object heap's own range: false in
// sanitizer builds and when no range could be reserved.
bool UsesOwnRange() noexcept;
// True when `block` lies in the object heap's own range.
bool Holds(const void* block) noexcept;
// Blocks the calling thread has taken from the object heap's own range so
// far (for programs that count allocations; the global heap's are not in
// it).
unsigned long long ThreadBlockCount() noexcept;

}  // namespace KT::ObjectHeap
