#include "controllers/core/rts_control.h"

#include "objectmodel/quaternion.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

const char16_t* const CRTSControl::kSlaveModeNames[3] = {u"SM_DEFAULT_BASIS", u"SM_IDENTITY_LOCAL",
                                                         u"SM_CURRENT_WORLD"};

// --- composition with a parent ------------------------------------------------------

CMatrix3 GetScaleMatrix(const CRtsTransform& transform) {
  // The same product ComposeAffine forms before it applies the rotation.
  const CMatrix3 u = transform.Stretch.ToMatrix3();
  return u.Transpose().ScaleColumns(transform.Scale * transform.Sign) * u;
}

bool MatrixEquals(const CMatrix4& a, const CMatrix4& b) { return a == b; }

namespace {

// The parent matrix P a masked composition works with, before its 3x3 is
// replaced: the parent's world matrix, without its translation when the
// translation group is off.
CMatrix4 MaskedParentMatrix(const CMatrix4& parentMatrix, u32 inherited) {
  CMatrix4 p = parentMatrix;
  if ((inherited & kInheritTranslationBits) != 0) p.SetTranslation({0.0f, 0.0f, 0.0f});
  return p;
}

// Replaces P's 3x3 by what the rotation and scale groups let through.
void MaskParentRotationPart(CMatrix4& p, const CMatrix3& parentScale, const CMatrix3& parentRotate, u32 inherited) {
  const bool rotationOff = (inherited & kInheritRotationBits) != 0;
  const bool scaleOff = (inherited & kInheritScaleBits) != 0;
  if (rotationOff && scaleOff) {
    p.SetRotation3x3(kMatrix3Identity);
  } else if (rotationOff) {
    p.SetRotation3x3(parentScale);
  } else if (scaleOff) {
    p.SetRotation3x3(parentRotate);
  }
}

CMatrix4 Inverse(const CMatrix4& m) {
  CMatrix4 inverse;
  MatrixInverse(inverse, nullptr, m);  // a singular matrix gives the identity
  return inverse;
}

}  // namespace

void ComposeWithParent(CMatrix3& worldScale, CMatrix3& worldRotate, CMatrix4& worldMatrix,
                       const CMatrix3& parentScale, const CMatrix3& parentRotate, const CMatrix4& parentMatrix,
                       u32 inherited) {
  if (MatrixEquals(parentMatrix, kMatrix4Identity)) return;
  if (inherited == 0) {
    worldScale *= parentScale;
    worldRotate *= parentRotate;
    worldMatrix = worldMatrix * parentMatrix;
    return;
  }
  CMatrix4 p = MaskedParentMatrix(parentMatrix, inherited);
  // The child's offset always goes through the parent's full 3x3; only the
  // parent's own offset is dropped when translation is off.
  const CVector3<float> translation = TransformCoord(worldMatrix.GetTranslation(), p);
  MaskParentRotationPart(p, parentScale, parentRotate, inherited);
  if ((inherited & kInheritScaleBits) == 0) worldScale *= parentScale;
  if ((inherited & kInheritRotationBits) == 0) worldRotate *= parentRotate;
  worldMatrix = worldMatrix * p;
  worldMatrix.SetTranslation(translation);
}

void ComposeWithParent(CMatrix3& worldScale, CMatrix3& worldRotate, CMatrix4& worldMatrix, const CSpatial* parent,
                       u32 inherited) {
  if (parent == nullptr) return;
  ComposeWithParent(worldScale, worldRotate, worldMatrix, parent->GetWorldScale(), parent->GetWorldRotate(),
                    parent->GetWorldMatrix(), inherited);
}

void ComposeMatrixWithParent(CMatrix4& matrix, const CSpatial* parent, u32 inherited) {
  CMatrix3 scale;
  CMatrix3 rotate;
  ComposeWithParent(scale, rotate, matrix, parent, inherited);
}

void RemoveParent(CMatrix4& worldMatrix, const CMatrix3& parentScale, const CMatrix3& parentRotate,
                  const CMatrix4& parentMatrix, u32 inherited) {
  if (MatrixEquals(parentMatrix, kMatrix4Identity)) return;
  if (inherited == 0) {
    worldMatrix = worldMatrix * Inverse(parentMatrix);
    return;
  }
  CMatrix4 p = MaskedParentMatrix(parentMatrix, inherited);
  // Undoes ComposeWithParent's carried translation: through the inverse of
  // the parent's full 3x3.
  const CVector3<float> translation = TransformCoord(worldMatrix.GetTranslation(), Inverse(p));
  MaskParentRotationPart(p, parentScale, parentRotate, inherited);
  worldMatrix = worldMatrix * Inverse(p);
  worldMatrix.SetTranslation(translation);
}

void RemoveParent(CMatrix4& worldMatrix, const CSpatial* parent, u32 inherited) {
  if (parent == nullptr) return;
  RemoveParent(worldMatrix, parent->GetWorldScale(), parent->GetWorldRotate(), parent->GetWorldMatrix(),
               inherited);
}

bool GetParentSpaceMatrix(const CSpatial* parent, u32 inherited, CMatrix4& inverse) {
  if (parent == nullptr || MatrixEquals(parent->GetWorldMatrix(), kMatrix4Identity)) return false;
  inverse = Inverse(MaskedParentMatrix(parent->GetWorldMatrix(), inherited));
  return true;
}

CRtsTransform LocalPlacedAt(const CSpatial& spatial, const CMatrix4& worldMatrix) {
  CMatrix4 inParent = worldMatrix;
  RemoveParent(inParent, spatial.GetParent(), spatial.GetInherited());
  CRtsTransform local = spatial.GetLocal();
  local.Translate = inParent.GetTranslation();
  local.Rotate = inParent.ExtractRotation().ToQuaternion();
  return local;
}

CVector3<float> ToParentSpace(const CVector3<float>& point, const CSpatial* parent, u32 inherited) {
  CMatrix4 inverse;
  return GetParentSpaceMatrix(parent, inherited, inverse) ? TransformCoord(point, inverse) : point;
}

// --- the controller ---------------------------------------------------------------------

CRTSControl::CRTSControl(const CRTSControl& other)
    : CControl(other),
      slaveMode_(other.slaveMode_),
      local_(other.local_),
      worldScale_(other.worldScale_),
      worldRotate_(other.worldRotate_),
      worldMatrix_(other.worldMatrix_),
      stickyEnable_(other.stickyEnable_),
      stickyStart_(other.stickyStart_),
      stickyEnd_(other.stickyEnd_) {}

CRTSControl::~CRTSControl() = default;

CSpatial* CRTSControl::GetSpatial() const { return DynamicCast<CSpatial>(GetObject()); }

Result CRTSControl::GetBoundSpatial(CSpatial*& spatial) const {
  spatial = nullptr;
  if (GetObject() == nullptr) return kErrInvalidArg;
  spatial = GetSpatial();
  return spatial != nullptr ? kOk : kErrNotFound;
}

void CRTSControl::SetLocalAndCompose(const CRtsTransform& local, const CSpatial& spatial) {
  local_ = local;
  worldScale_ = GetScaleMatrix(local_);
  worldRotate_ = local_.Rotate.ToMatrix3();
  worldMatrix_ = ComposeAffine(local_);
  ComposeWithParent(worldScale_, worldRotate_, worldMatrix_, spatial.GetParent(), spatial.GetInherited());
}

Result CRTSControl::InitFromSlaveMode() {
  CSpatial* spatial = nullptr;
  const Result r = GetBoundSpatial(spatial);
  if (Failed(r)) return r;
  switch (slaveMode_) {
    case SM_DEFAULT_BASIS:
      SetLocalAndCompose(spatial->GetBasis(), *spatial);
      return kOk;
    case SM_IDENTITY_LOCAL:
      // The identity composes to identity matrices exactly.
      SetLocalAndCompose(kIdentityTransform, *spatial);
      return kOk;
    case SM_CURRENT_WORLD:
      SetTransform(spatial->GetLocal(), spatial->GetWorldScale(), spatial->GetWorldRotate(),
                   spatial->GetWorldMatrix());
      return kOk;
    default:
      return kDone;
  }
}

Result CRTSControl::ApplyTransform() {
  if (!IsActive()) return kDone;
  CSpatial* spatial = nullptr;
  const Result r = GetBoundSpatial(spatial);
  if (Failed(r)) return r;
  spatial->SetLocal(local_);
  spatial->SetWorld(worldScale_, worldRotate_, worldMatrix_);
  spatial->SetSticky(stickyEnable_, stickyStart_, stickyEnd_);
  return kOk;
}

Result CRTSControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the base copies anything, so a refused target stays as
  // it was.
  CRTSControl* other = DynamicCast<CRTSControl>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->local_ = local_;
  other->worldScale_ = worldScale_;
  other->worldRotate_ = worldRotate_;
  other->worldMatrix_ = worldMatrix_;
  other->slaveMode_ = slaveMode_;
  return kOk;
}

Result CRTSControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  if (version >= static_cast<i32>(kVersionSlaveModeWord)) return ReadU32(stream, slaveMode_);
  slaveMode_ = SM_DEFAULT_BASIS;
  if (version == static_cast<i32>(kVersionSlaveModeByte)) {
    // A flag then: set meant "start from the identity".
    bool identity = false;
    r = ReadBool(stream, identity);
    if (Succeeded(r) && identity) slaveMode_ = SM_IDENTITY_LOCAL;
  }
  return r;
}

Result CRTSControl::Save(CStream& stream, u32 flags) {
  Result r = CControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, slaveMode_);
  return r;
}

void CRTSControl::DescribeMembers(CMemberVisitor& visitor) {
  i32 slaveMode = static_cast<i32>(slaveMode_);
  visitor.BeginGroup(u"CRTSControl Member");
  visitor.OpenGroup();
  visitor.Rts(u"Local", &local_);
  visitor.Matrix3(u"WorldScale", &worldScale_);
  visitor.Matrix3(u"WorldRotate", &worldRotate_);
  visitor.Matrix4(u"WorldMatrix", &worldMatrix_);
  visitor.Enum(u"SlaveMode", &slaveMode, kSlaveModeNames, 3);
  visitor.Bool(u"Sticky.Enable", &stickyEnable_);
  visitor.Time(u"Sticky.Start", &stickyStart_);
  visitor.Time(u"Sticky.End", &stickyEnd_);
  visitor.EndGroup();
  CControl::DescribeMembers(visitor);
}

u32 CRTSControl::GetMemorySize() const { return CControl::GetMemorySize() + 216; }

u32 CRTSControl::GetSaveSize() const { return CControl::GetSaveSize() + 12; }

}  // namespace KT
