#include "treeruntime/wind_matrices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "treeruntime/tree_memory.h"

namespace trt {
namespace {

void ExpectSameMatrix(const stMat3& a, const stMat3& b) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.m[i], b.m[i], 1e-6f) << i;
}

TEST(WindMatrices, ConstructedValues) {
  const CWindMatrices w;
  EXPECT_EQ(w.m_fPhase, 0.0f);
  EXPECT_EQ(w.m_fWindScalar, 0.25f);
  EXPECT_EQ(w.m_nBranchWindMethod, 2);
  EXPECT_EQ(w.m_nFrondWindMethod, 2);
  EXPECT_EQ(w.m_nLeafWindMethod, 2);
  EXPECT_TRUE(w.m_bWindEngineFlag);
  EXPECT_EQ(w.m_fStrength, 1.0f);
  EXPECT_EQ(w.m_fSecondComponent, 1.0f);
  EXPECT_EQ(w.m_fRate, 0.0f);
  EXPECT_EQ(w.m_fAmplitude, 0.0f);
  EXPECT_EQ(w.m_uFirstMatrix, 0u);
  EXPECT_EQ(w.m_uNumMatrices, 4u);
  EXPECT_EQ(w.m_uNumLeafAngles, 0u);
  EXPECT_EQ(w.m_pRockingAngles, nullptr);
  EXPECT_EQ(w.m_pRustlingAngles, nullptr);
  EXPECT_EQ(w.m_fRockingScale, 1.0f);
  EXPECT_EQ(w.m_fRustlingScale, 1.0f);
}

TEST(WindMatrices, InstancesShareOneTableThatTheLastFrees) {
  ASSERT_EQ(CWindMatrices::GetInstanceCount(), 0);
  const std::uint32_t before = GetTrackedBytes();
  {
    auto first = std::make_unique<CWindMatrices>();
    EXPECT_EQ(CWindMatrices::GetNumSharedMatrices(), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(*CWindMatrices::GetSharedMatrix(i), stMat4{}) << i;
    EXPECT_EQ(CWindMatrices::GetSharedMatrix(4), nullptr);
    stMat4* shared = CWindMatrices::GetSharedMatrix(2);
    {
      const CWindMatrices second;
      EXPECT_EQ(CWindMatrices::GetInstanceCount(), 2);
      EXPECT_EQ(CWindMatrices::GetSharedMatrix(2), shared);  // not made again
    }
    EXPECT_EQ(CWindMatrices::GetInstanceCount(), 1);
    EXPECT_EQ(CWindMatrices::GetSharedMatrix(2), shared);  // kept for the first
    first.reset();
    EXPECT_EQ(CWindMatrices::GetNumSharedMatrices(), 0u);
    EXPECT_EQ(CWindMatrices::GetSharedMatrix(0), nullptr);
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(WindMatrices, ResizeMakesIdentitiesAndKeepsTheCountInSixteenBits) {
  const CWindMatrices w;
  struct Case {
    std::int32_t request;
    std::uint32_t count;
  };
  const Case cases[] = {{10, 10}, {1, 1}, {0, 0}, {-3, 0}, {65535, 65535}, {65536, 65535}, {1 << 30, 65535}};
  for (const Case& c : cases) {
    // A matrix a host changed is replaced by an identity.
    if (stMat4* used = CWindMatrices::GetSharedMatrix(0)) used->m[12] = 5.0f;
    CWindMatrices::Resize(c.request);
    EXPECT_EQ(CWindMatrices::GetNumSharedMatrices(), c.count) << c.request;
    if (c.count > 0) {
      EXPECT_EQ(*CWindMatrices::GetSharedMatrix(0), stMat4{}) << c.request;
      EXPECT_EQ(*CWindMatrices::GetSharedMatrix(c.count - 1), stMat4{}) << c.request;
    }
  }
  CWindMatrices::Resize(CWindMatrices::kInitialMatrices);
}

TEST(WindMatrices, WindInformation) {
  CWindMatrices w;
  STreeWindInfo info;
  info.m_vVectorA = {2.0f, 0.5f, 9.0f};
  info.m_fValue = 0.1f;
  w.SetWindInfo(info);
  EXPECT_EQ(w.m_fStrength, 2.0f);
  EXPECT_EQ(w.m_fSecondComponent, 0.5f);
  EXPECT_FLOAT_EQ(w.m_fRate, 0.1f * 8.0f * 0.5f);
  EXPECT_FLOAT_EQ(w.m_fAmplitude, 0.1f * 180.0f * 2.0f);
  EXPECT_EQ(w.m_fWindScalar, 0.1f);
  w.SetMatrixRange(3, 7);
  EXPECT_EQ(w.m_uFirstMatrix, 3u);
  EXPECT_EQ(w.m_uNumMatrices, 7u);
}

TEST(WindMatrices, SineDrivenAngle) {
  CWindMatrices w;
  w.m_bWindEngineFlag = false;
  w.m_fStrength = 1.0f;
  w.m_fAmplitude = 90.0f;  // not used with the flag clear
  float low = 1.0f;
  float high = -1.0f;
  for (int i = 0; i < 2000; ++i) {
    const float angle = w.SineAngle(i * 0.01f);
    low = std::min(low, angle);
    high = std::max(high, angle);
  }
  EXPECT_GE(low, -0.15f);
  EXPECT_LE(high, 0.15f);
  EXPECT_LT(low, -0.149f);
  EXPECT_GT(high, 0.149f);

  w.m_bWindEngineFlag = true;
  w.m_fPhase = kHalfPi;
  // sin(0 + pi/2) = 1: the top of the range.
  EXPECT_FLOAT_EQ(w.SineAngle(0.0f), 90.0f);
  EXPECT_NEAR(w.SineAngle(kPi), -90.0f, 1e-3f);
}

TEST(WindMatrices, TableDrivenAngles) {
  CWindMatrices w;
  // Null tables turn by nothing.
  w.m_uNumLeafAngles = 3;
  EXPECT_EQ(w.RockAngle(1), 0.0f);
  EXPECT_EQ(w.RustleAngle(1), 0.0f);
  stMat3 m;
  w.RotateAxisFromTables(5, m);
  ExpectSameMatrix(m, stMat3{});

  const float rocking[3] = {10.0f, 20.0f, 30.0f};
  const float rustling[3] = {-1.0f, -2.0f, -3.0f};
  w.m_pRockingAngles = rocking;
  w.m_pRustlingAngles = rustling;
  w.m_fRockingScale = 2.0f;
  w.m_fRustlingScale = 0.5f;
  EXPECT_EQ(w.RockAngle(4), 40.0f);  // entry 4 mod 3
  EXPECT_EQ(w.RustleAngle(5), -1.5f);
  EXPECT_EQ(w.RockAngle(-1), 60.0f);
  w.m_bWindEngineFlag = false;
  EXPECT_EQ(w.RockAngle(4), 0.0f);
  EXPECT_EQ(w.RustleAngle(5), 0.0f);
}

TEST(WindMatrices, CardOffsetsWrapAroundTheTable) {
  struct Case {
    std::int32_t index;
    float first;
    float second;
  };
  const Case cases[] = {{0, 6, 15}, {29, 15, 6}, {11, 8, 4}, {41, 8, 4}, {30, 6, 15}, {-1, 15, 6}};
  for (const Case& c : cases) {
    EXPECT_EQ(CWindMatrices::FirstOffset(c.index), c.first) << c.index;
    EXPECT_EQ(CWindMatrices::SecondOffset(c.index), c.second) << c.index;
  }
}

TEST(WindMatrices, EvaluatorsTurnInTheirOrder) {
  CWindMatrices w;
  w.m_fAmplitude = 30.0f;
  const float rocking[2] = {12.0f, 24.0f};
  const float rustling[2] = {7.0f, 9.0f};
  w.m_uNumLeafAngles = 2;
  w.m_pRockingAngles = rocking;
  w.m_pRustlingAngles = rustling;
  stMat3 start;
  start.RotateY(33.0f);

  stMat3 card = start;
  w.RotateCard(41, 1.0f, 2.0f, 0.3f, card);
  stMat3 expected = start;
  expected.RotateZ(8.0f + 1.0f);
  expected.RotateY(4.0f + 2.0f);
  expected.RotateX(w.SineAngle(0.3f));
  ExpectSameMatrix(card, expected);

  stMat3 table = start;
  w.RotateCardFromTables(41, 1.0f, 2.0f, table);
  expected = start;
  expected.RotateZ(9.0f);
  expected.RotateY(6.0f);
  expected.RotateZ(9.0f);   // rustling[41 mod 2]
  expected.RotateX(24.0f);  // rocking[41 mod 2]
  ExpectSameMatrix(table, expected);

  stMat3 axis = start;
  w.RotateAxis(0.3f, axis);
  expected = start;
  expected.RotateX(w.SineAngle(0.3f));
  ExpectSameMatrix(axis, expected);

  stMat3 axisTable = start;
  w.RotateAxisFromTables(2, axisTable);
  expected = start;
  expected.RotateX(12.0f);
  ExpectSameMatrix(axisTable, expected);
}

}  // namespace
}  // namespace trt
