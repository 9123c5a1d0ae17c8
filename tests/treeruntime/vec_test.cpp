#include "treeruntime/vec.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

namespace trt {
namespace {

TEST(SmallVec, ConstructionAndArithmetic) {
  const stVec three;
  EXPECT_EQ(three.m_nSize, 3);
  EXPECT_EQ(three.Length(), 0.0f);
  const stVec two(3, 4);
  EXPECT_EQ(two.m_nSize, 2);
  EXPECT_EQ(two.Length(), 5.0f);

  stVec wide;
  wide.m_nSize = 5;
  for (int i = 0; i < 5; ++i) wide[i] = 1.0f;
  const stVec sum = two + wide;  // over the smaller size
  EXPECT_EQ(sum.m_nSize, 2);
  EXPECT_EQ(sum[0], 4.0f);
  EXPECT_EQ(sum[1], 5.0f);
  const stVec diff = wide - two;
  EXPECT_EQ(diff.m_nSize, 2);
  EXPECT_EQ(diff[1], -3.0f);
  const stVec scaled = wide * 2.0f;
  EXPECT_EQ(scaled.m_nSize, 5);
  EXPECT_EQ(scaled[4], 2.0f);
}

TEST(SmallVec, NormaliseLeavesZeroAlone) {
  stVec zero(0, 0);
  zero.Normalize();
  EXPECT_EQ(zero[0], 0.0f);
  EXPECT_EQ(zero[1], 0.0f);
  stVec v(0, -2);
  v.Normalize();
  EXPECT_EQ(v[1], -1.0f);
}

TEST(Region, EmptyBoxUsesTheLargestFiniteFloat) {
  const stRegion box;
  EXPECT_TRUE(box.IsEmpty());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(box.m_cMin[i]), 0x7f7fffffu);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(box.m_cMax[i]), 0xff7fffffu);
  }
}

TEST(Region, AddingAPointToAnEmptyBox) {
  const stRegion empty;
  const stRegion box = empty + stVec3(1, 2, 3);
  EXPECT_TRUE(empty.IsEmpty());  // operand unchanged
  EXPECT_FALSE(box.IsEmpty());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(box.m_cMin[i], static_cast<float>(i + 1));
    EXPECT_EQ(box.m_cMax[i], static_cast<float>(i + 1));
  }
  const stRegion grown = box + stVec3(-1, 5, 3);
  EXPECT_EQ(grown.m_cMin[0], -1.0f);
  EXPECT_EQ(grown.m_cMax[1], 5.0f);
  EXPECT_EQ(grown.m_cMin[2], 3.0f);
}

TEST(Region, UnionWithAnEmptyBoxIsTheOtherBox) {
  const stRegion box = stRegion() + stVec3(1, 2, 3) + stVec3(4, -5, 6);
  for (const stRegion& u : {stRegion() + box, box + stRegion()}) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(u.m_cMin[i], box.m_cMin[i]);
      EXPECT_EQ(u.m_cMax[i], box.m_cMax[i]);
    }
  }
}

TEST(Region, NaNChangesNothing) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const stRegion box = stRegion() + stVec3(1, 2, 3);
  const stRegion same = box + stVec3(nan, nan, nan);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(same.m_cMin[i], box.m_cMin[i]);
    EXPECT_EQ(same.m_cMax[i], box.m_cMax[i]);
  }
}

}  // namespace
}  // namespace trt
