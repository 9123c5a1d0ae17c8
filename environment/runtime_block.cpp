#include "environment/runtime_block.h"

#include <new>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "treeruntime/tree_memory.h"

namespace KT {

Result CRuntimeBlock::Take(u8* block, u32 size) {
  Free();
  if (block == nullptr) return kErrOutOfMemory;
  block_ = block;
  size_ = size;
  return kOk;
}

Result CRuntimeBlock::Write(CStream& stream) {
  Result r = WriteU32(stream, size_);
  if (Succeeded(r) && size_ != 0) r = stream.Write(block_, size_);
  Free();
  return r;
}

void CRuntimeBlock::Free() {
  trt::TrackedDeleteArray(block_);
  size_ = 0;
}

Result ReadRuntimeBlock(CStream& stream, std::vector<u8>& bytes) {
  u32 length = 0;
  Result r = ReadU32(stream, length);
  if (Succeeded(r)) r = stream.CheckAvailable(length, 1);
  if (Failed(r)) return r;
  try {
    bytes.assign(length, 0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return length == 0 ? kOk : stream.Read(bytes.data(), length, length);
}

}  // namespace KT
