#include "scene/path_sampling.h"

#include <algorithm>
#include <cmath>

#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "scene/path.h"

namespace KT {

// --- spline -------------------------------------------------------------------------

Result BuildSplineAxis(std::vector<SplineCoef>& table, const std::vector<CVector3<float>>& points, int axis,
                       u32 firstChanged) {
  if (axis < 0 || axis > 2) return kErrInvalidArg;
  const std::size_t n = points.size();
  if (n < 2) return kDone;
  const std::size_t m = table.size();
  table.resize(n);
  auto x = [&](std::size_t i) { return points[i][axis]; };

  // Gamma depends only on the index, so entries of the previous build stay;
  // the previous last entry used the end formula and is recomputed.
  table[0].Gamma = 0.5f;
  for (std::size_t i = std::max<std::size_t>(m == 0 ? 1 : m - 1, 1); i + 2 <= n; ++i) {
    table[i].Gamma = 1.0f / (4.0f - table[i - 1].Gamma);
  }
  table[n - 1].Gamma = 1.0f / (2.0f - table[n - 2].Gamma);

  // Delta[i] depends on the points up to i + 1: entries below the first
  // changed point stay, as long as the previous table held them as
  // interior entries.
  table[0].Delta = 3.0f * (x(1) - x(0)) * table[0].Gamma;
  std::size_t start = firstChanged > 0 ? firstChanged - 1 : 0;
  start = std::min(start, m == 0 ? 0 : m - 1);
  for (std::size_t i = std::max<std::size_t>(start, 1); i + 2 <= n; ++i) {
    table[i].Delta = (3.0f * (x(i + 1) - x(i - 1)) - table[i - 1].Delta) * table[i].Gamma;
  }
  table[n - 1].Delta = (3.0f * (x(n - 1) - x(n - 2)) - table[n - 2].Delta) * table[n - 1].Gamma;

  table[n - 1].Slope = table[n - 1].Delta;
  for (std::size_t i = n - 1; i-- > 0;) table[i].Slope = table[i].Delta - table[i].Gamma * table[i + 1].Slope;

  for (std::size_t i = 0; i + 1 < n; ++i) {
    SplineCoef& c = table[i];
    const f32 next = table[i + 1].Slope;
    c.A = x(i);
    c.B = c.Slope;
    c.C = 3.0f * (x(i + 1) - x(i)) - 2.0f * c.Slope - next;
    c.D = 2.0f * (x(i) - x(i + 1)) + c.Slope + next;
  }
  return kOk;
}

CVector3<float> EvaluateSpline(const std::vector<SplineCoef>& x, const std::vector<SplineCoef>& y,
                               const std::vector<SplineCoef>& z, const std::vector<CVector3<float>>& points,
                               f32 u) {
  if (points.size() == 1) return points[0];
  const std::size_t m = std::min({x.size(), y.size(), z.size()});
  if (m < 2) return points.empty() ? kVectorZero : points[0];
  std::size_t s = 0;
  f32 f = 0.0f;
  // NaN fails every comparison and lands on the first point.
  if (u >= static_cast<f32>(m - 1)) {
    s = m - 2;
    f = 1.0f;
  } else if (u >= 0.0f) {
    const f32 whole = std::floor(u);
    s = static_cast<std::size_t>(whole);
    f = u - whole;
  }
  auto horner = [f](const SplineCoef& c) { return c.A + f * (c.B + f * (c.C + f * c.D)); };
  return {horner(x[s]), horner(y[s]), horner(z[s])};
}

bool IsUsableSampleStep(f32 step) { return step > 0.0f && std::isfinite(step); }

namespace {

// Runs `emit` (r) for the interior samples of one interval: r = step,
// r += step while r < 1, as long as r advances and the line has room.
template <typename Emit>
void ForInteriorSamples(f32 step, u32& budget, Emit&& emit) {
  if (!IsUsableSampleStep(step)) return;
  for (f32 r = step; r < 1.0f && budget > 0; --budget) {
    emit(r);
    const f32 next = r + step;
    if (!(next > r)) break;
    r = next;
  }
}

// Multiplies every length by 1 / total (nothing when total is 0).
void NormaliseLengths(std::vector<f32>& length, f32 total) {
  if (total == 0.0f) return;
  const f32 scale = 1.0f / total;
  for (f32& l : length) l *= scale;
}

}  // namespace

// --- path sampling ---------------------------------------------------------------------

CVector3<float> CPath::EvaluateSpline(f32 u) const {
  return KT::EvaluateSpline(splineX_, splineY_, splineZ_, ctrlXYZ_, u);
}

void CPath::AppendSample(const CVector3<float>& p, f32& total, CVector3<float>& prev) {
  lineXYZ_.push_back(p);
  total += (p - prev).Length();
  length_.push_back(total);
  prev = p;
}

Result CPath::SampleLinear(u32) {
  length_.clear();
  lineXYZ_.clear();
  ctrlAtLength_.clear();
  sampleRatio_.clear();
  if (ctrlXYZ_.empty()) return kOk;
  const u32 off = FirstPathControl();
  const i64 last = LastPathControl();
  length_.push_back(0.0f);
  ctrlAtLength_.push_back(0);
  lineXYZ_.push_back(ctrlXYZ_[off]);
  f32 total = 0.0f;
  for (i64 s = off + 1; s <= last; ++s) {
    total += (ctrlXYZ_[s] - ctrlXYZ_[s - 1]).Length();
    lineXYZ_.push_back(ctrlXYZ_[s]);
    length_.push_back(total);
    ctrlAtLength_.push_back(static_cast<u32>(length_.size() - 1));
  }

  if (Projecting()) {
    // Denser samples along each segment, so that the line can follow the
    // terrain between control points.
    const std::vector<f32> l1 = length_;
    const std::vector<u32> c1 = ctrlAtLength_;
    length_.assign(1, 0.0f);
    ctrlAtLength_.assign(1, 0);
    lineXYZ_.assign(1, ctrlXYZ_[off]);
    total = 0.0f;
    CVector3<float> q = lineXYZ_.back();
    u32 budget = kMaxLineSamples;
    for (i64 s = off + 1; s <= last; ++s) {
      const std::size_t j = static_cast<std::size_t>(s - off);
      const CVector3<float>& p0 = ctrlXYZ_[s - 1];
      const CVector3<float>& p1 = ctrlXYZ_[s];
      const f32 step = sampleDensity_ / l1[c1[j]];
      ForInteriorSamples(step, budget, [&](f32 r) { AppendSample(p0 * (1.0f - r) + p1 * r, total, q); });
      AppendSample(p1, total, q);
      ctrlAtLength_.push_back(static_cast<u32>(length_.size() - 1));
    }
  }
  NormaliseLengths(length_, total);
  return kOk;
}

Result CPath::SampleSpline(u32 firstChanged) {
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<SplineCoef>& table = axis == 0 ? splineX_ : (axis == 1 ? splineY_ : splineZ_);
    BuildSplineAxis(table, ctrlXYZ_, axis, firstChanged);
  }
  length_.clear();
  ctrlAtLength_.clear();
  lineXYZ_.clear();
  // SampleRatio is emptied here too, so that it always holds one entry per
  // sample (a one-point path used to grow it on every rebuild).
  sampleRatio_.clear();
  if (ctrlXYZ_.empty()) return kOk;
  if (ctrlXYZ_.size() == 1) {
    length_.push_back(0.0f);
    ctrlAtLength_.push_back(0);
    sampleRatio_.push_back(0.0f);
    return kOk;
  }
  const u32 off = FirstPathControl();
  const i64 last = LastPathControl();

  // First pass: a length estimate from ten interior points per interval.
  length_.push_back(0.0f);
  ctrlAtLength_.push_back(0);
  CVector3<float> prev = EvaluateSpline(static_cast<f32>(off));
  f32 total = 0.0f;
  const f32 eleventh = 1.0f / 11.0f;
  for (i64 s = off + 1; s <= last; ++s) {
    const f32 fs = static_cast<f32>(s);
    for (f32 r = eleventh; r < 1.0f; r += eleventh) {
      const CVector3<float> p = EvaluateSpline((r + fs) - 1.0f);
      total += (p - prev).Length();
      length_.push_back(total);
      prev = p;
    }
    const CVector3<float> p = EvaluateSpline(fs);
    total += (p - prev).Length();
    length_.push_back(total);
    ctrlAtLength_.push_back(static_cast<u32>(length_.size() - 1));
    prev = p;
  }

  const f32 density = Projecting() ? sampleDensity_ : kSplineDensity;
  const std::vector<f32> l1 = length_;
  const std::vector<u32> c1 = ctrlAtLength_;
  lineXYZ_.clear();
  ctrlAtLength_.clear();
  length_.clear();
  sampleRatio_.clear();

  // Second pass: samples spaced by the density over the first-pass length
  // from the path's start to the interval's end point.
  prev = EvaluateSpline(static_cast<f32>(off));
  length_.push_back(0.0f);
  ctrlAtLength_.push_back(0);
  lineXYZ_.push_back(prev);
  sampleRatio_.push_back(0.0f);
  total = 0.0f;
  const f32 foff = static_cast<f32>(off);
  u32 budget = kMaxLineSamples;
  for (i64 s = off + 1; s <= last; ++s) {
    const std::size_t j = static_cast<std::size_t>(s - off);
    const f32 fs = static_cast<f32>(s);
    const f32 step = density / l1[c1[j]];
    ForInteriorSamples(step, budget, [&](f32 r) {
      const f32 u = (r + fs) - 1.0f;
      AppendSample(EvaluateSpline(u), total, prev);
      sampleRatio_.push_back(u - foff);
    });
    AppendSample(EvaluateSpline(fs), total, prev);
    ctrlAtLength_.push_back(static_cast<u32>(length_.size() - 1));
    sampleRatio_.push_back(static_cast<f32>(j));
  }
  NormaliseLengths(length_, total);
  return kOk;
}

Result CPath::Rebuild(i32 index) {
  if (ctrlXYZ_.empty()) {
    ClearPath();
    return kOk;
  }
  const u32 firstChanged = index > 0 ? static_cast<u32>(index) : 0;
  if (pathType_ == PT_Spline) {
    SampleSpline(firstChanged);
  } else if (pathType_ == PT_Linear) {
    SampleLinear(firstChanged);
  } else {
    // An unknown kind has no curve: no samples, so lookups answer
    // kErrNotFound instead of reading tables of an earlier build.
    length_.clear();
    lineXYZ_.clear();
    ctrlAtLength_.clear();
    sampleRatio_.clear();
  }
  SizeControlFrames();
  const u32 off = FirstPathControl();
  if (!Projecting()) {
    // Also with the projection switch on but no sampler installed: the
    // controls then stand where they are.
    for (std::size_t i = 0; i < ctrlLocal_.size(); ++i) ctrlLocal_[i] = ctrlXYZ_[off + i];
  } else {
    CTerrainSampler* sampler = GetTerrainSampler();
    const CMatrix4& world = GetWorldMatrix();
    CMatrix4 inverse;
    MatrixInverse(inverse, nullptr, world);
    auto drop = [&](const CVector3<float>& local, CVector3<float>& normal) {
      CVector3<float> w = TransformCoord(local, world);
      sampler->Sample(w.x, w.y, w.z, normal);
      return TransformCoord(w, inverse);
    };
    for (std::size_t i = 0; i < ctrlXYZ_.size(); ++i) {
      CVector3<float> normal = kVectorUnitZ;
      const CVector3<float> dropped = drop(ctrlXYZ_[i], normal);
      if (i >= off && i - off < ctrlLocal_.size()) ctrlLocal_[i - off] = dropped;
    }
    lineNormal_.resize(lineXYZ_.size());
    for (std::size_t i = 0; i < lineXYZ_.size(); ++i) {
      CVector3<float> normal = kVectorUnitZ;
      lineXYZ_[i] = drop(lineXYZ_[i], normal);
      lineNormal_[i] = QuaternionFromNormal(normal);
    }
  }
  lineBound_.FromPoints(lineXYZ_);
  lineValid_ = true;

  ctrlDir_.clear();
  const i64 controls = LastPathControl() - off;
  for (i64 j = 0; j <= controls; ++j) {
    const f32 t = ParameterOfControl(static_cast<i32>(std::min<i64>(j, INT32_MAX)));
    CVector3<float> a;
    CVector3<float> b;
    Result r = PositionAtParameter(std::max(t - kDirectionSpan, 0.0f), a);
    if (Succeeded(r)) r = PositionAtParameter(std::min(t + kDirectionSpan, 1.0f), b);
    if (Failed(r)) return r;
    CVector3<float> direction = b - a;
    direction.Normalize();
    ctrlDir_.push_back(direction);
  }
  return kOk;
}

f32 CPath::ParameterOfControl(i32 j) const {
  if (j < 0) return 0.0f;
  if (static_cast<u32>(j) >= ctrlAtLength_.size()) return 1.0f;
  const u32 sample = ctrlAtLength_[static_cast<u32>(j)];
  return sample < length_.size() ? length_[sample] : 1.0f;
}

void CPath::Lookup(f32 t, u32& lo, u32& hi, bool& exact) const {
  const u32 n = static_cast<u32>(length_.size());
  lo = 0;
  hi = n - 1;
  u32 mid = n / 2;
  exact = false;
  do {
    if (t == length_[mid]) {
      lo = hi = mid;
      exact = true;
      return;
    }
    // A NaN t takes the upper branch, so the search still ends.
    if (t < length_[mid]) {
      hi = mid;
    } else {
      lo = mid;
    }
    mid = lo + (hi - lo) / 2;
  } while (mid != lo && mid != hi);
}

Result CPath::PositionAtParameter(f32 t, CVector3<float>& point) const {
  if (length_.empty()) return kErrNotFound;
  // A one-point spline has a length table but no line.
  const bool useLine = !(pathType_ == PT_Spline && !projectToTerrain_) && lineXYZ_.size() >= length_.size();
  const bool useRatio = !useLine && sampleRatio_.size() >= length_.size();
  u32 lo = 0;
  u32 hi = 0;
  bool exact = false;
  Lookup(t, lo, hi, exact);
  f32 u = 0.0f;
  if (exact) {
    if (useLine) {
      point = lineXYZ_[lo];
      return kOk;
    }
    u = useRatio ? sampleRatio_[lo] : 0.0f;
  } else {
    // Two samples at the same length (a path of zero length) are one
    // point: the fraction is 0, not a division by zero.
    const f32 span = length_[hi] - length_[lo];
    const f32 r = span == 0.0f ? 0.0f : (t - length_[lo]) / span;
    if (useLine) {
      point = lineXYZ_[lo] * (1.0f - r) + lineXYZ_[hi] * r;
      return kOk;
    }
    if (useRatio) u = sampleRatio_[lo] + r * (sampleRatio_[hi] - sampleRatio_[lo]);
  }
  if (UsesGuidePoints()) u += 2.0f;
  point = EvaluateSpline(u);
  return kOk;
}

Result CPath::UpAtParameter(f32 t, CQuaternion& up) const {
  up = kQuaternionIdentity;
  if (length_.empty()) return kErrNotFound;
  if (projectToTerrain_ && GetTerrainSampler() == nullptr) return kOk;
  if (ctrlUp_.size() == 1) {
    up = ctrlUp_[0];
    return kOk;
  }
  u32 lo = 0;
  u32 hi = 0;
  bool exact = false;
  Lookup(t, lo, hi, exact);
  if (projectToTerrain_) {
    if (lineNormal_.empty()) return kDone;
    f32 fraction = 0.0f;
    if (!exact) {
      const f32 span = length_[hi] - length_[lo];
      fraction = span == 0.0f ? 0.0f : (t - length_[lo]) / span;
    }
    // Tilts of an older build may be fewer than the samples.
    const std::size_t a = std::min<std::size_t>(lo, lineNormal_.size() - 1);
    const std::size_t b = exact ? a : std::min<std::size_t>(std::size_t{lo} + 1, lineNormal_.size() - 1);
    up = QuaternionSlerp(lineNormal_[a], lineNormal_[b], fraction);
    return kOk;
  }
  for (std::size_t k = 1; k < ctrlAtLength_.size(); ++k) {
    if (ctrlAtLength_[k - 1] > lo || ctrlAtLength_[k] < hi) continue;
    const u32 i0 = ctrlAtLength_[k - 1];
    const u32 i1 = ctrlAtLength_[k];
    if (i0 >= length_.size() || i1 >= length_.size()) break;
    const f32 span = length_[i1] - length_[i0];
    const f32 r = span == 0.0f ? 0.0f : (t - length_[i0]) / span;
    // The bank after the last control is that of the first (closed paths).
    const CQuaternion next = k == ctrlUp_.size() ? ctrlUp_[0] : BankOf(k);
    up = QuaternionSlerp(BankOf(k - 1), next, r);
    return kOk;
  }
  return kErrNotFound;
}

CQuaternion CPath::QuaternionFromNormal(const CVector3<float>& normal) {
  CVector3<float> n = normal;
  if (!(n.Normalize() > 0.0f) || !std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z)) {
    return kQuaternionIdentity;
  }
  const f32 angle = SafeAcos(n.Dot(kVectorUnitZ));
  if (angle >= 0.01f && angle <= 3.14f) return CQuaternion::FromAxisAngle(kVectorUnitZ.Cross(n), angle);
  return CQuaternion::FromAxisAngle(kVectorUnitX, angle);
}

}  // namespace KT
