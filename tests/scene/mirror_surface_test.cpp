// Mirror surfaces: the per-frame update of their positions, the list of UVW
// maps under every object operation, copies, and the record.
#include "scene/mirror_surface.h"
#include "objectmodel/test_class_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "controllers/core/control.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "scene/geometry_data.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

constexpr std::size_t kFirstRecordOffset = 40;

class MirrorSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CMirrorSurface", &CreateObject<CMirrorSurface>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    test::UseTestIds(0);
  }
};

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

// Level data with the positions (0,0,0), (1,0,0), (0,1,0).
CPointer<CGeometryData> Level() {
  CPointer<CGeometryData> data;
  EXPECT_EQ(CGeometryData::Create(data), kOk);
  data->SetName(u"level");
  EXPECT_EQ(data->AllocateXYZ(3), kOk);
  data->GetXYZ()[1] = {1, 0, 0};
  data->GetXYZ()[2] = {0, 1, 0};
  data->UpdateBoundingBox();
  return data;
}

CPointer<CUvwMap> Map(const char16_t* name) {
  CPointer<CUvwMap> map;
  EXPECT_EQ(CUvwMap::Create(map), kOk);
  map->SetName(name);
  EXPECT_EQ(map->AllocateUvw(2), kOk);
  map->GetUVW()[1] = {1, 1, 0};
  return map;
}

CPointer<CMirrorSurface> Surface(std::vector<CPointer<CUvwMap>> maps = {}) {
  CPointer<CMirrorSurface> surface;
  EXPECT_EQ(CMirrorSurface::Create(surface), kOk);
  surface->SetName(u"mirror");
  EXPECT_EQ(surface->SetSingleLod(Level().Get()), kOk);
  // As a loaded surface has them: one world position per vertex of level 0.
  EXPECT_EQ(surface->AllocateWorldXYZ(3), kOk);
  surface->SetUvwMaps(maps);
  return surface;
}

// A deforming data controller: its apply lifts every position by 5 in z
// and, like skinning, may leave world positions behind.
class CLiftControl : public CControl {
  KT_TEST_CLASS(CLiftControl, CControl, 1, 0)

 public:
  CLiftControl() = default;
  CLiftControl(const CLiftControl& other) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return 1000; }
  Result UpdateTransform(i32) override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  bool IsDataControl() const override { return true; }
  Result Update(i32) override { return result; }
  Result Apply() override {
    auto* geometry = DynamicCast<CGeometry>(GetObject());
    for (Vec& p : geometry->GetWorldXYZ()) p.z += 5;
    if (writesWorld) geometry->SetWorldXYZReady(true);
    return kOk;
  }

  bool writesWorld = false;
  Result result = kOk;
};

std::vector<Vec> World(const CGeometry& geometry) {
  return std::vector<Vec>(geometry.GetWorldXYZ().begin(), geometry.GetWorldXYZ().end());
}

// --- class and update -----------------------------------------------------------------------------

TEST_F(MirrorSurfaceTest, DefaultsAndClassRecord) {
  CPointer<CMirrorSurface> surface;
  ASSERT_EQ(CMirrorSurface::Create(surface), kOk);
  EXPECT_STREQ(surface->GetClassRecord().name, "CMirrorSurface");
  EXPECT_EQ(surface->GetVersion(), 100u);
  EXPECT_NE(DynamicCast<CGeometry>(surface.Get()), nullptr);
  EXPECT_EQ(surface->GetUVWMapQuantity(), 0u);
  EXPECT_FALSE(surface->HasSubObjects());
  EXPECT_EQ(surface->GetMinUpdateDepth(), 1048576);
}

TEST_F(MirrorSurfaceTest, UpdateMovesLevelZeroIntoWorldSpaceOnceUnlessAControllerDid) {
  struct Row {
    const char* what;
    bool withController;
    bool writesWorld;
    std::vector<Vec> expected;
  };
  const Row rows[] = {
      {"no controller", false, false, {{10, 0, 0}, {11, 0, 0}, {10, 1, 0}}},
      {"deformer in local space: moved afterwards", true, false, {{10, 0, 5}, {11, 0, 5}, {10, 1, 5}}},
      {"deformer that writes world positions: not moved again", true, true, {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CMirrorSurface> surface = Surface();
    surface->SetWorld(CMatrix3(), CMatrix3(), Translation(10, 0, 0));
    if (row.withController) {
      CPointer<CLiftControl> lift(new CLiftControl());
      lift->writesWorld = row.writesWorld;
      ASSERT_EQ(surface->AddControl(lift.Get()), kOk);
    }
    // Two frames: every frame starts again from level 0.
    for (int frame = 0; frame < 2; ++frame) {
      ASSERT_EQ(surface->Update(40 * frame), kOk);
      EXPECT_EQ(World(*surface), row.expected);
      EXPECT_TRUE(surface->IsWorldXYZReady());
    }
  }
}

TEST_F(MirrorSurfaceTest, UpdateReportsControllerFailuresAndMissingLevels) {
  CPointer<CMirrorSurface> surface = Surface();
  CPointer<CLiftControl> lift(new CLiftControl());
  lift->result = kErrInvalidArg;
  ASSERT_EQ(surface->AddControl(lift.Get()), kOk);
  EXPECT_EQ(surface->Update(0), kErrInvalidArg);
  EXPECT_FALSE(surface->IsWorldXYZReady());

  CPointer<CMirrorSurface> empty;
  ASSERT_EQ(CMirrorSurface::Create(empty), kOk);
  EXPECT_EQ(empty->Update(0), kDone);
  EXPECT_TRUE(empty->GetWorldXYZ().IsEmpty());
}

TEST_F(MirrorSurfaceTest, SurfaceUpdatesInTheDataPassOfItsScene) {
  CPointer<CNode> root(new CNode());
  CPointer<CMirrorSurface> surface = Surface({Map(u"reflection")});
  ASSERT_EQ(root->AddChild(surface.Get()), kOk);
  surface->SetWorld(CMatrix3(), CMatrix3(), Translation(0, 0, 2));
  std::vector<CDorun*> animated;
  ASSERT_EQ(surface->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, std::vector<CDorun*>{surface.Get()});
  ASSERT_EQ(root->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_TRUE(surface->IsWorldXYZReady());
  EXPECT_EQ(surface->GetWorldXYZ().GetCount(), 3u);
}

// --- the map list under the object operations ---------------------------------------------------------

TEST_F(MirrorSurfaceTest, MapsTakePartInFindCollectMarksAndReferences) {
  CPointer<CUvwMap> first = Map(u"first");
  CPointer<CUvwMap> second = Map(u"second");
  CPointer<CMirrorSurface> surface = Surface({first, nullptr, second});
  EXPECT_EQ(surface->GetUVWMapQuantity(), 3u);
  EXPECT_EQ(surface->GetUvwMap(1), nullptr);
  EXPECT_EQ(surface->GetUvwMap(9), nullptr);
  EXPECT_EQ(surface->Find(u"second", nullptr, false, false), second.Get());
  EXPECT_EQ(surface->Find(u"mirror", nullptr, false, false), surface.Get());
  std::vector<CBase*> maps;
  surface->Collect(maps, nullptr, &CUvwMap::StaticClassRecord(), false, false);
  EXPECT_EQ(maps, (std::vector<CBase*>{first.Get(), second.Get()}));
  EXPECT_TRUE(surface->HasSubObjects());

  EXPECT_TRUE(surface->UpdateMarked({second.Get()}));
  EXPECT_TRUE(surface->IsMarked());
  surface->ClearMarked();
  EXPECT_FALSE(second->IsMarked());

  struct Recorder : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  } recorder;
  surface->EnumReferences(recorder);
  // The three entries (the empty one included) come first, all owned.
  ASSERT_GE(recorder.seen.size(), 3u);
  EXPECT_EQ(recorder.seen[0], std::make_pair(static_cast<CBase*>(first.Get()), 1u));
  EXPECT_EQ(recorder.seen[1], std::make_pair(static_cast<CBase*>(nullptr), 1u));
  EXPECT_EQ(recorder.seen[2], std::make_pair(static_cast<CBase*>(second.Get()), 1u));

  EXPECT_EQ(surface->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(surface->ResolveReferences(surface.Get()), kOk);

  // Only empty entries: nothing below the geometry's own answer.
  CPointer<CMirrorSurface> bare;
  ASSERT_EQ(CMirrorSurface::Create(bare), kOk);
  bare->SetUvwMaps({nullptr, nullptr});
  EXPECT_FALSE(bare->HasSubObjects());
}

TEST_F(MirrorSurfaceTest, CopiesShareOrCloneTheMaps) {
  CPointer<CUvwMap> map = Map(u"map");
  CPointer<CMirrorSurface> surface = Surface({map, nullptr});

  CPointer<CBase> instance;
  ASSERT_EQ(surface->CreateInstance(instance), kOk);
  auto* shared = DynamicCast<CMirrorSurface>(instance.Get());
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->GetUvwMaps(), surface->GetUvwMaps());

  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(surface->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CMirrorSurface>(out.Get());
  ASSERT_NE(clone, nullptr);
  ASSERT_EQ(clone->GetUVWMapQuantity(), 2u);
  ASSERT_NE(clone->GetUvwMap(0), nullptr);
  EXPECT_NE(clone->GetUvwMap(0), map.Get());
  EXPECT_EQ(clone->GetUvwMap(0)->GetName(), u"map");
  EXPECT_EQ(clone->GetUvwMap(1), nullptr);
  EXPECT_EQ(test::Members(clone), test::Members(surface.Get()));
}

TEST_F(MirrorSurfaceTest, CopyToHandsBackEveryFormerMapAndTakesTheSourceCount) {
  CPointer<CMirrorSurface> source = Surface({Map(u"a"), Map(u"b")});
  const std::vector<CPointer<CUvwMap>> former = {Map(u"x"), Map(u"y"), Map(u"z")};
  struct Row {
    const char* what;
    std::vector<CPointer<CUvwMap>> sourceMaps;
  };
  const Row rows[] = {{"two maps onto three", {Map(u"a"), Map(u"b")}},
                      {"four maps onto three", {Map(u"a"), Map(u"b"), Map(u"c"), Map(u"d")}},
                      {"no maps onto three", {}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    source->SetUvwMaps(row.sourceMaps);
    CPointer<CMirrorSurface> target = Surface(former);
    DisplacedList displaced;
    ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
    EXPECT_EQ(target->GetUvwMaps(), row.sourceMaps);
    for (const CPointer<CUvwMap>& old : former) {
      const auto isOld = [&](const CPointer<CBase>& o) { return o.Get() == old.Get(); };
      EXPECT_NE(std::find_if(displaced.begin(), displaced.end(), isOld), displaced.end());
    }
    EXPECT_EQ(target->GetLods(), source->GetLods());
  }

  CPointer<CGeometry> geometry(new CGeometry());
  const std::string before = test::Members(geometry.Get());
  DisplacedList displaced;
  EXPECT_EQ(source->CopyTo(geometry.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(geometry.Get()), before);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

// --- record -------------------------------------------------------------------------------------------------

TEST_F(MirrorSurfaceTest, SaveLoadSaveKeepsLevelAndMaps) {
  CPointer<CNode> root(new CNode());
  CPointer<CMirrorSurface> surface = Surface({Map(u"one"), nullptr, Map(u"three")});
  ASSERT_EQ(root->AddChild(surface.Get()), kOk);
  const Bytes first = test::SaveRoots({root.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* loadedRoot = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(loadedRoot, nullptr);
  auto* loaded = DynamicCast<CMirrorSurface>(loadedRoot->GetChild(0).Get());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(surface.Get()));
  ASSERT_EQ(loaded->GetUVWMapQuantity(), 3u);
  ASSERT_NE(loaded->GetUvwMap(0), nullptr);
  EXPECT_EQ(loaded->GetUvwMap(0)->GetName(), u"one");
  EXPECT_EQ(loaded->GetUvwMap(1), nullptr);
  EXPECT_EQ(loaded->GetUvwMap(2)->GetName(), u"three");
  EXPECT_EQ(test::Members(loaded->GetUvwMap(2)), test::Members(surface->GetUvwMap(2)));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(MirrorSurfaceTest, SurfaceWithoutMapsEndsWithItsVersionAndACountOfZero) {
  CPointer<CMirrorSurface> surface = Surface();
  const Bytes bytes = test::SaveRoots({surface.Get()});
  ASSERT_GE(bytes.size(), 12u);
  ByteWriter tail;
  tail.Pair(1, 0).U32(0);
  // The surface is the first record; its level follows it.
  const std::size_t end = kFirstRecordOffset + surface->GetSaveSize();
  ASSERT_LE(end, bytes.size());
  EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(end - 12), bytes.begin() + static_cast<std::ptrdiff_t>(end)),
            tail.Data());
}

// The surface record: a 2.04 geometry part naming level `level`, then the
// surface part with the given map ids.
ByteWriter SurfaceBody(const std::vector<u64>& maps, u64 level = 0x20, u32 count = 0xFFFFFFFF) {
  ByteWriter w;
  test::ObjectHead(w, 0x10, u"mirror");
  test::SpatialPart206(w).Pair(2, 4).U64(0).U32(1).U64(level).U8(0).U8(0).U32(0);
  w.Pair(1, 0).U32(count != 0xFFFFFFFF ? count : static_cast<u32>(maps.size()));
  for (u64 id : maps) w.U64(id);
  return w;
}

ByteWriter LevelBody(u64 id) {
  ByteWriter w;
  test::ObjectHead(w, id, u"stored level").Pair(1, 0).U32(2);
  for (f32 v : {0.f, 0.f, 0.f, 2.f, 0.f, 0.f}) w.F32(v);
  for (int i = 0; i < 9; ++i) w.U32(0);  // no ids, normals, colours or maps
  return w;
}

ByteWriter MapBody(u64 id, const std::u16string& name) {
  ByteWriter w;
  test::ObjectHead(w, id, name).Pair(2, 1).U32(1).F32(0.5f).F32(0.5f).F32(0);
  return w.U64(0);
}

TEST_F(MirrorSurfaceTest, StoredRecordResolvesItsMaps) {
  test::SceneFile file;
  // 0x20 is vertex data, not a map: its entry stays empty; 0x99 names nothing.
  file.Record("CMirrorSurface", SurfaceBody({0x60, 0, 0x20, 0x99, 0x61}), true);
  file.Record("CGeometryData", LevelBody(0x20));
  file.Record("CUvwMap", MapBody(0x60, u"sixty"));
  file.Record("CUvwMap", MapBody(0x61, u"sixty-one"));
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
  auto* surface = DynamicCast<CMirrorSurface>(stream.GetRootObject(0));
  ASSERT_NE(surface, nullptr);
  ASSERT_EQ(surface->GetUVWMapQuantity(), 5u);
  std::vector<std::u16string> names;
  for (const CPointer<CUvwMap>& map : surface->GetUvwMaps()) names.push_back(map ? map->GetName() : u"-");
  EXPECT_EQ(names, (std::vector<std::u16string>{u"sixty", u"-", u"-", u"-", u"sixty-one"}));
  EXPECT_EQ(surface->GetLodVertexCount(0), 2u);
  ASSERT_EQ(surface->Update(0), kOk);
  EXPECT_EQ(World(*surface), (std::vector<Vec>{{0, 0, 0}, {2, 0, 0}}));
}

TEST_F(MirrorSurfaceTest, BrokenRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  const Row rows[] = {
      {"map count beyond the record", SurfaceBody({0x60}, 0x20, 0x10000000), kErrStream},
      {"map count of all ones", SurfaceBody({}, 0x20, 0xFFFFFFFE), kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CMirrorSurface", row.body, true);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file.Data(), stream, device), row.expected);
  }
  // A newer surface part than the class knows.
  ByteWriter newer = SurfaceBody({});
  Bytes data = newer.Data();
  const std::size_t minorAt = data.size() - 8;
  const u32 minor = 1;
  std::memcpy(&data[minorAt], &minor, 4);
  ByteWriter patched;
  patched.Bytes(data);
  test::SceneFile file;
  file.Record("CMirrorSurface", patched, true);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrNewerVersion);
}

TEST_F(MirrorSurfaceTest, EveryPrefixOfTheRecordFails) {
  test::SceneFile file;
  file.Record("CMirrorSurface", SurfaceBody({0x60, 0, 0x61}), true);
  const Bytes bytes = file.Data();
  {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  }
  test::ExpectEveryPrefixFails(bytes, kFirstRecordOffset);
}

}  // namespace
}  // namespace KT
