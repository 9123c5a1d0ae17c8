// Converted scenes for the rig-check tests, built as the conversion makes
// them: a plain KT::CNode per host node and, for a host mesh, a KT::CTriMesh
// of the same name beneath it carrying the material and the selection
// controls.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "controllers/core/mesh_sel_control.h"
#include "exporter/validation/bone_hierarchy.h"
#include "exporter/validation/rig_names.h"
#include "render/materials/compound_materials.h"
#include "render/materials/standard_material.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace converted {

inline KT::CNode* AddNode(KT::CNode* parent, const KT::WString& name, KT::u32 inherited = 448) {
  KT::CPointer<KT::CNode> node(new KT::CNode());
  node->SetName(name);
  node->SetInherited(inherited);
  EXPECT_EQ(parent->AddChild(node.Get()), KT::kOk);
  return node.Get();
}

// A triangle mesh with `vertices` positions at level 0, under `parent`.
inline KT::CTriMesh* AddMesh(KT::CNode* parent, const KT::WString& name, KT::u32 vertices = 3) {
  KT::CPointer<KT::CTriMesh> mesh(new KT::CTriMesh());
  mesh->SetName(name);
  KT::CPointer<KT::CTriMeshData> data(new KT::CTriMeshData());
  if (vertices > 0) {
    EXPECT_EQ(data->AllocateXYZ(vertices), KT::kOk);
  }
  EXPECT_EQ(mesh->SetSingleLod(data.Get()), KT::kOk);
  EXPECT_EQ(parent->AddChild(mesh.Get()), KT::kOk);
  return mesh.Get();
}

// A converted host mesh: the plain node and the mesh of the same name.
inline KT::CTriMesh* AddPart(KT::CNode* parent, const KT::WString& name, KT::u32 vertices = 3, KT::u32 inherited = 0) {
  return AddMesh(AddNode(parent, name, inherited), name, vertices);
}

inline KT::CPointer<KT::CMaterial> Standard(const KT::WString& name) {
  KT::CPointer<KT::CMaterial> material(new KT::CStandardMaterial());
  material->SetName(name);
  return material;
}

inline KT::CPointer<KT::CMaterial> Multi(const KT::WString& name, std::initializer_list<const char16_t*> subs) {
  KT::CPointer<KT::CMultiMaterial> material(new KT::CMultiMaterial());
  material->SetName(name);
  for (const char16_t* sub : subs) material->AddSubMaterial(Standard(sub).Get());
  return KT::CPointer<KT::CMaterial>(material.Get());
}

// Where the mesh export puts a mesh's material: first in level 0's objects.
inline void SetMaterial(KT::CTriMesh* mesh, KT::CMaterial* material) { EXPECT_EQ(mesh->AddLodObject(0, material), KT::kOk); }

// A named selection of `selected` vertices (the first ones) among `bits`.
inline KT::CMeshSelControl* AddSet(KT::CDorun* object, const KT::WString& name, KT::i32 selected, KT::i32 bits = 64) {
  KT::CPointer<KT::CMeshSelControl> set(new KT::CMeshSelControl());
  set->SetName(name);
  KT::CBitArray selection(bits);
  for (KT::i32 i = 0; i < selected; ++i) EXPECT_EQ(selection.SetBit(i, true), KT::kOk);
  EXPECT_EQ(set->SetXYZSelBit(selection), KT::kOk);
  EXPECT_EQ(object->AddControl(set.Get()), KT::kOk);
  return set.Get();
}

inline bool IsFaceRigName(const KT::WString& name) {
  return InRigTable(FacialBones, name) || InRigTable(FaceControlPoints, name) || InRigTable(FaceMeshNames, name);
}

// KT_Hips under `root` and below it every bone of the full body template
// with the facial rig under KT_Head, as the skeleton preparation leaves
// them: body bones with Inherited 448, the facial rig with 0. The face
// objects (eyes, teeth, tongue) carry their meshes and materials.
inline KT::CNode* AddRig(KT::CNode* root) {
  BoneHierarchyMap rig;
  BuildFullBodyHierarchy(rig);
  BuildHeadLinkHierarchy(rig);
  // The head link replaces the head's list; the head keeps its end bone.
  AddChildren(rig, u"KT_Head", {u"KT_HeadNub", u"Bone_Connect"});
  KT::CNode* hips = AddNode(root, u"KT_Hips");
  std::vector<KT::CNode*> open{hips};
  while (!open.empty()) {
    KT::CNode* node = open.back();
    open.pop_back();
    auto entry = rig.find(node->GetName());
    if (entry == rig.end()) continue;
    for (const KT::WString& child : entry->second) open.push_back(AddNode(node, child, IsFaceRigName(child) ? 0 : 448));
  }
  for (const char16_t* eye : {u"KT_L_Eye", u"KT_R_Eye"}) {
    auto* node = static_cast<KT::CNode*>(root->Find(eye, &KT::CNode::StaticClassRecord(), false, false));
    SetMaterial(AddMesh(node, eye), Multi(u"Eyes", {u"KT_Iris", u"KT_Lens"}).Get());
  }
  for (const char16_t* part : {u"KT_UpperTeeth", u"KT_DownTeeth", u"KT_Tongue"}) {
    auto* node = static_cast<KT::CNode*>(root->Find(part, &KT::CNode::StaticClassRecord(), false, false));
    SetMaterial(AddMesh(node, part), Standard(part).Get());
  }
  return hips;
}

// A whole converted character that passes every check in modes 1 and 2:
// the rig, the four body parts with their "KT_Skin" materials and connect
// sets, and the face with its multi-material, connect01 and a
// "Custom_Face" set.
struct Character {
  Character() {
    root->SetName(u"Avatar");
    AddRig(root.Get());
    const auto skin = Standard(u"KT_Skin");
    upper = AddPart(root.Get(), u"KT_Upper", 64);
    lower = AddPart(root.Get(), u"KT_Lower", 64);
    hands = AddPart(root.Get(), u"KT_Hands", 64);
    shoes = AddPart(root.Get(), u"KT_Shoes", 64);
    face = AddPart(root.Get(), u"KT_Face", 64);
    for (KT::CTriMesh* part : {upper, lower, hands, shoes}) SetMaterial(part, skin.Get());
    SetMaterial(face, Multi(u"Face", {u"KT_Skin", u"KT_Cavity"}).Get());
    AddSet(upper, u"connect01", 24);
    AddSet(upper, u"connect05", 12);
    AddSet(upper, u"connect06", 12);
    AddSet(upper, u"connect20", 28);
    AddSet(lower, u"connect03", 14);
    AddSet(lower, u"connect04", 14);
    AddSet(lower, u"connect20", 28);
    AddSet(hands, u"connect05", 12);
    AddSet(hands, u"connect06", 12);
    AddSet(shoes, u"connect03", 14);
    AddSet(shoes, u"connect04", 14);
    AddSet(face, u"connect01", 24);
    customFace = AddSet(face, u"Custom_Face", 40);
  }

  KT::CNode* Bone(const char16_t* name) const {
    return static_cast<KT::CNode*>(root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
  }
  // Takes the named node (with its subtree) out of its parent.
  void Remove(const char16_t* name) const {
    KT::CNode* node = Bone(name);
    ASSERT_NE(node, nullptr) << "no node to remove";
    ASSERT_EQ(static_cast<KT::CNode*>(node->GetParent())->RemoveChild(node), KT::kOk);
  }

  KT::CPointer<KT::CNode> root{new KT::CNode()};
  KT::CTriMesh* upper = nullptr;
  KT::CTriMesh* lower = nullptr;
  KT::CTriMesh* hands = nullptr;
  KT::CTriMesh* shoes = nullptr;
  KT::CTriMesh* face = nullptr;
  KT::CMeshSelControl* customFace = nullptr;
};

}  // namespace converted
