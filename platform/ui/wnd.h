// CWnd: a headless window: control id, text, enabled, visible and checked
// states and a rectangle in its parent's client coordinates.
#pragma once

#include <string>

#include "platform/ui/ui_types.h"

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  int GetDlgCtrlID() const { return id_; }
  void SetDlgCtrlID(int id) { id_ = id; }
  CWnd* GetParent() const { return parent_; }
  void SetParent(CWnd* parent) { parent_ = parent; }

  virtual void SetWindowText(const char* text) { text_ = text != nullptr ? text : ""; }
  const std::string& GetWindowText() const { return text_; }

  // Answers whether the window was disabled before.
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const { return enabled_ ? TRUE : FALSE; }
  // Answers whether the window was visible before.
  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const { return visible_ ? TRUE : FALSE; }
  int GetCheck() const { return checked_ ? 1 : 0; }
  void SetCheck(int check) { checked_ = check != 0; }

  void MoveWindow(const CRect& rect) { rect_ = rect; }
  // The rectangle in the parent's client coordinates.
  void GetWindowRect(CRect* rect) const { *rect = rect_; }
  // The client area: (0, 0) to the window's size.
  void GetClientRect(CRect* rect) const { *rect = CRect{0, 0, rect_.Width(), rect_.Height()}; }
  // Centres the window on its parent (or on a 1024 x 768 screen without one).
  void CenterWindow(CWnd* over = nullptr);

 private:
  int id_ = 0;
  CWnd* parent_ = nullptr;
  std::string text_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  CRect rect_;
};

class CEdit : public CWnd {
 public:
  // At most `chars` characters are kept (0: no limit).
  void LimitText(int chars) { limit_ = chars < 0 ? 0 : chars; }
  void SetWindowText(const char* text) override;

 private:
  int limit_ = 0;
};
