#include "platform/ui/wnd.h"

BOOL CWnd::EnableWindow(BOOL enable) {
  const BOOL wasDisabled = enabled_ ? FALSE : TRUE;
  enabled_ = enable != FALSE;
  return wasDisabled;
}

BOOL CWnd::ShowWindow(int command) {
  const BOOL wasVisible = visible_ ? TRUE : FALSE;
  visible_ = command != SW_HIDE;
  return wasVisible;
}

void CWnd::CenterWindow(CWnd* over) {
  CWnd* on = over != nullptr ? over : parent_;
  CRect area{0, 0, 1024, 768};
  if (on != nullptr) on->GetWindowRect(&area);
  const int w = rect_.Width();
  const int h = rect_.Height();
  const int left = area.left + (area.Width() - w) / 2;
  const int top = area.top + (area.Height() - h) / 2;
  rect_ = CRect{left, top, left + w, top + h};
}

void CEdit::SetWindowText(const char* text) {
  std::string kept = text != nullptr ? text : "";
  if (limit_ > 0 && kept.size() > static_cast<std::size_t>(limit_)) kept.resize(static_cast<std::size_t>(limit_));
  CWnd::SetWindowText(kept.c_str());
}
