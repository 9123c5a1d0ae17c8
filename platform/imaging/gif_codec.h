// GIF reading and writing for the image-library stand-in, over giflib.
//
// Every frame arrives as its own rectangle of 8-bit R, G, B, A pixels (top
// row first, interlaced rows put in order) with the frame's delay in
// hundredths of a second, its left and top offset on the logical screen
// and its disposal method (0-7, from the graphic control extension, 0
// without one). A frame with a transparent index is matte: that index
// reads with alpha 0, every other pixel 255. Indices past the colour map
// (or without any map) read black. The logical screen's background colour
// comes from the global colour map (0, 0, 0 without one or past its end).
// GIF stores no resolution: units stay 0.
//
// Safety: a frame side above 16384 pixels is refused, and so is a file
// whose frames together hold more pixels than its bytes can code; the
// library's errors end the read with false, and so does a file cut before
// its trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/rgba_pixels.h"

namespace KT::Imaging {

struct GifFrame {
  RgbaPixels image;
  int delay = 0;     // hundredths of a second
  int left = 0;      // offset on the logical screen
  int top = 0;
  int disposal = 0;  // graphic control extension's disposal method
};

struct GifAnimation {
  int screenWidth = 0;
  int screenHeight = 0;
  std::uint8_t background[3] = {0, 0, 0};
  std::vector<GifFrame> frames;
};

// True when the bytes begin with "GIF87a" or "GIF89a".
bool IsGif(const std::uint8_t* bytes, std::size_t size);

// False for anything that is not a GIF with at least one complete frame.
bool DecodeGif(const std::uint8_t* bytes, std::size_t size, GifAnimation& animation);

// One frame of the image's size (screen and frame alike). With
// `withAlpha`, pixels of alpha below 128 become a transparent index (the
// colour of the first such pixel) and the file is GIF89a; the other
// pixels' colours, when at most 256 distinct (255 with a transparent
// index), are kept exactly, else reduced with giflib's quantiser.
bool EncodeGif(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out);

}  // namespace KT::Imaging
