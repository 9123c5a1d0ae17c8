// KT::CDataControl: base of the controllers that animate a property of an
// object (a light's colour, UVW coordinates, morph weights, skinning...)
// rather than its transform. They run in the data pass: the owning
// object's Update evaluates each (Update) and writes the value (Apply).
//
// KT::CDataControlLevel<Base, Index> is the shape of the intermediate data
// bases (light, UVW-map, material, camera, particle data controllers): a
// class level that stores only its own version pair.
#pragma once

#include "controllers/core/control.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

class CDataControl : public CControl {
  KT_DECLARE_CLASS(CDataControl)

 public:
  CDataControl() = default;
  CDataControl(const CDataControl& other) = default;

  // Data controllers have no transform: nothing to do.
  Result UpdateTransform(i32 time) override;
  Result ApplyTransform() override;
  bool IsDataControl() const override { return true; }

  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
};

// A class level with no stored fields of its own: its record part is its
// version pair (a stored version above the class's answers
// kErrNewerVersion on load).
template <typename Base, ClassIndex Index>
class CDataControlLevel : public Base {
 public:
  static constexpr ClassIndex kClassIndex = Index;
  static const ClassRecord& StaticClassRecord() { return GetClassRecordAt(kClassIndex); }
  const ClassRecord& GetClassRecord() const override { return StaticClassRecord(); }
  u32 GetVersion() const override { return StaticClassRecord().Version(); }

  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = Base::Load(stream, record, flags);
    return Failed(r) ? r : stream.ReadVersionBlock(StaticClassRecord());
  }
  Result Save(CStream& stream, u32 flags) override {
    const Result r = Base::Save(stream, flags);
    return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
  }
  u32 GetSaveSize() const override { return Base::GetSaveSize() + 8; }
};

// Base of the light-colour controllers: Update evaluates RgbData (colour,
// then multiplier) and Apply writes it into the bound light.
class CLightDataControl : public CDataControlLevel<CDataControl, ClassIndex::CLightDataControl> {
 public:
  // kErrInvalidArg when unbound; kErrNotFound when the bound object is not
  // a light (nothing written). Otherwise the light's Rgb and Multiplier
  // take RgbData and its Modified flag ends cleared; kOk.
  Result Apply() override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  const f32* GetRgbData() const { return rgbData_; }

 protected:
  // Red, green, blue, multiplier; written by the concrete controller's
  // Update.
  f32 rgbData_[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

// Base of the UVW-map controllers.
class CUvwMapDataControl : public CDataControlLevel<CDataControl, ClassIndex::CUvwMapDataControl> {};

// The factory entry for "CUvwMapDataControl": the class is abstract, so it
// answers kErrInvalidArg and makes nothing.
void CreateUvwMapDataControl(Result& result, CPointer<CBase>& out);

}  // namespace KT
