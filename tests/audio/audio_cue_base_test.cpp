// KT::CAudioCueBase: the scaling convention, resolution through parent
// tracks, envelopes, member names and the older forms of its record level.
#include "audio/audio_cue_base.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "audio_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Timing = CAudioCueBase::CFlatTiming;

class AudioCueBaseTest : public test::AudioTest {};

// Records the group titles and field names a class reports.
struct NameRecorder : CMemberVisitor {
  std::vector<std::string> names;
  void Add(const char16_t* name) { names.emplace_back(name, name + std::char_traits<char16_t>::length(name)); }
  void BeginGroup(const char16_t* name) override { Add(name); }
  void Bool(const char16_t* name, const bool*) override { Add(name); }
  void Int(const char16_t* name, const i32*) override { Add(name); }
  void UInt(const char16_t* name, const u32*) override { Add(name); }
  void UShort(const char16_t* name, const u16*) override { Add(name); }
  void Float(const char16_t* name, const f32*) override { Add(name); }
};

TEST_F(AudioCueBaseTest, ScaleTime) {
  constexpr f32 kInf = std::numeric_limits<f32>::infinity();
  struct Row {
    const char* what;
    i32 t;
    f32 d;
    i32 expected;
  };
  const Row rows[] = {
      {"exact", 500, 2.0f, 250},
      {"truncated toward zero", 175, 2.0f, 87},
      {"negative truncated toward zero", -5, 2.0f, -2},
      {"rate 0", 500, 0.0f, 0},
      {"0 / 0", 0, 0.0f, 0},
      {"NaN rate", 500, std::numeric_limits<f32>::quiet_NaN(), 0},
      {"infinite rate", 500, kInf, 0},
      {"beyond 32 bits: the low 32 bits", 2000000000, 0.25f, -589934592},
      {"beyond 64 bits", 2000000000, 1e-30f, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(CAudioCueBase::ScaleTime(row.t, row.d), row.expected);
  }
  EXPECT_TRUE(std::isinf(CAudioCueBase::RoundToF32(1e300)));
  EXPECT_TRUE(std::isnan(CAudioCueBase::RoundToF32(std::nan(""))));
}

// A root track with Speed 2, StartTime 1000 and Delay 500.
CPointer<CAudioTrack> FastRoot() {
  CPointer<CAudioTrack> root(new CAudioTrack());
  root->SetSpeed(2.0f);
  root->SetStartTime(1000);
  root->SetDelay(500);
  return root;
}

TEST_F(AudioCueBaseTest, ResolutionThroughTheParent) {
  CPointer<CAudioTrack> root = FastRoot();
  Timing r;
  root->Flatten(r);
  EXPECT_EQ(r.Start, 1000);
  EXPECT_EQ(r.Delay, 250);
  EXPECT_EQ(r.LoopCount, 1u);

  CPointer<CAudioCue> late(new CAudioCue());
  late->SetStartTime(400);
  CPointer<CAudioCue> delayed(new CAudioCue());
  delayed->SetDelay(100);
  delayed->SetVolume(0.5f);
  delayed->SetPriority(2.0f);
  ASSERT_EQ(root->AddCue(late.Get(), false), kOk);
  ASSERT_EQ(root->AddCue(delayed.Get(), false), kOk);
  // The start follows the parent's resolved delay and is divided by the
  // parent's rate: 1000 + 250 + 400 / 2.
  late->Flatten(r);
  EXPECT_EQ(r.Start, 1450);
  EXPECT_EQ(r.Speed, 2.0f);
  // The delay adds the parent's and divides by the whole chain's rate:
  // (100 + 250) / 2, truncated.
  delayed->Flatten(r);
  EXPECT_EQ(r.Delay, 175);
  EXPECT_EQ(r.Start, 1250);
  EXPECT_EQ(r.Volume, 0.5f);
  EXPECT_EQ(r.Priority, 2.0f);
}

TEST_F(AudioCueBaseTest, FlattenUpToTheOwnParentResolvesTheCueByItself) {
  CPointer<CAudioTrack> root = FastRoot();
  CPointer<CAudioTrack> middle(new CAudioTrack());
  middle->SetPitch(0.5f);
  middle->SetLoop(3);
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetStartTime(300);
  cue->SetDelay(-5);
  cue->SetBeginTime(40);
  cue->SetEndTime(900);
  cue->SetIntroTime(10);
  cue->SetFadeTime(20);
  cue->SetPadding(7);
  cue->SetSpeed(2.0f);
  cue->SetPitch(1.5f);
  ASSERT_EQ(root->AddCue(middle.Get(), false), kOk);
  ASSERT_EQ(middle->AddCue(cue.Get(), false), kOk);

  CPointer<CBase> copy;
  ASSERT_EQ(cue->CreateInstance(copy), kOk);
  auto* parentless = DynamicCast<CAudioCue>(copy.Get());
  ASSERT_NE(parentless, nullptr);
  EXPECT_EQ(parentless->GetParent(), nullptr);
  Timing alone, own;
  parentless->Flatten(alone);
  cue->FlattenUpTo(middle.Get(), own);
  EXPECT_EQ(own, alone);
  EXPECT_EQ(own.Delay, -1);  // -5 / 3, truncated toward zero
  // Stopping at the root resolves through the middle track only.
  Timing belowRoot, whole;
  cue->FlattenUpTo(root.Get(), belowRoot);
  cue->Flatten(whole);
  EXPECT_EQ(belowRoot.LoopCount, 3u);
  EXPECT_NE(belowRoot, whole);
}

TEST_F(AudioCueBaseTest, MultiplyEnvelopes) {
  struct Row {
    const char* what;
    std::vector<i32> aTimes;
    std::vector<f32> aValues;
    std::vector<i32> bTimes;
    std::vector<f32> bValues;
    std::vector<i32> times;
    std::vector<f32> values;
  };
  const Row rows[] = {
      {"interpolated between points", {0, 100}, {1.0f, 0.0f}, {50}, {0.5f}, {0, 50, 100}, {0.5f, 0.25f, 0.0f}},
      {"clamped to 1", {0}, {2.0f}, {0}, {0.75f}, {0}, {1.0f}},
      {"a later time takes the last value", {0, 10}, {0.5f, 0.25f}, {20}, {1.0f}, {0, 10, 20}, {0.5f, 0.25f, 0.25f}},
      {"an earlier time takes the first value", {10, 20}, {0.5f, 0.25f}, {5}, {1.0f}, {5, 10, 20}, {0.5f, 0.5f, 0.25f}},
      {"an empty envelope is neutral", {}, {}, {5}, {0.5f}, {5}, {0.5f}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<i32> times = row.aTimes;
    std::vector<f32> values = row.aValues;
    ASSERT_EQ(CAudioCueBase::MultiplyEnvelopes(times, values, row.bTimes, row.bValues), kOk);
    EXPECT_EQ(times, row.times);
    EXPECT_EQ(values, row.values);
  }
  std::vector<i32> times{0, 1};
  std::vector<f32> values{1.0f};
  EXPECT_EQ(CAudioCueBase::MultiplyEnvelopes(times, values, {0}, {1.0f}), kErrInvalidArg);
  EXPECT_EQ(times.size(), 2u);
  EXPECT_EQ(CAudioCueBase::MergeEnvelopeTimes(times, values, {5}), kErrInvalidArg);
}

TEST_F(AudioCueBaseTest, SetEnvelopeWantsAscendingTimesAndOneValueEach) {
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetModified(false);
  EXPECT_EQ(cue->SetEnvelope({0, 0}, {1.0f, 1.0f}), kErrInvalidArg);
  EXPECT_EQ(cue->SetEnvelope({10, 5}, {1.0f, 1.0f}), kErrInvalidArg);
  EXPECT_EQ(cue->SetEnvelope({0, 5}, {1.0f}), kErrInvalidArg);
  EXPECT_FALSE(cue->IsModified());
  EXPECT_TRUE(cue->GetEnvelopeTimes().empty());
  EXPECT_EQ(cue->SetEnvelope({0, 5}, {1.0f, 0.5f}), kOk);
  EXPECT_TRUE(cue->IsModified());
  EXPECT_EQ(cue->GetEnvelopeValues(), (std::vector<f32>{1.0f, 0.5f}));
}

TEST_F(AudioCueBaseTest, CollectEnvelopePlacesEachEnvelopeOnTheResolvedTimeline) {
  CPointer<CAudioTrack> root(new CAudioTrack());
  root->SetSpeed(2.0f);
  root->SetStartTime(1000);
  ASSERT_EQ(root->SetEnvelope({0, 100}, {1.0f, 0.0f}), kOk);
  CPointer<CAudioCue> cue(new CAudioCue());
  ASSERT_EQ(cue->SetEnvelope({50}, {0.5f}), kOk);
  ASSERT_EQ(root->AddCue(cue.Get(), false), kOk);
  std::vector<i32> times;
  std::vector<f32> values;
  ASSERT_EQ(cue->CollectEnvelope(times, values), kOk);
  EXPECT_EQ(times, (std::vector<i32>{1000, 1025, 1050}));
  EXPECT_EQ(values, (std::vector<f32>{0.5f, 0.25f, 0.0f}));
  // Without envelopes on the chain the vectors stay as given.
  CPointer<CAudioCue> plain(new CAudioCue());
  times = {1};
  values = {0.5f};
  ASSERT_EQ(plain->CollectEnvelope(times, values), kOk);
  EXPECT_EQ(times, std::vector<i32>{1});
  values.clear();
  EXPECT_EQ(plain->CollectEnvelope(times, values), kErrInvalidArg);
}

TEST_F(AudioCueBaseTest, CopiesAndMembers) {
  CPointer<CAudioCue> source(new CAudioCue());
  source->SetName(u"cue");
  source->SetFadeTime(30);
  source->SetIntroTime(20);
  source->SetPriority(1.5f);
  ASSERT_EQ(source->SetEnvelope({0}, {0.5f}), kOk);
  CPointer<CBase> made;
  ASSERT_EQ(source->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CAudioCue>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetFadeTime(), 30);
  EXPECT_EQ(copy->GetPriority(), 1.5f);
  EXPECT_TRUE(copy->GetEnvelopeTimes().empty());
  // CopyTo also carries the envelope; a target of another class is refused
  // untouched.
  CPointer<CAudioCue> target(new CAudioCue());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetIntroTime(), 20);
  EXPECT_EQ(target->GetEnvelopeValues(), std::vector<f32>{0.5f});
  CPointer<CAudioData> data(new CAudioData());
  EXPECT_EQ(source->CopyTo(data.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(data->GetName(), u"");

  NameRecorder recorder;
  source->DescribeMembers(recorder);
  const std::vector<std::string> expected = {"CAudioCueBase Member", "StartTime", "BeginTime", "EndTime",
                                             "IntroTime", "FadeTime", "Speed", "Volume", "Pitch", "Delay",
                                             "Padding", "Priority", "DirtyTime", "CDorun Member"};
  ASSERT_GE(recorder.names.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(recorder.names.begin(), recorder.names.begin() + expected.size()), expected);
  EXPECT_FALSE(source->GetDirtyTime());
}

TEST_F(AudioCueBaseTest, OlderLevelsStoreTimesAsFloats) {
  struct Row {
    const char* what;
    u32 version;
    i32 start, intro, delay, padding;
    f32 priority;
  };
  test::CueFields f;
  f.start = 12.9f;
  f.intro = -3.7f;
  f.fade = 8.0f;
  f.delay = 7.9f;
  f.padding = -0.5f;
  f.priority = 0.5f;
  f.speed = 2.0f;
  const Row rows[] = {
      {"2.00: no Delay, Padding, Priority", 200, 12, -3, 0, 0, 0.0f},
      {"2.01: Delay and Padding", 201, 12, -3, 7, 0, 0.0f},
      {"2.02: Priority", 202, 12, -3, 7, 0, 0.5f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    const Bytes bytes = test::SceneFile().Record("CAudioCue", test::CueBody(1, 0, row.version, f), true).Data();
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* cue = DynamicCast<CAudioCue>(stream.GetRootObject(0));
    ASSERT_NE(cue, nullptr);
    EXPECT_EQ(cue->GetStartTime(), row.start);
    EXPECT_EQ(cue->GetIntroTime(), row.intro);
    EXPECT_EQ(cue->GetFadeTime(), 8);
    EXPECT_EQ(cue->GetDelay(), row.delay);
    EXPECT_EQ(cue->GetPadding(), row.padding);
    EXPECT_EQ(cue->GetPriority(), row.priority);
    EXPECT_EQ(cue->GetSpeed(), 2.0f);
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    EXPECT_EQ(again.size(), test::kFirstRecordOffset + cue->GetSaveSize());
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(cue));
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  }
  ByteWriter newer;
  test::ObjectHead(newer, 1);
  newer.Pair(2, 4);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CAudioCue", newer, true).Data(), stream, device),
            kErrNewerVersion);
}

TEST_F(AudioCueBaseTest, TheLevelRecordOrdersFadeBeforeIntro) {
  test::CueFields f;
  f.start = 1, f.begin = 2, f.end = 3, f.fade = 4, f.intro = 5;
  f.volume = 0.25f, f.pitch = 0.5f, f.speed = 0.75f;
  f.delay = 6, f.padding = 7, f.priority = 8;
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetStartTime(1);
  cue->SetBeginTime(2);
  cue->SetEndTime(3);
  cue->SetFadeTime(4);
  cue->SetIntroTime(5);
  cue->SetVolume(0.25f);
  cue->SetPitch(0.5f);
  cue->SetSpeed(0.75f);
  cue->SetDelay(6);
  cue->SetPadding(7);
  cue->SetPriority(8.0f);
  const ByteWriter expected = test::CueBody(cue->GetUniqueId(), 0, 203, f);
  const Bytes saved = test::SaveRoots({cue.Get()});
  const Bytes body(saved.begin() + static_cast<std::ptrdiff_t>(test::kFirstRecordOffset + 4 + 9 + 4), saved.end());
  EXPECT_EQ(body, expected.Data());
}

}  // namespace
}  // namespace KT
