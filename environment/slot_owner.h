// KT::CSlotOwner: the common part of the environment objects that derive
// directly from KT::CDorun and own a few sub-objects in slots (the scene
// settings, terrain, sky and water). It has no class record of its own:
// each derived class answers its own and its record follows the
// KT::CDorun part directly.
//
// The walks here visit the KT::CDorun part first, then the objects the
// derived class lists in OwnedObjects (empty entries skipped), each
// descent as one nested step of the object model's bounded walks: a file
// can nest scenes in scenes as deep as its size allows.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"

namespace KT {

class CSlotOwner : public CDorun {
 public:
  CSlotOwner() = default;
  // The KT::CDorun part only; the derived class decides what its slots hold.
  CSlotOwner(const CSlotOwner& other) : CDorun(other) {}

  // The first hit of the KT::CDorun part, then of each owned object.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  // Marked = the KT::CDorun answer OR any owned object's answer.
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // A null root: kErrInvalidArg. The owned objects first (the first
  // failure returned), then the KT::CDorun part.
  Result ResolveReferences(CBase* root) override;
  // The KT::CDorun registration (kDone or a failure returned unchanged),
  // then every owned object; the first failure is returned.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // True when any owned object is present, else the KT::CDorun answer.
  bool HasSubObjects() const override;

 protected:
  // The owned objects in walk order; empty entries are skipped.
  virtual std::vector<CBase*> OwnedObjects() const = 0;

  // Puts `object` in `slot` (null empties it) and marks the object
  // modified. An object that is this one or holds it would make this
  // object own itself (every walk would run without end): kErrInvalidArg,
  // nothing changed.
  Result SetSlot(CPointer<CBase>& slot, CBase* object);
  // Clones `object` through the map (as one nested step of the bounded
  // clone walk) into `slot`, a member of `copy`; an empty `object` leaves
  // the slot as it is. kOk or the first failure.
  static Result CloneSlot(CBase* object, CloneMap& cloneMap, u32 flags, const CPointer<CSlotOwner>& copy,
                          CPointer<CBase>& slot);

 private:
  // Identifies this object's step of the marking walk (the KT::CDorun
  // part uses the object's own address).
  u8 markKey_ = 0;
};

// The environment objects with one owned slot (sky, water): the slot and
// every operation that only concerns it.
class CSingleSlotOwner : public CSlotOwner {
 public:
  CSingleSlotOwner() = default;
  // The KT::CDorun part; the slot starts empty.
  CSingleSlotOwner(const CSingleSlotOwner& other) : CSlotOwner(other) {}
  ~CSingleSlotOwner() override { subObject_.Release(); }

  CBase* GetSubObject() const { return subObject_.Get(); }
  // Puts `object` in the slot (null empties it) and marks the object
  // modified. An object that is this one or holds it: kErrInvalidArg,
  // nothing changed.
  Result SetSubObject(CBase* object) { return SetSlot(subObject_, object); }

  // The KT::CDorun clone (kDone or a failure returned unchanged), then the
  // slot's object cloned through the same map into the copy's slot.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The KT::CDorun link, then the slot from the next pending id. A
  // reference that would make the object own itself: kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The slot (owned, also when empty), then the KT::CDorun references.
  void EnumReferences(CReferenceVisitor& visitor) override;

 protected:
  std::vector<CBase*> OwnedObjects() const override { return {subObject_.Get()}; }
  // CopyTo's share of the slot: the target shares the object, its former
  // one goes to `displaced`.
  Result AssignSlotTo(CSingleSlotOwner& target, DisplacedList& displaced) const {
    return AssignPointerMember(displaced, subObject_, target.subObject_);
  }

 private:
  CPointer<CBase> subObject_;
};

}  // namespace KT
