// KT::CSpotLight: a light that shines from one point into a cone (light
// type 3): full strength inside the inner angle Theta, fading out to the
// outer angle Phi at the rate Falloff, within Range.
//
// Record, after the KT::CLight level (little-endian): version pair 2.00;
// Location, Direction (3 x f32 each); Range, Falloff, Attenuation0,
// Attenuation1, Attenuation2, Theta, Phi (f32). WorldLocation and
// WorldDirection are derived every frame and never stored.
#pragma once

#include "objectmodel/math_functions.h"
#include "objectmodel/vector.h"
#include "render/lights/point_light.h"
#include "scene/light.h"

namespace KT {

class CSpotLight : public CLight {
  KT_DECLARE_CLASS(CSpotLight)

 public:
  // Location at the origin, Direction (0, 0, -1) (the world fields alike),
  // Range kUnlimitedLightRange, Falloff 0, attenuation (1, 0, 0), Theta 0,
  // Phi pi / 2.
  CSpotLight() = default;
  // Every field, the world fields included.
  CSpotLight(const CSpotLight& other) = default;

  const CVector3<float>& GetLocation() const { return location_; }
  void SetLocation(const CVector3<float>& location) {
    location_ = location;
    SetModified();
  }
  const CVector3<float>& GetDirection() const { return direction_; }
  void SetDirection(const CVector3<float>& direction) {
    direction_ = direction;
    SetModified();
  }
  const CVector3<float>& GetWorldLocation() const { return worldLocation_; }
  const CVector3<float>& GetWorldDirection() const { return worldDirection_; }
  f32 GetRange() const { return range_; }
  void SetRange(f32 range) {
    range_ = range;
    SetModified();
  }
  f32 GetFalloff() const { return falloff_; }
  void SetFalloff(f32 falloff) {
    falloff_ = falloff;
    SetModified();
  }
  // Inner and outer cone angles, radians.
  f32 GetTheta() const { return theta_; }
  void SetTheta(f32 theta) {
    theta_ = theta;
    SetModified();
  }
  f32 GetPhi() const { return phi_; }
  void SetPhi(f32 phi) {
    phi_ = phi;
    SetModified();
  }
  // Factor `index` (0 constant, 1 linear, 2 quadratic); 0 past 2.
  f32 GetAttenuation(u32 index) const { return index < 3 ? attenuation_[index] : 0.0f; }
  // Index past 2: kErrOutOfRange, nothing changed.
  Result SetAttenuation(u32 index, f32 value);

  u32 GetLightType() const override { return kSpot; }

  // The scene object's update (a failure is returned unchanged and nothing
  // else happens), then WorldLocation = Location transformed as a point by
  // WorldMatrix and WorldDirection = WorldDirectionOf(Direction,
  // WorldMatrix). kOk.
  Result Update(i32 time) override;

  Result CreateInstance(CPointer<CBase>& out) const override;
  // The light part first (its failure returned); then a target that is not
  // a spot light: kErrNotFound (the light part is already copied); else
  // every field, the world fields included; kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CSpotLight Member": Location, WorldLocation, Direction, WorldDirection,
  // Range, Falloff, Attenuation0..2, Theta, Phi; then the light's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CVector3<float> location_{0.0f, 0.0f, 0.0f};
  CVector3<float> worldLocation_{0.0f, 0.0f, 0.0f};
  CVector3<float> direction_{0.0f, 0.0f, -1.0f};
  CVector3<float> worldDirection_{0.0f, 0.0f, -1.0f};
  f32 range_ = kUnlimitedLightRange;
  f32 falloff_ = 0.0f;
  f32 attenuation_[3] = {1.0f, 0.0f, 0.0f};
  f32 theta_ = 0.0f;
  f32 phi_ = kHalfPi;
};

}  // namespace KT
