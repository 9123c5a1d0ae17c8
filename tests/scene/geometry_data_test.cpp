// Geometry vertex data: allocation, bound, equality, copies and the record.
#include "scene/geometry_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_box.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

class GeometryDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    test::UseTestIds(0);
  }
};

// Three positions, two normals, one colour, ids and a full set of maps.
CPointer<CGeometryData> MakeData() {
  CPointer<CGeometryData> data;
  EXPECT_EQ(CGeometryData::Create(data), kOk);
  EXPECT_EQ(data->AllocateXYZ(3), kOk);
  data->GetXYZ()[0] = {1, 2, 3};
  data->GetXYZ()[1] = {-4, 5, 0.5f};
  data->GetXYZ()[2] = {0, -6, 9};
  EXPECT_EQ(data->AllocateNormal(2), kOk);
  data->GetNormal()[0] = {0, 0, 1};
  data->GetNormal()[1] = {0, 1, 0};
  EXPECT_EQ(data->AllocateColor(1), kOk);
  data->GetColor()[0] = {0.25f, 0.5f, 1};
  EXPECT_EQ(data->AllocateXYZMtlID(), kOk);
  data->GetXYZMtlID()[2] = 7;
  EXPECT_EQ(data->AllocateVertexMaps(4), kOk);
  const u32 xyz[4] = {0, 1, 2, 2}, normal[4] = {0, 0, 1, 1};
  for (u32 v = 0; v < 4; ++v) {
    data->GetVertexXYZMap()[v] = xyz[v];
    data->GetVertexNormalMap()[v] = normal[v];
  }
  data->UpdateBoundingBox();
  data->SetName(u"level");
  return data;
}

TEST_F(GeometryDataTest, StartsEmptyUnderItsClassRecord) {
  CPointer<CGeometryData> data;
  ASSERT_EQ(CGeometryData::Create(data), kOk);
  EXPECT_STREQ(data->GetClassRecord().name, "CGeometryData");
  EXPECT_EQ(data->GetVersion(), 100u);
  EXPECT_TRUE(data->GetXYZ().IsEmpty());
  EXPECT_TRUE(data->GetBoundingBox().IsEmpty());
  EXPECT_EQ(data->GetVertexMapCount(), 0u);
}

TEST_F(GeometryDataTest, AllocationsFollowTheirStreams) {
  CPointer<CGeometryData> data;
  ASSERT_EQ(CGeometryData::Create(data), kOk);
  EXPECT_EQ(data->AllocateXYZ(0), kErrInvalidArg);
  EXPECT_EQ(data->AllocateXYZMtlID(), kErrInvalidArg);  // no positions yet
  ASSERT_EQ(data->AllocateXYZ(5), kOk);
  EXPECT_EQ(data->AllocateXYZ(0), kErrInvalidArg);
  EXPECT_EQ(data->GetXYZ().GetCount(), 5u);
  ASSERT_EQ(data->AllocateXYZMtlID(), kOk);
  EXPECT_EQ(data->GetXYZMtlID().GetCount(), 5u);
  ASSERT_EQ(data->AllocateNormal(2), kOk);
  // Maps only for the streams that have data: no colours here.
  ASSERT_EQ(data->AllocateVertexMaps(9), kOk);
  EXPECT_EQ(data->GetVertexXYZMap().GetCount(), 9u);
  EXPECT_EQ(data->GetVertexNormalMap().GetCount(), 9u);
  EXPECT_TRUE(data->GetVertexColorMap().IsEmpty());
  EXPECT_EQ(data->GetVertexMapCount(), 9u);
  EXPECT_EQ(data->AllocateVertexMaps(0), kErrInvalidArg);
  EXPECT_TRUE(data->GetVertexXYZMap().IsEmpty());
}

TEST_F(GeometryDataTest, BoundingBoxIsTheBoundOfThePositions) {
  CPointer<CGeometryData> data = MakeData();
  EXPECT_EQ(data->GetBoundingBox().Min, Vec(-4, -6, 0.5f));
  EXPECT_EQ(data->GetBoundingBox().Max, Vec(1, 5, 9));
}

TEST_F(GeometryDataTest, EqualityComparesPositionsNormalsAndTheirMapsByBytes) {
  struct Case {
    const char* what;
    void (*change)(CGeometryData&);
    bool equal;
  };
  const Case cases[] = {
      {"nothing", [](CGeometryData&) {}, true},
      {"colour values", [](CGeometryData& d) { d.GetColor()[0] = {9, 9, 9}; }, true},
      {"material ids", [](CGeometryData& d) { d.GetXYZMtlID()[0] = 3; }, true},
      {"colour map values", [](CGeometryData& d) { d.GetVertexColorMap()[1] = 5; }, true},
      {"a zero's sign", [](CGeometryData& d) { d.GetXYZ()[2].x = -0.0f; }, false},
      {"a normal", [](CGeometryData& d) { d.GetNormal()[1].y = 0.5f; }, false},
      {"the normal map", [](CGeometryData& d) { d.GetVertexNormalMap()[3] = 0; }, false},
      {"the colour count", [](CGeometryData& d) { d.AllocateColor(2); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CGeometryData> a = MakeData();
    CPointer<CGeometryData> b = MakeData();
    c.change(*b);
    EXPECT_EQ(a->IsEqual(b.Get()), c.equal);
    EXPECT_EQ(b->IsEqual(a.Get()), c.equal);
  }
  EXPECT_FALSE(MakeData()->IsEqual(nullptr));
}

TEST_F(GeometryDataTest, CopyToReplacesEveryBufferOfAGeometryDataOnly) {
  CPointer<CGeometryData> source = MakeData();
  source->GetColor().Free();
  CPointer<CGeometryData> target;
  ASSERT_EQ(CGeometryData::Create(target), kOk);
  ASSERT_EQ(target->AllocateColor(7), kOk);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(target->IsEqual(source.Get()));
  EXPECT_TRUE(target->GetColor().IsEmpty());
  EXPECT_EQ(target->GetXYZMtlID(), source->GetXYZMtlID());
  EXPECT_EQ(target->GetBoundingBox(), source->GetBoundingBox());
  EXPECT_EQ(test::Members(target.Get()), test::Members(source.Get()));

  CPointer<CBoundingBox> box(new CBoundingBox());
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(box.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(box->GetName(), u"");
}

TEST_F(GeometryDataTest, CreateInstanceAndCloneCopyEveryBuffer) {
  CPointer<CGeometryData> data = MakeData();
  CPointer<CBase> instance;
  ASSERT_EQ(data->CreateInstance(instance), kOk);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(data->Clone(clone, map, 0), kOk);
  CPointer<CBase> again;
  EXPECT_EQ(data->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), clone.Get());
  for (CBase* copy : {instance.Get(), clone.Get()}) {
    CGeometryData* made = DynamicCast<CGeometryData>(copy);
    ASSERT_NE(made, nullptr);
    EXPECT_NE(made, data.Get());
    EXPECT_EQ(test::Members(made), test::Members(data.Get()));
    EXPECT_EQ(made->GetBoundingBox(), data->GetBoundingBox());
  }
}

TEST_F(GeometryDataTest, DescribesItsBuffersUnderItsGroup) {
  struct Names : CMemberVisitor {
    std::vector<std::u16string> names;
    void BeginGroup(const char16_t* name) override { names.push_back(std::u16string(u"group ") + name); }
    void VectorArray(const char16_t* name, const Vec*, u32) override { names.push_back(name); }
    void UIntArray(const char16_t* name, const u32*, u32) override { names.push_back(name); }
  } visitor;
  MakeData()->DescribeMembers(visitor);
  const std::vector<std::u16string> expected = {u"group CGeometry Data", u"XYZ", u"Normal", u"Color",
                                                u"VertexXYZMap", u"VertexNormalMap", u"VertexColorMap",
                                                u"XYZMtlID", u"group CDorun Member"};
  ASSERT_GE(visitor.names.size(), expected.size());
  EXPECT_EQ(std::vector<std::u16string>(visitor.names.begin(), visitor.names.begin() + 9), expected);
}

// --- the record -----------------------------------------------------------------------

constexpr std::size_t kFirstRecordOffset = 40;

TEST_F(GeometryDataTest, SaveAndLoadKeepEveryBufferAndTheBytes) {
  CPointer<CGeometryData> data = MakeData();
  const Bytes first = test::SaveRoots({data.Get()});
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.size() - kFirstRecordOffset, data->GetSaveSize());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CGeometryData* loaded = DynamicCast<CGeometryData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(data.Get()));
  EXPECT_TRUE(loaded->IsEqual(data.Get()));
  EXPECT_EQ(loaded->GetBoundingBox(), data->GetBoundingBox());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(GeometryDataTest, PositionsWithoutNormalsStoreAZeroCountAndFlag) {
  CPointer<CGeometryData> data;
  ASSERT_EQ(CGeometryData::Create(data), kOk);
  ASSERT_EQ(data->AllocateXYZ(1), kOk);
  data->GetXYZ()[0] = {1, 2, 3};
  const Bytes bytes = test::SaveRoots({data.Get()});
  ASSERT_EQ(bytes.size() - kFirstRecordOffset, data->GetSaveSize());
  // The part after the CDorun record: pair, n, 12 bytes, mtl flag, then
  // the normal count and flag.
  ByteWriter expected;
  expected.Pair(1, 0).U32(1).F32(1).F32(2).F32(3).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
  const Bytes tail(bytes.end() - static_cast<std::ptrdiff_t>(expected.Size()), bytes.end());
  EXPECT_EQ(tail, expected.Data());

  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  CGeometryData* loaded = DynamicCast<CGeometryData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->GetNormal().IsEmpty());
  EXPECT_TRUE(loaded->GetBoundingBox().IsEmpty());  // one point: radius 0
}

TEST_F(GeometryDataTest, EveryPrefixOfTheRecordFails) {
  const Bytes bytes = test::SaveRoots({MakeData().Get()});
  test::ExpectEveryPrefixFails(bytes, kFirstRecordOffset);
}

// A file whose only root is a CGeometryData record with `block` after its
// version pair.
Bytes DataFile(const ByteWriter& block) {
  ByteWriter body;
  body.Pair(2, 1).U64(0x10).WStr(u"d");
  body.Pair(2, 1).U64(0).U64(0).U64(0);
  body.Pair(1, 0).Bytes(block.Data());
  ByteWriter tree;
  tree.Str("_Root").Str("CGeometryData").U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  ByteWriter w;
  w.Chars("_KTVusk").Pair(3, 1).U32(0).U32(0).U32(0).U32(static_cast<u32>(tree.Size())).Bytes(tree.Data());
  return w.Data();
}

// Two positions; `normals` normals with `normalFlag`; maps of `k` entries
// (XYZ map only) holding `mapValue`.
ByteWriter Block(u32 normals, u32 normalFlag, u32 k, u32 mapValue) {
  ByteWriter b;
  b.U32(2).F32(0).F32(0).F32(0).F32(2).F32(4).F32(6).U32(0);
  b.U32(normals).U32(normalFlag);
  for (u32 i = 0; i < normals && normalFlag != 0; ++i) b.F32(0).F32(1).F32(0);
  b.U32(0).U32(0);
  b.U32(k).U32(k != 0 ? 1 : 0);
  for (u32 i = 0; i < k; ++i) b.U32(mapValue);
  b.U32(0).U32(0);
  return b;
}

TEST_F(GeometryDataTest, ByteImagesLoadOrAreRefused) {
  struct Case {
    const char* what;
    ByteWriter block;
    Result expected;
  };
  ByteWriter huge;
  huge.U32(0x10000000);
  ByteWriter flagWithoutCount;  // a flag of 1 with a count of 0 reads nothing
  flagWithoutCount.U32(0).U32(1).U32(0).U32(1).U32(0).U32(1).U32(0).U32(1).U32(1).U32(1);
  const Case cases[] = {
      {"plain", Block(1, 1, 3, 1), kOk},
      {"normals flagged absent", Block(5, 0, 0, 0), kOk},
      {"map past the positions", Block(1, 1, 3, 2), kErrNotFound},
      {"position count beyond the bytes", huge, kErrStream},
      {"flags without counts", flagWithoutCount, kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(DataFile(c.block), stream, device), c.expected);
  }
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(DataFile(Block(5, 0, 3, 1)), stream, device), kOk);
  CGeometryData* loaded = DynamicCast<CGeometryData>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->GetNormal().IsEmpty());
  EXPECT_EQ(loaded->GetVertexXYZMap().GetCount(), 3u);
  EXPECT_EQ(loaded->GetBoundingBox().Max, Vec(2, 4, 6));
}

TEST_F(GeometryDataTest, VertexBlockReadsWithoutAVersionPair) {
  CMemoryIo device;
  device.SetData(Block(1, 1, 2, 1).Data());
  CStream stream;
  stream.SetDevice(&device);
  CPointer<CGeometryData> data;
  ASSERT_EQ(CGeometryData::Create(data), kOk);
  ASSERT_EQ(data->LoadVertexBlock(stream), kOk);
  EXPECT_EQ(data->GetXYZ().GetCount(), 2u);
  EXPECT_EQ(data->GetNormal().GetCount(), 1u);
  EXPECT_EQ(data->GetVertexXYZMap().GetCount(), 2u);
  EXPECT_EQ(data->GetBoundingBox().Max, Vec(2, 4, 6));
}

TEST_F(GeometryDataTest, SaveRefusesCountsTheRecordCannotHold) {
  struct Case {
    const char* what;
    void (*change)(CGeometryData&);
  };
  const Case cases[] = {
      {"ids of another count", [](CGeometryData& d) { d.GetXYZMtlID().Create(2); }},
      {"maps of two counts", [](CGeometryData& d) { d.GetVertexNormalMap().Create(3); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CGeometryData> data = MakeData();
    c.change(*data);
    CMemoryIo device;
    CStream stream;
    stream.SetDevice(&device);
    stream.AddRootObject(data.Get());
    EXPECT_LT(stream.Save(CStream::kAllSections), 0);
  }
}

}  // namespace
}  // namespace KT
