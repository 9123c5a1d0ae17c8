#include "controllers/composite/rts_offset_control.h"

#include "scene/spatial.h"

namespace KT {

CQuaternion CRTSOffsetControl::GetOffsetRotation() const {
  const CQuaternion qx = CQuaternion::FromAxisAngle({1.0f, 0.0f, 0.0f}, rotationOffset_.x);
  const CQuaternion qy = CQuaternion::FromAxisAngle({0.0f, 1.0f, 0.0f}, rotationOffset_.y);
  const CQuaternion qz = CQuaternion::FromAxisAngle({0.0f, 0.0f, 1.0f}, rotationOffset_.z);
  return qz * qy * qx;
}

Result CRTSOffsetControl::UpdateTransform(i32 /*time*/) {
  if (!IsActive()) return kDone;
  CSpatial* object = nullptr;
  const Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  CRtsTransform local = object->GetLocal();
  local.Rotate = local.Rotate * GetOffsetRotation();
  SetLocalAndCompose(local, *object);
  SetStickyRange(object->IsStickyEnabled(), object->GetStickyStart(), object->GetStickyEnd());
  return kOk;
}

}  // namespace KT
