#include "platform/ui/spin_button_ctrl.h"

#include <algorithm>
#include <charconv>
#include <string>

void CSpinButtonCtrl::SetPos32(int position) {
  position_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
  if (buddy_ != nullptr) buddy_->SetWindowText(std::to_string(position_).c_str());
}

int CSpinButtonCtrl::GetPos32(BOOL* error) const {
  if (error != nullptr) *error = FALSE;
  if (buddy_ == nullptr) return position_;
  const std::string& text = buddy_->GetWindowText();
  int value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  const bool whole = !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
  if (!whole || value < std::min(lower_, upper_) || value > std::max(lower_, upper_)) {
    if (error != nullptr) *error = TRUE;
    return position_;
  }
  return value;
}
