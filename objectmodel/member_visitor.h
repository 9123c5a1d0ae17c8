// Visitor interfaces through which objects describe their fields and the
// references they own. The library defines them; callers (the drn tool's
// dump, tests, editors) implement them.
//
// An object reports each class level as a group: BeginGroup("CNode Member"),
// OpenGroup(), one call per field in declaration order, EndGroup(); then its
// parent's level follows, so the most derived group comes first.
#pragma once

#include <functional>
#include <vector>

#include "objectmodel/types.h"

namespace KT {

class CBase;
class CBitArray;
class CImage;
struct CBound;
struct CColor;
struct CMatrix3;
struct CMatrix4;
struct CRtsTransform;
struct CVector2;
template <typename T>
struct CVector3;

// Every operation has an empty default body, so a visitor overrides only
// what it wants to see.
class CMemberVisitor {
 public:
  virtual ~CMemberVisitor() = default;

  virtual void OpenGroup() {}
  virtual void EndGroup() {}
  // An array of structured records; `describe` reports element `index`
  // through the visitor given to it.
  virtual void RecordArray(const char16_t* /*name*/, u32 /*count*/,
                           const std::function<void(u32 index, CMemberVisitor&)>& /*describe*/) {}
  virtual void BeginGroup(const char16_t* /*name*/) {}
  // A word of flag bits with one name per bit (bit 0 first).
  virtual void FlagSet(const char16_t* /*name*/, const u32* /*bits*/, const char16_t* const* /*names*/,
                       u32 /*count*/) {}
  virtual void Bool(const char16_t* /*name*/, const bool* /*value*/) {}
  virtual void WideString(const char16_t* /*name*/, const WString* /*value*/) {}
  virtual void Int(const char16_t* /*name*/, const i32* /*value*/) {}
  virtual void UInt(const char16_t* /*name*/, const u32* /*value*/) {}
  virtual void Time(const char16_t* /*name*/, const i32* /*value*/) {}
  virtual void UShort(const char16_t* /*name*/, const u16* /*value*/) {}
  virtual void Float(const char16_t* /*name*/, const f32* /*value*/) {}
  virtual void TransitionTime(const char16_t* /*name*/, const i32* /*value*/) {}
  // An enumeration: its value and the names of values 0..count-1.
  virtual void Enum(const char16_t* /*name*/, const i32* /*value*/, const char16_t* const* /*names*/,
                    u32 /*count*/) {}
  virtual void Color(const char16_t* /*name*/, const CColor* /*value*/) {}
  virtual void Color2(const char16_t* /*name*/, const CColor* /*value*/) {}
  virtual void Dimension(const char16_t* /*name*/, const u32* /*width*/, const u32* /*height*/) {}
  virtual void Point2(const char16_t* /*name*/, const CVector2* /*value*/) {}
  virtual void Vector3(const char16_t* /*name*/, const CVector3<float>* /*value*/) {}
  virtual void Matrix3(const char16_t* /*name*/, const CMatrix3* /*value*/) {}
  virtual void Matrix4(const char16_t* /*name*/, const CMatrix4* /*value*/) {}
  virtual void Rts(const char16_t* /*name*/, const CRtsTransform* /*value*/) {}
  virtual void Bound(const char16_t* /*name*/, const CBound* /*value*/) {}
  virtual void Image(const char16_t* /*name*/, const CImage* /*value*/) {}
  virtual void CustomId(const char16_t* /*name*/, const u32* /*value*/) {}
  virtual void BitArray(const char16_t* /*name*/, const CBitArray* /*value*/) {}
  virtual void UIntArray(const char16_t* /*name*/, const u32* /*values*/, u32 /*count*/) {}
  virtual void VectorArray(const char16_t* /*name*/, const CVector3<float>* /*values*/, u32 /*count*/) {}
  virtual void FlagArray(const char16_t* /*name*/, const u8* /*values*/, u32 /*count*/) {}
  virtual void FloatPairArray(const char16_t* /*name*/, const f32* /*pairs*/, u32 /*count*/) {}
  virtual void FloatArray(const char16_t* /*name*/, const f32* /*values*/, u32 /*count*/) {}
  virtual void VectorList(const char16_t* /*name*/, const std::vector<CVector3<float>>* /*values*/) {}
  virtual void VectorList2(const char16_t* /*name*/, const std::vector<CVector3<float>>* /*values*/) {}
  virtual void MatrixList(const char16_t* /*name*/, const std::vector<CMatrix4>* /*values*/) {}
  virtual void U64(const char16_t* /*name*/, u64 /*value*/) {}
  virtual void ObjectRef(const char16_t* /*name*/, const CBase* /*object*/) {}
};

// Called once per owned reference of an object, null references included.
class CReferenceVisitor {
 public:
  virtual ~CReferenceVisitor() = default;
  virtual void Visit(CBase* object, u32 owned) = 0;
};

}  // namespace KT
