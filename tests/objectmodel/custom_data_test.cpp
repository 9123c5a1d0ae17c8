// Custom data records: chains, copies, clones and the raw-data setter.
#include "objectmodel/custom_data.h"

#include <gtest/gtest.h>

#include <cstring>

#include "objectmodel/raw_data.h"
#include "objectmodel/version_data.h"
#include "stream_test_support.h"

namespace KT {
namespace {

TEST(CustomData, SetDataRefusesEmptyInputAndKeepsTheOldBytes) {
  CPointer<CRawData> raw(new CRawData());
  const u8 bytes[] = {1, 2, 3};
  ASSERT_EQ(raw->SetData(3, bytes), kOk);
  EXPECT_EQ(raw->SetData(0, bytes), kErrInvalidArg);
  EXPECT_EQ(raw->SetData(2, nullptr), kErrInvalidArg);
  EXPECT_EQ(raw->GetByteSize(), 3u);
  EXPECT_EQ(raw->GetBytes()[2], 3);
  EXPECT_EQ(raw->GetSaveSize(), 8u + 60 + 3);
}

TEST(CustomData, BehaviourScriptTemplateIsTheExactTextAndTravelsAsXmlData) {
  EXPECT_EQ(kBehaviourScriptTemplate,
            "<?xml version='1.0' encoding='UTF-8'?><!-- Ostrel3 FenwaScript --><zObject Name='Object'><Commands>"
            "<Perform></Perform></Commands><Clips></Clips></zObject>");
  RegisterCustomDataClasses();
  CPointer<CXmlRawData> script(new CXmlRawData());
  ASSERT_EQ(script->SetData(static_cast<u32>(kBehaviourScriptTemplate.size()), kBehaviourScriptTemplate.data()), kOk);
  const test::Bytes bytes = test::SaveRoots({script.Get()});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  const auto* loaded = DynamicCast<CXmlRawData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(loaded->GetBytes()), loaded->GetByteSize()),
            kBehaviourScriptTemplate);
}

TEST(CustomData, ChainOfRawAndVersionDataClonesInOrder) {
  CPointer<CRawData> raw(new CRawData());
  CPointer<CVersionData> version(new CVersionData());
  raw->SetName(u"raw");
  version->SetApp(u"app", 3);
  ASSERT_EQ(raw->SetNext(version.Get()), kOk);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(CloneObject(clone, map, raw.Get(), 0), kOk);
  CRawData* rawClone = DynamicCast<CRawData>(clone.Get());
  ASSERT_NE(rawClone, nullptr);
  ASSERT_NE(rawClone, raw.Get());
  CVersionData* versionClone = DynamicCast<CVersionData>(rawClone->GetNext());
  ASSERT_NE(versionClone, nullptr);
  EXPECT_NE(versionClone, version.Get());
  EXPECT_EQ(versionClone->GetAppName(), u"app");
  EXPECT_EQ(test::Members(versionClone), test::Members(version.Get()));
}

TEST(CustomData, SetNextRefusesALoop) {
  CPointer<CRawData> a(new CRawData());
  CPointer<CRawData> b(new CRawData());
  ASSERT_EQ(a->SetNext(b.Get()), kOk);
  EXPECT_EQ(b->SetNext(a.Get()), kErrInvalidArg);
  EXPECT_EQ(a->SetNext(a.Get()), kErrInvalidArg);
  EXPECT_EQ(b->GetNext(), nullptr);
}

TEST(CustomData, CopyToSharesTheChainAndDisplacesTheOldNext) {
  CPointer<CVersionData> source(new CVersionData());
  CPointer<CVersionData> target(new CVersionData());
  CPointer<CRawData> sourceNext(new CRawData());
  CPointer<CRawData> targetNext(new CRawData());
  source->SetApp(u"src", 1);
  source->SetNext(sourceNext.Get());
  target->SetNext(targetNext.Get());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetNext(), sourceNext.Get());
  EXPECT_EQ(target->GetAppName(), u"src");
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), targetNext.Get());
  CPointer<CRawData> other(new CRawData());
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST(CustomData, FindAndCollectWalkTheChain) {
  CPointer<CCustomData> head(new CCustomData());
  CPointer<CRawData> raw(new CRawData());
  CPointer<CXmlRawData> xml(new CXmlRawData());
  raw->SetName(u"r");
  xml->SetName(u"x");
  head->SetNext(raw.Get());
  raw->SetNext(xml.Get());
  EXPECT_EQ(head->Find(u"x", nullptr, false, false), xml.Get());
  EXPECT_EQ(head->Find(nullptr, &CRawData::StaticClassRecord(), false, false), raw.Get());
  EXPECT_EQ(head->Find(nullptr, &CRawData::StaticClassRecord(), true, false), raw.Get());
  std::vector<CBase*> found;
  head->Collect(found, nullptr, &CRawData::StaticClassRecord(), true, false);
  EXPECT_EQ(found, (std::vector<CBase*>{raw.Get(), xml.Get()}));
  EXPECT_TRUE(head->UpdateMarked({xml.Get()}));
  EXPECT_TRUE(head->IsMarked());
  EXPECT_TRUE(raw->IsMarked());
  head->ClearMarked();
  EXPECT_FALSE(xml->IsMarked());
}

TEST(CustomData, LongChainIsDestroyedWithoutRecursion) {
  CPointer<CCustomData> head(new CCustomData());
  CCustomData* last = head.Get();
  for (int i = 0; i < 200000; ++i) {
    CPointer<CCustomData> next(new CCustomData());
    ASSERT_EQ(last->SetNext(next.Get()), kOk);
    last = next.Get();
  }
  head.Release();
  SUCCEED();
}

TEST(CustomData, SkippedRecordsOfTheListsAreNotWrittenAgain) {
  RegisterCustomDataClasses();
  // An object list holding one record of an unknown class and one raw
  // record: the unknown one is skipped on loading, and saving writes only
  // the raw record with a count of 1.
  CPointer<CRawData> raw(new CRawData());
  raw->SetName(u"kept");
  test::SceneParts parts;
  parts.objects = {raw.Get()};
  test::Bytes bytes = test::SaveScene(parts);
  // A second copy of the record, renamed to an unknown class, goes first.
  // Layout: header 15, sizes 0, s2 at 19, count at 23, record from 27.
  ASSERT_EQ(bytes[23], 1);
  const u32 recordSize = raw->GetSaveSize();
  test::Bytes unknown(bytes.begin() + 27, bytes.begin() + 27 + recordSize);
  unknown[4] = 'X';  // "XRawData": unknown
  test::Bytes crafted(bytes.begin(), bytes.begin() + 23);
  const u32 count = 2;
  crafted.insert(crafted.end(), reinterpret_cast<const u8*>(&count), reinterpret_cast<const u8*>(&count) + 4);
  crafted.insert(crafted.end(), unknown.begin(), unknown.end());
  crafted.insert(crafted.end(), bytes.begin() + 27, bytes.end());
  const u32 sectionSize = 4 + 2 * recordSize;
  std::memcpy(&crafted[19], &sectionSize, 4);

  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(crafted, stream, device, 0x1E, 0x1F), kOk);
  ASSERT_EQ(stream.GetObjectCount(), 2u);
  EXPECT_EQ(stream.GetObject(0), nullptr);
  ASSERT_NE(stream.GetObject(1), nullptr);
  CMemoryIo out;
  stream.SetDevice(&out);
  ASSERT_EQ(stream.Save(CStream::kAllSections), kOk);
  const test::Bytes& saved = out.GetData();
  u32 savedCount = 0;
  std::memcpy(&savedCount, &saved[23], 4);
  EXPECT_EQ(savedCount, 1u);
  EXPECT_EQ(saved.size(), bytes.size());
}

}  // namespace
}  // namespace KT
