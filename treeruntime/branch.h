// CBranch: one branch of a computed tree, the node the branch levels of
// detail are chosen from.
//
// A branch holds its spine (one SBranchVertex per spine vertex, with the
// ring segment count of that vertex's ring), the index of its first ring
// vertex in the branch geometry, its size measure (the weight the branch
// LOD selection gives it) and the children kept after computing. Spines of
// fewer than kInlineVertices vertices live inside the object; longer ones
// in a tracked array. Heap copies kept in a parent's child list are owned
// (m_bOwned) and own their children in turn.
#pragma once

#include <cstdint>

#include "treeruntime/billboard_leaf.h"
#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

class CBranch;
class CFrondEngine;
class CIndexedGeometry;
class CLightingEngine;
struct STreeBranchInfo;
struct STreeLeafInfo;
struct STreeRootSupport;

// The 15-bit generator the flares draw from: state x 214013 + 2531011, bits
// 16 to 30 of the new state (the sequence of the original platform's C
// library; the runtime never calls the C library's rand).
class CFlareRandom {
 public:
  static void Seed(std::uint32_t seed);
  // The next value in [0, 32767].
  static std::int32_t Next();
};

// What the tree engine publishes to the branch builder before it grows a
// tree (process-wide, like all runtime state).
struct SBranchSettings {
  std::int32_t m_nWindLevel = 1;
  const STreeLeafInfo* m_pLeafInfo = nullptr;
  TreeVector<const STreeBranchInfo*> m_vLevels;
  bool m_bWindFalloff = false;  // flag 22000
  bool m_bFloorEnabled = false;
  float m_fFloorHeight = 0.0f;
  std::int32_t m_nFloorLevel = 1;
  float m_fFloorExponent = 1.0f;
  float m_fFloorScale = 1.0f;
  std::int32_t m_nClusterLevel = 0;
  const STreeRootSupport* m_pRootSupport = nullptr;
  std::uint32_t m_uRoughnessCounter = 0;
  std::uint32_t m_uDensityCounter = 0;
  std::int32_t m_nWindGroupCounter = 0;  // raised before each use
  std::uint32_t m_uSeed = 0;
  bool m_bLeavesNeedPlacement = true;
  float m_afTable[1000] = {};
  // The frond and lighting engines of the tree being computed (either may
  // be null: no fronds, no static lighting).
  CFrondEngine* m_pFrondEngine = nullptr;
  const CLightingEngine* m_pLightingEngine = nullptr;
  // Leaf-map index pairs (2m, 2m + 1) by the map's flag, refilled when the
  // trunk starts.
  TreeVector<std::int32_t> m_vLeafGroups[2];
  // Copies of the leaves placed on the current branch (leaf spacing mode
  // 1), emptied after the leaf children of each branch.
  TreeVector<SBillboardLeaf> m_vPlacedLeaves;
  // Index into m_afTable for the spin of mesh leaves; restarts at 0 with
  // every branch.
  std::int32_t m_nSpinCounter = 0;
  // The work budget of the engine's compute under way (see
  // ChargeComputeWork); outside a compute nothing is charged.
  bool m_bWorkBudget = false;
  std::uint64_t m_uWorkLeft = 0;
};

// Tree data can ask for billions of children, ring vertices or leaves; a
// compute of the engine is given this much work, in units of about a
// nanosecond, and fails when its data asks for more. Every child tried,
// spine vertex ring built and leaf placed costs kComputeWorkPerItem, every
// leaf compared with another for spacing or pairing costs one.
inline constexpr std::uint64_t kComputeWorkBudget = 1'000'000'000;
inline constexpr std::uint64_t kComputeWorkPerItem = 1024;

// Takes `units` from the budget of the compute under way; throws
// std::length_error once it is spent.
void ChargeComputeWork(std::uint64_t units);

// One spine vertex; zero vectors and an identity orientation when made.
struct SBranchVertex {
  stVec3 m_vDirection;    // the first row of the orientation
  stVec3 m_vPosition;
  float m_fRadius = 0.0f;
  stMat3 m_mOrientation;  // rows: direction and the two ring axes
  float m_fDistance = 0.0f;
  float m_fWindWeight1 = 0.0f;
  float m_fWindWeight2 = 0.0f;
  std::int32_t m_nChildCount = 0;
  std::int32_t m_nRingCount = 0;  // ring segments of this vertex's ring
};

// A trunk flare: angle around the trunk and angular width (radians), radial
// exponent, height (fraction of the trunk length), vertical exponent,
// magnitude.
struct SFlare {
  float m_fAngle = 0.0f;
  float m_fWidth = 0.0f;
  float m_fRadialExponent = 0.0f;
  float m_fHeight = 0.0f;
  float m_fVerticalExponent = 0.0f;
  float m_fMagnitude = 0.0f;
};

// A child kept after computing: the parent segment holding it, the fraction
// within that segment, and the child (owned).
struct SBranchChild {
  std::int32_t m_nVertex = 0;
  float m_fFraction = 0.0f;
  CBranch* m_pBranch = nullptr;
};

class CBranch {
 public:
  static constexpr std::int32_t kInlineVertices = 10;
  // Levels below this one grow no further.
  static constexpr std::int32_t kMaxLevel = 256;

  // No vertices (count -1) and no first vertex (-1); counts the branch.
  CBranch(CBranch* pParent, bool bOwned);
  // Frees an allocated spine; an owned branch destroys its children.
  ~CBranch();
  // Deep copies: the spine, the flares and the children (each child copied
  // as an owned branch). The copy keeps its own owned flag.
  CBranch(const CBranch& other);
  CBranch& operator=(const CBranch& other);

  static std::int32_t GetLiveCount();
  static SBranchSettings& Settings();

  // Grows this branch and its descendants (see the tree engine): evaluates
  // its level's curves at `percent`, walks the spine, emits rings and their
  // strip into `geometry` (kind 1 at or above the cluster level) or hands
  // the spine to the frond engine (kind 0), then places and grows children.
  // Returns the kind: 0 frond, 1 branch, 2 nothing. A level without a
  // record builds nothing (2). `isRootSupport` grows from the root-support
  // record and places no children.
  std::int32_t Compute(std::uint32_t seed, float size, std::int32_t level, const stVec3& start, float percent,
                       const stMat3& parentOrientation, const stVec3& parentAxis, CIndexedGeometry* geometry,
                       TreeVector<SBillboardLeaf>& leaves, float windWeight1, float windWeight2,
                       std::int32_t windGroup1, std::int32_t windGroup2, float parentRadius, bool isRootSupport);
  // Turns one leaf position chosen on this (leaf-bearing) branch into at
  // most one billboard leaf appended to `leaves`. `position` is the leaf
  // position P, `percent` its place p in the child window, `direction` the
  // unit leaf direction D (zero when there is none), `reference` the unit
  // reference direction R. In order, each refusal appending nothing and
  // drawing nothing further:
  //  1. no leaf maps: refused;
  //  2. texture t from the first leaf-map group when it is not empty and the
  //     acceptance test passes (tested percent by leaf value 3001: p for 0,
  //     the m_fPercent of this branch for 1, of its parent for 2 ...; with
  //     T = leaf value 3000, T >= 0 needs percent > T, T < 0 percent < -T;
  //     then one draw in [0, 1] must be <= leaf value 3002), picked by
  //     trunc(draw in [0, 100000]) mod its size; else from the second group
  //     (trunc(draw in [0, 1000000]) mod its size), refused when empty. A
  //     group of one index gives it without a draw;
  //  3. spacing (leaf value 3008: 1 against the placed-leaf list, 2 against
  //     `leaves`, else none): refused when a leaf, scanned from the last,
  //     lies strictly within s = max(width, height) x the dimension factor
  //     of P on all three axes;
  //  4. dimming d = v + (1 - v)(1 - leaf value 3010), v = p times the
  //     percents of this branch and its ancestors (normal-smoothing int
  //     factors at most), clamped to [0, 1]; 1 when leaf flag 3009 is off;
  //  5. the record: dimming trunc(255 d), variant trunc(draw in [0, 10000])
  //     mod the time-offset count, clamped wind weights, the wind groups,
  //     leaf-map byte t;
  //  6.-10. normal N = normalise(R + (D - R) x map value 4002) (R when D is
  //     shorter than 0.0001), blended up by map value 72005 for a mesh leaf
  //     without static leaf lighting; tangent normalise(N x z) and binormal
  //     normalise(T x N) (from (-N.x, -N.y, 0) when the tangent is shorter
  //     than 0.5); a mesh leaf with spin range a != 0 turns T and B about N
  //     by table[spin counter mod 1000] x 2a - a degrees (the counter
  //     raised); with normal smoothing on a card leaf each corner leans by
  //     the smoothing angle toward up (corners 0, 1) or down (2, 3);
  //  11. one draw in [-c, c], c = map value 4002, added to the map colour;
  //     every corner colour is that colour x dimming / 255, packed;
  //  12. appended to `leaves`, and under spacing mode 1 to the placed-leaf
  //     list.
  void AddLeaf(const stVec3& position, float percent, const stVec3& direction, const stVec3& reference,
               float windWeight1, float windWeight2, std::int32_t windGroup1, std::int32_t windGroup2,
               TreeVector<SBillboardLeaf>& leaves);

  // The flare term at angle `a` (radians) and height `t` (fraction of the
  // length): 0 beyond the width or at and above the height.
  static float FlareValue(const SFlare& flare, float a, float t);

  // Makes room for `count` spine vertices (inline below kInlineVertices, a
  // tracked array from then on), each a fresh SBranchVertex; a count below 0
  // gives none.
  void SetNumVertices(std::int32_t count);
  SBranchVertex* GetVertices() { return m_pVertices; }
  const SBranchVertex* GetVertices() const { return m_pVertices; }
  bool HasInlineVertices() const { return m_bInlineVertices; }

  // Appends this branch, then the nodes of each kept child in order
  // (pre-order over the retained tree).
  void CollectNodes(TreeVector<CBranch*>& list);
  // Stitches consecutive rings into one strip of `lod`: per spine segment
  // (i, i + 1) with ring counts ci, cj and m = max(ci, cj) + 1, for k = 0 ..
  // m - 1 and f = k / (m - 1) the pair first + base + ci + 1 + nearest(f cj)
  // (next ring) and first + base + nearest(f ci) (this ring), then the
  // second-to-last index twice; base grows by ci + 1. The strip's vertices
  // get the LOD fade 1 - (lod + 1) / n, -1.0 on the last of n LODs.
  // Nothing without a first vertex or with fewer than 2 spine vertices;
  // indices are never cut to 16 bits.
  void EmitToLod(std::int32_t lod, CIndexedGeometry& geometry) const;

  CBranch* m_pParent = nullptr;
  float m_fPercent = 0.0f;
  TreeVector<SBranchChild> m_vChildren;
  std::int32_t m_nNumVertices = -1;
  std::int32_t m_nNumCrossSections = 0;
  std::int32_t m_nFirstVertex = -1;
  float m_fSizeMeasure = 0.0f;
  bool m_bOwned = false;
  TreeVector<SFlare> m_vFlares;

 private:
  void CopyFrom(const CBranch& other);
  void BuildFlares(const STreeBranchInfo& info);
  void EmitRing(CIndexedGeometry& g, const STreeBranchInfo& info, const SBranchVertex& vertex, float t, float size,
                float length, float cap, float texOffset, bool negativeTwist, std::int32_t group1,
                std::int32_t group2);
  void ComputeNormals(CIndexedGeometry& g, const STreeBranchInfo& info, std::int32_t kind);
  void FreeVertices();
  void FreeChildren();
  // The reference direction R of a leaf at `position` and `percent` (normal
  // smoothing int n: 0 the growth direction of the spine vertex at the
  // percent, n >= 1 away from vertex 0 of the branch n - 1 links up), or
  // `direction` when that branch has no spine.
  stVec3 LeafReference(const stVec3& position, float percent, const stVec3& direction) const;

  SBranchVertex* m_pVertices = nullptr;
  SBranchVertex m_acInlineVertices[kInlineVertices];
  bool m_bInlineVertices = true;
  float m_fRadius0 = 0.0f;  // the radius of vertex 0, for texture U scales
};

}  // namespace trt
