// Helpers shared by the tests that write and read whole scene files in
// memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "scene/member_text_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "platform/unique_id.h"
#include "tests/objectmodel/custom_scenes.h"

namespace KT::test {

// Saves the parts with `mask` and answers the file's bytes (empty and a
// test failure when saving fails).
inline Bytes SaveScene(const SceneParts& parts, u32 mask = CStream::kAllSections) {
  Bytes bytes;
  EXPECT_EQ(SaveParts(parts, bytes, mask), kOk) << "save failed";
  return bytes;
}

// Saves a scene made of roots only.
inline Bytes SaveRoots(const std::vector<CBase*>& roots) {
  SceneParts parts;
  parts.roots = roots;
  return SaveScene(parts);
}

// Loads `bytes` into `stream` (which keeps what it delivered).
inline Result LoadScene(const Bytes& bytes, CStream& stream, CMemoryIo& device, u32 skipMask = 0x1E,
                        u32 wantedMask = CStream::kAllSections) {
  device.SetData(bytes);
  stream.SetDevice(&device);
  return stream.Load(skipMask, wantedMask);
}

// Saves what a loaded stream delivered (roots, lists, thumbnail) again.
inline Bytes SaveLoaded(CStream& loaded) {
  SceneParts parts;
  for (u32 i = 0; i < loaded.GetRootObjectCount(); ++i) parts.roots.push_back(loaded.GetRootObject(i));
  for (u32 i = 0; i < loaded.GetExtendInfoCount(); ++i) {
    if (CBase* o = loaded.GetExtendInfo(i)) parts.extendInfo.push_back(o);
  }
  for (u32 i = 0; i < loaded.GetObjectCount(); ++i) {
    if (CBase* o = loaded.GetObject(i)) parts.objects.push_back(o);
  }
  parts.thumbnail = loaded.GetThumbnail();
  return SaveScene(parts);
}

// Tests give objects recognisable ids: every id starts with these 16 bits.
inline constexpr u64 kTestIdTag = 0x7E57000000000000ull;

// Restarts unique ids in the test range; `block` separates the objects a
// test makes (block 0) from those a load makes (block 1, 2...).
inline void UseTestIds(u32 block) { ResetUniqueIDs(kTestIdTag + (static_cast<u64>(block) << 32) + 1); }

// Replaces every 8-byte window that holds a test id by the order in which
// that id first appears, so that two saves of equal scenes compare equal
// although their objects carry different unique ids.
inline Bytes RenumberIds(Bytes bytes) {
  std::vector<u64> order;
  for (std::size_t i = 0; i + 8 <= bytes.size(); ++i) {
    u64 value = 0;
    std::memcpy(&value, &bytes[i], 8);
    if ((value & 0xFFFF000000000000ull) != kTestIdTag) continue;
    std::size_t index = 0;
    while (index < order.size() && order[index] != value) ++index;
    if (index == order.size()) order.push_back(value);
    const u64 replacement = 0xA5A5000000000000ull + index;
    std::memcpy(&bytes[i], &replacement, 8);
    i += 7;
  }
  return bytes;
}

// Text of an object's stable members (no id, count or Modified flag).
inline std::string Members(CBase* object) { return object ? DescribeObject(*object, true) : "null"; }

// Every prefix of `bytes` from `from` bytes on (the full file excluded)
// fails to load with a negative code.
inline void ExpectEveryPrefixFails(const Bytes& bytes, std::size_t from = 0) {
  for (std::size_t n = from; n < bytes.size(); ++n) {
    const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    CStream stream;
    CMemoryIo device;
    EXPECT_LT(LoadScene(prefix, stream, device), 0) << "prefix of " << n << " bytes";
  }
}

// The offsets at which a prefix of a 3.01 file ends on a boundary of its
// root tree: where the tree's records begin, and the end of each record.
// The tree is read to the end of the file, so such a prefix is a whole
// file with fewer records.
inline std::vector<std::size_t> RootTreeRecordEnds(const Bytes& bytes) {
  std::vector<std::size_t> ends;
  std::size_t at = 0;
  bool ok = true;
  const auto u32At = [&](u32& value) {
    ok = ok && at + 4 <= bytes.size();
    if (ok) std::memcpy(&value, &bytes[at], 4);
    at += 4;
    return ok ? value : 0;
  };
  const auto skipString = [&] {
    u32 length = 0;
    u32At(length);
    std::string text;
    if (ok && at + length <= bytes.size()) text.assign(reinterpret_cast<const char*>(&bytes[at]), length);
    at += length;
    return text;
  };
  u32 major = 0;
  u32 minor = 0;
  if (bytes.size() < 15 || std::memcmp(bytes.data(), "_KTVusk", 7) != 0) {
    ADD_FAILURE() << "not a scene file of the current layout";
    return ends;
  }
  at = 7;
  u32At(major);
  u32At(minor);
  EXPECT_EQ(major * 100 + minor, 301u) << "not a scene file of the current layout";
  for (int section = 0; section < 4 && ok; ++section) {
    u32 size = 0;
    u32At(size);
    if (section < 3) at += size;
  }
  if (ok) ends.push_back(at);
  while (ok && at < bytes.size()) {
    if (skipString() == "_Root") skipString();
    u32 body = 0;
    at += u32At(body);
    if (ok && at <= bytes.size()) ends.push_back(at);
  }
  EXPECT_TRUE(ok && at == bytes.size()) << "the root tree's records do not end with the file";
  return ends;
}

// Every prefix of `bytes` from `from` bytes on (the full file excluded)
// fails to load with a negative code, except where the cut falls on a
// boundary of the root tree's records (RootTreeRecordEnds): there the
// prefix is a whole file of fewer records and may load. A record cut
// anywhere else must never load.
inline void ExpectPrefixesFailBetweenRecords(const Bytes& bytes, std::size_t from = 0) {
  const std::vector<std::size_t> ends = RootTreeRecordEnds(bytes);
  for (std::size_t n = from; n < bytes.size(); ++n) {
    const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    CStream stream;
    CMemoryIo device;
    const Result r = LoadScene(prefix, stream, device);
    if (std::find(ends.begin(), ends.end(), n) != ends.end()) continue;
    EXPECT_LT(r, 0) << "prefix of " << n << " bytes, not at a record boundary";
  }
}

// The sum of the record sizes of everything the last load made: with the
// file's fixed overhead, what the file must measure when every record
// wrote exactly its GetSaveSize.
inline u64 LoadedRecordBytes(const CStream& stream) {
  u64 total = 0;
  for (const CPointer<CBase>& object : stream.GetLoadedObjects()) total += object->GetSaveSize();
  return total;
}

}  // namespace KT::test
