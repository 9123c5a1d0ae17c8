#include "render/resample/zoom.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "render/resample/scanline.h"

namespace KT::Resample {

namespace {

constexpr double kEpsilon = 1e-7;
constexpr int kWeightOne = 16384;

bool g_coerce = true;
bool g_trimZeros = true;
AxisOrder g_axisOrder = AxisOrder::kAuto;

bool IsInteger(double v) { return std::fabs(v - std::floor(v + 0.5)) < kEpsilon; }

int NearestSample(double c, int n) {
  const double f = std::floor(c);
  if (!(f >= 0)) return 0;
  if (f > n - 1) return n - 1;
  return static_cast<int>(f);
}

// Both tables start from the same source range (step 1 of the table rule).
bool SourceRange(double c, double support, int n, int& i0, int& i1) {
  const double lo = c - support + 0.5;
  const double hi = c + support + 0.5;
  i0 = lo > 0 ? static_cast<int>(std::min(lo, static_cast<double>(n))) : 0;
  i1 = hi < n ? (hi > 0 ? static_cast<int>(hi) : 0) : n;
  return i0 < i1;
}

template <class Table, class W>
void SingleSample(Table& table, int index, W one) {
  table.i0 = index;
  table.i1 = index + 1;
  table.weight.assign(1, one);
}

// Where a pass reads or writes rows: the picture's channel layout decides
// between plain rows (one channel) and RGBA rows (three channels). Pictures
// of other channel counts have no row operations and read as zeros.
int RowChannels(const Picture& p) { return p.GetChannelCount() == 1 ? 1 : 4; }

void ReadRow8(Picture& p, int y, int x0, int n, Scanline& line) {
  if (line.type == ScanlineType::k8) {
    p.ReadRow(y, x0, n, line.u8.data());
  } else if (line.type == (ScanlineType::k8 | ScanlineType::kRgba)) {
    p.ReadRowRgba(y, x0, n, line.u8.data());
  } else {
    ScanlineBadType("read", line.type);
  }
}

void WriteRow8(Picture& p, int y, int x0, int n, Scanline& line) {
  if (line.type == ScanlineType::k8) {
    p.WriteRow(y, x0, n, line.u8.data());
  } else if (line.type == (ScanlineType::k8 | ScanlineType::kRgba)) {
    p.WriteRowRgba(y, x0, n, line.u8.data());
  } else {
    ScanlineBadType("write", line.type);
  }
}

inline std::uint8_t ClampToByte(std::int32_t v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The x tables of a pass, flattened: per destination column its first
// source sample, its weight count and where its weights start.
struct XTables {
  std::vector<int> first;
  std::vector<int> count;
  std::vector<size_t> offset;
  std::vector<std::int16_t> weights;
};

// Samples are filtered per pixel with a step of S bytes (1 grey, 3 stored
// B, G, R rows, 4 RGBA rows) and C colour samples (1 or 3; the fourth
// sample of RGBA rows is always opaque and is set to 255 on output).
template <int S, int C, class In, class Out, class Finish>
void FilterX(const In* src, const XTables& t, Out* out, Finish finish) {
  const size_t n = t.first.size();
  for (size_t bx = 0; bx < n; ++bx) {
    const std::int16_t* w = t.weights.data() + t.offset[bx];
    const In* s = src + static_cast<size_t>(t.first[bx]) * S;
    const int count = t.count[bx];
    std::int32_t sum[C] = {};
    if (count == 2) {
      // Enlarging with the triangle filter: two samples per pixel.
      for (int c = 0; c < C; ++c) sum[c] = w[0] * s[c] + w[1] * s[S + c];
    } else {
      for (int k = 0; k < count; ++k, s += S) {
        for (int c = 0; c < C; ++c) sum[c] += w[k] * s[c];
      }
    }
    Out* o = out + bx * S;
    for (int c = 0; c < C; ++c) o[c] = finish(sum[c]);
    if constexpr (S == 4) o[3] = 255;
  }
}

inline std::int16_t FinishX(std::int32_t sum) { return static_cast<std::int16_t>((sum + 128) >> 8); }
inline std::uint8_t FinishXY(std::int32_t sum) { return ClampToByte((sum + 0x80000) >> 20); }

template <class In>
void Accumulate(std::int32_t* __restrict acc, const In* __restrict row, std::int32_t weight, size_t samples) {
  for (size_t i = 0; i < samples; ++i) acc[i] += weight * row[i];
}

struct Plan {
  Picture* source;
  Picture* destination;
  Window a;
  Window b;
  Mapping m;
  const Filter* xf;
  const Filter* yf;
  AxisParams x;
  AxisParams y;
  std::vector<int> rows;  // destination rows (0-based in b) in visiting order
};

XTables MakeXTables(const Plan& p) {
  const int bw = p.b.Width();
  XTables flat;
  flat.first.resize(static_cast<size_t>(bw));
  flat.count.resize(static_cast<size_t>(bw));
  flat.offset.resize(static_cast<size_t>(bw));
  WeightTable t;
  for (int bx = 0; bx < bw; ++bx) {
    MakeWeightTable((bx + p.m.ux) / p.m.sx, p.x, *p.xf, p.a.Width(), g_trimZeros, t);
    const size_t i = static_cast<size_t>(bx);
    flat.first[i] = t.i0;
    flat.count[i] = t.i1 - t.i0;
    flat.offset[i] = flat.weights.size();
    flat.weights.insert(flat.weights.end(), t.weight.begin(), t.weight.end());
  }
  return flat;
}

int RingSize(const AxisParams& axis) { return static_cast<int>(std::floor(2.0 * axis.support)) + 1; }

// Rows in and out of the 8-bit passes. In-memory pictures of stored B, G,
// R (or grey) bytes on both sides are read and written in place (step 3 or
// 1); filtering each channel alike, the order of the colours does not
// matter. Other pictures go through their row operations (step 1 or 4).
class RowIo {
 public:
  explicit RowIo(const Plan& p) : p_(p) {
    const int channels = RowChannels(*p.source);
    direct_ = p.source->GetDirectRow(p.a.y0, false) != nullptr && p.destination->GetDirectRow(p.b.y0, true) != nullptr &&
              p.source->GetChannelCount() == p.destination->GetChannelCount();
    step_ = direct_ ? (channels == 1 ? 1 : 3) : channels;
    type8_ = channels == 1 ? ScanlineType::k8 : ScanlineType::k8 | ScanlineType::kRgba;
    ScanlineAlloc(in_, type8_, p.a.Width());
    ScanlineAlloc(out_, type8_, p.b.Width());
  }
  int Step() const { return step_; }
  bool Direct() const { return direct_; }
  int Type() const { return type8_; }
  // Source row i of the window, from x0 on.
  const std::uint8_t* Read(int i) {
    if (direct_) return p_.source->GetDirectRow(p_.a.y0 + i, false) + static_cast<size_t>(p_.a.x0) * step_;
    ReadRow8(*p_.source, p_.a.y0 + i, p_.a.x0, p_.a.Width(), in_);
    return in_.u8.data();
  }
  // Where destination row `by` is assembled; Write puts it in place.
  std::uint8_t* Target(int by) {
    if (direct_) return p_.destination->GetDirectRow(p_.b.y0 + by, true) + static_cast<size_t>(p_.b.x0) * step_;
    return out_.u8.data();
  }
  void Write(int by) {
    if (!direct_) WriteRow8(*p_.destination, p_.b.y0 + by, p_.b.x0, p_.b.Width(), out_);
  }

 private:
  const Plan& p_;
  bool direct_ = false;
  int step_ = 1;
  int type8_ = 0;
  Scanline in_, out_;
};

template <int S>
void PassXFirstStep(Plan& p, RowIo& io) {
  constexpr int C = S == 1 ? 1 : 3;
  const int bw = p.b.Width();
  const XTables xt = MakeXTables(p);
  const int ringSize = RingSize(p.y);
  std::vector<Scanline> ring(static_cast<size_t>(ringSize));
  std::vector<int> held(static_cast<size_t>(ringSize), -1);
  const int wideType = io.Type() | ScanlineType::k16;
  for (Scanline& slot : ring) ScanlineAlloc(slot, wideType, bw);
  Scanline acc;
  ScanlineAlloc(acc, io.Type() | ScanlineType::k32, bw);
  WeightTable yt;
  const size_t samples = static_cast<size_t>(bw) * S;
  for (int by : p.rows) {
    MakeWeightTable((by + p.m.uy) / p.m.sy, p.y, *p.yf, p.a.Height(), false, yt);
    ScanlineZero(acc);
    for (int i = yt.i0; i < yt.i1; ++i) {
      const int slot = i % ringSize;
      Scanline& line = ring[static_cast<size_t>(slot)];
      if (held[static_cast<size_t>(slot)] != i) {
        FilterX<S, C>(io.Read(i), xt, line.i16.data(), FinishX);
        held[static_cast<size_t>(slot)] = i;
      }
      Accumulate(acc.i32.data(), line.i16.data(), yt.weight[static_cast<size_t>(i - yt.i0)], samples);
    }
    std::uint8_t* out = io.Target(by);
    const std::int32_t* a = acc.i32.data();
    for (int x = 0; x < bw; ++x) {
      for (int c = 0; c < C; ++c) out[x * S + c] = FinishXY(a[x * S + c]);
      if constexpr (S == 4) out[x * S + 3] = 255;
    }
    io.Write(by);
  }
}

template <int S>
void PassYFirstStep(Plan& p, RowIo& io) {
  constexpr int C = S == 1 ? 1 : 3;
  const int aw = p.a.Width();
  const XTables xt = MakeXTables(p);
  // Source rows are kept in a ring of pointers (direct rows) or copies, so
  // that rows shared by neighbouring destination rows are read once.
  const int ringSize = RingSize(p.y);
  std::vector<Scanline> ring(static_cast<size_t>(ringSize));
  std::vector<const std::uint8_t*> rowOf(static_cast<size_t>(ringSize), nullptr);
  std::vector<int> held(static_cast<size_t>(ringSize), -1);
  for (Scanline& slot : ring) ScanlineAlloc(slot, io.Type(), io.Direct() ? 0 : aw);
  Scanline acc, shifted;
  ScanlineAlloc(acc, io.Type() | ScanlineType::k32, aw);
  ScanlineAlloc(shifted, io.Type() | ScanlineType::k16, aw);
  WeightTable yt;
  const size_t samples = static_cast<size_t>(aw) * S;
  for (int by : p.rows) {
    MakeWeightTable((by + p.m.uy) / p.m.sy, p.y, *p.yf, p.a.Height(), false, yt);
    ScanlineZero(acc);
    for (int i = yt.i0; i < yt.i1; ++i) {
      const size_t slot = static_cast<size_t>(i % ringSize);
      if (held[slot] != i) {
        const std::uint8_t* row = io.Read(i);
        if (io.Direct()) {
          rowOf[slot] = row;  // the picture's own row stays in place
        } else {
          // Rows read through the picture's operations share one buffer.
          std::memcpy(ring[slot].u8.data(), row, samples);
          rowOf[slot] = ring[slot].u8.data();
        }
        held[slot] = i;
      }
      Accumulate(acc.i32.data(), rowOf[slot], yt.weight[static_cast<size_t>(i - yt.i0)], samples);
    }
    // Each accumulator value shifted right by 8 is the 16-bit intermediate.
    std::int16_t* mid = shifted.i16.data();
    const std::int32_t* a = acc.i32.data();
    for (size_t k = 0; k < samples; ++k) mid[k] = static_cast<std::int16_t>(a[k] >> 8);
    std::uint8_t* out = io.Target(by);
    FilterX<S, C>(mid, xt, out, FinishXY);
    io.Write(by);
  }
}

void Pass8(Plan& p, bool xFirst) {
  RowIo io(p);
  switch (io.Step()) {
    case 1: xFirst ? PassXFirstStep<1>(p, io) : PassYFirstStep<1>(p, io); break;
    case 3: xFirst ? PassXFirstStep<3>(p, io) : PassYFirstStep<3>(p, io); break;
    default: xFirst ? PassXFirstStep<4>(p, io) : PassYFirstStep<4>(p, io); break;
  }
}

// Double-precision pass for two "float" pictures: x-first or y-first as
// the plan says, rows of four floats per pixel.
void PassFloat(Plan& p, bool xFirst) {
  const int aw = p.a.Width();
  const int bw = p.b.Width();
  std::vector<WeightTableF> xTables(static_cast<size_t>(bw));
  for (int bx = 0; bx < bw; ++bx) {
    MakeWeightTableF((bx + p.m.ux) / p.m.sx, p.x, *p.xf, aw, g_trimZeros, xTables[static_cast<size_t>(bx)]);
  }
  auto filterX = [&](const double* src, double* out) {
    for (int bx = 0; bx < bw; ++bx) {
      const WeightTableF& t = xTables[static_cast<size_t>(bx)];
      double sum[4] = {0, 0, 0, 0};
      for (int i = t.i0; i < t.i1; ++i) {
        const double w = t.weight[static_cast<size_t>(i - t.i0)];
        if (w == 0.0) continue;
        for (int c = 0; c < 4; ++c) sum[c] += w * src[static_cast<size_t>(i) * 4 + c];
      }
      for (int c = 0; c < 4; ++c) out[static_cast<size_t>(bx) * 4 + c] = sum[c];
    }
  };
  std::vector<float> rowIn(static_cast<size_t>(aw) * 4);
  std::vector<float> rowOut(static_cast<size_t>(bw) * 4);
  ScanlineF wide, acc;
  ScanlineFAlloc(wide, ScanlineType::kRgba, aw);
  const int accWidth = xFirst ? bw : aw;
  ScanlineFAlloc(acc, ScanlineType::kRgba, accWidth);
  std::vector<double> filtered(static_cast<size_t>(bw) * 4);
  WeightTableF yt;
  for (int by : p.rows) {
    MakeWeightTableF((by + p.m.uy) / p.m.sy, p.y, *p.yf, p.a.Height(), false, yt);
    std::fill(acc.samples.begin(), acc.samples.end(), 0.0);
    for (int i = yt.i0; i < yt.i1; ++i) {
      const double w = yt.weight[static_cast<size_t>(i - yt.i0)];
      if (w == 0.0) continue;
      p.source->ReadRowFloat(p.a.y0 + i, p.a.x0, aw, rowIn.data());
      for (size_t k = 0; k < rowIn.size(); ++k) wide.samples[k] = rowIn[k];
      const double* row = wide.samples.data();
      if (xFirst) {
        filterX(row, filtered.data());
        row = filtered.data();
      }
      for (size_t k = 0; k < acc.samples.size(); ++k) acc.samples[k] += w * row[k];
    }
    const double* result = acc.samples.data();
    if (!xFirst) {
      filterX(acc.samples.data(), filtered.data());
      result = filtered.data();
    }
    for (size_t k = 0; k < rowOut.size(); ++k) rowOut[k] = static_cast<float>(result[k]);
    p.destination->WriteRowFloat(p.b.y0 + by, p.b.x0, bw, rowOut.data());
  }
}

// Both axes point-sampled: every destination sample is a source sample.
void UnfilteredCopy(Plan& p) {
  const int aw = p.a.Width();
  const int ah = p.a.Height();
  const int bw = p.b.Width();
  std::vector<int> columns(static_cast<size_t>(bw));
  for (int bx = 0; bx < bw; ++bx) {
    columns[static_cast<size_t>(bx)] = std::clamp(static_cast<int>((bx + p.m.ux) / p.m.sx), 0, aw - 1);
  }
  const bool isFloat = p.source->IsFloat() && p.destination->IsFloat();
  const int channels = isFloat ? 4 : RowChannels(*p.source);
  const int type8 = channels == 1 ? ScanlineType::k8 : ScanlineType::k8 | ScanlineType::kRgba;
  Scanline in, out;
  ScanlineAlloc(in, type8, aw);
  ScanlineAlloc(out, type8, bw);
  std::vector<float> inF(isFloat ? static_cast<size_t>(aw) * 4 : 0);
  std::vector<float> outF(isFloat ? static_cast<size_t>(bw) * 4 : 0);
  int current = -1;
  for (int by : p.rows) {
    const int sy = std::clamp(static_cast<int>((by + p.m.uy) / p.m.sy), 0, ah - 1);
    if (sy != current) {
      if (isFloat) {
        p.source->ReadRowFloat(p.a.y0 + sy, p.a.x0, aw, inF.data());
        for (int bx = 0; bx < bw; ++bx) {
          std::memcpy(&outF[static_cast<size_t>(bx) * 4], &inF[static_cast<size_t>(columns[static_cast<size_t>(bx)]) * 4],
                      4 * sizeof(float));
        }
      } else {
        ReadRow8(*p.source, p.a.y0 + sy, p.a.x0, aw, in);
        for (int bx = 0; bx < bw; ++bx) {
          std::memcpy(&out.u8[static_cast<size_t>(bx) * channels],
                      &in.u8[static_cast<size_t>(columns[static_cast<size_t>(bx)]) * channels],
                      static_cast<size_t>(channels));
        }
      }
      current = sy;
    }
    if (isFloat) {
      p.destination->WriteRowFloat(p.b.y0 + by, p.b.x0, bw, outF.data());
    } else {
      WriteRow8(*p.destination, p.b.y0 + by, p.b.x0, bw, out);
    }
  }
}

Window PictureWindow(const Picture& picture, bool& has) {
  int x0, y0, w, h;
  picture.GetWindow(x0, y0, w, h);
  has = x0 != kUndefinedCoordinate;
  return Window{x0, y0, x0 + w - 1, y0 + h - 1};
}

void Intersect(Window& w, const Window& limit) {
  w.x0 = std::max(w.x0, limit.x0);
  w.y0 = std::max(w.y0, limit.y0);
  w.x1 = std::min(w.x1, limit.x1);
  w.y1 = std::min(w.y1, limit.y1);
}

// Step 8: an axis whose samples fall on source samples point-samples.
bool Coerce(AxisParams& axis, const Filter& f, double s, double u, const Filter*& chosen) {
  const bool point = axis.support <= 0.5 ||
                     (f.cardinal != 0 && IsInteger(1.0 / axis.scale) && IsInteger(1.0 / (axis.scale * s)) &&
                      IsInteger((u / s - 0.5) / axis.scale));
  if (!point) return false;
  chosen = FindFilter("point");
  axis.scale = 1.0;
  axis.support = 0.5;
  axis.point = true;
  return true;
}

}  // namespace

AxisParams MakeAxisParams(const Filter& f, double s) {
  AxisParams axis;
  axis.scale = f.blur * std::max(1.0, 1.0 / s);
  axis.support = std::max(0.5, axis.scale * f.support);
  axis.width = static_cast<int>(std::ceil(2.0 * axis.support));
  return axis;
}

void SetCoerce(bool on) { g_coerce = on; }
bool GetCoerce() { return g_coerce; }
void SetTrimZeros(bool on) { g_trimZeros = on; }
bool GetTrimZeros() { return g_trimZeros; }
void SetAxisOrder(AxisOrder order) { g_axisOrder = order; }
AxisOrder GetAxisOrder() { return g_axisOrder; }

bool MakeWeightTable(double c, const AxisParams& axis, const Filter& filter, int n, bool trim,
                     WeightTable& table) {
  int i0 = 0, i1 = 0;
  if (n < 1 || !SourceRange(c, axis.support, n, i0, i1)) {
    SingleSample(table, NearestSample(c, std::max(n, 1)), static_cast<std::int16_t>(kWeightOne));
    return false;
  }
  double den = 0;
  for (int i = i0; i < i1; ++i) den += filter.func((i + 0.5 - c) / axis.scale, filter.clientdata);
  const double sc = den == 0.0 ? kWeightOne : kWeightOne / den;
  table.weight.clear();
  int first = i0;
  int lastNonZero = i0 - 1;
  int sum = 0;
  bool leading = trim;
  for (int i = i0; i < i1; ++i) {
    const double tr = sc * filter.func((i + 0.5 - c) / axis.scale, filter.clientdata);
    if (!(tr >= -32768.0 && tr <= 32767.0)) {
      SingleSample(table, NearestSample(c, n), static_cast<std::int16_t>(kWeightOne));
      return false;
    }
    const int t = static_cast<int>(std::floor(tr + 0.5));
    if (leading && t == 0) {
      first = i + 1;
      continue;
    }
    leading = false;
    table.weight.push_back(static_cast<std::int16_t>(t));
    sum += t;
    if (t != 0) lastNonZero = i;
  }
  if (sum == 0) {
    SingleSample(table, (i0 + i1) >> 1, static_cast<std::int16_t>(kWeightOne));
    return true;
  }
  table.i0 = first;
  table.i1 = trim ? lastNonZero + 1 : i1;
  table.weight.resize(static_cast<size_t>(table.i1 - table.i0));
  if (sum != kWeightOne) {
    const int centre = std::clamp(static_cast<int>(c + 0.5), table.i0, table.i1 - 1);
    const int fixed = table.weight[static_cast<size_t>(centre - table.i0)] + (kWeightOne - sum);
    if (fixed < -32768 || fixed > 32767) {
      SingleSample(table, NearestSample(c, n), static_cast<std::int16_t>(kWeightOne));
      return false;
    }
    table.weight[static_cast<size_t>(centre - table.i0)] = static_cast<std::int16_t>(fixed);
  }
  return true;
}

bool MakeWeightTableF(double c, const AxisParams& axis, const Filter& filter, int n, bool trim,
                      WeightTableF& table) {
  int i0 = 0, i1 = 0;
  if (n < 1 || !SourceRange(c, axis.support, n, i0, i1)) {
    SingleSample(table, NearestSample(c, std::max(n, 1)), 1.0);
    return false;
  }
  double den = 0;
  for (int i = i0; i < i1; ++i) den += filter.func((i + 0.5 - c) / axis.scale, filter.clientdata);
  const double sc = den == 0.0 ? 1.0 : 1.0 / den;
  table.weight.clear();
  int first = i0;
  int lastNonZero = i0 - 1;
  double sum = 0;
  bool leading = trim;
  for (int i = i0; i < i1; ++i) {
    const double t = sc * filter.func((i + 0.5 - c) / axis.scale, filter.clientdata);
    if (leading && t == 0.0) {
      first = i + 1;
      continue;
    }
    leading = false;
    table.weight.push_back(t);
    sum += t;
    if (t != 0.0) lastNonZero = i;
  }
  if (sum == 0.0) {
    SingleSample(table, (i0 + i1) >> 1, 1.0);
    return true;
  }
  table.i0 = first;
  table.i1 = trim ? lastNonZero + 1 : i1;
  table.weight.resize(static_cast<size_t>(table.i1 - table.i0));
  if (std::fabs(sum - 1.0) >= kEpsilon) {
    const int centre = std::clamp(static_cast<int>(c + 0.5), table.i0, table.i1 - 1);
    table.weight[static_cast<size_t>(centre - table.i0)] += 1.0 - sum;
  }
  return true;
}

std::vector<int> RowOrder(bool samePicture, const Window& a, const Window& b, double sy, double ty,
                          double ySupport) {
  const int count = std::max(0, b.Height());
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(count));
  const bool overlap = samePicture && a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
  if (!overlap) {
    for (int r = 0; r < count; ++r) rows.push_back(r);
    return rows;
  }
  double k;
  if (sy == 1.0) {
    k = a.y0 < b.y0 ? 0 : count;
  } else if (sy > 1.0) {
    k = std::floor(((ySupport * sy + ty) - 0.5) / (1.0 - sy) - b.y0 + 1);
  } else {
    k = std::ceil((ySupport * sy + ty) / (1.0 - sy) - b.y0);
  }
  const int split = static_cast<int>(std::clamp(k, 0.0, static_cast<double>(count)));
  if (sy >= 1.0) {
    for (int r = 0; r < split; ++r) rows.push_back(r);
    for (int r = count - 1; r >= split; --r) rows.push_back(r);
  } else {
    for (int r = split - 1; r >= 0; --r) rows.push_back(r);
    for (int r = split; r < count; ++r) rows.push_back(r);
  }
  return rows;
}

void ZoomWindow(Picture& source, Window a, Picture& destination, Window b, const Filter& xFilter,
                const Filter& yFilter) {
  if (b.x0 == kUndefinedCoordinate) {
    std::fprintf(stderr, "%s{%d,%d,%d,%d}%dx%d\n", "dest", b.x0, b.y0, b.x1, b.y1, b.Width(), b.Height());
    return;
  }
  Mapping m;
  m.sx = static_cast<double>(b.Width()) / a.Width();
  m.sy = static_cast<double>(b.Height()) / a.Height();
  m.tx = (b.x0 - 0.5) - (a.x0 - 0.5) * m.sx;
  m.ty = (b.y0 - 0.5) - (a.y0 - 0.5) * m.sy;
  if (a.Width() > 0 && a.Height() > 0 && b.Width() > 0 && b.Height() > 0) {
    Zoom(source, a, destination, b, m, xFilter, yFilter);
  }
}

void Zoom(Picture& source, Window a, Picture& destination, Window b, const Mapping& mapping,
          const Filter& xFilter, const Filter& yFilter) {
  if ((source.GetChannelCount() == 1) != (destination.GetChannelCount() == 1)) return;
  if (!(mapping.sx > 0) || !(mapping.sy > 0)) return;
  Plan p{&source, &destination, a, b, mapping, &xFilter, &yFilter, {}, {}, {}};
  p.x = MakeAxisParams(xFilter, mapping.sx);
  p.y = MakeAxisParams(yFilter, mapping.sy);
  bool has = false;
  const Window sourceWindow = PictureWindow(source, has);
  if (has) Intersect(p.a, sourceWindow);
  const Window destinationWindow = PictureWindow(destination, has);
  if (has) Intersect(p.b, destinationWindow);
  // Only the part of the destination that the source reaches.
  const Window reach{
      static_cast<int>(std::ceil((p.a.x0 - p.x.support) * mapping.sx + mapping.tx + kEpsilon)),
      static_cast<int>(std::ceil((p.a.y0 - p.y.support) * mapping.sy + mapping.ty + kEpsilon)),
      static_cast<int>(std::floor((p.a.x1 + p.x.support) * mapping.sx + mapping.tx - kEpsilon)),
      static_cast<int>(std::floor((p.a.y1 + p.y.support) * mapping.sy + mapping.ty - kEpsilon))};
  Intersect(p.b, reach);
  destination.SetWindow(p.b.x0, p.b.y0, p.b.Width(), p.b.Height());
  p.m.ux = p.b.x0 - (p.a.x0 - 0.5) * mapping.sx - mapping.tx;
  p.m.uy = p.b.y0 - (p.a.y0 - 0.5) * mapping.sy - mapping.ty;
  if (p.a.Width() <= 0 || p.a.Height() <= 0 || p.b.Width() <= 0 || p.b.Height() <= 0) return;
  if (g_coerce) {
    Coerce(p.x, xFilter, mapping.sx, p.m.ux, p.xf);
    Coerce(p.y, yFilter, mapping.sy, p.m.uy, p.yf);
  }
  bool xFirst;
  if (g_axisOrder == AxisOrder::kAuto) {
    const double aw = p.a.Width(), ah = p.a.Height(), bw = p.b.Width(), bh = p.b.Height();
    xFirst = bw * (ah * p.x.width + bh * p.y.width) < bh * (bw * p.x.width + aw * p.y.width);
  } else {
    xFirst = g_axisOrder == AxisOrder::kXFirst;
  }
  p.rows = RowOrder(&source == &destination, p.a, p.b, mapping.sy, mapping.ty, p.y.support);
  if (p.x.point && p.y.point) {
    UnfilteredCopy(p);
  } else if (source.IsFloat() && destination.IsFloat()) {
    PassFloat(p, xFirst);
  } else {
    Pass8(p, xFirst);
  }
}

}  // namespace KT::Resample
