// The object heap: blocks of every size, reuse of released blocks, objects
// living in it, and blocks crossing threads or outliving a thread's lists.
#include "objectmodel/object_heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "objectmodel/raw_data.h"

namespace KT {
namespace {

bool Small(std::size_t size) { return size <= ObjectHeap::kLargestBlock; }

TEST(ObjectHeap, BlocksOfEverySizeAreAlignedWritableAndDisjoint) {
  const std::size_t sizes[] = {0, 1, 15, 16, 17, 100, 500, 1023, 1024, 1025, 4096};
  struct Held {
    unsigned char* block;
    std::size_t size;
    unsigned char fill;
  };
  std::vector<Held> held;
  unsigned char fill = 1;
  for (const std::size_t size : sizes) {
    for (int copy = 0; copy < 3; ++copy, ++fill) {
      auto* block = static_cast<unsigned char*>(ObjectHeap::Allocate(size));
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u) << size;
      EXPECT_EQ(ObjectHeap::Holds(block), ObjectHeap::UsesOwnRange() && Small(size)) << size;
      std::memset(block, fill, size);
      held.push_back({block, size, fill});
    }
  }
  // Writing each block whole left every other block as it was.
  for (const Held& h : held) {
    EXPECT_TRUE(std::all_of(h.block, h.block + h.size, [&](unsigned char b) { return b == h.fill; })) << h.size;
  }
  for (const Held& h : held) ObjectHeap::Release(h.block);
  ObjectHeap::Release(nullptr);
}

TEST(ObjectHeap, AReleasedBlockIsReusedByTheNextBlockOfItsSize) {
  void* first = ObjectHeap::Allocate(100);
  ObjectHeap::Release(first);
  void* other = ObjectHeap::Allocate(300);
  void* again = ObjectHeap::Allocate(100);
  if (ObjectHeap::UsesOwnRange()) {
    EXPECT_EQ(again, first);
    EXPECT_NE(other, first);
  } else {
    EXPECT_FALSE(ObjectHeap::Holds(again));
  }
  ObjectHeap::Release(again);
  ObjectHeap::Release(other);
}

TEST(ObjectHeap, ObjectsLiveInTheHeapAndBlocksOfTheGlobalHeapGoBackToIt) {
  const CPointer<CRawData> object(new CRawData());
  EXPECT_EQ(ObjectHeap::Holds(object.Get()), ObjectHeap::UsesOwnRange());
  // A block the global heap made is handed back to the global heap.
  void* global = ::operator new(64);
  EXPECT_FALSE(ObjectHeap::Holds(global));
  ObjectHeap::Release(global);
}

TEST(ObjectHeap, BlocksReleasedByAnEndedThreadAreHandedOutAgain) {
  constexpr int kCount = 1000;
  std::vector<void*> blocks;
  for (int i = 0; i < kCount; ++i) blocks.push_back(ObjectHeap::Allocate(48));
  const std::set<void*> released(blocks.begin(), blocks.end());
  // Another thread releases them and ends: they leave with its lists.
  std::thread([&] {
    for (void* block : blocks) ObjectHeap::Release(block);
  }).join();
  // A thread with no blocks of its own is served from them.
  void* reused = nullptr;
  std::thread([&] { reused = ObjectHeap::Allocate(48); }).join();
  ASSERT_NE(reused, nullptr);
  EXPECT_EQ(released.count(reused) != 0, ObjectHeap::UsesOwnRange());
  ObjectHeap::Release(reused);
}

// Records what a thread-local destructor that runs after the thread's
// lists were handed back could still do.
std::atomic<bool> lateReleaseDone{false};
std::atomic<bool> lateBlockHeld{false};

struct LateUser {
  void* block = nullptr;
  ~LateUser() {
    ObjectHeap::Release(block);
    void* late = ObjectHeap::Allocate(80);
    std::memset(late, 7, 80);
    lateBlockHeld = ObjectHeap::Holds(late);
    ObjectHeap::Release(late);
    lateReleaseDone = true;
  }
};

TEST(ObjectHeap, ThreadLocalDestructorsRunningLastMayStillAllocateAndRelease) {
  std::thread([] {
    // Constructed before the heap's own thread-local state, so destroyed
    // after it.
    thread_local LateUser user;
    user.block = ObjectHeap::Allocate(80);
  }).join();
  EXPECT_TRUE(lateReleaseDone);
  EXPECT_EQ(lateBlockHeld.load(), ObjectHeap::UsesOwnRange());
}

TEST(ObjectHeap, ThreadsAllocatingAndReleasingEachOthersBlocksKeepEveryBlockIntact) {
  constexpr int kThreads = 4;
  constexpr int kSteps = 20000;
  std::mutex exchangeLock;
  std::vector<std::pair<unsigned char*, std::size_t>> exchange;
  std::atomic<int> damaged{0};
  auto intact = [](unsigned char* block, std::size_t size) {
    const auto tag = static_cast<unsigned char>(size);
    return std::all_of(block, block + size, [&](unsigned char b) { return b == tag; });
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t) + 1);
      std::vector<std::pair<unsigned char*, std::size_t>> mine;
      for (int step = 0; step < kSteps; ++step) {
        const unsigned action = random() % 4;
        if (action < 2 || mine.empty()) {
          const std::size_t size = 1 + random() % 1100;
          auto* block = static_cast<unsigned char*>(ObjectHeap::Allocate(size));
          std::memset(block, static_cast<unsigned char>(size), size);
          mine.emplace_back(block, size);
        } else if (action == 2) {
          // Hand a block to whichever thread takes it next.
          std::lock_guard<std::mutex> lock(exchangeLock);
          exchange.push_back(mine.back());
          mine.pop_back();
          if (exchange.size() > 8) {
            mine.push_back(exchange.front());
            exchange.erase(exchange.begin());
          }
        } else {
          const auto [block, size] = mine.back();
          mine.pop_back();
          if (!intact(block, size)) ++damaged;
          ObjectHeap::Release(block);
        }
      }
      for (const auto& [block, size] : mine) {
        if (!intact(block, size)) ++damaged;
        ObjectHeap::Release(block);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& [block, size] : exchange) {
    if (!intact(block, size)) ++damaged;
    ObjectHeap::Release(block);
  }
  EXPECT_EQ(damaged.load(), 0);
}

}  // namespace
}  // namespace KT
