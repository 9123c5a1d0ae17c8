#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "exporter/plugin/max_drn.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/convert/tree_shape.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

// Root: Dummy > Lamp1; Box > Lamp2 > Ball; Cam; Step (footstep controller).
std::unique_ptr<HostScene> MixedScene() {
  SceneBuilder b;
  b.RootName("Scene");
  const int dummy = b.AddNode("Dummy").Index();
  b.AddNode("Lamp1", dummy).Light(0).Offset(Point3(1.0f, 2.0f, 3.0f));
  const int box = b.AddNode("Box").Mesh(KT::Host::MeshDesc{}).Index();
  const int lamp2 = b.AddNode("Lamp2", box).Light(1).Index();
  b.AddNode("Ball", lamp2).Mesh(KT::Host::MeshDesc{});
  b.AddNode("Cam").Camera();
  b.AddNode("Step").Controller(KT::Host::ControllerKind::kFootstep);
  return b.Make();
}

TEST(NodeCleanup, EachContentTypesOrderLeavesItsNodes) {
  const struct {
    const char* what;
    std::vector<std::pair<bool, SClass_ID>> steps;  // (move to root, super class)
    std::string shape;
  } cases[] = {
      {"before clean-up", {}, "Scene(Dummy(Lamp1) Box(Lamp2(Ball)) Cam Step)"},
      {"character: a light takes its mesh child along",
       {{false, SUPER_LIGHT}, {false, SUPER_CAMERA}},
       "Scene(Dummy Box Step)"},
      {"light file: lights under a dummy and a mesh end under the root",
       {{true, SUPER_LIGHT}, {false, SUPER_CAMERA}, {false, SUPER_GEOMETRIC_OBJECT}},
       "Scene(Dummy Step Lamp1 Lamp2)"},
      {"camera file", {{true, SUPER_CAMERA}, {false, SUPER_LIGHT}, {false, SUPER_GEOMETRIC_OBJECT}},
       "Scene(Dummy Cam Step)"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<HostScene> scene = MixedScene();
    CMaxDrn context(scene.get(), scene.get(), false);
    context.BuildNodes(0);
    ASSERT_TRUE(context.root);
    for (const auto& [move, superClass] : c.steps) {
      if (move)
        context.MoveNodesOfSuperClassToRoot(superClass);
      else
        context.RemoveNodesOfSuperClass(superClass);
    }
    EXPECT_EQ(TreeShape(context.root.Get()), c.shape) << c.what;
  }
}

TEST(NodeCleanup, MovedLightKeepsItsBasisAndFootstepNodesGo) {
  std::unique_ptr<HostScene> scene = MixedScene();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  auto* lamp = static_cast<KT::CNode*>(context.root->Find(u"Lamp1", &KT::CNode::StaticClassRecord(), false, false));
  ASSERT_NE(lamp, nullptr);
  KT::CRtsTransform basis = lamp->GetBasis();
  basis.Translate = {7.0f, 8.0f, 9.0f};
  lamp->SetBasis(basis);
  context.MoveNodesOfSuperClassToRoot(SUPER_LIGHT);
  EXPECT_EQ(lamp->GetParent(), context.root.Get());
  EXPECT_EQ(lamp->GetBasis(), basis);
  context.RemoveNodesOfClass();
  EXPECT_EQ(TreeShape(context.root.Get()), "Scene(Dummy Box Cam Lamp1 Lamp2(Ball))");
}

TEST(NodeCleanup, PassesWithoutRootDoNothing) {
  std::unique_ptr<HostScene> scene = MixedScene();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.SetRootName(u"LightRoot");
  context.RemoveNodesOfSuperClass(SUPER_LIGHT);
  context.MoveNodesOfSuperClassToRoot(SUPER_LIGHT);
  context.RemoveNodesOfClass();
  EXPECT_FALSE(context.root);
  context.BuildNodes(0);
  context.SetRootName(u"LightRoot");
  EXPECT_EQ(context.root->GetName(), u"LightRoot");
}

TEST(ProfileMatrices, FirstRecordOfTheRigBoneWinsAndAppliesFirst) {
  CMaxDrn context(nullptr, nullptr, false);
  ProfileRecord a{u"HostA", u"Bip", KT::CMatrix4::Identity(), {}};
  a.Matrix.m[3][0] = 5.0f;  // a translation by 5 along x
  ProfileRecord b{u"HostB", u"Bip", KT::CMatrix4::Identity(), {}};
  b.Matrix.m[0][0] = 3.0f;
  context.profile = {ProfileRecord{u"Bip", u"Other", KT::CMatrix4::Identity(), {}}, a, b};
  EXPECT_EQ(FindProfileRecord(context.profile, u"Bip"), &context.profile[1]);
  EXPECT_EQ(FindProfileRecord(context.profile, u"bip"), nullptr);
  EXPECT_EQ(FindProfileRecord({}, u"Bip"), nullptr);

  KT::CMatrix4 m = KT::CMatrix4::Identity();
  m.m[0][0] = 2.0f;  // a scale by 2 along x
  context.ApplyProfileMatrix(m, u"Bip");
  // record x matrix: the record's translation is scaled by the matrix.
  EXPECT_EQ(m.m[3][0], 10.0f);
  EXPECT_EQ(m.m[0][0], 2.0f);
  KT::CMatrix4 unchanged = m;
  context.ApplyProfileMatrix(m, u"Nobody");
  EXPECT_EQ(m, unchanged);
}

}  // namespace
