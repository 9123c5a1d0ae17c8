// SProjectedShadow: the projected-shadow record of a tree (section 18000):
// the two axes a shadow map is spread along, a third vector the record
// carries, and the shadow texture's file name (without directories).
// CIndexedGeometry::ComputeShadowTexCoords uses the axes.
#pragma once

#include <string>

#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_math.h"

namespace trt {

struct SProjectedShadow {
  stVec3 m_vAxisA;     // 18002
  stVec3 m_vAxisB;     // 18003
  stVec3 m_vVector3;   // 18004
  std::string m_strTexture;  // 18005

  // Section 18000, read after its start token: tokens in any order until
  // 18001 (the file name keeps what follows its last "/" or "\"). Any other
  // token throws "malformed shadow projection info (token N)".
  void Parse(CTreeFileAccess& file);
  // 18000, 18002, 18003, 18004, 18005 (name without directories), 18001.
  void Save(CTreeFileAccess& file) const;
};

}  // namespace trt
