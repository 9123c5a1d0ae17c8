#include "render/images/rgbe_codec.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "objectmodel/basic_momerybuf.h"

namespace KT {

namespace {

constexpr int kLineSize = 128;
constexpr int kMinRleWidth = 8;
constexpr int kMaxRleWidth = 0x7FFF;
constexpr int kMaxRun = 127;
constexpr int kMaxLiteral = 128;
constexpr Result kErrRgbe = kErrTreeData;  // 0x80000006: bad header or pixel data, or writing failed

// Prints a format error and answers the failure.
Result FormatError(const char* what) {
  std::fprintf(stderr, "RGBE bad file format: %s\n", what);
  return kErrRgbe;
}

Result ReadError() {
  std::perror("RGBE read error");
  return kErrRgbe;
}

Result WriteError() {
  std::perror("RGBE write error");
  return kErrRgbe;
}

// Reads one line of at most kLineSize - 1 characters (the line end is
// removed); false when nothing can be read.
bool ReadLine(std::streambuf& in, std::string& line) {
  line.clear();
  using Traits = std::char_traits<char>;
  for (;;) {
    const int c = in.sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) return !line.empty();
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
    if (static_cast<int>(line.size()) >= kLineSize - 1) return true;
  }
}

float* PixelAt(KTImage& image, i32 x, i32 y) {
  return reinterpret_cast<float*>(image.Pixels + static_cast<size_t>(y) * static_cast<size_t>(image.Stride) +
                                  static_cast<size_t>(x) * 12);
}

void StoreRgbe(KTImage& image, i32 x, i32 y, const u8 rgbe[4]) {
  float r, g, b;
  RgbeToFloat(rgbe, r, g, b);
  u8* at = image.Pixels + static_cast<size_t>(y) * static_cast<size_t>(image.Stride) + static_cast<size_t>(x) * 12;
  std::memcpy(at, &r, 4);
  std::memcpy(at + 4, &g, 4);
  std::memcpy(at + 8, &b, 4);
}

// Flat pixels from (x, y) to the end of the image.
Result ReadFlat(std::streambuf& in, KTImage& image, i32 x, i32 y) {
  u8 rgbe[4];
  for (; y < image.Height; ++y, x = 0) {
    for (; x < image.Width; ++x) {
      if (in.sgetn(reinterpret_cast<char*>(rgbe), 4) != 4) return ReadError();
      StoreRgbe(image, x, y, rgbe);
    }
  }
  return kOk;
}

Result ReadPixels(std::streambuf& in, KTImage& image) {
  const i32 width = image.Width;
  if (width < kMinRleWidth || width > kMaxRleWidth) return ReadFlat(in, image, 0, 0);
  std::vector<u8> scanline;
  try {
    scanline.resize(static_cast<size_t>(width) * 4);
  } catch (const std::bad_alloc&) {
    return FormatError("unable to allocate buffer space");
  }
  for (i32 y = 0; y < image.Height; ++y) {
    u8 head[4];
    if (in.sgetn(reinterpret_cast<char*>(head), 4) != 4) return ReadError();
    if (head[0] != 2 || head[1] != 2 || (head[2] & 0x80) != 0) {
      // Not run-length encoded: this is the first pixel, and the rest of
      // the image is flat.
      StoreRgbe(image, 0, y, head);
      return ReadFlat(in, image, 1, y);
    }
    if (((head[2] << 8) | head[3]) != width) return FormatError("wrong scanline width");
    for (int plane = 0; plane < 4; ++plane) {
      u8* out = scanline.data() + static_cast<size_t>(plane) * static_cast<size_t>(width);
      i32 at = 0;
      while (at < width) {
        const int count = in.sbumpc();
        if (count == std::char_traits<char>::eof()) return ReadError();
        if (count > 128) {
          const int run = count - 128;
          if (run > width - at) return FormatError("bad scanline data");
          const int value = in.sbumpc();
          if (value == std::char_traits<char>::eof()) return ReadError();
          std::memset(out + at, value, static_cast<size_t>(run));
          at += run;
        } else {
          if (count == 0 || count > width - at) return FormatError("bad scanline data");
          if (in.sgetn(reinterpret_cast<char*>(out + at), count) != count) return ReadError();
          at += count;
        }
      }
    }
    const size_t w = static_cast<size_t>(width);
    for (i32 x = 0; x < width; ++x) {
      const u8 rgbe[4] = {scanline[static_cast<size_t>(x)], scanline[w + static_cast<size_t>(x)],
                          scanline[2 * w + static_cast<size_t>(x)], scanline[3 * w + static_cast<size_t>(x)]};
      StoreRgbe(image, x, y, rgbe);
    }
  }
  return kOk;
}

// The fewest bytes a scanline of `width` pixels can take: 4 per flat pixel,
// or the 4-byte head and, per channel, a 2-byte packet per 127 pixels.
u64 MinScanlineBytes(i32 width) {
  if (width < kMinRleWidth || width > kMaxRleWidth) return 4 * static_cast<u64>(width);
  return 4 + 4 * 2 * ((static_cast<u64>(width) + kMaxRun - 1) / kMaxRun);
}

// Writes one channel plane with the run rules.
bool WriteRle(std::streambuf& out, const u8* data, int n) {
  int cur = 0;
  while (cur < n) {
    int begRun = cur;
    int runCount = 0;
    int oldRunCount = 0;
    // The next run of at least 4 equal bytes (at most 127).
    while (runCount < 4 && begRun < n) {
      begRun += runCount;
      oldRunCount = runCount;
      runCount = 1;
      while (begRun + runCount < n && runCount < kMaxRun && data[begRun] == data[begRun + runCount]) ++runCount;
    }
    // Exactly one short run of 2 or 3 before it: a run packet.
    if (oldRunCount > 1 && oldRunCount == begRun - cur) {
      const char packet[2] = {static_cast<char>(128 + oldRunCount), static_cast<char>(data[cur])};
      if (out.sputn(packet, 2) != 2) return false;
      cur = begRun;
    }
    while (cur < begRun) {
      int literal = begRun - cur;
      if (literal > kMaxLiteral) literal = kMaxLiteral;
      if (out.sputc(static_cast<char>(literal)) == std::char_traits<char>::eof()) return false;
      if (out.sputn(reinterpret_cast<const char*>(data + cur), literal) != literal) return false;
      cur += literal;
    }
    if (runCount >= 4) {
      const char packet[2] = {static_cast<char>(128 + runCount), static_cast<char>(data[begRun])};
      if (out.sputn(packet, 2) != 2) return false;
      cur += runCount;
    }
  }
  return true;
}

class ScopedMap {
 public:
  explicit ScopedMap(KTImage& image) : image_(image) { PixelBuffer::Map(image_); }
  ~ScopedMap() { PixelBuffer::UnMap(image_); }
  ScopedMap(const ScopedMap&) = delete;
  ScopedMap& operator=(const ScopedMap&) = delete;

 private:
  KTImage& image_;
};

}  // namespace

void FloatToRgbe(float r, float g, float b, u8 rgbe[4]) {
  float v = r;
  if (g > v) v = g;
  if (b > v) v = b;
  if (!(v >= 1e-32f)) {
    rgbe[0] = rgbe[1] = rgbe[2] = rgbe[3] = 0;
    return;
  }
  int e = 0;
  const double m = std::frexp(static_cast<double>(v), &e);
  const double scale = m * 256.0 / v;
  // Components below 0 (or NaN) store 0; the largest stays below 256.
  auto byte = [scale](float c) -> u8 {
    const double s = c * scale;
    return s > 0 ? static_cast<u8>(s < 255.0 ? s : 255.0) : 0;
  };
  rgbe[0] = byte(r);
  rgbe[1] = byte(g);
  rgbe[2] = byte(b);
  rgbe[3] = static_cast<u8>(e + 128);
}

void RgbeToFloat(const u8 rgbe[4], float& r, float& g, float& b) {
  if (rgbe[3] == 0) {
    r = g = b = 0.0f;
    return;
  }
  const float f = std::ldexp(1.0f, static_cast<int>(rgbe[3]) - 136);
  r = rgbe[0] * f;
  g = rgbe[1] * f;
  b = rgbe[2] * f;
}

Result DecodeRgbe(const char* bytes, u32 size, u32 format, KTImage& image, RgbeHeaderInfo* info) {
  if (format != kImageFormatHdr || bytes == nullptr || size == 0) return kErrInvalidArg;
  imemorystream stream(bytes, static_cast<std::streamsize>(size));
  std::streambuf& in = *stream.rdbuf();
  RgbeHeaderInfo header;
  std::string line;
  if (!ReadLine(in, line)) return ReadError();
  if (line.size() >= 2 && line[0] == '#' && line[1] == '?') {
    header.valid |= RgbeHeaderInfo::kProgramType;
    size_t i = 0;
    while (i < 15 && 2 + i < line.size() && !std::isspace(static_cast<unsigned char>(line[2 + i]))) {
      header.programType[i] = line[2 + i];
      ++i;
    }
    header.programType[i] = '\0';
    if (!ReadLine(in, line)) return ReadError();
  }
  for (;;) {
    if (line == "FORMAT=32-bit_rle_rgbe") break;
    if (line.empty()) return FormatError("no FORMAT specifier found");
    float value = 0;
    if (std::sscanf(line.c_str(), "GAMMA=%g", &value) == 1) {
      header.gamma = value;
      header.valid |= RgbeHeaderInfo::kGamma;
    } else if (std::sscanf(line.c_str(), "EXPOSURE=%g", &value) == 1) {
      header.exposure = value;
      header.valid |= RgbeHeaderInfo::kExposure;
    }
    if (!ReadLine(in, line)) return ReadError();
  }
  int height = 0, width = 0;
  for (;;) {
    if (!ReadLine(in, line)) return ReadError();
    if (std::sscanf(line.c_str(), "-Y %d +X %d", &height, &width) == 2) break;
  }
  if (info != nullptr) *info = header;
  if (width < 1 || height < 1) return FormatError("invalid image size");
  // Every scanline must fit in the bytes left before the pixels are
  // allocated, so a short file cannot claim a huge image.
  const u64 left = static_cast<u64>(in.in_avail() > 0 ? in.in_avail() : 0);
  if (static_cast<u64>(height) * MinScanlineBytes(width) > left) return ReadError();
  const Result created = PixelBuffer::Create(image, PixelLayout::kRgbFloat, width, height);
  if (Failed(created)) return created;
  ScopedMap view(image);
  if (image.Pixels == nullptr) return kErrMissingObject;
  return ReadPixels(in, image);
}

Result EncodeRgbe(KTImage& image, u32 format, CBuffer<char>& out) {
  if (format != kImageFormatHdr) return kErrInvalidArg;
  if (!PixelBuffer::HasPixels(image) || image.Layout != PixelLayout::kRgbFloat) return kErrInvalidArg;
  omemorystream stream;
  std::streambuf& sink = *stream.rdbuf();
  RgbeHeaderInfo header;
  header.valid = RgbeHeaderInfo::kProgramType;
  std::strcpy(header.programType, "RADIANCE");
  char line[kLineSize];
  auto put = [&sink](const char* text, int length) {
    return length >= 0 && length < kLineSize && sink.sputn(text, length) == length;
  };
  const char* program = (header.valid & RgbeHeaderInfo::kProgramType) != 0 ? header.programType : "RGBE";
  if (!put(line, std::snprintf(line, sizeof line, "#?%s\n", program))) return WriteError();
  if ((header.valid & RgbeHeaderInfo::kGamma) != 0 &&
      !put(line, std::snprintf(line, sizeof line, "GAMMA=%g\n", static_cast<double>(header.gamma)))) {
    return WriteError();
  }
  if ((header.valid & RgbeHeaderInfo::kExposure) != 0 &&
      !put(line, std::snprintf(line, sizeof line, "EXPOSURE=%g\n", static_cast<double>(header.exposure)))) {
    return WriteError();
  }
  if (!put(line, std::snprintf(line, sizeof line, "FORMAT=32-bit_rle_rgbe\n\n"))) return WriteError();
  if (!put(line, std::snprintf(line, sizeof line, "-Y %d +X %d\n", image.Height, image.Width))) return WriteError();

  ScopedMap view(image);
  if (image.Pixels == nullptr) return kErrMissingObject;
  const i32 width = image.Width;
  if (width < kMinRleWidth || width > kMaxRleWidth) {
    for (i32 y = 0; y < image.Height; ++y) {
      for (i32 x = 0; x < width; ++x) {
        const float* p = PixelAt(image, x, y);
        u8 rgbe[4];
        FloatToRgbe(p[0], p[1], p[2], rgbe);
        if (sink.sputn(reinterpret_cast<const char*>(rgbe), 4) != 4) return WriteError();
      }
    }
  } else {
    std::vector<u8> planes(static_cast<size_t>(width) * 4);
    const size_t w = static_cast<size_t>(width);
    for (i32 y = 0; y < image.Height; ++y) {
      const char head[4] = {2, 2, static_cast<char>(width >> 8), static_cast<char>(width & 0xFF)};
      if (sink.sputn(head, 4) != 4) return WriteError();
      for (i32 x = 0; x < width; ++x) {
        const float* p = PixelAt(image, x, y);
        u8 rgbe[4];
        FloatToRgbe(p[0], p[1], p[2], rgbe);
        for (size_t c = 0; c < 4; ++c) planes[c * w + static_cast<size_t>(x)] = rgbe[c];
      }
      for (size_t c = 0; c < 4; ++c) {
        if (!WriteRle(sink, planes.data() + c * w, width)) return WriteError();
      }
    }
  }
  if (stream.size() > 0xFFFFFFFFu) return WriteError();
  const Result r = out.Create(static_cast<u32>(stream.size()), stream.data());
  return Failed(r) ? r : kOk;
}

}  // namespace KT
