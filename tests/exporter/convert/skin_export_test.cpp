#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/core/bone_skin_control.h"
#include "exporter/plugin/conversion_profile.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/convert/modifier_fixtures.h"

namespace {

using KT::Host::HostScene;
using KT::Host::ModifierDesc;
using KT::Host::ModifierKind;
using KT::Host::SceneBuilder;
using KT::Host::VertexWeightsDesc;

Matrix3 Translation(float x, float y, float z) {
  Matrix3 m;
  m.SetTrans(Point3(x, y, z));
  return m;
}

// Node indices of the scene below.
enum : int { kMesh = 0, kB1 = 1, kB2 = 2, kLost = 3, kB1Twin = 4 };

// A mesh of four vertices at (1, 0, 0) carrying `mod`, and four bones:
// "B1" at (0, 2, 0), "B2", "Lost" (taken out of the converted tree by the
// test) and a second host node also named "B1" at (0, 5, 0).
std::unique_ptr<HostScene> SkinnedScene(const ModifierDesc& mod) {
  SceneBuilder b;
  KT::Host::MeshDesc mesh;
  mesh.verts = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0), Point3(1, 1, 0)};
  mesh.faces = {KT::Host::FaceDesc{{0, 1, 2}, 1, 0}};
  b.AddNode("Mesh").Local(Translation(1.0f, 0.0f, 0.0f)).Mesh(mesh).Modifier(mod);
  b.AddNode("B1").Local(Translation(0.0f, 2.0f, 0.0f));
  b.AddNode("B2").Local(Translation(0.0f, 3.0f, 0.0f));
  b.AddNode("Lost");
  b.AddNode("B1").Local(Translation(0.0f, 5.0f, 0.0f));
  return b.Make();
}

struct Weight {
  std::u16string bone;
  float w;
  bool operator==(const Weight&) const = default;
};

// The weight list of the control read back as (bone name, weight) per vertex.
std::vector<std::vector<Weight>> Weights(const KT::CBoneSkinControl& skin) {
  std::vector<std::vector<Weight>> out;
  const auto& list = skin.GetSkinWeightSet().at(0);
  for (const auto& entry : list) {
    std::vector<Weight> v;
    for (std::size_t k = 0; k < entry.PureWeight.size(); ++k)
      v.push_back({skin.GetReferenceBone().at(entry.BoneID[k])->GetName(), entry.PureWeight[k]});
    out.push_back(v);
  }
  return out;
}

struct SkinRun {
  std::unique_ptr<HostScene> scene;
  std::unique_ptr<CMaxDrn> context;
  KT::CPointer<KT::CTriMesh> mesh;
};

// Converts the scene's nodes, takes "Lost" out of the converted tree and
// runs the pass of the modifier's kind over a hand-built mesh.
SkinRun RunPass(const ModifierDesc& mod, std::vector<ProfileRecord> profile = {}) {
  SkinRun run;
  run.scene = SkinnedScene(mod);
  run.context = std::make_unique<CMaxDrn>(run.scene.get(), run.scene.get(), false);
  run.context->BuildNodes(0);
  run.context->profile = std::move(profile);
  KT::CNode* lost = fixtures::Converted(run.context->root.Get(), u"Lost");
  static_cast<KT::CNode*>(lost->GetParent())->RemoveChild(lost);
  run.mesh = fixtures::MakeMesh(fixtures::Converted(run.context->root.Get(), u"Mesh"), u"Mesh", 4);
  Modifier* m = fixtures::ModifierOf(*run.scene, kMesh, 0);
  INode* host = run.scene->NodeAt(kMesh);
  if (mod.kind == ModifierKind::kSkin) {
    run.context->ExportSkinModifier(run.mesh.Get(), host, 0, m);
  } else {
    run.context->ExportPhysique(run.mesh.Get(), host, 0, m);
  }
  return run;
}

ModifierDesc Skin(std::vector<VertexWeightsDesc> vertices) {
  ModifierDesc d;
  d.kind = ModifierKind::kSkin;
  d.bones = {kB1, kB2, kLost, kB1Twin};  // skin bone indices 0 to 3
  d.vertices = std::move(vertices);
  return d;
}

ModifierDesc Physique(std::vector<VertexWeightsDesc> vertices) {
  ModifierDesc d;
  d.kind = ModifierKind::kPhysique;
  d.vertices = std::move(vertices);  // targets are node indices
  return d;
}

struct Case {
  const char* what;
  ModifierDesc mod;
  bool hasControl;
  std::vector<std::u16string> bones;             // reference bones in order
  std::vector<std::vector<Weight>> weights;      // per vertex
};

TEST(SkinExport, BindsAndWeighsAsTheHostSays) {
  const std::vector<Case> cases = {
      {"vertices without bones follow the mesh's node",
       Skin({{0, 1, {{0, 0.5f}, {1, 0.3f}}}}),
       true,
       {u"B1", u"B2", u"Mesh"},
       {{{u"B1", 0.5f}, {u"B2", 0.3f}}, {{u"Mesh", 1.0f}}, {{u"Mesh", 1.0f}}, {{u"Mesh", 1.0f}}}},
      {"an unconverted bone is dropped without rescaling",
       Skin({{0, 1, {{2, 0.6f}, {0, 0.4f}}}, {1, 1, {{0, 1.0f}}}, {2, 1, {{0, 1.0f}}}, {3, 1, {{0, 1.0f}}}}),
       true,
       {u"B1"},
       {{{u"B1", 0.4f}}, {{u"B1", 1.0f}}, {{u"B1", 1.0f}}, {{u"B1", 1.0f}}}},
      {"no converted bone at all gives no control",
       Skin({{0, 1, {{2, 1.0f}}}, {1, 1, {{2, 1.0f}}}, {2, 1, {{2, 1.0f}}}, {3, 1, {{2, 1.0f}}}}),
       false,
       {},
       {}},
      {"physique rigid and rigid blended vertices",
       Physique({{0, 1, {{kB1, 1.0f}}}, {1, 5, {{kB2, 0.25f}, {kB1, 0.5f}}}, {2, 5, {{kLost, 0.7f}, {kB2, 0.2f}}}}),
       true,
       {u"B1", u"B2"},
       {{{u"B1", 1.0f}}, {{u"B2", 0.25f}, {u"B1", 0.5f}}, {{u"B2", 0.2f}}}},
      {"physique vertices of other types contribute nothing",
       Physique({{0, 2, {{kB1, 1.0f}}}, {1, 1, {{kB2, 1.0f}}}}),
       true,
       {u"B2"},
       {{}, {{u"B2", 1.0f}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SkinRun run = RunPass(c.mod);
    const auto skins = fixtures::ControlsOf<KT::CBoneSkinControl>(*run.mesh);
    ASSERT_EQ(skins.size(), c.hasControl ? 1u : 0u);
    if (!c.hasControl) continue;
    const KT::CBoneSkinControl& skin = *skins[0];
    EXPECT_EQ(skin.GetSkinWeightSet().size(), 1u);
    std::vector<std::u16string> bones;
    for (KT::CBase* bone : skin.GetReferenceBone()) bones.push_back(bone->GetName());
    EXPECT_EQ(bones, c.bones);
    EXPECT_EQ(Weights(skin), c.weights);
    EXPECT_EQ(skin.GetBoneXForm().size(), skin.GetReferenceBone().size());
  }
}

// Where the bind matrix takes the mesh's object-space origin (the mesh sits
// at (1, 0, 0)).
KT::CVector3<float> BoundOrigin(const KT::CBoneSkinControl& skin, std::size_t bone) {
  return KT::TransformCoord({0.0f, 0.0f, 0.0f}, skin.GetBoneXForm().at(bone));
}

TEST(SkinExport, BindMatrixIsObjectTimesInverseCorrectedBone) {
  // Bone "B1" at (0, 2, 0): the origin of the mesh lands at (1, -2, 0) in
  // its space.
  SkinRun plain = RunPass(Skin({{0, 1, {{0, 1.0f}}}}));
  const auto skin = fixtures::ControlsOf<KT::CBoneSkinControl>(*plain.mesh);
  ASSERT_EQ(skin.size(), 1u);
  const KT::CVector3<float> p = BoundOrigin(*skin[0], 0);
  EXPECT_NEAR(p.x, 1.0f, 1e-6f);
  EXPECT_NEAR(p.y, -2.0f, 1e-6f);
  EXPECT_NEAR(p.z, 0.0f, 1e-6f);

  // A profile turning "B1" by 90 degrees about Z: the bone's frame is the
  // corrected one, so the same point turns by -90 degrees: (-2, -1, 0).
  ProfileRecord record;
  record.HostBone = u"B1";
  record.RigBone = u"B1";
  record.Matrix = ProfileMatrix({1, 2, 3}, {0, 0, 90});
  SkinRun corrected = RunPass(Skin({{0, 1, {{0, 1.0f}}}}), {record});
  const auto turned = fixtures::ControlsOf<KT::CBoneSkinControl>(*corrected.mesh);
  ASSERT_EQ(turned.size(), 1u);
  const KT::CVector3<float> q = BoundOrigin(*turned[0], 0);
  EXPECT_NEAR(q.x, -2.0f, 1e-5f);
  EXPECT_NEAR(q.y, -1.0f, 1e-5f);
  EXPECT_NEAR(q.z, 0.0f, 1e-5f);
}

TEST(SkinExport, ABoneMetTwiceKeepsItsFirstMatrix) {
  // Skin bones 0 and 3 are two host nodes named "B1" (at y = 2 and y = 5);
  // both find the converted "B1", which is listed once with the matrix of
  // the first assignment.
  SkinRun run = RunPass(Skin({{0, 1, {{0, 1.0f}}}, {1, 1, {{3, 1.0f}}}}));
  const auto skin = fixtures::ControlsOf<KT::CBoneSkinControl>(*run.mesh);
  ASSERT_EQ(skin.size(), 1u);
  EXPECT_NEAR(BoundOrigin(*skin[0], 0).y, -2.0f, 1e-6f);
  EXPECT_EQ(Weights(*skin[0])[1], (std::vector<Weight>{{u"B1", 1.0f}}));

  SkinRun reversed = RunPass(Skin({{0, 1, {{3, 1.0f}}}, {1, 1, {{0, 1.0f}}}}));
  const auto first = fixtures::ControlsOf<KT::CBoneSkinControl>(*reversed.mesh);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_NEAR(BoundOrigin(*first[0], 0).y, -5.0f, 1e-6f);
}

TEST(SkinExport, PhysiqueSwitchesRigidAndBlendingOnAndGivesEverythingBack) {
  SkinRun run = RunPass(Physique({{0, 1, {{kB1, 1.0f}}}, {1, 5, {{kB2, 1.0f}}}}));
  const KT::Host::ModifierLog* log = run.scene->GetModifierLog(kMesh, 0);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->convertToRigid, (std::vector<BOOL>{TRUE}));
  EXPECT_EQ(log->allowBlending, (std::vector<BOOL>{TRUE}));
  EXPECT_EQ(log->interfacesTaken, 1);
  EXPECT_EQ(log->interfacesReleased, 1);
  EXPECT_EQ(log->contextsReleased, 1);
  EXPECT_EQ(log->verticesReleased, 2);

  // A node the modifier does not sit on has no export context: the
  // interface is given back all the same and nothing is attached.
  KT::CPointer<KT::CTriMesh> other = fixtures::MakeMesh(nullptr, u"Other", 4);
  run.context->ExportPhysique(other.Get(), run.scene->NodeAt(kB2), 0, fixtures::ModifierOf(*run.scene, kMesh, 0));
  EXPECT_EQ(log->interfacesTaken, 2);
  EXPECT_EQ(log->interfacesReleased, 2);
  EXPECT_EQ(log->contextsReleased, 1);
  EXPECT_EQ(other->GetFirstControl(), nullptr);
}

TEST(SkinExport, MissingInterfaceOrContextLeavesTheMeshAlone) {
  SkinRun run = RunPass(Skin({{0, 1, {{0, 1.0f}}}}));
  KT::CPointer<KT::CTriMesh> other = fixtures::MakeMesh(nullptr, u"Other", 4);
  // The skin answers no context for a node it does not sit on.
  run.context->ExportSkinModifier(other.Get(), run.scene->NodeAt(kB1), 0, fixtures::ModifierOf(*run.scene, kMesh, 0));
  run.context->ExportPhysique(other.Get(), run.scene->NodeAt(kMesh), 0, fixtures::ModifierOf(*run.scene, kMesh, 0));
  run.context->ExportSkinModifier(other.Get(), run.scene->NodeAt(kMesh), 0, nullptr);
  run.context->ExportSkinModifier(nullptr, run.scene->NodeAt(kMesh), 0, fixtures::ModifierOf(*run.scene, kMesh, 0));
  EXPECT_EQ(other->GetFirstControl(), nullptr);
}

}  // namespace
