// KT::Imaging::RgbaPixels: a decoded image of the image-library stand-in.
#pragma once

#include <cstdint>
#include <vector>

namespace KT::Imaging {

// Sides above this many pixels are refused by every decoder.
inline constexpr int kMaxImageSide = 16384;

// Resolution units as files store them.
inline constexpr int kResolutionUndefined = 0;
inline constexpr int kResolutionPerInch = 1;
inline constexpr int kResolutionPerCentimetre = 2;

// Width x height x 4 bytes R, G, B, A, top row first, with the matte flag
// (the file carries alpha), whether it stores palette indices, and the
// resolution as the file stores it.
struct RgbaPixels {
  int width = 0;
  int height = 0;
  bool matte = false;
  // The file stores palette indices (at most 256 colours).
  bool indexed = false;
  int resolutionUnits = kResolutionUndefined;
  double xResolution = 0;
  double yResolution = 0;
  std::vector<std::uint8_t> rgba;
};

}  // namespace KT::Imaging
