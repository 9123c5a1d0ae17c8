#include "objectmodel/stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_set>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

constexpr char kMagic[] = "_KTVusk";
constexpr char kLegacyMagic[] = "KTDorun";
constexpr u32 kMagicSize = 7;
// The legacy header carries 14 bytes after its magic; its version text
// ("1.00") starts at file offset 16, the tenth of those bytes.
constexpr u32 kLegacyHeaderRest = 14;
constexpr u32 kLegacyVersionOffset = 9;
constexpr char kRootTag[] = "_Root";
constexpr char kLegacyRootTag[] = "_DorunRoot";
constexpr char kLegacyThumbnailTag[] = "_DorunThumbnail";
constexpr char kThumbnailTag[] = "_Thumbnail";
constexpr char kExtendInfoTag[] = "_ExtendInfo";
// A "_Root" tag on disk: u32 5 and the five characters.
constexpr u32 kRootTagSize = 9;
// Header (counted as 16 bytes) and the four section sizes.
constexpr u32 kSaveOverhead = 32;

u32 ClassRecordIndex(const ClassRecord& record) {
  return static_cast<u32>(&record - GetClassRecordTable());
}

bool Contains(const std::vector<CPointer<CBase>>& list, const CBase* object) {
  return std::any_of(list.begin(), list.end(), [&](const CPointer<CBase>& p) { return p.Get() == object; });
}

void RemoveFirst(std::vector<CPointer<CBase>>& list, const CBase* object) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const CPointer<CBase>& p) { return p.Get() == object; });
  if (it != list.end()) list.erase(it);
}

// A long root tree would copy (and touch fresh memory for) the list of
// loaded objects at every doubling. Once it is clearly long, the list gets
// room for the records the rest of the data probably holds, judged from the
// bytes per record so far (`consumed`); at least double and at most eight
// times what is loaded, so that a misjudged section costs no more than
// ordinary growth would.
void ReserveForRestOfSection(std::vector<CPointer<CBase>>& loaded, u64 consumed, u64 remaining) {
  constexpr std::size_t kFirstEstimate = 1024;
  const std::size_t count = loaded.size();
  if (count < kFirstEstimate) return;
  const u64 perRecord = std::max<u64>(consumed / count, 1);
  const u64 estimate = count + remaining / perRecord + count / 16;
  try {
    loaded.reserve(static_cast<std::size_t>(std::clamp<u64>(estimate, 2 * count, 8 * count)));
  } catch (const std::bad_alloc&) {
    // Only a hint: the list grows as usual.
  } catch (const std::length_error&) {
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Load records

void CStreamLoadRecord::SetObject(CBase* replacement) {
  object = replacement;
  id = replacement != nullptr ? replacement->GetUniqueId() : 0;
}

u64 CStreamLoadRecord::TakeNextId() {
  // A Link that asks for more references than its Load queued gets empty
  // ones rather than reading past the list.
  if (cursor >= pendingIds.size()) return 0;
  return pendingIds[cursor++];
}

// ---------------------------------------------------------------------------
// Construction and device

CStream::CStream() : storedVersions_(kClassRecordCount, -1) {}

CStream::~CStream() {
  ResetTables();
  unresolved_.clear();
  loaded_.clear();
  objects_.clear();
  extendInfo_.clear();
  thumbnail_.Release();
}

Result CStream::SetDevice(CIoBuffer* device) {
  device_ = device;
  return kOk;
}

Result CStream::SetContext(u32 context) {
  context_ = context;
  return kOk;
}

Result CStream::ReadSlow(void* destination, u32 capacity, u32 count) {
  if (device_ == nullptr) return kErrInvalidArg;
  if (!blockRead_) return device_->Read(destination, capacity, count, context_);
  if (count == 0) return kOk;
  if (destination == nullptr || count > capacity) return kErrInvalidArg;
  const u64 position = ReadPosition();
  // Past the end of the data: a short read, as the device would answer.
  if (count > ReadTotalRemaining()) return kErrStream;
  // Within the data but past the record being loaded.
  if (position + count > readLimit_) {
    limitHit_ = true;
    return kErrStream;
  }
  u8* out = static_cast<u8*>(destination);
  u32 left = count;
  const u32 inWindow = static_cast<u32>(readDataEnd_ - readCursor_);
  if (inWindow > 0) {
    std::memcpy(out, readCursor_, inWindow);
    out += inWindow;
    left -= inWindow;
  }
  // Only a device that is not in memory has bytes behind the window.
  readBase_ = position + inWindow;
  readBegin_ = readCursor_ = readDataEnd_ = readBlock_.data();
  if (left >= kIoBlockSize) {
    // Large arrays go from the device straight to their place.
    const Result r = device_->Read(out, left, left, context_);
    if (Failed(r)) return r;
    deviceUnread_ -= left;
    readBase_ += left;
  } else {
    const u32 fill = static_cast<u32>(std::min<u64>(kIoBlockSize, deviceUnread_));
    if (readBlock_.size() < fill) {
      readBlock_.resize(kIoBlockSize);
      readBegin_ = readCursor_ = readDataEnd_ = readBlock_.data();
    }
    const Result r = device_->Read(readBlock_.data(), fill, fill, context_);
    if (Failed(r)) return r;
    deviceUnread_ -= fill;
    readDataEnd_ = readBlock_.data() + fill;
    std::memcpy(out, readCursor_, left);
    readCursor_ += left;
  }
  ClipReadWindow();
  return kOk;
}

void CStream::ClipReadWindow() {
  readEnd_ = readDataEnd_;
  if (readLimit_ != ~0ull && readBase_ + static_cast<u64>(readDataEnd_ - readBegin_) > readLimit_) {
    readEnd_ = readBegin_ + (readLimit_ > readBase_ ? readLimit_ - readBase_ : 0);
  }
}

u64 CStream::PushReadLimit(u64 end) {
  const u64 previous = readLimit_;
  readLimit_ = std::min(end, previous);
  ClipReadWindow();
  return previous;
}

void CStream::PopReadLimit(u64 previous) {
  readLimit_ = previous;
  ClipReadWindow();
}

Result CStream::SkipTo(u64 end) {
  const u64 position = ReadPosition();
  if (end <= position) return kOk;
  return Skip(static_cast<i32>(end - position));
}

void CStream::BeginBlockRead() {
  blockRead_ = true;
  limitHit_ = false;
  readLimit_ = ~0ull;
  readBase_ = 0;
  u32 mapped = 0;
  if (const u8* data = device_->MapRemaining(mapped)) {
    mappedRead_ = true;
    readBegin_ = readCursor_ = data;
    readDataEnd_ = data + mapped;
    deviceUnread_ = 0;
  } else {
    mappedRead_ = false;
    readBegin_ = readCursor_ = readDataEnd_ = readBlock_.data();
    deviceUnread_ = device_->GetRemaining();
  }
  ClipReadWindow();
}

void CStream::EndBlockRead() {
  if (!blockRead_) return;
  // The device is moved to where the stream stopped reading.
  if (mappedRead_) {
    const u64 consumed = ReadPosition();
    if (consumed > 0) device_->Skip(static_cast<i32>(consumed));
  } else {
    const u64 unread = static_cast<u64>(readDataEnd_ - readCursor_);
    if (unread > 0) device_->Skip(-static_cast<i32>(unread));
  }
  blockRead_ = false;
  mappedRead_ = false;
  readBegin_ = readCursor_ = readEnd_ = readDataEnd_ = nullptr;
  readBase_ = 0;
  deviceUnread_ = 0;
  readLimit_ = ~0ull;
  // A whole file's block is not kept past its load.
  if (readBlock_.capacity() > 0) std::vector<u8>().swap(readBlock_);
}

Result CStream::WriteSlow(const void* source, u32 count) {
  if (device_ == nullptr) return kErrInvalidArg;
  if (!blockWrite_) {
    const Result r = device_->Write(source, count, context_);
    if (Succeeded(r)) writeBase_ += count;
    return r;
  }
  if (count == 0) return kOk;
  if (source == nullptr) return kErrInvalidArg;
  Result r = FlushWrites();
  if (Failed(r)) return r;
  if (count >= static_cast<std::size_t>(writeEnd_ - writeBegin_)) {
    r = device_->Write(source, count, context_);
    if (Succeeded(r)) writeBase_ += count;
    return r;
  }
  std::memcpy(writeCursor_, source, count);
  writeCursor_ += count;
  return kOk;
}

Result CStream::FlushWrites() {
  const u32 used = static_cast<u32>(writeCursor_ - writeBegin_);
  if (used == 0) return kOk;
  writeCursor_ = writeBegin_;
  const Result r = device_->Write(writeBegin_, used, context_);
  if (Succeeded(r)) writeBase_ += used;
  return r;
}

void CStream::BeginBlockWrite(u64 totalBytes) {
  const std::size_t size = static_cast<std::size_t>(std::min<u64>(kIoBlockSize, std::max<u64>(totalBytes, 64)));
  if (writeBlock_.size() < size) writeBlock_.resize(size);
  blockWrite_ = true;
  writeBegin_ = writeCursor_ = writeBlock_.data();
  writeEnd_ = writeBegin_ + size;
}

void CStream::EndBlockWrite() {
  blockWrite_ = false;
  writeBegin_ = writeCursor_ = writeEnd_ = nullptr;
  std::vector<u8>().swap(writeBlock_);
}

Result CStream::Skip(i32 offset) {
  if (device_ == nullptr) return kErrInvalidArg;
  if (!blockRead_) return device_->Skip(offset);
  const u64 position = ReadPosition();
  const i64 target = static_cast<i64>(position) + offset;
  if (target < 0 || static_cast<u64>(target) > position + ReadTotalRemaining()) return kErrStream;
  if (static_cast<u64>(target) > readLimit_) {
    limitHit_ = true;
    return kErrStream;
  }
  const u64 windowSize = static_cast<u64>(readDataEnd_ - readBegin_);
  if (static_cast<u64>(target) >= readBase_ && static_cast<u64>(target) <= readBase_ + windowSize) {
    readCursor_ = readBegin_ + (static_cast<u64>(target) - readBase_);
  } else {
    // Outside the window of a device that is not in memory: move the
    // device from the window's end and start an empty window there.
    const i64 move = target - static_cast<i64>(readBase_ + windowSize);
    const Result r = device_->Skip(static_cast<i32>(move));
    if (Failed(r)) return r;
    deviceUnread_ = static_cast<u64>(static_cast<i64>(deviceUnread_) - move);
    readBase_ = static_cast<u64>(target);
    readBegin_ = readCursor_ = readDataEnd_ = readBlock_.data();
  }
  ClipReadWindow();
  return kOk;
}

Result CStream::GetFolder(WString& folder) const {
  if (device_ == nullptr) return kErrInvalidArg;
  return device_->GetFolder(folder);
}

u32 CStream::GetRemaining() const {
  if (device_ == nullptr) return 0;
  if (!blockRead_) return device_->GetRemaining();
  const u64 position = ReadPosition();
  const u64 left = std::min(ReadTotalRemaining(), readLimit_ - std::min(readLimit_, position));
  return static_cast<u32>(std::min<u64>(left, std::numeric_limits<u32>::max()));
}

Result CStream::CheckAvailable(u64 count, u64 elementSize) const {
  if (elementSize == 0 || count <= GetRemaining() / elementSize) return kOk;
  // Room in the data but not in the record: the record misstates its size.
  if (blockRead_ && count <= ReadTotalRemaining() / elementSize) limitHit_ = true;
  return kErrStream;
}

// ---------------------------------------------------------------------------
// Ids and versions

bool CStream::RegisterId(u64 id, LoadRecord* record) {
  const bool inserted = idTable_.Insert(id, record);
  if (inserted && record != nullptr) record->id = id;
  return inserted;
}

CBase* CStream::ObjectFromId(u64 id) const {
  if (id == 0) return nullptr;
  LoadRecord* const* record = idTable_.Find(id);
  if (record == nullptr || *record == nullptr) return nullptr;
  lastFound_ = *record;
  return (*record)->object.Get();
}

CStream::LoadRecord* CStream::NewLoadRecord() {
  constexpr u32 kBlock = 256;
  const u32 block = recordsUsed_ / kBlock;
  if (block == recordBlocks_.size()) recordBlocks_.push_back(std::make_unique<LoadRecord[]>(kBlock));
  LoadRecord* record = &recordBlocks_[block][recordsUsed_ % kBlock];
  ++recordsUsed_;
  return record;
}

void CStream::AddObjectForSave(CBase* object) { saveTable_.push_back(object); }

i32 CStream::GetStoredVersion(const ClassRecord& record) const {
  const u32 index = ClassRecordIndex(record);
  if (index >= storedVersions_.size() || storedVersions_[index] < 0) return fileVersion_;
  return storedVersions_[index];
}

void CStream::SetStoredVersion(const ClassRecord& record, i32 version) {
  const u32 index = ClassRecordIndex(record);
  if (index < storedVersions_.size()) storedVersions_[index] = version;
}

bool CStream::HasStoredVersion(const ClassRecord& record) const {
  const u32 index = ClassRecordIndex(record);
  return index < storedVersions_.size() && storedVersions_[index] >= 0;
}

void CStream::ClearStoredVersions() { std::fill(storedVersions_.begin(), storedVersions_.end(), -1); }

Result CStream::ReadVersionBlock(const ClassRecord& record) {
  if (fileVersion_ < kFirstSizedRecordVersion) {
    SetStoredVersion(record, fileVersion_);
    return kOk;
  }
  u32 pair[2] = {0, 0};
  const Result r = Read(pair, sizeof(pair), sizeof(pair));
  if (Failed(r)) return r;
  // Computed in 64 bits so that no stored pair can overflow into an
  // acceptable version.
  const u64 version = static_cast<u64>(pair[0]) * 100 + pair[1];
  if (version > record.Version()) return kErrNewerVersion;
  SetStoredVersion(record, static_cast<i32>(version));
  return kOk;
}

void CStream::AddUnresolved(u64 id, CBase* object) { unresolved_[id].push_back(object); }

void CStream::AddPostLinkStep(std::function<Result()> step) { postLinkSteps_.push_back(std::move(step)); }

bool CStream::CanReferTo(const CBase* holder, const CBase* target) {
  if (target == nullptr || holder == nullptr) return true;
  if (!rootReachBuilt_) {
    rootReachBuilt_ = true;
    std::vector<CBase*> found;
    for (u32 root = 0; root < roots_.size(); ++root) {
      found.clear();
      roots_[root]->Collect(found, nullptr, nullptr, false, false);
      for (const CBase* object : found) rootReach_.Emplace(object, root);
    }
  }
  const u32* byHolder = rootReach_.Find(holder);
  if (byHolder == nullptr) return true;
  // The delivered roots together keep the target alive (a caller that
  // keeps some roots only keeps what they hold).
  return rootReach_.Find(target) != nullptr;
}

void CStream::ClearRootReach() {
  rootReachBuilt_ = false;
  rootReach_.Clear();
}

Result CStream::ClaimOwnership(const CBase* owner, const CBase* owned) {
  if (owner == nullptr || owned == nullptr) return kErrInvalidArg;
  CStreamOwnerNode* const ownerNode = OwnerNodeOf(owner);
  CStreamOwnerNode* const ownedNode = OwnerNodeOf(owned);
  const bool shared = ownedNode->up != nullptr;
  if (!shared && !sharedOwnership_) {
    // Every object owned so far has one owner: the owning references form
    // a forest, and the edge closes a cycle exactly when `owned` is the
    // topmost owner of `owner`. Topmost owner, compressing the path:
    CStreamOwnerNode* top = ownerNode;
    while (top->up != nullptr) top = top->up;
    for (CStreamOwnerNode* node = ownerNode; node != top;) {
      CStreamOwnerNode* const next = node->up;
      node->up = top;
      node = next;
    }
    if (top == ownedNode) return kErrNotFound;
  } else {
    if (!sharedOwnership_) {
      // From now on the search needs the references both ways. So far
      // every owned object had one owner, kept in its node.
      sharedOwnership_ = true;
      const auto addFirstOwner = [this](const CStreamOwnerNode& node) {
        if (node.owner == nullptr) return;
        ownedBy_[node.object].push_back(node.owner);
        owns_[node.owner].push_back(node.object);
      };
      constexpr u32 kBlock = 256;
      for (u32 i = 0; i < recordsUsed_; ++i) addFirstOwner(recordBlocks_[i / kBlock][i % kBlock].ownerNode);
      for (const CStreamOwnerNode& node : extraOwnerNodes_) addFirstOwner(node);
    }
    // Once an object has two owners the forest test no longer sees every
    // path, so the references recorded so far are searched.
    if (OwnsTransitively(owned, owner)) return kErrNotFound;
  }
  if (!shared) {
    ownedNode->up = ownerNode;
    ownedNode->owner = owner;
  }
  if (sharedOwnership_) {
    ownedBy_[owned].push_back(owner);
    owns_[owner].push_back(owned);
  }
  return shared ? kDone : kOk;
}

CStreamOwnerNode* CStream::OwnerNodeOf(const CBase* object) {
  CStreamOwnerNode* node = FindOwnerNode(object);
  node->object = object;
  return node;
}

CStreamOwnerNode* CStream::FindOwnerNode(const CBase* object) {
  if (linkingRecord_ != nullptr && linkingRecord_->object.Get() == object) return &linkingRecord_->ownerNode;
  if (lastFound_ != nullptr && lastFound_->object.Get() == object) return &lastFound_->ownerNode;
  constexpr u32 kBlock = 256;
  if (recordsInOwnerNodes_ < recordsUsed_) {
    ownerNodes_.Reserve(recordsUsed_);
    for (; recordsInOwnerNodes_ < recordsUsed_; ++recordsInOwnerNodes_) {
      LoadRecord& record = recordBlocks_[recordsInOwnerNodes_ / kBlock][recordsInOwnerNodes_ % kBlock];
      if (record.object) ownerNodes_.Emplace(record.object.Get(), &record.ownerNode);
    }
  }
  if (CStreamOwnerNode** found = ownerNodes_.Find(object)) return *found;
  CStreamOwnerNode* node = &extraOwnerNodes_.emplace_back();
  ownerNodes_.Emplace(object, node);
  return node;
}

bool CStream::OwnsTransitively(const CBase* from, const CBase* to) const {
  if (from == to) return true;
  // Searched from both ends at once, one object per side in turn: the
  // search ends when the sides meet or either side has run out, so it costs
  // about twice the smaller side (a long chain linked in either order is
  // cheap).
  std::vector<const CBase*> down{from}, up{to};
  std::unordered_set<const CBase*> below{from}, above{to};
  while (!down.empty() && !up.empty()) {
    const CBase* node = down.back();
    down.pop_back();
    if (const auto it = owns_.find(node); it != owns_.end()) {
      for (const CBase* child : it->second) {
        if (above.count(child) != 0) return true;
        if (below.insert(child).second) down.push_back(child);
      }
    }
    node = up.back();
    up.pop_back();
    if (const auto it = ownedBy_.find(node); it != ownedBy_.end()) {
      for (const CBase* parent : it->second) {
        if (below.count(parent) != 0) return true;
        if (above.insert(parent).second) up.push_back(parent);
      }
    }
  }
  return false;
}

void CStream::ClearOwnership() {
  // The records' own nodes are reset with the records (ReleaseRecords).
  ownerNodes_.Clear();
  recordsInOwnerNodes_ = 0;
  extraOwnerNodes_.clear();
  linkingRecord_ = nullptr;
  lastFound_ = nullptr;
  ownedBy_.clear();
  owns_.clear();
  sharedOwnership_ = false;
}

// ---------------------------------------------------------------------------
// Section lists

void CStream::SetThumbnail(CBase* thumbnail) { thumbnail_ = thumbnail; }

Result CStream::AddObject(CBase* object) {
  if (object == nullptr) return kErrInvalidArg;
  // A second entry would be written once and counted twice: refuse it.
  if (Contains(objects_, object)) return kDone;
  objects_.emplace_back(object);
  return kOk;
}

void CStream::RemoveObject(CBase* object) { RemoveFirst(objects_, object); }

CBase* CStream::GetObject(u32 index) const { return index < objects_.size() ? objects_[index].Get() : nullptr; }

void CStream::ClearObjects() { objects_.clear(); }

Result CStream::AddExtendInfo(CBase* object) {
  if (object == nullptr) return kErrInvalidArg;
  if (Contains(extendInfo_, object)) return kDone;
  extendInfo_.emplace_back(object);
  return kOk;
}

void CStream::RemoveExtendInfo(CBase* object) { RemoveFirst(extendInfo_, object); }

CBase* CStream::GetExtendInfo(u32 index) const {
  return index < extendInfo_.size() ? extendInfo_[index].Get() : nullptr;
}

Result CStream::AddRootObject(CBase* object) {
  if (object == nullptr) return kErrInvalidArg;
  if (IsRootObject(object)) return kDone;
  roots_.emplace_back(object);
  rootSet_.insert(object);
  return kOk;
}

Result CStream::SetRootObject(u32 index, CBase* object) {
  if (object == nullptr || index >= roots_.size()) return kErrInvalidArg;
  if (IsRootObject(object)) return kDone;
  rootSet_.erase(roots_[index].Get());
  roots_[index] = object;
  rootSet_.insert(object);
  return kOk;
}

Result CStream::RemoveRootObject(CBase* object) {
  if (object == nullptr) return kErrInvalidArg;
  if (!IsRootObject(object)) return kDone;
  RemoveFirst(roots_, object);
  rootSet_.erase(object);
  return kOk;
}

CBase* CStream::GetRootObject(u32 index) const { return index < roots_.size() ? roots_[index].Get() : nullptr; }

bool CStream::IsRootObject(const CBase* object) const { return rootSet_.count(object) != 0; }

void CStream::ResetTables() {
  roots_.clear();
  rootSet_.clear();
  ClearStoredVersions();
  saveTable_.clear();
  idTable_.Clear();
  ReleaseRecords();
  ClearOwnership();
  postLinkSteps_.clear();
  rawRoot_.clear();
  rawRoot_.shrink_to_fit();
}

void CStream::ReleaseRecords() {
  constexpr u32 kBlock = 256;
  for (u32 i = 0; i < recordsUsed_; ++i) {
    LoadRecord& record = recordBlocks_[i / kBlock][i % kBlock];
    record.object.Release();
    record.pendingIds.clear();
    record.cursor = 0;
    record.linked = 0;
    record.id = 0;
    record.ownerNode = CStreamOwnerNode();
  }
  recordsUsed_ = 0;
  // The ownership table points at the records' nodes.
  ClearOwnership();
}

void CStream::BeginSection() {
  idTable_.Clear();
  ReleaseRecords();
  ClearOwnership();
}

// ---------------------------------------------------------------------------
// Loading

Result CStream::Load(u32 skipMask, u32 wantedMask) {
  if (device_ == nullptr) return kErrInvalidArg;
  ResetTables();
  // Nothing of a previous file may survive into this one.
  thumbnail_.Release();
  objects_.clear();
  extendInfo_.clear();
  unresolved_.clear();
  loaded_.clear();
  sectionSizes_ = {};
  fileVersion_ = kCurrentFileVersion;
  lastCreator_ = nullptr;
  lastClassName_.clear();
  Result r;
  try {
    BeginBlockRead();
    r = ReadHeader();
    if (Succeeded(r)) {
      r = fileVersion_ < kFirstSectionedVersion ? LoadLegacy(skipMask, wantedMask)
                                                : LoadCurrent(skipMask, wantedMask);
    }
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  } catch (const std::length_error&) {
    r = kErrOutOfMemory;
  }
  EndBlockRead();
  BeginSection();
  return r;
}

Result CStream::ReadHeader() {
  char magic[kMagicSize];
  Result r = Read(magic, sizeof(magic), kMagicSize);
  if (Failed(r)) return r;
  u64 version = 0;
  if (std::memcmp(magic, kMagic, kMagicSize) == 0) {
    u32 pair[2] = {0, 0};
    r = Read(pair, sizeof(pair), sizeof(pair));
    if (Failed(r)) return r;
    version = static_cast<u64>(pair[0]) * 100 + pair[1];
  } else if (std::memcmp(magic, kLegacyMagic, kMagicSize) == 0) {
    char rest[kLegacyHeaderRest];
    r = Read(rest, sizeof(rest), kLegacyHeaderRest);
    if (Failed(r)) return r;
    // Parse from a terminated copy: the bytes on disk carry no terminator.
    char text[kLegacyHeaderRest - kLegacyVersionOffset + 1] = {};
    std::memcpy(text, rest + kLegacyVersionOffset, kLegacyHeaderRest - kLegacyVersionOffset);
    int major = 0;
    int minor = 0;
    if (std::sscanf(text, "%1d.%2d", &major, &minor) != 2 || major < 0 || minor < 0) return kErrNotFound;
    version = static_cast<u64>(major) * 100 + static_cast<u64>(minor);
  } else {
    return kErrNotFound;
  }
  if (version > static_cast<u64>(kCurrentFileVersion)) return kErrNewerVersion;
  fileVersion_ = static_cast<i32>(version);
  return kOk;
}

Result CStream::LoadCurrent(u32 skipMask, u32 wantedMask) {
  u32 size = 0;
  // Section 1: thumbnail.
  Result r = ReadU32(*this, size);
  if (Failed(r)) return r;
  sectionSizes_[0] = size;
  if ((wantedMask & kThumbnailBit) != 0 && size > 0) {
    const u64 end = ReadPosition() + size;
    if (size > ReadTotalRemaining()) return kErrStream;
    const u64 previous = PushReadLimit(end);
    limitHit_ = false;
    r = ReadString(*this, className_);
    if (Failed(r)) {
      PopReadLimit(previous);
      return limitHit_ ? kErrNotFound : r;
    }
    BeginSection();
    r = ReadRecord(className_, (skipMask & kThumbnailBit) != 0, thumbnail_);
    BeginSection();
    PopReadLimit(previous);
    if (Succeeded(r)) r = SkipTo(end);
    if (Failed(r)) return r;
  } else {
    r = CheckAvailable(size, 1);
    if (Succeeded(r) && size > 0) r = Skip(static_cast<i32>(size));
    if (Failed(r)) return r;
  }
  // Sections 2 and 3: object list and extension records.
  const struct {
    u32 bit;
    std::vector<CPointer<CBase>>* list;
  } lists[] = {{kObjectListBit, &objects_}, {kExtendInfoBit, &extendInfo_}};
  for (const auto& section : lists) {
    r = ReadU32(*this, size);
    if (Failed(r)) return r;
    sectionSizes_[section.bit == kObjectListBit ? 1 : 2] = size;
    if ((wantedMask & section.bit) != 0 && size > 0) {
      // The section's records are read within its size, and the next
      // section starts where the size says.
      const u64 end = ReadPosition() + size;
      if (size > ReadTotalRemaining()) return kErrStream;
      const u64 previous = PushReadLimit(end);
      limitHit_ = false;
      r = ReadRecordList((skipMask & section.bit) != 0, *section.list);
      if (Failed(r) && limitHit_) r = kErrNotFound;
      PopReadLimit(previous);
      if (Succeeded(r)) r = SkipTo(end);
    } else {
      r = CheckAvailable(size, 1);
      if (Succeeded(r) && size > 0) r = Skip(static_cast<i32>(size));
    }
    if (Failed(r)) return r;
  }
  // Section 4: the root tree, parsed or kept raw. It is read to the end of
  // the file, not by its size: nothing follows it.
  r = ReadU32(*this, size);
  if (Failed(r)) return r;
  sectionSizes_[3] = size;
  if ((wantedMask & kRootTreeBit) != 0 && size > 0) return ReadRootTree((skipMask & kRootTreeBit) != 0);
  if ((wantedMask & kRawRootBit) != 0 && size > 0) {
    r = CheckAvailable(size, 1);
    if (Failed(r)) return r;
    rawRoot_.resize(size);
    r = Read(rawRoot_.data(), size, size);
    if (Failed(r)) rawRoot_.clear();
    return r;
  }
  r = CheckAvailable(size, 1);
  if (Succeeded(r) && size > 0) r = Skip(static_cast<i32>(size));
  return r;
}

Result CStream::LoadLegacy(u32 skipMask, u32 wantedMask) {
  // The tagged parts carry no sizes, so reading stops at the first part the
  // wanted mask leaves out.
  if ((wantedMask & kThumbnailBit) == 0) return kOk;
  std::string tag;
  Result r = ReadString(*this, tag);
  if (Failed(r)) return r;
  BeginSection();
  if (fileVersion_ < kFirstSizedRecordVersion) {
    if (tag != kLegacyThumbnailTag) return kErrNotFound;
    // The oldest files store the thumbnail body without its class name.
    r = ReadRecord("CThumbnail", false, thumbnail_);
    BeginSection();
    if (Failed(r)) return r;
  } else {
    if (tag == kThumbnailTag) {
      std::string className;
      r = ReadString(*this, className);
      if (Succeeded(r)) r = ReadRecord(className, (skipMask & kThumbnailBit) != 0, thumbnail_);
      BeginSection();
      if (Failed(r)) return r;
    } else if (!tag.empty()) {
      return kErrNotFound;
    }
    if ((wantedMask & kExtendInfoBit) == 0) return kOk;
    r = ReadString(*this, tag);
    if (Failed(r)) return r;
    if (tag == kExtendInfoTag) {
      r = ReadRecordList((skipMask & kExtendInfoBit) != 0, extendInfo_);
      if (Failed(r)) return r;
    } else if (!tag.empty()) {
      return kErrNotFound;
    }
  }
  if ((wantedMask & (kRootTreeBit | kRawRootBit)) == 0) return kOk;
  return ReadRootTree((skipMask & kRootTreeBit) != 0);
}

Result CStream::ReadRecord(const std::string& className, bool skipUnknown, CPointer<CBase>& slot) {
  u32 bodySize = 0;
  const bool sized = fileVersion_ >= kFirstSizedRecordVersion;
  u64 bodyEnd = ~0ull;
  if (sized) {
    const Result r = ReadU32(*this, bodySize);
    if (Failed(r)) return r;
    if (bodySize > GetRemaining()) {
      // Past the end of the data the file is cut short; within the data
      // the size runs past the section that holds the record.
      return !blockRead_ || bodySize > ReadTotalRemaining() ? kErrStream : kErrNotFound;
    }
    if (blockRead_) bodyEnd = ReadPosition() + bodySize;
  }
  // Runs of records of one class are common: the factory is asked once.
  if (lastCreator_ == nullptr || className != lastClassName_) {
    lastCreator_ = CClassFactory::FindCreator(className);
    lastClassName_ = className;
  }
  const CreateObjectFunc creator = lastCreator_;
  if (creator == nullptr) {
    if (!skipUnknown || !sized || bodySize == 0) return kErrUnknownClass;
    return Skip(static_cast<i32>(bodySize));
  }
  CPointer<CBase> object;
  Result r = kOk;
  creator(r, object);
  if (Failed(r)) return r;
  if (!object) return kErrOutOfMemory;
  LoadRecord* record = NewLoadRecord();
  record->object = object;
  // The record's Load reads within its body: a read past it fails, and
  // what it leaves unread is skipped, so the next record starts where the
  // size says.
  const u64 previous = PushReadLimit(bodyEnd);
  limitHit_ = false;
  r = object->Load(*this, *record, context_);
  const bool overran = limitHit_;
  limitHit_ = false;
  PopReadLimit(previous);
  if (Failed(r)) return overran ? kErrNotFound : r;
  if (bodyEnd != ~0ull) {
    const Result skipped = SkipTo(bodyEnd);
    if (Failed(skipped)) return skipped;
  }
  slot = object;
  return r;
}

Result CStream::ReadRecordList(bool skipUnknown, std::vector<CPointer<CBase>>& list) {
  u32 count = 0;
  Result r = ReadU32(*this, count);
  if (Failed(r)) return r;
  if (count == 0) return kErrNotFound;
  // Every record takes at least its class-name length word.
  r = CheckAvailable(count, 4);
  if (Failed(r)) return r;
  list.assign(count, CPointer<CBase>());
  BeginSection();
  for (u32 i = 0; i < count && Succeeded(r); ++i) {
    r = ReadString(*this, className_);
    if (Succeeded(r)) r = ReadRecord(className_, skipUnknown, list[i]);
  }
  BeginSection();
  return r;
}

Result CStream::ReadRootTree(bool skipUnknown) {
  roots_.clear();
  rootSet_.clear();
  saveTable_.clear();
  unresolved_.clear();
  BeginSection();
  const u64 start = ReadPosition();
  Result r = kOk;
  std::string& name = className_;
  while (!AtEnd()) {
    r = ReadString(*this, name);
    if (Failed(r)) return r;
    const bool isRoot = name == kRootTag || name == kLegacyRootTag;
    if (isRoot) {
      r = ReadString(*this, name);
      if (Failed(r)) return r;
    }
    CPointer<CBase> object;
    r = ReadRecord(name, skipUnknown, object);
    if (Failed(r)) return r;
    if (!object) continue;  // skipped record
    if (loaded_.size() == loaded_.capacity()) {
      ReserveForRestOfSection(loaded_, ReadPosition() - start, ReadTotalRemaining());
    }
    loaded_.push_back(std::move(object));
    // Each record makes a new object, so a root cannot be listed twice.
    if (isRoot) {
      roots_.push_back(loaded_.back());
      rootSet_.insert(loaded_.back().Get());
    }
  }
  r = LinkSection();
  BeginSection();
  return r;
}

Result CStream::LinkSection() {
  postLinkSteps_.clear();
  // Ascending id order, each record once. Links do not register ids, so
  // the table is not changed while it is walked.
  Result linked = kOk;
  idTable_.ForEachAscending([&](u64, LoadRecord* record) {
    if (Failed(linked) || record == nullptr || record->linked != 0 || !record->object) return;
    linkingRecord_ = record;
    linked = record->object->Link(*this, *record, context_);
    record->linked = 1;
  });
  linkingRecord_ = nullptr;
  if (Failed(linked)) {
    postLinkSteps_.clear();
    return linked;
  }
  ClearRootReach();
  Result r = kOk;
  for (std::size_t i = 0; i < postLinkSteps_.size() && Succeeded(r); ++i) r = postLinkSteps_[i]();
  postLinkSteps_.clear();
  ClearRootReach();
  return Failed(r) ? r : kOk;
}

// ---------------------------------------------------------------------------
// Saving

struct CStream::Measure {
  u64 sizes[4] = {0, 0, 0, 0};
  u64 largest = 16;
  void Item(u64 size) { largest = std::max(largest, size); }
};

Result CStream::BuildSaveTable() {
  // Registrations of an earlier measure or save must not make this build
  // skip objects: the table is rebuilt from nothing every time.
  saveTable_.clear();
  idTable_.Clear();
  ReleaseRecords();
  for (const CPointer<CBase>& root : roots_) {
    const Result r = root->RegisterForSave(*this, context_);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CStream::MeasureSections(u32 mask, Measure& m) {
  if ((mask & kThumbnailBit) != 0 && thumbnail_) {
    m.sizes[0] = thumbnail_->GetSaveSize();
    m.Item(m.sizes[0]);
  }
  const std::vector<CPointer<CBase>>* lists[] = {&objects_, &extendInfo_};
  const u32 bits[] = {kObjectListBit, kExtendInfoBit};
  for (int i = 0; i < 2; ++i) {
    if ((mask & bits[i]) == 0) continue;
    u64 total = 0;
    bool any = false;
    // Slots left empty by records skipped on loading are not written.
    for (const CPointer<CBase>& object : *lists[i]) {
      if (!object) continue;
      any = true;
      const u64 size = object->GetSaveSize();
      total += size;
      m.Item(size);
    }
    if (any) m.sizes[1 + i] = 4 + total;
  }
  if ((mask & (kRootTreeBit | kRawRootBit)) != 0) {
    if (!rawRoot_.empty()) {
      m.sizes[3] = rawRoot_.size();
      m.Item(rawRoot_.size());
    } else {
      const Result r = BuildSaveTable();
      if (Failed(r)) return r;
      u64 total = static_cast<u64>(kRootTagSize) * roots_.size();
      for (CBase* object : saveTable_) {
        const u64 size = object->GetSaveSize();
        total += size;
        m.Item(size);
      }
      m.sizes[3] = total;
    }
  }
  for (const u64 size : m.sizes) {
    if (size > std::numeric_limits<u32>::max()) return kErrStream;
  }
  return kOk;
}

Result CStream::SaveRecord(CBase* object) {
  const u64 before = WritePosition();
  // Taken before the save: objects that save in two phases (a block made
  // when registering, written and freed by Save) measure less afterwards.
  const u32 expected = object->GetSaveSize();
  const Result r = object->Save(*this, context_);
  if (Failed(r)) return r;
  // Section and record sizes were computed from GetSaveSize: a record that
  // wrote anything else would misframe the file.
  if (WritePosition() - before != expected) return kErrStream;
  return kOk;
}

Result CStream::SaveTagged(const char* tag) { return WriteString(*this, tag); }

Result CStream::GetSaveSize(u32& size) {
  Measure m;
  Result r;
  try {
    r = MeasureSections(kAllSections, m);
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  }
  if (Failed(r)) return r;
  const u64 total = kSaveOverhead + m.sizes[0] + m.sizes[1] + m.sizes[2] + m.sizes[3];
  if (total > std::numeric_limits<u32>::max()) return kErrStream;
  size = static_cast<u32>(total);
  return kOk;
}

Result CStream::Save(u32 mask) {
  if (device_ == nullptr) return kErrInvalidArg;
  saving_ = true;
  Result r = kOk;
  try {
    Measure m;
    r = MeasureSections(mask, m);
    if (Succeeded(r)) {
      const u64 total = kSaveOverhead + m.sizes[0] + m.sizes[1] + m.sizes[2] + m.sizes[3];
      r = device_->PrepareSize(static_cast<u32>(std::min<u64>(total, std::numeric_limits<u32>::max())),
                               static_cast<u32>(m.largest));
      if (Succeeded(r)) BeginBlockWrite(total);
    }
    if (Succeeded(r)) r = Write(kMagic, kMagicSize);
    if (Succeeded(r)) r = WriteVersion(*this, kFileMajor, kFileMinor);
    // Section 1.
    if (Succeeded(r)) r = WriteU32(*this, static_cast<u32>(m.sizes[0]));
    if (Succeeded(r) && m.sizes[0] > 0) r = SaveRecord(thumbnail_.Get());
    // Sections 2 and 3.
    const std::vector<CPointer<CBase>>* lists[] = {&objects_, &extendInfo_};
    for (int i = 0; i < 2 && Succeeded(r); ++i) {
      r = WriteU32(*this, static_cast<u32>(m.sizes[1 + i]));
      if (Failed(r) || m.sizes[1 + i] == 0) continue;
      const u32 count = static_cast<u32>(std::count_if(lists[i]->begin(), lists[i]->end(),
                                                       [](const CPointer<CBase>& p) { return bool(p); }));
      r = WriteU32(*this, count);
      for (const CPointer<CBase>& object : *lists[i]) {
        if (Failed(r)) break;
        if (object) r = SaveRecord(object.Get());
      }
    }
    // Section 4.
    if (Succeeded(r)) r = WriteU32(*this, static_cast<u32>(m.sizes[3]));
    if (Succeeded(r) && m.sizes[3] > 0) {
      if (!rawRoot_.empty()) {
        r = Write(rawRoot_.data(), static_cast<u32>(rawRoot_.size()));
      } else {
        for (CBase* object : saveTable_) {
          if (IsRootObject(object)) r = SaveTagged(kRootTag);
          if (Succeeded(r)) r = SaveRecord(object);
          if (Failed(r)) break;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  }
  if (blockWrite_) {
    // What was written goes to the device even after a failure, as it did
    // field by field; the first failure is the answer.
    const Result flushed = FlushWrites();
    if (Succeeded(r)) r = flushed;
    EndBlockWrite();
  }
  saveTable_.clear();
  idTable_.Clear();
  if (Succeeded(r)) saving_ = false;
  return r;
}

}  // namespace KT
