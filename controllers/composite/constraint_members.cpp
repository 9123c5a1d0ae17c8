#include "controllers/composite/constraint_members.h"

namespace KT {

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CQuaternion& value) {
  visitor.FloatArray(name, &value.x, 4);
}

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CMatrix4& value) {
  visitor.Matrix4(name, &value);
}

}  // namespace KT
