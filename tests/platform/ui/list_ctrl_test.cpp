#include "platform/ui/list_ctrl.h"

#include <gtest/gtest.h>

namespace {

class ListCtrl : public ::testing::Test {
 protected:
  void SetUp() override {
    list.InsertColumn(0, "Name", LVCFMT_LEFT, 180);
    list.InsertColumn(1, "From", LVCFMT_LEFT, 45);
    list.InsertColumn(2, "To", LVCFMT_LEFT, 45);
    for (const char* name : {"Walk", "Run", "Jump"}) {
      const int at = list.InsertItem(list.GetItemCount(), name);
      list.SetItemText(at, 1, "1");
    }
  }
  CListCtrl list;
};

TEST_F(ListCtrl, KeepsRowsOfTextsAndAMarkThatFollowsItsRow) {
  EXPECT_EQ(list.GetItemCount(), 3);
  EXPECT_EQ(list.GetItemText(1, 0), "Run");
  EXPECT_EQ(list.GetItemText(1, 2), "");
  EXPECT_EQ(list.GetItemText(3, 0), "");  // no such row
  EXPECT_FALSE(list.SetItemText(0, 3, "x"));
  EXPECT_EQ(list.SetSelectionMark(2), -1);
  EXPECT_TRUE(list.DeleteItem(0));
  EXPECT_EQ(list.GetSelectionMark(), 1);  // moved up with "Jump"
  EXPECT_EQ(list.InsertItem(0, "Idle"), 0);
  EXPECT_EQ(list.GetSelectionMark(), 2);
  EXPECT_TRUE(list.DeleteItem(2));
  EXPECT_EQ(list.GetSelectionMark(), -1);  // its row went
  EXPECT_FALSE(list.DeleteItem(7));
  EXPECT_EQ(list.SetSelectionMark(9), -1);
  EXPECT_EQ(list.GetSelectionMark(), -1);
  EXPECT_EQ(list.InsertItem(-1, "x"), -1);
  EXPECT_TRUE(list.DeleteAllItems());
  EXPECT_EQ(list.GetItemCount(), 0);
}

TEST_F(ListCtrl, HitTestsAndRectanglesFollowTheHeaderRowsAndColumns) {
  struct Case {
    CPoint pt;
    int item, subItem;
  } cases[] = {
      {{0, 20}, 0, 0},    {{179, 35}, 0, 0}, {{180, 36}, 1, 1}, {{269, 67}, 2, 2},
      {{270, 40}, -1, -1},  // right of the last column
      {{10, 19}, -1, -1},   // the header
      {{10, 68}, -1, -1},   // below the last row
      {{-1, 30}, -1, -1},
  };
  for (const Case& c : cases) {
    LVHITTESTINFO hit;
    hit.pt = c.pt;
    EXPECT_EQ(list.SubItemHitTest(&hit), c.item) << c.pt.x << "," << c.pt.y;
    EXPECT_EQ(hit.iItem, c.item);
    EXPECT_EQ(hit.iSubItem, c.subItem);
  }
  CRect r;
  ASSERT_TRUE(list.GetItemRect(1, &r, LVIR_LABEL));
  EXPECT_EQ(r, (CRect{0, 36, 180, 52}));
  ASSERT_TRUE(list.GetItemRect(1, &r, LVIR_BOUNDS));
  EXPECT_EQ(r, (CRect{0, 36, 270, 52}));
  ASSERT_TRUE(list.GetSubItemRect(2, 2, LVIR_BOUNDS, r));
  EXPECT_EQ(r, (CRect{225, 52, 270, 68}));
  EXPECT_FALSE(list.GetSubItemRect(3, 0, LVIR_BOUNDS, r));
  // Scripted clicks land in the cell, or past the rows and columns.
  for (const auto& [item, sub] : {std::pair{0, 0}, std::pair{2, 1}, std::pair{5, 0}, std::pair{1, 4}, std::pair{-1, 0}}) {
    LVHITTESTINFO hit;
    hit.pt = list.CellPoint(item, sub);
    list.SubItemHitTest(&hit);
    const bool exists = item >= 0 && item < 3 && sub < 3;
    EXPECT_EQ(hit.iItem, exists ? item : -1);
    EXPECT_EQ(hit.iSubItem, exists ? sub : -1);
  }
}

TEST_F(ListCtrl, ColumnsInsertedLaterGiveEveryRowACell) {
  EXPECT_EQ(list.InsertColumn(1, "Mid", LVCFMT_LEFT, 10), 1);
  EXPECT_EQ(list.GetColumnHeading(1), "Mid");
  EXPECT_EQ(list.GetItemText(0, 2), "1");
  EXPECT_TRUE(list.SetItemText(0, 3, "end"));
  EXPECT_EQ(list.GetColumnWidth(9), 0);
  EXPECT_EQ(list.SetExtendedStyle(LVS_EX_GRIDLINES), 0u);
}

}  // namespace
