// The morph controller: weighted offsets added to a geometry's world
// positions (in local or world space), the weight track, targets, copies,
// and the record in its current form and in every older one.
#include "controllers/core/morph_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/test_classes.h"
#include "controllers/core/uvw_map_control.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_box.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

const f32 kHalfPi = std::numbers::pi_v<f32> / 2.0f;

class MorphControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
    CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
    CClassFactory::Register("CKeyframeControl", &CreateObject<CKeyframeControl>);
    CClassFactory::Register("CMorphControl", &CreateObject<CMorphControl>);
    test::UseTestIds(0);
  }
};

void ExpectNear(const Vec& a, const Vec& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
  EXPECT_NEAR(a.z, b.z, 1e-5f);
}

std::vector<Vec> WorldXYZ(const CGeometry& geometry) {
  return std::vector<Vec>(geometry.GetWorldXYZ().begin(), geometry.GetWorldXYZ().end());
}

// A mesh whose WorldXYZ holds `positions`, morphed by a controller with
// `offsets` and weight keys 0 at 0 ms and 1 at 1000 ms.
struct Morphed {
  CPointer<CTriMesh> mesh{new CTriMesh()};
  CPointer<CMorphControl> control{new CMorphControl()};
  Morphed(const std::vector<Vec>& positions, const std::vector<Vec>& offsets) {
    if (!positions.empty()) {
      EXPECT_EQ(mesh->AllocateWorldXYZ(static_cast<u32>(positions.size())), kOk);
    }
    std::copy(positions.begin(), positions.end(), mesh->GetWorldXYZ().begin());
    mesh->SetRecomputeNormals(false);
    EXPECT_EQ(mesh->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->SetTargetCount(static_cast<u32>(offsets.size())), kOk);
    for (u32 i = 0; i < offsets.size(); ++i) EXPECT_EQ(control->SetTarget(i, offsets[i]), kOk);
    EXPECT_EQ(control->SetWeightKey(0, 1000.0f, 0.0f), kOk);
    EXPECT_EQ(control->SetWeightKey(1000, 1000.0f, 1.0f), kOk);
  }
};

const std::vector<Vec> kPositions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
const std::vector<Vec> kOffsets = {{2, 0, 0}, {0, 4, 0}, {0, 0, -6}};

// --- evaluation ---------------------------------------------------------------------------

TEST_F(MorphControlTest, EveryVertexMovesByItsOffsetTimesTheWeight) {
  struct Case {
    i32 time;
    f32 weight;
  };
  for (const Case& c : {Case{500, 0.5f}, Case{250, 0.25f}, Case{1000, 1.0f}, Case{5000, 1.0f}}) {
    SCOPED_TRACE(c.time);
    Morphed m(kPositions, kOffsets);
    ASSERT_EQ(m.control->Update(c.time), kOk);
    const std::vector<Vec> world = WorldXYZ(*m.mesh);
    for (std::size_t i = 0; i < kPositions.size(); ++i) ExpectNear(world[i], kPositions[i] + kOffsets[i] * c.weight);
    EXPECT_TRUE(m.mesh->GetRecomputeNormals());
    EXPECT_EQ(m.control->Apply(), kDone);
  }
}

TEST_F(MorphControlTest, AWeightOfExactlyZeroTouchesNothing) {
  for (i32 time : {-100, 0}) {
    Morphed m(kPositions, kOffsets);
    EXPECT_EQ(m.control->Update(time), kDone) << time;
    EXPECT_EQ(WorldXYZ(*m.mesh), kPositions);
    EXPECT_FALSE(m.mesh->GetRecomputeNormals());
  }
}

// Positions already in world space: the offset turns with the object, and
// the object's translation does not move it.
TEST_F(MorphControlTest, OnWorldPositionsTheOffsetFollowsTheObjectsRotation) {
  Morphed m({{10, 0, 0}}, {{1, 0, 0}});
  CRtsTransform turned;
  turned.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi);
  turned.Translate = {10, 0, 0};
  m.mesh->SetWorld(CMatrix3(), CMatrix3(), turned.ToMatrix());
  m.mesh->SetWorldXYZReady(true);
  ASSERT_EQ(m.control->Update(1000), kOk);
  ExpectNear(m.mesh->GetWorldXYZ()[0], {10, 1, 0});
  EXPECT_TRUE(m.mesh->GetRecomputeNormals());
}

// Time is scaled by Frequency and not folded by the repeat mode.
TEST_F(MorphControlTest, TimeIsScaledButNotRepeated) {
  Morphed m({{0, 0, 0}}, {{1, 0, 0}});
  m.control->SetFrequency(2.0f);
  ASSERT_EQ(m.control->Update(250), kOk);
  ExpectNear(m.mesh->GetWorldXYZ()[0], {0.5f, 0, 0});

  Morphed wrapped({{0, 0, 0}}, {{1, 0, 0}});
  wrapped.control->SetRepeat(CControl::RT_WRAP);
  ASSERT_EQ(wrapped.control->Update(1250), kOk);
  ExpectNear(wrapped.mesh->GetWorldXYZ()[0], {1, 0, 0});
  EXPECT_EQ(wrapped.control->GetEndTime(), 1000);
}

// The loop runs over the shorter of the targets and WorldXYZ.
TEST_F(MorphControlTest, TheLoopStopsAtTheShorterList) {
  Morphed fewerPositions({{0, 0, 0}}, kOffsets);
  ASSERT_EQ(fewerPositions.control->Update(1000), kOk);
  EXPECT_EQ(WorldXYZ(*fewerPositions.mesh), std::vector<Vec>{kOffsets[0]});

  Morphed fewerTargets(kPositions, {{0, 0, 1}});
  ASSERT_EQ(fewerTargets.control->Update(1000), kOk);
  EXPECT_EQ(WorldXYZ(*fewerTargets.mesh), (std::vector<Vec>{{0, 0, 1}, kPositions[1], kPositions[2]}));
}

TEST_F(MorphControlTest, UnboundOrForeignObjectsAreRefused) {
  CPointer<CMorphControl> unbound(new CMorphControl());
  EXPECT_EQ(unbound->SetWeightKey(0, 30.0f, 1.0f), kErrInvalidArg);
  EXPECT_EQ(unbound->Update(0), kErrInvalidArg);
  EXPECT_EQ(unbound->GetKeyCount(), 0u);

  CPointer<test::CTestDorun> object(new test::CTestDorun());
  CPointer<CMorphControl> foreign(new CMorphControl());
  ASSERT_EQ(object->AddControl(foreign.Get()), kOk);
  foreign->SetModified(false);
  EXPECT_EQ(foreign->SetWeightKey(0, 30.0f, 1.0f), kErrNotFound);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);
  EXPECT_EQ(foreign->GetKeyCount(), 0u);
  EXPECT_FALSE(foreign->IsModified());

  // Inactive, or without keys: nothing changes.
  Morphed m(kPositions, kOffsets);
  m.control->SetActive(false);
  EXPECT_EQ(m.control->Update(500), kDone);
  CPointer<CTriMesh> mesh(new CTriMesh());
  ASSERT_EQ(mesh->AllocateWorldXYZ(1), kOk);
  mesh->SetRecomputeNormals(false);
  CPointer<CMorphControl> keyless(new CMorphControl());
  ASSERT_EQ(mesh->AddControl(keyless.Get()), kOk);
  ASSERT_EQ(keyless->SetTargetCount(1), kOk);
  ASSERT_EQ(keyless->SetTarget(0, {1, 1, 1}), kOk);
  EXPECT_EQ(keyless->Update(500), kOk);
  EXPECT_EQ(mesh->GetWorldXYZ()[0], Vec(0, 0, 0));
  EXPECT_FALSE(mesh->GetRecomputeNormals());
  EXPECT_EQ(WorldXYZ(*m.mesh), kPositions);
}

// A mesh under a turned and moved node, morphed halfway, brought to 500 ms
// by the scene update: the offsets apply before the move to world space and
// the world normals are rebuilt from the morphed positions.
TEST_F(MorphControlTest, MorphedMeshInAScene) {
  CPointer<CTriMeshData> data;
  ASSERT_EQ(CTriMeshData::Create(data), kOk);
  ASSERT_EQ(data->AllocateXYZ(3), kOk);
  std::copy(kPositions.begin(), kPositions.end(), data->GetXYZ().begin());
  ASSERT_EQ(data->AllocateNormal(1), kOk);
  ASSERT_EQ(data->SetTriangleQuantity(1), kOk);
  data->GetXYZTriIndex()[1] = 1;
  data->GetXYZTriIndex()[2] = 2;
  ASSERT_EQ(data->ComputeVertexNormals(), kOk);
  ASSERT_EQ(data->BuildVertexTriIndex(), kOk);
  data->UpdateBoundingBox();

  CPointer<CNode> root(new CNode());
  CRtsTransform turnAndMove;
  turnAndMove.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi);
  turnAndMove.Translate = {10, 0, 0};
  CPointer<CKeyframeControl> rootKeys(new CKeyframeControl());
  ASSERT_EQ(rootKeys->AddRtsKey(0, 30.0f, turnAndMove), kOk);
  ASSERT_EQ(root->AddControl(rootKeys.Get()), kOk);
  CPointer<CTriMesh> mesh(new CTriMesh());
  ASSERT_EQ(mesh->SetSingleLod(data.Get()), kOk);
  CPointer<CKeyframeControl> meshKeys(new CKeyframeControl());
  ASSERT_EQ(meshKeys->AddRtsKey(0, 30.0f, kIdentityTransform), kOk);
  ASSERT_EQ(mesh->AddControl(meshKeys.Get()), kOk);
  CPointer<CMorphControl> morph(new CMorphControl());
  ASSERT_EQ(mesh->AddControl(morph.Get()), kOk);
  ASSERT_EQ(morph->SetTargetCount(3), kOk);
  ASSERT_EQ(morph->SetTarget(1, {0, 0, 2}), kOk);
  ASSERT_EQ(morph->SetWeightKey(0, 30.0f, 0.0f), kOk);
  ASSERT_EQ(morph->SetWeightKey(1000, 30.0f, 1.0f), kOk);
  ASSERT_EQ(root->AddChild(mesh.Get()), kOk);

  ASSERT_EQ(root->UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  const std::vector<Vec> world = WorldXYZ(*mesh);
  ASSERT_EQ(world.size(), 3u);
  ExpectNear(world[0], {10, 0, 0});
  ExpectNear(world[1], {10, 1, 1});  // (1, 0, 1) turned and moved
  ExpectNear(world[2], {9, 0, 0});
  const f32 h = std::sqrt(0.5f);
  ASSERT_EQ(mesh->GetWorldNormal().GetCount(), 1u);
  ExpectNear(mesh->GetWorldNormal()[0], {0, -h, h});
}

// --- targets and keys --------------------------------------------------------------------------

TEST_F(MorphControlTest, SetTargetCountZeroFillsOrLeavesNoTargets) {
  CMorphControl control;
  ASSERT_EQ(control.SetTargetCount(3), kOk);
  EXPECT_EQ(control.GetTargets(), std::vector<Vec>(3));
  ASSERT_EQ(control.SetTarget(2, {1, 2, 3}), kOk);
  control.SetModified(false);
  EXPECT_EQ(control.SetTarget(3, {1, 1, 1}), kErrOutOfRange);
  EXPECT_FALSE(control.IsModified());
  // More offsets than 32 bits of bytes can hold: refused, and the count
  // follows the storage.
  EXPECT_EQ(control.SetTargetCount(0x20000000u), kErrOutOfMemory);
  EXPECT_EQ(control.GetTargetCount(), 0u);
  EXPECT_EQ(control.GetSaveSize(), control.CDataControl::GetSaveSize() + 20);
  ASSERT_EQ(control.SetTargetCount(2), kOk);
  EXPECT_EQ(control.GetTargets(), std::vector<Vec>(2));
}

TEST_F(MorphControlTest, SetWeightKeySnapsToFramesAndOverwrites) {
  Morphed m({}, {});
  ASSERT_EQ(m.control->SetWeightKey(1010, 30.0f, 0.5f), kOk);
  ASSERT_EQ(m.control->SetWeightKey(990, 30.0f, 0.75f), kOk);  // the same frame
  EXPECT_EQ(m.control->GetWeightTime(), (std::vector<i32>{0, 1000}));
  EXPECT_EQ(m.control->GetWeightData(), (std::vector<f32>{0.0f, 0.75f}));
  m.control->SetFrequency(2.0f);
  ASSERT_EQ(m.control->SetWeightKey(250, 1000.0f, 0.25f), kOk);
  EXPECT_EQ(m.control->GetWeightTime(), (std::vector<i32>{0, 500, 1000}));
  EXPECT_EQ(m.control->GetWeightData(), (std::vector<f32>{0.0f, 0.25f, 0.75f}));
  EXPECT_TRUE(m.control->IsModified());
}

// --- copies --------------------------------------------------------------------------------------

TEST_F(MorphControlTest, CopiesAndTheirTargets) {
  Morphed m(kPositions, kOffsets);
  m.control->SetFrequency(1.5f);
  ASSERT_EQ(m.control->Update(700), kOk);
  ASSERT_NE(m.control->GetLastIndex(), 0u);

  CMorphControl copied(*m.control);
  EXPECT_EQ(copied.GetTargetCount(), 0u);
  EXPECT_EQ(copied.GetLastIndex(), 0u);
  EXPECT_EQ(copied.GetWeightData(), m.control->GetWeightData());
  EXPECT_EQ(copied.GetWeightTime(), m.control->GetWeightTime());

  CPointer<CBase> instance;
  ASSERT_EQ(m.control->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CMorphControl>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetTargets(), kOffsets);

  CPointer<CMorphControl> target(new CMorphControl());
  DisplacedList displaced;
  ASSERT_EQ(m.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTargets(), kOffsets);
  EXPECT_EQ(target->GetLastIndex(), m.control->GetLastIndex());
  EXPECT_EQ(test::Members(target.Get()), test::Members(m.control.Get()));

  CPointer<CUvwMapControl> other(new CUvwMapControl());
  const std::string before = test::Members(other.Get());
  EXPECT_EQ(m.control->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(m.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(other.Get()), before);
}

// --- records ---------------------------------------------------------------------------------------

TEST_F(MorphControlTest, RecordLayoutAndSizes) {
  Morphed m({{0, 0, 0}, {0, 0, 0}}, {{1, 2, 3}, {4, 5, 6}});
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(m.control->Save(stream, 0), kOk);
  const Bytes saved = device.GetData();
  EXPECT_EQ(saved.size(), m.control->GetSaveSize());
  EXPECT_EQ(m.control->GetSaveSize(), m.control->CDataControl::GetSaveSize() + 20 + 4 * (2 + 2 + 6));
  ByteWriter tail;
  tail.Pair(2, 2).U32(2).F32(1).F32(2).F32(3).F32(4).F32(5).F32(6);
  tail.U32(2).F32(0.0f).F32(1.0f).U32(2).I32(0).I32(1000);
  ASSERT_GE(saved.size(), tail.Size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(tail.Size()), saved.end()), tail.Data());
  EXPECT_EQ(m.control->GetMemorySize(), m.control->CDataControl::GetMemorySize() + 4 * (2 + 2 + 6) + 64);

  const std::string text = test::Members(m.control.Get());
  for (const char* name : {"CMorphControl Member", "LastIndex", "WeightTime", "WeightData"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_LT(text.find("CMorphControl Member"), text.find("CControl Member"));
}

TEST_F(MorphControlTest, RoundTripsThroughAFile) {
  Morphed m(kPositions, kOffsets);
  ASSERT_EQ(m.control->SetWeightKey(400, 1000.0f, 0.3f), kOk);
  m.control->SetName(u"smile");
  m.mesh->SetName(u"face");

  const Bytes first = test::SaveRoots({m.mesh.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* mesh = DynamicCast<CTriMesh>(stream.GetRootObject(0));
  ASSERT_NE(mesh, nullptr);
  auto* control = DynamicCast<CMorphControl>(mesh->GetFirstControl());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetObject(), mesh);
  EXPECT_EQ(control->GetTargets(), kOffsets);
  EXPECT_EQ(test::Members(control), test::Members(m.control.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  test::ExpectPrefixesFailBetweenRecords(first);
}

// --- byte images of older records -------------------------------------------------------------------

struct MorphPart {
  u32 major = 2;
  u32 minor = 2;
  std::vector<Vec> targets;
  std::vector<f32> weights;
  std::vector<f32> times;  // written as i32 from 2.02
  bool oldControl = false;  // a 2.00 controller part, holding the start time
  f32 startTime = 0.0f;
};

// A CMorphControl record (a root, id 0x20).
Bytes MorphFile(const MorphPart& part) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (part.oldControl) {
    body.Pair(2, 0).U32(0).F32(part.startTime).F32(0.0f).U32(0).F32(1.0f).U8(1).U32(0).U32(0);
  } else {
    test::ControlPart(body, test::ControlFields{});
  }
  body.Pair(2, 0).Pair(part.major, part.minor).U32(static_cast<u32>(part.targets.size()));
  for (const Vec& v : part.targets) body.F32(v.x).F32(v.y).F32(v.z);
  body.U32(static_cast<u32>(part.weights.size()));
  for (f32 w : part.weights) body.F32(w);
  body.U32(static_cast<u32>(part.times.size()));
  for (f32 t : part.times) {
    if (part.major * 100 + part.minor >= 202) {
      body.I32(static_cast<i32>(t));
    } else {
      body.F32(t);
    }
  }
  return test::SceneImage().Record("CMorphControl", body, true).Data();
}

// Two keys at 100.9 and 500 with one target; an old controller part from
// 2.00 down.
MorphPart TwoKeys(u32 major, u32 minor, f32 startTime = 0.0f) {
  MorphPart part;
  part.major = major;
  part.minor = minor;
  part.targets = {{1, 2, 3}};
  part.weights = {0.25f, 1.0f};
  part.times = {100.9f, 500.0f};
  part.oldControl = major * 100 + minor <= 200;
  part.startTime = startTime;
  return part;
}

TEST_F(MorphControlTest, EveryOlderFormLoads) {
  struct Case {
    MorphPart part;
    std::vector<i32> times;
  };
  const Case cases[] = {
      {TwoKeys(1, 0, 40.0f), {60, 460}},  // relative times, f32
      {TwoKeys(2, 0, 40.0f), {60, 460}},
      {TwoKeys(2, 1), {100, 500}},  // absolute times, f32
      {TwoKeys(2, 2), {100, 500}},  // i32 times
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.part.major << "." << c.part.minor);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(MorphFile(c.part), stream, device), kOk);
    auto* control = DynamicCast<CMorphControl>(stream.GetRootObject(0));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetWeightTime(), c.times);
    EXPECT_EQ(control->GetWeightData(), c.part.weights);
    EXPECT_EQ(control->GetTargets(), c.part.targets);
    EXPECT_EQ(control->GetWeight(), 1.0f);
  }
}

TEST_F(MorphControlTest, MalformedRecordsAreRefused) {
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  MorphPart fewerWeights = TwoKeys(2, 2);
  fewerWeights.weights.pop_back();
  MorphPart fewerTimes = TwoKeys(2, 1);
  fewerTimes.times.pop_back();
  ByteWriter huge;
  test::BasePart(huge, 0x20);
  test::DorunPart(huge, 0);
  test::ControlPart(huge, test::ControlFields{});
  huge.Pair(2, 0).Pair(2, 2).U32(0x20000000u);
  const Case cases[] = {
      {"fewer weights than times", MorphFile(fewerWeights), kErrNotFound},
      {"fewer times than weights", MorphFile(fewerTimes), kErrNotFound},
      {"newer part", MorphFile(TwoKeys(2, 3)), kErrNewerVersion},
      {"target count beyond the data", test::SceneImage().Record("CMorphControl", huge, true).Data(), kErrStream},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

TEST_F(MorphControlTest, EveryPrefixOfEachFormFailsCleanly) {
  for (u32 minor : {0u, 1u, 2u}) {
    const Bytes bytes = MorphFile(TwoKeys(2, minor, 40.0f));
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

}  // namespace
}  // namespace KT
