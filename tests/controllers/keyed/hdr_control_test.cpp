// The HDR controller: stepped switches and glare type, eased floats, the
// owner's Modified flag, objects that hold no HDR settings, copies and
// every record form.
#include "controllers/keyed/hdr_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"

namespace KT {
namespace {

using test::ByteWriter;
using HdrKey = CHDRControl::CHdrKey;

class HdrControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CHDRControl", &CreateObject<CHDRControl>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

// An object that holds HDR settings, as the scene settings will.
class CSettingsHolder : public test::CTestDorun, public IHdrSettingsOwner {
 public:
  const CHdrSettings& GetHdrSettings() const override { return settings; }
  void SetHdrSettings(const CHdrSettings& value) override {
    settings = value;
    SetModified();
  }
  bool IsHdrOwnerModified() const override { return IsModified(); }
  void SetHdrOwnerModified(bool modified) override { SetModified(modified); }
  CHdrSettings settings;
};

HdrKey Key(i32 time, u32 glare, f32 exposure, u32 transition = TT_LINEAR) {
  HdrKey key;
  key.Time = time;
  key.GlareType = glare;
  key.Exposure = exposure;
  key.TransitionType = transition;
  return key;
}

struct Bound {
  CPointer<CSettingsHolder> holder{new CSettingsHolder()};
  CPointer<CHDRControl> control{new CHDRControl()};
  explicit Bound(const std::vector<HdrKey>& keys) {
    EXPECT_EQ(holder->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->EditKeys().Assign(keys), kOk);
    holder->SetModified(false);
  }
};

TEST_F(HdrControlTest, SettingsRecordStartsAsANewScene) {
  const CHdrSettings s;
  EXPECT_FALSE(s.HDREnable);
  EXPECT_EQ(s.HDRBrightThreshold, 0.5f);
  EXPECT_EQ(s.HDRBloomScale, 1.0f);
  EXPECT_TRUE(s.HDRToneEnable);
  EXPECT_EQ(s.HDRGaussianScalar, 1.0f);
  EXPECT_EQ(s.HDRExposure, 1.0f);
  EXPECT_EQ(s.HDRAdaptSpeed, 1.0f);
  EXPECT_EQ(s.HDRGlareType, static_cast<u32>(GT_Disable));
  EXPECT_EQ(s.HDRGlareScale, 1.0f);
  EXPECT_EQ(std::u16string(kGlareTypeNames[GT_SunnyCross]), u"GT_SunnyCross");
  EXPECT_EQ(std::u16string(kGlareTypeNames[GT_CineCam_HorizontalSlits]), u"GT_CineCam_HorizontalSlits");
}

TEST_F(HdrControlTest, SwitchesAndGlareStepFloatsEase) {
  HdrKey first = Key(0, GT_Camera, 1.0f);
  first.HDREnable = true;
  first.BloomScale = 2.0f;
  HdrKey second = Key(1000, GT_SunnyCross, 3.0f);
  second.ToneEnable = true;
  second.BloomScale = 4.0f;
  HdrKey stepped = Key(2000, GT_SnowCross, 9.0f, TT_STEP);
  Bound bound({first, second, stepped});
  struct Row {
    i32 time;
    u32 glare;
    f32 exposure;
    f32 bloom;
    bool hdr;
    bool tone;
  };
  const Row rows[] = {
      {-10, GT_Camera, 1.0f, 2.0f, true, false},      {500, GT_Camera, 2.0f, 3.0f, true, false},
      {999, GT_Camera, 2.998f, 3.998f, true, false},  {1000, GT_SunnyCross, 3.0f, 4.0f, false, true},
      {1999, GT_SunnyCross, 3.0f, 4.0f, false, true},  // a step key holds every float
      {2000, GT_SnowCross, 9.0f, 0.0f, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    ASSERT_EQ(bound.control->Update(row.time), kOk);
    const CHdrSettings& s = bound.holder->settings;
    EXPECT_EQ(s.HDRGlareType, row.glare);
    EXPECT_FLOAT_EQ(s.HDRExposure, row.exposure);
    EXPECT_FLOAT_EQ(s.HDRBloomScale, row.bloom);
    EXPECT_EQ(s.HDREnable, row.hdr);
    EXPECT_EQ(s.HDRToneEnable, row.tone);
    EXPECT_FALSE(bound.holder->IsModified());
  }
  EXPECT_EQ(bound.control->GetEndTime(), 2000);
  EXPECT_EQ(bound.control->Apply(), kDone);
}

TEST_F(HdrControlTest, WithoutKeysAndRefusals) {
  Bound none({});
  none.holder->settings.HDRExposure = 4.0f;
  none.holder->SetModified(true);
  ASSERT_EQ(none.control->Update(0), kOk);
  EXPECT_EQ(none.holder->settings.HDRExposure, 4.0f);
  EXPECT_TRUE(none.holder->IsModified());
  EXPECT_EQ(none.control->GetEndTime(), 0);

  Bound idle({Key(0, GT_Camera, 7.0f)});
  idle.control->SetActive(false);
  EXPECT_EQ(idle.control->Update(0), kDone);
  EXPECT_EQ(idle.holder->settings, CHdrSettings());

  CPointer<CHDRControl> loose(new CHDRControl());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  // An object that holds no HDR settings.
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CHDRControl> foreign(new CHDRControl());
  ASSERT_EQ(foreign->EditKeys().SetKey(Key(0, GT_Camera, 7.0f)), kOk);
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);
  EXPECT_EQ(other->value, 0);

  Bound bound({Key(0, GT_Camera, 1.0f), Key(1000, GT_SunnyCross, 3.0f)});
  bound.control->SetFrequency(2.0f);
  bound.control->SetRepeat(CControl::RT_WRAP);
  ASSERT_EQ(bound.control->Update(1500), kOk);
  EXPECT_FLOAT_EQ(bound.holder->settings.HDRExposure, 3.0f);
}

TEST_F(HdrControlTest, CopiesCarryKeysAndCache) {
  Bound bound({Key(0, GT_Camera, 1.0f), Key(1000, GT_SunnyCross, 3.0f)});
  ASSERT_EQ(bound.control->Update(1500), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CHDRControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetKeys().Size(), 2u);
  CPointer<CHDRControl> target(new CHDRControl());
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys()[1].GlareType, static_cast<u32>(GT_SunnyCross));
  EXPECT_EQ(target->GetKeys().GetLastIndex(), bound.control->GetKeys().GetLastIndex());
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(HdrControlTest, RecordLayoutRoundTripAndMembers) {
  HdrKey key = Key(250, GT_CineCam_VerticalSlits, 1.25f, TT_EASE_IN);
  key.HDREnable = true;
  key.BrightThreshold = 0.5f;
  key.BloomScale = 1.5f;
  key.ToneEnable = true;
  key.GaussianScalar = 2.5f;
  key.AdaptSpeed = 3.5f;
  key.GlareScale = 4.5f;
  EXPECT_EQ(key.GetSaveSize(), 66u);
  // The key's bytes from offset 36 on.
  CPointer<CHDRControl> control(new CHDRControl());
  ASSERT_EQ(control->EditKeys().SetKey(key), kOk);
  ASSERT_EQ(control->EditKeys().SetKey(Key(900, GT_Disable, 0.0f)), kOk);
  EXPECT_EQ(control->GetSaveSize(), control->CDataControl::GetSaveSize() + 12 + 2 * 66);
  ByteWriter expected;
  expected.Pair(1, 0).I32(250).Pair(1, 0).U32(TT_EASE_IN).F32(50).Pair(1, 0);
  expected.U8(1).F32(0.5f).F32(1.5f).U8(1).F32(2.5f).F32(1.25f).F32(3.5f).U32(GT_CineCam_VerticalSlits).F32(4.5f);
  const test::Bytes file = test::SaveRoots({control.Get()});
  const std::vector<u8>& want = expected.Data();
  EXPECT_NE(std::search(file.begin(), file.end(), want.begin(), want.end()), file.end());
  test::ExpectSceneRoundTrip(*control);
  const std::string text = test::Members(control.Get());
  for (const char* name : {"CHDRControl Member", "LastIndex", "CHdrKey", "HDREnable", "GlareType",
                           "GT_CineCam_VerticalSlits", "GlareScale"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

TEST_F(HdrControlTest, VersionOneHundredArraysBecomeKeys) {
  ByteWriter w = test::DataControlHead();
  w.Pair(1, 0);
  test::FloatArray(w, {10.6f, 999.9f});
  w.U32(2);
  w.U8(1).F32(0.1f).F32(0.2f).U8(0).F32(0.3f).F32(0.4f).F32(0.5f).U32(GT_CheapLens).F32(0.6f);
  w.U8(0).F32(1.1f).F32(1.2f).U8(1).F32(1.3f).F32(1.4f).F32(1.5f).U32(GT_SnowCross).F32(1.6f);
  test::U32Array(w, {TT_EASE_OUT, TT_STEP, TT_LINEAR});
  CStream stream;
  CMemoryIo device;
  auto* control = test::LoadRoot<CHDRControl>("CHDRControl", w, stream, device);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 2u);
  const HdrKey& a = control->GetKeys()[0];
  EXPECT_EQ(a.Time, 10);
  EXPECT_TRUE(a.HDREnable);
  EXPECT_FALSE(a.ToneEnable);
  EXPECT_EQ(a.GaussianScalar, 0.3f);
  EXPECT_EQ(a.GlareType, static_cast<u32>(GT_CheapLens));
  EXPECT_EQ(a.GlareScale, 0.6f);
  EXPECT_EQ(a.TransitionType, static_cast<u32>(TT_EASE_OUT));
  const HdrKey& b = control->GetKeys()[1];
  EXPECT_EQ(b.Time, 999);
  EXPECT_TRUE(b.ToneEnable);
  EXPECT_EQ(b.Exposure, 1.4f);
  EXPECT_EQ(b.TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_EQ(b.TransitionStrength, 50.0f);
}

TEST_F(HdrControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  auto oldForm = [](std::initializer_list<f32> times, std::initializer_list<u32> types) {
    ByteWriter w = test::DataControlHead();
    w.Pair(1, 0);
    test::FloatArray(w, times);
    w.U32(1).U8(1).F32(0).F32(0).U8(1).F32(0).F32(0).F32(0).U32(0).F32(0);
    test::U32Array(w, types);
    return w;
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 2).U32(0);
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(1, 1).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50).Pair(1, 1);
  newerKey.U8(1).F32(0).F32(0).U8(1).F32(0).F32(0).F32(0).U32(0).F32(0);
  const Row rows[] = {
      {"class version 1.02", newer, kErrNewerVersion},
      {"a key pair of 1.1", newerKey, kErrNewerVersion},
      {"1.00: more keys than times", oldForm({}, {0}), kErrNotFound},
      {"1.00: more keys than types", oldForm({0}, {}), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CHDRControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
