// KT::KTImage: the pixel buffer behind every image object, and the
// KT::PixelBuffer operations on it.
//
// A buffer describes a block of pixel rows (top row first) and where their
// memory comes from. Its storage kind says who owns that memory:
//   kHeap      a heap block owned by the buffer;
//   kMapped    a block of the memory-mapping library owned by the buffer
//              (platform/mmf.h); Pixels is valid only while a view is
//              mapped (Map/UnMap), and every operation below maps the
//              buffers it touches for its own duration;
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
//    stride: the pixels are cleared in place (through a view for kMapped),
//    storage kept; kOk. A buffer of that shape left without storage by a
//    failed allocation gets a new block instead;
//  - kBorrowed storage whose shape would change: kErrInvalidArg;
//  - width or height below 1, or a block of more than 2^31-1 bytes:
//    kErrInvalidArg, the buffer unchanged;
//  - an unknown storage kind: kErrInvalidArg, unchanged;
//  - otherwise every view is closed, the old storage released and a new
//    block allocated (a heap block for kHeap, a library block for
//    kMapped). The block holds Stride x Height bytes plus
//    (4 - BytesPerPixel) for layouts 0-5, so that a 4-byte read at the
//    last pixel stays inside. No memory (or the library refuses):
//    kErrOutOfMemory, the buffer keeps its new shape without storage (Free
//    or a later Create recovers it).
Result Create(KTImage& buffer, u32 layout, i32 width, i32 height);

// Closes every view, releases owned storage (borrowed memory is left
// alone; a library block through CMmf::MemFree) and clears Width, Height,
// BytesPerPixel, Layout, Pixels, Stride and MmfId. Storage, AlignRows and
// the resolution stay.
void Free(KTImage& buffer);

// Views of kMapped storage. Map opens one more view (MapCount + 1, Pixels
// = the block's address); UnMap closes one while any is open (Pixels
// cleared when the last closes); UnMapAll closes them all. For other
// storage kinds they do nothing and Pixels stays valid.
void Map(KTImage& buffer);
void UnMap(KTImage& buffer);
void UnMapAll(KTImage& buffer);

// Holds a view of a buffer for one operation: kMapped buffers are mapped
// at construction and unmapped at destruction; others are left alone.
// Mapping does not change the pixels, so const buffers may be viewed.
class ScopedView {
 public:
  explicit ScopedView(const KTImage& buffer) : buffer_(const_cast<KTImage&>(buffer)) { Map(buffer_); }
  ~ScopedView() { UnMap(buffer_); }
  ScopedView(const ScopedView&) = delete;
  ScopedView& operator=(const ScopedView&) = delete;

 private:
  KTImage& buffer_;
};

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
// by its own stride. Mapping a view of the source for the copy is not a
// change of its pixels, hence the const source.
Result Copy(KTImage& destination, const KTImage& source);

// Makes `destination` a copy of the whole picture of `source`: its
// resolution, its row padding (AlignRows; a destination whose padding
// differs is freed first, so that the copy holds the same rows) and its
// pixels (Copy), or no pixels when the source has none (kOk). The same
// buffer: kOk. Copy's failure is returned.
Result CopyPicture(KTImage& destination, const KTImage& source);

// Converts `source` into `destination` (null or the source itself: in
// place, through a temporary copy) with pixel layout `layout`.
//  - source without pixels, or layout above 6: kErrInvalidArg;
//  - in place to the layout the buffer has: kDone; not in place to the
//    source's own layout: the answer of Copy;
//  - the destination is created with the layout and the source's size
//    (its failure is returned), then filled by the pair rules:
//      0 -> 1  B, G, R copied, alpha dropped;   1 -> 0  A = 255;
//      0, 1 -> 2  word = (R & 0xF8) << 8 | (G & 0xFC) << 3 | B >> 3;
//      0, 1 -> 6  floats = byte / 255;
//      6 -> 0, 1  each float clamped to 0..1, x 255, + 0.5, truncated;
//                 A = 255 for layout 0;
//    any other pair leaves the destination zero-filled and answers kOk.
Result Convert(KTImage& source, KTImage* destination, u32 layout);

// The scaler for layout 0 (four channels with alpha): the codec bridge's
// IMGRT scale (ScaleLayout0WithImgrt) unless another is installed. It
// resamples the whole source onto the whole destination, both already
// created, and answers a result code.
using Layout0Scaler = Result (*)(const KTImage& source, KTImage& destination);
void SetLayout0Scaler(Layout0Scaler scaler);
Layout0Scaler GetLayout0Scaler();

// Resamples `source` to `width` x `height` into `destination` (null or the
// source itself: in place, through a temporary copy).
//  - source without pixels, or a size below 1: kErrInvalidArg;
//  - the same size: the answer of Copy;
//  - layouts 1 and 6: the destination is created and Zoom resamples into
//    it; Zoom's failure: kErrMissingObject;
//  - layout 0: the destination is created and the layout-0 scaler runs;
//    without one: kErrMissingObject;
//  - layouts 2-5: through layout 1 (converted to, zoomed, converted back);
//    Zoom's failure: kErrMissingObject.
// Creation failures are returned; temporary buffers are freed on every
// path, the destination stays created.
Result Resize(KTImage& source, KTImage* destination, i32 width, i32 height);

// Blends the rectangle of `width` x `height` pixels at (sx, sy) of `source`
// onto `destination` at (dx, dy) with the overall alpha `alpha` (0-255).
//  - either buffer without pixels, dx or dy not below the destination's
//    width or height, sx or sy not below the source's: kErrInvalidArg;
//  - clipping: negative positions shift both rectangles and shorten the
//    width (height) by max(0, -dx, -sx) (max(0, -dy, -sy)); the size is
//    then limited to what both buffers hold; a clipped width or height
//    below 0: kErrInvalidArg (0 blends nothing and answers kOk);
//  - layouts other than 0 and 1: kErrMissingObject;
//  - per pixel, by (destination, source) layout, with sa the source alpha,
//    "/" truncating and ">> 8" an arithmetic shift:
//      0 over 0: sa 0 leaves the pixel; alpha 255 and sa 255 copy and set
//        the alpha to 255; otherwise w = sa + 1 (alpha 255) or
//        ((sa + 1)(alpha + 1)) >> 8, d = destination alpha + 1,
//        o = d - ((d w) >> 8) + w, each colour
//        (s w - ((t d w) >> 8) + t d) / o clamped to 0..255, alpha o - 1;
//      1 onto 0: B, G, R copied, the destination alpha becomes `alpha`;
//      1 onto 1: alpha 255 copies, else t += ((s - t)(alpha + 1)) >> 8;
//      0 onto 1: sa 0 leaves the pixel; alpha 255 and sa 255 copy; else
//        t += ((s - t) w) >> 8 with w = sa + 1 (alpha 255), alpha + 1
//        (sa 255) or ((sa + 1)(alpha + 1)) >> 8.
Result Blend(KTImage& destination, const KTImage& source, i32 dx, i32 dy, i32 sx, i32 sy, i32 width,
             i32 height, i32 alpha);

// A block of pixel rows handed to the resampler. Stride 0 means tightly
// packed rows (width x bytesPerPixel); buffers with padded rows give their
// Stride.
struct ZoomBlock {
  i32 width = 0;
  i32 height = 0;
  i32 bytesPerPixel = 0;  // 3 (B, G, R bytes) or 12 (three floats); the destination's comes from the source
  u8* pixels = nullptr;
  i32 stride = 0;
};

// Resamples the whole source block onto the whole destination block with
// the triangle filter on both axes (windowed by "blackman" only for a
// filter that asks for a window, which the triangle does not). Answers 1,
// or 0 when a pixel pointer is null or a size is below 1.
int Zoom(const ZoomBlock& source, const ZoomBlock& destination);

}  // namespace PixelBuffer
}  // namespace KT
