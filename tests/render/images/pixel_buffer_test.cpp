#include "render/images/pixel_buffer.h"

#include "platform/mmf.h"

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

TEST(PixelBufferCreateTest, UnknownStorageKindIsRefused) {
  KTImage buffer;
  buffer.Storage = 3;
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
  // A library id that designates no block has nothing to map.
  KTImage mapped;
  mapped.Storage = PixelStorage::kMapped;
  mapped.MmfId = 0x7FFFFFF0;
  EXPECT_TRUE(PixelBuffer::HasPixels(mapped));
  EXPECT_EQ(PixelBuffer::Copy(buffer, mapped), kErrInvalidArg);
  EXPECT_EQ(mapped.MapCount, 0);
  mapped.MmfId = 0;
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


// ---- library (kMapped) storage ----

TEST(PixelBufferMappedTest, AlignedShapeInBothStorageKinds) {
  for (u16 storage : {PixelStorage::kHeap, PixelStorage::kMapped}) {
    KTImage buffer;
    buffer.Storage = storage;
    buffer.AlignRows = 1;
    ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 5, 2), kOk) << storage;
    EXPECT_EQ(buffer.Stride, 16);
    if (storage == PixelStorage::kMapped) {
      EXPECT_EQ(buffer.Pixels, nullptr);  // valid only while mapped
      EXPECT_GE(buffer.MmfId, KTImage::kFirstMmfId);
      EXPECT_EQ(CMmf::GetBlockSize(buffer.MmfId), 33u);
    }
  }
}

TEST(PixelBufferMappedTest, ViewsAreCountedAndPixelsValidOnlyWhileMapped) {
  KTImage buffer;
  buffer.Storage = PixelStorage::kMapped;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 2, 2), kOk);
  const u32 id = buffer.MmfId;
  PixelBuffer::Map(buffer);
  PixelBuffer::Map(buffer);
  ASSERT_NE(buffer.Pixels, nullptr);
  EXPECT_EQ(buffer.MapCount, 2);
  EXPECT_EQ(CMmf::GetViewCount(id), 2);
  buffer.Pixels[0] = 42;
  PixelBuffer::UnMap(buffer);
  EXPECT_NE(buffer.Pixels, nullptr);
  PixelBuffer::UnMap(buffer);
  EXPECT_EQ(buffer.Pixels, nullptr);
  PixelBuffer::UnMap(buffer);  // none open: nothing
  EXPECT_EQ(buffer.MapCount, 0);
  PixelBuffer::Map(buffer);
  PixelBuffer::Map(buffer);
  EXPECT_EQ(buffer.Pixels[0], 42);
  PixelBuffer::UnMapAll(buffer);
  EXPECT_EQ(buffer.MapCount, 0);
  EXPECT_EQ(CMmf::GetViewCount(id), 0);
  // Heap buffers: Map does nothing and Pixels stays.
  KTImage heap;
  ASSERT_EQ(PixelBuffer::Create(heap, PixelLayout::kBgra8, 1, 1), kOk);
  u8* const pixels = heap.Pixels;
  PixelBuffer::Map(heap);
  PixelBuffer::UnMap(heap);
  EXPECT_EQ(heap.MapCount, 0);
  EXPECT_EQ(heap.Pixels, pixels);
  const std::size_t blocks = CMmf::GetBlockCount();
  PixelBuffer::Free(buffer);
  EXPECT_EQ(CMmf::GetBlockCount(), blocks - 1);
  EXPECT_EQ(buffer.MmfId, 0u);
}

TEST(PixelBufferMappedTest, CopyAcrossStorageKindsAndSameShapeClears) {
  KTImage heap;
  ASSERT_EQ(PixelBuffer::Create(heap, PixelLayout::kBgr8, 3, 2), kOk);
  FillPattern(heap);
  KTImage mapped;
  mapped.Storage = PixelStorage::kMapped;
  ASSERT_EQ(PixelBuffer::Copy(mapped, heap), kOk);
  EXPECT_EQ(mapped.Storage, PixelStorage::kHeap);  // the destination takes the source's kind
  KTImage library;
  library.Storage = PixelStorage::kMapped;
  ASSERT_EQ(PixelBuffer::Create(library, PixelLayout::kBgr8, 3, 2), kOk);
  PixelBuffer::Map(library);
  std::memcpy(library.Pixels, heap.Pixels, PixelBuffer::GetPixelBytes(heap));
  PixelBuffer::UnMap(library);
  KTImage back;
  ASSERT_EQ(PixelBuffer::Copy(back, library), kOk);
  EXPECT_EQ(back.Storage, PixelStorage::kMapped);
  EXPECT_EQ(library.MapCount, 0);  // every operation closes its views
  EXPECT_EQ(back.MapCount, 0);
  PixelBuffer::Map(back);
  EXPECT_TRUE(SamePixels(back, heap));
  PixelBuffer::UnMap(back);
  // The same shape again clears the block through a view and keeps it.
  const u32 id = back.MmfId;
  ASSERT_EQ(PixelBuffer::Create(back, PixelLayout::kBgr8, 3, 2), kOk);
  EXPECT_EQ(back.MmfId, id);
  PixelBuffer::Map(back);
  for (u32 i = 0; i < PixelBuffer::GetPixelBytes(back); ++i) EXPECT_EQ(back.Pixels[i], 0);
  PixelBuffer::UnMap(back);
}

TEST(PixelBufferMappedTest, RefusedAllocationLeavesTheShapeWithoutStorageAndRecovers) {
  KTImage buffer;
  buffer.Storage = PixelStorage::kMapped;
  CMmf::SetRefuseAllocations(true);
  EXPECT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 4, 4), kErrOutOfMemory);
  EXPECT_EQ(buffer.Width, 4);
  EXPECT_FALSE(PixelBuffer::HasPixels(buffer));
  // The same shape again must allocate, not clear a block that is not there.
  EXPECT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 4, 4), kErrOutOfMemory);
  CMmf::SetRefuseAllocations(false);
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgra8, 4, 4), kOk);
  EXPECT_TRUE(PixelBuffer::HasPixels(buffer));
}

// ---- Convert ----

TEST(PixelBufferConvertTest, FloatToBytesClampsAndRounds) {
  for (u32 layout : {PixelLayout::kBgr8, PixelLayout::kBgra8}) {
    KTImage source;
    ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kRgbFloat, 1, 1), kOk);
    const float rgb[3] = {-0.2f, 0.5f, 1.7f};
    std::memcpy(source.Pixels, rgb, sizeof rgb);
    KTImage out;
    ASSERT_EQ(PixelBuffer::Convert(source, &out, layout), kOk);
    EXPECT_EQ(out.Pixels[0], 255);  // B
    EXPECT_EQ(out.Pixels[1], 128);  // G: 127.5 + 0.5 truncated
    EXPECT_EQ(out.Pixels[2], 0);    // R
    if (layout == PixelLayout::kBgra8) {
      EXPECT_EQ(out.Pixels[3], 255);
    }
  }
}

TEST(PixelBufferConvertTest, PairRules) {
  const u8 bgra[4] = {0x1F, 0x86, 0xF3, 0x40};
  struct Case {
    u32 from;
    u32 to;
    std::vector<u8> expected;
  };
  // 565: R 0xF3 & 0xF8 = 0xF0 << 8, G 0x86 & 0xFC = 0x84 << 3, B 0x1F >> 3.
  const u16 word = static_cast<u16>((0xF0 << 8) | (0x84 << 3) | (0x1F >> 3));
  const std::vector<u8> w565 = {static_cast<u8>(word & 0xFF), static_cast<u8>(word >> 8)};
  const Case cases[] = {
      {PixelLayout::kBgra8, PixelLayout::kBgr8, {0x1F, 0x86, 0xF3}},
      {PixelLayout::kBgr8, PixelLayout::kBgra8, {0x1F, 0x86, 0xF3, 0xFF}},
      {PixelLayout::kBgra8, PixelLayout::kRgb565, w565},
      {PixelLayout::kBgr8, PixelLayout::kRgb565, w565},
      // Pairs without a rule: zero-filled destination.
      {PixelLayout::kRgb565, PixelLayout::kBgr8, {0, 0, 0}},
      {PixelLayout::kBgr8, PixelLayout::kByte8, {0}},
      {PixelLayout::kWord16A, PixelLayout::kRgbFloat, std::vector<u8>(12, 0)},
  };
  for (const Case& c : cases) {
    KTImage source;
    ASSERT_EQ(PixelBuffer::Create(source, c.from, 1, 1), kOk);
    std::memcpy(source.Pixels, bgra, static_cast<size_t>(source.BytesPerPixel));
    KTImage out;
    ASSERT_EQ(PixelBuffer::Convert(source, &out, c.to), kOk) << c.from << "->" << c.to;
    EXPECT_EQ(std::vector<u8>(out.Pixels, out.Pixels + out.BytesPerPixel), c.expected) << c.from << "->" << c.to;
  }
  // Bytes to floats: byte / 255.
  KTImage source;
  ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kBgr8, 1, 1), kOk);
  std::memcpy(source.Pixels, bgra, 3);
  KTImage out;
  ASSERT_EQ(PixelBuffer::Convert(source, &out, PixelLayout::kRgbFloat), kOk);
  float rgb[3];
  std::memcpy(rgb, out.Pixels, sizeof rgb);
  EXPECT_FLOAT_EQ(rgb[0], static_cast<float>(0xF3 / 255.0));
  EXPECT_FLOAT_EQ(rgb[1], static_cast<float>(0x86 / 255.0));
  EXPECT_FLOAT_EQ(rgb[2], static_cast<float>(0x1F / 255.0));
}

TEST(PixelBufferConvertTest, InPlaceAndErrors) {
  KTImage buffer;
  ASSERT_EQ(PixelBuffer::Create(buffer, PixelLayout::kBgr8, 2, 1), kOk);
  FillPattern(buffer);
  EXPECT_EQ(PixelBuffer::Convert(buffer, nullptr, PixelLayout::kBgr8), kDone);
  EXPECT_EQ(PixelBuffer::Convert(buffer, &buffer, PixelLayout::kBgr8), kDone);
  EXPECT_EQ(PixelBuffer::Convert(buffer, nullptr, 7), kErrInvalidArg);
  const u8 first = buffer.Pixels[0];
  ASSERT_EQ(PixelBuffer::Convert(buffer, nullptr, PixelLayout::kBgra8), kOk);
  EXPECT_EQ(buffer.Layout, PixelLayout::kBgra8);
  EXPECT_EQ(buffer.Pixels[0], first);
  EXPECT_EQ(buffer.Pixels[3], 255);
  KTImage empty;
  KTImage out;
  EXPECT_EQ(PixelBuffer::Convert(empty, &out, PixelLayout::kBgr8), kErrInvalidArg);
  // Not in place, same layout: a copy.
  ASSERT_EQ(PixelBuffer::Convert(buffer, &out, PixelLayout::kBgra8), kOk);
  EXPECT_TRUE(SamePixels(out, buffer));
  // Mapped buffers are mapped for the conversion and unmapped after.
  KTImage library;
  library.Storage = PixelStorage::kMapped;
  ASSERT_EQ(PixelBuffer::Convert(buffer, &library, PixelLayout::kBgr8), kOk);
  EXPECT_EQ(library.MapCount, 0);
  PixelBuffer::Map(library);
  EXPECT_EQ(library.Pixels[0], first);
  PixelBuffer::UnMap(library);
}

// ---- Resize ----

class Layout0ScalerGuard {
 public:
  Layout0ScalerGuard() : saved_(PixelBuffer::GetLayout0Scaler()) {}
  ~Layout0ScalerGuard() { PixelBuffer::SetLayout0Scaler(saved_); }

 private:
  PixelBuffer::Layout0Scaler saved_;
};

TEST(PixelBufferResizeTest, RoutesByLayout) {
  Layout0ScalerGuard guard;
  PixelBuffer::SetLayout0Scaler(nullptr);
  KTImage bgra;
  ASSERT_EQ(PixelBuffer::Create(bgra, PixelLayout::kBgra8, 4, 4), kOk);
  FillPattern(bgra);
  KTImage out;
  // The same size copies, whatever the layout.
  ASSERT_EQ(PixelBuffer::Resize(bgra, &out, 4, 4), kOk);
  EXPECT_TRUE(SamePixels(out, bgra));
  // Layout 0 needs the codec layer's scaler.
  EXPECT_EQ(PixelBuffer::Resize(bgra, &out, 2, 2), kErrMissingObject);
  static int calls = 0;
  PixelBuffer::SetLayout0Scaler([](const KTImage& s, KTImage& d) -> Result {
    ++calls;
    return s.Pixels != nullptr && d.Pixels != nullptr && d.Width == 2 ? kOk : kErrInvalidArg;
  });
  EXPECT_EQ(PixelBuffer::Resize(bgra, &out, 2, 2), kOk);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(PixelBuffer::Resize(bgra, &out, 0, 2), kErrInvalidArg);
  KTImage empty;
  EXPECT_EQ(PixelBuffer::Resize(empty, &out, 2, 2), kErrInvalidArg);

  // Layout 1 through the resampler: a constant image stays constant.
  KTImage bgr;
  ASSERT_EQ(PixelBuffer::Create(bgr, PixelLayout::kBgr8, 8, 6), kOk);
  for (u32 i = 0; i < PixelBuffer::GetPixelBytes(bgr); i += 3) {
    bgr.Pixels[i] = 10;
    bgr.Pixels[i + 1] = 20;
    bgr.Pixels[i + 2] = 30;
  }
  ASSERT_EQ(PixelBuffer::Resize(bgr, nullptr, 3, 5), kOk);  // in place
  EXPECT_EQ(bgr.Width, 3);
  EXPECT_EQ(bgr.Height, 5);
  for (i32 y = 0; y < bgr.Height; ++y) {
    for (i32 x = 0; x < 3; ++x) {
      const u8* p = bgr.Pixels + y * bgr.Stride + x * 3;
      EXPECT_EQ(p[0], 10);
      EXPECT_EQ(p[1], 20);
      EXPECT_EQ(p[2], 30);
    }
  }

  // Layout 2 through layout 1: a 565 word that survives the round trip.
  KTImage word;
  ASSERT_EQ(PixelBuffer::Create(word, PixelLayout::kRgb565, 2, 2), kOk);
  for (u32 i = 0; i < 8; i += 2) {
    word.Pixels[i] = 0x10;
    word.Pixels[i + 1] = 0x84;
  }
  // 2 -> 1 has no rule, so the intermediate is black and the result 0.
  ASSERT_EQ(PixelBuffer::Resize(word, &out, 4, 4), kOk);
  EXPECT_EQ(out.Layout, PixelLayout::kRgb565);
  EXPECT_EQ(out.Width, 4);
  for (u32 i = 0; i < PixelBuffer::GetPixelBytes(out); ++i) EXPECT_EQ(out.Pixels[i], 0);
}

TEST(PixelBufferResizeTest, FloatsAreNotClamped) {
  KTImage source;
  ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kRgbFloat, 4, 4), kOk);
  const float value[3] = {3.5f, 0.25f, 100.0f};
  for (i32 p = 0; p < 16; ++p) std::memcpy(source.Pixels + p * 12, value, sizeof value);
  KTImage out;
  ASSERT_EQ(PixelBuffer::Resize(source, &out, 2, 3), kOk);
  for (i32 p = 0; p < 6; ++p) {
    float got[3];
    std::memcpy(got, out.Pixels + p * 12, sizeof got);
    EXPECT_NEAR(got[0], 3.5f, 1e-5f);
    EXPECT_NEAR(got[1], 0.25f, 1e-6f);
    EXPECT_NEAR(got[2], 100.0f, 1e-4f);
  }
}

TEST(PixelBufferZoomTest, NullPointersAnswerZero) {
  u8 pixels[3] = {};
  EXPECT_EQ(PixelBuffer::Zoom({1, 1, 3, nullptr, 0}, {1, 1, 3, pixels, 0}), 0);
  EXPECT_EQ(PixelBuffer::Zoom({1, 1, 3, pixels, 0}, {1, 1, 3, nullptr, 0}), 0);
  EXPECT_EQ(PixelBuffer::Zoom({1, 1, 3, pixels, 0}, {1, 1, 3, pixels, 0}), 1);
}

// ---- Blend ----

struct BlendCase {
  u32 destinationLayout;
  u32 sourceLayout;
  std::vector<u8> destination;  // one pixel
  std::vector<u8> source;
  i32 alpha;
  std::vector<u8> expected;
};

i32 Over(i32 s, i32 t, i32 sa, i32 ta, i32 k) {
  const i32 w = k == 255 ? sa + 1 : ((sa + 1) * (k + 1)) >> 8;
  const i32 d = ta + 1;
  const i32 o = d - ((d * w) >> 8) + w;
  return (s * w - ((t * d * w) >> 8) + t * d) / o;
}

TEST(PixelBufferBlendTest, FormulaPerLayoutPair) {
  const i32 o = 101 - ((101 * (((129) * (201)) >> 8)) >> 8) + (((129) * (201)) >> 8);
  const BlendCase cases[] = {
      // 0 over 0: source alpha 0 leaves the pixel.
      {0, 0, {1, 2, 3, 4}, {9, 9, 9, 0}, 255, {1, 2, 3, 4}},
      // both opaque at k 255: a copy with alpha 255.
      {0, 0, {1, 2, 3, 4}, {9, 8, 7, 255}, 255, {9, 8, 7, 255}},
      // the general formula.
      {0,
       0,
       {200, 100, 50, 100},
       {10, 20, 250, 128},
       200,
       {static_cast<u8>(Over(10, 200, 128, 100, 200)), static_cast<u8>(Over(20, 100, 128, 100, 200)),
        static_cast<u8>(Over(250, 50, 128, 100, 200)), static_cast<u8>(o - 1)}},
      // 1 onto 0: colours copied, alpha becomes k.
      {0, 1, {1, 2, 3, 4}, {9, 8, 7}, 77, {9, 8, 7, 77}},
      // 1 onto 1.
      {1, 1, {1, 2, 3}, {9, 8, 7}, 255, {9, 8, 7}},
      {1, 1, {100, 200, 0}, {200, 100, 255}, 127, {150, 150, 127}},
      // 0 onto 1.
      {1, 0, {1, 2, 3}, {9, 8, 7, 0}, 255, {1, 2, 3}},
      {1, 0, {1, 2, 3}, {9, 8, 7, 255}, 255, {9, 8, 7}},
      {1, 0, {100, 100, 100}, {200, 0, 100, 255}, 127, {150, 50, 100}},
      {1, 0, {100, 100, 100}, {200, 0, 100, 127}, 255, {150, 50, 100}},
      {1, 0, {0, 0, 0}, {255, 255, 255, 127}, 127, {static_cast<u8>((255 * ((128 * 128) >> 8)) >> 8), 63, 63}},
  };
  for (const BlendCase& c : cases) {
    KTImage destination;
    KTImage source;
    ASSERT_EQ(PixelBuffer::Create(destination, c.destinationLayout, 1, 1), kOk);
    ASSERT_EQ(PixelBuffer::Create(source, c.sourceLayout, 1, 1), kOk);
    std::memcpy(destination.Pixels, c.destination.data(), c.destination.size());
    std::memcpy(source.Pixels, c.source.data(), c.source.size());
    ASSERT_EQ(PixelBuffer::Blend(destination, source, 0, 0, 0, 0, 1, 1, c.alpha), kOk);
    EXPECT_EQ(std::vector<u8>(destination.Pixels, destination.Pixels + destination.BytesPerPixel), c.expected)
        << c.destinationLayout << " <- " << c.sourceLayout << " k " << c.alpha;
  }
}

TEST(PixelBufferBlendTest, NegativeDestinationShiftsTheSourceAndShortensTheWidth) {
  KTImage destination;
  KTImage source;
  ASSERT_EQ(PixelBuffer::Create(destination, PixelLayout::kBgr8, 6, 1), kOk);
  ASSERT_EQ(PixelBuffer::Create(source, PixelLayout::kBgr8, 6, 1), kOk);
  for (int x = 0; x < 6; ++x) source.Pixels[x * 3] = static_cast<u8>(10 + x);
  ASSERT_EQ(PixelBuffer::Blend(destination, source, -3, 0, 0, 0, 5, 1, 255), kOk);
  // Source columns 3 and 4 land on destination columns 0 and 1.
  EXPECT_EQ(destination.Pixels[0], 13);
  EXPECT_EQ(destination.Pixels[3], 14);
  EXPECT_EQ(destination.Pixels[6], 0);
}

TEST(PixelBufferBlendTest, Refusals) {
  KTImage a, b, empty, word;
  ASSERT_EQ(PixelBuffer::Create(a, PixelLayout::kBgr8, 4, 4), kOk);
  ASSERT_EQ(PixelBuffer::Create(b, PixelLayout::kBgr8, 4, 4), kOk);
  ASSERT_EQ(PixelBuffer::Create(word, PixelLayout::kRgb565, 4, 4), kOk);
  EXPECT_EQ(PixelBuffer::Blend(a, empty, 0, 0, 0, 0, 1, 1, 255), kErrInvalidArg);
  EXPECT_EQ(PixelBuffer::Blend(a, b, 4, 0, 0, 0, 1, 1, 255), kErrInvalidArg);
  EXPECT_EQ(PixelBuffer::Blend(a, b, 0, 0, 0, 4, 1, 1, 255), kErrInvalidArg);
  EXPECT_EQ(PixelBuffer::Blend(a, b, -10, 0, 0, 0, 5, 1, 255), kErrInvalidArg);  // clipped width below 0
  EXPECT_EQ(PixelBuffer::Blend(a, word, 0, 0, 0, 0, 1, 1, 255), kErrMissingObject);
  EXPECT_EQ(PixelBuffer::Blend(a, b, 0, 0, 0, 0, 100, 100, 255), kOk);  // limited to both buffers
}

}  // namespace
}  // namespace KT
