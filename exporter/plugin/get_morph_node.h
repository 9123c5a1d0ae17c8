// GetMorphNode: the pick mode of the morph export, which lets the user pick
// morph target nodes in the viewports; a right click ends the picking.
#pragma once

#include "platform/host/pick_callbacks.h"

class GetMorphNode : public PickModeCallback, public PickNodeCallback {
 public:
  // Every node can be picked; a pick leaves the mode running.
  BOOL Filter(INode* node) override { return node != nullptr ? TRUE : FALSE; }
  BOOL Pick(IObjParam*, ViewExp*) override { return FALSE; }
  // Any right click ends the picking.
  BOOL RightClick(IObjParam*, ViewExp*) override { return TRUE; }
  // The object's own node filter.
  PickNodeCallback* GetFilter() override { return this; }
};
