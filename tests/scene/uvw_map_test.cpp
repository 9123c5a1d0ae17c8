// UV channels: the map with its coordinates and the index data it owns;
// sharing, copying and cloning, and both records (round trips, sizes,
// truncation, the old inline layout, the old class name and hostile files).
#include "scene/uvw_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

class UvwMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    // As the library's registration maps the old name.
    CClassFactory::Register("CTriMeshUVWMap", CClassFactory::FindCreator("CUvwMap"));
    test::UseTestIds(0);
  }
};

CPointer<CUvwMap> NewMap(const char16_t* name, const std::vector<Vec>& uvw = {}) {
  CPointer<CUvwMap> map;
  EXPECT_EQ(CUvwMap::Create(map), kOk);
  map->SetName(name);
  if (!uvw.empty()) {
    EXPECT_EQ(map->AllocateUvw(static_cast<u32>(uvw.size())), kOk);
    std::copy(uvw.begin(), uvw.end(), map->GetUVW().begin());
  }
  return map;
}

CPointer<CUvwMapData> NewData(const char16_t* name, const std::vector<u32>& corners = {},
                              const std::vector<u32>& vertices = {}) {
  CPointer<CUvwMapData> data;
  EXPECT_EQ(CUvwMapData::Create(data), kOk);
  data->SetName(name);
  if (!corners.empty()) {
    EXPECT_EQ(data->AllocateUvwTriIndex(static_cast<u32>(corners.size() / 3)), kOk);
    std::copy(corners.begin(), corners.end(), data->GetUVWTriIndex().begin());
  }
  if (!vertices.empty()) {
    EXPECT_EQ(data->AllocateVertexUvwMap(static_cast<u32>(vertices.size())), kOk);
    std::copy(vertices.begin(), vertices.end(), data->GetVertexUVWMap().begin());
  }
  return data;
}

std::vector<u32> Entries(const CBuffer<u32>& buffer) { return std::vector<u32>(buffer.begin(), buffer.end()); }
std::vector<Vec> Entries(const CBuffer<Vec>& buffer) { return std::vector<Vec>(buffer.begin(), buffer.end()); }

// A map of two triangles over four coordinates, with its data.
CPointer<CUvwMap> QuadMap() {
  CPointer<CUvwMap> map = NewMap(u"quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}});
  map->SetUvwMapData(NewData(u"quad data", {0, 1, 2, 0, 2, 3}, {3, 2, 1, 0}).Get());
  return map;
}

// --- fields ----------------------------------------------------------------------

TEST_F(UvwMapTest, DefaultsAndClassRecords) {
  CPointer<CUvwMap> map = NewMap(u"m");
  EXPECT_EQ(map->GetUvwMapData(), nullptr);
  EXPECT_TRUE(map->GetUVW().IsEmpty());
  EXPECT_STREQ(map->GetClassRecord().name, "CUvwMap");
  EXPECT_EQ(map->GetVersion(), 201u);
  EXPECT_TRUE(map->IsKindOf(CDorun::StaticClassRecord()));
  CPointer<CUvwMapData> data = NewData(u"d");
  EXPECT_TRUE(data->GetUVWTriIndex().IsEmpty());
  EXPECT_TRUE(data->GetVertexUVWMap().IsEmpty());
  EXPECT_STREQ(data->GetClassRecord().name, "CUvwMapData");
  EXPECT_EQ(data->GetVersion(), 100u);
  EXPECT_TRUE(data->IsKindOf(CDorun::StaticClassRecord()));
}

TEST_F(UvwMapTest, AllocationsGiveZeroedEntriesAndRefuseZero) {
  CPointer<CUvwMap> map = NewMap(u"m", {{1, 2, 3}});
  map->SetModified(false);
  EXPECT_EQ(map->AllocateUvw(0), kErrInvalidArg);
  EXPECT_EQ(Entries(map->GetUVW()), (std::vector<Vec>{{1, 2, 3}}));
  EXPECT_FALSE(map->IsModified());
  ASSERT_EQ(map->AllocateUvw(3), kOk);
  EXPECT_EQ(Entries(map->GetUVW()), std::vector<Vec>(3));
  EXPECT_TRUE(map->IsModified());

  CPointer<CUvwMapData> data = NewData(u"d", {7, 8, 9}, {5});
  EXPECT_EQ(data->AllocateUvwTriIndex(0), kErrInvalidArg);
  EXPECT_EQ(data->AllocateVertexUvwMap(0), kErrInvalidArg);
  // Three entries per triangle would not fit in 32 bits.
  EXPECT_EQ(data->AllocateUvwTriIndex(0x60000000u), kErrOutOfMemory);
  EXPECT_EQ(Entries(data->GetUVWTriIndex()), (std::vector<u32>{7, 8, 9}));
  EXPECT_EQ(Entries(data->GetVertexUVWMap()), (std::vector<u32>{5}));
  ASSERT_EQ(data->AllocateUvwTriIndex(2), kOk);
  EXPECT_EQ(Entries(data->GetUVWTriIndex()), std::vector<u32>(6));
  ASSERT_EQ(data->AllocateVertexUvwMap(4), kOk);
  EXPECT_EQ(Entries(data->GetVertexUVWMap()), std::vector<u32>(4));
}

TEST_F(UvwMapTest, SetUvwMapDataIsACountedAssignment) {
  CPointer<CUvwMap> map = NewMap(u"m");
  CPointer<CUvwMapData> first = NewData(u"first");
  CPointer<CUvwMapData> second = NewData(u"second");
  map->SetModified(false);
  map->SetUvwMapData(first.Get());
  EXPECT_EQ(map->GetUvwMapData(), first.Get());
  EXPECT_EQ(first->GetReferences(), 2u);
  EXPECT_TRUE(map->IsModified());
  map->SetModified(false);
  map->SetUvwMapData(first.Get());
  EXPECT_EQ(first->GetReferences(), 2u);
  EXPECT_FALSE(map->IsModified());
  map->SetUvwMapData(second.Get());
  EXPECT_EQ(first->GetReferences(), 1u);
  EXPECT_EQ(second->GetReferences(), 2u);
  map->SetUvwMapData(nullptr);
  EXPECT_EQ(second->GetReferences(), 1u);
  EXPECT_EQ(map->GetUvwMapData(), nullptr);
}

TEST_F(UvwMapTest, CheckIndicesTestsBothBuffersAgainstTheCoordinates) {
  CPointer<CUvwMap> map = QuadMap();
  EXPECT_EQ(map->CheckIndices(), kOk);
  map->GetUvwMapData()->GetUVWTriIndex()[5] = 4;
  EXPECT_EQ(map->CheckIndices(), kErrNotFound);
  map->GetUvwMapData()->GetUVWTriIndex()[5] = 3;
  map->GetUvwMapData()->GetVertexUVWMap()[0] = 0xFFFFFFFFu;
  EXPECT_EQ(map->CheckIndices(), kErrNotFound);
  EXPECT_EQ(NewMap(u"no data")->CheckIndices(), kOk);
}

// --- the object protocol --------------------------------------------------------------

TEST_F(UvwMapTest, FindCollectAndMarkingReachTheData) {
  CPointer<CUvwMap> map = QuadMap();
  CUvwMapData* data = map->GetUvwMapData();
  EXPECT_EQ(map->Find(u"quad", nullptr, false, false), map.Get());
  EXPECT_EQ(map->Find(u"quad data", nullptr, false, false), data);
  EXPECT_EQ(map->Find(nullptr, &CUvwMapData::StaticClassRecord(), false, false), data);
  EXPECT_EQ(map->Find(u"other", nullptr, false, false), nullptr);
  std::vector<CBase*> all;
  map->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{map.Get(), data}));

  EXPECT_TRUE(map->UpdateMarked({data}));
  EXPECT_TRUE(map->IsMarked());
  EXPECT_TRUE(data->IsMarked());
  map->ClearMarked();
  EXPECT_FALSE(map->IsMarked());
  EXPECT_FALSE(data->IsMarked());
  EXPECT_TRUE(map->UpdateMarked({map.Get()}));
  EXPECT_FALSE(data->IsMarked());
  EXPECT_FALSE(map->UpdateMarked({}));
  EXPECT_FALSE(map->IsMarked());
}

TEST_F(UvwMapTest, TheDataIsAnOwnedSubObject) {
  struct Refs : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  };
  CPointer<CUvwMap> map = NewMap(u"m");
  EXPECT_FALSE(map->HasSubObjects());
  Refs empty;
  map->EnumReferences(empty);
  ASSERT_FALSE(empty.seen.empty());
  EXPECT_EQ(empty.seen.front(), std::make_pair(static_cast<CBase*>(nullptr), 1u));

  map = QuadMap();
  EXPECT_TRUE(map->HasSubObjects());
  Refs refs;
  map->EnumReferences(refs);
  ASSERT_FALSE(refs.seen.empty());
  EXPECT_EQ(refs.seen.front(), std::make_pair(static_cast<CBase*>(map->GetUvwMapData()), 1u));
  EXPECT_FALSE(map->GetUvwMapData()->HasSubObjects());
}

TEST_F(UvwMapTest, CreateInstanceCopiesWithoutTheData) {
  CPointer<CUvwMap> map = QuadMap();
  CPointer<CBase> out;
  ASSERT_EQ(map->CreateInstance(out), kOk);
  auto* copy = DynamicCast<CUvwMap>(out.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, map.Get());
  EXPECT_EQ(copy->GetName(), u"quad");
  EXPECT_EQ(copy->GetUVW(), map->GetUVW());
  EXPECT_NE(copy->GetUVW().GetData(), map->GetUVW().GetData());
  EXPECT_EQ(copy->GetUvwMapData(), nullptr);

  CPointer<CBase> dataOut;
  ASSERT_EQ(map->GetUvwMapData()->CreateInstance(dataOut), kOk);
  EXPECT_EQ(test::Members(dataOut.Get()), test::Members(map->GetUvwMapData()));
}

TEST_F(UvwMapTest, CloneClonesTheDataOnceThroughTheMap) {
  CPointer<CUvwMap> first = QuadMap();
  CPointer<CUvwMap> second = NewMap(u"second", {{5, 5, 5}});
  second->SetUvwMapData(first->GetUvwMapData());  // two channels, one index set
  CloneMap cloneMap;
  CPointer<CBase> a;
  CPointer<CBase> b;
  ASSERT_EQ(first->Clone(a, cloneMap, 0), kOk);
  ASSERT_EQ(second->Clone(b, cloneMap, 0), kOk);
  auto* firstClone = DynamicCast<CUvwMap>(a.Get());
  auto* secondClone = DynamicCast<CUvwMap>(b.Get());
  ASSERT_NE(firstClone, nullptr);
  ASSERT_NE(secondClone, nullptr);
  ASSERT_NE(firstClone->GetUvwMapData(), nullptr);
  EXPECT_NE(firstClone->GetUvwMapData(), first->GetUvwMapData());
  EXPECT_EQ(secondClone->GetUvwMapData(), firstClone->GetUvwMapData());
  EXPECT_EQ(test::Members(firstClone), test::Members(first.Get()));
  EXPECT_EQ(test::Members(firstClone->GetUvwMapData()), test::Members(first->GetUvwMapData()));
  // Cloned once: a second clone is the first one.
  CPointer<CBase> again;
  EXPECT_EQ(first->Clone(again, cloneMap, 0), kDone);
  EXPECT_EQ(again.Get(), firstClone);
  // Without data the clone has none.
  CloneMap other;
  CPointer<CBase> bare;
  ASSERT_EQ(NewMap(u"bare")->Clone(bare, other, 0), kOk);
  EXPECT_EQ(static_cast<CUvwMap*>(bare.Get())->GetUvwMapData(), nullptr);
}

TEST_F(UvwMapTest, CopyToCopiesTheBuffersButNotTheDataReference) {
  CPointer<CUvwMap> source = QuadMap();
  CPointer<CUvwMapData> targetData = NewData(u"target data", {9, 9, 9});
  CPointer<CUvwMap> target = NewMap(u"target", {{7, 7, 7}});
  target->SetUvwMapData(targetData.Get());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetName(), u"quad");
  EXPECT_EQ(target->GetUVW(), source->GetUVW());
  EXPECT_EQ(target->GetUvwMapData(), targetData.Get());
  // An empty source empties the target's coordinates.
  ASSERT_EQ(NewMap(u"empty")->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(target->GetUVW().IsEmpty());

  ASSERT_EQ(source->GetUvwMapData()->CopyTo(targetData.Get(), displaced, 0), kOk);
  EXPECT_EQ(test::Members(targetData.Get()), test::Members(source->GetUvwMapData()));
  ASSERT_EQ(NewData(u"empty")->CopyTo(targetData.Get(), displaced, 0), kOk);
  EXPECT_TRUE(targetData->GetUVWTriIndex().IsEmpty());
  EXPECT_TRUE(targetData->GetVertexUVWMap().IsEmpty());
  EXPECT_EQ(source->CopyTo(source.Get(), displaced, 0), kOk);
  EXPECT_EQ(source->GetUVW().GetCount(), 4u);
}

TEST_F(UvwMapTest, CopyToRefusesAnotherClassAndChangesNothing) {
  CPointer<CUvwMap> map = QuadMap();
  CPointer<CUvwMapData> data = NewData(u"data", {1, 2, 3});
  DisplacedList displaced;
  EXPECT_EQ(map->CopyTo(data.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(data->GetName(), u"data");
  EXPECT_EQ(map->GetUvwMapData()->CopyTo(map.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(map->GetName(), u"quad");
  EXPECT_EQ(map->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_TRUE(displaced.empty());
}

TEST_F(UvwMapTest, DescribesItsMembers) {
  struct Names : CMemberVisitor {
    std::vector<std::u16string> names;
    void BeginGroup(const char16_t* name) override { names.push_back(std::u16string(u"group ") + name); }
    void UIntArray(const char16_t* name, const u32*, u32 count) override {
      names.push_back(std::u16string(name) + u"#" + static_cast<char16_t>(u'0' + count));
    }
    void VectorArray(const char16_t* name, const Vec*, u32 count) override {
      names.push_back(std::u16string(name) + u"#" + static_cast<char16_t>(u'0' + count));
    }
  };
  CPointer<CUvwMap> map = QuadMap();
  Names mapNames;
  map->DescribeMembers(mapNames);
  EXPECT_EQ(mapNames.names, (std::vector<std::u16string>{u"group CUvwMap Member", u"UVW#4", u"group CDorun Member",
                                                          u"group CBase Member"}));
  Names dataNames;
  map->GetUvwMapData()->DescribeMembers(dataNames);
  EXPECT_EQ(dataNames.names, (std::vector<std::u16string>{u"group CUvwMapData Member", u"VertexUVWMap#4",
                                                           u"UVWTriIndex#6", u"group CDorun Member",
                                                           u"group CBase Member"}));
}

TEST_F(UvwMapTest, MemorySizeGrowsWithTheBuffers) {
  CPointer<CUvwMap> map = QuadMap();
  EXPECT_EQ(map->GetMemorySize(), map->CDorun::GetMemorySize() + 12 * 4 + 24);
  CUvwMapData* data = map->GetUvwMapData();
  EXPECT_EQ(data->GetMemorySize(), data->CDorun::GetMemorySize() + 4 * (4 + 6) + 32);
}

// --- records ------------------------------------------------------------------------

// Bytes in front of the first record of a file with one root: the header,
// four section sizes and the root tag.
constexpr std::size_t kFirstRecordOffset = 40;

struct Loaded {
  CStream stream;
  CMemoryIo device;
  Result result = kOk;
  CUvwMap* Map() { return DynamicCast<CUvwMap>(stream.GetRootObject(0)); }
};

// Loads `bytes` with ids from block 1.
void Load(const Bytes& bytes, Loaded& loaded) {
  test::UseTestIds(1);
  loaded.result = test::LoadScene(bytes, loaded.stream, loaded.device);
}

TEST_F(UvwMapTest, MapsSurviveSaveAndLoad) {
  struct Row {
    const char* name;
    std::vector<Vec> uvw;
    bool hasData;
    std::vector<u32> corners;
    std::vector<u32> vertices;
  };
  const std::vector<Row> rows = {
      {"coordinates and both index buffers", {{0, 0, 0}, {1, 0.5f, -2}, {3e9f, 0, 1}}, true, {0, 1, 2}, {2, 1, 0, 0}},
      {"no coordinates", {}, true, {0, 0, 0, 1, 1, 1}, {}},
      {"no data", {{1, 2, 3}}, false, {}, {}},
      {"empty data", {{1, 2, 3}}, true, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::UseTestIds(0);
    CPointer<CUvwMap> map = NewMap(u"channel", row.uvw);
    if (row.hasData) map->SetUvwMapData(NewData(u"indices", row.corners, row.vertices).Get());
    const Bytes bytes = test::SaveRoots({map.Get()});
    ASSERT_FALSE(bytes.empty());
    const u32 dataSize = row.hasData ? map->GetUvwMapData()->GetSaveSize() : 0;
    EXPECT_EQ(bytes.size() - kFirstRecordOffset, map->GetSaveSize() + dataSize);

    Loaded loaded;
    Load(bytes, loaded);
    ASSERT_EQ(loaded.result, kOk);
    CUvwMap* copy = loaded.Map();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(test::Members(copy), test::Members(map.Get()));
    ASSERT_EQ(copy->GetUvwMapData() != nullptr, row.hasData);
    if (row.hasData) {
      EXPECT_EQ(test::Members(copy->GetUvwMapData()), test::Members(map->GetUvwMapData()));
    }
    EXPECT_EQ(test::RenumberIds(test::SaveLoaded(loaded.stream)), test::RenumberIds(bytes));
  }
}

TEST_F(UvwMapTest, TwoMapsSharingOneDataLoadSharingIt) {
  CPointer<CUvwMap> first = QuadMap();
  CPointer<CUvwMap> second = NewMap(u"second", {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}});
  second->SetUvwMapData(first->GetUvwMapData());
  const Bytes bytes = test::SaveRoots({first.Get(), second.Get()});
  Loaded loaded;
  Load(bytes, loaded);
  ASSERT_EQ(loaded.result, kOk);
  auto* a = DynamicCast<CUvwMap>(loaded.stream.GetRootObject(0));
  auto* b = DynamicCast<CUvwMap>(loaded.stream.GetRootObject(1));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(a->GetUvwMapData(), nullptr);
  EXPECT_EQ(a->GetUvwMapData(), b->GetUvwMapData());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(loaded.stream)), test::RenumberIds(bytes));
}

TEST_F(UvwMapTest, OnlyWholeTrianglesAreSaved) {
  // Entries past the last whole triangle have no triangle to belong to; the
  // record keeps the triangles, so that it always loads again.
  for (u32 extra : {1u, 2u}) {
    SCOPED_TRACE(extra);
    test::UseTestIds(0);
    CPointer<CUvwMapData> data = NewData(u"d", {}, {0, 1});
    ASSERT_EQ(data->GetUVWTriIndex().Create(6 + extra), kOk);
    for (u32 i = 0; i < 6 + extra; ++i) data->GetUVWTriIndex()[i] = i;
    const Bytes bytes = test::SaveRoots({data.Get()});
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.size() - kFirstRecordOffset, data->GetSaveSize());
    Loaded loaded;
    Load(bytes, loaded);
    ASSERT_EQ(loaded.result, kOk);
    auto* copy = DynamicCast<CUvwMapData>(loaded.stream.GetRootObject(0));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Entries(copy->GetUVWTriIndex()), (std::vector<u32>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Entries(copy->GetVertexUVWMap()), (std::vector<u32>{0, 1}));
  }
}

TEST_F(UvwMapTest, EveryPrefixOfTheRecordsFails) {
  // One record per file: a cut between two records of the root tree is a
  // shorter tree, not a cut record.
  CPointer<CUvwMap> quad = QuadMap();
  CPointer<CUvwMap> bare = NewMap(u"bare", {{1, 2, 3}, {4, 5, 6}});
  for (CBase* object : {static_cast<CBase*>(bare.Get()), static_cast<CBase*>(quad->GetUvwMapData())}) {
    SCOPED_TRACE(object->GetClassRecord().name);
    const Bytes bytes = test::SaveRoots({object});
    ASSERT_FALSE(bytes.empty());
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

// --- byte images --------------------------------------------------------------------

// The CBase and CDorun parts of a record (no name, no chains), then `own`,
// under `className`.
Bytes Record(const std::string& className, u64 id, const ByteWriter& own) {
  ByteWriter body;
  body.Pair(2, 1).U64(id).WStr(u"");
  body.Pair(2, 1).U64(0).U64(0).U64(0);
  body.Bytes(own.Data());
  ByteWriter w;
  w.Str(className).U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  return w.Data();
}

Bytes MapRecord(u64 id, const std::vector<f32>& coordinates, u64 dataId, u32 minor = 1,
                const std::string& className = "CUvwMap") {
  ByteWriter own;
  own.Pair(2, minor).U32(static_cast<u32>(coordinates.size() / 3));
  for (f32 f : coordinates) own.F32(f);
  own.U64(dataId);
  return Record(className, id, own);
}

// A current map record that announces `count` coordinates and holds none.
Bytes MapRecordWithCount(u64 id, u32 count) {
  ByteWriter own;
  own.Pair(2, 1).U32(count).U64(0);
  return Record("CUvwMap", id, own);
}

// A data record with the counts as given (they need not match the entries).
Bytes DataRecord(u64 id, u32 cornerCount, const std::vector<u32>& corners, u32 vertexCount,
                 const std::vector<u32>& vertices, u32 minor = 0) {
  ByteWriter own;
  own.Pair(1, minor).U32(cornerCount);
  for (u32 v : corners) own.U32(v);
  own.U32(vertexCount);
  for (u32 v : vertices) own.U32(v);
  return Record("CUvwMapData", id, own);
}

// One field of the inline layout of maps up to 2.00.
struct OldField {
  u32 count = 0;
  u32 present = 1;
  std::vector<u32> words;  // the elements as stored (floats as their bits)
};

u32 Bits(f32 f) {
  u32 u = 0;
  std::memcpy(&u, &f, 4);
  return u;
}

Bytes OldMapRecord(const OldField& uvw, const OldField& corners, const OldField& vertices,
                   const std::string& className = "CUvwMap", u64 id = 0x10) {
  ByteWriter own;
  own.Pair(2, 0);
  for (const OldField* field : {&uvw, &corners, &vertices}) {
    own.U32(field->count).U32(field->present);
    for (u32 w : field->words) own.U32(w);
  }
  return Record(className, id, own);
}

// A 3.01 file whose root tree holds `records`; the last is the only root.
Bytes FileOf(const std::vector<Bytes>& records) {
  ByteWriter tree;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i + 1 == records.size()) tree.Str("_Root");
    tree.Bytes(records[i]);
  }
  ByteWriter w;
  w.Chars("_KTVusk").Pair(3, 1).U32(0).U32(0).U32(0).U32(static_cast<u32>(tree.Size())).Bytes(tree.Data());
  return w.Data();
}

bool Contains(const Bytes& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST_F(UvwMapTest, VersionTwoHundredMapLoadsWithNewIndexData) {
  const OldField uvw{2, 1, {Bits(0.25f), Bits(0.5f), 0, Bits(1), Bits(1), Bits(-1)}};
  const OldField corners{1, 1, {1, 0, 1}};
  const OldField vertices{2, 1, {0, 1}};
  for (const char* className : {"CUvwMap", "CTriMeshUVWMap"}) {
    SCOPED_TRACE(className);
    Loaded loaded;
    Load(FileOf({OldMapRecord(uvw, corners, vertices, className)}), loaded);
    ASSERT_EQ(loaded.result, kOk);
    CUvwMap* map = loaded.Map();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(Entries(map->GetUVW()), (std::vector<Vec>{{0.25f, 0.5f, 0}, {1, 1, -1}}));
    CUvwMapData* data = map->GetUvwMapData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Entries(data->GetUVWTriIndex()), (std::vector<u32>{1, 0, 1}));
    EXPECT_EQ(Entries(data->GetVertexUVWMap()), (std::vector<u32>{0, 1}));

    // Saved again in the current form and under the current name.
    const Bytes again = test::SaveLoaded(loaded.stream);
    EXPECT_TRUE(Contains(again, "CUvwMapData"));
    EXPECT_FALSE(Contains(again, "CTriMeshUVWMap"));
    Loaded reloaded;
    Load(again, reloaded);
    ASSERT_EQ(reloaded.result, kOk);
    ASSERT_NE(reloaded.Map(), nullptr);
    EXPECT_EQ(reloaded.stream.GetStoredVersion(CUvwMap::StaticClassRecord()), 201);
    EXPECT_EQ(test::Members(reloaded.Map()), test::Members(map));
    EXPECT_EQ(test::Members(reloaded.Map()->GetUvwMapData()), test::Members(data));
  }
}

TEST_F(UvwMapTest, OldLayoutFieldsWithoutTheirElements) {
  // A presence word of 0 leaves the counted entries zeroed; a count of 0
  // leaves the buffer empty. Absent entries are still held to the bytes
  // left in the file (a crafted count may not make a huge allocation).
  struct Row {
    const char* name;
    OldField uvw, corners, vertices;
    Result expected;
    std::vector<Vec> loadedUvw;
    std::vector<u32> loadedCorners, loadedVertices;
  };
  const Row rows[] = {
      {"absent coordinates and corners", {1, 0, {}}, {1, 0, {}}, {1, 1, {7}}, kOk, {Vec()}, {0, 0, 0}, {7}},
      {"empty fields", {0, 1, {}}, {0, 0, {}}, {0, 1, {}}, kOk, {}, {}, {}},
      {"absent vertices with no bytes left", {0, 1, {}}, {0, 1, {}}, {2, 0, {}}, kErrStream, {}, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Loaded loaded;
    Load(FileOf({OldMapRecord(row.uvw, row.corners, row.vertices)}), loaded);
    ASSERT_EQ(loaded.result, row.expected);
    if (row.expected != kOk) continue;
    CUvwMap* map = loaded.Map();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(Entries(map->GetUVW()), row.loadedUvw);
    ASSERT_NE(map->GetUvwMapData(), nullptr);
    EXPECT_EQ(Entries(map->GetUvwMapData()->GetUVWTriIndex()), row.loadedCorners);
    EXPECT_EQ(Entries(map->GetUvwMapData()->GetVertexUVWMap()), row.loadedVertices);
  }
}

TEST_F(UvwMapTest, OldNameLoadsAsTheCurrentClassAndSavesUnderIt) {
  Loaded loaded;
  Load(FileOf({DataRecord(0x20, 3, {0, 1, 1}, 0, {}), MapRecord(0x10, {1, 2, 3, 4, 5, 6}, 0x20, 1, "CTriMeshUVWMap")}),
       loaded);
  ASSERT_EQ(loaded.result, kOk);
  CUvwMap* map = loaded.Map();
  ASSERT_NE(map, nullptr);
  EXPECT_STREQ(map->GetClassRecord().name, "CUvwMap");
  ASSERT_NE(map->GetUvwMapData(), nullptr);
  EXPECT_EQ(Entries(map->GetUvwMapData()->GetUVWTriIndex()), (std::vector<u32>{0, 1, 1}));
  const Bytes again = test::SaveLoaded(loaded.stream);
  EXPECT_FALSE(Contains(again, "CTriMeshUVWMap"));
  EXPECT_TRUE(Contains(again, "CUvwMap"));
}

TEST_F(UvwMapTest, DataRecordWithoutEntriesKeepsItsBuffers) {
  Loaded loaded;
  Load(FileOf({DataRecord(0x20, 0, {}, 0, {}), MapRecord(0x10, {}, 0x20)}), loaded);
  ASSERT_EQ(loaded.result, kOk);
  ASSERT_NE(loaded.Map(), nullptr);
  CUvwMapData* data = loaded.Map()->GetUvwMapData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->GetUVWTriIndex().IsEmpty());
  EXPECT_TRUE(data->GetVertexUVWMap().IsEmpty());
  EXPECT_TRUE(loaded.Map()->GetUVW().IsEmpty());
}

TEST_F(UvwMapTest, DataReferenceToAnotherClassOrNothingLoadsAsNone) {
  {
    // The id names a map, not index data.
    Loaded loaded;
    Load(FileOf({MapRecord(0x20, {}, 0), MapRecord(0x10, {}, 0x20)}), loaded);
    ASSERT_EQ(loaded.result, kOk);
    ASSERT_NE(loaded.Map(), nullptr);
    EXPECT_EQ(loaded.Map()->GetUvwMapData(), nullptr);
  }
  {
    // The map names itself.
    Loaded loaded;
    Load(FileOf({MapRecord(0x10, {}, 0x10)}), loaded);
    ASSERT_EQ(loaded.result, kOk);
    EXPECT_EQ(loaded.Map()->GetUvwMapData(), nullptr);
  }
  {
    // No record has the id: listed as unresolved.
    Loaded loaded;
    Load(FileOf({MapRecord(0x10, {}, 0x30)}), loaded);
    ASSERT_EQ(loaded.result, kOk);
    EXPECT_EQ(loaded.Map()->GetUvwMapData(), nullptr);
    EXPECT_EQ(loaded.stream.GetUnresolvedTable().count(0x30), 1u);
  }
}

TEST_F(UvwMapTest, HostileRecordsGiveTheirCodes) {
  struct Case {
    const char* name;
    std::vector<Bytes> records;
    Result expected;
  };
  const Bytes map = MapRecord(0x10, {}, 0x20);
  const std::vector<Case> cases = {
      {"corner count cuts a triangle", {DataRecord(0x20, 4, {0, 1, 2, 0}, 0, {}), map}, kErrNotFound},
      {"corner count of one", {DataRecord(0x20, 1, {0}, 0, {}), map}, kErrNotFound},
      {"huge corner count", {DataRecord(0x20, 0xFFFFFFFFu, {}, 0, {}), map}, kErrStream},
      {"corners cut short", {DataRecord(0x20, 6, {0, 1, 2}, 0, {}), map}, kErrStream},
      {"huge vertex count", {DataRecord(0x20, 0, {}, 0x40000000u, {}), map}, kErrStream},
      {"newer data version", {DataRecord(0x20, 0, {}, 0, {}, 1), map}, kErrNewerVersion},
      {"huge coordinate count", {MapRecordWithCount(0x10, 0x10000000u)}, kErrStream},
      {"newer map version", {MapRecord(0x10, {}, 0, 2)}, kErrNewerVersion},
      {"old layout: huge coordinate count", {OldMapRecord({0x20000000u, 1, {}}, {}, {})}, kErrStream},
      {"old layout: huge count of absent coordinates", {OldMapRecord({0x20000000u, 0, {}}, {}, {})}, kErrStream},
      // 3 x the count wraps to 2 in 32 bits.
      {"old layout: triangle count wraps", {OldMapRecord({}, {0x55555556u, 1, {0, 1}}, {})}, kErrStream},
      {"old layout: huge vertex count", {OldMapRecord({}, {}, {0xFFFFFFFFu, 1, {}})}, kErrStream},
      {"old layout: corners cut short", {OldMapRecord({1, 1, {0, 0, 0}}, {1, 1, {0, 0}}, {})}, kErrStream},
  };
  for (const Case& c : cases) {
    Loaded loaded;
    Load(FileOf(c.records), loaded);
    EXPECT_EQ(loaded.result, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace KT
