#include "treeruntime/billboard_leaf.h"

#include <gtest/gtest.h>

#include <limits>

#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Image;
using test::TreeErrorText;

TEST(BillboardLeaf, Defaults) {
  const SBillboardLeaf leaf;
  EXPECT_EQ(leaf.m_ucByteA, 0);
  EXPECT_EQ(leaf.m_ucDimming, 0);
  for (std::uint32_t colour : leaf.m_auCornerColors) EXPECT_EQ(colour, 0xffffffffu);
  EXPECT_EQ(leaf.m_avCorners1[3], stVec3());
  EXPECT_EQ(leaf.m_avCorners3[0], stVec3());
  EXPECT_EQ(leaf.m_vPosition, stVec3());
  EXPECT_EQ(leaf.m_ucLeafMapByte, 0);
  EXPECT_EQ(leaf.m_fFraction, 0.0f);
  EXPECT_EQ(leaf.m_fFraction2, 0.0f);
  EXPECT_EQ(leaf.m_nInt, 0);
  EXPECT_EQ(leaf.m_uLastValue, 0u);
}

TEST(BillboardLeaf, BuilderFormClampsFractions) {
  struct Case {
    float in;
    float out;
  };
  const Case cases[] = {{-0.5f, 0.0f}, {0.25f, 0.25f}, {3.0f, 1.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
  for (const Case& c : cases) {
    const SBillboardLeaf leaf({1, 2, 3}, 200, 7, c.in, c.in, 42, 9);
    EXPECT_EQ(leaf.m_fFraction, c.out) << c.in;
    EXPECT_EQ(leaf.m_fFraction2, c.out) << c.in;
    EXPECT_EQ(leaf.m_ucDimming, 200);
    EXPECT_EQ(leaf.m_ucByteA, 7);
    EXPECT_EQ(leaf.m_nInt, 42);
    EXPECT_EQ(leaf.m_uLastValue, 9u);
    EXPECT_EQ(leaf.m_vPosition, stVec3(1, 2, 3));
    EXPECT_EQ(leaf.m_auCornerColors[2], 0xffffffffu);
  }
}

TEST(BillboardLeaf, SaveLayoutAndRoundTrip) {
  SBillboardLeaf leaf({1, 2, 3}, 10, 20, 0.5f, 0.0f, -7, 0);
  leaf.m_auCornerColors[0] = 0x80402010u;
  leaf.m_avCorners1[0] = {4, 5, 6};
  leaf.m_ucLeafMapByte = 5;
  CTreeFileAccess out;
  leaf.Save(out);
  const test::Bytes expected = Image()
                                   .Token(7004)
                                   .Token(7006).Token(static_cast<std::int32_t>(0x80402010u)).Token(0)
                                   .Token(7007).Byte(20)
                                   .Token(7008).Byte(10)
                                   .Token(7010).Vector({4, 5, 6})
                                   .Token(7011).Byte(5)
                                   .Token(7012).Byte(127)
                                   .Token(7013).Token(-7)
                                   .Token(7015).Vector({1, 2, 3})
                                   .Token(7016).Float(0.0f)
                                   .Token(7005)
                                   .Data();
  EXPECT_EQ(test::BytesOf(out), expected);

  CTreeFileAccess in = test::ReaderOf(out);
  ASSERT_EQ(in.ParseToken(), 7004);
  SBillboardLeaf copy;
  copy.Parse(in);
  EXPECT_FALSE(in.DataRemains());
  EXPECT_EQ(copy.m_auCornerColors[0], 0x80402010u);
  EXPECT_EQ(copy.m_fFraction, static_cast<float>(127 / 255.0));
  EXPECT_EQ(copy.m_vPosition, stVec3(1, 2, 3));
  EXPECT_EQ(copy.m_nInt, -7);
}

TEST(BillboardLeaf, UnknownTokensAreMalformed) {
  for (std::int32_t token : {7009, 7014, 7017, 7003}) {
    CTreeFileAccess in = Image().Token(token).Token(7005).Reader();
    EXPECT_EQ(TreeErrorText([&] { SBillboardLeaf().Parse(in); }), "malformed billboard leaf []") << token;
  }
}

}  // namespace
}  // namespace trt
