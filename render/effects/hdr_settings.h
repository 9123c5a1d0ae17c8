// KT::CHdrSettings: the high-dynamic-range settings of a scene (bloom,
// tone mapping, exposure adaptation and glare), and KT::IHdrSettingsOwner,
// the interface through which an object that holds them lets a controller
// read and write them without marking the object modified.
#pragma once

#include "objectmodel/types.h"

namespace KT {

// The glare filter of the HDR pass (u32 on disk).
enum GlareType : u32 {
  GT_Disable = 0,
  GT_Camera = 1,
  GT_CheapLens = 2,
  GT_CrossScreen = 3,
  GT_CrossScreen_Spectral = 4,
  GT_SnowCross = 5,
  GT_SnowCross_Spectral = 6,
  GT_SunnyCross = 7,
  GT_SunnyCross_Spectral = 8,
  GT_CineCam_VerticalSlits = 9,
  GT_CineCam_HorizontalSlits = 10,
};
inline constexpr u32 kGlareTypeCount = 11;
// "GT_Disable" ... "GT_CineCam_HorizontalSlits", indexed by value.
extern const char16_t* const kGlareTypeNames[kGlareTypeCount];

// The nine HDR fields in their stored order, with a new scene's values.
struct CHdrSettings {
  bool HDREnable = false;
  f32 HDRBrightThreshold = 0.5f;
  f32 HDRBloomScale = 1.0f;
  bool HDRToneEnable = true;
  f32 HDRGaussianScalar = 1.0f;
  f32 HDRExposure = 1.0f;
  f32 HDRAdaptSpeed = 1.0f;
  u32 HDRGlareType = GT_Disable;
  f32 HDRGlareScale = 1.0f;

  bool operator==(const CHdrSettings&) const = default;
};

// Offered by an object that holds HDR settings (the scene settings).
class IHdrSettingsOwner {
 public:
  IHdrSettingsOwner() = default;
  IHdrSettingsOwner(const IHdrSettingsOwner&) = default;
  IHdrSettingsOwner& operator=(const IHdrSettingsOwner&) = default;
  virtual const CHdrSettings& GetHdrSettings() const = 0;
  // Replaces the settings; whether this marks the object modified is the
  // object's affair (see the two calls below).
  virtual void SetHdrSettings(const CHdrSettings& settings) = 0;
  // The object's Modified flag, read before and restored after a
  // controller's writes.
  virtual bool IsHdrOwnerModified() const = 0;
  virtual void SetHdrOwnerModified(bool modified) = 0;

  virtual ~IHdrSettingsOwner() = default;
};

}  // namespace KT
