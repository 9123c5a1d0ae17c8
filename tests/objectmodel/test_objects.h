// Small test-only objects built on the custom data classes, for the tests
// of the root protocol, counted pointers and collectors.
#pragma once

#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/raw_data.h"

namespace KT::test {

// A raw-data record that counts how often it is destroyed.
class CCountedRaw : public CRawData {
 public:
  CCountedRaw() = default;
  CCountedRaw(const CCountedRaw& other) : CRawData(other) {}
  ~CCountedRaw() override { ++destroyed; }

  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  static inline int destroyed = 0;
};

// A custom data record that owns a list of sub-objects and keeps one plain
// (not owned) reference: a container in the sense of the root protocol.
// Its class record stays the "CCustomData" one.
class CHolder : public CCustomData {
 public:
  CHolder() = default;
  // Sub-objects are Clone's business; the copy has none.
  CHolder(const CHolder& other) : CCustomData(other) {}

  std::vector<CPointer<CBase>> children;  // owned, cloned with the holder
  CPointer<CBase> link;                   // not owned: remapped, never cloned

  // When set, every RemapReferences call appends its object here.
  static inline std::vector<const CBase*>* remapLog = nullptr;

  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override {
    if (Matches(name, record, includeDerived, onlyMarked)) return this;
    for (const CPointer<CBase>& child : children) {
      if (CBase* found = child->Find(name, record, includeDerived, onlyMarked)) return found;
    }
    return nullptr;
  }

  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override {
    CBase::Collect(out, name, record, includeDerived, onlyMarked);
    for (const CPointer<CBase>& child : children) child->Collect(out, name, record, includeDerived, onlyMarked);
  }

  bool UpdateMarked(const ObjectSet& set) override {
    bool marked = CBase::UpdateMarked(set);
    for (const CPointer<CBase>& child : children) marked = child->UpdateMarked(set) || marked;
    SetMarked(marked);
    return marked;
  }

  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override {
    Result r = CBase::Clone(out, cloneMap, flags);
    if (r != kOk) return r;
    CHolder* copy = static_cast<CHolder*>(out.Get());
    copy->link = link;  // pointed at its clone by RemapReferences
    for (const CPointer<CBase>& child : children) {
      CPointer<CBase> clone;
      r = CloneObject(clone, cloneMap, child.Get(), flags);
      if (Failed(r)) return r;
      copy->children.push_back(clone);
    }
    return kOk;
  }

  Result RemapReferences(const CloneMap& cloneMap) override {
    if (remapLog != nullptr) remapLog->push_back(this);
    return RemapReference(link, cloneMap);
  }
};

// Makes a counted object of class T with a name.
template <typename T>
CPointer<T> Make(const char16_t* name) {
  CPointer<T> object(new T());
  object->SetName(name);
  return object;
}

}  // namespace KT::test
