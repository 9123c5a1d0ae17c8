#include "shapes/morph_controls.h"

#include <algorithm>

#include "shapes/color_adjust.h"

namespace KT {

void CEdgeMorphControl::AddTo(CEdge& edge) const {
  const f32 w = currentWeight_;
  CBuffer<CEdge::EdgeCurve>& curves = edge.EditAnimCurves();
  const u32 n = std::min({offsets_.GetCount(), offsets_.GetDeltas().GetCount(), edge.GetCurveCount(),
                          curves.GetCount()});
  for (u32 i = 0; i < n; ++i) {
    const CEdge::EdgeCurve& d = offsets_.GetDeltas()[i];
    curves[i].ControlPoint = curves[i].ControlPoint + d.ControlPoint * w;
    curves[i].AnchorPoint = curves[i].AnchorPoint + d.AnchorPoint * w;
  }
  edge.AnimStartPoint = edge.AnimStartPoint + offsets_.start_ * w;
  edge.SetBoundDirty(true);
  edge.SetAnimReset(true);
}

namespace {

u32 RecordsInReach(u32 count, const CBuffer<CGradientFillStyle::_KTGradientRec>& deltas,
                   const CGradientFillStyle& gradient) {
  return std::min({count, deltas.GetCount(), gradient.GetGradientRecCount(),
                   gradient.GetAnimGradientRecs().GetCount()});
}

}  // namespace

void CGradientMorphControl::AddTo(CGradientFillStyle& gradient) {
  const f32 w = currentWeight_;
  CBuffer<CGradientFillStyle::_KTGradientRec>& records = gradient.EditAnimGradientRecs();
  const u32 n = RecordsInReach(offsets_.GetCount(), offsets_.GetDeltas(), gradient);
  for (u32 i = 0; i < n; ++i) {
    const CGradientFillStyle::_KTGradientRec& d = offsets_.GetDeltas()[i];
    records[i].Ratio = records[i].Ratio + d.Ratio * w;
    records[i].Color = records[i].Color + d.Color * w;
  }
  gradient.SetAnimReset(true);
}

Result CGradientMorphControl::AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  CGradientFillStyle* gradient = nullptr;
  const Result r = BoundObjectOf(*this, gradient);
  if (Failed(r)) return r;
  CBuffer<CGradientFillStyle::_KTGradientRec>& deltas = offsets_.EditDeltas();
  const u32 n = RecordsInReach(offsets_.GetCount(), deltas, *gradient);
  for (u32 i = 0; i < n; ++i) {
    const CColor a = gradient->GetAnimGradientRecs()[i].Color;
    CColor t = a + deltas[i].Color;
    KT::AdjustColor(t, hue, saturation, brightness, contrast, invert);
    deltas[i].Color.r = t.r - a.r;
    deltas[i].Color.g = t.g - a.g;
    deltas[i].Color.b = t.b - a.b;
  }
  SetModified();
  return kOk;
}

}  // namespace KT
