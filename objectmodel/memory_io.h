// KT::CMemoryIo: a byte device over a block of memory, for tests, fuzzing
// and tools that keep a scene in memory.
//
// The block is both readable and writable: writes append to its end (it
// grows as needed), reads and skips move a read position from its start,
// so what a stream saved can be loaded back from the same device after
// Rewind.
#pragma once

#include <vector>

#include "objectmodel/io_buffer.h"

namespace KT {

class CMemoryIo final : public CIoBuffer {
 public:
  // An empty block.
  CMemoryIo();
  // A block holding `bytes`, read position 0.
  explicit CMemoryIo(std::vector<u8> bytes);
  // A block holding a copy of `count` bytes at `bytes` (null: empty).
  CMemoryIo(const void* bytes, u32 count);

  const std::vector<u8>& GetData() const { return data_; }
  // Replaces the block and rewinds.
  void SetData(std::vector<u8> bytes);
  // Hands the block over and leaves the device empty.
  std::vector<u8> TakeData();
  // Moves the read position back to the start.
  void Rewind() { position_ = 0; }
  u32 GetPosition() const { return position_; }

  // A path the device stands for, so that GetFolder answers its folder
  // (readers use it to find files next to the scene). Empty by default.
  void SetPath(const WString& path) { path_ = path; }
  const WString& GetPath() const { return path_; }

  // The block never grows past `limit` bytes: a write that would pass it
  // writes nothing and answers kErrStream, as a full disk would. The
  // default is the u32 range.
  void SetWriteLimit(u32 limit) { writeLimit_ = limit; }

  // position >= size.
  bool IsEof() const override;
  // KT::PathExists of `path`.
  bool Exists(WString path) const override;
  // KT::GetFolder of the path set with SetPath; kOk.
  Result GetFolder(WString& folder) const override;
  // Reserves room for `totalBytes` more bytes when that stays within the
  // write limit; an allocation failure is ignored (the writes will
  // report it). Always kOk.
  Result PrepareSize(u32 totalBytes, u32 largestItem) override;
  // Bytes in the block.
  u32 GetSize() const override;
  // Bytes after the read position.
  u32 GetRemaining() const override;
  // Reads exactly `count` bytes from the read position. count 0: kOk.
  // count > capacity or a null destination: kErrInvalidArg. Fewer than
  // `count` bytes left: kErrStream, nothing read, position unchanged.
  Result Read(void* destination, u32 capacity, u32 count, u32 context) override;
  // Appends `count` bytes. count 0: kOk. A null source: kErrInvalidArg.
  // Past the write limit: kErrStream, nothing written. The block cannot
  // grow: kErrOutOfMemory.
  Result Write(const void* source, u32 count, u32 context) override;
  // Moves the read position; a target before the start or past the end
  // answers kErrStream and the position stays.
  Result Skip(i32 offset) override;
  // The block after the read position.
  const u8* MapRemaining(u32& count) const override {
    count = GetRemaining();
    return data_.data() + position_;
  }

 private:
  std::vector<u8> data_;
  u32 position_ = 0;
  u32 writeLimit_ = 0xFFFFFFFFu;
  WString path_;
};

}  // namespace KT
