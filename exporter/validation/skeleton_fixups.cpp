#include "exporter/validation/skeleton_fixups.h"

#include <cmath>
#include <vector>

#include "controllers/core/bone_skin_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/validation/bone_hierarchy.h"
#include "exporter/validation/rig_names.h"
#include "objectmodel/affine_transform.h"
#include "objectmodel/collectors.h"
#include "scene/geometry_data.h"
#include "scene/tri_mesh.h"

namespace {

KT::CNode* FindBone(KT::CNode* root, const char16_t* name) {
  return static_cast<KT::CNode*>(root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
}

// The first controller of the object's chain of class T, or null.
template <typename T>
T* FindControl(const KT::CDorun& object) {
  KT::CDorun* first = object.GetFirstControl();
  if (first == nullptr) return nullptr;
  return KT::DynamicCast<T>(first->Find(nullptr, &T::StaticClassRecord(), false, false));
}

// Moves `node` from its parent to `newParent`; the node is held meanwhile.
void MoveTo(KT::CNode* node, KT::CNode* newParent) {
  const KT::CPointer<KT::CNode> hold(node);
  if (auto* parent = dynamic_cast<KT::CNode*>(node->GetParent())) parent->RemoveChild(node);
  newParent->AddChild(node);
}

// Steps 1 to 6 of FixupRigSkeleton.
void RebuildNeck(KT::CNode* root) {
  KT::CNode* t1 = FindBone(root, u"KT_NeckTwist01");
  KT::CNode* t2 = FindBone(root, u"KT_NeckTwist02");
  KT::CNode* head = FindBone(root, u"KT_Head");
  KT::CNode* neck = FindBone(root, u"KT_Neck");
  KT::CNode* spine = FindBone(root, u"KT_Spine02");
  if (t1 == nullptr || t2 == nullptr || head == nullptr || neck == nullptr || spine == nullptr) return;
  auto* parent = dynamic_cast<KT::CNode*>(t1->GetParent());
  // Moving T1 under a bone of its own subtree would cut it off the scene.
  if (parent == nullptr || spine->IsSelfOrAncestor(t1)) return;

  // 1. T1 takes its parent's place.
  t1->SetBasis(parent->GetBasis());
  t1->SetModified();
  KT::CKeyframeControl* t1Keys = FindControl<KT::CKeyframeControl>(*t1);
  const KT::CKeyframeControl* parentKeys = FindControl<KT::CKeyframeControl>(*parent);
  if (t1Keys != nullptr && parentKeys != nullptr) t1Keys->SetRtsKeys(parentKeys->GetRtsKeys());
  MoveTo(t1, spine);

  // 2. World transforms as they stand now.
  root->UpdateScene(0, 0, 0.0f, true, nullptr, false);

  // 3. The head under T2 (not when T2 hangs below the head).
  if (t2->IsSelfOrAncestor(head)) return;
  const KT::CMatrix4 headWorld = head->GetWorldMatrix();
  MoveTo(head, t2);

  // 4. The head keeps its world matrix.
  KT::CMatrix4 local = headWorld;
  KT::RemoveParent(local, t2, head->GetInherited());
  KT::AffineParts parts;
  KT::decomp_affine(local, parts);
  const KT::CRtsTransform basis(parts);
  head->SetBasis(basis);
  head->SetModified();
  if (KT::CKeyframeControl* headKeys = FindControl<KT::CKeyframeControl>(*head)) headKeys->SetRtsKeyValue(0, basis);

  // 5. The old neck leaves (not when the chain hangs below it).
  if (spine->IsSelfOrAncestor(neck)) return;
  if (auto* neckParent = dynamic_cast<KT::CNode*>(neck->GetParent())) neckParent->RemoveChild(neck);

  // 6. The twist bones take the neck's names.
  t1->SetName(u"KT_Neck");
  t1->SetModified();
  t2->SetName(u"KT_NeckTwist01");
  t2->SetModified();
}

// Step 7 of FixupRigSkeleton.
void TurnHairMesh(KT::CNode* root) {
  auto* hair = static_cast<KT::CTriMesh*>(root->Find(u"KT_HairMesh", &KT::CTriMesh::StaticClassRecord(), false, false));
  if (hair == nullptr) return;
  KT::CGeometryData* data = hair->GetLod(0);
  KT::CBoneSkinControl* skin = FindControl<KT::CBoneSkinControl>(*hair);
  if (data == nullptr || skin == nullptr) return;
  const double pi = 4.0 * std::atan(1.0);
  KT::CMatrix3 r;
  r.SetRotationAxisAngle({1.0f, 0.0f, 0.0f}, static_cast<float>(-pi / 2.0));
  for (KT::CVector3<float>& p : data->GetXYZ()) p = p.TransformByMatrix3(r);
  for (KT::u32 i = 0; i < skin->GetBoneXForm().size(); ++i) {
    KT::CMatrix4 bind = skin->GetBoneXForm()[i];
    bind.SetRotation3x3(bind.GetRotation3x3() * r);
    skin->SetBoneXForm(i, bind);
  }
  skin->SetModified();
}

}  // namespace

void FixupMotionSkeleton(CMaxDrn& context) {
  KT::CNode* root = context.root.Get();
  if (root == nullptr) return;
  root->SetName(u"KT_MotionRoot");
  // Counted, so that a node stays alive until the walk is over even when
  // a subtree holding it was detached before.
  std::vector<KT::CPointer<KT::CNode>> nodes;
  KT::CollectPointers(nodes, root, nullptr, true, false);
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    KT::CNode* node = it->Get();
    if (node->GetName() == u"KT_MotionRoot" || InRigTable(MotionSkeletonBones, node->GetName())) continue;
    if (auto* parent = dynamic_cast<KT::CNode*>(node->GetParent())) parent->RemoveChild(node);
  }
  BoneHierarchyMap map;
  BuildBasicBodyHierarchy(map);
  OrderChildrenByTemplate(root, map);
}

void FixupRigSkeleton(CMaxDrn& context) {
  KT::CNode* root = context.root.Get();
  if (root == nullptr) return;
  RebuildNeck(root);
  TurnHairMesh(root);
  BoneHierarchyMap map;
  BuildFullBodyHierarchy(map);
  BuildHeadLinkHierarchy(map);
  OrderChildrenByTemplate(root, map);
}
