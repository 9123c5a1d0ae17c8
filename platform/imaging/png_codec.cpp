#include "platform/imaging/png_codec.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <cstring>

#include "platform/debug_output.h"

namespace KT::Imaging {

namespace {

// Deflate produces at most about 1032 bytes per input byte.
constexpr std::uint64_t kMaxInflation = 1040;

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->at) png_error(png, "read past the end of the data");
  std::memcpy(out, reader->bytes + reader->at, count);
  reader->at += count;
}

void WriteToMemory(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}

void FlushNothing(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
  Platform::OutputDebugText(std::string("png: ") + message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp message) {
  Platform::OutputDebugText(std::string("png warning: ") + message);
}

// The state that lives across the library's error return: set up before
// setjmp, so nothing in it is a local modified after it.
struct ReadState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<std::uint8_t> rgba;
  std::vector<png_bytep> rows;
  ~ReadState() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

bool ReadImage(ReadState& s, MemoryReader& reader, RgbaPixels& image) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_read_fn(s.png, &reader, ReadFromMemory);
  png_set_user_limits(s.png, kMaxImageSide, kMaxImageSide);
  png_read_info(s.png, s.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0;
  png_get_IHDR(s.png, s.info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
  const bool hasTrns = png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
  const bool matte = (colour & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;
  // The raw rows must be producible from the bytes present.
  const int channels = png_get_channels(s.png, s.info);
  const std::uint64_t rawBytes = static_cast<std::uint64_t>(width) * height * static_cast<std::uint64_t>(channels) *
                                 static_cast<std::uint64_t>(depth) / 8;
  if (rawBytes > static_cast<std::uint64_t>(reader.size) * kMaxInflation) png_error(s.png, "image larger than its data");
  png_set_expand(s.png);
  png_set_strip_16(s.png);
  png_set_gray_to_rgb(s.png);
  png_set_add_alpha(s.png, 0xFF, PNG_FILLER_AFTER);
  if (image.bgr) png_set_bgr(s.png);
  png_set_interlace_handling(s.png);
  png_read_update_info(s.png, s.info);
  if (png_get_rowbytes(s.png, s.info) != static_cast<png_size_t>(width) * 4) png_error(s.png, "unexpected row size");
  s.rgba = std::move(image.rgba);  // its capacity serves again
  s.rgba.clear();
  s.rgba.resize(static_cast<std::size_t>(width) * height * 4);
  s.rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) s.rows[y] = &s.rgba[static_cast<std::size_t>(y) * width * 4];
  png_read_image(s.png, s.rows.data());
  png_read_end(s.png, nullptr);
  png_uint_32 xRes = 0, yRes = 0;
  int unit = 0;
  image.resolutionUnits = kResolutionUndefined;
  image.xResolution = image.yResolution = 0;
  if (png_get_pHYs(s.png, s.info, &xRes, &yRes, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
    image.resolutionUnits = kResolutionPerCentimetre;
    image.xResolution = xRes / 100.0;
    image.yResolution = yRes / 100.0;
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.matte = matte;
  image.indexed = colour == PNG_COLOR_TYPE_PALETTE;
  image.rgba = std::move(s.rgba);
  return true;
}

struct WriteState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<png_bytep> rows;
  ~WriteState() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
};

bool WriteImage(WriteState& s, const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_write_fn(s.png, &out, WriteToMemory, FlushNothing);
  png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (image.resolutionUnits != kResolutionUndefined) {
    const double scale = image.resolutionUnits == kResolutionPerCentimetre ? 100.0 : 100.0 / 2.54;
    auto perMetre = [scale](double v) {
      const double m = std::floor(v * scale + 0.5);
      return static_cast<png_uint_32>(m >= 0 && m <= 2147483647.0 ? m : 0);
    };
    png_set_pHYs(s.png, s.info, perMetre(image.xResolution), perMetre(image.yResolution), PNG_RESOLUTION_METER);
  }
  png_write_info(s.png, s.info);
  // The rows are handed over as they are: an image without alpha has its
  // fourth byte stripped by the library, B, G, R rows are swapped by it.
  if (!withAlpha) png_set_filler(s.png, 0, PNG_FILLER_AFTER);
  if (image.bgr) png_set_bgr(s.png);
  const std::size_t width = static_cast<std::size_t>(image.width);
  s.rows.resize(static_cast<std::size_t>(image.height));
  // libpng takes non-const rows but only reads them when writing.
  auto* pixels = const_cast<std::uint8_t*>(image.rgba.data());
  for (std::size_t y = 0; y < s.rows.size(); ++y) s.rows[y] = pixels + y * width * 4;
  png_write_image(s.png, s.rows.data());
  png_write_end(s.png, nullptr);
  return true;
}

}  // namespace

bool IsPng(const std::uint8_t* bytes, std::size_t size) {
  return bytes != nullptr && size >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

bool DecodePng(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image) {
  if (!IsPng(bytes, size)) return false;
  ReadState s;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (s.png == nullptr) return false;
  s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) return false;
  MemoryReader reader{bytes, size, 0};
  return ReadImage(s, reader, image);
}

bool EncodePng(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out) {
  if (image.width < 1 || image.height < 1 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4) {
    return false;
  }
  WriteState s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (s.png == nullptr) return false;
  s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) return false;
  out.clear();
  return WriteImage(s, image, withAlpha, out);
}

}  // namespace KT::Imaging
