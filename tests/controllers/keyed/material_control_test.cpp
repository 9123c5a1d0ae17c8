// The material controller: lists kept without evaluation, copies, its
// record and every older record form, and what its Update does to the
// material's data update.
#include "controllers/keyed/material_control.h"

#include <gtest/gtest.h>

#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace KT {
namespace {

using test::ByteWriter;
using Control = CMaterialControl;
using Vec = CVector3<float>;

class MaterialControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CMaterialControl", &CreateObject<Control>);
    CClassFactory::Register("CStandardMaterial", &CreateObject<CStandardMaterial>);
    test::UseTestIds(0);
  }
};

// Fills every list of `control`, the value lists of unequal lengths.
void Fill(Control& control) {
  Control::Lists& lists = control.EditLists();
  lists.LightTimes = {0.0f, 500.5f};
  lists.Ambient = {Vec{0.1f, 0.2f, 0.3f}};
  lists.Diffuse = {Vec{1, 1, 1}, Vec{0, 0, 0}, Vec{0.5f, 0.5f, 0.5f}};
  lists.Shininess = {0.25f};
  lists.SelfTimes = {100.0f};
  lists.Opacity = {0.5f, 0.75f};
  lists.SoftThresh = {0.125f};
  lists.TextureTimes = {-20.0f};
  CMaterialDataControl::Weights weights{};
  weights[11] = 0.5f;
  lists.TextureWeight = {weights};
  for (u32 g = 0; g < Control::kUvGroupCount; ++g) {
    lists.Uv[g].Times.assign(g + 1, 10.0f * static_cast<f32>(g));
    lists.Uv[g].Transforms.push_back({{0.5f, 0.25f}, {2.0f, 4.0f}});
  }
}

TEST_F(MaterialControlTest, UpdateEvaluatesNothing) {
  CPointer<CStandardMaterial> material(new CStandardMaterial());
  CPointer<Control> control(new Control());
  Fill(*control);
  ASSERT_EQ(material->AddControl(control.Get()), kOk);
  material->SetModified(false);
  material->Validate();
  const Vec ambient = material->Ambient;
  EXPECT_EQ(control->Update(500), kErrNotEvaluated);
  EXPECT_EQ(control->GetEndTime(), 0);
  // The material's own update ends with the controller's answer and
  // leaves the material as it was.
  EXPECT_EQ(material->Update(500), kErrNotEvaluated);
  EXPECT_EQ(material->Ambient, ambient);
  EXPECT_TRUE(material->IsValid());
  EXPECT_FALSE(material->IsModified());
}

TEST_F(MaterialControlTest, TheMaterialCarryingItDoesNotStopTheScene) {
  // A mesh with two materials: the first carries the material control,
  // the second an attribute controller that must still run.
  CPointer<CNode> root(new CNode());
  CPointer<CTriMesh> mesh(new CTriMesh());
  CPointer<CTriMeshData> level;
  ASSERT_EQ(CTriMeshData::Create(level), kOk);
  ASSERT_EQ(mesh->SetLods(std::vector<CGeometryData*>{level.Get()}), kOk);
  ASSERT_EQ(root->AddChild(mesh.Get()), kOk);
  CPointer<CStandardMaterial> kept(new CStandardMaterial());
  CPointer<Control> control(new Control());
  ASSERT_EQ(kept->AddControl(control.Get()), kOk);
  CPointer<CStandardMaterial> glowing(new CStandardMaterial());
  CPointer<CMaterialAttributeControl> glow(new CMaterialAttributeControl());
  const Vec black{0, 0, 0};
  const Vec white{1, 1, 1};
  ASSERT_EQ(glow->SetLightKey(0, 1000.0f, black, black, black, 0, 0, 0), kOk);
  ASSERT_EQ(glow->SetLightKey(1000, 1000.0f, white, black, black, 0, 0, 0), kOk);
  ASSERT_EQ(glowing->AddControl(glow.Get()), kOk);
  ASSERT_EQ(mesh->AddLodObject(0, kept.Get()), kOk);
  ASSERT_EQ(mesh->AddLodObject(0, glowing.Get()), kOk);
  ASSERT_EQ(root->UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_FLOAT_EQ(glowing->Ambient.x, 0.5f);
}

TEST_F(MaterialControlTest, CopiesTakeEveryList) {
  CPointer<Control> control(new Control());
  Fill(*control);
  CPointer<CBase> out;
  ASSERT_EQ(control->CreateInstance(out), kOk);
  auto* copy = DynamicCast<Control>(out.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetLists().Diffuse.size(), 3u);
  EXPECT_EQ(copy->GetLists().Uv[5].Times.size(), 6u);
  CPointer<Control> target(new Control());
  target->EditLists().Opfall = {1.0f};
  DisplacedList displaced;
  ASSERT_EQ(control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetLists().Opacity, control->GetLists().Opacity);
  EXPECT_TRUE(target->GetLists().Opfall.empty());
  EXPECT_EQ(target->GetLists().Uv[2].Transforms.size(), 1u);
  EXPECT_EQ(target->GetSaveSize(), control->GetSaveSize());
  CPointer<CMaterialAttributeControl> other(new CMaterialAttributeControl());
  EXPECT_EQ(control->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(MaterialControlTest, SaveSizeCountsEveryElement) {
  CPointer<Control> control(new Control());
  // The pair and 25 empty counts.
  EXPECT_EQ(control->GetSaveSize() - control->CMaterialDataControl::GetSaveSize(), 108u);
  Fill(*control);
  // 2 + 1 + 3x3 + 1 + 1 + 2 + 1 + 1 floats, one 12-float weight set and,
  // per UV group g (1 to 6), g times and one 4-float transform.
  const u32 floats = 2 + 3 + 9 + 1 + 1 + 2 + 1 + 1 + 12 + (1 + 2 + 3 + 4 + 5 + 6) + 6 * 4;
  EXPECT_EQ(control->GetSaveSize() - control->CMaterialDataControl::GetSaveSize(), 108u + 4 * floats);
}

TEST_F(MaterialControlTest, BoundControlRoundTrips) {
  CPointer<CStandardMaterial> material(new CStandardMaterial());
  CPointer<Control> control(new Control());
  Fill(*control);
  ASSERT_EQ(material->AddControl(control.Get()), kOk);
  test::ExpectSceneRoundTrip(*material);
}

// --- older records -------------------------------------------------------------------------------

// The levels below the controller's own, with the controller's Weight.
ByteWriter Head(f32 weight) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.weight = weight;
  test::ControlPart(w, fields).Pair(2, 0).Pair(2, 0);
  return w;
}

// A record of version 2.0`minor` with one entry in most lists and one
// transform in every UV group the version stores.
ByteWriter Record(u32 minor, f32 weight) {
  ByteWriter w = Head(weight);
  w.Pair(2, minor);
  test::FloatArray(w, {100.0f, 200.0f});                  // light times
  w.U32(1).F32(0.1f).F32(0.2f).F32(0.3f);                 // one ambient colour
  w.U32(0).U32(0);                                        // diffuse, specular
  test::FloatArray(w, {0.5f}).U32(0).U32(0);              // shininess, strength, self-illumination
  test::FloatArray(w, {300.0f});                          // self times
  test::FloatArray(w, {0.5f, 0.25f, 0.125f}).U32(0).U32(0);  // opacity (longer than its times)
  test::FloatArray(w, {400.0f});                          // texture times
  w.U32(1);
  for (int i = 0; i < 12; ++i) w.F32(0.5f);
  for (u32 g = 1; g <= 6; ++g) {
    const bool stored = minor >= 2 && (g != 2 || minor >= 3);
    if (!stored) continue;
    test::FloatArray(w, {10.0f * static_cast<f32>(g)});
    w.U32(1).F32(0.5f).F32(0.25f).F32(2.0f).F32(4.0f);
  }
  return w;
}

TEST_F(MaterialControlTest, OlderRecordsLoad) {
  struct Row {
    const char* what;
    u32 minor;
    f32 weight;
    f32 lightTime;         // the first light time (100 stored)
    u32 groups;            // bit g - 1 set: UV group g holds its transform
    CVector2 translate;    // of each stored transform
  };
  const Row rows[] = {
      {"2.00, Weight 2.5: key times lowered", 0, 2.5f, 97.5f, 0, {}},
      {"2.00, Weight 0: key times as stored", 0, 0.0f, 100.0f, 0, {}},
      {"2.01: no UV groups", 1, 2.5f, 100.0f, 0, {}},
      {"2.02: UV groups 1 and 3 to 6, translations scaled", 2, 1.0f, 100.0f, 0x3D, {-1.0f, -1.0f}},
      {"2.03: every UV group", 3, 1.0f, 100.0f, 0x3F, {-1.0f, -1.0f}},
      {"2.04: translations as stored", 4, 1.0f, 100.0f, 0x3F, {0.5f, 0.25f}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    auto* c = test::LoadRoot<Control>("CMaterialControl", Record(row.minor, row.weight), stream, device);
    ASSERT_NE(c, nullptr);
    const Control::Lists& lists = c->GetLists();
    ASSERT_EQ(lists.LightTimes.size(), 2u);
    EXPECT_EQ(lists.LightTimes[0], row.lightTime);
    EXPECT_EQ(lists.LightTimes[1], row.lightTime + 100.0f);
    EXPECT_EQ(lists.SelfTimes, std::vector<f32>{row.lightTime + 200.0f});
    EXPECT_EQ(lists.TextureTimes, std::vector<f32>{row.lightTime + 300.0f});
    EXPECT_EQ(lists.Ambient.size(), 1u);
    EXPECT_EQ(lists.Opacity.size(), 3u);
    EXPECT_EQ(lists.TextureWeight.size(), 1u);
    for (u32 g = 0; g < Control::kUvGroupCount; ++g) {
      SCOPED_TRACE(g + 1);
      const bool stored = (row.groups >> g) & 1u;
      ASSERT_EQ(lists.Uv[g].Transforms.size(), stored ? 1u : 0u);
      if (!stored) continue;
      // UV key times are never lowered by the Weight.
      EXPECT_EQ(lists.Uv[g].Times, std::vector<f32>{10.0f * static_cast<f32>(g + 1)});
      EXPECT_EQ(lists.Uv[g].Transforms[0].Translate.x, row.translate.x);
      EXPECT_EQ(lists.Uv[g].Transforms[0].Translate.y, row.translate.y);
      EXPECT_EQ(lists.Uv[g].Transforms[0].Scale.y, 4.0f);
    }
  }
}

TEST_F(MaterialControlTest, ANewerRecordIsRefused) {
  ByteWriter w = Head(1.0f);
  w.Pair(2, 5);
  for (u32 i = 0; i < Control::kListCount; ++i) w.U32(0);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadRecord("CMaterialControl", w, stream, device), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
