// How the constraint controllers report their quaternion and 4x4 matrix
// fields to a member visitor. The field walkers of the keyed-track core
// (controllers/core/time_key.h) find these overloads by argument-dependent
// lookup when a field list names such a block.
#pragma once

#include "objectmodel/matrix4.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/quaternion.h"

namespace KT {

// The visitor has no quaternion entry: the four floats x, y, z, w.
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CQuaternion& value);
// The matrix as the visitor's 4x4 entry.
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CMatrix4& value);

}  // namespace KT
