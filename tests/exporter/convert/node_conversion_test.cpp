#include "exporter/convert/node_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/inode.h"
#include "platform/host/scene_builder.h"
#include "render/lights/point_light.h"
#include "tests/exporter/convert/tree_shape.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

std::vector<KT::CKeyframeControl*> KeyframeControls(KT::CDorun* object) {
  std::vector<KT::CKeyframeControl*> out;
  for (KT::CDorun* c = object->GetFirstControl(); c != nullptr; c = c->GetChainNext())
    if (auto* k = dynamic_cast<KT::CKeyframeControl*>(c)) out.push_back(k);
  return out;
}

INode* HostNodeNamed(CMaxDrn& context, const std::string& name) {
  for (INode* node : context.nodes)
    if (name == node->GetName()) return node;
  return nullptr;
}

// Each row: a scene, the order of the collected list (names; empty keeps
// the collection order, "-" drops every node) and the converted shape.
struct BuildCase {
  const char* what;
  std::vector<std::pair<std::string, int>> scene;  // name, parent index
  std::vector<std::string> collected;
  std::string shape;  // "" for no root
};

TEST(BuildNodes, BuildsTheTreeFromTheCollectedNodes) {
  const BuildCase cases[] = {
      {"empty list gives no root", {{"A", -1}}, {"-"}, ""},
      {"whole tree", {{"A", -1}, {"B", 0}, {"C", 0}}, {}, "Scene(A(B C))"},
      {"parent not collected: left out with its subtree", {{"A", -1}, {"B", 0}, {"C", 1}, {"D", 2}},
       {"A", "C", "D"}, "Scene(A)"},
      {"children of a name go under its first node", {{"X", -1}, {"X", -1}, {"Y", 1}}, {}, "Scene(X(Y) X)"},
      {"collected before its parent: a later pass", {{"A", -1}, {"B", 0}, {"C", -1}}, {"B", "A", "C"},
       "Scene(A(B) C)"},
  };
  for (const BuildCase& c : cases) {
    SceneBuilder b;
    b.RootName("Scene");
    for (const auto& [name, parent] : c.scene) b.AddNode(name, parent);
    std::unique_ptr<HostScene> scene = b.Make();
    CMaxDrn context(scene.get(), scene.get(), false);
    if (!c.collected.empty()) {
      std::vector<INode*> order;
      for (const std::string& name : c.collected)
        if (name != "-") order.push_back(HostNodeNamed(context, name));
      context.nodes = order;
    }
    context.BuildNodes(0);
    if (c.shape.empty()) {
      EXPECT_FALSE(context.root) << c.what;
    } else {
      ASSERT_TRUE(context.root) << c.what;
      EXPECT_EQ(TreeShape(context.root.Get()), c.shape) << c.what;
    }
    EXPECT_EQ(context.progress, 5) << c.what;
  }
}

TEST(BuildNodes, RootHasOneIdentityKeyAndEveryNodeTheKindsCustomId) {
  SceneBuilder b;
  b.AddNode("A");
  std::unique_ptr<HostScene> scene = b.Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(4);
  ASSERT_TRUE(context.root);
  EXPECT_EQ(context.nodeBuildMode, 4);
  EXPECT_EQ(context.root->GetCustomId(), 0x2000000u);
  const auto controls = KeyframeControls(context.root.Get());
  ASSERT_EQ(controls.size(), 1u);
  ASSERT_EQ(controls[0]->GetRtsKeys().size(), 1u);
  EXPECT_EQ(controls[0]->GetRtsKeys()[0].Time, 0);
  EXPECT_EQ(controls[0]->GetRtsKeys()[0].Value, KT::kIdentityTransform);
  EXPECT_EQ(controls[0]->GetFrequency(), 1.0f);
  auto* a = static_cast<KT::CNode*>(context.root->GetChild(0).Get());
  EXPECT_EQ(a->GetCustomId(), 0x2000000u);

  // A second build leaves the tree alone.
  KT::CNode* first = context.root.Get();
  context.BuildNodes(0);
  EXPECT_EQ(context.root.Get(), first);
  EXPECT_EQ(context.root->GetCustomId(), 0x2000000u);
}

TEST(SetNodeTransform, TakesTheControllerValuesWithTheRotationInverted) {
  SceneBuilder b;
  b.AddNode("A")
      .Controller(KT::Host::ControllerKind::kPrs, 0x1C7)
      .PositionKey(0, Point3(1.0f, 2.0f, 3.0f))
      .RotationKey(0, Quat(0.0f, 0.0f, 0.6f, 0.8f))
      .ScaleKey(0, Point3(2.0f, 2.0f, 2.0f))
      .Shadows(false, true)
      .Hidden();
  b.AddNode("B").Controller().PositionKey(0, Point3(5.0f, 0.0f, 0.0f));
  std::unique_ptr<HostScene> scene = b.Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  auto* a = static_cast<KT::CNode*>(context.root->GetChild(0).Get());
  EXPECT_EQ(a->GetName(), u"A");
  EXPECT_EQ(a->GetInherited(), 0x1C7u);
  EXPECT_FALSE(a->GetCastShadow());
  EXPECT_TRUE(a->GetReceiveShadow());
  EXPECT_FALSE(a->IsActive());
  KT::CRtsTransform expected = KT::kIdentityTransform;
  expected.Translate = {1.0f, 2.0f, 3.0f};
  expected.Rotate = {-0.0f, -0.0f, -0.6f, 0.8f};
  expected.Scale = {2.0f, 2.0f, 2.0f};
  EXPECT_EQ(a->GetBasis(), expected);
  // Only a position controller: rotation and scale stay the identity's.
  auto* bNode = static_cast<KT::CNode*>(context.root->GetChild(1).Get());
  KT::CRtsTransform moved = KT::kIdentityTransform;
  moved.Translate = {5.0f, 0.0f, 0.0f};
  EXPECT_EQ(bNode->GetBasis(), moved);
  EXPECT_TRUE(bNode->IsActive());
  // The node's keyframe controller holds its Basis at time 0.
  const auto controls = KeyframeControls(a);
  ASSERT_EQ(controls.size(), 1u);
  EXPECT_EQ(controls[0]->GetRtsKeys()[0].Value, expected);
}

TEST(SetNodeTransform, WithoutControllerDecomposesTheLocalMatrix) {
  const float mirrored[12] = {-2, 0, 0, 0, 1, 0, 0, 0, 1, 4, 5, 6};
  const float parentRows[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 10, 0, 0};
  SceneBuilder b;
  b.AddNode("P").Local(Matrix3(parentRows));
  b.AddNode("M", 0).Local(Matrix3(mirrored));
  std::unique_ptr<HostScene> scene = b.Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  auto* p = static_cast<KT::CNode*>(context.root->GetChild(0).Get());
  auto* m = static_cast<KT::CNode*>(p->GetChild(0).Get());
  EXPECT_EQ(m->GetBasis().Sign, -1.0f);
  EXPECT_NEAR(m->GetBasis().Translate.x, 4.0f, 1e-5f);
  EXPECT_NEAR(m->GetBasis().Translate.y, 5.0f, 1e-5f);
  EXPECT_NEAR(m->GetBasis().Translate.z, 6.0f, 1e-5f);
  EXPECT_EQ(p->GetBasis().Sign, 1.0f);
  EXPECT_TRUE(IsMirrored(Matrix3(mirrored)));
  EXPECT_FALSE(IsMirrored(Matrix3(parentRows)));
}

TEST(SetNodeTransform, KeepsAnExistingTransformControllerAndIgnoresNulls) {
  SceneBuilder b;
  b.AddNode("A");
  std::unique_ptr<HostScene> scene = b.Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  KT::CPointer<KT::CNode> node;
  ASSERT_EQ(KT::CNode::Create(node), KT::kOk);
  KT::CPointer<KT::CKeyframeControl> existing(new KT::CKeyframeControl());
  node->AddControl(existing.Get());
  context.SetNodeTransform(node.Get(), context.nodes[0], 0);
  context.SetNodeTransform(node.Get(), context.nodes[0], 0);
  const auto controls = KeyframeControls(node.Get());
  ASSERT_EQ(controls.size(), 1u);
  EXPECT_EQ(controls[0], existing.Get());
  EXPECT_TRUE(controls[0]->GetRtsKeys().empty());
  context.SetNodeTransform(nullptr, context.nodes[0], 0);
  context.SetNodeTransform(node.Get(), nullptr, 0);
  context.EnsureKeyframeControl(nullptr);
}

TEST(NodeConversionHelpers, SetBasisAndLightColorMarkModified) {
  KT::CPointLight light;
  light.SetModified(false);
  const float rgb[3] = {0.25f, 0.5f, 1.0f};
  SetLightColor(&light, rgb);
  EXPECT_EQ(light.GetRgb().r, 0.25f);
  EXPECT_EQ(light.GetRgb().g, 0.5f);
  EXPECT_EQ(light.GetRgb().b, 1.0f);
  EXPECT_TRUE(light.IsModified());
  light.SetModified(false);
  SetBasis(&light, KT::kMirroredIdentityTransform);
  EXPECT_EQ(light.GetBasis(), KT::kMirroredIdentityTransform);
  EXPECT_TRUE(light.IsModified());
  SetBasis(nullptr, KT::kIdentityTransform);
  SetLightColor(nullptr, rgb);
}

}  // namespace
