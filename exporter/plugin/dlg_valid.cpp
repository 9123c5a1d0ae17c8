#include "exporter/plugin/dlg_valid.h"

BOOL CDlgValid::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(kCriticalErrors, criticalErrors.c_str());
  SetDlgItemText(kWarnings, warnings.c_str());
  return TRUE;
}
