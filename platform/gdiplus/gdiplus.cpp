#include "platform/gdiplus/gdiplus.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_set>

#include "platform/imaging/bmp_codec.h"
#include "platform/imaging/gif_codec.h"
#include "platform/imaging/jpeg_codec.h"
#include "platform/imaging/png_codec.h"
#include "platform/imaging/tiff_codec.h"

namespace KT::Gdiplus {

class GpBitmap {
 public:
  int width = 0;
  int height = 0;
  PixelFormat format = PixelFormat24bppRGB;
  RawFormat raw = RawFormat::kMemoryBmp;
  // B, G, R, A per pixel, rows packed; for 32bppRGB the fourth byte as
  // stored. Locking in the same form hands these rows out directly.
  std::vector<std::uint8_t> bgra;
  std::vector<std::uint8_t> locked;
  bool isLocked = false;
};

namespace {

using Imaging::RgbaPixels;

int g_startups = 0;

enum EncoderId : std::uint32_t { kBmpEncoder = 1, kJpegEncoder, kGifEncoder, kTiffEncoder, kPngEncoder };

const ImageCodecInfo kEncoders[] = {
    {kBmpEncoder, u"Built-in BMP Codec", u"BMP", u"*.BMP;*.DIB;*.RLE", u"image/bmp"},
    {kJpegEncoder, u"Built-in JPEG Codec", u"JPEG", u"*.JPG;*.JPEG;*.JPE;*.JFIF", u"image/jpeg"},
    {kGifEncoder, u"Built-in GIF Codec", u"GIF", u"*.GIF", u"image/gif"},
    {kTiffEncoder, u"Built-in TIFF Codec", u"TIFF", u"*.TIF;*.TIFF", u"image/tiff"},
    {kPngEncoder, u"Built-in PNG Codec", u"PNG", u"*.PNG", u"image/png"},
};
constexpr std::uint32_t kEncoderCount = sizeof kEncoders / sizeof kEncoders[0];

bool Started() { return g_startups > 0; }

std::uint32_t Get16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

bool Is32BitRgbBmp(const std::uint8_t* b, std::size_t n) {
  return n >= 34 && b[0] == 'B' && b[1] == 'M' && Get16(b + 28) == 32 && Get32(b + 30) == 0;
}

// The first frame of a GIF placed on its logical screen; the screen
// outside the frame is transparent.
RgbaPixels FirstFrameOnScreen(Imaging::GifAnimation& animation) {
  Imaging::GifFrame& frame = animation.frames.front();
  const int right = frame.left + frame.image.width;
  const int bottom = frame.top + frame.image.height;
  const int width = std::min(std::max(animation.screenWidth, right), Imaging::kMaxImageSide);
  const int height = std::min(std::max(animation.screenHeight, bottom), Imaging::kMaxImageSide);
  if (frame.left == 0 && frame.top == 0 && width == frame.image.width && height == frame.image.height) {
    return std::move(frame.image);
  }
  RgbaPixels screen;
  screen.width = width;
  screen.height = height;
  screen.matte = true;
  screen.indexed = true;
  screen.rgba.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  for (int y = 0; y < frame.image.height && frame.top + y < height; ++y) {
    const int count = std::min(frame.image.width, width - frame.left);
    if (count <= 0) break;
    std::memcpy(&screen.rgba[(static_cast<std::size_t>(frame.top + y) * width + frame.left) * 4],
                &frame.image.rgba[static_cast<std::size_t>(y) * frame.image.width * 4],
                static_cast<std::size_t>(count) * 4);
  }
  return screen;
}

bool Decode(const std::uint8_t* b, std::size_t n, GpBitmap& bitmap) {
  RgbaPixels p;
  p.rgba = Imaging::TakeSpareBlock();
  p.bgr = true;  // asked of the codecs that can deliver the bitmap's own order
  bool ok = false;
  if (Imaging::IsPng(b, n)) {
    ok = Imaging::DecodePng(b, n, p), bitmap.raw = RawFormat::kPng;
  } else if (Imaging::IsGif(b, n)) {
    Imaging::GifAnimation animation;
    ok = Imaging::DecodeGif(b, n, animation), bitmap.raw = RawFormat::kGif;
    if (ok) p = FirstFrameOnScreen(animation);
  } else if (Imaging::IsTiff(b, n)) {
    ok = Imaging::DecodeTiff(b, n, p), bitmap.raw = RawFormat::kTiff;
  } else if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
    ok = Imaging::DecodeJpeg(b, n, p), bitmap.raw = RawFormat::kJpeg;
  } else if (n >= 2 && b[0] == 'B' && b[1] == 'M') {
    ok = Imaging::DecodeBmp(b, n, p), bitmap.raw = RawFormat::kBmp;
  }
  if (!ok) {
    Imaging::KeepSpareBlock(std::move(p.rgba));
    return false;
  }
  bitmap.width = p.width;
  bitmap.height = p.height;
  if (bitmap.raw == RawFormat::kBmp && Is32BitRgbBmp(b, n)) {
    // The BMP reader makes fourth bytes that are all 0 opaque; the format
    // keeps them as stored.
    bitmap.format = PixelFormat32bppRGB;
    if (!p.matte) {
      for (std::size_t i = 3; i < p.rgba.size(); i += 4) p.rgba[i] = 0;
    }
  } else if (p.indexed) {
    bitmap.format = PixelFormat8bppIndexed | (p.matte ? PixelFormatAlpha : 0);
  } else {
    bitmap.format = p.matte ? PixelFormat32bppARGB : PixelFormat24bppRGB;
  }
  if (!p.bgr) {
    for (std::size_t i = 0; i < p.rgba.size(); i += 4) std::swap(p.rgba[i], p.rgba[i + 2]);
  }
  bitmap.bgra = std::move(p.rgba);
  return true;
}

int BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat24bppRGB: return 3;
    case PixelFormat32bppRGB:
    case PixelFormat32bppARGB: return 4;
    default: return 0;
  }
}

}  // namespace

Status GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void*) {
  if (token == nullptr || input == nullptr) return InvalidParameter;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  ++g_startups;
  *token = static_cast<std::uintptr_t>(g_startups);
  return Ok;
}

void GdiplusShutdown(std::uintptr_t) {
  if (g_startups > 0) --g_startups;
}

int GdiplusStartupCount() { return g_startups; }

Status GdipCreateBitmapFromStream(const CBuffer<char>& stream, GpBitmap** bitmap) {
  if (!Started()) return GdiplusNotInitialized;
  if (bitmap == nullptr) return InvalidParameter;
  *bitmap = nullptr;
  auto* b = new (std::nothrow) GpBitmap;
  if (b == nullptr) return OutOfMemory;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.GetData());
  if (bytes == nullptr || !Decode(bytes, stream.GetCount(), *b)) {
    delete b;
    return UnknownImageFormat;
  }
  *bitmap = b;
  return Ok;
}

Status GdipCreateBitmapFromScan0(int width, int height, int stride, PixelFormat format, const std::uint8_t* scan0,
                                 GpBitmap** bitmap) {
  if (!Started()) return GdiplusNotInitialized;
  if (bitmap == nullptr) return InvalidParameter;
  *bitmap = nullptr;
  const int bpp = BytesPerPixel(format);
  if (scan0 == nullptr || bpp == 0 || width < 1 || height < 1 || width > Imaging::kMaxImageSide ||
      height > Imaging::kMaxImageSide || stride < width * bpp) {
    return InvalidParameter;
  }
  auto* b = new (std::nothrow) GpBitmap;
  if (b == nullptr) return OutOfMemory;
  b->width = width;
  b->height = height;
  b->format = format;
  try {
    b->bgra = Imaging::TakeSpareBlock();
    b->bgra.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  } catch (const std::bad_alloc&) {
    delete b;
    return OutOfMemory;
  }
  std::uint8_t* o = b->bgra.data();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* p = scan0 + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    if (format == PixelFormat32bppARGB) {
      std::memcpy(o, p, static_cast<std::size_t>(width) * 4);
      o += static_cast<std::size_t>(width) * 4;
      continue;
    }
    for (int x = 0; x < width; ++x, p += bpp, o += 4) {
      o[0] = p[0];
      o[1] = p[1];
      o[2] = p[2];
      o[3] = 255;
    }
  }
  *bitmap = b;
  return Ok;
}

Status GdipDisposeImage(GpImage* image) {
  if (image == nullptr) return InvalidParameter;
  Imaging::KeepSpareBlock(std::move(image->bgra));
  delete image;
  return Ok;
}

Status GdipGetImagePixelFormat(GpImage* image, PixelFormat* format) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || format == nullptr) return InvalidParameter;
  *format = image->format;
  return Ok;
}

Status GdipGetImageRawFormat(GpImage* image, RawFormat* format) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || format == nullptr) return InvalidParameter;
  *format = image->raw;
  return Ok;
}

Status GdipGetImageWidth(GpImage* image, std::uint32_t* width) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || width == nullptr) return InvalidParameter;
  *width = static_cast<std::uint32_t>(image->width);
  return Ok;
}

Status GdipGetImageHeight(GpImage* image, std::uint32_t* height) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || height == nullptr) return InvalidParameter;
  *height = static_cast<std::uint32_t>(image->height);
  return Ok;
}

namespace {

void CollectPalette(const GpBitmap& image, ColorPalette& palette) {
  palette = ColorPalette{};
  if ((image.format & PixelFormatIndexed) == 0) return;
  std::unordered_set<std::uint32_t> seen;
  std::uint32_t last = 0;
  for (std::size_t i = 0; i < image.bgra.size() && palette.Count < 256; i += 4) {
    const std::uint8_t* p = &image.bgra[i];
    const std::uint32_t argb = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (p[1] << 8) | p[0];
    if ((i != 0 && argb == last) || !seen.insert(argb).second) continue;
    last = argb;
    palette.Entries[palette.Count++] = argb;
  }
}

}  // namespace

Status GdipGetImagePaletteSize(GpImage* image, int* size) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || size == nullptr) return InvalidParameter;
  ColorPalette palette;
  CollectPalette(*image, palette);
  *size = static_cast<int>(8 + 4 * palette.Count);
  return Ok;
}

Status GdipGetImagePalette(GpImage* image, ColorPalette* palette, int size) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || palette == nullptr) return InvalidParameter;
  ColorPalette collected;
  CollectPalette(*image, collected);
  if (size < static_cast<int>(8 + 4 * collected.Count)) return InvalidParameter;
  *palette = collected;
  return Ok;
}

Status GdipBitmapLockBits(GpBitmap* bitmap, const Rect* rect, std::uint32_t flags, PixelFormat format,
                          BitmapData* locked) {
  if (!Started()) return GdiplusNotInitialized;
  if (bitmap == nullptr || locked == nullptr || (flags & ImageLockModeRead) == 0) return InvalidParameter;
  const int bpp = BytesPerPixel(format);
  if (bpp == 0) return NotImplemented;
  if (bitmap->isLocked) return WrongState;
  const Rect area = rect != nullptr ? *rect : Rect{0, 0, bitmap->width, bitmap->height};
  if (area.X < 0 || area.Y < 0 || area.Width < 1 || area.Height < 1 || area.Width > bitmap->width - area.X ||
      area.Height > bitmap->height - area.Y) {
    return InvalidParameter;
  }
  // A 32bppRGB bitmap has no alpha: locked as ARGB it is opaque.
  const bool opaque = bitmap->format == PixelFormat32bppRGB || (bitmap->format & PixelFormatAlpha) == 0;
  const bool whole = area.X == 0 && area.Y == 0 && area.Width == bitmap->width && area.Height == bitmap->height;
  // The stored rows serve as they are when the lock asks for their form.
  const bool userBuffer = (flags & ImageLockModeUserInputBuf) != 0;
  if (userBuffer && (locked->Scan0 == nullptr || locked->Stride < area.Width * bpp)) return InvalidParameter;
  const bool direct = !userBuffer && whole &&
                      ((format == PixelFormat32bppARGB && !opaque) ||
                       (format == PixelFormat32bppRGB && bitmap->format == PixelFormat32bppRGB));
  int stride = userBuffer ? locked->Stride : bitmap->width * 4;
  std::uint8_t* into = userBuffer ? static_cast<std::uint8_t*>(locked->Scan0) : nullptr;
  if (!direct) {
    if (!userBuffer) {
      stride = (area.Width * bpp + 3) & ~3;
      try {
        bitmap->locked.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(area.Height), 0);
      } catch (const std::bad_alloc&) {
        return OutOfMemory;
      }
      into = bitmap->locked.data();
    }
    for (int y = 0; y < area.Height; ++y) {
      const std::uint8_t* p =
          &bitmap->bgra[(static_cast<std::size_t>(area.Y + y) * bitmap->width + static_cast<std::size_t>(area.X)) * 4];
      std::uint8_t* o = into + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
      if (bpp == 4 && (format == PixelFormat32bppARGB ? !opaque : bitmap->format == PixelFormat32bppRGB)) {
        std::memcpy(o, p, static_cast<std::size_t>(area.Width) * 4);  // stored as asked
        continue;
      }
      for (int x = 0; x < area.Width; ++x, p += 4, o += bpp) {
        o[0] = p[0];
        o[1] = p[1];
        o[2] = p[2];
        if (format == PixelFormat32bppARGB) o[3] = opaque ? 255 : p[3];
        if (format == PixelFormat32bppRGB) o[3] = bitmap->format == PixelFormat32bppRGB ? p[3] : 255;
      }
    }
  }
  bitmap->isLocked = true;
  locked->Width = static_cast<std::uint32_t>(area.Width);
  locked->Height = static_cast<std::uint32_t>(area.Height);
  locked->Stride = stride;
  locked->PixelFormat = format;
  locked->Scan0 = direct ? static_cast<void*>(bitmap->bgra.data()) : static_cast<void*>(into);
  return Ok;
}

Status GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* locked) {
  if (!Started()) return GdiplusNotInitialized;
  if (bitmap == nullptr || locked == nullptr) return InvalidParameter;
  if (!bitmap->isLocked) return WrongState;
  bitmap->isLocked = false;
  bitmap->locked.clear();
  bitmap->locked.shrink_to_fit();
  return Ok;
}

Status GdipGetImageEncodersSize(std::uint32_t* count, std::uint32_t* size) {
  if (!Started()) return GdiplusNotInitialized;
  if (count == nullptr || size == nullptr) return InvalidParameter;
  *count = kEncoderCount;
  *size = static_cast<std::uint32_t>(sizeof kEncoders);
  return Ok;
}

Status GdipGetImageEncoders(std::uint32_t count, std::uint32_t size, ImageCodecInfo* encoders) {
  if (!Started()) return GdiplusNotInitialized;
  if (encoders == nullptr || count != kEncoderCount || size < sizeof kEncoders) return InvalidParameter;
  std::copy(std::begin(kEncoders), std::end(kEncoders), encoders);
  return Ok;
}

Status GdipSaveImageToStream(GpImage* image, CBuffer<char>& stream, const std::uint32_t* clsid,
                             const EncoderParameters* parameters) {
  if (!Started()) return GdiplusNotInitialized;
  if (image == nullptr || clsid == nullptr) return InvalidParameter;
  int quality = 75;
  for (std::uint32_t i = 0; parameters != nullptr && i < parameters->Count && i < 1; ++i) {
    const EncoderParameter& p = parameters->Parameter[i];
    if (p.Guid == EncoderQuality && p.NumberOfValues == 1 && p.Value != nullptr) {
      quality = static_cast<int>(std::min<std::uint32_t>(*static_cast<const std::uint32_t*>(p.Value), 100));
    }
  }
  if (image->isLocked) return WrongState;
  if (*clsid < kBmpEncoder || *clsid > kPngEncoder) return InvalidParameter;
  const bool alpha = image->format == PixelFormat32bppARGB ||
                     ((image->format & PixelFormatIndexed) != 0 && (image->format & PixelFormatAlpha) != 0);
  // The bitmap's own rows are lent to the encoder and given back as they
  // were. The JPEG and PNG encoders read B, G, R, A and skip the fourth
  // byte of an image without alpha themselves; the others read R, G, B, A
  // with an opaque fourth byte, so the rows are swapped for them and back.
  const bool ownOrder = *clsid == kJpegEncoder || *clsid == kPngEncoder;
  RgbaPixels p;
  p.width = image->width;
  p.height = image->height;
  p.matte = alpha;
  p.bgr = ownOrder;
  p.rgba = std::move(image->bgra);
  std::vector<std::uint8_t> fourth;
  if (!ownOrder) {
    for (std::size_t i = 0; i < p.rgba.size(); i += 4) std::swap(p.rgba[i], p.rgba[i + 2]);
    if (!alpha) {
      // A 32bppRGB bitmap's stored fourth bytes are kept aside.
      if (image->format == PixelFormat32bppRGB) {
        fourth.reserve(p.rgba.size() / 4);
        for (std::size_t i = 3; i < p.rgba.size(); i += 4) fourth.push_back(p.rgba[i]);
      }
      for (std::size_t i = 3; i < p.rgba.size(); i += 4) p.rgba[i] = 255;
    }
  }
  std::vector<std::uint8_t> out = Imaging::TakeSpareBlock();
  bool ok = false;
  switch (*clsid) {
    case kBmpEncoder: ok = Imaging::EncodeBmp(p, alpha, out); break;
    case kJpegEncoder: ok = Imaging::EncodeJpeg(p, std::max(quality, 1), out); break;
    case kGifEncoder: ok = Imaging::EncodeGif(p, alpha, out); break;
    case kTiffEncoder: ok = Imaging::EncodeTiff(p, alpha, out); break;
    case kPngEncoder: ok = Imaging::EncodePng(p, alpha, out); break;
    default: break;
  }
  for (std::size_t i = 0; i < fourth.size(); ++i) p.rgba[i * 4 + 3] = fourth[i];
  if (!ownOrder) {
    for (std::size_t i = 0; i < p.rgba.size(); i += 4) std::swap(p.rgba[i], p.rgba[i + 2]);
  }
  image->bgra = std::move(p.rgba);
  Status status = Ok;
  if (!ok || out.size() > 0xFFFFFFFFu) {
    status = GenericError;
  } else if (Failed(stream.Create(static_cast<u32>(out.size()), reinterpret_cast<const char*>(out.data())))) {
    status = OutOfMemory;
  }
  Imaging::KeepSpareBlock(std::move(out));
  return status;
}

}  // namespace KT::Gdiplus
