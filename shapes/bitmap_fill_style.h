// KT::CBitmapFillStyle: a fill that paints a bitmap placed by Transform and
// repeated by RepeatMode. The style owns the object that supplies the
// bitmap (any persistent object; an image in practice).
//
// Transform has an animated copy (AnimTransform) that the bitmap-fill
// controller overwrites; Load and CopyTo make it equal to Transform.
//
// Record, after the KT::CFillStyle part (84 bytes): version pair 1.00;
// RepeatMode (u32); Transform (16 f32, row by row); Bitmap id (u64).
#pragma once

#include "objectmodel/matrix4.h"
#include "shapes/fill_style.h"

namespace KT {

class CBitmapFillStyle : public CFillStyle {
  KT_DECLARE_CLASS(CBitmapFillStyle)

 public:
  enum Repeat : u32 { Clamp = 0, Mirror = 1, Wrap = 2 };

  // Clamp, identity transforms, no bitmap.
  CBitmapFillStyle() = default;
  // RepeatMode and both transforms; the copy has no bitmap.
  CBitmapFillStyle(const CBitmapFillStyle& other);
  ~CBitmapFillStyle() override;

  CBase* GetBitmap() const { return bitmap_.Get(); }
  // Holds `bitmap` (null empties the slot); marks modified.
  void SetBitmap(CBase* bitmap);

  bool HasBitmap() const override { return static_cast<bool>(bitmap_); }

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The copy holds a clone of the bitmap made through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a bitmap fill: kErrNotFound. Otherwise the fill part,
  // RepeatMode and Transform (AnimTransform of the target = Transform); the
  // bitmap is handed over (the target's former one goes to `displaced`,
  // this style is left without one).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CBitmapFillStyle Member": "Transform Matrix", "RepeatMode", "Bitmap";
  // then the fill style's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The bitmap as owned, then the fill style's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  u32 RepeatMode = Clamp;
  CMatrix4 Transform;
  // The animated copy of Transform (not saved).
  CMatrix4 AnimTransform;

 private:
  // CopyTo hands the bitmap over and leaves its source without one.
  mutable CPointer<CBase> bitmap_;
};

}  // namespace KT
