// Triangle-mesh data: sizing, UV channels, equality, copies and the record.
#include "scene/tri_mesh_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Range = CTriMeshData::AttributeRange;

class TriMeshDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    test::UseTestIds(0);
  }
};

// A channel of `coordinates` coordinates (u = i) and corner indices for
// `triangles` triangles (corner c names c mod coordinates).
CPointer<CUvwMap> MakeChannel(u32 coordinates, u32 triangles) {
  CPointer<CUvwMap> map;
  CPointer<CUvwMapData> data;
  EXPECT_EQ(CUvwMap::Create(map), kOk);
  EXPECT_EQ(CUvwMapData::Create(data), kOk);
  EXPECT_EQ(map->AllocateUvw(coordinates), kOk);
  for (u32 i = 0; i < coordinates; ++i) map->GetUVW()[i] = {static_cast<f32>(i), 0.5f, 0};
  EXPECT_EQ(data->AllocateUvwTriIndex(triangles), kOk);
  for (u32 c = 0; c < 3 * triangles; ++c) data->GetUVWTriIndex()[c] = c % coordinates;
  map->SetUvwMapData(data.Get());
  return map;
}

// Two triangles over four positions with normals, colours, ids, smoothing
// groups, two channels, built vertex index, tangents and ranges.
CPointer<CTriMeshData> MakeMesh() {
  CPointer<CTriMeshData> mesh;
  EXPECT_EQ(CTriMeshData::Create(mesh), kOk);
  EXPECT_EQ(mesh->AllocateXYZ(4), kOk);
  for (u32 i = 0; i < 4; ++i) mesh->GetXYZ()[i] = {static_cast<f32>(i & 1), static_cast<f32>(i >> 1), 0};
  EXPECT_EQ(mesh->AllocateNormal(1), kOk);
  EXPECT_EQ(mesh->AllocateColor(2), kOk);
  EXPECT_EQ(mesh->SetTriangleQuantity(2), kOk);
  const u32 xyz[6] = {0, 1, 2, 2, 1, 3}, color[6] = {0, 0, 0, 1, 1, 1};
  for (u32 c = 0; c < 6; ++c) {
    mesh->GetXYZTriIndex()[c] = xyz[c];
    mesh->GetColorTriIndex()[c] = color[c];
  }
  EXPECT_EQ(mesh->AllocateTriangleMtlID(), kOk);
  mesh->GetTriangleMtlID()[1] = 4;
  EXPECT_EQ(mesh->AllocateSmooth(), kOk);
  mesh->GetSmooth()[0] = 0x5;
  EXPECT_EQ(mesh->AddUvwMap(MakeChannel(3, 2).Get()), kOk);
  EXPECT_EQ(mesh->AddUvwMap(MakeChannel(6, 2).Get()), kOk);
  EXPECT_EQ(mesh->ComputeVertexNormals(), kOk);
  EXPECT_EQ(mesh->BuildVertexTriIndex(), kOk);
  EXPECT_EQ(mesh->SortByMaterial(), kOk);
  mesh->SetName(u"mesh");
  return mesh;
}

TEST_F(TriMeshDataTest, StartsEmptyUnderItsClassRecord) {
  CPointer<CTriMeshData> mesh;
  ASSERT_EQ(CTriMeshData::Create(mesh), kOk);
  EXPECT_STREQ(mesh->GetClassRecord().name, "CTriMeshData");
  EXPECT_EQ(mesh->GetVersion(), 100u);
  EXPECT_TRUE(mesh->IsKindOf(CGeometryData::StaticClassRecord()));
  EXPECT_EQ(mesh->GetTriangleQuantity(), 0u);
  EXPECT_EQ(mesh->GetUvwMapCount(), 0u);
  EXPECT_EQ(mesh->GetUvwChannel(0), nullptr);
}

TEST_F(TriMeshDataTest, SetTriangleQuantityAllocatesTheCornersOfTheStreamsPresent) {
  CPointer<CTriMeshData> mesh;
  ASSERT_EQ(CTriMeshData::Create(mesh), kOk);
  ASSERT_EQ(mesh->AllocateXYZ(3), kOk);
  ASSERT_EQ(mesh->AllocateNormal(3), kOk);
  ASSERT_EQ(mesh->SetTriangleQuantity(4), kOk);
  EXPECT_EQ(mesh->GetTriangleQuantity(), 4u);
  EXPECT_EQ(mesh->GetXYZTriIndex().GetCount(), 12u);
  EXPECT_EQ(mesh->GetNormalTriIndex().GetCount(), 12u);
  EXPECT_TRUE(mesh->GetColorTriIndex().IsEmpty());
  EXPECT_TRUE(mesh->GetVertexTriIndex().IsEmpty());
  EXPECT_TRUE(mesh->GetTriangleMtlID().IsEmpty());
  EXPECT_EQ(mesh->SetTriangleQuantity(0), kErrInvalidArg);
  EXPECT_EQ(mesh->SetTriangleQuantity(0x60000000u), kErrOutOfMemory);
  EXPECT_EQ(mesh->GetTriangleQuantity(), 4u);
  EXPECT_EQ(mesh->GetXYZTriIndex().GetCount(), 12u);
}

TEST_F(TriMeshDataTest, ClearKeepsTheAttributeRanges) {
  CPointer<CTriMeshData> mesh = MakeMesh();
  const std::vector<Range> ranges = mesh->GetAttributeRanges();
  ASSERT_FALSE(ranges.empty());
  mesh->Clear();
  EXPECT_EQ(mesh->GetTriangleQuantity(), 0u);
  EXPECT_TRUE(mesh->GetXYZTriIndex().IsEmpty());
  EXPECT_TRUE(mesh->GetTangentIndex().IsEmpty());
  EXPECT_EQ(mesh->GetUvwMapCount(), 0u);
  EXPECT_EQ(mesh->GetAttributeRanges(), ranges);
  EXPECT_FALSE(mesh->GetXYZ().IsEmpty());
}

TEST_F(TriMeshDataTest, ChannelsAreAddedAndReplacedOnce) {
  CPointer<CTriMeshData> mesh;
  ASSERT_EQ(CTriMeshData::Create(mesh), kOk);
  CPointer<CUvwMap> a = MakeChannel(1, 1);
  CPointer<CUvwMap> b = MakeChannel(1, 1);
  EXPECT_EQ(mesh->AddUvwMap(nullptr), kErrInvalidArg);
  EXPECT_EQ(mesh->AddUvwMap(a.Get()), kOk);
  EXPECT_EQ(mesh->AddUvwMap(a.Get()), kDone);
  EXPECT_EQ(mesh->GetUvwMapCount(), 1u);
  EXPECT_EQ(a->GetReferences(), 2u);
  struct Case {
    u32 index;
    CUvwMap* map;
    Result expected;
  };
  const Case cases[] = {{1, b.Get(), kErrOutOfRange}, {0, nullptr, kErrInvalidArg}, {0, a.Get(), kDone},
                        {0, b.Get(), kOk}};
  for (const Case& c : cases) EXPECT_EQ(mesh->SetUvwMap(c.index, c.map), c.expected) << c.index;
  EXPECT_EQ(mesh->GetUvwChannel(0), b.Get());
  EXPECT_EQ(a->GetReferences(), 1u);
}

TEST_F(TriMeshDataTest, EqualityIgnoresColourIndicesMaterialsAndChannelData) {
  struct Case {
    const char* what;
    void (*change)(CTriMeshData&);
    bool equal;
  };
  const Case cases[] = {
      {"nothing", [](CTriMeshData&) {}, true},
      {"colour indices", [](CTriMeshData& m) { m.GetColorTriIndex()[0] = 1; }, true},
      {"material ids", [](CTriMeshData& m) { m.GetTriangleMtlID()[0] = 9; }, true},
      {"smoothing values", [](CTriMeshData& m) { m.GetSmooth()[1] = 9; }, true},
      {"range values", [](CTriMeshData& m) { m.GetAttributeRanges()[0].ID = 9; }, true},
      {"channel index data", [](CTriMeshData& m) { m.GetUvwChannel(0)->GetUvwMapData()->GetUVWTriIndex()[0] = 2; },
       true},
      {"a position index", [](CTriMeshData& m) { m.GetXYZTriIndex()[0] = 3; }, false},
      {"a vertex index", [](CTriMeshData& m) { m.GetVertexTriIndex()[5] = 0; }, false},
      {"a tangent", [](CTriMeshData& m) { m.GetTangentIndex()[0].IndexC = 0; }, false},
      {"a coordinate", [](CTriMeshData& m) { m.GetUvwChannel(1)->GetUVW()[5].y = 0; }, false},
      {"a range more", [](CTriMeshData& m) { m.GetAttributeRanges().push_back({}); }, false},
      {"no smoothing", [](CTriMeshData& m) { m.GetSmooth().Free(); }, false},
      {"no triangles or channels", [](CTriMeshData& m) { m.Clear(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CTriMeshData> a = MakeMesh();
    CPointer<CTriMeshData> b = MakeMesh();
    c.change(*b);
    EXPECT_EQ(a->IsEqual(b.Get()), c.equal);
  }
  // The other's channel may hold more coordinates, not fewer.
  CPointer<CTriMeshData> a = MakeMesh();
  CPointer<CTriMeshData> b = MakeMesh();
  ASSERT_EQ(b->GetUvwChannel(0)->GetUVW().Create(4, nullptr), kOk);
  for (u32 i = 0; i < 3; ++i) b->GetUvwChannel(0)->GetUVW()[i] = a->GetUvwChannel(0)->GetUVW()[i];
  EXPECT_TRUE(a->IsEqual(b.Get()));
  EXPECT_FALSE(b->IsEqual(a.Get()));
  CPointer<CGeometryData> plain;
  ASSERT_EQ(CGeometryData::Create(plain), kOk);
  EXPECT_FALSE(a->IsEqual(plain.Get()));
  EXPECT_FALSE(a->IsEqual(nullptr));
}

TEST_F(TriMeshDataTest, CloneClonesTheChannelsAndCreateInstanceLeavesThemOut) {
  CPointer<CTriMeshData> mesh = MakeMesh();
  CPointer<CBase> instance;
  ASSERT_EQ(mesh->CreateInstance(instance), kOk);
  CTriMeshData* copy = DynamicCast<CTriMeshData>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetUvwMapCount(), 0u);
  EXPECT_EQ(test::Members(copy), test::Members(mesh.Get()));

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(mesh->Clone(clone, map, 0), kOk);
  CTriMeshData* cloned = DynamicCast<CTriMeshData>(clone.Get());
  ASSERT_NE(cloned, nullptr);
  ASSERT_EQ(cloned->GetUvwMapCount(), 2u);
  for (u32 i = 0; i < 2; ++i) {
    EXPECT_NE(cloned->GetUvwChannel(i), mesh->GetUvwChannel(i));
    ASSERT_NE(cloned->GetUvwChannel(i)->GetUvwMapData(), nullptr);
    EXPECT_NE(cloned->GetUvwChannel(i)->GetUvwMapData(), mesh->GetUvwChannel(i)->GetUvwMapData());
  }
  EXPECT_TRUE(cloned->IsEqual(mesh.Get()));
}

TEST_F(TriMeshDataTest, CopyToSharesTheChannelsOfAMeshDataOnly) {
  CPointer<CTriMeshData> source = MakeMesh();
  CPointer<CTriMeshData> target;
  ASSERT_EQ(CTriMeshData::Create(target), kOk);
  CPointer<CUvwMap> former = MakeChannel(1, 1);
  ASSERT_EQ(target->AddUvwMap(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(target->IsEqual(source.Get()));
  EXPECT_EQ(target->GetUvwChannel(0), source->GetUvwChannel(0));
  EXPECT_EQ(target->GetAttributeRanges(), source->GetAttributeRanges());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());

  CPointer<CGeometryData> plain;
  ASSERT_EQ(CGeometryData::Create(plain), kOk);
  EXPECT_EQ(source->CopyTo(plain.Get(), displaced, 0), kErrNotFound);
  EXPECT_TRUE(plain->GetXYZ().IsEmpty());
}

TEST_F(TriMeshDataTest, ReportsChannelsAsOwnedReferences) {
  CPointer<CTriMeshData> mesh = MakeMesh();
  struct Refs : CReferenceVisitor {
    std::vector<CBase*> seen;
    void Visit(CBase* object, u32 owned) override {
      if (owned == 1 && object != nullptr) seen.push_back(object);
    }
  } refs;
  mesh->EnumReferences(refs);
  ASSERT_EQ(refs.seen.size(), 2u);
  EXPECT_EQ(refs.seen[0], mesh->GetUvwChannel(0));
  EXPECT_TRUE(mesh->HasSubObjects());
  EXPECT_EQ(mesh->Find(nullptr, &CUvwMapData::StaticClassRecord(), false, false),
            mesh->GetUvwChannel(0)->GetUvwMapData());
}

TEST_F(TriMeshDataTest, DescribesTangentsAndRangesOneElementPerRecord) {
  struct Text : CMemberVisitor {
    std::vector<std::string> lines;
    void BeginGroup(const char16_t* name) override { lines.push_back("group " + Narrow(name)); }
    void UInt(const char16_t* name, const u32* value) override {
      lines.push_back(Narrow(name) + "=" + std::to_string(*value));
    }
    void RecordArray(const char16_t* name, u32 count,
                     const std::function<void(u32, CMemberVisitor&)>& describe) override {
      lines.push_back(Narrow(name) + "[" + std::to_string(count) + "]");
      for (u32 i = 0; i < count; ++i) describe(i, *this);
    }
    static std::string Narrow(const char16_t* s) { return std::string(s, s + std::u16string_view(s).size()); }
  } text;
  MakeMesh()->DescribeMembers(text);
  ASSERT_GE(text.lines.size(), 3u);
  EXPECT_EQ(text.lines[0], "group CTriMeshData Member");
  EXPECT_EQ(text.lines[1], "TriangleQuantity=2");
  const std::vector<std::string> tangentHead = {"TangentIndex[6]", "IndexA =0", "IndexB =1", "IndexC =3"};
  const auto at = std::find(text.lines.begin(), text.lines.end(), "TangentIndex[6]");
  ASSERT_NE(at, text.lines.end());
  EXPECT_EQ(std::vector<std::string>(at, at + 4), tangentHead);
  EXPECT_NE(std::find(text.lines.begin(), text.lines.end(), "AttributeRanges[2]"), text.lines.end());
  EXPECT_NE(std::find(text.lines.begin(), text.lines.end(), "group CGeometry Data"), text.lines.end());
}

// --- the record -----------------------------------------------------------------------

constexpr std::size_t kFirstRecordOffset = 40;

TEST_F(TriMeshDataTest, SaveAndLoadKeepTheMeshItsChannelsAndTheBytes) {
  CPointer<CTriMeshData> mesh = MakeMesh();
  const Bytes first = test::SaveRoots({mesh.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CTriMeshData* loaded = DynamicCast<CTriMeshData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->IsEqual(mesh.Get()));
  EXPECT_EQ(test::Members(loaded), test::Members(mesh.Get()));
  ASSERT_EQ(loaded->GetUvwMapCount(), 2u);
  for (u32 i = 0; i < 2; ++i) {
    EXPECT_EQ(test::Members(loaded->GetUvwChannel(i)), test::Members(mesh->GetUvwChannel(i)));
    EXPECT_EQ(test::Members(loaded->GetUvwChannel(i)->GetUvwMapData()),
              test::Members(mesh->GetUvwChannel(i)->GetUvwMapData()));
  }
  EXPECT_EQ(loaded->GetSaveSize(), mesh->GetSaveSize());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(TriMeshDataTest, SaveSizeIsTheRecordWithAndWithoutTangents) {
  struct Case {
    const char* what;
    void (*change)(CTriMeshData&);
    u32 tangentBytes;  // bytes after the tangent presence word
  };
  const Case cases[] = {
      {"tangents", [](CTriMeshData&) {}, 12},
      {"no tangents", [](CTriMeshData& m) { m.GetTangentIndex().Free(); }, 0},
      // Without unified vertices the records have no vertex to belong to:
      // present, none written, none loaded.
      {"tangents without vertices",
       [](CTriMeshData& m) {
         m.GetVertexXYZMap().Free();
         m.GetVertexNormalMap().Free();
         m.GetVertexColorMap().Free();
         m.GetVertexTriIndex().Free();
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CTriMeshData> mesh = MakeMesh();
    mesh->Clear();  // no channels: the record is the only one
    mesh->GetAttributeRanges().clear();
    ASSERT_EQ(mesh->SetTriangleQuantity(1), kOk);
    ASSERT_EQ(mesh->BuildVertexTriIndex(), kOk);
    c.change(*mesh);
    const bool hadTangents = !mesh->GetTangentIndex().IsEmpty();
    const Bytes bytes = test::SaveRoots({mesh.Get()});
    ASSERT_EQ(bytes.size() - kFirstRecordOffset, mesh->GetSaveSize());
    // Tangent presence word, its records, then the range count and ranges.
    const std::size_t rangeBytes = 4 + 12 * mesh->GetAttributeRanges().size();
    const std::size_t at = bytes.size() - rangeBytes - c.tangentBytes - 4;
    u32 presence = 0;
    std::memcpy(&presence, &bytes[at], 4);
    EXPECT_EQ(presence, hadTangents ? 1u : 0u);

    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    CTriMeshData* loaded = DynamicCast<CTriMeshData>(stream.GetRootObject(0));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetTangentIndex().GetCount(), c.tangentBytes / 12);
  }
}

TEST_F(TriMeshDataTest, EveryPrefixFailsCleanly) {
  CPointer<CTriMeshData> mesh = MakeMesh();
  const Bytes bytes = test::SaveRoots({mesh.Get()});
  // The mesh record comes first; a cut after it or after a channel's
  // record may load, a cut anywhere else fails.
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

// A file whose only root is a CTriMeshData record over two positions
// (maps of two vertices) with `tail` after its own version pair.
Bytes MeshFile(const ByteWriter& tail) {
  ByteWriter body;
  body.Pair(2, 1).U64(0x10).WStr(u"m");
  body.Pair(2, 1).U64(0).U64(0).U64(0);
  body.Pair(1, 0).U32(2).F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).U32(0);
  body.U32(0).U32(0).U32(0).U32(0).U32(2).U32(1).U32(0).U32(1).U32(0).U32(0);
  body.Pair(1, 0).Bytes(tail.Data());
  ByteWriter tree;
  tree.Str("_Root").Str("CTriMeshData").U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  ByteWriter w;
  w.Chars("_KTVusk").Pair(3, 1).U32(0).U32(0).U32(0).U32(static_cast<u32>(tree.Size())).Bytes(tree.Data());
  return w.Data();
}

// One triangle with position indices `a`, 1, 1; no other buffer but the
// ranges given.
ByteWriter OneTriangle(u32 a, u32 tangentPresence, std::vector<Range> ranges) {
  ByteWriter t;
  t.U32(1).U32(1).U32(a).U32(1).U32(1).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
  t.U32(tangentPresence);
  for (u32 i = 0; i < 2 && tangentPresence != 0; ++i) t.U32(0).U32(1).U32(1);
  t.U32(static_cast<u32>(ranges.size()));
  for (const Range& r : ranges) t.U32(r.ID).U32(r.FaceStart).U32(r.FaceCount);
  return t;
}

TEST_F(TriMeshDataTest, ByteImagesLoadOrAreRefused) {
  ByteWriter noTriangles;  // n = 0 with every presence word set: nothing read
  noTriangles.U32(0).U32(1).U32(1).U32(1).U32(1).U32(1).U32(1).U32(0).U32(0).U32(0);
  ByteWriter hugeCount;
  hugeCount.U32(0x20000000).U32(1);
  struct Case {
    const char* what;
    ByteWriter tail;
    Result expected;
  };
  const Case cases[] = {
      {"one triangle", OneTriangle(0, 1, {{3, 0, 1}}), kOk},
      {"no triangles, presence words set", noTriangles, kOk},
      {"position index past the positions (the triangle is skipped)", OneTriangle(2, 0, {}), kOk},
      {"range past the triangles", OneTriangle(0, 0, {{3, 1, 1}}), kErrNotFound},
      {"corner count beyond the bytes", hugeCount, kErrStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(MeshFile(c.tail), stream, device), c.expected);
  }
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(MeshFile(noTriangles), stream, device), kOk);
  CTriMeshData* loaded = DynamicCast<CTriMeshData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->GetXYZTriIndex().IsEmpty());
  EXPECT_TRUE(loaded->GetTriangleMtlID().IsEmpty());
}

TEST_F(TriMeshDataTest, ARangeCountOfZeroKeepsTheRanges) {
  CPointer<CTriMeshData> mesh = MakeMesh();
  const std::vector<Range> ranges = mesh->GetAttributeRanges();
  for (u32 count : {0u, 1u}) {
    ByteWriter bytes;
    bytes.U32(count).U32(7).U32(0).U32(2);
    CMemoryIo device;
    device.SetData(bytes.Data());
    CStream stream;
    stream.SetDevice(&device);
    ASSERT_EQ(mesh->ReadAttributeRanges(stream), kOk);
    if (count == 0) {
      EXPECT_EQ(mesh->GetAttributeRanges(), ranges);
    } else {
      EXPECT_EQ(mesh->GetAttributeRanges(), (std::vector<Range>{{7, 0, 2}}));
    }
  }
}

TEST_F(TriMeshDataTest, SaveRefusesBuffersOfTheWrongCount) {
  struct Case {
    const char* what;
    void (*change)(CTriMeshData&);
  };
  const Case cases[] = {
      {"corner indices", [](CTriMeshData& m) { m.GetNormalTriIndex().Create(5); }},
      {"material ids", [](CTriMeshData& m) { m.GetTriangleMtlID().Create(3); }},
      {"tangents", [](CTriMeshData& m) { m.GetTangentIndex().Create(2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CTriMeshData> mesh = MakeMesh();
    c.change(*mesh);
    CMemoryIo device;
    CStream stream;
    stream.SetDevice(&device);
    stream.AddRootObject(mesh.Get());
    EXPECT_LT(stream.Save(CStream::kAllSections), 0);
  }
}

}  // namespace
}  // namespace KT
