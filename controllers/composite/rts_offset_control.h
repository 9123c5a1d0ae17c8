// KT::CRTSOffsetControl: turns its spatial by a fixed rotation given as
// three angles. It takes the spatial's current Local (as the controllers
// before it in the chain left it), multiplies its rotation on the right by
// Qz (x) Qy (x) Qx (rotations by RotationOffset.z, .y and .x radians about
// Z, Y and X), recomposes the world quantities under the parent and copies
// the spatial's sticky range. The time is not used. With no controller
// before it, each evaluation turns the spatial again from where the last
// one left it.
//
// Record, after the CRTSControl part: the pair 1.00 and RotationOffset
// (3 f32): 20 bytes. The member visitor sees only the CRTSControl members.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/rts_control.h"
#include "objectmodel/quaternion.h"

namespace KT {

class CRTSOffsetControl : public CControlLevel<CRTSOffsetControl, CRTSControl, ClassIndex::CRTSOffsetControl> {
 public:
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CRTSOffsetControl() = default;
  CRTSOffsetControl(const CRTSOffsetControl& other) = default;

  const CVector3<float>& GetRotationOffset() const { return rotationOffset_; }
  void SetRotationOffset(const CVector3<float>& angles) {
    rotationOffset_ = angles;
    SetModified();
  }
  // Qz (x) Qy (x) Qx of RotationOffset.
  CQuaternion GetOffsetRotation() const;

  // Not active: kDone, nothing changed. Unbound: kErrInvalidArg; bound to
  // an object that is not a spatial: kErrNotFound; nothing changed then.
  // Otherwise the offset pose (see above): kOk.
  Result UpdateTransform(i32 time) override;
  // Always the zero time.
  i32 GetEndTime() const override { return kZeroTime; }
  // The CRTSControl members only.
  void DescribeMembers(CMemberVisitor& visitor) override { CRTSControl::DescribeMembers(visitor); }
  u32 GetMemorySize() const override {
    return CRTSControl::GetMemorySize() + static_cast<u32>(sizeof(rotationOffset_));
  }

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Block(u"RotationOffset", self.rotationOffset_);
  }
  Result CopyOwnTo(CRTSOffsetControl& target) const {
    target.rotationOffset_ = rotationOffset_;
    return kOk;
  }

 private:
  CVector3<float> rotationOffset_{0.0f, 0.0f, 0.0f};
};

}  // namespace KT
