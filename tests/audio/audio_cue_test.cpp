// KT::CAudioCue: its data, lengths, copies, record and link checks.
#include "audio/audio_cue.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio_test_support.h"

namespace KT {
namespace {

using test::Bytes;

class AudioCueTest : public test::AudioTest {};

CPointer<CAudioData> Data(u32 bytes) {
  CPointer<CAudioData> data(new CAudioData());
  const std::vector<u8> samples(bytes, 0);
  EXPECT_EQ(data->SetSamples(samples.data(), bytes), kOk);
  return data;
}

TEST_F(AudioCueTest, SetDataMarksTheCueEvenForTheSameData) {
  CPointer<CAudioData> data = Data(2);
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetData(data.Get());
  cue->SetModified(false);
  cue->SetData(data.Get());
  EXPECT_TRUE(cue->IsModified());
  EXPECT_EQ(data->GetReferences(), 2u);
  EXPECT_TRUE(cue->HasSubObjects());
}

TEST_F(AudioCueTest, Lengths) {
  CPointer<CAudioCue> cue(new CAudioCue());
  EXPECT_EQ(cue->GetLength(), 0.0f);  // no data: a duration of 0
  CPointer<CAudioData> second = Data(44100);
  cue->SetData(second.Get());
  cue->SetSpeed(2.0f);
  cue->SetPadding(100);
  cue->SetEndTime(40);
  // 1000 / (2 x 2) + (100 - 40) / 2: the resolution divides the times by
  // the rate once and the length by the cue's own factors again.
  EXPECT_EQ(cue->GetLength(), 280.0f);
  CPointer<CAudioTrack> track(new CAudioTrack());
  track->SetSpeed(2.0f);
  ASSERT_EQ(track->AddCue(cue.Get(), false), kOk);
  EXPECT_EQ(cue->GetLength(), 280.0f);
  // Through the track: rate 4, times (100 - 40) / 4; d = 4 x 2.
  EXPECT_EQ(cue->GetFlatLength(), 140.0f);
}

TEST_F(AudioCueTest, CopiesShareAndClonesCopyTheData) {
  CPointer<CAudioData> data = Data(4);
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetData(data.Get());
  CPointer<CBase> made;
  ASSERT_EQ(cue->CreateInstance(made), kOk);
  EXPECT_EQ(DynamicCast<CAudioCue>(made.Get())->GetData(), data.Get());

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(cue->Clone(clone, map, 0), kOk);
  auto* copy = DynamicCast<CAudioCue>(clone.Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->GetData(), nullptr);
  EXPECT_NE(copy->GetData(), data.Get());
  EXPECT_EQ(copy->GetData()->GetDataSize(), 4u);

  CPointer<CAudioData> former = Data(1);
  CPointer<CAudioCue> target(new CAudioCue());
  target->SetData(former.Get());
  DisplacedList displaced;
  ASSERT_EQ(cue->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetData(), data.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], former.Get());
  CPointer<CAudioTrack> track(new CAudioTrack());
  EXPECT_EQ(cue->CopyTo(track.Get(), displaced, 0), kErrNotFound);
}

TEST_F(AudioCueTest, TraversalReachesTheData) {
  CPointer<CAudioData> data = Data(1);
  data->SetName(u"wave");
  CPointer<CAudioCue> cue(new CAudioCue());
  CPointer<CAudioTrack> track(new CAudioTrack());
  EXPECT_FALSE(track->HasSubObjects());
  EXPECT_FALSE(cue->HasSubObjects());
  cue->SetData(data.Get());
  ASSERT_EQ(track->AddCue(cue.Get(), false), kOk);
  EXPECT_TRUE(track->HasSubObjects());
  EXPECT_EQ(track->Find(u"wave", nullptr, false, false), data.Get());
  std::vector<CBase*> all;
  track->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{track.Get(), cue.Get(), data.Get()}));
  test::ReferenceRecorder fromTrack, fromCue;
  track->EnumReferences(fromTrack);
  cue->EnumReferences(fromCue);
  EXPECT_EQ(fromTrack.seen, (std::vector<std::pair<CBase*, u32>>{{cue.Get(), 1}}));
  EXPECT_EQ(fromCue.seen, (std::vector<std::pair<CBase*, u32>>{{data.Get(), 1}}));
  EXPECT_TRUE(track->UpdateMarked(ObjectSet{data.Get()}));
  EXPECT_TRUE(cue->IsMarked());
  track->ClearMarked();
  EXPECT_FALSE(data->IsMarked());
  EXPECT_EQ(track->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(cue->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(track->ResolveReferences(track.Get()), kOk);
}

TEST_F(AudioCueTest, RecordAndLinkChecks) {
  test::SceneFile file;
  file.Record("CAudioCue", test::CueBody(1, 2), true);
  file.Record("CAudioData", test::DataBody(2, {1, 2, 3, 4}));
  const Bytes bytes = file.Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* cue = DynamicCast<CAudioCue>(stream.GetRootObject(0));
  ASSERT_NE(cue, nullptr);
  ASSERT_NE(cue->GetData(), nullptr);
  EXPECT_EQ(cue->GetData()->GetDataSize(), 4u);
  EXPECT_EQ(bytes.size(), test::kFirstRecordOffset + test::LoadedRecordBytes(stream));
  test::UseTestIds(2);
  const Bytes again = test::SaveLoaded(stream);
  EXPECT_EQ(again.size(), bytes.size());
  CStream reloaded;
  CMemoryIo device3;
  ASSERT_EQ(test::LoadScene(again, reloaded, device3), kOk);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(reloaded)), test::RenumberIds(again));
  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);

  // Data that is not sample data.
  test::SceneFile wrong;
  wrong.Record("CAudioCue", test::CueBody(1, 2), true);
  wrong.Record("CAudioCue", test::CueBody(2, 0));
  CStream refused;
  CMemoryIo device2;
  EXPECT_EQ(test::LoadScene(wrong.Data(), refused, device2), kErrNotFound);
}

}  // namespace
}  // namespace KT
