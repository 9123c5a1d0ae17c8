// KT::Resample::Scanline: typed rows of samples for the resampler's passes.
//
// Type code = sample width in the low two bits (0 8-bit unsigned, 1 signed
// 16-bit, 2 signed 32-bit) plus 4 for interleaved four-channel (RGBA)
// rows: the codes 0, 1, 2, 4, 5, 6. The double-precision rows of "float"
// pictures (ScanlineF) have the codes 0 (one channel) and 4 (RGBA).
//
// Types are chosen by the resampler's own code, never by a file: an
// unknown type or pairing is a programming error, reported as
// "scanline_%s: bad scanline type: %d" (or "bad type combination") on
// standard error, and the process ends.
#pragma once

#include <cstdint>
#include <vector>

namespace KT::Resample {

namespace ScanlineType {
inline constexpr int k8 = 0;
inline constexpr int k16 = 1;
inline constexpr int k32 = 2;
inline constexpr int kRgba = 4;
}  // namespace ScanlineType

struct Scanline {
  int type = 0;
  int length = 0;  // pixels
  std::vector<std::uint8_t> u8;
  std::vector<std::int16_t> i16;
  std::vector<std::int32_t> i32;

  // Samples per pixel of a type: 1, or 4 for RGBA types.
  static int Channels(int type) { return (type & ScanlineType::kRgba) != 0 ? 4 : 1; }
};

struct ScanlineF {
  int type = 0;
  int length = 0;
  std::vector<double> samples;
};

// Allocates `length` pixels of `type` (zero-filled).
void ScanlineAlloc(Scanline& line, int type, int length);
void ScanlineFAlloc(ScanlineF& line, int type, int length);
// Sets every sample to zero.
void ScanlineZero(Scanline& line);

// Ends the process with the messages above. `op` is one of "alloc",
// "free", "zero", "read", "write", "filter", "accum", "shift".
[[noreturn]] void ScanlineBadType(const char* op, int type);
[[noreturn]] void ScanlineBadCombination(const char* op, int a, int b);
[[noreturn]] void ScanlineFBadType(const char* op, int type);
[[noreturn]] void ScanlineFBadCombination(const char* op, int a, int b);

}  // namespace KT::Resample
