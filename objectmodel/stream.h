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
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "objectmodel/base.h"
#include "objectmodel/io_buffer.h"

namespace KT {

// Per-record load state handed to every Load and Link: references read by
// Load are queued here as ids and resolved, in the same order, by Link.
struct CStreamLoadRecord {
  u32 linked = 0;
  u32 cursor = 0;  // next pending id to consume
  CPointer<CBase> object;
  u64 id = 0;
  std::vector<u64> pendingIds;

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
  Result Read(void* destination, u32 capacity, u32 count);
  Result Write(const void* source, u32 count);
  Result Skip(i32 offset);
  Result GetFolder(WString& folder) const;
  // Bytes the device has left to read (0 without a device). Readers check
  // counts from the file against it before allocating.
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

  CIoBuffer* device_ = nullptr;
  u32 context_ = 0;
  i32 fileVersion_ = kCurrentFileVersion;
  std::vector<i32> storedVersions_;  // by class-record index; -1 when none
  CPointer<CBase> thumbnail_;
  std::vector<CPointer<CBase>> objects_;
  std::vector<CPointer<CBase>> extendInfo_;
  std::vector<CPointer<CBase>> roots_;
  std::unordered_set<const CBase*> rootSet_;  // the members of roots_, for constant-time tests
  std::map<u64, LoadRecord*> idTable_;
  std::vector<std::unique_ptr<LoadRecord>> sectionRecords_;
  // Everything the root tree loaded, kept alive with the stream so that no
  // plain (uncounted) reference resolved by the link pass can dangle while
  // the stream exists.
  std::vector<CPointer<CBase>> loaded_;
  std::map<u64, std::vector<CBase*>> unresolved_;
  std::vector<std::function<Result()>> postLinkSteps_;
  // True when `to` is `from` or reachable from it through owning
  // references recorded in this section.
  bool OwnsTransitively(const CBase* from, const CBase* to) const;
  void ClearOwnership();
  // Union-find over owning references made in this section: each entry
  // leads towards the topmost owner. Exact while every object has one owner.
  std::unordered_map<const CBase*, const CBase*> owners_;
  // Every owning reference of the section, both ways, for the search used
  // once some object has a second owner (sharedOwnership_).
  std::unordered_map<const CBase*, std::vector<const CBase*>> ownedBy_;
  std::unordered_map<const CBase*, std::vector<const CBase*>> owns_;
  bool sharedOwnership_ = false;
  std::vector<CBase*> saveTable_;
  bool saving_ = false;
  std::vector<u8> rawRoot_;
  std::array<u32, 4> sectionSizes_{};
  u64 bytesWritten_ = 0;
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
