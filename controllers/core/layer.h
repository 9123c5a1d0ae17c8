// Containers of child controllers: KT::CLayer<T> (an ordered list of child
// controllers) and KT::CClip<T> (the list plus a time line of clips that
// play the children).
//
// A container is a controller (its first base) and a child list (the
// second base). The list keeps three things in step:
//   - every child is bound (its Object) to the container's Object;
//   - every child lists every container that holds it in its owner list,
//     so a child shared by two containers stays bound until both release it;
//   - no child is chained behind another controller (its Next is empty),
//     and no child holds its container (directly or through nested
//     containers), so the graph of containers never loops.
// The container holds one counted reference per child; the children are
// saved as a list of object ids that the link pass resolves.
//
// Walks over the children are loops. Destroying a container releases its
// children through an explicit list, so nested containers of any depth are
// torn down without recursion; marking runs in bounded stack
// (nested_walk.h). Evaluation passes into the children (end times, updates,
// priorities, spans, picks, depth queries) nest once per level of
// containers and are bounded (CEvaluationDepthGuard): past the bound a
// container plays nothing, its operations answer kErrInvalidArg (false for
// IsActiveAt, its own Priority for the priority at a time, a child part of
// 0 in end times).
//
// The operations a container controller runs on itself and then on each
// child (find, collect, marking, reference resolution, registration,
// cloning, binding) are here as protected helpers; each concrete container
// calls them from its overrides.
#pragma once

#include <cstdlib>
#include <new>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "controllers/core/clip_key.h"
#include "controllers/core/control.h"
#include "controllers/core/key_search.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/time_helpers.h"

namespace KT {

class CSpatial;

// --- the non-template side of every container ---------------------------------------

class CLayerBase {
 public:
  CLayerBase() = default;
  CLayerBase(const CLayerBase&) = default;
  CLayerBase& operator=(const CLayerBase&) = delete;
  virtual ~CLayerBase() = default;

  // The container as a controller: the owner its children list and the
  // object they are bound to.
  virtual CControl& GetLayerControl() = 0;
  virtual const CControl& GetLayerControl() const = 0;
  virtual u32 GetChildCount() const = 0;
  // Child `index` (null past the end or for an empty slot of a loaded list).
  virtual CControl* GetChildControl(u32 index) const = 0;
  // Unbinds every child as RemoveAllChildren does and hands the references
  // to `out` instead of releasing them (used to tear nested containers down
  // in a loop).
  virtual void DetachChildren(std::vector<CPointer<CControl>>& out) = 0;

  // True when `control` is this container or sits anywhere below it
  // (children, their children...).
  bool HoldsInSubtree(const CControl* control) const;
  // The container as a CLayerBase, or null for a controller that is not
  // a container.
  static const CLayerBase* AsLayer(const CControl* control);
  static CLayerBase* AsLayer(CControl* control);

 protected:
  // The checks every adoption makes (AddChild, SetChild): kErrInvalidArg for
  // a null child, a child chained behind another controller (Next set), a
  // child bound to an object while owned by no container or bound to
  // another object than this container's, and a child that holds this
  // container (it would close a loop).
  Result CheckAdoptable(const CControl* child) const;
  // Binds `child` to this container's Object and lists this container as
  // its owner; the first failure is answered (kErrNotFound when already
  // listed).
  Result Adopt(CControl* child);
  // Removes this container from `child`'s owners and unbinds the child
  // when no owner is left; the failure of RemoveOwner is answered.
  Result Release(CControl* child);
  // Destroys what `detached` holds, emptying the containers among them
  // first so that no destructor recurses into a nested container.
  static void ReleaseDetached(std::vector<CPointer<CControl>>& detached);
};

// --- KT::CLayer<T> ---------------------------------------------------------------------

template <typename T>
class CLayer : public CLayerBase {
  static_assert(std::is_base_of_v<CControl, T>, "children are controllers");

 public:
  CLayer() = default;
  // A copy holds no children: they stay with the original, whose owner
  // lists name only the containers that really hold them.
  CLayer(const CLayer&) : CLayerBase() {}
  // The concrete container empties the list in its destructor
  // (DestroyChildren), while its controller part can still be named as the
  // owner; by now the list is empty.
  ~CLayer() override = default;

  // --- the container interface --------------------------------------------------------
  // Binds `child` to the container's Object, lists the container as its
  // owner and appends it; marks the container modified. kErrInvalidArg for
  // the refusals of CheckAdoptable; kErrNotFound when the child is in this
  // list already. Nothing changes on a refusal.
  virtual Result AddChild(T* child) {
    const Result r = BindAndAppend(child);
    if (Succeeded(r)) GetLayerControl().SetModified();
    return r;
  }
  // Takes `child` out of the list (later children move down one index);
  // the container leaves its owner list and the child is unbound when no
  // owner is left. kErrInvalidArg for null, an empty list or a child not
  // in the list. Marks the container modified.
  virtual Result RemoveChild(T* child) {
    u32 index = 0;
    const Result r = UnbindAndErase(child, index);
    if (Succeeded(r)) GetLayerControl().SetModified();
    return r;
  }
  // Puts `child` at `index` in place of the child there, which is released
  // as by RemoveChild. kErrInvalidArg for an index past the end and the
  // refusals of CheckAdoptable; kErrNotFound when `child` is in the list
  // already. Marks the container modified.
  virtual Result SetChild(u32 index, T* child) {
    const Result r = Replace(index, child);
    if (Succeeded(r)) GetLayerControl().SetModified();
    return r;
  }
  // Releases every child (as RemoveChild) and empties the list. A failure
  // to unbind a child is answered at once and leaves the list as it was.
  virtual Result RemoveAllChildren() {
    const Result r = UnbindAll();
    if (Succeeded(r)) GetLayerControl().SetModified();
    return r;
  }

  const std::vector<CPointer<T>>& GetChildren() const { return children_; }
  T* GetChild(u32 index) const { return index < children_.size() ? children_[index].Get() : nullptr; }
  u32 GetChildCount() const override { return static_cast<u32>(children_.size()); }
  CControl* GetChildControl(u32 index) const override { return GetChild(index); }
  void DetachChildren(std::vector<CPointer<CControl>>& out) override {
    for (CPointer<T>& child : children_) {
      if (!child) continue;
      Release(child.Get());
      out.emplace_back(child.Get());
    }
    children_.clear();
  }

 protected:
  // --- shared bodies of the container operations ----------------------------------------
  Result BindAndAppend(T* child) {
    Result r = CheckAdoptable(child);
    if (Succeeded(r)) r = Reserve(children_.size() + 1);
    if (Succeeded(r)) r = Adopt(child);
    if (Failed(r)) return r;
    children_.emplace_back(child);
    return kOk;
  }
  // `index` receives the child's former index.
  Result UnbindAndErase(T* child, u32& index) {
    if (child == nullptr || children_.empty()) return kErrInvalidArg;
    u32 i = 0;
    while (i < children_.size() && children_[i].Get() != child) ++i;
    if (i == children_.size()) return kErrInvalidArg;
    // Held while it leaves: the list may hold its only count.
    CPointer<T> keep(child);
    const Result r = Release(child);
    if (Failed(r)) return r;
    children_.erase(children_.begin() + i);
    index = i;
    return kOk;
  }
  Result Replace(u32 index, T* child) {
    if (index >= children_.size()) return kErrInvalidArg;
    Result r = CheckAdoptable(child);
    if (Succeeded(r)) r = Adopt(child);
    if (Failed(r)) return r;
    CPointer<T> old = children_[index];
    children_[index] = child;
    if (old) Release(old.Get());
    return kOk;
  }
  Result UnbindAll() {
    for (CPointer<T>& child : children_) {
      if (!child) continue;
      const Result r = Release(child.Get());
      if (Failed(r)) return r;
    }
    children_.clear();
    return kOk;
  }
  // The container's destructor: releases every child, nested containers
  // in a loop.
  void DestroyChildren() {
    std::vector<CPointer<CControl>> detached;
    DetachChildren(detached);
    ReleaseDetached(detached);
  }

  // --- shared bodies of the controller operations ----------------------------------------
  // Each child's Find in order; the first hit.
  // The walks below pass into nested containers as nested steps (bounded
  // stack, see nested_walk.h).
  CBase* FindInChildren(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
    if (children_.empty()) return nullptr;
    return GetNestedWalk<NestedWalkKind::kFind>().Find([this, name, record, includeDerived, onlyMarked]() -> CBase* {
      for (const CPointer<T>& child : children_) {
        if (!child) continue;
        if (CBase* hit = child->Find(name, record, includeDerived, onlyMarked)) return hit;
      }
      return nullptr;
    });
  }
  void CollectInChildren(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                         bool includeDerived, bool onlyMarked) {
    if (children_.empty()) return;
    GetNestedWalk<NestedWalkKind::kCollect>().Run([this, &out, name, record, includeDerived, onlyMarked]() {
      for (const CPointer<T>& child : children_) {
        if (child) child->Collect(out, name, record, includeDerived, onlyMarked);
      }
      return kOk;
    });
  }
  // Runs every child's UpdateMarked; their answers are not the container's.
  void UpdateMarkedInChildren(const ObjectSet& set) {
    for (const CPointer<T>& child : children_) {
      if (child) child->UpdateMarked(set);
    }
  }
  void ClearMarkedInChildren() {
    if (children_.empty()) return;
    GetNestedWalk<NestedWalkKind::kClearMarked>().Run([this]() {
      for (const CPointer<T>& child : children_) {
        if (child) child->ClearMarked();
      }
      return kOk;
    });
  }
  // Every child's ResolveReferences; the first failure is answered.
  Result ResolveChildReferences(CBase* root) {
    if (children_.empty()) return kOk;
    return GetNestedWalk<NestedWalkKind::kResolve>().Run([this, root]() {
      for (const CPointer<T>& child : children_) {
        if (!child) continue;
        const Result r = child->ResolveReferences(root);
        if (Failed(r)) return r;
      }
      return kOk;
    });
  }
  // Every child reported as an owned reference, in list order.
  void EnumChildReferences(CReferenceVisitor& visitor) {
    for (const CPointer<T>& child : children_) visitor.Visit(child.Get(), 1);
  }
  Result RegisterChildrenForSave(CStream& stream, u32 flags) {
    if (children_.empty()) return kOk;
    return GetNestedWalk<NestedWalkKind::kRegisterForSave>().Run([this, &stream, flags]() {
      for (const CPointer<T>& child : children_) {
        if (!child) continue;
        const Result r = child->RegisterForSave(stream, flags);
        if (Failed(r)) return r;
      }
      return kOk;
    });
  }
  // Clones every child through the map (a child cloned before yields its
  // earlier clone) and adds the clones to `copy` with its AddChild; the
  // first failure is answered. Empty slots are skipped.
  Result CloneChildrenInto(CLayer<T>& copy, CloneMap& cloneMap, u32 flags) {
    for (const CPointer<T>& child : children_) {
      if (!child) continue;
      CPointer<T> clone;
      Result r = CloneMember(clone, cloneMap, child.Get(), flags & ~CControl::kCloneElementOnly);
      if (Succeeded(r)) r = copy.AddChild(clone.Get());
      if (Failed(r)) return r;
    }
    return kOk;
  }
  // The child part of SetObject, after the controller part bound the
  // container: with an object every child is bound to it (a child bound to
  // another object: kErrInvalidArg; a child's failure is answered); with
  // null every child is unbound (a child still held by a bound container
  // keeps its binding).
  // Nested containers are bound as nested steps (bounded stack, see
  // nested_walk.h).
  Result BindChildren(CDorun* object) {
    if (children_.empty()) return kOk;
    return GetNestedWalk<NestedWalkKind::kBind>().Run([this, object]() {
      for (const CPointer<T>& child : children_) {
        if (!child) continue;
        if (object == nullptr) {
          child->SetObject(nullptr);
          continue;
        }
        if (child->GetObject() != nullptr && child->GetObject() != object) return kErrInvalidArg;
        const Result r = child->SetObject(object);
        if (Failed(r)) return r;
      }
      return kOk;
    });
  }
  // Passes ForgetObject on, so that no child keeps a binding to a
  // destroyed object (nested containers as nested steps).
  void ForgetObjectInChildren(const CDorun* object) {
    if (children_.empty()) return;
    GetNestedWalk<NestedWalkKind::kForget>().Run([this, object]() {
      for (const CPointer<T>& child : children_) {
        if (child) child->ForgetObject(object);
      }
      return kOk;
    });
  }
  // Whether this container's children may move to `target`, which will
  // be bound to `object` once the move is done: kErrInvalidArg when the
  // target sits below this container (it would end up holding itself), or
  // when a child is also held by another container and bound to another
  // object than `object` (moving it would leave it bound for the other
  // container but listed by a container of another object). kOk otherwise.
  Result CheckMoveTo(const CLayer<T>& target, const CDorun* object) const {
    if (&target == this) return kOk;
    if (HoldsInSubtree(&target.GetLayerControl())) return kErrInvalidArg;
    const CControl& self = GetLayerControl();
    for (const CPointer<T>& child : children_) {
      if (!child || child->GetObject() == object) continue;
      for (const CControl* owner : child->GetOwners()) {
        if (owner != &self && owner != &target.GetLayerControl()) return kErrInvalidArg;
      }
    }
    return kOk;
  }
  // The container part of CopyTo: the target takes this container's
  // children and this container is left with none; the target's former
  // children are released from it and handed to `displaced`. The owner
  // lists follow the move (each child lists the target instead of this
  // container) and the children are bound to the target's Object. The
  // refusals of CheckMoveTo (against the target's Object) leave both
  // containers as they were.
  Result MoveChildrenTo(CLayer<T>& target, DisplacedList& displaced) const {
    if (&target == this) return kOk;
    CDorun* object = target.GetLayerControl().GetObject();
    const Result r = CheckMoveTo(target, object);
    if (Failed(r)) return r;
    CLayer<T>& self = const_cast<CLayer<T>&>(*this);  // the children move: the source is emptied
    for (CPointer<T>& former : target.children_) {
      if (!former) continue;
      target.Release(former.Get());
      displaced.emplace_back(former.Get());
    }
    target.children_.clear();
    for (CPointer<T>& child : self.children_) {
      if (!child) continue;
      child->RemoveOwner(&self.GetLayerControl());
      // Rebound while no container lists it, since SetObject keeps the
      // binding a listing container has. A child still held elsewhere is
      // bound to `object` already (CheckMoveTo).
      if (!child->HasOwners() && child->GetObject() != object) {
        child->SetObject(nullptr);
        child->SetObject(object);
      }
      child->AddOwner(&target.GetLayerControl());
    }
    target.children_.swap(self.children_);
    return kOk;
  }
  // The largest of 0 and every child's trunc(end time / Frequency).
  i32 GetLatestChildEnd() const {
    i32 end = 0;
    const CEvaluationDepthGuard guard;  // nested containers: bounded
    if (guard.Exceeded()) return end;
    for (const CPointer<T>& child : children_) {
      if (!child) continue;
      const i32 e = child->UnscaleTime(child->GetEndTime());
      if (e > end) end = e;
    }
    return end;
  }

  // --- persistence of the child list ------------------------------------------------------
  // u32 count, then one 8-byte id per child (0 for an empty slot).
  Result WriteChildList(CStream& stream) const { return WriteReferenceVector(stream, children_); }
  u32 GetChildListSaveSize() const { return GetPointerVectorSaveSize(static_cast<u32>(children_.size())); }
  // u32 count, then 8-byte (or, with wideIds false, 4-byte) ids queued for
  // LinkChildList. The count is checked against the bytes left.
  Result ReadChildList(CStream& stream, CStreamLoadRecord& record, bool wideIds) {
    children_.clear();
    return ReadReferenceVector(stream, record, children_, wideIds);
  }
  // Turns the queued ids into children (an id that names no controller of
  // class T leaves an empty slot).
  void ResolveChildIds(CStream& stream, CStreamLoadRecord& record) { LinkPointerVector(stream, record, children_); }
  // Records each child as owned by this container, refusing (kErrNotFound)
  // a child that would close an ownership loop and a child listed twice;
  // then queues the step that, once the whole file is linked, lists this
  // container as owner of each child and binds the children to the
  // container's Object (a child held by a container is not in its object's
  // chain, so nothing else confirms its binding).
  Result ClaimChildren(CStream& stream) {
    std::unordered_set<const CControl*> seen;
    for (const CPointer<T>& child : children_) {
      if (!child) continue;
      Result r = seen.insert(child.Get()).second ? kOk : kErrNotFound;
      if (Succeeded(r)) r = stream.ClaimOwnership(&GetLayerControl(), child.Get());
      if (Failed(r)) {
        // Dropped, so that a refused loop holds no counts either.
        children_.clear();
        return r;
      }
    }
    stream.AddPostLinkStep([this] {
      ConfirmChildren();
      return kOk;
    });
    return kOk;
  }

  std::vector<CPointer<T>> children_;

 private:
  Result Reserve(std::size_t count) {
    try {
      children_.reserve(count);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  }
  void ConfirmChildren() {
    CControl& self = GetLayerControl();
    for (const CPointer<T>& child : children_) {
      if (!child) continue;
      const std::vector<CControl*>& owners = child->GetOwners();
      bool listed = false;
      for (const CControl* owner : owners) listed = listed || owner == &self;
      if (!listed) child->AddOwner(&self);
      CDorun* object = self.GetObject();
      if (object == nullptr) continue;
      if (child->GetObject() == nullptr) child->SetObject(object);
      if (child->GetObject() == object) child->ConfirmBinding();
    }
  }
};

// --- clip arithmetic ---------------------------------------------------------------------
//
// The arithmetic that turns controller time into the time of a clip's
// child. `child` is the clip's child (null when ClipID names no child).
// All of it is defined for any field values a file may hold: sums are
// taken in 64 bits and brought back into the i32 range, float-to-integer
// conversions go through FloatToIntTrunc.

// trunc(child end time / child Frequency) + Padding (the child part 0
// without a child).
i32 GetClipCycleLength(const CClipKey& clip, const CControl* child);
// The child's time t ms after the clip's Time:
//   s = trunc(Frequency x t) (single precision), L = the cycle length;
//   forward: BeginTime while s <= BeginTime (not started yet); L - EndTime
//     from s >= LoopCount x L - EndTime on (finite clips only); else the
//     position of s inside its cycle, trunc(L x frac(s / L));
//   reverse: L - BeginTime, EndTime, trunc(L x (1 - frac(s / L))).
// A cycle length of 0 (an endless clip over a child that ends at 0) has no
// position inside a cycle: the not-yet-started value is answered.
i32 GetClipSourceTime(const CClipKey& clip, const CControl* child, i32 t);
// The child time s bent within the cycle: trunc(L x EaseTransition(s / L,
// TimeWarpType, TimeWarpStrength)); 0 when L is 0.
i32 ApplyClipTimeWarp(const CClipKey& clip, const CControl* child, i32 s);
// Time + trunc(BeginTime / Frequency).
i32 GetClipStartTime(const CClipKey& clip);
// kMaxKeyTime for an endless clip (LoopCount 0); else trunc(LoopCount x L
// - EndTime / Frequency).
i32 GetClipDurationTime(const CClipKey& clip, const CControl* child);
// Time + the duration.
i32 GetClipEndTime(const CClipKey& clip, const CControl* child);
// The start of the cycle that d ms after the clip's Time lies in, in ms
// after Time: n x Lc with Lc = trunc(L / Frequency) and n = d / Lc (toward
// zero), n limited to LoopCount - 1 for a finite clip; 0 when Lc is 0.
i32 GetClipCycleStart(const CClipKey& clip, const CControl* child, i32 d);

// t - clip.Time (the time since the clip's start on the controller's time
// line), kept inside the i32 range.
i32 TimeSinceClip(const CClipKey& clip, i32 t);
// `time` moved by `offset`, kept inside the i32 range.
i32 OffsetTime(i32 time, i32 offset);

// Result of FindActiveClips.
struct ActiveClips {
  i32 code = 0;     // 0 no clips, 1 before the first start, 2/4 between, 3 on a start, 5 after the last
  u32 current = 0;  // the clip playing at t
  u32 next = 0;     // the clip that starts next (current when none)
  i32 untilNext = 0;  // ms from t to the start of `next` (0 when next is current)
};

// Locates t among the clip starts (GetClipStartTime), starting from
// `startIndex`:
//   no clips: code 0;
//   t not before the last clip's Time: current = next = last, code 5;
//   t before the first clip's start: current = next = 0, code 1;
//   t on the start of clip `startIndex` (0 when past the end): code 3;
//   otherwise walks forward (code 4) or backward (code 2) to the clips
//   around t, untilNext = start(next) - t.
// The walk never leaves the list, also when the starts are out of order (a
// negative BeginTime or Frequency from a file): a forward walk that passes
// the last start answers as after the last clip.
ActiveClips FindActiveClips(const std::vector<CClipKey>& clips, i32 t, u32 startIndex);

// --- clip-list helpers shared by the clip controllers ---------------------------------------

// AddClipKey's body.
Result InsertClipKey(std::vector<CClipKey>& clips, const CClipKey& key, f32 framesPerSecond);
// RemoveChild's clip renumbering: from last to first, a clip naming
// `index` is erased and a clip naming a later child moves down one.
void RemoveClipsOfChild(std::vector<CClipKey>& clips, u32 index);
// The duplicate folding: clips naming `from` name `to`, clips naming a
// later child than `from` move down one.
void MergeClipsOfChild(std::vector<CClipKey>& clips, u32 from, u32 to);

// The clip list record: u32 count, then the 82-byte clip keys in order.
Result WriteClipList(CStream& stream, const std::vector<CClipKey>& clips);
// Replaces `clips`: count default keys, each loaded in turn; the first
// failure ends it. A count that cannot fit in the bytes left: kErrStream.
Result ReadClipList(CStream& stream, std::vector<CClipKey>& clips);
u32 GetClipListSaveSize(const std::vector<CClipKey>& clips);
// The clips of the legacy forms: a time array (i32 from version
// timeMajor.timeMinor of the controller on, else f32 truncated), u32
// count, then count LegacyClipRecords (ReadLegacyClipRecord in block or
// field form), each from the defaults, made into clip i with the i-th
// time. A time array shorter than the count: kErrNotFound.
Result ReadLegacyClips(CStream& stream, i32 storedVersion, u32 timeMajor, u32 timeMinor, bool blockForm,
                       std::vector<CClipKey>& clips);
// u32 count and count 24-byte records in one block (FromRecord24).
Result ReadClipRecords24(CStream& stream, std::vector<CClipKey>& clips);
// u32 count and count 20-byte records in one block (FromRecord20).
Result ReadClipRecords20(CStream& stream, std::vector<CClipKey>& clips);
// Group "CClip Member": one array-of-records entry per clip, each
// describing itself.
void DescribeClips(CMemberVisitor& visitor, std::vector<CClipKey>& clips);

// The span collection of a clip controller's CollectTimeSpans for the
// window [t0, t0 + length) of its scaled time; `layer` supplies the
// children. See the source for the steps.
void CollectClipSpans(const CLayerBase& layer, const std::vector<CClipKey>& clips, i32 t0, i32 length,
                      std::vector<i32>& times, std::vector<f32>& priorities, std::vector<f32>& spans,
                      u32 startIndex);
// A clip controller's PickByPriority once its search found clip i (see
// Control::PickByPriority for the answers): 0 nothing taken, 1 span
// narrowed, 2 or 3 taken. Clip times and span ends are in the
// controller's scaled time.
Result PickClipByPriority(const CLayerBase& layer, const std::vector<CClipKey>& clips, i32 t, u32 i,
                          i32& bestTime, i32& pickedTime, f32& bestPriority);

// --- KT::CClip<T> --------------------------------------------------------------------------
//
// The container of a clip controller: the child list, the clip list
// (CClipKey records sorted by Time, at most one per time, each naming a
// child by index), the clip found by the last evaluation (LastIndex) and
// one Static flag per child. Static is set by the exporter, stored and
// copied, and never read by evaluation; it follows the child list (a flag
// appended with each added child, erased with each removed one, cleared
// when a child is replaced).
//
// A clip whose ClipID names no child (out of range, or an empty slot of a
// loaded list) is kept and saved as it is, but treated as absent by every
// evaluation.

template <typename T>
class CClip : public CLayer<T> {
 public:
  // Memory accounting of a clip controller's own members: 96 bytes, one
  // per Static flag, 4 per child and CClipKey::kMemorySize per clip.
  static constexpr u32 kMemoryBase = 96;

  CClip() = default;
  // A copy holds the clip list and LastIndex but no children and so no
  // Static flags (see CLayer).
  CClip(const CClip& other) : CLayer<T>(other), clips_(other.clips_), lastIndex_(other.lastIndex_) {}

  // --- the container interface with the clip bookkeeping ----------------------------------
  // As CLayer's, and a false Static flag is appended.
  Result AddChild(T* child) override {
    Result r = ReserveStatic(static_.size() + 1);
    if (Succeeded(r)) r = this->BindAndAppend(child);
    if (Failed(r)) return r;
    static_.push_back(false);
    this->GetLayerControl().SetModified();
    return kOk;
  }
  // As CLayer's; the child's Static flag is erased, the clips naming it are
  // erased and the clips naming later children are renumbered to follow
  // them (children 0, 1, 2 with clips naming 0, 1, 2 and 1: after removing
  // child 1 the clips name 0 and 1).
  Result RemoveChild(T* child) override {
    u32 index = 0;
    const Result r = this->UnbindAndErase(child, index);
    if (Failed(r)) return r;
    if (index < static_.size()) static_.erase(static_.begin() + index);
    RemoveClipsOfChild(clips_, index);
    this->GetLayerControl().SetModified();
    return kOk;
  }
  // As CLayer's; the Static flag at the index is cleared.
  Result SetChild(u32 index, T* child) override {
    const Result r = this->Replace(index, child);
    if (Failed(r)) return r;
    if (index < static_.size()) static_[index] = false;
    this->GetLayerControl().SetModified();
    return kOk;
  }
  // As CLayer's; every Static flag is dropped. The clips stay.
  Result RemoveAllChildren() override {
    const Result r = this->UnbindAll();
    if (Failed(r)) return r;
    static_.clear();
    this->GetLayerControl().SetModified();
    return kOk;
  }

  // --- clips and flags ------------------------------------------------------------------------
  const std::vector<CClipKey>& GetClips() const { return clips_; }
  u32 GetLastIndex() const { return lastIndex_; }
  const std::vector<bool>& GetStatic() const { return static_; }
  // Adds a clip: its Time snapped to the frame grid at `framesPerSecond`
  // (SnapTimeToFrame); a clip at that exact time is overwritten with every
  // field of `key`, else the key is inserted before the first later clip.
  // Any ClipID is taken (the exporter writes -1 for a clip of no child).
  // Marks modified; kOk, or kErrOutOfMemory (nothing changed).
  Result AddClipKey(const CClipKey& key, f32 framesPerSecond) {
    const Result r = InsertClipKey(clips_, key, framesPerSecond);
    if (Succeeded(r)) this->GetLayerControl().SetModified();
    return r;
  }
  // Sets the Static flag of child `index`; kErrOutOfRange for an index not
  // below the flag count. Marks modified.
  Result SetStatic(u32 index, bool flag) {
    if (index >= static_.size()) return kErrOutOfRange;
    static_[index] = flag;
    this->GetLayerControl().SetModified();
    return kOk;
  }

  // --- arithmetic on clip i -------------------------------------------------------------------
  // The child clip `clip` plays, or null when its ClipID names none.
  T* GetClipChild(const CClipKey& clip) const {
    return clip.ClipID >= 0 ? this->GetChild(static_cast<u32>(clip.ClipID)) : nullptr;
  }
  i32 GetCycleLength(const CClipKey& clip) const { return GetClipCycleLength(clip, GetClipChild(clip)); }
  i32 GetSourceTime(const CClipKey& clip, i32 t) const { return GetClipSourceTime(clip, GetClipChild(clip), t); }
  i32 ApplyTimeWarp(const CClipKey& clip, i32 s) const { return ApplyClipTimeWarp(clip, GetClipChild(clip), s); }
  i32 GetClipStart(u32 i) const { return GetClipStartTime(clips_[i]); }
  i32 GetClipDuration(const CClipKey& clip) const { return GetClipDurationTime(clip, GetClipChild(clip)); }
  i32 GetClipEnd(u32 i) const { return GetClipEndTime(clips_[i], GetClipChild(clips_[i])); }
  i32 GetCycleStart(const CClipKey& clip, i32 d) const { return GetClipCycleStart(clip, GetClipChild(clip), d); }
  // 0 without clips, else the end of the last clip.
  i32 GetClipsEndTime() const { return clips_.empty() ? 0 : GetClipEnd(static_cast<u32>(clips_.size() - 1)); }
  // The clip search of the switching clip controllers, keyed on each
  // clip's Time (not its start) and starting from `startIndex` (0 when past
  // the end): 0 no clips, 1 t before the first clip (index 0 for both), 5 t
  // after the last clip's Time (index = last), else 3 on a clip's Time, 2
  // or 4 between clips (index = the last clip whose Time is not after t).
  i32 FindClip(i32 t, u32 startIndex, u32& index) const {
    const i32 code = FindKeyFloor(t, clips_, startIndex, index);
    if (code == kKeySearchNone || code == kKeySearchBefore) index = 0;
    return code;
  }

 protected:
  Result ReserveStatic(std::size_t count) {
    try {
      static_.reserve(count);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  }
  // Static after a load: one flag per child (missing flags false, extra
  // ones dropped).
  void FitStaticToChildren() { static_.resize(this->children_.size(), false); }
  // The folding of old files (before owner lists were stored) that could
  // list one child twice: for every pair of positions i < j holding the
  // same child, clips naming j name i, clips naming a later position move
  // down one, and entry j leaves the child list and Static.
  void FoldDuplicateChildren() {
    for (std::size_t j = 1; j < this->children_.size();) {
      std::size_t i = 0;
      while (i < j && !(this->children_[j] && this->children_[i] == this->children_[j])) ++i;
      if (i == j) {
        ++j;
        continue;
      }
      MergeClipsOfChild(clips_, static_cast<u32>(j), static_cast<u32>(i));
      this->children_.erase(this->children_.begin() + static_cast<std::ptrdiff_t>(j));
      if (j < static_.size()) static_.erase(static_.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
  // The clip part of a clip controller's CopyTo: the children move (see
  // CLayer::MoveChildrenTo), the target takes a copy of the clips, Static
  // and LastIndex. kErrOutOfMemory or kErrInvalidArg leave both as they
  // were.
  Result CopyClipPartTo(CClip<T>& target, DisplacedList& displaced) const {
    if (&target == this) return kOk;
    std::vector<CClipKey> clips;
    std::vector<bool> flags;
    try {
      clips = clips_;
      flags = static_;
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    const Result r = this->MoveChildrenTo(target, displaced);
    if (Failed(r)) return r;
    target.clips_.swap(clips);
    target.static_.swap(flags);
    target.lastIndex_ = lastIndex_;
    return kOk;
  }
  // Clone's child part: the children cloned into `copy` (each with a
  // false flag), then the Static flags copied over.
  Result CloneClipChildrenInto(CClip<T>& copy, CloneMap& cloneMap, u32 flags) {
    const Result r = this->CloneChildrenInto(copy, cloneMap, flags);
    if (Failed(r)) return r;
    if (copy.static_.size() == static_.size()) copy.static_ = static_;
    return kOk;
  }

  std::vector<CClipKey> clips_;
  u32 lastIndex_ = 0;
  std::vector<bool> static_;
};

// --- KT::CContainerControl<Base, Container> ----------------------------------------------------
//
// A controller of class Base (a CControl) that is also a container
// (Container, a CLayer<T> or CClip<T>). The operations such a controller
// runs on itself and then on each child are written here once: the
// chain-element parts of Find, Collect, marking, reference resolution and
// save registration, SetObject, ForgetObject, EnumReferences and
// HasSubObjects. The destructor releases the children while the controller
// part can still be named as their owner.

template <typename Base, typename Container>
class CContainerControl : public Base, public Container {
  static_assert(std::is_base_of_v<CControl, Base>, "the first base is a controller");
  static_assert(std::is_base_of_v<CLayerBase, Container>, "the second base is a container");

 public:
  CContainerControl() = default;
  // Copies both parts; the copy holds no children (see CLayer).
  CContainerControl(const CContainerControl& other) : Base(other), Container(other) {}
  // Releases every child: each loses this container as owner and is
  // unbound when no other container holds it.
  ~CContainerControl() override { this->DestroyChildren(); }

  CControl& GetLayerControl() override { return *this; }
  const CControl& GetLayerControl() const override { return *this; }

  // Binds the controller (its answer kDone, unchanged, or a failure is
  // answered), then every child (see CLayer::BindChildren).
  Result SetObject(CDorun* object) override {
    const Result r = Base::SetObject(object);
    if (r != kOk) return r;
    return this->BindChildren(object);
  }
  void ForgetObject(const CDorun* object) override {
    Base::ForgetObject(object);
    this->ForgetObjectInChildren(object);
  }
  // Every child (owned), then the controller's own references.
  void EnumReferences(CReferenceVisitor& visitor) override {
    this->EnumChildReferences(visitor);
    Base::EnumReferences(visitor);
  }
  bool HasSubObjects() const override { return this->GetChildCount() > 0 || Base::HasSubObjects(); }

 protected:
  // Runs the children's part of Clone (`step`) as a nested clone step, so
  // containers nested in containers are cloned in bounded stack; `copy`
  // is held until the step has run.
  template <typename Step>
  static Result RunCloneStep(const CPointer<CBase>& copy, Step step) {
    return GetNestedWalk<NestedWalkKind::kClone>().Run([copy, step]() mutable { return step(); });
  }
  // The chain-element parts: this controller, then its children.
  CBase* FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                       bool onlyMarked) override {
    if (CBase* hit = Base::FindInElement(name, record, includeDerived, onlyMarked)) return hit;
    return this->FindInChildren(name, record, includeDerived, onlyMarked);
  }
  void CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) override {
    Base::CollectInElement(out, name, record, includeDerived, onlyMarked);
    this->CollectInChildren(out, name, record, includeDerived, onlyMarked);
  }
  bool UpdateMarkedInElement(const ObjectSet& set) override {
    const bool marked = Base::UpdateMarkedInElement(set);
    this->UpdateMarkedInChildren(set);
    return marked;
  }
  void ClearMarkedInElement() override {
    Base::ClearMarkedInElement();
    this->ClearMarkedInChildren();
  }
  // Every child's first (the first failure answered), then this one's.
  Result ResolveReferencesInElement(CBase* root) override {
    const Result r = this->ResolveChildReferences(root);
    if (Failed(r)) return r;
    return Base::ResolveReferencesInElement(root);
  }
  // The controller's registration; when it answers kDone (registered
  // before) or fails, that answer; else every child's.
  Result RegisterElementForSave(CStream& stream, u32 flags) override {
    const Result r = Base::RegisterElementForSave(stream, flags);
    if (r != kOk) return r;
    return this->RegisterChildrenForSave(stream, flags);
  }
};

// --- KT::CListControl<Base, T> ---------------------------------------------------------------
//
// What the containers of a plain child list (the switchers and selectors)
// share beyond the child visits: the end time, cloning, the moving part of
// CopyTo, linking and the update depth. Each concrete container states its
// evaluation, its own fields and its record, whose child part is the child
// list (WriteChildList, ReadChildList).

template <typename Base, typename T>
class CListControl : public CContainerControl<Base, CLayer<T>> {
 public:
  CListControl() = default;
  // Copies the controller part; the copy holds no children (see CLayer).
  // Clone fills the copy's children.
  CListControl(const CListControl& other) : CContainerControl<Base, CLayer<T>>(other) {}

  // The largest of 0 and every child's trunc(end time / Frequency).
  i32 GetEndTime() const override { return this->GetLatestChildEnd(); }

  // The controller through the clone map (its answer when it was cloned
  // before or failed); then a clone of every child (a child cloned before
  // yields its earlier clone) added to the copy with AddChild; the first
  // failure is answered.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override {
    const Result r = Base::Clone(out, cloneMap, flags);
    if (r != kOk) return r;
    auto* copy = dynamic_cast<CListControl*>(out.Get());
    if (copy == nullptr) return kErrNotFound;
    return this->RunCloneStep(out, [this, copy, &cloneMap, flags]() { return this->CloneChildrenInto(*copy, cloneMap, flags); });
  }
  // The controller part, then the stored child ids become children. A
  // child that would close an ownership loop, or one listed twice,
  // fails with kErrNotFound. Once the file is linked every child lists
  // this container as owner (files from before owner lists stored none)
  // and is bound to its Object.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = Base::Link(stream, record, flags);
    if (Failed(r)) return r;
    this->ResolveChildIds(stream, record);
    return this->ClaimChildren(stream);
  }

 protected:
  // CopyTo's shared part into `other` (the target, already known to be of
  // the concrete class): the checks of CheckMoveTo (kErrInvalidArg,
  // nothing changed), the controller part (Base::CopyTo, which binds the
  // target to this controller's Object), then the children move to the
  // target (see CLayer::MoveChildrenTo).
  Result CopyListTo(CListControl& other, DisplacedList& displaced, u32 flags) const {
    Result r = this->CheckMoveTo(other, this->GetObject());
    if (Succeeded(r)) r = Base::CopyTo(&other, displaced, flags);
    if (Succeeded(r)) r = this->MoveChildrenTo(other, displaced);
    return r;
  }
  // The start of a transform container's evaluation (Base a transform
  // controller) once it is inside the evaluation bound: true when the
  // answer is settled before any child runs, with that answer in
  // `result`: inactive kDone; unbound kErrInvalidArg; bound to an object
  // that is not a spatial kErrNotFound; no children: Local and the world
  // quantities from SlaveMode, kOk (or that step's failure). False, with
  // the bound spatial in `spatial`, when the children are to be evaluated.
  bool SettledWithoutChildren(CSpatial*& spatial, Result& result) {
    result = kDone;
    if (!this->IsActive()) return true;
    result = this->GetBoundSpatial(spatial);
    if (Failed(result)) return true;
    if (this->GetChildCount() != 0) return false;
    result = this->InitFromSlaveMode();
    if (Succeeded(result)) result = kOk;
    return true;
  }
  // The update depth of a container whose children read what they read at
  // its time: the time scaled by Frequency (truncated), then each child's
  // GetUpdateDepth with it; the first failure is answered. kOk.
  Result ChildrenUpdateDepth(i32 time, i32& depth) {
    const i32 scaled = this->ScaleTime(time);
    for (const CPointer<T>& child : this->GetChildren()) {
      if (!child) continue;
      const Result r = child->GetUpdateDepth(scaled, depth);
      if (Failed(r)) return r;
    }
    return kOk;
  }
  // Reference resolution of the containers that ignore their children's
  // answers: each child's, then the controller's own.
  Result ResolveReferencesIgnoringChildren(CBase* root) {
    for (const CPointer<T>& child : this->GetChildren()) {
      if (child) child->ResolveReferences(root);
    }
    return Base::ResolveReferencesInElement(root);
  }
  // Bytes of the child list in memory.
  u32 GetChildListMemorySize() const { return 4 * this->GetChildCount(); }

  // The child the last evaluation ran (for containers whose Apply hands on
  // to it); none after construction, in copies and after an evaluation
  // that ran no child.
  void SetEvaluatedChild(u32 index) { evaluated_ = index; }
  void ClearEvaluatedChild() { evaluated_ = kNoChild; }
  // The Apply of that child (it writes what its Update evaluated); kOk
  // when there is none (or it has left the list).
  Result ApplyEvaluatedChild() {
    T* child = this->GetChild(evaluated_);
    return child != nullptr ? child->Apply() : kOk;
  }

 private:
  static constexpr u32 kNoChild = 0xFFFFFFFFu;
  u32 evaluated_ = kNoChild;
};

// --- KT::CClipControl<Base, T> ---------------------------------------------------------------
//
// What the clip controllers (transform, data and UVW-map) share beyond the
// child visits: the end time, cloning, CopyTo, linking, the sizes, the
// start of Load, the member description and the priority, span and pick
// steps around the clip in force. Each concrete clip controller states its
// search, its evaluation and its record.
//
// Record part of every clip controller (after Base's): the version pair,
// then the child list, Static and the clip list in the order of the class;
// GetSaveSize = Base's + 8 + child list + (4 + one byte per Static flag) +
// clip list.

template <typename Base, typename T>
class CClipControl : public CContainerControl<Base, CClip<T>> {
 public:
  CClipControl() = default;
  // Copies the controller part, the clips and LastIndex; the copy holds no
  // children (and so no Static flags). Clone fills the copy's children.
  CClipControl(const CClipControl& other) : CContainerControl<Base, CClip<T>>(other) {}

  // The end of the last clip (GetClipEnd); 0 without clips.
  i32 GetEndTime() const override { return this->GetClipsEndTime(); }

  // The controller (and its chain) through the clone map, then a clone of
  // every child added to the copy; the Static flags follow.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override {
    const Result r = Base::Clone(out, cloneMap, flags);
    if (r != kOk) return r;
    auto* copy = dynamic_cast<CClipControl*>(out.Get());
    if (copy == nullptr) return kErrNotFound;
    return this->RunCloneStep(out, [this, copy, &cloneMap, flags]() {
      return this->CloneClipChildrenInto(*copy, cloneMap, flags);
    });
  }
  // Into a clip controller of the same class (else kErrNotFound; one below
  // this controller, or a child also held for another object:
  // kErrInvalidArg; nothing changed then): the controller
  // part, then the children move to the target (this controller is left
  // with none; the target's former children go to `displaced`), and the
  // target takes the clips, Static and LastIndex.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override {
    auto* other = dynamic_cast<CClipControl*>(target);
    if (other == nullptr) return kErrNotFound;
    // Checked before anything is copied. The controller part binds the
    // target to this controller's Object.
    Result r = this->CheckMoveTo(*other, this->GetObject());
    if (Succeeded(r)) r = Base::CopyTo(target, displaced, flags);
    if (Failed(r)) return r;
    return this->CopyClipPartTo(*other, displaced);
  }
  // Resolves the children. A child that would close an ownership loop, or
  // is listed twice in a file that stores owner lists, fails with
  // kErrNotFound; files from before owner lists fold duplicates. Static is
  // fitted to the children (records without flags get one false per
  // child).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = Base::Link(stream, record, flags);
    if (Failed(r)) return r;
    this->ResolveChildIds(stream, record);
    if (foldDuplicatesOnLink_) this->FoldDuplicateChildren();
    this->FitStaticToChildren();
    return this->ClaimChildren(stream);
  }
  u32 GetMemorySize() const override {
    return Base::GetMemorySize() + static_cast<u32>(this->static_.size()) + 4 * this->GetChildCount() +
           CClipKey::kMemorySize * static_cast<u32>(this->clips_.size()) + CClip<T>::kMemoryBase;
  }
  u32 GetSaveSize() const override {
    return Base::GetSaveSize() + 12 + static_cast<u32>(this->static_.size()) + GetClipListSaveSize(this->clips_) +
           this->GetChildListSaveSize();
  }

 protected:
  // The start of Load: Base's part, then the version block of the class
  // `own` (a newer version: kErrNewerVersion); the clips, flags and
  // LastIndex are emptied and `version` receives the stored version.
  Result BeginClipLoad(CStream& stream, CStreamLoadRecord& record, u32 flags, const ClassRecord& own,
                       i32& version) {
    Result r = Base::Load(stream, record, flags);
    if (Failed(r)) return r;
    // Files from before owner lists may list a child twice (see Link).
    foldDuplicatesOnLink_ =
        stream.GetStoredVersion(CControl::StaticClassRecord()) < static_cast<i32>(CControl::kVersionOwners);
    r = stream.ReadVersionBlock(own);
    if (Failed(r)) return r;
    version = stream.GetStoredVersion(own);
    this->clips_.clear();
    this->static_.clear();
    this->lastIndex_ = 0;
    return kOk;
  }
  // Group `group`: "LastIndex" and (with `withStatic`) "Static"; then the
  // clips (DescribeClips), then Base's members.
  void DescribeClipControl(CMemberVisitor& visitor, const char16_t* group, bool withStatic) {
    const std::vector<u8> flags(this->static_.begin(), this->static_.end());
    visitor.BeginGroup(group);
    visitor.OpenGroup();
    visitor.UInt(u"LastIndex", &this->lastIndex_);
    if (withStatic) visitor.FlagArray(u"Static", flags.data(), static_cast<u32>(flags.size()));
    visitor.EndGroup();
    DescribeClips(visitor, this->clips_);
    Base::DescribeMembers(visitor);
  }
  // Priority is a per-frame value, not an edit: set without marking the
  // controller modified.
  void SetFramePriority(f32 priority) {
    const bool modified = this->IsModified();
    this->SetPriority(priority);
    this->SetModified(modified);
  }
  // The priority step of UpdatePriority once the search has put the clip in
  // force at LastIndex for the scaled time t (`inClip` false: no clips, or
  // t before the first one). Without a clip in force, or with one of no
  // child: Priority 0, kDone. Past the clip's end (after it, or from it on
  // with `endIncluded`) when the clip does not Persist and the next clip
  // does not start within 8 ms of both t and that end: Priority
  // `afterEnd`, kOk. Else the child's UpdatePriority at its time in the
  // cycle, and Priority = the child's + the clip's; kOk (a child's failure
  // is answered).
  Result UpdatePriorityAtClip(i32 t, bool inClip, bool endIncluded, f32 afterEnd) {
    const CEvaluationDepthGuard guard;  // nested containers: bounded
    if (guard.Exceeded()) return kErrInvalidArg;
    const std::vector<CClipKey>& clips = this->clips_;
    const u32 index = this->lastIndex_;
    const CClipKey* clip = inClip && index < clips.size() ? &clips[index] : nullptr;
    T* child = clip != nullptr ? this->GetClipChild(*clip) : nullptr;
    if (child == nullptr) {
      SetFramePriority(0.0f);
      return kDone;
    }
    const i64 end = this->GetClipEnd(index);
    bool near = false;
    if (index + 1 < clips.size()) {
      // A clip that ends where the next one starts keeps its priority over
      // the seam.
      const i64 nextStart = this->GetClipStart(index + 1);
      near = std::llabs(t - nextStart) < 8 && std::llabs(end - nextStart) < 8;
    }
    const bool past = endIncluded ? t >= end : t > end;
    if (!clip->Persist && past && !near) {
      SetFramePriority(afterEnd);
      return kOk;
    }
    const i32 since = TimeSinceClip(*clip, t);
    const i64 inCycle = static_cast<i64>(since) - this->GetCycleStart(*clip, since);
    const Result r = child->UpdatePriority(FloatToIntTrunc(clip->Frequency * static_cast<f32>(inCycle)));
    if (Failed(r)) return r;
    SetFramePriority(child->GetPriority() + clip->Priority);
    return kOk;
  }
  // GetPriority (time) once a search has found clip `index` for the scaled
  // time t (`inClip` false: no clips, or t before the first one): the
  // clip's Priority plus its child's priority at its source time; without
  // a clip in force, or with one of no child, the controller's own Priority.
  f32 PriorityAtClip(i32 t, bool inClip, u32 index) const {
    const CEvaluationDepthGuard guard;  // nested containers: bounded
    if (guard.Exceeded()) return Base::GetPriority();
    const std::vector<CClipKey>& clips = this->clips_;
    const CClipKey* clip = inClip && index < clips.size() ? &clips[index] : nullptr;
    const T* child = clip != nullptr ? this->GetClipChild(*clip) : nullptr;
    if (child == nullptr) return Base::GetPriority();
    return clip->Priority + child->GetPriority(this->GetSourceTime(*clip, TimeSinceClip(*clip, t)));
  }
  // CollectTimeSpans of the controllers that report their clips' spans:
  // when active, CollectClipSpans for the window scaled by Frequency.
  Result CollectScaledClipSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                                std::vector<f32>& spans) {
    if (!this->IsActive()) return kOk;
    CollectClipSpans(*this, this->clips_, this->ScaleTime(start), this->ScaleTime(duration), times, priorities,
                     spans, this->lastIndex_);
    return kOk;
  }
  // PickClipByPriority at clip LastIndex for the scaled time t, with the
  // span ends scaled by Frequency on the way in and back on the way out.
  Result PickAtClip(i32 t, i32& bestTime, i32& pickedTime, f32& bestPriority) {
    const i32 scaledBest = this->ScaleTime(bestTime);
    const i32 scaledPicked = this->ScaleTime(pickedTime);
    i32 best = scaledBest;
    i32 picked = scaledPicked;
    const Result r = PickClipByPriority(*this, this->clips_, t, this->lastIndex_, best, picked, bestPriority);
    // Only the ends the pick moved come back, so that an open end (the
    // largest key time) is not lost to the round trip through the scale.
    if (best != scaledBest) bestTime = this->UnscaleTime(best);
    if (picked != scaledPicked) pickedTime = this->UnscaleTime(picked);
    return r;
  }

 private:
  bool foldDuplicatesOnLink_ = false;
};

}  // namespace KT
