// CDialog: a headless dialog on a resource table, modal or a modeless
// child of another dialog.
//
// DoModal creates the controls, runs OnInitDialog, then plays the current
// UiScript until EndDialog; a script that runs out ends the dialog with
// IDCANCEL, so nothing ever waits for a user. The controls stay until the
// dialog is destroyed or run again, so a caller can look at them afterwards.
//
// Input reaches the dialog as a user's would: a click focuses the control,
// toggles a check box or checks a radio button (unchecking the others of
// its group), then calls OnCommand(id, BN_CLICKED); combo boxes send
// CBN_SELCHANGE and CBN_DROPDOWN, edits EN_SETFOCUS and EN_KILLFOCUS, a
// double-click on a list OnNotify(id, NM_DBLCLK). Enter and Escape are
// offered to PreTranslateMessage of the focus window and its parents up to
// the modal dialog; when none consumes them, the dialog that owns the focus
// runs OnOK or OnCancel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialog_resource.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/ui_script.h"
#include "platform/ui/wnd.h"

class CDialog : public CWnd {
 public:
  CDialog(int resource, CWnd* parent);
  ~CDialog() override;

  // IDOK, IDCANCEL or what EndDialog was given; -1 for an unknown resource.
  virtual int DoModal();
  // Creates the dialog modeless, as a hidden child window of `parent`, and
  // runs OnInitDialog; FALSE (nothing created) for an unknown resource.
  BOOL Create(int resource, CWnd* parent);
  // Destroys the controls and any child dialogs' link to this one; a child
  // dialog leaves its parent's list. Answers FALSE when nothing existed.
  BOOL DestroyWindow();

  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // A notification from control `id`: clicks on OK and Cancel by default;
  // answers whether it was handled.
  virtual BOOL OnCommand(int id, int code);
  // A notification from a list control; nothing by default.
  virtual BOOL OnNotify(int id, int code, const NMITEMACTIVATE& info);
  void EndDialog(int result);

  // The control with that id among this dialog's own, or null.
  CWnd* GetDlgItem(int id) const;
  void SetDlgItemText(int id, const char* text);
  std::string GetDlgItemText(int id) const;
  void CheckDlgButton(int id, int check);
  int IsDlgButtonChecked(int id) const;
  // Checks `id` and unchecks the other buttons with ids from first to last.
  void CheckRadioButton(int first, int last, int id);
  int ResourceId() const { return resource_; }

 protected:
  // Plays one scripted action.
  virtual void Play(const UiAction& action);

 private:
  bool CreateControls(int resource);
  // A control a user can reach: this dialog's own, then those of visible
  // child dialogs.
  CWnd* FindControl(int id) const;
  void Click(CWnd* control);
  void Key(unsigned key);
  int resource_;
  std::vector<std::unique_ptr<CWnd>> controls_;
  std::vector<CDialog*> children_;
  bool ended_ = false;
  int result_ = IDCANCEL;
};
