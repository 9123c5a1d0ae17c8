// The key track and time track templates: searches, blends, end times,
// records and cache copy policies.
#include "controllers/core/key_track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/vector.h"

namespace KT {
namespace {

using test::ByteWriter;

// A transition key with one f32 and one vector, on the record of the
// attribute key (version 1.00).
class CValueKey : public CKeyLevel<CValueKey, CTransitionKey, ClassIndex::CAttributeKey> {
 public:
  CValueKey() = default;
  CValueKey(i32 time, f32 value, u32 type = TT_LINEAR, f32 strength = kDefaultTransitionStrength)
      : CKeyLevel(time, type, strength), Value(value), Position(value, 2.0f * value, -value) {}
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Float(u"Value", k.Value);
    w.Block(u"Position", k.Position);
  }
  f32 Value = 1.0f;
  CVector3<float> Position{0.0f, 0.0f, 0.0f};
};

// A key without a transition.
class CStepValueKey : public CKeyLevel<CStepValueKey, CTimeKey, ClassIndex::CLayerKey> {
 public:
  CStepValueKey() = default;
  CStepValueKey(i32 time, u32 layer) : CKeyLevel(time), Layer(layer) {}
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.UInt(u"Layer", k.Layer);
  }
  u32 Layer = 0;
};

using ValueTrack = CKeyTrack<CValueKey>;

ValueTrack MakeTrack(const std::vector<CValueKey>& keys) {
  ValueTrack track;
  EXPECT_EQ(track.Assign(keys), kOk);
  return track;
}

f32 ValueAt(ValueTrack& track, i32 t, BlendRule rule, KeyBracket* out = nullptr) {
  KeyBracket b;
  EXPECT_NE(track.Bracket(t, rule, b), kKeySearchNone);
  if (out != nullptr) *out = b;
  return track.Blend(b, &CValueKey::Value);
}

TEST(KeyTrack, CasesOfTheBracketAndBlend) {
  // Keys 10 at 0, 20 at 1000 (linear into it), 40 at 2000 (ease-in into it).
  const std::vector<CValueKey> three = {{0, 10.0f}, {1000, 20.0f}, {2000, 40.0f, TT_EASE_IN}};
  const struct {
    const char* name;
    std::vector<CValueKey> keys;
    i32 time;
    u32 prev;
    u32 next;
    f32 value;
  } cases[] = {
      {"before the first key", three, -5, 0, 0, 10.0f},
      {"on the first key", three, 0, 0, 0, 10.0f},
      {"between, linear", three, 500, 0, 1, 15.0f},
      // Reached by walking forward from the cache: the bracket starts on the
      // key, with fraction 0.
      {"on a middle key", three, 1000, 1, 2, 20.0f},
      {"between, eased by the later key (exponent 2)", three, 1500, 1, 2, 25.0f},
      {"on the last key", three, 2000, 2, 2, 40.0f},
      {"after the last key", three, 2500, 2, 2, 40.0f},
      {"one key, before", {{100, 7.0f}}, 0, 0, 0, 7.0f},
      {"one key, on", {{100, 7.0f}}, 100, 0, 0, 7.0f},
      {"one key, after", {{100, 7.0f}}, 900, 0, 0, 7.0f},
      {"equal times, between the pair and the next", {{0, 0.0f}, {1000, 5.0f}, {1000, 9.0f}, {2000, 19.0f}},
       1500, 2, 3, 14.0f},
  };
  for (const auto& c : cases) {
    ValueTrack track = MakeTrack(c.keys);
    KeyBracket b;
    EXPECT_FLOAT_EQ(ValueAt(track, c.time, BlendRule::kLaterKey, &b), c.value) << c.name;
    EXPECT_EQ(b.prev, c.prev) << c.name;
    EXPECT_EQ(b.next, c.next) << c.name;
    // The vector field blends with the same weight.
    const CVector3<float> p = track.Blend(b, &CValueKey::Position);
    EXPECT_FLOAT_EQ(p.y, 2.0f * c.value) << c.name;
  }
}

TEST(KeyTrack, ForwardAndBackwardPlaybackGiveTheSameValues) {
  std::vector<CValueKey> keys;
  for (i32 i = 0; i < 50; ++i) keys.emplace_back(i * 100, static_cast<f32>(i * i), i % 3 == 0 ? TT_EASE_IN_OUT : TT_LINEAR);
  ValueTrack forward = MakeTrack(keys);
  ValueTrack backward = MakeTrack(keys);
  std::vector<f32> ahead;
  for (i32 t = -50; t <= 5050; t += 16) ahead.push_back(ValueAt(forward, t, BlendRule::kLaterKey));
  std::vector<f32> behind;
  for (i32 t = -50 + 16 * static_cast<i32>(ahead.size() - 1); t >= -50; t -= 16) {
    behind.insert(behind.begin(), ValueAt(backward, t, BlendRule::kLaterKey));
  }
  EXPECT_EQ(ahead, behind);
}

TEST(KeyTrack, DecreasingTimesFromAFileStayInRange) {
  // A file may hold keys out of order; the track takes them as stored.
  ValueTrack track = MakeTrack({{0, 0.0f}, {2000, 20.0f}, {1000, 10.0f}, {3000, 30.0f}});
  for (const i32 t : {-10, 0, 500, 1000, 1500, 2000, 2500, 3000, 4000, 1200, 100}) {
    KeyBracket b;
    ASSERT_NE(track.Bracket(t, BlendRule::kLaterKey, b), kKeySearchNone) << t;
    EXPECT_LT(b.prev, track.Size()) << t;
    EXPECT_LT(b.next, track.Size()) << t;
    EXPECT_TRUE(std::isfinite(b.fraction)) << t;
    EXPECT_GE(b.fraction, 0.0f) << t;
    EXPECT_LE(b.fraction, 1.0f) << t;
    if (b.prev != b.next && track[b.next].Time < track[b.prev].Time) {
      EXPECT_EQ(b.fraction, 0.0f) << t;
    }
  }
}

TEST(KeyTrack, EndTimeRules) {
  const struct {
    const char* name;
    std::vector<CValueKey> keys;
    i32 atLeastZero;
    i32 lastKey;
  } cases[] = {
      {"empty", {}, 0, 0},
      {"positive last key", {{-100, 0.0f}, {700, 0.0f}}, 700, 700},
      {"negative keys only", {{-500, 0.0f}, {-100, 0.0f}}, 0, -100},
  };
  for (const auto& c : cases) {
    const ValueTrack track = MakeTrack(c.keys);
    EXPECT_EQ(track.GetEndTime(EndTimeRule::kAtLeastZero), c.atLeastZero) << c.name;
    EXPECT_EQ(track.GetEndTime(EndTimeRule::kLastKey), c.lastKey) << c.name;
  }
}

TEST(KeyTrack, BlendVariantsAtStrengths1And50And100) {
  const f32 half = 0.5f;
  const struct {
    BlendRule rule;
    u32 earlierType;
    f32 strength;
    f32 weight;
  } cases[] = {
      {BlendRule::kLaterKey, TT_LINEAR, 1.0f, 0.5f},
      {BlendRule::kLaterKey, TT_LINEAR, 50.0f, 0.25f},
      {BlendRule::kLaterKey, TT_LINEAR, 100.0f, 0.0009765625f},
      {BlendRule::kLaterKeyStrength50, TT_LINEAR, 1.0f, 0.25f},
      {BlendRule::kLaterKeyStrength50, TT_LINEAR, 50.0f, 0.25f},
      {BlendRule::kLaterKeyStrength50, TT_LINEAR, 100.0f, 0.25f},
      {BlendRule::kLaterKeyClamped, TT_LINEAR, 1.0f, 0.5f},
      {BlendRule::kLaterKeyClamped, TT_LINEAR, 50.0f, 0.25f},
      {BlendRule::kLaterKeyClamped, TT_LINEAR, 100.0f, 0.0009765625f},
      {BlendRule::kLinear, TT_LINEAR, 1.0f, 0.5f},
      {BlendRule::kLinear, TT_LINEAR, 50.0f, 0.5f},
      {BlendRule::kLinear, TT_LINEAR, 100.0f, 0.5f},
      {BlendRule::kStepOnEarlier, TT_LINEAR, 1.0f, 0.5f},
      {BlendRule::kStepOnEarlier, TT_LINEAR, 100.0f, 0.5f},
      {BlendRule::kStepOnEarlier, TT_STEP, 1.0f, 0.0f},
      {BlendRule::kStepOnEarlier, TT_STEP, 50.0f, 0.0f},
      {BlendRule::kStepOnEarlier, TT_STEP, 100.0f, 0.0f},
  };
  for (const auto& c : cases) {
    // The later key eases in; the earlier key's own type matters only to
    // kStepOnEarlier.
    ValueTrack track = MakeTrack({{0, 0.0f, c.earlierType}, {1000, 100.0f, TT_EASE_IN, c.strength}});
    KeyBracket b;
    track.Bracket(500, c.rule, b);
    EXPECT_FLOAT_EQ(b.fraction, half);
    EXPECT_FLOAT_EQ(b.weight, c.weight) << static_cast<u32>(c.rule) << " strength " << c.strength;
    EXPECT_FLOAT_EQ(track.Blend(b, &CValueKey::Value), 100.0f * c.weight);
    // Stepped fields come from the earlier key.
    EXPECT_EQ(track.Step(b, &CValueKey::TransitionType), c.earlierType);
  }
  // The clamp keeps weights inside [0, 1], NaN included.
  const CValueKey a(0, 0.0f);
  const CValueKey linear(1000, 1.0f);
  EXPECT_EQ(BlendWeight(BlendRule::kLaterKeyClamped, 1.5f, a, linear), 1.0f);
  EXPECT_EQ(BlendWeight(BlendRule::kLaterKeyClamped, -0.5f, a, linear), 0.0f);
  EXPECT_EQ(BlendWeight(BlendRule::kLaterKeyClamped, std::nanf(""), a, linear), 0.0f);
  // Keys without a transition blend linearly.
  EXPECT_EQ(BlendWeight(BlendRule::kLaterKey, 0.25f, CStepValueKey(0, 1), CStepValueKey(10, 2)), 0.25f);
}

TEST(KeyTrack, StepSearchFollowsTheCache) {
  CKeyTrack<CStepValueKey> track;
  ASSERT_EQ(track.Assign({{0, 1}, {1000, 2}, {2000, 3}}), kOk);
  u32 index = 99;
  EXPECT_EQ(track.FindStep(-1, index), kKeySearchBefore);
  EXPECT_EQ(index, 0u);  // the start index, unchanged
  EXPECT_EQ(track.FindStep(1500, index), kKeySearchForward);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(track.GetLastIndex(), 1u);
  EXPECT_EQ(track.FindStep(2000, index), kKeySearchOnKey);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(track.FindStep(500, index), kKeySearchBackward);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(track.FindStep(9000, index), kKeySearchAfter);
  EXPECT_EQ(index, 2u);
  CKeyTrack<CStepValueKey> empty;
  EXPECT_EQ(empty.FindStep(0, index), kKeySearchNone);
}

TEST(KeyTrack, EditingKeepsTimeOrder) {
  ValueTrack track;
  EXPECT_EQ(track.SetKey({1000, 1.0f}), kOk);
  EXPECT_EQ(track.SetKey({0, 2.0f}), kOk);
  EXPECT_EQ(track.SetKey({2000, 3.0f}), kOk);
  EXPECT_EQ(track.SetKey({1000, 4.0f}), kOk);  // overwrites
  ASSERT_EQ(track.Size(), 3u);
  EXPECT_EQ(track[0].Value, 2.0f);
  EXPECT_EQ(track[1].Value, 4.0f);
  EXPECT_EQ(track[2].Value, 3.0f);
  EXPECT_EQ(track.RemoveKey(3), kErrOutOfRange);
  EXPECT_EQ(track.RemoveKey(0), kOk);
  EXPECT_EQ(track[0].Time, 1000);
}

TEST(KeyTrack, BulkRemovalCompactsInOrderAndResetsTheCache) {
  ValueTrack track;
  for (i32 t = 0; t < 5; ++t) ASSERT_EQ(track.SetKey({t * 100, static_cast<f32>(t)}), kOk);
  track.SetLastIndex(4);
  EXPECT_EQ(track.KeepKeys({true, false}), kErrInvalidArg);
  EXPECT_EQ(track.Size(), 5u);
  EXPECT_EQ(track.KeepKeys({true, true, true, true, true}), kDone);
  EXPECT_EQ(track.GetLastIndex(), 4u);
  EXPECT_EQ(track.KeepKeys({true, false, true, false, true}), kOk);
  ASSERT_EQ(track.Size(), 3u);
  EXPECT_EQ(track[0].Value, 0.0f);
  EXPECT_EQ(track[1].Value, 2.0f);
  EXPECT_EQ(track[2].Value, 4.0f);
  EXPECT_EQ(track.GetLastIndex(), 0u);

  CTimeTrack<> times;
  times.MutableTimes() = {0, 10, 20, 30};
  times.SetLastIndex(3);
  EXPECT_EQ(times.KeepKeys({true, false, false, true}), kOk);
  EXPECT_EQ(times.Times(), (std::vector<i32>{0, 30}));
  EXPECT_EQ(times.GetLastIndex(), 0u);

  // Parallel arrays of several entries per key move in runs.
  std::vector<i32> runs = {1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(CompactKeptRuns(runs, {true, false}, 2));
  EXPECT_TRUE(CompactKeptRuns(runs, {false, true, true}, 2));
  EXPECT_EQ(runs, (std::vector<i32>{3, 4, 5, 6}));
}

TEST(KeyTrack, RecordIsCountThenKeysAndItsSizeIsTheSum) {
  ValueTrack track = MakeTrack({{0, 1.0f}, {500, 2.0f, TT_STEP, 70.0f}});
  CMemoryIo device;
  CStream out;
  out.SetDevice(&device);
  ASSERT_EQ(track.Write(out), kOk);
  const std::vector<u8> bytes = device.TakeData();
  ASSERT_EQ(bytes.size(), track.GetSaveSize());
  EXPECT_EQ(track.GetSaveSize(), 4u + 2u * (28u + 8u + 4u + 12u));
  ByteWriter expected;
  expected.U32(2);
  expected.Pair(1, 0).I32(0).Pair(1, 0).U32(TT_LINEAR).F32(50.0f).Pair(1, 0).F32(1.0f).F32(1.0f).F32(2.0f).F32(-1.0f);
  expected.Pair(1, 0).I32(500).Pair(1, 0).U32(TT_STEP).F32(70.0f).Pair(1, 0).F32(2.0f).F32(2.0f).F32(4.0f).F32(-2.0f);
  EXPECT_EQ(bytes, expected.Data());

  CMemoryIo in(bytes);
  CStream stream;
  stream.SetDevice(&in);
  ValueTrack loaded;
  ASSERT_EQ(loaded.Read(stream), kOk);
  ASSERT_EQ(loaded.Size(), 2u);
  EXPECT_EQ(loaded[1].TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_EQ(loaded[1].Value, 2.0f);

  // A cut inside the second key keeps the first and answers the stream's code.
  const std::vector<u8> cut(bytes.begin(), bytes.end() - 3);
  CMemoryIo shortDevice(cut);
  CStream shortStream;
  shortStream.SetDevice(&shortDevice);
  ValueTrack partial;
  EXPECT_EQ(partial.Read(shortStream), kErrStream);
  EXPECT_EQ(partial.Size(), 1u);

  // A count the bytes cannot hold is refused before allocating.
  CMemoryIo hugeDevice(ByteWriter().U32(0x10000000u).U32(1).Data());
  CStream huge;
  huge.SetDevice(&hugeDevice);
  EXPECT_EQ(partial.Read(huge), kErrStream);
}

// Counts the array elements and fields a description reports.
class CountingVisitor : public CMemberVisitor {
 public:
  void RecordArray(const char16_t*, u32 count, const std::function<void(u32, CMemberVisitor&)>& each) override {
    arrays++;
    for (u32 i = 0; i < count; ++i) each(i, *this);
  }
  void Float(const char16_t* name, const f32*) override { names.push_back(std::u16string(name)); }
  u32 arrays = 0;
  std::vector<std::u16string> names;
};

TEST(KeyTrack, DescribesOneArrayElementPerKey) {
  ValueTrack track = MakeTrack({{0, 1.0f}, {500, 2.0f}});
  CountingVisitor visitor;
  track.DescribeMembers(visitor, u"Keys");
  EXPECT_EQ(visitor.arrays, 1u);
  EXPECT_EQ(visitor.names, (std::vector<std::u16string>{u"Value", u"Value"}));
}

TEST(KeyTrack, CacheCopyPolicies) {
  const std::vector<CValueKey> keys = {{0, 0.0f}, {1000, 1.0f}, {2000, 2.0f}};
  CKeyTrack<CValueKey, TrackCacheCopy::kCopy> copying;
  CKeyTrack<CValueKey, TrackCacheCopy::kReset> resetting;
  CKeyTrack<CValueKey, TrackCacheCopy::kKeepTarget> keeping;
  copying.Assign(keys);
  resetting.Assign(keys);
  keeping.Assign(keys);
  copying.SetLastIndex(2);
  resetting.SetLastIndex(2);
  keeping.SetLastIndex(2);

  const auto copiedCopy = copying;
  const auto copiedReset = resetting;
  const auto copiedKeep = keeping;
  EXPECT_EQ(copiedCopy.GetLastIndex(), 2u);
  EXPECT_EQ(copiedReset.GetLastIndex(), 0u);
  EXPECT_EQ(copiedKeep.GetLastIndex(), 2u);

  CKeyTrack<CValueKey, TrackCacheCopy::kCopy> a;
  CKeyTrack<CValueKey, TrackCacheCopy::kReset> b;
  CKeyTrack<CValueKey, TrackCacheCopy::kKeepTarget> c;
  a.SetLastIndex(1);
  b.SetLastIndex(1);
  c.SetLastIndex(1);
  a = copying;
  b = resetting;
  c = keeping;
  EXPECT_EQ(a.GetLastIndex(), 2u);
  EXPECT_EQ(b.GetLastIndex(), 0u);
  EXPECT_EQ(c.GetLastIndex(), 1u);
  EXPECT_EQ(c.Size(), 3u);
}

TEST(TimeTrack, SearchesEndTimesAndRecord) {
  CTimeTrack<> track;
  track.MutableTimes() = {0, 1000, 3000};
  KeyBracket b;
  EXPECT_EQ(track.Bracket(2000, b), kKeySearchForward);
  EXPECT_EQ(b.prev, 1u);
  EXPECT_EQ(b.next, 2u);
  EXPECT_FLOAT_EQ(b.weight, 0.5f);
  EXPECT_EQ(track.GetLastIndex(), 1u);  // the time-vector form keeps the earlier key
  u32 index = 0;
  EXPECT_EQ(track.FindStep(3500, index), kKeySearchAfter);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(track.GetEndTime(EndTimeRule::kLastKey), 3000);
  u32 at = 0;
  bool found = false;
  track.Locate(1000, at, found);
  EXPECT_TRUE(found);
  EXPECT_EQ(at, 1u);

  CMemoryIo device;
  CStream out;
  out.SetDevice(&device);
  ASSERT_EQ(track.Write(out), kOk);
  EXPECT_EQ(device.TakeData(), ByteWriter().U32(3).I32(0).I32(1000).I32(3000).Data());
  EXPECT_EQ(track.GetSaveSize(), 16u);

  // Before the caller's version gate the times are f32, truncated toward zero.
  CMemoryIo in(ByteWriter().U32(2).F32(1999.9f).F32(-0.5f).Data());
  CStream stream;
  stream.SetDevice(&in);
  CTimeTrack<> loaded;
  ASSERT_EQ(loaded.Read(stream, 100, 1, 1), kOk);
  EXPECT_EQ(loaded.Times(), (std::vector<i32>{1999, 0}));
}

}  // namespace
}  // namespace KT
