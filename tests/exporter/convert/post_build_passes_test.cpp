#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "controllers/core/clip_key.h"
#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/plugin/conversion_profile.h"
#include "exporter/plugin/max_drn.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "tests/exporter/convert/modifier_fixtures.h"

namespace {

using fixtures::ControlsOf;

KT::CRtsTransform At(float x, float y, float z) {
  KT::CRtsTransform rts = KT::kIdentityTransform;
  rts.Translate = {x, y, z};
  return rts;
}

// A node under `parent` (when given) with a keyframe controller holding
// one key per (time, translation); no controller when `keys` is empty.
KT::CPointer<KT::CNode> KeyedNode(KT::CNode* parent, const char16_t* name,
                                  const std::vector<std::pair<KT::i32, KT::CRtsTransform>>& keys) {
  KT::CPointer<KT::CNode> node;
  KT::CNode::Create(node);
  node->SetName(name);
  if (!keys.empty()) {
    KT::CPointer<KT::CKeyframeControl> control(new KT::CKeyframeControl());
    for (const auto& [t, rts] : keys) control->AddRtsKey(t, 1000.0f, rts);
    node->AddControl(control.Get());
  }
  if (parent != nullptr) parent->AddChild(node.Get());
  return node;
}

KT::CKeyframeControl* Keys(const KT::CNode& node) {
  const auto controls = ControlsOf<KT::CKeyframeControl>(node);
  return controls.empty() ? nullptr : controls[0];
}

std::vector<KT::i32> Times(const KT::CNode& node) {
  std::vector<KT::i32> out;
  for (const auto& key : Keys(node)->GetRtsKeys()) out.push_back(key.Time);
  return out;
}

// The profile record that turns bone `name` by 90 degrees about Z.
ProfileRecord Turn(const char16_t* name) {
  ProfileRecord record;
  record.HostBone = name;
  record.RigBone = name;
  record.Matrix = ProfileMatrix({1, 2, 3}, {0, 0, 90});
  return record;
}

void ExpectMatrixNear(const KT::CMatrix4& a, const KT::CMatrix4& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], 1e-5f) << r << "," << c;
}

// Root -> A (keys at 0 and 100) -> B (keys at 100 and 200) -> C (no
// keyframe controller).
struct KeyedScene {
  KT::CPointer<KT::CNode> root = KeyedNode(nullptr, u"Root", {{0, KT::kIdentityTransform}});
  KT::CPointer<KT::CNode> a = KeyedNode(root.Get(), u"A", {{0, At(1, 0, 0)}, {100, At(2, 0, 0)}});
  KT::CPointer<KT::CNode> b = KeyedNode(a.Get(), u"B", {{100, At(0, 1, 0)}, {200, At(0, 3, 0)}});
  KT::CPointer<KT::CNode> c = KeyedNode(b.Get(), u"C", {});

  // World matrices of A, B and C at each time.
  std::map<KT::i32, std::vector<KT::CMatrix4>> Worlds(std::initializer_list<KT::i32> times) {
    std::map<KT::i32, std::vector<KT::CMatrix4>> out;
    for (const KT::i32 t : times) {
      root->UpdateScene(t, 0, 0.0f, true, nullptr, false);
      out[t] = {a->GetWorldMatrix(), b->GetWorldMatrix(), c->GetWorldMatrix()};
    }
    return out;
  }
};

TEST(BakeProfileIntoKeys, EveryKeyedNodeIsKeyedAtTheUnionOfKeyTimes) {
  KeyedScene scene;
  const auto before = scene.Worlds({0, 50, 100, 150, 200});
  CMaxDrn context(nullptr, nullptr, false);
  context.BakeProfileIntoKeys(scene.root.Get());

  for (const KT::CNode* node : {scene.root.Get(), scene.a.Get(), scene.b.Get()})
    EXPECT_EQ(Times(*node), (std::vector<KT::i32>{0, 100, 200}));
  EXPECT_TRUE(ControlsOf<KT::CKeyframeControl>(*scene.c).empty());
  const auto& keys = Keys(*scene.b)->GetRtsKeys();
  EXPECT_EQ(keys[0].TransitionType, KT::TT_LINEAR);
  EXPECT_EQ(keys[0].TransitionStrength, 50.0f);

  // Without profile records every pose stays where it was at the key times.
  const auto after = scene.Worlds({0, 100, 200});
  for (const KT::i32 t : {0, 100, 200})
    for (std::size_t i = 0; i < 3; ++i) ExpectMatrixNear(after.at(t)[i], before.at(t)[i]);
}

TEST(BakeProfileIntoKeys, CorrectsOnceAndChildrenWithoutRecordKeepTheirPose) {
  KeyedScene scene;
  const auto before = scene.Worlds({0, 100, 200});
  CMaxDrn context(nullptr, nullptr, false);
  context.profile = {Turn(u"A")};
  context.BakeProfileIntoKeys(scene.root.Get());

  // A keys {0, 100} only: at 200 its pose is that of 100, corrected once
  // (turned by 90 degrees, not by 180).
  const auto& a = Keys(*scene.a)->GetRtsKeys();
  ASSERT_EQ(a.size(), 3u);
  const float half = std::sqrt(0.5f);
  for (const auto& key : a) {
    EXPECT_NEAR(std::fabs(key.Value.Rotate.z), half, 1e-5f) << key.Time;
    EXPECT_NEAR(std::fabs(key.Value.Rotate.w), half, 1e-5f) << key.Time;
  }
  EXPECT_NEAR(a[2].Value.Translate.x, 2.0f, 1e-5f);

  const auto after = scene.Worlds({0, 100, 200});
  const KT::CMatrix4 turn = ProfileMatrix({1, 2, 3}, {0, 0, 90});
  for (const KT::i32 t : {0, 100, 200}) {
    SCOPED_TRACE(t);
    ExpectMatrixNear(after.at(t)[0], turn * before.at(t)[0]);
    ExpectMatrixNear(after.at(t)[1], before.at(t)[1]);
  }
}

TEST(ApplyProfileToKeys, BasisAndFirstKeyBecomeTheCorrectedPose) {
  KeyedScene scene;
  const auto before = scene.Worlds({0});
  CMaxDrn context(nullptr, nullptr, false);
  context.root = scene.root;
  context.profile = {Turn(u"A")};
  scene.a->SetDirty(false);
  context.ApplyProfileToKeys();

  EXPECT_TRUE(scene.a->IsDirty());
  for (const KT::CNode* node : {scene.a.Get(), scene.b.Get()}) {
    const KT::CRtsTransform& basis = node->GetBasis();
    const KT::CRtsTransform& key = Keys(*node)->GetRtsKeys()[0].Value;
    EXPECT_EQ(key.Rotate, basis.Rotate);
    EXPECT_EQ(key.Translate, basis.Translate);
  }
  // The keys after the first stay as they were.
  EXPECT_EQ(Keys(*scene.a)->GetRtsKeys()[1].Value.Translate, (KT::CVector3<float>{2.0f, 0.0f, 0.0f}));
  EXPECT_EQ(Times(*scene.b), (std::vector<KT::i32>{100, 200}));

  const auto after = scene.Worlds({0});
  ExpectMatrixNear(after.at(0)[0], ProfileMatrix({1, 2, 3}, {0, 0, 90}) * before.at(0)[0]);
  // B has no record: it keeps its world pose under the turned parent.
  ExpectMatrixNear(after.at(0)[1], before.at(0)[1]);
  // C has no transform controller, so nothing moves its world matrix from
  // the identity; it still gets that pose as its Basis, under B at (1, 1, 0).
  EXPECT_TRUE(scene.c->GetFirstControl() == nullptr);
  EXPECT_NEAR(scene.c->GetBasis().Translate.x, -1.0f, 1e-5f);
  EXPECT_NEAR(scene.c->GetBasis().Translate.y, -1.0f, 1e-5f);
}

TEST(CleanRigBoneNodes, OnlyMeshesDirectlyUnderARigBoneGo) {
  KT::CPointer<KT::CNode> root = KeyedNode(nullptr, u"Root", {});
  KT::CPointer<KT::CNode> bone = KeyedNode(root.Get(), u"KT_Head", {});
  KT::CPointer<KT::CTriMesh> direct = fixtures::MakeMesh(bone.Get(), u"HeadMesh", 3);
  KT::CPointer<KT::CNode> helper = KeyedNode(bone.Get(), u"Helper", {});
  KT::CPointer<KT::CTriMesh> deeper = fixtures::MakeMesh(helper.Get(), u"Deeper", 3);
  KT::CPointer<KT::CTriMesh> namedLikeBone = fixtures::MakeMesh(root.Get(), u"KT_Neck", 3);
  KT::CPointer<KT::CNode> plain = KeyedNode(root.Get(), u"Prop", {});
  KT::CPointer<KT::CTriMesh> propMesh = fixtures::MakeMesh(plain.Get(), u"PropMesh", 3);

  CMaxDrn context(nullptr, nullptr, false);
  context.CleanRigBoneNodes();  // no root: nothing
  EXPECT_EQ(direct->GetParent(), bone.Get());
  context.root = root;
  context.CleanRigBoneNodes();
  EXPECT_EQ(direct->GetParent(), nullptr);
  EXPECT_EQ(bone->GetChildren().size(), 1u);
  EXPECT_EQ(deeper->GetParent(), helper.Get());
  EXPECT_EQ(namedLikeBone->GetParent(), root.Get());
  EXPECT_EQ(propMesh->GetParent(), plain.Get());
}

TEST(ResetUvwClipControls, ClipControlsBecomeEmptyAndLooseUvwControlsGo) {
  KT::CPointer<KT::CNode> root = KeyedNode(nullptr, u"Root", {});
  KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(root.Get(), u"Prop", 3, {2, 2});
  KT::CUvwMap* animated = mesh->GetTriMeshLod(0)->GetUvwChannel(0);
  KT::CUvwMap* loose = mesh->GetTriMeshLod(0)->GetUvwChannel(1);
  {
    KT::CPointer<KT::CUvwMapClipControl> clip(new KT::CUvwMapClipControl());
    ASSERT_EQ(animated->AddControl(clip.Get()), KT::kOk);
    KT::CPointer<KT::CUvwMapControl> child(new KT::CUvwMapControl());
    ASSERT_EQ(clip->AddChild(child.Get()), KT::kOk);
    ASSERT_EQ(child->SetKey(0, 1000.0f, animated, KT::TT_LINEAR), KT::kOk);
    KT::CClipKey key;
    key.ClipID = 0;
    ASSERT_EQ(clip->AddClipKey(key, 1000.0f), KT::kOk);
    KT::CPointer<KT::CUvwMapControl> bare(new KT::CUvwMapControl());
    ASSERT_EQ(loose->AddControl(bare.Get()), KT::kOk);
    ASSERT_EQ(bare->SetKey(0, 1000.0f, loose, KT::TT_LINEAR), KT::kOk);
  }
  CMaxDrn context(nullptr, nullptr, false);
  context.root = root;
  context.ResetUvwClipControls();

  const auto clips = ControlsOf<KT::CUvwMapClipControl>(*animated);
  ASSERT_EQ(clips.size(), 1u);
  EXPECT_EQ(clips[0]->GetChildCount(), 0u);
  EXPECT_TRUE(clips[0]->GetClips().empty());
  EXPECT_EQ(clips[0]->GetObject(), animated);
  EXPECT_EQ(animated->GetFirstControl(), clips[0]);
  EXPECT_EQ(loose->GetFirstControl(), nullptr);
}

TEST(RemoveMaterialAnimation, NoDataClipOrMaterialAttributeControlIsLeft) {
  KT::CPointer<KT::CNode> root = KeyedNode(nullptr, u"Root", {{0, KT::kIdentityTransform}});
  KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(root.Get(), u"Prop", 3);
  KT::CPointer<KT::CStandardMaterial> material(new KT::CStandardMaterial());
  ASSERT_EQ(mesh->AddLodObject(0, material.Get()), KT::kOk);
  {
    KT::CPointer<KT::CDataClipControl> clip(new KT::CDataClipControl());
    ASSERT_EQ(material->AddControl(clip.Get()), KT::kOk);
    KT::CPointer<KT::CMaterialAttributeControl> child(new KT::CMaterialAttributeControl());
    ASSERT_EQ(clip->AddChild(child.Get()), KT::kOk);
    KT::CPointer<KT::CMaterialAttributeControl> bare(new KT::CMaterialAttributeControl());
    ASSERT_EQ(material->AddControl(bare.Get()), KT::kOk);
  }
  CMaxDrn context(nullptr, nullptr, false);
  context.root = root;
  context.RemoveMaterialAnimation();

  std::vector<KT::CBase*> left;
  root->Collect(left, nullptr, &KT::CDataClipControl::StaticClassRecord(), true, false);
  root->Collect(left, nullptr, &KT::CMaterialAttributeControl::StaticClassRecord(), true, false);
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(material->GetFirstControl(), nullptr);
  // Transform animation stays.
  EXPECT_NE(Keys(*root), nullptr);
}

}  // namespace
