#include "platform/imaging/bmp_codec.h"

#include <cmath>
#include <cstring>

namespace KT::Imaging {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

std::uint32_t Get16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A channel under a bit mask, scaled to 8 bits.
std::uint8_t Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const std::uint32_t max = mask >> shift;
  const std::uint32_t v = (value & mask) >> shift;
  return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

}  // namespace

bool DecodeBmp(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image) {
  image.bgr = false;  // this codec delivers R, G, B, A only
  if (bytes == nullptr || size < kFileHeader + kInfoHeader || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const std::uint8_t* info = bytes + kFileHeader;
  const std::uint32_t offset = Get32(bytes + 10);
  const std::uint32_t infoSize = Get32(info);
  const std::int32_t width = static_cast<std::int32_t>(Get32(info + 4));
  const std::int32_t height = static_cast<std::int32_t>(Get32(info + 8));
  const std::uint32_t depth = Get16(info + 14);
  const std::uint32_t compression = Get32(info + 16);
  const std::uint32_t xPerMetre = Get32(info + 24);
  const std::uint32_t yPerMetre = Get32(info + 28);
  std::uint32_t colours = Get32(info + 32);
  if (infoSize < kInfoHeader || infoSize > size - kFileHeader) return false;
  if (width < 1 || width > kMaxImageSide || height == 0 || height < -kMaxImageSide || height > kMaxImageSide) {
    return false;
  }
  const int rows = height < 0 ? -height : height;
  std::uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
  if (depth == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  std::size_t paletteAt = kFileHeader + infoSize;
  if (compression == kBiBitfields) {
    if (depth != 16 && depth != 32) return false;
    // The masks follow a 40-byte header, or sit inside a longer one.
    if (kFileHeader + kInfoHeader + 12 > size) return false;
    for (int i = 0; i < 3; ++i) masks[i] = Get32(info + kInfoHeader + 4 * i);
    if (infoSize >= kInfoHeader + 16) masks[3] = Get32(info + kInfoHeader + 12);
    if (infoSize == kInfoHeader) paletteAt += 12;
  } else if (compression != kBiRgb) {
    return false;
  }
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;
  std::vector<std::uint8_t> palette;
  if (depth <= 8) {
    const std::uint32_t most = 1u << depth;
    if (colours == 0 || colours > most) colours = most;
    if (paletteAt > size || static_cast<std::size_t>(colours) * 4 > size - paletteAt) return false;
    palette.assign(bytes + paletteAt, bytes + paletteAt + static_cast<std::size_t>(colours) * 4);
  }
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * depth + 7) / 8;
  const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
  if (offset > size || stride * static_cast<std::size_t>(rows - 1) + rowBytes > size - offset) return false;

  std::vector<std::uint8_t> rgba = std::move(image.rgba);  // its capacity serves again
  rgba.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 4, 0);
  bool anyAlpha = false;
  for (int y = 0; y < rows; ++y) {
    const int stored = height > 0 ? rows - 1 - y : y;
    const std::uint8_t* row = bytes + offset + stride * static_cast<std::size_t>(stored);
    std::uint8_t* out = &rgba[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4];
    for (int x = 0; x < width; ++x, out += 4) {
      if (depth <= 8) {
        const int perByte = 8 / static_cast<int>(depth);
        const int shift = 8 - static_cast<int>(depth) * (x % perByte + 1);
        const std::size_t index = (row[x / perByte] >> shift) & ((1u << depth) - 1);
        if (index * 4 + 3 < palette.size()) {
          out[0] = palette[index * 4 + 2];
          out[1] = palette[index * 4 + 1];
          out[2] = palette[index * 4];
        } else {
          out[0] = out[1] = out[2] = 0;  // an index past the palette reads black
        }
        out[3] = 255;
      } else if (depth == 24) {
        const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
        out[3] = 255;
      } else {
        const std::uint32_t v = depth == 16 ? Get16(row + static_cast<std::size_t>(x) * 2)
                                            : Get32(row + static_cast<std::size_t>(x) * 4);
        out[0] = Channel(v, masks[0]);
        out[1] = Channel(v, masks[1]);
        out[2] = Channel(v, masks[2]);
        if (depth == 32 && compression == kBiRgb) {
          out[3] = static_cast<std::uint8_t>(v >> 24);
          anyAlpha = anyAlpha || out[3] != 0;
        } else {
          out[3] = masks[3] != 0 ? Channel(v, masks[3]) : 255;
          anyAlpha = anyAlpha || masks[3] != 0;
        }
      }
    }
  }
  // A 32-bit file whose fourth bytes are all 0 has no alpha: opaque.
  if (depth == 32 && compression == kBiRgb && !anyAlpha) {
    for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  }
  image.width = width;
  image.height = rows;
  image.matte = anyAlpha;
  image.indexed = depth <= 8;
  if (xPerMetre != 0 || yPerMetre != 0) {
    image.resolutionUnits = kResolutionPerCentimetre;
    image.xResolution = xPerMetre / 100.0;
    image.yResolution = yPerMetre / 100.0;
  } else {
    image.resolutionUnits = kResolutionUndefined;
    image.xResolution = image.yResolution = 0;
  }
  image.rgba = std::move(rgba);
  return true;
}

bool EncodeBmp(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out) {
  if (image.bgr) return false;  // this codec reads R, G, B, A only
  if (image.width < 1 || image.height < 1) return false;
  const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  if (image.rgba.size() != pixels * 4) return false;
  const std::size_t bytesPerPixel = withAlpha ? 4 : 3;
  const std::size_t stride = (static_cast<std::size_t>(image.width) * bytesPerPixel + 3) & ~std::size_t{3};
  const std::size_t total = kFileHeader + kInfoHeader + stride * static_cast<std::size_t>(image.height);
  if (total > 0xFFFFFFFFu) return false;
  double perMetre[2] = {0, 0};
  const double resolution[2] = {image.xResolution, image.yResolution};
  for (int i = 0; i < 2; ++i) {
    double v = image.resolutionUnits == kResolutionPerCentimetre ? resolution[i] * 100.0
               : image.resolutionUnits == kResolutionPerInch     ? resolution[i] * 100.0 / 2.54
                                                                 : 0.0;
    if (!(v >= 0) || v > 2147483647.0) v = 0;  // NaN, negative or out of range: none
    perMetre[i] = std::floor(v + 0.5);
  }
  out.clear();
  out.reserve(total);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(total));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(kFileHeader + kInfoHeader));
  Put32(out, kInfoHeader);
  Put32(out, static_cast<std::uint32_t>(image.width));
  Put32(out, static_cast<std::uint32_t>(image.height));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(bytesPerPixel * 8));
  Put32(out, kBiRgb);
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(perMetre[0]));
  Put32(out, static_cast<std::uint32_t>(perMetre[1]));
  Put32(out, 0);
  Put32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint8_t* p = &image.rgba[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 4];
    const std::size_t start = out.size();
    for (int x = 0; x < image.width; ++x, p += 4) {
      out.push_back(p[2]);
      out.push_back(p[1]);
      out.push_back(p[0]);
      if (withAlpha) out.push_back(p[3]);
    }
    out.resize(start + stride, 0);
  }
  return true;
}

}  // namespace KT::Imaging
