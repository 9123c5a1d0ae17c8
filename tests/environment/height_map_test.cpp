// KT::CHeightMap: its record in every version, the block bounds computed
// after a load, the walks over its owned objects, copies and clones, and
// the checks of the link and of the counts.
#include "environment/height_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "height_map_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec3 = CVector3<float>;

class HeightMapTest : public test::FieldClassesTest<CHeightMap> {};

// What a height-map record states besides its heights and references.
struct Stored {
  u32 version = 101;
  Vec3 offset{0.0f, 0.0f, 0.0f};
  std::vector<f32> heights;
  std::vector<u64> list;
  u64 subObject = 0;
  u8 flag4 = 1;
  // Counts written in place of the real ones (0: the real ones).
  u32 heightCount = 0;
  u32 vectorCount = 1;
  u32 valueCount = 2;
  u32 listCount = 0;
};

// A height-map record: Scale 2, the offset, the heights, one vector
// (1, 2, 3), the values 7 and 8, MinHeight -1, MaxHeight 9, Flag1 false,
// Flag2 true, Flag3 false, Setting 5, the list and SubObject, then Flag4
// from 1.01.
ByteWriter MapBody(u64 id, const Stored& s) {
  ByteWriter w;
  test::ObjectHead(w, id);
  w.Pair(s.version / 100, s.version % 100).F32(2.0f).F32(s.offset.x).F32(s.offset.y).F32(s.offset.z);
  w.U32(s.heightCount != 0 ? s.heightCount : static_cast<u32>(s.heights.size()));
  for (f32 h : s.heights) w.F32(h);
  w.U32(s.vectorCount);
  if (s.vectorCount == 1) w.F32(1.0f).F32(2.0f).F32(3.0f);
  w.U32(s.valueCount);
  if (s.valueCount == 2) w.U32(7).U32(8);
  w.F32(-1.0f).F32(9.0f).U8(0).U8(1).U8(0).U32(5);
  w.U32(s.listCount != 0 ? s.listCount : static_cast<u32>(s.list.size()));
  for (u64 entry : s.list) w.U64(entry);
  w.U64(s.subObject);
  if (s.version >= 101) w.U8(s.flag4);
  return w;
}

Bytes MapFile(const ByteWriter& map, const std::vector<u64>& leaves = {}) {
  return test::RootWithLeaves("CHeightMap", map, leaves);
}

std::vector<f32> FullGrid(f32 (*height)(u32 row, u32 column)) {
  std::vector<f32> heights(CHeightMap::kSampleCount);
  for (u32 r = 0; r < CHeightMap::kSamplesPerSide; ++r) {
    for (u32 c = 0; c < CHeightMap::kSamplesPerSide; ++c) heights[r * CHeightMap::kSamplesPerSide + c] = height(r, c);
  }
  return heights;
}

void ExpectBox(const CBound& bound, const Vec3& min, const Vec3& max) {
  EXPECT_EQ(bound.Min, min);
  EXPECT_EQ(bound.Max, max);
  EXPECT_EQ(bound.Center, (min + max) * 0.5f);
  EXPECT_FLOAT_EQ(bound.Radius, (min - bound.Center).Length());
}

TEST_F(HeightMapTest, Defaults) {
  CPointer<CHeightMap> map(new CHeightMap());
  EXPECT_EQ(map->Scale, 1.0f);
  EXPECT_EQ(map->Offset, Vec3(0.0f, 0.0f, 0.0f));
  EXPECT_TRUE(map->Heights.IsEmpty());
  EXPECT_EQ(map->MinHeight, 3.4028235e38f);
  EXPECT_EQ(map->MaxHeight, -3.4028235e38f);
  EXPECT_TRUE(map->Flag1 && map->Flag2 && map->Flag3);
  EXPECT_FALSE(map->Flag4);
  EXPECT_EQ(map->Setting, 2u);
  EXPECT_TRUE(map->GetTotalBound().IsEmpty());
  EXPECT_EQ(map->GetVersion(), 101u);
  EXPECT_STREQ(map->GetClassRecord().name, "CHeightMap");
  // No member group of its own: the CDorun part's groups alone.
  test::GroupNames groups;
  map->DescribeMembers(groups);
  test::GroupNames plain;
  map->CDorun::DescribeMembers(plain);
  EXPECT_EQ(groups.names, plain.names);
  // Three empty buffers and an empty list: four counts.
  EXPECT_EQ(map->GetSaveSize(), CPointer<CDorun>(new CHeightMap())->CDorun::GetSaveSize() + 48 + 16);
}

TEST_F(HeightMapTest, AFlatFieldIsBoundBlockByBlock) {
  Stored s;
  s.offset = Vec3(10.0f, 20.0f, 5.0f);
  s.heights = FullGrid([](u32, u32) { return 0.0f; });
  CStream stream;
  CMemoryIo device;
  Result r = kErrStream;
  CHeightMap* map = test::LoadRoot<CHeightMap>(MapFile(MapBody(1, s)), stream, device, r);
  ASSERT_EQ(r, kOk);
  ASSERT_NE(map, nullptr);
  ExpectBox(map->GetBlockBounds()[0], {10.0f, 20.0f, 5.0f}, {3210.0f, 3220.0f, 5.0f});
  // Block (row 2, column 5) is element 21.
  ExpectBox(map->GetBlockBounds()[2 * 8 + 5], {16010.0f, 6420.0f, 5.0f}, {19210.0f, 9620.0f, 5.0f});
  ExpectBox(map->GetTotalBound(), {10.0f, 20.0f, 5.0f}, {25610.0f, 25620.0f, 5.0f});
}

TEST_F(HeightMapTest, EachBlockTakesTheLowestAndHighestOfItsSamples) {
  CPointer<CHeightMap> map(new CHeightMap());
  // Rising along the scan (column by column, each column downwards): the
  // first sample of a block is its lowest.
  const std::vector<f32> rising = FullGrid([](u32 r, u32 c) { return static_cast<f32>(c * 1000 + r); });
  ASSERT_EQ(map->Heights.Create(CHeightMap::kSampleCount, rising.data()), kOk);
  map->Offset.z = -1.0f;
  ASSERT_EQ(map->ComputeBlockBounds(), kOk);
  const CBound& first = map->GetBlockBounds()[0];
  EXPECT_EQ(first.Min.z, -1.0f);
  EXPECT_EQ(first.Max.z, 64.0f * 1000.0f + 64.0f - 1.0f);
  // Block (row 1, column 3): columns 192..256, rows 64..128, edges shared.
  const CBound& inner = map->GetBlockBounds()[1 * 8 + 3];
  EXPECT_EQ(inner.Min.z, 192.0f * 1000.0f + 64.0f - 1.0f);
  EXPECT_EQ(inner.Max.z, 256.0f * 1000.0f + 128.0f - 1.0f);
  // One raised sample on a block corner reaches the four blocks that
  // share it and no other.
  std::vector<f32> flat(CHeightMap::kSampleCount, 0.0f);
  flat[128 * CHeightMap::kSamplesPerSide + 192] = 7.0f;
  ASSERT_EQ(map->Heights.Create(CHeightMap::kSampleCount, flat.data()), kOk);
  ASSERT_EQ(map->ComputeBlockBounds(), kOk);
  for (u32 i = 0; i < 8; ++i) {
    for (u32 j = 0; j < 8; ++j) {
      const bool shares = (i == 1 || i == 2) && (j == 2 || j == 3);
      EXPECT_EQ(map->GetBlockBounds()[i * 8 + j].Max.z, shares ? 6.0f : -1.0f) << i << ", " << j;
    }
  }
  EXPECT_EQ(map->GetTotalBound().Max.z, 6.0f);
  EXPECT_EQ(map->GetTotalBound().Min.z, -1.0f);
}

// Any sample count other than the full grid leaves the field unbounded:
// the pass never reads past the buffer, and the load still succeeds.
TEST_F(HeightMapTest, WithoutTheFullGridEveryBoundStaysEmpty) {
  const u32 counts[] = {0, 1, CHeightMap::kSampleCount - 1, CHeightMap::kSampleCount + 1};
  for (const u32 count : counts) {
    SCOPED_TRACE(count);
    Stored s;
    s.heights.assign(count, 4.0f);
    CStream stream;
    CMemoryIo device;
    Result r = kErrStream;
    CHeightMap* map = test::LoadRoot<CHeightMap>(MapFile(MapBody(1, s)), stream, device, r);
    ASSERT_EQ(r, kOk);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->Heights.GetCount(), count);
    for (const CBound& block : map->GetBlockBounds()) EXPECT_TRUE(block.IsEmpty());
    EXPECT_TRUE(map->GetTotalBound().IsEmpty());
    EXPECT_EQ(map->ComputeBlockBounds(), kDone);
  }
  // A field that had bounds loses them with its grid.
  CPointer<CHeightMap> map(new CHeightMap());
  ASSERT_EQ(map->Heights.Create(CHeightMap::kSampleCount), kOk);
  ASSERT_EQ(map->ComputeBlockBounds(), kOk);
  EXPECT_FALSE(map->GetTotalBound().IsEmpty());
  ASSERT_EQ(map->Heights.Create(16), kOk);
  EXPECT_EQ(map->ComputeBlockBounds(), kDone);
  EXPECT_TRUE(map->GetTotalBound().IsEmpty());
  EXPECT_TRUE(map->GetBlockBounds()[63].IsEmpty());
}

TEST_F(HeightMapTest, EveryStoredForm) {
  struct Row {
    const char* what;
    u32 version;
    u8 flag4;
    bool expected;
  };
  const Row rows[] = {
      {"1.00 ends after SubObject: Flag4 stays false", 100, 1, false},
      {"1.01 with Flag4 set", 101, 1, true},
      {"1.01: any non-zero byte reads as true", 101, 2, true},
      {"1.01 with Flag4 clear", 101, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Stored s;
    s.version = row.version;
    s.flag4 = row.flag4;
    s.heights = {1.0f, 2.0f, 3.0f};
    s.list = {0x20, 0, 0x21};
    s.subObject = 0x22;
    const Bytes bytes = MapFile(MapBody(1, s), {0x20, 0x21, 0x22});
    CStream stream;
    CMemoryIo device;
    Result r = kErrStream;
    CHeightMap* map = test::LoadRoot<CHeightMap>(bytes, stream, device, r);
    ASSERT_EQ(r, kOk);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->Flag4, row.expected);
    EXPECT_EQ(map->Scale, 2.0f);
    ASSERT_EQ(map->Heights.GetCount(), 3u);
    EXPECT_EQ(map->Heights[2], 3.0f);
    ASSERT_EQ(map->Vectors.GetCount(), 1u);
    EXPECT_EQ(map->Vectors[0], Vec3(1.0f, 2.0f, 3.0f));
    ASSERT_EQ(map->Values.GetCount(), 2u);
    EXPECT_EQ(map->Values[1], 8u);
    EXPECT_EQ(map->MinHeight, -1.0f);
    EXPECT_EQ(map->MaxHeight, 9.0f);
    EXPECT_FALSE(map->Flag1);
    EXPECT_TRUE(map->Flag2);
    EXPECT_FALSE(map->Flag3);
    EXPECT_EQ(map->Setting, 5u);
    ASSERT_EQ(map->GetSubObjectList().size(), 3u);
    EXPECT_EQ(map->GetSubObjectList()[0], stream.GetLoadedObjects()[1].Get());
    EXPECT_EQ(map->GetSubObjectList()[1], nullptr);
    EXPECT_EQ(map->GetSubObjectList()[2], stream.GetLoadedObjects()[2].Get());
    EXPECT_EQ(map->GetSubObject(), stream.GetLoadedObjects()[3].Get());
    EXPECT_EQ(map->GetSaveSize(), MapBody(1, s).Size() + (row.version < 101 ? 1 : 0) + 8 + 10);
    // Saved again it takes the current form, which loads to the same
    // values.
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    CHeightMap* back = test::LoadRoot<CHeightMap>(again, reloaded, device2, r);
    ASSERT_EQ(r, kOk);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Flag4, row.expected);
    EXPECT_EQ(back->GetSubObjectList().size(), 3u);
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFieldFirstRecordOffset);
  }
}

TEST_F(HeightMapTest, SaveLoadSave) {
  CPointer<CHeightMap> map(new CHeightMap());
  map->SetName(u"field");
  map->Scale = 0.5f;
  map->Offset = Vec3(1.0f, 2.0f, 3.0f);
  const f32 heights[] = {0.25f, 0.5f};
  ASSERT_EQ(map->Heights.Create(2, heights), kOk);
  ASSERT_EQ(map->Vectors.Create(1), kOk);
  ASSERT_EQ(map->Values.Create(3), kOk);
  map->Values[2] = 99;
  map->MinHeight = 0.25f;
  map->Flag2 = false;
  map->Flag4 = true;
  map->Setting = 7;
  CPointer<test::CTestLeaf> shared(new test::CTestLeaf(u"shared"));
  CPointer<test::CTestLeaf> single(new test::CTestLeaf(u"single"));
  ASSERT_EQ(map->AddListObject(shared.Get()), kOk);
  ASSERT_EQ(map->AddListObject(nullptr), kOk);
  ASSERT_EQ(map->AddListObject(shared.Get()), kOk);
  ASSERT_EQ(map->SetSubObject(single.Get()), kOk);
  // 4 + 8 heights, 4 + 12, 4 + 12 values, 4 + 24 ids.
  EXPECT_EQ(map->GetSaveSize(), map->CDorun::GetSaveSize() + 48 + 12 + 16 + 16 + 28);
  CStream loaded;
  CMemoryIo device;
  const Bytes first = test::ExpectSaveLoadSave({map.Get()}, loaded, device);
  auto* back = DynamicCast<CHeightMap>(loaded.GetRootObject(0));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetName(), u"field");
  EXPECT_EQ(back->Heights, map->Heights);
  EXPECT_EQ(back->Values, map->Values);
  EXPECT_EQ(back->Offset, map->Offset);
  EXPECT_TRUE(back->Flag4);
  ASSERT_EQ(back->GetSubObjectList().size(), 3u);
  EXPECT_EQ(back->GetSubObjectList()[0], back->GetSubObjectList()[2]);
  EXPECT_EQ(back->GetSubObjectList()[1], nullptr);
  ASSERT_NE(back->GetSubObject(), nullptr);
  EXPECT_EQ(back->GetSubObject()->GetName(), u"single");
  test::ExpectPrefixesFailBetweenRecords(first, test::kFieldFirstRecordOffset);
}

TEST_F(HeightMapTest, RefusedRecords) {
  struct Row {
    const char* what;
    Stored stored;
    Result expected;
  };
  Stored newer;
  newer.version = 102;
  Stored heights;
  heights.heightCount = 0x10000000u;
  Stored vectors;
  vectors.vectorCount = 0x08000000u;
  Stored values;
  values.valueCount = 0x40000000u;
  Stored list;
  list.listCount = 0x20000000u;
  Stored ownEntry;
  ownEntry.list = {0x20, 1};
  Stored ownSubObject;
  ownSubObject.subObject = 1;
  const Row rows[] = {
      {"a newer version", newer, kErrNewerVersion},
      {"a height count beyond the record", heights, kErrStream},
      {"a vector count beyond the record", vectors, kErrStream},
      {"a value count beyond the record", values, kErrStream},
      {"a list count beyond the record", list, kErrStream},
      {"the map in its own list", ownEntry, kErrNotFound},
      {"the map as its own SubObject", ownSubObject, kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(MapFile(MapBody(1, row.stored), {0x20}), stream, device), row.expected);
  }
  // Two maps that hold each other.
  Stored first;
  first.subObject = 2;
  Stored second;
  second.list = {1};
  test::SceneFile file;
  file.Record("CHeightMap", MapBody(1, first), true);
  file.Record("CHeightMap", MapBody(2, second));
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrNotFound);
}

TEST_F(HeightMapTest, TheSettersRefuseWhatWouldHoldTheMap) {
  CPointer<CHeightMap> map(new CHeightMap());
  CPointer<CHeightMap> outer(new CHeightMap());
  ASSERT_EQ(outer->SetSubObject(map.Get()), kOk);
  map->SetModified(false);
  EXPECT_EQ(map->AddListObject(map.Get()), kErrInvalidArg);
  EXPECT_EQ(map->SetSubObject(map.Get()), kErrInvalidArg);
  EXPECT_EQ(map->AddListObject(outer.Get()), kErrInvalidArg);
  EXPECT_EQ(map->SetSubObject(outer.Get()), kErrInvalidArg);
  EXPECT_TRUE(map->GetSubObjectList().empty());
  EXPECT_EQ(map->GetSubObject(), nullptr);
  EXPECT_FALSE(map->IsModified());
}

TEST_F(HeightMapTest, WalksVisitTheListThenSubObject) {
  CPointer<CHeightMap> map(new CHeightMap());
  map->SetName(u"map");
  EXPECT_FALSE(map->HasSubObjects());
  CPointer<test::CTestLeaf> a(new test::CTestLeaf(u"same"));
  CPointer<test::CTestLeaf> b(new test::CTestLeaf(u"same"));
  ASSERT_EQ(map->AddListObject(nullptr), kOk);
  EXPECT_FALSE(map->HasSubObjects());
  ASSERT_EQ(map->SetSubObject(a.Get()), kOk);
  ASSERT_EQ(map->AddListObject(b.Get()), kOk);
  EXPECT_TRUE(map->HasSubObjects());
  EXPECT_EQ(map->Find(u"same", nullptr, false, false), b.Get());
  EXPECT_EQ(map->Find(u"map", nullptr, false, false), map.Get());
  std::vector<CBase*> all;
  map->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{map.Get(), b.Get(), a.Get()}));
  // Every entry, empty ones too, then SubObject, before the CDorun part's
  // three chain heads.
  test::AllReferences references;
  map->EnumReferences(references);
  ASSERT_GE(references.seen.size(), 3u);
  EXPECT_EQ(references.seen[0], (std::pair<CBase*, u32>{nullptr, 1}));
  EXPECT_EQ(references.seen[1], (std::pair<CBase*, u32>{b.Get(), 1}));
  EXPECT_EQ(references.seen[2], (std::pair<CBase*, u32>{a.Get(), 1}));
  test::AllReferences plain;
  CPointer<CDorun>(new CHeightMap())->CDorun::EnumReferences(plain);
  EXPECT_EQ(references.seen.size(), 3 + plain.seen.size());
  EXPECT_TRUE(map->UpdateMarked(ObjectSet{a.Get()}));
  EXPECT_TRUE(map->IsMarked());
  EXPECT_TRUE(a->IsMarked());
  EXPECT_FALSE(b->IsMarked());
  map->ClearMarked();
  EXPECT_FALSE(map->IsMarked() || a->IsMarked());
  EXPECT_FALSE(map->UpdateMarked(ObjectSet{}));
  // References are not resolved through the map.
  EXPECT_EQ(map->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(map->ResolveReferences(map.Get()), kOk);
}

TEST_F(HeightMapTest, CreateInstanceAndClone) {
  CPointer<CHeightMap> map(new CHeightMap());
  map->SetName(u"source");
  map->Scale = 3.0f;
  map->Flag4 = true;
  map->Setting = 9;
  ASSERT_EQ(map->Heights.Create(CHeightMap::kSampleCount), kOk);
  ASSERT_EQ(map->ComputeBlockBounds(), kOk);
  CPointer<test::CTestLeaf> shared(new test::CTestLeaf(u"shared"));
  ASSERT_EQ(map->AddListObject(shared.Get()), kOk);
  ASSERT_EQ(map->AddListObject(nullptr), kOk);
  ASSERT_EQ(map->AddListObject(shared.Get()), kOk);
  ASSERT_EQ(map->SetSubObject(shared.Get()), kOk);

  CPointer<CBase> instance;
  ASSERT_EQ(map->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CHeightMap>(instance.Get());
  ASSERT_NE(made, nullptr);
  // Fresh root part: no name; values and buffers copied into new storage.
  EXPECT_EQ(made->GetName(), u"");
  EXPECT_EQ(made->Scale, 3.0f);
  EXPECT_TRUE(made->Flag4);
  EXPECT_EQ(made->Setting, 9u);
  EXPECT_EQ(made->Heights, map->Heights);
  EXPECT_NE(made->Heights.GetData(), map->Heights.GetData());
  EXPECT_TRUE(made->GetSubObjectList().empty());
  EXPECT_EQ(made->GetSubObject(), nullptr);
  EXPECT_TRUE(made->GetTotalBound().IsEmpty());

  CloneMap cloneMap;
  CPointer<CBase> cloned;
  ASSERT_EQ(map->Clone(cloned, cloneMap, 0), kOk);
  auto* copy = DynamicCast<CHeightMap>(cloned.Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->GetSubObjectList().size(), 3u);
  CBase* leafClone = copy->GetSubObjectList()[0].Get();
  ASSERT_NE(leafClone, nullptr);
  EXPECT_NE(leafClone, shared.Get());
  // One source object, one clone, wherever it is held.
  EXPECT_EQ(copy->GetSubObjectList()[1], nullptr);
  EXPECT_EQ(copy->GetSubObjectList()[2].Get(), leafClone);
  EXPECT_EQ(copy->GetSubObject(), leafClone);
  EXPECT_EQ(copy->Scale, 3.0f);
  EXPECT_TRUE(copy->GetTotalBound().IsEmpty());
  // Cloned again through the same map: the earlier clone.
  CPointer<CBase> again;
  EXPECT_EQ(map->Clone(again, cloneMap, 0), kDone);
  EXPECT_EQ(again.Get(), copy);
}

TEST_F(HeightMapTest, CopyToSharesTheObjects) {
  CPointer<CHeightMap> source(new CHeightMap());
  source->Offset = Vec3(4.0f, 5.0f, 6.0f);
  source->MaxHeight = 12.0f;
  source->Flag1 = false;
  ASSERT_EQ(source->Values.Create(2), kOk);
  std::vector<CPointer<test::CTestLeaf>> leaves;
  for (int i = 0; i < 3; ++i) {
    leaves.emplace_back(new test::CTestLeaf(u"entry"));
    ASSERT_EQ(source->AddListObject(leaves.back().Get()), kOk);
  }
  CPointer<CHeightMap> target(new CHeightMap());
  ASSERT_EQ(target->Heights.Create(CHeightMap::kSampleCount), kOk);
  ASSERT_EQ(target->ComputeBlockBounds(), kOk);
  const CBound bounds = target->GetTotalBound();
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(displaced.empty());
  ASSERT_EQ(target->GetSubObjectList().size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(target->GetSubObjectList()[i].Get(), leaves[i].Get());
  EXPECT_EQ(target->Offset, source->Offset);
  EXPECT_EQ(target->MaxHeight, 12.0f);
  EXPECT_FALSE(target->Flag1);
  EXPECT_EQ(target->Values.GetCount(), 2u);
  // A source buffer without storage empties the target's.
  EXPECT_TRUE(target->Heights.IsEmpty());
  // The bounds stay as they were.
  EXPECT_EQ(target->GetTotalBound(), bounds);

  // Copied from a map with one entry and a SubObject, the three former
  // entries go to the displaced list.
  CPointer<CHeightMap> small(new CHeightMap());
  CPointer<test::CTestLeaf> only(new test::CTestLeaf(u"only"));
  ASSERT_EQ(small->AddListObject(only.Get()), kOk);
  ASSERT_EQ(small->SetSubObject(only.Get()), kOk);
  ASSERT_EQ(small->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(displaced.size(), 3u);
  ASSERT_EQ(target->GetSubObjectList().size(), 1u);
  EXPECT_EQ(target->GetSubObject(), only.Get());

  CPointer<test::CTestLeaf> leaf(new test::CTestLeaf(u"other"));
  EXPECT_EQ(source->CopyTo(leaf.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

// Height maps nested in height maps far deeper than plain recursion could
// follow: every walk, the save, the load and the destruction run in
// bounded stack.
TEST_F(HeightMapTest, DeepNestingCostsNoStack) {
  constexpr std::size_t kDepth = 50000;
  std::vector<CPointer<CHeightMap>> maps(kDepth);
  for (auto& map : maps) map = new CHeightMap();
  // Linked from the outside in, so that each setter's check meets an
  // empty map.
  for (std::size_t i = 0; i + 1 < kDepth; ++i) {
    ASSERT_EQ(maps[i]->SetSubObject(maps[i + 1].Get()), kOk);
  }
  maps.back()->SetName(u"deepest");
  CPointer<CHeightMap> outer = maps.front();
  maps.clear();

  EXPECT_NE(outer->Find(u"deepest", nullptr, false, false), nullptr);
  std::vector<CBase*> all;
  outer->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all.size(), kDepth);
  EXPECT_TRUE(outer->UpdateMarked(ObjectSet{all.back()}));
  outer->ClearMarked();
  CloneMap cloneMap;
  CPointer<CBase> clone;
  ASSERT_EQ(outer->Clone(clone, cloneMap, 0), kOk);
  EXPECT_EQ(cloneMap.size(), kDepth);

  const Bytes bytes = test::SaveRoots({outer.Get()});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  EXPECT_EQ(stream.GetLoadedObjects().size(), kDepth);
}

}  // namespace
}  // namespace KT
