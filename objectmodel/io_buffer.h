// KT::CIoBuffer: the abstract byte device under the object stream.
//
// The stream never touches files itself; it reads and writes whole fields
// through one of these. Every transfer is all-or-nothing from the caller's
// view: a short read, write or seek answers kErrStream and is not retried.
// Implementations: KT::CFileIo (a file) and KT::CMemoryIo (a byte block).
#pragma once

#include "objectmodel/types.h"

namespace KT {

class CIoBuffer {
 public:
  virtual ~CIoBuffer();

  // Nothing left to read.
  virtual bool IsEof() const = 0;
  // A file or folder of `path` exists (not necessarily the device's own).
  virtual bool Exists(WString path) const = 0;
  // The folder of the device's own path (empty for devices without one).
  virtual Result GetFolder(WString& folder) const = 0;
  // Announces the total size of a coming write and its largest single
  // item; devices may use both to reserve space.
  virtual Result PrepareSize(u32 totalBytes, u32 largestItem) = 0;
  // Size of the data to read.
  virtual u32 GetSize() const = 0;
  // Bytes not yet read.
  virtual u32 GetRemaining() const = 0;
  // Reads exactly `count` bytes into `destination`, which holds `capacity`
  // bytes. count > capacity, or a null destination with count > 0:
  // kErrInvalidArg, nothing read. Short: kErrStream. `context` is the
  // stream's context word, passed through for devices that want it.
  virtual Result Read(void* destination, u32 capacity, u32 count, u32 context) = 0;
  // Writes exactly `count` bytes. A null source with count > 0:
  // kErrInvalidArg. Short: kErrStream.
  virtual Result Write(const void* source, u32 count, u32 context) = 0;
  // Moves the read position by `offset` from the current one; a target
  // outside the data answers kErrStream and the position stays.
  virtual Result Skip(i32 offset) = 0;
  // The bytes from the read position to the end when the device holds them
  // in memory (their count in `count`), else null. The position does not
  // move; the block stays valid until the device is next changed.
  virtual const u8* MapRemaining(u32& count) const {
    count = 0;
    return nullptr;
  }

 protected:
  CIoBuffer() = default;
  CIoBuffer(const CIoBuffer&) = default;
  CIoBuffer& operator=(const CIoBuffer&) = default;
};

}  // namespace KT
