#include "platform/ui/wnd.h"

#include "platform/ui/dialog.h"

namespace {

CWnd* g_focus = nullptr;

// Tells the dialog of an edit that the edit gained or lost the focus.
void NotifyFocus(CWnd* window, int code) {
  if (window == nullptr || window->Kind() != ControlKind::kEdit) return;
  if (auto* dialog = dynamic_cast<CDialog*>(window->GetParent())) dialog->OnCommand(window->GetDlgCtrlID(), code);
}

}  // namespace

CWnd::~CWnd() {
  if (g_focus == this) g_focus = nullptr;
}

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
  if (on != nullptr) {
    if (child_)
      on->GetClientRect(&area);
    else
      on->GetWindowRect(&area);
  }
  const int w = rect_.Width();
  const int h = rect_.Height();
  const int left = area.left + (area.Width() - w) / 2;
  const int top = area.top + (area.Height() - h) / 2;
  rect_ = CRect{left, top, left + w, top + h};
}

CWnd* CWnd::SetFocus() {
  CWnd* previous = g_focus;
  if (previous == this) return previous;
  g_focus = this;
  NotifyFocus(previous, EN_KILLFOCUS);
  // A handler may have moved the focus again; only a window that still has
  // it hears that it gained it.
  if (g_focus == this) NotifyFocus(this, EN_SETFOCUS);
  return previous;
}

CWnd* CWnd::GetFocus() { return g_focus; }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

void CEdit::Type(const char* text) {
  std::string kept = text != nullptr ? text : "";
  if (limit_ > 0 && kept.size() > static_cast<std::size_t>(limit_)) kept.resize(static_cast<std::size_t>(limit_));
  SetWindowText(kept.c_str());
}
