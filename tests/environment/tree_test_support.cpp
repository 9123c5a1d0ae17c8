#include "tree_test_support.h"

#include <string>

#include "treeruntime/tree_branch_info.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_rt.h"

namespace KT::test {
namespace {

// A constant curve of the tree data's text form.
std::string Flat(f32 value) {
  const std::string v = std::to_string(value);
  return "BezierSpline 0 1 0 { 2 0 " + v + " 1 0 0.1 1 " + v + " 1 0 0.1 }";
}

}  // namespace

void TreeTest::SetUp() {
  saved_ = CClassFactory::GetRegistry();
  RegisterSceneTestClasses();
  CClassFactory::Register("CTree", &CreateObject<CTree>);
  CClassFactory::Register("CTreeInstance", &CreateObject<CTreeInstance>);
  CClassFactory::Register("CWind", &CreateObject<CWind>);
  trt::CTreeRT::ResetRuntimeState();
  UseTestIds(0);
}

void TreeTest::TearDown() {
  CClassFactory::GetRegistry() = saved_;
  trt::CTreeRT::ResetRuntimeState();
}

Bytes TrunkTreeData(const TrunkShape& shape) {
  trt::CTreeRT model;
  trt::CTreeEngine* engine = model.GetEngine();
  if (engine == nullptr) {
    ADD_FAILURE() << "no tree model";
    return {};
  }
  engine->m_nSeed = shape.seed;
  engine->m_fSize = shape.height;
  engine->m_fSizeVariance = 0.0f;
  engine->m_nNumBranchLods = 1;
  engine->m_cLeafInfo.m_nNumLeafLods = 1;
  trt::STreeBranchInfo* trunk = trt::TrackedNew<trt::STreeBranchInfo>("trunk test tree, level");
  engine->m_vBranchLevels.push_back(trunk);
  // Straight up, of one radius from bottom to top: lengths and radii are
  // fractions of the tree's size.
  trunk->m_sDisturbance.Parse(Flat(0.0f));
  trunk->m_sGravity.Parse(Flat(0.0f));
  trunk->m_sFlexibility.Parse(Flat(0.0f));
  trunk->m_sFlexibilityProfile.Parse(Flat(0.0f));
  trunk->m_sLength.Parse(Flat(1.0f));
  trunk->m_sRadius.Parse(Flat(shape.radius / shape.height));
  trunk->m_sRadiusProfile.Parse(Flat(1.0f));
  trunk->m_sStartAngle.Parse(Flat(-90.0f));
  trunk->m_sGravityProfile.Parse(Flat(0.5f));
  trunk->m_nSegments = shape.segments;
  trunk->m_nCrossSections = shape.sides;
  trunk->m_fFrequency = 1.0f;
  trunk->ApplyDefaultCurves();
  engine->m_pRootSupport->m_sBranch.ApplyDefaultCurves();
  std::uint32_t size = 0;
  std::uint8_t* block = model.SaveTree(size, false);
  if (block == nullptr) {
    ADD_FAILURE() << "the trunk does not save";
    return {};
  }
  Bytes bytes(block, block + size);
  trt::TrackedDeleteArray(block);
  return bytes;
}

CPointer<CTree> MakeTrunkTree(const TrunkShape& shape) {
  CPointer<CTree> tree(new CTree());
  const Bytes data = TrunkTreeData(shape);
  EXPECT_EQ(tree->SetTreeData(data.data(), static_cast<u32>(data.size())), kOk);
  return tree;
}

}  // namespace KT::test
