// The post effect: its variables, the record with its two versions,
// object entries, copies and clones.
#include <gtest/gtest.h>

#include "effects_test_support.h"
#include "render/effects/post_effect.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Float4 = CPostEffect::Float4;

class PostEffectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterEffectClasses();
    test::UseTestIds(0);
  }
};

ByteWriter TestDorunBody(u64 id) {
  ByteWriter w = test::DorunHead(id);
  w.Pair(1, 0).I32(9);
  return w;
}

// A post-effect record at 1.`minor` with two parameter bytes, one variable
// and one entry per id of `objects`.
ByteWriter EffectRecord(u64 id, u32 minor, const std::vector<u64>& objects) {
  ByteWriter w = test::DorunHead(id);
  w.Pair(1, minor).U8(0).U32(7).U32(2).U8('a').U8('b');
  w.U32(1).U32(42).F32(1.0f).F32(2.0f).F32(3.0f).F32(4.0f);
  w.U32(static_cast<u32>(objects.size()));
  for (u64 object : objects) w.U64(object).U32(1).U32(2).U32(3).U32(4).F32(0.5f).F32(0.5f).F32(0.5f).F32(0.5f);
  if (minor >= 1) w.U32(0x55);
  return w;
}

TEST_F(PostEffectTest, NewEffectIsEnabledAndEmpty) {
  CPostEffect effect;
  EXPECT_TRUE(effect.Enabled);
  EXPECT_EQ(effect.Kind, 0u);
  EXPECT_EQ(effect.TrailingWord, 0u);
  EXPECT_EQ(effect.GetVariableCount(), 0u);
  EXPECT_TRUE(effect.GetParameters().IsEmpty());
  EXPECT_FALSE(effect.HasSubObjects());
}

TEST_F(PostEffectTest, VariablesAreReadAndSetByIndex) {
  CPostEffect effect;
  ASSERT_EQ(effect.AddVariable(3, {1.0f, 2.0f, 3.0f, 4.0f}), kOk);
  effect.SetModified(false);
  Float4 value{};
  ASSERT_EQ(effect.GetVariable(0, value), kOk);
  EXPECT_EQ(value, (Float4{1.0f, 2.0f, 3.0f, 4.0f}));
  ASSERT_EQ(effect.SetVariable(0, {5.0f, 6.0f, 7.0f, 8.0f}), kOk);
  EXPECT_TRUE(effect.IsModified());
  effect.SetModified(false);
  EXPECT_EQ(effect.SetVariable(1, {0.0f, 0.0f, 0.0f, 0.0f}), kErrOutOfRange);
  EXPECT_FALSE(effect.IsModified());
  EXPECT_EQ(effect.GetVariable(1, value), kErrOutOfRange);
  EXPECT_EQ(value, (Float4{1.0f, 2.0f, 3.0f, 4.0f}));
  ASSERT_EQ(effect.GetVariable(0, value), kOk);
  EXPECT_EQ(value, (Float4{5.0f, 6.0f, 7.0f, 8.0f}));
  EXPECT_EQ(effect.GetValueEntries()[0].Id, 3u);
}

TEST_F(PostEffectTest, RecordsOfBothVersionsLoad) {
  struct Case {
    u32 minor;
    u32 trailing;
  };
  for (const Case& c : {Case{0, 0}, Case{1, 0x55}}) {
    SCOPED_TRACE(c.minor);
    test::LoadedFile loaded;
    test::LoadRecords(loaded, {{"CPostEffect", EffectRecord(1, c.minor, {2, 0})}, {"CTestDorun", TestDorunBody(2)}});
    ASSERT_EQ(loaded.result, kOk);
    auto* effect = DynamicCast<CPostEffect>(loaded.Root());
    ASSERT_NE(effect, nullptr);
    EXPECT_FALSE(effect->Enabled);
    EXPECT_EQ(effect->Kind, 7u);
    ASSERT_EQ(effect->GetParameters().GetCount(), 2u);
    EXPECT_EQ(effect->GetParameters()[1], 'b');
    EXPECT_EQ(effect->TrailingWord, c.trailing);
    ASSERT_EQ(effect->GetVariableCount(), 1u);
    EXPECT_EQ(effect->GetValueEntries()[0].Id, 42u);
    const auto& entries = effect->GetObjectEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(DynamicCast<test::CTestDorun>(entries[0].Object.Get()), nullptr);
    EXPECT_EQ(entries[1].Object.Get(), nullptr);
    EXPECT_EQ(entries[1].Words[3], 4u);
    EXPECT_EQ(entries[1].Value[2], 0.5f);
  }
}

TEST_F(PostEffectTest, RecordAsSavedWithFortyBytesPerEntry) {
  CPostEffect effect;
  ASSERT_EQ(effect.AddVariable(1, {0.0f, 0.0f, 0.0f, 1.0f}), kOk);
  ASSERT_EQ(effect.AddObjectEntry(nullptr, {9, 8, 7, 6}, {1.0f, 1.0f, 1.0f, 1.0f}), kOk);
  effect.TrailingWord = 3;
  const Bytes bytes = test::SaveObjectRecord(effect);
  ASSERT_EQ(bytes.size(), effect.GetSaveSize());
  ByteWriter expected;
  // An empty parameter block is its count alone; an entry without object
  // saves the null id.
  expected.Pair(1, 1).U8(1).U32(0).U32(0);
  expected.U32(1).U32(1).F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f);
  expected.U32(1).U64(0).U32(9).U32(8).U32(7).U32(6).F32(1.0f).F32(1.0f).F32(1.0f).F32(1.0f);
  expected.U32(3);
  EXPECT_EQ(Bytes(bytes.end() - static_cast<std::ptrdiff_t>(expected.Size()), bytes.end()), expected.Data());
}

TEST_F(PostEffectTest, HostileCountsAreRefused) {
  ByteWriter w = test::DorunHead(1);
  w.Pair(1, 1).U8(1).U32(0).U32(0).U32(0x10000000u);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CPostEffect", w}}, false);
  EXPECT_LT(loaded.result, 0);
}

TEST_F(PostEffectTest, SharedObjectStaysSharedInTheClone) {
  CPointer<test::CTestDorun> shared(new test::CTestDorun());
  CPointer<CPostEffect> effect(new CPostEffect());
  ASSERT_EQ(effect->AddObjectEntry(shared.Get(), {}, {}), kOk);
  ASSERT_EQ(effect->AddObjectEntry(shared.Get(), {}, {}), kOk);
  ASSERT_EQ(effect->AddVariable(0, {}), kOk);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(effect->Clone(clone, map, 0), kOk);
  const auto& entries = static_cast<CPostEffect*>(clone.Get())->GetObjectEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_NE(entries[0].Object.Get(), shared.Get());
  EXPECT_EQ(entries[0].Object.Get(), entries[1].Object.Get());
  EXPECT_EQ(static_cast<CPostEffect*>(clone.Get())->GetVariableCount(), 1u);
}

TEST_F(PostEffectTest, CreateInstanceLeavesTheObjectsAndCopyToSharesThem) {
  CPointer<test::CTestDorun> object(new test::CTestDorun());
  CPointer<test::CTestDorun> former(new test::CTestDorun());
  CPointer<CPostEffect> effect(new CPostEffect());
  const char bytes[] = {'x', 'y', 'z'};
  ASSERT_EQ(effect->SetParameters(bytes, 3), kOk);
  ASSERT_EQ(effect->AddObjectEntry(object.Get(), {1, 0, 0, 0}, {}), kOk);
  effect->Kind = 4;
  CPointer<CBase> instance;
  ASSERT_EQ(effect->CreateInstance(instance), kOk);
  auto* made = static_cast<CPostEffect*>(instance.Get());
  EXPECT_EQ(made->Kind, 4u);
  EXPECT_EQ(made->GetParameters().GetCount(), 3u);
  EXPECT_TRUE(made->GetObjectEntries().empty());
  CPostEffect target;
  ASSERT_EQ(target.AddObjectEntry(former.Get(), {}, {}), kOk);
  ASSERT_EQ(target.AddObjectEntry(former.Get(), {}, {}), kOk);
  DisplacedList displaced;
  ASSERT_EQ(effect->CopyTo(&target, displaced, 0), kOk);
  ASSERT_EQ(target.GetObjectEntries().size(), 1u);
  EXPECT_EQ(target.GetObjectEntries()[0].Object.Get(), object.Get());
  EXPECT_EQ(target.GetObjectEntries()[0].Words[0], 1u);
  EXPECT_EQ(target.GetParameters().GetCount(), 3u);
  EXPECT_EQ(displaced.size(), 2u);
  // An empty source empties the target's parameters.
  CPostEffect empty;
  ASSERT_EQ(empty.CopyTo(&target, displaced, 0), kOk);
  EXPECT_TRUE(target.GetParameters().IsEmpty());
  EXPECT_EQ(effect->CopyTo(object.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(effect->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(PostEffectTest, EntriesRefuseObjectsThatHoldTheEffect) {
  CPointer<CPostEffect> effect(new CPostEffect());
  EXPECT_EQ(effect->AddObjectEntry(effect.Get(), {}, {}), kErrInvalidArg);
  EXPECT_TRUE(effect->GetObjectEntries().empty());
  EXPECT_EQ(effect->ResolveReferences(nullptr), kErrInvalidArg);
}

}  // namespace
}  // namespace KT
