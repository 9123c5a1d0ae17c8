// KT::CAudioData: durations, its record (current and 2.00, byte for byte),
// copies that duplicate the samples, and hostile sizes.
#include "audio/audio_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Format = CAudioData::CWaveFormat;

class AudioDataTest : public test::AudioTest {};

Format MakeFormat(u16 channels, u32 rate, u16 bits) {
  Format f;
  f.Channels = channels;
  f.SamplesPerSec = rate;
  f.BitsPerSample = bits;
  return f;
}

TEST_F(AudioDataTest, Duration) {
  struct Row {
    const char* what;
    Format format;
    u32 size;
    f32 expected;
  };
  const Row rows[] = {
      {"default format, one second", Format(), 44100, 1000.0f},
      {"a partial frame is dropped", Format(), 44101, 1000.0f},
      {"16-bit stereo at 44100", MakeFormat(2, 44100, 16), 264600, 1500.0f},
      {"8-bit stereo at 11025", MakeFormat(2, 11025, 8), 44100, 2000.0f},
      {"no samples", Format(), 0, 0.0f},
      {"fewer than 8 bits", MakeFormat(1, 22050, 4), 100, 0.0f},
      {"no channel", MakeFormat(0, 22050, 16), 100, 0.0f},
      {"rate 0", MakeFormat(1, 0, 16), 100, 0.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CAudioData> data(new CAudioData());
    data->SetFormat(row.format);
    const std::vector<u8> bytes(row.size, 0);
    ASSERT_EQ(data->SetSamples(bytes.data(), row.size), kOk);
    EXPECT_EQ(data->GetDuration(), row.expected);
  }
}

TEST_F(AudioDataTest, TheLevelOfADefaultObjectWithThreeBytes) {
  CPointer<CAudioData> data(new CAudioData());
  const u8 three[] = {0xA1, 0xB2, 0xC3};
  ASSERT_EQ(data->SetSamples(three, 3), kOk);
  const Bytes saved = test::SaveRoots({data.Get()});
  const std::vector<u8> level = {2, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x00, 0x01, 0x00, 0x22, 0x56, 0x00, 0x00,
                                 0x44, 0xAC, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 3, 0, 0, 0, 0xA1, 0xB2, 0xC3, 0x00};
  ASSERT_GE(saved.size(), level.size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(level.size()), saved.end()), level);
  EXPECT_EQ(saved.size(), test::kFirstRecordOffset + data->GetSaveSize());
  CPointer<CAudioData> empty(new CAudioData());
  EXPECT_EQ(empty->GetSaveSize() + 3, data->GetSaveSize());
}

TEST_F(AudioDataTest, SaveLoadSaveAndTheOlderForm) {
  CPointer<CAudioData> data(new CAudioData());
  data->SetName(u"click");
  data->SetFormat(MakeFormat(2, 44100, 16));
  data->SetStatic(true);
  const std::vector<u8> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(data->SetSamples(bytes.data(), 8), kOk);
  const Bytes first = test::SaveRoots({data.Get()});
  test::UseTestIds(1);
  {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
    auto* loaded = DynamicCast<CAudioData>(stream.GetRootObject(0));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(test::Members(loaded), test::Members(data.Get()));
    EXPECT_EQ(Bytes(loaded->GetSamples(), loaded->GetSamples() + 8), bytes);
    EXPECT_EQ(loaded->GetFormat(), data->GetFormat());
    EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  }
  test::ExpectPrefixesFailBetweenRecords(first, test::kFirstRecordOffset);

  // 2.00 has no Static byte.
  const Bytes old = test::SceneFile().Record("CAudioData", test::DataBody(1, {9, 9}, 200), true).Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(old, stream, device), kOk);
  auto* loaded = DynamicCast<CAudioData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_FALSE(loaded->IsStatic());
  EXPECT_EQ(loaded->GetDataSize(), 2u);
  test::ExpectPrefixesFailBetweenRecords(old, test::kFirstRecordOffset);
}

TEST_F(AudioDataTest, ASizeBeyondTheRecordIsRefusedBeforeAllocating) {
  ByteWriter w;
  test::ObjectHead(w, 1);
  w.Pair(2, 1).U16(0).U16(1).U32(22050).U32(44100).U16(2).U16(16).U32(0xFFFFFFF0u).U8(1);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CAudioData", w, true).Data(), stream, device), kErrStream);
}

TEST_F(AudioDataTest, CopiesDuplicateTheSamples) {
  CPointer<CAudioData> data(new CAudioData());
  data->SetName(u"named");
  data->SetStatic(true);
  data->SetDirty(true);
  const u8 bytes[] = {7, 8, 9};
  ASSERT_EQ(data->SetSamples(bytes, 3), kOk);
  CPointer<CBase> made;
  ASSERT_EQ(data->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CAudioData>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetName(), u"");
  EXPECT_FALSE(copy->IsDirty());
  EXPECT_TRUE(copy->IsStatic());
  ASSERT_EQ(copy->GetDataSize(), 3u);
  EXPECT_NE(copy->GetSamples(), data->GetSamples());
  EXPECT_EQ(copy->GetSamples()[2], 9);

  CPointer<CAudioData> target(new CAudioData());
  const u8 other[] = {1};
  ASSERT_EQ(target->SetSamples(other, 1), kOk);
  DisplacedList displaced;
  ASSERT_EQ(data->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetName(), u"named");
  ASSERT_EQ(target->GetDataSize(), 3u);
  EXPECT_NE(target->GetSamples(), data->GetSamples());
  EXPECT_EQ(target->GetSamples()[0], 7);
  CPointer<CAudioCue> cue(new CAudioCue());
  EXPECT_EQ(data->CopyTo(cue.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(data->SetSamples(nullptr, 4), kErrInvalidArg);
  EXPECT_EQ(data->GetDataSize(), 3u);
}

}  // namespace
}  // namespace KT
