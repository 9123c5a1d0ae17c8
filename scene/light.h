// KT::CLight: the light spatial object; what every light has (colour,
// intensity multiplier, shadow switch). The concrete lights
// (render/lights/) add their geometry, kept twice: as authored in the
// node's space and as derived in world space by their per-frame Update.
//
// Record of the KT::CLight level, after the KT::CSpatial level
// (little-endian): version pair 2.01; Rgb (3 x f32); Multiplier (f32);
// CastShadow (1 byte). Older levels: below 2.00 a 4-byte word follows Rgb
// (read and dropped); 2.00 has no Multiplier.
#pragma once

#include "objectmodel/color.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "scene/spatial.h"

namespace KT {

class CLight : public CSpatial {
  KT_DECLARE_CLASS(CLight)

 public:
  // Light types answered by GetLightType.
  enum LightType : u32 { kDirectional = 1, kPoint = 2, kSpot = 3 };

  // Version gates of the record.
  static constexpr u32 kVersionNoFiller = 200;    // the word after Rgb is gone from here on
  static constexpr u32 kVersionMultiplier = 201;  // Multiplier stored from here on

  // Rgb (0, 0, 0), Multiplier 1, CastShadow true.
  CLight() = default;
  // Every field, the spatial part as CSpatial copies it.
  CLight(const CLight& other) = default;

  // The colour (red, green, blue; alpha unused and not stored).
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
  bool GetCastShadow() const { return castShadow_; }
  void SetCastShadow(bool castShadow) {
    castShadow_ = castShadow;
    SetModified();
  }

  // 1 directional, 2 point, 3 spot.
  virtual u32 GetLightType() const = 0;

  // A light is a leaf of the scene tree.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // The centre of WorldBound becomes the translation of WorldMatrix; radius
  // and corners stay. kOk.
  Result UpdateWorldBound() override;

  // The spatial part, then, when the target is a light, Rgb, Multiplier and
  // CastShadow. A spatial that is not a light: kErrNotFound after its
  // spatial part is copied (the concrete lights refuse it first).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CLight Member": CastShadow, Rgb, Multiplier; then the spatial's group.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CColor rgb_{0.0f, 0.0f, 0.0f, 1.0f};
  f32 multiplier_ = 1.0f;
  bool castShadow_ = true;
};

// The matrix that carries directions authored in a node's space into world
// space: the inverse transpose of the upper-left 3x3 of `world` (cofactors
// over the determinant). A singular 3x3 (a zero scale) has no inverse; its
// cofactor matrix is used as it is, which still maps directions onto the
// surviving axes and never divides by zero. Every other matrix gives the
// exact inverse transpose, however small its determinant.
CMatrix3 DirectionMatrix(const CMatrix4& world);

// `direction` as a row vector times DirectionMatrix(world), normalised (a
// zero vector stays zero).
CVector3<float> WorldDirectionOf(const CVector3<float>& direction, const CMatrix4& world);

// What lights and cameras do as their world bound: the centre of
// `spatial`'s WorldBound becomes its world translation. kOk.
Result PlaceBoundAtOrigin(CSpatial& spatial);

}  // namespace KT
