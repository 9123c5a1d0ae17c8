#include "exporter/validation/bone_hierarchy.h"

#include <gtest/gtest.h>

#include <set>

#include "exporter/validation/rig_names.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"

namespace {

using Names = std::vector<KT::WString>;

TEST(BoneHierarchy, TemplatesHoldTheirParents) {
  BoneHierarchyMap basic, full, facial, headLink;
  BuildBasicBodyHierarchy(basic);
  BuildFullBodyHierarchy(full);
  BuildFacialHierarchy(facial);
  BuildHeadLinkHierarchy(headLink);
  EXPECT_EQ(basic.size(), 40u);
  EXPECT_EQ(full.size(), 72u);
  EXPECT_EQ(facial.size(), 27u);
  EXPECT_EQ(headLink.size(), 28u);
  EXPECT_EQ(basic[u"KT_Spine02"], (Names{u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Clavicle", u"KT_L_Ribs", u"KT_R_Ribs"}));
  EXPECT_EQ(basic[u"KT_Neck"], Names{u"KT_Head"});
  EXPECT_EQ(full[u"KT_Neck"], Names{u"KT_NeckTwist01"});
  EXPECT_EQ(full[u"KT_Head"], Names{u"KT_HeadNub"});
  ASSERT_EQ(full[u"KT_R_Hand"].size(), 12u);
  EXPECT_EQ(full[u"KT_R_Hand"].back(), u"KT_R_Hand_Acc_Pivot");
  EXPECT_EQ(facial[u"Bone_Lip-Up"], (Names{u"CP_22", u"CP_25", u"CP_07", u"CP_26", u"CP_21", u"CP_08", u"CP_68", u"CP_69"}));
  EXPECT_EQ(headLink[u"KT_Head"], Names{u"Bone_Connect"});

  // The head link replaces the full body's list for the head.
  BuildHeadLinkHierarchy(full);
  EXPECT_EQ(full.size(), 72u + 27u);
  EXPECT_EQ(full[u"KT_Head"], Names{u"Bone_Connect"});
}

TEST(BoneHierarchy, EveryTemplateNameBelongsToTheRig) {
  BoneHierarchyMap basic, full;
  BuildBasicBodyHierarchy(basic);
  BuildFullBodyHierarchy(full);
  const auto inTables = [](const KT::WString& n) {
    return InRigTable(RigBodyBones, n) || InRigTable(NubBones, n) || InRigTable(FootFloorBones, n) ||
           InRigTable(HandFloorBones, n) || InRigTable(HandPivotBones, n);
  };
  for (const auto& [parent, children] : full) {
    EXPECT_TRUE(inTables(parent));
    for (const KT::WString& child : children) EXPECT_TRUE(inTables(child));
  }
  // The basic template names exactly the motion skeleton.
  std::set<KT::WString> names;
  for (const auto& [parent, children] : basic) {
    names.insert(parent);
    names.insert(children.begin(), children.end());
  }
  EXPECT_EQ(names, std::set<KT::WString>(MotionSkeletonBones.begin(), MotionSkeletonBones.end()));
}

TEST(BoneHierarchy, FacialTemplateNamesEveryControlPointOnce) {
  BoneHierarchyMap facial;
  BuildFacialHierarchy(facial);
  std::multiset<KT::WString> points;
  for (const auto& [parent, children] : facial) {
    EXPECT_TRUE(InRigTable(FacialBones, parent));
    for (const KT::WString& child : children) {
      if (InRigTable(FaceControlPoints, child)) {
        points.insert(child);
      } else {
        EXPECT_TRUE(InRigTable(FacialBones, child) || InRigTable(FaceMeshNames, child));
      }
    }
  }
  EXPECT_EQ(points.size(), 69u);
  EXPECT_EQ(std::set<KT::WString>(points.begin(), points.end()).size(), 69u);
}

TEST(BoneHierarchy, AddChildrenReplacesTheList) {
  BoneHierarchyMap map;
  AddChildren(map, u"P", {u"a", u"b"});
  AddChildren(map, u"P", {u"c"});
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map[u"P"], Names{u"c"});
}

KT::CPointer<KT::CNode> Node(const char16_t* name, KT::CNode* parent) {
  KT::CPointer<KT::CNode> node;
  EXPECT_EQ(KT::CNode::Create(node), KT::kOk);
  node->SetName(name);
  if (parent != nullptr) {
    EXPECT_EQ(parent->AddChild(node.Get()), KT::kOk);
  }
  return node;
}

Names ChildNames(const KT::CNode& node) {
  Names out;
  for (const auto& child : node.GetChildren()) out.push_back(child->GetName());
  return out;
}

TEST(BoneHierarchy, OrderingSwapsAndLeavesGapsForMissingChildren) {
  KT::CPointer<KT::CNode> root = Node(u"Root", nullptr);
  KT::CPointer<KT::CNode> parent = Node(u"P", root.Get());
  for (const char16_t* name : {u"c", u"x", u"a", u"b"}) Node(name, parent.Get());
  BoneHierarchyMap map;
  AddChildren(map, u"P", {u"a", u"missing", u"c", u"b"});
  OrderChildrenByTemplate(root.Get(), map);
  // "a" to 0; position 1 stays with "x"; "c" and "b" follow.
  EXPECT_EQ(ChildNames(*parent), (Names{u"a", u"x", u"c", u"b"}));
}

TEST(BoneHierarchy, OrderingTakesNodesOfExactNameOnly) {
  KT::CPointer<KT::CNode> root = Node(u"Root", nullptr);
  KT::CPointer<KT::CNode> parent = Node(u"KT_Neck", root.Get());
  KT::CPointer<KT::CTriMesh> mesh(new KT::CTriMesh());
  mesh->SetName(u"KT_Head");
  Node(u"Other", parent.Get());
  Node(u"KT_head", parent.Get());
  parent->AddChild(mesh.Get());
  BoneHierarchyMap map;
  AddChildren(map, u"KT_Neck", {u"KT_Head"});
  AddChildren(map, u"Absent", {u"x"});
  OrderChildrenByTemplate(root.Get(), map);
  // Neither the differently cased node nor the mesh is the head.
  EXPECT_EQ(ChildNames(*parent), (Names{u"Other", u"KT_head", u"KT_Head"}));
  OrderChildrenByTemplate(nullptr, map);
}

}  // namespace
