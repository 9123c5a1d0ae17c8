#include "platform/imaging/imgrt.h"

#include <stb_image_resize.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/imaging/bmp_codec.h"
#include "platform/imaging/gif_codec.h"
#include "platform/imaging/jpeg_codec.h"
#include "platform/imaging/png_codec.h"
#include "platform/imaging/tga_codec.h"
#include "platform/imaging/tiff_codec.h"

namespace KT::Imgrt {

namespace {

using Imaging::RgbaPixels;

constexpr int kDefaultQuality = 75;

bool IsBmp(const std::uint8_t* b, std::size_t n) { return n >= 2 && b[0] == 'B' && b[1] == 'M'; }
bool IsJpeg(const std::uint8_t* b, std::size_t n) { return n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF; }

Image* FromPixels(RgbaPixels&& p) {
  auto* image = new (std::nothrow) Image;
  if (image == nullptr) return nullptr;
  image->columns = p.width;
  image->rows = p.height;
  image->matte = p.matte;
  image->units = static_cast<ResolutionType>(p.resolutionUnits);
  image->xResolution = p.xResolution;
  image->yResolution = p.yResolution;
  image->rgba = std::move(p.rgba);
  return image;
}

Image* FramesToImages(Imaging::GifAnimation&& animation) {
  Image* first = nullptr;
  Image** link = &first;
  for (Imaging::GifFrame& frame : animation.frames) {
    Image* image = FromPixels(std::move(frame.image));
    if (image == nullptr) {
      DestroyImages(first);
      return nullptr;
    }
    image->delay = frame.delay;
    image->pageX = frame.left;
    image->pageY = frame.top;
    image->dispose = frame.disposal;
    std::memcpy(image->background, animation.background, 3);
    std::strcpy(image->format, "GIF");
    *link = image;
    link = &image->next;
  }
  return first;
}

// The channel index (0 R, 1 G, 2 B, 3 A) of each letter of a map, or false
// for an empty map, one longer than 4 or an unknown letter.
bool ParseMap(const char* map, int channels[4], int& count) {
  if (map == nullptr) return false;
  count = 0;
  for (const char* c = map; *c != 0; ++c) {
    if (count == 4) return false;
    switch (*c) {
      case 'R': channels[count++] = 0; break;
      case 'G': channels[count++] = 1; break;
      case 'B': channels[count++] = 2; break;
      case 'A': channels[count++] = 3; break;
      default: return false;
    }
  }
  return count > 0;
}

bool EncodeAs(std::string_view format, const ImageInfo* info, const RgbaPixels& p, std::vector<std::uint8_t>& out) {
  if (format == "BMP") return Imaging::EncodeBmp(p, p.matte, out);
  if (format == "JPEG" || format == "JPG") {
    const int quality = info != nullptr && info->quality > 0 ? info->quality : kDefaultQuality;
    return Imaging::EncodeJpeg(p, quality > 100 ? 100 : quality, out);
  }
  if (format == "PNG" || format == "MNG") return Imaging::EncodePng(p, p.matte, out);
  if (format == "TGA") return Imaging::EncodeTga(p, p.matte, out);
  if (format == "GIF") return Imaging::EncodeGif(p, p.matte, out);
  if (format == "TIFF" || format == "TIF") return Imaging::EncodeTiff(p, p.matte, out);
  return false;
}

// The encoders read RgbaPixels: the image's pixels are lent to them and
// given back, so the image ends as it was (every image is made non-const
// by this library).
bool Encode(std::string_view format, const ImageInfo* info, const Image& image, std::vector<std::uint8_t>& out) {
  Image& lent = const_cast<Image&>(image);
  RgbaPixels p;
  p.width = image.columns;
  p.height = image.rows;
  p.matte = image.matte;
  p.resolutionUnits = image.units;
  p.xResolution = image.xResolution;
  p.yResolution = image.yResolution;
  p.rgba = std::move(lent.rgba);
  const bool ok = EncodeAs(format, info, p, out);
  lent.rgba = std::move(p.rgba);
  return ok;
}

}  // namespace

void* AllocateMemory(std::size_t size) { return size == 0 ? nullptr : std::calloc(1, size); }
void FreeMemory(void* block) { std::free(block); }

void GetImageInfo(ImageInfo* info) {
  if (info == nullptr) return;
  std::memset(info, 0, sizeof *info);
  info->quality = kDefaultQuality;
}

void DestroyImageInfo(ImageInfo* info) { FreeMemory(info); }

Image* BlobToImage(const ImageInfo* info, const void* blob, std::size_t length) {
  if (info == nullptr || blob == nullptr || length == 0) return nullptr;
  const auto* bytes = static_cast<const std::uint8_t*>(blob);
  RgbaPixels p;
  p.rgba = Imaging::TakeSpareBlock();
  const char* name = nullptr;
  bool ok = false;
  if (Imaging::IsGif(bytes, length)) {
    Imaging::GifAnimation animation;
    return Imaging::DecodeGif(bytes, length, animation) ? FramesToImages(std::move(animation)) : nullptr;
  } else if (Imaging::IsPng(bytes, length)) {
    ok = Imaging::DecodePng(bytes, length, p), name = "PNG";
  } else if (IsJpeg(bytes, length)) {
    ok = Imaging::DecodeJpeg(bytes, length, p), name = "JPEG";
  } else if (Imaging::IsTiff(bytes, length)) {
    ok = Imaging::DecodeTiff(bytes, length, p), name = "TIFF";
  } else if (IsBmp(bytes, length)) {
    ok = Imaging::DecodeBmp(bytes, length, p), name = "BMP";
  } else if (std::string_view(info->format, strnlen(info->format, kMaxFormatName)) == "TGA") {
    ok = Imaging::DecodeTga(bytes, length, p), name = "TGA";
  }
  if (!ok) {
    Imaging::KeepSpareBlock(std::move(p.rgba));
    return nullptr;
  }
  Image* image = FromPixels(std::move(p));
  if (image != nullptr) std::strcpy(image->format, name);
  return image;
}

bool TransformRGBImage(Image* image, ColorspaceType colorspace) {
  if (image == nullptr || colorspace != kRGBColorspace) return false;
  image->colorspace = kRGBColorspace;
  return true;
}

bool GetPixels(const Image* image, int x, int y, int columns, int rows, const char* map, int type, void* pixels) {
  int channels[4];
  int count = 0;
  if (image == nullptr || pixels == nullptr || type != kCharPixel || !ParseMap(map, channels, count)) return false;
  if (x < 0 || y < 0 || columns < 1 || rows < 1 || columns > image->columns - x || rows > image->rows - y) return false;
  auto* out = static_cast<std::uint8_t*>(pixels);
  const std::size_t width = static_cast<std::size_t>(image->columns);
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* p = &image->rgba[(static_cast<std::size_t>(y + r) * width + static_cast<std::size_t>(x)) * 4];
    if (count == 4 && channels[0] == 2 && channels[1] == 1 && channels[2] == 0 && channels[3] == 3) {
      for (int c = 0; c < columns; ++c, p += 4, out += 4) {  // "BGRA", the common case
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
        out[3] = p[3];
      }
      continue;
    }
    if (count == 3 && channels[0] == 2 && channels[1] == 1 && channels[2] == 0) {
      for (int c = 0; c < columns; ++c, p += 4, out += 3) {  // "BGR"
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
      }
      continue;
    }
    for (int c = 0; c < columns; ++c, p += 4) {
      for (int k = 0; k < count; ++k) *out++ = p[channels[k]];
    }
  }
  return true;
}

Image* CreateImage(int columns, int rows, const char* map, int type, const void* pixels) {
  int channels[4];
  int count = 0;
  if (pixels == nullptr || type != kCharPixel || !ParseMap(map, channels, count)) return nullptr;
  if (columns < 1 || rows < 1 || columns > Imaging::kMaxImageSide || rows > Imaging::kMaxImageSide) return nullptr;
  auto* image = new (std::nothrow) Image;
  if (image == nullptr) return nullptr;
  image->columns = columns;
  image->rows = rows;
  const std::size_t total = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
  try {
    image->rgba = Imaging::TakeSpareBlock();
    image->rgba.resize(total * 4);
  } catch (const std::bad_alloc&) {
    delete image;
    return nullptr;
  }
  const auto* in = static_cast<const std::uint8_t*>(pixels);
  std::uint8_t* o = image->rgba.data();
  const bool bgr = count >= 3 && channels[0] == 2 && channels[1] == 1 && channels[2] == 0;
  if (bgr && count == 4 && channels[3] == 3) {
    for (std::size_t i = 0; i < total; ++i, o += 4, in += 4) {  // "BGRA", the common case
      o[0] = in[2];
      o[1] = in[1];
      o[2] = in[0];
      o[3] = in[3];
    }
  } else if (bgr && count == 3) {
    for (std::size_t i = 0; i < total; ++i, o += 4, in += 3) {  // "BGR"
      o[0] = in[2];
      o[1] = in[1];
      o[2] = in[0];
      o[3] = 255;
    }
  } else {
    std::fill(image->rgba.begin(), image->rgba.end(), std::uint8_t{255});
    for (std::size_t i = 0; i < total; ++i, o += 4) {
      for (int k = 0; k < count; ++k) o[channels[k]] = *in++;
    }
  }
  for (int k = 0; k < count; ++k) image->matte = image->matte || channels[k] == 3;
  return image;
}

void* ImageToBlob(const ImageInfo* info, const Image* image, std::size_t* length) {
  if (length != nullptr) *length = 0;
  if (image == nullptr || length == nullptr) return nullptr;
  std::string_view format = info != nullptr ? std::string_view(info->format, strnlen(info->format, kMaxFormatName)) : "";
  if (format.empty()) format = image->format;
  std::vector<std::uint8_t> out = Imaging::TakeSpareBlock();
  void* block = nullptr;
  if (Encode(format, info, *image, out) && !out.empty()) {
    block = std::malloc(out.size());  // FreeMemory releases it; every byte is written below
    if (block != nullptr) {
      std::memcpy(block, out.data(), out.size());
      *length = out.size();
    }
  }
  Imaging::KeepSpareBlock(std::move(out));
  return block;
}

Image* ZoomImage(const Image* image, int columns, int rows) {
  if (image == nullptr || image->rgba.empty() || columns < 1 || rows < 1 || columns > Imaging::kMaxImageSide ||
      rows > Imaging::kMaxImageSide) {
    return nullptr;
  }
  auto* zoomed = new (std::nothrow) Image;
  if (zoomed == nullptr) return nullptr;
  zoomed->columns = columns;
  zoomed->rows = rows;
  zoomed->matte = image->matte;
  zoomed->units = image->units;
  zoomed->xResolution = image->xResolution;
  zoomed->yResolution = image->yResolution;
  try {
    zoomed->rgba = Imaging::TakeSpareBlock();
    zoomed->rgba.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) * 4);
  } catch (const std::bad_alloc&) {
    delete zoomed;
    return nullptr;
  }
  // Alpha weights the colours while they are filtered, so transparent
  // pixels do not bleed their colour into opaque neighbours.
  if (stbir_resize_uint8_generic(image->rgba.data(), image->columns, image->rows, 0, zoomed->rgba.data(), columns, rows,
                                 0, 4, 3, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR,
                                 nullptr) == 0) {
    delete zoomed;
    return nullptr;
  }
  return zoomed;
}

void DestroyImages(Image* image) {
  while (image != nullptr) {
    Image* next = image->next;
    Imaging::KeepSpareBlock(std::move(image->rgba));
    delete image;
    image = next;
  }
}

}  // namespace KT::Imgrt
