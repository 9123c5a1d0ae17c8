#include "treeruntime/bezier_spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "treeruntime/tree_random.h"

namespace trt {
namespace {

constexpr const char* kFlatCurve = "BezierSpline 0 1 0 { 2 0 1 1 0 0.1 1 1 1 0 0.1 }";

// A straight line y = x with evenly spaced handles: x(s) = s exactly.
stBezierSpline LinearCurve(float minimum, float maximum) {
  stBezierSpline curve;
  curve.m_fMin = minimum;
  curve.m_fMax = maximum;
  curve.SetNumPoints(2);
  const float handle = std::sqrt(2.0f) / 3.0f;
  curve.AddPoint(stVec(0, 0), stVec(1, 1), handle);
  curve.AddPoint(stVec(1, 1), stVec(1, 1), handle);
  curve.CreateEvenlySpacedPoints();
  return curve;
}

class BezierSplineTest : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRandom::Seed(1); }
};

TEST_F(BezierSplineTest, ParsesTheFlatCurve) {
  const stBezierSpline curve(kFlatCurve);
  EXPECT_EQ(curve.m_fMin, 0.0f);
  EXPECT_EQ(curve.m_fMax, 1.0f);
  EXPECT_EQ(curve.m_fVariance, 0.0f);
  EXPECT_EQ(curve.m_nNumPoints, 2);
  EXPECT_EQ(curve.m_nPointsAdded, 2);
  EXPECT_EQ(curve.m_nHandlePointsAdded, 4);
  ASSERT_EQ(curve.Positions().size(), 2u);
  EXPECT_EQ(curve.Positions()[0][0], 0.0f);
  EXPECT_EQ(curve.Positions()[0][1], 1.0f);
  EXPECT_EQ(curve.Positions()[1][0], 1.0f);
  EXPECT_EQ(curve.Tangents()[1][0], 1.0f);
  EXPECT_EQ(curve.Tangents()[1][1], 0.0f);
  EXPECT_FLOAT_EQ(curve.Lengths()[0], 0.1f);
  // The control polygon: end point, two handles, end point.
  ASSERT_EQ(curve.BezierPoints().size(), 4u);
  EXPECT_FLOAT_EQ(curve.BezierPoints()[1][0], 0.1f);
  EXPECT_FLOAT_EQ(curve.BezierPoints()[2][0], 0.9f);
  // A flat curve of value 1: every table value is exactly 1.
  ASSERT_EQ(curve.Table().size(), 500u);
  for (float value : curve.Table()) ASSERT_EQ(value, 1.0f);
  for (float t : {0.0f, 0.25f, 0.5f, 0.999f, 1.0f}) EXPECT_EQ(curve.Evaluate(t), 1.0f) << t;
}

TEST_F(BezierSplineTest, WritesTheTextForm) {
  const stBezierSpline curve(kFlatCurve);
  EXPECT_EQ(curve.ToText(), "BezierSpline 0 1 0\n{\n\t2\n\t0 1 1 0 0.1\n\t1 1 1 0 0.1\n\n}\n");
}

TEST_F(BezierSplineTest, TextRoundTrip) {
  stBezierSpline curve;
  curve.m_fMin = -2.5f;
  curve.m_fMax = 1e-5f;
  curve.m_fVariance = 0.125f;
  curve.SetNumPoints(3);
  curve.AddPoint(stVec(0, 0.3f), stVec(1, 0.5f), 0.2f);
  curve.AddPoint(stVec(0.4f, 0.75f), stVec(0.6f, -0.8f), 0.15f);
  curve.AddPoint(stVec(1, 0.1f), stVec(1, 0), 0.05f);
  curve.CreateEvenlySpacedPoints();

  const stBezierSpline copy(curve.ToText());
  EXPECT_FLOAT_EQ(copy.m_fMin, curve.m_fMin);
  EXPECT_FLOAT_EQ(copy.m_fMax, curve.m_fMax);
  EXPECT_FLOAT_EQ(copy.m_fVariance, curve.m_fVariance);
  ASSERT_EQ(copy.Positions().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(copy.Positions()[i][0], curve.Positions()[i][0], 1e-6f);
    EXPECT_NEAR(copy.Positions()[i][1], curve.Positions()[i][1], 1e-6f);
    EXPECT_NEAR(copy.Tangents()[i][0], curve.Tangents()[i][0], 1e-5f);
    EXPECT_NEAR(copy.Tangents()[i][1], curve.Tangents()[i][1], 1e-5f);
    EXPECT_NEAR(copy.Lengths()[i], curve.Lengths()[i], 1e-6f);
  }
  // Written again, the text is the same.
  EXPECT_EQ(copy.ToText(), curve.ToText());
}

TEST_F(BezierSplineTest, TextIgnoresTheProcessLocale) {
  struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  const std::string text = stBezierSpline(kFlatCurve).ToText();
  std::locale::global(previous);
  EXPECT_NE(text.find("0.1"), std::string::npos);
  EXPECT_EQ(text.find(','), std::string::npos);
}

TEST_F(BezierSplineTest, OtherTextLeavesTheCurveAlone) {
  stBezierSpline curve = LinearCurve(2, 4);
  const std::string before = curve.ToText();
  const float middle = curve.Evaluate(0.5f);
  for (const char* text : {"", "Garbage 1 2 3", "bezierspline 5 6 7 { 2 }", "   \t\r\n"}) {
    EXPECT_NO_THROW(curve.Parse(text));
    EXPECT_EQ(curve.ToText(), before) << text;
    EXPECT_EQ(curve.Evaluate(0.5f), middle) << text;
  }
}

TEST_F(BezierSplineTest, MissingBraceKeepsThePointsUnderNewBounds) {
  stBezierSpline curve(kFlatCurve);
  curve.Parse("BezierSpline 3 5 0 x");
  EXPECT_EQ(curve.m_fMin, 3.0f);
  EXPECT_EQ(curve.Positions().size(), 2u);
  EXPECT_EQ(curve.Evaluate(0.3f), 5.0f);
}

TEST_F(BezierSplineTest, NumberReader) {
  struct Case {
    const char* text;
    float value;
  };
  const Case cases[] = {
      {"-1.5e2", -150.0f}, {"+.5", 0.5f},  {"7.", 7.0f},       {"", 0.0f},     {"abc", 0.0f},
      {"12x3", 12.0f},     {"1E3", 1000.0f}, {"1e-05", 1e-5f}, {"2.5e+1", 25.0f}, {"  42", 42.0f},
      {"-0", 0.0f},        {".", 0.0f},
  };
  for (const Case& c : cases) EXPECT_FLOAT_EQ(ReadCurveNumber(c.text), c.value) << c.text;
  // Extreme texts stay defined and finish.
  EXPECT_TRUE(std::isinf(ReadCurveNumber("1e99999999999999999999")));
  EXPECT_EQ(ReadCurveNumber("1e-99999999999999999999"), 0.0f);
  EXPECT_TRUE(std::isinf(ReadCurveNumber(std::string(400, '9'))));
}

TEST_F(BezierSplineTest, EvaluateMapsTheLastPointExactly) {
  const stBezierSpline curve("BezierSpline 2 4 0 { 2 0 0 1 1 0.1 1 0.5 1 1 0.1 }");
  EXPECT_EQ(curve.Evaluate(1.0f), 3.0f);
  EXPECT_EQ(curve.Evaluate(0.0f), 2.0f);
}

TEST_F(BezierSplineTest, SamplingFollowsTheCurve) {
  const stBezierSpline line = LinearCurve(0, 1);
  for (int i = 0; i < stBezierSpline::kTableSize; ++i) {
    ASSERT_NEAR(line.Table()[i], i / 499.0, 1e-5) << i;
  }
  for (float t : {0.1f, 0.3f, 0.77f}) EXPECT_NEAR(line.Evaluate(t), t, 1e-5f) << t;
  const stBezierSpline scaled = LinearCurve(10, 20);
  EXPECT_NEAR(scaled.Evaluate(0.3f), 13.0f, 1e-4f);
}

TEST_F(BezierSplineTest, ParameterIsClamped) {
  const stBezierSpline line = LinearCurve(0, 1);
  EXPECT_EQ(line.Evaluate(-1.0f), line.Evaluate(0.0f));
  EXPECT_EQ(line.Evaluate(2.0f), line.Evaluate(1.0f));
  EXPECT_EQ(line.Evaluate(std::numeric_limits<float>::quiet_NaN()), line.Evaluate(0.0f));
  EXPECT_EQ(line.Evaluate(std::numeric_limits<float>::infinity()), line.Evaluate(1.0f));
}

TEST_F(BezierSplineTest, FewerThanTwoPointsGiveTheMinimum) {
  EXPECT_EQ(stBezierSpline().Evaluate(0.5f), 0.0f);
  const stBezierSpline one("BezierSpline 3 5 0 { 1 0 1 1 0 0.1 }");
  EXPECT_EQ(one.Positions().size(), 1u);
  for (float t : {0.0f, 0.5f, 1.0f}) EXPECT_EQ(one.Evaluate(t), 3.0f);
  // A curve that had points and is re-read with one loses its old table.
  stBezierSpline curve(kFlatCurve);
  curve.Parse("BezierSpline 3 5 0 { 1 0 1 1 0 0.1 }");
  EXPECT_EQ(curve.Evaluate(0.5f), 3.0f);
  // Neither holds a table: a curve takes its table only when it has one.
  EXPECT_TRUE(stBezierSpline().Table().empty());
  EXPECT_TRUE(one.Table().empty());
  EXPECT_TRUE(curve.Table().empty());
  EXPECT_EQ(curve.GetVariance(0.5f), 0.0f);
}

TEST_F(BezierSplineTest, NearlyUnitTangentsAreKeptAsGiven) {
  struct Case {
    float x, y;
    float keptX, keptY;
  };
  const Case cases[] = {
      {0.707107f, 0.707107f, 0.707107f, 0.707107f},  // length 1 + 4.5e-7: kept
      {0.6f, 0.800005f, 0.6f, 0.800005f},            // within 1e-5 of 1: kept
      {3.0f, 4.0f, 0.6f, 0.8f},                      // normalised
      {0.6f, 0.81f, 0.6f / 1.00802f, 0.81f / 1.00802f},
      {0.0f, 0.0f, 0.0f, 0.0f},                      // zero stays zero
  };
  for (const Case& c : cases) {
    stBezierSpline curve;
    curve.AddPoint(stVec(0, 0), stVec(c.x, c.y), 0.1f);
    if (c.keptX == c.x && c.keptY == c.y) {
      EXPECT_EQ(curve.Tangents()[0][0], c.x);
      EXPECT_EQ(curve.Tangents()[0][1], c.y);
    } else {
      EXPECT_NEAR(curve.Tangents()[0][0], c.keptX, 1e-5f) << c.x << " " << c.y;
      EXPECT_NEAR(curve.Tangents()[0][1], c.keptY, 1e-5f) << c.x << " " << c.y;
    }
  }
}

TEST_F(BezierSplineTest, CountsAreBoundedByTheText) {
  // The "}" starts a second group whose numbers read as 0.
  const stBezierSpline huge("BezierSpline 0 1 0 { 1000000000 0 0 1 0 0.1 }");
  EXPECT_EQ(huge.Positions().size(), 2u);
  const stBezierSpline negative("BezierSpline 0 1 0 { -4 0 0 1 0 0.1 }");
  EXPECT_TRUE(negative.Positions().empty());
  const stBezierSpline cut("BezierSpline 0 1 0 { 2 0 0 1 0 0.1 1 1");
  ASSERT_EQ(cut.Positions().size(), 2u);
  EXPECT_EQ(cut.Tangents()[1][0], 0.0f);
  EXPECT_EQ(cut.Lengths()[1], 0.0f);
}

TEST_F(BezierSplineTest, HostileNumbersStayDefined) {
  // Infinite and NaN control points must not make sampling misbehave.
  const stBezierSpline curve("BezierSpline 0 1 0 { 3 0 1e99 1 0 1e99 1e99 -1e99 0 0 1e99 1 1e99 1e99 1 1 }");
  for (float t : {0.0f, 0.3f, 1.0f}) {
    (void)curve.Evaluate(t);
    (void)curve.GetVariance(t);
  }
  SUCCEED();
}

TEST_F(BezierSplineTest, VarianceTakesExactlyOneDraw) {
  const stBezierSpline curve(kFlatCurve);  // variance 0
  CTreeRandom::Seed(9);
  Uniform().Next();
  const float afterOne = Uniform().Next();
  CTreeRandom::Seed(9);
  EXPECT_EQ(curve.EvaluateWithVariance(0.4f, false), 1.0f);
  EXPECT_EQ(Uniform().Next(), afterOne);
}

TEST_F(BezierSplineTest, ProportionalVarianceUsesTheRawCurveValue) {
  const stBezierSpline curve("BezierSpline 10 20 1 { 2 0 0.5 1 0 0.1 1 0.5 1 0 0.1 }");
  ASSERT_EQ(curve.Evaluate(0.4f), 15.0f);
  CTreeRandom::Seed(3);
  const float r = CTreeRandom::GetUniform(-1.0f, 1.0f);
  CTreeRandom::Seed(3);
  EXPECT_EQ(curve.EvaluateWithVariance(0.4f, true), 15.0f + r * 0.5f);
  CTreeRandom::Seed(3);
  EXPECT_EQ(curve.EvaluateWithVariance(0.4f, false), 15.0f + r);
}

TEST_F(BezierSplineTest, GetVarianceScalesByTheNearestTableValue) {
  const stBezierSpline curve("BezierSpline 10 20 2 { 2 0 0.5 1 0 0.1 1 0.5 1 0 0.1 }");
  CTreeRandom::Seed(4);
  const float expected = CTreeRandom::GetUniform(-2.0f * 0.5f, 2.0f * 0.5f);
  CTreeRandom::Seed(4);
  EXPECT_EQ(curve.GetVariance(0.7f), expected);
}

}  // namespace
}  // namespace trt

namespace trt {
namespace {

TEST(BezierSplineMemory, PointsAreTakenWithTheFirstPointAndCopiedWhole) {
  const std::uint32_t before = GetTrackedBytes();
  {
    stBezierSpline empty;
    stBezierSpline("BezierSpline 0 2 0 { 0 }").ToText();
    EXPECT_EQ(GetTrackedBytes(), before) << "a curve without points holds nothing";
    stBezierSpline curve(kFlatCurve);
    EXPECT_GT(GetTrackedBytes(), before);
    stBezierSpline copy(curve);
    curve = empty;  // the original lets go of its points; the copy keeps its own
    EXPECT_TRUE(curve.Positions().empty());
    EXPECT_EQ(curve.Evaluate(0.5f), 0.0f);
    ASSERT_EQ(copy.Positions().size(), 2u);
    EXPECT_EQ(copy.Table().size(), 500u);
    EXPECT_EQ(copy.Evaluate(0.5f), 1.0f);
    curve = copy;
    copy.SetNumPoints(0);
    EXPECT_TRUE(copy.Table().empty());
    EXPECT_EQ(curve.ToText(), stBezierSpline(kFlatCurve).ToText());
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(BezierSplineMemory, CopiesShareTheirPointsUntilOneOfThemChanges) {
  const std::uint32_t before = GetTrackedBytes();
  {
    stBezierSpline curve(kFlatCurve);
    const std::string text = curve.ToText();
    const std::uint32_t one = GetTrackedBytes();
    stBezierSpline parsed(curve);
    stBezierSpline added(curve);
    stBezierSpline resampled(curve);
    stBezierSpline cleared(curve);
    stBezierSpline assigned;
    assigned = curve;
    EXPECT_EQ(GetTrackedBytes(), one) << "copies take no memory";
    EXPECT_TRUE(assigned.SameAs(curve));

    // Every change leaves the original and the other copies as they were.
    parsed.Parse("BezierSpline 0 1 0 { 2 0 0 1 0 0.1 1 1 1 0 0.1 }");
    added.AddPoint(stVec(2.0f, 0.0f), stVec(1.0f, 0.0f), 0.1f);
    resampled.CreateEvenlySpacedPoints();
    cleared.SetNumPoints(0);
    EXPECT_EQ(parsed.Evaluate(0.0f), 0.0f);
    EXPECT_EQ(added.Positions().size(), 3u);
    EXPECT_TRUE(resampled.SameAs(curve));
    EXPECT_TRUE(cleared.Table().empty());
    EXPECT_EQ(curve.ToText(), text);
    EXPECT_EQ(assigned.ToText(), text);
    EXPECT_EQ(curve.Evaluate(0.0f), 1.0f);
    EXPECT_EQ(curve.Table().size(), 500u);

    // A curve assigned a copy of itself keeps its points.
    assigned = stBezierSpline(assigned);
    EXPECT_EQ(assigned.ToText(), text);
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

}  // namespace
}  // namespace trt
