// JPEG reading and writing for the image-library stand-in, over libjpeg.
//
// Grey, YCbCr and CMYK files arrive as 8-bit R, G, B with alpha 255 (no
// matte), top row first; the JFIF density arrives as stored (units 1 per
// inch, 2 per centimetre, 0 for an aspect ratio only or no JFIF header).
// The library's errors return to the caller (never end the process) and
// its warnings go to standard error. A side above 16384 pixels, or more
// pixels than the bytes present can code, is refused before the rows are
// allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging {

bool DecodeJpeg(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image);

// Baseline JPEG of R, G, B (alpha dropped) at `quality` (1-100), with the
// JFIF density of the image's resolution when it has units.
bool EncodeJpeg(const RgbaPixels& image, int quality, std::vector<std::uint8_t>& out);

}  // namespace KT::Imaging
