// PNG reading and writing for the image-library stand-in, over libpng.
//
// Every PNG (grey, palette, true colour, with or without alpha or a
// transparency chunk, 1 to 16 bits) arrives as 8-bit R, G, B, A, top row
// first; matte when the file carries alpha (an alpha channel or a
// transparency chunk). pHYs in pixels per metre arrives per centimetre;
// without pHYs, or with unknown units, the units are 0. The library's
// errors return to the caller (never end the process) and its warnings go
// to standard error. Sizes are checked before the rows are allocated: a
// side above 16384 pixels, or more pixel bytes than deflate can produce
// from the bytes present, is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging {

bool DecodePng(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image);

// 8-bit RGBA when `withAlpha`, else RGB; pHYs written when the resolution
// has units (per inch converted to per metre).
bool EncodePng(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out);

// True when the bytes begin with the PNG signature.
bool IsPng(const std::uint8_t* bytes, std::size_t size);

}  // namespace KT::Imaging
