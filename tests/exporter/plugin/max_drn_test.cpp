#include "exporter/plugin/max_drn.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "objectmodel/class_factory.h"
#include "platform/host/inode.h"
#include "platform/host/scene_builder.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

std::vector<std::string> Names(const std::vector<INode*>& nodes) {
  std::vector<std::string> out;
  for (INode* node : nodes) out.push_back(node->GetName());
  return out;
}

// A > B > C and D > E > F, with the given nodes selected.
std::unique_ptr<HostScene> TwoChains(const std::vector<std::string>& selected) {
  SceneBuilder b;
  const std::string names[6] = {"A", "B", "C", "D", "E", "F"};
  int parent = -1;
  for (int i = 0; i < 6; ++i) {
    KT::Host::NodeBuilder node = b.AddNode(names[i], i == 3 ? -1 : parent);
    for (const std::string& s : selected)
      if (s == names[i]) node.Selected();
    parent = node.Index();
  }
  return b.Make();
}

TEST(MaxDrn, StartsWithTheInitialValues) {
  CMaxDrn context(nullptr, nullptr, false);
  EXPECT_TRUE(context.nodes.empty());
  EXPECT_FALSE(context.root);
  EXPECT_EQ(context.nodeBuildMode, 6);
  EXPECT_TRUE(context.profile.empty());
  EXPECT_EQ(context.scene, nullptr);
  EXPECT_EQ(context.ip, nullptr);
  EXPECT_FALSE(context.selectedOnly);
  EXPECT_EQ(context.progress, 0);
  EXPECT_FALSE(context.baseBoneLoaded);
  EXPECT_EQ(context.sampleRate, 1);
  EXPECT_EQ(context.thresholdR, 0.0f);
  EXPECT_EQ(context.thresholdT, 0.0f);
  EXPECT_EQ(context.thresholdS, 0.0f);
  EXPECT_EQ(context.thresholdP, 0.0f);
  EXPECT_FALSE(context.limitTextures);
  EXPECT_EQ(context.maxTextureSize, 1024);
  EXPECT_FALSE(context.thumbnail);
  EXPECT_TRUE(context.uvChannels.empty());
  EXPECT_TRUE(context.clips.empty());
  EXPECT_TRUE(context.materialCache.empty());
  EXPECT_TRUE(context.textureCache.empty());
}

TEST(MaxDrn, RegistersTheImageAndLibraryClasses) {
  CMaxDrn context(nullptr, nullptr, false);
  for (const char* name : {"CImage", "CAnmImage", "CThumbnail", "CNode", "CTriMesh", "CKeyframeControl"})
    EXPECT_NE(KT::CClassFactory::FindCreator(name), nullptr) << name;
}

TEST(MaxDrn, CollectsEveryNodeInTheWalksOrder) {
  std::unique_ptr<HostScene> scene = TwoChains({"E"});
  CMaxDrn context(scene.get(), scene.get(), false);
  EXPECT_EQ(Names(context.nodes), (std::vector<std::string>{"A", "B", "C", "D", "E", "F"}));
  EXPECT_EQ(context.scene, scene.get());
  EXPECT_EQ(context.ip, scene.get());
}

TEST(MaxDrn, SelectionCollectsSelectedNodesWithTheirAncestors) {
  const struct {
    std::vector<std::string> selected;
    std::vector<std::string> nodes;
  } cases[] = {
      {{}, {}},
      {{"A"}, {"A"}},
      {{"C"}, {"A", "B", "C"}},
      // The grandparent once, at the front, ahead of the parent.
      {{"A", "C"}, {"A", "B", "C"}},
      // Ancestors stand ahead of the nodes collected before them.
      {{"B", "F"}, {"D", "E", "A", "B", "F"}},
      {{"C", "E", "F"}, {"D", "A", "B", "C", "E", "F"}},
  };
  for (const auto& c : cases) {
    std::unique_ptr<HostScene> scene = TwoChains(c.selected);
    ASSERT_NE(scene, nullptr);
    CMaxDrn context(scene.get(), scene.get(), true);
    EXPECT_EQ(Names(context.nodes), c.nodes) << ::testing::PrintToString(c.selected);
  }
}

TEST(MaxDrn, ProgressIsCappedAtOneHundred) {
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.progress = 42;
  context.StartProgress("Exporting...");
  EXPECT_EQ(context.progress, 0);
  context.StepProgress(30, "Create Mesh: Body");
  context.StepProgress(50, "Build Light: Sun");
  context.StepProgress(40, "Save File...");
  context.StepProgress(0x7FFFFFFF, "Save File...");
  EXPECT_EQ(context.progress, 100);
  context.EndProgress();
  using Kind = KT::Host::ProgressEvent::Kind;
  const std::vector<KT::Host::ProgressEvent>& log = scene->ProgressLog();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].kind, Kind::kStart);
  EXPECT_EQ(log[0].text, "Exporting...");
  const int percents[4] = {30, 80, 100, 100};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(log[1 + i].kind, Kind::kUpdate);
    EXPECT_EQ(log[1 + i].percent, percents[i]);
    EXPECT_EQ(log[1 + i].showPercent, FALSE);
  }
  EXPECT_EQ(log[2].text, "Build Light: Sun");
  EXPECT_EQ(log[5].kind, Kind::kEnd);
}

TEST(MaxDrn, ProgressWithoutHostOnlyCounts) {
  CMaxDrn context(nullptr, nullptr, false);
  context.StartProgress("Exporting...");
  context.StepProgress(20, "x");
  context.EndProgress();
  EXPECT_EQ(context.progress, 20);
}

KT::CPointer<KT::CNode> NamedNode(const char16_t* name, KT::CNode* parent) {
  KT::CPointer<KT::CNode> node;
  EXPECT_EQ(KT::CNode::Create(node), KT::kOk);
  node->SetName(name);
  if (parent != nullptr) parent->AddChild(node.Get());
  return node;
}

std::vector<KT::WString> ChildNames(const KT::CNode& node) {
  std::vector<KT::WString> out;
  for (const auto& child : node.GetChildren()) out.push_back(child->GetName());
  return out;
}

TEST(MaxDrn, GestureRootKeepsTheHandsOnly) {
  const struct {
    std::vector<const char16_t*> hands;
    std::vector<KT::WString> children;
  } cases[] = {
      {{u"LHand", u"RHand"}, {u"RHand", u"LHand"}},
      {{u"LHand"}, {u"LHand"}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    CMaxDrn context(nullptr, nullptr, false);
    context.root = NamedNode(u"Scene", nullptr);
    KT::CPointer<KT::CNode> body = NamedNode(u"Body", context.root.Get());
    KT::CPointer<KT::CNode> arm = NamedNode(u"Arm", body.Get());
    KT::CPointer<KT::CNode> finger;
    for (const char16_t* hand : c.hands) {
      KT::CPointer<KT::CNode> node = NamedNode(hand, arm.Get());
      finger = NamedNode(u"Finger", node.Get());
    }
    KT::CNode* oldRoot = context.root.Get();
    context.BuildGestureRoot();
    ASSERT_TRUE(context.root);
    EXPECT_NE(context.root.Get(), oldRoot);
    EXPECT_EQ(context.root->GetName(), u"GestureRoot");
    EXPECT_EQ(ChildNames(*context.root), c.children);
    EXPECT_EQ(arm->GetChildCount(), 0u);
    // A hand keeps its own children.
    if (finger) {
      EXPECT_NE(finger->GetParent(), nullptr);
    }
  }
}

TEST(MaxDrn, GestureRootWithoutRootIsEmpty) {
  CMaxDrn context(nullptr, nullptr, false);
  context.BuildGestureRoot();
  ASSERT_TRUE(context.root);
  EXPECT_EQ(context.root->GetName(), u"GestureRoot");
  EXPECT_EQ(context.root->GetChildCount(), 0u);
}

TEST(MaxDrn, GestureRootTakesOnlyPlainNodes) {
  // A derived class of the same name is not a hand.
  CMaxDrn context(nullptr, nullptr, false);
  context.root = NamedNode(u"Scene", nullptr);
  KT::CPointer<KT::CBase> made;
  KT::Result result = KT::kOk;
  KT::CClassFactory::FindCreator("CTriMesh")(result, made);
  ASSERT_EQ(result, KT::kOk);
  auto* mesh = dynamic_cast<KT::CSpatial*>(made.Get());
  ASSERT_NE(mesh, nullptr);
  mesh->SetName(u"RHand");
  context.root->AddChild(mesh);
  context.BuildGestureRoot();
  EXPECT_EQ(context.root->GetChildCount(), 0u);
}

}  // namespace
