// KT::CGrass: its record (on the CDorun part, no spatial level) in both
// id forms, the bound it gives itself, copies, clones, the walks over its
// two objects and the checks of counts and links.
#include "environment/grass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "height_map_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec3 = CVector3<float>;
using Blade = CGrass::CBlade;

class GrassTest : public test::FieldClassesTest<CGrass> {};

Blade MakeBlade(f32 x) {
  Blade blade;
  blade.Pos = Vec3(x, 0.0f, 0.0f);
  blade.Normal = Vec3(0.0f, 0.0f, 1.0f);
  blade.Width = 0.1f;
  blade.Height = 1.0f + x;
  blade.Throw = 0.5f;
  blade.BottomColor = Vec3(0.0f, 0.25f, 0.0f);
  blade.TopColor = Vec3(0.5f, 1.0f, 0.0f);
  return blade;
}

ByteWriter& WriteBlade(ByteWriter& w, const Blade& b) {
  w.F32(b.Pos.x).F32(b.Pos.y).F32(b.Pos.z).F32(b.Normal.x).F32(b.Normal.y).F32(b.Normal.z);
  w.F32(b.Width).F32(b.Height).F32(b.Throw);
  w.F32(b.BottomColor.x).F32(b.BottomColor.y).F32(b.BottomColor.z);
  return w.F32(b.TopColor.x).F32(b.TopColor.y).F32(b.TopColor.z);
}

struct Stored {
  u32 version = 201;
  std::vector<std::vector<Blade>> regions;
  u64 aux1 = 0;
  u64 aux2 = 0;
  u32 regionCount = 0;  // written in place of the real count when not 0
  u32 bladeCount = 0;   // the same for the first region's blades
};

// A grass record: LodFarDistance 50, LodTransitionLength 5, WindDir
// (0, 1, 0), WindPeriod 3, WindAmplitude 0.5, WindFrequency 2, a 2 x 3
// grid; each region Center (1, 1, 1), Min 0, Max (2, 2, 2), radius 1.5,
// then its blades; GrassBound of radius 9, centre (9, 9, 9), from
// (-1, -1, -1) to (3, 3, 3); the two ids (4 bytes each up to 2.00).
ByteWriter GrassBody(u64 id, const Stored& s) {
  ByteWriter w;
  test::ObjectHead(w, id);
  w.Pair(s.version / 100, s.version % 100).F32(50.0f).F32(5.0f).F32(0.0f).F32(1.0f).F32(0.0f);
  w.F32(3.0f).F32(0.5f).F32(2.0f).U32(2).U32(3);
  w.U32(s.regionCount != 0 ? s.regionCount : static_cast<u32>(s.regions.size()));
  for (std::size_t i = 0; i < s.regions.size(); ++i) {
    w.F32(1.0f).F32(1.0f).F32(1.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(2.0f).F32(2.0f).F32(2.0f).F32(1.5f);
    w.U32(i == 0 && s.bladeCount != 0 ? s.bladeCount : static_cast<u32>(s.regions[i].size()));
    for (const Blade& blade : s.regions[i]) WriteBlade(w, blade);
  }
  w.F32(9.0f).F32(9.0f).F32(9.0f).F32(9.0f).F32(-1.0f).F32(-1.0f).F32(-1.0f).F32(3.0f).F32(3.0f).F32(3.0f);
  if (s.version > 200) {
    w.U64(s.aux1).U64(s.aux2);
  } else {
    w.U32(static_cast<u32>(s.aux1)).U32(static_cast<u32>(s.aux2));
  }
  return w;
}

Bytes GrassFile(const ByteWriter& grass, const std::vector<u64>& leaves = {}) {
  return test::RootWithLeaves("CGrass", grass, leaves);
}

TEST_F(GrassTest, ADefaultFieldSaves108BytesAfterTheCDorunPart) {
  CPointer<CGrass> grass(new CGrass());
  EXPECT_EQ(grass->WindAmplitude, 1.0f);
  EXPECT_EQ(grass->WindFrequency, 1.0f);
  EXPECT_EQ(grass->LodFarDistance, 0.0f);
  EXPECT_TRUE(grass->Region.empty());
  EXPECT_EQ(grass->GrassBound.Radius, 0.0f);
  EXPECT_EQ(grass->GrassBound.Center, Vec3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(grass->GrassBound.Max, Vec3(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(grass->GetVersion(), 201u);
  EXPECT_EQ(grass->GetSaveSize(), grass->CDorun::GetSaveSize() + 108);
  grass->SetName(u"plain");
  CStream loaded;
  CMemoryIo device;
  test::ExpectSaveLoadSave({grass.Get()}, loaded, device);
  auto* back = DynamicCast<CGrass>(loaded.GetRootObject(0));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(test::Members(back), test::Members(grass.Get()));
}

TEST_F(GrassTest, RegionsAndBladesRoundTrip) {
  CPointer<CGrass> grass(new CGrass());
  grass->SetName(u"field");
  grass->WindDir = Vec3(0.0f, 0.0f, 1.0f);
  grass->NumRegionCols = 5;  // not checked against the region count
  grass->Region.resize(2);
  grass->Region[0].CullingRadius = 4.0f;
  grass->Region[1].Blade = {MakeBlade(1.0f), MakeBlade(2.0f), MakeBlade(3.0f)};
  grass->GrassBound.Min = Vec3(-2.0f, -2.0f, 0.0f);
  CPointer<test::CTestLeaf> aux(new test::CTestLeaf(u"aux"));
  ASSERT_EQ(grass->SetAuxObject(1, aux.Get()), kOk);
  // A region without blades takes its 44 bytes only.
  EXPECT_EQ(grass->GetSaveSize(), grass->CDorun::GetSaveSize() + 108 + 2 * 44 + 3 * 60);
  EXPECT_EQ(grass->GetMemorySize(), grass->CDorun::GetMemorySize() + 456 + 2 * 44 + 3 * 60);
  CStream loaded;
  CMemoryIo device;
  const Bytes first = test::ExpectSaveLoadSave({grass.Get()}, loaded, device);
  auto* back = DynamicCast<CGrass>(loaded.GetRootObject(0));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Region, grass->Region);
  EXPECT_EQ(back->NumRegionCols, 5u);
  EXPECT_EQ(back->GetAuxObject(0), nullptr);
  ASSERT_NE(back->GetAuxObject(1), nullptr);
  EXPECT_EQ(back->GetAuxObject(1)->GetName(), u"aux");
  EXPECT_EQ(test::Members(back), test::Members(grass.Get()));
  test::ExpectPrefixesFailBetweenRecords(first, test::kFieldFirstRecordOffset);
}

TEST_F(GrassTest, BothIdForms) {
  for (const u32 version : {200u, 201u}) {
    SCOPED_TRACE(version);
    Stored s;
    s.version = version;
    s.regions = {{MakeBlade(0.5f)}, {}};
    s.aux1 = 0x20;
    s.aux2 = 0x21;
    const Bytes bytes = GrassFile(GrassBody(1, s), {0x20, 0x21});
    CStream stream;
    CMemoryIo device;
    Result r = kErrStream;
    CGrass* grass = test::LoadRoot<CGrass>(bytes, stream, device, r);
    ASSERT_EQ(r, kOk);
    ASSERT_NE(grass, nullptr);
    EXPECT_EQ(grass->LodFarDistance, 50.0f);
    EXPECT_EQ(grass->LodTransitionLength, 5.0f);
    EXPECT_EQ(grass->WindDir, Vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(grass->WindPeriod, 3.0f);
    EXPECT_EQ(grass->WindAmplitude, 0.5f);
    EXPECT_EQ(grass->WindFrequency, 2.0f);
    EXPECT_EQ(grass->NumRegionCols, 2u);
    EXPECT_EQ(grass->NumRegionRows, 3u);
    ASSERT_EQ(grass->Region.size(), 2u);
    EXPECT_EQ(grass->Region[0].Blade, std::vector<Blade>{MakeBlade(0.5f)});
    EXPECT_TRUE(grass->Region[1].Blade.empty());
    EXPECT_EQ(grass->Region[1].CullingRadius, 1.5f);
    EXPECT_EQ(grass->GrassBound.Radius, 9.0f);
    EXPECT_EQ(grass->GrassBound.Max, Vec3(3.0f, 3.0f, 3.0f));
    EXPECT_EQ(grass->GetAuxObject(0), stream.GetLoadedObjects()[1].Get());
    EXPECT_EQ(grass->GetAuxObject(1), stream.GetLoadedObjects()[2].Get());
    // Saved again, the ids take 8 bytes.
    EXPECT_EQ(grass->GetSaveSize(), GrassBody(1, s).Size() + (version == 200 ? 8 : 0) + 4 + 6 + 4);
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFieldFirstRecordOffset);
  }
}

TEST_F(GrassTest, RefusedRecords) {
  struct Row {
    const char* what;
    Stored stored;
    Result expected;
  };
  Stored newer;
  newer.version = 202;
  Stored regions;
  regions.regionCount = 0x10000000u;
  Stored blades;
  blades.regions = {{}};
  blades.bladeCount = 0x04000000u;
  Stored own;
  own.aux2 = 1;
  Stored ownNarrow;
  ownNarrow.version = 200;
  ownNarrow.aux1 = 1;
  const Row rows[] = {
      {"a newer version", newer, kErrNewerVersion},
      {"a region count beyond the record", regions, kErrStream},
      {"a blade count beyond the record", blades, kErrStream},
      {"the field owning itself", own, kErrNotFound},
      {"the field owning itself, 4-byte ids", ownNarrow, kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(GrassFile(GrassBody(1, row.stored)), stream, device), row.expected);
  }
}

// A failure inside the region loop keeps the regions read so far.
TEST_F(GrassTest, ARegionLoopCutShortKeepsWhatItRead) {
  Stored s;
  s.regions = {{MakeBlade(1.0f)}, {MakeBlade(2.0f)}};
  const ByteWriter body = GrassBody(1, s);
  // Cut in the middle of the second region's blade.
  const std::size_t cut = body.Size() - 16 - 40 - 30;
  const Bytes bytes(body.Data().begin(), body.Data().begin() + static_cast<std::ptrdiff_t>(cut));
  CMemoryIo device(bytes);
  CStream stream;
  stream.SetDevice(&device);
  CStreamLoadRecord record;
  CPointer<CGrass> grass(new CGrass());
  record.object = grass.Get();
  EXPECT_LT(grass->Load(stream, record, 0), 0);
  ASSERT_EQ(grass->Region.size(), 2u);
  EXPECT_EQ(grass->Region[0].Blade, std::vector<Blade>{MakeBlade(1.0f)});
  EXPECT_EQ(grass->Region[1].CullingRadius, 1.5f);
}

TEST_F(GrassTest, UpdateWorldBoundUsesTheFieldsOwnBox) {
  CPointer<CGrass> grass(new CGrass());
  grass->GrassBound.Min = Vec3(0.0f, 0.0f, 0.0f);
  grass->GrassBound.Max = Vec3(2.0f, 2.0f, 2.0f);
  CMatrix4 moved;
  moved.m[3][0] = 100.0f;
  grass->SetWorld(CMatrix3(), CMatrix3(), moved);
  EXPECT_EQ(grass->UpdateWorldBound(), kDone);
  const CBound& bound = grass->GetWorldBound();
  EXPECT_EQ(bound.Center, Vec3(1.0f, 1.0f, 1.0f));
  EXPECT_FLOAT_EQ(bound.Radius, std::sqrt(3.0f));
  EXPECT_EQ(bound.Min, Vec3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(bound.Max, Vec3(2.0f, 2.0f, 2.0f));

  // In a scene tree its bound reaches its parent's.
  CPointer<CNode> node;
  ASSERT_EQ(CNode::Create(node), kOk);
  ASSERT_EQ(node->AddChild(grass.Get()), kOk);
  EXPECT_EQ(node->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(node->GetWorldBound().Max, Vec3(2.0f, 2.0f, 2.0f));
  std::vector<CSpatial*> spatials;
  ASSERT_EQ(node->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials, (std::vector<CSpatial*>{node.Get(), grass.Get()}));
}

// The spatial level is neither saved nor loaded: moving a field changes
// nothing in its record.
TEST_F(GrassTest, MovingAFieldStoresTheSameRecord) {
  CPointer<CGrass> grass(new CGrass());
  grass->Region.resize(1);
  const Bytes before = test::SaveObjectRecord(*grass);
  CRtsTransform moved = kIdentityTransform;
  moved.Translate = Vec3(5.0f, 6.0f, 7.0f);
  grass->SetBasis(moved);
  grass->SetHidden(true);
  grass->SetInherited(3);
  EXPECT_EQ(test::SaveObjectRecord(*grass), before);
}

TEST_F(GrassTest, CopiesAndClones) {
  CPointer<CGrass> grass(new CGrass());
  grass->SetName(u"source");
  grass->LodFarDistance = 30.0f;
  grass->WindPeriod = 4.0f;
  grass->Region.resize(1);
  grass->Region[0].Blade = {MakeBlade(1.0f)};
  grass->GrassBound.Radius = 5.0f;
  grass->GrassBound.Center = Vec3(5.0f, 5.0f, 5.0f);
  grass->GrassBound.Min = Vec3(-1.0f, -1.0f, -1.0f);
  CPointer<test::CTestLeaf> shared(new test::CTestLeaf(u"shared"));
  ASSERT_EQ(grass->SetAuxObject(0, shared.Get()), kOk);
  ASSERT_EQ(grass->SetAuxObject(1, shared.Get()), kOk);
  EXPECT_EQ(grass->SetAuxObject(2, shared.Get()), kErrInvalidArg);
  EXPECT_EQ(grass->SetAuxObject(0, grass.Get()), kErrInvalidArg);

  // CreateInstance: the copy constructor shares the objects and takes
  // GrassBound's min and max only.
  CPointer<CBase> instance;
  ASSERT_EQ(grass->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CGrass>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetName(), u"source");
  EXPECT_EQ(made->Region, grass->Region);
  EXPECT_EQ(made->LodFarDistance, 30.0f);
  EXPECT_EQ(made->GetAuxObject(0), shared.Get());
  EXPECT_EQ(made->GrassBound.Radius, 0.0f);
  EXPECT_EQ(made->GrassBound.Center, Vec3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(made->GrassBound.Min, Vec3(-1.0f, -1.0f, -1.0f));

  // Clone: the objects are cloned once and stay shared between the slots.
  CloneMap cloneMap;
  CPointer<CBase> cloned;
  ASSERT_EQ(grass->Clone(cloned, cloneMap, 0), kOk);
  auto* copy = DynamicCast<CGrass>(cloned.Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->GetAuxObject(0), nullptr);
  EXPECT_NE(copy->GetAuxObject(0), shared.Get());
  EXPECT_EQ(copy->GetAuxObject(1), copy->GetAuxObject(0));
  EXPECT_EQ(copy->Region, grass->Region);

  // CopyTo: values, regions, shared objects, GrassBound's min and max.
  CPointer<CGrass> target(new CGrass());
  target->GrassBound.Radius = 2.0f;
  CPointer<test::CTestLeaf> former(new test::CTestLeaf(u"former"));
  ASSERT_EQ(target->SetAuxObject(0, former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(grass->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->WindPeriod, 4.0f);
  EXPECT_EQ(target->Region, grass->Region);
  EXPECT_EQ(target->GetAuxObject(0), shared.Get());
  EXPECT_EQ(target->GetAuxObject(1), shared.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(target->GrassBound.Min, Vec3(-1.0f, -1.0f, -1.0f));
  EXPECT_EQ(target->GrassBound.Radius, 2.0f);
  EXPECT_EQ(target->GrassBound.Center, Vec3(0.0f, 0.0f, 0.0f));
  CPointer<test::CTestLeaf> leaf(new test::CTestLeaf(u"leaf"));
  EXPECT_EQ(grass->CopyTo(leaf.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(grass->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(GrassTest, WalksAndMembers) {
  CPointer<CGrass> grass(new CGrass());
  grass->SetName(u"grass");
  EXPECT_FALSE(grass->HasSubObjects());
  CPointer<test::CTestLeaf> second(new test::CTestLeaf(u"second"));
  ASSERT_EQ(grass->SetAuxObject(1, second.Get()), kOk);
  EXPECT_TRUE(grass->HasSubObjects());
  EXPECT_EQ(grass->Find(u"second", nullptr, false, false), second.Get());
  EXPECT_EQ(grass->Find(u"grass", nullptr, false, false), grass.Get());
  std::vector<CBase*> all;
  grass->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{grass.Get(), second.Get()}));
  test::AllReferences references;
  grass->EnumReferences(references);
  ASSERT_GE(references.seen.size(), 2u);
  EXPECT_EQ(references.seen[0], (std::pair<CBase*, u32>{nullptr, 1}));
  EXPECT_EQ(references.seen[1], (std::pair<CBase*, u32>{second.Get(), 1}));
  EXPECT_TRUE(grass->UpdateMarked(ObjectSet{second.Get()}));
  EXPECT_TRUE(second->IsMarked());
  grass->ClearMarked();
  EXPECT_FALSE(grass->IsMarked() || second->IsMarked());

  grass->Region.resize(1);
  grass->Region[0].Blade = {MakeBlade(1.0f)};
  test::GroupNames groups;
  grass->DescribeMembers(groups);
  ASSERT_FALSE(groups.names.empty());
  EXPECT_EQ(groups.names[0], u"CGrass Member");
  const std::string text = test::Members(grass.Get());
  for (const char* name : {"LodFarDistance", "WindDir", "NumRegionRows", "GrassBound", "Region", "CullingRadius",
                           "Blade", "Throw", "BottomColor", "TopColor", "CSpatial Member"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace KT
