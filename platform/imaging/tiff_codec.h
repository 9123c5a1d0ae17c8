// TIFF reading and writing for the image-library stand-in, over libtiff.
//
// The first image of the file arrives as 8-bit R, G, B, A, top row first.
// 8-bit RGB and RGBA files in strips are read as stored; every other kind
// (grey, palette, CMYK, YCbCr, tiles, other depths) goes through libtiff's
// RGBA reader, which multiplies colours by an unassociated alpha. Matte:
// the file has an extra alpha sample. The resolution unit arrives as
// stored (0 none, 1 per inch, 2 per centimetre) with the x/y resolution;
// without resolution tags the units are 0. The library's errors end the
// read with false and, like its warnings, go to the debug sink.
//
// Safety: a side above 16384 pixels is refused, and so is an image of more
// pixels than its bytes can code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging {

// True when the bytes begin with a little- or big-endian TIFF header.
bool IsTiff(const std::uint8_t* bytes, std::size_t size);

bool DecodeTiff(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image);

// LZW-compressed strips of 8-bit RGBA (unassociated alpha) when
// `withAlpha`, else RGB; the resolution written when it has units.
bool EncodeTiff(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out);

}  // namespace KT::Imaging
