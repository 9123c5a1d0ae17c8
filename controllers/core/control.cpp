#include "controllers/core/control.h"

#include <algorithm>

#include "objectmodel/chain.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

const char16_t* const CControl::kRepeatNames[3] = {u"RT_CLAMP", u"RT_WRAP", u"RT_CYCLE"};

namespace {

// The controllers of the chain that starts at `first`, in order.
std::vector<CControl*> ChainOf(CControl* first) {
  std::vector<CControl*> chain;
  for (CControl* c = first; c != nullptr; c = c->GetNext()) chain.push_back(c);
  return chain;
}

bool ChainContains(const CControl* first, const CControl* target) {
  return KT::ChainContains(first, target, [](const CControl* c) { return c->GetNext(); });
}

}  // namespace

CControl::CControl(const CControl& other)
    : CDorun(other),
      repeat_(other.repeat_),
      frequency_(other.frequency_),
      weight_(other.weight_),
      priority_(other.priority_),
      active_(other.active_) {}

CControl::~CControl() {
  ReleaseChain(next_, [](CControl& c) -> CPointer<CControl>& { return c.next_; });
}

Result CControl::SetNext(CControl* next) {
  if (ChainContains(next, this)) return kErrInvalidArg;
  next_ = next;
  SetModified();
  return kOk;
}

void CControl::SetChainNext(CDorun* next) { SetNext(DynamicCast<CControl>(next)); }

void CControl::ForgetObject(const CDorun* object) {
  if (object_ == object) object_ = nullptr;
}

Result CControl::AddOwner(CControl* container) {
  if (container == nullptr) return kErrInvalidArg;
  if (std::find(owners_.begin(), owners_.end(), container) != owners_.end()) return kErrNotFound;
  owners_.push_back(container);
  SetModified();
  return kOk;
}

Result CControl::RemoveOwner(CControl* container) {
  const auto it = std::find(owners_.begin(), owners_.end(), container);
  if (it == owners_.end()) return kErrNotFound;
  owners_.erase(it);
  SetModified();
  return kOk;
}

i32 CControl::MapTime(i32 time, i32 length, i32& cycles) const {
  cycles = 0;
  // Each step is rounded to single precision, as stored animations expect.
  const f32 scaled = static_cast<f32>(time) * frequency_;
  const i32 t = FloatToIntTrunc(scaled);
  if (repeat_ == RT_CLAMP || t <= 0) return t;
  if (length <= 0) return 0;
  const i32 q = t / length;
  cycles = q;
  const f32 quotient = static_cast<f32>(t) / static_cast<f32>(length);
  const f32 fraction = quotient - static_cast<f32>(q);
  const f32 product = static_cast<f32>(length) * fraction;
  const i32 r = FloatToIntTrunc(product);
  if (repeat_ == RT_WRAP) return r;
  return (q % 2 == 0) ? r : length - r;
}

i32 CControl::ScaleTime(i32 time) const {
  const f32 scaled = static_cast<f32>(time) * frequency_;
  return FloatToIntTrunc(scaled);
}

i32 CControl::UnscaleTime(i32 time) const {
  const f32 unscaled = static_cast<f32>(time) / frequency_;
  return FloatToIntTrunc(unscaled);
}

Result CControl::SetObject(CDorun* object) {
  if (object == object_) return kDone;
  if (object != nullptr && object_ != nullptr) return kErrNotFound;
  for (const CControl* owner : owners_) {
    if (owner->GetObject() != object) return kDone;
  }
  object_ = object;
  SetModified();
  return kOk;
}

Result CControl::UpdatePriority(i32) { return kDone; }

Result CControl::GetUpdateDepth(i32, i32&) { return kDone; }

bool CControl::IsStartedAt(i32) const { return true; }

bool CControl::IsActiveAt(i32) const { return true; }

Result CControl::CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                                  std::vector<f32>& spans) {
  const i32 a = ScaleTime(start);
  // In 64 bits: both parts may be near the ends of the range (or the
  // INT32_MIN of an unusable Frequency), and the sum must not wrap.
  const i64 e = static_cast<i64>(a) + ScaleTime(duration);
  if (a >= 0 && a < GetEndTime()) {
    times.push_back(start);
  } else if (a < 0 && e > 0) {
    times.push_back(UnscaleTime(0));
  } else {
    return kOk;
  }
  priorities.push_back(priority_);
  spans.push_back(200.0f);
  return kOk;
}

Result CControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  // A NaN priority compares false and never wins.
  if (!(priority_ > bestPriority) || !active_ || time < bestTime) return kOk;
  bestTime = time;
  pickedTime = time;
  bestPriority = priority_;
  return 2;
}

Result CControl::CollectAnimated(std::vector<CDorun*>&) { return kDone; }

Result CControl::GetDataUpdateDepth(void*, i32&) { return kDone; }

// --- chain operations -----------------------------------------------------------

CBase* CControl::FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                               bool onlyMarked) {
  return CDorun::Find(name, record, includeDerived, onlyMarked);
}

void CControl::CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
}

bool CControl::UpdateMarkedInElement(const ObjectSet& set) { return CDorun::UpdateMarked(set); }

void CControl::ClearMarkedInElement() { CDorun::ClearMarked(); }

Result CControl::ResolveReferencesInElement(CBase* root) { return CDorun::ResolveReferences(root); }

Result CControl::RegisterElementForSave(CStream& stream, u32 flags) { return CDorun::RegisterForSave(stream, flags); }

CBase* CControl::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  for (CControl* c = this; c != nullptr; c = c->next_.Get()) {
    if (CBase* hit = c->FindInElement(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CControl::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                       bool includeDerived, bool onlyMarked) {
  for (CControl* c = this; c != nullptr; c = c->next_.Get()) {
    c->CollectInElement(out, name, record, includeDerived, onlyMarked);
  }
}

bool CControl::UpdateMarked(const ObjectSet& set) {
  // One nested step per chain (bounded stack through nested containers,
  // see nested_walk.h). Each controller is marked when it or any
  // controller behind it is.
  return GetNestedQuery<NestedQueryKind::kChainMarked>().Run(this, false, [this, &set]() {
    const std::vector<CControl*> chain = ChainOf(this);
    bool after = false;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      after = (*it)->UpdateMarkedInElement(set) || after;
      (*it)->SetMarked(after);
    }
    return after;
  });
}

void CControl::ClearMarked() {
  for (CControl* c = this; c != nullptr; c = c->next_.Get()) c->ClearMarkedInElement();
}

Result CControl::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  // The controllers behind this one first, then this one.
  const std::vector<CControl*> chain = ChainOf(this);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const Result r = (*it)->ResolveReferencesInElement(root);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CControl::RegisterForSave(CStream& stream, u32 flags) {
  for (CControl* c = this; c != nullptr; c = c->next_.Get()) {
    const Result r = c->RegisterElementForSave(stream, flags);
    if (Failed(r)) return r;
    if (r == kDone) return c == this ? kDone : kOk;  // the rest is registered already
  }
  return kOk;
}

Result CControl::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags & ~kCloneElementOnly);
  if (r != kOk || (flags & kCloneElementOnly) != 0) return r;
  CControl* previous = static_cast<CControl*>(out.Get());
  for (CControl* source = next_.Get(); source != nullptr; source = source->next_.Get()) {
    CPointer<CBase> clone;
    r = source->Clone(clone, cloneMap, flags | kCloneElementOnly);
    if (Failed(r)) return r;
    previous->next_ = DynamicCast<CControl>(clone.Get());
    if (r == kDone || !previous->next_) break;  // the rest was cloned before
    previous = previous->next_.Get();
  }
  return kOk;
}

Result CControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CControl* other = DynamicCast<CControl>(target);
  if (other == nullptr) return kErrNotFound;
  if (other != this && ChainContains(next_.Get(), other)) return kErrInvalidArg;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->repeat_ = repeat_;
  other->object_ = object_;
  other->frequency_ = frequency_;
  other->weight_ = weight_;
  other->priority_ = priority_;
  other->active_ = active_;
  other->owners_ = owners_;
  return AssignPointerMember(displaced, next_, other->next_);
}

Result CControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  r = ReadU32(stream, repeat_);
  resetWeightOnLink_ = version < static_cast<i32>(kVersionWeightPriority);
  if (!resetWeightOnLink_) {
    if (Succeeded(r)) r = ReadU32(stream, priority_);
    if (Succeeded(r)) r = ReadU32(stream, weight_);
  } else {
    // Three words of an older layout; the first two are kept until the link
    // step (an older keyframe loader reads the first as a time offset).
    u32 dropped = 0;
    if (Succeeded(r)) r = ReadU32(stream, weight_);
    if (Succeeded(r)) r = ReadU32(stream, priority_);
    if (Succeeded(r)) r = ReadU32(stream, dropped);
  }
  if (Succeeded(r)) r = ReadU32(stream, frequency_);
  if (Succeeded(r)) r = ReadBool(stream, active_);
  if (Failed(r)) return r;
  if (version >= static_cast<i32>(kVersionWideIds)) {
    r = ReadObjectId(stream, record);
    if (Succeeded(r)) r = ReadObjectId(stream, record);
  } else {
    r = ReadObjectId32(stream, record);
    if (Succeeded(r)) r = ReadObjectId32(stream, record);
  }
  if (Succeeded(r) && version == static_cast<i32>(kVersionExtraWord)) {
    u32 dropped = 0;
    r = ReadU32(stream, dropped);
  }
  owners_.clear();
  if (Succeeded(r) && version >= static_cast<i32>(kVersionOwners)) {
    std::vector<CPointer<CControl>> slots;
    r = ReadReferenceVector(stream, record, slots);
    // The slots only count the owners; Link resolves them.
    owners_.assign(slots.size(), nullptr);
  }
  return r;
}

Result CControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  object_ = DynamicCast<CDorun>(stream.ObjectFromId(record.TakeNextId()));
  if (object_ != nullptr) {
    // The binding is a plain pointer: it is kept only when the bound object
    // really holds this controller in one of its chains, so it cannot
    // outlive its object.
    bindingConfirmed_ = false;
    stream.AddPostLinkStep([this] {
      object_->ConfirmChainBindings();
      if (!bindingConfirmed_) object_ = nullptr;
      return kOk;
    });
  }
  CControl* next = DynamicCast<CControl>(stream.ObjectFromId(record.TakeNextId()));
  if (next != nullptr) {
    // Refuses a Next whose chain leads back here, also through a chain
    // shared with other controllers.
    r = stream.ClaimOwnership(this, next);
    if (Failed(r)) return r;
  }
  next_ = next;
  // Owners that do not resolve to a controller, or repeat, are dropped.
  std::vector<CControl*> owners;
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    CControl* owner = DynamicCast<CControl>(stream.ObjectFromId(record.TakeNextId()));
    if (owner != nullptr && std::find(owners.begin(), owners.end(), owner) == owners.end()) {
      owners.push_back(owner);
    }
  }
  owners_ = std::move(owners);
  if (!owners_.empty()) {
    // Owners are plain pointers: those the delivered roots do not keep
    // alive with this controller are dropped.
    stream.AddPostLinkStep([this, &stream] {
      std::erase_if(owners_, [&](const CControl* owner) { return !stream.CanReferTo(this, owner); });
      return kOk;
    });
  }
  if (resetWeightOnLink_) {
    weight_ = 1.0f;
    priority_ = 0.0f;
    resetWeightOnLink_ = false;
  }
  return kOk;
}

Result CControl::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, repeat_);
  if (Succeeded(r)) r = WriteFloat(stream, priority_);
  if (Succeeded(r)) r = WriteFloat(stream, weight_);
  if (Succeeded(r)) r = WriteFloat(stream, frequency_);
  if (Succeeded(r)) r = WriteBool(stream, active_);
  if (Succeeded(r)) r = WriteObjectId(stream, object_);
  if (Succeeded(r)) r = WriteObjectId(stream, next_.Get());
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(owners_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < owners_.size(); ++i) r = WriteObjectId(stream, owners_[i]);
  return r;
}

void CControl::DescribeMembers(CMemberVisitor& visitor) {
  i32 repeat = static_cast<i32>(repeat_);
  visitor.BeginGroup(u"CControl Member");
  visitor.OpenGroup();
  visitor.Enum(u"Repeat", &repeat, kRepeatNames, 3);
  visitor.ObjectRef(u"Object", object_);
  visitor.Float(u"Frequency", &frequency_);
  visitor.Float(u"Weight", &weight_);
  visitor.Float(u"Priority", &priority_);
  visitor.Bool(u"Active", &active_);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

void CControl::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(next_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

u32 CControl::GetMemorySize() const { return CDorun::GetMemorySize() + 56; }

u32 CControl::GetSaveSize() const {
  return CDorun::GetSaveSize() + 41 + 4 + 8 * static_cast<u32>(owners_.size());
}

bool CControl::HasSubObjects() const { return object_ != nullptr || next_ || CDorun::HasSubObjects(); }

}  // namespace KT
