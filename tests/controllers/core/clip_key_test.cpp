// Clip keys: the current record, its older version without Channel, the
// 24- and 20-byte records and both legacy forms.
#include "controllers/core/clip_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controllers/core/key_search.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/memory_io.h"

namespace KT {
namespace {

using Bytes = std::vector<u8>;
using test::ByteWriter;

Bytes SaveKey(const CClipKey& key) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(key.Save(stream), kOk);
  return device.GetData();
}

// Reads `bytes` with `read` (stream), answering its result and how many
// bytes it left.
template <typename Read>
Result ReadFrom(const Bytes& bytes, Read read, u32* left = nullptr) {
  CMemoryIo device;
  device.SetData(bytes);
  CStream stream;
  stream.SetDevice(&device);
  const Result r = read(stream);
  if (left != nullptr) *left = stream.GetRemaining();
  return r;
}

template <typename T>
T At(const Bytes& bytes, std::size_t offset) {
  T value{};
  std::memcpy(&value, &bytes[offset], sizeof(T));
  return value;
}

// The transition-key part of a record, then the clip-key version pair.
ByteWriter& KeyHead(ByteWriter& w, i32 time, u32 minor) {
  return w.Pair(1, 0).I32(time).Pair(1, 0).U32(TT_EASE_IN).F32(30.0f).Pair(1, minor);
}
// The clip fields up to TimeWarpStrength.
ByteWriter& ClipFields(ByteWriter& w, i32 clipId) {
  w.F32(150.0f).I32(clipId).U32(3).I32(10).I32(20).I32(30).F32(2.0f).U8(1).F32(4.0f).U8(1);
  return w.U32(TT_EASE_OUT).F32(70.0f);
}

TEST(ClipKeyTest, DefaultKeyRoundTripsIn82Bytes) {
  const CClipKey key;
  const Bytes bytes = SaveKey(key);
  ASSERT_EQ(bytes.size(), 82u);
  EXPECT_EQ(key.GetSaveSize(), 82u);
  EXPECT_EQ(key.GetVersion(), 101u);
  EXPECT_EQ(At<u32>(bytes, 28), 1u);
  EXPECT_EQ(At<u32>(bytes, 32), 1u);
  EXPECT_EQ(At<f32>(bytes, 36), 200.0f);  // TransitionRange
  EXPECT_EQ(At<i32>(bytes, 40), -1);      // ClipID
  EXPECT_EQ(At<u32>(bytes, 44), 1u);      // LoopCount
  EXPECT_EQ(At<f32>(bytes, 60), 1.0f);    // Frequency
  EXPECT_EQ(bytes[64], 0u);               // Persist
  EXPECT_EQ(At<f32>(bytes, 74), 50.0f);   // TimeWarpStrength
  EXPECT_EQ(At<i32>(bytes, 78), -1);      // Channel

  CClipKey loaded;
  loaded.Channel = 9;
  loaded.ClipID = 4;
  ASSERT_EQ(ReadFrom(bytes, [&](CStream& s) { return loaded.Load(s); }), kOk);
  EXPECT_EQ(loaded.Channel, -1);
  EXPECT_EQ(loaded.ClipID, -1);
  EXPECT_EQ(SaveKey(loaded), bytes);
}

TEST(ClipKeyTest, EveryFieldLandsAtItsOffset) {
  CClipKey key(250, 2);
  key.TransitionType = TT_STEP;
  key.TransitionStrength = 12.0f;
  key.TransitionRange = 99.0f;
  key.LoopCount = 0;  // endless: stays 0 in the current record
  key.BeginTime = -5;
  key.EndTime = 6;
  key.Padding = 7;
  key.Frequency = 0.5f;
  key.Persist = true;
  key.Priority = 3.0f;
  key.Reverse = true;
  key.TimeWarpType = TT_EASE_IN_OUT;
  key.TimeWarpStrength = 80.0f;
  key.Channel = 11;
  const Bytes bytes = SaveKey(key);
  ByteWriter expected;
  expected.Pair(1, 0).I32(250).Pair(1, 0).U32(TT_STEP).F32(12.0f).Pair(1, 1);
  expected.F32(99.0f).I32(2).U32(0).I32(-5).I32(6).I32(7).F32(0.5f).U8(1).F32(3.0f).U8(1);
  expected.U32(TT_EASE_IN_OUT).F32(80.0f).I32(11);
  EXPECT_EQ(bytes, expected.Data());
  CClipKey loaded;
  ASSERT_EQ(ReadFrom(bytes, [&](CStream& s) { return loaded.Load(s); }), kOk);
  EXPECT_EQ(SaveKey(loaded), bytes);
  EXPECT_EQ(loaded.LoopCount, 0u);
}

TEST(ClipKeyTest, Version100HasNoChannelAndTheNextKeyFollows) {
  ByteWriter w;
  w.U32(2);
  ClipFields(KeyHead(w, 100, 0), 1);
  ClipFields(KeyHead(w, 200, 0), 2);
  std::vector<CClipKey> keys;
  u32 left = 99;
  ASSERT_EQ(ReadFrom(w.Data(), [&](CStream& s) { return ReadKeyList(s, keys); }, &left), kOk);
  EXPECT_EQ(left, 0u);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1].Time, 200);
  EXPECT_EQ(keys[1].ClipID, 2);
  EXPECT_EQ(keys[0].Channel, -1);
  EXPECT_EQ(keys[0].TransitionType, static_cast<u32>(TT_EASE_IN));
  EXPECT_EQ(keys[0].TransitionStrength, 30.0f);
  EXPECT_EQ(keys[0].TransitionRange, 150.0f);
  EXPECT_EQ(keys[0].LoopCount, 3u);
  EXPECT_EQ(keys[0].BeginTime, 10);
  EXPECT_EQ(keys[0].EndTime, 20);
  EXPECT_EQ(keys[0].Padding, 30);
  EXPECT_EQ(keys[0].Frequency, 2.0f);
  EXPECT_TRUE(keys[0].Persist);
  EXPECT_EQ(keys[0].Priority, 4.0f);
  EXPECT_TRUE(keys[0].Reverse);
  EXPECT_EQ(keys[0].TimeWarpType, static_cast<u32>(TT_EASE_OUT));
  EXPECT_EQ(keys[0].TimeWarpStrength, 70.0f);
}

TEST(ClipKeyTest, NewerVersionIsRefusedAfterTheBaseParts) {
  ByteWriter w;
  ClipFields(KeyHead(w, 40, 2), 1);
  CClipKey key;
  EXPECT_EQ(ReadFrom(w.Data(), [&](CStream& s) { return key.Load(s); }), kErrNewerVersion);
  EXPECT_EQ(key.Time, 40);
  EXPECT_EQ(key.ClipID, -1);
}

TEST(ClipKeyTest, EveryPrefixFailsWithTheStreamCode) {
  CClipKey source(10, 1);
  const Bytes bytes = SaveKey(source);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    CClipKey key;
    EXPECT_EQ(ReadFrom(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)),
                       [&](CStream& s) { return key.Load(s); }),
              kErrStream)
        << n;
  }
}

class NameRecorder : public CMemberVisitor {
 public:
  void OpenGroup() override { names.push_back("{"); }
  void EndGroup() override { names.push_back("}"); }
  void Time(const char16_t* n, const i32*) override { Add(n); }
  void Float(const char16_t* n, const f32*) override { Add(n); }
  void Bool(const char16_t* n, const bool*) override { Add(n); }
  void Int(const char16_t* n, const i32*) override { Add(n); }
  void UInt(const char16_t* n, const u32*) override { Add(n); }
  void Enum(const char16_t* n, const i32*, const char16_t* const*, u32) override { Add(n); }
  std::vector<std::string> names;

 private:
  void Add(const char16_t* n) {
    const std::u16string name(n);
    names.emplace_back(name.begin(), name.end());
  }
};

TEST(ClipKeyTest, DescribesItsFieldsInOrderInsideOneGroup) {
  CClipKey key;
  NameRecorder recorder;
  key.DescribeMembers(recorder);
  const std::vector<std::string> expected = {
      "{",         "Time",     "TransitionRange", "ClipID",       "LoopCount",        "BeginTime",
      "EndTime",   "Padding",  "Frequency",       "Persist",      "Priority",         "Reverse",
      "TimeWarpType", "TimeWarpStrength", "Channel", "TransitionType", "TransitionStrength", "}"};
  EXPECT_EQ(recorder.names, expected);
}

TEST(ClipKeyTest, Record24ReadsLoopCountZeroAsOne) {
  CClipKey key;
  key.Channel = 5;
  key.Priority = 9.0f;
  key.FromRecord24({100.9f, 120.0f, 3, 0, -5.7f, 40.2f});
  EXPECT_EQ(key.Time, 100);
  EXPECT_EQ(key.TransitionRange, 120.0f);
  EXPECT_EQ(key.ClipID, 3);
  EXPECT_EQ(key.LoopCount, 1u);
  EXPECT_EQ(key.BeginTime, -5);
  EXPECT_EQ(key.EndTime, 40);
  // Everything else back at its default.
  EXPECT_EQ(key.Channel, -1);
  EXPECT_EQ(key.Priority, 0.0f);
  EXPECT_EQ(key.Padding, 0);

  key.FromRecord24({0.0f, 120.0f, 3, 4, 0.0f, 0.0f});
  EXPECT_EQ(key.LoopCount, 4u);
}

TEST(ClipKeyTest, Record20KeepsTheDefaultRange) {
  CClipKey key;
  key.TransitionRange = 5.0f;
  key.FromRecord20({2000.5f, 1, 0, 10.0f, 0.0f});
  EXPECT_EQ(key.Time, 2000);
  EXPECT_EQ(key.ClipID, 1);
  EXPECT_EQ(key.LoopCount, 1u);
  EXPECT_EQ(key.BeginTime, 10);
  EXPECT_EQ(key.TransitionRange, 200.0f);
}

TEST(ClipKeyTest, BlockFormReadsThirtySixBytesAndKeepsTheRest) {
  ByteWriter w;
  w.F32(0.5f).I32(2).U32(3).F32(10.9f).F32(-20.9f).F32(80.0f).F32(6.0f).U32(0xFFFFFFFF).U8(2).U8(7).U8(7).U8(7);
  w.U32(0xABABABAB);  // what follows belongs to the next record
  LegacyClipRecord record;
  InitLegacyClipRecord(record);
  u32 left = 0;
  ASSERT_EQ(ReadFrom(w.Data(), [&](CStream& s) { return ReadLegacyClipRecord(s, true, record); }, &left), kOk);
  EXPECT_EQ(left, 4u);
  EXPECT_EQ(record.Frequency, 0.5f);
  EXPECT_EQ(record.ClipID, 2);
  EXPECT_EQ(record.LoopCount, 3u);
  EXPECT_EQ(record.BeginTime, 10);
  EXPECT_EQ(record.EndTime, -20);
  EXPECT_EQ(record.TransitionRange, 80.0f);
  EXPECT_EQ(record.Priority, 6.0f);
  EXPECT_TRUE(record.Persist);
  EXPECT_EQ(record.Padding, 0);
  EXPECT_EQ(record.TimeWarpStrength, 50.0f);
  EXPECT_EQ(record.TransitionStrength, 50.0f);
  EXPECT_FALSE(record.Reverse);

  CClipKey key;
  key.FromLegacy(record, 700);
  EXPECT_EQ(key.Time, 700);
  EXPECT_EQ(key.ClipID, 2);
  EXPECT_EQ(key.BeginTime, 10);
  EXPECT_TRUE(key.Persist);
}

TEST(ClipKeyTest, FieldFormFollowsItsVersion) {
  struct Case {
    u32 minor;
    u32 size;
  };
  // 2.00 stores times as f32, 2.01 as i32, 2.02 adds the time warp.
  for (const Case& c : {Case{0, 46}, Case{1, 46}, Case{2, 58}}) {
    ByteWriter w;
    w.Pair(2, c.minor).F32(2.0f).I32(1).U32(0);
    if (c.minor == 0) {
      w.F32(10.7f).F32(20.2f).F32(90.0f).F32(1.5f).F32(-3.9f);
    } else {
      w.I32(10).I32(20).F32(90.0f).F32(1.5f).I32(-3);
    }
    w.U8(1).U32(TT_EASE_OUT).U8(1);
    if (c.minor >= 2) w.F32(33.0f).U32(TT_EASE_IN).F32(66.0f);
    ASSERT_EQ(w.Size(), c.size);
    LegacyClipRecord record;
    InitLegacyClipRecord(record);
    u32 left = 1;
    ASSERT_EQ(ReadFrom(w.Data(), [&](CStream& s) { return ReadLegacyClipRecord(s, false, record); }, &left), kOk)
        << c.minor;
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(record.Frequency, 2.0f);
    EXPECT_EQ(record.LoopCount, 0u);
    EXPECT_EQ(record.BeginTime, 10);
    EXPECT_EQ(record.EndTime, 20);
    EXPECT_EQ(record.TransitionRange, 90.0f);
    EXPECT_EQ(record.Priority, 1.5f);
    EXPECT_EQ(record.Padding, -3);
    EXPECT_TRUE(record.Persist);
    EXPECT_EQ(record.TransitionType, static_cast<u32>(TT_EASE_OUT));
    EXPECT_TRUE(record.Reverse);
    EXPECT_EQ(record.TransitionStrength, c.minor >= 2 ? 33.0f : 50.0f);
    EXPECT_EQ(record.TimeWarpType, c.minor >= 2 ? static_cast<u32>(TT_EASE_IN) : static_cast<u32>(TT_LINEAR));
    EXPECT_EQ(record.TimeWarpStrength, c.minor >= 2 ? 66.0f : 50.0f);

    // Every prefix fails with the stream's code.
    for (std::size_t n = 0; n < w.Size(); ++n) {
      LegacyClipRecord partial;
      const Bytes prefix(w.Data().begin(), w.Data().begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_EQ(ReadFrom(prefix, [&](CStream& s) { return ReadLegacyClipRecord(s, false, partial); }), kErrStream)
          << c.minor << " " << n;
    }
  }
}

}  // namespace
}  // namespace KT
