// KT::Resample::Filter: the named filter functions of the resampler, their
// table and windowed filters.
//
// The table holds 14 records (the 13 filters, "point" sharing the box
// function) in this order: "point", "box", "triangle",
// "quadratic", "cubic", "catrom", "mitchell", "gaussian", "sinc",
// "bessel", "hanning", "hamming", "blackman", "kaiser". The last four are
// windows: they are evaluated at x / support of the filter they window, so
// only inside -1..1, and have no range test.
#pragma once

#include <memory>

namespace KT::Resample {

struct Filter {
  const char* name = nullptr;
  double (*func)(double x, const void* data) = nullptr;
  double support = 0;       // radius outside which func is zero
  double blur = 1;          // 1 normal, larger widens the filter
  unsigned char windowed = 0;  // meant to be windowed
  unsigned char cardinal = 0;  // 1 at 0, 0 at every other integer
  unsigned char unitrange = 0; // values within 0..1
  void (*init)(Filter*) = nullptr;
  void (*print)(const Filter*) = nullptr;
  const void* clientdata = nullptr;
};

// A filter from the table (not owned) or a windowed filter (owned).
using FilterRef = std::shared_ptr<const Filter>;

// A non-owning reference to a table filter.
FilterRef TableFilter(const Filter* filter);

// Room in the table; the number in use is counted on the first lookup.
inline constexpr int kFilterTableSize = 30;

// The table record with exactly this name (byte-wise), or null. The first
// call initialises the table: "mitchell" gets its coefficients from
// B = C = 1/3, "kaiser" stores a = 6.5 and 1 / I0(6.5).
const Filter* FindFilter(const char* name);

// Number of filters in the table (13).
int GetFilterCount();
// The table record at `index` (0-based), or null.
const Filter* GetFilter(int index);

// A filter multiplied by a window: name "filter*window" (at most 49
// characters), f(x) * w(x / filter support), support, blur and flags of
// the filter, a print operation only when one of the two has one. When
// the window is "box" the filter itself is returned unwindowed; an unknown
// window name or a null filter gives null.
FilterRef MakeWindowedFilter(const Filter* filter, const char* windowName);

// Modified Bessel function of order 0 by its power series (terms added
// while above 1e-7).
double BesselI0(double x);

// The Mitchell coefficients (p0, p2, p3, q0, q1, q2, q3) for B and C.
void MitchellCoefficients(double b, double c, double out[7]);

}  // namespace KT::Resample
