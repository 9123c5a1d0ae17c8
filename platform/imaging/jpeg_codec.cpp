#include "platform/imaging/jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <string>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "platform/debug_output.h"

namespace KT::Imaging {

namespace {

// A coded block of 8 x 8 pixels takes at least a few bits; one byte per
// 64 pixels per component is far below any real file, yet bounds what a
// crafted header can make us allocate.
constexpr std::uint64_t kPixelsPerByte = 64 * 64;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  info->err->format_message(info, message);
  Platform::OutputDebugText(std::string("jpeg: ") + message);
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  if (level < 0) {
    char message[JMSG_LENGTH_MAX];
    info->err->format_message(info, message);
    Platform::OutputDebugText(std::string("jpeg warning: ") + message);
  }
}

struct ReadState {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  std::vector<std::uint8_t> row;
  std::vector<std::uint8_t> rgba;
  bool created = false;
  ~ReadState() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool ReadImage(ReadState& s, const std::uint8_t* bytes, std::size_t size, RgbaPixels& image) {
  if (setjmp(s.errors.jump)) return false;
  jpeg_create_decompress(&s.info);
  s.created = true;
  jpeg_mem_src(&s.info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&s.info, TRUE);
  const JDIMENSION width = s.info.image_width;
  const JDIMENSION height = s.info.image_height;
  if (width < 1 || height < 1 || width > static_cast<JDIMENSION>(kMaxImageSide) ||
      height > static_cast<JDIMENSION>(kMaxImageSide) ||
      static_cast<std::uint64_t>(width) * height > static_cast<std::uint64_t>(size) * kPixelsPerByte) {
    Platform::OutputDebugText("jpeg: image size " + std::to_string(width) + " x " + std::to_string(height) + " refused");
    return false;
  }
  const bool cmyk = s.info.jpeg_color_space == JCS_CMYK || s.info.jpeg_color_space == JCS_YCCK;
  // Colour images are decoded by the library straight into the four-byte
  // rows in the order asked for; CMYK ones go through a row of their own.
  s.info.out_color_space = cmyk ? JCS_CMYK : (image.bgr ? JCS_EXT_BGRA : JCS_EXT_RGBA);
  jpeg_start_decompress(&s.info);
  const int components = s.info.output_components;
  if (cmyk) s.row.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(components));
  s.rgba = std::move(image.rgba);  // its capacity serves again
  s.rgba.clear();
  s.rgba.resize(static_cast<std::size_t>(width) * height * 4);
  const int red = image.bgr ? 2 : 0;
  while (s.info.output_scanline < height) {
    const JDIMENSION y = s.info.output_scanline;
    std::uint8_t* out = &s.rgba[static_cast<std::size_t>(y) * width * 4];
    JSAMPROW rows[1] = {cmyk ? s.row.data() : out};
    if (jpeg_read_scanlines(&s.info, rows, 1) != 1) return false;
    if (!cmyk) continue;
    for (JDIMENSION x = 0; x < width; ++x, out += 4) {
      const std::uint8_t* p = &s.row[static_cast<std::size_t>(x) * static_cast<std::size_t>(components)];
      // Adobe files store inverted CMYK: the channels are already
      // "amount of white", so R = C x K / 255 and so on.
      out[red] = static_cast<std::uint8_t>(p[0] * p[3] / 255);
      out[1] = static_cast<std::uint8_t>(p[1] * p[3] / 255);
      out[2 - red] = static_cast<std::uint8_t>(p[2] * p[3] / 255);
      out[3] = 255;
    }
  }
  jpeg_finish_decompress(&s.info);
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.matte = false;
  image.indexed = false;
  if (s.info.saw_JFIF_marker && (s.info.density_unit == 1 || s.info.density_unit == 2)) {
    image.resolutionUnits = s.info.density_unit == 1 ? kResolutionPerInch : kResolutionPerCentimetre;
    image.xResolution = s.info.X_density;
    image.yResolution = s.info.Y_density;
  } else {
    image.resolutionUnits = kResolutionUndefined;
    image.xResolution = image.yResolution = 0;
  }
  image.rgba = std::move(s.rgba);
  return true;
}

struct WriteState {
  jpeg_compress_struct info{};
  ErrorManager errors{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool created = false;
  ~WriteState() {
    if (created) jpeg_destroy_compress(&info);
    std::free(buffer);
  }
};

bool WriteImage(WriteState& s, const RgbaPixels& image, int quality, std::vector<std::uint8_t>& out) {
  if (setjmp(s.errors.jump)) return false;
  jpeg_create_compress(&s.info);
  s.created = true;
  jpeg_mem_dest(&s.info, &s.buffer, &s.size);
  s.info.image_width = static_cast<JDIMENSION>(image.width);
  s.info.image_height = static_cast<JDIMENSION>(image.height);
  // The four-byte rows go to the library as they are; it skips the fourth.
  s.info.input_components = 4;
  s.info.in_color_space = image.bgr ? JCS_EXT_BGRX : JCS_EXT_RGBX;
  jpeg_set_defaults(&s.info);
  jpeg_set_quality(&s.info, quality < 1 ? 1 : (quality > 100 ? 100 : quality), TRUE);
  if (image.resolutionUnits != kResolutionUndefined) {
    auto density = [](double v) {
      return static_cast<UINT16>(v >= 0 && v <= 65535 ? static_cast<int>(v + 0.5) : 0);
    };
    s.info.density_unit = image.resolutionUnits == kResolutionPerInch ? 1 : 2;
    s.info.X_density = density(image.xResolution);
    s.info.Y_density = density(image.yResolution);
  }
  jpeg_start_compress(&s.info, TRUE);
  // The library takes non-const rows but only reads them when writing.
  auto* pixels = const_cast<std::uint8_t*>(image.rgba.data());
  while (s.info.next_scanline < s.info.image_height) {
    JSAMPROW rows[1] = {pixels + static_cast<std::size_t>(s.info.next_scanline) * static_cast<std::size_t>(image.width) * 4};
    jpeg_write_scanlines(&s.info, rows, 1);
  }
  jpeg_finish_compress(&s.info);
  out.assign(s.buffer, s.buffer + s.size);
  return true;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image) {
  if (bytes == nullptr || size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  ReadState s;
  s.info.err = jpeg_std_error(&s.errors.base);
  s.errors.base.error_exit = OnError;
  s.errors.base.emit_message = OnMessage;
  return ReadImage(s, bytes, size, image);
}

bool EncodeJpeg(const RgbaPixels& image, int quality, std::vector<std::uint8_t>& out) {
  if (image.width < 1 || image.height < 1 || image.width > 65500 || image.height > 65500 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4) {
    return false;
  }
  WriteState s;
  s.info.err = jpeg_std_error(&s.errors.base);
  s.errors.base.error_exit = OnError;
  s.errors.base.emit_message = OnMessage;
  return WriteImage(s, image, quality, out);
}

}  // namespace KT::Imaging
