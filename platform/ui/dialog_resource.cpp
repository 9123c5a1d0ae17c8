#include "platform/ui/dialog_resource.h"

namespace {

using K = ControlKind;

// Resource 103: the export panel, "Quenstrale Ostrel Panel". Its right-hand
// side stays free of controls: the option dialog docks there.
const DialogResource kPanel{
    103,
    "Quenstrale Ostrel Panel",
    360,
    472,
    {
        {-1, K::kGroup, "Export Content", {10, 5, 350, 128}},
        {-1, K::kStatic, "File Type:", {20, 25, 90, 39}},
        {1047, K::kCombo, "", {95, 22, 340, 40}},
        {-1, K::kStatic, "File Name:", {20, 50, 90, 64}},
        {1042, K::kEdit, "", {95, 48, 340, 66}},
        {-1, K::kStatic, "Export To:", {20, 76, 90, 90}},
        {1045, K::kEdit, "", {95, 74, 280, 92}},
        {1046, K::kButton, "Browse", {285, 73, 340, 93}},
        {1062, K::kCheck, "", {20, 102, 34, 116}},
        {1055, K::kButton, "Optimize", {38, 100, 120, 120}},
        {1068, K::kCheck, "Biped", {140, 102, 210, 116}},
        {1069, K::kCheck, "Hand Only", {220, 102, 320, 116}},
        {-1, K::kGroup, "Information", {10, 133, 350, 310}},
        {-1, K::kStatic,
         "Please ensure the accuracy of your information, as it will be published with your creative work in the "
         "Ostrel content. If you do not wish to list certain info, please leave the field blank.",
         {20, 150, 340, 210}},
        {-1, K::kStatic, "Author", {20, 220, 90, 234}},
        {1005, K::kEdit, "", {95, 218, 340, 236}},
        {-1, K::kStatic, "Company", {20, 242, 90, 256}},
        {1006, K::kEdit, "", {95, 240, 340, 258}},
        {-1, K::kStatic, "E-mail", {20, 264, 90, 278}},
        {1017, K::kEdit, "", {95, 262, 340, 280}},
        {-1, K::kStatic, "Home Page", {20, 286, 90, 300}},
        {1008, K::kEdit, "", {95, 284, 340, 302}},
        {-1, K::kGroup, "Thumbnail", {10, 315, 350, 380}},
        {1009, K::kRadio, "Auto Generate", {20, 332, 160, 346}},
        {1010, K::kRadio, "Assign Thumbnail Image", {170, 332, 340, 346}},
        {1012, K::kEdit, "", {20, 352, 280, 370}},
        {1013, K::kButton, "Open", {285, 351, 340, 371}},
        {-1, K::kGroup, "Texture Size", {10, 385, 350, 430}},
        {1021, K::kRadio, "No Limit", {20, 402, 100, 416}},
        {1022, K::kRadio, "Maximum Texture Size", {105, 402, 245, 416}},
        {1020, K::kCombo, "", {250, 400, 340, 418}},
        {IDOK, K::kButton, "&OK", {190, 440, 260, 462}},
        {IDCANCEL, K::kButton, "&Cancel", {270, 440, 340, 462}},
    }};

// Resource 104: the export option and clip-list dialog, docked beside the
// panel; the two in-place editors start hidden.
const DialogResource kClipOptions{
    104,
    "",
    310,
    472,
    {
        {-1, K::kGroup, "File Type Specific Option", {5, 5, 305, 465}},
        {-1, K::kGroup, "Export Option", {15, 22, 295, 105}},
        {1048, K::kRadio, "All", {25, 40, 200, 54}},
        {1049, K::kRadio, "Geometry Only", {25, 60, 200, 74}},
        {1050, K::kRadio, "Animation Only", {25, 80, 200, 94}},
        {-1, K::kGroup, "Animation Clips", {15, 112, 295, 455}},
        {1029, K::kList, "", {20, 130, 294, 400}},
        {1030, K::kButton, "New", {20, 410, 80, 430}},
        {1032, K::kButton, "Remove", {85, 410, 145, 430}},
        {1051, K::kButton, "Save", {150, 410, 210, 430}},
        {1052, K::kButton, "Load", {215, 410, 275, 430}},
        {1071, K::kEdit, "", {20, 130, 120, 146}, false},
        {1072, K::kEdit, "", {20, 130, 60, 146}, false},
    }};

// Resource 105: "Optimization Options".
const DialogResource kOptimisation{
    105,
    "Optimization Options",
    200,
    130,
    {
        {-1, K::kStatic, "Sample Rate:", {10, 12, 70, 24}},
        {1057, K::kEdit, "", {75, 10, 115, 24}},
        {1055, K::kSpin, "", {115, 10, 127, 24}},
        {-1, K::kStatic, "Threshold:", {10, 36, 70, 48}},
        {-1, K::kStatic, "R", {10, 54, 20, 66}},
        {1058, K::kEdit, "", {22, 52, 62, 66}},
        {-1, K::kStatic, "T", {70, 54, 80, 66}},
        {1059, K::kEdit, "", {82, 52, 122, 66}},
        {-1, K::kStatic, "S", {130, 54, 140, 66}},
        {1060, K::kEdit, "", {142, 52, 182, 66}},
        {-1, K::kStatic, "P", {10, 78, 20, 90}},
        {1062, K::kEdit, "", {22, 76, 62, 90}},
        {IDOK, K::kButton, "OK", {70, 104, 130, 120}},
    }};

// Resource 112: "Data Validation", two read-only texts and a Close button.
const DialogResource kDataValidation{
    112,
    "Data Validation",
    420,
    360,
    {
        {-1, K::kStatic, "Critical Errors:", {10, 10, 200, 24}},
        {1077, K::kEdit, "", {10, 26, 410, 170}},
        {-1, K::kStatic, "Warnings:", {10, 178, 200, 192}},
        {1074, K::kEdit, "", {10, 194, 410, 320}},
        {IDOK, K::kButton, "Close", {340, 328, 410, 350}},
    }};

}  // namespace

const DialogResource* FindDialogResource(int id) {
  static const DialogResource* const kAll[] = {&kPanel, &kClipOptions, &kOptimisation, &kDataValidation};
  for (const DialogResource* r : kAll)
    if (r->id == id) return r;
  return nullptr;
}
