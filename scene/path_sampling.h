// Sampling support of KT::CPath: the terrain-sampler interface, the natural
// cubic spline through a path's control points, and the guards that keep the
// sampling loops finite.
//
// A path turns its control points into a sampled polyline and a table of
// normalised cumulative lengths (scene/path.h); the spline helpers below are
// the part of that work that does not depend on the path object. The
// path's own sampling operations (Rebuild, the two samplers and the lookups
// by parameter) are implemented in path_sampling.cpp.
#pragma once

#include <vector>

#include "objectmodel/types.h"
#include "objectmodel/vector.h"

namespace KT {

// A terrain under the scene, installed by an embedding application so that
// paths can drop their line onto it (KT::CPath::SetTerrainSampler). The
// library defines the interface and implements none.
class CTerrainSampler {
 public:
  virtual ~CTerrainSampler() = default;
  // Writes the terrain height under the world point (x, y) into `height`
  // and the unit surface normal there into `normal`. The result is not
  // checked: a sampler that fails should leave plausible values behind.
  virtual Result Sample(f32 x, f32 y, f32& height, CVector3<float>& normal) = 0;
};

// One record of a spline table per control point (28 bytes, seven f32):
// the working values of the tridiagonal solve (Slope is the first
// derivative at the point), then the cubic of the interval that starts at
// the point, x(f) = A + f (B + f (C + f D)) for f in [0, 1]. The record of
// the last point carries no interval.
struct SplineCoef {
  f32 Gamma = 0.0f;
  f32 Delta = 0.0f;
  f32 Slope = 0.0f;
  f32 A = 0.0f;
  f32 B = 0.0f;
  f32 C = 0.0f;
  f32 D = 0.0f;
};

static_assert(sizeof(SplineCoef) == 28, "SplineCoef is seven packed floats");

// Fills `table` with the natural cubic spline of coordinate `axis` (0 x,
// 1 y, 2 z) of `points`, one parameter unit per interval. The table is
// resized to the point count; entries that depend only on their index or on
// points below `firstChanged` keep the values of the previous build unless
// the previous table was too short to hold them. An axis other than 0, 1, 2:
// kErrInvalidArg (nothing changes). Fewer than two points: kDone (the table
// stays as it was). Otherwise kOk.
Result BuildSplineAxis(std::vector<SplineCoef>& table, const std::vector<CVector3<float>>& points, int axis,
                       u32 firstChanged);

// The spline point at parameter u, counted from control point 0: the
// integer part of u picks the interval, the rest is the fraction. u at or
// beyond the last point gives the end of the last interval, u below 0 (and
// NaN) the first point. With exactly one point that point; with tables
// too short to hold an interval, the first point (or the origin without
// points).
CVector3<float> EvaluateSpline(const std::vector<SplineCoef>& x, const std::vector<SplineCoef>& y,
                               const std::vector<SplineCoef>& z, const std::vector<CVector3<float>>& points,
                               f32 u);

// The interior samples of one interval are taken at r = step, 2 step...
// while r < 1. A step that is not positive and finite gives none, and so
// does a step too small to advance r; the whole line never holds more than
// kMaxLineSamples samples (control points excepted), so that a hostile
// density or length cannot exhaust memory.
inline constexpr u32 kMaxLineSamples = 1u << 20;
// True when `step` can drive the loop above: positive and finite.
bool IsUsableSampleStep(f32 step);

}  // namespace KT
