// KT::CFillStyle: the solid fill of a vector shape, and the base of the
// gradient and bitmap fills. A fill style is a texture (KT::CTexture), so it
// can stand wherever a texture is expected; as for every texture it is
// always valid.
//
// Color and Opacity have animated copies (AnimColor, AnimOpacity) that the
// fill-style controller overwrites and consumers read; Load, CopyTo and
// AdjustColor make them equal to the stored values.
//
// Record, after the KT::CTexture part (28 bytes): version pair 1.02; Color
// (4 f32); Opacity (f32). Records of version 1.01 carry four more 4-byte
// values after Opacity, read and dropped.
#pragma once

#include "objectmodel/color.h"
#include "render/materials/material_base.h"

namespace KT {

class CFillStyle : public CTexture {
  KT_DECLARE_CLASS(CFillStyle)

 public:
  static constexpr u32 kVersionTrailingWords = 101;

  // Color and AnimColor white, both opacities 1.
  CFillStyle() = default;
  CFillStyle(const CFillStyle& other) = default;

  // False here; a bitmap fill with a bitmap answers true.
  virtual bool HasBitmap() const { return false; }
  // False here; the gradient fill answers true.
  virtual bool IsGradient() const { return false; }
  // KT::AdjustColor on Color, then AnimColor = Color, AnimOpacity = Opacity;
  // marks the style modified. The gradient also adjusts its records and
  // answers the refresh of its animated copies; kOk here.
  virtual Result AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert);

  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target not a fill style: kErrNotFound, nothing changes. Otherwise the
  // texture part, Color and Opacity, and the target's animated copy set
  // from them.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CFillStyle Member": "Color", "Opacity"; then the texture's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  CColor Color{1.0f, 1.0f, 1.0f, 1.0f};
  f32 Opacity = 1.0f;
  // The animated copy (not saved).
  f32 AnimOpacity = 1.0f;
  CColor AnimColor{1.0f, 1.0f, 1.0f, 1.0f};
};

}  // namespace KT
