// KT::CSwitcherControl<Derived, Base, Key>: what the transform and data
// switchers share: a plain child list (controllers/core/layer.h) and a
// time-sorted track of channel keys (Key, a key class with a `Channel`
// field) that name children by index.
//
// Shared record part, after Base's: the class's version pair, the child
// list (u32 count, 8-byte ids), then the keys (u32 count, key records).
// Records before the class's key-record version store the keys as parallel
// arrays instead; Derived reads them in
//   static Result ReadLegacyKeys(CStream&, std::vector<Key>&);
// Derived declares its class (KT_DECLARE_CLASS), its copy constructor and
// its evaluation.
#pragma once

#include <new>
#include <vector>

#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"
#include "controllers/core/layer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

template <typename Derived, typename Base, typename Key>
class CSwitcherControl : public CListControl<Base, Base> {
 public:
  // The key search cache is not copied: a copy starts at 0.
  using KeyTrack = CKeyTrack<Key, TrackCacheCopy::kReset>;
  // Version gate of the record.
  static constexpr u32 kVersionKeyRecords = 101;  // key records instead of parallel arrays

  CSwitcherControl() = default;
  // Copies the controller part and the keys; no children (Clone fills the
  // copy's children).
  CSwitcherControl(const CSwitcherControl& other) : CListControl<Base, Base>(other), keys_(other.keys_) {}

  // --- channel keys ------------------------------------------------------------------------
  const KeyTrack& GetKeys() const { return keys_; }
  // Replaces every key (expected in ascending Time order, taken as given).
  // Marks modified; kErrOutOfMemory leaves the keys as they were.
  Result SetKeys(const std::vector<Key>& keys) {
    const Result r = keys_.Assign(keys);
    if (Succeeded(r)) this->SetModified();
    return r;
  }

  // --- root protocol --------------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override {
    try {
      return CreateCopy(static_cast<const Derived&>(*this), out);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  // Into a switcher of the same class (else kErrNotFound); refusals of the
  // move (kErrInvalidArg: the target sits below this switcher, or a child
  // is also held for another object) leave both as they were. The
  // controller part, then the children move to the target (this switcher
  // is left with none; the target's former children go to `displaced`),
  // then the target takes a copy of the keys (its search cache stays).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override {
    auto* other = DynamicCast<Derived>(target);
    if (other == nullptr) return kErrNotFound;
    // The keys are copied first, so that running out of memory changes
    // nothing.
    typename KeyTrack::KeyVector keys;
    try {
      keys = keys_.Keys();
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    const Result r = this->CopyListTo(*other, displaced, flags);
    if (Failed(r)) return r;
    static_cast<CSwitcherControl*>(other)->keys_.MutableKeys().swap(keys);
    return kOk;
  }
  // The current version and the older ones down to the parallel arrays;
  // a newer version: kErrNewerVersion. Counts are checked against the
  // bytes left (kErrStream); arrays shorter than the times: kErrNotFound.
  // A failure leaves what was read in place.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const ClassRecord& own = Derived::StaticClassRecord();
    Result r = Base::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(own);
    if (Succeeded(r)) r = this->ReadChildList(stream, record, true);
    if (Failed(r)) return r;
    keys_.SetLastIndex(0);
    if (stream.GetStoredVersion(own) >= static_cast<i32>(kVersionKeyRecords)) return keys_.Read(stream);
    return Derived::ReadLegacyKeys(stream, keys_.MutableKeys());
  }
  Result Save(CStream& stream, u32 flags) override {
    Result r = Base::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, Derived::StaticClassRecord());
    if (Succeeded(r)) r = this->WriteChildList(stream);
    if (Succeeded(r)) r = keys_.Write(stream);
    return r;
  }
  // "<class name> Member": each key as one array element; then Base's
  // members.
  void DescribeMembers(CMemberVisitor& visitor) override {
    static const WString group = MemberGroupName(Derived::StaticClassRecord());
    visitor.BeginGroup(group.c_str());
    visitor.OpenGroup();
    keys_.DescribeMembers(visitor, u"Keys");
    visitor.EndGroup();
    Base::DescribeMembers(visitor);
  }
  u32 GetMemorySize() const override {
    return Base::GetMemorySize() + this->GetChildListMemorySize() + keys_.GetMemorySize() +
           static_cast<u32>(sizeof(KeyTrack));
  }
  // Base's + 8 + (4 + 8 per child) + (4 + the key records).
  u32 GetSaveSize() const override {
    return Base::GetSaveSize() + 8 + this->GetChildListSaveSize() + keys_.GetSaveSize();
  }

 protected:
  // Each child's, their failures ignored; then the controller's own.
  Result ResolveReferencesInElement(CBase* root) override { return this->ResolveReferencesIgnoringChildren(root); }

  KeyTrack keys_;
};

}  // namespace KT
