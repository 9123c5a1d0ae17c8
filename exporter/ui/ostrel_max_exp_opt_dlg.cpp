#include "exporter/ui/ostrel_max_exp_opt_dlg.h"

#include <cstdio>

#include "objectmodel/string_helpers.h"
#include "platform/ui/spin_button_ctrl.h"

COstrelMaxExpOptDlg::COstrelMaxExpOptDlg(CWnd* parent, int rate, float r, float t, float s, float p)
    : CDialog(kResource, parent), sampleRate(rate), thresholdR(r), thresholdT(t), thresholdS(s), thresholdP(p) {}

BOOL COstrelMaxExpOptDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CenterWindow();
  if (auto* spin = dynamic_cast<CSpinButtonCtrl*>(GetDlgItem(kSampleRateSpin))) {
    spin->SetBuddy(GetDlgItem(kSampleRateEdit));
    spin->SetRange32(1, 20);
    spin->SetPos32(sampleRate);
  }
  const float values[4] = {thresholdR, thresholdT, thresholdS, thresholdP};
  for (int i = 0; i < 4; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(values[i]));
    SetDlgItemText(kThresholdEdits[i], text);
  }
  return TRUE;
}

void COstrelMaxExpOptDlg::OnOK() {
  BOOL error = TRUE;
  int position = 0;
  if (const auto* spin = dynamic_cast<const CSpinButtonCtrl*>(GetDlgItem(kSampleRateSpin))) position = spin->GetPos32(&error);
  if (error) {
    sampleRate = 5;
    MessageBoxA(nullptr, "Failed to get the sample rate.\nSet sample rate to 5.", "Warning", MB_OK);
  } else {
    sampleRate = position;
  }
  float* fields[4] = {&thresholdR, &thresholdT, &thresholdS, &thresholdP};
  for (int i = 0; i < 4; ++i) *fields[i] = KT::StringToFloat(GetDlgItemText(kThresholdEdits[i]));
  EndDialog(IDOK);
}
