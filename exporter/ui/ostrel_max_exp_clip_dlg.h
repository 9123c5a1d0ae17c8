// COstrelMaxExpClipDlg: the export option and clip-list dialog (resource
// 104), created by the export panel as a modeless child for the content
// types 2, 3, 4, 5 and 13 and docked on its right-hand side.
//
// It chooses the export option (radios 1048 "All", 1049 "Geometry Only",
// 1050 "Animation Only") and edits the clip list 1029 (columns "Name" 180,
// "From" 45, "To" 45 pixels; full-row selection and grid lines) with "New",
// "Remove", "Save" and "Load" and two in-place editors: 1071 for a name (at
// most 256 characters) and 1072 for a frame. The list's texts are the only
// model of the clips while the dialog lives; the panel writes them to the
// file properties at OK.
//
// In-place editing: a double-click on a row marks it; a second one on the
// marked row opens the editor over the cell. When the editor loses the
// focus, its text is checked: an empty name, or a frame pair that
// ClipValidationMessage refuses, is shown in an "Invalid clip" box (stop
// icon) and leaves the cell as it was. Enter commits and Escape restores the
// cell's text first; neither closes the dialog.
#pragma once

#include <string>

#include "exporter/ui/export_settings.h"
#include "platform/host/interface.h"
#include "platform/ui/dialog.h"

class COstrelMaxExpClipDlg : public CDialog {
 public:
  static constexpr int kResource = 104;
  static constexpr int kAll = 1048;
  static constexpr int kGeometryOnly = 1049;
  static constexpr int kAnimationOnly = 1050;
  static constexpr int kClipList = 1029;
  static constexpr int kNew = 1030;
  static constexpr int kRemove = 1032;
  static constexpr int kSave = 1051;
  static constexpr int kLoad = 1052;
  static constexpr int kNameEditor = 1071;
  static constexpr int kNumberEditor = 1072;
  static constexpr int kNameLimit = 256;

  COstrelMaxExpClipDlg(CWnd* parent, Interface* ip, int contentType, bool offersExportOption);

  // Centres on the parent; reads the export option of the type (with its
  // default) and sets the radios by the type's rules (types 3 and 13 lose
  // "All"; type 4 shows "All" instead of "Animation Only", which it loses,
  // while the field keeps the value read; type 2 uses 2 with every radio
  // disabled; option 1 disables the clip controls); sets up the list and
  // reads the type's clip list into it.
  BOOL OnInitDialog() override;
  BOOL OnCommand(int id, int code) override;
  // A double-click on the list: the in-place editing state machine.
  BOOL OnNotify(int id, int code, const NMITEMACTIVATE& info) override;
  // Enter and Escape while an editor has the focus: commit, or restore and
  // commit; consumed either way.
  BOOL PreTranslateMessage(MSG* message) override;
  // Enter and Escape elsewhere in the dialog do nothing: it never closes
  // itself.
  void OnOK() override {}
  void OnCancel() override {}

  // The type, export option and clips as the list shows them (start and
  // end read from the cells' texts).
  OptionSettings Settings() const;

  Interface* ip;
  bool offersExportOption;
  int contentType;
  int exportOption = 0;
  unsigned nextClipNumber = 1;
  int editRow = -1;
  int editColumn = -1;
  bool editing = false;

 private:
  CListCtrl* List() const;
  void EnableClipControls(bool enable);
  void AppendRow(const ClipRow& row);
  void OnNew();
  void OnRemove();
  void OnSave();
  void OnLoad();
  void OnKillFocusName();
  void OnKillFocusNumber();
  // The animation range in whole frames.
  void FrameRange(int& first, int& last) const;
};
