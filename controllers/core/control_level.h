// Scaffolding of a controller class level, and the services keyed and
// constraint controllers share.
//
// KT::CControlLevel<Derived, Base, Index> is one class level of a
// controller whose class record is at `Index` and whose base class is
// `Base` (CDataControl, CRTSControl or any level above them). Its record
// part is the level's version pair followed by the fields Derived lists
// once, in
//   template <typename Walker, typename Self> static void Fields(Walker&, Self&);
// with the field kinds of the key walkers (controllers/core/time_key.h),
// key tracks included (walker.Track). That one list drives Load, Save,
// GetSaveSize, DescribeMembers, Link, RemapReferences and
// ResolveReferences, so they cannot drift apart. A field added in a later
// version of the record is listed under `if (StoredSince(walker, v))`,
// with v a named gate constant of the class.
//
// What the level does, each after its base's part:
//   CreateInstance  a new Derived made by the copy constructor
//                   (kErrOutOfMemory without memory);
//   CopyTo          target null or not a Derived (kind-of test): kErrNotFound
//                   (0x80000005) and nothing changes; else the base's part,
//                   then Derived::CopyOwnTo(Derived& target) const;
//   Load            the base's part, the level's version block (a stored
//                   version above the class's answers kErrNewerVersion,
//                   0x8000000A), then Derived::LoadOwn(stream, record,
//                   storedVersion), which by default reads Fields with the
//                   stored version; a Derived with older record forms hides
//                   LoadOwn, reads them itself and calls LoadFields for the
//                   current form;
//   Save            the base's part, the version pair, Fields;
//   GetSaveSize     the base's + 8 + the bytes of Fields (the same walk);
//   DescribeMembers the group "<class name> Member" with Fields, closed,
//                   then the base's members;
//   Link            the base's, then the Ref fields (and keys of tracks) in
//                   list order, the order Load read their ids;
//   RemapReferences the base's, then the Ref fields through the clone map;
//   ResolveReferences (chain element) the Ref fields re-found by name under
//                   the root, then the base's.
//
// Derived also states how it takes the time (kTimePolicy, see TimePolicy)
// and computes its local time with LocalTime.
#pragma once

#include <new>
#include <string>

#include "controllers/core/control.h"
#include "controllers/core/key_search.h"
#include "controllers/core/time_key.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

// How a controller class turns the scene time into the time of its keys.
enum class TimePolicy : u32 {
  kMapped,     // MapTime: scaled by Frequency, truncated, folded by Repeat over the end time
  kScaled,     // ScaleTime: scaled by Frequency and truncated only
  kUnchanged,  // the scene time as it is
};

// The local time of `control` at `time` under `policy`; `length` is the
// animation length MapTime folds over (the end time).
i32 LocalTimeOf(const CControl& control, TimePolicy policy, i32 time, i32 length);

// The most-recent-key pick of PickByPriority for controls whose claim is
// the key in effect: `keyTime` is that key's local time. It wins (answers
// 2) when `keyTime` is after `bestTime`, or equal to it with `priority`
// strictly greater than `bestPriority`; it then writes trunc(keyTime /
// Frequency) (UnscaleTime) to `bestTime` and `pickedTime` and `priority`
// to `bestPriority`. Otherwise it answers 0 and writes nothing. The
// comparison uses the key's local time as stored.
Result PickMostRecentKey(const CControl& control, i32 keyTime, f32 priority, i32& bestTime, i32& pickedTime,
                         f32& bestPriority);

// The pick of PickByPriority for a control whose claim is its key in force,
// which began at the local time `keyTime`. The claim is compared in the
// caller's (global) time: start = trunc(keyTime / Frequency). It wins
// (answers 2) when start is after `bestTime`, or equal to it with
// `priority` strictly greater than `bestPriority` (a NaN priority never
// wins a tie); it then writes start to `bestTime` and `pickedTime` and
// `priority` to `bestPriority`. Otherwise it answers 0 and writes nothing.
// At Frequency 1 this is the comparison of the local key time.
Result PickByKeyStart(const CControl& control, i32 keyTime, f32 priority, i32& bestTime, i32& pickedTime,
                      f32& bestPriority);

// PickByPriority of a control whose claim is the key in force of a step
// track of bare times (CTimeTrack): at trunc(time x Frequency) the key in
// force is searched from the track's cache (which moves to it); no keys, or
// a time before the first key, answers 0 (not a candidate); otherwise
// PickByKeyStart with that key's time and the control's Priority.
template <typename TimeTrack>
Result PickByStepTrack(const CControl& control, TimeTrack& track, i32 time, i32& bestTime, i32& pickedTime,
                       f32& bestPriority) {
  u32 index = 0;
  const i32 code = track.FindStep(control.ScaleTime(time), index);
  if (code == kKeySearchNone || code == kKeySearchBefore) return kOk;
  return PickByKeyStart(control, track[index], control.GetPriority(), bestTime, pickedTime, bestPriority);
}

// Keeps an object's Modified flag across the writes a controller makes into
// it during an update: the flag is put back as it was when the guard ends.
class CModifiedGuard {
 public:
  explicit CModifiedGuard(CBase* object) : object_(object), modified_(object != nullptr && object->IsModified()) {}
  ~CModifiedGuard() {
    if (object_ != nullptr) object_->SetModified(modified_);
  }
  CModifiedGuard(const CModifiedGuard&) = delete;
  CModifiedGuard& operator=(const CModifiedGuard&) = delete;

 private:
  CBase* object_;
  bool modified_;
};

// "<class name> Member" for a class record's ASCII name.
WString MemberGroupName(const ClassRecord& record);

template <typename Derived, typename Base, ClassIndex Index>
class CControlLevel : public Base {
 public:
  static constexpr ClassIndex kClassIndex = Index;
  static const ClassRecord& StaticClassRecord() { return GetClassRecordAt(Index); }
  const ClassRecord& GetClassRecord() const override { return StaticClassRecord(); }
  u32 GetVersion() const override { return StaticClassRecord().Version(); }

  using Base::Base;

  Result CreateInstance(CPointer<CBase>& out) const override {
    try {
      return CreateCopy(Self(), out);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }

  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override {
    Derived* other = DynamicCast<Derived>(target);
    if (other == nullptr) return kErrNotFound;
    const Result r = Base::CopyTo(target, displaced, flags);
    if (Failed(r)) return r;
    return Self().CopyOwnTo(*other);
  }

  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    Result r = Base::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
    if (Failed(r)) return r;
    const i32 stored = stream.GetStoredVersion(StaticClassRecord());
    return static_cast<Derived&>(*this).LoadOwn(stream, record, static_cast<u32>(stored < 0 ? 0 : stored));
  }

  Result Save(CStream& stream, u32 flags) override {
    Result r = Base::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
    if (Failed(r)) return r;
    CKeyFieldWriter writer(stream, StaticClassRecord().Version());
    Derived::Fields(writer, Self());
    return writer.GetResult();
  }

  u32 GetSaveSize() const override {
    CKeyFieldSizer sizer(StaticClassRecord().Version());
    Derived::Fields(sizer, Self());
    return Base::GetSaveSize() + 8 + sizer.GetSize();
  }

  void DescribeMembers(CMemberVisitor& visitor) override {
    static const WString group = MemberGroupName(StaticClassRecord());
    visitor.BeginGroup(group.c_str());
    visitor.OpenGroup();
    CKeyFieldDescriber describer(visitor, StaticClassRecord().Version());
    Derived::Fields(describer, Self());
    visitor.EndGroup();
    Base::DescribeMembers(visitor);
  }

  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = Base::Link(stream, record, flags);
    if (Failed(r)) return r;
    CFieldLinker linker(stream);
    Derived::Fields(linker, static_cast<Derived&>(*this));
    return r;
  }

  Result RemapReferences(const CloneMap& cloneMap) override {
    const Result r = Base::RemapReferences(cloneMap);
    if (Failed(r)) return r;
    CFieldRemapper remapper(cloneMap);
    Derived::Fields(remapper, static_cast<Derived&>(*this));
    return r;
  }

  // The default own part of Load: Fields read with the stored version. A
  // Derived that hides it declares its own LoadOwn public.
  Result LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
    return LoadFields(stream, storedVersion);
  }

 protected:
  // Fields read from the stream as stored in version `storedVersion`.
  Result LoadFields(CStream& stream, u32 storedVersion) {
    CKeyFieldReader reader(stream, storedVersion);
    Derived::Fields(reader, static_cast<Derived&>(*this));
    return reader.GetResult();
  }

  Result ResolveReferencesInElement(CBase* root) override {
    CFieldNameResolver resolver(root);
    Derived::Fields(resolver, static_cast<Derived&>(*this));
    return Base::ResolveReferencesInElement(root);
  }

  // The local time by the class's stated policy.
  i32 LocalTime(i32 time) const { return LocalTimeOf(*this, Derived::kTimePolicy, time, this->GetEndTime()); }

 private:
  const Derived& Self() const { return static_cast<const Derived&>(*this); }
};

}  // namespace KT
