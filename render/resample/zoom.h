// The filtered resampler: scales a window of a source picture into a window
// of a destination picture with a separable convolution, one named filter
// per axis.
//
// Fixed point on the 8-bit path: weights have 14 fraction bits and sum to
// exactly 16384 per table; the intermediate between the passes keeps 8
// fraction bits (value x 64) and the result drops 20 bits with rounding,
// clamped to 0..255. Pictures of the "float" kind on both sides use a
// double-precision path without clamping.
#pragma once

#include <cstdint>
#include <vector>

#include "render/resample/filter.h"
#include "render/resample/picture.h"

namespace KT::Resample {

// destination = s * source + t per axis; u are the derived offsets.
struct Mapping {
  double sx = 1, sy = 1, tx = 0, ty = 0, ux = 0, uy = 0;
};

struct AxisParams {
  double scale = 1;    // blur x max(1, 1/s)
  double support = 0;  // max(0.5, scale x filter support)
  bool point = false;  // coerced to point sampling
  int width = 0;       // ceil(2 x support) before coercion
};

// The parameters of an axis for filter `f` at scale `s` (destination
// pixels per source pixel): scale = blur x max(1, 1/s), support =
// max(0.5, scale x filter support), width = ceil(2 x support).
AxisParams MakeAxisParams(const Filter& f, double s);

// One table per destination position: weights of source samples i0..i1-1.
struct WeightTable {
  int i0 = 0;
  int i1 = 0;
  std::vector<std::int16_t> weight;  // 14 fraction bits, sum 16384
};

struct WeightTableF {
  int i0 = 0;
  int i1 = 0;
  std::vector<double> weight;  // sum 1
};

enum class AxisOrder { kAuto, kXFirst, kYFirst };

// Process-wide switches: coercion to point sampling (default on), zero
// trimming of the x tables (default on), the axis order (default chosen).
void SetCoerce(bool on);
bool GetCoerce();
void SetTrimZeros(bool on);
bool GetTrimZeros();
void SetAxisOrder(AxisOrder order);
AxisOrder GetAxisOrder();

// Builds the table for centre `c` (source coordinates) over `n` source
// samples. A table that cannot be built (empty range, a weight outside
// 16 bits) becomes the nearest single sample, clamp(floor(c), 0, n - 1),
// with weight 16384, and the answer is false.
bool MakeWeightTable(double c, const AxisParams& axis, const Filter& filter, int n, bool trim,
                     WeightTable& table);
// The double-precision form (no range test; a zero sum gives the middle
// sample with weight 1).
bool MakeWeightTableF(double c, const AxisParams& axis, const Filter& filter, int n, bool trim,
                      WeightTableF& table);

// Windows as inclusive corners. Builds the mapping so that the outer
// edges of both windows coincide and runs Zoom when both are non-empty. A
// destination window whose x0 is -239 is printed as
// "%s{%d,%d,%d,%d}%dx%d" on standard error and nothing else happens.
void ZoomWindow(Picture& source, Window a, Picture& destination, Window b, const Filter& xFilter,
                const Filter& yFilter);

// The resampling itself, with an explicit mapping.
void Zoom(Picture& source, Window a, Picture& destination, Window b, const Mapping& mapping,
          const Filter& xFilter, const Filter& yFilter);

// The destination rows in the order they are visited: ascending, unless
// source and destination are the same picture and their windows overlap
// (then split so that no row is overwritten before it is read).
std::vector<int> RowOrder(bool samePicture, const Window& a, const Window& b, double sy, double ty,
                          double ySupport);

}  // namespace KT::Resample
