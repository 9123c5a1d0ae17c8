// The Radiance RGBE picture codec (image format code 7, extension "hdr"):
// a text header followed by scanlines of 4-byte RGBE pixels (three 8-bit
// mantissas sharing an 8-bit exponent), run-length encoded per channel.
// Pixels come from and go to pixel buffers of layout 6 (three floats R, G,
// B). Bytes are encoded and decoded through the in-memory character
// streams. Messages go to standard error and change nothing else.
#pragma once

#include "objectmodel/buffer.h"
#include "objectmodel/types.h"
#include "render/images/pixel_buffer.h"

namespace KT {

inline constexpr u32 kImageFormatHdr = 7;

// The header's information: valid flags, program type, gamma, exposure.
struct RgbeHeaderInfo {
  static constexpr int kProgramType = 1;
  static constexpr int kGamma = 2;
  static constexpr int kExposure = 4;
  int valid = 0;
  char programType[16] = {};
  float gamma = 1.0f;
  float exposure = 1.0f;
};

// Float colour to RGBE bytes: v = max(r, g, b); v < 1e-32 gives 0, 0, 0, 0;
// otherwise with v = m x 2^e (0.5 <= m < 1) the bytes are r, g, b x
// (m x 256 / v) truncated, and e + 128.
void FloatToRgbe(float r, float g, float b, u8 rgbe[4]);
// RGBE bytes to floats: E = 0 gives zeros; otherwise each byte x 2^(E - 136).
void RgbeToFloat(const u8 rgbe[4], float& r, float& g, float& b);

// Decodes `size` bytes of a Radiance file into `image` (layout 6).
//  - format not 7, null bytes or size 0: kErrInvalidArg;
//  - a header without "FORMAT=32-bit_rle_rgbe" before its first empty
//    line, a missing "-Y %d +X %d" line, a size below 1, a claimed size
//    whose scanlines cannot all be in the bytes left (at least 4 bytes
//    each, more for run-length scanlines), bad scanline data: kErrTreeData
//    (0x80000006) with the message on standard error;
//  - Create's failure is returned.
// On a failure after the buffer was created it keeps what was read.
// `info` (optional) receives the header's program type, gamma, exposure.
Result DecodeRgbe(const char* bytes, u32 size, u32 format, KTImage& image, RgbeHeaderInfo* info = nullptr);

// Encodes `image` (layout 6) as a Radiance file into `out`: header
// "#?RADIANCE", "FORMAT=32-bit_rle_rgbe", an empty line, "-Y H +X W";
// flat pixels for widths below 8 or above 32767, else run-length
// scanlines.
//  - format not 7: kErrInvalidArg; an image without pixels or of another
//    layout: kErrInvalidArg;
//  - a write failure: "RGBE write error" and kErrTreeData (0x80000006).
Result EncodeRgbe(KTImage& image, u32 format, CBuffer<char>& out);

}  // namespace KT
