#include "treeruntime/tree_leaf_info.h"

#include <gtest/gtest.h>

#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Image;
using test::ReaderOf;
using test::TreeErrorText;

class FailingAllocator : public CTreeAllocator {
 public:
  void* Alloc(std::size_t, std::size_t) override { return nullptr; }
  void Free(void*) override {}
};

TEST(TreeLeafMap, Defaults) {
  const STreeLeafMap m;
  EXPECT_FALSE(m.m_bFlag);
  EXPECT_EQ(m.m_vColor, stVec3(0.8f, 0.8f, 0.8f));
  EXPECT_EQ(m.m_fValue, 0.2f);
  EXPECT_EQ(m.m_strFileName, "");
  EXPECT_EQ(m.m_vOrigin, stVec3(0.5f, 1.0f, 0.0f));
  EXPECT_EQ(m.m_vRelativeSize, stVec3(0.12f, 0.12f, 0.0f));
  EXPECT_EQ(m.m_vAbsoluteSize, stVec3(10.0f, 10.0f, 0.0f));
  EXPECT_FALSE(m.m_bUseMesh);
  EXPECT_EQ(m.m_nMeshIndex, 0);
  EXPECT_EQ(m.m_fMeshUpBlend, 0.0f);
  EXPECT_EQ(m.m_fMeshSpinRange, 0.0f);
}

TEST(TreeLeafInfo, Defaults) {
  const STreeLeafInfo l;
  EXPECT_TRUE(l.m_bFlag3009);
  EXPECT_EQ(l.m_fValue3010, 1.0f);
  EXPECT_EQ(l.m_nValue3008, 2);
  EXPECT_TRUE(l.m_vLeafMaps.empty());
  EXPECT_EQ(l.m_fDimensionFactor, 0.5f);
  EXPECT_EQ(l.m_fPlacementValue, 0.0f);
  EXPECT_EQ(l.m_nPlacementInt, 0);
  EXPECT_EQ(l.m_fValue3000, 0.75f);
  EXPECT_EQ(l.m_fValue3002, 0.8f);
  EXPECT_EQ(l.m_nValue3001, 1);
  EXPECT_EQ(l.m_nNumTimeOffsets, 3);
  EXPECT_EQ(l.m_nNumLeafLods, 4);
  EXPECT_EQ(l.m_ppLodTables, nullptr);
  EXPECT_EQ(l.m_pTexCoords, nullptr);
  EXPECT_EQ(l.m_pTimeOffsets, nullptr);
  EXPECT_FALSE(l.m_bNormalSmoothing);
  EXPECT_EQ(l.m_fNormalSmoothingValue, 30.0f);
  EXPECT_EQ(l.m_nNormalSmoothingInt, 1);
}

TEST(TreeLeafInfo, SaveWritesFixedValuesAndTheSizeRatio) {
  STreeLeafInfo l;
  l.m_vLeafMaps.resize(2);
  l.m_vLeafMaps[0].m_vRelativeSize = {0.5f, 0.25f, 0.0f};
  l.m_vLeafMaps[1].m_vRelativeSize = {0.0f, 0.25f, 0.0f};
  CTreeFileAccess out;
  l.Save(out);
  CTreeFileAccess in = ReaderOf(out);
  EXPECT_EQ(in.ParseToken(), 1004);
  const std::int32_t order[] = {3000, 3001, 3002, 3003, 3004, 3009, 3010, 3005, 3006, 3007, 3008};
  for (std::int32_t token : order) {
    ASSERT_EQ(in.ParseToken(), token);
    if (token == 3003 || token == 3006) {
      EXPECT_EQ(in.ParseByte(), 0);
    } else if (token == 3009) {
      EXPECT_EQ(in.ParseByte(), 1);
    } else if (token == 3004 || token == 3005) {
      EXPECT_EQ(in.ParseFloat(), -1.0f);
    } else {
      in.ParseToken();
    }
  }
  EXPECT_EQ(in.ParseToken(), 1009);
  EXPECT_EQ(in.ParseToken(), 1006);
  EXPECT_EQ(in.ParseToken(), 2);
  for (float ratio : {0.5f, 1.0f}) {
    EXPECT_EQ(in.ParseToken(), 1007);
    for (std::int32_t token = 4000; token <= 4006; ++token) {
      ASSERT_EQ(in.ParseToken(), token);
      if (token == 4000) in.ParseByte();
      if (token == 4002) in.ParseFloat();
      if (token == 4003) in.ParseString();
      if (token == 4001 || token >= 4004) in.ParseVector3();
    }
    EXPECT_EQ(in.ParseToken(), 4007);
    EXPECT_EQ(in.ParseFloat(), ratio);
    EXPECT_EQ(in.ParseToken(), 1008);
  }
  EXPECT_EQ(in.ParseToken(), 1010);
  EXPECT_EQ(in.ParseToken(), 1005);
  EXPECT_FALSE(in.DataRemains());
}

TEST(TreeLeafInfo, RoundTripKeepsEveryField) {
  STreeLeafInfo l;
  l.m_bFlag3009 = false;
  l.m_fValue3010 = 2.0f;
  l.m_nValue3008 = 5;
  l.m_fDimensionFactor = 0.9f;
  l.m_fValue3000 = 0.1f;
  l.m_fValue3002 = 0.2f;
  l.m_nValue3001 = 3;
  l.m_vLeafMaps.resize(1);
  l.m_vLeafMaps[0].m_bFlag = true;
  l.m_vLeafMaps[0].m_strFileName = "oak.tga";
  l.m_vLeafMaps[0].m_vColor = {0.1f, 0.2f, 0.3f};
  CTreeFileAccess out;
  l.Save(out);
  CTreeFileAccess in = ReaderOf(out);
  ASSERT_EQ(in.ParseToken(), 1004);
  STreeLeafInfo copy;
  copy.Parse(in);
  EXPECT_FALSE(in.DataRemains());
  EXPECT_EQ(copy.m_nNormalSmoothingInt, 3);  // 3001 sets it too
  CTreeFileAccess again;
  copy.Save(again);
  EXPECT_EQ(test::BytesOf(again), test::BytesOf(out));
}

TEST(TreeLeafInfo, EachLeafMapStartsFromTheDefaults) {
  CTreeFileAccess in = Image()
                           .Token(1009).Token(1006).Token(3)
                           .Token(1007).Token(4000).Byte(1).Token(1008)
                           .Token(1007).Token(4003).String("C:\\textures/leaves\\maple.png").Token(1008)
                           .Token(1007).Token(4002).Float(0.7f).Token(4007).Float(9.0f).Token(1008)
                           .Token(1010).Token(1005)
                           .Reader();
  STreeLeafInfo l;
  l.m_vLeafMaps.resize(5);
  l.m_vLeafMaps[1].m_bFlag = true;
  l.Parse(in);
  ASSERT_EQ(l.m_vLeafMaps.size(), 3u);
  EXPECT_TRUE(l.m_vLeafMaps[0].m_bFlag);
  EXPECT_FALSE(l.m_vLeafMaps[1].m_bFlag);
  EXPECT_EQ(l.m_vLeafMaps[1].m_strFileName, "maple.png");
  EXPECT_EQ(l.m_vLeafMaps[2].m_fValue, 0.7f);
  EXPECT_EQ(l.m_vLeafMaps[2].m_vOrigin, stVec3(0.5f, 1.0f, 0.0f));

  CTreeFileAccess none = Image().Token(1009).Token(1006).Token(0).Token(1010).Token(1005).Reader();
  l.Parse(none);
  EXPECT_TRUE(l.m_vLeafMaps.empty());
}

TEST(TreeLeafInfo, Errors) {
  struct Case {
    const char* name;
    test::Bytes data;
    const char* text;
  };
  const Case cases[] = {
      {"end first", Image().Token(1005).Data(), "malformed general leaf information []"},
      {"unknown", Image().Token(3011).Token(1005).Data(), "malformed general leaf information []"},
      {"leaf map end first", Image().Token(1009).Token(1006).Token(1).Token(1007).Token(1008).Token(1010).Token(1005).Data(),
       "malformed single leaf information []"},
      {"leaf map unknown", Image().Token(1009).Token(1006).Token(1).Token(1007).Token(4008).Token(1008).Token(1005).Data(),
       "malformed single leaf information []"},
      {"count beyond the data", Image().Token(1009).Token(1006).Token(100).Token(1007).Data(),
       "premature end of file reached parsing general leaf information []"},
      // The leaf-map index travels in a byte (index x 2 plus a bit).
      {"more leaf maps than a byte can index", Image().Token(1009).Token(1006).Token(129).Token(1007).Data(),
       "malformed general leaf information []"},
      {"huge count", Image().Token(1009).Token(1006).Token(0x7fffffff).Token(1007).Data(),
       "malformed general leaf information []"},
  };
  for (const Case& c : cases) {
    CTreeFileAccess in = ReaderOf(c.data);
    STreeLeafInfo l;
    EXPECT_EQ(TreeErrorText([&] { l.Parse(in); }), c.text) << c.name;
  }
}

TEST(TreeLeafInfo, AcceptsAsManyLeafMapsAsAByteCanIndex) {
  Image image;
  image.Token(1009).Token(1006).Token(STreeLeafInfo::kMaxLeafMaps);
  for (int i = 0; i < STreeLeafInfo::kMaxLeafMaps; ++i) image.Token(1007).Token(4002).Float(float(i)).Token(1008);
  CTreeFileAccess in = image.Token(1010).Token(1005).Reader();
  STreeLeafInfo l;
  l.Parse(in);
  ASSERT_EQ(l.m_vLeafMaps.size(), 128u);
  EXPECT_EQ(l.m_vLeafMaps[127].m_fValue, 127.0f);
  EXPECT_FALSE(in.DataRemains());
}

class LeafTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRandom::Seed(11); }
  void TearDown() override { SetTextureFlipFlag(false); }
};

TEST_F(LeafTablesTest, NoLeafMapsGiveEmptyTables) {
  STreeLeafInfo l;
  l.InitTables(0);
  EXPECT_EQ(l.m_nNumTableLeafMaps, 0);
  EXPECT_EQ(TrackedArrayCount(l.m_pTexCoords), 0u);
  ASSERT_EQ(TrackedArrayCount(l.m_ppLodTables), 4u);
  for (int lod = 0; lod < 4; ++lod) EXPECT_EQ(TrackedArrayCount(l.m_ppLodTables[lod]), 0u);
  EXPECT_EQ(TrackedArrayCount(l.m_pTimeOffsets), 3u);
}

TEST_F(LeafTablesTest, TablesForTwoLeafMaps) {
  for (bool flip : {false, true}) {
    SetTextureFlipFlag(flip);
    const float s = flip ? -1.0f : 1.0f;
    STreeLeafInfo l;
    l.InitTables(2);
    EXPECT_EQ(l.m_nNumTableLeafMaps, 2);
    ASSERT_EQ(TrackedArrayCount(l.m_pTexCoords), 32u);
    for (int record = 0; record < 4; ++record) {
      const float expected[8] = {0, s, s, s, s, 0, 0, 0};
      for (int i = 0; i < 8; ++i) EXPECT_EQ(l.m_pTexCoords[record * 8 + i], expected[i]);
    }
    ASSERT_EQ(TrackedArrayCount(l.m_ppLodTables), 4u);
    for (int lod = 0; lod < 4; ++lod) {
      ASSERT_EQ(TrackedArrayCount(l.m_ppLodTables[lod]), 3u * 2u * 32u);
      for (int i = 0; i < 192; ++i) ASSERT_EQ(l.m_ppLodTables[lod][i], 0.0f);
    }
  }
}

TEST_F(LeafTablesTest, TimeOffsetsAreUniformDrawsInOrder) {
  float expected[3];
  for (float& value : expected) value = CTreeRandom::GetUniform(0.0f, 10000.0f);
  CTreeRandom::Seed(11);
  STreeLeafInfo l;
  l.InitTables(1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(l.m_pTimeOffsets[i], expected[i]);
}

TEST_F(LeafTablesTest, TablesAreReleasedAndReplaced) {
  const std::uint32_t before = GetTrackedBytes();
  {
    STreeLeafInfo l;
    l.InitTables(3);
    const std::uint32_t once = GetTrackedBytes();
    l.InitTables(3);
    EXPECT_EQ(GetTrackedBytes(), once);
    l.InitTables(-2);
    EXPECT_EQ(l.m_nNumTableLeafMaps, 0);
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST_F(LeafTablesTest, FailedAllocationLeavesNoTables) {
  STreeLeafInfo l;
  const std::uint32_t before = GetTrackedBytes();
  FailingAllocator failing;
  CTreeAllocator* previous = InstallTreeAllocator(&failing);
  EXPECT_THROW(l.InitTables(2), BadAllocation);
  InstallTreeAllocator(previous);
  EXPECT_EQ(l.m_pTimeOffsets, nullptr);
  EXPECT_EQ(l.m_ppLodTables, nullptr);
  EXPECT_EQ(GetTrackedBytes(), before);
  // Absurd sizes are refused before anything is taken.
  l.m_nNumLeafLods = 0x7fffffff;
  EXPECT_THROW(l.InitTables(1000), BadAllocation);
  EXPECT_EQ(GetTrackedBytes(), before);
}

}  // namespace
}  // namespace trt
