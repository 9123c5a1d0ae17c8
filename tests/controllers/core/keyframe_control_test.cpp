// The keyframe transform controller: evaluation of the RTS and sticky
// tracks, the key operations, copies, and the record in its current form
// and in every older layout of parallel arrays.
#include "controllers/core/keyframe_control.h"

#include <gtest/gtest.h>

#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "controllers/core/transform_test_support.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestDorun;
using test::CTestSpatial;
using test::ExpectNear;
using test::ExpectSameRotation;
using CRtsKey = CKeyframeControl::CRtsKey;
using CStickyKey = CKeyframeControl::CStickyKey;

const f32 kHalfPi = std::numbers::pi_v<f32> / 2.0f;

class KeyframeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    test::UseTestIds(0);
  }
};

CRtsTransform Translated(f32 x, f32 y, f32 z) {
  CRtsTransform t;
  t.Translate = {x, y, z};
  return t;
}

CRtsTransform Rotated(f32 angleAboutZ) {
  CRtsTransform t;
  t.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, angleAboutZ);
  return t;
}

CPointer<CKeyframeControl> ControlWith(const std::vector<CRtsKey>& keys) {
  CPointer<CKeyframeControl> control(new CKeyframeControl());
  EXPECT_EQ(control->SetRtsKeys(keys), kOk);
  return control;
}

std::vector<i32> TimesOf(const CKeyframeControl& control) {
  std::vector<i32> times;
  for (const CRtsKey& key : control.GetRtsKeys()) times.push_back(key.Time);
  return times;
}

// --- evaluation ---------------------------------------------------------------------

// Keys at 0 (translation 0) and 1000 (translation 10), sampled before, at
// and after each key and inside, with the later key's easing.
TEST_F(KeyframeControlTest, EvaluateRtsEasesByTheLaterKey) {
  struct Case {
    u32 type;
    i32 time;
    f32 x;
  };
  const Case cases[] = {
      {TT_LINEAR, -100, 0.0f}, {TT_LINEAR, 0, 0.0f},    {TT_LINEAR, 1, 0.01f},  {TT_LINEAR, 250, 2.5f},
      {TT_LINEAR, 999, 9.99f}, {TT_LINEAR, 1000, 10.0f}, {TT_LINEAR, 1001, 10.0f}, {TT_EASE_IN, 500, 2.5f},
      {TT_EASE_OUT, 500, 7.5f}, {TT_STEP, 999, 0.0f},     {TT_STEP, 1000, 10.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " at " << c.time);
    auto control = ControlWith({CRtsKey(0, Translated(0, 0, 0)), CRtsKey(1000, Translated(10, 0, 0), c.type)});
    CRtsTransform out;
    ASSERT_EQ(control->EvaluateRts(c.time, out), kOk);
    EXPECT_NEAR(out.Translate.x, c.x, 1e-5f);
    EXPECT_EQ(out.Rotate, kQuaternionIdentity);
  }
}

TEST_F(KeyframeControlTest, EachPartInterpolatesInItsOwnWay) {
  CRtsTransform a;
  CRtsTransform b = Rotated(kHalfPi);
  b.Stretch = CQuaternion::FromAxisAngle({1, 0, 0}, kHalfPi);
  b.Scale = {3, 5, 9};
  b.Translate = {2, 4, 6};
  auto control = ControlWith({CRtsKey(0, a), CRtsKey(100, b)});
  CRtsTransform out;
  ASSERT_EQ(control->EvaluateRts(50, out), kOk);
  EXPECT_EQ(out.Sign, 1.0f);
  ExpectNear(out.Scale, {2, 3, 5});
  ExpectNear(out.Translate, {1, 2, 3});
  ExpectSameRotation(out.Rotate, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi / 2));
  ExpectSameRotation(out.Stretch, CQuaternion::FromAxisAngle({1, 0, 0}, kHalfPi / 2));
}

// A plain and a mirrored key: the interpolated sign passes through 0, and
// the scale follows its magnitude.
TEST_F(KeyframeControlTest, SignCollapsesTheScaleHalfWay) {
  CRtsTransform mirrored;
  mirrored.Sign = -1.0f;
  auto control = ControlWith({CRtsKey(0, CRtsTransform()), CRtsKey(100, mirrored)});
  struct Case {
    i32 time;
    f32 sign;
    f32 scale;
  };
  for (const Case& c : {Case{25, 1.0f, 0.5f}, Case{50, 1.0f, 0.0f}, Case{75, -1.0f, 0.5f}}) {
    CRtsTransform out;
    ASSERT_EQ(control->EvaluateRts(c.time, out), kOk);
    EXPECT_EQ(out.Sign, c.sign) << c.time;
    ExpectNear(out.Scale, {c.scale, c.scale, c.scale});
  }
}

TEST_F(KeyframeControlTest, OutsideTheTrackTheEndKeysStandUnchanged) {
  CRtsTransform first = Rotated(0.3f);
  first.Scale = {0.1f, 0.2f, 0.3f};
  CRtsTransform last = Translated(1, 2, 3);
  last.Sign = -1.0f;
  last.Stretch = {0.5f, 0.5f, 0.5f, 0.5f};
  auto control = ControlWith({CRtsKey(100, first, TT_EASE_IN_OUT), CRtsKey(200, last, TT_EASE_OUT)});
  CRtsTransform out;
  for (i32 t : {-1000, 99, 100}) {
    control->EvaluateRts(t, out);
    EXPECT_EQ(out, first) << t;
  }
  for (i32 t : {200, 201, 1 << 30}) {
    control->EvaluateRts(t, out);
    EXPECT_EQ(out, last) << t;
  }
  // Without keys: the identity.
  CKeyframeControl empty;
  out = last;
  EXPECT_EQ(empty.EvaluateRts(50, out), kOk);
  EXPECT_EQ(out, kIdentityTransform);
  EXPECT_EQ(empty.GetEndTime(), 0);
  EXPECT_EQ(control->GetEndTime(), 200);
}

// Sticky keys (0, on), (500, on), (800, off), evaluated through the update
// in sequence; before the first key the range keeps its bounds.
TEST_F(KeyframeControlTest, StickyRangeRunsToTheNextChange) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CKeyframeControl> control(new CKeyframeControl());
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(0, true), CStickyKey(500, true), CStickyKey(800, false)}), kOk);
  struct Case {
    i32 time;
    bool enable;
    i32 start;
    i32 end;
  };
  const Case cases[] = {
      {-10, false, kMaxKeyTime, kMinKeyTime},  // the empty default range stays
      {0, true, 0, 800},
      {100, true, 0, 800},
      {500, true, 500, 800},
      {799, true, 500, 800},
      {800, false, 800, kMaxKeyTime},
      {900, false, 800, kMaxKeyTime},
      {-5, false, 800, kMaxKeyTime},  // bounds kept from the last range
      {100, true, 0, 800},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    ASSERT_EQ(control->UpdateTransform(c.time), kOk);
    EXPECT_EQ(control->IsStickyEnabled(), c.enable);
    EXPECT_EQ(control->GetStickyStart(), c.start);
    EXPECT_EQ(control->GetStickyEnd(), c.end);
  }
  ASSERT_EQ(control->ApplyTransform(), kOk);
  EXPECT_TRUE(spatial->IsStickyEnabled());
  EXPECT_EQ(spatial->GetStickyStart(), 0);
  EXPECT_EQ(spatial->GetStickyEnd(), 800);
}

TEST_F(KeyframeControlTest, UpdateTransformMapsTimeAndComposesWithTheParent) {
  CPointer<CTestSpatial> parent(new CTestSpatial());
  const CRtsTransform parentTransform = Translated(100, 0, 0);
  parent->SetWorld(CMatrix3(), CMatrix3(), ComposeAffine(parentTransform));
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  spatial->SetParent(parent.Get());
  spatial->SetInherited(0);
  CPointer<CKeyframeControl> control =
      ControlWith({CRtsKey(0, Translated(0, 0, 0)), CRtsKey(1000, Translated(10, 0, 0))});
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);

  struct Case {
    u32 repeat;
    f32 frequency;
    i32 time;
    f32 x;  // local translation
  };
  const Case cases[] = {
      {CControl::RT_CLAMP, 1.0f, 250, 2.5f}, {CControl::RT_CLAMP, 2.0f, 250, 5.0f},
      {CControl::RT_CLAMP, 2.0f, 700, 10.0f}, {CControl::RT_WRAP, 1.0f, 2250, 2.5f},
      {CControl::RT_CYCLE, 1.0f, 1250, 7.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.repeat << " " << c.frequency << " " << c.time);
    control->SetRepeat(c.repeat);
    control->SetFrequency(c.frequency);
    ASSERT_EQ(control->UpdateTransform(c.time), kOk);
    EXPECT_NEAR(control->GetLocal().Translate.x, c.x, 1e-4f);
    EXPECT_NEAR(control->GetWorldMatrix().m[3][0], c.x + 100.0f, 1e-4f);
  }
  ASSERT_EQ(control->ApplyTransform(), kOk);
  EXPECT_EQ(spatial->GetLocal(), control->GetLocal());
  EXPECT_EQ(spatial->GetWorldMatrix(), control->GetWorldMatrix());

  // Inactive: nothing evaluated.
  control->SetActive(false);
  const CRtsTransform before = control->GetLocal();
  EXPECT_EQ(control->UpdateTransform(0), kDone);
  EXPECT_EQ(control->GetLocal(), before);
}

TEST_F(KeyframeControlTest, WithoutKeysTheSlaveModeGivesTheTransform) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  spatial->SetBasis(Translated(1, 2, 3));
  CPointer<CKeyframeControl> control(new CKeyframeControl());
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->UpdateTransform(500), kOk);
  EXPECT_EQ(control->GetLocal(), Translated(1, 2, 3));
  control->SetSlaveMode(CRTSControl::SM_IDENTITY_LOCAL);
  ASSERT_EQ(control->UpdateTransform(500), kOk);
  EXPECT_EQ(control->GetLocal(), kIdentityTransform);
}

TEST_F(KeyframeControlTest, UpdateRefusesAMissingOrWrongObject) {
  auto unbound = ControlWith({CRtsKey(0, Translated(5, 0, 0))});
  EXPECT_EQ(unbound->UpdateTransform(0), kErrInvalidArg);
  EXPECT_EQ(unbound->GetLocal(), kIdentityTransform);

  CPointer<CTestDorun> object(new CTestDorun());
  auto control = ControlWith({CRtsKey(0, Translated(5, 0, 0))});
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(0, true)}), kOk);
  ASSERT_EQ(object->AddControl(control.Get()), kOk);
  EXPECT_EQ(control->UpdateTransform(0), kErrNotFound);
  EXPECT_EQ(control->GetLocal(), kIdentityTransform);
  EXPECT_FALSE(control->IsStickyEnabled());
  EXPECT_EQ(control->ApplyTransform(), kErrNotFound);
}

// --- key operations --------------------------------------------------------------------

TEST_F(KeyframeControlTest, AddRtsKeySnapsToFramesAndOverwrites) {
  CKeyframeControl control;
  ASSERT_EQ(control.AddRtsKey(1010, 30.0f, Translated(1, 0, 0)), kOk);
  EXPECT_TRUE(control.IsModified());
  EXPECT_EQ(TimesOf(control), std::vector<i32>{1000});
  // 990 ms is the same frame: the key is overwritten.
  ASSERT_EQ(control.AddRtsKey(990, 30.0f, Translated(2, 0, 0), TT_EASE_IN, 80.0f), kOk);
  ASSERT_EQ(control.GetRtsKeys().size(), 1u);
  EXPECT_EQ(control.GetRtsKeys()[0].Value, Translated(2, 0, 0));
  EXPECT_EQ(control.GetRtsKeys()[0].TransitionType, TT_EASE_IN);
  EXPECT_EQ(control.GetRtsKeys()[0].TransitionStrength, 80.0f);
  // Inserted in time order; the time is not scaled by Frequency.
  control.SetFrequency(2.0f);
  ASSERT_EQ(control.AddRtsKey(2000, 1000.0f, Translated(3, 0, 0)), kOk);
  ASSERT_EQ(control.AddRtsKey(0, 1000.0f, Translated(4, 0, 0)), kOk);
  ASSERT_EQ(control.AddRtsKey(1500, 1000.0f, Translated(5, 0, 0)), kOk);
  EXPECT_EQ(TimesOf(control), (std::vector<i32>{0, 1000, 1500, 2000}));
  EXPECT_EQ(control.GetRtsKeys()[2].Value, Translated(5, 0, 0));
}

TEST_F(KeyframeControlTest, IndexedOperationsRefuseIndicesPastTheEnd) {
  auto control = ControlWith({CRtsKey(0, Translated(1, 0, 0)), CRtsKey(100, Translated(2, 0, 0))});
  control->SetModified(false);
  EXPECT_EQ(control->SetRtsKeyValue(2, Translated(9, 9, 9)), kErrOutOfRange);
  EXPECT_EQ(control->RemoveRtsKey(2), kErrOutOfRange);
  EXPECT_FALSE(control->IsModified());
  EXPECT_EQ(control->GetRtsKeys().size(), 2u);

  EXPECT_EQ(control->SetRtsKeyValue(1, Translated(9, 9, 9)), kOk);
  EXPECT_EQ(control->GetRtsKeys()[1].Value, Translated(9, 9, 9));
  EXPECT_TRUE(control->IsModified());
  EXPECT_EQ(control->RemoveRtsKey(0), kOk);
  EXPECT_EQ(TimesOf(*control), std::vector<i32>{100});
  control->SetModified(false);
  EXPECT_EQ(control->ClearRtsKeys(), kOk);
  EXPECT_TRUE(control->GetRtsKeys().empty());
  EXPECT_TRUE(control->IsModified());
}

TEST_F(KeyframeControlTest, BulkRemovalMarksModifiedOnlyWhenKeysGo) {
  auto control = ControlWith({CRtsKey(0, Translated(1, 0, 0)), CRtsKey(100, Translated(2, 0, 0)),
                              CRtsKey(200, Translated(3, 0, 0))});
  control->SetModified(false);
  EXPECT_EQ(control->RemoveRtsKeys({true, true}), kErrInvalidArg);
  EXPECT_EQ(control->RemoveRtsKeys({true, true, true}), kDone);
  EXPECT_FALSE(control->IsModified());
  EXPECT_EQ(control->RemoveRtsKeys({true, false, true}), kOk);
  EXPECT_EQ(TimesOf(*control), (std::vector<i32>{0, 200}));
  EXPECT_EQ(control->GetLastIndex(), 0u);
  EXPECT_TRUE(control->IsModified());
}

TEST_F(KeyframeControlTest, BakeFrequencyDividesKeyTimes) {
  auto control = ControlWith({CRtsKey(1000, CRtsTransform()), CRtsKey(2001, CRtsTransform()),
                              CRtsKey(-3001, CRtsTransform())});
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(2001, true)}), kOk);
  control->SetFrequency(2.0f);
  control->SetModified(false);
  ASSERT_EQ(control->BakeFrequency(), kOk);
  EXPECT_EQ(TimesOf(*control), (std::vector<i32>{500, 1000, -1500}));
  EXPECT_EQ(control->GetFrequency(), 1.0f);
  EXPECT_FALSE(control->IsModified());
  EXPECT_EQ(control->GetStickyKeys()[0].Time, 2001);

  CKeyframeControl empty;
  empty.SetFrequency(0.5f);
  EXPECT_EQ(empty.BakeFrequency(), kOk);
  EXPECT_EQ(empty.GetFrequency(), 1.0f);

  // A frequency that cannot be folded into times stays in force.
  for (f32 frequency : {0.0f, -2.0f, std::numeric_limits<f32>::quiet_NaN(), std::numeric_limits<f32>::infinity()}) {
    auto kept = ControlWith({CRtsKey(1000, CRtsTransform())});
    kept->SetFrequency(frequency);
    EXPECT_EQ(kept->BakeFrequency(), kErrInvalidArg) << frequency;
    EXPECT_EQ(TimesOf(*kept), std::vector<i32>{1000});
  }
}

TEST_F(KeyframeControlTest, OffsetAndTransformKeys) {
  auto control = ControlWith({CRtsKey(0, Translated(1, 0, 0)), CRtsKey(100, Rotated(kHalfPi))});
  control->SetModified(false);
  ASSERT_EQ(control->OffsetTranslation({0, 5, 0}), kOk);
  EXPECT_TRUE(control->IsModified());
  EXPECT_EQ(control->GetRtsKeys()[0].Value.Translate, CVector3<float>(1, 5, 0));
  EXPECT_EQ(control->GetRtsKeys()[1].Value.Translate, CVector3<float>(0, 5, 0));

  // Each key's matrix is post-multiplied: the key applies first.
  CRtsTransform transform = Rotated(kHalfPi);
  transform.Translate = {10, 0, 0};
  const std::vector<CRtsKey> before = control->GetRtsKeys();
  ASSERT_EQ(control->TransformKeys(transform), kOk);
  for (std::size_t i = 0; i < before.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectNear(ComposeAffine(control->GetRtsKeys()[i].Value),
               ComposeAffine(before[i].Value) * ComposeAffine(transform));
  }
  ExpectNear(control->GetRtsKeys()[0].Value.Translate, {5, 1, 0});

  CKeyframeControl empty;
  EXPECT_EQ(empty.OffsetTranslation({1, 1, 1}), kDone);
  EXPECT_EQ(empty.TransformKeys(transform), kDone);
  EXPECT_FALSE(empty.IsModified());
}

// --- copies -------------------------------------------------------------------------------

TEST_F(KeyframeControlTest, CopiesCarryBothTracks) {
  auto source = ControlWith({CRtsKey(0, Translated(1, 0, 0)), CRtsKey(100, Translated(2, 0, 0), TT_STEP)});
  ASSERT_EQ(source->SetStickyKeys({CStickyKey(10, true)}), kOk);
  source->SetFrequency(4.0f);
  CRtsTransform out;
  source->EvaluateRts(50, out);
  ASSERT_NE(source->GetLastIndex(), 0u);

  CPointer<CBase> instance;
  ASSERT_EQ(source->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CKeyframeControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(test::Members(copy), test::Members(source.Get()));

  CPointer<CKeyframeControl> target(new CKeyframeControl());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(test::Members(target.Get()), test::Members(source.Get()));
  EXPECT_EQ(target->GetFrequency(), 4.0f);

  CPointer<test::CTestControl> other(new test::CTestControl());
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(other->GetFrequency(), 1.0f);
}

// --- records --------------------------------------------------------------------------------

TEST_F(KeyframeControlTest, KeyRecordsHaveTheirLayouts) {
  CRtsTransform value;
  value.Sign = -1.0f;
  value.Scale = {2, 3, 4};
  value.Stretch = {0.1f, 0.2f, 0.3f, 0.4f};
  value.Rotate = {0.5f, 0.6f, 0.7f, 0.8f};
  value.Translate = {9, 10, 11};
  auto control = ControlWith({CRtsKey(250, value, TT_EASE_OUT, 70.0f)});
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(40, true)}), kOk);

  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(control->Save(stream, 0), kOk);
  const Bytes saved = device.GetData();
  ASSERT_EQ(saved.size(), control->GetSaveSize());
  EXPECT_EQ(control->GetSaveSize(), control->CRTSControl::GetSaveSize() + 8 + (4 + 96) + (4 + 21));

  ByteWriter tail;
  tail.Pair(3, 0).U32(1);
  tail.Pair(1, 0).I32(250).Pair(1, 0).U32(TT_EASE_OUT).F32(70.0f).Pair(1, 0);
  for (f32 f : {-1.0f, 2.0f, 3.0f, 4.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 9.0f, 10.0f, 11.0f}) {
    tail.F32(f);
  }
  tail.U32(1).Pair(1, 0).I32(40).Pair(1, 0).U8(1);
  ASSERT_GE(saved.size(), tail.Size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(tail.Size()), saved.end()), tail.Data());
  EXPECT_EQ(CRtsKey().GetSaveSize(), 96u);
  EXPECT_EQ(CStickyKey().GetSaveSize(), 21u);
  EXPECT_EQ(control->GetMemorySize(), control->CRTSControl::GetMemorySize() + 76 + 12 + 56);
}

TEST_F(KeyframeControlTest, DescribeMembersNamesTheFields) {
  auto control = ControlWith({CRtsKey(0, CRtsTransform())});
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(0, true)}), kOk);
  const std::string text = test::Members(control.Get());
  for (const char* name : {"CKeyframeControl Member", "LastIndex", "Rts Keys", "Sign", "Scale", "Stretch", "Rotate",
                           "Translate", "LastStickyIndex", "Sticky Keys", "Enable", "Time"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_LT(text.find("CKeyframeControl Member"), text.find("CRTSControl Member"));
}

// A spatial animated by a keyframe controller, saved, loaded and saved again.
TEST_F(KeyframeControlTest, RoundTripsThroughAFile) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CRtsTransform mirrored = Rotated(0.7f);
  mirrored.Sign = -1.0f;
  mirrored.Scale = {1, 2, 3};
  auto control = ControlWith({CRtsKey(0, Translated(1, 2, 3)), CRtsKey(400, mirrored, TT_EASE_IN_OUT, 12.0f),
                              CRtsKey(900, Rotated(-1.0f), 77)});
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(0, false), CStickyKey(300, true)}), kOk);
  control->SetFrequency(1.25f);
  control->SetSlaveMode(CRTSControl::SM_IDENTITY_LOCAL);
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);

  const Bytes first = test::SaveRoots({spatial.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CTestSpatial>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  auto* loadedControl = DynamicCast<CKeyframeControl>(loaded->GetFirstControl());
  ASSERT_NE(loadedControl, nullptr);
  EXPECT_EQ(loadedControl->GetObject(), loaded);
  EXPECT_EQ(loadedControl->GetRtsKeys().size(), 3u);
  EXPECT_EQ(loadedControl->GetRtsKeys()[2].TransitionType, 77u);
  EXPECT_EQ(test::Members(loadedControl), test::Members(control.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// --- byte images of whole records ---------------------------------------------------------------

// The CControl part of the oldest layout (2.00): three words where Priority
// and Weight are now, the first of them read as a time offset by keyframe
// parts of 2.00, and 32-bit ids.
ByteWriter& OldControlPart(ByteWriter& w, f32 firstWord, f32 frequency) {
  return w.Pair(2, 0).U32(0).F32(firstWord).F32(0.0f).U32(0).F32(frequency).U8(1).U32(0).U32(0);
}

// A keyframe controller record (id 0x20, a root) whose keyframe part is `part`.
Bytes KeyframeFile(const ByteWriter& part, f32 frequency = 1.0f, bool oldControl = false, f32 firstWord = 0.0f) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (oldControl) {
    OldControlPart(body, firstWord, frequency);
  } else {
    test::ControlFields fields;
    fields.frequency = frequency;
    test::ControlPart(body, fields);
  }
  test::RtsControlPart(body);
  body.Bytes(part.Data());
  return test::SceneImage().Record("CKeyframeControl", body, true).Data();
}

// The parallel arrays of a keyframe part before 3.00, written in the layout
// of version 2.minor.
struct LegacyArrays {
  u32 minor = 7;
  std::vector<CQuaternion> rotations;
  std::vector<CVector3<float>> translations;
  std::vector<CVector3<float>> scales;
  std::vector<f32> times;
  std::vector<f32> rotationTimes;
  std::vector<f32> translationTimes;
  std::vector<f32> scaleTimes;
  std::vector<u32> types;
  std::vector<CQuaternion> stretches;
  std::vector<f32> signs;
};

template <typename T>
void Array(ByteWriter& w, const std::vector<T>& values) {
  w.U32(static_cast<u32>(values.size()));
  for (const T& v : values) w.Raw(&v, sizeof(T));
}

ByteWriter LegacyPart(const LegacyArrays& a) {
  ByteWriter w;
  w.Pair(2, a.minor);
  if (a.minor == 0) {
    for (int i = 0; i < 64; ++i) w.U8(0xAB);
    w.U8(1);
  }
  w.U32(static_cast<u32>(a.rotations.size()));
  for (const CQuaternion& q : a.rotations) {
    if (a.minor < 5) {
      w.F32(q.w).F32(q.x).F32(q.y).F32(q.z);
    } else {
      w.F32(q.x).F32(q.y).F32(q.z).F32(q.w);
    }
  }
  Array(w, a.translations);
  Array(w, a.scales);
  Array(w, a.times);
  Array(w, a.rotationTimes);
  Array(w, a.translationTimes);
  Array(w, a.scaleTimes);
  if (a.minor == 0) w.U32(0xCDCDCDCD);
  if (a.minor == 2) {
    Array(w, std::vector<u32>{7, 8});
    Array(w, std::vector<u32>{9});
  }
  if (a.minor >= 3) {
    Array(w, std::vector<u32>{5, 5, 5});
    Array(w, a.types);
  }
  if (a.minor >= 6) Array(w, a.stretches);
  if (a.minor >= 7) Array(w, a.signs);
  return w;
}

// Two keys at 0 and 100: identity, then turned 90 degrees about z, moved
// by (1, 2, 3), scaled by 2 and (from 2.07) mirrored.
LegacyArrays TwoKeys(u32 minor) {
  LegacyArrays a;
  a.minor = minor;
  a.rotations = {kQuaternionIdentity, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi)};
  a.translations = {{0, 0, 0}, {1, 2, 3}};
  a.scales = {{1, 1, 1}, {2, 2, 2}};
  a.times = {0.0f, 100.9f};
  a.types = {TT_LINEAR, TT_EASE_IN};
  a.stretches = {kQuaternionIdentity, kQuaternionIdentity};
  a.signs = {1.0f, -1.0f};
  return a;
}

// The transform of key 1 of TwoKeys as it was stored.
CRtsTransform SecondKeyValue(bool mirrored) {
  CRtsTransform t = Rotated(kHalfPi);
  t.Translate = {1, 2, 3};
  t.Scale = {2, 2, 2};
  if (mirrored) t.Sign = -1.0f;
  return t;
}

CKeyframeControl* LoadedControl(CStream& stream) {
  return stream.GetRootObjectCount() > 0 ? DynamicCast<CKeyframeControl>(stream.GetRootObject(0)) : nullptr;
}

TEST_F(KeyframeControlTest, EveryLegacyVersionBuildsItsKeys) {
  struct Case {
    u32 minor;
    bool oldControl;       // CControl level at version 2.00 (with the time offset word)
    f32 firstWord;         // that word
    f32 frequency;         // stored; baked into the times before 2.04
    std::vector<i32> times;
    u32 secondType;
    bool mirrored;
  };
  const Case cases[] = {
      {0, true, 0.0f, 1.0f, {0, 100}, TT_LINEAR, false},
      {0, true, 30.0f, 1.0f, {-30, 70}, TT_LINEAR, false},   // times made relative to the offset
      {0, true, 30.0f, 2.0f, {-15, 35}, TT_LINEAR, false},   // then baked
      {1, false, 0.0f, 2.0f, {0, 50}, TT_LINEAR, false},
      {2, false, 0.0f, 1.0f, {0, 100}, TT_LINEAR, false},    // two dropped arrays
      {3, false, 0.0f, 2.0f, {0, 50}, TT_EASE_IN, false},    // transition types
      {4, false, 0.0f, 2.0f, {0, 100}, TT_EASE_IN, false},   // no longer baked
      {5, false, 0.0f, 1.0f, {0, 100}, TT_EASE_IN, false},   // rotations x, y, z, w
      {6, false, 0.0f, 1.0f, {0, 100}, TT_EASE_IN, false},   // stretches
      {7, false, 0.0f, 1.0f, {0, 100}, TT_EASE_IN, true},    // signs
      {9, false, 0.0f, 1.0f, {0, 100}, TT_EASE_IN, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "2.0" << c.minor << " offset " << c.firstWord << " frequency " << c.frequency);
    CStream stream;
    CMemoryIo device;
    const Bytes bytes = KeyframeFile(LegacyPart(TwoKeys(c.minor)), c.frequency, c.oldControl, c.firstWord);
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    CKeyframeControl* control = LoadedControl(stream);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(TimesOf(*control), c.times);
    EXPECT_EQ(control->GetFrequency(), c.minor < 4 ? 1.0f : c.frequency);
    EXPECT_EQ(control->GetWeight(), 1.0f);
    EXPECT_TRUE(control->GetStickyKeys().empty());
    ASSERT_EQ(control->GetRtsKeys().size(), 2u);
    const CRtsKey& second = control->GetRtsKeys()[1];
    EXPECT_EQ(second.TransitionType, c.secondType);
    EXPECT_EQ(second.TransitionStrength, 50.0f);
    EXPECT_EQ(second.Value.Sign, c.mirrored ? -1.0f : 1.0f);
    // Normalised: the decomposition of the stored transform's matrix.
    ExpectNear(ComposeAffine(second.Value), ComposeAffine(SecondKeyValue(c.mirrored)), 1e-5f);
    EXPECT_EQ(control->GetRtsKeys()[0].Value, kIdentityTransform);
  }
}

// Without combined times the three tracks are merged at every time any of
// them has, each sampled on its own; an empty track gives its identity.
TEST_F(KeyframeControlTest, SeparateTracksAreMerged) {
  LegacyArrays a;
  a.minor = 4;
  a.rotations = {kQuaternionIdentity, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi)};
  a.rotationTimes = {0.0f, 100.0f};
  a.translations = {{4, 0, 0}};
  a.translationTimes = {50.0f};
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(KeyframeFile(LegacyPart(a)), stream, device), kOk);
  CKeyframeControl* control = LoadedControl(stream);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(TimesOf(*control), (std::vector<i32>{0, 50, 100}));
  const f32 angles[] = {0.0f, kHalfPi / 2, kHalfPi};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const CRtsKey& key = control->GetRtsKeys()[i];
    ExpectSameRotation(key.Value.Rotate, CQuaternion::FromAxisAngle({0, 0, 1}, angles[i]));
    ExpectNear(key.Value.Translate, {4, 0, 0});
    ExpectNear(key.Value.Scale, {1, 1, 1});
    EXPECT_EQ(key.TransitionType, TT_LINEAR);
  }

  // No times at all: no keys.
  LegacyArrays none;
  none.minor = 7;
  CStream empty;
  ASSERT_EQ(test::LoadScene(KeyframeFile(LegacyPart(none)), empty, device), kOk);
  ASSERT_NE(LoadedControl(empty), nullptr);
  EXPECT_TRUE(LoadedControl(empty)->GetRtsKeys().empty());
}

TEST_F(KeyframeControlTest, MalformedAndHostileRecordsAreRefused) {
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  LegacyArrays shortRotations = TwoKeys(7);
  shortRotations.rotations.pop_back();
  LegacyArrays shortTypes = TwoKeys(7);
  shortTypes.types.pop_back();
  LegacyArrays shortSigns = TwoKeys(7);
  shortSigns.signs.pop_back();
  LegacyArrays shortTrack;
  shortTrack.minor = 5;
  shortTrack.translationTimes = {0.0f, 10.0f};
  shortTrack.translations = {{1, 1, 1}};
  ByteWriter hugeRotations;
  hugeRotations.Pair(2, 7).U32(0x10000000);
  ByteWriter hugeKeys;
  hugeKeys.Pair(3, 0).U32(0xFFFFFFFF);
  ByteWriter hugeSticky;
  hugeSticky.Pair(3, 0).U32(0).U32(0x20000000);
  ByteWriter newerPart;
  newerPart.Pair(3, 1).U32(0).U32(0);
  ByteWriter newerRtsKey;
  newerRtsKey.Pair(3, 0).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50.0f).Pair(1, 1);
  for (int i = 0; i < 15; ++i) newerRtsKey.F32(0.0f);
  newerRtsKey.U32(0);
  ByteWriter newerStickyKey;
  newerStickyKey.Pair(3, 0).U32(0).U32(1).Pair(1, 0).I32(0).Pair(1, 1).U8(1);
  const Case cases[] = {
      {"value array shorter than the times", KeyframeFile(LegacyPart(shortRotations)), kErrNotFound},
      {"transition types shorter than the times", KeyframeFile(LegacyPart(shortTypes)), kErrNotFound},
      {"signs shorter than the times", KeyframeFile(LegacyPart(shortSigns)), kErrNotFound},
      {"track values shorter than its times", KeyframeFile(LegacyPart(shortTrack)), kErrNotFound},
      {"legacy count beyond the data", KeyframeFile(hugeRotations), kErrStream},
      {"key count beyond the data", KeyframeFile(hugeKeys), kErrStream},
      {"sticky count beyond the data", KeyframeFile(hugeSticky), kErrStream},
      {"newer controller part", KeyframeFile(newerPart), kErrNewerVersion},
      {"newer RTS key", KeyframeFile(newerRtsKey), kErrNewerVersion},
      {"newer sticky key", KeyframeFile(newerStickyKey), kErrNewerVersion},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

TEST_F(KeyframeControlTest, EveryPrefixOfEachVersionFailsCleanly) {
  std::vector<Bytes> files;
  for (u32 minor = 0; minor <= 7; ++minor) {
    files.push_back(KeyframeFile(LegacyPart(TwoKeys(minor)), 2.0f, minor == 0, 10.0f));
  }
  auto control = ControlWith({CRtsKey(0, Translated(1, 0, 0)), CRtsKey(10, Rotated(1.0f))});
  ASSERT_EQ(control->SetStickyKeys({CStickyKey(0, true), CStickyKey(5, false)}), kOk);
  files.push_back(test::SaveRoots({control.Get()}));
  for (const Bytes& bytes : files) {
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

}  // namespace
}  // namespace KT
