// CWnd: a headless window: control id, kind, text, enabled, visible and
// checked states and a rectangle in its parent's client coordinates (a
// top-level window's in screen coordinates). One window of the process has
// the focus; moving it tells an edit that loses or gains it through
// EN_KILLFOCUS or EN_SETFOCUS to its dialog.
#pragma once

#include <string>

#include "platform/ui/ui_types.h"

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

class CWnd {
 public:
  CWnd() = default;
  // A window that has the focus gives it up silently when destroyed.
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  int GetDlgCtrlID() const { return id_; }
  void SetDlgCtrlID(int id) { id_ = id; }
  CWnd* GetParent() const { return parent_; }
  void SetParent(CWnd* parent) { parent_ = parent; }
  ControlKind Kind() const { return kind_; }
  void SetKind(ControlKind kind) { kind_ = kind; }
  // A child window lives in its parent's client area (controls and child
  // dialogs); a top-level window on the screen.
  bool IsChild() const { return child_; }
  void SetChild(bool child) { child_ = child; }
  // A handle for the calls that take one; the stand-in never looks inside.
  HWND GetSafeHwnd() const { return reinterpret_cast<HWND>(const_cast<CWnd*>(this)); }

  // Programmatic text: never cut (an edit's limit applies to typing only).
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
  // The rectangle in the parent's client coordinates (screen coordinates
  // for a top-level window).
  void GetWindowRect(CRect* rect) const { *rect = rect_; }
  // The client area: (0, 0) to the window's size (windows have no frame).
  void GetClientRect(CRect* rect) const { *rect = CRect{0, 0, rect_.Width(), rect_.Height()}; }
  // Centres the window: a child in its parent's client area, a top-level
  // window over its parent (or over a 1024 x 768 screen without one).
  void CenterWindow(CWnd* over = nullptr);

  // Gives this window the focus. The edit that had it is told with
  // EN_KILLFOCUS, then this one (when an edit) with EN_SETFOCUS; answers
  // the window that had it.
  CWnd* SetFocus();
  static CWnd* GetFocus();
  // A key on its way to the focus window, offered to that window and its
  // parents in turn; TRUE when consumed.
  virtual BOOL PreTranslateMessage(MSG* message);

 private:
  int id_ = 0;
  CWnd* parent_ = nullptr;
  ControlKind kind_ = ControlKind::kStatic;
  bool child_ = false;
  std::string text_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  CRect rect_;
};

class CEdit : public CWnd {
 public:
  // Typing keeps at most `chars` characters (0: no limit).
  void LimitText(int chars) { limit_ = chars < 0 ? 0 : chars; }
  int GetLimitText() const { return limit_; }
  // What the user types replaces the text, cut to the limit.
  void Type(const char* text);

 private:
  int limit_ = 0;
};
