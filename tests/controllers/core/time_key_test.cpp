#include "controllers/core/time_key.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "scene/member_text_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/vector.h"

namespace KT {
namespace {

using Bytes = std::vector<u8>;
using test::ByteWriter;

constexpr f32 kNaN = std::numeric_limits<f32>::quiet_NaN();

// --- keys built on the level template, as controllers will write them -----------

// The smallest key: a time key part and an empty level of its own (20 bytes).
class CMarkKey : public CKeyLevel<CMarkKey, CTimeKey, ClassIndex::CSelKey> {
 public:
  template <typename W, typename K>
  static void Fields(W&, K&) {}
};

// A time key with a flag (21 bytes).
class CFlagKey : public CKeyLevel<CFlagKey, CTimeKey, ClassIndex::CStickyKey> {
 public:
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Bool(u"Enable", k.Enable);
  }
  bool Enable = false;
};

// A large transition key: five 3-vectors after the transition part
// (28 + 8 + 60 = 96 bytes).
class CFiveVectorKey : public CKeyLevel<CFiveVectorKey, CTransitionKey, ClassIndex::CRtsKey> {
 public:
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Block(u"A", k.A);
    w.Block(u"B", k.B);
    w.Block(u"C", k.C);
    w.Block(u"D", k.D);
    w.Block(u"E", k.E);
  }
  CVector3<float> A, B, C, D, E;
};

// A key whose class is at version 1.01 and added a field then: "CTrackVolumeKey".
class CVersionedKey : public CKeyLevel<CVersionedKey, CTransitionKey, ClassIndex::CTrackVolumeKey> {
 public:
  static constexpr u32 kVersionVolume = 101;
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Int(u"Track", k.Track);
    if (w.Version() >= kVersionVolume) w.Float(u"Volume", k.Volume);
  }
  i32 Track = 0;
  f32 Volume = 1.0f;
};

// --- helpers -----------------------------------------------------------------------

Bytes SaveKey(const CTimeKey& key) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(key.Save(stream), kOk);
  return device.GetData();
}

Result LoadKey(const Bytes& bytes, CTimeKey& key, CStream& stream, CMemoryIo& device) {
  device.SetData(bytes);
  stream.SetDevice(&device);
  return key.Load(stream);
}

Result LoadKey(const Bytes& bytes, CTimeKey& key) {
  CMemoryIo device;
  CStream stream;
  return LoadKey(bytes, key, stream, device);
}

std::string Dump(CTimeKey& key) {
  CMemberTextWriter writer;
  key.DescribeMembers(writer);
  return "Time " + std::to_string(key.Time) + "\n" + writer.GetText();
}

// Records the names and kinds a key reports.
class CNameRecorder : public CMemberVisitor {
 public:
  std::vector<std::u16string> calls;
  const char16_t* const* enumNames = nullptr;
  u32 enumCount = 0;
  void Time(const char16_t* n, const i32*) override { calls.push_back(std::u16string(u"time ") + n); }
  void Float(const char16_t* n, const f32*) override { calls.push_back(std::u16string(u"float ") + n); }
  void Bool(const char16_t* n, const bool*) override { calls.push_back(std::u16string(u"bool ") + n); }
  void Int(const char16_t* n, const i32*) override { calls.push_back(std::u16string(u"int ") + n); }
  void Vector3(const char16_t* n, const CVector3<float>*) override {
    calls.push_back(std::u16string(u"vector ") + n);
  }
  void Enum(const char16_t* n, const i32*, const char16_t* const* names, u32 count) override {
    calls.push_back(std::u16string(u"enum ") + n);
    enumNames = names;
    enumCount = count;
  }
};

// Every key class under test, with a filled-in sample and its record size.
struct KeyCase {
  const char* name;
  u32 size;
  CTimeKey* (*make)();
};

CTimeKey* MakeTimeKey() { return new CTimeKey(-1234); }
CTimeKey* MakeTransitionKey() { return new CTransitionKey(5000, TT_EASE_IN_OUT, 73.5f); }
CTimeKey* MakeMarkKey() {
  auto* key = new CMarkKey();
  key->Time = 77;
  return key;
}
CTimeKey* MakeFlagKey() {
  auto* key = new CFlagKey();
  key->Time = 800;
  key->Enable = true;
  return key;
}
CTimeKey* MakeFiveVectorKey() {
  auto* key = new CFiveVectorKey();
  key->Time = 33;
  key->TransitionType = TT_STEP;
  key->TransitionStrength = 12.0f;
  key->A = {1, 2, 3};
  key->E = {-4, 5.5f, 6};
  return key;
}
CTimeKey* MakeVersionedKey() {
  auto* key = new CVersionedKey();
  key->Time = 66;
  key->Track = 3;
  key->Volume = 0.25f;
  return key;
}

const KeyCase kKeyCases[] = {
    {"CTimeKey", 12, MakeTimeKey},   {"CTransitionKey", 28, MakeTransitionKey},
    {"CSelKey", 20, MakeMarkKey},    {"CStickyKey", 21, MakeFlagKey},
    {"CRtsKey", 96, MakeFiveVectorKey}, {"CTrackVolumeKey", 44, MakeVersionedKey},
};

class KeyRecordTest : public ::testing::TestWithParam<KeyCase> {
 protected:
  void SetUp() override { key_.reset(GetParam().make()); }
  // A fresh default key of the same class (CreateInstance-like, for tests).
  std::unique_ptr<CTimeKey> Blank() const {
    const std::string name = GetParam().name;
    if (name == "CTimeKey") return std::make_unique<CTimeKey>();
    if (name == "CTransitionKey") return std::make_unique<CTransitionKey>();
    if (name == "CSelKey") return std::make_unique<CMarkKey>();
    if (name == "CStickyKey") return std::make_unique<CFlagKey>();
    if (name == "CRtsKey") return std::make_unique<CFiveVectorKey>();
    return std::make_unique<CVersionedKey>();
  }
  std::unique_ptr<CTimeKey> key_;
};

TEST_P(KeyRecordTest, SaveSizeEqualsBytesWritten) {
  const Bytes bytes = SaveKey(*key_);
  EXPECT_EQ(bytes.size(), GetParam().size);
  EXPECT_EQ(key_->GetSaveSize(), GetParam().size);
}

TEST_P(KeyRecordTest, RoundTripKeepsEveryField) {
  const Bytes bytes = SaveKey(*key_);
  std::unique_ptr<CTimeKey> loaded = Blank();
  ASSERT_NE(Dump(*loaded), Dump(*key_));
  ASSERT_EQ(LoadKey(bytes, *loaded), kOk);
  EXPECT_EQ(Dump(*loaded), Dump(*key_));
  EXPECT_EQ(SaveKey(*loaded), bytes);
  EXPECT_STREQ(loaded->GetClassRecord().name, GetParam().name);
}

TEST_P(KeyRecordTest, EveryPrefixFailsWithStreamError) {
  const Bytes bytes = SaveKey(*key_);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    std::unique_ptr<CTimeKey> loaded = Blank();
    EXPECT_EQ(LoadKey(Bytes(bytes.begin(), bytes.begin() + cut), *loaded), kErrStream) << "prefix " << cut;
  }
}

TEST_P(KeyRecordTest, SaveStopsAtTheFirstFailingWrite) {
  const u32 size = GetParam().size;
  for (u32 limit = 0; limit < size; ++limit) {
    CMemoryIo device;
    device.SetWriteLimit(limit);
    CStream stream;
    stream.SetDevice(&device);
    EXPECT_EQ(key_->Save(stream), kErrStream) << "limit " << limit;
    EXPECT_LE(device.GetData().size(), limit);
  }
}

TEST_P(KeyRecordTest, LinkHasNothingToDo) {
  CStream stream;
  EXPECT_EQ(key_->Link(stream), kOk);
}

INSTANTIATE_TEST_SUITE_P(KeyClasses, KeyRecordTest, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the two base records, byte by byte ------------------------------------------------

TEST(TimeKeyTest, DefaultsAndVersions) {
  const CTimeKey timeKey;
  const CTransitionKey transitionKey;
  EXPECT_EQ(timeKey.Time, 0);
  EXPECT_EQ(transitionKey.Time, 0);
  EXPECT_EQ(transitionKey.TransitionType, TT_LINEAR);
  EXPECT_EQ(transitionKey.TransitionStrength, 50.0f);
  EXPECT_EQ(timeKey.GetVersion(), 100u);
  EXPECT_EQ(transitionKey.GetVersion(), 100u);
  EXPECT_STREQ(timeKey.GetClassRecord().name, "CTimeKey");
  EXPECT_STREQ(transitionKey.GetClassRecord().name, "CTransitionKey");
}

TEST(TimeKeyTest, CopyCopiesEveryField) {
  CFiveVectorKey source;
  source.Time = 10;
  source.TransitionType = TT_EASE_OUT;
  source.TransitionStrength = 90.0f;
  source.C = {7, 8, 9};
  const CFiveVectorKey copy(source);
  EXPECT_EQ(SaveKey(copy), SaveKey(source));
}

TEST(TimeKeyTest, RecordLayouts) {
  EXPECT_EQ(SaveKey(CTimeKey(-5)), ByteWriter().Pair(1, 0).I32(-5).Data());
  EXPECT_EQ(SaveKey(CTransitionKey(250, TT_EASE_OUT, 12.5f)),
            ByteWriter().Pair(1, 0).I32(250).Pair(1, 0).U32(TT_EASE_OUT).F32(12.5f).Data());
}

TEST(TimeKeyTest, LoadRecordsEachLevelsStoredVersion) {
  const Bytes bytes = ByteWriter().Pair(0, 99).I32(40).Pair(1, 0).U32(7).F32(-3.0f).Data();
  CMemoryIo device;
  CStream stream;
  CTransitionKey key;
  ASSERT_EQ(LoadKey(bytes, key, stream, device), kOk);
  EXPECT_EQ(stream.GetStoredVersion(CTimeKey::StaticClassRecord()), 99);
  EXPECT_EQ(stream.GetStoredVersion(CTransitionKey::StaticClassRecord()), 100);
  EXPECT_EQ(key.Time, 40);
  // A type outside the enumeration is kept as stored.
  EXPECT_EQ(key.TransitionType, 7u);
  EXPECT_EQ(key.TransitionStrength, -3.0f);
}

struct VersionCase {
  const char* name;
  u32 timeMajor, timeMinor, ownMajor, ownMinor;
  Result expected;
};

class KeyVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(KeyVersionTest, NewerPairsAreRefused) {
  const VersionCase& c = GetParam();
  const Bytes bytes =
      ByteWriter().Pair(c.timeMajor, c.timeMinor).I32(9).Pair(c.ownMajor, c.ownMinor).U32(1).F32(5.0f).Data();
  CTransitionKey key;
  EXPECT_EQ(LoadKey(bytes, key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Gates, KeyVersionTest,
    ::testing::Values(VersionCase{"Current", 1, 0, 1, 0, kOk}, VersionCase{"Older", 0, 50, 0, 1, kOk},
                      VersionCase{"TimeMinorNewer", 1, 1, 1, 0, kErrNewerVersion},
                      VersionCase{"TransitionMinorNewer", 1, 0, 1, 1, kErrNewerVersion},
                      VersionCase{"MajorNewer", 2, 0, 1, 0, kErrNewerVersion},
                      // 42949673 x 100 wraps a 32-bit product to 4: still newer.
                      VersionCase{"WrappingMajor", 1, 0, 42949673, 0, kErrNewerVersion}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimeKeyTest, LevelAddedFieldIsReadOnlyFromItsVersion) {
  // A 1.00 record of the 1.01 key: no Volume on disk.
  const Bytes old = ByteWriter().Pair(1, 0).I32(5).Pair(1, 0).U32(0).F32(50.0f).Pair(1, 0).I32(2).Data();
  CVersionedKey key;
  key.Volume = 0.5f;
  ASSERT_EQ(LoadKey(old, key), kOk);
  EXPECT_EQ(key.Track, 2);
  EXPECT_EQ(key.Volume, 0.5f);
  // Saved again, it is written at the current version with Volume.
  EXPECT_EQ(SaveKey(key), ByteWriter()
                              .Pair(1, 0).I32(5).Pair(1, 0).U32(0).F32(50.0f)
                              .Pair(1, 1).I32(2).F32(0.5f)
                              .Data());
}

TEST(TimeKeyTest, MembersAreReportedPerLevel) {
  CNameRecorder timeNames;
  CTimeKey timeKey;
  timeKey.DescribeMembers(timeNames);
  EXPECT_EQ(timeNames.calls, (std::vector<std::u16string>{u"time Time"}));

  CNameRecorder transitionNames;
  CTransitionKey transitionKey;
  transitionKey.DescribeMembers(transitionNames);
  EXPECT_EQ(transitionNames.calls,
            (std::vector<std::u16string>{u"enum TransitionType", u"float TransitionStrength"}));
  ASSERT_EQ(transitionNames.enumCount, 6u);
  const std::vector<std::u16string> names(transitionNames.enumNames, transitionNames.enumNames + 6);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"TT_LINEAR", u"TT_STEP", u"TT_EASE_OUT", u"TT_EASE_IN",
                                                u"TT_EASE_OUT_IN", u"TT_EASE_IN_OUT"}));

  CNameRecorder flagNames;
  CFlagKey flagKey;
  flagKey.DescribeMembers(flagNames);
  EXPECT_EQ(flagNames.calls, (std::vector<std::u16string>{u"bool Enable"}));
}

// --- easing -------------------------------------------------------------------------

TEST(EasingTest, ExponentFromStrength) {
  const struct {
    f32 strength, exponent;
  } rows[] = {{1.0f, 1.0f}, {25.5f, 1.5f}, {50.0f, 2.0f}, {75.0f, 6.0f}, {100.0f, 10.0f}};
  for (const auto& row : rows) EXPECT_FLOAT_EQ(TransitionExponent(row.strength), row.exponent) << row.strength;
}

struct EaseCase {
  u32 type;
  f32 strength;
  f32 t;
  f32 expected;
};

// Expected values from the curves t^p with p = 1, 2 and 10.
const EaseCase kEaseCases[] = {
    // Strength 50: quadratic.
    {TT_LINEAR, 50, 0.25f, 0.25f},
    {TT_EASE_IN, 50, 0.5f, 0.25f},
    {TT_EASE_IN, 50, 0.25f, 0.0625f},
    {TT_EASE_OUT, 50, 0.5f, 0.75f},
    {TT_EASE_OUT, 50, 0.25f, 0.4375f},
    {TT_EASE_IN_OUT, 50, 0.25f, 0.125f},
    {TT_EASE_IN_OUT, 50, 0.5f, 0.5f},
    {TT_EASE_IN_OUT, 50, 0.75f, 0.875f},
    {TT_EASE_OUT_IN, 50, 0.25f, 0.375f},
    {TT_EASE_OUT_IN, 50, 0.5f, 0.5f},
    {TT_EASE_OUT_IN, 50, 0.75f, 0.625f},
    {TT_EASE_IN, 50, 0.0f, 0.0f},
    {TT_EASE_IN, 50, 1.0f, 1.0f},
    {TT_EASE_OUT, 50, 0.0f, 0.0f},
    {TT_EASE_OUT, 50, 1.0f, 1.0f},
    // Strength 100: exponent 10.
    {TT_EASE_IN, 100, 0.5f, 0.0009765625f},
    {TT_EASE_OUT, 100, 0.5f, 0.9990234375f},
    {TT_EASE_IN_OUT, 100, 0.25f, 0.00048828125f},
    {TT_EASE_IN_OUT, 100, 0.5f, 0.5f},
    {TT_EASE_OUT_IN, 100, 0.75f, 0.50048828125f},
    // Strength 1: every ease type is linear.
    {TT_EASE_IN, 1, 0.3f, 0.3f},
    {TT_EASE_OUT, 1, 0.3f, 0.3f},
    {TT_EASE_IN_OUT, 1, 0.3f, 0.3f},
    {TT_EASE_IN_OUT, 1, 0.8f, 0.8f},
    {TT_EASE_OUT_IN, 1, 0.3f, 0.3f},
    {TT_EASE_OUT_IN, 1, 0.8f, 0.8f},
    // Step: jumps only at the later key's time, whatever the strength.
    {TT_STEP, 1, 0.999f, 0.0f},
    {TT_STEP, 50, 0.0f, 0.0f},
    {TT_STEP, 100, 1.0f, 1.0f},
    {TT_STEP, 50, kNaN, 0.0f},
    // Unknown types are linear.
    {6, 100, 0.3f, 0.3f},
    {0xFFFFFFFFu, 100, 0.7f, 0.7f},
};

TEST(EasingTest, CurvesAtStrengths1_50_100) {
  for (const EaseCase& c : kEaseCases) {
    EXPECT_NEAR(EaseTransition(c.t, c.type, c.strength), c.expected, 1e-6f)
        << "type " << c.type << " strength " << c.strength << " t " << c.t;
  }
}

TEST(EasingTest, KeyFormUsesTheKeysTypeAndStrength) {
  const CTransitionKey key(0, TT_EASE_IN, 100.0f);
  EXPECT_NEAR(EaseTransitionKey(0.5f, key), 0.0009765625f, 1e-9f);
}

TEST(EasingTest, InOutCurvesAreContinuousAtTheMiddle) {
  for (const f32 strength : {1.0f, 20.0f, 50.0f, 80.0f, 100.0f}) {
    for (const u32 type : {TT_EASE_IN_OUT, TT_EASE_OUT_IN}) {
      EXPECT_EQ(EaseTransition(0.5f, type, strength), 0.5f);
      const f32 below = EaseTransition(std::nextafter(0.5f, 0.0f), type, strength);
      EXPECT_NEAR(below, 0.5f, 1e-5f) << type << " " << strength;
      EXPECT_LE(below, 0.5f);
    }
  }
}

TEST(EasingTest, CurvesStayMonotonicAndInRange) {
  for (const f32 strength : {1.0f, 50.0f, 100.0f}) {
    for (u32 type = TT_LINEAR; type <= TT_EASE_IN_OUT; ++type) {
      f32 previous = 0.0f;
      for (int i = 0; i <= 100; ++i) {
        const f32 value = EaseTransition(static_cast<f32>(i) / 100.0f, type, strength);
        EXPECT_GE(value, previous) << type << " " << strength << " " << i;
        EXPECT_LE(value, 1.0f);
        previous = value;
      }
    }
  }
}

TEST(EasingTest, StrengthsWithoutAPositiveExponentAreLinear) {
  // Strength -48 gives exponent 0; below it, or NaN, the exponent would be
  // negative or undefined and t = 0 would go to infinity.
  for (const f32 strength : {-48.0f, -49.0f, -1.0e9f, -std::numeric_limits<f32>::infinity(), kNaN}) {
    EXPECT_EQ(TransitionExponent(strength), 1.0f) << strength;
    for (u32 type = TT_EASE_OUT; type <= TT_EASE_IN_OUT; ++type) {
      for (const f32 t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        const f32 value = EaseTransition(t, type, strength);
        EXPECT_TRUE(std::isfinite(value));
        EXPECT_NEAR(value, t, 1e-6f) << "type " << type << " strength " << strength << " t " << t;
      }
    }
  }
  // Just above -48 the exponent is small but positive: a steep, finite curve.
  EXPECT_GT(TransitionExponent(-47.0f), 0.0f);
  EXPECT_EQ(EaseIn(0.0f, -47.0f), 0.0f);
}

}  // namespace
}  // namespace KT
