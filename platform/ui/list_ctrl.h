// CListCtrl: a list control in report view: columns with headings and
// widths, rows of texts (the item and its sub-items), a selection mark, and
// the geometry that hit tests and in-place editors need.
//
// Geometry, in the control's client coordinates: a header of kHeaderHeight
// pixels, then rows of kRowHeight pixels each; columns side by side from
// x = 0 in their order, each as wide as its width. The list never scrolls.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/wnd.h"

inline constexpr int LVCFMT_LEFT = 0;
inline constexpr DWORD LVS_EX_GRIDLINES = 0x1;
inline constexpr DWORD LVS_EX_FULLROWSELECT = 0x20;
inline constexpr unsigned LVIR_BOUNDS = 0;
inline constexpr unsigned LVIR_LABEL = 2;

struct LVHITTESTINFO {
  CPoint pt;
  int iItem = -1;     // the row hit, or -1
  int iSubItem = -1;  // the column hit, or -1
};

// What a double-click on the list tells its dialog.
struct NMITEMACTIVATE {
  int idFrom = 0;
  int code = 0;
  int iItem = -1;
  int iSubItem = -1;
  CPoint ptAction;  // in the list's client coordinates
};

class CListCtrl : public CWnd {
 public:
  static constexpr int kHeaderHeight = 20;
  static constexpr int kRowHeight = 16;

  // Inserts a column before `index` (appends past the end); answers its
  // index. Rows gain an empty sub-item there.
  int InsertColumn(int index, const char* heading, int format = LVCFMT_LEFT, int width = 60);
  int GetColumnCount() const { return static_cast<int>(columns_.size()); }
  // Heading and width of a column; empty and 0 for no such column.
  std::string GetColumnHeading(int column) const;
  int GetColumnWidth(int column) const;
  // Answers the previous style.
  DWORD SetExtendedStyle(DWORD style);
  DWORD GetExtendedStyle() const { return style_; }

  // Inserts a row before `index` (appends past the end) with the item text
  // and empty sub-items; answers its index (-1 for a negative index).
  int InsertItem(int index, const char* text);
  int GetItemCount() const { return static_cast<int>(rows_.size()); }
  // FALSE for no such row or column.
  BOOL SetItemText(int item, int subItem, const char* text);
  // Empty for no such row or column.
  std::string GetItemText(int item, int subItem) const;
  // FALSE for no such row. A selection mark on the row is cleared; one
  // below it moves up with its row.
  BOOL DeleteItem(int item);
  BOOL DeleteAllItems();
  // The selection mark: the row selected last, or -1.
  int GetSelectionMark() const { return mark_; }
  // Answers the previous mark; a row that does not exist clears it.
  int SetSelectionMark(int item);

  // The row and column under info->pt; answers the row (-1 when no row or
  // no column is hit, with both fields -1).
  int SubItemHitTest(LVHITTESTINFO* info) const;
  // LVIR_BOUNDS: the whole row; LVIR_LABEL: the row's first column.
  BOOL GetItemRect(int item, CRect* rect, unsigned code) const;
  // The cell of a column (sub-item 0 with LVIR_BOUNDS is the whole row,
  // as with GetItemRect).
  BOOL GetSubItemRect(int item, int subItem, unsigned code, CRect& rect) const;
  // Where a scripted click on a cell lands: the centre of the cell, or,
  // for a row or column that does not exist, a point past the last one.
  CPoint CellPoint(int item, int subItem) const;

 private:
  struct Column {
    std::string heading;
    int width = 0;
  };
  int ColumnLeft(int column) const;
  int RowsWidth() const;
  bool ValidCell(int item, int subItem) const;
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
  DWORD style_ = 0;
  int mark_ = -1;
};
