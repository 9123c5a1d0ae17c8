#include "platform/ui/dialog_resource.h"

namespace {

// Resource 105: "Optimization Options".
const DialogResource kOptimisation{
    105,
    "Optimization Options",
    200,
    130,
    {
        {-1, ControlKind::kStatic, "Sample Rate:", {10, 12, 70, 24}},
        {1057, ControlKind::kEdit, "", {75, 10, 115, 24}},
        {1055, ControlKind::kSpin, "", {115, 10, 127, 24}},
        {-1, ControlKind::kStatic, "Threshold:", {10, 36, 70, 48}},
        {-1, ControlKind::kStatic, "R", {10, 54, 20, 66}},
        {1058, ControlKind::kEdit, "", {22, 52, 62, 66}},
        {-1, ControlKind::kStatic, "T", {70, 54, 80, 66}},
        {1059, ControlKind::kEdit, "", {82, 52, 122, 66}},
        {-1, ControlKind::kStatic, "S", {130, 54, 140, 66}},
        {1060, ControlKind::kEdit, "", {142, 52, 182, 66}},
        {-1, ControlKind::kStatic, "P", {10, 78, 20, 90}},
        {1062, ControlKind::kEdit, "", {22, 76, 62, 90}},
        {IDOK, ControlKind::kButton, "OK", {70, 104, 130, 120}},
    }};

}  // namespace

const DialogResource* FindDialogResource(int id) {
  static const DialogResource* const kAll[] = {&kOptimisation};
  for (const DialogResource* r : kAll)
    if (r->id == id) return r;
  return nullptr;
}
