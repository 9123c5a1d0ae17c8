// The plain types and constants of the headless dialog toolkit: window
// handles, points, rectangles, dialog results, notification codes, keys and
// message-box flags.
#pragma once

#include "platform/host/max_types.h"

struct CPoint {
  int x = 0;
  int y = 0;
  bool operator==(const CPoint&) const = default;
};

struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CPoint TopLeft() const { return CPoint{left, top}; }
  bool PtInRect(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  void OffsetRect(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  bool operator==(const CRect&) const = default;
};

// What a resource control is; radio buttons that follow each other in a
// resource form one group.
enum class ControlKind { kStatic, kButton, kEdit, kSpin, kCombo, kList, kRadio, kCheck, kGroup };

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Notification codes that reach a dialog's OnCommand with the control's id.
inline constexpr int BN_CLICKED = 0;
inline constexpr int CBN_SELCHANGE = 1;
inline constexpr int CBN_DROPDOWN = 7;
inline constexpr int EN_SETFOCUS = 0x0100;
inline constexpr int EN_KILLFOCUS = 0x0200;
// Notification code that reaches a dialog's OnNotify.
inline constexpr int NM_DBLCLK = -3;

// Combo-box and list answers for "no such row".
inline constexpr int CB_ERR = -1;

// A key press as the modal loop offers it to PreTranslateMessage.
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned VK_RETURN = 0x0D;
inline constexpr unsigned VK_ESCAPE = 0x1B;

class CWnd;
struct MSG {
  CWnd* window = nullptr;  // the window with the focus
  unsigned message = 0;
  unsigned wParam = 0;
};

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONWARNING = 0x30;
