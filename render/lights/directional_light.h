// KT::CDirectionalLight: a light that shines along one direction from
// infinitely far away (light type 1).
//
// Record, after the KT::CLight level (little-endian): version pair 2.00;
// Direction (3 x f32). WorldDirection is derived every frame and never
// stored.
#pragma once

#include "objectmodel/vector.h"
#include "scene/light.h"

namespace KT {

class CDirectionalLight : public CLight {
  KT_DECLARE_CLASS(CDirectionalLight)

 public:
  // Direction and WorldDirection (0, 0, -1).
  CDirectionalLight() = default;
  // Every field, the world direction included.
  CDirectionalLight(const CDirectionalLight& other) = default;

  const CVector3<float>& GetDirection() const { return direction_; }
  void SetDirection(const CVector3<float>& direction) {
    direction_ = direction;
    SetModified();
  }
  const CVector3<float>& GetWorldDirection() const { return worldDirection_; }

  u32 GetLightType() const override { return kDirectional; }

  // The scene object's update (attached controllers evaluate and apply; a
  // failure is returned unchanged and nothing else happens), then
  // WorldDirection = WorldDirectionOf(Direction, WorldMatrix). kOk.
  Result Update(i32 time) override;

  Result CreateInstance(CPointer<CBase>& out) const override;
  // The light part first (its failure returned); then a target that is not
  // a directional light: kErrNotFound (the light part is already copied);
  // else Direction and WorldDirection, kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CDirectionalLight Member": Direction, WorldDirection; then the light's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CVector3<float> direction_{0.0f, 0.0f, -1.0f};
  CVector3<float> worldDirection_{0.0f, 0.0f, -1.0f};
};

}  // namespace KT
