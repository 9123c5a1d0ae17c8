#include "exporter/ui/ostrel_max_exp_clip_dlg.h"

#include <string>

#include "exporter/ui/clip_list_file.h"
#include "objectmodel/string_helpers.h"
#include "platform/text_encoding.h"
#include "platform/ui/file_dialog.h"

namespace {

constexpr const char* kTextFilter = "Text File (*.txt)|*.txt||";
constexpr const char* kInvalidClip = "Invalid clip";
constexpr int kClipControls[] = {COstrelMaxExpClipDlg::kClipList, COstrelMaxExpClipDlg::kNew,
                                 COstrelMaxExpClipDlg::kRemove, COstrelMaxExpClipDlg::kSave,
                                 COstrelMaxExpClipDlg::kLoad};

std::string Decimal(int value) { return std::to_string(value); }

}  // namespace

COstrelMaxExpClipDlg::COstrelMaxExpClipDlg(CWnd* parent, Interface* host, int type, bool offersOption)
    : CDialog(kResource, parent), ip(host), offersExportOption(offersOption), contentType(type) {}

CListCtrl* COstrelMaxExpClipDlg::List() const { return dynamic_cast<CListCtrl*>(GetDlgItem(kClipList)); }

void COstrelMaxExpClipDlg::EnableClipControls(bool enable) {
  for (const int id : kClipControls)
    if (CWnd* c = GetDlgItem(id)) c->EnableWindow(enable ? TRUE : FALSE);
}

BOOL COstrelMaxExpClipDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CenterWindow();
  OptionSettings stored;
  stored.contentType = contentType;
  ReadOptionSettings(ip, stored);
  if (offersExportOption) {
    exportOption = stored.exportOption;
    CheckRadioButton(kAll, kAnimationOnly, kAll + exportOption);
    EnableClipControls(exportOption != 1);
    if (contentType == 3 || contentType == 13) {
      CheckDlgButton(kAll, 0);
      GetDlgItem(kAll)->EnableWindow(FALSE);
    } else if (contentType == 4) {
      // Accessories show "All" in place of "Animation Only"; the field keeps
      // what was read.
      if (IsDlgButtonChecked(kAnimationOnly) != 0) {
        CheckDlgButton(kAnimationOnly, 0);
        CheckDlgButton(kAll, 1);
      }
      GetDlgItem(kAnimationOnly)->EnableWindow(FALSE);
    }
  } else {
    exportOption = 2;
    CheckRadioButton(kAll, kAnimationOnly, kAnimationOnly);
    for (const int id : {kAll, kGeometryOnly, kAnimationOnly}) GetDlgItem(id)->EnableWindow(FALSE);
  }
  if (auto* name = dynamic_cast<CEdit*>(GetDlgItem(kNameEditor))) name->LimitText(kNameLimit);
  CListCtrl* list = List();
  list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  list->InsertColumn(0, "Name", LVCFMT_LEFT, 180);
  list->InsertColumn(1, "From", LVCFMT_LEFT, 45);
  list->InsertColumn(2, "To", LVCFMT_LEFT, 45);
  for (const ClipRow& row : stored.clips) AppendRow(row);
  return TRUE;
}

BOOL COstrelMaxExpClipDlg::OnCommand(int id, int code) {
  if (code == EN_KILLFOCUS) {
    if (id == kNameEditor) OnKillFocusName();
    if (id == kNumberEditor) OnKillFocusNumber();
    return id == kNameEditor || id == kNumberEditor ? TRUE : FALSE;
  }
  if (code != BN_CLICKED) return CDialog::OnCommand(id, code);
  switch (id) {
    case kAll:
      exportOption = 0;
      EnableClipControls(true);
      return TRUE;
    case kGeometryOnly:
      exportOption = 1;
      EnableClipControls(false);
      return TRUE;
    case kAnimationOnly:
      exportOption = 2;
      EnableClipControls(true);
      return TRUE;
    case kNew:
      OnNew();
      return TRUE;
    case kRemove:
      OnRemove();
      return TRUE;
    case kSave:
      OnSave();
      return TRUE;
    case kLoad:
      OnLoad();
      return TRUE;
    default:
      return CDialog::OnCommand(id, code);
  }
}

void COstrelMaxExpClipDlg::FrameRange(int& first, int& last) const {
  first = last = 0;
  if (ip == nullptr) return;
  const Interval range = ip->GetAnimRange();
  const int ticks = GetTicksPerFrame();  // always positive in a host scene
  first = range.Start() / ticks;
  last = range.End() / ticks;
}

void COstrelMaxExpClipDlg::AppendRow(const ClipRow& row) {
  CListCtrl* list = List();
  const int at = list->InsertItem(list->GetItemCount(), row.name.c_str());
  list->SetItemText(at, 1, Decimal(row.start).c_str());
  list->SetItemText(at, 2, Decimal(row.end).c_str());
}

void COstrelMaxExpClipDlg::OnNew() {
  ClipRow row;
  row.name = DefaultClipName(nextClipNumber);
  FrameRange(row.start, row.end);
  AppendRow(row);
  ++nextClipNumber;
}

void COstrelMaxExpClipDlg::OnRemove() {
  CListCtrl* list = List();
  const int mark = list->GetSelectionMark();
  if (mark >= 0) list->DeleteItem(mark);
}

void COstrelMaxExpClipDlg::OnSave() {
  CFileDialog dialog(FALSE, "txt", nullptr, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
                     kTextFilter, this);
  if (dialog.DoModal() != IDOK) return;
  SaveClipListText(KT::Platform::Utf8ToUtf16Lossy(dialog.GetPathName()), contentType, Settings().clips);
}

void COstrelMaxExpClipDlg::OnLoad() {
  CFileDialog dialog(TRUE, "txt", nullptr, OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, kTextFilter, this);
  if (dialog.DoModal() != IDOK) return;
  std::vector<ClipRow> rows;
  if (!LoadClipListText(KT::Platform::Utf8ToUtf16Lossy(dialog.GetPathName()), rows)) return;
  List()->DeleteAllItems();
  for (const ClipRow& row : rows) AppendRow(row);
}

BOOL COstrelMaxExpClipDlg::OnNotify(int id, int code, const NMITEMACTIVATE& info) {
  if (id != kClipList || code != NM_DBLCLK) return CDialog::OnNotify(id, code, info);
  CListCtrl* list = List();
  LVHITTESTINFO hit;
  hit.pt = info.ptAction;
  list->SubItemHitTest(&hit);
  if (hit.iItem < 0 || hit.iSubItem < 0) return TRUE;
  // The first double-click on a row only marks it.
  if (hit.iItem != editRow) {
    editRow = hit.iItem;
    return TRUE;
  }
  editColumn = hit.iSubItem;
  // The label rectangle for a name, the cell moved 3 pixels right for a
  // frame; the editor is 3 pixels narrower and 1 pixel shorter than the cell,
  // in the dialog's client coordinates where it lives.
  CRect cell;
  if (editColumn == 0)
    list->GetItemRect(editRow, &cell, LVIR_LABEL);
  else
    list->GetSubItemRect(editRow, editColumn, LVIR_BOUNDS, cell);
  CRect listRect;
  list->GetWindowRect(&listRect);
  const int left = listRect.left + cell.left + (editColumn == 0 ? 0 : 3);
  const int top = listRect.top + cell.top;
  CWnd* editor = GetDlgItem(editColumn == 0 ? kNameEditor : kNumberEditor);
  editor->MoveWindow(CRect{left, top, left + cell.Width() - 3, top + cell.Height() - 1});
  editor->ShowWindow(SW_SHOW);
  editor->SetFocus();
  editor->SetWindowText(list->GetItemText(editRow, editColumn).c_str());
  editing = true;
  return TRUE;
}

void COstrelMaxExpClipDlg::OnKillFocusName() {
  if (!editing || editColumn != 0) return;
  editing = false;
  CWnd* editor = GetDlgItem(kNameEditor);
  const std::string text = editor->GetWindowText();
  if (text.empty())
    MessageBoxA(GetSafeHwnd(), "The \"Name\" string is empty.", kInvalidClip, MB_OK | MB_ICONSTOP);
  else
    List()->SetItemText(editRow, 0, text.c_str());
  editor->ShowWindow(SW_HIDE);
}

void COstrelMaxExpClipDlg::OnKillFocusNumber() {
  if (!editing || (editColumn != 1 && editColumn != 2)) return;
  editing = false;
  CListCtrl* list = List();
  CWnd* editor = GetDlgItem(kNumberEditor);
  int start = KT::StringToInt(list->GetItemText(editRow, 1));
  int end = KT::StringToInt(list->GetItemText(editRow, 2));
  const int value = KT::StringToInt(editor->GetWindowText());
  editor->SetWindowText(Decimal(value).c_str());
  (editColumn == 1 ? start : end) = value;
  int first = 0;
  int last = 0;
  FrameRange(first, last);
  const std::string message = ClipValidationMessage(start, end, first, last);
  if (!message.empty())
    MessageBoxA(GetSafeHwnd(), message.c_str(), kInvalidClip, MB_OK | MB_ICONSTOP);
  else
    list->SetItemText(editRow, editColumn, Decimal(value).c_str());
  editor->ShowWindow(SW_HIDE);
}

BOOL COstrelMaxExpClipDlg::PreTranslateMessage(MSG* message) {
  if (message->message != WM_KEYDOWN || (message->wParam != VK_RETURN && message->wParam != VK_ESCAPE)) return FALSE;
  CWnd* name = GetDlgItem(kNameEditor);
  CWnd* number = GetDlgItem(kNumberEditor);
  CWnd* editor = message->window;
  if (editor == nullptr || (editor != name && editor != number)) return FALSE;
  if (message->wParam == VK_ESCAPE) {
    if (!editing) return TRUE;
    // Back to the cell's own value, so that committing changes nothing.
    const std::string cell = List()->GetItemText(editRow, editColumn);
    editor->SetWindowText(editColumn == 0 ? cell.c_str() : Decimal(KT::StringToInt(cell)).c_str());
  }
  if (editor == name)
    OnKillFocusName();
  else
    OnKillFocusNumber();
  editor->ShowWindow(SW_HIDE);
  return TRUE;
}

OptionSettings COstrelMaxExpClipDlg::Settings() const {
  OptionSettings out;
  out.contentType = contentType;
  out.exportOption = exportOption;
  const CListCtrl* list = List();
  for (int row = 0; row < list->GetItemCount(); ++row)
    out.clips.push_back(ClipRow{list->GetItemText(row, 0), KT::StringToInt(list->GetItemText(row, 1)),
                                KT::StringToInt(list->GetItemText(row, 2))});
  return out;
}
