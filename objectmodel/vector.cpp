#include "objectmodel/vector.h"

#include "objectmodel/matrix3.h"

namespace KT {

f32 CVector2::Normalize() {
  const f32 length = Length();
  if (length > 0.0f) {
    x /= length;
    y /= length;
  }
  return length;
}

template <>
CVector3<float> CVector3<float>::TransformByMatrix3(const CMatrix3& m) const {
  return {x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0], x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1],
          x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2]};
}

}  // namespace KT
