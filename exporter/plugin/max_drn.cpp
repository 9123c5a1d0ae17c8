#include "exporter/plugin/max_drn.h"

#include <algorithm>

#include "exporter/plugin/max_tree_enum_proc.h"
#include "library/register_library_classes.h"
#include "render/images/image_factory.h"

namespace {

DWORD NoProgressCallback(LPVOID) { return 0; }

// Takes the first node of exactly class KT::CNode named `name` under `root`
// (the root included) out of its parent; null when there is none.
KT::CPointer<KT::CNode> TakeNode(KT::CNode* root, const char16_t* name) {
  if (root == nullptr) return nullptr;
  KT::CPointer<KT::CNode> node(
      static_cast<KT::CNode*>(root->Find(name, &KT::CNode::StaticClassRecord(), false, false)));
  if (node && node->GetParent() != nullptr) {
    if (auto* parent = dynamic_cast<KT::CNode*>(node->GetParent())) parent->RemoveChild(node.Get());
  }
  return node;
}

}  // namespace

CMaxDrn::CMaxDrn(IScene* hostScene, Interface* hostInterface, bool onlySelected)
    : scene(hostScene), ip(hostInterface), selectedOnly(onlySelected) {
  CMaxTreeEnumProc collect(&nodes, selectedOnly);
  if (scene != nullptr) scene->EnumTree(&collect);
  KT::ImageFactory::RegisterImageClasses();
  KT::RegisterLibraryClasses();
}

CMaxDrn::~CMaxDrn() {
  // The converted scene may hold the cached materials and images: it goes
  // first, the caches after it.
  root.Release();
  thumbnail.Release();
  materialCache.clear();
  textureCache.clear();
  clips.clear();
  uvChannels.clear();
  profile.clear();
  nodes.clear();
}

void CMaxDrn::StartProgress(const char* title) {
  progress = 0;
  if (ip != nullptr) ip->ProgressStart(title, TRUE, &NoProgressCallback, nullptr);
}

void CMaxDrn::StepProgress(int amount, const char* message) {
  progress = static_cast<int>(std::min<long long>(static_cast<long long>(progress) + amount, 100));
  if (ip != nullptr) ip->ProgressUpdate(progress, FALSE, message);
}

void CMaxDrn::EndProgress() {
  if (ip != nullptr) ip->ProgressEnd();
}

void CMaxDrn::BuildGestureRoot() {
  KT::CPointer<KT::CNode> right = TakeNode(root.Get(), u"RHand");
  KT::CPointer<KT::CNode> left = TakeNode(root.Get(), u"LHand");
  KT::CPointer<KT::CNode> gesture;
  if (KT::Failed(KT::CNode::Create(gesture))) return;
  root = gesture;
  root->SetName(u"GestureRoot");
  if (right) root->AddChild(right.Get());
  if (left) root->AddChild(left.Get());
}
