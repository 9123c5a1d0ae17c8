#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/core/morph_control.h"
#include "exporter/plugin/max_drn.h"
#include "tests/exporter/convert/modifier_fixtures.h"

namespace {

using KT::Host::HostScene;
using KT::Host::ModifierDesc;
using KT::Host::ModifierKind;

std::unique_ptr<HostScene> MorphedScene(std::vector<KT::Host::MorphChannelDesc> channels) {
  ModifierDesc morpher;
  morpher.kind = ModifierKind::kMorpher;
  morpher.channels = std::move(channels);
  return fixtures::OneMeshScene("Face", morpher);
}

TEST(MorphExport, OneControlPerNonEmptyChannelInOrder) {
  auto scene = MorphedScene({{"Smile", {Point3(0.01f, 0.0f, -0.02f), Point3(), Point3(0.5f, 0.25f, 1.0f)}},
                             {"Empty", {}},
                             {"Blink", {Point3(0.0f, 0.03f, 0.0f)}}});
  CMaxDrn context(scene.get(), scene.get(), false);
  KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(nullptr, u"Face", 3);
  context.ExportMorph(mesh.Get(), scene->NodeAt(0), 0, fixtures::ModifierOf(*scene, 0, 0));

  const auto morphs = fixtures::ControlsOf<KT::CMorphControl>(*mesh);
  ASSERT_EQ(morphs.size(), 2u);
  EXPECT_EQ(morphs[0]->GetName(), u"Smile");
  EXPECT_EQ(morphs[1]->GetName(), u"Blink");
  EXPECT_EQ(morphs[0]->GetObject(), mesh.Get());

  const auto& smile = morphs[0]->GetTargets();
  ASSERT_EQ(smile.size(), 3u);
  EXPECT_FLOAT_EQ(smile[0].x, 1.0f);
  EXPECT_FLOAT_EQ(smile[0].y, 0.0f);
  EXPECT_FLOAT_EQ(smile[0].z, -2.0f);
  EXPECT_FLOAT_EQ(smile[2].x, 50.0f);
  EXPECT_FLOAT_EQ(smile[2].z, 100.0f);
  ASSERT_EQ(morphs[1]->GetTargets().size(), 1u);
  EXPECT_FLOAT_EQ(morphs[1]->GetTargets()[0].y, 3.0f);

  for (const KT::CMorphControl* morph : morphs) {
    EXPECT_EQ(morph->GetWeightData(), (std::vector<KT::f32>{0.0f, 1.0f}));
    EXPECT_EQ(morph->GetWeightTime(), (std::vector<KT::i32>{0, 1000}));
    EXPECT_EQ(morph->GetFrequency(), 1.0f);
  }
}

TEST(MorphExport, WeightRampsToHalfAtHalfASecond) {
  auto scene = MorphedScene({{"Smile", {Point3(0.01f, 0.0f, -0.02f)}}});
  CMaxDrn context(scene.get(), scene.get(), false);
  KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(nullptr, u"Face", 1);
  context.ExportMorph(mesh.Get(), scene->NodeAt(0), 0, fixtures::ModifierOf(*scene, 0, 0));
  const auto morphs = fixtures::ControlsOf<KT::CMorphControl>(*mesh);
  ASSERT_EQ(morphs.size(), 1u);

  // Offsets are added at the evaluated weight to positions at the origin.
  ASSERT_EQ(mesh->AllocateWorldXYZ(1), KT::kOk);
  ASSERT_EQ(morphs[0]->Update(500), KT::kOk);
  const KT::CVector3<float> moved = mesh->GetWorldXYZ().GetData()[0];
  EXPECT_FLOAT_EQ(moved.x, 0.5f);
  EXPECT_FLOAT_EQ(moved.z, -1.0f);
}

TEST(MorphExport, NothingForANullModifierOrAnotherClass) {
  auto scene = MorphedScene({{"Smile", {Point3(1.0f, 0.0f, 0.0f)}}});
  CMaxDrn context(scene.get(), scene.get(), false);
  KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(nullptr, u"Face", 1);
  context.ExportMorph(mesh.Get(), scene->NodeAt(0), 0, nullptr);
  KT::Host::ModifierDesc uvw;
  uvw.kind = ModifierKind::kUvwMap;
  KT::Host::HostUvwMapModifier notAMorpher(uvw);
  context.ExportMorph(mesh.Get(), scene->NodeAt(0), 0, &notAMorpher);
  EXPECT_EQ(mesh->GetFirstControl(), nullptr);
}

}  // namespace
