#include "render/materials/camera_data_control.h"

#include "render/lights/camera.h"

namespace KT {

CCameraDataControl::CCameraDataControl(const CCameraDataControl& other) : CDataControlLevel(other) {}

Result CCameraDataControl::Apply() {
  if (GetObject() == nullptr) return kErrInvalidArg;
  CCamera* camera = DynamicCast<CCamera>(GetObject());
  if (camera == nullptr) return kErrNotFound;
  // Animation is not an edit: the camera's Modified flag stays as it was.
  const bool modified = camera->IsModified();
  camera->SetWorldEyeUp(eyeUpRotData_);
  camera->SetDepthOfField(focalDistance_, focalRange_, blurness_, dofEffect_);
  camera->SetFrustumFov(frustumFov_);
  camera->SetModified(modified);
  return kOk;
}

Result CCameraDataControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CDataControlLevel::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CCameraDataControl* other = DynamicCast<CCameraDataControl>(target);
  if (other == nullptr) return kErrNotFound;
  other->eyeUpRotData_ = eyeUpRotData_;
  other->focalDistance_ = focalDistance_;
  other->focalRange_ = focalRange_;
  other->blurness_ = blurness_;
  other->dofEffect_ = dofEffect_;
  other->frustumFov_ = frustumFov_;
  return kOk;
}

void CCameraDataControl::DescribeMembers(CMemberVisitor& visitor) {
  i32 dofEffect = static_cast<i32>(dofEffect_);
  visitor.BeginGroup(u"CCameraDataControl Member");
  visitor.OpenGroup();
  visitor.Vector3(u"EyeUpRotData", &eyeUpRotData_);
  visitor.Float(u"FocalDistance", &focalDistance_);
  visitor.Float(u"FocalRange", &focalRange_);
  visitor.Float(u"Blurness", &blurness_);
  visitor.Float(u"FrustumFov", &frustumFov_);
  visitor.Enum(u"DofEffect", &dofEffect, CCamera::kDofEffectNames, 4);
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CCameraDataControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 32; }

}  // namespace KT
