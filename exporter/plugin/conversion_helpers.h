// Small conversions the build steps share: host matrices widened to the
// library's 4x4 form, rig-name and name-table lookups, the texture slot of
// a host map channel, the custom code of a converted node and the vector
// setters of converted lights.
#pragma once

#include <cstddef>

#include "objectmodel/matrix4.h"
#include "objectmodel/types.h"
#include "objectmodel/vector.h"
#include "platform/host/matrix3.h"

namespace KT {
class CLight;
}

// Rows (r0, 0), (r1, 0), (r2, 0), (r3, 1) of the host matrix's four rows.
KT::CMatrix4 WidenMatrix(const Matrix3& m);

// Whether `name` is a rig bone: an entry of the body bones, foot and hand
// floor contacts, hand pivots, end bones, face control points or facial
// bones (searched in that order). Exact comparison.
bool IsRigBoneName(const KT::WString& name);

// The index of `name` among the first `count` entries of `names`; false
// (and `index` untouched) when it is absent or `count` is below 1.
bool FindNameIndex(const KT::WString& name, const char16_t* const* names, int count, int& index);

// The texture slot of a host standard-material map channel: 1, 2, 4, 6,
// 8, 9 and 10 keep their number, every other channel gives 12.
int TextureSlotOfMapChannel(int channel);

// The custom code of a converted node, by node kind index: 0-5 give
// 0x1000100, 0x1000200, 0x1000300, 0x1000000, 0x2000000, 0x3000000; any
// other index gives 0.
KT::u32 NodeCodeFromIndex(int index);

// The location of a point or spot light, and the direction of a
// directional or spot light; each marks the light modified. A light of
// another class (or null) is left alone: false.
bool SetLightLocation(KT::CLight* light, float x, float y, float z);
bool SetLightDirection(KT::CLight* light, float x, float y, float z);
