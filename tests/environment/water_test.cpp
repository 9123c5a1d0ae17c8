// The water object: defaults, the record and its older forms, the member
// order, copies and refused input.
#include "environment/water.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "slot_owner_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class WaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSlotOwnerClasses();
    test::UseTestIds(0);
  }
};

// The water part at class version 2.`minor`, holding the slot id `held`;
// the eight floats from RefractRate to ReflectBlurness are 1.0 .. 8.0.
ByteWriter& WaterPart(ByteWriter& w, u32 minor, u64 held) {
  w.Pair(2, minor);
  if (minor >= 2) {
    w.U64(held);
  } else {
    w.U32(static_cast<u32>(held));
  }
  w.F32(0.1f).F32(0.2f).F32(0.3f).U8(1).F32(0.4f).F32(0.5f).F32(0.6f).F32(10.0f).F32(20.0f).F32(30.0f);
  for (int i = 1; i <= 8; ++i) w.F32(static_cast<f32>(i));
  if (minor >= 1) w.F32(9.0f);  // RefractBlurness
  w.U8(1).U8(0);                // BlurReflect, BlurRefract
  if (minor >= 3) w.U32(42);    // Softness
  return w;
}

TEST_F(WaterTest, NewWaterHoldsTheDefaults) {
  CWater water;
  EXPECT_EQ(water.WaterColor.r + water.WaterColor.g + water.WaterColor.b, 0.0f);
  EXPECT_FALSE(water.FogEnable);
  EXPECT_EQ(water.FogColor.b, 1.0f);
  EXPECT_EQ(water.FogColor.r + water.FogColor.g, 0.0f);
  EXPECT_EQ(water.FogDistance, CVector3<float>());
  EXPECT_EQ(water.RefractRate, 0.5f);
  EXPECT_EQ(water.ReflectUnder + water.RefractUnder + water.ReflectAbove + water.RefractAbove, 4.0f);
  EXPECT_EQ(water.ReflectShift + water.RefractShift + water.ReflectBlurness + water.RefractBlurness, 0.0f);
  EXPECT_FALSE(water.BlurReflect || water.BlurRefract);
  EXPECT_EQ(water.Softness, 0u);
  EXPECT_EQ(water.GetSubObject(), nullptr);
  EXPECT_EQ(water.GetVersion(), 203u);
}

TEST_F(WaterTest, RecordsOfEveryVersion) {
  struct Case {
    u32 minor;
    std::size_t bytesAfterPair;
    f32 refractBlurness;
    u32 softness;
  };
  const Case cases[] = {
      {0, 4 + 12 + 1 + 12 + 12 + 32 + 2, 0.0f, 0},
      {1, 4 + 12 + 1 + 12 + 12 + 36 + 2, 9.0f, 0},
      {2, 8 + 12 + 1 + 12 + 12 + 36 + 2, 9.0f, 0},
      {3, 95 - 8, 9.0f, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minor);
    ByteWriter w = test::DorunHead(1);
    const std::size_t head = w.Size() + 8;
    WaterPart(w, c.minor, 2);
    EXPECT_EQ(w.Size() - head, c.bytesAfterPair);
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CWater", w}, {"CTestDorun", test::TestDorunBody(2, 0, 0, 0, 7)}});
    ASSERT_EQ(loaded.result, kOk);
    auto* water = DynamicCast<CWater>(loaded.Root());
    ASSERT_NE(water, nullptr);
    auto* held = DynamicCast<test::CTestDorun>(water->GetSubObject());
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->value, 7);
    EXPECT_EQ(water->WaterColor.b, 0.3f);
    EXPECT_TRUE(water->FogEnable);
    EXPECT_EQ(water->FogColor.g, 0.5f);
    EXPECT_EQ(water->FogDistance, CVector3<float>(10.0f, 20.0f, 30.0f));
    EXPECT_EQ(water->RefractRate, 1.0f);
    EXPECT_EQ(water->ReflectUnder, 2.0f);
    EXPECT_EQ(water->RefractUnder, 3.0f);
    EXPECT_EQ(water->ReflectAbove, 4.0f);
    EXPECT_EQ(water->RefractAbove, 5.0f);
    EXPECT_EQ(water->ReflectShift, 6.0f);
    EXPECT_EQ(water->RefractShift, 7.0f);
    EXPECT_EQ(water->ReflectBlurness, 8.0f);
    EXPECT_EQ(water->RefractBlurness, c.refractBlurness);
    EXPECT_TRUE(water->BlurReflect);
    EXPECT_FALSE(water->BlurRefract);
    EXPECT_EQ(water->Softness, c.softness);
  }
}

TEST_F(WaterTest, SavesNinetyFiveBytesOfItsOwn) {
  CPointer<test::CTestDorun> held(new test::CTestDorun());
  CPointer<CWater> water(new CWater());
  ASSERT_EQ(water->SetSubObject(held.Get()), kOk);
  water->WaterColor = CColor(0.1f, 0.2f, 0.3f, 0.0f);
  water->FogEnable = true;
  water->FogColor = CColor(0.4f, 0.5f, 0.6f, 0.0f);
  water->FogDistance = CVector3<float>(10.0f, 20.0f, 30.0f);
  f32* floats[] = {&water->RefractRate,  &water->ReflectUnder, &water->RefractUnder,
                   &water->ReflectAbove, &water->RefractAbove, &water->ReflectShift,
                   &water->RefractShift, &water->ReflectBlurness};
  for (int i = 0; i < 8; ++i) *floats[i] = static_cast<f32>(i + 1);
  water->RefractBlurness = 9.0f;
  water->BlurReflect = true;
  water->Softness = 42;
  ByteWriter body = test::DorunHead(water->GetUniqueId());
  WaterPart(body, 3, held->GetUniqueId());
  ByteWriter record;
  record.Str("CWater").U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  const Bytes bytes = test::SaveObjectRecord(*water);
  EXPECT_EQ(bytes, record.Data());
  EXPECT_EQ(bytes.size(), water->GetSaveSize());
  EXPECT_EQ(test::OwnPartSize(*water), 95u);
  CDorun plain;
  EXPECT_EQ(water->GetMemorySize(), plain.GetMemorySize() + 88);
  test::ExpectSceneRoundTrip(*water);
}

TEST_F(WaterTest, DescribesRefractionBeforeReflection) {
  CWater water;
  test::MemberRecorder members;
  water.DescribeMembers(members);
  EXPECT_EQ(members.entries.front(), u"group:CWater Member");
  EXPECT_EQ(test::GroupEntries(members.entries, u"CWater Member"),
            (std::vector<std::u16string>{u"WaterColor", u"Softness", u"FogEnable", u"FogColor", u"FogDistance",
                                         u"RefractRate", u"RefractUnder", u"RefractAbove", u"RefractShift",
                                         u"RefractBlurness", u"BlurRefract", u"ReflectUnder", u"ReflectAbove",
                                         u"ReflectShift", u"ReflectBlurness", u"BlurReflect"}));
  test::ReferenceRecorder seen;
  water.EnumReferences(seen);
  ASSERT_EQ(seen.seen.size(), 4u);
  EXPECT_EQ(seen.seen[0], (std::pair<CBase*, u32>{nullptr, 1}));
}

TEST_F(WaterTest, CreateInstanceLeavesTheSlotToClone) {
  CPointer<test::CTestDorun> held(new test::CTestDorun());
  CPointer<CWater> water(new CWater());
  ASSERT_EQ(water->SetSubObject(held.Get()), kOk);
  water->Softness = 3;
  water->RefractBlurness = 0.5f;

  CPointer<CBase> instance;
  ASSERT_EQ(water->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CWater>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Softness, 3u);
  EXPECT_EQ(made->RefractBlurness, 0.5f);
  EXPECT_EQ(made->GetSubObject(), nullptr);

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(water->Clone(out, map, 0), kOk);
  auto* copy = static_cast<CWater*>(out.Get());
  EXPECT_EQ(copy->Softness, 3u);
  EXPECT_EQ(copy->GetSubObject(), map.at(held.Get()).Get());
  EXPECT_NE(copy->GetSubObject(), held.Get());

  CPointer<test::CTestDorun> former(new test::CTestDorun());
  CWater target;
  ASSERT_EQ(target.SetSubObject(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(water->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.Softness, 3u);
  EXPECT_EQ(target.GetSubObject(), held.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  CSky sky;
  EXPECT_EQ(water->CopyTo(&sky, displaced, 0), kErrNotFound);
}

TEST_F(WaterTest, RefusesToOwnItselfAndNewerRecords) {
  CPointer<CWater> water(new CWater());
  EXPECT_EQ(water->SetSubObject(water.Get()), kErrInvalidArg);
  EXPECT_EQ(water->ResolveReferences(nullptr), kErrInvalidArg);
  struct Case {
    u32 minor;
    u64 held;
    Result expected;
  };
  for (const Case& c : {Case{3, 1, kErrNotFound}, Case{4, 0, kErrNewerVersion}}) {
    SCOPED_TRACE(c.minor);
    ByteWriter w = test::DorunHead(1);
    WaterPart(w, c.minor, c.held);
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CWater", w}}, false);
    EXPECT_EQ(loaded.result, c.expected);
  }
}

}  // namespace
}  // namespace KT
