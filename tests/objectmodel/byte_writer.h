// Builds little-endian byte images of scene files and records in tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "objectmodel/types.h"

namespace KT::test {

class ByteWriter {
 public:
  ByteWriter& U8(u8 v) { return Raw(&v, 1); }
  ByteWriter& U16(u16 v) { return Raw(&v, 2); }
  ByteWriter& U32(u32 v) { return Raw(&v, 4); }
  ByteWriter& I32(i32 v) { return Raw(&v, 4); }
  ByteWriter& F32(f32 v) { return Raw(&v, 4); }
  ByteWriter& U64(u64 v) { return Raw(&v, 8); }
  ByteWriter& Chars(const std::string& s) { return Raw(s.data(), s.size()); }
  // Narrow string: u32 length, bytes.
  ByteWriter& Str(const std::string& s) { return U32(static_cast<u32>(s.size())).Chars(s); }
  // Wide string: u32 count, UTF-16LE units.
  ByteWriter& WStr(const std::u16string& s) {
    U32(static_cast<u32>(s.size()));
    return Raw(s.data(), 2 * s.size());
  }
  ByteWriter& Pair(u32 major, u32 minor) { return U32(major).U32(minor); }
  ByteWriter& Bytes(const std::vector<u8>& b) { return Raw(b.data(), b.size()); }
  ByteWriter& Raw(const void* p, std::size_t n) {
    if (n == 0) return *this;
    // resize and copy rather than insert: GCC 12 reports a false
    // -Wstringop-overflow on the inlined insert in Release builds.
    const std::size_t at = data_.size();
    data_.resize(at + n);
    std::memcpy(data_.data() + at, p, n);
    return *this;
  }
  // Overwrites a u32 at `offset` (for sizes known only at the end).
  void PatchU32(std::size_t offset, u32 v) { std::memcpy(&data_[offset], &v, 4); }
  std::size_t Size() const { return data_.size(); }
  const std::vector<u8>& Data() const { return data_; }

 private:
  std::vector<u8> data_;
};

// A 3.01 file with empty thumbnail, object-list and extension sections and
// the given records in its root tree.
class SceneImage {
 public:
  SceneImage() {
    w_.Chars("_KTVusk").Pair(3, 1).U32(0).U32(0).U32(0);
    sizeAt_ = w_.Size();
    w_.U32(0);
  }
  SceneImage& Record(const std::string& className, const ByteWriter& body, bool root = false) {
    if (root) w_.Str("_Root");
    w_.Str(className).U32(static_cast<u32>(body.Size())).Bytes(body.Data());
    return *this;
  }
  std::vector<u8> Data() const {
    ByteWriter copy = w_;
    copy.PatchU32(sizeAt_, static_cast<u32>(copy.Size() - sizeAt_ - 4));
    return copy.Data();
  }

 private:
  ByteWriter w_;
  std::size_t sizeAt_ = 0;
};

}  // namespace KT::test
