// The example tree: its data is a fixed point of loading and saving, and it
// computes to branches, fronds and leaves of both leaf maps.
#include <gtest/gtest.h>

#include <set>

#include "examples/sample_tree.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

TEST(SampleTreeTest, TheExampleIsAFixedPointOfLoadAndSave) {
  const std::vector<std::uint8_t> tree = BuildSampleTree();
  ASSERT_FALSE(tree.empty());
  EXPECT_EQ(BuildSampleTree(), tree) << "made the same way every time";
  trt::CTreeRT model;
  ASSERT_TRUE(model.LoadTree(tree.data(), static_cast<std::int32_t>(tree.size())));
  std::uint32_t size = 0;
  std::uint8_t* saved = model.SaveTree(size, false);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(saved, saved + size), tree);
  trt::TrackedDeleteArray(saved);
}

TEST(SampleTreeTest, TheExampleHasBranchesFrondsAndLeavesOfTwoMaps) {
  const std::vector<std::uint8_t> tree = BuildSampleTree();
  trt::CTreeRT::SetTextureFlip(true);
  trt::CTreeRT model;
  ASSERT_TRUE(model.LoadTree(tree.data(), static_cast<std::int32_t>(tree.size())));
  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  trt::CTreeRT::SGeometry geometry;
  model.GetGeometry(geometry, trt::CTreeRT::kBranchGeometry | trt::CTreeRT::kFrondGeometry |
                                  trt::CTreeRT::kLeafGeometry);
  EXPECT_GT(geometry.m_sBranches.m_nNumVertices, 0);
  EXPECT_GT(geometry.m_sFronds.m_nNumVertices, 0);
  ASSERT_GT(geometry.m_nNumLeafLods, 0);
  const trt::CTreeRT::SGeometry::SLeaf& leaves = geometry.m_pLeaves[0];
  ASSERT_GT(leaves.m_nLeafCount, 0);
  std::set<int> maps;
  for (std::int32_t i = 0; i < leaves.m_nLeafCount; ++i) maps.insert(leaves.m_pLeafMapIndices[i] / 2);
  EXPECT_EQ(maps, (std::set<int>{0, 1}));
  trt::CTreeRT::SetTextureFlip(false);
}

}  // namespace
}  // namespace KT
