// KT::CLineStyle: how a vector shape strokes its edges: width, colour,
// opacity, caps, join and a few attribute bits, with an optional fill
// style for the stroke.
//
// Width, Color and Opacity have animated copies (AnimWidth, AnimColor,
// AnimOpacity) that the line-style controller overwrites when it applies
// and that consumers read; Load, CopyTo and AdjustColor make them equal to
// the stored values again.
//
// Record, after the KT::CDorun part (57 bytes): version pair 1.02;
// FillStyle id (u64); Width (f32); Color (4 f32); Opacity (f32); StartCap,
// EndCap, JoinStyle (u32); Attributes (one byte); MiterLimitFactor (f32).
// Records of version 1.01 carry four more 4-byte values after
// MiterLimitFactor, read and dropped.
#pragma once

#include "objectmodel/color.h"
#include "objectmodel/dorun.h"

namespace KT {

class CFillStyle;

class CLineStyle : public CDorun {
  KT_DECLARE_CLASS(CLineStyle)

 public:
  enum CapStyle : u32 { CS_ROUND = 0, CS_NONE = 1, CS_SQUARE = 2 };
  enum JoinType : u32 { JS_ROUND = 0, JS_BEVEL = 1, JS_MITER = 2 };
  enum AttributeBits : u8 { ATT_HasFill = 1, ATT_NoHScale = 2, ATT_NoVScale = 4, ATT_PixelHinting = 8 };

  // The one record form with four trailing words to drop.
  static constexpr u32 kVersionTrailingWords = 101;

  // Width 0, Opacity 1, caps and join 0, no attributes, MiterLimitFactor 0;
  // Color and AnimColor (0, 0, 0, 0); no fill style.
  CLineStyle() = default;
  // Every stored and animated value; the copy has no fill style.
  CLineStyle(const CLineStyle& other);
  ~CLineStyle() override;

  CFillStyle* GetFillStyle() const { return fillStyle_.Get(); }
  // Holds `style` (null empties the slot); marks modified.
  void SetFillStyle(CFillStyle* style);

  // KT::AdjustColor on Color; then the animated copy is refreshed and the
  // style marked modified.
  virtual void AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert);
  // AnimWidth, AnimColor, AnimOpacity = Width, Color, Opacity.
  void RefreshAnimated();

  // --- CBase protocol ----------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The copy holds a clone of the fill style made through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a line style: kErrNotFound, nothing changes. Otherwise the
  // CDorun part and the stored values; the fill style is handed over (the
  // target's former one goes to `displaced`, this style is left without
  // one) and the target's animated copy refreshed.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The fill style must be a KT::CFillStyle (else kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CLineStyle Member": "FillStyle", "Width    ", "Color    ",
  // "Opacity  ", "StartCap ", "EndCap   ", "JoinStyle", the four attribute
  // bits as booleans, "MiterLimitFactor"; then the CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The fill style as owned, then the CDorun references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  f32 Width = 0.0f;
  CColor Color;
  f32 Opacity = 1.0f;
  u32 StartCap = CS_ROUND;
  u32 EndCap = CS_ROUND;
  u32 JoinStyle = JS_ROUND;
  u8 Attributes = 0;
  f32 MiterLimitFactor = 0.0f;
  // The animated copy (not saved).
  f32 AnimWidth = 0.0f;
  CColor AnimColor;
  f32 AnimOpacity = 1.0f;

 private:
  // CopyTo hands the fill style over and leaves its source without one.
  mutable CPointer<CFillStyle> fillStyle_;
};

}  // namespace KT
