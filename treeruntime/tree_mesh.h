// STreeMesh: one mesh of a tree description (section 71000), the shape a
// leaf map may use instead of a flat card. The engine owns its meshes; the
// leaf geometry reads them through CTreeEngine::GetMesh.
#pragma once

#include <cstdint>
#include <string>

#include "treeruntime/tree_file_access.h"
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

  // One mesh, read after its 71002: fields in any order until 71014.
  // 71003 the name; 71004 a vertex count that sizes the vertex list, then
  // vertices 71005 .. 71011 (fields 71006 .. 71010 in any order inside, one
  // vertex per 71005, no more than the count); 71012 an index count that
  // reserves the index list, each index a 71013 and its value. Any other
  // token, a negative count or a vertex beyond the count throws "malformed
  // mesh info"; a count the bytes left cannot hold throws the premature-end
  // error before anything is sized.
  void Parse(CTreeFileAccess& file);
  // 71002, 71003, 71004 n, the vertices (71005, 71006 .. 71010, 71011),
  // 71012 n, the indices (71013 each), 71014.
  void Save(CTreeFileAccess& file) const;
};

}  // namespace trt
