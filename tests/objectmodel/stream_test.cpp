// Whole scene files written and read in memory: layout, masks, legacy
// layouts, the link pass and every failure code of the format.
#include "objectmodel/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/version_data.h"
#include "stream_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterCustomDataClasses();
    test::UseTestIds(0);
  }
};

using test::CustomDataRecord;
using test::CustomScene;
using test::Header301;
using test::WithRoots;

TEST_F(StreamTest, OneCustomDataRootIs95Bytes) {
  CPointer<CCustomData> root(new CCustomData());
  const Bytes bytes = test::SaveRoots({root.Get()});
  ASSERT_EQ(bytes.size(), 95u);
  ByteWriter expected = Header301();
  expected.U32(64).Str("_Root");
  CustomDataRecord(expected, root->GetUniqueId(), 0);
  EXPECT_EQ(bytes, expected.Data());

  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  EXPECT_NE(DynamicCast<CCustomData>(stream.GetRootObject(0)), nullptr);
  EXPECT_EQ(stream.GetThumbnail(), nullptr);
  EXPECT_EQ(stream.GetFileVersion(), 301);
}

TEST_F(StreamTest, CustomDataRoundTripKeepsMembersAndBytes) {
  CustomScene scene;
  const Bytes first = test::SaveScene(scene.Parts());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device, 0, CStream::kAllSections), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  CCustomData* root = DynamicCast<CCustomData>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  const CCustomData* expected[] = {scene.root.Get(), scene.raw.Get(), scene.xml.Get(), scene.version.Get()};
  CCustomData* loaded = root;
  for (const CCustomData* original : expected) {
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(test::Members(loaded), test::Members(const_cast<CCustomData*>(original)));
    EXPECT_STREQ(loaded->GetClassRecord().name, original->GetClassRecord().name);
    loaded = loaded->GetNext();
  }
  EXPECT_EQ(loaded, nullptr);
  CRawData* raw = DynamicCast<CRawData>(root->GetNext());
  ASSERT_EQ(raw->GetByteSize(), 4u);
  EXPECT_EQ(raw->GetBytes()[3], 250);
  ASSERT_EQ(stream.GetExtendInfoCount(), 1u);
  EXPECT_EQ(test::Members(stream.GetExtendInfo(0)), test::Members(scene.info.Get()));
  ASSERT_EQ(stream.GetObjectCount(), 1u);
  EXPECT_EQ(test::Members(stream.GetObject(0)), test::Members(scene.listed.Get()));

  const Bytes second = test::SaveLoaded(stream);
  EXPECT_EQ(test::RenumberIds(second), test::RenumberIds(first));
}

TEST_F(StreamTest, MeasuringThenSavingAndSavingTwiceWriteTheSameFile) {
  CustomScene scene;
  CStream stream;
  stream.AddRootObject(scene.root.Get());
  u32 size = 0;
  ASSERT_EQ(stream.GetSaveSize(size), kOk);
  CMemoryIo first;
  stream.SetDevice(&first);
  ASSERT_EQ(stream.Save(CStream::kAllSections), kOk);
  CMemoryIo second;
  stream.SetDevice(&second);
  ASSERT_EQ(stream.Save(CStream::kAllSections), kOk);
  EXPECT_EQ(first.GetData(), second.GetData());
  EXPECT_EQ(first.GetData(), test::SaveRoots({scene.root.Get()}));
  // The measure counts the header as 16 bytes.
  EXPECT_EQ(size, first.GetData().size() + 1);
}

TEST_F(StreamTest, RootReachedTwiceIsWrittenOnceWithItsTag) {
  CPointer<CCustomData> a(new CCustomData());
  CPointer<CCustomData> b(new CCustomData());
  a->SetNext(b.Get());
  const Bytes bytes = test::SaveRoots({b.Get(), a.Get()});
  // Save table: b (root), a (root), a's Next is b again: two records.
  EXPECT_EQ(bytes.size(), 31u + 2 * (9 + 55));
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 2u);
  EXPECT_EQ(DynamicCast<CCustomData>(stream.GetRootObject(1))->GetNext(), stream.GetRootObject(0));
}

TEST_F(StreamTest, MasksSelectSections) {
  CustomScene scene;
  test::SceneParts parts = scene.Parts();
  CPointer<CRawData> thumb(new CRawData());
  thumb->SetName(u"thumb");
  parts.thumbnail = thumb.Get();
  const Bytes bytes = test::SaveScene(parts);

  struct Case {
    u32 wanted;
    bool thumbnail;
    u32 objects;
    u32 extend;
    u32 roots;
  };
  const Case cases[] = {
      {0x02, true, 0, 0, 0}, {0x04, false, 1, 0, 0}, {0x08, false, 0, 1, 0},
      {0x10, false, 0, 0, 1}, {0x1E, true, 1, 1, 1}, {0x00, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device, 0, c.wanted), kOk) << c.wanted;
    EXPECT_EQ(stream.GetThumbnail() != nullptr, c.thumbnail) << c.wanted;
    EXPECT_EQ(stream.GetObjectCount(), c.objects) << c.wanted;
    EXPECT_EQ(stream.GetExtendInfoCount(), c.extend) << c.wanted;
    EXPECT_EQ(stream.GetRootObjectCount(), c.roots) << c.wanted;
  }
}

TEST_F(StreamTest, RawRootBlockIsCopiedByteForByte) {
  CustomScene scene;
  const Bytes bytes = test::SaveScene(scene.Parts());
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device, 0x1E, 0x2F), kOk);
  EXPECT_EQ(stream.GetRootObjectCount(), 0u);
  EXPECT_FALSE(stream.GetRawRootBlock().empty());
  CMemoryIo out;
  stream.SetDevice(&out);
  ASSERT_EQ(stream.Save(CStream::kAllSections), kOk);
  const Bytes& copy = out.GetData();
  const std::size_t raw = stream.GetRawRootBlock().size();
  ASSERT_GE(copy.size(), raw);
  EXPECT_TRUE(std::equal(copy.end() - static_cast<std::ptrdiff_t>(raw), copy.end(),
                         bytes.end() - static_cast<std::ptrdiff_t>(raw)));
}

TEST_F(StreamTest, SecondLoadForgetsTheFirstFile) {
  CustomScene scene;
  test::SceneParts parts = scene.Parts();
  parts.thumbnail = scene.listed.Get();
  const Bytes full = test::SaveScene(parts);
  CPointer<CCustomData> lone(new CCustomData());
  const Bytes plain = test::SaveRoots({lone.Get()});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(full, stream, device, 0x1E, 0x1F), kOk);
  ASSERT_NE(stream.GetThumbnail(), nullptr);
  ASSERT_EQ(test::LoadScene(plain, stream, device, 0x1E, 0x1F), kOk);
  EXPECT_EQ(stream.GetThumbnail(), nullptr);
  EXPECT_EQ(stream.GetObjectCount(), 0u);
  EXPECT_EQ(stream.GetExtendInfoCount(), 0u);
  EXPECT_EQ(stream.GetRootObjectCount(), 1u);
}

TEST_F(StreamTest, ListsRefuseNullAndDuplicates) {
  CPointer<CCustomData> a(new CCustomData());
  CPointer<CCustomData> b(new CCustomData());
  CStream stream;
  EXPECT_EQ(stream.AddRootObject(nullptr), kErrInvalidArg);
  EXPECT_EQ(stream.AddRootObject(a.Get()), kOk);
  EXPECT_EQ(stream.AddRootObject(a.Get()), kDone);
  EXPECT_EQ(stream.AddRootObject(b.Get()), kOk);
  EXPECT_EQ(stream.SetRootObject(0, b.Get()), kDone);
  EXPECT_EQ(stream.SetRootObject(2, a.Get()), kErrInvalidArg);
  EXPECT_EQ(stream.GetRootObjectCount(), 2u);
  EXPECT_EQ(stream.GetRootObject(2), nullptr);
  EXPECT_EQ(stream.RemoveRootObject(a.Get()), kOk);
  EXPECT_EQ(stream.RemoveRootObject(a.Get()), kDone);
  EXPECT_EQ(stream.AddObject(a.Get()), kOk);
  EXPECT_EQ(stream.AddObject(a.Get()), kDone);
  EXPECT_EQ(stream.AddExtendInfo(a.Get()), kOk);
  EXPECT_EQ(stream.AddExtendInfo(a.Get()), kDone);
  EXPECT_EQ(stream.GetObjectCount(), 1u);
  EXPECT_EQ(stream.GetExtendInfoCount(), 1u);
  EXPECT_EQ(stream.GetObject(1), nullptr);
  EXPECT_EQ(stream.GetExtendInfo(1), nullptr);
}

TEST_F(StreamTest, UnresolvedNextStaysEmptyAndIsListed) {
  ByteWriter w = Header301();
  w.U32(64).Str("_Root");
  CustomDataRecord(w, 0x10, 0x99);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(w.Data(), stream, device), kOk);
  CCustomData* root = DynamicCast<CCustomData>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetNext(), nullptr);
  ASSERT_EQ(stream.GetUnresolvedTable().count(0x99), 1u);
  EXPECT_EQ(stream.GetUnresolvedTable().at(0x99).front(), root);
}

TEST_F(StreamTest, NonRootRecordIsLinkedAndKeptAlive) {
  // The root refers to a record that is not a root; the link pass resolves
  // it whatever the order of the records.
  ByteWriter w = Header301();
  w.U32(128);
  CustomDataRecord(w, 0x20, 0);
  w.Str("_Root");
  CustomDataRecord(w, 0x10, 0x20);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(w.Data(), stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  CCustomData* root = DynamicCast<CCustomData>(stream.GetRootObject(0));
  ASSERT_NE(root->GetNext(), nullptr);
  EXPECT_EQ(root->GetNext()->GetName(), u"");
}

// One crafted file per failure of the format, each with its code.
struct CraftedCase {
  const char* name;
  Bytes bytes;
  u32 skipMask;
  Result expected;
};

std::vector<CraftedCase> CraftedFiles() {
  std::vector<CraftedCase> cases;
  {
    ByteWriter w;
    w.Chars("_KTVask").Pair(3, 1);
    cases.push_back({"unknown magic", w.Data(), 0x1E, kErrNotFound});
  }
  {
    ByteWriter w;
    w.Chars("_KTVusk").Pair(3, 2).U32(0).U32(0).U32(0).U32(0);
    cases.push_back({"version 3.02", w.Data(), 0x1E, kErrNewerVersion});
  }
  {
    ByteWriter w;  // major * 100 + minor wraps to 301 in 32 bits
    w.Chars("_KTVusk").Pair(42949673u, 4294967001u).U32(0).U32(0).U32(0).U32(0);
    cases.push_back({"overflowing version", w.Data(), 0x1E, kErrNewerVersion});
  }
  {
    ByteWriter w;
    w.Chars("KTDorun").Chars("abcdefghiX.00").U8(0);
    cases.push_back({"legacy version text", w.Data(), 0x1E, kErrNotFound});
  }
  {
    ByteWriter w;
    w.Chars("KTDorun").Chars("abcdefghi1.00").U8(' ').Str("_Wrong");
    cases.push_back({"wrong legacy tag", w.Data(), 0x1E, kErrNotFound});
  }
  {
    ByteWriter w;
    w.Chars("_KTVusk").Pair(3, 1).U32(0).U32(4).U32(0).U32(0).U32(0);
    cases.push_back({"count 0 in object list", w.Data(), 0x1E, kErrNotFound});
  }
  {
    ByteWriter w = Header301();
    w.U32(64).Str("_Root").Str("CNoSuchClass").U32(36).Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0);
    cases.push_back({"unknown class", w.Data(), 0, kErrUnknownClass});
    cases.push_back({"unknown class skipped", w.Data(), 0x1E, kOk});
  }
  cases.push_back({"duplicate id", WithRoots({{7, 0}, {7, 0}}), 0x1E, kErrStream});
  cases.push_back({"id 0", WithRoots({{0, 0}}), 0x1E, kErrStream});
  cases.push_back({"self-owning chain", WithRoots({{7, 7}}), 0x1E, kErrNotFound});
  cases.push_back({"owning cycle", WithRoots({{7, 8}, {8, 9}, {9, 7}}), 0x1E, kErrNotFound});
  {
    ByteWriter w = Header301();
    w.U32(64).Str("_Root").Str("CCustomData").U32(36).Pair(2, 4).U64(5).U32(0).Pair(2, 3).U64(0);
    cases.push_back({"newer class part", w.Data(), 0x1E, kErrNewerVersion});
  }
  {
    ByteWriter w = Header301();
    w.U32(64).Str("_Root").U32(0x7FFFFFF0u);
    cases.push_back({"class name longer than the file", w.Data(), 0x1E, kErrStream});
  }
  {
    ByteWriter w;
    w.Chars("_KTVusk").Pair(3, 1).U32(0xFFFFFF00u);
    cases.push_back({"section larger than the file", w.Data(), 0x1E, kErrStream});
  }
  {
    ByteWriter w;
    w.Chars("_KTVusk").Pair(3, 1).U32(0).U32(8).U32(0x40000000u).U32(0).U32(0);
    cases.push_back({"record count larger than the file", w.Data(), 0x1E, kErrStream});
  }
  {
    ByteWriter w = Header301();
    w.U32(64).Str("_Root").Str("CRawData").U32(60).Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0);
    w.Pair(2, 0).U32(0xFFFFFFF0u).U32(1);
    cases.push_back({"raw bytes longer than the file", w.Data(), 0x1E, kErrStream});
  }
  {
    ByteWriter w = Header301();
    w.U32(64).Str("_Root").Str("CCustomData").U32(36).Pair(2, 1);
    cases.push_back({"truncated record", w.Data(), 0x1E, kErrStream});
  }
  {
    ByteWriter w = Header301();
    w.U32(0x7FFFFFFFu).Str("_Root").Str("CNoSuchClass").U32(0x7FFFFFF0u);
    cases.push_back({"skip past the end", w.Data(), 0x1E, kErrStream});
  }
  return cases;
}

TEST_F(StreamTest, CraftedFilesGiveTheirCodes) {
  for (const CraftedCase& c : CraftedFiles()) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device, c.skipMask, 0x1F), c.expected) << c.name;
  }
}

TEST_F(StreamTest, RawDataWithoutBytesHoldsSizeZero) {
  // ByteSize 12 but presence word 0: the record holds no bytes and says so.
  ByteWriter w = Header301();
  w.U32(80).Str("_Root").Str("CRawData").U32(52).Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0);
  w.Pair(2, 0).U32(12).U32(0);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(w.Data(), stream, device), kOk);
  CRawData* raw = DynamicCast<CRawData>(stream.GetRootObject(0));
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(raw->GetByteSize(), 0u);
  EXPECT_EQ(raw->GetBytes(), nullptr);
  EXPECT_EQ(raw->GetSaveSize(), 8u + 2 * 0 + 60);
  EXPECT_FALSE(test::SaveLoaded(stream).empty());
}

TEST_F(StreamTest, LegacyHeaderVersionText) {
  ByteWriter w;
  w.Chars("KTDorun").Chars("abcdefghi1.00").U8(' ');
  CStream stream;
  CMemoryIo device;
  // Without the thumbnail bit nothing after the header is read.
  ASSERT_EQ(test::LoadScene(w.Data(), stream, device, 0x1E, 0x1C), kOk);
  EXPECT_EQ(stream.GetFileVersion(), 100);
}

TEST_F(StreamTest, LegacyTaggedLayoutOfVersion250) {
  ByteWriter w;
  w.Chars("_KTVusk").Pair(2, 50);
  w.Str("");  // no thumbnail
  w.Str("_ExtendInfo").U32(1).Str("CVersionData");
  const std::size_t sizeAt = w.Size();
  w.U32(0);
  const std::size_t bodyStart = w.Size();
  // CBase part, the former base part (2.01: two 8-byte values and an id),
  // the CCustomData part (2.03, Next), the CVersionData part.
  w.Pair(2, 1).U64(0x31).WStr(u"ver").Pair(2, 1).U64(11).U64(12).U64(0).Pair(2, 3).U64(0);
  w.Pair(2, 0).WStr(u"app").WStr(u"").U32(9).U32(0xFFFFFFFFu);
  w.PatchU32(sizeAt, static_cast<u32>(w.Size() - bodyStart));
  // Root tree with the legacy root tag: a CCustomData whose leading block
  // queues an extra id and whose own part is 2.01 (with the old fields).
  w.Str("_DorunRoot").Str("CCustomData").U32(0);
  const std::size_t rootSizeAt = w.Size() - 4;
  const std::size_t rootStart = w.Size();
  w.Pair(2, 1).U64(0x41).WStr(u"r").Pair(1, 0).U32(0).Pair(2, 1).WStr(u"old").U32(1).U32(2).U64(0);
  w.PatchU32(rootSizeAt, static_cast<u32>(w.Size() - rootStart));

  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(w.Data(), stream, device, 0, 0x1F), kOk);
  EXPECT_EQ(stream.GetFileVersion(), 250);
  EXPECT_EQ(stream.GetThumbnail(), nullptr);
  ASSERT_EQ(stream.GetExtendInfoCount(), 1u);
  CVersionData* version = DynamicCast<CVersionData>(stream.GetExtendInfo(0));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->GetName(), u"ver");
  EXPECT_EQ(version->GetAppName(), u"app");
  EXPECT_EQ(version->GetAppVersion(), 9u);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  EXPECT_EQ(stream.GetRootObject(0)->GetName(), u"r");

  // Saved again, the file has the current layout and loads the same.
  const Bytes current = test::SaveLoaded(stream);
  CStream again;
  CMemoryIo device2;
  ASSERT_EQ(test::LoadScene(current, again, device2, 0, 0x1F), kOk);
  EXPECT_EQ(test::Members(again.GetExtendInfo(0)), test::Members(version));
}

TEST_F(StreamTest, VersionDataAcceptsPair201AndRefuses202) {
  for (const auto& [minor, expected] : {std::pair<u32, Result>{1, kOk}, {2, kErrNewerVersion}}) {
    ByteWriter w = Header301();
    w.U32(1000).Str("_Root").Str("CVersionData").U32(0);
    const std::size_t start = w.Size();
    w.Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0).Pair(2, minor).U32(0).U32(0).U32(1).U32(2);
    w.PatchU32(start - 4, static_cast<u32>(w.Size() - start));
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(w.Data(), stream, device), expected) << minor;
  }
}

TEST_F(StreamTest, EveryPrefixFailsCleanlyOrLoads) {
  CustomScene scene;
  test::SceneParts parts = scene.Parts();
  parts.thumbnail = scene.listed.Get();
  const Bytes bytes = test::SaveScene(parts);
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

TEST_F(StreamTest, SaveRefusesARecordThatMisstatesItsSize) {
  // A class whose GetSaveSize disagrees with what Save writes would
  // misframe the file; the stream refuses to write it.
  struct CLyingData : CCustomData {
    u32 GetSaveSize() const override { return CCustomData::GetSaveSize() + 4; }
  };
  CPointer<CLyingData> liar(new CLyingData());
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  stream.AddRootObject(liar.Get());
  EXPECT_EQ(stream.Save(CStream::kAllSections), kErrStream);
}

TEST_F(StreamTest, ShortWriteFailsTheSave) {
  CustomScene scene;
  const Bytes full = test::SaveScene(scene.Parts());
  for (u32 limit : {0u, 10u, 40u, static_cast<u32>(full.size() - 1)}) {
    CMemoryIo device;
    device.SetWriteLimit(limit);
    CStream stream;
    stream.SetDevice(&device);
    stream.AddRootObject(scene.root.Get());
    stream.AddExtendInfo(scene.info.Get());
    stream.AddObject(scene.listed.Get());
    EXPECT_EQ(stream.Save(CStream::kAllSections), kErrStream) << limit;
  }
}

}  // namespace
}  // namespace KT
