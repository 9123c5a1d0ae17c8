// Counted heap arrays: Create, copies, the spare word, allocation failures
// and buffers of counted pointers.
#include "objectmodel/buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "objectmodel/vector.h"
#include "platform/unique_id.h"
#include "test_objects.h"

namespace KT {
namespace {

using test::CCountedRaw;

// An element whose nothrow array allocation can be made to fail.
struct Fragile {
  u32 value = 0;

  static inline bool failAllocation = false;

  static void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return failAllocation ? nullptr : ::operator new[](size, tag);
  }
  static void operator delete[](void* p) noexcept { ::operator delete[](p); }

  friend bool operator==(const Fragile& a, const Fragile& b) { return a.value == b.value; }
};

// Fails the nothrow allocations of Fragile while alive.
struct FailAllocations {
  FailAllocations() { Fragile::failAllocation = true; }
  ~FailAllocations() { Fragile::failAllocation = false; }
};

// --- the same rules for every element size ---------------------------------------

template <typename T>
class BufferElements : public ::testing::Test {};

using ElementTypes = ::testing::Types<char, u32, f32, u64, CVector3<float>>;
TYPED_TEST_SUITE(BufferElements, ElementTypes);

// A non-zero element for index i.
template <typename T>
T Element(int i) {
  if constexpr (std::is_same_v<T, CVector3<float>>) {
    return T(static_cast<float>(i + 1), 2.0f, 3.0f);
  } else {
    return static_cast<T>(i + 1);
  }
}

TYPED_TEST(BufferElements, CreateCopiesOrZeroFills) {
  using T = TypeParam;
  const T source[4] = {Element<T>(0), Element<T>(1), Element<T>(2), Element<T>(3)};
  CBuffer<T> buffer;
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_EQ(buffer.GetData(), nullptr);

  ASSERT_EQ(buffer.Create(4, source), kOk);
  ASSERT_EQ(buffer.GetCount(), 4u);
  for (u32 i = 0; i < 4; ++i) EXPECT_TRUE(buffer[i] == source[i]) << i;

  ASSERT_EQ(buffer.Create(3), kOk);
  ASSERT_EQ(buffer.GetCount(), 3u);
  for (u32 i = 0; i < 3; ++i) EXPECT_TRUE(buffer[i] == T()) << i;
}

TYPED_TEST(BufferElements, CountZeroIsRefusedAndKeepsTheContents) {
  using T = TypeParam;
  const T source[2] = {Element<T>(0), Element<T>(1)};
  CBuffer<T> buffer;
  ASSERT_EQ(buffer.Create(2, source), kOk);
  const T* data = buffer.GetData();
  EXPECT_EQ(buffer.Create(0, source), kErrInvalidArg);
  EXPECT_EQ(buffer.GetCount(), 2u);
  EXPECT_EQ(buffer.GetData(), data);
  EXPECT_TRUE(buffer[1] == source[1]);
}

TYPED_TEST(BufferElements, CopyHasItsOwnElementsAndAZeroSpareWord) {
  using T = TypeParam;
  const T source[3] = {Element<T>(0), Element<T>(1), Element<T>(2)};
  CBuffer<T> buffer;
  ASSERT_EQ(buffer.Create(3, source), kOk);
  buffer.SetExtra(77);

  CBuffer<T> copy(buffer);
  EXPECT_TRUE(copy == buffer);
  EXPECT_NE(copy.GetData(), buffer.GetData());
  EXPECT_EQ(copy.GetExtra(), 0u);
  EXPECT_EQ(buffer.GetExtra(), 77u);

  CBuffer<T> assigned;
  assigned.SetExtra(5);
  assigned = buffer;
  EXPECT_TRUE(assigned == buffer);
  EXPECT_EQ(assigned.GetExtra(), 0u);
}

// --- single cases -------------------------------------------------------------

TEST(Buffer, CopyOfAnEmptyBufferIsEmpty) {
  CBuffer<u32> empty;
  empty.SetExtra(3);
  CBuffer<u32> copy(empty);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.GetData(), nullptr);
  EXPECT_EQ(copy.GetExtra(), 0u);
  EXPECT_TRUE(copy == empty);
}

TEST(Buffer, ByteSizeBeyond32BitsIsAFailedAllocation) {
  CBuffer<u64> buffer;
  ASSERT_EQ(buffer.Create(2), kOk);
  buffer.SetExtra(9);
  // 0x20000000 * 8 bytes is 2^32: one byte too many.
  EXPECT_EQ(buffer.Create(0x20000000u), kErrOutOfMemory);
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_EQ(buffer.GetData(), nullptr);
  EXPECT_EQ(buffer.GetExtra(), 9u);
  // The buffer is usable afterwards.
  EXPECT_EQ(buffer.Create(1), kOk);
}

TEST(Buffer, FailedAllocationLeavesTheBufferEmpty) {
  const Fragile source[2] = {{1}, {2}};
  CBuffer<Fragile> buffer;
  ASSERT_EQ(buffer.Create(2, source), kOk);
  {
    FailAllocations fail;
    EXPECT_EQ(buffer.Create(2, source), kErrOutOfMemory);
  }
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_EQ(buffer.GetData(), nullptr);
}

TEST(Buffer, CopyWhoseAllocationFailsIsEmpty) {
  const Fragile source[2] = {{1}, {2}};
  CBuffer<Fragile> buffer;
  ASSERT_EQ(buffer.Create(2, source), kOk);
  FailAllocations fail;
  CBuffer<Fragile> copy(buffer);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.GetData(), nullptr);
  EXPECT_EQ(buffer.GetCount(), 2u);
}

TEST(Buffer, CreateFromItsOwnElements) {
  const u32 source[4] = {10, 20, 30, 40};
  CBuffer<u32> buffer;
  ASSERT_EQ(buffer.Create(4, source), kOk);
  // Keep the first two elements: the source is the buffer itself.
  ASSERT_EQ(buffer.Create(2, buffer.GetData()), kOk);
  ASSERT_EQ(buffer.GetCount(), 2u);
  EXPECT_EQ(buffer[0], 10u);
  EXPECT_EQ(buffer[1], 20u);
}

TEST(Buffer, MoveTakesTheElements) {
  const u32 source[2] = {1, 2};
  CBuffer<u32> buffer;
  ASSERT_EQ(buffer.Create(2, source), kOk);
  buffer.SetExtra(4);
  const u32* data = buffer.GetData();
  CBuffer<u32> moved(std::move(buffer));
  EXPECT_EQ(moved.GetData(), data);
  EXPECT_EQ(moved.GetExtra(), 4u);
  EXPECT_TRUE(buffer.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from buffer is empty
  CBuffer<u32> target;
  ASSERT_EQ(target.Create(1), kOk);
  target = std::move(moved);
  EXPECT_EQ(target.GetData(), data);
  EXPECT_EQ(target.GetCount(), 2u);
}

TEST(Buffer, EqualityComparesCountAndElements) {
  const u32 a[3] = {1, 2, 3};
  const u32 b[3] = {1, 2, 4};
  CBuffer<u32> x;
  CBuffer<u32> y;
  ASSERT_EQ(x.Create(3, a), kOk);
  ASSERT_EQ(y.Create(3, a), kOk);
  y.SetExtra(1);  // the spare word takes no part
  EXPECT_TRUE(x == y);
  ASSERT_EQ(y.Create(3, b), kOk);
  EXPECT_FALSE(x == y);
  ASSERT_EQ(y.Create(2, a), kOk);
  EXPECT_FALSE(x == y);
}

// --- buffers of counted pointers ----------------------------------------------------

class PointerBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    CCountedRaw::destroyed = 0;
    live_ = CountLiveUniqueIDs();
    for (auto& object : objects_) object = new CCountedRaw();
  }
  std::uint64_t Alive() const { return CountLiveUniqueIDs() - live_; }
  void ExpectReferences(u32 count) {
    for (const auto& object : objects_) EXPECT_EQ(object->GetReferences(), count);
  }

  CPointer<CCountedRaw> objects_[3];

 private:
  std::uint64_t live_ = 0;
};

TEST_F(PointerBuffer, CreateTakesACountPerElement) {
  {
    CBuffer<CPointer<CCountedRaw>> buffer;
    ASSERT_EQ(buffer.Create(3, objects_), kOk);
    ExpectReferences(2);
    EXPECT_EQ(buffer[1], objects_[1].Get());
    // Replacing the contents releases the old elements once.
    ASSERT_EQ(buffer.Create(2), kOk);
    ExpectReferences(1);
    EXPECT_FALSE(buffer[0]);
    ASSERT_EQ(buffer.Create(3, objects_), kOk);
  }
  ExpectReferences(1);
  EXPECT_EQ(CCountedRaw::destroyed, 0);
}

TEST_F(PointerBuffer, CopiesTakeACountPerElementAndReleaseOnce) {
  {
    CBuffer<CPointer<CCountedRaw>> buffer;
    ASSERT_EQ(buffer.Create(3, objects_), kOk);
    CBuffer<CPointer<CCountedRaw>> copy(buffer);
    ExpectReferences(3);
    CBuffer<CPointer<CCountedRaw>> assigned;
    assigned = copy;
    ExpectReferences(4);
    CBuffer<CPointer<CCountedRaw>> moved(std::move(copy));
    ExpectReferences(4);
  }
  ExpectReferences(1);
  EXPECT_EQ(CCountedRaw::destroyed, 0);
  for (auto& object : objects_) object.Release();
  EXPECT_EQ(CCountedRaw::destroyed, 3);
  EXPECT_EQ(Alive(), 0u);
}

TEST_F(PointerBuffer, LastHolderIsTheBuffer) {
  CBuffer<CPointer<CCountedRaw>> buffer;
  ASSERT_EQ(buffer.Create(3, objects_), kOk);
  for (auto& object : objects_) object.Release();
  EXPECT_EQ(CCountedRaw::destroyed, 0);
  {
    CBuffer<CPointer<CCountedRaw>> copy(buffer);
  }
  EXPECT_EQ(CCountedRaw::destroyed, 0);
  buffer.Free();
  EXPECT_EQ(CCountedRaw::destroyed, 3);
  EXPECT_EQ(Alive(), 0u);
}

TEST_F(PointerBuffer, CreateFromItsOwnElementsKeepsThemAlive) {
  CBuffer<CPointer<CCountedRaw>> buffer;
  ASSERT_EQ(buffer.Create(3, objects_), kOk);
  for (auto& object : objects_) object.Release();
  CCountedRaw* first = buffer[0].Get();
  ASSERT_EQ(buffer.Create(1, buffer.GetData()), kOk);
  EXPECT_EQ(buffer[0], first);
  EXPECT_EQ(first->GetReferences(), 1u);
  EXPECT_EQ(CCountedRaw::destroyed, 2);
}

TEST(BufferCopyFrom, CopiesOrEmptiesAndKeepsTheExtraWord) {
  const u32 values[] = {4, 5, 6};
  CBuffer<u32> source;
  ASSERT_EQ(source.Create(3, values), kOk);
  CBuffer<u32> target;
  ASSERT_EQ(target.Create(1), kOk);
  target.SetExtra(7);
  ASSERT_EQ(target.CopyFrom(source), kOk);
  EXPECT_TRUE(target.SameBytes(source));
  EXPECT_EQ(target.GetByteSize(), 12u);
  EXPECT_EQ(target.GetExtra(), 7u);
  EXPECT_EQ(target.CopyFrom(target), kOk);
  EXPECT_TRUE(target.SameBytes(source));
  ASSERT_EQ(target.CopyFrom(CBuffer<u32>()), kOk);
  EXPECT_TRUE(target.IsEmpty());
  EXPECT_FALSE(target.SameBytes(source));
  EXPECT_TRUE(target.SameBytes(CBuffer<u32>()));
}

}  // namespace
}  // namespace KT
