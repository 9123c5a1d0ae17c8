// Particle nodes: sizing the slot arrays, resetting them, the per-frame
// update and bound, copies, and the record of every stored version.
#include "scene/particles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "scene/geometry_data.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

constexpr std::size_t kFirstRecordOffset = 40;

class ParticlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CParticles", &CreateObject<CParticles>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    test::UseTestIds(0);
  }
};

CPointer<CGeometryData> Level(u32 positions = 1) {
  CPointer<CGeometryData> data;
  EXPECT_EQ(CGeometryData::Create(data), kOk);
  data->SetName(u"slots");
  if (positions != 0) {
    EXPECT_EQ(data->AllocateXYZ(positions), kOk);
    data->GetXYZ()[0] = {1, 2, 3};
  }
  return data;
}

CPointer<CParticles> Node(u32 levels = 1) {
  CPointer<CParticles> node;
  EXPECT_EQ(CParticles::Create(node), kOk);
  node->SetName(u"sparks");
  if (levels == 1) {
    EXPECT_EQ(node->SetSingleLod(Level().Get()), kOk);
  } else if (levels == 2) {
    EXPECT_EQ(node->SetLods({Level(2), Level(1)}), kOk);
  }
  return node;
}

// Every slot array's size, in a fixed order.
std::vector<std::size_t> Sizes(CParticles& p) {
  return {p.GetColor().GetCount(),      p.GetSize().size(),          p.GetLife().size(),
          p.GetRemainingLife().size(),  p.GetAngle().size(),         p.GetBaseVelocity().size(),
          p.GetVelocity().size(),       p.GetSpin().size(),          p.GetJitterTimer().size(),
          p.GetFallSpeed().size(),      p.GetWorldXYZ().GetCount(),  p.GetLodVertexCount(0)};
}

// Writes 1 into every slot of every array.
void FillSlots(CParticles& p) {
  for (CColor& c : p.GetColor()) c = {1, 1, 1, 1};
  for (std::vector<Vec>* v : {&p.GetSize(), &p.GetBaseVelocity(), &p.GetVelocity()}) {
    for (Vec& e : *v) e = {1, 1, 1};
  }
  for (std::vector<f32>* v :
       {&p.GetLife(), &p.GetRemainingLife(), &p.GetAngle(), &p.GetSpin(), &p.GetJitterTimer(), &p.GetFallSpeed()}) {
    for (f32& e : *v) e = 1;
  }
  for (Vec& e : p.GetWorldXYZ()) e = {1, 1, 1};
}

TEST_F(ParticlesTest, DefaultsAndClassRecord) {
  CPointer<CParticles> node;
  ASSERT_EQ(CParticles::Create(node), kOk);
  EXPECT_STREQ(node->GetClassRecord().name, "CParticles");
  EXPECT_EQ(node->GetVersion(), 202u);
  EXPECT_EQ(node->GetMaxQuantity(), 0u);
  EXPECT_EQ(node->GetBlendMode(), CParticles::EAlphaBlend);
  EXPECT_EQ(node->GetFaceToMode(), CParticles::EFaceCam);
  EXPECT_EQ(node->GetSoftness(), 0u);
  EXPECT_FALSE(node->GetParticleFlag());
  EXPECT_EQ(node->GetOrigin(), Vec());
  EXPECT_EQ(Sizes(*node), std::vector<std::size_t>(12, 0));
  const std::string members = test::Members(node.Get());
  for (const char* text : {"MaxQuantity = 0", "Softness = 0", "BlendMode = 0 EAlphaBlend", "FaceToMode = 0 EFaceCam"}) {
    EXPECT_NE(members.find(text), std::string::npos) << text;
  }
}

TEST_F(ParticlesTest, SetMaxQuantitySizesEverySlotArrayOrRefusesWithoutChange) {
  struct Row {
    const char* what;
    u32 levels;
    u32 n;
    Result expected;
  };
  const Row rows[] = {
      {"one level", 1, 5, kOk},
      {"capacity 0 without a level", 0, 0, kOk},
      {"no level", 0, 5, kErrInvalidArg},
      {"two levels", 2, 5, kErrInvalidArg},
      {"above the limit", 1, CParticles::kMaxQuantityLimit + 1, kErrInvalidArg},
      {"all ones", 1, 0xFFFFFFFF, kErrInvalidArg},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CParticles> node = Node(row.levels);
    node->SetParticleCounter(3);
    const std::vector<std::size_t> before = Sizes(*node);
    EXPECT_EQ(node->SetMaxQuantity(row.n), row.expected);
    if (row.expected != kOk) {
      EXPECT_EQ(node->GetMaxQuantity(), 0u);
      EXPECT_EQ(node->GetParticleCounter(), 3u);
      EXPECT_EQ(Sizes(*node), before);
      continue;
    }
    EXPECT_EQ(node->GetMaxQuantity(), row.n);
    EXPECT_EQ(node->GetParticleCounter(), 0u);
    if (row.n == 0) continue;
    EXPECT_EQ(Sizes(*node), std::vector<std::size_t>(12, row.n));
    // Level 0 holds one zeroed vertex per slot.
    for (const Vec& p : node->GetLod(0)->GetXYZ()) EXPECT_EQ(p, Vec());
  }
}

TEST_F(ParticlesTest, LevelWhoseVertexMapNamesAPositionPastTheCapacityIsRefused) {
  CPointer<CParticles> node = Node();
  CGeometryData* level = node->GetLod(0);
  ASSERT_EQ(level->AllocateXYZ(4), kOk);
  ASSERT_EQ(level->AllocateVertexMaps(2), kOk);
  level->GetVertexXYZMap()[1] = 3;
  EXPECT_EQ(node->SetMaxQuantity(3), kErrInvalidArg);
  EXPECT_EQ(level->GetXYZ().GetCount(), 4u);
  EXPECT_EQ(node->SetMaxQuantity(4), kOk);
  // Per-vertex material ids follow the position count.
  ASSERT_EQ(level->AllocateXYZMtlID(), kOk);
  EXPECT_EQ(node->SetMaxQuantity(6), kOk);
  EXPECT_EQ(level->GetXYZMtlID().GetCount(), 6u);
}

TEST_F(ParticlesTest, CapacityZeroKeepsTheArraysAndGrowingKeepsSizesAndAngles) {
  CPointer<CParticles> node = Node();
  ASSERT_EQ(node->SetMaxQuantity(4), kOk);
  FillSlots(*node);
  ASSERT_EQ(node->SetMaxQuantity(0), kOk);
  EXPECT_EQ(node->GetMaxQuantity(), 0u);
  EXPECT_EQ(Sizes(*node), std::vector<std::size_t>(12, 4));
  EXPECT_EQ(node->GetLife()[3], 1.0f);

  ASSERT_EQ(node->SetMaxQuantity(6), kOk);
  EXPECT_EQ(node->GetSize()[3], Vec(1, 1, 1));
  EXPECT_EQ(node->GetAngle()[3], 1.0f);
  EXPECT_EQ(node->GetSize()[5], Vec());
  EXPECT_EQ(node->GetLife()[3], 0.0f);  // reset
}

TEST_F(ParticlesTest, ResetClearsLivesAndMotionButKeepsSizesAnglesPositionsAndColours) {
  CPointer<CParticles> node = Node();
  ASSERT_EQ(node->SetMaxQuantity(3), kOk);
  FillSlots(*node);
  node->ResetParticles();
  for (u32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(node->GetLife()[i], 0.0f);
    EXPECT_EQ(node->GetRemainingLife()[i], 0.0f);
    EXPECT_EQ(node->GetSpin()[i], 0.0f);
    EXPECT_EQ(node->GetJitterTimer()[i], 0.0f);
    EXPECT_EQ(node->GetFallSpeed()[i], 0.0f);
    EXPECT_EQ(node->GetBaseVelocity()[i], Vec());
    EXPECT_EQ(node->GetVelocity()[i], Vec());
    EXPECT_EQ(node->GetSize()[i], Vec(1, 1, 1));
    EXPECT_EQ(node->GetAngle()[i], 1.0f);
    EXPECT_EQ(node->GetWorldXYZ()[i], Vec(1, 1, 1));
    EXPECT_EQ(node->GetColor()[i], CColor(1, 1, 1, 1));
  }
}

TEST_F(ParticlesTest, UpdateResetsAtTheStartOfPlaybackAndMarksTheWorldBuffersFinal) {
  struct Row {
    i32 time;
    f32 life;  // of slot 0 afterwards
  };
  for (const Row& row : {Row{0, 0.0f}, Row{40, 1.0f}, Row{-40, 1.0f}}) {
    SCOPED_TRACE(row.time);
    CPointer<CParticles> node = Node();
    ASSERT_EQ(node->SetMaxQuantity(2), kOk);
    FillSlots(*node);
    ASSERT_EQ(node->Update(row.time), kOk);
    EXPECT_EQ(node->GetLife()[0], row.life);
    EXPECT_TRUE(node->IsWorldXYZReady());
    EXPECT_TRUE(node->IsWorldNormalReady());
  }

  CPointer<CParticles> node = Node();
  CPointer<test::CLogControl> failing(new test::CLogControl(u"fails"));
  failing->isData = true;
  failing->dataResult = kErrInvalidArg;
  ASSERT_EQ(node->AddControl(failing.Get()), kOk);
  EXPECT_EQ(node->Update(40), kErrInvalidArg);
  EXPECT_FALSE(node->IsWorldXYZReady());
  EXPECT_FALSE(node->IsWorldNormalReady());

  std::vector<CDorun*> animated;
  ASSERT_EQ(Node()->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated.size(), 1u);
}

TEST_F(ParticlesTest, SceneUpdateResetsTheSlotsWhenPlaybackStartsAgain) {
  CPointer<CNode> root(new CNode());
  CPointer<CParticles> node = Node();
  ASSERT_EQ(root->AddChild(node.Get()), kOk);
  ASSERT_EQ(node->SetMaxQuantity(2), kOk);
  FillSlots(*node);
  ASSERT_EQ(root->UpdateScene(40, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(node->GetRemainingLife()[1], 1.0f);
  EXPECT_TRUE(node->IsWorldXYZReady());
  ASSERT_EQ(root->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(node->GetRemainingLife()[1], 0.0f);
}

TEST_F(ParticlesTest, WorldBoundFollowsTheNodePositionAndKeepsItsExtent) {
  CPointer<CParticles> node = Node();
  CBound bound;
  bound.Radius = 3;
  bound.Min = {-3, -3, -3};
  bound.Max = {3, 3, 3};
  node->SetWorldBound(bound);
  CMatrix4 world;
  world.m[3][0] = 1;
  world.m[3][1] = 2;
  world.m[3][2] = 3;
  node->SetWorld(CMatrix3(), CMatrix3(), world);
  EXPECT_EQ(node->UpdateWorldBound(), kDone);
  EXPECT_EQ(node->GetWorldBound().Center, Vec(1, 2, 3));
  EXPECT_EQ(node->GetWorldBound().Radius, 3.0f);
  EXPECT_EQ(node->GetWorldBound().Min, Vec(-3, -3, -3));
  EXPECT_EQ(node->GetWorldBound().Max, Vec(3, 3, 3));
}

TEST_F(ParticlesTest, CopyToCarriesSettingsAndResizesOnlyATargetOfAnotherCapacity) {
  CPointer<CParticles> source = Node();
  ASSERT_EQ(source->SetMaxQuantity(4), kOk);
  source->SetBlendMode(CParticles::EAdditive);
  source->SetFaceToMode(CParticles::EHorizontal);
  source->SetSoftness(7);
  source->SetParticleFlag(true);

  struct Row {
    const char* what;
    u32 targetCapacity;
    bool keepsArrays;
  };
  for (const Row& row : {Row{"same capacity", 4, true}, Row{"other capacity", 2, false}}) {
    SCOPED_TRACE(row.what);
    CPointer<CParticles> target = Node();
    ASSERT_EQ(target->SetMaxQuantity(row.targetCapacity), kOk);
    FillSlots(*target);
    const CColor* colours = target->GetColor().GetData();
    DisplacedList displaced;
    ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
    EXPECT_EQ(target->GetBlendMode(), CParticles::EAdditive);
    EXPECT_EQ(target->GetFaceToMode(), CParticles::EHorizontal);
    EXPECT_EQ(target->GetSoftness(), 7u);
    EXPECT_TRUE(target->GetParticleFlag());
    EXPECT_EQ(target->GetMaxQuantity(), 4u);
    EXPECT_EQ(target->GetColor().GetCount(), 4u);
    EXPECT_EQ(target->GetColor().GetData() == colours, row.keepsArrays);
    EXPECT_EQ(target->GetLife()[0], row.keepsArrays ? 1.0f : 0.0f);
  }

  CPointer<CGeometry> geometry(new CGeometry());
  const std::string before = test::Members(geometry.Get());
  DisplacedList displaced;
  EXPECT_EQ(source->CopyTo(geometry.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(geometry.Get()), before);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  // A target with two levels takes the source's single level first, so it
  // can take the capacity too.
  CPointer<CParticles> twoLevels = Node(2);
  ASSERT_EQ(source->CopyTo(twoLevels.Get(), displaced, 0), kOk);
  EXPECT_EQ(Sizes(*twoLevels), std::vector<std::size_t>(12, 4));
}

TEST_F(ParticlesTest, CloneIsSizedAndAnInstanceStartsEmpty) {
  CPointer<CParticles> node = Node();
  ASSERT_EQ(node->SetMaxQuantity(3), kOk);
  node->SetSoftness(2);
  node->SetOrigin({4, 5, 6});

  CPointer<CBase> instance;
  ASSERT_EQ(node->CreateInstance(instance), kOk);
  auto* empty = DynamicCast<CParticles>(instance.Get());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->GetMaxQuantity(), 0u);
  EXPECT_TRUE(empty->GetColor().IsEmpty());
  EXPECT_EQ(empty->GetSoftness(), 2u);
  EXPECT_EQ(empty->GetOrigin(), Vec(4, 5, 6));

  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(node->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CParticles>(out.Get());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetMaxQuantity(), 3u);
  EXPECT_EQ(Sizes(*clone), std::vector<std::size_t>(12, 3));
  EXPECT_NE(clone->GetLod(0), node->GetLod(0));
  EXPECT_EQ(test::Members(clone), test::Members(node.Get()));
}

TEST_F(ParticlesTest, SaveLoadSaveRebuildsTheArraysForTheStoredCapacity) {
  CPointer<CNode> root(new CNode());
  CPointer<CParticles> node = Node();
  ASSERT_EQ(node->SetMaxQuantity(8), kOk);
  node->SetBlendMode(CParticles::ESubtractive);
  node->SetFaceToMode(CParticles::EVertical);
  node->SetSoftness(11);
  ASSERT_EQ(root->AddChild(node.Get()), kOk);
  const Bytes first = test::SaveRoots({root.Get()});
  ASSERT_FALSE(first.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* loadedRoot = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(loadedRoot, nullptr);
  auto* loaded = DynamicCast<CParticles>(loadedRoot->GetChild(0).Get());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(node.Get()));
  EXPECT_EQ(Sizes(*loaded), std::vector<std::size_t>(12, 8));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// --- byte images --------------------------------------------------------------------------------------------

// A particle record of `version` whose geometry part names `levels`:
// MaxQuantity `capacity`, BlendMode 1, FaceToMode 2 from 2.01, Softness 9
// from 2.02.
ByteWriter ParticlesBody(u32 version, u32 capacity, const std::vector<u64>& levels = {0x20}) {
  ByteWriter w;
  test::ObjectHead(w, 0x10, u"sparks");
  test::SpatialPart206(w).Pair(2, 4).U64(0).U32(static_cast<u32>(levels.size()));
  for (u64 id : levels) w.U64(id);
  w.U8(0).U8(0).U32(0);
  w.Pair(version / 100, version % 100).U32(capacity).U32(1);
  if (version >= 201) w.U32(2);
  if (version >= 202) w.U32(9);
  return w;
}

// Vertex data without any vertices.
ByteWriter EmptyLevelBody(u64 id) {
  ByteWriter w;
  test::ObjectHead(w, id, u"slots").Pair(1, 0);
  for (int i = 0; i < 10; ++i) w.U32(0);
  return w;
}

Bytes ParticlesFile(const ByteWriter& body, bool withLevel = true) {
  test::SceneFile file;
  file.Record("CParticles", body, true);
  if (withLevel) file.Record("CGeometryData", EmptyLevelBody(0x20));
  return file.Data();
}

TEST_F(ParticlesTest, EveryStoredVersionLoadsAndIsSizedByLink) {
  struct Row {
    u32 version;
    u32 faceToMode;
    u32 softness;
  };
  for (const Row& row : {Row{200, 0, 0}, Row{201, 2, 0}, Row{202, 2, 9}}) {
    SCOPED_TRACE(row.version);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(ParticlesFile(ParticlesBody(row.version, 16)), stream, device), kOk);
    auto* node = DynamicCast<CParticles>(stream.GetRootObject(0));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetMaxQuantity(), 16u);
    EXPECT_EQ(node->GetBlendMode(), CParticles::EAdditive);
    EXPECT_EQ(node->GetFaceToMode(), row.faceToMode);
    EXPECT_EQ(node->GetSoftness(), row.softness);
    EXPECT_EQ(Sizes(*node), std::vector<std::size_t>(12, 16));
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(node));
  }
}

TEST_F(ParticlesTest, CapacityTheNodeCannotTakeFailsTheLoad) {
  struct Row {
    const char* what;
    Bytes file;
    Result expected;
  };
  const Row rows[] = {
      {"capacity without a level", ParticlesFile(ParticlesBody(202, 4, {}), false), kErrInvalidArg},
      {"capacity whose level did not resolve", ParticlesFile(ParticlesBody(202, 4), false), kErrInvalidArg},
      {"capacity above the limit", ParticlesFile(ParticlesBody(202, 0x7FFFFFFF)), kErrInvalidArg},
      {"capacity 0 without a level", ParticlesFile(ParticlesBody(202, 0, {}), false), kOk},
      {"newer than the class", ParticlesFile(ParticlesBody(203, 4)), kErrNewerVersion},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(row.file, stream, device), row.expected);
  }
}

TEST_F(ParticlesTest, EveryPrefixOfTheRecordFails) {
  for (u32 version : {200u, 202u}) {
    SCOPED_TRACE(version);
    const Bytes bytes = ParticlesFile(ParticlesBody(version, 0, {}), false);
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
