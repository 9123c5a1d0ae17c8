// KT::CTargetRef<T>: the uncounted reference of a controller or a key to a
// scene object it reads (a constraint's target, a key's path or look-at
// object).
//
// The reference does not own its target: it adds no reference count, the
// controller neither registers the target for saving nor clones it, and
// the target must be saved with the scene that holds it. On disk it is the
// target's 64-bit object id (0 when empty).
//
// Life of a reference through the object model:
//   Load   reads the id and keeps it pending; the target is empty.
//   Link   resolves the pending id through the stream's object table. The
//          owner links its references in the order it read them, so the
//          n-th id read is the n-th resolved. An id that is 0, unknown or
//          of an object that is not a T leaves the reference empty. Once
//          the tree is linked, DropUnlessHeld empties a reference to a
//          target that the delivered roots do not keep alive.
//   Clone  the copy points at the same target; RemapReferences then
//          replaces it by the target's copy when the clone map holds one.
//   ResolveReferences  re-finds a set target by its Name and class T
//          (derived classes included) under a root; a name no longer found
//          empties the reference.
// The stream keeps every object it loaded alive while it exists, so a
// reference resolved at link cannot dangle before the caller has taken the
// roots it wants.
#pragma once

#include "objectmodel/base.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

template <typename T>
class CTargetRef {
 public:
  // Bytes the reference takes in a record.
  static constexpr u32 kSaveSize = 8;

  CTargetRef() = default;
  explicit CTargetRef(T* target) : target_(target) {}

  T* Get() const { return target_; }
  T* operator->() const { return target_; }
  explicit operator bool() const { return target_ != nullptr; }
  void Set(T* target) {
    target_ = target;
    pendingId_ = 0;
  }
  // The id read by Load and not linked yet (0 when none).
  u64 GetPendingId() const { return pendingId_; }
  bool operator==(const CTargetRef& other) const { return target_ == other.target_; }

  // Writes the target's object id (0 when empty).
  Result Save(CStream& stream) const { return WriteObjectId(stream, target_); }
  // Reads an 8-byte id and keeps it pending; the target becomes empty. A
  // short stream answers its code and leaves nothing pending.
  Result Load(CStream& stream) {
    target_ = nullptr;
    pendingId_ = 0;
    return ReadU64(stream, pendingId_);
  }
  // Makes `id` the pending id, as Load does from a stream.
  void SetPendingId(u64 id) {
    target_ = nullptr;
    pendingId_ = id;
  }
  // Resolves the pending id (see above) and forgets it.
  void Link(CStream& stream) {
    target_ = DynamicCast<T>(stream.ObjectFromId(pendingId_));
    pendingId_ = 0;
  }
  // Empties the reference when the roots a load delivers do not keep the
  // target alive with `holder` (CStream::CanReferTo), so that it never
  // outlives its target once the stream is gone. Owners call it from a
  // post-link step (CStream::AddPostLinkStep), when the whole tree is
  // linked.
  void DropUnlessHeld(CStream& stream, const CBase* holder) {
    if (target_ != nullptr && !stream.CanReferTo(holder, target_)) target_ = nullptr;
  }
  // The target's copy when the clone map holds one (and it is a T), else
  // unchanged.
  void Remap(const CloneMap& cloneMap) {
    if (target_ == nullptr) return;
    const auto it = cloneMap.find(target_);
    if (it != cloneMap.end()) target_ = DynamicCast<T>(it->second.Get());
  }
  // Re-finds a set target under `root` by its Name and class; empty when
  // not found. A null root changes nothing (the caller answers the
  // refusal).
  void ResolveByName(CBase* root) {
    if (target_ == nullptr || root == nullptr) return;
    const WString name = target_->GetName();
    target_ = DynamicCast<T>(root->Find(name.c_str(), &T::StaticClassRecord(), true, false));
  }

 private:
  T* target_ = nullptr;
  u64 pendingId_ = 0;
};

}  // namespace KT
