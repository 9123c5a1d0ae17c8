// The on-disk form of every field helper, written and read through a stream
// over a memory device.
#include "objectmodel/stream_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "byte_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/time_helpers.h"

namespace KT {
namespace {

using test::ByteWriter;

// A stream writing into, or reading from, a memory block. The file version
// can be lowered through a legacy header so that version-dependent forms
// can be read.
class FieldStream {
 public:
  FieldStream() { stream.SetDevice(&device); }
  explicit FieldStream(const std::vector<u8>& bytes) : device(bytes) { stream.SetDevice(&device); }
  // Reads a legacy header announcing `version` (e.g. "1.50"), then reads
  // `bytes` as the fields.
  static void AtVersion(FieldStream& fs, const char* versionText, const std::vector<u8>& bytes) {
    ByteWriter header;
    header.Chars("KTDorun").Chars("abcdefghi").Chars(versionText);
    while (header.Size() < 21) header.U8(' ');
    fs.device.SetData(header.Data());
    // Without the thumbnail bit nothing after the header is read.
    EXPECT_EQ(fs.stream.Load(0, 0), kOk);
    fs.device.SetData(bytes);
  }
  CMemoryIo device;
  CStream stream;
};

TEST(StreamFields, ScalarsAndStringsHaveTheirDiskForm) {
  FieldStream out;
  ASSERT_EQ(WriteBool(out.stream, true), kOk);
  ASSERT_EQ(WriteU32(out.stream, 0x01020304u), kOk);
  const f32 half = 0.5f;
  ASSERT_EQ(WriteFloat(out.stream, half), kOk);
  ASSERT_EQ(WriteU64(out.stream, 0x1122334455667788ull), kOk);
  ASSERT_EQ(WriteString(out.stream, std::string("CNode")), kOk);
  ASSERT_EQ(WriteWString(out.stream, u"ab"), kOk);
  ASSERT_EQ(WriteWString(out.stream, u""), kOk);
  ASSERT_EQ(WriteVersion(out.stream, 2, 6), kOk);
  ByteWriter expected;
  expected.U8(1).U32(0x01020304u).F32(0.5f).U64(0x1122334455667788ull).Str("CNode").WStr(u"ab").U32(0).Pair(2, 6);
  EXPECT_EQ(out.device.GetData(), expected.Data());

  FieldStream in(expected.Data());
  bool b = false;
  u32 u = 0;
  f32 f = 0;
  u64 id = 0;
  std::string s;
  WString w1, w2;
  u32 pair[2] = {};
  EXPECT_EQ(ReadBool(in.stream, b), kOk);
  EXPECT_EQ(ReadU32(in.stream, u), kOk);
  EXPECT_EQ(ReadU32(in.stream, f), kOk);
  EXPECT_EQ(ReadU64(in.stream, id), kOk);
  EXPECT_EQ(ReadString(in.stream, s), kOk);
  EXPECT_EQ(ReadWString(in.stream, w1), kOk);
  EXPECT_EQ(ReadWString(in.stream, w2), kOk);
  EXPECT_EQ(in.stream.Read(pair, 8, 8), kOk);
  EXPECT_TRUE(b);
  EXPECT_EQ(u, 0x01020304u);
  EXPECT_EQ(f, 0.5f);
  EXPECT_EQ(id, 0x1122334455667788ull);
  EXPECT_EQ(s, "CNode");
  EXPECT_EQ(w1, u"ab");
  EXPECT_EQ(w2, u"");
  EXPECT_EQ(pair[0], 2u);
  EXPECT_EQ(pair[1], 6u);
  EXPECT_TRUE(in.device.IsEof());
}

TEST(StreamFields, BoolReadsAnyNonZeroByteAsTrueAndAFailedReadAsFalse) {
  FieldStream in(std::vector<u8>{0x7F});
  bool b = false;
  EXPECT_EQ(ReadBool(in.stream, b), kOk);
  EXPECT_TRUE(b);
  EXPECT_EQ(ReadBool(in.stream, b), kErrStream);
  EXPECT_FALSE(b);
}

TEST(StreamFields, OldFilesStoreWideStringsAsAnsiText) {
  FieldStream in;
  ByteWriter text;
  text.Str("abc").U32(1).U8(0xE9);  // "abc", then the Windows-1252 e-acute
  FieldStream::AtVersion(in, "1.50", text.Data());
  EXPECT_EQ(in.stream.GetFileVersion(), 150);
  WString w;
  EXPECT_EQ(ReadWString(in.stream, w), kOk);
  EXPECT_EQ(w, u"abc");
  EXPECT_EQ(ReadWString(in.stream, w), kOk);
  EXPECT_EQ(w, u"\u00e9");
}

TEST(StreamFields, TimeArraysByVersion) {
  const f32 nan = std::numeric_limits<f32>::quiet_NaN();
  const struct {
    const char* name;
    i32 storedVersion;
    std::vector<u8> bytes;
    std::vector<i32> expected;
  } cases[] = {
      {"integer times from 2.01", 201, ByteWriter().U32(2).I32(5).I32(-7).Data(), {5, -7}},
      {"float times before 2.01", 200, ByteWriter().U32(2).F32(1.9f).F32(-1.9f).Data(), {1, -1}},
      {"1999.9 truncates toward zero", 200, ByteWriter().U32(1).F32(1999.9f).Data(), {1999}},
      // The one truncation helper answers INT32_MIN for NaN and for values
      // it cannot hold; the clamp to the key-time range comes after it.
      {"NaN and huge floats truncate, then clamp", 200,
       ByteWriter().U32(4).F32(nan).F32(1e20f).F32(-1e20f).F32(std::numeric_limits<f32>::infinity()).Data(),
       {kMinKeyTime, kMinKeyTime, kMinKeyTime, kMinKeyTime}},
      {"large floats inside i32 clamp to the key-time range", 200,
       ByteWriter().U32(2).F32(2e9f).F32(-2e9f).Data(), {kMaxKeyTime, kMinKeyTime}},
  };
  for (const auto& c : cases) {
    FieldStream in(c.bytes);
    std::vector<i32> times;
    EXPECT_EQ(ReadTimeArrayVersioned(in.stream, c.storedVersion, times, 2, 1), kOk) << c.name;
    EXPECT_EQ(times, c.expected) << c.name;
  }
}

TEST(StreamFields, CountsLargerThanWhatIsLeftAreRefusedBeforeAllocating) {
  const std::vector<u8> huge = ByteWriter().U32(0x40000000u).U32(1).Data();
  std::vector<u32> words;
  FieldStream a(huge);
  EXPECT_EQ(ReadU32Vector(a.stream, words), kErrStream);
  EXPECT_TRUE(words.empty());
  std::string s;
  FieldStream b(huge);
  EXPECT_EQ(ReadString(b.stream, s), kErrStream);
  WString w;
  FieldStream c(huge);
  EXPECT_EQ(ReadWString(c.stream, w), kErrStream);
  std::vector<bool> bits;
  FieldStream d(huge);
  EXPECT_EQ(ReadBoolVector(d.stream, bits), kErrStream);
  CStreamLoadRecord record;
  std::vector<CPointer<CRawData>> refs;
  FieldStream e(huge);
  EXPECT_EQ(ReadReferenceVector(e.stream, record, refs), kErrStream);
  EXPECT_TRUE(record.pendingIds.empty());
}

TEST(StreamFields, CountedVectorsRoundTripAndZeroLeavesTheTargetAlone) {
  FieldStream out;
  ASSERT_EQ(WriteU32Vector(out.stream, {3, 1, 4}), kOk);
  ASSERT_EQ(WriteBoolVector(out.stream, {true, false, true}), kOk);
  ASSERT_EQ(WriteU32Vector(out.stream, {}), kOk);
  EXPECT_EQ(out.device.GetData(), ByteWriter().U32(3).U32(3).U32(1).U32(4).U32(3).U8(1).U8(0).U8(1).U32(0).Data());
  FieldStream in(out.device.GetData());
  std::vector<u32> words;
  std::vector<bool> bits;
  std::vector<u32> untouched{9, 9};
  EXPECT_EQ(ReadU32Vector(in.stream, words), kOk);
  EXPECT_EQ(ReadBoolVector(in.stream, bits), kOk);
  EXPECT_EQ(ReadU32Vector(in.stream, untouched), kOk);
  EXPECT_EQ(words, (std::vector<u32>{3, 1, 4}));
  EXPECT_EQ(bits, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(untouched, (std::vector<u32>{9, 9}));
}

TEST(StreamFields, ReferenceVectorKeepsEmptySlots) {
  CPointer<CRawData> a(new CRawData());
  CPointer<CRawData> c(new CRawData());
  const std::vector<CPointer<CRawData>> slots{a, nullptr, c};
  FieldStream out;
  ASSERT_EQ(WriteReferenceVector(out.stream, slots), kOk);
  EXPECT_EQ(out.device.GetData(), ByteWriter().U32(3).U64(a->GetUniqueId()).U64(0).U64(c->GetUniqueId()).Data());
  EXPECT_EQ(GetPointerVectorSaveSize(3), out.device.GetData().size());
  EXPECT_EQ(WriteObjectId(out.stream, nullptr), kOk);

  FieldStream in(out.device.GetData());
  CStreamLoadRecord record;
  std::vector<CPointer<CRawData>> read;
  ASSERT_EQ(ReadReferenceVector(in.stream, record, read), kOk);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(record.pendingIds, (std::vector<u64>{a->GetUniqueId(), 0, c->GetUniqueId()}));
  // Link resolves through the stream's id table; ids it does not know stay
  // empty, and asking past the queued ids gives empty references.
  CStreamLoadRecord ra, rc;
  ra.object = a.Get();
  rc.object = c.Get();
  ASSERT_TRUE(in.stream.RegisterId(a->GetUniqueId(), &ra));
  ASSERT_TRUE(in.stream.RegisterId(c->GetUniqueId(), &rc));
  LinkPointerVector(in.stream, record, read);
  EXPECT_EQ(read[0].Get(), a.Get());
  EXPECT_EQ(read[1].Get(), nullptr);
  EXPECT_EQ(read[2].Get(), c.Get());
  CPointer<CRawData> extra(a.Get());
  LinkNextPointer(in.stream, record, extra);
  EXPECT_EQ(extra.Get(), nullptr);
}

TEST(StreamFields, ThirtyTwoBitIdsAreWidened) {
  FieldStream in(ByteWriter().U32(0xFFFFFFFEu).U32(2).U32(7).U32(8).Data());
  CStreamLoadRecord record;
  ASSERT_EQ(ReadObjectId32(in.stream, record), kOk);
  std::vector<CPointer<CRawData>> read;
  ASSERT_EQ(ReadReferenceVector(in.stream, record, read, false), kOk);
  EXPECT_EQ(record.pendingIds, (std::vector<u64>{0xFFFFFFFEull, 7, 8}));
}

// A record's id list keeps a few ids in place and moves to the heap past
// them; copies are independent and clearing keeps the room.
TEST(StreamFields, RecordIdListsGrowPastTheirInlineIdsAndCopyByValue) {
  const u32 count = 2 * CStreamIdList::kInline + 3;
  ByteWriter image;
  image.U32(count);
  std::vector<u64> expected;
  for (u64 id = 1; id <= count; ++id) {
    image.U64(id * 11);
    expected.push_back(id * 11);
  }
  FieldStream in(image.Data());
  CStreamLoadRecord record;
  std::vector<CPointer<CRawData>> slots;
  ASSERT_EQ(ReadReferenceVector(in.stream, record, slots), kOk);
  CStreamIdList& ids = record.pendingIds;
  ASSERT_EQ(ids, expected);
  CStreamIdList copy(ids);
  ids[0] = 5;
  EXPECT_EQ(copy, expected);
  CStreamIdList shortList;
  shortList.push_back(7);
  copy = shortList;
  EXPECT_EQ(copy, std::vector<u64>{7});
  shortList = ids;
  EXPECT_EQ(shortList, ids);
  const std::size_t room = ids.capacity();
  ids.clear();
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(ids.capacity(), room);
  ids.push_back(9);
  EXPECT_EQ(ids, std::vector<u64>{9});
}

}  // namespace
}  // namespace KT
