#include "scene/rts_transform.h"

namespace KT {

CRtsTransform CRtsTransform::FromMatrix(const CMatrix4& matrix) {
  CRtsTransform parts;
  decomp_affine(matrix, parts);
  return parts;
}

}  // namespace KT
