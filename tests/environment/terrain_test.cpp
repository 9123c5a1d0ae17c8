// The terrain: its two slots in every record form, the one slot it
// enumerates, copies and refused input.
#include "environment/terrain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "slot_owner_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class TerrainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSlotOwnerClasses();
    test::UseTestIds(0);
  }
};

i32 ValueOf(CBase* object) {
  auto* target = DynamicCast<test::CTestDorun>(object);
  return target ? target->value : -1;
}

TEST_F(TerrainTest, RecordsOfEveryVersion) {
  struct Case {
    u32 minor;
    bool wideId;
    bool subObject1;
  };
  const Case cases[] = {{0, false, false}, {1, true, false}, {2, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minor);
    ByteWriter w = test::DorunHead(1);
    w.Pair(2, c.minor);
    if (c.wideId) {
      w.U64(2);
    } else {
      w.U32(2);
    }
    if (c.subObject1) w.U64(3);
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CTerrain", w},
                               {"CTestDorun", test::TestDorunBody(2, 0, 0, 0, 20)},
                               {"CTestDorun", test::TestDorunBody(3, 0, 0, 0, 30)}});
    ASSERT_EQ(loaded.result, kOk);
    auto* terrain = DynamicCast<CTerrain>(loaded.Root());
    ASSERT_NE(terrain, nullptr);
    EXPECT_EQ(ValueOf(terrain->GetSubObject2()), 20);
    EXPECT_EQ(ValueOf(terrain->GetSubObject1()), c.subObject1 ? 30 : -1);
  }
}

TEST_F(TerrainTest, SavesSubObject2First) {
  CPointer<test::CTestDorun> first(new test::CTestDorun());
  CPointer<test::CTestDorun> second(new test::CTestDorun());
  CPointer<CTerrain> terrain(new CTerrain());
  ASSERT_EQ(terrain->SetSubObject1(first.Get()), kOk);
  ASSERT_EQ(terrain->SetSubObject2(second.Get()), kOk);
  ByteWriter body = test::DorunHead(terrain->GetUniqueId());
  body.Pair(2, 2).U64(second->GetUniqueId()).U64(first->GetUniqueId());
  ByteWriter record;
  record.Str("CTerrain").U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  const Bytes bytes = test::SaveObjectRecord(*terrain);
  EXPECT_EQ(bytes, record.Data());
  EXPECT_EQ(bytes.size(), terrain->GetSaveSize());
  EXPECT_EQ(test::OwnPartSize(*terrain), 24u);
  CDorun plain;
  EXPECT_EQ(terrain->GetMemorySize(), plain.GetMemorySize() + 8);
  test::ExpectSceneRoundTrip(*terrain);
}

TEST_F(TerrainTest, EnumeratesOnlySubObject2) {
  CPointer<test::CTestDorun> first(new test::CTestDorun());
  CTerrain terrain;
  ASSERT_EQ(terrain.SetSubObject1(first.Get()), kOk);
  test::ReferenceRecorder seen;
  terrain.EnumReferences(seen);
  // SubObject2 (empty), then the three chain heads.
  ASSERT_EQ(seen.seen.size(), 4u);
  EXPECT_EQ(seen.seen[0], (std::pair<CBase*, u32>{nullptr, 1}));
  for (const auto& entry : seen.seen) EXPECT_NE(entry.first, first.Get());
  // Every other walk sees SubObject1.
  EXPECT_TRUE(terrain.HasSubObjects());
  std::vector<CBase*> all;
  terrain.Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{&terrain, first.Get()}));
}

TEST_F(TerrainTest, HasNoMemberGroupOfItsOwn) {
  CTerrain terrain;
  test::MemberRecorder members;
  terrain.DescribeMembers(members);
  ASSERT_FALSE(members.entries.empty());
  EXPECT_EQ(members.entries.front(), u"group:CDorun Member");
}

TEST_F(TerrainTest, CopiesKeepSharedSlotsShared) {
  CPointer<test::CTestDorun> shared(new test::CTestDorun());
  CPointer<CTerrain> terrain(new CTerrain());
  ASSERT_EQ(terrain->SetSubObject1(shared.Get()), kOk);
  ASSERT_EQ(terrain->SetSubObject2(shared.Get()), kOk);

  CPointer<CBase> instance;
  ASSERT_EQ(terrain->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CTerrain>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_FALSE(made->GetSubObject1() || made->GetSubObject2());

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(terrain->Clone(out, map, 0), kOk);
  auto* copy = static_cast<CTerrain*>(out.Get());
  CBase* clone = map.at(shared.Get()).Get();
  EXPECT_NE(clone, shared.Get());
  EXPECT_EQ(copy->GetSubObject1(), clone);
  EXPECT_EQ(copy->GetSubObject2(), clone);

  CPointer<test::CTestDorun> former(new test::CTestDorun());
  CTerrain target;
  ASSERT_EQ(target.SetSubObject2(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(terrain->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetSubObject1(), shared.Get());
  EXPECT_EQ(target.GetSubObject2(), shared.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  CSky sky;
  EXPECT_EQ(terrain->CopyTo(&sky, displaced, 0), kErrNotFound);
  EXPECT_EQ(terrain->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(TerrainTest, RefusesToOwnItself) {
  CPointer<CTerrain> terrain(new CTerrain());
  EXPECT_EQ(terrain->SetSubObject1(terrain.Get()), kErrInvalidArg);
  CPointer<CSky> sky(new CSky());
  ASSERT_EQ(sky->SetSubObject(terrain.Get()), kOk);
  EXPECT_EQ(terrain->SetSubObject2(sky.Get()), kErrInvalidArg);
  EXPECT_EQ(terrain->GetSubObject2(), nullptr);
  EXPECT_EQ(terrain->ResolveReferences(nullptr), kErrInvalidArg);

  // In a file: the terrain's SubObject1 is a sky whose slot is the terrain.
  ByteWriter w = test::DorunHead(1);
  w.Pair(2, 2).U64(0).U64(2);
  ByteWriter s = test::DorunHead(2);
  s.Pair(2, 1).U64(1).U8(0);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CTerrain", w}, {"CSky", s}}, false);
  EXPECT_EQ(loaded.result, kErrNotFound);
}

TEST_F(TerrainTest, NewerRecordIsRefused) {
  ByteWriter w = test::DorunHead(1);
  w.Pair(2, 3).U64(0).U64(0);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CTerrain", w}}, false);
  EXPECT_EQ(loaded.result, kErrNewerVersion);
}

}  // namespace
}  // namespace KT
