// KT::CFileIo: the byte device over one file, opened either for reading or
// for writing.
#pragma once

#include <cstdio>

#include "objectmodel/io_buffer.h"

namespace KT {

class CFileIo final : public CIoBuffer {
 public:
  // No file; size, position and written 0; empty path.
  CFileIo();
  // Closes an open file.
  ~CFileIo() override;
  CFileIo(const CFileIo&) = delete;
  CFileIo& operator=(const CFileIo&) = delete;

  // Opens `path` for reading from its start. A file already open is closed
  // first; the path is stored even when opening fails (GetFolder still
  // answers its folder).
  // - kErrInvalidArg: empty path;
  // - kErrFileSize (0x80000007): the size cannot be read (no such file) or
  //   does not fit 32 bits;
  // - kErrTreeData (0x80000006): the file cannot be opened (also a folder).
  Result OpenRead(const WString& path);
  // Creates or truncates `path` for writing. A file already open is closed
  // first; the path is stored.
  // - kErrInvalidArg: empty path;
  // - kErrTreeData (0x80000006): the file cannot be created.
  Result OpenWrite(const WString& path);
  // Closes an open file; size, position and written become 0. Always kOk.
  Result Close();

  bool IsOpen() const { return file_ != nullptr; }
  bool IsOpenForReading() const { return file_ != nullptr && reading_; }
  // Bytes read or skipped since OpenRead.
  u32 GetPosition() const { return position_; }
  // Bytes written since OpenWrite.
  u32 GetWritten() const { return written_; }
  // The path given to the last open.
  const WString& GetPath() const { return path_; }

  // position >= size (at once for an empty file, and when nothing is open).
  bool IsEof() const override;
  // KT::PathExists of `path`.
  bool Exists(WString path) const override;
  // KT::GetFolder of the stored path; kOk.
  Result GetFolder(WString& folder) const override;
  // Files need no reservation: does nothing, kOk.
  Result PrepareSize(u32 totalBytes, u32 largestItem) override;
  // Size of the file opened for reading (0 otherwise).
  u32 GetSize() const override;
  // size - position, never below 0.
  u32 GetRemaining() const override;
  // Reads exactly `count` bytes. count 0: kOk. count > capacity or a null
  // destination: kErrInvalidArg. Nothing open, not open for reading, or
  // fewer bytes available: kErrStream (the bytes that did arrive still
  // count towards the position).
  Result Read(void* destination, u32 capacity, u32 count, u32 context) override;
  // Writes exactly `count` bytes. count 0: kOk. A null source:
  // kErrInvalidArg. Nothing open, not open for writing, or a short write:
  // kErrStream.
  Result Write(const void* source, u32 count, u32 context) override;
  // Moves the read position of a file opened for reading. A target before
  // the start or past the size, or no file open for reading: kErrStream,
  // position unchanged.
  Result Skip(i32 offset) override;

 private:
  std::FILE* file_ = nullptr;
  bool reading_ = false;
  u32 size_ = 0;
  u32 position_ = 0;
  u32 written_ = 0;
  WString path_;
};

}  // namespace KT
