#include "render/images/pixel_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/mmf.h"
#include "render/images/image_codec.h"
#include "render/resample/filter.h"
#include "render/resample/picture.h"
#include "render/resample/zoom.h"

namespace KT {

namespace {

constexpr i32 kBytesPerPixel[PixelLayout::kCount] = {4, 3, 2, 2, 2, 1, 12};

// Largest block a buffer may hold: Stride and the block size are kept in
// 32-bit signed fields.
constexpr u64 kMaxBlockSize = static_cast<u64>(std::numeric_limits<i32>::max());

bool HasLibraryBlock(const KTImage& buffer) { return buffer.MmfId >= KTImage::kFirstMmfId; }

// Releases the memory the buffer owns. Borrowed memory belongs to the
// caller. A library block is released by its id (Pixels, if set, is only a
// view of it); otherwise a heap block is freed.
void ReleaseStorage(KTImage& buffer) {
  PixelBuffer::UnMapAll(buffer);
  if (buffer.Storage != PixelStorage::kBorrowed) {
    if (HasLibraryBlock(buffer)) {
      CMmf::MemFree(buffer.MmfId);
      buffer.MmfId = 0;
    } else if (buffer.Storage == PixelStorage::kHeap) {
      delete[] buffer.Pixels;
    }
  }
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
  if (width == buffer.Width && height == buffer.Height && layout == buffer.Layout && HasPixels(buffer) &&
      (borrowed || static_cast<i64>(stride) == buffer.Stride)) {
    if (GetPixelBytes(buffer) == 0) return kErrInvalidArg;
    PixelBuffer::ScopedView view(buffer);
    if (buffer.Pixels == nullptr) return kErrMissingObject;  // a library id without a block
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
  if (buffer.Storage != PixelStorage::kHeap && buffer.Storage != PixelStorage::kMapped) return kErrInvalidArg;

  ReleaseStorage(buffer);
  buffer.Width = width;
  buffer.Height = height;
  buffer.Layout = layout;
  buffer.BytesPerPixel = bytesPerPixel;
  buffer.Stride = static_cast<i32>(stride);
  if (buffer.Storage == PixelStorage::kMapped) {
    // The library hands out zero-filled blocks.
    u32 id = 0;
    if (!CMmf::MemAlloc(static_cast<size_t>(size), id)) return kErrOutOfMemory;
    buffer.MmfId = id;
    return kOk;
  }
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
  buffer.MmfId = 0;
  buffer.MapCount = 0;
}

void Map(KTImage& buffer) {
  if (buffer.Storage != PixelStorage::kMapped) return;
  ++buffer.MapCount;
  buffer.Pixels = static_cast<u8*>(CMmf::Map(buffer.MmfId));
}

void UnMap(KTImage& buffer) {
  if (buffer.MapCount <= 0) return;
  if (--buffer.MapCount == 0) buffer.Pixels = nullptr;
  CMmf::UnMap(buffer.MmfId);
}

void UnMapAll(KTImage& buffer) {
  while (buffer.MapCount > 0) UnMap(buffer);
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
  if (!HasPixels(source)) return kErrInvalidArg;
  PixelBuffer::ScopedView sourceView(source);
  if (source.Pixels == nullptr) return kErrInvalidArg;  // a library id without a block
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
  PixelBuffer::ScopedView destinationView(destination);
  if (destination.Pixels == nullptr) return kErrMissingObject;
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

Result CopyPicture(KTImage& destination, const KTImage& source) {
  if (&source == &destination) return kOk;
  destination.DpiX = source.DpiX;
  destination.DpiY = source.DpiY;
  if (destination.AlignRows != source.AlignRows) {
    Free(destination);
    destination.AlignRows = source.AlignRows;
  }
  if (!HasPixels(source)) {
    Free(destination);
    return kOk;
  }
  return Copy(destination, source);
}


namespace {

u8 FloatToByte(float value) {
  // Clamped first, so NaN and infinities never reach the conversion.
  double v = value;
  if (!(v > 0.0)) v = 0.0;
  if (v > 1.0) v = 1.0;
  return static_cast<u8>(v * 255.0 + 0.5);
}

float ReadFloat(const u8* at) {
  float v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

void WriteFloat(u8* at, float v) { std::memcpy(at, &v, sizeof v); }

// One row of the pair rules; false for a pair without a rule.
bool ConvertRow(const u8* from, u32 fromLayout, u8* to, u32 toLayout, i32 width) {
  using namespace PixelLayout;
  const size_t fromStep = static_cast<size_t>(kBytesPerPixel[fromLayout]);
  const size_t toStep = static_cast<size_t>(kBytesPerPixel[toLayout]);
  const bool fromBytes = fromLayout == kBgra8 || fromLayout == kBgr8;
  if (fromBytes && (toLayout == kBgra8 || toLayout == kBgr8)) {
    for (i32 x = 0; x < width; ++x, from += fromStep, to += toStep) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      if (toLayout == kBgra8) to[3] = 255;
    }
    return true;
  }
  if (fromBytes && toLayout == kRgb565) {
    for (i32 x = 0; x < width; ++x, from += fromStep, to += toStep) {
      const u32 word = (static_cast<u32>(from[2] & 0xF8) << 8) | (static_cast<u32>(from[1] & 0xFC) << 3) |
                       (static_cast<u32>(from[0]) >> 3);
      to[0] = static_cast<u8>(word);
      to[1] = static_cast<u8>(word >> 8);
    }
    return true;
  }
  if (fromBytes && toLayout == kRgbFloat) {
    for (i32 x = 0; x < width; ++x, from += fromStep, to += toStep) {
      WriteFloat(to, static_cast<float>(from[2] / 255.0));
      WriteFloat(to + 4, static_cast<float>(from[1] / 255.0));
      WriteFloat(to + 8, static_cast<float>(from[0] / 255.0));
    }
    return true;
  }
  if (fromLayout == kRgbFloat && (toLayout == kBgra8 || toLayout == kBgr8)) {
    for (i32 x = 0; x < width; ++x, from += fromStep, to += toStep) {
      to[2] = FloatToByte(ReadFloat(from));
      to[1] = FloatToByte(ReadFloat(from + 4));
      to[0] = FloatToByte(ReadFloat(from + 8));
      if (toLayout == kBgra8) to[3] = 255;
    }
    return true;
  }
  return false;
}

ZoomBlock BlockOf(const KTImage& buffer) {
  return ZoomBlock{buffer.Width, buffer.Height, buffer.BytesPerPixel, buffer.Pixels, buffer.Stride};
}

// Zoom between two created buffers of layout 1 or 6, each mapped for the
// call.
Result ZoomBuffers(const KTImage& source, KTImage& destination) {
  PixelBuffer::ScopedView sourceView(source);
  PixelBuffer::ScopedView destinationView(destination);
  return Zoom(BlockOf(source), BlockOf(destination)) == 1 ? kOk : kErrMissingObject;
}

// The IMGRT scale of the codec bridge until someone installs another.
Layout0Scaler g_layout0Scaler = ScaleLayout0WithImgrt;

i32 ClampByte(i32 v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void CopyBgr(u8* to, const u8* from) {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = from[2];
}

}  // namespace

Result Convert(KTImage& source, KTImage* destination, u32 layout) {
  if (!HasPixels(source) || !IsValidLayout(layout)) return kErrInvalidArg;
  KTImage temporary;
  const KTImage* from = &source;
  KTImage* to = destination;
  if (destination == nullptr || destination == &source) {
    if (source.Layout == layout) return kDone;
    // The rows are rewritten in another layout, so the source is read from
    // a copy.
    const Result r = Copy(temporary, source);
    if (Failed(r)) return r;
    from = &temporary;
    to = &source;
  } else if (source.Layout == layout) {
    return Copy(*destination, source);
  }
  const Result r = Create(*to, layout, from->Width, from->Height);
  if (Failed(r)) return r;
  PixelBuffer::ScopedView fromView(*from);
  PixelBuffer::ScopedView toView(*to);
  if (from->Pixels == nullptr || to->Pixels == nullptr) return kErrMissingObject;
  const u8* fromRow = from->Pixels;
  u8* toRow = to->Pixels;
  for (i32 y = 0; y < from->Height; ++y, fromRow += from->Stride, toRow += to->Stride) {
    // Pairs without a rule leave the created (zero-filled) destination.
    if (!ConvertRow(fromRow, from->Layout, toRow, layout, from->Width)) break;
  }
  to->DpiX = from->DpiX;
  to->DpiY = from->DpiY;
  return kOk;
}

void SetLayout0Scaler(Layout0Scaler scaler) { g_layout0Scaler = scaler; }
Layout0Scaler GetLayout0Scaler() { return g_layout0Scaler; }

Result Resize(KTImage& source, KTImage* destination, i32 width, i32 height) {
  if (!HasPixels(source) || width < 1 || height < 1) return kErrInvalidArg;
  KTImage temporary;
  const KTImage* from = &source;
  KTImage* to = destination;
  if (destination == nullptr || destination == &source) {
    const Result r = Copy(temporary, source);
    if (Failed(r)) return r;
    from = &temporary;
    to = &source;
  }
  if (from->Width == width && from->Height == height) return Copy(*to, *from);

  const u32 layout = from->Layout;
  Result r = Create(*to, layout, width, height);
  if (Failed(r)) return r;
  to->DpiX = from->DpiX;
  to->DpiY = from->DpiY;
  if (layout == PixelLayout::kBgr8 || layout == PixelLayout::kRgbFloat) return ZoomBuffers(*from, *to);
  if (layout == PixelLayout::kBgra8) {
    if (g_layout0Scaler == nullptr) return kErrMissingObject;
    PixelBuffer::ScopedView fromView(*from);
    PixelBuffer::ScopedView toView(*to);
    return g_layout0Scaler(*from, *to);
  }
  // Layouts 2-5 have no resampler of their own: through layout 1.
  KTImage wide;
  KTImage zoomed;
  r = Convert(const_cast<KTImage&>(*from), &wide, PixelLayout::kBgr8);
  if (Failed(r)) return r;
  r = Create(zoomed, PixelLayout::kBgr8, width, height);
  if (Failed(r)) return r;
  r = ZoomBuffers(wide, zoomed);
  if (Failed(r)) return r;
  r = Convert(zoomed, to, layout);
  return Failed(r) ? r : kOk;
}

Result Blend(KTImage& destination, const KTImage& source, i32 dx, i32 dy, i32 sx, i32 sy, i32 width,
             i32 height, i32 alpha) {
  if (!HasPixels(destination) || !HasPixels(source) || dx >= destination.Width || dy >= destination.Height ||
      sx >= source.Width || sy >= source.Height) {
    return kErrInvalidArg;
  }
  // Clipping in 64 bits: positions and sizes come from callers unchecked.
  i64 x0 = dx, y0 = dy, u0 = sx, v0 = sy, w = width, h = height;
  const i64 shiftX = std::max<i64>({0, -x0, -u0});
  const i64 shiftY = std::max<i64>({0, -y0, -v0});
  x0 += shiftX;
  u0 += shiftX;
  w -= shiftX;
  y0 += shiftY;
  v0 += shiftY;
  h -= shiftY;
  w = std::min({w, static_cast<i64>(destination.Width) - x0, static_cast<i64>(source.Width) - u0});
  h = std::min({h, static_cast<i64>(destination.Height) - y0, static_cast<i64>(source.Height) - v0});
  if (w < 0 || h < 0) return kErrInvalidArg;
  const u32 dl = destination.Layout;
  const u32 sl = source.Layout;
  const bool known = (dl == PixelLayout::kBgra8 || dl == PixelLayout::kBgr8) &&
                     (sl == PixelLayout::kBgra8 || sl == PixelLayout::kBgr8);
  if (!known) return kErrMissingObject;
  PixelBuffer::ScopedView destinationView(destination);
  PixelBuffer::ScopedView sourceView(source);
  if (destination.Pixels == nullptr || source.Pixels == nullptr) return kErrMissingObject;
  const i32 k = alpha;
  const i32 ds = destination.BytesPerPixel;
  const i32 ss = source.BytesPerPixel;
  for (i64 row = 0; row < h; ++row) {
    u8* t = destination.Pixels + (y0 + row) * destination.Stride + x0 * ds;
    const u8* s = source.Pixels + (v0 + row) * source.Stride + u0 * ss;
    for (i64 col = 0; col < w; ++col, t += ds, s += ss) {
      if (dl == PixelLayout::kBgra8 && sl == PixelLayout::kBgra8) {
        const i32 sa = s[3];
        if (sa == 0) continue;
        if (k == 255 && sa == 255) {
          CopyBgr(t, s);
          t[3] = 255;
          continue;
        }
        const i32 wgt = k == 255 ? sa + 1 : ((sa + 1) * (k + 1)) >> 8;
        const i32 d = t[3] + 1;
        const i32 o = d - ((d * wgt) >> 8) + wgt;
        for (int c = 0; c < 3; ++c) {
          const i32 value = o != 0 ? (s[c] * wgt - ((t[c] * d * wgt) >> 8) + t[c] * d) / o : t[c];
          t[c] = static_cast<u8>(ClampByte(value));
        }
        t[3] = static_cast<u8>(ClampByte(o - 1));
      } else if (dl == PixelLayout::kBgra8) {  // layout 1 onto 0
        CopyBgr(t, s);
        t[3] = static_cast<u8>(k);
      } else if (sl == PixelLayout::kBgr8) {  // 1 onto 1
        for (int c = 0; c < 3; ++c) {
          t[c] = k == 255 ? s[c] : static_cast<u8>(t[c] + (((s[c] - t[c]) * (k + 1)) >> 8));
        }
      } else {  // 0 onto 1
        const i32 sa = s[3];
        if (sa == 0) continue;
        if (k == 255 && sa == 255) {
          CopyBgr(t, s);
          continue;
        }
        const i32 wgt = k == 255 ? sa + 1 : (sa == 255 ? k + 1 : ((sa + 1) * (k + 1)) >> 8);
        for (int c = 0; c < 3; ++c) t[c] = static_cast<u8>(t[c] + (((s[c] - t[c]) * wgt) >> 8));
      }
    }
  }
  return kOk;
}

int Zoom(const ZoomBlock& source, const ZoomBlock& destination) {
  if (source.pixels == nullptr || destination.pixels == nullptr) return 0;
  if (source.width < 1 || source.height < 1 || destination.width < 1 || destination.height < 1) return 0;
  using namespace Resample;
  // Both pictures work on the blocks in place: the source is only read,
  // and the destination's rows are the ones the caller wants filled.
  auto from = CreateMemoryPicture(source.width, source.height, source.bytesPerPixel, source.pixels,
                                  source.stride, PictureMode::kRead, true);
  auto to = CreateMemoryPicture(destination.width, destination.height, source.bytesPerPixel, destination.pixels,
                                destination.stride, PictureMode::kWrite, true);
  if (!from || !to) return 0;
  SetCoerce(true);
  SetTrimZeros(true);
  const Filter* xFilter = FindFilter("triangle");
  const Filter* yFilter = FindFilter("triangle");
  if (xFilter == nullptr || yFilter == nullptr) {
    // The names are constants of this file: only a broken build gets here.
    std::fprintf(stderr, "can't find filters %s and %s\n", "triangle", "triangle");
    std::exit(1);
  }
  FilterRef xf = xFilter->windowed ? MakeWindowedFilter(xFilter, "blackman") : TableFilter(xFilter);
  FilterRef yf = yFilter->windowed ? MakeWindowedFilter(yFilter, "blackman") : TableFilter(yFilter);
  const Window a{0, 0, source.width - 1, source.height - 1};
  const Window b{0, 0, destination.width - 1, destination.height - 1};
  do {
    ZoomWindow(*from, a, *to, b, *xf, *yf);
  } while (from->NextImage() && to->NextImage());
  CopyBack(*to, destination.pixels, destination.width, destination.height, source.bytesPerPixel,
           destination.stride);
  return 1;
}

}  // namespace PixelBuffer
}  // namespace KT
