// Counts every heap allocation of a benchmark program, so that benchmarks
// can report allocations per operation.
//
// The replacement global operators below are definitions, not
// declarations: include this header in exactly one source file of a
// program (each benchmark program is one source file).
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

#include "objectmodel/object_heap.h"

namespace bench {
inline std::atomic<unsigned long long> gAllocations{0};
// Allocations made so far by the whole program, with the objects the
// calling thread took from the library's object heap (which does not go
// through operator new).
inline unsigned long long AllocationCount() {
  return gAllocations.load(std::memory_order_relaxed) + KT::ObjectHeap::ThreadBlockCount();
}
}  // namespace bench

// The replacements allocate with malloc and free with free; GCC cannot see
// that the pairs belong together once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  bench::gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  bench::gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
