#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/collectors.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/convert/converted_objects.h"

namespace {

using KT::Host::ControllerKind;
using KT::Host::HostScene;
using KT::Host::SceneBuilder;

constexpr int kTicks = 160;

std::vector<KT::CKeyframeControl*> KeyframeControls(KT::CDorun* object) { return ControlsOf<KT::CKeyframeControl>(object); }

std::vector<KT::CNode*> AllNodes(KT::CNode* root) {
  std::vector<KT::CNode*> out;
  KT::CollectObjects(out, root, nullptr, false, false);
  return out;
}

void ExpectNear(const KT::CVector3<float>& got, const KT::CVector3<float>& want) {
  EXPECT_NEAR(got.x, want.x, 1e-4f);
  EXPECT_NEAR(got.y, want.y, 1e-4f);
  EXPECT_NEAR(got.z, want.z, 1e-4f);
}

// Both quaternions turn the same way (q and -q are one rotation).
void ExpectSameRotation(const KT::CQuaternion& got, const KT::CQuaternion& want) {
  EXPECT_NEAR(std::abs(got.x * want.x + got.y * want.y + got.z * want.z + got.w * want.w), 1.0f, 1e-5f);
}

void ExpectNear(const KT::CRtsTransform& got, const KT::CRtsTransform& want) {
  ExpectNear(got.Translate, want.Translate);
  ExpectNear(got.Scale, want.Scale);
  ExpectSameRotation(got.Rotate, want.Rotate);
}

// A new node under `parent` (which holds it) with its Basis at `at`.
KT::CNode* AddNode(KT::CNode* parent, const char16_t* name, const KT::CVector3<float>& at) {
  KT::CPointer<KT::CNode> node;
  KT::CNode::Create(node);
  node->SetName(name);
  KT::CRtsTransform basis;
  basis.Translate = at;
  node->SetBasis(basis);
  parent->AddChild(node.Get());
  return node.Get();
}

// A small biped over frames 0 to 10: "Bip01" (body controller) with "Bip01
// Pelvis" moving along x, "Bip01 Spine" above it and "Bip01 Neck" above
// that (slave controllers), footsteps, and a plain keyed "Box".
std::unique_ptr<HostScene> Biped() {
  SceneBuilder b;
  b.TicksPerFrame(kTicks).Range(0, 10 * kTicks);
  const int body = b.AddNode("Bip01").Controller(ControllerKind::kBipedBody).PositionKey(0, Point3()).Index();
  const int pelvis = b.AddNode("Bip01 Pelvis", body)
                         .Controller(ControllerKind::kBipedSlave)
                         .PositionKey(0, Point3(1.0f, 2.0f, 30.0f))
                         .PositionKey(10 * kTicks, Point3(4.0f, 2.0f, 30.0f))
                         .Index();
  const int spine =
      b.AddNode("Bip01 Spine", pelvis).Controller(ControllerKind::kBipedSlave).PositionKey(0, Point3(0.0f, 0.0f, 8.0f)).Index();
  b.AddNode("Bip01 Neck", spine).Controller(ControllerKind::kBipedSlave).PositionKey(0, Point3(0.0f, 1.0f, 6.0f));
  b.AddNode("Bip01 Footsteps", body).Controller(ControllerKind::kFootstep);
  b.AddNode("Box").Controller().PositionKey(0, Point3(5.0f, 0.0f, 0.0f));
  return b.Make();
}

struct BipedCase {
  BipedCase() : scene(Biped()), context(scene.get(), scene.get(), false) { context.sampleRate = 5; }
  std::unique_ptr<HostScene> scene;
  CMaxDrn context;
};

TEST(BipedKeyframes, EachNodeGetsOneKeyframeControlPerClip) {
  BipedCase c;
  c.context.BuildNodes(0);
  c.context.clips = {{u"Walk", 0, 10}, {u"Run", 5, 10}};
  c.context.BuildBipedKeyframes(kTicks, {});
  const std::vector<KT::CNode*> nodes = AllNodes(c.context.root.Get());
  ASSERT_EQ(nodes.size(), 7u) << "the root and the six host nodes";
  for (KT::CNode* node : nodes) {
    SCOPED_TRACE(ToNarrow(node->GetName()));
    EXPECT_EQ(node->GetInherited(), 0x1C0u);
    const std::vector<KT::CKeyframeControl*> controls = KeyframeControls(node);
    ASSERT_EQ(controls.size(), 2u) << "the rest keyframe controller is replaced";
    EXPECT_EQ(controls[0]->GetName(), u"Walk");
    EXPECT_EQ(controls[1]->GetName(), u"Run");
    for (KT::CKeyframeControl* control : controls) EXPECT_EQ(control->GetFrequency(), 1.0f);
    std::vector<KT::i32> walk;
    for (const auto& key : controls[0]->GetRtsKeys()) walk.push_back(key.Time);
    EXPECT_EQ(walk, (std::vector<KT::i32>{0, 166, 333}));
    std::vector<KT::i32> run;
    for (const auto& key : controls[1]->GetRtsKeys()) run.push_back(key.Time);
    EXPECT_EQ(run, (std::vector<KT::i32>{0, 166})) << "times count from the clip's first frame";
    EXPECT_EQ(controls[0]->GetRtsKeys()[0].TransitionType, KT::TT_LINEAR);
    EXPECT_EQ(controls[0]->GetRtsKeys()[0].TransitionStrength, 50.0f);
  }
  // Keys are the host's local transforms.
  const auto& pelvisKeys = KeyframeControls(NodeNamed(c.context.root.Get(), u"Bip01 Pelvis"))[0]->GetRtsKeys();
  ExpectNear(pelvisKeys[0].Value.Translate, {1.0f, 2.0f, 30.0f});
  ExpectNear(pelvisKeys[1].Value.Translate, {2.5f, 2.0f, 30.0f});
  ExpectNear(pelvisKeys[2].Value.Translate, {4.0f, 2.0f, 30.0f});
  const auto& neckKeys = KeyframeControls(NodeNamed(c.context.root.Get(), u"Bip01 Neck"))[0]->GetRtsKeys();
  ExpectNear(neckKeys[2].Value.Translate, {0.0f, 1.0f, 6.0f});
}

TEST(BipedKeyframes, BipedControllersAreToldTheExportOption) {
  BipedCase c;
  c.context.BuildNodes(0);
  c.context.clips = {{u"Walk", 0, 10}};
  c.context.BuildBipedKeyframes(kTicks, {});
  const struct {
    int node;
    std::vector<int> calls;
  } rows[] = {{0, {1}}, {1, {1}}, {2, {1}}, {3, {1}}, {4, {1}}, {5, {}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.node);
    const KT::Host::BipedExportLog& log = c.scene->NodeAt(row.node)->TransformControl()->BipedLog();
    EXPECT_EQ(log.optionCalls, row.calls);
    EXPECT_EQ(log.interfacesTaken, log.interfacesReleased);
    EXPECT_EQ(log.interfacesTaken, static_cast<int>(row.calls.size()));
  }
}

TEST(BipedKeyframes, ProgressSharesThirtyAmongTheClips) {
  const struct {
    int clips;
    int step;
  } rows[] = {{1, 30}, {2, 15}, {4, 7}, {7, 4}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.clips);
    BipedCase c;
    c.context.BuildNodes(0);
    for (int i = 0; i < row.clips; ++i) c.context.clips.push_back({u"c" + std::u16string(1, u'0' + i), 0, 1});
    const std::size_t before = c.scene->ProgressLog().size();
    const int start = c.context.progress;
    c.context.BuildBipedKeyframes(kTicks, {});
    const std::vector<KT::Host::ProgressEvent>& log = c.scene->ProgressLog();
    ASSERT_EQ(log.size(), before + 1 + static_cast<std::size_t>(row.clips));
    EXPECT_EQ(log[before].percent, start) << "the step opens with amount 0";
    for (int i = 1; i <= row.clips; ++i) {
      EXPECT_EQ(log[before + static_cast<std::size_t>(i)].percent, start + i * row.step);
      EXPECT_EQ(log[before + static_cast<std::size_t>(i)].text, "Building Biped Keyframes");
    }
  }
}

TEST(BipedKeyframes, NothingButTheMessageWithoutRoot) {
  BipedCase c;
  c.context.clips = {{u"Walk", 0, 10}};
  c.context.BuildBipedKeyframes(kTicks, {});
  EXPECT_FALSE(c.context.root);
  EXPECT_TRUE(c.scene->NodeAt(0)->TransformControl()->BipedLog().optionCalls.empty());
  EXPECT_EQ(c.scene->ProgressLog().back().text, "Building Biped Keyframes");
}

// Converted nodes without host counterparts: the identity until an earlier
// node of the sample was found, then their own Basis under their parent.
TEST(BipedKeyframes, UnmatchedNodesFollowTheIdentityThenTheirParent) {
  BipedCase c;
  KT::CPointer<KT::CNode> root;
  ASSERT_TRUE(KT::Succeeded(KT::CNode::Create(root)));
  root->SetName(u"Nowhere");
  KT::CRtsTransform moved;
  moved.Translate = {7.0f, 8.0f, 9.0f};
  root->SetBasis(moved);
  KT::CNode* lost = AddNode(root.Get(), u"Lost", {1.0f, 2.0f, 3.0f});
  KT::CNode* pelvis = AddNode(root.Get(), u"Bip01 Pelvis", {0.0f, 0.0f, 0.0f});
  KT::CNode* tail = AddNode(pelvis, u"Tail", {0.0f, 0.0f, -5.0f});
  c.context.root = root;
  c.context.clips = {{u"Walk", 0, 10}};
  c.context.BuildBipedKeyframes(kTicks, {});

  for (KT::CNode* node : {root.Get(), lost}) {
    EXPECT_EQ(node->GetBasis(), KT::kIdentityTransform) << "reset to the identity";
    EXPECT_TRUE(node->IsDirty());
    for (const auto& key : KeyframeControls(node)[0]->GetRtsKeys()) ExpectNear(key.Value, KT::kIdentityTransform);
  }
  const auto& pelvisKeys = KeyframeControls(pelvis)[0]->GetRtsKeys();
  ASSERT_EQ(pelvisKeys.size(), 3u);
  ExpectNear(pelvisKeys[2].Value.Translate, {4.0f, 2.0f, 30.0f});
  const auto& tailKeys = KeyframeControls(tail)[0]->GetRtsKeys();
  ASSERT_EQ(tailKeys.size(), 3u);
  for (const auto& key : tailKeys) ExpectNear(key.Value.Translate, {0.0f, 0.0f, -5.0f});
  ExpectNear(tail->GetBasis().Translate, {0.0f, 0.0f, -5.0f});
}

// The base skeleton: "BaseRoot" > "LowerTorso" at (0, 0, 100) > "LThigh"
// and "RThigh" 5 below it, 10 to each side, and "UpperTorso" 20 above it >
// "Neck" 30 above that. Nodes left out by `missing` are not built.
KT::CPointer<KT::CNode> BaseSkeleton(const std::u16string& missing = u"") {
  KT::CPointer<KT::CNode> root;
  KT::CNode::Create(root);
  root->SetName(u"BaseRoot");
  auto add = [&](KT::CNode* parent, const char16_t* name, const KT::CVector3<float>& at) -> KT::CNode* {
    if (missing == name) return nullptr;
    return AddNode(parent, name, at);
  };
  KT::CNode* lower = add(root.Get(), u"LowerTorso", {0.0f, 0.0f, 100.0f});
  add(lower, u"LThigh", {-10.0f, 0.0f, -5.0f});
  add(lower, u"RThigh", {10.0f, 0.0f, -5.0f});
  KT::CNode* upper = add(lower, u"UpperTorso", {0.0f, 0.0f, 20.0f});
  add(upper, u"Neck", {0.0f, 0.0f, 30.0f});
  return root;
}

ProfileRecord Record(const char16_t* host, const char16_t* rig) {
  ProfileRecord record;
  record.HostBone = host;
  record.RigBone = rig;
  return record;
}

struct BaseBoneCase : BipedCase {
  explicit BaseBoneCase(const std::u16string& missing = u"") {
    context.root = BaseSkeleton(missing);
    context.baseBoneLoaded = true;
    context.clips = {{u"Walk", 0, 10}};
  }
  const std::vector<KT::CKeyframeControl::CRtsKey>& Keys(const char16_t* name) {
    return KeyframeControls(NodeNamed(context.root.Get(), name))[0]->GetRtsKeys();
  }
};

TEST(BipedKeyframes, BaseBonesWithTheEmptyProfileKeepEveryBasis) {
  BaseBoneCase c;
  std::vector<KT::CRtsTransform> before;
  for (KT::CNode* node : AllNodes(c.context.root.Get())) before.push_back(node->GetBasis());
  c.context.BuildBipedKeyframes(kTicks, {});
  const std::vector<KT::CNode*> nodes = AllNodes(c.context.root.Get());
  ASSERT_EQ(nodes.size(), before.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(nodes[i]->GetBasis(), before[i]);
    const auto& keys = KeyframeControls(nodes[i])[0]->GetRtsKeys();
    ASSERT_EQ(keys.size(), 3u);
    for (const auto& key : keys) ExpectNear(key.Value, before[i]);
  }
}

TEST(BipedKeyframes, BaseBonesFollowTheHostThroughTheProfile) {
  BaseBoneCase c;
  const std::vector<ProfileRecord> profile = {Record(u"Bip01 Pelvis", u"LowerTorso"),
                                              Record(u"Bip01 Spine", u"UpperTorso"),
                                              Record(u"Bip01 Neck", u"Neck")};
  c.context.BuildBipedKeyframes(kTicks, profile);
  // The skeleton's world matrices were never computed (a loaded file holds
  // none): the offsets come from its rest pose. The pelvis is lifted by the
  // base pelvis's height above its hips (5).
  const auto& lower = c.Keys(u"LowerTorso");
  ASSERT_EQ(lower.size(), 3u);
  ExpectNear(lower[0].Value.Translate, {1.0f, 2.0f, 35.0f});
  ExpectNear(lower[2].Value.Translate, {4.0f, 2.0f, 35.0f});
  // The upper body keeps the base distance from the pelvis, whatever the
  // host spine says; the neck follows the host relative to it.
  for (const auto& key : c.Keys(u"UpperTorso")) ExpectNear(key.Value.Translate, {0.0f, 0.0f, 20.0f});
  for (const auto& key : c.Keys(u"Neck")) ExpectNear(key.Value.Translate, {0.0f, 1.0f, 6.0f});
  // Bones without a record keep their Basis.
  for (const auto& key : c.Keys(u"LThigh")) ExpectNear(key.Value.Translate, {-10.0f, 0.0f, -5.0f});
}

TEST(BipedKeyframes, MarkerRecordKeepsTheBasis) {
  BaseBoneCase c;
  const std::vector<ProfileRecord> profile = {Record(u"Bip01 Pelvis", u"LowerTorso"), Record(u"*-=-*", u"Neck")};
  c.context.BuildBipedKeyframes(kTicks, profile);
  for (const auto& key : c.Keys(u"Neck")) ExpectNear(key.Value.Translate, {0.0f, 0.0f, 30.0f});
}

TEST(BipedKeyframes, MissingThighLeavesThePelvisAndUpperBodyUnmoved) {
  BaseBoneCase c(u"LThigh");
  const std::vector<ProfileRecord> profile = {Record(u"Bip01 Pelvis", u"LowerTorso"),
                                              Record(u"Bip01 Spine", u"UpperTorso")};
  c.context.BuildBipedKeyframes(kTicks, profile);
  const auto& lower = c.Keys(u"LowerTorso");
  ExpectNear(lower[0].Value.Translate, {1.0f, 2.0f, 30.0f});  // BaseOffset is the identity
  for (const auto& key : c.Keys(u"UpperTorso")) ExpectNear(key.Value.Translate, {0.0f, 0.0f, 8.0f});
}

TEST(BipedKeyframes, ProfileRotationsCorrectTheBones) {
  BaseBoneCase c;
  // A quarter turn about z for the neck and the pelvis.
  const KT::i32 axes[3] = {1, 2, 3};
  const KT::i32 angles[3] = {0, 0, 90};
  ProfileRecord pelvis = Record(u"Bip01 Pelvis", u"LowerTorso");
  pelvis.Matrix = ProfileMatrix(axes, angles);
  ProfileRecord neck = Record(u"Bip01 Neck", u"Neck");
  neck.Matrix = pelvis.Matrix;
  c.context.BuildBipedKeyframes(kTicks, {pelvis, Record(u"Bip01 Spine", u"UpperTorso"), neck});
  const KT::CRtsTransform turned = KT::CRtsTransform::FromMatrix(pelvis.Matrix);
  // The pelvis takes its own correction once.
  ExpectSameRotation(c.Keys(u"LowerTorso")[0].Value.Rotate, turned.Rotate);
  // The neck's local rotation is turned by its record (the upper torso is
  // not turned, so its local rotation undoes the pelvis's).
  ExpectSameRotation(c.Keys(u"Neck")[0].Value.Rotate, turned.Rotate);
}

}  // namespace
