#include "exporter/validation/validation_report_text.h"

#include <gtest/gtest.h>

#include <string>

#include "exporter/plugin/dlg_valid.h"
#include "platform/ui/ui_script.h"

namespace {

const std::string kStop = "Found one or more critical errors. It will stop exporting.";

// What the Data Validation dialog showed, read while it runs.
struct Shown {
  bool shown = false;
  std::string critical;
  std::string warnings;
};

class ValidationReportText : public testing::Test {
 protected:
  void SetUp() override { UiScript::Current().Clear(); }
  void TearDown() override { UiScript::Current().Clear(); }

  // Runs BuildValidationReport with a user who reads both boxes and
  // presses "Close".
  bool Run(const ValidationReport& report, Shown& shown) {
    UiScript::Current()
        .Focus(CDlgValid::kCriticalErrors)
        .Call([&shown] {
          auto* dialog = static_cast<CDialog*>(CWnd::GetFocus()->GetParent());
          shown.shown = dialog->ResourceId() == CDlgValid::kResource;
          shown.critical = dialog->GetDlgItemText(CDlgValid::kCriticalErrors);
          shown.warnings = dialog->GetDlgItemText(CDlgValid::kWarnings);
        })
        .Click(IDOK);
    const bool stop = BuildValidationReport(report);
    if (!shown.shown) {
      EXPECT_FALSE(UiScript::Current().Empty()) << "no dialog should have taken the actions";
    }
    return stop;
  }
};

TEST_F(ValidationReportText, AnEmptyReportShowsNoDialogAndGoesOn) {
  Shown shown;
  EXPECT_FALSE(Run(ValidationReport(), shown));
  EXPECT_FALSE(shown.shown);
}

TEST_F(ValidationReportText, WarningsOnlyShowAnEmptyCriticalBoxAndGoOn) {
  ValidationReport report;
  report.missingSets = {{u"KT_Upper", u"connect05"}};
  Shown shown;
  EXPECT_FALSE(Run(report, shown));
  EXPECT_TRUE(shown.shown);
  EXPECT_EQ(shown.critical, "");
  EXPECT_EQ(shown.warnings, "\r\n\r\nMissing vetex named selection sets:\r\n\"connect05\" in \"KT_Upper\" object.");
  EXPECT_TRUE(UiScript::Current().Empty()) << "the dialog was closed";
}

TEST_F(ValidationReportText, OneMissingBoneStops) {
  ValidationReport report;
  report.bones = {{BoneIssue::kMissing, u"KT_L_Toe"}};
  Shown shown;
  EXPECT_TRUE(Run(report, shown));
  EXPECT_EQ(shown.critical, kStop + "\r\n\r\nInvalid character bones:\r\nMissing bone named \"KT_L_Toe\"");
  EXPECT_EQ(shown.warnings, "");
}

TEST_F(ValidationReportText, MaterialsLandInTheirBoxesEachWithItsBlankLine) {
  ValidationReport report;
  report.materials = {{u"KT_Hands", u"KT_Skin", false}, {u"KT_Face", u"KT_Cavity", true}};
  Shown shown;
  EXPECT_TRUE(Run(report, shown));
  EXPECT_EQ(shown.critical, kStop + "\r\n\r\nNeeds material named \"KT_Cavity\" for \"KT_Face\" object.");
  EXPECT_EQ(shown.warnings, "\r\n\r\nNeeds material named \"KT_Skin\" for \"KT_Hands\" object.");
}

TEST_F(ValidationReportText, AMaterialWarningAloneStillOpensTheCriticalMaterialSection) {
  ValidationReport report;
  report.materials = {{u"KT_Shoes", u"KT_Skin", false}};
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_EQ(texts.critical, "\r\n");
  EXPECT_EQ(texts.criticalCount, 0);
  EXPECT_EQ(texts.warnings, "\r\n\r\nNeeds material named \"KT_Skin\" for \"KT_Shoes\" object.");
  EXPECT_EQ(texts.warningCount, 1);
}

TEST_F(ValidationReportText, EverySectionInItsOrderWithItsMessages) {
  ValidationReport report;
  report.bodyParts = {{BodyPartIssue::kMissing, u"KT_Lower"}, {BodyPartIssue::kWrongName, u"KT_Hat"}};
  report.facialParts = {u"CP_03"};
  report.materials = {{u"KT_L_Eye", u"KT_Lens", true}, {u"KT_Upper", u"KT_Skin", false}};
  report.missingSets = {{u"KT_Hands", u"connect06"}};
  report.setCounts = {{u"KT_Shoes", u"connect04", 14}, {u"KT_Face", u"connect01", 24}};
  report.unmatchedSets = {{u"KT_Upper", u"KT_Lower", u"seam"}};
  report.bones = {{BoneIssue::kMustNotAppear, u"Ponytail"}, {BoneIssue::kMissing, u""}, {BoneIssue::kMissing, u"KT_R_Toe"}};
  report.inherited = {{448, u"KT_L_Calf"}, {0, u"CP_12"}};
  report.hierarchy = {{u"KT_L_Toe", u"KT_L_Foot"}};
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_EQ(texts.critical, kStop +
                                "\r\n\r\nInvalid character bones:"
                                "\r\n\"Ponytail\" should not appear."
                                "\r\nThere is no character bone."
                                "\r\nMissing bone named \"KT_R_Toe\""
                                "\r\n\r\nInvalid bone inherited flag:"
                                "\r\nThe Inherited flags of \"KT_L_Calf\" is not correct."
                                "\r\nThe Inherited flags of \"CP_12\" is not correct."
                                "\r\n\r\nInvalid bone hierarchy:"
                                "\r\n\"KT_L_Foot\" should have child bone \"KT_L_Toe\""
                                "\r\n\r\nMissing body parts or wrong naming:"
                                "\r\n\"KT_Lower\""
                                "\r\n\"KT_Hat\""
                                "\r\n\r\nMissing facial models or linkages:"
                                "\r\n\"CP_03\""
                                "\r\n"
                                "\r\nNeeds material named \"KT_Lens\" for \"KT_L_Eye\" object."
                                "\r\n\r\nVertex numbers in Named Selection Sets unmatched:"
                                "\r\n\"seam\" in \"KT_Upper\" object & \"seam\" in \"KT_Lower\" object");
  EXPECT_EQ(texts.criticalCount, 11);
  EXPECT_EQ(texts.warnings,
            "\r\n\r\nMissing vetex named selection sets:"
            "\r\n\"connect06\" in \"KT_Hands\" object."
            "\r\n\r\nIncorrect vertex numbers in Named Selection Sets:"
            "\r\n\"connect04\" in \"KT_Shoes\" object must contains 14 vertices."
            "\r\n\"connect01\" in \"KT_Face\" object must contains 24 vertices."
            "\r\n"
            "\r\nNeeds material named \"KT_Skin\" for \"KT_Upper\" object.");
  EXPECT_EQ(texts.warningCount, 4);
}

TEST_F(ValidationReportText, AVertexCountOfASetWithoutAFixedCountIsSkipped) {
  ValidationReport report;
  report.setCounts = {{u"KT_Upper", u"seam", 7}, {u"KT_Upper", u"connect20", 3}};
  ValidationTexts texts = FormatValidationReport(report);
  // The count is the fixed set's, whatever the entry says.
  EXPECT_EQ(texts.warnings,
            "\r\n\r\nIncorrect vertex numbers in Named Selection Sets:"
            "\r\n\"connect20\" in \"KT_Upper\" object must contains 28 vertices.");
  EXPECT_EQ(texts.warningCount, 1);

  report.setCounts = {{u"KT_Upper", u"seam", 7}};
  texts = FormatValidationReport(report);
  EXPECT_EQ(texts.warningCount, 0);
  Shown shown;
  EXPECT_FALSE(Run(report, shown));
  EXPECT_FALSE(shown.shown);
}

TEST_F(ValidationReportText, NamesAreTextNotFormats) {
  ValidationReport report;
  report.bones = {{BoneIssue::kMustNotAppear, u"%s%d%n"}, {BoneIssue::kMissing, u"Kn\u00f6chel \u4e00"}};
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_EQ(texts.critical, kStop +
                                "\r\n\r\nInvalid character bones:"
                                "\r\n\"%s%d%n\" should not appear."
                                "\r\nMissing bone named \"Kn\xf6" "chel ?\"");
}

}  // namespace
