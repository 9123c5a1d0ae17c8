// Helpers shared by the tests that write and read whole scene files in
// memory.
#pragma once

#include <gtest/gtest.h>

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

// The sum of the record sizes of everything the last load made: with the
// file's fixed overhead, what the file must measure when every record
// wrote exactly its GetSaveSize.
inline u64 LoadedRecordBytes(const CStream& stream) {
  u64 total = 0;
  for (const CPointer<CBase>& object : stream.GetLoadedObjects()) total += object->GetSaveSize();
  return total;
}

}  // namespace KT::test
