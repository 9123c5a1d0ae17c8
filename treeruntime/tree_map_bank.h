// The texture file names a tree uses: STreeMapCollection (seven layer names
// for one part of the tree) and STreeMapBank (the collections of the
// branches, each leaf map, each frond texture, the composite map, the
// billboards, and the self-shadow map). Section 60000 of a tree
// description; the bank only carries the names, the renderer decides what
// each layer is for.
#pragma once

#include <cstdint>
#include <string>

#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_memory.h"

namespace trt {

struct STreeMapCollection {
  static constexpr int kNumLayers = 7;

  std::string m_astrLayers[kNumLayers];

  // 70000 (else "malformed map collection"), then tokens until 70001:
  // 70002 .. 70008 each followed by the name of layer 0 .. 6, in any order;
  // a layer not given keeps its name. Any other token throws "malformed map
  // collection".
  void Parse(CTreeFileAccess& file);
  // 70000, 70002 .. 70008 with every layer (empty ones as empty strings),
  // 70001.
  void Save(CTreeFileAccess& file) const;

  bool operator==(const STreeMapCollection&) const = default;
};

struct STreeMapBank {
  STreeMapCollection m_cBranchMaps;                 // 60002
  TreeVector<STreeMapCollection> m_vLeafMaps;       // 60003
  TreeVector<STreeMapCollection> m_vFrondMaps;      // 60004
  STreeMapCollection m_cCompositeMaps;              // 60005
  STreeMapCollection m_cBillboardMaps;              // 60009
  std::string m_strSelfShadowMap;                   // 60006

  // The section, read after its 60000: tokens until 60001. 60002, 60005 and
  // 60009 bring a collection; 60003 brings 60007 (else "malformed map bank
  // (expected num leaf maps)"), a count n and n collections appended to the
  // leaf maps; 60004 brings 60008 (else "malformed map bank (expected num
  // frond maps)"), n and n collections appended to the frond maps; 60006
  // the self-shadow map. Any other token throws "malformed map bank". A
  // count the remaining data cannot hold throws the premature-end error
  // before anything is appended.
  void Parse(CTreeFileAccess& file);
  // 60000, 60002 and the branch maps, 60003 60007 n and the leaf-map
  // collections, 60004 60008 n and the frond-map collections, 60005 and the
  // composite maps, 60009 and the billboard maps, 60006 and the self-shadow
  // map, 60001.
  void Save(CTreeFileAccess& file) const;
};

}  // namespace trt
