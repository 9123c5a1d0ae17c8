#include "platform/ui/dialog.h"

#include "platform/ui/spin_button_ctrl.h"

CDialog::CDialog(int resource, CWnd* parent) : resource_(resource) { SetParent(parent); }

CDialog::~CDialog() = default;

bool CDialog::Create() {
  const DialogResource* r = FindDialogResource(resource_);
  if (r == nullptr) return false;
  SetWindowText(r->caption);
  MoveWindow(CRect{0, 0, r->width, r->height});
  controls_.clear();
  for (const ControlResource& c : r->controls) {
    std::unique_ptr<CWnd> control;
    switch (c.kind) {
      case ControlKind::kEdit:
        control = std::make_unique<CEdit>();
        break;
      case ControlKind::kSpin:
        control = std::make_unique<CSpinButtonCtrl>();
        break;
      default:
        control = std::make_unique<CWnd>();
        break;
    }
    control->SetDlgCtrlID(c.id);
    control->SetParent(this);
    control->SetWindowText(c.label);
    control->MoveWindow(c.rect);
    controls_.push_back(std::move(control));
  }
  return true;
}

int CDialog::DoModal() {
  if (!Create()) return -1;
  ended_ = false;
  result_ = IDCANCEL;
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

void CDialog::Play(const UiAction& action) {
  switch (action.kind) {
    case UiAction::Kind::kSetText:
      if (CWnd* c = GetDlgItem(action.id)) c->SetWindowText(action.text.c_str());
      break;
    case UiAction::Kind::kClick:
      if (CWnd* c = GetDlgItem(action.id); c != nullptr && c->IsWindowEnabled()) OnCommand(action.id);
      break;
    case UiAction::Kind::kEnter:
      OnOK();
      break;
    case UiAction::Kind::kEscape:
      OnCancel();
      break;
  }
}

BOOL CDialog::OnCommand(int id) {
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
