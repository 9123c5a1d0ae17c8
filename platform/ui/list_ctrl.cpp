#include "platform/ui/list_ctrl.h"

#include <algorithm>

int CListCtrl::InsertColumn(int index, const char* heading, int, int width) {
  const int at = std::clamp(index, 0, GetColumnCount());
  columns_.insert(columns_.begin() + at, Column{heading != nullptr ? heading : "", std::max(width, 0)});
  for (auto& row : rows_) row.insert(row.begin() + at, std::string());
  return at;
}

std::string CListCtrl::GetColumnHeading(int column) const {
  return column >= 0 && column < GetColumnCount() ? columns_[static_cast<std::size_t>(column)].heading : std::string();
}

int CListCtrl::GetColumnWidth(int column) const {
  return column >= 0 && column < GetColumnCount() ? columns_[static_cast<std::size_t>(column)].width : 0;
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
  const DWORD previous = style_;
  style_ = style;
  return previous;
}

int CListCtrl::InsertItem(int index, const char* text) {
  if (index < 0) return -1;
  const int at = std::min(index, GetItemCount());
  std::vector<std::string> row(std::max<std::size_t>(columns_.size(), 1));
  row[0] = text != nullptr ? text : "";
  rows_.insert(rows_.begin() + at, std::move(row));
  if (mark_ >= at) ++mark_;
  return at;
}

bool CListCtrl::ValidCell(int item, int subItem) const {
  return item >= 0 && item < GetItemCount() && subItem >= 0 &&
         static_cast<std::size_t>(subItem) < rows_[static_cast<std::size_t>(item)].size();
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
  if (!ValidCell(item, subItem)) return FALSE;
  rows_[static_cast<std::size_t>(item)][static_cast<std::size_t>(subItem)] = text != nullptr ? text : "";
  return TRUE;
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
  return ValidCell(item, subItem) ? rows_[static_cast<std::size_t>(item)][static_cast<std::size_t>(subItem)]
                                  : std::string();
}

BOOL CListCtrl::DeleteItem(int item) {
  if (item < 0 || item >= GetItemCount()) return FALSE;
  rows_.erase(rows_.begin() + item);
  if (mark_ == item)
    mark_ = -1;
  else if (mark_ > item)
    --mark_;
  return TRUE;
}

BOOL CListCtrl::DeleteAllItems() {
  rows_.clear();
  mark_ = -1;
  return TRUE;
}

int CListCtrl::SetSelectionMark(int item) {
  const int previous = mark_;
  mark_ = item >= 0 && item < GetItemCount() ? item : -1;
  return previous;
}

int CListCtrl::ColumnLeft(int column) const {
  int left = 0;
  for (int c = 0; c < column && c < GetColumnCount(); ++c) left += columns_[static_cast<std::size_t>(c)].width;
  return left;
}

int CListCtrl::RowsWidth() const { return ColumnLeft(GetColumnCount()); }

int CListCtrl::SubItemHitTest(LVHITTESTINFO* info) const {
  info->iItem = -1;
  info->iSubItem = -1;
  const CPoint p = info->pt;
  if (p.y < kHeaderHeight || p.x < 0) return -1;
  const int row = (p.y - kHeaderHeight) / kRowHeight;
  if (row >= GetItemCount()) return -1;
  for (int c = 0; c < GetColumnCount(); ++c) {
    if (p.x < ColumnLeft(c + 1)) {
      info->iItem = row;
      info->iSubItem = c;
      return row;
    }
  }
  return -1;
}

BOOL CListCtrl::GetItemRect(int item, CRect* rect, unsigned code) const {
  return GetSubItemRect(item, 0, code, *rect);
}

BOOL CListCtrl::GetSubItemRect(int item, int subItem, unsigned code, CRect& rect) const {
  if (item < 0 || item >= GetItemCount() || subItem < 0 || subItem >= std::max(GetColumnCount(), 1)) return FALSE;
  const int top = kHeaderHeight + item * kRowHeight;
  if (subItem == 0 && code == LVIR_BOUNDS)
    rect = CRect{0, top, RowsWidth(), top + kRowHeight};
  else
    rect = CRect{ColumnLeft(subItem), top, ColumnLeft(subItem + 1), top + kRowHeight};
  return TRUE;
}

CPoint CListCtrl::CellPoint(int item, int subItem) const {
  const int row = item >= 0 && item < GetItemCount() ? item : GetItemCount();
  const int x = subItem >= 0 && subItem < GetColumnCount() ? (ColumnLeft(subItem) + ColumnLeft(subItem + 1)) / 2
                                                           : RowsWidth() + 1;
  return CPoint{x, kHeaderHeight + row * kRowHeight + kRowHeight / 2};
}
