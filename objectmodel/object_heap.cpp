#include "objectmodel/object_heap.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

namespace KT::ObjectHeap {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUseGlobalHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUseGlobalHeap = true;
#else
constexpr bool kUseGlobalHeap = false;
#endif
#else
constexpr bool kUseGlobalHeap = false;
#endif

constexpr std::size_t kGranule = 16;
constexpr std::size_t kClassCount = kLargestBlock / kGranule;
// Blocks of one size are carved from chunks of this size; the chunk's
// size class is kept in a table, so a block is released without its size.
constexpr std::size_t kChunkShift = 16;
constexpr std::size_t kChunkSize = std::size_t{1} << kChunkShift;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

constexpr std::size_t ClassOf(std::size_t size) { return size == 0 ? 0 : (size - 1) / kGranule; }
constexpr std::size_t BlockSize(std::size_t sizeClass) { return (sizeClass + 1) * kGranule; }

struct FreeBlock {
  FreeBlock* next;
};

// The blocks of `size` bytes that fit in [begin, end), linked in address
// order in front of `list`; answers the new head.
FreeBlock* CarveBlocks(unsigned char* begin, const unsigned char* end, std::size_t size, FreeBlock* list) {
  if (begin == nullptr || end - begin < static_cast<std::ptrdiff_t>(size)) return list;
  const std::size_t count = static_cast<std::size_t>(end - begin) / size;
  for (std::size_t i = count; i-- > 0;) {
    auto* block = reinterpret_cast<FreeBlock*>(begin + i * size);
    block->next = list;
    list = block;
  }
  return list;
}

FreeBlock* LastOf(FreeBlock* list) {
  while (list->next != nullptr) list = list->next;
  return list;
}

// The reserved range and what no thread owns: the chunks not handed out
// yet and the blocks of threads that have ended.
class Shared {
 public:
  // Reserves the range on first use; never destroyed, so that objects
  // released during the process's exit still find it.
  static Shared& Get() {
    static Shared* const shared = new Shared();
    return *shared;
  }

  bool Holds(const void* block) const {
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    return address >= begin_.load(std::memory_order_acquire) && address < end_.load(std::memory_order_acquire);
  }

  bool Reserved() const { return end_.load(std::memory_order_acquire) != 0; }

  std::size_t ClassOfBlock(const void* block) const {
    const auto offset = reinterpret_cast<std::uintptr_t>(block) - begin_.load(std::memory_order_relaxed);
    return chunkClass_[offset >> kChunkShift];
  }

  // A fresh chunk for blocks of `sizeClass`, or null when the range is
  // missing or used up.
  unsigned char* NewChunk(std::size_t sizeClass) {
    std::lock_guard<std::mutex> lock(mutex_);
    return NewChunkLocked(sizeClass);
  }

  // Blocks of `sizeClass` that ended threads left, as one list, or null.
  FreeBlock* TakeOrphans(std::size_t sizeClass) {
    if (orphanLists_.load(std::memory_order_relaxed) == 0) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    FreeBlock* list = orphans_[sizeClass];
    if (list != nullptr) {
      orphans_[sizeClass] = nullptr;
      orphanLists_.fetch_sub(1, std::memory_order_relaxed);
    }
    return list;
  }

  void AddOrphans(std::size_t sizeClass, FreeBlock* first, FreeBlock* last) {
    std::lock_guard<std::mutex> lock(mutex_);
    AddOrphansLocked(sizeClass, first, last);
  }

  // One block for a thread whose own lists are gone (its thread-local
  // destructors have run).
  void* AllocateShared(std::size_t sizeClass) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (FreeBlock* block = orphans_[sizeClass]) {
      orphans_[sizeClass] = block->next;
      if (block->next == nullptr) orphanLists_.fetch_sub(1, std::memory_order_relaxed);
      return block;
    }
    unsigned char* chunk = NewChunkLocked(sizeClass);
    if (chunk == nullptr) return nullptr;
    // The rest of the chunk becomes orphans for whoever asks next.
    const std::size_t size = BlockSize(sizeClass);
    if (FreeBlock* rest = CarveBlocks(chunk + size, chunk + kChunkSize, size, nullptr)) {
      AddOrphansLocked(sizeClass, rest, LastOf(rest));
    }
    return chunk;
  }

 private:
  Shared() {
    // Address space only: pages are given on first touch, and huge pages
    // where the system allows, so a burst of objects costs few faults.
    for (const std::size_t size : {std::size_t{64} << 30, std::size_t{4} << 30, std::size_t{256} << 20}) {
      void* table = mmap(nullptr, size >> kChunkShift, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      if (table == MAP_FAILED) continue;
      void* range = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      if (range == MAP_FAILED) {
        munmap(table, size >> kChunkShift);
        continue;
      }
      const auto raw = reinterpret_cast<std::uintptr_t>(range);
      const std::uintptr_t aligned = (raw + kHugePage - 1) & ~(kHugePage - 1);
#ifdef MADV_HUGEPAGE
      madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
      chunkClass_ = static_cast<unsigned char*>(table);
      next_ = reinterpret_cast<unsigned char*>(aligned);
      limit_ = next_ + size;
      end_.store(aligned + size, std::memory_order_release);
      begin_.store(aligned, std::memory_order_release);
      return;
    }
  }

  unsigned char* NewChunkLocked(std::size_t sizeClass) {
    if (next_ == nullptr || limit_ - next_ < static_cast<std::ptrdiff_t>(kChunkSize)) return nullptr;
    unsigned char* chunk = next_;
    next_ += kChunkSize;
    chunkClass_[static_cast<std::size_t>(chunk - reinterpret_cast<unsigned char*>(begin_.load(std::memory_order_relaxed))) >>
                kChunkShift] = static_cast<unsigned char>(sizeClass);
    return chunk;
  }

  void AddOrphansLocked(std::size_t sizeClass, FreeBlock* first, FreeBlock* last) {
    if (orphans_[sizeClass] == nullptr) orphanLists_.fetch_add(1, std::memory_order_relaxed);
    last->next = orphans_[sizeClass];
    orphans_[sizeClass] = first;
  }

  std::atomic<std::uintptr_t> begin_{0};
  std::atomic<std::uintptr_t> end_{0};
  std::mutex mutex_;
  unsigned char* next_ = nullptr;
  unsigned char* limit_ = nullptr;
  unsigned char* chunkClass_ = nullptr;
  FreeBlock* orphans_[kClassCount] = {};
  std::atomic<std::size_t> orphanLists_{0};  // classes with orphans
};

// Each thread's own free lists and the chunk it carves per size class.
// Plain data, so that it stays usable while the thread's other thread-local
// objects are destroyed.
struct Cache {
  FreeBlock* free[kClassCount];
  unsigned char* bump[kClassCount];
  unsigned char* end[kClassCount];
  unsigned long long handedOut;
  bool started;
  bool ended;
};
constinit thread_local Cache tCache{};

// Hands the thread's blocks to the shared lists when the thread ends.
struct CacheOwner {
  bool armed = false;
  ~CacheOwner() {
    Cache& cache = tCache;
    Shared& shared = Shared::Get();
    for (std::size_t c = 0; c < kClassCount; ++c) {
      // The uncarved rest of the chunk joins the free list first.
      FreeBlock* const list = CarveBlocks(cache.bump[c], cache.end[c], BlockSize(c), cache.free[c]);
      cache.bump[c] = cache.end[c] = nullptr;
      cache.free[c] = nullptr;
      if (list != nullptr) shared.AddOrphans(c, list, LastOf(list));
    }
    cache.ended = true;
  }
};
thread_local CacheOwner tCacheOwner;

Cache& ThreadCache() {
  Cache& cache = tCache;
  if (!cache.started) {
    cache.started = true;
    tCacheOwner.armed = true;  // constructs the owner, so that it runs at thread exit
  }
  return cache;
}

void* AllocateBlock(std::size_t size) noexcept {
  const std::size_t sizeClass = ClassOf(size);
  Cache& cache = ThreadCache();
  ++cache.handedOut;
  Shared& shared = Shared::Get();
  if (cache.ended) return shared.AllocateShared(sizeClass);
  if (FreeBlock* block = cache.free[sizeClass]) {
    cache.free[sizeClass] = block->next;
    return block;
  }
  const std::size_t blockSize = BlockSize(sizeClass);
  unsigned char* at = cache.bump[sizeClass];
  if (at == nullptr || at + blockSize > cache.end[sizeClass]) {
    if (FreeBlock* list = shared.TakeOrphans(sizeClass)) {
      cache.free[sizeClass] = list->next;
      return list;
    }
    at = shared.NewChunk(sizeClass);
    if (at == nullptr) return nullptr;
    cache.end[sizeClass] = at + kChunkSize;
  }
  cache.bump[sizeClass] = at + blockSize;
  return at;
}

}  // namespace

void* Allocate(std::size_t size) {
  if (!kUseGlobalHeap && size <= kLargestBlock) {
    if (void* block = AllocateBlock(size)) return block;
  }
  return ::operator new(size);
}

void* TryAllocate(std::size_t size) noexcept {
  if (!kUseGlobalHeap && size <= kLargestBlock) {
    if (void* block = AllocateBlock(size)) return block;
  }
  return ::operator new(size, std::nothrow);
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  if (kUseGlobalHeap) {
    ::operator delete(block);
    return;
  }
  Shared& shared = Shared::Get();
  if (!shared.Holds(block)) {
    ::operator delete(block);
    return;
  }
  const std::size_t sizeClass = shared.ClassOfBlock(block);
  auto* freed = static_cast<FreeBlock*>(block);
  Cache& cache = ThreadCache();
  if (cache.ended) {
    freed->next = nullptr;
    shared.AddOrphans(sizeClass, freed, freed);
    return;
  }
  freed->next = cache.free[sizeClass];
  cache.free[sizeClass] = freed;
}

bool UsesOwnRange() noexcept {
  if (kUseGlobalHeap) return false;
  return Shared::Get().Reserved();
}

unsigned long long ThreadBlockCount() noexcept { return tCache.handedOut; }

bool Holds(const void* block) noexcept { return !kUseGlobalHeap && block != nullptr && Shared::Get().Holds(block); }

}  // namespace KT::ObjectHeap
