// Dialog resources as tables in code: a dialog's caption and size and its
// controls with their ids, kinds, labels and rectangles (pixels of the
// dialog's client area). Resources 103 (the export panel), 104 (the export
// option and clip-list dialog), 105 (the optimisation options) and 112 (the
// Data Validation report).
#pragma once

#include <vector>

#include "platform/ui/ui_types.h"

struct ControlResource {
  int id = 0;
  ControlKind kind = ControlKind::kStatic;
  const char* label = "";
  CRect rect;
  bool visible = true;  // hidden controls are shown by their dialog's code
};

struct DialogResource {
  int id = 0;
  const char* caption = "";
  int width = 0;
  int height = 0;
  std::vector<ControlResource> controls;
};

// The resource with that id, or null.
const DialogResource* FindDialogResource(int id);
