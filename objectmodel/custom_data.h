// KT::CCustomData: base of the small records carried beside scene content
// (which application wrote a file, opaque bytes, XML text).
//
// Records form a chain: each holds a counted reference to the Next one, so
// one reference carries any number of them. Chain operations run as loops,
// so a long chain costs no stack, and no operation lets a chain loop back on
// itself.
#pragma once

#include "objectmodel/base.h"

namespace KT {

class CCustomData : public CBase {
  KT_DECLARE_CLASS(CCustomData)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionWideNext = 201;     // Next stored as an 8-byte id from here on
  static constexpr u32 kVersionNoLegacyInfo = 202;  // below: a string and two words before Next

  CCustomData() = default;
  // A copy has the source's Name and no Next.
  CCustomData(const CCustomData& other) : CBase(other) {}
  // Assignment copies the Name only; the chain stays as it is.
  CCustomData& operator=(const CCustomData& other) {
    CBase::operator=(other);
    return *this;
  }
  ~CCustomData() override;

  CCustomData* GetNext() const { return next_.Get(); }
  // Sets Next (null clears it) and marks the object modified.
  // kErrInvalidArg when `next`'s chain leads back to this record.
  Result SetNext(CCustomData* next);

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  // Clones this record and every record after it; the clone chain has the
  // same order.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Copies Name into a target of this record's class (else kErrNotFound);
  // the target then shares this record's Next, its former Next going to
  // `displaced`. kErrInvalidArg when the target is in this record's chain.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Registers this record and the rest of its chain.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  // Copies the CCustomData part into `target`, which the caller has checked.
  Result CopyChainPart(CCustomData* target, DisplacedList& displaced) const;

 private:
  // Assigns Next while linking; refuses a link that would close a loop.
  Result LinkNext(CStream& stream, CCustomData* owner, u64 id);

  CPointer<CCustomData> next_;
  // How many ids Load queued ahead of Next (the legacy leading block).
  u32 legacyIds_ = 0;
};

// Registers the creators of the custom data classes with the class factory;
// readers that want extension records back call it.
void RegisterCustomDataClasses();

}  // namespace KT
