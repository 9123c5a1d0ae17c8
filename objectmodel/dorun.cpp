#include "objectmodel/dorun.h"

#include <algorithm>
#include <unordered_set>

#include "objectmodel/custom_data.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

const ClassRecord& ControlRecord() { return GetClassRecordAt(ClassIndex::CControl); }

bool IsControl(const CBase* object) { return object != nullptr && object->IsKindOf(ControlRecord()); }

// The elements of the chain starting at `first`, in order.
std::vector<CDorun*> ChainElements(CDorun* first) {
  std::vector<CDorun*> elements;
  for (CDorun* e = first; e != nullptr; e = e->GetChainNext()) elements.push_back(e);
  return elements;
}

// True when `object` is one of `candidates`, or is bound to one of them
// directly or through the objects it is bound to: then a candidate holds
// `object` in a chain, and putting that candidate into a chain of `object`
// would make it own itself.
bool HeldByAnyOf(const CDorun* object, const std::unordered_set<const CDorun*>& candidates) {
  std::unordered_set<const CDorun*> seen;
  for (const CDorun* o = object; o != nullptr && seen.insert(o).second; o = o->GetBoundObject()) {
    if (candidates.count(o) != 0) return true;
  }
  return false;
}

// Unbinds from `object` the elements of the chain at `former` that the
// chain at `kept` does not hold: they leave the object, which could no
// longer reach them to unbind them when it goes.
void ForgetLeavingElements(CDorun* former, CDorun* kept, const CDorun* object) {
  if (former == nullptr || former == kept) return;
  const std::vector<CDorun*> stay = ChainElements(kept);
  const std::unordered_set<const CDorun*> staying(stay.begin(), stay.end());
  for (CDorun* e : ChainElements(former)) {
    if (staying.count(e) == 0) e->ForgetObject(object);
  }
}

}  // namespace

CDorun::CDorun() = default;

CDorun::CDorun(const CDorun& other) : CBase(other), dirty_(other.dirty_) {}

CDorun::~CDorun() {
  // Elements that outlive this object (shared with a copy, or held by a
  // caller) must not keep pointing at it.
  for (CDorun* head : {controls_.Get(), subObjects_.Get()}) {
    for (CDorun* e = head; e != nullptr; e = e->GetChainNext()) e->ForgetObject(this);
  }
  customData_.Release();
  subObjects_.Release();
  controls_.Release();
}

CBase* CDorun::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CBase::Find(name, record, includeDerived, onlyMarked)) return hit;
  // The chains are searched as one nested step (bounded stack, see
  // nested_walk.h).
  return GetNestedWalk<NestedWalkKind::kFind>().Find([this, name, record, includeDerived, onlyMarked]() -> CBase* {
    for (CBase* head : {static_cast<CBase*>(controls_.Get()), static_cast<CBase*>(subObjects_.Get()),
                        static_cast<CBase*>(customData_.Get())}) {
      if (head == nullptr) continue;
      if (CBase* hit = head->Find(name, record, includeDerived, onlyMarked)) return hit;
    }
    return nullptr;
  });
}

void CDorun::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
                     bool onlyMarked) {
  CBase::Collect(out, name, record, includeDerived, onlyMarked);
  if (!controls_ && !subObjects_ && !customData_) return;
  GetNestedWalk<NestedWalkKind::kCollect>().Run([this, &out, name, record, includeDerived, onlyMarked]() {
    if (controls_) controls_->Collect(out, name, record, includeDerived, onlyMarked);
    if (subObjects_) subObjects_->Collect(out, name, record, includeDerived, onlyMarked);
    if (customData_) customData_->Collect(out, name, record, includeDerived, onlyMarked);
    return kOk;
  });
}

bool CDorun::UpdateMarked(const ObjectSet& set) {
  if (!controls_ && !subObjects_ && !customData_) return CBase::UpdateMarked(set);
  // The chains are asked as one nested step (bounded stack, see
  // nested_walk.h); run again, it gives the same answer and marks.
  return GetNestedQuery<NestedQueryKind::kObjectMarked>().Run(this, false, [this, &set]() {
    bool marked = CBase::UpdateMarked(set);
    if (controls_) marked = controls_->UpdateMarked(set) || marked;
    if (subObjects_) marked = subObjects_->UpdateMarked(set) || marked;
    if (customData_) marked = customData_->UpdateMarked(set) || marked;
    SetMarked(marked);
    return marked;
  });
}

void CDorun::ClearMarked() {
  CBase::ClearMarked();
  if (!controls_ && !subObjects_ && !customData_) return;
  GetNestedWalk<NestedWalkKind::kClearMarked>().Run([this]() {
    if (controls_) controls_->ClearMarked();
    if (subObjects_) subObjects_->ClearMarked();
    if (customData_) customData_->ClearMarked();
    return kOk;
  });
}

Result CDorun::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  return GetNestedWalk<NestedWalkKind::kResolve>().Run([this, root]() {
    for (CBase* head : {static_cast<CBase*>(controls_.Get()), static_cast<CBase*>(subObjects_.Get()),
                        static_cast<CBase*>(customData_.Get())}) {
      if (head == nullptr) continue;
      const Result r = head->ResolveReferences(root);
      if (Failed(r)) return r;
    }
    return kOk;
  });
}

Result CDorun::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CBase::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  if (!controls_ && !subObjects_ && !customData_) return kOk;
  CPointer<CDorun> copy(static_cast<CDorun*>(out.Get()));
  // The copy is held until its step has run; the source is held by the
  // caller of the outermost clone.
  CDorun* self = this;
  return GetNestedWalk<NestedWalkKind::kClone>().Run([self, copy, &cloneMap, flags]() {
    if (self->controls_) {
      CPointer<CBase> clone;
      const Result r = CloneObject(clone, cloneMap, self->controls_.Get(), flags);
      if (Failed(r)) return r;
      if (CDorun* element = DynamicCast<CDorun>(clone.Get())) copy->AttachChain(copy->controls_, element, true);
    }
    if (self->subObjects_) {
      CPointer<CBase> clone;
      const Result r = CloneObject(clone, cloneMap, self->subObjects_.Get(), flags);
      if (Failed(r)) return r;
      CDorun* element = DynamicCast<CDorun>(clone.Get());
      if (element != nullptr && element->GetBoundObject() == nullptr) {
        copy->SetModified();
        copy->AttachChain(copy->subObjects_, element, true);
      }
    }
    if (self->customData_) {
      CPointer<CBase> clone;
      const Result r = CloneObject(clone, cloneMap, self->customData_.Get(), flags);
      if (Failed(r)) return r;
      copy->AddCustomData(DynamicCast<CCustomData>(clone.Get()));
    }
    return kOk;
  });
}

Result CDorun::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  Result r = CBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CDorun* other = DynamicCast<CDorun>(target);
  if (other == nullptr) return kErrNotFound;
  other->dirty_ = dirty_;
  ForgetLeavingElements(other->controls_.Get(), controls_.Get(), other);
  ForgetLeavingElements(other->subObjects_.Get(), subObjects_.Get(), other);
  AssignPointerMember(displaced, controls_, other->controls_);
  AssignPointerMember(displaced, subObjects_, other->subObjects_);
  AssignPointerMember(displaced, customData_, other->customData_);
  return kOk;
}

Result CDorun::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CBase::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  if (version >= static_cast<i32>(kVersionWideIds)) {
    queuedHeads_ = 3;
    r = ReadObjectId(stream, record);
    if (Succeeded(r)) r = ReadObjectId(stream, record);
    if (Succeeded(r)) r = ReadObjectId(stream, record);
    return r;
  }
  // Before 1.01 only the control chain existed.
  queuedHeads_ = version >= static_cast<i32>(kVersionAllChains) ? 3 : 1;
  r = ReadObjectId32(stream, record);
  if (Succeeded(r) && queuedHeads_ == 3) r = ReadObjectId32(stream, record);
  if (Succeeded(r) && queuedHeads_ == 3) r = ReadObjectId32(stream, record);
  return r;
}

Result CDorun::LinkHead(CStream& stream, CStreamLoadRecord& record, CPointer<CDorun>& head) {
  CBase* object = stream.ObjectFromId(record.TakeNextId());
  // Only controllers are chain elements.
  CDorun* element = IsControl(object) ? static_cast<CDorun*>(object) : nullptr;
  if (element != nullptr) {
    // Refuses a head whose chain leads back to this object (kDone, a
    // chain shared with another object, is checked there as well).
    const Result r = stream.ClaimOwnership(this, element);
    if (Failed(r)) return r;
  }
  head = element;
  return kOk;
}

Result CDorun::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  CBase::Link(stream, record, flags);
  bindingsConfirmed_ = false;
  Result r = LinkHead(stream, record, controls_);
  if (Failed(r) || queuedHeads_ < 3) return r;
  r = LinkHead(stream, record, subObjects_);
  if (Failed(r)) return r;
  CCustomData* data = DynamicCast<CCustomData>(stream.ObjectFromId(record.TakeNextId()));
  if (data != nullptr) {
    r = stream.ClaimOwnership(this, data);
    if (Failed(r)) return r;
  }
  customData_ = data;
  return kOk;
}

Result CDorun::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CBase::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  if (!controls_ && !subObjects_ && !customData_) return kOk;
  return GetNestedWalk<NestedWalkKind::kRegisterForSave>().Run([this, &stream, flags]() {
    for (CBase* head : {static_cast<CBase*>(controls_.Get()), static_cast<CBase*>(subObjects_.Get()),
                        static_cast<CBase*>(customData_.Get())}) {
      if (head == nullptr) continue;
      const Result h = head->RegisterForSave(stream, flags);
      if (Failed(h)) return h;
    }
    return kOk;
  });
}

Result CDorun::Save(CStream& stream, u32 flags) {
  Result r = CBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, controls_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, subObjects_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, customData_.Get());
  return r;
}

void CDorun::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CDorun Member");
  visitor.OpenGroup();
  visitor.Bool(u"Dirty", &dirty_);
  visitor.Int(u"DataUpdateDepth", &dataUpdateDepth_);
  visitor.EndGroup();
  CBase::DescribeMembers(visitor);
}

void CDorun::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(controls_.Get(), 1);
  visitor.Visit(customData_.Get(), 1);
  visitor.Visit(subObjects_.Get(), 1);
  CBase::EnumReferences(visitor);
}

u32 CDorun::GetMemorySize() const { return CBase::GetMemorySize() + 24; }

u32 CDorun::GetSaveSize() const { return CBase::GetSaveSize() + 32; }

bool CDorun::HasSubObjects() const { return controls_ || subObjects_ || customData_ || CBase::HasSubObjects(); }

Result CDorun::CollectAnimated(std::vector<CDorun*>& animated) {
  for (CDorun* c = controls_.Get(); c != nullptr; c = c->GetChainNext()) {
    if (!c->IsDataControl()) continue;
    if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
    break;
  }
  return kOk;
}

Result CDorun::GetDataUpdateDepth(void* context, i32& depth) {
  if (dirty_) {
    // Reached through what data controllers read (bones): bounded.
    const CEvaluationDepthGuard guard;
    if (guard.Exceeded()) return kErrInvalidArg;
    dataUpdateDepth_ = 0;
    dirty_ = false;
    i32 acc = 0;
    for (CDorun* c = controls_.Get(); c != nullptr; c = c->GetChainNext()) {
      const Result r = c->GetDataUpdateDepth(context, acc);
      if (Failed(r)) return r;
    }
    dataUpdateDepth_ = std::max(dataUpdateDepth_, acc);
  }
  depth = std::max(depth, dataUpdateDepth_);
  return kOk;
}

Result CDorun::RaiseDataUpdateDepth(void* context, i32& depth) {
  i32 own = 0;
  const Result r = GetDataUpdateDepth(context, own);
  if (Failed(r)) return r;
  if (depth <= own) depth = own + 1;
  return kOk;
}

Result CDorun::Update(i32 time) {
  for (CDorun* c = controls_.Get(); c != nullptr; c = c->GetChainNext()) {
    Result r = c->Update(time);
    if (Succeeded(r)) r = c->ApplyValue();
    if (Failed(r)) return r;
  }
  for (CDorun* s = subObjects_.Get(); s != nullptr; s = s->GetChainNext()) {
    const Result r = s->Update(time);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CDorun::UpdateOk(i32 time) {
  const Result r = CDorun::Update(time);
  return Failed(r) ? r : kOk;
}

Result CDorun::BindChain(CDorun* first, CDorun* object) {
  for (CDorun* e = first; e != nullptr; e = e->GetChainNext()) {
    const Result r = e->BindObject(object);
    if (Failed(r)) return r;
    e->SetModified();
  }
  return kOk;
}

Result CDorun::AttachChain(CPointer<CDorun>& head, CDorun* element, bool fresh) {
  if (!IsControl(element)) return kErrInvalidArg;
  // Every element is checked before any is bound, so a refusal leaves
  // nothing half attached. An element already in this chain, or a chain
  // that runs into itself, would close a loop.
  const std::vector<CDorun*> existing = ChainElements(head.Get());
  const std::unordered_set<const CDorun*> inChain(existing.begin(), existing.end());
  std::unordered_set<const CDorun*> added;
  for (CDorun* e = element; e != nullptr; e = e->GetChainNext()) {
    if (!added.insert(e).second || inChain.count(e) != 0) return kErrInvalidArg;
    if (e->GetBoundObject() != nullptr || e->HasContainerOwners()) return kErrInvalidArg;
  }
  // Nor may an added element hold this object (be it, or have it in one of
  // its own chains, at any depth).
  if (!fresh && HeldByAnyOf(this, added)) return kErrInvalidArg;
  const Result r = BindChain(element, this);
  if (Failed(r)) {
    for (CDorun* e = element; e != nullptr; e = e->GetChainNext()) {
      if (e->GetBoundObject() == this) e->BindObject(nullptr);
    }
    return r;
  }
  if (existing.empty()) {
    head = element;
    SetModified();
  } else {
    existing.back()->SetChainNext(element);
  }
  return kOk;
}

Result CDorun::AddControl(CDorun* control) {
  if (control == nullptr) return kErrInvalidArg;
  return AttachChain(controls_, control);
}

Result CDorun::AddSubObject(CDorun* object) {
  if (object == nullptr || object->GetBoundObject() != nullptr) return kErrInvalidArg;
  SetModified();
  return AttachChain(subObjects_, object);
}

Result CDorun::AddCustomData(CCustomData* record) {
  if (record == nullptr) return kErrInvalidArg;
  SetModified();
  if (!customData_) {
    customData_ = record;
    return kOk;
  }
  CCustomData* last = customData_.Get();
  for (CCustomData* p = last; p != nullptr; p = p->GetNext()) {
    if (p == record) return kErrInvalidArg;
    last = p;
  }
  // SetNext refuses a record whose own chain leads back here.
  return last->SetNext(record);
}

Result CDorun::InsertControl(CDorun* anchor, CDorun* control) {
  if (anchor == nullptr || !IsControl(control) || !controls_ || anchor->GetBoundObject() != this ||
      control->GetBoundObject() != nullptr || control->HasContainerOwners() || HeldByAnyOf(this, {control})) {
    return kErrInvalidArg;
  }
  SetModified();
  const std::vector<CDorun*> chain = ChainElements(controls_.Get());
  if (std::find(chain.begin(), chain.end(), control) != chain.end()) return kErrInvalidArg;
  if (anchor == controls_.Get()) {
    control->SetChainNext(anchor);
    controls_ = control;
  } else {
    const auto it = std::find_if(chain.begin(), chain.end(), [&](CDorun* e) { return e->GetChainNext() == anchor; });
    if (it == chain.end()) return kErrNotFound;
    control->SetChainNext(anchor);
    (*it)->SetChainNext(control);
  }
  control->BindObject(this);
  return kOk;
}

void CDorun::ConfirmChainBindings() {
  if (bindingsConfirmed_) return;
  bindingsConfirmed_ = true;
  for (CDorun* head : {controls_.Get(), subObjects_.Get()}) {
    for (CDorun* e = head; e != nullptr; e = e->GetChainNext()) {
      if (e->GetBoundObject() == this) e->ConfirmBinding();
    }
  }
}

Result CDorun::RemoveControl(CDorun* control) {
  if (control == nullptr || !controls_ || control->GetBoundObject() != this) return kErrInvalidArg;
  // Held while it is unlinked: the chain may hold its only count.
  CPointer<CDorun> keep(control);
  if (control == controls_.Get()) {
    control->BindObject(nullptr);
    controls_ = control->GetChainNext();
    control->SetChainNext(nullptr);
    control->SetModified();
    SetModified();
    return kOk;
  }
  CDorun* previous = nullptr;
  for (CDorun* e = controls_.Get(); e != nullptr; e = e->GetChainNext()) {
    if (e->GetChainNext() == control) {
      previous = e;
      break;
    }
  }
  if (previous == nullptr) return kErrNotFound;
  control->BindObject(nullptr);
  previous->SetChainNext(control->GetChainNext());
  previous->SetModified();
  control->SetChainNext(nullptr);
  control->SetModified();
  return kOk;
}

}  // namespace KT
