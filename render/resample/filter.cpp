#include "render/resample/filter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numbers>

namespace KT::Resample {

namespace {

constexpr double kPi = std::numbers::pi;

double FilterBox(double x, const void*) { return (x >= -0.5 && x < 0.5) ? 1.0 : 0.0; }

double FilterTriangle(double x, const void*) {
  if (x >= -1.0 && x < 0.0) return 1.0 + x;
  if (x >= 0.0 && x < 1.0) return 1.0 - x;
  return 0.0;
}

double FilterQuadratic(double x, const void*) {
  if (x < -1.5) return 0.0;
  if (x < -0.5) return 0.5 * (x + 1.5) * (x + 1.5);
  if (x < 0.5) return 0.75 - x * x;
  if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
  return 0.0;
}

double FilterCubic(double x, const void*) {
  const double t = std::fabs(x);
  if (t < 1.0) return (3.0 * t * t * t - 6.0 * t * t + 4.0) / 6.0;
  if (t < 2.0) return (2.0 - t) * (2.0 - t) * (2.0 - t) / 6.0;
  return 0.0;
}

double FilterCatrom(double x, const void*) {
  const double t = std::fabs(x);
  if (t < 1.0) return 0.5 * (3.0 * t * t * t - 5.0 * t * t + 2.0);
  if (t < 2.0) return 0.5 * (-t * t * t + 5.0 * t * t - 8.0 * t + 4.0);
  return 0.0;
}

double FilterMitchell(double x, const void* data) {
  const auto* p = static_cast<const double*>(data);
  const double t = std::fabs(x);
  if (t < 1.0) return p[0] + t * t * (p[1] + t * p[2]);
  if (t < 2.0) return p[3] + t * (p[4] + t * (p[5] + t * p[6]));
  return 0.0;
}

double FilterGaussian(double x, const void*) { return std::sqrt(2.0 / kPi) * std::exp(-2.0 * x * x); }

double FilterSinc(double x, const void*) {
  if (x == 0.0) return 1.0;
  return std::sin(kPi * x) / (kPi * x);
}

double FilterBessel(double x, const void*) {
  if (x == 0.0) return kPi / 4.0;
  return ::j1(kPi * x) / (2.0 * x);
}

double WindowHanning(double x, const void*) { return 0.5 + 0.5 * std::cos(kPi * x); }
double WindowHamming(double x, const void*) { return 0.54 + 0.46 * std::cos(kPi * x); }
double WindowBlackman(double x, const void*) {
  return 0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2.0 * kPi * x);
}

struct KaiserData {
  double a;
  double i0aInverse;
};

double WindowKaiser(double x, const void* data) {
  const auto* k = static_cast<const KaiserData*>(data);
  return BesselI0(k->a * std::sqrt(1.0 - x * x)) * k->i0aInverse;
}

double g_mitchell[7];
KaiserData g_kaiser;

void InitMitchell(Filter* f) {
  MitchellCoefficients(1.0 / 3.0, 1.0 / 3.0, g_mitchell);
  f->clientdata = g_mitchell;
}

void InitKaiser(Filter* f) {
  g_kaiser.a = 6.5;
  g_kaiser.i0aInverse = 1.0 / BesselI0(6.5);
  f->clientdata = &g_kaiser;
}

void PrintMitchell(const Filter* f) {
  const auto* p = static_cast<const double*>(f->clientdata);
  if (p != nullptr) std::fprintf(stderr, "mitchell: p0=%g p2=%g p3=%g q0=%g q1=%g q2=%g q3=%g\n", p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
}

void PrintKaiser(const Filter* f) {
  const auto* k = static_cast<const KaiserData*>(f->clientdata);
  if (k != nullptr) std::fprintf(stderr, "kaiser: a=%g\n", k->a);
}

Filter g_table[kFilterTableSize] = {
    {"point", FilterBox, 0.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"box", FilterBox, 0.5, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"triangle", FilterTriangle, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"quadratic", FilterQuadratic, 1.5, 1.0, 0, 0, 1, nullptr, nullptr, nullptr},
    {"cubic", FilterCubic, 2.0, 1.0, 0, 0, 1, nullptr, nullptr, nullptr},
    {"catrom", FilterCatrom, 2.0, 1.0, 0, 1, 0, nullptr, nullptr, nullptr},
    {"mitchell", FilterMitchell, 2.0, 1.0, 0, 0, 0, InitMitchell, PrintMitchell, nullptr},
    {"gaussian", FilterGaussian, 1.25, 1.0, 0, 0, 1, nullptr, nullptr, nullptr},
    {"sinc", FilterSinc, 4.0, 1.0, 1, 1, 0, nullptr, nullptr, nullptr},
    {"bessel", FilterBessel, 3.2383, 1.0, 1, 0, 0, nullptr, nullptr, nullptr},
    {"hanning", WindowHanning, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"hamming", WindowHamming, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"blackman", WindowBlackman, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"kaiser", WindowKaiser, 1.0, 1.0, 0, 1, 1, InitKaiser, PrintKaiser, nullptr},
};

int g_count = 0;
std::once_flag g_initialised;

void InitialiseTable() {
  std::call_once(g_initialised, [] {
    int n = 0;
    while (n < kFilterTableSize && g_table[n].name != nullptr) ++n;
    g_count = n;
    for (int i = 0; i < n; ++i) {
      if (g_table[i].init != nullptr) g_table[i].init(&g_table[i]);
    }
  });
}

struct WindowedFilter {
  Filter record;
  const Filter* filter;
  const Filter* window;
  char name[50];
};

double EvaluateWindowed(double x, const void* data) {
  const auto* w = static_cast<const WindowedFilter*>(data);
  return w->filter->func(x, w->filter->clientdata) *
         w->window->func(x / w->filter->support, w->window->clientdata);
}

void PrintWindowed(const Filter* f) {
  const auto* w = static_cast<const WindowedFilter*>(f->clientdata);
  if (w->filter->print != nullptr) w->filter->print(w->filter);
  if (w->window->print != nullptr) w->window->print(w->window);
}

}  // namespace

double BesselI0(double x) {
  double sum = 1.0;
  const double y = x * x / 4.0;
  double t = y;
  for (int i = 2; t > 1e-7; ++i) {
    sum += t;
    t *= y / (static_cast<double>(i) * i);
  }
  return sum;
}

void MitchellCoefficients(double b, double c, double out[7]) {
  out[0] = (6.0 - 2.0 * b) / 6.0;
  out[1] = (-18.0 + 12.0 * b + 6.0 * c) / 6.0;
  out[2] = (12.0 - 9.0 * b - 6.0 * c) / 6.0;
  out[3] = (8.0 * b + 24.0 * c) / 6.0;
  out[4] = (-12.0 * b - 48.0 * c) / 6.0;
  out[5] = (6.0 * b + 30.0 * c) / 6.0;
  out[6] = (-b - 6.0 * c) / 6.0;
}

const Filter* FindFilter(const char* name) {
  InitialiseTable();
  if (name == nullptr) return nullptr;
  for (int i = 0; i < g_count; ++i) {
    if (std::strcmp(g_table[i].name, name) == 0) return &g_table[i];
  }
  return nullptr;
}

int GetFilterCount() {
  InitialiseTable();
  return g_count;
}

const Filter* GetFilter(int index) {
  InitialiseTable();
  return index >= 0 && index < g_count ? &g_table[index] : nullptr;
}

FilterRef TableFilter(const Filter* filter) { return FilterRef(filter, [](const Filter*) {}); }

FilterRef MakeWindowedFilter(const Filter* filter, const char* windowName) {
  if (filter == nullptr) return nullptr;
  const Filter* window = FindFilter(windowName);
  if (window == nullptr) return nullptr;
  if (std::strcmp(window->name, "box") == 0) return TableFilter(filter);
  auto windowed = std::make_shared<WindowedFilter>();
  windowed->filter = filter;
  windowed->window = window;
  std::snprintf(windowed->name, sizeof windowed->name, "%s*%s", filter->name, window->name);
  Filter& r = windowed->record;
  r.name = windowed->name;
  r.func = EvaluateWindowed;
  r.support = filter->support;
  r.blur = filter->blur;
  r.windowed = filter->windowed;
  r.cardinal = filter->cardinal;
  r.unitrange = filter->unitrange;
  r.init = nullptr;
  r.print = (filter->print != nullptr || window->print != nullptr) ? PrintWindowed : nullptr;
  r.clientdata = windowed.get();
  return FilterRef(windowed, &windowed->record);
}

}  // namespace KT::Resample
