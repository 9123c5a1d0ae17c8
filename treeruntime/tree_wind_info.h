// STreeWindInfo: the wind information of a tree description (section 1011).
#pragma once

#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_math.h"

namespace trt {

struct STreeWindInfo {
  // The record's own defaults; the engine derives vector B and the value
  // from vector A when it is constructed.
  stVec3 m_vVectorA{0.5f, 0.5f, 0.0f};  // 5004
  stVec3 m_vVectorB;                    // 5002
  float m_fValue = 0.0f;                // 5005

  // Section 1011, read after its start token: tokens 5000 .. 5006 in any
  // order until 1012 (5000, 5001 and 5003 vectors and the 5006 byte are read
  // and dropped). Any other token (1012 in first place included) throws
  // "malformed general wind information".
  void Parse(CTreeFileAccess& file);
  // 1011, 5000 (0, 0, 0), 5001 (0, 0, 0), 5002, 5003 (0, 0, 0), 5004, 5005,
  // 5006 (byte 0), 1012.
  void Save(CTreeFileAccess& file) const;
};

}  // namespace trt
