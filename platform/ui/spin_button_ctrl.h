// CSpinButtonCtrl: an up-down control with a buddy edit that shows its
// position.
#pragma once

#include "platform/ui/wnd.h"

class CSpinButtonCtrl : public CWnd {
 public:
  void SetBuddy(CWnd* buddy) { buddy_ = buddy; }
  CWnd* GetBuddy() const { return buddy_; }
  void SetRange32(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
  }
  // Sets the position, clamped to the range, and shows it in the buddy.
  void SetPos32(int position);
  // The position as the buddy's text gives it. *error (when given) is set
  // when that text is not a whole number inside the range; the answer is
  // then the last position set.
  int GetPos32(BOOL* error = nullptr) const;

 private:
  CWnd* buddy_ = nullptr;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
};
