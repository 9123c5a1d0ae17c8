// Shared pieces of the tree, tree-instance and wind tests: registration of
// the three classes (and the node), tree data made in code, byte images of
// the records (file version 3.01) and a device that fails its writes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "environment/tree.h"
#include "environment/tree_instance.h"
#include "environment/wind.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/io_buffer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/scene_test_classes.h"

namespace KT::test {

// Where the first record of a file with one root begins.
inline constexpr std::size_t kFirstRecordOffset = 40;

// Each test registers the three classes (and the node) and leaves the
// process-wide registry and the tree runtime's options as it found them.
class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  CClassFactory::Registry saved_;
};

// The shape of a straight trunk: a cylinder along +Z of `radius` and
// `height` with `sides` sides (cross sections) and `segments` segments,
// without branches, fronds or leaves, one branch level of detail.
struct TrunkShape {
  f32 height = 10.0f;
  f32 radius = 0.5f;
  i32 sides = 8;
  i32 segments = 2;
  i32 seed = 7;
};

// Tree data of a trunk of `shape` (the core and every supplemental section).
Bytes TrunkTreeData(const TrunkShape& shape = {});

// A tree holding the trunk (computed with Seed 1, default sizes).
CPointer<CTree> MakeTrunkTree(const TrunkShape& shape = {});

// The CTree level of a record at `version` (2.00: 4-byte ids).
inline ByteWriter& TreePart(ByteWriter& w, u32 version, const Bytes& data, u32 seed, f32 size, f32 variance,
                            const std::vector<u64>& ids) {
  w.Pair(version / 100, version % 100).U32(static_cast<u32>(data.size())).Bytes(data);
  w.U32(seed).F32(size).F32(variance);
  for (u32 i = 0; i < CTree::kReferenceCount; ++i) {
    const u64 id = i < ids.size() ? ids[i] : 0;
    if (version >= CTree::kVersionWideIds) {
      w.U64(id);
    } else {
      w.U32(static_cast<u32>(id));
    }
  }
  return w;
}

inline ByteWriter TreeBody(u64 id, u32 version, const Bytes& data, u32 seed = 1, f32 size = -1.0f,
                           f32 variance = -1.0f, const std::vector<u64>& ids = {}) {
  ByteWriter w;
  ObjectHead(w, id);
  TreePart(w, version, data, seed, size, variance, ids);
  return w;
}

inline ByteWriter WindBody(u64 id, const std::string& text) {
  ByteWriter w;
  ObjectHead(w, id);
  w.Pair(2, 0).U32(static_cast<u32>(text.size())).Chars(text);
  return w;
}

// A device that takes writes into memory until `limit` bytes are written;
// every write that would pass the limit fails (kErrStream, nothing
// written).
class LimitedWriteIo final : public CIoBuffer {
 public:
  explicit LimitedWriteIo(u32 limit) : limit_(limit) {}
  bool IsEof() const override { return true; }
  bool Exists(WString) const override { return false; }
  Result GetFolder(WString& folder) const override {
    folder.clear();
    return kOk;
  }
  Result PrepareSize(u32, u32) override { return kOk; }
  u32 GetSize() const override { return 0; }
  u32 GetRemaining() const override { return 0; }
  Result Read(void*, u32, u32, u32) override { return kErrStream; }
  Result Write(const void* source, u32 count, u32) override {
    if (source == nullptr && count > 0) return kErrInvalidArg;
    if (written_.size() + count > limit_) return kErrStream;
    const u8* bytes = static_cast<const u8*>(source);
    written_.insert(written_.end(), bytes, bytes + count);
    return kOk;
  }
  Result Skip(i32) override { return kErrStream; }
  const Bytes& Written() const { return written_; }

 private:
  u32 limit_;
  Bytes written_;
};

}  // namespace KT::test
