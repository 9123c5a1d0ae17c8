// A trunk that bears leaf children, parsed and computed, for the tests of
// leaf placement and of the leaf geometry.
#pragma once

#include <string>

#include "treeruntime/bezier_spline.h"
#include "treeruntime/branch.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_engine.h"

namespace trt::test {

// A branch level whose curves are all flat: no disturbance, the given
// length, radius and start angle, one child per step of the frequency.
inline SptLevel FlatLevel(float length, float radius, float startAngle) {
  SptLevel level;
  const float values[9] = {0.0f, 0.0f, 0.0f, 0.0f, length, radius, 1.0f, startAngle, 0.5f};
  for (int c = 0; c < 9; ++c) {
    const std::string number = FormatCurveNumber(values[c]);
    level.curves[c] = CurveText(number + " " + number + " 0", {"0 1 1 0 0.1", "1 1 1 0 0.1"});
  }
  return level;
}

// A trunk of size 4 (level 0: length 1.5, turned down -90 degrees) whose
// children (level 1) are leaves.
inline SptTree LeafyTrunk() {
  SptTree tree;
  tree.size = 4.0f;
  tree.levels = {FlatLevel(1.5f, 0.125f, -90.0f), FlatLevel(0.25f, 0.01f, 30.0f)};
  return tree;
}

// Parses `tree` into `engine` with the default curves and computes it
// without fronds or lighting.
inline void ParseAndCompute(const SptTree& tree, CTreeEngine& engine) {
  const Bytes block = BuildSpt(tree);
  CTreeFileAccess in = ReaderOf(block);
  engine.Parse(in);
  engine.ApplyDefaultCurves();
  CBranch::Settings().m_pFrondEngine = nullptr;
  CBranch::Settings().m_pLightingEngine = nullptr;
  engine.Compute(1.0f);
}

}  // namespace trt::test
