// KT::CPath: a spatial that carries a curve through control points in its
// local space, for the path-constraint controllers that move and orient
// objects along it by a path parameter t in [0, 1] (the fraction of the
// curve's length).
//
// Stored: the control points, one bank rotation per control point (a
// rotation about the forward X axis of the control's direction frame), the
// curve kind (polyline or natural cubic spline), the terrain-projection
// switch with its sample density, a display colour and the guide-point
// flag. Everything else (the sampled line, the length table, the spline
// tables, per-control directions and world frames) is run-time data that
// Rebuild (path_sampling.cpp) makes from the stored members; a load
// rebuilds it, copies carry it over, Update refreshes the world frames.
//
// Guide points: with HasGuidePoints the first two and the last control
// point only shape the spline; the path runs from control point 2 to
// control point n - 2. A path with fewer than four control points has no
// room for guide points: the flag is then kept (and saved) but ignored.
//
// Record, after the KT::CSpatial record (little-endian): version pair 1.03;
// CtrlXYZ (u32 count, 12 bytes each); CtrlUp (u32 count, 16 bytes each,
// x y z w); PathType (u32); ProjectToTerrain (byte); SampleDensity (f32);
// Color (three f32); HasGuidePoints (byte). Older forms: below 1.03 the
// bank rotations were stored as (w, x, y, z) full orientations in path
// space and are converted to banks on load; below 1.02 there is no
// HasGuidePoints; below 1.01 no Color (a random one is drawn).
#pragma once

#include <vector>

#include "objectmodel/color.h"
#include "objectmodel/quaternion.h"
#include "scene/path_sampling.h"
#include "scene/spatial.h"

namespace KT {

// True when `angle` is within 1e-5 of 0 or of pi: the rotation axis of two
// (anti)parallel directions is then undefined.
bool IsDegenerateAngle(f32 angle);

// The rotation by the angle between the unit vectors a and b (acos of
// their dot product, clamped) about a x b normalised. When the angle is
// degenerate, or a x b has no length (a zero input), the rotation is about
// `fallback` instead.
CQuaternion QuaternionFromTo(const CVector3<float>& a, const CVector3<float>& b, const CVector3<float>& fallback);

class CPath : public CSpatial {
  KT_DECLARE_CLASS(CPath)

 public:
  enum PathKind : u32 { PT_Linear = 0, PT_Spline = 1 };
  static const char16_t* const kPathTypeNames[2];

  using SplineCoef = KT::SplineCoef;

  // Version gates of the record.
  static constexpr u32 kVersionColor = 101;         // Color stored from here on
  static constexpr u32 kVersionGuidePoints = 102;   // HasGuidePoints stored from here on
  static constexpr u32 kVersionBankRotations = 103; // CtrlUp as (x, y, z, w) banks about X

  // Number of entries of AlignAxisRotation ("XAxis", "YAxis", "ZAxis",
  // "NXAxis", "NYAxis", "NZAxis").
  static constexpr u32 kAlignAxisCount = 6;
  // The rotations that turn a chosen object axis onto the path's forward
  // axis X, indexed by the AlignAxis value of the path constraints.
  static const CQuaternion kAlignAxisRotation[kAlignAxisCount];

  // The sample spacing of spline paths without terrain projection.
  static constexpr f32 kSplineDensity = 20.0f;
  // The parameter distance either side of t used for directions.
  static constexpr f32 kDirectionSpan = 0.01f;

  // No control points, "PT_Spline", no projection, SampleDensity 200, a
  // random colour (red, green, blue drawn in that order from RandomUnit),
  // no guide points; no samples.
  CPath();
  // Copies every stored and run-time member; the copy's line is valid.
  CPath(const CPath& other);
  ~CPath() override;

  // A new default path into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CPath>& out);

  // --- terrain ------------------------------------------------------------------
  // The class-wide terrain sampler (not owned; null: none). While none is
  // installed, terrain projection is inactive.
  static void SetTerrainSampler(CTerrainSampler* sampler);
  static CTerrainSampler* GetTerrainSampler();

  // --- stored members -------------------------------------------------------------
  // Setters mark the path modified; they do not rebuild (call Rebuild).
  const std::vector<CVector3<float>>& GetCtrlXYZ() const { return ctrlXYZ_; }
  void SetCtrlXYZ(const std::vector<CVector3<float>>& points) {
    ctrlXYZ_ = points;
    SetModified();
  }
  const std::vector<CQuaternion>& GetCtrlUp() const { return ctrlUp_; }
  void SetCtrlUp(const std::vector<CQuaternion>& ups) {
    ctrlUp_ = ups;
    SetModified();
  }
  u32 GetPathType() const { return pathType_; }
  void SetPathType(u32 type) {
    pathType_ = type;
    SetModified();
  }
  bool GetProjectToTerrain() const { return projectToTerrain_; }
  void SetProjectToTerrain(bool project) {
    projectToTerrain_ = project;
    SetModified();
  }
  f32 GetSampleDensity() const { return sampleDensity_; }
  void SetSampleDensity(f32 density) {
    sampleDensity_ = density;
    SetModified();
  }
  // Red, green and blue (alpha is always 1 and not stored).
  const CColor& GetColor() const { return color_; }
  void SetColor(f32 red, f32 green, f32 blue) {
    color_ = CColor(red, green, blue, 1.0f);
    SetModified();
  }
  bool GetHasGuidePoints() const { return hasGuidePoints_; }
  void SetHasGuidePoints(bool guide) {
    hasGuidePoints_ = guide;
    SetModified();
  }

  // --- run-time members --------------------------------------------------------------
  const std::vector<SplineCoef>& GetSpline(int axis) const { return axis == 0 ? splineX_ : (axis == 1 ? splineY_ : splineZ_); }
  const std::vector<f32>& GetLength() const { return length_; }
  const std::vector<f32>& GetSampleRatio() const { return sampleRatio_; }
  const std::vector<u32>& GetCtrlAtLength() const { return ctrlAtLength_; }
  const std::vector<CQuaternion>& GetLineNormal() const { return lineNormal_; }
  const std::vector<CVector3<float>>& GetCtrlDir() const { return ctrlDir_; }
  const std::vector<CVector3<float>>& GetLineXYZ() const { return lineXYZ_; }
  const std::vector<CVector3<float>>& GetCtrlLocal() const { return ctrlLocal_; }
  const std::vector<CMatrix4>& GetCtrlWorldMatrix() const { return ctrlWorldMatrix_; }
  bool IsLineValid() const { return lineValid_; }
  const CBound& GetLineBound() const { return lineBound_; }

  // True when the guide-point flag is in force: set, and at least four
  // control points.
  bool UsesGuidePoints() const;
  // The first and last control point of the path proper (2 and n - 2 with
  // guide points in force, else 0 and n - 1).
  u32 FirstPathControl() const;
  i64 LastPathControl() const;

  // Empties the control points, bank rotations and every run-time table
  // except CtrlDir; marks the path modified.
  void ClearPath();

  // --- sampling (path_sampling.cpp) -----------------------------------------------------
  // Rebuilds every run-time table from the stored members: the samples of
  // the curve kind ("PT_Linear" or "PT_Spline"; another kind leaves the
  // path without samples), the control points in CtrlLocal (dropped onto
  // the terrain when projecting), the line bound and the control
  // directions. `index` -1 means all control points; max(index, 0) is the
  // first changed control point given to the spline. No control points:
  // ClearPath, kOk. Otherwise kOk, or the failure of a position lookup.
  // Terrain projection happens only with ProjectToTerrain set and a
  // sampler installed.
  Result Rebuild(i32 index);
  // Fill Length, LineXYZ and CtrlAtLength (and SampleRatio for splines)
  // from the control points; kOk.
  Result SampleLinear(u32 firstChanged);
  Result SampleSpline(u32 firstChanged);
  // The spline point at u counted from control point 0 (see EvaluateSpline).
  CVector3<float> EvaluateSpline(f32 u) const;
  // Path parameter of path control point j: 0 for j < 0, 1 for j past the
  // last, else its entry of Length.
  f32 ParameterOfControl(i32 j) const;
  // The local point at t. No samples: kErrNotFound (`point` unchanged).
  Result PositionAtParameter(f32 t, CVector3<float>& point) const;
  // The bank rotation at t: with terrain projection the interpolated
  // terrain tilt (identity and kDone when there are no tilts; identity and
  // kOk when no sampler is installed), else the bank rotations of the two
  // path controls around t, slerped. Control points without a stored bank
  // rotation count as the identity. No samples, or t outside every control
  // interval: identity and kErrNotFound.
  Result UpAtParameter(f32 t, CQuaternion& up) const;
  // The rotation that turns Z onto the normal n (a zero or non-finite n
  // gives the identity).
  static CQuaternion QuaternionFromNormal(const CVector3<float>& n);

  // --- path constraints ----------------------------------------------------------------
  // The world position at t, the bank rotation at t (UpAtParameter) and
  // the unit world tangent from the world positions at max(t - 0.01, 0)
  // and min(t + 0.01, 1). The first failing lookup's code is returned with
  // the outputs written so far; kDone from UpAtParameter is not a failure.
  Result SampleWorld(f32 t, CVector3<float>& position, CVector3<float>& tangent, CQuaternion& up) const;
  // The orientation of an object moving along the unit world `direction`:
  // heading and pitch from X in path space, with the path's world
  // rotation, then `extra` (when `useExtra`), then AlignAxisRotation[align].
  // An align index past the table: kErrOutOfRange (`out` unchanged).
  Result OrientAlongDirection(const CVector3<float>& direction, const CQuaternion& extra, u32 align, bool useExtra,
                              CQuaternion& out) const;
  // Heading only (the path's own rotation is not applied): the turn from X
  // to the direction flattened onto XY, then `extra` (when `useExtra`),
  // then AlignAxisRotation[align]. A vertical direction keeps heading X.
  // An align index past the table: kErrOutOfRange.
  static Result OrientAlongHeading(const CVector3<float>& direction, const CQuaternion& extra, u32 align,
                                   bool useExtra, CQuaternion& out);

  // --- spatial protocol ------------------------------------------------------------------
  // Appends only this path.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // WorldBound = LineBound transformed by WorldMatrix; kOk.
  Result UpdateWorldBound() override;
  // Active path: `bound` = the bound of the world positions of the samples,
  // kOk; no samples: `bound` empty at the origin, kDone. Inactive: kDone,
  // `bound` unchanged.
  Result GetBound(CBound& bound) override;

  // --- overrides -----------------------------------------------------------------------
  // CSpatial's, then this path itself, so that Update runs in every data
  // pass.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // The CDorun update, then the world frame of every entry of CtrlLocal.
  Result Update(i32 time) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a path (null: kErrInvalidArg, another class:
  // kErrNotFound, both before anything changes). Copies the spatial part
  // and every stored and run-time member; the target's line is valid.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record, then rebuilds the run-time tables (without terrain
  // projection; the flag is restored afterwards) and converts the bank
  // rotations of records before 1.03. Clears Modified.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  // Sizes CtrlLocal and CtrlWorldMatrix to the path controls that carry a
  // world frame (n - 4 with guide points in force, else n).
  void SizeControlFrames();
  // The bank rotation stored for control i; the identity when the list is
  // shorter.
  CQuaternion BankOf(u64 i) const;
  // Binary search of t in Length: an exact hit at `mid` (lo = hi = mid),
  // else the interval lo..hi it ends on. Length must not be empty.
  void Lookup(f32 t, u32& lo, u32& hi, bool& exact) const;
  // Converts the orientations of a record before 1.03 into banks about X,
  // for every control that has a direction.
  void ConvertOldBanks();
  // Appends one interior or end sample during sampling.
  void AppendSample(const CVector3<float>& p, f32& total, CVector3<float>& prev);
  bool Projecting() const;

  std::vector<CVector3<float>> ctrlXYZ_;
  std::vector<CQuaternion> ctrlUp_;
  u32 pathType_ = PT_Spline;
  bool projectToTerrain_ = false;
  f32 sampleDensity_ = 200.0f;
  CColor color_;
  bool hasGuidePoints_ = false;

  std::vector<SplineCoef> splineX_;
  std::vector<SplineCoef> splineY_;
  std::vector<SplineCoef> splineZ_;
  std::vector<f32> length_;
  std::vector<f32> sampleRatio_;
  std::vector<u32> ctrlAtLength_;
  std::vector<CQuaternion> lineNormal_;
  std::vector<CVector3<float>> ctrlDir_;
  std::vector<CVector3<float>> lineXYZ_;
  std::vector<CVector3<float>> ctrlLocal_;
  std::vector<CMatrix4> ctrlWorldMatrix_;
  bool lineValid_ = false;
  CBound lineBound_;
};

}  // namespace KT
