#include "scene/bit_array.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "scene/member_text_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"

namespace KT {
namespace {

using Bytes = std::vector<u8>;
using test::ByteWriter;

// The record of `bits` as Save writes it (empty and a test failure when
// saving fails).
Bytes SaveRecord(const CBitArray& bits, u32 writeLimit = 0xFFFFFFFFu, Result expected = kOk) {
  CMemoryIo device;
  device.SetWriteLimit(writeLimit);
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(bits.Save(stream), expected);
  return device.GetData();
}

Result LoadRecord(const Bytes& bytes, CBitArray& bits) {
  CMemoryIo device(bytes);
  CStream stream;
  stream.SetDevice(&device);
  return bits.Load(stream);
}

CBitArray WithBits(i32 bitCount, const std::vector<i32>& set) {
  CBitArray bits(bitCount);
  for (i32 i : set) EXPECT_EQ(bits.SetBit(i, true), kOk) << i;
  return bits;
}

std::string Text(const CBitArray& bits) {
  CMemberTextWriter writer;
  writer.BitArray(u"XYZSelBit", &bits);
  return writer.GetText();
}

struct SizeCase {
  i32 bitCount;
  i32 expectedBits;
  i32 expectedWords;
};

TEST(BitArrayTest, ConstructionSizesTable) {
  const SizeCase cases[] = {{0, 0, 0}, {1, 1, 1}, {31, 31, 1}, {32, 32, 1},
                            {33, 33, 2}, {64, 64, 2}, {65, 65, 3}, {-5, 0, 0}};
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.bitCount);
    const CBitArray bits(c.bitCount);
    EXPECT_EQ(bits.GetBitCount(), c.expectedBits);
    EXPECT_EQ(bits.GetWordCount(), c.expectedWords);
    EXPECT_EQ(bits.HasWords(), c.expectedWords > 0);
    EXPECT_EQ(bits.CountSetBits(), 0);
    for (i32 w = 0; w < c.expectedWords; ++w) EXPECT_EQ(bits.GetWords()[w], 0u);
    EXPECT_EQ(bits.GetSaveSize(), 12u + 4u * static_cast<u32>(c.expectedWords));
    EXPECT_EQ(bits.GetMemorySize(), 16u + 4u * static_cast<u32>(c.expectedWords));
  }
}

TEST(BitArrayTest, BitLayoutInWords) {
  CBitArray bits(70);
  EXPECT_EQ(bits.SetBit(0, true), kOk);
  EXPECT_EQ(bits.SetBit(31, true), kOk);
  EXPECT_EQ(bits.SetBit(32, true), kOk);
  EXPECT_EQ(bits.SetBit(69, true), kOk);
  EXPECT_EQ(bits.GetWords()[0], 0x80000001u);
  EXPECT_EQ(bits.GetWords()[1], 0x00000001u);
  EXPECT_EQ(bits.GetWords()[2], 0x00000020u);
  EXPECT_TRUE(bits.GetBit(31));
  EXPECT_FALSE(bits.GetBit(30));

  EXPECT_EQ(bits.SetBit(31, false), kOk);
  EXPECT_EQ(bits.SetBit(30, false), kOk);  // clearing a clear bit is fine
  EXPECT_EQ(bits.GetWords()[0], 0x00000001u);
  EXPECT_FALSE(bits.GetBit(31));
}

TEST(BitArrayTest, IndicesOutsideTheArrayAreRefused) {
  CBitArray bits(33);
  for (i32 index : {-1, 33, 64, 0x7FFFFFFF}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(bits.SetBit(index, true), kErrOutOfRange);
    EXPECT_FALSE(bits.GetBit(index));
  }
  EXPECT_EQ(bits.CountSetBits(), 0);
  EXPECT_EQ(bits.GetWords()[1], 0u);

  CBitArray none;
  EXPECT_EQ(none.SetBit(0, true), kErrOutOfRange);
}

TEST(BitArrayTest, CountSetBits) {
  EXPECT_EQ(WithBits(33, {0, 32}).CountSetBits(), 2);
  EXPECT_EQ(WithBits(33, {32}).CountSetBits(), 1);
  std::vector<i32> all;
  for (i32 i = 0; i < 100; ++i) all.push_back(i);
  EXPECT_EQ(WithBits(100, all).CountSetBits(), 100);
  EXPECT_EQ(WithBits(64, {5, 6, 7, 63}).CountSetBits(), 4);
}

TEST(BitArrayTest, CopiesAreEqualAndIndependent) {
  const CBitArray source = WithBits(40, {1, 39});
  CBitArray copy(source);
  EXPECT_EQ(copy, source);
  copy.SetBit(2, true);
  EXPECT_FALSE(copy == source);
  EXPECT_FALSE(source.GetBit(2));

  CBitArray assigned(500);
  assigned = source;
  EXPECT_EQ(assigned, source);
  EXPECT_EQ(assigned.GetWordCount(), 2);

  const CBitArray& alias = assigned;
  assigned = alias;  // self-assignment keeps the bits
  EXPECT_EQ(assigned, source);

  CBitArray moved(std::move(assigned));
  EXPECT_EQ(moved, source);
  EXPECT_EQ(assigned.GetBitCount(), 0);
  EXPECT_FALSE(assigned.HasWords());
}

TEST(BitArrayTest, EqualityLooksAtCountsAndWords) {
  EXPECT_EQ(CBitArray(10), CBitArray(10));
  EXPECT_FALSE(CBitArray(10) == CBitArray(11));
  EXPECT_FALSE(WithBits(10, {3}) == WithBits(10, {4}));
}

// Arrays that every persistence test runs over.
std::vector<std::pair<const char*, CBitArray>> SampleArrays() {
  std::vector<std::pair<const char*, CBitArray>> samples;
  samples.emplace_back("no bits", CBitArray());
  samples.emplace_back("one word, clear", CBitArray(7));
  samples.emplace_back("33 bits", WithBits(33, {0, 5, 32}));
  samples.emplace_back("whole words", WithBits(64, {0, 31, 32, 63}));
  samples.emplace_back("many words", WithBits(1000, {1, 2, 3, 500, 999}));
  return samples;
}

TEST(BitArrayTest, RoundTrip) {
  for (const auto& [name, bits] : SampleArrays()) {
    SCOPED_TRACE(name);
    const Bytes saved = SaveRecord(bits);
    EXPECT_EQ(saved.size(), bits.GetSaveSize());

    CBitArray loaded(3);
    ASSERT_EQ(LoadRecord(saved, loaded), kOk);
    EXPECT_EQ(loaded, bits);
    EXPECT_EQ(Text(loaded), Text(bits));
    EXPECT_EQ(SaveRecord(loaded), saved);
  }
}

TEST(BitArrayTest, RecordLayout) {
  const Bytes expected = ByteWriter().U32(33).U32(2).U32(1).U32(0x21).U32(0x1).Data();
  EXPECT_EQ(SaveRecord(WithBits(33, {0, 5, 32})), expected);
  EXPECT_EQ(SaveRecord(CBitArray()), ByteWriter().U32(0).U32(0).U32(0).Data());
}

TEST(BitArrayTest, EveryPrefixFailsCleanly) {
  for (const auto& [name, bits] : SampleArrays()) {
    SCOPED_TRACE(name);
    const Bytes saved = SaveRecord(bits);
    for (std::size_t n = 0; n < saved.size(); ++n) {
      SCOPED_TRACE(n);
      CBitArray loaded(40);
      EXPECT_EQ(LoadRecord(Bytes(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(n)), loaded),
                kErrStream);
      EXPECT_EQ(loaded, CBitArray());
    }
  }
}

TEST(BitArrayTest, EveryShortWriteFails) {
  const CBitArray bits = WithBits(33, {0, 32});
  for (u32 limit = 0; limit < bits.GetSaveSize(); ++limit) {
    SCOPED_TRACE(limit);
    SaveRecord(bits, limit, kErrStream);
  }
}

struct MalformedCase {
  const char* name;
  Bytes record;
  Result expected;
  i32 bitCount;    // after the load
  i32 wordCount;   // after the load
  i32 setBits;     // CountSetBits after the load
};

TEST(BitArrayTest, StoredRecordsTable) {
  const MalformedCase cases[] = {
      {"flag 0 with a word count: no words", ByteWriter().U32(5).U32(3).U32(0).Data(), kOk, 5, 0, 0},
      {"flag 0 ignores words that follow", ByteWriter().U32(5).U32(1).U32(0).U32(0xFF).Data(), kOk, 5, 0, 0},
      {"any non-zero flag means words", ByteWriter().U32(33).U32(2).U32(7).U32(3).U32(1).Data(), kOk, 33, 2, 3},
      {"flag set, no bits, no words", ByteWriter().U32(0).U32(0).U32(1).Data(), kOk, 0, 0, 0},
      {"too many words", ByteWriter().U32(33).U32(3).U32(1).U32(0).U32(0).U32(0).Data(), kErrNotFound, 0, 0, 0},
      {"too few words", ByteWriter().U32(33).U32(1).U32(1).U32(0).Data(), kErrNotFound, 0, 0, 0},
      {"words for no bits", ByteWriter().U32(0).U32(1).U32(1).U32(0).Data(), kErrNotFound, 0, 0, 0},
      {"negative bit count", ByteWriter().U32(0x80000000u).U32(0).U32(0).Data(), kErrNotFound, 0, 0, 0},
      {"huge count without the bytes", ByteWriter().U32(0x7FFFFFFFu).U32(0x04000000u).U32(1).U32(0).Data(),
       kErrStream, 0, 0, 0},
      {"bits past the count are dropped", ByteWriter().U32(5).U32(1).U32(1).U32(0xFFFFFFFFu).Data(), kOk, 5, 1,
       5},
  };
  for (const MalformedCase& c : cases) {
    SCOPED_TRACE(c.name);
    CBitArray bits = WithBits(40, {3});
    EXPECT_EQ(LoadRecord(c.record, bits), c.expected);
    EXPECT_EQ(bits.GetBitCount(), c.bitCount);
    EXPECT_EQ(bits.GetWordCount(), c.wordCount);
    EXPECT_EQ(bits.HasWords(), c.wordCount > 0);
    EXPECT_EQ(bits.CountSetBits(), c.setBits);
    // Whatever was loaded saves as exactly GetSaveSize bytes and reloads
    // the same.
    const Bytes saved = SaveRecord(bits);
    EXPECT_EQ(saved.size(), bits.GetSaveSize());
    CBitArray again;
    EXPECT_EQ(LoadRecord(saved, again), kOk);
    EXPECT_EQ(again, bits);
  }
}

TEST(BitArrayTest, ArrayLoadedWithoutWordsHasNoSettableBits) {
  CBitArray bits;
  ASSERT_EQ(LoadRecord(ByteWriter().U32(5).U32(3).U32(0).Data(), bits), kOk);
  EXPECT_EQ(bits.GetSaveSize(), 12u);
  EXPECT_EQ(bits.SetBit(1, true), kErrOutOfRange);
  EXPECT_FALSE(bits.GetBit(1));
  EXPECT_EQ(SaveRecord(bits), ByteWriter().U32(5).U32(0).U32(0).Data());

  const CBitArray copy(bits);
  EXPECT_EQ(copy, bits);
  EXPECT_FALSE(copy.HasWords());
}

TEST(BitArrayTest, MemberText) {
  EXPECT_EQ(Text(WithBits(40, {0, 1, 2, 3, 7, 32})), "XYZSelBit = [40] 0-3 7 32\n");
  EXPECT_EQ(Text(WithBits(3, {0, 1, 2})), "XYZSelBit = [3] 0-2\n");
  EXPECT_EQ(Text(CBitArray(8)), "XYZSelBit = [8]\n");
  EXPECT_EQ(Text(CBitArray()), "XYZSelBit = [0]\n");
  CBitArray wordless;
  ASSERT_EQ(LoadRecord(ByteWriter().U32(5).U32(0).U32(0).Data(), wordless), kOk);
  EXPECT_EQ(Text(wordless), "XYZSelBit = [5] no words\n");
}

}  // namespace
}  // namespace KT
