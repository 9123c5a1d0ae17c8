#include "platform/imaging/tga_codec.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace KT::Imaging {

namespace {

constexpr std::size_t kHeaderSize = 18;

int Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// One stored pixel of `bytes` bytes to R, G, B, A. 15- and 16-bit pixels
// are A1R5G5B5; 8-bit true colour is grey.
void Expand(const std::uint8_t* p, int bytes, bool grey, bool alphaBits, std::uint8_t* o) {
  if (grey || bytes == 1) {
    o[0] = o[1] = o[2] = p[0];
    o[3] = bytes == 2 ? p[1] : 255;
    return;
  }
  if (bytes == 2) {
    const int v = p[0] | (p[1] << 8);
    auto five = [](int f) { return static_cast<std::uint8_t>((f << 3) | (f >> 2)); };
    o[0] = five((v >> 10) & 31);
    o[1] = five((v >> 5) & 31);
    o[2] = five(v & 31);
    o[3] = alphaBits ? ((v & 0x8000) != 0 ? 255 : 0) : 255;
    return;
  }
  o[0] = p[2];
  o[1] = p[1];
  o[2] = p[0];
  o[3] = bytes == 4 && alphaBits ? p[3] : 255;
}

}  // namespace

bool DecodeTga(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image) {
  image.bgr = false;  // this codec delivers R, G, B, A only
  if (bytes == nullptr || size < kHeaderSize) return false;
  const int idLength = bytes[0];
  const int mapType = bytes[1];
  const int type = bytes[2];
  const int mapFirst = Get16(bytes + 3);
  const int mapLength = Get16(bytes + 5);
  const int mapBits = bytes[7];
  const int width = Get16(bytes + 12);
  const int height = Get16(bytes + 14);
  const int depth = bytes[16];
  const int descriptor = bytes[17];
  const int kind = type & 7;  // 1 colour-mapped, 2 true colour, 3 grey
  const bool rle = (type & 8) != 0;
  if (kind < 1 || kind > 3 || (type & ~0xB) != 0) return false;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
  const int pixelBytes = (depth + 7) / 8;
  if (kind == 1 && (mapType != 1 || depth != 8)) return false;
  if (kind == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
  if (kind == 3 && depth != 8 && depth != 16) return false;
  const int alphaBits = descriptor & 15;
  std::size_t at = kHeaderSize + static_cast<std::size_t>(idLength);
  // The colour map, expanded to R, G, B, A.
  std::vector<std::uint8_t> map;
  if (mapType == 1) {
    const int entryBytes = (mapBits + 7) / 8;
    if (entryBytes < 2 || entryBytes > 4) return false;
    const std::size_t mapSize = static_cast<std::size_t>(mapLength) * static_cast<std::size_t>(entryBytes);
    if (at > size || mapSize > size - at) return false;
    map.resize(static_cast<std::size_t>(mapFirst + mapLength) * 4, 0);
    for (int i = 0; i < mapLength; ++i) {
      Expand(bytes + at + static_cast<std::size_t>(i) * entryBytes, entryBytes, false, alphaBits != 0,
             &map[static_cast<std::size_t>(mapFirst + i) * 4]);
    }
    at += mapSize;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  // A run-length packet covers at most 128 pixels for 1 + pixelBytes bytes,
  // so the bytes left bound the pixels before any is allocated.
  const std::size_t left = at <= size ? size - at : 0;
  if (rle ? (pixels + 127) / 128 * (1 + static_cast<std::size_t>(pixelBytes)) > left
          : pixels * static_cast<std::size_t>(pixelBytes) > left) {
    return false;
  }
  std::vector<std::uint8_t> rgba = std::move(image.rgba);  // its capacity serves again
  rgba.assign(pixels * 4, 0);
  const bool grey = kind == 3;
  auto store = [&](const std::uint8_t* p, std::uint8_t* o) -> bool {
    if (kind == 1) {
      const std::size_t index = p[0];
      if (index * 4 + 3 >= map.size()) return false;
      std::memcpy(o, &map[index * 4], 4);
      return true;
    }
    Expand(p, pixelBytes, grey, alphaBits != 0, o);
    return true;
  };
  std::size_t done = 0;
  while (done < pixels) {
    std::size_t count = 1;
    bool run = false;
    if (rle) {
      if (at >= size) return false;
      const int head = bytes[at++];
      count = static_cast<std::size_t>((head & 0x7F) + 1);
      run = (head & 0x80) != 0;
      if (count > pixels - done) count = pixels - done;  // a packet may not cross the image's end
    } else {
      count = pixels;
    }
    if (run) {
      if (static_cast<std::size_t>(pixelBytes) > size - at) return false;
      std::uint8_t value[4];
      if (!store(bytes + at, value)) return false;
      at += static_cast<std::size_t>(pixelBytes);
      for (std::size_t i = 0; i < count; ++i) std::memcpy(&rgba[(done + i) * 4], value, 4);
    } else {
      if (count * static_cast<std::size_t>(pixelBytes) > size - at) return false;
      for (std::size_t i = 0; i < count; ++i) {
        if (!store(bytes + at, &rgba[(done + i) * 4])) return false;
        at += static_cast<std::size_t>(pixelBytes);
      }
    }
    done += count;
  }
  // Rows are stored bottom-up unless bit 5 of the descriptor is set; bit 4
  // mirrors the columns.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  if ((descriptor & 0x20) == 0) {
    for (int y = 0; y < height / 2; ++y) {
      std::swap_ranges(rgba.begin() + static_cast<long>(y * rowBytes), rgba.begin() + static_cast<long>((y + 1) * rowBytes),
                       rgba.begin() + static_cast<long>((height - 1 - y) * rowBytes));
    }
  }
  if ((descriptor & 0x10) != 0) {
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = &rgba[static_cast<std::size_t>(y) * rowBytes];
      for (int x = 0; x < width / 2; ++x) {
        for (int c = 0; c < 4; ++c) std::swap(row[x * 4 + c], row[(width - 1 - x) * 4 + c]);
      }
    }
  }
  image.width = width;
  image.height = height;
  image.matte = alphaBits != 0 && (depth == 32 || depth == 16 || (kind == 1 && mapBits == 32));
  image.indexed = kind == 1;
  image.rgba = std::move(rgba);
  return true;
}

bool EncodeTga(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out) {
  if (image.bgr) return false;  // this codec reads R, G, B, A only
  if (image.width < 1 || image.height < 1 || image.width > 0xFFFF || image.height > 0xFFFF) return false;
  const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  if (image.rgba.size() != pixels * 4) return false;
  const int bytes = withAlpha ? 4 : 3;
  out.assign(kHeaderSize, 0);
  out[2] = 2;
  out[12] = static_cast<std::uint8_t>(image.width);
  out[13] = static_cast<std::uint8_t>(image.width >> 8);
  out[14] = static_cast<std::uint8_t>(image.height);
  out[15] = static_cast<std::uint8_t>(image.height >> 8);
  out[16] = static_cast<std::uint8_t>(bytes * 8);
  out[17] = static_cast<std::uint8_t>(0x20 | (withAlpha ? 8 : 0));  // top-down, attribute bits
  out.reserve(kHeaderSize + pixels * static_cast<std::size_t>(bytes));
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = &image.rgba[i * 4];
    out.push_back(p[2]);
    out.push_back(p[1]);
    out.push_back(p[0]);
    if (withAlpha) out.push_back(p[3]);
  }
  return true;
}

}  // namespace KT::Imaging
