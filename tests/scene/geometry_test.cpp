// Geometry nodes: the level-of-detail order, the world bound (stored,
// deformed, from bone boxes), bone references, copies, the record of every
// version and the shared ray query.
#include "scene/geometry.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_box.h"
#include "scene/geometry_data.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestLeaf;
using Vec = CVector3<float>;

// Bytes in front of the first record of a file with one root record.
constexpr std::size_t kFirstRecordOffset = 40;

class GeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CGeometry", &CreateObject<CGeometry>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
    test::UseTestIds(0);
  }
};

// Vertex data with `count` positions (i, 2i, -i) and, when asked, one normal.
CPointer<CGeometryData> Data(u32 count, const char16_t* name = u"level", bool normal = false) {
  CPointer<CGeometryData> data;
  EXPECT_EQ(CGeometryData::Create(data), kOk);
  data->SetName(name);
  if (count != 0) {
    EXPECT_EQ(data->AllocateXYZ(count), kOk);
    for (u32 i = 0; i < count; ++i) data->GetXYZ()[i] = {f32(i), f32(2 * i), -f32(i)};
  }
  if (normal) {
    EXPECT_EQ(data->AllocateNormal(1), kOk);
    data->GetNormal()[0] = {0, 0, 1};
  }
  data->UpdateBoundingBox();
  return data;
}

CPointer<CGeometry> Geometry(const char16_t* name = u"geo") {
  CPointer<CGeometry> geometry(new CGeometry());
  geometry->SetName(name);
  return geometry;
}

std::vector<u32> LevelCounts(const CGeometry& geometry) {
  std::vector<u32> counts;
  for (u32 i = 0; i < geometry.GetLodCount(); ++i) counts.push_back(geometry.GetLodVertexCount(i));
  return counts;
}

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

void SetWorldMatrix(CSpatial& spatial, const CMatrix4& matrix) { spatial.SetWorld(CMatrix3(), CMatrix3(), matrix); }

// --- levels of detail ----------------------------------------------------------------------

TEST_F(GeometryTest, LevelOperationsKeepVertexCountsFromFallingBackUp) {
  // Each row starts from levels of the given counts and applies one
  // operation with a data of `count` vertices.
  enum Op { kSetLods, kSetLod, kAddLod, kReplaceLod };
  struct Row {
    const char* what;
    std::vector<u32> start;
    Op op;
    std::vector<u32> counts;  // SetLods: the new list; others: counts[0] is the data
    u32 index;
    Result expected;
    std::vector<u32> after;
  };
  const Row rows[] = {
      {"SetLods with equal then fewer", {}, kSetLods, {100, 100, 50}, 0, kOk, {100, 100, 50}},
      {"SetLods growing", {7}, kSetLods, {50, 100}, 0, kErrLodOrder, {7}},
      {"SetLods empty", {7}, kSetLods, {}, 0, kErrInvalidArg, {7}},
      {"SetLod 0 below the next", {100, 50}, kSetLod, {50}, 0, kErrLodOrder, {100, 50}},
      {"SetLod 0 above", {100, 50}, kSetLod, {120}, 0, kOk, {120, 50}},
      {"SetLod equal to the previous", {100, 80, 50}, kSetLod, {100}, 1, kOk, {100, 100, 50}},
      {"SetLod above the previous", {100, 80, 50}, kSetLod, {101}, 1, kErrLodOrder, {100, 80, 50}},
      {"SetLod past the end", {100}, kSetLod, {50}, 1, kErrInvalidArg, {100}},
      {"AddLod to nothing", {}, kAddLod, {30}, 0, kOk, {30}},
      {"AddLod equal to the last", {100, 50}, kAddLod, {50}, 0, kOk, {100, 50, 50}},
      {"AddLod above the last", {100, 50}, kAddLod, {51}, 0, kErrLodOrder, {100, 50}},
      {"ReplaceLod of level 1", {100, 50}, kReplaceLod, {60}, 1, kOk, {100, 60}},
      {"ReplaceLod against the order", {100, 50}, kReplaceLod, {200}, 1, kErrLodOrder, {100, 50}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CGeometry> geometry = Geometry();
    std::vector<CGeometryData*> start;
    std::vector<CPointer<CGeometryData>> keep;
    for (u32 c : row.start) {
      keep.push_back(Data(c));
      start.push_back(keep.back().Get());
    }
    if (!start.empty()) {
      ASSERT_EQ(geometry->SetLods(start), kOk);
    }
    geometry->SetModified(false);
    Result r = kOk;
    switch (row.op) {
      case kSetLods: {
        std::vector<CPointer<CGeometryData>> lods;
        for (u32 c : row.counts) lods.push_back(Data(c));
        r = geometry->SetLods(lods);
        break;
      }
      case kSetLod:
        r = geometry->SetLod(row.index, Data(row.counts[0]).Get());
        break;
      case kAddLod:
        r = geometry->AddLod(Data(row.counts[0]).Get());
        break;
      case kReplaceLod:
        r = geometry->ReplaceLod(keep[row.index].Get(), Data(row.counts[0]).Get());
        break;
    }
    EXPECT_EQ(r, row.expected);
    EXPECT_EQ(LevelCounts(*geometry), row.after);
    EXPECT_EQ(geometry->IsModified(), row.expected == kOk);
  }
}

TEST_F(GeometryTest, NullLevelsAndUnknownLevelsAreRefusedOrReported) {
  CPointer<CGeometry> geometry = Geometry();
  CPointer<CGeometryData> level = Data(4);
  EXPECT_EQ(geometry->SetSingleLod(nullptr), kErrInvalidArg);
  EXPECT_EQ(geometry->AddLod(nullptr), kErrInvalidArg);
  EXPECT_EQ(geometry->SetLods({level, CPointer<CGeometryData>()}), kErrInvalidArg);
  EXPECT_EQ(geometry->GetLodCount(), 0u);
  EXPECT_EQ(geometry->GetLod(0), nullptr);

  ASSERT_EQ(geometry->SetSingleLod(level.Get()), kOk);
  EXPECT_EQ(geometry->GetLod(0), level.Get());
  EXPECT_EQ(geometry->GetLod(1), nullptr);
  EXPECT_EQ(geometry->SetLod(0, nullptr), kErrInvalidArg);
  EXPECT_EQ(geometry->ReplaceLod(nullptr, level.Get()), kErrInvalidArg);
  EXPECT_EQ(geometry->ReplaceLod(level.Get(), nullptr), kErrInvalidArg);
  // Data that is not a level: nothing to replace.
  EXPECT_EQ(geometry->ReplaceLod(Data(4).Get(), Data(3).Get()), kDone);
  EXPECT_EQ(geometry->GetLod(0), level.Get());
}

// --- world bound ------------------------------------------------------------------------------

TEST_F(GeometryTest, UndeformedBoundIsLevelZeroBoxUnderTheWorldMatrix) {
  CPointer<CGeometry> geometry = Geometry();
  ASSERT_EQ(geometry->SetSingleLod(Data(3).Get()), kOk);  // (0,0,0) .. (2,4,-2)
  ASSERT_EQ(geometry->AllocateWorldXYZ(1), kOk);
  geometry->GetWorldXYZ()[0] = {100, 100, 100};  // not read without deformation
  SetWorldMatrix(*geometry, Translation(10, 0, 0));
  ASSERT_EQ(geometry->UpdateWorldBound(), kOk);
  EXPECT_EQ(geometry->GetWorldBound().Min, Vec(10, 0, -2));
  EXPECT_EQ(geometry->GetWorldBound().Max, Vec(12, 4, 0));
}

TEST_F(GeometryTest, GeometryWithoutALevelHasAnEmptyBound) {
  CPointer<CGeometry> geometry = Geometry();
  CBound stale;
  stale.SetMinMax({0, 0, 0}, {1, 1, 1});
  geometry->SetWorldBound(stale);
  ASSERT_EQ(geometry->UpdateWorldBound(), kOk);
  EXPECT_TRUE(geometry->GetWorldBound().IsEmpty());
}

TEST_F(GeometryTest, DeformedBoundFollowsBoneBoxesOrWorldPositions) {
  CPointer<CTestLeaf> bone(new CTestLeaf(u"bone"));
  SetWorldMatrix(*bone, Translation(0, 0, 5));
  CPointer<CBoundingBox> box(new CBoundingBox());
  box->SetFromMinMax({-1, -1, -1}, {1, 1, 1});
  CPointer<CBoundingBox> second(new CBoundingBox());
  second->SetFromMinMax({0, 0, 0}, {3, 1, 1});

  struct Row {
    const char* what;
    bool withBoxes;
    bool dynamicFromVertex;
    bool usableBone;
    Vec min;
    Vec max;
  };
  const Row rows[] = {
      // Boxes under the bone: [-1,1]^3 + (0,0,5) merged with [0,3]x[0,1]x[0,1] + (0,0,5).
      {"bone boxes", true, false, true, {-1, -1, 4}, {3, 1, 6}},
      {"positions asked for", true, true, true, {7, 8, 9}, {10, 11, 12}},
      {"no boxes", false, false, true, {7, 8, 9}, {10, 11, 12}},
      {"boxes without a bone", true, false, false, {7, 8, 9}, {10, 11, 12}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CGeometry> geometry = Geometry();
    ASSERT_EQ(geometry->SetSingleLod(Data(3).Get()), kOk);
    ASSERT_EQ(geometry->AllocateWorldXYZ(2), kOk);
    geometry->GetWorldXYZ()[0] = {7, 8, 9};
    geometry->GetWorldXYZ()[1] = {10, 11, 12};
    if (row.withBoxes) {
      ASSERT_EQ(geometry->AddBoneBox(box.Get(), row.usableBone ? bone.Get() : nullptr), kOk);
      ASSERT_EQ(geometry->AddBoneBox(second.Get(), row.usableBone ? bone.Get() : nullptr), kOk);
    }
    geometry->SetUpdateDynamicWorldBoundFromVertex(row.dynamicFromVertex);
    geometry->SetHasDeformedWorldXYZ(true);
    ASSERT_EQ(geometry->UpdateWorldBound(), kOk);
    EXPECT_EQ(geometry->GetWorldBound().Min, row.min);
    EXPECT_EQ(geometry->GetWorldBound().Max, row.max);
  }
  CPointer<CGeometry> geometry = Geometry();
  EXPECT_EQ(geometry->AddBoneBox(nullptr, bone.Get()), kErrInvalidArg);
}

TEST_F(GeometryTest, TransformUpdateClearsTheDeformedFlagAndBoundIsItsPositions) {
  CPointer<CGeometry> geometry = Geometry();
  EXPECT_EQ(geometry->GetMinUpdateDepth(), 1048576);
  geometry->SetHasDeformedWorldXYZ(true);
  ASSERT_EQ(geometry->UpdateTransform(0), kOk);
  EXPECT_FALSE(geometry->HasDeformedWorldXYZ());
  // The mesh-state defaults.
  EXPECT_FALSE(geometry->IsWorldXYZReady());
  EXPECT_FALSE(geometry->IsWorldNormalReady());
  EXPECT_TRUE(geometry->GetRecomputeNormals());

  ASSERT_EQ(geometry->AllocateWorldXYZ(2), kOk);
  geometry->GetWorldXYZ()[1] = {2, -2, 4};
  CBound bound;
  EXPECT_EQ(geometry->GetBound(bound), kOk);
  EXPECT_EQ(bound.Min, Vec(0, -2, 0));
  EXPECT_EQ(bound.Max, Vec(2, 0, 4));
}

// --- references, copies ---------------------------------------------------------------------------

// A node holding a bone and a geometry with two levels, a shared object and
// two bone boxes (one of them without a bone).
struct Rig {
  CPointer<CNode> root{new CNode()};
  CPointer<CTestLeaf> bone{new CTestLeaf(u"bone")};
  CPointer<CGeometry> geometry = Geometry();
  CPointer<CGeometryData> level0 = Data(4, u"level 0", true);
  CPointer<CGeometryData> level1 = Data(3, u"level 1");
  CPointer<CBoundingBox> shared{new CBoundingBox()};
  CPointer<CBoundingBox> box{new CBoundingBox()};
  Rig() {
    root->SetName(u"root");
    shared->SetName(u"shared");
    box->SetName(u"box");
    box->SetFromMinMax({-1, -2, -3}, {1, 2, 3});
    root->AddChild(bone.Get());
    root->AddChild(geometry.Get());
    EXPECT_EQ(geometry->SetLods({level0, level1}), kOk);
    geometry->SetSharedObject(shared.Get());
    geometry->AddBoneBox(box.Get(), bone.Get());
    geometry->SetBone(true);
    geometry->SetUpdateDynamicWorldBoundFromVertex(true);
    // As Link leaves a loaded geometry.
    EXPECT_EQ(geometry->AllocateWorldXYZ(4), kOk);
    EXPECT_EQ(geometry->AllocateWorldNormal(1), kOk);
  }
};

TEST_F(GeometryTest, FindsAndCollectsItsSubObjects) {
  Rig rig;
  EXPECT_EQ(rig.geometry->Find(u"level 1", nullptr, false, false), rig.level1.Get());
  EXPECT_EQ(rig.geometry->Find(u"box", nullptr, false, false), rig.box.Get());
  EXPECT_EQ(rig.geometry->Find(u"shared", nullptr, false, false), rig.shared.Get());
  // The bone is not held by the geometry.
  EXPECT_EQ(rig.geometry->Find(u"bone", nullptr, false, false), nullptr);
  std::vector<CBase*> found;
  rig.geometry->Collect(found, nullptr, nullptr, false, false);
  EXPECT_EQ(found, (std::vector<CBase*>{rig.geometry.Get(), rig.shared.Get(), rig.level0.Get(), rig.level1.Get(),
                                        rig.box.Get()}));
  EXPECT_TRUE(rig.geometry->UpdateMarked({rig.box.Get()}));
  EXPECT_TRUE(rig.geometry->IsMarked());
  EXPECT_TRUE(rig.geometry->HasSubObjects());
}

TEST_F(GeometryTest, ResolveReferencesFindsBonesAgainByName) {
  Rig rig;
  CPointer<CNode> other(new CNode());
  CPointer<CTestLeaf> replacement(new CTestLeaf(u"bone"));
  other->AddChild(replacement.Get());
  EXPECT_EQ(rig.geometry->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(rig.geometry->ResolveReferences(other.Get()), kOk);
  EXPECT_EQ(rig.geometry->GetBoneBoxes()[0].Bone, replacement.Get());
  CPointer<CNode> without(new CNode());
  ASSERT_EQ(rig.geometry->ResolveReferences(without.Get()), kOk);
  EXPECT_EQ(rig.geometry->GetBoneBoxes()[0].Bone, nullptr);
}

TEST_F(GeometryTest, CloneCopiesLevelsBoxesAndRemapsBones) {
  Rig rig;
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(rig.root->Clone(out, map, 0), kOk);
  ASSERT_EQ(out->RemapAllReferences(map), kOk);
  CNode* root = DynamicCast<CNode>(out.Get());
  ASSERT_NE(root, nullptr);
  CGeometry* copy = DynamicCast<CGeometry>(root->GetChild(1).Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->GetLodCount(), 2u);
  for (u32 i = 0; i < 2; ++i) {
    EXPECT_NE(copy->GetLod(i), rig.geometry->GetLod(i));
    EXPECT_TRUE(copy->GetLod(i)->IsEqual(rig.geometry->GetLod(i)));
  }
  EXPECT_NE(copy->GetSharedObject(), rig.shared.Get());
  ASSERT_NE(copy->GetSharedObject(), nullptr);
  ASSERT_EQ(copy->GetBoneBoxes().size(), 1u);
  EXPECT_NE(copy->GetBoneBoxes()[0].Box.Get(), rig.box.Get());
  EXPECT_EQ(copy->GetBoneBoxes()[0].Bone, root->GetChild(0).Get());
  EXPECT_EQ(test::Members(copy), test::Members(rig.geometry.Get()));

  // Cloned alone, the geometry's bone has no clone to move to.
  CloneMap alone;
  ASSERT_EQ(rig.geometry->Clone(out, alone, 0), kOk);
  EXPECT_EQ(out->RemapReferences(alone), kErrCloneMissing);
}

TEST_F(GeometryTest, CopyToSharesLevelsAndHandsBackTheFormerOnes) {
  Rig rig;
  CPointer<CGeometry> target = Geometry(u"target");
  CPointer<CGeometryData> former = Data(2, u"former");
  ASSERT_EQ(target->SetLods({former, Data(1), Data(1)}), kOk);
  DisplacedList displaced;
  ASSERT_EQ(rig.geometry->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetLods(), rig.geometry->GetLods());
  EXPECT_EQ(target->GetSharedObject(), rig.shared.Get());
  ASSERT_EQ(target->GetBoneBoxes().size(), 1u);
  EXPECT_EQ(target->GetBoneBoxes()[0].Box.Get(), rig.box.Get());
  EXPECT_EQ(target->GetBoneBoxes()[0].Bone, rig.bone.Get());
  EXPECT_EQ(target->GetWorldXYZ().GetCount(), 4u);
  EXPECT_TRUE(target->IsBone());
  EXPECT_EQ(displaced.size(), 3u);
  EXPECT_EQ(displaced[0].Get(), former.Get());

  CPointer<CNode> node(new CNode());
  EXPECT_EQ(rig.geometry->CopyTo(node.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(rig.geometry->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

// --- persistence ------------------------------------------------------------------------------------

TEST_F(GeometryTest, SaveLoadSaveKeepsLevelsSharedObjectAndBoneBoxes) {
  Rig rig;
  const Bytes first = test::SaveRoots({rig.root.Get()});
  ASSERT_FALSE(first.empty());
  u32 records = 0;
  for (CBase* o : {static_cast<CBase*>(rig.root.Get()), static_cast<CBase*>(rig.bone.Get()),
                   static_cast<CBase*>(rig.geometry.Get()), static_cast<CBase*>(rig.level0.Get()),
                   static_cast<CBase*>(rig.level1.Get()), static_cast<CBase*>(rig.shared.Get()),
                   static_cast<CBase*>(rig.box.Get())}) {
    records += o->GetSaveSize();
  }
  EXPECT_EQ(first.size(), kFirstRecordOffset + records);

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CNode* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  CGeometry* loaded = DynamicCast<CGeometry>(root->GetChild(1).Get());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(rig.geometry.Get()));
  ASSERT_EQ(loaded->GetLodCount(), 2u);
  for (u32 i = 0; i < 2; ++i) {
    EXPECT_TRUE(loaded->GetLod(i)->IsEqual(rig.geometry->GetLod(i)));
    EXPECT_EQ(test::Members(loaded->GetLod(i)), test::Members(rig.geometry->GetLod(i)));
  }
  EXPECT_EQ(test::Members(loaded->GetSharedObject()), test::Members(rig.shared.Get()));
  ASSERT_EQ(loaded->GetBoneBoxes().size(), 1u);
  EXPECT_EQ(test::Members(loaded->GetBoneBoxes()[0].Box.Get()), test::Members(rig.box.Get()));
  EXPECT_EQ(loaded->GetBoneBoxes()[0].Bone, root->GetChild(0).Get());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// --- byte images of older records -------------------------------------------------------------------

// The vertex block: four positions of a unit square, one normal, a map
// pair per vertex (no colours, no material ids).
ByteWriter& SquareBlock(ByteWriter& w) {
  w.U32(4);
  for (f32 v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 0.f, 1.f, 0.f}) w.F32(v);
  w.U32(0);                                   // no XYZMtlID
  w.U32(1).U32(1).F32(0).F32(0).F32(1);       // one normal
  w.U32(0).U32(0);                            // no colours
  w.U32(4).U32(1).U32(0).U32(1).U32(2).U32(3);  // VertexXYZMap
  w.U32(1).U32(0).U32(0).U32(0).U32(0);       // VertexNormalMap
  return w.U32(0);                            // no VertexColorMap
}

ByteWriter DataBody(u64 id) {
  ByteWriter w;
  test::ObjectHead(w, id, u"stored level").Pair(1, 0);
  return SquareBlock(w);
}

struct GeometryImage {
  u32 minor = 4;
  u64 shared = 0;
  std::vector<u64> levels;  // 2.02: the first only
  std::vector<std::pair<u64, u64>> boxes;
  u32 boxCount = 0xFFFFFFFF;  // the stored count, when it should differ
  bool isBone = true;
};

ByteWriter GeometryBody(u64 id, const GeometryImage& image) {
  ByteWriter w;
  test::ObjectHead(w, id, u"geo");
  test::SpatialPart206(w).Pair(2, image.minor);
  if (image.minor < 2) SquareBlock(w);
  if (image.minor < 1) {
    w.U32(static_cast<u32>(image.shared));
  } else {
    w.U64(image.shared);
  }
  if (image.minor == 2) w.U64(image.levels.at(0));
  if (image.minor >= 3) {
    w.U32(static_cast<u32>(image.levels.size()));
    for (u64 level : image.levels) w.U64(level);
  }
  w.U8(image.isBone ? 1 : 0);
  if (image.minor >= 4) {
    w.U8(0).U32(image.boxCount != 0xFFFFFFFF ? image.boxCount : static_cast<u32>(image.boxes.size()));
    for (const auto& [box, bone] : image.boxes) w.U64(box).U64(bone);
  }
  return w;
}

TEST_F(GeometryTest, EveryPrefixOfTheRecordFails) {
  // One current record with every field: a shared id, two levels and a
  // bone box (the ids name nothing in this file).
  GeometryImage image;
  image.shared = 0x50;
  image.levels = {0x20, 0x21};
  image.boxes = {{0x30, 0x40}};
  test::SceneFile file;
  file.Record("CGeometry", GeometryBody(0x10, image), true);
  const Bytes bytes = file.Data();
  {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  }
  test::ExpectEveryPrefixFails(bytes, kFirstRecordOffset);
}

TEST_F(GeometryTest, EveryStoredVersionLoadsItsLevels) {
  struct Row {
    const char* what;
    GeometryImage image;
    bool withDataRecord;
    u32 expectedLevels;
  };
  const Row rows[] = {
      {"2.00: inline block, 4-byte shared id", {0, 0, {}, {}}, false, 1},
      {"2.01: inline block", {1, 0, {}, {}}, false, 1},
      {"2.02: one level id", {2, 0, {0x20}, {}}, true, 1},
      {"2.03: a list of levels", {3, 0, {0x20, 0x20}, {}}, true, 2},
      {"2.04: bone boxes", {4, 0, {0x20}, {{0x30, 0x40}}}, true, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CGeometry", GeometryBody(0x10, row.image), true);
    if (row.withDataRecord) file.Record("CGeometryData", DataBody(0x20));
    if (!row.image.boxes.empty()) {
      ByteWriter box;
      test::ObjectHead(box, 0x30, u"box").Pair(2, 0);
      for (int i = 0; i < 24; ++i) box.F32(f32(i % 3));
      file.Record("CBoundingBox", box);
      // A root of its own: a bone that only the pair named would be held by
      // nothing once the stream is gone, and the link drops it.
      file.Record("CTestLeaf", test::LeafBody(0x40, u"bone"), true);
    }
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
    CGeometry* geometry = DynamicCast<CGeometry>(stream.GetRootObject(0));
    ASSERT_NE(geometry, nullptr);
    EXPECT_TRUE(geometry->IsBone());
    ASSERT_EQ(geometry->GetLodCount(), row.expectedLevels);
    const CGeometryData* level = geometry->GetLod(0);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetXYZ().GetCount(), 4u);
    EXPECT_EQ(level->GetXYZ()[2], Vec(1, 1, 0));
    EXPECT_EQ(level->GetVertexXYZMap().GetCount(), 4u);
    EXPECT_EQ(level->GetBoundingBox().Max, Vec(1, 1, 0));
    // World buffers sized from level 0.
    EXPECT_EQ(geometry->GetWorldXYZ().GetCount(), 4u);
    EXPECT_EQ(geometry->GetWorldNormal().GetCount(), 1u);
    if (!row.image.boxes.empty()) {
      ASSERT_EQ(geometry->GetBoneBoxes().size(), 1u);
      EXPECT_NE(geometry->GetBoneBoxes()[0].Box.Get(), nullptr);
      ASSERT_NE(geometry->GetBoneBoxes()[0].Bone, nullptr);
      EXPECT_EQ(geometry->GetBoneBoxes()[0].Bone->GetName(), u"bone");
    }
    // Saved again, it is a current record that loads to the same levels.
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    CGeometry* copy = DynamicCast<CGeometry>(reloaded.GetRootObject(0));
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->GetLodCount(), row.expectedLevels);
    EXPECT_TRUE(copy->GetLod(0)->IsEqual(level));
  }
}

TEST_F(GeometryTest, CountsBeyondTheRecordAreRefusedBeforeAllocating) {
  ByteWriter levels;
  test::ObjectHead(levels, 0x10);
  test::SpatialPart206(levels).Pair(2, 3).U64(0).U32(0x10000000).U64(0x20);
  ByteWriter positions;
  test::ObjectHead(positions, 0x10);
  test::SpatialPart206(positions).Pair(2, 1).U32(0x10000000).F32(0);
  GeometryImage manyBoxes;
  manyBoxes.boxCount = 0x08000000;
  const std::pair<const char*, ByteWriter> rows[] = {
      {"level count", levels},
      {"inline position count", positions},
      {"bone-box count", GeometryBody(0x10, manyBoxes)},
  };
  for (const auto& [what, body] : rows) {
    SCOPED_TRACE(what);
    test::SceneFile file;
    file.Record("CGeometry", body, true);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrStream);
  }
}

TEST_F(GeometryTest, LevelIdsThatNameNoVertexDataLeaveEmptyLevels) {
  // Level 0 names a bounding box, level 1 nothing at all.
  test::SceneFile file;
  file.Record("CGeometry", GeometryBody(0x10, {3, 0, {0x30, 0x99}, {}}), true);
  ByteWriter box;
  test::ObjectHead(box, 0x30).Pair(2, 0);
  for (int i = 0; i < 24; ++i) box.F32(0);
  file.Record("CBoundingBox", box);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
  CGeometry* geometry = DynamicCast<CGeometry>(stream.GetRootObject(0));
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->GetLodCount(), 2u);
  EXPECT_EQ(geometry->GetLod(0), nullptr);
  EXPECT_EQ(geometry->GetLod(1), nullptr);
  EXPECT_TRUE(geometry->GetWorldXYZ().IsEmpty());
  EXPECT_EQ(geometry->UpdateWorldBound(), kOk);
  EXPECT_TRUE(geometry->GetWorldBound().IsEmpty());
  // Adding after an empty entry is not held to its (unknown) count.
  EXPECT_EQ(geometry->AddLod(Data(5).Get()), kOk);
}

// --- shared ray query -----------------------------------------------------------------------------------

TEST(IntersectRayTrianglesTest, NearestHitWinsAndBadTrianglesAreSkipped) {
  // Triangles facing +z: t0 at z = -1, t1 at z = 0, t2 a copy of t1, t3
  // naming a position that does not exist.
  const Vec positions[] = {{0, 0, -1}, {1, 0, -1}, {0, 1, -1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const u32 indices[] = {0, 1, 2, 3, 4, 5, 3, 4, 5, 3, 4, 99};
  const Vec origin{0.25f, 0.25f, 5};
  const Vec down{0, 0, -1};
  struct Row {
    const char* what;
    u32 indexCount;
    u32 triangleCount;
    Vec direction;
    bool twoSided;
    bool hit;
    u32 triangle;
    f32 distance;
  };
  const Row rows[] = {
      {"nearest of all, first of equals", 12, 4, down, false, true, 1, 5},
      {"only the far one", 3, 4, down, false, true, 0, 6},
      {"count limits the triangles", 12, 1, down, false, true, 0, 6},
      {"back faces skipped one-sided", 12, 4, Vec(0, 0, 1), false, false, 0, 0},
      {"no triangles", 0, 0, down, true, false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    u32 triangle = 77;
    f32 distance = 0;
    Vec point{9, 9, 9};
    Vec normal{9, 9, 9};
    const Vec start = row.direction == down ? origin : Vec(0.25f, 0.25f, -5);
    const bool hit = IntersectRayTriangles(start, row.direction, row.twoSided, indices, row.indexCount, positions, 6,
                                           row.triangleCount, triangle, distance, point, normal);
    EXPECT_EQ(hit, row.hit);
    if (row.hit) {
      EXPECT_EQ(triangle, row.triangle);
      EXPECT_FLOAT_EQ(distance, row.distance);
      EXPECT_EQ(normal, Vec(0, 0, 1));
      EXPECT_FLOAT_EQ(point.x, 0.25f);
    } else {
      EXPECT_EQ(distance, std::numeric_limits<f32>::max());
      EXPECT_EQ(point, Vec());
      EXPECT_EQ(normal, Vec());
    }
  }
}

}  // namespace
}  // namespace KT
