// Walks of a class over the objects it owns in fixed slots or lists (a
// style's fill style or bitmap, a shape's styles and edges, a group's
// shapes and instances, a tree's references, a placed tree's tree).
//
// Such slots may own any object, so a file can nest owners inside owners
// as deep as its size allows. Every step here descends as one
// nested step of the object model's bounded walks (objectmodel/
// nested_walk.h): the stack stays bounded however deep the nesting.
// The lists are taken by value, since a step past the depth bound runs
// after its caller has returned; null entries are skipped.
#pragma once

#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/dorun.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"

namespace KT::owned_walk {

using List = std::vector<CBase*>;

// The pointers of a list of counted references.
template <typename T>
List Of(const std::vector<CPointer<T>>& slots) {
  List refs;
  refs.reserve(slots.size());
  for (const CPointer<T>& slot : slots) refs.push_back(slot.Get());
  return refs;
}

// The first hit of the objects' Find, in list order.
inline CBase* Find(List refs, const char16_t* name, const ClassRecord* record, bool includeDerived,
                   bool onlyMarked) {
  return GetNestedWalk<NestedWalkKind::kFind>().Find([refs = std::move(refs), name, record, includeDerived,
                                                      onlyMarked]() -> CBase* {
    for (CBase* object : refs) {
      if (object == nullptr) continue;
      if (CBase* hit = object->Find(name, record, includeDerived, onlyMarked)) return hit;
    }
    return nullptr;
  });
}

inline void Collect(List refs, std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                    bool includeDerived, bool onlyMarked) {
  GetNestedWalk<NestedWalkKind::kCollect>().Run(
      [refs = std::move(refs), &out, name, record, includeDerived, onlyMarked]() {
        for (CBase* object : refs) {
          if (object != nullptr) object->Collect(out, name, record, includeDerived, onlyMarked);
        }
        return kOk;
      });
}

// The OR of every object's answer (each is asked). `key` identifies the
// asking level; run again, the step gives the same answer.
inline bool UpdateMarked(const void* key, List refs, const ObjectSet& set) {
  return GetNestedQuery<NestedQueryKind::kObjectMarked>().Run(key, false, [refs = std::move(refs), &set]() {
    bool marked = false;
    for (CBase* object : refs) {
      if (object != nullptr) marked = object->UpdateMarked(set) || marked;
    }
    return marked;
  });
}

inline void ClearMarked(List refs) {
  GetNestedWalk<NestedWalkKind::kClearMarked>().Run([refs = std::move(refs)]() {
    for (CBase* object : refs) {
      if (object != nullptr) object->ClearMarked();
    }
    return kOk;
  });
}

// The first failure ends it.
inline Result ResolveReferences(List refs, CBase* root) {
  return GetNestedWalk<NestedWalkKind::kResolve>().Run([refs = std::move(refs), root]() {
    for (CBase* object : refs) {
      if (object == nullptr) continue;
      const Result r = object->ResolveReferences(root);
      if (Failed(r)) return r;
    }
    return kOk;
  });
}

// The first failure ends it.
inline Result RegisterForSave(List refs, CStream& stream, u32 flags) {
  return GetNestedWalk<NestedWalkKind::kRegisterForSave>().Run([refs = std::move(refs), &stream, flags]() {
    for (CBase* object : refs) {
      if (object == nullptr) continue;
      const Result r = object->RegisterForSave(stream, flags);
      if (Failed(r)) return r;
    }
    return kOk;
  });
}

// Every entry as an owned reference (empty ones included).
inline void EnumReferences(const List& refs, CReferenceVisitor& visitor) {
  for (CBase* object : refs) visitor.Visit(object, 1);
}

// Each scene-content object's CollectAnimated; answers are not used.
inline void CollectAnimated(const List& refs, std::vector<CDorun*>& animated) {
  for (CBase* object : refs) {
    if (CDorun* dorun = DynamicCast<CDorun>(object)) dorun->CollectAnimated(animated);
  }
}

// Clones `object` through the map as one nested step and hands the clone,
// as a T, to `take`; the first failure is answered (a clone of another
// class: kErrNotFound).
template <typename T, typename Take>
Result CloneInto(CBase* object, CloneMap& cloneMap, u32 flags, Take take) {
  return GetNestedWalk<NestedWalkKind::kClone>().Run([object, &cloneMap, flags, take]() mutable -> Result {
    CPointer<CBase> clone;
    const Result r = CloneObject(clone, cloneMap, object, flags);
    if (Failed(r)) return r;
    T* typed = DynamicCast<T>(clone.Get());
    if (typed == nullptr) return kErrNotFound;
    take(typed);
    return kOk;
  });
}

}  // namespace KT::owned_walk
