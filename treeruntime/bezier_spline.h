// stBezierSpline: the curve type behind every profile of a tree description.
//
// A spline maps t in [0, 1] to a value between a minimum and a maximum
// through a piecewise cubic Bezier curve in the plane (x along the curve, y
// the curve value), with an optional random variance. Curves travel as text
// (ToText / Parse); after parsing, the curve is resampled into a table of
// 500 evenly spaced values so that evaluation is a table lookup.
//
// Text form (numbers as by the C format "%g", always with a point):
//   BezierSpline <min> <max> <variance>\n
//   {\n
//   \t<n>\n
//   \t<x> <y> <tangent x> <tangent y> <handle length>\n     (n lines)
//   \n
//   }\n
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "treeruntime/tree_memory.h"
#include "treeruntime/vec.h"

namespace trt {

struct stBezierSpline {
  static constexpr int kTableSize = 500;
  // How far from 1 the length of a tangent may be to count as unit.
  static constexpr float kUnitTolerance = 1e-5f;

  float m_fVariance = 0.0f;
  float m_fMin = 0.0f;
  float m_fMax = 1.0f;
  // The count given to SetNumPoints (the number of control points expected).
  int m_nNumPoints = 0;
  // Control points and Bezier points added so far.
  int m_nPointsAdded = 0;
  int m_nHandlePointsAdded = 0;
  stBezierSpline() = default;
  // Default curve, then Parse(text).
  explicit stBezierSpline(std::string_view text);
  // A copy shares the points and table with its original until either of
  // them changes (each then holds its own), so that copying a curve takes
  // no memory; a moved-from curve is left without points (its minimum,
  // maximum and variance are kept).
  stBezierSpline(const stBezierSpline& other);
  stBezierSpline& operator=(const stBezierSpline& other);
  stBezierSpline(stBezierSpline&& other) noexcept;
  stBezierSpline& operator=(stBezierSpline&& other) noexcept;
  ~stBezierSpline();

  // True when both curves hold the same state bit for bit: minimum,
  // maximum, variance and counters (floats compared by their bits, so 0 and
  // -0 differ and a NaN equals itself), control points, polygon and table.
  bool SameAs(const stBezierSpline& other) const;

  // Control points: position (x in [0, 1], y the curve value), unit tangent
  // and handle length; all of dimension 2.
  const TreeVector<stVec>& Positions() const;
  const TreeVector<stVec>& Tangents() const;
  const TreeVector<float>& Lengths() const;
  // The cubic control polygon, 3n - 2 points: segment i uses points 3i to
  // 3i + 3, neighbouring segments sharing their end point.
  const TreeVector<stVec>& BezierPoints() const;
  // Curve values at i / 499, i = 0 .. 499, made when a curve of at least
  // two control points is resampled; empty otherwise (every value reads as
  // 0).
  const TreeVector<float>& Table() const;

  // Reads the text form. A text whose first word is not "BezierSpline"
  // leaves the curve as it is; one whose fourth word does not begin with "{"
  // keeps the old control points under the new minimum, maximum and
  // variance. The point list ends early when the text does, so a count
  // larger than the text can hold adds only the points present (a group cut
  // short reads its missing numbers as 0). The table is rebuilt in every
  // case. Never throws for any text (allocation failure aside).
  void Parse(std::string_view text);
  // The text form, written independently of the process locale.
  std::string ToText() const;

  // Stores n, drops the control points and resets both counters; n <= 0
  // also releases the points' block (polygon and table included).
  void SetNumPoints(int n);
  // Normalises the tangent (a zero tangent stays zero), except that a
  // tangent whose length is within kUnitTolerance of 1 is kept as given:
  // a unit tangent written with six digits reads back that close, and
  // renormalising it could change its last digit, so save, parse, save would
  // not be a fixed point. When a point exists
  // already, appends the two inner handles of the new segment (previous
  // position + previous tangent x previous length, then position - tangent
  // x length); then appends the position as a Bezier point and stores the
  // control point.
  void AddPoint(const stVec& position, const stVec& tangent, float length);
  // Resamples the curve into the table: the segments are sampled with step
  // (n - 1) / 499 by de Casteljau's construction (in double precision), and
  // the table value at x = i / 499 is interpolated between the two samples
  // around x (first and last values are the end points' y). With fewer than
  // two control points the table is released (every value reads as 0).
  void CreateEvenlySpacedPoints();

  // The table value at t (t clamped to [0, 1], NaN read as 0), linearly
  // interpolated: the raw curve value before the minimum/maximum mapping.
  float CurveValue(float t) const;
  // minimum + (maximum - minimum) x CurveValue(t). A curve with fewer than
  // two control points gives its minimum.
  float Evaluate(float t) const;
  // Evaluate(t) plus one uniform draw r in [-variance, variance]; when
  // proportional, r is first multiplied by CurveValue(t). Always takes
  // exactly one draw from the shared generator.
  float EvaluateWithVariance(float t, bool proportional) const;
  // One uniform draw in [-variance x c, variance x c], c being the table
  // value nearest to t; the curve value itself is not added.
  float GetVariance(float t) const;

 private:
  // The points, the polygon and the table live in one block (tracked) that
  // the first control point makes: a record full of curves that a block
  // leaves empty then costs a few words per curve, so memory follows the
  // data read. Copies share the block, which counts the curves holding it;
  // a curve about to change it takes a copy of its own first.
  struct SPoints {
    TreeVector<stVec> m_vPositions;
    TreeVector<stVec> m_vTangents;
    TreeVector<float> m_vLengths;
    TreeVector<stVec> m_vBezierPoints;
    TreeVector<float> m_vTable;
    std::uint32_t m_nHolders = 1;
  };
  // The block for writing: made when absent, copied when shared.
  SPoints& Points();
  // Lets go of the block; the last holder frees it.
  void FreePoints();

  SPoints* m_pPoints = nullptr;
};

// The locale-independent number reader of the curve text: optional sign,
// digits accumulated in single precision, an optional fraction (each digit
// adding digit x 0.1^k, the factor kept in single precision) and an
// optional exponent ("e" or "E", optional sign, digits). Reading stops at
// the first other character; an empty text reads as 0.
float ReadCurveNumber(std::string_view word);

// A float as by the C format "%g" in the classic locale ("0.1", "1e-05").
std::string FormatCurveNumber(float value);

}  // namespace trt
