#include "examples/sample_tree.h"

#include <string>

#include "treeruntime/frond_engine.h"
#include "treeruntime/tree_branch_info.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

// A curve from `from` at the start of its parent to `to` at its end
// (values between min and max = the two ends).
std::string Ramp(float from, float to) {
  return "BezierSpline 0 1 0 { 2 0 " + std::to_string(from) + " 1 0 0.1 1 " + std::to_string(to) + " 1 0 0.1 }";
}

// A constant curve.
std::string Flat(float value) { return Ramp(value, value); }

struct LevelShape {
  float length;
  float radius;
  float startAngle;
  float frequency;
  std::int32_t segments;
  std::int32_t crossSections;
  float lengthFalloff;  // length at the end of the parent, relative
  float gravity;
};

void AddLevel(trt::CTreeEngine& engine, const LevelShape& shape) {
  trt::STreeBranchInfo* level = trt::TrackedNew<trt::STreeBranchInfo>("sample tree, level");
  engine.m_vBranchLevels.push_back(level);
  level->m_sDisturbance.Parse(Flat(0.0f));
  level->m_sGravity.Parse(Flat(shape.gravity));
  level->m_sFlexibility.Parse(Flat(0.0f));
  level->m_sFlexibilityProfile.Parse(Flat(0.0f));
  level->m_sLength.Parse(Ramp(shape.length, shape.length * shape.lengthFalloff));
  level->m_sRadius.Parse(Flat(shape.radius));
  level->m_sRadiusProfile.Parse(Ramp(1.0f, 0.4f));
  level->m_sStartAngle.Parse(Flat(shape.startAngle));
  level->m_sGravityProfile.Parse(Flat(0.5f));
  level->m_nSegments = shape.segments;
  level->m_nCrossSections = shape.crossSections;
  level->m_fFrequency = shape.frequency;
  level->m_fFirstChild = 0.25f;
  level->m_fLastChild = 1.0f;
  level->ApplyDefaultCurves();
}

}  // namespace

std::vector<std::uint8_t> BuildSampleTree() {
  trt::CTreeRT model;
  trt::CTreeEngine* engine = model.GetEngine();
  trt::CFrondEngine* fronds = model.GetFrondEngine();
  if (engine == nullptr || fronds == nullptr) return {};

  engine->m_strBranchTexture = "bark.png";
  engine->m_nSeed = 7;
  engine->m_fSize = 10.0f;
  engine->m_fSizeVariance = 0.0f;
  engine->m_nNumBranchLods = 3;
  engine->m_cLeafInfo.m_nNumLeafLods = 3;
  // Trunk, branches, twigs (drawn as fronds) and the leaves on them.
  // Frequencies count children per tree size of parent length.
  AddLevel(*engine, {1.0f, 0.03f, -90.0f, 12.0f, 6, 8, 1.0f, 0.0f});
  AddLevel(*engine, {0.45f, 0.015f, 55.0f, 20.0f, 4, 6, 0.5f, 0.1f});
  AddLevel(*engine, {0.15f, 0.004f, 40.0f, 40.0f, 3, 4, 0.7f, 0.0f});
  AddLevel(*engine, {0.04f, 0.001f, 35.0f, 1.0f, 1, 3, 1.0f, 0.0f});
  // Loading gives empty curves their default; the example has none.
  engine->m_pRootSupport->m_sBranch.ApplyDefaultCurves();

  const char* leafTextures[2] = {"leaf_broad.png", "leaf_narrow.png"};
  for (int m = 0; m < 2; ++m) {
    trt::STreeLeafMap map;
    map.m_bFlag = m == 0;
    map.m_strFileName = leafTextures[m];
    map.m_vRelativeSize = trt::stVec3(0.05f, m == 0 ? 0.05f : 0.08f, 0.0f);
    // What compute makes of the relative size, so that the data a computed
    // model writes back is the data it was loaded from.
    map.m_vAbsoluteSize = trt::stVec3(map.m_vRelativeSize.x * engine->m_fSize, map.m_vRelativeSize.y * engine->m_fSize, 0.0f);
    engine->m_cLeafInfo.m_vLeafMaps.push_back(map);
  }

  fronds->m_ucFrondsEnabled = 1;
  fronds->m_nFirstFrondLevel = 2;
  fronds->m_nFrondType = 0;
  fronds->m_nNumBlades = 2;
  fronds->m_nNumLods = 2;
  fronds->m_fLodFractionLast = 0.5f;
  trt::SFrondTexture texture;
  texture.m_strFileName = "frond.png";
  fronds->m_vTextures.push_back(texture);

  trt::SCollisionObject trunk;
  trunk.m_uType = trt::SCollisionObject::kCylinder;
  trunk.m_afDimensions[0] = 0.3f;
  trunk.m_afDimensions[1] = 10.0f;
  model.MakeCollisionObjects().push_back(trunk);
  model.SetUserData("drn sample tree");

  std::uint32_t size = 0;
  std::uint8_t* block = model.SaveTree(size, false);
  if (block == nullptr) return {};
  std::vector<std::uint8_t> bytes(block, block + size);
  trt::TrackedDeleteArray(block);
  return bytes;
}

}  // namespace KT
