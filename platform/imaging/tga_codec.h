// Truevision TGA reading and writing for the image-library stand-in.
//
// Reads image types 1, 2, 3 (colour-mapped, true-colour, grey) and their
// run-length forms 9, 10, 11, at 8, 15, 16, 24 and 32 bits, bottom-up or
// top-down, into 8-bit R, G, B, A pixels (top row first). Writes type 2 at
// 24 or 32 bits, top-down. Sizes are checked against the bytes present
// before anything is allocated; a side above 16384 pixels is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging {

// False for anything that is not a complete TGA of a supported kind.
bool DecodeTga(const std::uint8_t* bytes, std::size_t size, RgbaPixels& image);

// TGA stores no resolution: units stay 0. Matte: the file has alpha
// (attribute bits with 16 or 32 bits, or a 32-bit colour map).
//
// Type 2, 32 bits with 8 attribute bits when `withAlpha`, else 24 bits;
// false for an empty or inconsistent image.
bool EncodeTga(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out);

}  // namespace KT::Imaging
