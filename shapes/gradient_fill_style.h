// KT::CGradientFillStyle: a fill whose colour runs through colour stops
// (_KTGradientRec: a position Ratio and a Color) along a linear, radial or
// focal-radial gradient placed by Transform.
//
// Transform and the records have animated copies (AnimTransform,
// AnimGradientRecs) that the gradient controllers overwrite. While
// AnimReset is set (always, unless a caller clears it) every Update first
// refreshes them from the stored values, so that the morphs applied after
// it start from the stored gradient each frame.
//
// Record, after the KT::CFillStyle part (80 + 20 n bytes): version pair
// 1.00; GradientType (u32); Transform (16 f32, row by row); n =
// GradientRecCount (u32); n records of Ratio and Color (5 f32).
#pragma once

#include "objectmodel/buffer.h"
#include "objectmodel/matrix4.h"
#include "shapes/fill_style.h"

namespace KT {

class CGradientFillStyle : public CFillStyle {
  KT_DECLARE_CLASS(CGradientFillStyle)

 public:
  enum GradientKind : u32 { Linear = 0, Radial = 1, FocalRadial = 2 };

  struct _KTGradientRec {
    f32 Ratio = 0.0f;
    CColor Color;
  };
  static_assert(sizeof(_KTGradientRec) == 20, "a gradient record is five packed floats");

  // Linear, identity transforms, no records, AnimReset set.
  CGradientFillStyle() = default;
  // The stored and animated values with deep copies of both record
  // buffers (an allocation failure leaves a copy without records);
  // AnimReset set.
  CGradientFillStyle(const CGradientFillStyle& other);

  u32 GetGradientRecCount() const { return gradientRecCount_; }
  const CBuffer<_KTGradientRec>& GetGradientRecs() const { return gradientRecs_; }
  const CBuffer<_KTGradientRec>& GetAnimGradientRecs() const { return animGradientRecs_; }
  // The animated records, for the controllers that morph them.
  CBuffer<_KTGradientRec>& EditAnimGradientRecs() { return animGradientRecs_; }
  // The records become a copy of `count` records from `records` (0: none;
  // the buffer is emptied). kErrOutOfMemory leaves no records. Marks
  // modified.
  Result SetGradientRecords(const _KTGradientRec* records, u32 count);

  bool IsAnimReset() const { return animReset_; }
  void SetAnimReset(bool reset) { animReset_ = reset; }

  // The refresh of the animated copies: AnimTransform = Transform; when
  // AnimGradientRecs holds fewer records than GradientRecs, it is
  // reallocated to GradientRecCount zeroed records (a failure is answered
  // and nothing else changes); then the first GradientRecCount records are
  // copied. With no record in use there is nothing to copy: no
  // reallocation, kOk. AnimReset stays as it is.
  Result RefreshAnimated();

  bool IsGradient() const override { return true; }
  // The solid colour as CFillStyle does, then every record in use; the
  // refresh's answer.
  Result AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) override;
  // With AnimReset, the refresh first (its failure is answered); then the
  // controllers as for every scene object.
  Result Update(i32 time) override;

  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target not a gradient: kErrNotFound. Otherwise the fill part, the type,
  // both transforms, the count and deep copies of both record buffers
  // (their whole capacity); a failing copy is answered.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // A record count beyond the bytes left: kErrStream before anything is
  // allocated. A count of 0 leaves the records as they were.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CGradientFillStyle Member": "Transform Matrix", "GradientType", then
  // "GradientRecs" (one element per record in use: "Ratio", "Color").
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  u32 GradientType = Linear;
  CMatrix4 Transform;
  // The animated copy of Transform (not saved).
  CMatrix4 AnimTransform;

 private:
  u32 gradientRecCount_ = 0;
  CBuffer<_KTGradientRec> gradientRecs_;
  bool animReset_ = true;
  CBuffer<_KTGradientRec> animGradientRecs_;
};

}  // namespace KT
