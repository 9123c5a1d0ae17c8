#include "scene/bit_array.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>
#include <utility>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// kBitMasks[n] = 1 << n: the mask of bit n within its word.
constexpr std::array<u32, CBitArray::kBitsPerWord> MakeBitMasks() {
  std::array<u32, CBitArray::kBitsPerWord> masks{};
  for (u32 n = 0; n < masks.size(); ++n) masks[n] = 1u << n;
  return masks;
}
constexpr std::array<u32, CBitArray::kBitsPerWord> kBitMasks = MakeBitMasks();

// The largest bit count the record can describe (BitCount is an i32).
constexpr u32 kMaxBitCount = 0x7FFFFFFFu;

// ceil(bitCount / 32) for 0 <= bitCount <= kMaxBitCount.
i32 WordsFor(u32 bitCount) { return static_cast<i32>((static_cast<u64>(bitCount) + 31) / 32); }

// The bits of the last word that lie below BitCount (all of them when
// BitCount is a whole number of words).
u32 LastWordMask(i32 bitCount) {
  const i32 used = bitCount % CBitArray::kBitsPerWord;
  return used == 0 ? 0xFFFFFFFFu : kBitMasks[static_cast<std::size_t>(used)] - 1u;
}

}  // namespace

CBitArray::CBitArray(i32 bitCount) {
  const u32 count = bitCount > 0 ? static_cast<u32>(bitCount) : 0u;
  Allocate(static_cast<i32>(count), WordsFor(count));
}

CBitArray::CBitArray(const CBitArray& other) {
  // A source without words gives a copy without words, whatever its
  // BitCount: there is nothing to copy from.
  if (Allocate(other.bitCount_, other.HasWords() ? other.wordCount_ : 0) && HasWords()) {
    std::copy_n(other.words_.get(), wordCount_, words_.get());
  }
}

CBitArray& CBitArray::operator=(const CBitArray& other) {
  if (this != &other) {
    CBitArray copy(other);
    *this = std::move(copy);
  }
  return *this;
}

CBitArray::CBitArray(CBitArray&& other) noexcept
    : words_(std::move(other.words_)),
      bitCount_(std::exchange(other.bitCount_, 0)),
      wordCount_(std::exchange(other.wordCount_, 0)) {}

CBitArray& CBitArray::operator=(CBitArray&& other) noexcept {
  if (this != &other) {
    words_ = std::move(other.words_);
    bitCount_ = std::exchange(other.bitCount_, 0);
    wordCount_ = std::exchange(other.wordCount_, 0);
  }
  return *this;
}

CBitArray::~CBitArray() = default;

bool CBitArray::operator==(const CBitArray& other) const {
  if (bitCount_ != other.bitCount_ || wordCount_ != other.wordCount_ || HasWords() != other.HasWords()) {
    return false;
  }
  return !HasWords() || std::equal(words_.get(), words_.get() + wordCount_, other.words_.get());
}

bool CBitArray::Allocate(i32 bitCount, i32 wordCount) {
  Reset();
  if (wordCount > 0) {
    words_.reset(new (std::nothrow) u32[static_cast<std::size_t>(wordCount)]());
    if (!words_) return false;
  }
  bitCount_ = bitCount;
  wordCount_ = wordCount;
  return true;
}

void CBitArray::Reset() {
  words_.reset();
  bitCount_ = 0;
  wordCount_ = 0;
}

Result CBitArray::SetBit(i32 index, bool value) {
  if (!HasWords() || index < 0 || index >= bitCount_) return kErrOutOfRange;
  u32& word = words_[static_cast<std::size_t>(index / kBitsPerWord)];
  const u32 mask = kBitMasks[static_cast<std::size_t>(index % kBitsPerWord)];
  word = value ? (word | mask) : (word & ~mask);
  return kOk;
}

bool CBitArray::GetBit(i32 index) const {
  if (!HasWords() || index < 0 || index >= bitCount_) return false;
  return (words_[static_cast<std::size_t>(index / kBitsPerWord)] &
          kBitMasks[static_cast<std::size_t>(index % kBitsPerWord)]) != 0;
}

i32 CBitArray::CountSetBits() const {
  if (!HasWords()) return 0;
  i32 count = 0;
  for (i32 i = 0; i + 1 < wordCount_; ++i) count += std::popcount(words_[static_cast<std::size_t>(i)]);
  return count + std::popcount(words_[static_cast<std::size_t>(wordCount_ - 1)] & LastWordMask(bitCount_));
}

Result CBitArray::Load(CStream& stream) {
  Reset();
  u32 bitCount = 0;
  u32 wordCount = 0;
  u32 flag = 0;
  Result r = ReadU32(stream, bitCount);
  if (Succeeded(r)) r = ReadU32(stream, wordCount);
  if (Succeeded(r)) r = ReadU32(stream, flag);
  if (Failed(r)) return r;
  if (bitCount > kMaxBitCount) return kErrNotFound;
  if (flag == 0) {
    // No words follow, so the stored word count describes nothing; keeping
    // it would make the array claim words it does not have.
    bitCount_ = static_cast<i32>(bitCount);
    return kOk;
  }
  // Only a word count that matches the bit count can be addressed safely:
  // a shorter array would put bits out of reach, a longer one would carry
  // words no bit refers to.
  if (static_cast<u64>(wordCount) != static_cast<u64>(WordsFor(bitCount))) return kErrNotFound;
  r = stream.CheckAvailable(wordCount, sizeof(u32));
  if (Failed(r)) return r;
  if (!Allocate(static_cast<i32>(bitCount), static_cast<i32>(wordCount))) return kErrOutOfMemory;
  if (!HasWords()) return kOk;
  const u32 bytes = wordCount * static_cast<u32>(sizeof(u32));
  r = stream.Read(words_.get(), bytes, bytes);
  if (Failed(r)) {
    Reset();
    return r;
  }
  // Bits past BitCount are kept clear so that counting and comparing never
  // see them.
  words_[static_cast<std::size_t>(wordCount_ - 1)] &= LastWordMask(bitCount_);
  return kOk;
}

Result CBitArray::Save(CStream& stream) const {
  Result r = WriteI32(stream, bitCount_);
  if (Succeeded(r)) r = WriteI32(stream, wordCount_);
  if (Succeeded(r)) r = WriteU32(stream, HasWords() ? 1u : 0u);
  if (Failed(r) || !HasWords()) return r;
  return stream.Write(words_.get(), static_cast<u32>(wordCount_) * static_cast<u32>(sizeof(u32)));
}

u32 CBitArray::GetMemorySize() const { return 4 * static_cast<u32>(wordCount_) + 16; }

u32 CBitArray::GetSaveSize() const { return 12 + (HasWords() ? 4 * static_cast<u32>(wordCount_) : 0u); }

}  // namespace KT
