// KT::CAudioInstance: every stored form, copies, clones and its record.
#include "audio/audio_instance.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class AudioInstanceTest : public test::AudioTest {};

// An instance record of `version` playing data 0x30: StartTime 999.9,
// BeginTime 10, EndTime 20, IntroTime 30, FadeTime 40 (f32 below 2.04),
// Volume 0.5, Pitch 1, Speed 2, VolumeChannel 6 (from 2.01), DelayTime 50,
// PaddingTime 60 and LoopCount 3 (from 2.03).
ByteWriter InstanceBody(u64 id, u32 version) {
  ByteWriter w;
  test::ObjectHead(w, id);
  test::SpatialPart206(w).Pair(version / 100, version % 100);
  const bool ints = version >= 204;
  auto time = [&](f32 t) {
    if (ints) {
      w.I32(static_cast<i32>(t));
    } else {
      w.F32(t);
    }
  };
  for (const f32 t : {999.9f, 10.0f, 20.0f, 30.0f, 40.0f}) time(t);
  w.F32(0.5f).F32(1.0f).F32(2.0f);
  if (version >= 202) {
    w.U64(0x30);
  } else {
    w.U32(0x30);
  }
  if (version >= 201) w.U32(6);
  if (version >= 203) {
    time(50.0f);
    time(60.0f);
    w.U32(3);
  }
  return w;
}

TEST_F(AudioInstanceTest, EveryStoredForm) {
  struct Row {
    const char* what;
    u32 version;
    i32 start;
    u32 channel;
    i32 delay, padding;
    u32 loops;
  };
  const Row rows[] = {
      {"2.00: a 4-byte id, no VolumeChannel", 200, 999, 0, 0, 0, 0},
      {"2.01: a 4-byte id", 201, 999, 6, 0, 0, 0},
      {"2.02: float times, no delay, padding or loops", 202, 999, 6, 0, 0, 0},
      {"2.03: float delay and padding", 203, 999, 6, 50, 60, 3},
      {"2.04: integer times", 204, 999, 6, 50, 60, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CAudioInstance", InstanceBody(1, row.version), true);
    file.Record("CAudioData", test::DataBody(0x30, {1, 2}));
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* instance = DynamicCast<CAudioInstance>(stream.GetRootObject(0));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->GetStartTime(), row.start);
    EXPECT_EQ(instance->GetBeginTime(), 10);
    EXPECT_EQ(instance->GetEndTime(), 20);
    EXPECT_EQ(instance->GetIntroTime(), 30);
    EXPECT_EQ(instance->GetFadeTime(), 40);
    EXPECT_EQ(instance->GetVolume(), 0.5f);
    EXPECT_EQ(instance->GetSpeed(), 2.0f);
    EXPECT_EQ(instance->GetVolumeChannel(), row.channel);
    EXPECT_EQ(instance->GetDelayTime(), row.delay);
    EXPECT_EQ(instance->GetPaddingTime(), row.padding);
    EXPECT_EQ(instance->GetLoopCount(), row.loops);
    ASSERT_NE(DynamicCast<CAudioData>(instance->GetData()), nullptr);
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(again.size(), test::kFirstRecordOffset + test::LoadedRecordBytes(reloaded));
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(instance));
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  }
}

TEST_F(AudioInstanceTest, CopiesAndClones) {
  CPointer<CAudioData> data(new CAudioData());
  CPointer<CAudioInstance> instance(new CAudioInstance());
  instance->SetBeginTime(15);
  instance->SetEndTime(25);
  instance->SetLoopCount(2);
  instance->SetData(data.Get());
  EXPECT_EQ(instance->GetSaveSize(), CAudioInstance().GetSaveSize());
  CPointer<CBase> made;
  ASSERT_EQ(instance->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CAudioInstance>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetBeginTime(), 15);
  EXPECT_EQ(copy->GetEndTime(), 25);
  EXPECT_EQ(copy->GetData(), data.Get());

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(instance->Clone(clone, map, 0), kOk);
  auto* cloned = DynamicCast<CAudioInstance>(clone.Get());
  ASSERT_NE(cloned, nullptr);
  EXPECT_EQ(cloned->GetEndTime(), 25);
  EXPECT_EQ(cloned->GetData(), map.at(data.Get()).Get());
  EXPECT_NE(cloned->GetData(), data.Get());

  CPointer<CAudioInstance> target(new CAudioInstance());
  CPointer<CAudioData> former(new CAudioData());
  target->SetData(former.Get());
  DisplacedList displaced;
  ASSERT_EQ(instance->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetLoopCount(), 2u);
  EXPECT_EQ(target->GetData(), data.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], former.Get());
  CPointer<CAudioSource> source(new CAudioSource());
  EXPECT_EQ(instance->CopyTo(source.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(instance->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(AudioInstanceTest, SaveLoadSaveInANode) {
  CPointer<CNode> root;
  ASSERT_EQ(CNode::Create(root), kOk);
  CPointer<CAudioInstance> instance(new CAudioInstance());
  instance->SetName(u"chime");
  instance->SetStartTime(-250);
  instance->SetIntroTime(5);
  instance->SetFadeTime(6);
  instance->SetPitch(0.75f);
  CPointer<CAudioData> data(new CAudioData());
  instance->SetData(data.Get());
  ASSERT_EQ(root->AddChild(instance.Get()), kOk);
  std::vector<CSpatial*> spatials;
  ASSERT_EQ(root->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials.size(), 2u);
  ASSERT_EQ(root->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_TRUE(instance->GetWorldBound().IsEmpty());

  const Bytes first = test::SaveRoots({root.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), test::kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* node = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->GetChildCount(), 1u);
  EXPECT_EQ(test::Members(node->GetChildren()[0].Get()), test::Members(instance.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, test::kFirstRecordOffset);
}

}  // namespace
}  // namespace KT
