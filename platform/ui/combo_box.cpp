#include "platform/ui/combo_box.h"

void CComboBox::ResetContent() {
  rows_.clear();
  selected_ = CB_ERR;
}

int CComboBox::AddString(const char* text) {
  rows_.emplace_back(text != nullptr ? text : "");
  return static_cast<int>(rows_.size()) - 1;
}

int CComboBox::SetCurSel(int row) {
  selected_ = row >= 0 && row < GetCount() ? row : CB_ERR;
  return selected_;
}

std::string CComboBox::GetLBText(int row) const {
  return row >= 0 && row < GetCount() ? rows_[static_cast<std::size_t>(row)] : std::string();
}
