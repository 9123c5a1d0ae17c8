// The post-effect controller: one track per variable, the refusals that
// leave the effect alone, the scene time taken as given, copies and every
// record form.
#include "controllers/keyed/post_effect_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"

namespace KT {
namespace {

using test::ByteWriter;
using VarKey = CPostEffectControl::CVarKey;
using Float4 = CPostEffect::Float4;

class PostEffectControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CPostEffectControl", &CreateObject<CPostEffectControl>);
    CClassFactory::Register("CPostEffect", &CreateObject<CPostEffect>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

VarKey Key(i32 time, Float4 data, u32 transition = TT_LINEAR, f32 strength = 50.0f) {
  VarKey key;
  key.Time = time;
  key.afData = data;
  key.TransitionType = transition;
  key.TransitionStrength = strength;
  return key;
}

// A post effect with `variables` variables (each (9, 9, 9, 9)) and a bound
// control with one track per entry of `tracks`; the effect starts
// unmodified.
struct Bound {
  CPointer<CPostEffect> effect{new CPostEffect()};
  CPointer<CPostEffectControl> control{new CPostEffectControl()};
  Bound(u32 variables, const std::vector<std::vector<VarKey>>& tracks) {
    for (u32 i = 0; i < variables; ++i) EXPECT_EQ(effect->AddVariable(i, {9, 9, 9, 9}), kOk);
    EXPECT_EQ(effect->AddControl(control.Get()), kOk);
    for (const auto& keys : tracks) {
      control->EditTracks().emplace_back();
      EXPECT_EQ(control->EditTracks().back().Assign(keys), kOk);
    }
    effect->SetModified(false);
  }
  Float4 Variable(u32 index) const {
    Float4 value{};
    EXPECT_EQ(effect->GetVariable(index, value), kOk);
    return value;
  }
};

TEST_F(PostEffectControlTest, EachTrackDrivesItsVariable) {
  Bound bound(3, {{Key(0, {0, 0, 0, 0}), Key(1000, {2, 4, 6, 8})},
                  {},
                  {Key(0, {1, 1, 1, 1}), Key(1000, {3, 3, 3, 3}, TT_STEP)}});
  struct Row {
    i32 time;
    Float4 first;
    Float4 third;
  };
  const Row rows[] = {
      {-500, {0, 0, 0, 0}, {1, 1, 1, 1}},
      {500, {1, 2, 3, 4}, {1, 1, 1, 1}},  // the step key holds the earlier value
      {999, {1.998f, 3.996f, 5.994f, 7.992f}, {1, 1, 1, 1}},
      {1000, {2, 4, 6, 8}, {3, 3, 3, 3}},
      {4000, {2, 4, 6, 8}, {3, 3, 3, 3}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    EXPECT_EQ(bound.control->Update(row.time), kOk);
    for (u32 c = 0; c < 4; ++c) {
      EXPECT_FLOAT_EQ(bound.Variable(0)[c], row.first[c]);
      EXPECT_FLOAT_EQ(bound.Variable(2)[c], row.third[c]);
    }
    // A track without keys leaves its variable alone.
    EXPECT_EQ(bound.Variable(1), (Float4{9, 9, 9, 9}));
    EXPECT_FALSE(bound.effect->IsModified());
  }
  EXPECT_EQ(bound.control->Apply(), kDone);
  EXPECT_EQ(bound.control->GetEndTime(), 1000);
}

TEST_F(PostEffectControlTest, ModifiedFlagIsKeptEitherWay) {
  Bound bound(1, {{Key(0, {1, 2, 3, 4})}});
  bound.effect->SetModified(true);
  EXPECT_EQ(bound.control->Update(0), kOk);
  EXPECT_EQ(bound.Variable(0), (Float4{1, 2, 3, 4}));
  EXPECT_TRUE(bound.effect->IsModified());
}

TEST_F(PostEffectControlTest, FrequencyAndRepeatChangeNothing) {
  Bound bound(1, {{Key(0, {0, 0, 0, 0}), Key(1000, {1, 1, 1, 1})}});
  bound.control->SetFrequency(2.0f);
  bound.control->SetRepeat(CControl::RT_WRAP);
  EXPECT_EQ(bound.control->Update(500), kOk);
  EXPECT_FLOAT_EQ(bound.Variable(0)[0], 0.5f);
  EXPECT_EQ(bound.control->Update(1000), kOk);
  EXPECT_FLOAT_EQ(bound.Variable(0)[0], 1.0f);
  EXPECT_EQ(bound.control->Update(1500), kOk);
  EXPECT_FLOAT_EQ(bound.Variable(0)[0], 1.0f);
}

TEST_F(PostEffectControlTest, RefusalsWriteNothing) {
  // Three variables under two tracks.
  Bound mismatched(3, {{Key(0, {1, 1, 1, 1})}, {Key(0, {1, 1, 1, 1})}});
  EXPECT_EQ(mismatched.control->Update(0), kErrNotFound);
  for (u32 i = 0; i < 3; ++i) EXPECT_EQ(mismatched.Variable(i), (Float4{9, 9, 9, 9}));
  EXPECT_FALSE(mismatched.effect->IsModified());

  // Inactive.
  Bound idle(1, {{Key(0, {1, 1, 1, 1})}});
  idle.control->SetActive(false);
  EXPECT_EQ(idle.control->Update(0), kDone);
  EXPECT_EQ(idle.Variable(0), (Float4{9, 9, 9, 9}));

  // Unbound, and bound to an object of another class.
  CPointer<CPostEffectControl> loose(new CPostEffectControl());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CPostEffectControl> foreign(new CPostEffectControl());
  foreign->EditTracks().emplace_back();
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);
  EXPECT_EQ(other->value, 0);
}

TEST_F(PostEffectControlTest, EndTimeIsTheLatestTrackEndAndNeverNegative) {
  Bound none(0, {});
  EXPECT_EQ(none.control->GetEndTime(), 0);
  Bound negative(2, {{Key(-800, {})}, {Key(-900, {}), Key(-200, {})}});
  EXPECT_EQ(negative.control->GetEndTime(), 0);
  Bound mixed(2, {{Key(0, {}), Key(300, {})}, {Key(1200, {})}});
  EXPECT_EQ(mixed.control->GetEndTime(), 1200);
}

TEST_F(PostEffectControlTest, CopiesCarryEveryTrack) {
  Bound bound(2, {{Key(0, {1, 0, 0, 0}), Key(1000, {2, 0, 0, 0})}, {}});
  ASSERT_EQ(bound.control->Update(500), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CPostEffectControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->GetTracks().size(), 2u);
  EXPECT_EQ(copy->GetTracks()[0].Size(), 2u);
  EXPECT_EQ(copy->GetTracks()[0].GetLastIndex(), bound.control->GetTracks()[0].GetLastIndex());

  CPointer<CPostEffectControl> target(new CPostEffectControl());
  target->EditTracks().resize(5);
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  ASSERT_EQ(target->GetTracks().size(), 2u);
  EXPECT_FLOAT_EQ(target->GetTracks()[0][1].afData[0], 2.0f);
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(PostEffectControlTest, RecordRoundTripSizesAndMembers) {
  Bound bound(3, {{}, {Key(0, {1, 2, 3, 4})}, {Key(0, {}), Key(700, {5, 6, 7, 8}, TT_EASE_IN, 80.0f)}});
  EXPECT_EQ(VarKey().GetSaveSize(), 52u);
  // 4 + (4) + (4 + 52) + (4 + 104) after the version pair.
  EXPECT_EQ(bound.control->GetSaveSize(), bound.control->CDataControl::GetSaveSize() + 8 + 172);
  test::ExpectSceneRoundTrip(*bound.effect);
  const std::string text = test::Members(bound.control.Get());
  for (const char* name : {"CPostEffectControl Member", "VarTracks", "VarKeys", "afData", "TransitionStrength"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

TEST_F(PostEffectControlTest, VersionOneHundredKeysHaveNoVersionPairs) {
  ByteWriter w = test::DataControlHead();
  w.Pair(1, 0).U32(2);
  w.U32(2);
  w.I32(0).U32(TT_EASE_OUT).F32(70.0f).F32(1).F32(2).F32(3).F32(4);
  w.I32(900).U32(TT_STEP).F32(20.0f).F32(5).F32(6).F32(7).F32(8);
  w.U32(0);
  CStream stream;
  CMemoryIo device;
  auto* control = test::LoadRoot<CPostEffectControl>("CPostEffectControl", w, stream, device);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetTracks().size(), 2u);
  const auto& keys = control->GetTracks()[0];
  ASSERT_EQ(keys.Size(), 2u);
  EXPECT_EQ(keys[0].TransitionType, static_cast<u32>(TT_EASE_OUT));
  EXPECT_EQ(keys[0].TransitionStrength, 70.0f);
  EXPECT_EQ(keys[1].Time, 900);
  EXPECT_EQ(keys[1].TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_EQ(keys[1].TransitionStrength, 20.0f);
  EXPECT_EQ(keys[1].afData, (Float4{5, 6, 7, 8}));
  EXPECT_TRUE(control->GetTracks()[1].Empty());
}

TEST_F(PostEffectControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 2).U32(0);
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(1, 1).U32(1).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50).Pair(1, 1);
  newerKey.F32(1).F32(1).F32(1).F32(1);
  ByteWriter hugeCount = test::DataControlHead();
  hugeCount.Pair(1, 1).U32(0x40000000);
  const Row rows[] = {
      {"class version 1.02", newer, kErrNewerVersion},
      {"a key pair of 1.1", newerKey, kErrNewerVersion},
      {"a track count the record cannot hold", hugeCount, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CPostEffectControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
