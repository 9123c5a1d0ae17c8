// The image-light controller: the stepped Active flag and eased Strength,
// the light's other flags, refusals, copies and every record form.
#include "controllers/keyed/image_light_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"

namespace KT {
namespace {

using test::ByteWriter;
using IblKey = CImageLightControl::CIblKey;

class ImageLightControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CImageLightControl", &CreateObject<CImageLightControl>);
    CClassFactory::Register("CImageLight", &CreateObject<CImageLight>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

IblKey Key(i32 time, bool active, f32 strength, u32 transition = TT_LINEAR) {
  IblKey key;
  key.Time = time;
  key.Active = active;
  key.Strength = strength;
  key.TransitionType = transition;
  return key;
}

struct Bound {
  CPointer<CImageLight> light{new CImageLight()};
  CPointer<CImageLightControl> control{new CImageLightControl()};
  explicit Bound(const std::vector<IblKey>& keys) {
    EXPECT_EQ(light->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->EditKeys().Assign(keys), kOk);
    light->SetModified(false);
  }
};

TEST_F(ImageLightControlTest, ActiveStepsAndStrengthEases) {
  Bound bound({Key(0, true, 0.0f), Key(1000, false, 2.0f)});
  bound.light->SetHidden(true);
  bound.light->SetModified(false);
  struct Row {
    i32 time;
    bool active;
    f32 strength;
  };
  const Row rows[] = {{-50, true, 0.0f}, {500, true, 1.0f}, {999, true, 1.998f}, {1000, false, 2.0f},
                      {3000, false, 2.0f}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    ASSERT_EQ(bound.control->Update(row.time), kOk);
    EXPECT_EQ(bound.light->IsActive(), row.active);
    EXPECT_FLOAT_EQ(bound.light->Strength, row.strength);
    EXPECT_TRUE(bound.light->IsHidden());
    EXPECT_FALSE(bound.light->IsModified());
  }
  EXPECT_EQ(bound.control->GetEndTime(), 1000);
  EXPECT_EQ(bound.control->Apply(), kDone);
}

TEST_F(ImageLightControlTest, WithoutKeysRefusalsAndTheSceneTimeAsGiven) {
  Bound none({});
  none.light->SetActive(false);
  none.light->Strength = 3.0f;
  none.light->SetModified(true);
  ASSERT_EQ(none.control->Update(100), kOk);
  EXPECT_FALSE(none.light->IsActive());
  EXPECT_FLOAT_EQ(none.light->Strength, 3.0f);
  EXPECT_TRUE(none.light->IsModified());
  EXPECT_EQ(none.control->GetEndTime(), 0);

  Bound idle({Key(0, false, 5.0f)});
  idle.control->SetActive(false);
  EXPECT_EQ(idle.control->Update(0), kDone);
  EXPECT_TRUE(idle.light->IsActive());
  EXPECT_FLOAT_EQ(idle.light->Strength, 1.0f);

  CPointer<CImageLightControl> loose(new CImageLightControl());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CImageLightControl> foreign(new CImageLightControl());
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);

  Bound bound({Key(0, true, 0.0f), Key(1000, false, 2.0f)});
  bound.control->SetFrequency(2.0f);
  bound.control->SetRepeat(CControl::RT_WRAP);
  ASSERT_EQ(bound.control->Update(1500), kOk);
  EXPECT_FLOAT_EQ(bound.light->Strength, 2.0f);
  // The end time is the last key's as it is.
  Bound negative({Key(-700, true, 1.0f)});
  EXPECT_EQ(negative.control->GetEndTime(), -700);
}

TEST_F(ImageLightControlTest, CopiesCarryKeysAndCache) {
  Bound bound({Key(0, true, 0.0f), Key(1000, false, 2.0f)});
  ASSERT_EQ(bound.control->Update(1500), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CImageLightControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetKeys().Size(), 2u);
  CPointer<CImageLightControl> target(new CImageLightControl());
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys().GetLastIndex(), bound.control->GetKeys().GetLastIndex());
  EXPECT_FLOAT_EQ(target->GetKeys()[1].Strength, 2.0f);
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(ImageLightControlTest, RecordRoundTripSizesAndMembers) {
  Bound bound({Key(0, true, 0.5f), Key(400, false, 1.5f, TT_EASE_IN_OUT)});
  EXPECT_EQ(IblKey().GetSaveSize(), 41u);
  EXPECT_EQ(bound.control->GetSaveSize(), bound.control->CDataControl::GetSaveSize() + 12 + 2 * 41);
  test::ExpectSceneRoundTrip(*bound.light);
  const std::string text = test::Members(bound.control.Get());
  for (const char* name : {"CImageLightControl Member", "LastIndex", "Active", "Strength", "TransitionType"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

TEST_F(ImageLightControlTest, VersionOneHundredArraysBecomeKeys) {
  ByteWriter w = test::DataControlHead();
  w.Pair(1, 0);
  test::FloatArray(w, {0.9f, 1999.9f, 5000.0f});
  w.U32(2).U8(1).F32(0.25f).U8(0).F32(4.0f);
  test::U32Array(w, {TT_EASE_OUT, TT_STEP});
  CStream stream;
  CMemoryIo device;
  auto* control = test::LoadRoot<CImageLightControl>("CImageLightControl", w, stream, device);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 2u);
  EXPECT_EQ(control->GetKeys()[0].Time, 0);
  EXPECT_TRUE(control->GetKeys()[0].Active);
  EXPECT_EQ(control->GetKeys()[0].Strength, 0.25f);
  EXPECT_EQ(control->GetKeys()[1].Time, 1999);
  EXPECT_FALSE(control->GetKeys()[1].Active);
  EXPECT_EQ(control->GetKeys()[1].TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_EQ(control->GetKeys()[1].TransitionStrength, 50.0f);
}

TEST_F(ImageLightControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  auto oldForm = [](std::initializer_list<f32> times, std::initializer_list<u32> types) {
    ByteWriter w = test::DataControlHead();
    w.Pair(1, 0);
    test::FloatArray(w, times);
    w.U32(2).U8(1).F32(1).U8(1).F32(1);
    test::U32Array(w, types);
    return w;
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 2).U32(0);
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(1, 1).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50).Pair(1, 1).U8(1).F32(1);
  const Row rows[] = {
      {"class version 1.02", newer, kErrNewerVersion},
      {"a key pair of 1.1", newerKey, kErrNewerVersion},
      {"1.00: more keys than times", oldForm({0}, {0, 0}), kErrNotFound},
      {"1.00: more keys than types", oldForm({0, 1}, {0}), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CImageLightControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
