// The sky: FogIncluded on disk, the slot in both record forms, copies and
// refused input.
#include "environment/sky.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "slot_owner_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class SkyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSlotOwnerClasses();
    test::UseTestIds(0);
  }
};

TEST_F(SkyTest, FogIncludedIsOneByteAndAnyNonZeroByteIsTrue) {
  struct Case {
    u32 minor;
    u8 fog;
    bool expected;
  };
  const Case cases[] = {{0, 0, false}, {0, 1, true}, {1, 0, false}, {1, 1, true}, {1, 0x80, true}, {1, 0xFF, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.minor) + " / " + std::to_string(c.fog));
    ByteWriter w = test::DorunHead(1);
    w.Pair(2, c.minor);
    if (c.minor >= 1) {
      w.U64(2);
    } else {
      w.U32(2);
    }
    w.U8(c.fog);
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CSky", w}, {"CTestDorun", test::TestDorunBody(2, 0, 0, 0, 5)}});
    ASSERT_EQ(loaded.result, kOk);
    auto* sky = DynamicCast<CSky>(loaded.Root());
    ASSERT_NE(sky, nullptr);
    EXPECT_EQ(sky->FogIncluded, c.expected);
    auto* held = DynamicCast<test::CTestDorun>(sky->GetSubObject());
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->value, 5);
  }
}

TEST_F(SkyTest, SavesTheSlotAndTheFlag) {
  CPointer<test::CTestDorun> held(new test::CTestDorun());
  CPointer<CSky> sky(new CSky());
  ASSERT_EQ(sky->SetSubObject(held.Get()), kOk);
  sky->FogIncluded = true;
  ByteWriter body = test::DorunHead(sky->GetUniqueId());
  body.Pair(2, 1).U64(held->GetUniqueId()).U8(1);
  ByteWriter record;
  record.Str("CSky").U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  const Bytes bytes = test::SaveObjectRecord(*sky);
  EXPECT_EQ(bytes, record.Data());
  EXPECT_EQ(bytes.size(), sky->GetSaveSize());
  EXPECT_EQ(test::OwnPartSize(*sky), 17u);
  CDorun plain;
  EXPECT_EQ(sky->GetMemorySize(), plain.GetMemorySize() + 8);
  test::ExpectSceneRoundTrip(*sky);
}

TEST_F(SkyTest, DescribesFogIncludedAndEnumeratesTheSlot) {
  CSky sky;
  test::MemberRecorder members;
  sky.DescribeMembers(members);
  EXPECT_EQ(test::GroupEntries(members.entries, u"CSky Member"), std::vector<std::u16string>{u"FogIncluded"});
  EXPECT_EQ(members.entries.front(), u"group:CSky Member");
  test::ReferenceRecorder seen;
  sky.EnumReferences(seen);
  ASSERT_EQ(seen.seen.size(), 4u);
  EXPECT_EQ(seen.seen[0], (std::pair<CBase*, u32>{nullptr, 1}));
  EXPECT_FALSE(sky.HasSubObjects());
}

TEST_F(SkyTest, CopiesCarryTheFlag) {
  CPointer<test::CTestDorun> held(new test::CTestDorun());
  CPointer<CSky> sky(new CSky());
  ASSERT_EQ(sky->SetSubObject(held.Get()), kOk);
  sky->FogIncluded = true;

  CPointer<CBase> instance;
  ASSERT_EQ(sky->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CSky>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->FogIncluded);
  EXPECT_EQ(made->GetSubObject(), nullptr);

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(sky->Clone(out, map, 0), kOk);
  auto* copy = static_cast<CSky*>(out.Get());
  EXPECT_TRUE(copy->FogIncluded);
  EXPECT_EQ(copy->GetSubObject(), map.at(held.Get()).Get());
  EXPECT_NE(copy->GetSubObject(), held.Get());

  CSky target;
  DisplacedList displaced;
  ASSERT_EQ(sky->CopyTo(&target, displaced, 0), kOk);
  EXPECT_TRUE(target.FogIncluded);
  EXPECT_EQ(target.GetSubObject(), held.Get());
  CTerrain terrain;
  EXPECT_EQ(sky->CopyTo(&terrain, displaced, 0), kErrNotFound);
}

TEST_F(SkyTest, RefusesToOwnItself) {
  CPointer<CSky> sky(new CSky());
  EXPECT_EQ(sky->SetSubObject(sky.Get()), kErrInvalidArg);
  EXPECT_EQ(sky->ResolveReferences(nullptr), kErrInvalidArg);
  ByteWriter w = test::DorunHead(1);
  w.Pair(2, 1).U64(1).U8(0);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CSky", w}}, false);
  EXPECT_EQ(loaded.result, kErrNotFound);
}

TEST_F(SkyTest, NewerRecordIsRefused) {
  ByteWriter w = test::DorunHead(1);
  w.Pair(2, 2).U64(0).U8(0);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CSky", w}}, false);
  EXPECT_EQ(loaded.result, kErrNewerVersion);
}

}  // namespace
}  // namespace KT
