// Pieces of the mesh export that stand on their own.
#pragma once

#include "objectmodel/types.h"

namespace KT {
class CGeometryData;
class CMaterial;
}  // namespace KT

// Drops the sub-materials of a multi-material that no triangle uses: the
// distinct TriangleMtlID values in ascending order keep the sub-material at
// (id modulo count) each, and every id becomes its rank among them. kDone
// when every sub-material is used (nothing changes) and when the
// multi-material has none (its empty list stays as it is); kOk after the
// list was rebuilt. Null data: kErrInvalidArg; data that is not triangle
// data, or a material that is not a KT::CMultiMaterial: kErrNotFound;
// memory: kErrOutOfMemory (nothing changes).
KT::Result CompactSubMaterials(KT::CGeometryData* data, KT::CMaterial* material);
