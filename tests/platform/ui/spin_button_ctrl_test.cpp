#include "platform/ui/spin_button_ctrl.h"

#include <gtest/gtest.h>

namespace {

TEST(SpinButtonCtrl, ShowsItsPositionInTheBuddyAndReadsItBack) {
  CEdit buddy;
  CSpinButtonCtrl spin;
  spin.SetBuddy(&buddy);
  spin.SetRange32(1, 20);
  spin.SetPos32(7);
  EXPECT_EQ(buddy.GetWindowText(), "7");
  BOOL error = TRUE;
  EXPECT_EQ(spin.GetPos32(&error), 7);
  EXPECT_FALSE(error);
  spin.SetPos32(40);  // clamped
  EXPECT_EQ(buddy.GetWindowText(), "20");
}

TEST(SpinButtonCtrl, ReportsAnErrorForTextThatIsNoWholeNumberInRange) {
  CEdit buddy;
  CSpinButtonCtrl spin;
  spin.SetBuddy(&buddy);
  spin.SetRange32(1, 20);
  spin.SetPos32(4);
  for (const char* text : {"21", "0", "4.5", "x", "", "-3", " 4"}) {
    buddy.SetWindowText(text);
    BOOL error = FALSE;
    EXPECT_EQ(spin.GetPos32(&error), 4) << text;
    EXPECT_TRUE(error) << text;
  }
}

TEST(Edit, TypingKeepsAtMostItsLimitButTheProgramSetsAnyText) {
  CEdit edit;
  edit.LimitText(3);
  edit.Type("abcdef");
  EXPECT_EQ(edit.GetWindowText(), "abc");
  edit.SetWindowText("abcdef");
  EXPECT_EQ(edit.GetWindowText(), "abcdef");
}

}  // namespace
