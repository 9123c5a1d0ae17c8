// KT::CPointLight: a light that shines in every direction from one point
// (light type 2), with a range and three attenuation factors.
//
// Record, after the KT::CLight level (little-endian): version pair 2.00;
// Location (3 x f32); Range, Attenuation0, Attenuation1, Attenuation2
// (f32). A level stored below 2.00 holds Location only. WorldLocation is
// derived every frame and never stored.
#pragma once

#include <bit>

#include "objectmodel/vector.h"
#include "scene/light.h"

namespace KT {

// The default range of point and spot lights: "no limit" as the float
// with bits 0x5C11AFB4 (about 1.64e17).
inline constexpr f32 kUnlimitedLightRange = std::bit_cast<f32>(0x5C11AFB4u);

class CPointLight : public CLight {
  KT_DECLARE_CLASS(CPointLight)

 public:
  // Version gate of the record.
  static constexpr u32 kVersionRange = 200;  // range and attenuations stored from here on

  // Location and WorldLocation at the origin, Range kUnlimitedLightRange,
  // attenuation (1, 0, 0).
  CPointLight() = default;
  // Every field, the world location included.
  CPointLight(const CPointLight& other) = default;

  const CVector3<float>& GetLocation() const { return location_; }
  void SetLocation(const CVector3<float>& location) {
    location_ = location;
    SetModified();
  }
  const CVector3<float>& GetWorldLocation() const { return worldLocation_; }
  f32 GetRange() const { return range_; }
  void SetRange(f32 range) {
    range_ = range;
    SetModified();
  }
  // Factor `index` (0 constant, 1 linear, 2 quadratic); 0 past 2.
  f32 GetAttenuation(u32 index) const { return index < 3 ? attenuation_[index] : 0.0f; }
  // Index past 2: kErrOutOfRange, nothing changed.
  Result SetAttenuation(u32 index, f32 value);

  u32 GetLightType() const override { return kPoint; }

  // The scene object's update (a failure is returned unchanged and nothing
  // else happens), then WorldLocation = Location transformed as a point by
  // WorldMatrix. kOk.
  Result Update(i32 time) override;

  Result CreateInstance(CPointer<CBase>& out) const override;
  // The light part first (its failure returned); then a target that is not
  // a point light: kErrNotFound (the light part is already copied); else
  // every field, the world location included; kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CPointLight Member": Location, WorldLocation, Range, Attenuation0..2;
  // then the light's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CVector3<float> location_{0.0f, 0.0f, 0.0f};
  CVector3<float> worldLocation_{0.0f, 0.0f, 0.0f};
  f32 range_ = kUnlimitedLightRange;
  f32 attenuation_[3] = {1.0f, 0.0f, 0.0f};
};

}  // namespace KT
