// Timed keys and transition easing.
//
// Every keyed controller stores its keys as small value objects derived from
// KT::CTimeKey (a time) or KT::CTransitionKey (a time plus the easing of the
// transition that ends at the key). Keys are not scene objects: they have no
// name, id or reference count; controllers hold them by value in vectors
// ordered by time (controllers/core/key_search.h) and write them through the
// keys' own record operations.
//
// Record of a key: one part per class level, from CTimeKey down. Each part
// is a version pair (u32 major, u32 minor) followed by that level's fields:
//   CTimeKey       12 bytes: 1, 0, i32 Time
//   CTransitionKey 28 bytes: the above, then 1, 0, u32 TransitionType,
//                  f32 TransitionStrength
//
// A key class level lists its fields once, in a static template
//   template <typename Walker, typename Key> static void Fields(Walker&, Key&);
// and that one list drives Save, Load, GetSaveSize, DescribeMembers, Link
// and the reference remapping (see CKeyLevel below), so they cannot drift
// apart. The field kinds a list may use, each walker offering all of them:
//   Time, Int, UInt (4 bytes), Enum (u32 with its value names), Float,
//   Bool (one byte), Block (a fixed block of f32: vector, colour,
//   quaternion, RTS transform), WString (u32 count + UTF-16LE units),
//   Ref (a CTargetRef<T>: 8-byte object id, resolved at link) and Track (a
//   key track, controllers/core/key_track.h; used by controller levels).
// A field that a level added in a later version of its record is listed
// under `if (StoredSince(walker, version))`: it is read only from records
// of that version on, and always written, sized and described. The same
// walkers serve the controller class levels (controllers/core/
// control_level.h). A derived key class is written as
//   class CStickyKey : public CKeyLevel<CStickyKey, CTimeKey, ClassIndex::CStickyKey> {
//    public:
//     bool Enable = false;
//     template <typename W, typename K> static void Fields(W& w, K& k) { w.Bool(u"Enable", k.Enable); }
//   };
#pragma once

#include <array>
#include <cstring>
#include <type_traits>

#include "controllers/core/target_ref.h"
#include "objectmodel/class_record.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

// --- transition easing -----------------------------------------------------------

// How the animation arrives at a key (stored as u32 in CTransitionKey).
enum TransitionType : u32 {
  TT_LINEAR = 0,
  TT_STEP = 1,
  TT_EASE_OUT = 2,
  TT_EASE_IN = 3,
  TT_EASE_OUT_IN = 4,
  TT_EASE_IN_OUT = 5,
};
inline constexpr u32 kTransitionTypeCount = 6;
// "TT_LINEAR" ... "TT_EASE_IN_OUT", indexed by value.
extern const char16_t* const kTransitionTypeNames[kTransitionTypeCount];

inline constexpr f32 kDefaultTransitionStrength = 50.0f;

// The exponent of the ease curves for a strength s, in single precision:
//   s <= 50: 1 + (s - 1) x 1/49   (1 gives 1, 50 gives 2)
//   s > 50:  2 + (s - 50) x 0.16  (100 gives 10)
// A strength whose exponent would not be above 0 (below -48, or NaN; only a
// file can hold one) answers 1, the linear curve, so that no curve can
// produce an infinity or a NaN at t = 0.
f32 TransitionExponent(f32 strength);

// t to the power of the strength's exponent (computed in double, rounded to
// f32), for t in [0, 1].
f32 EaseIn(f32 t, f32 strength);
// 1 - EaseIn(1 - t), each step rounded to f32.
f32 EaseOut(f32 t, f32 strength);

// The eased weight for a linear fraction t in [0, 1]:
//   TT_LINEAR       t
//   TT_STEP         1 when t is exactly 1, else 0 (NaN gives 0)
//   TT_EASE_OUT     EaseOut(t)
//   TT_EASE_IN      EaseIn(t)
//   TT_EASE_OUT_IN  t < 0.5: 0.5 EaseOut(2t), else 0.5 + 0.5 EaseIn(2(t - 0.5))
//   TT_EASE_IN_OUT  t < 0.5: 0.5 EaseIn(2t),  else 0.5 + 0.5 EaseOut(2(t - 0.5))
//   any other type  t
// Never fails.
f32 EaseTransition(f32 t, u32 type, f32 strength);

class CTransitionKey;
// EaseTransition with the key's type and strength. Controllers pass the key
// AFTER the time: a key's transition describes how the animation arrives at
// that key.
f32 EaseTransitionKey(f32 t, const CTransitionKey& key);

// --- key records: version pairs and field walkers ----------------------------------

// Reads a key level's version pair. v = major x 100 + minor; a v above the
// level's record version answers kErrNewerVersion; otherwise v is recorded
// with the stream as the stored version of the level's class and returned
// in `version`. A failing read answers its code.
Result ReadKeyVersion(CStream& stream, const ClassRecord& record, u32& version);

// Describes a block-valued key field to a visitor (vectors, colours, RTS
// transforms); one overload per kind of block a key stores.
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CVector3<float>& value);
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CColor& value);
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CRtsTransform& value);
// Four floats (a shader variable), reported as a four-float array.
void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const std::array<f32, 4>& value);

// Writes the fields a level lists, in order. Sticky: after the first failing
// write nothing more is written and that code is kept.
class CKeyFieldWriter {
 public:
  CKeyFieldWriter(CStream& stream, u32 version) : stream_(stream), version_(version) {}
  Result GetResult() const { return result_; }
  // The version the fields are written in (the level's current version).
  u32 Version() const { return version_; }

  void Time(const char16_t*, const i32& value) { Put(value); }
  void Int(const char16_t*, const i32& value) { Put(value); }
  void UInt(const char16_t*, const u32& value) { Put(value); }
  void Enum(const char16_t*, const u32& value, const char16_t* const*, u32) { Put(value); }
  void Float(const char16_t*, const f32& value) { Put(value); }
  void Bool(const char16_t*, const bool& value) {
    if (Succeeded(result_)) result_ = WriteBool(stream_, value);
  }
  // A block of f32 (vector, colour, quaternion, RTS transform).
  template <typename T>
  void Block(const char16_t*, const T& value) {
    if (Succeeded(result_)) result_ = WriteFloatBlock(stream_, value);
  }
  void WString(const char16_t*, const KT::WString& value) {
    if (Succeeded(result_)) result_ = WriteWString(stream_, value);
  }
  template <typename T>
  void Ref(const char16_t*, const CTargetRef<T>& ref) {
    if (Succeeded(result_)) result_ = ref.Save(stream_);
  }
  template <typename TrackT>
  void Track(const char16_t*, const TrackT& track) {
    if (Succeeded(result_)) result_ = track.Write(stream_);
  }

 private:
  template <typename T>
  void Put(const T& value) {
    static_assert(sizeof(T) == 4);
    if (Succeeded(result_)) result_ = stream_.Write(&value, 4);
  }
  CStream& stream_;
  u32 version_;
  Result result_ = kOk;
};

// Reads the fields a level lists, in order. Sticky like the writer. Fields
// that a level added in a later version are gated by the level itself on
// Version(), the version stored in the file.
class CKeyFieldReader {
 public:
  CKeyFieldReader(CStream& stream, u32 storedVersion) : stream_(stream), version_(storedVersion) {}
  Result GetResult() const { return result_; }
  u32 Version() const { return version_; }

  void Time(const char16_t*, i32& value) { Get(value); }
  void Int(const char16_t*, i32& value) { Get(value); }
  void UInt(const char16_t*, u32& value) { Get(value); }
  void Enum(const char16_t*, u32& value, const char16_t* const*, u32) { Get(value); }
  void Float(const char16_t*, f32& value) { Get(value); }
  // Any non-zero byte reads as true.
  void Bool(const char16_t*, bool& value) {
    if (Succeeded(result_)) result_ = ReadBool(stream_, value);
  }
  template <typename T>
  void Block(const char16_t*, T& value) {
    if (Succeeded(result_)) result_ = ReadFloatBlock(stream_, value);
  }
  // Files below stream version 2.00 hold narrow strings here (widened).
  void WString(const char16_t*, KT::WString& value) {
    if (Succeeded(result_)) result_ = ReadWString(stream_, value);
  }
  // The id stays pending in the reference until the owner's Link.
  template <typename T>
  void Ref(const char16_t*, CTargetRef<T>& ref) {
    if (Succeeded(result_)) result_ = ref.Load(stream_);
  }
  template <typename TrackT>
  void Track(const char16_t*, TrackT& track) {
    if (Succeeded(result_)) result_ = track.Read(stream_);
  }

 private:
  template <typename T>
  void Get(T& value) {
    static_assert(sizeof(T) == 4);
    if (Succeeded(result_)) result_ = stream_.Read(&value, 4, 4);
  }
  CStream& stream_;
  u32 version_;
  Result result_ = kOk;
};

// Adds up the bytes the fields take on disk.
class CKeyFieldSizer {
 public:
  explicit CKeyFieldSizer(u32 version) : version_(version) {}
  u32 GetSize() const { return size_; }
  u32 Version() const { return version_; }

  void Time(const char16_t*, const i32&) { size_ += 4; }
  void Int(const char16_t*, const i32&) { size_ += 4; }
  void UInt(const char16_t*, const u32&) { size_ += 4; }
  void Enum(const char16_t*, const u32&, const char16_t* const*, u32) { size_ += 4; }
  void Float(const char16_t*, const f32&) { size_ += 4; }
  void Bool(const char16_t*, const bool&) { size_ += 1; }
  template <typename T>
  void Block(const char16_t*, const T&) {
    size_ += static_cast<u32>(sizeof(T));
  }
  void WString(const char16_t*, const KT::WString& value) { size_ += WStringSaveSize(value); }
  template <typename T>
  void Ref(const char16_t*, const CTargetRef<T>&) {
    size_ += CTargetRef<T>::kSaveSize;
  }
  template <typename TrackT>
  void Track(const char16_t*, const TrackT& track) {
    size_ += track.GetSaveSize();
  }

 private:
  u32 version_;
  u32 size_ = 0;
};

// A walker that passes over every field kind; the reference walkers below
// act on Ref and Track fields only.
class CFieldPass {
 public:
  u32 Version() const { return 0xFFFFFFFFu; }
  void Time(const char16_t*, const i32&) {}
  void Int(const char16_t*, const i32&) {}
  void UInt(const char16_t*, const u32&) {}
  void Enum(const char16_t*, const u32&, const char16_t* const*, u32) {}
  void Float(const char16_t*, const f32&) {}
  void Bool(const char16_t*, const bool&) {}
  template <typename T>
  void Block(const char16_t*, const T&) {}
  void WString(const char16_t*, const KT::WString&) {}
};

// Decodes the fields of a level from bytes already read, in the level's
// current layout (the fast path of ReadKeyList for keys of a fixed layout).
// Strings and tracks have no fixed size: a level that lists one is never
// decoded this way (see CFixedLayoutProbe).
class CKeyFieldDecoder {
 public:
  CKeyFieldDecoder(const u8* bytes, u32 version) : p_(bytes), version_(version) {}
  const u8* Position() const { return p_; }
  u32 Version() const { return version_; }

  void Time(const char16_t*, i32& value) { Get(value); }
  void Int(const char16_t*, i32& value) { Get(value); }
  void UInt(const char16_t*, u32& value) { Get(value); }
  void Enum(const char16_t*, u32& value, const char16_t* const*, u32) { Get(value); }
  void Float(const char16_t*, f32& value) { Get(value); }
  void Bool(const char16_t*, bool& value) { value = *p_++ != 0; }
  template <typename T>
  void Block(const char16_t*, T& value) {
    Get(value);
  }
  template <typename T>
  void Ref(const char16_t*, CTargetRef<T>& ref) {
    u64 id = 0;
    Get(id);
    ref.SetPendingId(id);
  }
  void WString(const char16_t*, KT::WString&) {}
  template <typename TrackT>
  void Track(const char16_t*, TrackT&) {}

 private:
  template <typename T>
  void Get(T& value) {
    std::memcpy(&value, p_, sizeof(T));
    p_ += sizeof(T);
  }
  const u8* p_;
  u32 version_;
};

// Finds whether a level's record has one size whatever its values: false
// once it lists a string or a track.
class CFixedLayoutProbe : public CFieldPass {
 public:
  bool IsFixed() const { return fixed_; }
  template <typename T>
  void Ref(const char16_t*, const CTargetRef<T>&) {}
  void WString(const char16_t*, const KT::WString&) { fixed_ = false; }
  template <typename TrackT>
  void Track(const char16_t*, const TrackT&) {
    fixed_ = false;
  }

 private:
  bool fixed_ = true;
};

// Decodes one level of `key` from `p` when its version pair is exactly the
// level's current one (so its layout is known), advancing `p`; false, with
// `p` unspecified, for any other pair.
template <typename Level>
bool DecodeKeyLevel(const u8*& p, Level& key) {
  // Looked up once: this runs for every key of a long list.
  static const ClassRecord& record = Level::StaticClassRecord();
  u32 pair[2];
  std::memcpy(pair, p, sizeof(pair));
  if (pair[0] != record.major || pair[1] != record.minor) return false;
  CKeyFieldDecoder decoder(p + sizeof(pair), record.Version());
  Level::Fields(decoder, key);
  p = decoder.Position();
  return true;
}

template <typename Level>
bool HasFixedKeyLevel() {
  CFixedLayoutProbe probe;
  Level key;
  Level::Fields(probe, key);
  return probe.IsFixed();
}

// Reports the fields to a member visitor under their names.
class CKeyFieldDescriber {
 public:
  CKeyFieldDescriber(CMemberVisitor& visitor, u32 version) : visitor_(visitor), version_(version) {}
  u32 Version() const { return version_; }

  void Time(const char16_t* name, const i32& value) { visitor_.Time(name, &value); }
  void Int(const char16_t* name, const i32& value) { visitor_.Int(name, &value); }
  void UInt(const char16_t* name, const u32& value) { visitor_.UInt(name, &value); }
  // The visitor sees enumerations as i32 (the same bits).
  void Enum(const char16_t* name, const u32& value, const char16_t* const* names, u32 count) {
    visitor_.Enum(name, reinterpret_cast<const i32*>(&value), names, count);
  }
  void Float(const char16_t* name, const f32& value) { visitor_.Float(name, &value); }
  void Bool(const char16_t* name, const bool& value) { visitor_.Bool(name, &value); }
  template <typename T>
  void Block(const char16_t* name, const T& value) {
    DescribeKeyBlock(visitor_, name, value);
  }
  void WString(const char16_t* name, const KT::WString& value) { visitor_.WideString(name, &value); }
  template <typename T>
  void Ref(const char16_t* name, const CTargetRef<T>& ref) {
    visitor_.ObjectRef(name, ref.Get());
  }
  // A track reports one array element per key (the key's own members).
  template <typename TrackT>
  void Track(const char16_t* name, const TrackT& track) {
    track.DescribeMembers(visitor_, name);
  }

 private:
  CMemberVisitor& visitor_;
  u32 version_;
};

// True when a field added to a record at `version` is part of the record
// the walker handles: the stored version when reading, the current one
// otherwise (so the field is always written).
template <typename Walker>
bool StoredSince(const Walker& walker, u32 version) {
  return walker.Version() >= version;
}

// Resolves the pending ids of Ref fields (and of the keys of Track fields)
// in list order: the order Load read them.
class CFieldLinker : public CFieldPass {
 public:
  explicit CFieldLinker(CStream& stream) : stream_(stream) {}
  template <typename T>
  void Ref(const char16_t*, CTargetRef<T>& ref) {
    ref.Link(stream_);
  }
  template <typename TrackT>
  void Track(const char16_t*, TrackT& track) {
    track.Link(stream_);
  }

 private:
  CStream& stream_;
};

// Replaces Ref targets by their copies from a clone map.
class CFieldRemapper : public CFieldPass {
 public:
  explicit CFieldRemapper(const CloneMap& cloneMap) : cloneMap_(cloneMap) {}
  template <typename T>
  void Ref(const char16_t*, CTargetRef<T>& ref) {
    ref.Remap(cloneMap_);
  }
  template <typename TrackT>
  void Track(const char16_t*, TrackT& track) {
    track.Remap(cloneMap_);
  }

 private:
  const CloneMap& cloneMap_;
};

// Re-finds Ref targets by name and class under a root.
class CFieldNameResolver : public CFieldPass {
 public:
  explicit CFieldNameResolver(CBase* root) : root_(root) {}
  template <typename T>
  void Ref(const char16_t*, CTargetRef<T>& ref) {
    ref.ResolveByName(root_);
  }
  template <typename TrackT>
  void Track(const char16_t*, TrackT& track) {
    track.ResolveByName(root_);
  }

 private:
  CBase* root_;
};

// The four record operations of one key class level `Level` (a class with
// StaticClassRecord() and Fields()), applied to `key`. Each covers only
// that level's part: its version pair and its fields.
template <typename Level>
Result SaveKeyLevel(CStream& stream, const Level& key) {
  const ClassRecord& record = Level::StaticClassRecord();
  Result r = WriteVersion(stream, record);
  if (Failed(r)) return r;
  CKeyFieldWriter writer(stream, record.Version());
  Level::Fields(writer, key);
  return writer.GetResult();
}

template <typename Level>
Result LoadKeyLevel(CStream& stream, Level& key) {
  u32 version = 0;
  const Result r = ReadKeyVersion(stream, Level::StaticClassRecord(), version);
  if (Failed(r)) return r;
  CKeyFieldReader reader(stream, version);
  Level::Fields(reader, key);
  return reader.GetResult();
}

template <typename Level>
u32 GetKeyLevelSaveSize(const Level& key) {
  CKeyFieldSizer sizer(Level::StaticClassRecord().Version());
  Level::Fields(sizer, key);
  return 8 + sizer.GetSize();
}

template <typename Level>
void DescribeKeyLevel(CMemberVisitor& visitor, const Level& key) {
  CKeyFieldDescriber describer(visitor, Level::StaticClassRecord().Version());
  Level::Fields(describer, key);
}

// --- the base key classes ------------------------------------------------------------

// A key time. Default: Time 0 (the zero time).
class CTimeKey {
 public:
  static constexpr ClassIndex kClassIndex = ClassIndex::CTimeKey;
  static const ClassRecord& StaticClassRecord() { return GetClassRecordAt(kClassIndex); }

  CTimeKey() = default;
  explicit CTimeKey(i32 time) : Time(time) {}
  CTimeKey(const CTimeKey&) = default;
  CTimeKey& operator=(const CTimeKey&) = default;
  // Keys live by value in vectors and are never deleted through a base
  // pointer; the destructor is virtual all the same so that doing so would
  // stay defined.
  virtual ~CTimeKey() = default;

  // --- the key protocol, the same seven operations for every key class ---
  // The class record ("CTimeKey" or the derived key's).
  virtual const ClassRecord& GetClassRecord() const { return StaticClassRecord(); }
  // The class record's version: 100 for the key classes of version 1.00.
  virtual u32 GetVersion() const { return StaticClassRecord().Version(); }
  // Reads the record, base level first. A version pair newer than its
  // level's version answers kErrNewerVersion; a short stream answers the
  // stream's code. Either leaves the key partly read.
  virtual Result Load(CStream& stream) { return LoadKeyLevel(stream, *this); }
  // Writes the record, base level first; stops at the first failing write.
  virtual Result Save(CStream& stream) const { return SaveKeyLevel(stream, *this); }
  // Keys hold no references: kOk.
  virtual Result Link(CStream& /*stream*/) { return kOk; }
  // CTimeKey reports "Time". Each derived level reports only its own fields
  // unless it says otherwise.
  virtual void DescribeMembers(CMemberVisitor& visitor) { DescribeKeyLevel(visitor, *this); }
  // Bytes Save writes: 12 for CTimeKey; derived keys add theirs.
  virtual u32 GetSaveSize() const { return GetKeyLevelSaveSize(*this); }

  template <typename Walker, typename Key>
  static void Fields(Walker& walker, Key& key) {
    walker.Time(u"Time", key.Time);
  }

  // --- the fast path of key lists (not part of the protocol) ---
  // True while the class's Load is the walk of its levels' Fields; a key
  // class that overrides Load sets it false in its own body, so that key
  // lists never decode it without its Load.
  static constexpr bool kLoadIsFieldWalk = true;
  // Whether every record of the class has one size (no strings, no tracks).
  static bool HasFixedLayout() { return HasFixedKeyLevel<CTimeKey>(); }
  // Decodes a record of the current layout from `p` (see DecodeKeyLevel):
  // the levels base first; false at the first level whose pair is not its
  // current one (the key is then partly decoded).
  bool DecodeCurrentLayout(const u8*& p) { return DecodeKeyLevel(p, *this); }
  // Records the current version of every level with the stream, as Load
  // does for keys read in the current layout.
  static void RecordCurrentVersions(CStream& stream) {
    stream.SetStoredVersion(StaticClassRecord(), static_cast<i32>(StaticClassRecord().Version()));
  }

  // --- references (not part of the seven-operation protocol) ---
  // Tracks call these on their concrete key type; each level adds its own
  // Ref fields after its base's. The time key holds none.
  // Replaces targets by their copies from a clone map.
  void RemapReferences(const CloneMap& /*cloneMap*/) {}
  // Re-finds set targets by name and class under `root`.
  void ResolveReferences(CBase* /*root*/) {}

  i32 Time = 0;  // ms in the controller's local time
};

// CKeyLevel<Derived, Base, Index>: the key protocol of a key class level
// whose record is at `Index`, derived from key class `Base`. The base's
// part is loaded, saved, sized and linked first, then Derived::Fields.
// Load reads the level's version pair first: a version above the record's
// answers kErrNewerVersion (0x8000000A) and the stored version gates the
// level's later fields (StoredSince). Describing reports Derived's own
// fields only; a key that reports more overrides DescribeMembers.
template <typename Derived, typename Base, ClassIndex Index>
class CKeyLevel : public Base {
 public:
  static_assert(std::is_base_of_v<CTimeKey, Base>, "keys derive from CTimeKey");
  static constexpr ClassIndex kClassIndex = Index;
  static const ClassRecord& StaticClassRecord() { return GetClassRecordAt(Index); }

  using Base::Base;

  const ClassRecord& GetClassRecord() const override { return StaticClassRecord(); }
  u32 GetVersion() const override { return StaticClassRecord().Version(); }
  Result Load(CStream& stream) override {
    const Result r = Base::Load(stream);
    if (Failed(r)) return r;
    return LoadKeyLevel(stream, static_cast<Derived&>(*this));
  }
  Result Save(CStream& stream) const override {
    const Result r = Base::Save(stream);
    if (Failed(r)) return r;
    return SaveKeyLevel(stream, static_cast<const Derived&>(*this));
  }
  // The base's links first, then this level's Ref fields in list order:
  // the order Load read their ids. kOk.
  Result Link(CStream& stream) override {
    const Result r = Base::Link(stream);
    if (Failed(r)) return r;
    CFieldLinker linker(stream);
    Derived::Fields(linker, static_cast<Derived&>(*this));
    return kOk;
  }
  void DescribeMembers(CMemberVisitor& visitor) override {
    DescribeKeyLevel(visitor, static_cast<const Derived&>(*this));
  }
  u32 GetSaveSize() const override {
    return Base::GetSaveSize() + GetKeyLevelSaveSize(static_cast<const Derived&>(*this));
  }
  static bool HasFixedLayout() { return Base::HasFixedLayout() && HasFixedKeyLevel<Derived>(); }
  bool DecodeCurrentLayout(const u8*& p) {
    return Base::DecodeCurrentLayout(p) && DecodeKeyLevel(p, static_cast<Derived&>(*this));
  }
  static void RecordCurrentVersions(CStream& stream) {
    Base::RecordCurrentVersions(stream);
    stream.SetStoredVersion(StaticClassRecord(), static_cast<i32>(StaticClassRecord().Version()));
  }
  void RemapReferences(const CloneMap& cloneMap) {
    Base::RemapReferences(cloneMap);
    CFieldRemapper remapper(cloneMap);
    Derived::Fields(remapper, static_cast<Derived&>(*this));
  }
  void ResolveReferences(CBase* root) {
    Base::ResolveReferences(root);
    CFieldNameResolver resolver(root);
    Derived::Fields(resolver, static_cast<Derived&>(*this));
  }
};

// A key time with the easing of the transition that ends at the key.
// Default: Time 0, TT_LINEAR, strength 50.
class CTransitionKey : public CKeyLevel<CTransitionKey, CTimeKey, ClassIndex::CTransitionKey> {
 public:
  CTransitionKey() = default;
  CTransitionKey(i32 time, u32 transitionType, f32 transitionStrength = kDefaultTransitionStrength)
      : CKeyLevel(time), TransitionType(transitionType), TransitionStrength(transitionStrength) {}

  // Reports "TransitionType" (enumeration of the six TT_ names) and
  // "TransitionStrength"; not Time.
  template <typename Walker, typename Key>
  static void Fields(Walker& walker, Key& key) {
    walker.Enum(u"TransitionType", key.TransitionType, kTransitionTypeNames, kTransitionTypeCount);
    walker.Float(u"TransitionStrength", key.TransitionStrength);
  }

  // A TransitionType value; any value a file holds is kept, and values
  // outside the enumeration ease linearly.
  u32 TransitionType = TT_LINEAR;
  f32 TransitionStrength = kDefaultTransitionStrength;
};

// Describes a transition key whole, in the order the keyed controllers list
// keys: "Time", the key's own fields, then "TransitionType" and
// "TransitionStrength".
template <typename Key>
void DescribeTransitionKey(CMemberVisitor& visitor, const Key& key) {
  DescribeKeyLevel<CTimeKey>(visitor, key);
  DescribeKeyLevel<Key>(visitor, key);
  DescribeKeyLevel<CTransitionKey>(visitor, key);
}

}  // namespace KT
