// Billboards: their two settings, the map list and update they share with
// mirror surfaces, copies, and the record of both stored versions.
#include "scene/billboard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "scene/geometry_data.h"
#include "scene/scene_test_classes.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

constexpr std::size_t kFirstRecordOffset = 40;

class BillboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CBillboard", &CreateObject<CBillboard>);
    CClassFactory::Register("CMirrorSurface", &CreateObject<CMirrorSurface>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    test::UseTestIds(0);
  }
};

CPointer<CUvwMap> Map(const char16_t* name) {
  CPointer<CUvwMap> map;
  EXPECT_EQ(CUvwMap::Create(map), kOk);
  map->SetName(name);
  return map;
}

// A card: level 0 holds (-1,-1,0) and (1,1,0).
CPointer<CBillboard> Card(std::vector<CPointer<CUvwMap>> maps = {}) {
  CPointer<CGeometryData> data;
  EXPECT_EQ(CGeometryData::Create(data), kOk);
  EXPECT_EQ(data->AllocateXYZ(2), kOk);
  data->GetXYZ()[0] = {-1, -1, 0};
  data->GetXYZ()[1] = {1, 1, 0};
  data->UpdateBoundingBox();
  CPointer<CBillboard> card;
  EXPECT_EQ(CBillboard::Create(card), kOk);
  card->SetName(u"card");
  EXPECT_EQ(card->SetSingleLod(data.Get()), kOk);
  EXPECT_EQ(card->AllocateWorldXYZ(2), kOk);
  card->SetUvwMaps(maps);
  return card;
}

TEST_F(BillboardTest, DefaultsAndClassRecord) {
  CPointer<CBillboard> card;
  ASSERT_EQ(CBillboard::Create(card), kOk);
  EXPECT_STREQ(card->GetClassRecord().name, "CBillboard");
  EXPECT_EQ(card->GetVersion(), 201u);
  EXPECT_EQ(card->GetBlendMode(), CBillboard::BM_AlphaBlend);
  EXPECT_EQ(card->GetType(), CBillboard::BT_RotateZ);
  EXPECT_EQ(card->GetUVWMapQuantity(), 0u);
  // Same shape as a mirror surface, but not one.
  EXPECT_EQ(DynamicCast<CMirrorSurface>(card.Get()), nullptr);
  EXPECT_NE(DynamicCast<CGeometry>(card.Get()), nullptr);
}

TEST_F(BillboardTest, DefaultCardSavesAlphaBlendRotateZAndNoMaps) {
  CPointer<CBillboard> card = Card();
  const Bytes bytes = test::SaveRoots({card.Get()});
  const std::size_t end = kFirstRecordOffset + card->GetSaveSize();
  ASSERT_LE(end, bytes.size());
  ByteWriter tail;
  tail.Pair(2, 1).U32(0).U32(0).U32(0);
  EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(end - 20), bytes.begin() + static_cast<std::ptrdiff_t>(end)),
            tail.Data());
  const std::string members = test::Members(card.Get());
  EXPECT_NE(members.find("BlendMode = 0 BM_AlphaBlend"), std::string::npos);
  EXPECT_NE(members.find("Type = 0 BT_RotateZ"), std::string::npos);
}

TEST_F(BillboardTest, UpdateMovesTheCardIntoWorldSpaceAsAMirrorSurfaceDoes) {
  CPointer<CBillboard> card = Card();
  CMatrix4 world;
  world.m[3][2] = 4;
  card->SetWorld(CMatrix3(), CMatrix3(), world);
  ASSERT_EQ(card->Update(0), kOk);
  EXPECT_TRUE(card->IsWorldXYZReady());
  EXPECT_EQ(card->GetWorldXYZ()[0], Vec(-1, -1, 4));
  EXPECT_EQ(card->GetWorldXYZ()[1], Vec(1, 1, 4));
  std::vector<CDorun*> animated;
  ASSERT_EQ(card->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, std::vector<CDorun*>{card.Get()});
}

TEST_F(BillboardTest, CopiesCarryTheSettingsAndTheMaps) {
  CPointer<CUvwMap> map = Map(u"map");
  CPointer<CBillboard> card = Card({map});
  card->SetBlendMode(CBillboard::BM_Subtractive);
  card->SetType(CBillboard::BT_FaceCam);

  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(card->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CBillboard>(out.Get());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(test::Members(clone), test::Members(card.Get()));
  ASSERT_NE(clone->GetUvwMap(0), nullptr);
  EXPECT_NE(clone->GetUvwMap(0), map.Get());

  CPointer<CUvwMap> former = Map(u"former");
  CPointer<CBillboard> target = Card({former});
  DisplacedList displaced;
  ASSERT_EQ(card->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetBlendMode(), CBillboard::BM_Subtractive);
  EXPECT_EQ(target->GetType(), CBillboard::BT_FaceCam);
  EXPECT_EQ(target->GetUvwMap(0), map.Get());
  const auto isFormer = [&](const CPointer<CBase>& o) { return o.Get() == former.Get(); };
  EXPECT_NE(std::find_if(displaced.begin(), displaced.end(), isFormer), displaced.end());

  // A mirror surface has the same shape but is another class.
  CPointer<CMirrorSurface> mirror;
  ASSERT_EQ(CMirrorSurface::Create(mirror), kOk);
  const std::string before = test::Members(mirror.Get());
  EXPECT_EQ(card->CopyTo(mirror.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(mirror.Get()), before);
  EXPECT_EQ(mirror->CopyTo(card.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(card->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST_F(BillboardTest, SaveLoadSaveKeepsSettingsAndMaps) {
  CPointer<CBillboard> card = Card({Map(u"front"), nullptr});
  card->SetBlendMode(CBillboard::BM_Additive);
  card->SetType(CBillboard::BT_FaceCam);
  const Bytes first = test::SaveRoots({card.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* loaded = DynamicCast<CBillboard>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(card.Get()));
  EXPECT_EQ(loaded->GetBlendMode(), CBillboard::BM_Additive);
  ASSERT_EQ(loaded->GetUVWMapQuantity(), 2u);
  ASSERT_NE(loaded->GetUvwMap(0), nullptr);
  EXPECT_EQ(loaded->GetUvwMap(0)->GetName(), u"front");
  EXPECT_EQ(loaded->GetUvwMap(1), nullptr);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// --- byte images -----------------------------------------------------------------------------------------

// A card record of `version` without levels: BlendMode 2, Type 1 and the
// map ids (4 bytes up to 2.00, else 8).
ByteWriter CardBody(u32 version, const std::vector<u64>& maps, u32 count = 0xFFFFFFFF) {
  ByteWriter w;
  test::ObjectHead(w, 0x10, u"card");
  test::SpatialPart206(w).Pair(2, 4).U64(0).U32(0).U8(0).U8(0).U32(0);
  w.Pair(version / 100, version % 100).U32(2).U32(1);
  w.U32(count != 0xFFFFFFFF ? count : static_cast<u32>(maps.size()));
  for (u64 id : maps) {
    if (version <= 200) {
      w.U32(static_cast<u32>(id));
    } else {
      w.U64(id);
    }
  }
  return w;
}

ByteWriter MapBody(u64 id, const std::u16string& name) {
  ByteWriter w;
  test::ObjectHead(w, id, name).Pair(2, 1).U32(0);
  return w.U64(0);
}

Bytes CardFile(const ByteWriter& card) {
  test::SceneFile file;
  file.Record("CBillboard", card, true);
  file.Record("CUvwMap", MapBody(0x60, u"first"));
  file.Record("CUvwMap", MapBody(0x61, u"second"));
  return file.Data();
}

TEST_F(BillboardTest, BothStoredVersionsReadTheirMapIds) {
  for (u32 version : {200u, 201u}) {
    SCOPED_TRACE(version);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(CardFile(CardBody(version, {0x61, 0x60})), stream, device), kOk);
    auto* card = DynamicCast<CBillboard>(stream.GetRootObject(0));
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->GetBlendMode(), CBillboard::BM_Subtractive);
    EXPECT_EQ(card->GetType(), CBillboard::BT_FaceCam);
    ASSERT_EQ(card->GetUVWMapQuantity(), 2u);
    ASSERT_NE(card->GetUvwMap(0), nullptr);
    ASSERT_NE(card->GetUvwMap(1), nullptr);
    EXPECT_EQ(card->GetUvwMap(0)->GetName(), u"second");
    EXPECT_EQ(card->GetUvwMap(1)->GetName(), u"first");
    // Saved again as the current form, it loads back equal.
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(card));
  }
}

TEST_F(BillboardTest, BrokenRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  const Row rows[] = {
      {"2.00 count beyond the record", CardBody(200, {0x60}, 0x20000000), kErrStream},
      {"2.01 count beyond the record", CardBody(201, {0x60, 0x61}, 3), kErrStream},
      {"newer than the class", CardBody(202, {}), kErrNewerVersion},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CBillboard", row.body, true);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file.Data(), stream, device), row.expected);
  }
}

TEST_F(BillboardTest, EveryPrefixOfTheRecordFails) {
  for (u32 version : {200u, 201u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CBillboard", CardBody(version, {0x60, 0}), true);
    const Bytes bytes = file.Data();
    {
      CStream stream;
      CMemoryIo device;
      ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    }
    test::ExpectEveryPrefixFails(bytes, kFirstRecordOffset);
  }
}

}  // namespace
}  // namespace KT
