#include "exporter/validation/skeleton_fixups.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "controllers/core/bone_skin_control.h"
#include "controllers/core/keyframe_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/validation/bone_hierarchy.h"
#include "exporter/validation/rig_names.h"
#include "objectmodel/collectors.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace {

using Names = std::vector<KT::WString>;
using Vec = KT::CVector3<float>;

// A node with a rest transform and a keyframe control keyed with it at 0
// and with a turned copy at 1000.
KT::CPointer<KT::CNode> Bone(const char16_t* name, KT::CNode* parent, Vec translation = {},
                             Vec axis = {0, 0, 1}, float degrees = 0.0f) {
  KT::CPointer<KT::CNode> node;
  EXPECT_EQ(KT::CNode::Create(node), KT::kOk);
  node->SetName(name);
  KT::CRtsTransform basis = KT::kIdentityTransform;
  basis.Translate = translation;
  basis.Rotate = KT::CQuaternion::FromAxisAngle(axis, degrees * 3.14159265f / 180.0f);
  node->SetBasis(basis);
  KT::CPointer<KT::CKeyframeControl> keys(new KT::CKeyframeControl());
  EXPECT_EQ(keys->AddRtsKey(0, 1000.0f, basis), KT::kOk);
  KT::CRtsTransform later = basis;
  later.Translate.x += 1.0f;
  EXPECT_EQ(keys->AddRtsKey(1000, 1000.0f, later), KT::kOk);
  EXPECT_EQ(node->AddControl(keys.Get()), KT::kOk);
  if (parent != nullptr) {
    EXPECT_EQ(parent->AddChild(node.Get()), KT::kOk);
  }
  return node;
}

KT::CKeyframeControl* KeysOf(const KT::CNode& node) { return KT::DynamicCast<KT::CKeyframeControl>(node.GetFirstControl()); }

Names ChildNames(const KT::CNode& node) {
  Names out;
  for (const auto& child : node.GetChildren()) out.push_back(child->GetName());
  return out;
}

KT::CNode* Child(const KT::CNode& node, KT::u32 i) { return dynamic_cast<KT::CNode*>(node.GetChildren().at(i).Get()); }

void ExpectNear(const KT::CMatrix4& a, const KT::CMatrix4& b, float tolerance) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
}

// A converted character: KT_Spine02 > {KT_R_Ribs, KT_L_Clavicle, KT_Neck >
// {KT_Head > KT_HeadNub, KT_NeckTwist01 > KT_NeckTwist02}}, and the hair
// mesh (with a skin when `skinned`).
struct Character {
  explicit Character(bool skinned = true, bool withTwist02 = true) {
    context.root = Bone(u"Avatar", nullptr);
    hips = Bone(u"KT_Hips", context.root.Get(), {0, 0, 100});
    spine = Bone(u"KT_Spine02", hips.Get(), {0, 2, 20}, {0, 0, 1}, 10);
    Bone(u"KT_R_Ribs", spine.Get(), {-3, 0, 0});
    Bone(u"KT_L_Clavicle", spine.Get(), {3, 0, 0});
    neck = Bone(u"KT_Neck", spine.Get(), {0, 1, 15}, {1, 0, 0}, 20);
    head = Bone(u"KT_Head", neck.Get(), {0.5f, 0, 8}, {0, 0, 1}, 30);
    Bone(u"KT_HeadNub", head.Get(), {0, 0, 4});
    twist1 = Bone(u"KT_NeckTwist01", neck.Get(), {0, 0, 3}, {0, 1, 0}, 5);
    if (withTwist02) twist2 = Bone(u"KT_NeckTwist02", twist1.Get(), {0, 0.5f, 3}, {1, 0, 0}, -7);

    hair = new KT::CTriMesh();
    hair->SetName(u"KT_HairMesh");
    KT::CPointer<KT::CTriMeshData> data(new KT::CTriMeshData());
    EXPECT_EQ(data->AllocateXYZ(2), KT::kOk);
    data->GetXYZ()[0] = {0, 1, 0};
    data->GetXYZ()[1] = {2, 0, 0};
    EXPECT_EQ(hair->SetSingleLod(data.Get()), KT::kOk);
    EXPECT_EQ(context.root->AddChild(hair.Get()), KT::kOk);
    if (skinned) {
      skin = new KT::CBoneSkinControl();
      KT::CMatrix4 bind;
      bind.SetTranslation({1, 2, 3});
      EXPECT_EQ(skin->AddBone(head.Get(), bind), KT::kOk);
      EXPECT_EQ(hair->AddControl(skin.Get()), KT::kOk);
    }
    EXPECT_EQ(context.root->UpdateScene(0, 0, 0.0f, true, nullptr, false), KT::kOk);
  }

  CMaxDrn context{nullptr, nullptr, false};
  KT::CPointer<KT::CNode> hips, spine, neck, head, twist1, twist2;
  KT::CPointer<KT::CTriMesh> hair;
  KT::CPointer<KT::CBoneSkinControl> skin;
};

TEST(FixupRigSkeleton, RebuildsTheNeckChainKeepingTheHeadsWorld) {
  Character c;
  const KT::CMatrix4 headWorld = c.head->GetWorldMatrix();
  const KT::CRtsTransform neckBasis = c.neck->GetBasis();
  const std::vector<KT::CKeyframeControl::CRtsKey> neckKeys = KeysOf(*c.neck)->GetRtsKeys();

  FixupRigSkeleton(c.context);

  // KT_Spine02 > KT_Neck (the first twist bone) > KT_NeckTwist01 (the
  // second) > KT_Head.
  EXPECT_EQ(ChildNames(*c.spine), (Names{u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Ribs"}));
  EXPECT_EQ(Child(*c.spine, 0), c.twist1.Get());
  EXPECT_EQ(ChildNames(*c.twist1), Names{u"KT_NeckTwist01"});
  EXPECT_EQ(Child(*c.twist1, 0), c.twist2.Get());
  EXPECT_EQ(ChildNames(*c.twist2), Names{u"KT_Head"});
  EXPECT_EQ(Child(*c.twist2, 0), c.head.Get());
  EXPECT_EQ(ChildNames(*c.head), Names{u"KT_HeadNub"});
  EXPECT_EQ(c.neck->GetParent(), nullptr);

  // The first twist bone stands where the neck stood.
  EXPECT_EQ(c.twist1->GetBasis(), neckBasis);
  ASSERT_EQ(KeysOf(*c.twist1)->GetRtsKeys().size(), neckKeys.size());
  for (std::size_t i = 0; i < neckKeys.size(); ++i) {
    EXPECT_EQ(KeysOf(*c.twist1)->GetRtsKeys()[i].Time, neckKeys[i].Time);
    EXPECT_EQ(KeysOf(*c.twist1)->GetRtsKeys()[i].Value, neckKeys[i].Value);
  }
  EXPECT_TRUE(c.twist1->IsModified());
  EXPECT_TRUE(c.twist2->IsModified());

  // The head's rest pose and first key are its old world matrix in its new
  // parent's space.
  EXPECT_EQ(c.head->GetBasis(), KeysOf(*c.head)->GetRtsKeys()[0].Value);
  ASSERT_EQ(c.context.root->UpdateScene(0, 0, 0.0f, true, nullptr, false), KT::kOk);
  ExpectNear(c.head->GetWorldMatrix(), headWorld, 1e-4f);
}

TEST(FixupRigSkeleton, TurnsTheHairMeshAndItsBindMatrices) {
  Character c;
  FixupRigSkeleton(c.context);
  const KT::CBuffer<Vec>& xyz = c.hair->GetLod(0)->GetXYZ();
  EXPECT_NEAR(xyz[0].x, 0.0f, 1e-6f);
  EXPECT_NEAR(xyz[0].y, 0.0f, 1e-6f);
  EXPECT_NEAR(xyz[0].z, -1.0f, 1e-6f);
  EXPECT_NEAR(xyz[1].x, 2.0f, 1e-6f);
  EXPECT_NEAR(xyz[1].z, 0.0f, 1e-6f);
  ASSERT_EQ(c.skin->GetBoneXForm().size(), 1u);
  const KT::CMatrix4& bind = c.skin->GetBoneXForm()[0];
  const float expected[4][4] = {{1, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 0}, {1, 2, 3, 1}};
  for (int r = 0; r < 4; ++r)
    for (int col = 0; col < 4; ++col) EXPECT_NEAR(bind.m[r][col], expected[r][col], 1e-6f) << r << "," << col;
  EXPECT_TRUE(c.skin->IsModified());
}

TEST(FixupRigSkeleton, HairWithoutSkinStaysAndTheChildrenAreStillOrdered) {
  Character c(false);
  FixupRigSkeleton(c.context);
  EXPECT_EQ(c.hair->GetLod(0)->GetXYZ()[0], (Vec{0, 1, 0}));
  EXPECT_EQ(ChildNames(*c.spine), (Names{u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Ribs"}));
}

TEST(FixupRigSkeleton, AMissingNeckBoneLeavesTheNeckAsItIs) {
  Character c(true, false);
  FixupRigSkeleton(c.context);
  EXPECT_EQ(ChildNames(*c.spine), (Names{u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Ribs"}));
  EXPECT_EQ(Child(*c.spine, 0), c.neck.Get());
  // Ordered by the full body template all the same.
  EXPECT_EQ(ChildNames(*c.neck), (Names{u"KT_NeckTwist01", u"KT_Head"}));
  // The hair is turned all the same.
  EXPECT_NEAR(c.hair->GetLod(0)->GetXYZ()[0].z, -1.0f, 1e-6f);
}

TEST(FixupRigSkeleton, ATwistBoneAboveTheSpineIsNotMovedBelowItself) {
  // KT_NeckTwist01 > KT_Spine02: moving the twist bone under the spine
  // would cut both off the scene; nothing moves and nothing is lost.
  CMaxDrn context(nullptr, nullptr, false);
  context.root = Bone(u"Avatar", nullptr);
  KT::CPointer<KT::CNode> twist1 = Bone(u"KT_NeckTwist01", context.root.Get());
  KT::CPointer<KT::CNode> spine = Bone(u"KT_Spine02", twist1.Get());
  KT::CPointer<KT::CNode> neck = Bone(u"KT_Neck", spine.Get());
  Bone(u"KT_Head", neck.Get());
  Bone(u"KT_NeckTwist02", neck.Get());
  std::vector<KT::CNode*> before;
  KT::CollectObjects(before, context.root.Get(), nullptr, true, false);
  FixupRigSkeleton(context);
  std::vector<KT::CNode*> after;
  KT::CollectObjects(after, context.root.Get(), nullptr, true, false);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(twist1->GetParent(), context.root.Get());
}

TEST(FixupRigSkeleton, WithoutRootNothingHappens) {
  CMaxDrn context(nullptr, nullptr, false);
  FixupRigSkeleton(context);
  FixupMotionSkeleton(context);
  EXPECT_FALSE(context.root);
}

TEST(FixupMotionSkeleton, KeepsExactlyTheMotionBonesInTemplateOrder) {
  BoneHierarchyMap basic;
  BuildBasicBodyHierarchy(basic);
  CMaxDrn context(nullptr, nullptr, false);
  context.root = Bone(u"Bip01", nullptr);
  // The skeleton of the basic template, each parent's children added in
  // reverse order, and bones of a full rig beside them.
  std::vector<KT::CPointer<KT::CNode>> made;
  std::vector<std::pair<KT::CNode*, KT::WString>> pending{{context.root.Get(), u"KT_Hips"}};
  while (!pending.empty()) {
    auto [parent, name] = pending.back();
    pending.pop_back();
    made.push_back(Bone(name.c_str(), parent));
    KT::CNode* node = made.back().Get();
    const auto it = basic.find(name);
    if (it != basic.end())
      for (const KT::WString& child : it->second) pending.push_back({node, child});
  }
  KT::CNode* spine = static_cast<KT::CNode*>(
      context.root->Find(u"KT_Spine02", &KT::CNode::StaticClassRecord(), false, false));
  KT::CNode* neck = static_cast<KT::CNode*>(context.root->Find(u"KT_Neck", &KT::CNode::StaticClassRecord(), false, false));
  KT::CNode* hand = static_cast<KT::CNode*>(context.root->Find(u"KT_L_Hand", &KT::CNode::StaticClassRecord(), false, false));
  ASSERT_NE(spine, nullptr);
  KT::CPointer<KT::CNode> twist = Bone(u"KT_NeckTwist01", neck);
  Bone(u"KT_NeckTwist02", twist.Get());
  Bone(u"KT_L_Hand01_Floor01", hand);
  Bone(u"KT_HeadNub", nullptr);
  KT::CPointer<KT::CNode> footsteps = Bone(u"Bip01 Footsteps", context.root.Get());
  Bone(u"KT_Head", footsteps.Get());  // a motion name below a removed node goes with it
  EXPECT_NE(ChildNames(*spine).front(), u"KT_Neck");

  FixupMotionSkeleton(context);

  EXPECT_EQ(context.root->GetName(), u"KT_MotionRoot");
  std::vector<KT::CNode*> nodes;
  KT::CollectObjects(nodes, context.root.Get(), nullptr, true, false);
  std::multiset<KT::WString> names;
  for (KT::CNode* node : nodes)
    if (node != context.root.Get()) names.insert(node->GetName());
  EXPECT_EQ(names, std::multiset<KT::WString>(MotionSkeletonBones.begin(), MotionSkeletonBones.end()));
  EXPECT_EQ(ChildNames(*spine), (Names{u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Clavicle", u"KT_L_Ribs", u"KT_R_Ribs"}));
  EXPECT_EQ(ChildNames(*hand),
            (Names{u"KT_L_Finger00", u"KT_L_Finger10", u"KT_L_Finger20", u"KT_L_Finger30", u"KT_L_Finger40"}));
  EXPECT_EQ(twist->GetParent(), nullptr);
}

}  // namespace
