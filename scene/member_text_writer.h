// KT::CMemberTextWriter: a member visitor that writes an object's fields as
// indented text, one group per class level and one line per field. Tools
// print it; tests compare two objects by comparing their text. It knows the
// scene's value types (bit arrays, bounds), so it sits above the object
// model, which describes its fields to any visitor without knowing them.
#pragma once

#include <string>

#include "objectmodel/base.h"

namespace KT {

class CMemberTextWriter : public CMemberVisitor {
 public:
  // With `stableOnly`, fields that differ between an object and its saved
  // and reloaded copy by design (unique id, reference count, Modified,
  // memory-library block id) are left out.
  explicit CMemberTextWriter(bool stableOnly = false, int indent = 0)
      : stableOnly_(stableOnly), depth_(indent) {}

  const std::string& GetText() const { return text_; }

  void OpenGroup() override;
  void EndGroup() override;
  void RecordArray(const char16_t* name, u32 count,
                   const std::function<void(u32 index, CMemberVisitor&)>& describe) override;
  void BeginGroup(const char16_t* name) override;
  void FlagSet(const char16_t* name, const u32* bits, const char16_t* const* names, u32 count) override;
  void Bool(const char16_t* name, const bool* value) override;
  void WideString(const char16_t* name, const WString* value) override;
  void Int(const char16_t* name, const i32* value) override;
  void UInt(const char16_t* name, const u32* value) override;
  void Time(const char16_t* name, const i32* value) override;
  void UShort(const char16_t* name, const u16* value) override;
  void Float(const char16_t* name, const f32* value) override;
  void TransitionTime(const char16_t* name, const i32* value) override;
  void Enum(const char16_t* name, const i32* value, const char16_t* const* names, u32 count) override;
  void Color(const char16_t* name, const CColor* value) override;
  void Color2(const char16_t* name, const CColor* value) override;
  void Dimension(const char16_t* name, const u32* width, const u32* height) override;
  void Point2(const char16_t* name, const CVector2* value) override;
  void Vector3(const char16_t* name, const CVector3<float>* value) override;
  void Matrix3(const char16_t* name, const CMatrix3* value) override;
  void Matrix4(const char16_t* name, const CMatrix4* value) override;
  void Rts(const char16_t* name, const CRtsTransform* value) override;
  void Bound(const char16_t* name, const CBound* value) override;
  void Image(const char16_t* name, const CImage* value) override;
  void CustomId(const char16_t* name, const u32* value) override;
  void BitArray(const char16_t* name, const CBitArray* value) override;
  void UIntArray(const char16_t* name, const u32* values, u32 count) override;
  void VectorArray(const char16_t* name, const CVector3<float>* values, u32 count) override;
  void FlagArray(const char16_t* name, const u8* values, u32 count) override;
  void FloatPairArray(const char16_t* name, const f32* pairs, u32 count) override;
  void FloatArray(const char16_t* name, const f32* values, u32 count) override;
  void VectorList(const char16_t* name, const std::vector<CVector3<float>>* values) override;
  void VectorList2(const char16_t* name, const std::vector<CVector3<float>>* values) override;
  void MatrixList(const char16_t* name, const std::vector<CMatrix4>* values) override;
  void U64(const char16_t* name, u64 value) override;
  void ObjectRef(const char16_t* name, const CBase* object) override;

 private:
  void Line(const char16_t* name, const std::string& value);
  void Floats(const char16_t* name, const f32* values, u32 count);

  bool stableOnly_;
  int depth_;
  std::string text_;
};

// The text of one object: a head line with its class and name, then its
// members.
std::string DescribeObject(CBase& object, bool stableOnly = false, int indent = 0);
// How an object reference prints: class and quoted name, or "null".
std::string DescribeReference(const CBase* object);

}  // namespace KT
