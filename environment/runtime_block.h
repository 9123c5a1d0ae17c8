// KT::CRuntimeBlock: a block of bytes the tree runtime made for a coming
// save (the tree data of a tree object, the wind text of a wind object).
//
// The scene objects save in two phases: registering for the save makes the
// block (its size then counts in GetSaveSize), the save writes it and frees
// it. A block never written (a measuring pass, an abandoned save) is freed
// with its owner.
#pragma once

#include <vector>

#include "objectmodel/types.h"

namespace KT {

class CStream;

class CRuntimeBlock {
 public:
  CRuntimeBlock() = default;
  ~CRuntimeBlock() { Free(); }
  CRuntimeBlock(const CRuntimeBlock&) = delete;
  CRuntimeBlock& operator=(const CRuntimeBlock&) = delete;

  bool IsPending() const { return block_ != nullptr; }
  // The pending block's length, 0 without one.
  u32 GetSize() const { return size_; }
  const u8* GetData() const { return block_; }
  // Keeps `block` (a counted byte array of the tree runtime) of `size`
  // bytes, freeing a block pending before. A null block: kErrOutOfMemory,
  // nothing pending.
  Result Take(u8* block, u32 size);
  // Writes the length as u32 (0 without a pending block), then the bytes.
  // A pending block is freed whether or not the writes succeed: it served
  // this save, and the next one asks the runtime again.
  Result Write(CStream& stream);
  void Free();

 private:
  u8* block_ = nullptr;
  u32 size_ = 0;
};

// The stored form read back: a u32 length, checked against the bytes left
// (kErrStream), then that many bytes into `bytes` (kErrOutOfMemory when they
// cannot be held).
Result ReadRuntimeBlock(CStream& stream, std::vector<u8>& bytes);

}  // namespace KT
