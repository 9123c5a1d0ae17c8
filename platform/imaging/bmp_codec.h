// Windows bitmap reading and writing for the image-library stand-in.
//
// Reads BI_RGB at 1, 4, 8, 16 (5-5-5), 24 and 32 bits and BI_BITFIELDS at
// 16 and 32 bits, bottom-up or top-down, with info headers of 40 bytes or
// more, into 8-bit R, G, B, A (top row first). A 32-bit BI_RGB file has
// alpha (matte) when any fourth byte is not 0; otherwise its alpha is 255.
// The resolution arrives per centimetre (pixels per metre / 100), units 0
// when the file stores none. Sizes are checked against the bytes present
// before anything is allocated; a side above 16384 pixels is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging {

bool DecodeBmp(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image);

// BI_RGB, bottom-up: 32 bits with alpha in the fourth byte when
// `withAlpha`, else 24 bits; the resolution converted to pixels per metre
// (0 without units).
bool EncodeBmp(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out);

}  // namespace KT::Imaging
