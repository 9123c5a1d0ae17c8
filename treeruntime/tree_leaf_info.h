// The leaf records of a tree description: STreeLeafMap (one per leaf
// texture) and STreeLeafInfo (the leaf information with its leaf maps and
// the tables built at compute time).
#pragma once

#include <cstdint>
#include <string>

#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

struct STreeLeafMap {
  bool m_bFlag = false;                        // 4000
  stVec3 m_vColor{0.8f, 0.8f, 0.8f};           // 4001
  float m_fValue = 0.2f;                       // 4002
  std::string m_strFileName;                   // 4003, stored without directories
  stVec3 m_vOrigin{0.5f, 1.0f, 0.0f};          // 4004
  // x = width, y = height, as fractions of the tree size.
  stVec3 m_vRelativeSize{0.12f, 0.12f, 0.0f};  // 4005
  // Recomputed at compute time as relative size x tree size.
  stVec3 m_vAbsoluteSize{10.0f, 10.0f, 0.0f};  // 4006
  // Carried by the leaf mesh section, not by the core record.
  bool m_bUseMesh = false;                     // 72001
  std::int32_t m_nMeshIndex = 0;               // 72003
  float m_fMeshUpBlend = 0.0f;                 // 72005
  float m_fMeshSpinRange = 0.0f;               // 72006

  // One token (its value ignored), then fields in any order until 1008;
  // 4007 is read and dropped. A token that is not a field (1008 in first
  // place included) throws "malformed single leaf information".
  void Parse(CTreeFileAccess& file);
  // 1007, 4000, 4001, 4002, 4003, 4004, 4005, 4006, 4007 (relative height /
  // relative width when the width is above 0, else 1.0), 1008.
  void Save(CTreeFileAccess& file) const;
};

struct STreeLeafInfo {
  // Each per-LOD table holds this many floats per leaf map and time offset.
  static constexpr int kTableInts = 32;
  // InitTables refuses (BadAllocation) tables that would take more bytes.
  static constexpr std::uint64_t kMaxTableBytes = 256u * 1024u * 1024u;
  // Leaves refer to their leaf map through a byte holding the map index x 2
  // plus a low bit, so no tree can use more leaf maps than this.
  static constexpr std::int32_t kMaxLeafMaps = 128;

  bool m_bFlag3009 = true;                 // 3009
  float m_fValue3010 = 1.0f;               // 3010
  std::int32_t m_nValue3008 = 2;           // 3008
  TreeVector<STreeLeafMap> m_vLeafMaps;    // 1009 block
  // Multiplies the largest leaf dimension when leaf LODs are placed.
  float m_fDimensionFactor = 0.5f;         // 3007
  float m_fPlacementValue = 0.0f;          // 24002
  std::int32_t m_nPlacementInt = 0;        // 24003
  float m_fValue3000 = 0.75f;              // 3000
  float m_fValue3002 = 0.8f;               // 3002
  std::int32_t m_nValue3001 = 1;           // 3001
  std::int32_t m_nNumTimeOffsets = 3;
  std::int32_t m_nNumLeafLods = 4;         // 9011
  // Set by InitTables.
  std::int32_t m_nNumTableLeafMaps = 0;
  // Counted arrays (tracked): one table per leaf LOD, each
  // m_nNumTimeOffsets x leaf maps x 32 floats, the card corners the leaf
  // geometry writes (16 floats per card, two textures per leaf map).
  float** m_ppLodTables = nullptr;
  // Counted array of 2 x leaf maps records of eight floats.
  float* m_pTexCoords = nullptr;
  // Counted array of m_nNumTimeOffsets floats.
  float* m_pTimeOffsets = nullptr;
  bool m_bNormalSmoothing = false;         // 28002
  float m_fNormalSmoothingValue = 30.0f;   // 28003
  std::int32_t m_nNormalSmoothingInt = 1;  // 28004; 3001 also sets it

  STreeLeafInfo() = default;
  ~STreeLeafInfo();
  // The tables are owned; the record is not copied.
  STreeLeafInfo(const STreeLeafInfo&) = delete;
  STreeLeafInfo& operator=(const STreeLeafInfo&) = delete;

  // Section 1004, read after its start token: fields in any order until the
  // first 1005 read after a field; 3003 and 3006 (bytes) and 3004 and 3005
  // (floats) are read and dropped. 1009 brings the leaf-map list: a token
  // (ignored), a count n, n leaf-map records, a token (ignored); the list is
  // replaced by n records, each read from the defaults. A count above
  // kMaxLeafMaps throws "malformed general leaf information" and one the
  // remaining data cannot hold the premature-end error, both before
  // anything is sized. Any other token (1005 in first place included)
  // throws "malformed general leaf information".
  void Parse(CTreeFileAccess& file);
  // 1004, 3000, 3001, 3002, 3003 (0), 3004 (-1.0), 3009, 3010, 3005 (-1.0),
  // 3006 (0), 3007, 3008, 1009, 1006, n, the records, 1010, 1005.
  void Save(CTreeFileAccess& file) const;

  // Builds the compute-time tables for `numLeafMaps` leaf maps (below 0
  // counts as 0), replacing earlier ones: m_nNumTimeOffsets time offsets,
  // each a uniform draw in [0, 10000] in order; 2n texture-coordinate
  // records (0, s, s, s, s, 0, 0, 0) with s = -1 under the texture-flip
  // option, else 1; one zeroed table of m_nNumTimeOffsets x n x 32 floats per
  // leaf LOD. Throws BadAllocation when an allocation fails or the tables
  // would exceed kMaxTableBytes.
  void InitTables(std::int32_t numLeafMaps);
  // Releases the tables (also done by the destructor).
  void FreeTables();
};

}  // namespace trt
