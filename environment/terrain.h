// KT::CTerrain: the terrain of a scene file. It owns two slots of any class
// (the renderer that gives them meaning is not part of this library) and
// has no settings of its own. Walks visit SubObject1, then SubObject2.
//
// Record, after the KT::CDorun part: version pair 2.02; the id of
// SubObject2 (8 bytes); the id of SubObject1 (8 bytes). Older forms:
// 2.00 holds only SubObject2's id, 4 bytes; 2.01 only SubObject2's id, 8
// bytes (SubObject1 stays empty).
#pragma once

#include "environment/slot_owner.h"

namespace KT {

class CTerrain : public CSlotOwner {
  KT_DECLARE_CLASS(CTerrain)

 public:
  static constexpr u32 kVersionWideId = 201;      // SubObject2's id is 8 bytes from here on
  static constexpr u32 kVersionSubObject1 = 202;  // SubObject1 is stored from here on

  CTerrain() = default;
  // The KT::CDorun part; both slots start empty.
  CTerrain(const CTerrain& other) : CSlotOwner(other) {}
  // Releases SubObject2, then SubObject1.
  ~CTerrain() override;

  CBase* GetSubObject1() const { return subObject1_.Get(); }
  CBase* GetSubObject2() const { return subObject2_.Get(); }
  // Puts `object` in the slot (null empties it) and marks the terrain
  // modified. An object that is the terrain or holds it: kErrInvalidArg,
  // nothing changed.
  Result SetSubObject1(CBase* object);
  Result SetSubObject2(CBase* object);

  Result CreateInstance(CPointer<CBase>& out) const override;
  // The KT::CDorun clone (kDone or a failure returned unchanged), then
  // each set slot cloned through the same map into the copy's slot.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A target that is not a terrain: kErrNotFound, nothing changed. Else
  // the KT::CDorun part, then both slots shared (the target's former
  // objects go to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // SubObject2, then SubObject1 when the record held it. A reference that
  // would make the terrain own itself: kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // SubObject2 (owned, also when empty), then the KT::CDorun references;
  // SubObject1 is not reported.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 protected:
  std::vector<CBase*> OwnedObjects() const override { return {subObject1_.Get(), subObject2_.Get()}; }

 private:
  CPointer<CBase> subObject1_;
  CPointer<CBase> subObject2_;
  // Whether Load queued SubObject1's id (records from 2.02 on).
  bool queuedSubObject1_ = false;
};

}  // namespace KT
