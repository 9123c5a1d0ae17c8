#include "platform/ui/dialog.h"

#include <algorithm>

#include "platform/ui/combo_box.h"
#include "platform/ui/spin_button_ctrl.h"

namespace {

std::unique_ptr<CWnd> MakeControl(ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
      return std::make_unique<CEdit>();
    case ControlKind::kSpin:
      return std::make_unique<CSpinButtonCtrl>();
    case ControlKind::kCombo:
      return std::make_unique<CComboBox>();
    case ControlKind::kList:
      return std::make_unique<CListCtrl>();
    default:
      return std::make_unique<CWnd>();
  }
}

// The nearest dialog at or above a window.
CDialog* OwningDialog(CWnd* window) {
  for (CWnd* w = window; w != nullptr; w = w->GetParent())
    if (auto* dialog = dynamic_cast<CDialog*>(w)) return dialog;
  return nullptr;
}

bool IsWithin(const CWnd* window, const CWnd* ancestor) {
  for (const CWnd* w = window; w != nullptr; w = w->GetParent())
    if (w == ancestor) return true;
  return false;
}

}  // namespace

CDialog::CDialog(int resource, CWnd* parent) : resource_(resource) { SetParent(parent); }

CDialog::~CDialog() { DestroyWindow(); }

bool CDialog::CreateControls(int resource) {
  const DialogResource* r = FindDialogResource(resource);
  if (r == nullptr) return false;
  DestroyWindow();
  resource_ = resource;
  SetWindowText(r->caption);
  MoveWindow(CRect{0, 0, r->width, r->height});
  for (const ControlResource& c : r->controls) {
    std::unique_ptr<CWnd> control = MakeControl(c.kind);
    control->SetKind(c.kind);
    control->SetChild(true);
    control->SetDlgCtrlID(c.id);
    control->SetParent(this);
    control->SetWindowText(c.label);
    control->MoveWindow(c.rect);
    if (!c.visible) control->ShowWindow(SW_HIDE);
    controls_.push_back(std::move(control));
  }
  return true;
}

BOOL CDialog::DestroyWindow() {
  if (controls_.empty() && children_.empty()) return FALSE;
  for (CDialog* child : children_) child->SetParent(nullptr);
  children_.clear();
  if (auto* parent = dynamic_cast<CDialog*>(GetParent()); parent != nullptr && IsChild()) {
    auto& siblings = parent->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  // A control that has the focus gives it up silently as it goes.
  controls_.clear();
  return TRUE;
}

int CDialog::DoModal() {
  if (!CreateControls(resource_)) return -1;
  SetChild(false);
  ended_ = false;
  result_ = IDCANCEL;
  SetFocus();
  OnInitDialog();
  UiScript& script = UiScript::Current();
  while (!ended_) {
    if (script.Empty()) {
      EndDialog(IDCANCEL);
      break;
    }
    Play(script.Next());
  }
  return result_;
}

BOOL CDialog::Create(int resource, CWnd* parent) {
  SetParent(parent);
  if (!CreateControls(resource)) return FALSE;
  SetChild(true);
  ShowWindow(SW_HIDE);
  if (auto* dialog = dynamic_cast<CDialog*>(parent)) dialog->children_.push_back(this);
  OnInitDialog();
  return TRUE;
}

CWnd* CDialog::FindControl(int id) const {
  if (CWnd* own = GetDlgItem(id)) return own;
  for (const CDialog* child : children_)
    if (child->IsWindowVisible())
      if (CWnd* found = child->FindControl(id)) return found;
  return nullptr;
}

void CDialog::Click(CWnd* control) {
  control->SetFocus();
  CDialog* owner = OwningDialog(control->GetParent());
  if (control->Kind() == ControlKind::kCheck) control->SetCheck(control->GetCheck() == 0 ? 1 : 0);
  if (control->Kind() == ControlKind::kRadio && owner != nullptr) {
    // The radio buttons next to each other in the resource form the group.
    auto& all = owner->controls_;
    auto at = std::find_if(all.begin(), all.end(), [&](const auto& c) { return c.get() == control; });
    auto first = at;
    while (first != all.begin() && (*(first - 1))->Kind() == ControlKind::kRadio) --first;
    for (auto it = first; it != all.end() && (*it)->Kind() == ControlKind::kRadio; ++it) (*it)->SetCheck(0);
    control->SetCheck(1);
  }
  if (owner != nullptr) owner->OnCommand(control->GetDlgCtrlID(), BN_CLICKED);
}

void CDialog::Key(unsigned key) {
  CWnd* start = GetFocus();
  if (start == nullptr || !IsWithin(start, this)) start = this;
  MSG message{start, WM_KEYDOWN, key};
  for (CWnd* w = start; w != nullptr; w = w->GetParent()) {
    if (w->PreTranslateMessage(&message)) return;
    if (w == this) break;
  }
  CDialog* owner = OwningDialog(start);
  if (owner == nullptr) return;
  if (key == VK_RETURN)
    owner->OnOK();
  else
    owner->OnCancel();
}

void CDialog::Play(const UiAction& action) {
  using Kind = UiAction::Kind;
  switch (action.kind) {
    case Kind::kEnter:
      Key(VK_RETURN);
      return;
    case Kind::kEscape:
      Key(VK_ESCAPE);
      return;
    case Kind::kCall:
      if (action.call) action.call();
      return;
    case Kind::kAnswer:  // no file or folder dialog is open to take it
      return;
    default:
      break;
  }
  CWnd* control = FindControl(action.id);
  if (control == nullptr) return;
  if (action.kind == Kind::kKillFocus) {
    if (GetFocus() == control) {
      if (CDialog* owner = OwningDialog(control->GetParent())) owner->SetFocus();
    }
    return;
  }
  if (!control->IsWindowVisible() || !control->IsWindowEnabled()) return;
  CDialog* owner = OwningDialog(control->GetParent());
  switch (action.kind) {
    case Kind::kSetText:
      control->SetFocus();
      if (auto* edit = dynamic_cast<CEdit*>(control))
        edit->Type(action.text.c_str());
      else
        control->SetWindowText(action.text.c_str());
      break;
    case Kind::kClick:
      Click(control);
      break;
    case Kind::kSelect:
      if (auto* combo = dynamic_cast<CComboBox*>(control)) {
        if (action.row < 0 || action.row >= combo->GetCount()) return;
        control->SetFocus();
        combo->SetCurSel(action.row);
        if (owner != nullptr) owner->OnCommand(action.id, CBN_SELCHANGE);
      } else if (auto* list = dynamic_cast<CListCtrl*>(control)) {
        control->SetFocus();
        list->SetSelectionMark(action.row);
      }
      break;
    case Kind::kDropDown:
      if (dynamic_cast<CComboBox*>(control) != nullptr) {
        control->SetFocus();
        if (owner != nullptr) owner->OnCommand(action.id, CBN_DROPDOWN);
      }
      break;
    case Kind::kDoubleClick:
      if (auto* list = dynamic_cast<CListCtrl*>(control)) {
        control->SetFocus();
        NMITEMACTIVATE info;
        info.idFrom = action.id;
        info.code = NM_DBLCLK;
        info.ptAction = list->CellPoint(action.row, action.column);
        LVHITTESTINFO hit;
        hit.pt = info.ptAction;
        list->SubItemHitTest(&hit);
        info.iItem = hit.iItem;
        info.iSubItem = hit.iSubItem;
        if (owner != nullptr) owner->OnNotify(action.id, NM_DBLCLK, info);
      }
      break;
    case Kind::kFocus:
      control->SetFocus();
      break;
    default:
      break;
  }
}

BOOL CDialog::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return FALSE;
  if (id == IDOK) {
    OnOK();
    return TRUE;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

BOOL CDialog::OnNotify(int, int, const NMITEMACTIVATE&) { return FALSE; }

void CDialog::EndDialog(int result) {
  ended_ = true;
  result_ = result;
}

CWnd* CDialog::GetDlgItem(int id) const {
  for (const auto& c : controls_)
    if (c->GetDlgCtrlID() == id) return c.get();
  return nullptr;
}

void CDialog::SetDlgItemText(int id, const char* text) {
  if (CWnd* c = GetDlgItem(id)) c->SetWindowText(text);
}

std::string CDialog::GetDlgItemText(int id) const {
  const CWnd* c = GetDlgItem(id);
  return c != nullptr ? c->GetWindowText() : std::string();
}

void CDialog::CheckDlgButton(int id, int check) {
  if (CWnd* c = GetDlgItem(id)) c->SetCheck(check);
}

int CDialog::IsDlgButtonChecked(int id) const {
  const CWnd* c = GetDlgItem(id);
  return c != nullptr ? c->GetCheck() : 0;
}

void CDialog::CheckRadioButton(int first, int last, int id) {
  for (const auto& c : controls_) {
    const int cid = c->GetDlgCtrlID();
    if (cid >= first && cid <= last) c->SetCheck(cid == id ? 1 : 0);
  }
}
