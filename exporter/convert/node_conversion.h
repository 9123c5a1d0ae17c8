// Small routines of the node conversion that the light and mesh
// conversions share.
#pragma once

#include "platform/host/matrix3.h"
#include "platform/host/max_types.h"
#include "scene/rts_transform.h"

namespace KT {
class CLight;
class CNode;
class CSpatial;
}  // namespace KT

class INode;

// Copies `basis` into the spatial's Basis and marks it modified; null does
// nothing.
void SetBasis(KT::CSpatial* spatial, const KT::CRtsTransform& basis);
// Copies the three floats into the light's Rgb colour (alpha kept) and
// marks it modified; null does nothing.
void SetLightColor(KT::CLight* light, const float (&rgb)[3]);
// The converted node (exactly class KT::CNode) under `root` named like the
// host node (its name widened); null when there is none or either argument
// is null.
KT::CNode* FindConvertedNode(KT::CNode* root, INode* inode);
// True when the upper 3x3 part (rows 0 to 2) has a determinant below 0.
bool IsMirrored(const Matrix3& m);

class Control;
class INode;
class Interface;

namespace KT {
class CDorun;
class CNode;
}  // namespace KT

// Takes the first KT::CKeyframeControl (exact class) out of the object's
// controller chain; nothing when there is none or the object is null.
void RemoveKeyframeControl(KT::CDorun* object);

// The decomposition of a host matrix widened to 4x4 (sign, scale, stretch,
// rotation, translation).
KT::CRtsTransform DecomposeHostMatrix(const Matrix3& m);

// `base` with the parts that `tm` has sub-controllers for replaced by their
// absolute values at tick t: rotation (x, y, z, w) as (-x, -y, -z, w) (the
// host's rotation sense is the inverse of the object model's), the
// position as translation, the first three floats of the scale value as
// scale. Sign and stretch stay those of `base`. Each value buffer is zeroed
// and each validity interval starts as the animation range of `ip` (empty
// without one). A null `tm` gives `base`.
KT::CRtsTransform ControllerTransform(Control* tm, const KT::CRtsTransform& base, TimeValue t, Interface* ip);
