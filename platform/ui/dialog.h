// CDialog: a headless dialog on a resource table. DoModal creates the
// controls, runs OnInitDialog, then plays the current UiScript until
// EndDialog; a script that runs out ends the dialog with IDCANCEL, so
// nothing ever waits for a user.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialog_resource.h"
#include "platform/ui/ui_script.h"
#include "platform/ui/wnd.h"

class CDialog : public CWnd {
 public:
  CDialog(int resource, CWnd* parent);
  ~CDialog() override;

  // IDOK, IDCANCEL or what EndDialog was given; -1 for an unknown resource.
  virtual int DoModal();
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // A click on control `id`: OK and Cancel by default; answers whether it
  // was handled.
  virtual BOOL OnCommand(int id);
  void EndDialog(int result);

  // The control with that id, or null.
  CWnd* GetDlgItem(int id) const;
  void SetDlgItemText(int id, const char* text);
  std::string GetDlgItemText(int id) const;
  int ResourceId() const { return resource_; }

 protected:
  // Plays one scripted action.
  virtual void Play(const UiAction& action);

 private:
  bool Create();
  int resource_;
  std::vector<std::unique_ptr<CWnd>> controls_;
  bool ended_ = false;
  int result_ = IDCANCEL;
};
