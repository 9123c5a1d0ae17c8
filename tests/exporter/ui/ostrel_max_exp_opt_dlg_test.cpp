#include "exporter/ui/ostrel_max_exp_opt_dlg.h"

#include <gtest/gtest.h>

namespace {

class OptimisationDialog : public ::testing::Test {
 protected:
  void SetUp() override { UiScript::Current().Clear(); }
  void TearDown() override { UiScript::Current().Clear(); }
};

TEST_F(OptimisationDialog, OpensWithTheValuesAndTakesTheEditsAtOk) {
  COstrelMaxExpOptDlg dlg(nullptr, 3, 0.5f, 0.25f, 1.0f, 0.1234f);
  UiScript::Current().SetText(1057, "12").SetText(1058, "0.75").SetText(1062, "2.5e-1x").Click(IDOK);
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetWindowText(), "Optimization Options");
  EXPECT_EQ(dlg.sampleRate, 12);
  EXPECT_FLOAT_EQ(dlg.thresholdR, 0.75f);
  EXPECT_FLOAT_EQ(dlg.thresholdT, 0.25f);
  EXPECT_FLOAT_EQ(dlg.thresholdS, 1.0f);
  EXPECT_FLOAT_EQ(dlg.thresholdP, 0.25f);  // the leading number
  EXPECT_TRUE(UiScript::Current().Messages().empty());
}

TEST_F(OptimisationDialog, ShowsThresholdsWithThreeDecimalsAndKeepsWhatIsEnteredInFull) {
  COstrelMaxExpOptDlg dlg(nullptr, 1, 0.1234f, 0, 0, 0);
  UiScript::Current().Click(IDOK);
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_FLOAT_EQ(dlg.thresholdR, 0.123f);  // what the edit showed
  COstrelMaxExpOptDlg typed(nullptr, 1, 0, 0, 0, 0);
  UiScript::Current().SetText(1059, "0.12345").Click(IDOK);
  ASSERT_EQ(typed.DoModal(), IDOK);
  EXPECT_FLOAT_EQ(typed.thresholdT, 0.12345f);
}

TEST_F(OptimisationDialog, ASampleRateOutsideTheRangeBecomesFiveWithAWarning) {
  const char* typed[] = {"25", "0", "abc", ""};
  for (const char* text : typed) {
    UiScript::Current().Clear();
    COstrelMaxExpOptDlg dlg(nullptr, 3, 0, 0, 0, 0);
    UiScript::Current().SetText(1057, text).SetText(1060, "abc").Click(IDOK);
    ASSERT_EQ(dlg.DoModal(), IDOK) << text;
    EXPECT_EQ(dlg.sampleRate, 5) << text;
    EXPECT_FLOAT_EQ(dlg.thresholdS, 0.0f);
    ASSERT_EQ(UiScript::Current().Messages().size(), 1u) << text;
    EXPECT_EQ(UiScript::Current().Messages()[0].text, "Failed to get the sample rate.\nSet sample rate to 5.");
    EXPECT_EQ(UiScript::Current().Messages()[0].caption, "Warning");
    EXPECT_EQ(UiScript::Current().Messages()[0].type, MB_OK);
  }
}

TEST_F(OptimisationDialog, ClosingAnyOtherWayCancelsAndKeepsTheValues) {
  COstrelMaxExpOptDlg escaped(nullptr, 3, 0.5f, 0, 0, 0);
  UiScript::Current().SetText(1057, "9").Escape();
  EXPECT_EQ(escaped.DoModal(), IDCANCEL);
  EXPECT_EQ(escaped.sampleRate, 3);
  COstrelMaxExpOptDlg ranOut(nullptr, 3, 0.5f, 0, 0, 0);
  UiScript::Current().SetText(1058, "7");
  EXPECT_EQ(ranOut.DoModal(), IDCANCEL);
  EXPECT_FLOAT_EQ(ranOut.thresholdR, 0.5f);
}

TEST_F(OptimisationDialog, IsCentredOnItsParent) {
  CWnd parent;
  parent.MoveWindow(CRect{100, 100, 500, 400});
  COstrelMaxExpOptDlg dlg(&parent, 1, 0, 0, 0, 0);
  dlg.DoModal();
  CRect r;
  dlg.GetWindowRect(&r);
  EXPECT_EQ(r, (CRect{200, 185, 400, 315}));
}

}  // namespace
