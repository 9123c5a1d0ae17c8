#include "treeruntime/tree_memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

// Refuses every request.
class FailingAllocator : public CTreeAllocator {
 public:
  void* Alloc(std::size_t, std::size_t) override { return nullptr; }
  void Free(void*) override {}
};

// Passes requests to aligned_alloc and records what it was asked.
class RecordingAllocator : public CTreeAllocator {
 public:
  void* Alloc(std::size_t size, std::size_t alignment) override {
    ++allocs;
    lastAlignment = alignment;
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment + alignment);
  }
  void Free(void* block) override {
    ++frees;
    std::free(block);
  }
  int allocs = 0;
  int frees = 0;
  std::size_t lastAlignment = 0;
};

using test::InstalledAllocator;

struct Matrix64 {
  float m[16];
};

TEST(TreeMemory, FailingAllocatorThrowsBadAllocation) {
  FailingAllocator failing;
  InstalledAllocator scope(&failing);
  const std::uint32_t before = GetTrackedBytes();
  try {
    TrackedAlloc(16, "test");
    FAIL() << "no exception";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  EXPECT_THROW(TrackedNewArray<std::uint8_t>(3, "test"), BadAllocation);
  EXPECT_THROW(TrackedNew<int>("test", 5), BadAllocation);
  EXPECT_THROW(UntrackedAlloc(8), BadAllocation);
  TreeVector<int> vector;
  EXPECT_THROW(vector.push_back(1), BadAllocation);
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(TreeMemory, InstalledAllocatorIsAskedForSixteenByteAlignment) {
  RecordingAllocator recording;
  InstalledAllocator scope(&recording);
  int* value = TrackedNew<int>("test", 7);
  EXPECT_EQ(recording.allocs, 1);
  EXPECT_EQ(recording.lastAlignment, 16u);
  EXPECT_EQ(*value, 7);
  TrackedDelete(value);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(recording.frees, 1);
  void* raw = UntrackedAlloc(10);
  UntrackedFree(raw);
  EXPECT_EQ(recording.allocs, 2);
  EXPECT_EQ(recording.frees, 2);
}

TEST(TreeMemory, CountedArraysCostTheirBlockSizeAndGiveItBack) {
  struct Case {
    std::size_t count;
    std::uint32_t bytes;
  };
  for (const Case c : {Case{0, 4}, Case{1, 5}, Case{100, 104}}) {
    const std::uint32_t before = GetTrackedBytes();
    std::uint8_t* array = TrackedNewArray<std::uint8_t>(c.count, "test");
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(GetTrackedBytes() - before, c.bytes) << c.count;
    EXPECT_EQ(TrackedArrayCount(array), c.count);
    std::uint32_t word = 0;
    std::memcpy(&word, array - 4, 4);
    EXPECT_EQ(word, c.count);
    TrackedDeleteArray(array);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(GetTrackedBytes(), before);
  }
  const std::uint32_t before = GetTrackedBytes();
  Matrix64* matrices = TrackedNewArray<Matrix64>(3, "test");
  EXPECT_EQ(GetTrackedBytes() - before, 4u + 64u * 3u);
  TrackedDeleteArray(matrices);
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(TreeMemory, CountedArrayElementsAreValueInitialisedAndAligned) {
  double* values = TrackedNewArray<double>(5, "test");
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values) % alignof(double), 0u);
  EXPECT_EQ(TrackedArrayCount(values), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(values[i], 0.0);
  TrackedDeleteArray(values);
  int** pointers = TrackedNewArray<int*>(2, "test");
  EXPECT_EQ(pointers[0], nullptr);
  TrackedDeleteArray(pointers);
}

TEST(TreeMemory, DeletingNullChangesNothing) {
  const std::uint32_t before = GetTrackedBytes();
  std::uint8_t* array = nullptr;
  TrackedDeleteArray(array);
  int* object = nullptr;
  TrackedDelete(object);
  TrackedFree(nullptr);
  EXPECT_EQ(GetTrackedBytes(), before);
  EXPECT_EQ(TrackedArrayCount(array), 0u);
}

TEST(TreeMemory, ObjectsAndVectorStorageAreCounted) {
  const std::uint32_t before = GetTrackedBytes();
  std::string* text = TrackedNew<std::string>("test", "abc");
  EXPECT_EQ(GetTrackedBytes() - before, sizeof(std::string));
  TrackedDelete(text);
  EXPECT_EQ(GetTrackedBytes(), before);
  {
    TreeVector<int> vector;
    vector.reserve(10);
    EXPECT_EQ(GetTrackedBytes() - before, 10 * sizeof(int));
    vector.resize(30);
    EXPECT_EQ(GetTrackedBytes() - before, vector.capacity() * sizeof(int));
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(TreeMemory, ThrowingConstructorGivesTheBlockBack) {
  struct Throws {
    Throws() { throw 1; }
  };
  const std::uint32_t before = GetTrackedBytes();
  EXPECT_THROW(TrackedNew<Throws>("test"), int);
  EXPECT_THROW(TrackedNewArray<Throws>(2, "test"), int);
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(TreeMemory, ArraySizesBeyondMemoryAreRefused) {
  const std::uint32_t before = GetTrackedBytes();
  EXPECT_THROW(TrackedNewArray<Matrix64>(std::size_t{1} << 62, "test"), BadAllocation);
  EXPECT_EQ(GetTrackedBytes(), before);
}

}  // namespace
}  // namespace trt
