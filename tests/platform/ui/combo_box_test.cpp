#include "platform/ui/combo_box.h"

#include <gtest/gtest.h>

namespace {

TEST(ComboBox, RowsAndASelectionThatOnlyNamesARowThatExists) {
  CComboBox combo;
  EXPECT_EQ(combo.GetCurSel(), CB_ERR);
  EXPECT_EQ(combo.AddString("4096x4096"), 0);
  EXPECT_EQ(combo.AddString("2048x2048"), 1);
  EXPECT_EQ(combo.SetCurSel(1), 1);
  EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), "2048x2048");
  EXPECT_EQ(combo.SetCurSel(2), CB_ERR);  // past the end: no selection
  EXPECT_EQ(combo.GetCurSel(), CB_ERR);
  EXPECT_EQ(combo.GetLBText(-1), "");
  combo.SetCurSel(0);
  combo.ResetContent();
  EXPECT_EQ(combo.GetCount(), 0);
  EXPECT_EQ(combo.GetCurSel(), CB_ERR);
}

}  // namespace
