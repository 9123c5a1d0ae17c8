// KT::CHeightMapMaterial: defaults, its 149-byte record, the walks over its
// slots (EnumReferences forwarded into them), copies, clones and the link
// checks.
#include "environment/height_map_material.h"

#include <gtest/gtest.h>

#include <vector>

#include "environment/height_map.h"
#include "height_map_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec3 = CVector3<float>;
using Seen = std::vector<std::pair<CBase*, u32>>;

class HeightMapMaterialTest : public test::FieldClassesTest<CHeightMapMaterial, CHeightMap> {};

// The CMaterialBase and CMaterial parts (2.00 each).
ByteWriter& MaterialParts(ByteWriter& w) { return w.Pair(2, 0).Pair(2, 0); }

// A material record of `version`: Color1 (0.1, 0.2, 0.3), Color2 white,
// Color3 grey, Value1..Value5 1..5, Switch `flag`, the layers with
// amounts 0.25, 0.5, 0.75, then the three slot ids.
ByteWriter MaterialBody(u64 id, const std::vector<u64>& slots, u8 flag = 1, u32 version = 100) {
  ByteWriter w;
  test::ObjectHead(w, id);
  MaterialParts(w).Pair(version / 100, version % 100);
  w.F32(0.1f).F32(0.2f).F32(0.3f).F32(1.0f).F32(1.0f).F32(1.0f).F32(0.2f).F32(0.2f).F32(0.2f);
  w.F32(1.0f).F32(2.0f).U8(flag).F32(3.0f);
  for (const f32 amount : {0.25f, 0.5f, 0.75f}) w.F32(0.0f).F32(0.0f).F32(1.0f).F32(1.0f).F32(amount);
  w.F32(4.0f).F32(5.0f);
  for (u64 slot : slots) w.U64(slot);
  return w;
}

Bytes MaterialFile(const ByteWriter& material, const std::vector<u64>& leaves = {}) {
  return test::RootWithLeaves("CHeightMapMaterial", material, leaves);
}

TEST_F(HeightMapMaterialTest, AFreshMaterialSaves149BytesAfterTheMaterialPart) {
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  EXPECT_EQ(material->Color1, Vec3(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(material->Color3, Vec3(0.2f, 0.2f, 0.2f));
  EXPECT_EQ(material->Value1, 0.5f);
  EXPECT_FALSE(material->Switch);
  const CHeightMapMaterial::CLayer layer;
  EXPECT_EQ(layer.Low, CVector2(0.0f, 0.0f));
  EXPECT_EQ(layer.High, CVector2(1.0f, 1.0f));
  EXPECT_EQ(layer.Amount, 0.0f);
  EXPECT_TRUE(material->Layer1 == layer && material->Layer2 == layer && material->Layer3 == layer);
  EXPECT_EQ(material->GetVersion(), 100u);
  EXPECT_EQ(material->GetSaveSize(), material->CMaterial::GetSaveSize() + 149);

  const Bytes record = test::SaveObjectRecord(*material);
  ASSERT_EQ(record.size(), material->GetSaveSize());
  const Bytes own(record.end() - 149, record.end());
  ByteWriter expected;
  expected.Pair(1, 0);
  for (int i = 0; i < 6; ++i) expected.F32(1.0f);
  expected.F32(0.2f).F32(0.2f).F32(0.2f).F32(0.5f).F32(1.0f).U8(0).F32(1.0f);
  for (int i = 0; i < 3; ++i) expected.F32(0.0f).F32(0.0f).F32(1.0f).F32(1.0f).F32(0.0f);
  expected.F32(1.0f).F32(1.0f).U64(0).U64(0).U64(0);
  EXPECT_EQ(own, expected.Data());
}

TEST_F(HeightMapMaterialTest, AlwaysValidAndNoGroupOfItsOwn) {
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  material->Invalidate();
  EXPECT_TRUE(material->IsValid());
  material->Validate();
  EXPECT_TRUE(material->IsValid());
  test::GroupNames groups;
  material->DescribeMembers(groups);
  test::GroupNames base;
  material->CMaterial::DescribeMembers(base);
  EXPECT_EQ(groups.names, base.names);
}

TEST_F(HeightMapMaterialTest, LoadsItsRecord) {
  const Bytes bytes = MaterialFile(MaterialBody(1, {0x20, 0, 0x21}, 3), {0x20, 0x21});
  CStream stream;
  CMemoryIo device;
  Result r = kErrStream;
  auto* material = test::LoadRoot<CHeightMapMaterial>(bytes, stream, device, r);
  ASSERT_EQ(r, kOk);
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(material->Color1, Vec3(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(material->Value2, 2.0f);
  EXPECT_TRUE(material->Switch);  // any non-zero byte
  EXPECT_EQ(material->Value3, 3.0f);
  EXPECT_EQ(material->Layer3.Amount, 0.75f);
  EXPECT_EQ(material->Value5, 5.0f);
  EXPECT_EQ(material->GetSubObject(0), stream.GetLoadedObjects()[1].Get());
  EXPECT_EQ(material->GetSubObject(1), nullptr);
  EXPECT_EQ(material->GetSubObject(2), stream.GetLoadedObjects()[2].Get());
  test::UseTestIds(2);
  const Bytes again = test::SaveLoaded(stream);
  CStream reloaded;
  CMemoryIo device2;
  auto* back = test::LoadRoot<CHeightMapMaterial>(again, reloaded, device2, r);
  ASSERT_EQ(r, kOk);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(test::Members(back), test::Members(material));
  EXPECT_TRUE(back->Switch);
  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFieldFirstRecordOffset);
}

TEST_F(HeightMapMaterialTest, SaveLoadSave) {
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  material->SetName(u"ground");
  material->Color2 = Vec3(0.0f, 0.5f, 1.0f);
  material->Value4 = -2.0f;
  material->Switch = true;
  material->Layer1.High = CVector2(3.0f, 4.0f);
  CPointer<test::CTestLeaf> leaf(new test::CTestLeaf(u"leaf"));
  ASSERT_EQ(material->SetSubObject(1, leaf.Get()), kOk);
  ASSERT_EQ(material->SetSubObject(2, leaf.Get()), kOk);
  CStream loaded;
  CMemoryIo device;
  const Bytes first = test::ExpectSaveLoadSave({material.Get()}, loaded, device);
  auto* back = DynamicCast<CHeightMapMaterial>(loaded.GetRootObject(0));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetName(), u"ground");
  EXPECT_EQ(back->Layer1, material->Layer1);
  EXPECT_EQ(back->Value4, -2.0f);
  EXPECT_EQ(back->GetSubObject(0), nullptr);
  ASSERT_NE(back->GetSubObject(1), nullptr);
  EXPECT_EQ(back->GetSubObject(1), back->GetSubObject(2));
  test::ExpectPrefixesFailBetweenRecords(first, test::kFieldFirstRecordOffset);
}

TEST_F(HeightMapMaterialTest, RefusedRecords) {
  struct Row {
    const char* what;
    Bytes bytes;
    Result expected;
  };
  test::SceneFile pair;
  pair.Record("CHeightMapMaterial", MaterialBody(1, {2, 0, 0}), true);
  pair.Record("CHeightMap", [] {
    ByteWriter w;
    test::ObjectHead(w, 2);
    w.Pair(1, 1).F32(1.0f).F32(0.0f).F32(0.0f).F32(0.0f).U32(0).U32(0).U32(0).F32(0.0f).F32(0.0f);
    w.U8(1).U8(1).U8(1).U32(2).U32(0).U64(1).U8(0);
    return w;
  }());
  const Row rows[] = {
      {"a newer version", MaterialFile(MaterialBody(1, {0, 0, 0}, 0, 101)), kErrNewerVersion},
      {"the material in its own slot", MaterialFile(MaterialBody(1, {0, 0, 1})), kErrNotFound},
      {"a height map that holds the material in the material's slot", pair.Data(), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(row.bytes, stream, device), row.expected);
  }
}

TEST_F(HeightMapMaterialTest, SlotsAreWalkedInOrder) {
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  material->SetName(u"material");
  EXPECT_FALSE(material->HasSubObjects());
  CPointer<test::CTestLeaf> second(new test::CTestLeaf(u"same"));
  CPointer<test::CTestLeaf> third(new test::CTestLeaf(u"same"));
  material->SetModified(false);
  EXPECT_EQ(material->SetSubObject(3, second.Get()), kErrInvalidArg);
  EXPECT_EQ(material->SetSubObject(0, material.Get()), kErrInvalidArg);
  EXPECT_FALSE(material->IsModified());
  ASSERT_EQ(material->SetSubObject(2, third.Get()), kOk);
  ASSERT_EQ(material->SetSubObject(1, second.Get()), kOk);
  EXPECT_TRUE(material->HasSubObjects());
  EXPECT_EQ(material->GetSubObject(7), nullptr);
  EXPECT_EQ(material->Find(u"same", nullptr, false, false), second.Get());
  std::vector<CBase*> all;
  material->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{material.Get(), second.Get(), third.Get()}));
  EXPECT_TRUE(material->UpdateMarked(ObjectSet{third.Get()}));
  EXPECT_TRUE(third->IsMarked());
  EXPECT_FALSE(second->IsMarked());
  material->ClearMarked();
  EXPECT_FALSE(material->IsMarked() || third->IsMarked());
}

// The slots are not reported: each is asked for the references it owns,
// in slot order, before the material's own CDorun part.
TEST_F(HeightMapMaterialTest, EnumReferencesForwardsIntoTheSlots) {
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  test::AllReferences plain;
  material->CMaterial::EnumReferences(plain);
  test::AllReferences empty;
  material->EnumReferences(empty);
  EXPECT_EQ(empty.seen, plain.seen);

  CPointer<CHeightMap> map(new CHeightMap());
  CPointer<test::CTestLeaf> entry(new test::CTestLeaf(u"entry"));
  ASSERT_EQ(map->AddListObject(entry.Get()), kOk);
  CPointer<CHeightMapMaterial> inner(new CHeightMapMaterial());
  CPointer<test::CTestLeaf> deep(new test::CTestLeaf(u"deep"));
  ASSERT_EQ(inner->SetSubObject(1, deep.Get()), kOk);
  ASSERT_EQ(material->SetSubObject(0, map.Get()), kOk);
  ASSERT_EQ(material->SetSubObject(2, inner.Get()), kOk);
  test::AllReferences seen;
  material->EnumReferences(seen);
  test::AllReferences expected;
  map->EnumReferences(expected);
  inner->EnumReferences(expected);
  material->CMaterial::EnumReferences(expected);
  EXPECT_EQ(seen.seen, expected.seen);
  // Neither slot object itself is among them.
  for (const auto& [object, owned] : seen.seen) {
    EXPECT_NE(object, map.Get());
    EXPECT_NE(object, inner.Get());
  }
  // What the map owns is reported; the leaf in the nested material's slot
  // is a leaf, which reports its own references only.
  EXPECT_EQ(seen.seen[0], (std::pair<CBase*, u32>{entry.Get(), 1}));

  // Materials nested far deeper than any stack would allow recursion for.
  std::vector<CPointer<CHeightMapMaterial>> chain(200000);
  for (auto& link : chain) link = new CHeightMapMaterial();
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) ASSERT_EQ(chain[i]->SetSubObject(0, chain[i + 1].Get()), kOk);
  test::AllReferences long_chain;
  chain[0]->EnumReferences(long_chain);
  EXPECT_EQ(long_chain.seen.size(), chain.size() * plain.seen.size());
}

TEST_F(HeightMapMaterialTest, CreateInstanceCloneAndCopyTo) {
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  material->SetName(u"source");
  material->Switch = true;
  material->Value3 = 7.0f;
  material->Layer2.Amount = 0.5f;
  CPointer<test::CTestLeaf> shared(new test::CTestLeaf(u"shared"));
  ASSERT_EQ(material->SetSubObject(0, shared.Get()), kOk);
  ASSERT_EQ(material->SetSubObject(2, shared.Get()), kOk);

  CPointer<CBase> instance;
  ASSERT_EQ(material->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CHeightMapMaterial>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetName(), u"source");
  EXPECT_TRUE(made->Switch);
  EXPECT_EQ(made->Layer2.Amount, 0.5f);
  EXPECT_FALSE(made->HasSubObjects());

  CloneMap cloneMap;
  CPointer<CBase> cloned;
  ASSERT_EQ(material->Clone(cloned, cloneMap, 0), kOk);
  auto* copy = DynamicCast<CHeightMapMaterial>(cloned.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Value3, 7.0f);
  ASSERT_NE(copy->GetSubObject(0), nullptr);
  EXPECT_NE(copy->GetSubObject(0), shared.Get());
  EXPECT_EQ(copy->GetSubObject(2), copy->GetSubObject(0));
  EXPECT_EQ(copy->GetSubObject(1), nullptr);

  // CopyTo carries Switch and shares each slot's object in the same slot.
  CPointer<CHeightMapMaterial> target(new CHeightMapMaterial());
  CPointer<test::CTestLeaf> former(new test::CTestLeaf(u"former"));
  ASSERT_EQ(target->SetSubObject(1, former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(material->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(target->Switch);
  EXPECT_EQ(target->Value3, 7.0f);
  EXPECT_EQ(target->Layer2, material->Layer2);
  EXPECT_EQ(target->GetSubObject(0), shared.Get());
  EXPECT_EQ(target->GetSubObject(1), nullptr);
  EXPECT_EQ(target->GetSubObject(2), shared.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  CPointer<CHeightMap> map(new CHeightMap());
  EXPECT_EQ(material->CopyTo(map.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(material->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

}  // namespace
}  // namespace KT
