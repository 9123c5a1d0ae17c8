// A small test image with distinct channels per pixel.
#pragma once

#include <cstddef>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging::Testing {

// Pixel i is (5i, 11i, 255 - i, alpha ? 9i : 255), bytes wrapping.
inline RgbaPixels Sample(int w, int h, bool alpha = true) {
  RgbaPixels p;
  p.width = w;
  p.height = h;
  p.rgba.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  for (std::size_t i = 0; i < p.rgba.size() / 4; ++i) {
    p.rgba[i * 4] = static_cast<std::uint8_t>(i * 5);
    p.rgba[i * 4 + 1] = static_cast<std::uint8_t>(i * 11);
    p.rgba[i * 4 + 2] = static_cast<std::uint8_t>(255 - i);
    p.rgba[i * 4 + 3] = static_cast<std::uint8_t>(alpha ? i * 9 : 255);
  }
  return p;
}

}  // namespace KT::Imaging::Testing
