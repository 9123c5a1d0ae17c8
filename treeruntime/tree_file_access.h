// CTreeFileAccess: the read position and byte store every reader and writer
// of SPT tree data goes through, and TreeFileError, the exception every SPT
// parser throws.
//
// Field encodings (little-endian, no alignment, no gaps):
//   token / int    4 bytes, signed, lowest byte first
//   float          4 bytes, IEEE-754 single (written by the token writer)
//   long           8 bytes: the 32-bit value, then four bytes the reader
//                  skips and the writer writes as 0
//   vec3           three floats x, y, z
//   string         u32 length n, then n raw bytes (no terminator)
//   byte           1 byte; as a bool any nonzero byte is true
//   fraction byte  1 byte b standing for b / 255
//   spline         a string holding the curve's text form
//
// A reader works on its own copy of the caller's block. Every read is
// bounds-checked: a read that needs bytes beyond the end of the data throws
// TreeFileError "premature end of file reached parsing <what>", <what> being
// the current parse context (see CParseContext); a negative string length
// throws "malformed string length parsing <what>". Nothing is ever read
// beyond the data, whatever it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

struct stBezierSpline;

// The exception of the SPT parsers: a character string, deliberately not a
// std::exception. Its text is the message, " [", an optional system error
// text (the parsers never give one) and "]"; the message is formatted
// printf-style into 1024 characters.
class TreeFileError {
 public:
  static constexpr std::size_t kMessageSize = 1024;

  // printf-style message; the system error text is empty.
  explicit TreeFileError(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // "message [system error]"; a null system error counts as empty.
  static TreeFileError WithSystemError(const char* message, const char* systemError);

  const char* Text() const { return m_strText.c_str(); }
  const std::string& String() const { return m_strText; }

 private:
  TreeFileError() = default;
  std::string m_strText;
};

class CTreeFileAccess {
 public:
  // What the premature-end message names when no context is set.
  static constexpr const char* kDefaultContext = "tree data";

  // A writer: empty, read position 0.
  CTreeFileAccess();
  // A reader over a copy of `size` bytes at `data` (null with size 0 is an
  // empty reader).
  CTreeFileAccess(const void* data, std::size_t size);

  // --- reading ------------------------------------------------------------
  std::int32_t ParseToken();
  // The token at the read position, without advancing.
  std::int32_t PeekToken() const;
  float ParseFloat();
  // The signed 32-bit value of the first four bytes; the other four are
  // skipped unread.
  std::int32_t ParseLong();
  stVec3 ParseVector3();
  // Clears `target`, then reads the length and the bytes.
  void ParseString(std::string& target);
  std::string ParseString();
  std::uint8_t ParseByte();
  // Any nonzero byte is true.
  bool ParseBool();
  // A byte b read as b / 255.0.
  float ParseFraction();
  // A string parsed as a curve's text form into `target`.
  void ParseSpline(stBezierSpline& target);

  // Whether unread bytes remain.
  bool DataRemains() const { return m_uPosition < m_vData.size(); }
  std::size_t BytesRemaining() const { return DataRemains() ? m_vData.size() - m_uPosition : 0; }
  std::uint32_t GetPosition() const { return m_uPosition; }

  // Throws the premature-end error unless `count` items of at least
  // `minimumBytes` bytes each can still follow. Readers call it before
  // sizing anything by a count read from the data.
  void RequireCount(std::int64_t count, std::size_t minimumBytes) const;

  // --- writing ------------------------------------------------------------
  // The 4 bytes of a 32-bit value: tokens and ints.
  void SaveToken(std::int32_t value);
  // A float through the token writer (its bit pattern).
  void SaveFloat(float value);
  // The value, then four zero bytes.
  void SaveLong(std::int32_t value);
  void SaveVector3(const stVec3& value);
  void SaveString(std::string_view value);
  void SaveByte(std::uint8_t value);
  // 0 or 1.
  void SaveBool(bool value);
  // Above 1.0: 255; otherwise value x 255 truncated toward zero. Values
  // below 0 and NaN write 0 (they stand for no fraction at all).
  void SaveFraction(float value);
  void SaveSpline(const stBezierSpline& value);

  // The written bytes as a new counted byte array (count word ahead of the
  // bytes), `size` set to their number; free it with TrackedDeleteArray.
  std::uint8_t* ConvertMemoryToArray(std::uint32_t& size) const;
  const TreeVector<std::uint8_t>& GetData() const { return m_vData; }

  // --- parse context --------------------------------------------------------
  // The name of what is being parsed, used by the premature-end message.
  const char* GetContext() const { return m_pContext; }
  void SetContext(const char* context) { m_pContext = context != nullptr ? context : kDefaultContext; }

  // Sets the context for the lifetime of the object and puts the previous
  // one back afterwards.
  class CParseContext {
   public:
    CParseContext(CTreeFileAccess& file, const char* context) : m_cFile(file), m_pPrevious(file.GetContext()) {
      file.SetContext(context);
    }
    ~CParseContext() { m_cFile.SetContext(m_pPrevious); }
    CParseContext(const CParseContext&) = delete;
    CParseContext& operator=(const CParseContext&) = delete;

   private:
    CTreeFileAccess& m_cFile;
    const char* m_pPrevious;
  };

 private:
  // The read position after checking that `count` bytes remain.
  std::size_t Take(std::size_t count);
  // The little-endian word at `at` (the caller has checked the bounds).
  std::int32_t DecodeWord(std::size_t at) const;
  [[noreturn]] void ThrowPrematureEnd() const;
  void Append(const void* bytes, std::size_t count);

  std::uint32_t m_uPosition = 0;
  TreeVector<std::uint8_t> m_vData;
  const char* m_pContext = kDefaultContext;
};

// The part of a file name after its last "/" or "\"; the whole name when it
// holds neither. Texture names are stored without their directories.
std::string StripDirectories(std::string_view name);

}  // namespace trt
