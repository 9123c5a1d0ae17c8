#include "treeruntime/tree_wind_info.h"

#include <gtest/gtest.h>

#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Image;
using test::TreeErrorText;

TEST(TreeWindInfo, DefaultsAndLayout) {
  STreeWindInfo w;
  EXPECT_EQ(w.m_vVectorA, stVec3(0.5f, 0.5f, 0.0f));
  EXPECT_EQ(w.m_vVectorB, stVec3());
  EXPECT_EQ(w.m_fValue, 0.0f);

  w.m_vVectorB = {-22.5f, 22.5f, 1.0f};
  w.m_fValue = 0.25f;
  CTreeFileAccess out;
  w.Save(out);
  const test::Bytes expected = Image()
                                   .Token(1011)
                                   .Token(5000).Vector({})
                                   .Token(5001).Vector({})
                                   .Token(5002).Vector({-22.5f, 22.5f, 1.0f})
                                   .Token(5003).Vector({})
                                   .Token(5004).Vector({0.5f, 0.5f, 0.0f})
                                   .Token(5005).Float(0.25f)
                                   .Token(5006).Byte(0)
                                   .Token(1012)
                                   .Data();
  EXPECT_EQ(test::BytesOf(out), expected);
}

TEST(TreeWindInfo, ParseSetsVectorsAndDropsTheRest) {
  CTreeFileAccess in = Image()
                           .Token(5001).Vector({9, 9, 9})
                           .Token(5004).Vector({1, 2, 3})
                           .Token(5006).Byte(1)
                           .Token(5002).Vector({4, 5, 6})
                           .Token(5005).Float(0.5f)
                           .Token(1012)
                           .Reader();
  STreeWindInfo w;
  w.Parse(in);
  EXPECT_EQ(w.m_vVectorA, stVec3(1, 2, 3));
  EXPECT_EQ(w.m_vVectorB, stVec3(4, 5, 6));
  EXPECT_EQ(w.m_fValue, 0.5f);
  EXPECT_FALSE(in.DataRemains());
}

TEST(TreeWindInfo, Errors) {
  for (const test::Bytes& data : {Image().Token(1012).Data(), Image().Token(5007).Token(1012).Data()}) {
    CTreeFileAccess in = test::ReaderOf(data);
    EXPECT_EQ(TreeErrorText([&] { STreeWindInfo().Parse(in); }), "malformed general wind information []");
  }
}

}  // namespace
}  // namespace trt
