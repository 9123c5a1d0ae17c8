// Tracked allocation of the tree runtime.
//
// Every block the runtime takes for itself goes through this layer: a
// process-wide hook for an installed allocator object, a process-wide count
// of the bytes the runtime holds, and the allocation forms built on them
// (single objects, counted arrays with their element count stored in the
// word just ahead of the elements, and the storage of the runtime's growable
// vectors).
//
// With no allocator installed every allocation uses malloc and every release
// free. An allocation that fails throws BadAllocation, a std::bad_alloc whose
// text is "bad allocation"; the layer catches nothing.
//
// The hook and the counter are process-wide and unguarded: the runtime is
// used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace trt {

// The allocation failure of the runtime.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

// An allocator object an embedding application (or a test) may install.
// Alloc returns null on failure; the layer then throws BadAllocation.
class CTreeAllocator {
 public:
  virtual ~CTreeAllocator() = default;
  virtual void* Alloc(std::size_t size, std::size_t alignment) = 0;
  virtual void Free(void* block) = 0;
};

// Every block taken through an installed allocator asks for this alignment.
inline constexpr std::size_t kTreeAllocAlignment = 16;

// Installs `allocator` (null: back to malloc/free) and returns the one that
// was installed before. No operation of the runtime calls this; it is the
// seam for an embedding application and for tests. Blocks must be released
// through the allocator that took them, so switch only while the runtime
// holds nothing it will free later.
CTreeAllocator* InstallTreeAllocator(CTreeAllocator* allocator);
CTreeAllocator* GetInstalledTreeAllocator();

// The process-wide byte counter: raised by every tracked allocation and
// lowered by every tracked release (32-bit, wrapping).
std::uint32_t GetTrackedBytes();
void RaiseTrackedBytes(std::size_t bytes);
void LowerTrackedBytes(std::size_t bytes);

// The installed allocator's Alloc(size, 16) or malloc(size); throws
// BadAllocation on a null result; raises the counter by `size` on success.
// `tag` names the call site for the reader of the code; the layer ignores it.
void* TrackedAlloc(std::size_t size, const char* tag);
// Nothing for null; else the installed allocator's Free or free. The counter
// is not touched: callers lower it by the size they took.
void TrackedFree(void* block);

// Class-level allocation (a class's own operator new/delete): the same hook
// and alignment, BadAllocation on failure, but the counter is left alone.
void* UntrackedAlloc(std::size_t size);
void UntrackedFree(void* block);

// A new T constructed from `args` in a tracked block of sizeof(T) bytes. A
// constructor that throws gives the block back (counter restored).
template <typename T, typename... Args>
T* TrackedNew(const char* tag, Args&&... args) {
  static_assert(alignof(T) <= kTreeAllocAlignment, "over-aligned type");
  void* block = TrackedAlloc(sizeof(T), tag);
  try {
    return ::new (block) T(std::forward<Args>(args)...);
  } catch (...) {
    TrackedFree(block);
    LowerTrackedBytes(sizeof(T));
    throw;
  }
}

// Destroys the object, frees its block, lowers the counter by sizeof(T) and
// nulls the pointer; nothing for null. T must be the object's own class.
template <typename T>
void TrackedDelete(T*& object) {
  if (object == nullptr) return;
  T* doomed = std::exchange(object, nullptr);
  doomed->~T();
  TrackedFree(doomed);
  LowerTrackedBytes(sizeof(T));
}

namespace detail {
// Bytes ahead of the elements of a counted array: the 32-bit count word,
// padded in front so that the elements keep their alignment. For elements
// aligned to 4 bytes or less this is exactly the 4-byte count word.
template <typename T>
constexpr std::size_t CountedHeader() {
  return alignof(T) > 4 ? alignof(T) : 4;
}

// Header plus n elements, or BadAllocation when that does not fit in size_t.
template <typename T>
std::size_t CountedBlockSize(std::size_t count) {
  constexpr std::size_t header = CountedHeader<T>();
  if (count > (std::numeric_limits<std::size_t>::max() - header) / sizeof(T) ||
      count > std::numeric_limits<std::uint32_t>::max()) {
    throw BadAllocation();
  }
  return header + count * sizeof(T);
}
}  // namespace detail

// The element count of a counted array (0 for null).
template <typename T>
std::uint32_t TrackedArrayCount(const T* elements) {
  if (elements == nullptr) return 0;
  std::uint32_t count = 0;
  const unsigned char* word = reinterpret_cast<const unsigned char*>(elements) - 4;
  std::memcpy(&count, word, sizeof(count));
  return count;
}

// A counted array of `count` value-initialised elements: one tracked block
// of header + count * sizeof(T) bytes (header = 4 for elements aligned to 4
// bytes or less) whose word just ahead of the elements holds the count.
// Returns the address of the first element; the counter rises by the block
// size. A throwing element constructor destroys what was built and frees the
// block.
template <typename T>
T* TrackedNewArray(std::size_t count, const char* tag) {
  static_assert(alignof(T) <= kTreeAllocAlignment, "over-aligned type");
  const std::size_t bytes = detail::CountedBlockSize<T>(count);
  unsigned char* block = static_cast<unsigned char*>(TrackedAlloc(bytes, tag));
  unsigned char* first = block + detail::CountedHeader<T>();
  const std::uint32_t word = static_cast<std::uint32_t>(count);
  std::memcpy(first - 4, &word, sizeof(word));
  T* elements = reinterpret_cast<T*>(first);
  std::size_t built = 0;
  try {
    for (; built < count; ++built) ::new (static_cast<void*>(elements + built)) T();
  } catch (...) {
    while (built > 0) elements[--built].~T();
    TrackedFree(block);
    LowerTrackedBytes(bytes);
    throw;
  }
  return elements;
}

// Destroys the elements, lowers the counter by the block size (the count is
// read from the count word), frees the block and nulls the pointer; nothing
// for null.
template <typename T>
void TrackedDeleteArray(T*& elements) {
  if (elements == nullptr) return;
  T* doomed = std::exchange(elements, nullptr);
  const std::uint32_t count = TrackedArrayCount(doomed);
  if constexpr (!std::is_trivially_destructible_v<T>) {
    for (std::uint32_t i = count; i > 0; --i) doomed[i - 1].~T();
  }
  unsigned char* block = reinterpret_cast<unsigned char*>(doomed) - detail::CountedHeader<T>();
  LowerTrackedBytes(detail::CountedHeader<T>() + static_cast<std::size_t>(count) * sizeof(T));
  TrackedFree(block);
}

// Storage of the runtime's growable vectors: allocation as TrackedAlloc of
// count * sizeof(T) bytes, release with the counter lowered by the capacity
// in bytes.
template <typename T>
class TrackedAllocator {
 public:
  using value_type = T;

  TrackedAllocator() noexcept = default;
  template <typename U>
  TrackedAllocator(const TrackedAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    static_assert(alignof(T) <= kTreeAllocAlignment, "over-aligned type");
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw BadAllocation();
    return static_cast<T*>(TrackedAlloc(count * sizeof(T), "TrackedAllocator::allocate"));
  }
  void deallocate(T* block, std::size_t count) noexcept {
    TrackedFree(block);
    LowerTrackedBytes(count * sizeof(T));
  }

  template <typename U>
  bool operator==(const TrackedAllocator<U>&) const noexcept {
    return true;
  }
};

// The runtime's growable vector.
template <typename T>
using TreeVector = std::vector<T, TrackedAllocator<T>>;

// Empties the vector and gives its storage back (clear keeps it).
template <typename T>
void FreeVector(TreeVector<T>& vector) {
  TreeVector<T>().swap(vector);
}

}  // namespace trt
