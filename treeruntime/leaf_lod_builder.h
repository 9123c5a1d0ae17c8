// CLeafLodBuilder: one pass of leaf LOD placement, building a leaf level of
// detail from the level before it by pairing neighbouring leaves and
// merging each kept pair into one larger leaf halfway between them.
//
// The tree engine (CTreeEngine::ComputeLeafLods) runs one pass per level
// above 0; level 0 is the leaves placed on the branches.
#pragma once

#include <cstdint>
#include <utility>

#include "treeruntime/billboard_leaf.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_memory.h"

namespace trt {

class CLeafLodBuilder {
 public:
  // A pass over the leaf maps of `info` (read, not owned): partners lie
  // closer than `distanceLimit`, a pair survives when a uniform draw in
  // [0, 1] exceeds `keepThreshold`, and `levelScale` (l x spacing + 1 for
  // level l) scales the origin shift of a merged leaf.
  CLeafLodBuilder(const STreeLeafInfo& info, float distanceLimit, float keepThreshold, float levelScale);

  // Pairs the leaves of `leaves` in order: leaf i (taken or not) scans the
  // later leaves up to the end or up to the first one already taken (which
  // stops the scan, unscanned), and takes the nearest one by fast distance
  // that lies below the distance limit (a later candidate replaces it only
  // when strictly nearer). The partner is marked taken and (i, partner)
  // appended. Replaces earlier pairs.
  void FindPairs(const TreeVector<SBillboardLeaf>& leaves);
  const TreeVector<std::pair<std::int32_t, std::int32_t>>& GetPairs() const { return m_vPairs; }

  // Appends to `level` one leaf per kept pair (a, b) of `leaves`, in pair
  // order: one uniform draw per pair, kept when it exceeds the keep
  // threshold. The leaf is a copy of a at the midpoint of a and b, raised
  // along z by (origin y - 0.5) x absolute height x level scale x 0.5 of
  // a's leaf map (no shift when the byte names no map), with each corner
  // colour the average of a's and b's times a's dimming / 255, packed with
  // alpha 255.
  void BuildLevel(const TreeVector<SBillboardLeaf>& leaves, TreeVector<SBillboardLeaf>& level) const;

 private:
  const STreeLeafInfo& m_cInfo;
  float m_fDistanceLimit;
  float m_fKeepThreshold;
  float m_fLevelScale;
  TreeVector<std::pair<std::int32_t, std::int32_t>> m_vPairs;
};

}  // namespace trt
