// KT::CMaterialDataControl: base of the controllers that animate a standard
// material. The concrete controller's Update fills the channel block below
// (one value per animated field of the material); Apply, in the data pass,
// writes it into the bound KT::CStandardMaterial and invalidates it.
//
// The channel block is evaluation state: never stored and not copied by
// CopyTo (the copy constructor copies it). The record of this level is its
// version pair 2.00 alone.
#pragma once

#include <array>

#include "controllers/core/data_control.h"
#include "objectmodel/vector.h"
#include "render/materials/standard_material.h"

namespace KT {

class CMaterialDataControl : public CDataControlLevel<CDataControl, ClassIndex::CMaterialDataControl> {
 public:
  using Vec3 = CVector3<float>;
  using Weights = std::array<f32, CStandardMaterial::kChannelCount>;

  // The names of the channel weights, channel 0 to 11.
  static const char16_t* const kWeightNames[CStandardMaterial::kChannelCount];

  // The channel block starts at zero.
  CMaterialDataControl() = default;
  CMaterialDataControl(const CMaterialDataControl& other) = default;

  // The class is abstract: kErrInvalidArg, nothing made.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Unbound: kErrInvalidArg; bound to something that is not a standard
  // material: kErrNotFound; nothing is written then. Otherwise the
  // material's Ambient, Diffuse, Specular, Shininess, ShineStrength,
  // SelfIllum, Opacity, Opfall, SoftThresh and the twelve channel weights
  // take the block's values and the material is invalidated; its Modified
  // flag stays as it was. kOk.
  Result Apply() override;
  // "CMaterialDataControl Member": the channel block; then the data
  // controller's group.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  // The channel block (read by tests and tools).
  const Vec3& GetAmbient() const { return ambient_; }
  const Vec3& GetDiffuse() const { return diffuse_; }
  const Vec3& GetSpecular() const { return specular_; }
  f32 GetShininess() const { return shininess_; }
  f32 GetShineStrength() const { return shineStrength_; }
  f32 GetSelfIllum() const { return selfIllum_; }
  f32 GetOpacity() const { return opacity_; }
  f32 GetOpfall() const { return opfall_; }
  f32 GetSoftThresh() const { return softThresh_; }
  const Weights& GetWeights() const { return weights_; }

 protected:
  Vec3 ambient_{0.0f, 0.0f, 0.0f};
  Vec3 diffuse_{0.0f, 0.0f, 0.0f};
  Vec3 specular_{0.0f, 0.0f, 0.0f};
  f32 shininess_ = 0.0f;
  f32 shineStrength_ = 0.0f;
  f32 selfIllum_ = 0.0f;
  f32 opacity_ = 0.0f;
  f32 opfall_ = 0.0f;
  f32 softThresh_ = 0.0f;
  Weights weights_{};
};

}  // namespace KT
