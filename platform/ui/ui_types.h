// The plain types and constants of the headless dialog toolkit: window
// handles, rectangles, dialog results and message-box flags.
#pragma once

#include "platform/host/max_types.h"

struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const CRect&) const = default;
};

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONWARNING = 0x30;
