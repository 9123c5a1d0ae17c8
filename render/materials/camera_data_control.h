// KT::CCameraDataControl: base of the controllers that animate a camera's
// field of view and depth of field. The concrete controller's Update
// evaluates into the fields below; Apply, in the data pass, writes them
// into the bound KT::CCamera.
//
// The fields are evaluation state: never stored. The record of this level
// is its version pair 2.00 alone.
#pragma once

#include "controllers/core/data_control.h"
#include "objectmodel/vector.h"

namespace KT {

class CCameraDataControl : public CDataControlLevel<CDataControl, ClassIndex::CCameraDataControl> {
 public:
  // EyeUpRotData zero, no depth of field (0, 0, 0, DOF_None), FrustumFov 1.
  CCameraDataControl() = default;
  // The controller part is copied; the evaluated values are not (they
  // start as in a new controller). CopyTo is what copies them.
  CCameraDataControl(const CCameraDataControl& other);

  const CVector3<float>& GetEyeUpRotData() const { return eyeUpRotData_; }
  f32 GetFocalDistance() const { return focalDistance_; }
  f32 GetFocalRange() const { return focalRange_; }
  f32 GetBlurness() const { return blurness_; }
  u32 GetDofEffect() const { return dofEffect_; }
  f32 GetFrustumFov() const { return frustumFov_; }

  // Unbound: kErrInvalidArg; bound to something that is not a camera:
  // kErrNotFound; nothing is written then. Otherwise the camera's
  // WorldEyeUp takes EyeUpRotData and its FocalDistance, FocalRange,
  // Blurness, DofEffect and FrustumFov the fields of those names; its
  // Modified flag stays as it was. kOk.
  Result Apply() override;

  // The controller part (its failure returned); a target that is not a
  // camera data controller: kErrNotFound; else the six evaluated fields;
  // kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // "CCameraDataControl Member": EyeUpRotData, FocalDistance, FocalRange,
  // Blurness, FrustumFov, DofEffect; then the data controller's group.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

 protected:
  CVector3<float> eyeUpRotData_{0.0f, 0.0f, 0.0f};
  f32 focalDistance_ = 0.0f;
  f32 focalRange_ = 0.0f;
  f32 blurness_ = 0.0f;
  u32 dofEffect_ = 0;
  f32 frustumFov_ = 1.0f;
};

}  // namespace KT
