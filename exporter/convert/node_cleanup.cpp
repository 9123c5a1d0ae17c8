// The clean-up passes of the converted tree, the root's name and the
// conversion profile's matrices.

#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/max_drn.h"
#include "objectmodel/matrix4.h"
#include "platform/host/class_id.h"
#include "platform/host/control.h"
#include "platform/host/inode.h"

namespace {

bool HasSuperClass(INode* inode, SClass_ID superClass) {
  if (inode == nullptr) return false;
  const ObjectState state = inode->EvalWorldState(0, TRUE);
  return state.obj != nullptr && state.obj->SuperClassID() == superClass;
}

// Takes `node` (and its subtree) out of its parent node.
void Detach(KT::CNode* node) {
  if (node == nullptr) return;
  if (auto* parent = dynamic_cast<KT::CNode*>(node->GetParent())) parent->RemoveChild(node);
}

}  // namespace

const ProfileRecord* FindProfileRecord(const std::vector<ProfileRecord>& profile, const KT::WString& name) {
  for (const ProfileRecord& record : profile)
    if (record.RigBone == name) return &record;
  return nullptr;
}

void CMaxDrn::RemoveNodesOfSuperClass(SClass_ID superClass) {
  if (nodes.empty() || !root) return;
  for (INode* inode : nodes) {
    if (!HasSuperClass(inode, superClass)) continue;
    // The node is held while it leaves its parent.
    KT::CPointer<KT::CNode> node(FindConvertedNode(root.Get(), inode));
    Detach(node.Get());
  }
}

void CMaxDrn::MoveNodesOfSuperClassToRoot(SClass_ID superClass) {
  if (nodes.empty() || !root) return;
  for (INode* inode : nodes) {
    if (!HasSuperClass(inode, superClass)) continue;
    KT::CPointer<KT::CNode> node(FindConvertedNode(root.Get(), inode));
    if (!node || node->GetParent() == nullptr || node->GetParent() == root.Get()) continue;
    Detach(node.Get());
    root->AddChild(node.Get());
  }
}

void CMaxDrn::RemoveNodesOfClass() {
  if (nodes.empty() || !root) return;
  for (INode* inode : nodes) {
    if (inode == nullptr) continue;
    Control* tm = inode->GetTMController();
    if (tm == nullptr || !(tm->ClassID() == FOOTSTEP_CONTROL_CLASS_ID)) continue;
    KT::CPointer<KT::CNode> node(FindConvertedNode(root.Get(), inode));
    Detach(node.Get());
  }
}

void CMaxDrn::SetRootName(const KT::WString& name) {
  if (root) root->SetName(name);
}

void CMaxDrn::ApplyProfileMatrix(KT::CMatrix4& matrix, const KT::WString& name) const {
  const ProfileRecord* record = FindProfileRecord(profile, name);
  if (record == nullptr) return;
  KT::CMatrix4 product;
  KT::MatrixMultiply(product, record->Matrix, matrix);
  matrix = product;
}
