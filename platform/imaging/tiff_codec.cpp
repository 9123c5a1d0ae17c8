#include "platform/imaging/tiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/debug_output.h"

namespace KT::Imaging {

namespace {

// LZW and deflate expand a byte to at most a few thousand; bounds what a
// crafted header can make us allocate.
constexpr std::uint64_t kMaxPixelsPerByte = 4096;

// Bytes in memory seen as a file: reads from `bytes`, writes into `out`.
struct MemoryFile {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  std::vector<std::uint8_t>* out = nullptr;
  std::uint64_t at = 0;
  std::size_t Size() const { return out != nullptr ? out->size() : size; }
};

tmsize_t Read(thandle_t h, void* buffer, tmsize_t count) {
  auto* f = static_cast<MemoryFile*>(h);
  if (count <= 0 || f->at >= f->Size()) return 0;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(count), f->Size() - f->at));
  const std::uint8_t* from = f->out != nullptr ? f->out->data() : f->bytes;
  std::memcpy(buffer, from + f->at, n);
  f->at += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t Write(thandle_t h, void* buffer, tmsize_t count) {
  auto* f = static_cast<MemoryFile*>(h);
  if (f->out == nullptr || count < 0) return -1;
  const std::uint64_t end = f->at + static_cast<std::uint64_t>(count);
  if (end > 0xFFFFFFFFu) return -1;
  if (end > f->out->size()) f->out->resize(static_cast<std::size_t>(end));
  std::memcpy(f->out->data() + f->at, buffer, static_cast<std::size_t>(count));
  f->at = end;
  return count;
}

toff_t Seek(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  std::uint64_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->Size() : 0;
  const std::uint64_t to = base + offset;
  if (to > 0xFFFFFFFFu) return static_cast<toff_t>(-1);
  f->at = to;
  return to;
}

int Close(thandle_t) { return 0; }
toff_t SizeOf(thandle_t h) { return static_cast<MemoryFile*>(h)->Size(); }
int Map(thandle_t, void**, toff_t*) { return 0; }
void Unmap(thandle_t, void*, toff_t) {}

void Forward(const char* kind, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  Platform::OutputDebugText(std::string("tiff ") + kind + (module != nullptr ? std::string(" (") + module + ")" : "") +
                            ": " + text);
}
void OnError(const char* module, const char* format, va_list args) { Forward("error", module, format, args); }
void OnWarning(const char* module, const char* format, va_list args) { Forward("warning", module, format, args); }

// The library's messages go to the debug sink, never to its default
// printing; installed once.
void InstallHandlers() {
  static const bool installed = [] {
    TIFFSetErrorHandler(OnError);
    TIFFSetWarningHandler(OnWarning);
    return true;
  }();
  (void)installed;
}

struct Handle {
  TIFF* tif = nullptr;
  ~Handle() {
    if (tif != nullptr) TIFFClose(tif);
  }
};

bool ReadStrips(TIFF* tif, std::uint32_t width, std::uint32_t height, int samples, std::vector<std::uint8_t>& rgba) {
  std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
  if (line.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(samples)) return false;
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return false;
    std::uint8_t* o = &rgba[static_cast<std::size_t>(y) * width * 4];
    for (std::uint32_t x = 0; x < width; ++x, o += 4) {
      const std::uint8_t* p = &line[static_cast<std::size_t>(x) * static_cast<std::size_t>(samples)];
      o[0] = p[0];
      o[1] = p[1];
      o[2] = p[2];
      o[3] = samples >= 4 ? p[3] : 255;
    }
  }
  return true;
}

bool ReadRgbaImage(TIFF* tif, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& rgba) {
  char message[1024] = {};
  if (TIFFRGBAImageOK(tif, message) == 0) {
    Platform::OutputDebugText(std::string("tiff: ") + message);
    return false;
  }
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
  if (TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 0) == 0) return false;
  for (std::size_t i = 0; i < raster.size(); ++i) {
    rgba[i * 4] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
    rgba[i * 4 + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
    rgba[i * 4 + 2] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
    rgba[i * 4 + 3] = static_cast<std::uint8_t>(TIFFGetA(raster[i]));
  }
  return true;
}

}  // namespace

bool IsTiff(const std::uint8_t* bytes, std::size_t size) {
  return bytes != nullptr && size >= 4 &&
         ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
          (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42) ||
          (bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 43 && bytes[3] == 0) ||
          (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 43));
}

bool DecodeTiff(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image) {
  image.bgr = false;  // this codec delivers R, G, B, A only
  if (!IsTiff(bytes, size)) return false;
  InstallHandlers();
  MemoryFile file;
  file.bytes = bytes;
  file.size = size;
  Handle h;
  h.tif = TIFFClientOpen("memory", "rm", &file, Read, Write, Seek, Close, SizeOf, Map, Unmap);
  if (h.tif == nullptr) return false;
  std::uint32_t width = 0, height = 0;
  if (TIFFGetField(h.tif, TIFFTAG_IMAGEWIDTH, &width) == 0 || TIFFGetField(h.tif, TIFFTAG_IMAGELENGTH, &height) == 0) {
    return false;
  }
  if (width < 1 || height < 1 || width > static_cast<std::uint32_t>(kMaxImageSide) ||
      height > static_cast<std::uint32_t>(kMaxImageSide) ||
      static_cast<std::uint64_t>(width) * height > static_cast<std::uint64_t>(size) * kMaxPixelsPerByte) {
    Platform::OutputDebugText("tiff: image size refused");
    return false;
  }
  std::uint16_t samples = 1, bits = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, extraCount = 0;
  std::uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(h.tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(h.tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(h.tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetField(h.tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(h.tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  bool matte = false;
  for (std::uint16_t i = 0; extra != nullptr && i < extraCount; ++i) {
    matte = matte || extra[i] == EXTRASAMPLE_ASSOCALPHA || extra[i] == EXTRASAMPLE_UNASSALPHA;
  }
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
  const bool plain = photometric == PHOTOMETRIC_RGB && bits == 8 && planar == PLANARCONFIG_CONTIG &&
                     (samples == 3 || samples == 4) && TIFFIsTiled(h.tif) == 0;
  if (!(plain ? ReadStrips(h.tif, width, height, samples, rgba) : ReadRgbaImage(h.tif, width, height, rgba))) {
    return false;
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.matte = matte;
  image.indexed = photometric == PHOTOMETRIC_PALETTE;
  image.resolutionUnits = kResolutionUndefined;
  image.xResolution = image.yResolution = 0;
  float xRes = 0, yRes = 0;
  std::uint16_t unit = RESUNIT_NONE;
  if (TIFFGetField(h.tif, TIFFTAG_XRESOLUTION, &xRes) != 0 && TIFFGetField(h.tif, TIFFTAG_YRESOLUTION, &yRes) != 0) {
    TIFFGetFieldDefaulted(h.tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_INCH || unit == RESUNIT_CENTIMETER) {
      image.resolutionUnits = unit == RESUNIT_INCH ? kResolutionPerInch : kResolutionPerCentimetre;
      image.xResolution = xRes;
      image.yResolution = yRes;
    }
  }
  image.rgba = std::move(rgba);
  return true;
}

bool EncodeTiff(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out) {
  if (image.bgr) return false;  // this codec reads R, G, B, A only
  if (image.width < 1 || image.height < 1) return false;
  const std::size_t width = static_cast<std::size_t>(image.width);
  if (image.rgba.size() != width * static_cast<std::size_t>(image.height) * 4) return false;
  InstallHandlers();
  out.clear();
  MemoryFile file;
  file.out = &out;
  Handle h;
  h.tif = TIFFClientOpen("memory", "w", &file, Read, Write, Seek, Close, SizeOf, Map, Unmap);
  if (h.tif == nullptr) return false;
  const std::uint16_t samples = withAlpha ? 4 : 3;
  TIFFSetField(h.tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
  TIFFSetField(h.tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
  TIFFSetField(h.tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(h.tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(h.tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(h.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(h.tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(h.tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(h.tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(h.tif, 0));
  if (withAlpha) {
    const std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(h.tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  if (image.resolutionUnits == kResolutionPerInch || image.resolutionUnits == kResolutionPerCentimetre) {
    TIFFSetField(h.tif, TIFFTAG_RESOLUTIONUNIT,
                 image.resolutionUnits == kResolutionPerInch ? RESUNIT_INCH : RESUNIT_CENTIMETER);
    TIFFSetField(h.tif, TIFFTAG_XRESOLUTION, static_cast<float>(image.xResolution));
    TIFFSetField(h.tif, TIFFTAG_YRESOLUTION, static_cast<float>(image.yResolution));
  }
  std::vector<std::uint8_t> line(width * samples);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* p = &image.rgba[static_cast<std::size_t>(y) * width * 4];
    for (std::size_t x = 0; x < width; ++x) std::memcpy(&line[x * samples], p + x * 4, samples);
    if (TIFFWriteScanline(h.tif, line.data(), static_cast<std::uint32_t>(y), 0) < 0) return false;
  }
  if (TIFFWriteDirectory(h.tif) == 0) return false;
  TIFFClose(h.tif);
  h.tif = nullptr;
  return true;
}

}  // namespace KT::Imaging
