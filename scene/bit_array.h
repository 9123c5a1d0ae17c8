// KT::CBitArray: a fixed-size array of bits packed into 32-bit words, with a
// small record of its own that its owner saves and loads inside its own
// record (vertex selections keep their selected vertices in one). It is a
// plain class, not a scene object: no class record, no id.
//
// Bit i lives in word i / 32 under the mask 1 << (i mod 32): bit 0 is the
// least significant bit of word 0. The words exist exactly when WordCount
// is at least 1, WordCount is then ceil(BitCount / 32), and the bits past
// BitCount in the last word are 0. A record loaded without words keeps its
// BitCount but has no words (WordCount 0): none of its bits can be set.
//
// Record (little-endian):
//   u32 BitCount, u32 WordCount, u32 data flag (0: no words follow; any
//   other value: words follow), then WordCount u32 words when the flag is
//   non-zero.
#pragma once

#include <memory>

#include "objectmodel/types.h"

namespace KT {

class CStream;

class CBitArray {
 public:
  static constexpr i32 kBitsPerWord = 32;

  // `bitCount` bits, all clear (a negative count gives 0 bits). With at
  // least one bit the words are allocated; if that fails the array is left
  // with 0 bits.
  explicit CBitArray(i32 bitCount = 0);
  // A copy has the source's BitCount, WordCount and words (none when the
  // source has none). If the words cannot be allocated the copy is left
  // with 0 bits.
  CBitArray(const CBitArray& other);
  CBitArray& operator=(const CBitArray& other);
  CBitArray(CBitArray&& other) noexcept;
  CBitArray& operator=(CBitArray&& other) noexcept;
  ~CBitArray();

  // Same BitCount, same WordCount and the same words.
  bool operator==(const CBitArray& other) const;

  i32 GetBitCount() const { return bitCount_; }
  i32 GetWordCount() const { return wordCount_; }
  bool HasWords() const { return words_ != nullptr; }
  // The words (WordCount of them), or null when there are none.
  const u32* GetWords() const { return words_.get(); }

  // Sets bit `index` when `value` is true, clears it otherwise. An index
  // outside [0, BitCount), or any index while there are no words, answers
  // kErrOutOfRange and changes nothing; else kOk.
  Result SetBit(i32 index, bool value);
  // Bit `index`; false outside [0, BitCount) or without words.
  bool GetBit(i32 index) const;
  // The number of set bits among the first BitCount bits.
  i32 CountSetBits() const;

  // Replaces the array with the record read from `stream`:
  // - a BitCount above 0x7FFFFFFF: kErrNotFound;
  // - a data flag of 0: no words; the stored WordCount is ignored and
  //   WordCount becomes 0;
  // - words follow: their count must be ceil(BitCount / 32), else
  //   kErrNotFound; it must fit in the bytes left, else kErrStream, checked
  //   before anything is allocated; a failed allocation answers
  //   kErrOutOfMemory. Bits past BitCount in the last word are cleared.
  // A stream failure is passed up unchanged. After any failure the array
  // is empty (0 bits, no words).
  Result Load(CStream& stream);
  // Writes the record: the data flag is 1 when there are words, else 0 and
  // no words follow.
  Result Save(CStream& stream) const;
  // 4 x WordCount + 16.
  u32 GetMemorySize() const;
  // Bytes Save writes: 12, plus 4 x WordCount when there are words.
  u32 GetSaveSize() const;

 private:
  // Takes `bitCount` bits and `wordCount` zeroed words (none for 0). False,
  // with the array empty, when the words cannot be allocated.
  bool Allocate(i32 bitCount, i32 wordCount);
  void Reset();

  std::unique_ptr<u32[]> words_;
  i32 bitCount_ = 0;
  i32 wordCount_ = 0;
};

}  // namespace KT
