// KT::CBase: the root of every persistent object.
//
// Each object has a name, a Modified and a Marked flag, an intrusive
// reference count (kept by KT::CPointer) and a process-wide unique id taken
// at construction and given back at destruction. The virtual protocol below
// lets the rest of the system find, clone, load, link, save, describe and
// measure objects without knowing their class.
#pragma once

#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "objectmodel/class_record.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/object_heap.h"
#include "objectmodel/pointer.h"
#include "objectmodel/types.h"

namespace KT {

class CBase;
class CStream;
struct CStreamLoadRecord;

// Source object -> its clone, so that a shared sub-graph is cloned once and
// stays shared.
using CloneMap = std::unordered_map<const CBase*, CPointer<CBase>>;
// Objects displaced by CopyTo; the caller keeps them alive as long as needed.
using DisplacedList = std::vector<CPointer<CBase>>;
// The set given to UpdateMarked.
using ObjectSet = std::unordered_set<const CBase*>;

// Declares the class-record plumbing of a concrete or abstract class whose
// record is `Name` in the start-up table.
#define KT_DECLARE_CLASS(Name)                                                           \
 public:                                                                                 \
  static constexpr ::KT::ClassIndex kClassIndex = ::KT::ClassIndex::Name;                \
  static const ::KT::ClassRecord& StaticClassRecord() {                                  \
    return ::KT::GetClassRecordAt(kClassIndex);                                          \
  }                                                                                      \
  const ::KT::ClassRecord& GetClassRecord() const override { return StaticClassRecord(); } \
  ::KT::u32 GetVersion() const override { return StaticClassRecord().Version(); }

class CBase {
 public:
  static constexpr ClassIndex kClassIndex = ClassIndex::CBase;
  static const ClassRecord& StaticClassRecord() { return GetClassRecordAt(kClassIndex); }

  // Version gates of the CBase part of a record.
  static constexpr u32 kVersionWideId = 200;  // above this the id is 8 bytes

  CBase();
  // A copy has the source's Name only: both flags false, no references, a
  // fresh unique id.
  CBase(const CBase& other);
  // Assignment copies the Name only; flags, count and id stay.
  CBase& operator=(const CBase& other);

  // Every object lives in the object heap (see object_heap.h), which keeps
  // and reuses the memory of freed objects.
  static void* operator new(std::size_t size) { return ObjectHeap::Allocate(size); }
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return ObjectHeap::TryAllocate(size); }
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void* block) noexcept { ObjectHeap::Release(block); }
  static void operator delete(void* block, const std::nothrow_t&) noexcept { ObjectHeap::Release(block); }
  static void operator delete(void*, void*) noexcept {}
  // Over-aligned classes, should there be any, take the global heap.
  static void* operator new(std::size_t size, std::align_val_t align) { return ::operator new(size, align); }
  static void operator delete(void* block, std::align_val_t align) noexcept { ::operator delete(block, align); }

  // --- virtual protocol, in slot order ---------------------------------

  // Points stored references at their clones; CBase has none.
  virtual Result RemapReferences(const CloneMap& cloneMap);
  virtual ~CBase() = 0;
  // The object itself when it passes the filters (null name or exact name;
  // null record, exact class, or a kind of it when includeDerived; Marked
  // when onlyMarked), else null. Containers search their sub-objects too.
  virtual CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked);
  // Appends every object that passes the same filters; keeps duplicates.
  virtual void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                       bool includeDerived, bool onlyMarked);
  // Marked = the object is in the set (containers OR in their sub-objects).
  virtual bool UpdateMarked(const ObjectSet& set);
  virtual void ClearMarked();
  virtual Result ResolveReferences(CBase* root);
  virtual const ClassRecord& GetClassRecord() const;
  virtual u32 GetVersion() const;
  // A new object of the object's own class made with its copy constructor.
  // Abstract classes answer kErrInvalidArg.
  virtual Result CreateInstance(CPointer<CBase>& out) const;
  // Deep copy through the clone map: kDone with the earlier clone when the
  // object is already in the map; else CreateInstance and record it.
  virtual Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags);
  // Copies this class's fields into a target of the same kind; counted
  // members are shared and the target's former ones go to `displaced`.
  virtual Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const;
  virtual Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags);
  virtual Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags);
  // Puts the object (and what it owns) into the stream's save list; kDone
  // when the stream already has it.
  virtual Result RegisterForSave(CStream& stream, u32 flags);
  virtual Result PrepareRuntime(void* context);
  virtual Result Save(CStream& stream, u32 flags);
  // Unused slots; every class answers kErrInvalidArg.
  virtual Result Reserved17(void* a, void* b);
  virtual Result Reserved18(void* a, void* b);
  virtual void DescribeMembers(CMemberVisitor& visitor);
  virtual void EnumReferences(CReferenceVisitor& visitor);
  virtual u32 GetMemorySize() const;
  // The exact number of bytes Save writes, record head included.
  virtual u32 GetSaveSize() const;
  virtual bool HasSubObjects() const;

  // --- non-virtual -------------------------------------------------------

  bool IsKindOf(const ClassRecord& record) const { return GetClassRecord().IsKindOf(record); }
  // Gathers every object under this one (with Collect) and remaps each, in
  // address order; the first failure is returned.
  Result RemapAllReferences(const CloneMap& cloneMap);

  const WString& GetName() const { return name_; }
  void SetName(const WString& name) {
    name_ = name;
    modified_ = true;
  }
  bool IsModified() const { return modified_; }
  void SetModified(bool modified = true) { modified_ = modified; }
  bool IsMarked() const { return marked_; }
  void SetMarked(bool marked) { marked_ = marked; }
  u32 GetReferences() const { return references_; }
  u64 GetUniqueId() const { return uniqueId_; }

  // Count maintenance for KT::CPointer; nothing else calls these.
  void AddReference() { ++references_; }
  void ReleaseReference() {
    if (--references_ == 0) Destroy();
  }

 protected:
  // The CBase filter test shared by Find and Collect.
  bool Matches(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) const;

 private:
  // Runs the virtual destructor; out of line, so that callers which hold
  // several counts of one object do not see the deletion inlined.
  void Destroy();

  bool modified_ = false;
  bool marked_ = false;
  WString name_;
  u32 references_ = 0;
  u64 uniqueId_ = 0;
};

// The object when it is of the record's class or derived from it, else null.
CBase* DynamicCast(CBase* object, const ClassRecord& record);
const CBase* DynamicCast(const CBase* object, const ClassRecord& record);

template <typename T>
T* DynamicCast(CBase* object) {
  return static_cast<T*>(DynamicCast(object, T::StaticClassRecord()));
}
template <typename T>
const T* DynamicCast(const CBase* object) {
  return static_cast<const T*>(DynamicCast(object, T::StaticClassRecord()));
}

// Clones `object` into a temporary and, on 0 or kDone, hands it to `out`.
Result CloneObject(CPointer<CBase>& out, CloneMap& cloneMap, CBase* object, u32 flags);

// Typed form: clones `object` and assigns the clone to `out` (null object:
// `out` is cleared, kOk).
template <typename T>
Result CloneMember(CPointer<T>& out, CloneMap& cloneMap, T* object, u32 flags) {
  if (object == nullptr) {
    out = nullptr;
    return kOk;
  }
  CPointer<CBase> clone;
  const Result r = CloneObject(clone, cloneMap, object, flags);
  if (Failed(r)) return r;
  out = DynamicCast<T>(clone.Get());
  return out ? r : kErrNotFound;
}

// Points `member` at the clone of its current object; an object missing
// from the map is kErrCloneMissing. An empty member stays empty.
template <typename T>
Result RemapReference(CPointer<T>& member, const CloneMap& cloneMap) {
  if (!member) return kOk;
  const auto it = cloneMap.find(member.Get());
  if (it == cloneMap.end()) return kErrCloneMissing;
  T* target = DynamicCast<T>(it->second.Get());
  if (target == nullptr) return kErrNotFound;
  member = target;
  return kOk;
}

// Used by CopyTo: the target's current object (if any) goes to `displaced`,
// then the target shares the source's object. Always kOk.
template <typename T, typename U>
Result AssignPointerMember(DisplacedList& displaced, const CPointer<U>& source, CPointer<T>& target) {
  if (target) displaced.emplace_back(target.Get());
  target = source.Get();
  return kOk;
}

// The list form of AssignPointerMember: every former element of `target`
// goes to `displaced`, then `target` becomes a copy of `source` (one more
// count per element). Always kOk.
template <typename T, typename U>
Result AssignPointerVectorMember(DisplacedList& displaced, const std::vector<CPointer<U>>& source,
                                 std::vector<CPointer<T>>& target) {
  for (const CPointer<T>& former : target) {
    if (former) displaced.emplace_back(former.Get());
  }
  std::vector<CPointer<T>> copy;
  copy.reserve(source.size());
  for (const CPointer<U>& element : source) copy.emplace_back(element.Get());
  target = std::move(copy);
  return kOk;
}

}  // namespace KT
