// The four style controllers: data controllers that animate the styles'
// animated copies from timed keys.
//   KT::CLineStyleControl          width, colour and opacity of a line style;
//   KT::CFillStyleControl          colour and opacity of any fill style;
//   KT::CGradientFillStyleControl  the placement of a gradient fill, and
//   KT::CBitmapFillStyleControl    the placement of a bitmap fill, both
//                                  keyed as rotation (x, y, z, w), scale and
//                                  translation.
// Update evaluates the keys at the local time (Frequency and Repeat over
// the end time) into the controller's current values; Apply writes them
// into the bound style's animated copy. Apply does not look at Active: an
// inactive controller writes the values of its last evaluation. Without
// keys Apply answers kDone and writes nothing. A controller bound to an
// object of another class than its style answers kErrNotFound
// (0x80000005) where it reads or writes it and writes nothing; unbound it
// answers kErrInvalidArg.
//
// Record, after the KT::CDataControl part: version pair 1.01, then the
// keys (key_columns.h): KeyTimes, the value vectors (line: KeyWidths,
// KeyColors, KeyOpacities; fill: KeyColors, KeyOpacities; transform:
// KeyRotations, KeyScales, KeyTranslations), KeyTransitionTimes,
// KeyTransitionTypes. Below 1.01 the times are f32 (truncated toward zero)
// and the transform controllers' quaternions are stored w, x, y, z. The
// controllers describe no members of their own.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "objectmodel/color.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/vector.h"
#include "shapes/bitmap_fill_style.h"
#include "shapes/fill_style.h"
#include "shapes/gradient_fill_style.h"
#include "shapes/key_columns.h"
#include "shapes/line_style.h"

namespace KT {

// What the four controllers share. Derived states its style class (Style),
// evaluates a bracket into its current values (Evaluate), handles an
// evaluation without keys (EvaluateWithoutKeys) and writes the current
// values (WriteTo).
template <typename Derived, ClassIndex Index, typename Style, typename... Values>
class CStyleControlBase : public CControlLevel<Derived, CDataControl, Index> {
 public:
  using Keys = CKeyColumns<Values...>;
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;
  // The quaternions of the transform controllers are x, y, z, w from here on.
  static constexpr u32 kVersionIntegerTimes = Keys::kVersionIntegerTimes;

  const Keys& GetKeys() const { return keys_; }
  // Puts a key (see CKeyColumns::SetKey); marks modified.
  Result SetKey(i32 time, const Values&... values, f32 transitionTime, u32 transitionType) {
    const Result r = keys_.SetKey(time, values..., transitionTime, transitionType);
    this->SetModified();
    return r;
  }

  // Not active: kDone, nothing changes. Otherwise the local time; without
  // keys Derived's EvaluateWithoutKeys; else the bracket of the keys
  // around it (LastIndex moves) evaluated into the current values; kOk.
  Result Update(i32 time) override {
    if (!this->IsActive()) return kDone;
    const i32 t = this->LocalTime(time);
    u32 prev = 0;
    u32 next = 0;
    f32 eased = 0.0f;
    if (!keys_.Bracket(t, prev, next, eased)) return Self().EvaluateWithoutKeys();
    Self().Evaluate(prev, next, eased);
    return kOk;
  }
  // Without keys: kDone. Otherwise the bound style's animated copy takes
  // the current values (kErrInvalidArg unbound, kErrNotFound for an object
  // of another class, nothing written); kOk.
  Result Apply() override {
    if (keys_.Empty()) return kDone;
    Style* style = nullptr;
    const Result r = BoundObjectOf(*this, style);
    if (Failed(r)) return r;
    Self().WriteTo(*style);
    return kOk;
  }
  // The larger of 0 and the last key's time; 0 without keys.
  i32 GetEndTime() const override { return keys_.GetEndTime(EndTimeRule::kAtLeastZero); }
  // No members of their own: the controller base's.
  void DescribeMembers(CMemberVisitor& visitor) override { CDataControl::DescribeMembers(visitor); }

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys_);
  }
  // Every key vector; LastIndex and the current values stay the target's.
  Result CopyOwnTo(Derived& target) const {
    try {
      target.keys_ = keys_;
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
    const Result r = keys_.Read(stream, storedVersion);
    if (Succeeded(r)) Self().AfterLoad(storedVersion);
    return r;
  }

 protected:
  // Nothing to do after a load unless Derived says so.
  void AfterLoad(u32) {}
  // Without keys the current values stay: kOk.
  Result EvaluateWithoutKeys() { return kOk; }

  Keys keys_;

 private:
  Derived& Self() { return static_cast<Derived&>(*this); }
};

class CLineStyleControl
    : public CStyleControlBase<CLineStyleControl, ClassIndex::CLineStyleControl, CLineStyle, f32, CColor, f32> {
 public:
  enum Column : u32 { kWidth = 0, kColor = 1, kOpacity = 2 };

  // KT::AdjustColor on every key colour; marks modified.
  virtual void AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert);
  u32 GetMemorySize() const override;

  CColor CurrentColor;
  f32 CurrentWidth = 0.0f;
  f32 CurrentOpacity = 0.0f;

 private:
  friend class CStyleControlBase;
  void Evaluate(u32 prev, u32 next, f32 eased);
  void WriteTo(CLineStyle& style) const;
};

class CFillStyleControl
    : public CStyleControlBase<CFillStyleControl, ClassIndex::CFillStyleControl, CFillStyle, CColor, f32> {
 public:
  enum Column : u32 { kColor = 0, kOpacity = 1 };

  // KT::AdjustColor on every key colour; marks modified.
  virtual void AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert);
  u32 GetMemorySize() const override;

  CColor CurrentColor;
  f32 CurrentOpacity = 0.0f;

 private:
  friend class CStyleControlBase;
  void Evaluate(u32 prev, u32 next, f32 eased);
  // The current values become the bound fill style's stored Color and
  // Opacity (kErrInvalidArg unbound, kErrNotFound for another class).
  Result EvaluateWithoutKeys();
  void WriteTo(CFillStyle& style) const;
};

// The transform controllers: rotation, scale and translation keys composed
// into CurrentTransform (the rotation's 3x3 matrix, row i times scale
// component i, translation in the fourth row).
template <typename Derived, ClassIndex Index, typename Style>
class CFillTransformControl
    : public CStyleControlBase<Derived, Index, Style, CQuaternion, CVector3<float>, CVector3<float>> {
 public:
  enum Column : u32 { kRotation = 0, kScale = 1, kTranslation = 2 };

  u32 GetMemorySize() const override;

  CMatrix4 CurrentTransform;

 private:
  friend class CStyleControlBase<Derived, Index, Style, CQuaternion, CVector3<float>, CVector3<float>>;
  void Evaluate(u32 prev, u32 next, f32 eased);
  void AfterLoad(u32 storedVersion);
  void WriteTo(Style& style) const { style.AnimTransform = CurrentTransform; }
};

class CGradientFillStyleControl
    : public CFillTransformControl<CGradientFillStyleControl, ClassIndex::CGradientFillStyleControl,
                                   CGradientFillStyle> {};

class CBitmapFillStyleControl
    : public CFillTransformControl<CBitmapFillStyleControl, ClassIndex::CBitmapFillStyleControl, CBitmapFillStyle> {
};

}  // namespace KT
