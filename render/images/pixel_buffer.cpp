#include "render/pixel_buffer.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace KT {

namespace {

constexpr i32 kBytesPerPixel[PixelLayout::kCount] = {4, 3, 2, 2, 2, 1, 12};

// Largest block a buffer may hold: Stride and the block size are kept in
// 32-bit signed fields.
constexpr u64 kMaxBlockSize = static_cast<u64>(std::numeric_limits<i32>::max());

// Releases the memory the buffer owns. Borrowed memory belongs to the
// caller; library blocks cannot exist in this build.
void ReleaseStorage(KTImage& buffer) {
  if (buffer.Storage == PixelStorage::kHeap) delete[] buffer.Pixels;
  buffer.Pixels = nullptr;
}

// Puts the other buffer's storage into `target` and leaves `source` empty.
void TakeOver(KTImage& target, KTImage& source) {
  target.Width = std::exchange(source.Width, 0);
  target.Height = std::exchange(source.Height, 0);
  target.BytesPerPixel = std::exchange(source.BytesPerPixel, 0);
  target.Layout = std::exchange(source.Layout, PixelLayout::kBgra8);
  target.Pixels = std::exchange(source.Pixels, nullptr);
  target.DpiX = source.DpiX;
  target.DpiY = source.DpiY;
  target.Stride = std::exchange(source.Stride, 0);
  target.Storage = std::exchange(source.Storage, PixelStorage::kHeap);
  target.AlignRows = source.AlignRows;
  target.MmfId = std::exchange(source.MmfId, 0u);
  target.MapCount = std::exchange(source.MapCount, 0);
}

// Zeroes the pixel rows. An owned block is cleared whole, padding included;
// borrowed memory only row by row, since its owner vouches for nothing
// beyond the last pixel of the last row.
void ClearRows(KTImage& buffer) {
  if (buffer.Storage != PixelStorage::kBorrowed) {
    std::memset(buffer.Pixels, 0, PixelBuffer::GetPixelBytes(buffer));
    return;
  }
  const size_t rowBytes = static_cast<size_t>(buffer.Width) * static_cast<size_t>(buffer.BytesPerPixel);
  u8* row = buffer.Pixels;
  for (i32 y = 0; y < buffer.Height; ++y, row += buffer.Stride) std::memset(row, 0, rowBytes);
}

}  // namespace

KTImage::~KTImage() { PixelBuffer::Free(*this); }

KTImage::KTImage(KTImage&& other) noexcept { TakeOver(*this, other); }

KTImage& KTImage::operator=(KTImage&& other) noexcept {
  if (this != &other) {
    PixelBuffer::Free(*this);
    TakeOver(*this, other);
  }
  return *this;
}

namespace PixelBuffer {

i32 BytesPerPixel(u32 layout) { return IsValidLayout(layout) ? kBytesPerPixel[layout] : 0; }

u64 RowStride(u64 width, u32 bytesPerPixel, bool alignRows) {
  const u64 bytes = width * bytesPerPixel;
  return alignRows ? (bytes + 3) & ~u64{3} : bytes;
}

bool HasPixels(const KTImage& buffer) {
  return buffer.Pixels != nullptr ||
         (buffer.Storage == PixelStorage::kMapped && buffer.MmfId >= KTImage::kFirstMmfId);
}

u32 GetPixelBytes(const KTImage& buffer) {
  if (buffer.Stride <= 0 || buffer.Height <= 0) return 0;
  return static_cast<u32>(static_cast<u64>(buffer.Stride) * static_cast<u64>(buffer.Height));
}

Result Create(KTImage& buffer, u32 layout, i32 width, i32 height) {
  if (!IsValidLayout(layout)) return kErrInvalidArg;
  const i32 bytesPerPixel = kBytesPerPixel[layout];
  const u64 stride = width > 0 ? RowStride(static_cast<u64>(width), static_cast<u32>(bytesPerPixel),
                                           buffer.AlignRows != 0)
                               : 0;

  // The same shape again only clears the pixels. The stride must match as
  // well: AlignRows may have changed since the block was made, and a buffer
  // left without storage by a failed allocation needs a new block.
  // Borrowed memory keeps the stride its owner gave.
  const bool borrowed = buffer.Storage == PixelStorage::kBorrowed;
  if (width == buffer.Width && height == buffer.Height && layout == buffer.Layout && buffer.Pixels != nullptr &&
      (borrowed || static_cast<i64>(stride) == buffer.Stride)) {
    if (GetPixelBytes(buffer) == 0) return kErrInvalidArg;
    ClearRows(buffer);
    return kOk;
  }
  if (borrowed) return kErrInvalidArg;
  if (width < 1 || height < 1) return kErrInvalidArg;
  // Layouts narrower than 4 bytes get a tail so that reading a whole 32-bit
  // word at the last pixel stays inside the block.
  const u64 tail = layout == PixelLayout::kRgbFloat ? 0 : static_cast<u64>(4 - bytesPerPixel);
  const u64 size = stride * static_cast<u64>(height) + tail;
  if (stride > kMaxBlockSize || size > kMaxBlockSize) return kErrInvalidArg;
  if (buffer.Storage != PixelStorage::kHeap) return kErrInvalidArg;

  ReleaseStorage(buffer);
  buffer.Width = width;
  buffer.Height = height;
  buffer.Layout = layout;
  buffer.BytesPerPixel = bytesPerPixel;
  buffer.Stride = static_cast<i32>(stride);
  buffer.Pixels = new (std::nothrow) u8[size]();  // zero-filled
  return buffer.Pixels != nullptr ? kOk : kErrOutOfMemory;
}

void Free(KTImage& buffer) {
  ReleaseStorage(buffer);
  buffer.Width = 0;
  buffer.Height = 0;
  buffer.BytesPerPixel = 0;
  buffer.Layout = PixelLayout::kBgra8;
  buffer.Stride = 0;
  buffer.MapCount = 0;
}

Result Borrow(KTImage& buffer, u8* pixels, u32 layout, i32 width, i32 height, i32 stride) {
  if (pixels == nullptr || !IsValidLayout(layout) || width < 1 || height < 1) return kErrInvalidArg;
  const i32 bytesPerPixel = kBytesPerPixel[layout];
  if (stride < 1 ||
      static_cast<u64>(stride) < RowStride(static_cast<u64>(width), static_cast<u32>(bytesPerPixel), false)) {
    return kErrInvalidArg;
  }
  Free(buffer);
  buffer.Storage = PixelStorage::kBorrowed;
  buffer.Width = width;
  buffer.Height = height;
  buffer.Layout = layout;
  buffer.BytesPerPixel = bytesPerPixel;
  buffer.Stride = stride;
  buffer.Pixels = pixels;
  return kOk;
}

Result Copy(KTImage& destination, const KTImage& source) {
  if (&destination == &source) return kDone;
  // Library blocks would need a mapped view, which this build does not
  // have; without an address there is nothing to copy from.
  if (!HasPixels(source) || source.Pixels == nullptr) return kErrInvalidArg;
  if (destination.Storage == PixelStorage::kBorrowed) {
    // Borrowed memory cannot be reshaped: the caller gave us exactly this.
    if (destination.Width != source.Width || destination.Height != source.Height ||
        destination.Layout != source.Layout || destination.Pixels == nullptr) {
      return kErrMissingObject;
    }
  } else {
    if (destination.Storage != source.Storage) {
      Free(destination);
      // A copy of borrowed memory is the copy's own.
      destination.Storage =
          source.Storage == PixelStorage::kBorrowed ? PixelStorage::kHeap : source.Storage;
    }
    const Result r = Create(destination, source.Layout, source.Width, source.Height);
    if (Failed(r)) return r;
  }
  const size_t rowBytes = static_cast<size_t>(source.Width) * static_cast<size_t>(source.BytesPerPixel);
  const u8* from = source.Pixels;
  u8* to = destination.Pixels;
  for (i32 row = 0; row < source.Height; ++row) {
    std::memcpy(to, from, rowBytes);
    from += source.Stride;
    to += destination.Stride;
  }
  destination.DpiX = source.DpiX;
  destination.DpiY = source.DpiY;
  return kOk;
}

}  // namespace PixelBuffer
}  // namespace KT
