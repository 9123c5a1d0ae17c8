// Soft-body playback: baked vertex samples lerped into a geometry's world
// positions, the index list, frequency, copies and the record.
#include "controllers/composite/physics_soft_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"

namespace KT {
namespace {

using test::ByteWriter;
using Vec = CVector3<float>;
using Bytes = std::vector<u8>;

constexpr u32 kVertices = 6;

class PhysicsSoftControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CPhysicsSoftControl", &CreateObject<CPhysicsSoftControl>);
    test::UseTestIds(0);
  }
};

// A mesh of six vertices at (100 + i, 0, 0), played by a control with
// samples at 0 and 100 ms: vertex i at (i, 0, 0) and (10 + i, 0, 0).
struct Played {
  CPointer<CTriMesh> mesh{new CTriMesh()};
  CPointer<CPhysicsSoftControl> control{new CPhysicsSoftControl()};
  Played() {
    EXPECT_EQ(mesh->AllocateWorldXYZ(kVertices), kOk);
    Reset();
    EXPECT_EQ(mesh->AddControl(control.Get()), kOk);
    std::vector<Vec> a, b;
    for (u32 i = 0; i < kVertices; ++i) {
      a.emplace_back(static_cast<f32>(i), 0.0f, 0.0f);
      b.emplace_back(10.0f + static_cast<f32>(i), 0.0f, 0.0f);
    }
    EXPECT_EQ(control->AddSample(0, a), kOk);
    EXPECT_EQ(control->AddSample(100, b), kOk);
    control->SetPlayback(true);
  }
  // The mesh's own positions and flags, as its update leaves them before
  // the data controllers run.
  void Reset() {
    for (u32 i = 0; i < kVertices; ++i) mesh->GetWorldXYZ()[i] = Vec(100.0f + static_cast<f32>(i), 0.0f, 0.0f);
    mesh->SetWorldXYZReady(false);
    mesh->SetRecomputeNormals(false);
  }
  Vec At(u32 i) const { return mesh->GetWorldXYZ()[i]; }
};

void ExpectNear(const Vec& a, const Vec& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
  EXPECT_NEAR(a.z, b.z, 1e-5f);
}

TEST_F(PhysicsSoftControlTest, LerpsTheSamplesAroundTheTime) {
  struct Case {
    i32 time;
    f32 x;  // vertex 0
  };
  for (const Case c : {Case{25, 2.5f}, Case{0, 0.0f}, Case{100, 10.0f}, Case{60, 6.0f}, Case{400, 10.0f},
                       Case{50, 5.0f}}) {
    SCOPED_TRACE(c.time);
    Played p;
    EXPECT_EQ(p.control->Update(c.time), kOk);
    ExpectNear(p.At(0), Vec(c.x, 0.0f, 0.0f));
    ExpectNear(p.At(3), Vec(c.x + 3.0f, 0.0f, 0.0f));
    EXPECT_TRUE(p.mesh->IsWorldXYZReady());
    EXPECT_TRUE(p.mesh->GetRecomputeNormals());
  }
}

TEST_F(PhysicsSoftControlTest, FrequencyScalesTheTimeAndTheEndTime) {
  Played p;
  EXPECT_EQ(p.control->GetEndTime(), 100);
  p.control->SetFrequency(2.0f);
  EXPECT_EQ(p.control->GetEndTime(), 50);
  EXPECT_EQ(p.control->Update(50), kOk);
  ExpectNear(p.At(0), Vec(10.0f, 0.0f, 0.0f));
  EXPECT_EQ(p.control->Update(25), kOk);
  ExpectNear(p.At(0), Vec(5.0f, 0.0f, 0.0f));
  EXPECT_EQ(CPhysicsSoftControl().GetEndTime(), 0);
}

TEST_F(PhysicsSoftControlTest, TheIndexListLimitsTheVerticesWritten) {
  Played p;
  ASSERT_EQ(p.control->SetVertexIndices({2, 5}), kOk);
  p.control->SetUseIndexList(1);
  EXPECT_EQ(p.control->Update(50), kOk);
  for (u32 i = 0; i < kVertices; ++i) {
    const bool listed = i == 2 || i == 5;
    ExpectNear(p.At(i), Vec(listed ? 5.0f + static_cast<f32>(i) : 100.0f + static_cast<f32>(i), 0.0f, 0.0f));
  }
}

TEST_F(PhysicsSoftControlTest, NothingIsWrittenBeforeTheFirstSampleOrWithoutSamples) {
  Played p;
  CPointer<CPhysicsSoftControl> late(new CPhysicsSoftControl());
  ASSERT_EQ(late->AddSample(10, std::vector<Vec>(kVertices, Vec(1.0f, 1.0f, 1.0f))), kOk);
  late->SetPlayback(true);
  ASSERT_EQ(late->SetObject(p.mesh.Get()), kOk);
  EXPECT_EQ(late->Update(5), kDone);
  EXPECT_EQ(late->Update(-100), kDone);
  ExpectNear(p.At(0), Vec(100.0f, 0.0f, 0.0f));
  EXPECT_FALSE(p.mesh->IsWorldXYZReady());

  CPointer<CPhysicsSoftControl> empty(new CPhysicsSoftControl());
  empty->SetPlayback(true);
  ASSERT_EQ(empty->SetObject(p.mesh.Get()), kOk);
  EXPECT_EQ(empty->Update(50), kDone);
  ExpectNear(p.At(0), Vec(100.0f, 0.0f, 0.0f));
}

TEST_F(PhysicsSoftControlTest, PlaybackOffOnlyAsksForNormals) {
  Played p;
  p.control->SetPlayback(false);
  EXPECT_EQ(p.control->Update(50), kDone);
  ExpectNear(p.At(0), Vec(100.0f, 0.0f, 0.0f));
  EXPECT_TRUE(p.mesh->GetRecomputeNormals());
  EXPECT_FALSE(p.mesh->IsWorldXYZReady());
}

TEST_F(PhysicsSoftControlTest, InactiveUnboundAndForeignObjects) {
  Played p;
  p.control->SetActive(false);
  EXPECT_EQ(p.control->Update(50), kDone);
  ExpectNear(p.At(0), Vec(100.0f, 0.0f, 0.0f));

  CPhysicsSoftControl unbound;
  EXPECT_EQ(unbound.Update(0), kErrInvalidArg);
  EXPECT_EQ(unbound.UpdateTransform(0), kErrInvalidArg);

  // A file can bind the control to anything: a node is refused untouched.
  CPointer<CNode> node(new CNode());
  CPointer<CPhysicsSoftControl> misbound(new CPhysicsSoftControl());
  ASSERT_EQ(misbound->AddSample(0, {Vec(1.0f, 2.0f, 3.0f)}), kOk);
  misbound->SetPlayback(true);
  ASSERT_EQ(node->AddControl(misbound.Get()), kOk);
  EXPECT_EQ(misbound->Update(0), kErrNotFound);
  EXPECT_EQ(misbound->UpdateTransform(0), kErrNotFound);
}

TEST_F(PhysicsSoftControlTest, TheTransformUpdateMarksTheGeometryDeformed) {
  Played p;
  p.mesh->SetHasDeformedWorldXYZ(false);
  EXPECT_EQ(p.control->UpdateTransform(0), kOk);
  EXPECT_TRUE(p.mesh->HasDeformedWorldXYZ());
  EXPECT_EQ(p.control->Apply(), kDone);
}

TEST_F(PhysicsSoftControlTest, ShortSampleListsAndStrayIndicesAreSkipped) {
  Played p;
  CPointer<CPhysicsSoftControl> shortLists(new CPhysicsSoftControl());
  ASSERT_EQ(shortLists->AddSample(0, {Vec(1.0f, 0.0f, 0.0f), Vec(2.0f, 0.0f, 0.0f)}), kOk);
  ASSERT_EQ(shortLists->AddSample(100, {Vec(3.0f, 0.0f, 0.0f)}), kOk);
  shortLists->SetPlayback(true);
  ASSERT_EQ(shortLists->SetObject(p.mesh.Get()), kOk);
  EXPECT_EQ(shortLists->Update(50), kOk);
  ExpectNear(p.At(0), Vec(2.0f, 0.0f, 0.0f));
  ExpectNear(p.At(1), Vec(101.0f, 0.0f, 0.0f));

  p.Reset();
  ASSERT_EQ(p.control->SetVertexIndices({1, kVertices, 0xFFFFFFFFu}), kOk);
  p.control->SetUseIndexList(7);
  EXPECT_EQ(p.control->Update(50), kOk);
  ExpectNear(p.At(1), Vec(6.0f, 0.0f, 0.0f));
  ExpectNear(p.At(0), Vec(100.0f, 0.0f, 0.0f));
}

TEST_F(PhysicsSoftControlTest, AddSampleKeepsTheTimesAscending) {
  CPhysicsSoftControl control;
  ASSERT_EQ(control.AddSample(100, {}), kOk);
  EXPECT_EQ(control.AddSample(100, {}), kErrInvalidArg);
  EXPECT_EQ(control.AddSample(50, {}), kErrInvalidArg);
  EXPECT_EQ(control.GetTime().size(), 1u);
  EXPECT_EQ(control.GetLocalXYZ().size(), 1u);
}

TEST_F(PhysicsSoftControlTest, CopiesKeepTheSamples) {
  Played p;
  ASSERT_EQ(p.control->SetVertexIndices({2, 5}), kOk);
  p.control->SetUseIndexList(1);
  ASSERT_EQ(p.control->Update(150), kOk);
  ASSERT_NE(p.control->GetSampleCache(), 0u);

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(p.control->Clone(clone, map, 0), kOk);
  auto* copy = DynamicCast<CPhysicsSoftControl>(clone.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetTime(), p.control->GetTime());
  EXPECT_EQ(copy->GetLocalXYZ(), p.control->GetLocalXYZ());
  EXPECT_EQ(copy->GetVertexIndices(), p.control->GetVertexIndices());
  EXPECT_EQ(copy->GetUseIndexList(), 1u);
  EXPECT_TRUE(copy->GetPlayback());
  EXPECT_EQ(copy->GetSampleCache(), 0u);

  CPhysicsSoftControl target;
  DisplacedList displaced;
  ASSERT_EQ(p.control->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetLocalXYZ(), p.control->GetLocalXYZ());
  EXPECT_EQ(target.GetTime(), p.control->GetTime());
  EXPECT_EQ(target.GetVertexIndices(), p.control->GetVertexIndices());
  CNode node;
  EXPECT_EQ(p.control->CopyTo(&node, displaced, 0), kErrNotFound);
  EXPECT_EQ(p.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

// --- records -------------------------------------------------------------------------------------

// The control's own part, as Save writes it.
ByteWriter OwnPart(bool playback, const std::vector<i32>& times, const std::vector<std::vector<Vec>>& samples,
                   const std::vector<u32>& indices, u32 useIndexList, u32 major = 1, u32 minor = 0) {
  ByteWriter w;
  w.Pair(major, minor).U8(playback ? 1 : 0).U32(static_cast<u32>(times.size()));
  for (const i32 t : times) w.I32(t);
  w.U32(static_cast<u32>(samples.size()));
  for (const auto& list : samples) {
    w.U32(static_cast<u32>(list.size()));
    for (const Vec& v : list) w.F32(v.x).F32(v.y).F32(v.z);
  }
  w.U32(static_cast<u32>(indices.size()));
  for (const u32 i : indices) w.U32(i);
  w.U32(useIndexList);
  return w;
}

// Loads a record made of a default control's data-control part followed by
// `own`; answers the load's result.
Result LoadWithOwnPart(const ByteWriter& own, CPointer<CPhysicsSoftControl>& loaded) {
  CPhysicsSoftControl blank;
  blank.SetName(u"soft");
  const Bytes saved = test::SaveObjectRecord(blank);
  const std::size_t ownSize = blank.GetSaveSize() - blank.CDataControl::GetSaveSize();
  Bytes image(saved.begin(), saved.end() - static_cast<std::ptrdiff_t>(ownSize));
  image.insert(image.end(), own.Data().begin(), own.Data().end());
  const std::string name = "CPhysicsSoftControl";
  const u32 body = static_cast<u32>(image.size() - 8 - name.size());
  std::memcpy(image.data() + 4 + name.size(), &body, 4);

  CMemoryIo device(image);
  CStream stream;
  stream.SetDevice(&device);
  std::string className;
  u32 size = 0;
  EXPECT_EQ(ReadString(stream, className), kOk);
  EXPECT_EQ(ReadU32(stream, size), kOk);
  loaded = new CPhysicsSoftControl();
  CStreamLoadRecord record;
  record.object = loaded;
  return loaded->Load(stream, record, 0);
}

TEST_F(PhysicsSoftControlTest, RecordLayoutAndSize) {
  Played p;
  ASSERT_EQ(p.control->SetVertexIndices({2, 5}), kOk);
  p.control->SetUseIndexList(1);
  const Bytes saved = test::SaveObjectRecord(*p.control);
  EXPECT_EQ(saved.size(), p.control->GetSaveSize());
  EXPECT_EQ(p.control->GetSaveSize(),
            p.control->CDataControl::GetSaveSize() + 8 + 1 + (4 + 8) + 4 + 2 * (4 + 12 * kVertices) + (4 + 8) + 4);
  const ByteWriter own = OwnPart(true, p.control->GetTime(), p.control->GetLocalXYZ(), {2, 5}, 1);
  ASSERT_GE(saved.size(), own.Size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(own.Size()), saved.end()), own.Data());

  CPointer<CPhysicsSoftControl> loaded;
  ASSERT_EQ(LoadWithOwnPart(own, loaded), kOk);
  EXPECT_EQ(loaded->GetLocalXYZ(), p.control->GetLocalXYZ());
  EXPECT_EQ(loaded->GetVertexIndices(), p.control->GetVertexIndices());
  EXPECT_TRUE(loaded->GetPlayback());

  const std::string text = test::Members(p.control.Get());
  for (const char* name : {"CPhysicsSoftControl Member", "Time", "LocalXYZ"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

TEST_F(PhysicsSoftControlTest, BadRecordsAreRefused) {
  CPointer<CPhysicsSoftControl> loaded;
  // More times than vertex lists, and the other way round.
  EXPECT_EQ(LoadWithOwnPart(OwnPart(true, {0, 100}, {{Vec()}}, {}, 0), loaded), kErrNotFound);
  EXPECT_EQ(LoadWithOwnPart(OwnPart(true, {0}, {{Vec()}, {Vec()}}, {}, 0), loaded), kErrNotFound);
  // A newer version.
  EXPECT_EQ(LoadWithOwnPart(OwnPart(true, {}, {}, {}, 0, 1, 1), loaded), kErrNewerVersion);
  // A sample count the bytes left cannot hold, and a cut record.
  ByteWriter huge;
  huge.Pair(1, 0).U8(1).U32(0).U32(0x40000000u);
  EXPECT_EQ(LoadWithOwnPart(huge, loaded), kErrStream);
  const ByteWriter whole = OwnPart(true, {0, 100}, {{Vec(1, 2, 3)}, {Vec(4, 5, 6)}}, {0}, 1);
  for (std::size_t cut = 0; cut < whole.Size(); ++cut) {
    ByteWriter part;
    part.Raw(whole.Data().data(), cut);
    EXPECT_LT(LoadWithOwnPart(part, loaded), 0) << cut;
  }
}

TEST_F(PhysicsSoftControlTest, AStoredIndexPastTheListsWritesNothingOutOfRange) {
  Played p;
  CPointer<CPhysicsSoftControl> loaded;
  ASSERT_EQ(LoadWithOwnPart(OwnPart(true, {0, 100}, {{Vec(1, 0, 0)}, {Vec(3, 0, 0), Vec(7, 0, 0)}},
                                    {0, 1, 9, 0x7FFFFFFF}, 1),
                            loaded),
            kOk);
  ASSERT_EQ(loaded->SetObject(p.mesh.Get()), kOk);
  EXPECT_EQ(loaded->Update(50), kOk);
  ExpectNear(p.At(0), Vec(2.0f, 0.0f, 0.0f));
  ExpectNear(p.At(1), Vec(101.0f, 0.0f, 0.0f));
}

}  // namespace
}  // namespace KT
