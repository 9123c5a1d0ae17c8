// SBillboardLeaf: one leaf of a leaf level of detail (block 7000 of a tree
// description, or placed at compute time).
#pragma once

#include <cstdint>

#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_math.h"

namespace trt {

struct SBillboardLeaf {
  std::uint8_t m_ucByteA = 0;    // 7007
  std::uint8_t m_ucDimming = 0;  // 7008, 0 to 255
  // Packed colours, red in the lowest byte; only the first is stored (7006).
  std::uint32_t m_auCornerColors[4] = {0xffffffffu, 0xffffffffu, 0xffffffffu, 0xffffffffu};
  // Three sets of four corner vectors; only the first of the first set is
  // stored (7010).
  stVec3 m_avCorners1[4];
  stVec3 m_avCorners2[4];
  stVec3 m_avCorners3[4];
  stVec3 m_vPosition;               // 7015
  // Leaf-map index x 2 plus a low bit.
  std::uint8_t m_ucLeafMapByte = 0;  // 7011
  float m_fFraction = 0.0f;          // 7012, 0 to 1
  float m_fFraction2 = 0.0f;         // 0 to 1
  std::int32_t m_nInt = 0;           // 7013
  std::uint32_t m_uLastValue = 0;

  SBillboardLeaf() = default;
  // The branch builder's form: both fractions clamped to [0, 1] (NaN gives
  // 0); colours all bits set, corners 0, leaf-map byte 0.
  SBillboardLeaf(const stVec3& position, std::uint8_t dimming, std::uint8_t byteA, float fraction, float fraction2,
                 std::int32_t value, std::uint32_t lastValue);

  // One record, read after its 7004: fields in any order until 7005 (7016
  // is read and dropped). A token outside 7006 .. 7016, or 7009 or 7014,
  // throws "malformed billboard leaf".
  void Parse(CTreeFileAccess& file);
  // 7004, 7006 (long), 7007, 7008, 7010, 7011, 7012 (fraction byte), 7013,
  // 7015, 7016 (0.0), 7005.
  void Save(CTreeFileAccess& file) const;
};

}  // namespace trt
