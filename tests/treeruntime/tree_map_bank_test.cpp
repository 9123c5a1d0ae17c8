#include "treeruntime/tree_map_bank.h"

#include <gtest/gtest.h>

#include <string>

#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Image;
using test::TreeErrorText;

TEST(TreeMapCollection, SingleLayerSetsOnlyThatLayer) {
  CTreeFileAccess in = Image().Token(70000).Token(70004).String("bark_normal.dds").Token(70001).Reader();
  STreeMapCollection c;
  c.Parse(in);
  for (int layer = 0; layer < 7; ++layer) {
    EXPECT_EQ(c.m_astrLayers[layer], layer == 2 ? "bark_normal.dds" : "") << layer;
  }
}

TEST(TreeMapCollection, SaveWritesAllSevenLayers) {
  STreeMapCollection c;
  c.m_astrLayers[0] = std::string("a");
  c.m_astrLayers[6] = std::string("g");
  CTreeFileAccess out;
  c.Save(out);
  const test::Bytes expected = Image()
                                   .Token(70000)
                                   .Token(70002).String("a")
                                   .Token(70003).String("")
                                   .Token(70004).String("")
                                   .Token(70005).String("")
                                   .Token(70006).String("")
                                   .Token(70007).String("")
                                   .Token(70008).String("g")
                                   .Token(70001)
                                   .Data();
  EXPECT_EQ(test::BytesOf(out), expected);
}

STreeMapBank SampleBank() {
  STreeMapBank bank;
  bank.m_cBranchMaps.m_astrLayers[0] = "bark.png";
  bank.m_vLeafMaps.resize(2);
  bank.m_vLeafMaps[0].m_astrLayers[0] = "leaf0.png";
  bank.m_vLeafMaps[1].m_astrLayers[1] = "leaf1_n.png";
  bank.m_vFrondMaps.resize(1);
  bank.m_vFrondMaps[0].m_astrLayers[0] = "frond.png";
  bank.m_cCompositeMaps.m_astrLayers[0] = "composite.png";
  bank.m_cBillboardMaps.m_astrLayers[3] = "bb.png";
  bank.m_strSelfShadowMap = "shadow.png";
  return bank;
}

TEST(TreeMapBank, SaveAndParseRoundTrip) {
  const STreeMapBank bank = SampleBank();
  CTreeFileAccess out;
  bank.Save(out);
  CTreeFileAccess in = test::ReaderOf(out);
  ASSERT_EQ(in.ParseToken(), 60000);
  STreeMapBank copy;
  copy.Parse(in);
  EXPECT_FALSE(in.DataRemains());
  EXPECT_EQ(copy.m_cBranchMaps, bank.m_cBranchMaps);
  ASSERT_EQ(copy.m_vLeafMaps.size(), 2u);
  EXPECT_EQ(copy.m_vLeafMaps[0], bank.m_vLeafMaps[0]);
  EXPECT_EQ(copy.m_vLeafMaps[1], bank.m_vLeafMaps[1]);
  ASSERT_EQ(copy.m_vFrondMaps.size(), 1u);
  EXPECT_EQ(copy.m_vFrondMaps[0], bank.m_vFrondMaps[0]);
  EXPECT_EQ(copy.m_cCompositeMaps, bank.m_cCompositeMaps);
  EXPECT_EQ(copy.m_cBillboardMaps, bank.m_cBillboardMaps);
  EXPECT_EQ(copy.m_strSelfShadowMap, "shadow.png");
  CTreeFileAccess again;
  copy.Save(again);
  EXPECT_EQ(test::BytesOf(again), test::BytesOf(out));
}

TEST(TreeMapBank, SaveOrder) {
  CTreeFileAccess out;
  STreeMapBank().Save(out);
  CTreeFileAccess in = test::ReaderOf(out);
  EXPECT_EQ(in.ParseToken(), 60000);
  EXPECT_EQ(in.ParseToken(), 60002);
  STreeMapCollection().Parse(in);
  EXPECT_EQ(in.ParseToken(), 60003);
  EXPECT_EQ(in.ParseToken(), 60007);
  EXPECT_EQ(in.ParseToken(), 0);
  EXPECT_EQ(in.ParseToken(), 60004);
  EXPECT_EQ(in.ParseToken(), 60008);
  EXPECT_EQ(in.ParseToken(), 0);
  EXPECT_EQ(in.ParseToken(), 60005);
  STreeMapCollection().Parse(in);
  EXPECT_EQ(in.ParseToken(), 60009);
  STreeMapCollection().Parse(in);
  EXPECT_EQ(in.ParseToken(), 60006);
  EXPECT_EQ(in.ParseString(), "");
  EXPECT_EQ(in.ParseToken(), 60001);
  EXPECT_FALSE(in.DataRemains());
}

TEST(TreeMapBank, ListsAreAppendedInOrder) {
  const test::Bytes section = Image()
                                  .Token(60003).Token(60007).Token(2)
                                  .Token(70000).Token(70002).String("first").Token(70001)
                                  .Token(70000).Token(70002).String("second").Token(70001)
                                  .Token(60004).Token(60008).Token(-3)
                                  .Token(60001)
                                  .Data();
  STreeMapBank bank;
  bank.m_vLeafMaps.resize(1);
  bank.m_vLeafMaps[0].m_astrLayers[0] = "kept";
  CTreeFileAccess in = test::ReaderOf(section);
  bank.Parse(in);
  ASSERT_EQ(bank.m_vLeafMaps.size(), 3u);
  EXPECT_EQ(bank.m_vLeafMaps[0].m_astrLayers[0], "kept");
  EXPECT_EQ(bank.m_vLeafMaps[1].m_astrLayers[0], "first");
  EXPECT_EQ(bank.m_vLeafMaps[2].m_astrLayers[0], "second");
  EXPECT_TRUE(bank.m_vFrondMaps.empty());
}

TEST(TreeMapBank, Errors) {
  struct Case {
    const char* name;
    test::Bytes data;
    const char* text;
  };
  const Case cases[] = {
      {"unknown", Image().Token(60010).Token(60001).Data(), "malformed map bank []"},
      {"leaf count token", Image().Token(60003).Token(60008).Token(0).Token(60001).Data(),
       "malformed map bank (expected num leaf maps) []"},
      {"frond count token", Image().Token(60004).Token(60007).Token(0).Token(60001).Data(),
       "malformed map bank (expected num frond maps) []"},
      {"collection start", Image().Token(60002).Token(70002).String("x").Token(70001).Token(60001).Data(),
       "malformed map collection []"},
      {"collection token", Image().Token(60005).Token(70000).Token(70009).String("x").Token(70001).Data(),
       "malformed map collection []"},
      {"count beyond the data", Image().Token(60003).Token(60007).Token(1000).Token(70000).Token(70001).Data(),
       "premature end of file reached parsing map bank []"},
      {"no end", Image().Token(60006).String("s").Data(), "premature end of file reached parsing map bank []"},
  };
  for (const Case& c : cases) {
    CTreeFileAccess in = test::ReaderOf(c.data);
    STreeMapBank bank;
    EXPECT_EQ(TreeErrorText([&] { bank.Parse(in); }), c.text) << c.name;
  }
}

}  // namespace
}  // namespace trt
