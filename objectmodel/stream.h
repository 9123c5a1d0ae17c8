// KT::CStream: reads and writes scene files over a byte device.
//
// File layout: a 15-byte header ("_KTVusk", u32 major 3, u32 minor 1), then
// four size-prefixed sections: 1 thumbnail record, 2 object list, 3
// extension records, 4 the root tree (every reachable object once, each root
// preceded by the tag "_Root"). Objects refer to each other by 64-bit id; a
// load queues the ids each record reads and a link pass turns them back into
// pointers. Files below version 3.01 use the older tagged layout.
//
// Use one stream per file: attach a device, then either add roots,
// extension records and a thumbnail and Save, or Load and take what it
// delivered. The stream keeps counted references to what it delivered until
// it is reset, loads again or is destroyed.
//
// During Load the field readers take their bytes from memory: the device's
// own block when it has one in memory, else blocks of kIoBlockSize read
// from it (arrays at least that large go straight to their destination).
// Save fills a block of memory that goes to the device in large writes.
// After either, the device's position is where the stream stopped. Every
// record is read within its stated body size: a Load that would read past
// it fails with kErrNotFound, bytes it leaves unread are skipped.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/flat_hash_map.h"
#include "objectmodel/id_table.h"
#include "objectmodel/io_buffer.h"

namespace KT {

// An object's place in the stream's record of owning references (see
// CStream::ClaimOwnership): towards its topmost owner, and its first owner.
struct CStreamOwnerNode {
  CStreamOwnerNode* up = nullptr;
  const CBase* object = nullptr;
  const CBase* owner = nullptr;
};

// The ids a record's Load queued, in order (a vector's interface). Most
// records queue a handful: those are kept in the list itself, so queuing
// them costs no allocation; longer lists move to the heap. The list is kept
// small (32 bytes) because a load holds one per record.
class CStreamIdList {
 public:
  using value_type = u64;
  using iterator = u64*;
  using const_iterator = const u64*;
  static constexpr u32 kInline = 3;

  CStreamIdList() = default;
  CStreamIdList(const CStreamIdList& other) { Assign(other); }
  CStreamIdList& operator=(const CStreamIdList& other) {
    if (this != &other) {
      clear();
      Assign(other);
    }
    return *this;
  }
  ~CStreamIdList() {
    if (OnHeap()) delete[] heap_;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return capacity_; }
  void reserve(std::size_t count) {
    if (count > capacity_) Grow(count);
  }
  // Forgets the ids; the capacity stays.
  void clear() { size_ = 0; }
  void push_back(u64 id) {
    if (size_ == capacity_) Grow(2 * static_cast<std::size_t>(capacity_));
    data()[size_++] = id;
  }
  const u64* data() const { return OnHeap() ? heap_ : inline_; }
  u64* data() { return OnHeap() ? heap_ : inline_; }
  const u64& operator[](std::size_t i) const { return data()[i]; }
  u64& operator[](std::size_t i) { return data()[i]; }
  const u64* begin() const { return data(); }
  const u64* end() const { return data() + size_; }
  u64* begin() { return data(); }
  u64* end() { return data() + size_; }
  friend bool operator==(const CStreamIdList& a, const std::vector<u64>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator==(const CStreamIdList& a, const CStreamIdList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  bool OnHeap() const { return capacity_ > kInline; }
  void Grow(std::size_t count) {
    // Sizes are bounded by the bytes of one record, so 32 bits suffice;
    // a request past that is an allocation failure.
    if (count > std::numeric_limits<u32>::max() / sizeof(u64)) throw std::bad_alloc();
    u64* grown = new u64[count];
    std::copy(begin(), end(), grown);
    if (OnHeap()) delete[] heap_;
    heap_ = grown;
    capacity_ = static_cast<u32>(count);
  }
  void Assign(const CStreamIdList& other) {
    reserve(other.size_);
    std::copy(other.begin(), other.end(), data());
    size_ = other.size_;
  }

  u32 size_ = 0;
  u32 capacity_ = kInline;
  union {
    u64 inline_[kInline] = {};
    u64* heap_;  // once there are more than kInline
  };
};

// Per-record load state handed to every Load and Link: references read by
// Load are queued here as ids and resolved, in the same order, by Link.
struct CStreamLoadRecord {
  u32 linked = 0;
  u32 cursor = 0;  // next pending id to consume
  CPointer<CBase> object;
  u64 id = 0;
  CStreamIdList pendingIds;
  // The stream's ownership bookkeeping for `object` (kept here so that the
  // check costs no table lookup for the objects of the section).
  CStreamOwnerNode ownerNode;

  // Replaces the record's object, so references to this record resolve to
  // `replacement` (used by classes that load into a different object).
  void SetObject(CBase* replacement);
  // The next pending id, or 0 (an empty reference) when all are consumed.
  u64 TakeNextId();
};

class CStream {
 public:
  using LoadRecord = CStreamLoadRecord;

  static constexpr i32 kCurrentFileVersion = 301;
  static constexpr u32 kFileMajor = 3;
  static constexpr u32 kFileMinor = 1;
  // Versions at which the file layout changed.
  static constexpr i32 kFirstSizedRecordVersion = 200;  // records carry a body size, parts a version pair
  static constexpr i32 kFirstSectionedVersion = 301;    // sized sections instead of tags

  // Mask bits for Load (wanted and skip masks) and Save.
  static constexpr u32 kThumbnailBit = 0x02;
  static constexpr u32 kObjectListBit = 0x04;
  static constexpr u32 kExtendInfoBit = 0x08;
  static constexpr u32 kRootTreeBit = 0x10;
  static constexpr u32 kRawRootBit = 0x20;
  static constexpr u32 kAllSections = 0x1F;

  CStream();
  ~CStream();
  CStream(const CStream&) = delete;
  CStream& operator=(const CStream&) = delete;

  // --- device -------------------------------------------------------------
  Result SetDevice(CIoBuffer* device);
  CIoBuffer* GetDevice() const { return device_; }
  Result SetContext(u32 context);
  u32 GetContext() const { return context_; }
  // The device's transfer rules (count > capacity or a null destination:
  // kErrInvalidArg; short: kErrStream). Within Load, a read past the body
  // of the record being loaded fails with kErrStream as well (and the
  // record with kErrNotFound).
  Result Read(void* destination, u32 capacity, u32 count) {
    // Empty transfers take the slow path, so that no null window is copied.
    if (count - 1u < static_cast<std::size_t>(readEnd_ - readCursor_) && count <= capacity && destination != nullptr) {
      std::memcpy(destination, readCursor_, count);
      readCursor_ += count;
      return kOk;
    }
    return ReadSlow(destination, capacity, count);
  }
  Result Write(const void* source, u32 count) {
    if (count - 1u < static_cast<std::size_t>(writeEnd_ - writeCursor_) && source != nullptr) {
      std::memcpy(writeCursor_, source, count);
      writeCursor_ += count;
      return kOk;
    }
    return WriteSlow(source, count);
  }
  // Bytes of a load or save moved to or from memory at once.
  static constexpr u32 kIoBlockSize = 1u << 20;
  Result Skip(i32 offset);
  Result GetFolder(WString& folder) const;
  // Bytes the device has left to read (0 without a device); within Load,
  // no more than the rest of the record being loaded. Readers check counts
  // from the file against it before allocating.
  u32 GetRemaining() const;
  // kErrStream when `count` elements of `elementSize` bytes cannot fit in
  // what is left to read, else kOk.
  Result CheckAvailable(u64 count, u64 elementSize) const;

  i32 GetFileVersion() const { return fileVersion_; }

  // --- ids, versions, unresolved references --------------------------------
  // False when the id is already known in this section or save; else
  // records (id, record) and answers true. A null record registers an
  // object for saving.
  bool RegisterId(u64 id, LoadRecord* record);
  // The object loaded under `id` in this section, or null (always null for 0).
  CBase* ObjectFromId(u64 id) const;
  void AddObjectForSave(CBase* object);
  i32 GetStoredVersion(const ClassRecord& record) const;
  void SetStoredVersion(const ClassRecord& record, i32 version);
  bool HasStoredVersion(const ClassRecord& record) const;
  void ClearStoredVersions();
  // Reads a class part's version pair (files of 2.00 and later) and records
  // it; a pair newer than the class answers kErrNewerVersion. Older files
  // carry no pairs: the file version is recorded instead.
  Result ReadVersionBlock(const ClassRecord& record);
  void AddUnresolved(u64 id, CBase* object);
  // Queues a step to run once every record of the root tree is linked (for
  // checks that need the whole graph, such as whether a controller's bound
  // object really holds it). Steps run in the order queued; the first
  // that fails ends the link with its code.
  void AddPostLinkStep(std::function<Result()> step);
  // For the post-link steps of classes that keep plain (uncounted)
  // references: true when such a reference from `holder` to `target` does
  // not outlive its target once the stream is gone, that is when the
  // delivered roots hold `target` (it is among the objects their Collect
  // reaches), or when they do not hold `holder` (it goes with the stream).
  // False for a target only the stream keeps: the reference is then
  // cleared and treated as unresolved. Outside the root tree's link pass
  // every holder counts as held by no root.
  bool CanReferTo(const CBase* holder, const CBase* target);
  // Records, while linking, that `owner` holds `owned` through an owning
  // reference, so that a crafted file cannot make an object own itself.
  // kErrNotFound when the edge would close a cycle with the owning
  // references recorded so far in this section; kOk when recorded; kDone
  // when recorded and `owned` already had an owner (a shared object). Both
  // answers are exact, so a caller that assigns its reference on either can
  // never close a cycle.
  Result ClaimOwnership(const CBase* owner, const CBase* owned);
  const std::map<u64, std::vector<CBase*>>& GetUnresolvedTable() const { return unresolved_; }

  // --- sections -------------------------------------------------------------
  void SetThumbnail(CBase* thumbnail);
  CBase* GetThumbnail() const { return thumbnail_.Get(); }

  // The object and extension lists refuse an object already listed (kDone)
  // and null (kErrInvalidArg); kOk when appended.
  Result AddObject(CBase* object);
  void RemoveObject(CBase* object);
  CBase* GetObject(u32 index) const;
  u32 GetObjectCount() const { return static_cast<u32>(objects_.size()); }
  void ClearObjects();
  Result AddExtendInfo(CBase* object);
  void RemoveExtendInfo(CBase* object);
  CBase* GetExtendInfo(u32 index) const;
  u32 GetExtendInfoCount() const { return static_cast<u32>(extendInfo_.size()); }

  // null: kErrInvalidArg; already a root: kDone; else appended, kOk.
  Result AddRootObject(CBase* object);
  // null or index past the end: kErrInvalidArg; object already a root: kDone.
  Result SetRootObject(u32 index, CBase* object);
  // null: kErrInvalidArg; not a root: kDone; else removed, kOk.
  Result RemoveRootObject(CBase* object);
  u32 GetRootObjectCount() const { return static_cast<u32>(roots_.size()); }
  CBase* GetRootObject(u32 index) const;
  bool IsRootObject(const CBase* object) const;

  // The four section sizes of the file last loaded (all 0 for the older
  // tagged layout, which has none).
  const std::array<u32, 4>& GetLoadedSectionSizes() const { return sectionSizes_; }
  // Every object the root tree of the last load made, in file order.
  const std::vector<CPointer<CBase>>& GetLoadedObjects() const { return loaded_; }

  // Section 4 as kept by a load with kRawRootBit, written back unchanged.
  const std::vector<u8>& GetRawRootBlock() const { return rawRoot_; }

  // Empties the root list, stored versions, save table, id table and the
  // raw root block (not the thumbnail, the lists or the unresolved table).
  void ResetTables();

  // --- whole files ----------------------------------------------------------
  // Reads a file. Sections whose bit is clear in `wantedMask` are skipped;
  // records of unknown classes in a section whose bit is set in `skipMask`
  // are skipped instead of failing.
  Result Load(u32 skipMask, u32 wantedMask);
  // Writes a file with the sections selected by `mask`.
  Result Save(u32 mask);
  // Total bytes Save(kAllSections) would write.
  Result GetSaveSize(u32& size);

 private:
  struct Measure;
  Result LoadCurrent(u32 skipMask, u32 wantedMask);
  Result LoadLegacy(u32 skipMask, u32 wantedMask);
  Result ReadHeader();
  Result ReadRecord(const std::string& className, bool skipUnknown, CPointer<CBase>& slot);
  Result ReadRecordList(bool skipUnknown, std::vector<CPointer<CBase>>& list);
  Result ReadRootTree(bool skipUnknown);
  Result LinkSection();
  void BeginSection();
  Result BuildSaveTable();
  Result MeasureSections(u32 mask, Measure& measure);
  Result SaveRecord(CBase* object);
  Result SaveTagged(const char* tag);
  Result ReadSlow(void* destination, u32 capacity, u32 count);
  Result WriteSlow(const void* source, u32 count);
  // Block reading during Load: Begin takes the device's data in memory (or
  // prepares blocks), End puts the device's position where the stream
  // stopped.
  void BeginBlockRead();
  void EndBlockRead();
  u64 ReadPosition() const { return readBase_ + static_cast<u64>(readCursor_ - readBegin_); }
  u64 ReadTotalRemaining() const { return static_cast<u64>(readDataEnd_ - readCursor_) + deviceUnread_; }
  bool AtEnd() const { return blockRead_ ? ReadTotalRemaining() == 0 : device_->IsEof(); }
  // Limits reads to end before `end` (a position of this load) and answers
  // the limit it replaces.
  u64 PushReadLimit(u64 end);
  void PopReadLimit(u64 previous);
  void ClipReadWindow();
  // Skips to `end` when the reading stopped before it.
  Result SkipTo(u64 end);
  void BeginBlockWrite(u64 totalBytes);
  Result FlushWrites();
  void EndBlockWrite();
  u64 WritePosition() const { return writeBase_ + static_cast<u64>(writeCursor_ - writeBegin_); }
  LoadRecord* NewLoadRecord();
  void ReleaseRecords();

  CIoBuffer* device_ = nullptr;
  u32 context_ = 0;
  i32 fileVersion_ = kCurrentFileVersion;
  std::vector<i32> storedVersions_;  // by class-record index; -1 when none
  CPointer<CBase> thumbnail_;
  std::vector<CPointer<CBase>> objects_;
  std::vector<CPointer<CBase>> extendInfo_;
  std::vector<CPointer<CBase>> roots_;
  std::unordered_set<const CBase*> rootSet_;  // the members of roots_, for constant-time tests
  // Ids of this section (or save) to their records; null for objects
  // registered for saving.
  CIdTable<LoadRecord*> idTable_;
  // The section's load records in blocks, reused from section to section
  // (a record's pending-id vector keeps its capacity).
  std::vector<std::unique_ptr<LoadRecord[]>> recordBlocks_;
  u32 recordsUsed_ = 0;
  // The last class name looked up, so that runs of one class skip the
  // factory's lookup.
  std::string lastClassName_;
  void (*lastCreator_)(Result&, CPointer<CBase>&) = nullptr;
  std::string className_;  // reused for every record's class name
  // Reading window of the current load (see BeginBlockRead).
  bool blockRead_ = false;
  bool mappedRead_ = false;
  mutable bool limitHit_ = false;  // a read stopped at the record's end
  const u8* readBegin_ = nullptr;
  const u8* readCursor_ = nullptr;
  const u8* readEnd_ = nullptr;      // readDataEnd_ or the read limit, whichever is first
  const u8* readDataEnd_ = nullptr;
  u64 readBase_ = 0;                 // load position of readBegin_
  u64 deviceUnread_ = 0;             // bytes still in the device behind the window
  u64 readLimit_ = ~0ull;
  std::vector<u8> readBlock_;
  // Writing block of the current save.
  bool blockWrite_ = false;
  u8* writeBegin_ = nullptr;
  u8* writeCursor_ = nullptr;
  u8* writeEnd_ = nullptr;
  u64 writeBase_ = 0;                // bytes handed to the device before writeBegin_
  std::vector<u8> writeBlock_;
  // Everything the root tree loaded, kept alive with the stream so that no
  // plain (uncounted) reference resolved by the link pass can dangle while
  // the stream exists.
  std::vector<CPointer<CBase>> loaded_;
  std::map<u64, std::vector<CBase*>> unresolved_;
  std::vector<std::function<Result()>> postLinkSteps_;
  // The objects the delivered roots hold (to the first root that holds
  // each), built on the first CanReferTo of a link pass.
  bool rootReachBuilt_ = false;
  CFlatHashMap<const CBase*, u32> rootReach_;
  void ClearRootReach();
  // True when `to` is `from` or reachable from it through owning
  // references recorded in this section.
  bool OwnsTransitively(const CBase* from, const CBase* to) const;
  void ClearOwnership();
  // Union-find over owning references made in this section: each node
  // leads towards the topmost owner. Exact while every object has one owner.
  // Objects of the section use their load record's node; the record being
  // linked and the one last found by id are tried first, then a table of
  // every record's object built once, and objects that have no record get
  // a node of their own.
  CStreamOwnerNode* OwnerNodeOf(const CBase* object);
  CStreamOwnerNode* FindOwnerNode(const CBase* object);
  LoadRecord* linkingRecord_ = nullptr;
  mutable LoadRecord* lastFound_ = nullptr;
  CFlatHashMap<const CBase*, CStreamOwnerNode*> ownerNodes_;
  u32 recordsInOwnerNodes_ = 0;  // records entered in ownerNodes_
  std::deque<CStreamOwnerNode> extraOwnerNodes_;
  // The owning references both ways, built from the nodes' first owners
  // only once some object has a second owner (sharedOwnership_), for the
  // search used from then on.
  std::unordered_map<const CBase*, std::vector<const CBase*>> ownedBy_;
  std::unordered_map<const CBase*, std::vector<const CBase*>> owns_;
  bool sharedOwnership_ = false;
  std::vector<CBase*> saveTable_;
  bool saving_ = false;
  std::vector<u8> rawRoot_;
  std::array<u32, 4> sectionSizes_{};
};

// Resolves the record's next pending id into `slot` (empty when the id is 0,
// unknown, or of another class than T).
template <typename T>
void LinkNextPointer(CStream& stream, CStreamLoadRecord& record, CPointer<T>& slot) {
  CBase* object = stream.ObjectFromId(record.TakeNextId());
  slot = DynamicCast<T>(object);
}

// The same for every element of a vector, in index order.
template <typename T>
void LinkPointerVector(CStream& stream, CStreamLoadRecord& record, std::vector<CPointer<T>>& slots) {
  for (CPointer<T>& slot : slots) LinkNextPointer(stream, record, slot);
}

}  // namespace KT
