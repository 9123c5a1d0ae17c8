// CMaxTreeEnumProc: collects the host nodes of an export while the host
// walks its scene tree (parents before children).
//
// Without selectedOnly every node is appended in the walk's order. With
// selectedOnly only selected nodes are appended, each with the ancestors
// it needs: the ancestors below the host root that are not collected yet
// go in as one block, top-most first, at the front of the list, or, when
// one of the node's ancestors is already collected, right behind the
// nearest such ancestor, so that no parent ever stands behind its child.
#pragma once

#include <vector>

#include "platform/host/scene_export.h"

class CMaxTreeEnumProc : public ITreeEnumProc {
 public:
  CMaxTreeEnumProc(std::vector<INode*>* nodes, bool selectedOnly) : nodes_(nodes), selectedOnly_(selectedOnly) {}
  // Always 0: the walk goes on.
  int callback(INode* node) override;

 private:
  std::vector<INode*>* nodes_;
  bool selectedOnly_;
};
