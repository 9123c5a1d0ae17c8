#include "exporter/plugin/max_tree_enum_proc.h"

#include <algorithm>

#include "platform/host/inode.h"

int CMaxTreeEnumProc::callback(INode* node) {
  if (nodes_ == nullptr || node == nullptr) return 0;
  if (selectedOnly_ && !node->Selected()) return 0;
  std::vector<INode*>& nodes = *nodes_;
  nodes.push_back(node);
  if (!selectedOnly_) return 0;

  // The missing ancestors, top-most first, and where they go: at the front,
  // unless an ancestor is already listed; then behind the nearest one (a
  // block at the front would put those nodes ahead of their own parent).
  std::vector<INode*> missing;
  auto insertAt = nodes.begin();
  for (INode* parent = node->GetParentNode(); parent != nullptr && !parent->IsRootNode();
       parent = parent->GetParentNode()) {
    auto found = std::find(nodes.begin(), nodes.end(), parent);
    if (found == nodes.end()) {
      missing.insert(missing.begin(), parent);
      continue;
    }
    insertAt = found + 1;
    break;
  }
  if (!missing.empty()) nodes.insert(insertAt, missing.begin(), missing.end());
  return 0;
}
