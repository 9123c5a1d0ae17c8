// CTreeEngine: the parsed description of one tree, and the reader and
// writer of the core of SPT tree data.
//
// Core layout (all fields through CTreeFileAccess):
//   1000 "__TreSpt_02_"          begin file and header string
//   1002 ... 1003                general tree information (with the 1014
//                                branch-level list)
//   1004 ... 1005                leaf information (STreeLeafInfo)
//   1011 ... 1012                wind information (STreeWindInfo)
//   1001                         end of the core
//   7000 ... 7001                optional: the leaf levels of detail
// The reader takes the three sections in any order and any number of times
// (a later occurrence overwrites what an earlier one set); the writer writes
// each once, in the order above. Supplemental sections follow the core and
// are read and written by the tree model.
//
// Parse failures are TreeFileError with the message of the section that
// failed (see Parse); a block that ends inside a field gives the
// premature-end message of CTreeFileAccess. Nothing is read beyond the data.
//
// The engine owns the branch-level records, the root-support record, the
// mesh records and the leaf LOD lists through the tracked allocator; the
// tree model releases them with FreeTransientData (the destructor does it
// too when the model has not).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "treeruntime/billboard_leaf.h"
#include "treeruntime/tree_branch_info.h"
#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_mesh.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/tree_wind_info.h"

namespace trt {

class CBranch;
class CIndexedGeometry;

// A position of three floats; the engine keeps the tree's origin in it.
struct stCamera {
  float m_afPosition[3] = {0.0f, 0.0f, 0.0f};

  virtual ~stCamera() = default;
  stCamera() = default;
  stCamera(const stCamera&) = default;
  stCamera& operator=(const stCamera&) = default;
};

class CTreeEngine : public stCamera {
 public:
  // The header string that follows token 1000.
  static constexpr const char* kHeader = "__TreSpt_02_";
  // Block 7000 sizes its level array from a count in the data, while the
  // levels themselves may be absent; counts above this are refused as
  // "malformed leaf lod data" instead of sizing an absurd array.
  static constexpr std::int32_t kMaxLeafLodLevels = 1024;

  // Sets every default and makes the root-support record (tracked). The
  // branch geometry is not owned; it may be null until compute needs it.
  explicit CTreeEngine(CIndexedGeometry* pBranchGeometry);
  ~CTreeEngine() override;
  CTreeEngine(const CTreeEngine&) = delete;
  CTreeEngine& operator=(const CTreeEngine&) = delete;

  // Reads the core of SPT data from the read position:
  //   first token not 1000                 "missing begin_file token"
  //   header string not "__TreSpt_02_"      "not a valid SPT tree file"
  //   a token other than 1002, 1004, 1011 where a section must start (1001
  //   right after the header included)    "malformed SPT tree file"
  // and the section messages of ParseGeneralTreeInfo, ParseBranchData,
  // STreeBranchInfo, STreeLeafInfo, STreeLeafMap, STreeWindInfo,
  // ParseLeafCluster and SBillboardLeaf. When a token follows 1001 and it
  // is 7000, the leaf LOD block is read; otherwise the read position stays
  // just behind 1001 (one to three stray bytes there hold no token and are
  // left unread, as any other data after the core is). A tree-size override (SetTreeSize)
  // then replaces the size and variance read. Returns true; every failure
  // is the exception, and what was read before it stays in the engine.
  bool Parse(CTreeFileAccess& file);
  // Writes the core in the writer order (1000, header, 1002 .. 1003, 1004 ..
  // 1005, 1011 .. 1012, 1001) and, when `bSaveLeafLods` is set, the leaf LOD
  // block (SaveLeafCluster). Values the format only carries as constants
  // are written as those constants. Does not change the engine.
  void Save(CTreeFileAccess& file, bool bSaveLeafLods = false) const;

  // Section 1002, read after its start token: fields in any order until the
  // first 1003 read after a field (2000 string, 2001 float, 2002 byte
  // dropped, 2003 float, 2004 int dropped, 2005 seed, 2006 size, 2007 size
  // variance, 1014 the branch-level list). Seed 0 re-seeds the shared
  // generator from the clock and takes trunc(uniform draw in [2, 1000000])
  // as the seed; 1 keeps the current seed; any other value is the seed. Any
  // other token (1003 in first place included) throws "malformed general
  // tree information".
  void ParseGeneralTreeInfo(CTreeFileAccess& file);
  // The branch-level list, read after 1014: a count n, n branch-level
  // records (STreeBranchInfo::ParseInto), then 1015, else "malformed branch
  // data". The list is emptied first; n <= 0 leaves it empty. A count the
  // remaining data cannot hold throws the premature-end error before
  // anything is read. A record that holds only defaults becomes the shared
  // level (see m_vBranchLevels) and costs one pointer.
  void ParseBranchData(CTreeFileAccess& file);
  // Block 7000, read after its start token: a level count L (it becomes the
  // leaf LOD count; the level array is replaced by max(L, 0) empty lists),
  // then 7001 at once, or levels 7002 (7004 billboard leaf)* 7003 until
  // 7001. A level beyond L throws "too many leaf lod levels"; a missing
  // 7002 or another token inside a level, or L above kMaxLeafLodLevels,
  // "malformed leaf lod data". Marks the leaf LODs as loaded.
  void ParseLeafCluster(CTreeFileAccess& file);
  // Nothing without a level array; else 7000, L (the leaf LOD count), then
  // for L >= 1 each level 0 .. L-1 as 7002, its records, 7003 (a level the
  // array does not hold is written empty), and 7001.
  void SaveLeafCluster(CTreeFileAccess& file) const;

  // Grows the tree (steps 1 to 10 of the engine's compute): marks whether
  // leaves need placing (not when block 7000 was loaded), makes the trunk
  // and, without loaded leaf LODs, one empty leaf list per leaf LOD;
  // publishes the settings to the branch builder (CBranch::Settings; the
  // caller sets its frond and lighting engines); seeds and fills the table
  // of 1000 uniform values; seeds again and draws the working size in
  // [size - variance, size + variance]; seeds the flare generator with the
  // placement seed; sizes the leaf maps from the base size (when above 0);
  // seeds again, sets the branch geometry's LOD count and grows the trunk
  // at the origin, turned about z by the global value (degrees), the leaves
  // placed on it going to m_vLeaves; then the branch LODs and, unless block
  // 7000 brought them, the leaf LODs (ComputeLeafLods with `fLeafSpacing`).
  // Compute once.
  void Compute(float fLeafSpacing);

  // The branch levels of detail (m_nNumBranchLods of them) from the nodes
  // of m_pBranch, each weighted by its size measure (negative as 0). Only
  // when the branch geometry's LOD 0 holds a triangle (a strip of 3 or more
  // indices) are nodes collected; LOD 0 is then emptied and refilled by the
  // selection alone. Nodes up to (1 - weight threshold) x the largest
  // weight get the sort key r x max + (1 - r) x weight (0 when not above
  // 0), r a uniform draw in [0, weight blend]; the larger ones go first.
  // LOD l takes nodes from the front while their running weight is below f
  // x the total, the node that reaches it included, f running from the
  // largest to the smallest fraction (1.0 with one LOD), and each emits its
  // strip into LOD l; a LOD 0 that takes none gets one empty strip.
  void ComputeBranchLods();

  // The leaf levels of detail, into m_pLeafLods (nothing without it): level
  // 0 is a copy of m_vLeaves; each level l from 1 to the leaf LOD count - 1
  // (never past the array) is built by a CLeafLodBuilder pass over level
  // l - 1 with the distance limit 10 x the largest of max(absolute width,
  // height) x the dimension factor over the leaf maps (100 without maps),
  // the keep threshold and the level scale l x `fSpacing` + 1.
  void ComputeLeafLods(float fSpacing);

  // The texture-coordinate controls a block without section 50000 gets:
  // in every branch level, in order, each of layers 1 to 6 whose flag 6 is
  // set becomes a copy of layer 0 (STreeBranchInfo::ApplyDefaultTextureControls).
  // The tree model calls it after loading such a block.
  void ApplyDefaultTextureControls();
  // The default supplemental curves (STreeBranchInfo::ApplyDefaultCurves)
  // in every branch level and in the root-support record. The tree model
  // calls it after loading a block.
  void ApplyDefaultCurves();

  // Branch level `index` (below m_vBranchLevels.size()) for writing: a
  // level that shares the record of the untouched levels first gets a copy
  // of its own.
  STreeBranchInfo& EditBranchLevel(std::size_t index);
  // Calls change(level) with branch level `index` (below
  // m_vBranchLevels.size()) for writing. A shared level is changed in a copy
  // that becomes the level's own record only when it then differs from the
  // shared one (also when `change` throws, which is passed on), so a section
  // that restates the values a level holds costs no memory.
  template <typename Change>
  void ChangeBranchLevel(std::size_t index, Change&& change);

  // Stores a size and variance that replace those of every later Parse
  // (kept unchanged; the override is active while the size is above -1.0).
  void SetTreeSize(float fSize, float fVariance);

  // Releases what compute and parsing built (branch-level records, leaf LOD
  // lists, root support, meshes, leaves) and clears the transient-data flag;
  // nothing once the flag is clear.
  void FreeTransientData();
  bool HasTransientData() const { return m_bTransientData; }

  // The mesh at `index`, or null outside the list.
  STreeMesh* GetMesh(std::int32_t index) const;

  std::int32_t GetNumLeafLods() const { return m_cLeafInfo.m_nNumLeafLods; }

  // --- the description ------------------------------------------------------
  float m_fOverrideSize = -1.0f;
  float m_fOverrideVariance = 0.0f;
  // Constructing it seeds the shared generator from the clock unless some
  // seeding happened already.
  CTreeRandom m_cRandom;
  bool m_bTransientData = true;
  std::string m_strBranchTexture;   // 2000
  float m_fValue2001 = 1100.0f;     // 2001
  float m_fValue2003 = 100.0f;      // 2003
  std::int32_t m_nSeed = 1200;      // 2005
  float m_fSize = 50.0f;            // 2006
  float m_fSizeVariance = 0.0f;     // 2007
  std::int32_t m_nPlacementSeed = 444;  // 16013
  // The trunk, made by compute (tracked); freed with the transient data.
  CBranch* m_pBranch = nullptr;
  CIndexedGeometry* m_pBranchGeometry = nullptr;
  // The branch levels (1014), owned by the engine (tracked; a caller that
  // appends a level gives it to the engine). Levels that hold what a level
  // the data leaves untouched holds point to one shared record, so that a
  // list of many such levels costs a pointer each; the pointers are const
  // so that a level is only written through EditBranchLevel or
  // ChangeBranchLevel, which give a shared level a record of its own first.
  TreeVector<const STreeBranchInfo*> m_vBranchLevels;  // 1014
  std::int32_t m_nNumBranchLods = 6;  // 9007
  TreeVector<SBillboardLeaf> m_vLeaves;
  // Its leaf LOD count (9011, or the count of block 7000) is the engine's.
  STreeLeafInfo m_cLeafInfo;  // 1004
  // Counted array (tracked) of one leaf list per leaf LOD, or null.
  TreeVector<SBillboardLeaf>* m_pLeafLods = nullptr;
  bool m_bLeafLodsLoaded = false;
  float m_fSmallestBranchLod = 0.5f;       // 9008
  float m_fLargestBranchLod = 1.0f;        // 9012
  float m_fLeafLodKeepThreshold = 0.3f;    // 9010
  float m_fBranchWeightBlend = 0.0f;       // 9013
  float m_fBranchWeightThreshold = 0.05f;  // 9014
  std::int32_t m_nWindLevel = 1;           // 11002
  STreeWindInfo m_cWindInfo;               // 1011
  bool m_bFlag22000 = false;               // 22000
  bool m_bFloorEnabled = false;            // 27002
  float m_fFloorHeight = 0.0f;             // 27003
  std::int32_t m_nFloorLevel = 1;          // 27004
  float m_fFloorExponent = 1.0f;           // 27005
  float m_fFloorScale = 1.0f;              // 27006
  std::int32_t m_nClusterLevel = 0;        // 29002
  STreeRootSupport* m_pRootSupport = nullptr;  // 40000
  TreeVector<STreeMesh*> m_vMeshes;        // 71000
  float m_fGlobalValue = 0.0f;             // 74002

 private:
  // The record shared by the untouched levels, made on first use.
  STreeBranchInfo& SharedLevel();
  // Level `index` becomes `changed` (moved into a record of its own) unless
  // it is the same as the shared record.
  void AdoptChangedLevel(std::size_t index, STreeBranchInfo&& changed);
  void FreeBranchLevels();
  void FreeLeafLods();

  // Tracked; null until a level shares it, freed with the levels.
  STreeBranchInfo* m_pSharedLevel = nullptr;
};

template <typename Change>
void CTreeEngine::ChangeBranchLevel(std::size_t index, Change&& change) {
  const STreeBranchInfo* level = m_vBranchLevels[index];
  if (level != m_pSharedLevel) {
    // The engine's own record: written in place.
    change(const_cast<STreeBranchInfo&>(*level));
    return;
  }
  STreeBranchInfo copy(*level);
  try {
    change(copy);
  } catch (...) {
    // What was read before the failure stays, as it would in place.
    AdoptChangedLevel(index, std::move(copy));
    throw;
  }
  AdoptChangedLevel(index, std::move(copy));
}

}  // namespace trt
