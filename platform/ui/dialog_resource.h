// Dialog resources as tables in code: a dialog's caption and size and its
// controls with their ids, kinds, labels and rectangles (dialog pixels).
#pragma once

#include <vector>

#include "platform/ui/ui_types.h"

enum class ControlKind { kStatic, kButton, kEdit, kSpin, kCombo, kList, kRadio, kCheck };

struct ControlResource {
  int id = 0;
  ControlKind kind = ControlKind::kStatic;
  const char* label = "";
  CRect rect;
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
