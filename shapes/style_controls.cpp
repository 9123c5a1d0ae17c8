#include "shapes/style_controls.h"

#include "shapes/color_adjust.h"

namespace KT {

// --- line --------------------------------------------------------------------------------------

void CLineStyleControl::AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  AdjustColors(keys_.EditColumn<kColor>(), hue, saturation, brightness, contrast, invert);
  SetModified();
}

void CLineStyleControl::Evaluate(u32 prev, u32 next, f32 eased) {
  const auto& widths = keys_.Column<kWidth>();
  const auto& colors = keys_.Column<kColor>();
  const auto& opacities = keys_.Column<kOpacity>();
  CurrentWidth = BlendValue(widths[prev], widths[next], eased);
  CurrentColor = colors[prev] + (colors[next] - colors[prev]) * eased;
  CurrentOpacity = BlendValue(opacities[prev], opacities[next], eased);
}

void CLineStyleControl::WriteTo(CLineStyle& style) const {
  style.AnimColor = CurrentColor;
  style.AnimWidth = CurrentWidth;
  style.AnimOpacity = CurrentOpacity;
}

u32 CLineStyleControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + 176 + keys_.GetEntryBytes();
}

// --- fill --------------------------------------------------------------------------------------

void CFillStyleControl::AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  AdjustColors(keys_.EditColumn<kColor>(), hue, saturation, brightness, contrast, invert);
  SetModified();
}

void CFillStyleControl::Evaluate(u32 prev, u32 next, f32 eased) {
  const auto& colors = keys_.Column<kColor>();
  const auto& opacities = keys_.Column<kOpacity>();
  CurrentColor = colors[prev] + (colors[next] - colors[prev]) * eased;
  CurrentOpacity = BlendValue(opacities[prev], opacities[next], eased);
}

Result CFillStyleControl::EvaluateWithoutKeys() {
  CFillStyle* style = nullptr;
  const Result r = BoundObjectOf(*this, style);
  if (Failed(r)) return r;
  CurrentColor = style->Color;
  CurrentOpacity = style->Opacity;
  return kOk;
}

void CFillStyleControl::WriteTo(CFillStyle& style) const {
  style.AnimColor = CurrentColor;
  style.AnimOpacity = CurrentOpacity;
}

u32 CFillStyleControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 144 + keys_.GetEntryBytes(); }

// --- transforms --------------------------------------------------------------------------------

template <typename Derived, ClassIndex Index, typename Style>
void CFillTransformControl<Derived, Index, Style>::Evaluate(u32 prev, u32 next, f32 eased) {
  const auto& rotations = this->keys_.template Column<kRotation>();
  const auto& scales = this->keys_.template Column<kScale>();
  const auto& translations = this->keys_.template Column<kTranslation>();
  const CQuaternion rotation = QuaternionSlerp(rotations[prev], rotations[next], eased);
  const CVector3<float> scale = scales[prev] + (scales[next] - scales[prev]) * eased;
  const CVector3<float> translation = translations[prev] + (translations[next] - translations[prev]) * eased;
  CurrentTransform.Compose(rotation.ToMatrix3(), translation, scale);
}

template <typename Derived, ClassIndex Index, typename Style>
void CFillTransformControl<Derived, Index, Style>::AfterLoad(u32 storedVersion) {
  if (storedVersion >= this->kVersionIntegerTimes) return;
  // Older records store each quaternion as w, x, y, z.
  for (CQuaternion& q : this->keys_.template EditColumn<kRotation>()) q = CQuaternion(q.y, q.z, q.w, q.x);
}

template <typename Derived, ClassIndex Index, typename Style>
u32 CFillTransformControl<Derived, Index, Style>::GetMemorySize() const {
  return CDataControl::GetMemorySize() + 216 + this->keys_.GetEntryBytes();
}

template class CFillTransformControl<CGradientFillStyleControl, ClassIndex::CGradientFillStyleControl,
                                     CGradientFillStyle>;
template class CFillTransformControl<CBitmapFillStyleControl, ClassIndex::CBitmapFillStyleControl,
                                     CBitmapFillStyle>;

}  // namespace KT
