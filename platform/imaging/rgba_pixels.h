// KT::Imaging::RgbaPixels: a decoded image of the image-library stand-in.
#pragma once

#include <cstddef>
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
// Decoders write into `rgba` and reuse the capacity it already has.
struct RgbaPixels {
  int width = 0;
  int height = 0;
  bool matte = false;
  // The file stores palette indices (at most 256 colours).
  bool indexed = false;
  int resolutionUnits = kResolutionUndefined;
  double xResolution = 0;
  double yResolution = 0;
  // The four bytes of a pixel are B, G, R, A instead. The JPEG and PNG
  // codecs work in either order: set before decoding, it asks them for B, G,
  // R, A (the system imaging layer's own order, which saves a swap pass);
  // when encoding, they read the order it names. Every other codec decodes
  // R, G, B, A and refuses to encode a B, G, R, A image.
  bool bgr = false;
  std::vector<std::uint8_t> rgba;
};

// Encoded bytes in memory read from the front, for the libraries that
// pull their input through a callback.
struct MemoryReader {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t at;
};

// One freed pixel block of at most 64 MB kept per thread for the next
// image: fresh pages cost more than decoding into pages already touched.
// TakeSpareBlock hands it out (empty, its capacity kept) or an empty
// vector; KeepSpareBlock keeps the larger of the kept and the given block
// within the limit and frees the other.
std::vector<std::uint8_t> TakeSpareBlock();
void KeepSpareBlock(std::vector<std::uint8_t>&& block);

}  // namespace KT::Imaging
