// KT::CHeightMapMaterial: the material of height fields. On top of the
// material base it holds three colours, five scalar values and a switch,
// three layer records (a low and a high 2-D corner and an amount) and
// three owned object slots, all kept for a renderer outside the library.
// It is always valid: Invalidate and Validate do nothing.
//
// Record, after the KT::CMaterial part (149 bytes): version pair 1.00;
// Color1, Color2, Color3 (3 f32 each); Value1, Value2 (f32); Switch (one
// byte); Value3 (f32); Layer1..Layer3 (Low 2 f32, High 2 f32, Amount f32);
// Value4, Value5 (f32); the 8-byte ids of SubObject1..SubObject3.
//
// The material describes no members of its own (the material base's
// group only). Its EnumReferences does not report its slots: it asks each
// set slot to report the references that slot owns.
#pragma once

#include "objectmodel/vector.h"
#include "render/materials/material_base.h"

namespace KT {

class CHeightMapMaterial : public CMaterial {
  KT_DECLARE_CLASS(CHeightMapMaterial)

 public:
  static constexpr u32 kSlotCount = 3;

  // A layer record: 20 bytes in the record.
  struct CLayer {
    CVector2 Low{0.0f, 0.0f};
    CVector2 High{1.0f, 1.0f};
    f32 Amount = 0.0f;
    bool operator==(const CLayer&) const = default;
  };

  // Color1, Color2 white; Color3 (0.2, 0.2, 0.2); Value1 0.5, Value2..5 1;
  // Switch false; every layer Low (0, 0), High (1, 1), Amount 0; no slots.
  CHeightMapMaterial() = default;
  // The material copy (name included) and every value; the slots start
  // empty.
  CHeightMapMaterial(const CHeightMapMaterial& other);
  // Releases SubObject3, SubObject2, then SubObject1.
  ~CHeightMapMaterial() override;

  // --- slots -------------------------------------------------------------------------------
  // Slot 0..2 is SubObject1..SubObject3; another index answers null.
  CBase* GetSubObject(u32 slot) const { return slot < kSlotCount ? slots_[slot].Get() : nullptr; }
  // Sets a slot (null empties it). kErrInvalidArg, nothing changed, for an
  // index past the slots or an object that is this material or holds it.
  Result SetSubObject(u32 slot, CBase* object);

  // --- material protocol -------------------------------------------------------------------
  void Invalidate() override {}
  void Validate() override {}
  bool IsValid() const override { return true; }

  // --- CBase protocol ----------------------------------------------------------------------
  // The material part first, then the set slots in order.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Clones of the set slots into the copy's slots of the same number.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A target that is null or not a height-map material: kErrNotFound,
  // nothing changed. Otherwise the material part and every value; the
  // target shares this material's slot objects, its former ones going to
  // `displaced`.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Refuses (kErrNotFound) a slot object that would make the material hold
  // itself.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // Each set slot's own EnumReferences, to the same visitor, then the
  // CDorun part's. Slots holding height-map materials are followed without
  // one stack frame per level.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  // --- stored values -------------------------------------------------------------------
  CVector3<float> Color1{1.0f, 1.0f, 1.0f};
  CVector3<float> Color2{1.0f, 1.0f, 1.0f};
  CVector3<float> Color3{0.2f, 0.2f, 0.2f};
  f32 Value1 = 0.5f;
  f32 Value2 = 1.0f;
  bool Switch = false;
  f32 Value3 = 1.0f;
  CLayer Layer1;
  CLayer Layer2;
  CLayer Layer3;
  f32 Value4 = 1.0f;
  f32 Value5 = 1.0f;

 private:
  std::vector<CBase*> Slots() const { return {slots_[0].Get(), slots_[1].Get(), slots_[2].Get()}; }

  CPointer<CBase> slots_[kSlotCount];
};

}  // namespace KT
