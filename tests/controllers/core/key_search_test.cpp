#include "controllers/core/key_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/memory_io.h"

namespace KT {
namespace {

using Bytes = std::vector<u8>;
using test::ByteWriter;

const std::vector<i32> kTimes = {0, 100, 200};

std::vector<CTimeKey> TimeKeys(const std::vector<i32>& times) {
  std::vector<CTimeKey> keys;
  for (const i32 t : times) keys.emplace_back(t);
  return keys;
}

// --- interval search --------------------------------------------------------------

struct IntervalCase {
  u32 cacheIn;
  i32 t;
  i32 code;
  u32 prev, next;
  f32 fraction;
  u32 cacheOut;
};

void CheckInterval(const IntervalCase& c, i32 code, u32 prev, u32 next, f32 fraction, u32 cache) {
  SCOPED_TRACE(::testing::Message() << "cache " << c.cacheIn << " t " << c.t);
  EXPECT_EQ(code, c.code);
  EXPECT_EQ(prev, c.prev);
  EXPECT_EQ(next, c.next);
  EXPECT_FLOAT_EQ(fraction, c.fraction);
  EXPECT_EQ(cache, c.cacheOut);
}

// Keys at 0, 100, 200. The two forms differ only after forward walks.
const IntervalCase kKeyVectorCases[] = {
    {0, -1, 1, 0, 0, 0.0f, 0},      {2, -50, 1, 0, 0, 0.0f, 0},
    {0, 201, 5, 2, 2, 0.0f, 2},     {0, 150, 4, 1, 2, 0.5f, 2},
    {2, 50, 2, 0, 1, 0.5f, 0},      {0, 200, 3, 2, 2, 0.0f, 2},
    {1, 100, 3, 1, 1, 0.0f, 1},     {0, 100, 4, 1, 2, 0.0f, 2},
    {2, 100, 2, 1, 2, 0.0f, 1},     {3, 50, 4, 0, 1, 0.5f, 1},
    {0xFFFFFFFFu, 0, 3, 0, 0, 0.0f, 0}, {1, 25, 2, 0, 1, 0.25f, 0},
    {0, 0, 3, 0, 0, 0.0f, 0},       {2, 200, 3, 2, 2, 0.0f, 2},
    {0, 199, 4, 1, 2, 0.99f, 2},
};

const IntervalCase kTimeVectorCases[] = {
    {0, -1, 1, 0, 0, 0.0f, 0},      {2, -50, 1, 0, 0, 0.0f, 0},
    {0, 201, 5, 2, 2, 0.0f, 2},     {0, 150, 4, 1, 2, 0.5f, 1},
    {2, 50, 2, 0, 1, 0.5f, 0},      {0, 200, 4, 2, 2, 0.0f, 2},
    {1, 100, 3, 1, 1, 0.0f, 1},     {0, 100, 4, 1, 2, 0.0f, 1},
    {2, 100, 2, 1, 2, 0.0f, 1},     {3, 50, 4, 0, 1, 0.5f, 0},
    {0xFFFFFFFFu, 0, 3, 0, 0, 0.0f, 0}, {1, 25, 2, 0, 1, 0.25f, 0},
    {0, 0, 3, 0, 0, 0.0f, 0},       {2, 200, 3, 2, 2, 0.0f, 2},
    {0, 199, 4, 1, 2, 0.99f, 1},
};

TEST(FindKeyIntervalTest, KeyVectorCodesAndCacheMoves) {
  const std::vector<CTimeKey> keys = TimeKeys(kTimes);
  for (const IntervalCase& c : kKeyVectorCases) {
    u32 cache = c.cacheIn, prev = 99, next = 99;
    f32 fraction = -1.0f;
    const i32 code = FindKeyInterval(c.t, keys, cache, fraction, prev, next);
    CheckInterval(c, code, prev, next, fraction, cache);
  }
}

TEST(FindKeyIntervalTest, TimeVectorCodesAndCacheMoves) {
  for (const IntervalCase& c : kTimeVectorCases) {
    u32 cache = c.cacheIn, prev = 99, next = 99;
    f32 fraction = -1.0f;
    const i32 code = FindKeyInterval(c.t, kTimes, cache, fraction, prev, next);
    CheckInterval(c, code, prev, next, fraction, cache);
  }
}

TEST(FindKeyIntervalTest, ForwardThenBackwardFromTheMovedCache) {
  const std::vector<CTimeKey> keys = TimeKeys(kTimes);
  u32 cache = 0, prev = 0, next = 0;
  f32 fraction = 0.0f;
  EXPECT_EQ(FindKeyInterval(150, keys, cache, fraction, prev, next), kKeySearchForward);
  EXPECT_EQ(cache, 2u);
  EXPECT_EQ(FindKeyInterval(50, keys, cache, fraction, prev, next), kKeySearchBackward);
  EXPECT_EQ(prev, 0u);
  EXPECT_EQ(next, 1u);
  EXPECT_FLOAT_EQ(fraction, 0.5f);
  EXPECT_EQ(cache, 0u);
}

TEST(FindKeyIntervalTest, EmptyTrackLeavesOutputsUntouched) {
  const std::vector<CTimeKey> keys;
  const std::vector<i32> times;
  u32 cache = 7, prev = 8, next = 9;
  f32 fraction = 0.75f;
  EXPECT_EQ(FindKeyInterval(10, keys, cache, fraction, prev, next), kKeySearchNone);
  EXPECT_EQ(FindKeyInterval(10, times, cache, fraction, prev, next), kKeySearchNone);
  EXPECT_EQ(cache, 7u);
  EXPECT_EQ(prev, 8u);
  EXPECT_EQ(next, 9u);
  EXPECT_EQ(fraction, 0.75f);
}

TEST(FindKeyIntervalTest, SingleKey) {
  const std::vector<CTimeKey> keys = TimeKeys({10});
  const struct {
    i32 t, code;
  } rows[] = {{9, 1}, {10, 3}, {11, 5}, {std::numeric_limits<i32>::min(), 1}, {std::numeric_limits<i32>::max(), 5}};
  for (const auto& row : rows) {
    u32 cache = 0, prev = 9, next = 9;
    f32 fraction = -1.0f;
    EXPECT_EQ(FindKeyInterval(row.t, keys, cache, fraction, prev, next), row.code) << row.t;
    EXPECT_EQ(FindKeyInterval(row.t, std::vector<i32>{10}, cache, fraction, prev, next), row.code) << row.t;
    EXPECT_EQ(prev, 0u);
    EXPECT_EQ(next, 0u);
    EXPECT_EQ(fraction, 0.0f);
  }
}

TEST(FindKeyIntervalTest, ExtremeTimesDoNotOverflow) {
  const std::vector<i32> times = {std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()};
  u32 cache = 0, prev = 0, next = 0;
  f32 fraction = 0.0f;
  EXPECT_EQ(FindKeyInterval(0, times, cache, fraction, prev, next), kKeySearchForward);
  EXPECT_NEAR(fraction, 0.5f, 1e-6f);
}

// The search as a key-by-key walk from the cache; the library's search
// gallops, and must land exactly where this walk does.
struct Walked {
  i32 code;
  u32 prev, next, cache;
  f32 fraction;
};

Walked WalkInterval(i32 t, const std::vector<i32>& T, u32 cache, bool timeForm) {
  const u32 n = static_cast<u32>(T.size());
  auto fraction = [&](u32 p, u32 q) {
    return p == q ? 0.0f : static_cast<f32>(t - T[p]) / static_cast<f32>(T[q] - T[p]);
  };
  if (t < T[0]) return {1, 0, 0, 0, 0.0f};
  if (t > T[n - 1]) return {5, n - 1, n - 1, n - 1, 0.0f};
  if (cache >= n) cache = 0;
  if (t > T[cache]) {
    u32 i = cache;
    while (i + 1 < n && t >= T[i + 1]) ++i;
    const u32 prev = i;
    const u32 next = i + 1 < n ? i + 1 : i;
    if (timeForm) return {4, prev, next, prev, fraction(prev, next)};
    return {prev == next ? 3 : 4, prev, next, next, fraction(prev, next)};
  }
  if (t == T[cache]) return {3, cache, cache, cache, 0.0f};
  u32 i = cache - 1;
  while (t < T[i]) --i;
  return {2, i, i + 1, i, fraction(i, i + 1)};
}

TEST(FindKeyIntervalTest, GallopingLandsWhereTheWalkDoes) {
  std::mt19937 random(1234);
  std::vector<i32> times;
  i32 t = -5000;
  for (int i = 0; i < 3000; ++i) {
    t += 1 + static_cast<i32>(random() % 40);
    times.push_back(t);
  }
  const std::vector<CTimeKey> keys = TimeKeys(times);
  std::uniform_int_distribution<i32> anyTime(times.front() - 100, times.back() + 100);
  std::uniform_int_distribution<i32> smallStep(-60, 60);
  for (const bool timeForm : {false, true}) {
    u32 cache = 0;
    i32 now = times.front();
    for (int query = 0; query < 20000; ++query) {
      // Mostly playback in small steps, with jumps now and then.
      now = (query % 7 == 0) ? anyTime(random) : now + smallStep(random);
      const Walked expected = WalkInterval(now, times, cache, timeForm);
      u32 prev = 0, next = 0;
      f32 fraction = 0.0f;
      const i32 code = timeForm ? FindKeyInterval(now, times, cache, fraction, prev, next)
                                : FindKeyInterval(now, keys, cache, fraction, prev, next);
      ASSERT_EQ(code, expected.code) << "query " << query << " t " << now;
      ASSERT_EQ(prev, expected.prev);
      ASSERT_EQ(next, expected.next);
      ASSERT_EQ(cache, expected.cache);
      ASSERT_EQ(fraction, expected.fraction);
    }
  }
}

TEST(FindKeyIntervalTest, DisorderedTrackStaysInBounds) {
  // A file can hold keys out of order or with equal times; the answers are
  // then meaningless but must stay inside the track and finite.
  std::mt19937 random(99);
  std::vector<i32> times(257);
  for (i32& t : times) t = static_cast<i32>(random() % 50) - 25;
  std::uniform_int_distribution<i32> anyTime(-40, 40);
  for (int query = 0; query < 5000; ++query) {
    u32 cache = random() % 300, prev = 0, next = 0;
    f32 fraction = 0.0f;
    const i32 code = FindKeyInterval(anyTime(random), times, cache, fraction, prev, next);
    ASSERT_GE(code, 1);
    ASSERT_LT(prev, times.size());
    ASSERT_LT(next, times.size());
    ASSERT_LT(cache, times.size());
    ASSERT_TRUE(std::isfinite(fraction));
  }
}

TEST(FindEasedKeyIntervalTest, EasesWithTheLaterKeysTransition) {
  const std::vector<CTransitionKey> keys = {CTransitionKey(0, TT_EASE_OUT, 100.0f),
                                            CTransitionKey(1000, TT_EASE_IN, 50.0f)};
  u32 cache = 0, prev = 9, next = 9;
  f32 eased = -1.0f;
  EXPECT_EQ(FindEasedKeyInterval(500, keys, cache, eased, prev, next), kKeySearchForward);
  EXPECT_EQ(prev, 0u);
  EXPECT_EQ(next, 1u);
  EXPECT_FLOAT_EQ(eased, 0.25f);
  // After the last key the weight is that of a fraction of 0.
  EXPECT_EQ(FindEasedKeyInterval(2000, keys, cache, eased, prev, next), kKeySearchAfter);
  EXPECT_EQ(eased, 0.0f);
  eased = -1.0f;
  EXPECT_EQ(FindEasedKeyInterval(0, std::vector<CTransitionKey>(), cache, eased, prev, next), kKeySearchNone);
  EXPECT_EQ(eased, -1.0f);
}

// --- floor search --------------------------------------------------------------------

struct FloorCase {
  i32 hint;
  i32 t;
  i32 code;
  i32 index;
};

// Keys at 0, 100, 200.
const FloorCase kFloorCases[] = {
    {2, -1, 1, 2},  {0, 300, 5, 2}, {5, 50, 4, 0},  {1, 100, 3, 1}, {2, 150, 2, 1},
    {2, 100, 2, 1}, {0, 200, 3, 2}, {0, 150, 4, 1}, {0, 0, 3, 0},   {1, 199, 4, 1},
};

const FloorCase kClampedFloorCases[] = {
    {2, -1, 1, -1}, {0, 300, 5, 2}, {5, 50, 2, 0},  {-3, 150, 4, 1}, {7, 200, 3, 2},
    {2, 100, 2, 1}, {0, 0, 3, 0},   {1, 100, 3, 1}, {-1, 0, 3, 0},
};

template <typename Track>
void CheckFloor(const Track& track) {
  for (const FloorCase& c : kFloorCases) {
    u32 index = 12345;
    EXPECT_EQ(FindKeyFloor(c.t, track, static_cast<u32>(c.hint), index), c.code) << c.hint << " " << c.t;
    EXPECT_EQ(index, static_cast<u32>(c.index)) << c.hint << " " << c.t;
  }
  for (const FloorCase& c : kClampedFloorCases) {
    i32 index = 12345;
    EXPECT_EQ(FindKeyFloorClamped(c.t, track, c.hint, index), c.code) << c.hint << " " << c.t;
    EXPECT_EQ(index, c.index) << c.hint << " " << c.t;
  }
}

TEST(FindKeyFloorTest, OverTimeVectors) { CheckFloor(kTimes); }
TEST(FindKeyFloorTest, OverKeyVectors) { CheckFloor(TimeKeys(kTimes)); }

TEST(FindKeyFloorTest, EmptyTrack) {
  u32 index = 4;
  EXPECT_EQ(FindKeyFloor(0, std::vector<i32>(), 4u, index), kKeySearchNone);
  EXPECT_EQ(index, 4u);
  i32 clamped = 4;
  EXPECT_EQ(FindKeyFloorClamped(0, std::vector<i32>(), 4, clamped), kKeySearchNone);
  EXPECT_EQ(clamped, -1);
}

// --- insertion search ----------------------------------------------------------------

TEST(FindTimeIndexTest, InsertionPositions) {
  const struct {
    i32 t;
    u32 index;
    bool found;
    bool inside;
  } rows[] = {{150, 2, false, true}, {300, 3, false, false}, {0, 0, true, true},  {200, 2, true, true},
              {100, 1, true, true},  {-5, 0, false, true},   {50, 1, false, true}};
  const std::vector<CTimeKey> keys = TimeKeys(kTimes);
  for (const auto& row : rows) {
    u32 index = 99;
    bool found = !row.found;
    FindTimeIndex(kTimes, row.t, index, found);
    EXPECT_EQ(index, row.index) << row.t;
    EXPECT_EQ(found, row.found) << row.t;
    index = 99;
    found = !row.found;
    EXPECT_EQ(FindKeyIndex(keys, row.t, index, found), row.inside) << row.t;
    EXPECT_EQ(index, row.index) << row.t;
    EXPECT_EQ(found, row.found) << row.t;
  }
}

TEST(FindTimeIndexTest, EmptyTrackAppendsAtZero) {
  u32 index = 9;
  bool found = true;
  FindTimeIndex(std::vector<i32>(), 5, index, found);
  EXPECT_EQ(index, 0u);
  EXPECT_FALSE(found);
  index = 9;
  found = true;
  EXPECT_FALSE(FindKeyIndex(std::vector<CTransitionKey>(), 5, index, found));
  EXPECT_EQ(index, 0u);
  EXPECT_FALSE(found);
}

// --- key-vector storage ------------------------------------------------------------------

const std::vector<CTransitionKey> kSampleKeys = {CTransitionKey(0, TT_LINEAR), CTransitionKey(100, TT_STEP, 10.0f),
                                                 CTransitionKey(250, TT_EASE_IN_OUT, 99.0f)};

Bytes WriteKeys(const std::vector<CTransitionKey>& keys) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(WriteKeyList(stream, keys), kOk);
  return device.GetData();
}

Result ReadKeys(const Bytes& bytes, std::vector<CTransitionKey>& keys) {
  CMemoryIo device(bytes);
  CStream stream;
  stream.SetDevice(&device);
  return ReadKeyList(stream, keys);
}

bool SameKeys(const std::vector<CTransitionKey>& a, const std::vector<CTransitionKey>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].Time != b[i].Time || a[i].TransitionType != b[i].TransitionType ||
        a[i].TransitionStrength != b[i].TransitionStrength) {
      return false;
    }
  }
  return true;
}

TEST(KeyListTest, RoundTripAndSize) {
  const Bytes bytes = WriteKeys(kSampleKeys);
  EXPECT_EQ(bytes.size(), GetKeyVectorSaveSize(kSampleKeys));
  EXPECT_EQ(GetKeyVectorSaveSize(kSampleKeys), 4u + 3u * 28u);
  ByteWriter expected;
  expected.U32(3);
  for (const CTransitionKey& key : kSampleKeys) {
    expected.Pair(1, 0).I32(key.Time).Pair(1, 0).U32(key.TransitionType).F32(key.TransitionStrength);
  }
  EXPECT_EQ(bytes, expected.Data());
  std::vector<CTransitionKey> loaded;
  ASSERT_EQ(ReadKeys(bytes, loaded), kOk);
  EXPECT_TRUE(SameKeys(loaded, kSampleKeys));
  EXPECT_EQ(WriteKeys(loaded), bytes);
}

TEST(KeyListTest, EmptyListIsACountOfZero) {
  EXPECT_EQ(GetKeyVectorSaveSize(std::vector<CTransitionKey>()), 4u);
  EXPECT_EQ(GetKeyVectorSaveSize(std::vector<CTimeKey>()), 4u);
  EXPECT_EQ(WriteKeys({}), ByteWriter().U32(0).Data());
  // Reading replaces what the vector held.
  std::vector<CTransitionKey> keys = kSampleKeys;
  ASSERT_EQ(ReadKeys(ByteWriter().U32(0).Data(), keys), kOk);
  EXPECT_TRUE(keys.empty());
}

TEST(KeyListTest, EveryPrefixFailsAndKeepsOnlyWholeKeys) {
  const Bytes bytes = WriteKeys(kSampleKeys);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<CTransitionKey> keys;
    EXPECT_EQ(ReadKeys(Bytes(bytes.begin(), bytes.begin() + cut), keys), kErrStream) << "prefix " << cut;
    // A count of 3 needs at least 3 x 12 bytes behind it to be believed.
    const std::size_t whole = cut < 4 + 3 * 12 ? 0 : (cut - 4) / 28;
    ASSERT_EQ(keys.size(), whole) << "prefix " << cut;
    EXPECT_TRUE(SameKeys(keys, std::vector<CTransitionKey>(kSampleKeys.begin(), kSampleKeys.begin() + whole)));
  }
}

TEST(KeyListTest, CountBeyondTheDataIsRefusedBeforeAllocating) {
  std::vector<CTransitionKey> keys = kSampleKeys;
  // 0xFFFFFFFF keys of at least 12 bytes each cannot follow in 28 bytes.
  const Bytes hostile = ByteWriter().U32(0xFFFFFFFFu).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50.0f).Data();
  EXPECT_EQ(ReadKeys(hostile, keys), kErrStream);
  EXPECT_TRUE(SameKeys(keys, kSampleKeys));
}

TEST(KeyListTest, NewerKeyEndsTheReadWithItsCode) {
  const Bytes bytes = ByteWriter()
                          .U32(2)
                          .Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50.0f)
                          .Pair(1, 0).I32(100).Pair(1, 1).U32(0).F32(50.0f)
                          .Data();
  std::vector<CTransitionKey> keys;
  EXPECT_EQ(ReadKeys(bytes, keys), kErrNewerVersion);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].Time, 0);
}

TEST(KeyListTest, WriteStopsAtTheFirstFailure) {
  const u32 size = GetKeyVectorSaveSize(kSampleKeys);
  for (u32 limit = 0; limit < size; ++limit) {
    CMemoryIo device;
    device.SetWriteLimit(limit);
    CStream stream;
    stream.SetDevice(&device);
    EXPECT_EQ(WriteKeyList(stream, kSampleKeys), kErrStream) << limit;
  }
}

}  // namespace
}  // namespace KT
