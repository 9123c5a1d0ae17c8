#include "render/pixel_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace KT {
namespace {

// Fills every pixel byte (not the row padding) with a pattern that tells
// rows and columns apart.
void FillPattern(KTImage& buffer, u8 seed = 1) {
  const i32 rowBytes = buffer.Width * buffer.BytesPerPixel;
  for (i32 y = 0; y < buffer.Height; ++y) {
    for (i32 x = 0; x < rowBytes; ++x) {
      buffer.Pixels[y * buffer.Stride + x] = static_cast<u8>(seed + 7 * y + 3 * x);
    }
  }
}

bool SamePixels(const KTImage& a, const KTImage& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.Layout != b.Layout) return false;
  const size_t rowBytes = static_cast<size_t>(a.Width) * static_cast<size_t>(a.BytesPerPixel);
  for (i32 y = 0; y < a.Height; ++y) {
    if (std::memcmp(a.Pixels + y * a.Stride, b.Pixels + y * b.Stride, rowBytes) != 0) return false;
  }
  return true;
}

TEST(PixelLayoutTest, BytesPerPixelOfEveryCode) {
  const struct {
    u32 layout;
    i32 bytes;
  } cases[] = {{0, 4}, {1, 3}, {2, 2}, {3, 2}, {4, 2}, {5, 1}, {6, 12}, {7, 0}, {0xFFFFFFFFu, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(PixelBuffer::BytesPerPixel(c.layout), c.bytes) << "layout " << c.layout;
    EXPECT_EQ(PixelBuffer::IsValidLayout(c.layout), c.bytes != 0) << "layout " << c.layout;
  }
}

TEST(PixelBufferCreateTest, StrideFollowsLayoutAndAlignment) {
  const struct {
    u32 layout;
    i32 width;
    i32 height;
    u16 alignRows;
    i32 stride;
  } cases[] = {
      {PixelLayout::kBgr8, 5, 2, 1, 16},     // 15 bytes padded to 16
      {PixelLayout::kBgr8, 5, 2, 0, 15},
      {PixelLayout::kBgra8, 3, 3, 1, 12},    // already a multiple of 4
      {PixelLayout::kRgb565, 3, 1, 1, 8},
      {PixelLayout::kRgb565, 3, 1, 0, 6},
      {PixelLayout::kWord16A, 1, 1, 0, 2},
      {PixelLayout::kWord16B, 2, 5, 1, 4},
      {PixelLayout::kByte8, 7, 3, 1, 8},
      {PixelLayout::kByte8, 7, 3, 0, 7},
      {PixelLayout::kRgbFloat, 2, 2, 1, 24},
  };
  for (const auto& c : cases) {
    KTImage buffer;
    buffer.AlignRows = c.alignRows;
    ASSERT_EQ(PixelBuffer::Create(buffer, c.layout, c.width, c.height), kOk);
    EXPECT_EQ(buffer.Stride, c.stride) << "layout " << c.layout << " width " << c.width;
    EXPECT_EQ(buffer.BytesPerPixel, PixelBuffer::BytesPerPixel(c.layout));
    EXPECT_EQ(buffer.Width, c.width);
    EXPECT_EQ(buffer.Height, c.height);
    EXPECT_EQ(buffer.Layout, c.layout);
    EXPECT_EQ(buffer.Storage, PixelStorage::kHeap);
    ASSERT_TRUE(PixelBuffer::HasPixels(buffer));
    EXPECT_EQ(PixelBuffer::GetPixelBytes(buffer), static_cast<u32>(c.stride * c.height));
    // The block is zero-filled, and a 32-bit read at the last pixel stays
    // inside it (the address sanitizer would report otherwise).
    const u8* last = buffer.Pixels + (c.height - 1) * c.stride + (c.width - 1) * buffer.BytesPerPixel;
    u32 word = 1;
    std::memcpy(&word, last, sizeof(word));
    EXPECT_EQ(word, 0u);
    for (u32 i = 0; i < PixelBuffer::GetPixelBytes(buffer); ++i) ASSERT_EQ(buffer.Pixels[i], 0) << i;
  }
}

TEST(PixelBufferCreateTest, RefusesBadShapesAndLeavesTheBufferAlone) {
  const struct {
    u32 layout;
    i32 width;
    i32 height;
  } cases[] = {
      {7, 4, 4},
      {PixelLayout::kBgra8, 0, 4},
      {PixelLayout::kBgra8, 4, 0},
      {PixelLayout::kBgra8, -1, 4},
      {PixelLayout::kBgra8, 4, std::numeric_limits<i32>::min()},
      // Blocks beyond 2^31-1 bytes: the stride alone, or stride x height.
      {PixelLayout::kRgbFloat, std::numeric_limits<i32>::max(), 1},
      {PixelLayout::kBgra8, 0x10000, 0x10000},
  };
  for (const auto& c : cases) {
    KTImage buffer;
    ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 2, 2), kOk);
    FillPattern(buffer);
    u8* const before = buffer.Pixels;
    EXPECT_EQ(PixelBuffer::Create(buffer, c.layout, c.width, c.height), kErrInvalidArg)
        << "layout " << c.layout << " " << c.width << " x " << c.height;
    EXPECT_EQ(buffer.Pixels, before);
    EXPECT_EQ(buffer.Width, 2);
    EXPECT_EQ(buffer.Layout, PixelLayout::kBgr8);
    EXPECT_EQ(buffer.Pixels[0], 1);
  }
}

TEST(PixelBufferCreateTest, SameShapeAgainClearsThePixelsInPlace) {
  KTImage buffer;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 3, 2), kOk);
  FillPattern(buffer);
  u8* const block = buffer.Pixels;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 3, 2), kOk);
  EXPECT_EQ(buffer.Pixels, block);
  for (u32 i = 0; i < PixelBuffer::GetPixelBytes(buffer); ++i) EXPECT_EQ(buffer.Pixels[i], 0);
}

TEST(PixelBufferCreateTest, ChangedAlignmentGivesANewStride) {
  KTImage buffer;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 5, 2), kOk);
  EXPECT_EQ(buffer.Stride, 15);
  buffer.AlignRows = 1;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 5, 2), kOk);
  EXPECT_EQ(buffer.Stride, 16);
  // The whole padded block is usable.
  std::memset(buffer.Pixels, 0xAB, PixelBuffer::GetPixelBytes(buffer));
}

TEST(PixelBufferCreateTest, MappedStorageIsNotAvailable) {
  KTImage buffer;
  buffer.Storage = PixelStorage::kMapped;
  EXPECT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 2, 2), kErrInvalidArg);
  EXPECT_FALSE(PixelBuffer::HasPixels(buffer));
}

TEST(PixelBufferFreeTest, ClearsTheShapeAndKeepsResolutionAndAlignment) {
  KTImage buffer;
  buffer.AlignRows = 1;
  buffer.DpiX = 300;
  buffer.DpiY = 150;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kRgbFloat, 4, 4), kOk);
  PixelBuffer::Free(buffer);
  EXPECT_EQ(buffer.Pixels, nullptr);
  EXPECT_FALSE(PixelBuffer::HasPixels(buffer));
  EXPECT_EQ(buffer.Width, 0);
  EXPECT_EQ(buffer.Height, 0);
  EXPECT_EQ(buffer.BytesPerPixel, 0);
  EXPECT_EQ(buffer.Layout, 0u);
  EXPECT_EQ(buffer.Stride, 0);
  EXPECT_EQ(PixelBuffer::GetPixelBytes(buffer), 0u);
  EXPECT_EQ(buffer.AlignRows, 1);
  EXPECT_EQ(buffer.DpiX, 300);
  EXPECT_EQ(buffer.DpiY, 150);
  PixelBuffer::Free(buffer);  // a second Free is harmless
  // A freed buffer can be created again.
  EXPECT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 1, 1), kOk);
}

TEST(PixelBufferBorrowTest, ViewsCallerMemoryAndNeverFreesIt) {
  std::vector<u8> memory(3 * 10, 0x5A);  // 3 rows of 2 BGR pixels, 10 bytes apart
  {
    KTImage buffer;
    ASSERT_EQ(PixelBuffer::Borrow(buffer, memory.data(), PixelLayout::kBgr8, 2, 3, 10), kOk);
    EXPECT_EQ(buffer.Storage, PixelStorage::kBorrowed);
    EXPECT_EQ(buffer.Pixels, memory.data());
    EXPECT_EQ(buffer.Stride, 10);
    // Another shape cannot be made in borrowed memory.
    EXPECT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 3, 3), kErrInvalidArg);
    EXPECT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 2, 3), kErrInvalidArg);
    // The same shape clears the pixels of each row, not the gap after them.
    ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 2, 3), kOk);
    for (u32 y = 0; y < 3; ++y) {
      for (u32 x = 0; x < 10; ++x) EXPECT_EQ(memory[y * 10 + x], x < 6 ? 0 : 0x5A) << y << "," << x;
    }
    PixelBuffer::Free(buffer);
    EXPECT_EQ(buffer.Pixels, nullptr);
    EXPECT_EQ(buffer.Storage, PixelStorage::kBorrowed);
  }
  // Still ours, and still readable (the sanitizer would catch a free).
  EXPECT_EQ(memory[9], 0x5A);
}

TEST(PixelBufferBorrowTest, RefusesBadViews) {
  u8 memory[64] = {};
  const struct {
    u8* pixels;
    u32 layout;
    i32 width;
    i32 height;
    i32 stride;
  } cases[] = {
      {nullptr, PixelLayout::kBgr8, 2, 2, 6},
      {memory, 7, 2, 2, 8},
      {memory, PixelLayout::kBgr8, 0, 2, 6},
      {memory, PixelLayout::kBgr8, 2, 0, 6},
      {memory, PixelLayout::kBgr8, 2, 2, 5},   // shorter than a row
      {memory, PixelLayout::kBgr8, 2, 2, -6},
  };
  for (const auto& c : cases) {
    KTImage buffer;
    EXPECT_EQ(PixelBuffer::Borrow(buffer, c.pixels, c.layout, c.width, c.height, c.stride), kErrInvalidArg);
    EXPECT_EQ(buffer.Storage, PixelStorage::kHeap);
    EXPECT_EQ(buffer.Pixels, nullptr);
  }
}

TEST(PixelBufferCopyTest, SameBufferAndEmptySource) {
  KTImage buffer;
  KTImage empty;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 2, 2), kOk);
  EXPECT_EQ(PixelBuffer::Copy(buffer, buffer), kDone);
  EXPECT_EQ(PixelBuffer::Copy(buffer, empty), kErrInvalidArg);
  EXPECT_EQ(buffer.Width, 2);  // untouched
  // A library block id without a view cannot be read in this build.
  KTImage mapped;
  mapped.Storage = PixelStorage::kMapped;
  mapped.MmfId = KTImage::kFirstMmfId;
  EXPECT_TRUE(PixelBuffer::HasPixels(mapped));
  EXPECT_EQ(PixelBuffer::Copy(buffer, mapped), kErrInvalidArg);
}

TEST(PixelBufferCopyTest, RowsCopiedAcrossDifferentStrides) {
  const struct {
    u16 sourceAlign;
    u16 destinationAlign;
  } cases[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (const auto& c : cases) {
    KTImage source;
    source.AlignRows = c.sourceAlign;
    source.DpiX = 72;
    source.DpiY = 144;
    ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kBgr8, 5, 3), kOk);
    FillPattern(source);
    KTImage destination;
    destination.AlignRows = c.destinationAlign;
    ASSERT_EQ(PixelBuffer::Copy(destination, source), kOk);
    EXPECT_TRUE(SamePixels(destination, source));
    EXPECT_EQ(destination.AlignRows, c.destinationAlign);  // keeps its own
    EXPECT_EQ(destination.Stride, c.destinationAlign != 0 ? 16 : 15);
    EXPECT_EQ(destination.DpiX, 72);
    EXPECT_EQ(destination.DpiY, 144);
    EXPECT_NE(destination.Pixels, source.Pixels);
  }
}

TEST(PixelBufferCopyTest, ReplacesAnotherShape) {
  KTImage source;
  ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kRgbFloat, 2, 2), kOk);
  FillPattern(source, 9);
  KTImage destination;
  ASSERT_EQ(PixelBuffer::Create(destination, PixelLayout::kByte8, 40, 40), kOk);
  ASSERT_EQ(PixelBuffer::Copy(destination, source), kOk);
  EXPECT_EQ(destination.Layout, PixelLayout::kRgbFloat);
  EXPECT_EQ(destination.BytesPerPixel, 12);
  EXPECT_TRUE(SamePixels(destination, source));
}

TEST(PixelBufferCopyTest, BorrowedSourceGivesAnOwnedCopy) {
  std::vector<u8> memory(2 * 8);
  for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<u8>(i);
  KTImage source;
  ASSERT_EQ(PixelBuffer::Borrow(source, memory.data(), PixelLayout::kBgra8, 2, 2, 8), kOk);
  KTImage destination;
  ASSERT_EQ(PixelBuffer::Copy(destination, source), kOk);
  EXPECT_EQ(destination.Storage, PixelStorage::kHeap);
  EXPECT_NE(destination.Pixels, memory.data());
  EXPECT_TRUE(SamePixels(destination, source));
}

TEST(PixelBufferCopyTest, BorrowedDestinationTakesOnlyItsOwnShape) {
  std::vector<u8> memory(2 * 12, 0);
  KTImage destination;
  ASSERT_EQ(PixelBuffer::Borrow(destination, memory.data(), PixelLayout::kBgr8, 3, 2, 12), kOk);

  KTImage same;
  ASSERT_EQ(PixelBuffer::Create(same, PixelLayout::kBgr8, 3, 2), kOk);
  FillPattern(same);
  ASSERT_EQ(PixelBuffer::Copy(destination, same), kOk);
  EXPECT_EQ(destination.Pixels, memory.data());  // written in place
  EXPECT_EQ(destination.Storage, PixelStorage::kBorrowed);
  EXPECT_TRUE(SamePixels(destination, same));
  EXPECT_EQ(memory[9], 0);  // the gap after row 0 is not touched

  const struct {
    u32 layout;
    i32 width;
    i32 height;
  } others[] = {{PixelLayout::kBgr8, 2, 2}, {PixelLayout::kBgr8, 3, 1}, {PixelLayout::kBgra8, 3, 2}};
  for (const auto& o : others) {
    KTImage source;
    ASSERT_EQ(PixelBuffer::Create(source, o.layout, o.width, o.height), kOk);
    EXPECT_EQ(PixelBuffer::Copy(destination, source), kErrMissingObject);
    EXPECT_EQ(destination.Pixels, memory.data());
    EXPECT_EQ(destination.Width, 3);
  }
}

TEST(PixelBufferMoveTest, HandsTheStorageOver) {
  KTImage source;
  source.AlignRows = 1;
  ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kBgr8, 3, 3), kOk);
  u8* const block = source.Pixels;
  KTImage moved(std::move(source));
  EXPECT_EQ(moved.Pixels, block);
  EXPECT_EQ(moved.Stride, 12);
  EXPECT_EQ(moved.AlignRows, 1);
  EXPECT_EQ(source.Pixels, nullptr);  // the moved-from state is specified
  EXPECT_EQ(source.Width, 0);

  KTImage target;
  ASSERT_EQ(PixelBuffer::Create(target, PixelLayout::kBgra8, 8, 8), kOk);
  target = std::move(moved);  // the target's own block is freed
  EXPECT_EQ(target.Pixels, block);
  EXPECT_EQ(target.Width, 3);
  EXPECT_FALSE(PixelBuffer::HasPixels(moved));
}

}  // namespace
}  // namespace KT
