// KT::CWater: a water surface of a scene file: its colour, its own fog,
// the refraction and reflection settings and a softness, with one owned
// slot of any class.
//
// Record, after the KT::CDorun part (little-endian, bool one byte): version
// pair 2.03; the id of SubObject (8 bytes); WaterColor (3 f32); FogEnable;
// FogColor (3 f32); FogDistance (3 f32); RefractRate, ReflectUnder,
// RefractUnder, ReflectAbove, RefractAbove, ReflectShift, RefractShift,
// ReflectBlurness, RefractBlurness (f32); BlurReflect, BlurRefract;
// Softness (u32). Older forms: up to 2.01 the id is 4 bytes; 2.00 has no
// RefractBlurness; below 2.03 no Softness. Fields a record lacks keep
// their defaults.
#pragma once

#include "environment/slot_owner.h"
#include "objectmodel/color.h"
#include "objectmodel/vector.h"

namespace KT {

class CWater : public CSingleSlotOwner {
  KT_DECLARE_CLASS(CWater)

 public:
  static constexpr u32 kVersionRefractBlurness = 201;
  static constexpr u32 kVersionWideId = 202;  // the id is 8 bytes from here on
  static constexpr u32 kVersionSoftness = 203;

  CWater() = default;
  // The KT::CDorun part and every setting; the slot starts empty.
  CWater(const CWater& other);

  Result CreateInstance(CPointer<CBase>& out) const override;
  // A target that is not a water object: kErrNotFound, nothing changed.
  // Else the KT::CDorun part, every setting and the slot (shared; the
  // target's former object goes to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CWater Member": WaterColor, Softness, the fog, the refraction and then
  // the reflection settings; then the KT::CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  CColor WaterColor{0.0f, 0.0f, 0.0f, 0.0f};  // RGB
  bool FogEnable = false;
  CColor FogColor{0.0f, 0.0f, 1.0f, 0.0f};  // RGB
  CVector3<float> FogDistance;
  f32 RefractRate = 0.5f;
  f32 ReflectUnder = 1.0f;
  f32 RefractUnder = 1.0f;
  f32 ReflectAbove = 1.0f;
  f32 RefractAbove = 1.0f;
  f32 ReflectShift = 0.0f;
  f32 RefractShift = 0.0f;
  f32 ReflectBlurness = 0.0f;
  f32 RefractBlurness = 0.0f;
  bool BlurReflect = false;
  bool BlurRefract = false;
  u32 Softness = 0;

 private:
  void CopySettings(CWater& target) const;

};

}  // namespace KT
