// CDlgValid: the "Data Validation" dialog (resource 112) that lists the
// critical errors and the warnings of the rig checks. The caller sets the
// two texts before DoModal; the dialog puts them into its two read-only
// edits when it opens.
#pragma once

#include <string>

#include "platform/ui/dialog.h"

class CDlgValid : public CDialog {
 public:
  static constexpr int kResource = 112;
  static constexpr int kCriticalErrors = 1077;
  static constexpr int kWarnings = 1074;

  explicit CDlgValid(CWnd* parent = nullptr) : CDialog(kResource, parent) {}

  BOOL OnInitDialog() override;

  std::string criticalErrors;
  std::string warnings;
};
