// STreeMesh: one mesh of a tree description (section 71000), the shape a
// leaf map may use instead of a flat card. The engine owns its meshes; the
// leaf geometry reads them through CTreeEngine::GetMesh.
#pragma once

#include <cstdint>
#include <string>

#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

struct STreeMeshVertex {
  stVec3 m_vPosition;          // 71006
  stVec3 m_vNormal;            // 71007
  stVec3 m_vBinormal;          // 71008
  stVec3 m_vTangent;           // 71009
  float m_afTexCoords[2] = {};  // 71010
};

struct STreeMesh {
  std::string m_strName;                 // 71003
  TreeVector<STreeMeshVertex> m_vVertices;
  TreeVector<std::int32_t> m_vIndices;
};

}  // namespace trt
