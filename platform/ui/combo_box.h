// CComboBox: a drop-down list of text rows with one selected row (or none).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/wnd.h"

class CComboBox : public CWnd {
 public:
  void ResetContent();
  // Appends a row; answers its index.
  int AddString(const char* text);
  int GetCount() const { return static_cast<int>(rows_.size()); }
  // The selected row, or CB_ERR.
  int GetCurSel() const { return selected_; }
  // Selects a row; -1 or a row past the end clears the selection and
  // answers CB_ERR.
  int SetCurSel(int row);
  // The text of a row; empty for no such row.
  std::string GetLBText(int row) const;

 private:
  std::vector<std::string> rows_;
  int selected_ = CB_ERR;
};
