#include "render/resample/scanline.h"

#include <cstdio>
#include <cstdlib>

namespace KT::Resample {

namespace {

bool ValidType(int type) {
  const int width = type & 3;
  return width <= 2 && (type & ~7) == 0 && (type & ~(3 | ScanlineType::kRgba)) == 0;
}

}  // namespace

void ScanlineBadType(const char* op, int type) {
  std::fprintf(stderr, "scanline_%s: bad scanline type: %d\n", op, type);
  std::exit(1);
}

void ScanlineBadCombination(const char* op, int a, int b) {
  std::fprintf(stderr, "scanline_%s: bad type combination: %d & %d\n", op, a, b);
  std::exit(1);
}

void ScanlineFBadType(const char* op, int type) {
  std::fprintf(stderr, "scanlinef_%s: bad scanlinef type: %d\n", op, type);
  std::exit(1);
}

void ScanlineFBadCombination(const char* op, int a, int b) {
  std::fprintf(stderr, "scanlinef_%s: bad type combination: %d & %d\n", op, a, b);
  std::exit(1);
}

void ScanlineAlloc(Scanline& line, int type, int length) {
  if (!ValidType(type)) ScanlineBadType("alloc", type);
  line.type = type;
  line.length = length;
  const size_t n = static_cast<size_t>(length) * static_cast<size_t>(Scanline::Channels(type));
  line.u8.clear();
  line.i16.clear();
  line.i32.clear();
  switch (type & 3) {
    case ScanlineType::k8: line.u8.assign(n, 0); break;
    case ScanlineType::k16: line.i16.assign(n, 0); break;
    default: line.i32.assign(n, 0); break;
  }
}

void ScanlineFAlloc(ScanlineF& line, int type, int length) {
  if (type != 0 && type != ScanlineType::kRgba) ScanlineFBadType("alloc", type);
  line.type = type;
  line.length = length;
  line.samples.assign(static_cast<size_t>(length) * static_cast<size_t>(Scanline::Channels(type)), 0.0);
}

void ScanlineZero(Scanline& line) {
  if (!ValidType(line.type)) ScanlineBadType("zero", line.type);
  std::fill(line.u8.begin(), line.u8.end(), 0);
  std::fill(line.i16.begin(), line.i16.end(), 0);
  std::fill(line.i32.begin(), line.i32.end(), 0);
}

}  // namespace KT::Resample
