// COstrelMaxExpDlg: the export panel, "Quenstrale Ostrel Panel" (resource
// 103), in which the user chooses what one export produces. It loads its
// settings from the scene's file properties when it opens and writes them
// back at OK; Cancel writes nothing. For the content types with an option
// dialog (2, 3, 4, 5 and 13) it docks a COstrelMaxExpClipDlg at its base
// width and widens itself by the dialog's width.
//
// The export driver reads the public fields after IDOK and asks for the
// target path with GetExportPath.
#pragma once

#include <memory>
#include <string>

#include "exporter/ui/export_settings.h"
#include "exporter/ui/ostrel_max_exp_clip_dlg.h"
#include "platform/host/interface.h"
#include "platform/ui/dialog.h"

// The content types the panel offers, in the order of its type list.
struct ContentTypeRow {
  unsigned type;
  char name[64];
};
inline constexpr ContentTypeRow ContentTypeTable[] = {{13, "G5 Standard Character"}, {14, "G5 Face"}};

// The texture size limits, indexed by the panel's texture size index.
inline constexpr unsigned TextureSizeTable[] = {4096, 2048, 1024, 512, 256};

// The content file extension of a type: the export option decides between
// motion and model for types 3, 4, 5 and 13, hand only for type 2; ".Drn"
// for 11 and any value outside 0 to 14.
const char* ExtensionForType(unsigned contentType, unsigned exportOption, bool handOnly);

class COstrelMaxExpDlg : public CDialog {
 public:
  static constexpr int kResource = 103;
  static constexpr int kBaseShift = 220;  // pixels left of centre, room for the option dialog
  static constexpr int kFileType = 1047;
  static constexpr int kFileName = 1042;
  static constexpr int kExportTo = 1045;
  static constexpr int kBrowse = 1046;
  static constexpr int kOptimiseCheck = 1062;
  static constexpr int kOptimize = 1055;
  static constexpr int kBiped = 1068;
  static constexpr int kHandOnly = 1069;
  static constexpr int kAuthor = 1005;
  static constexpr int kCompany = 1006;
  static constexpr int kEmail = 1017;
  static constexpr int kHomePage = 1008;
  static constexpr int kAutoGenerate = 1009;
  static constexpr int kAssignThumbnail = 1010;
  static constexpr int kThumbnailFile = 1012;
  static constexpr int kOpen = 1013;
  static constexpr int kNoLimit = 1021;
  static constexpr int kMaximumTextureSize = 1022;
  static constexpr int kTextureSize = 1020;
  static constexpr int kInformationLimit = 255;

  COstrelMaxExpDlg(Interface* ip, std::string exportFolder, std::string fileName, CWnd* parent = nullptr);
  // Destroys the option dialogs that are left.
  ~COstrelMaxExpDlg() override;

  // Records the base size and the OK and Cancel positions, centres the
  // panel and moves it 220 pixels left, loads the settings and fills the
  // controls.
  BOOL OnInitDialog() override;
  // The commands of the panel's controls; anything else goes to the base.
  BOOL OnCommand(int id, int code) override;
  // Saves the settings (with the edits' texts), takes the file name and
  // folder from their edits and the current option dialog's export option,
  // closes the option dialogs and ends with IDOK.
  void OnOK() override;
  // Closes the option dialogs and ends with IDCANCEL; writes nothing.
  void OnCancel() override;

  // Puts the fields into the controls; the type list's selection runs the
  // layout for its type, so the content type becomes the selected row's.
  void FillPanelControls();
  // For a type with an option dialog (2, 3, 4, 5, 13): creates it on first
  // use, hides the previous current one, docks and shows it, widens the
  // panel and enables "Biped" and "Hand Only" for type 2 only; answers false
  // (nothing done) for other types.
  bool ShowOptionDialogForType(int contentType);
  // Destroys every option dialog and clears the current one.
  void CloseOptionDialogs();

  // The folder, a backslash unless it ends with '\' or '/', the file name
  // and the extension of the content type.
  std::string GetExportPath() const;
  std::string GetExportFolder() const { return exportFolder; }
  // The option dialog of a type, or null (not created, or no such type).
  COstrelMaxExpClipDlg* OptionDialog(int contentType) const;

  Interface* ip;
  COstrelMaxExpClipDlg* currentOption = nullptr;
  int baseWidth = 0;
  int baseHeight = 0;
  CPoint okPosition;
  CPoint cancelPosition;
  PanelSettings settings;  // content type, thumbnail, information, texture, flags, optimisation
  std::string exportFolder;
  std::string fileName;
  unsigned exportOption = 0;

 private:
  std::unique_ptr<COstrelMaxExpClipDlg>* Slot(int contentType);
  // The layout of a content type: its option dialog docked, or the panel
  // at its base size with "Biped" and "Hand Only" disabled.
  void LayoutForType(int contentType);
  void OnTypeChanged();
  void MoveButtons(int shift);
  void SetBipedControls(bool enable);
  // The option dialogs of types 3, 4, 5, 2 and 13.
  std::unique_ptr<COstrelMaxExpClipDlg> option3_, option4_, option5_, option2_, option13_;
};
