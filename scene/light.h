// KT::CLight: the light spatial object; what every light has (colour,
// intensity multiplier, shadow switch). The concrete lights add their
// geometry.
//
// So far it holds the colour and multiplier that light-colour controllers
// write; its record and the concrete lights join with the render layer.
#pragma once

#include "objectmodel/color.h"
#include "scene/spatial.h"

namespace KT {

class CLight : public CSpatial {
  KT_DECLARE_CLASS(CLight)

 public:
  CLight() = default;
  CLight(const CLight& other) = default;

  // The colour (red, green, blue; alpha unused).
  const CColor& GetRgb() const { return rgb_; }
  void SetRgb(const CColor& rgb) {
    rgb_ = rgb;
    SetModified();
  }
  f32 GetMultiplier() const { return multiplier_; }
  void SetMultiplier(f32 multiplier) {
    multiplier_ = multiplier;
    SetModified();
  }

  // A light is a leaf of the scene tree.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  CColor rgb_{0.0f, 0.0f, 0.0f, 1.0f};
  f32 multiplier_ = 1.0f;
};

}  // namespace KT
