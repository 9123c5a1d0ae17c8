// The host's picking interfaces: a pick mode that the viewports run while
// the user clicks nodes, and the node filter it answers.
#pragma once

#include "platform/host/max_types.h"

class INode;
class IObjParam;
class ViewExp;

// Decides which nodes a pick may hit.
class PickNodeCallback {
 public:
  virtual ~PickNodeCallback() = default;
  virtual BOOL Filter(INode* node) = 0;
};

class PickModeCallback {
 public:
  virtual ~PickModeCallback() = default;
  // A node was picked: TRUE ends the pick mode.
  virtual BOOL Pick(IObjParam* ip, ViewExp* vpt) = 0;
  // A right click: TRUE ends the pick mode.
  virtual BOOL RightClick(IObjParam*, ViewExp*) { return FALSE; }
  // The filter of the nodes that can be hit; null: every node.
  virtual PickNodeCallback* GetFilter() { return nullptr; }
};
