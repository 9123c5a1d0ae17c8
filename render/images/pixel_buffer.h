// KT::KTImage: the pixel buffer behind every image object, and the
// KT::PixelBuffer operations on it.
//
// A buffer describes a block of pixel rows (top row first) and where their
// memory comes from. Its storage kind says who owns that memory:
//   kHeap      a heap block owned by the buffer;
//   kMapped    a block of the memory-mapping library owned by the buffer
//              (not available in this build: creating one is refused);
//   kBorrowed  memory owned by someone else, never reallocated or freed by
//              the buffer.
//
// The buffer owns its storage: destroying it frees it (Free), it cannot be
// copied implicitly (use PixelBuffer::Copy, which reports failures), and a
// move hands the storage over and leaves the source empty.
//
// Operations never throw; they answer result codes of the object model.
#pragma once

#include "objectmodel/types.h"

namespace KT {

// Pixel layout codes as stored in files. 8-bit channels are stored blue
// first; layouts 3, 4 and 5 have no conversions in this system.
namespace PixelLayout {
inline constexpr u32 kBgra8 = 0;     // 4 bytes: B, G, R, A
inline constexpr u32 kBgr8 = 1;      // 3 bytes: B, G, R
inline constexpr u32 kRgb565 = 2;    // 2 bytes: little-endian word, R 15-11, G 10-5, B 4-0
inline constexpr u32 kWord16A = 3;   // 2 bytes
inline constexpr u32 kWord16B = 4;   // 2 bytes
inline constexpr u32 kByte8 = 5;     // 1 byte
inline constexpr u32 kRgbFloat = 6;  // 12 bytes: f32 R, G, B (red first), 1.0 = full intensity
inline constexpr u32 kCount = 7;
}  // namespace PixelLayout

// Storage kinds (KTImage::Storage).
namespace PixelStorage {
inline constexpr u16 kHeap = 0;
inline constexpr u16 kMapped = 1;
inline constexpr u16 kBorrowed = 2;
}  // namespace PixelStorage

struct KTImage {
  // Block ids of the memory-mapping library start here; smaller ids
  // (normally 0) designate no block.
  static constexpr u32 kFirstMmfId = 0x10001;
  static constexpr i32 kDefaultDpi = 96;

  i32 Width = 0;          // pixels per row
  i32 Height = 0;         // rows
  i32 BytesPerPixel = 0;  // from Layout
  u32 Layout = PixelLayout::kBgra8;
  u8* Pixels = nullptr;  // first row; null without storage
  i32 DpiX = kDefaultDpi;
  i32 DpiY = kDefaultDpi;
  i32 Stride = 0;  // bytes per row (see PixelBuffer::RowStride)
  u16 Storage = PixelStorage::kHeap;
  u16 AlignRows = 0;  // non-zero: rows padded to a multiple of 4 bytes
  u32 MmfId = 0;
  i32 MapCount = 0;  // open mapped views

  KTImage() = default;
  // Frees the storage (PixelBuffer::Free).
  ~KTImage();
  KTImage(const KTImage&) = delete;
  KTImage& operator=(const KTImage&) = delete;
  // Takes over the other buffer's record and storage; the other buffer is
  // left empty (no pixels, kHeap, its resolution and AlignRows kept).
  KTImage(KTImage&& other) noexcept;
  KTImage& operator=(KTImage&& other) noexcept;
};

namespace PixelBuffer {

// Bytes per pixel of a layout code: 4, 3, 2, 2, 2, 1, 12 for codes 0-6;
// 0 for any other code.
i32 BytesPerPixel(u32 layout);
inline bool IsValidLayout(u32 layout) { return layout < PixelLayout::kCount; }

// Bytes per row for `width` pixels of `bytesPerPixel` bytes: the product,
// rounded up to a multiple of 4 when `alignRows`. Computed in 64 bits, so
// it is exact for any 32-bit width read from a file.
u64 RowStride(u64 width, u32 bytesPerPixel, bool alignRows);

// True when the buffer has pixel memory: Pixels is set, or the storage is
// a library block (kMapped with an id of at least KTImage::kFirstMmfId).
bool HasPixels(const KTImage& buffer);

// Stride x Height: the bytes of the pixel rows, padding included (0 for a
// buffer without a shape).
u32 GetPixelBytes(const KTImage& buffer);

// Gives the buffer zero-filled storage for `height` rows of `width` pixels
// of `layout`; Stride follows the buffer's AlignRows.
//  - layout above 6: kErrInvalidArg;
//  - the buffer already has pixels of the same width, height, layout and
//    stride: the pixels are cleared in place, storage kept; kOk;
//  - kBorrowed storage whose shape would change: kErrInvalidArg;
//  - width or height below 1, or a block of more than 2^31-1 bytes:
//    kErrInvalidArg, the buffer unchanged;
//  - kMapped storage (or an unknown kind): kErrInvalidArg, unchanged;
//  - otherwise the old storage is freed and a new block allocated. The
//    block holds Stride x Height bytes plus (4 - BytesPerPixel) for layouts
//    0-5, so that a 4-byte read at the last pixel stays inside. No memory:
//    kErrOutOfMemory, the buffer keeps its new shape without storage (Free
//    or a later Create recovers it).
Result Create(KTImage& buffer, u32 layout, i32 width, i32 height);

// Releases owned storage (borrowed memory is left alone) and clears Width,
// Height, BytesPerPixel, Layout, Pixels and Stride. Storage, AlignRows and
// the resolution stay.
void Free(KTImage& buffer);

// Makes `buffer` a view of `height` rows of `width` pixels of `layout` at
// `pixels`, `stride` bytes apart, owned by the caller (kBorrowed). The
// buffer's former storage is freed first. A null `pixels`, layout above 6,
// width or height below 1, or a stride shorter than a row: kErrInvalidArg,
// the buffer unchanged.
Result Borrow(KTImage& buffer, u8* pixels, u32 layout, i32 width, i32 height, i32 stride);

// Copies the pixels (and the resolution) of `source` into `destination`.
//  - the same buffer: kDone;
//  - source without pixels: kErrInvalidArg;
//  - a borrowed destination must already have the source's width, height
//    and layout, else kErrMissingObject; its memory is written in place;
//  - otherwise the destination takes the source's storage kind (a borrowed
//    source gives a heap copy; kinds that differ free the destination
//    first) and is created with the source's layout and size, keeping its
//    own AlignRows; Create's failure is returned.
// Each row's Width x BytesPerPixel bytes are copied; each buffer advances
// by its own stride.
Result Copy(KTImage& destination, const KTImage& source);

}  // namespace PixelBuffer
}  // namespace KT
