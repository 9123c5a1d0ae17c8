#include "environment/slot_owner.h"

#include "objectmodel/stream.h"

#include "objectmodel/owned_link.h"
#include "objectmodel/owned_walk.h"

namespace KT {

CBase* CSlotOwner::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(OwnedObjects(), name, record, includeDerived, onlyMarked);
}

void CSlotOwner::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                         bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(OwnedObjects(), out, name, record, includeDerived, onlyMarked);
}

bool CSlotOwner::UpdateMarked(const ObjectSet& set) {
  const bool own = CDorun::UpdateMarked(set);
  const bool marked = owned_walk::UpdateMarked(&markKey_, OwnedObjects(), set) || own;
  SetMarked(marked);
  return marked;
}

void CSlotOwner::ClearMarked() {
  CDorun::ClearMarked();
  owned_walk::ClearMarked(OwnedObjects());
}

Result CSlotOwner::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_walk::ResolveReferences(OwnedObjects(), root);
  return Failed(r) ? r : CDorun::ResolveReferences(root);
}

Result CSlotOwner::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave(OwnedObjects(), stream, flags);
}

Result CSlotOwner::SetSlot(CPointer<CBase>& slot, CBase* object) {
  if (WouldHoldItself(object, this)) return kErrInvalidArg;
  slot = object;
  SetModified();
  return kOk;
}

Result CSlotOwner::CloneSlot(CBase* object, CloneMap& cloneMap, u32 flags, const CPointer<CSlotOwner>& copy,
                             CPointer<CBase>& slot) {
  if (object == nullptr) return kOk;
  // The step may run after this call returns (past the depth bound): it
  // holds the copy, and so the slot, until then.
  CPointer<CBase>* target = &slot;
  const Result r = owned_walk::CloneInto<CBase>(object, cloneMap, flags,
                                                [copy, target](CBase* clone) { *target = clone; });
  return Failed(r) ? r : kOk;
}

bool CSlotOwner::HasSubObjects() const {
  for (const CBase* object : OwnedObjects()) {
    if (object != nullptr) return true;
  }
  return CDorun::HasSubObjects();
}

Result CSingleSlotOwner::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CSingleSlotOwner*>(out.Get());
  return CloneSlot(subObject_.Get(), cloneMap, flags, CPointer<CSlotOwner>(copy), copy->subObject_);
}

Result CSingleSlotOwner::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, subObject_);
}

void CSingleSlotOwner::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(subObject_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

}  // namespace KT
