#include "exporter/ui/ostrel_max_exp_dlg.h"

#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "exporter/ui/ostrel_max_exp_opt_dlg.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/file_dialog.h"

namespace {

constexpr const char* kImageFilter = "Image File (*.bmp, *.gif, *.jpg)|*.bmp;*.gif;*.jpg||";
constexpr const char* kBrowseTitle = "Select the folder to export into";

}  // namespace

const char* ExtensionForType(unsigned type, unsigned option, bool handOnly) {
  const bool animationOnly = option == 2;
  switch (type) {
    case 0:
    case 1:
    case 12:
      return ".zAvatar";
    case 2:
      return handOnly ? ".zHand" : ".zMotion";
    case 3:
    case 13:
      return animationOnly ? ".zMotion" : ".zAvatar";
    case 4:
      return animationOnly ? ".zAnim" : ".zAcc";
    case 5:
      return animationOnly ? ".zAnim" : ".zProp";
    case 6:
      return ".zTerrain";
    case 7:
      return ".zSky";
    case 8:
      return ".zWater";
    case 9:
      return ".zLight";
    case 10:
      return ".zCam";
    case 14:
      return ".zFace";
    default:
      return ".Drn";
  }
}

COstrelMaxExpDlg::COstrelMaxExpDlg(Interface* host, std::string folder, std::string name, CWnd* parent)
    : CDialog(kResource, parent), ip(host), exportFolder(std::move(folder)), fileName(std::move(name)) {}

COstrelMaxExpDlg::~COstrelMaxExpDlg() { CloseOptionDialogs(); }

std::unique_ptr<COstrelMaxExpClipDlg>* COstrelMaxExpDlg::Slot(int type) {
  switch (type) {
    case 2:
      return &option2_;
    case 3:
      return &option3_;
    case 4:
      return &option4_;
    case 5:
      return &option5_;
    case 13:
      return &option13_;
    default:
      return nullptr;
  }
}

COstrelMaxExpClipDlg* COstrelMaxExpDlg::OptionDialog(int type) const {
  auto* self = const_cast<COstrelMaxExpDlg*>(this);
  std::unique_ptr<COstrelMaxExpClipDlg>* slot = self->Slot(type);
  return slot != nullptr ? slot->get() : nullptr;
}

BOOL COstrelMaxExpDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CRect r;
  GetWindowRect(&r);
  baseWidth = r.Width();
  baseHeight = r.Height();
  if (CWnd* ok = GetDlgItem(IDOK)) {
    ok->GetWindowRect(&r);
    okPosition = r.TopLeft();
  }
  if (CWnd* cancel = GetDlgItem(IDCANCEL)) {
    cancel->GetWindowRect(&r);
    cancelPosition = r.TopLeft();
  }
  // Centred, then moved left to leave room for the option dialog that
  // widens the panel to the right.
  CenterWindow();
  GetWindowRect(&r);
  r.OffsetRect(-kBaseShift, 0);
  MoveWindow(r);
  LoadPanelSettings(ip, settings);
  FillPanelControls();
  return TRUE;
}

void COstrelMaxExpDlg::FillPanelControls() {
  auto* types = dynamic_cast<CComboBox*>(GetDlgItem(kFileType));
  types->ResetContent();
  int row = 0;
  for (int i = 0; i < static_cast<int>(std::size(ContentTypeTable)); ++i) {
    types->AddString(ContentTypeTable[i].name);
    if (static_cast<int>(ContentTypeTable[i].type) == settings.contentType) row = i;
  }
  types->SetCurSel(row);
  OnTypeChanged();

  SetDlgItemText(kFileName, fileName.c_str());
  SetDlgItemText(kExportTo, exportFolder.c_str());
  CheckDlgButton(kOptimiseCheck, settings.optimise ? 1 : 0);
  GetDlgItem(kOptimize)->EnableWindow(settings.optimise ? TRUE : FALSE);
  CheckDlgButton(kBiped, settings.biped ? 1 : 0);
  CheckDlgButton(kHandOnly, settings.handOnly ? 1 : 0);

  const bool assigned = settings.thumbnailMode == 1;
  CheckRadioButton(kAutoGenerate, kAssignThumbnail, assigned ? kAssignThumbnail : kAutoGenerate);
  GetDlgItem(kThumbnailFile)->EnableWindow(assigned ? TRUE : FALSE);
  GetDlgItem(kOpen)->EnableWindow(assigned ? TRUE : FALSE);
  if (assigned) SetDlgItemText(kThumbnailFile, settings.thumbnailFile.c_str());

  auto* sizes = dynamic_cast<CComboBox*>(GetDlgItem(kTextureSize));
  sizes->ResetContent();
  for (const unsigned size : TextureSizeTable) {
    char text[32];
    std::snprintf(text, sizeof text, "%ux%u", size, size);
    sizes->AddString(text);
  }
  CheckRadioButton(kNoLimit, kMaximumTextureSize, settings.textureLimit ? kMaximumTextureSize : kNoLimit);
  sizes->SetCurSel(settings.textureSizeIndex);
  sizes->EnableWindow(settings.textureLimit ? TRUE : FALSE);

  const std::pair<int, const std::string*> information[] = {
      {kAuthor, &settings.author}, {kCompany, &settings.company}, {kEmail, &settings.email}, {kHomePage, &settings.homePage}};
  for (const auto& [id, text] : information) {
    if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(id))) edit->LimitText(kInformationLimit);
    SetDlgItemText(id, text->c_str());
  }
}

void COstrelMaxExpDlg::OnTypeChanged() {
  const int row = dynamic_cast<CComboBox*>(GetDlgItem(kFileType))->GetCurSel();
  if (row < 0 || row >= static_cast<int>(std::size(ContentTypeTable))) return;
  settings.contentType = static_cast<int>(ContentTypeTable[row].type);
  LayoutForType(settings.contentType);
}

void COstrelMaxExpDlg::MoveButtons(int shift) {
  const std::pair<int, CPoint> buttons[] = {{IDOK, okPosition}, {IDCANCEL, cancelPosition}};
  for (const auto& [id, base] : buttons) {
    CWnd* button = GetDlgItem(id);
    if (button == nullptr) continue;
    CRect r;
    button->GetWindowRect(&r);
    button->MoveWindow(CRect{base.x + shift, base.y, base.x + shift + r.Width(), base.y + r.Height()});
  }
}

void COstrelMaxExpDlg::SetBipedControls(bool enable) {
  GetDlgItem(kBiped)->EnableWindow(enable ? TRUE : FALSE);
  GetDlgItem(kHandOnly)->EnableWindow(enable ? TRUE : FALSE);
}

bool COstrelMaxExpDlg::ShowOptionDialogForType(int type) {
  std::unique_ptr<COstrelMaxExpClipDlg>* slot = Slot(type);
  if (slot == nullptr) return false;
  if (!*slot) {
    auto dialog = std::make_unique<COstrelMaxExpClipDlg>(this, ip, type, type != 2);
    if (!dialog->Create(COstrelMaxExpClipDlg::kResource, this)) return false;
    *slot = std::move(dialog);
  }
  if (currentOption != nullptr && currentOption != slot->get()) currentOption->ShowWindow(SW_HIDE);
  currentOption = slot->get();
  CRect option;
  currentOption->GetWindowRect(&option);
  const int width = option.Width();
  CRect panel;
  GetWindowRect(&panel);
  MoveWindow(CRect{panel.left, panel.top, panel.left + baseWidth + width, panel.top + baseHeight});
  currentOption->MoveWindow(CRect{baseWidth, 0, baseWidth + width, option.Height()});
  currentOption->ShowWindow(SW_SHOW);
  MoveButtons(width);
  SetBipedControls(type == 2);
  return true;
}

void COstrelMaxExpDlg::LayoutForType(int type) {
  if (ShowOptionDialogForType(type)) return;
  // The hidden dialog stays current: OK still takes its export option.
  if (currentOption != nullptr) currentOption->ShowWindow(SW_HIDE);
  CRect panel;
  GetWindowRect(&panel);
  MoveWindow(CRect{panel.left, panel.top, panel.left + baseWidth, panel.top + baseHeight});
  MoveButtons(0);
  SetBipedControls(false);
}

BOOL COstrelMaxExpDlg::OnCommand(int id, int code) {
  if (id == kFileType && code == CBN_SELCHANGE) {
    OnTypeChanged();
    return TRUE;
  }
  if (id == kTextureSize) {
    if (code == CBN_SELCHANGE) {
      settings.textureSizeIndex = dynamic_cast<CComboBox*>(GetDlgItem(kTextureSize))->GetCurSel();
      return TRUE;
    }
    if (code == CBN_DROPDOWN) {
      settings.textureLimit = true;
      CheckDlgButton(kMaximumTextureSize, 1);
      CheckDlgButton(kNoLimit, 0);
      return TRUE;
    }
    return FALSE;
  }
  if (code != BN_CLICKED) return CDialog::OnCommand(id, code);
  switch (id) {
    case kAutoGenerate:
    case kAssignThumbnail: {
      const bool assigned = id == kAssignThumbnail;
      settings.thumbnailMode = assigned ? 1 : 0;
      GetDlgItem(kOpen)->EnableWindow(assigned ? TRUE : FALSE);
      GetDlgItem(kThumbnailFile)->EnableWindow(assigned ? TRUE : FALSE);
      return TRUE;
    }
    case kOpen: {
      CFileDialog dialog(TRUE, "jpg", nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, kImageFilter, this);
      if (dialog.DoModal() == IDOK) SetDlgItemText(kThumbnailFile, dialog.GetPathName().c_str());
      return TRUE;
    }
    case kNoLimit:
      settings.textureLimit = false;
      GetDlgItem(kTextureSize)->EnableWindow(FALSE);
      return TRUE;
    case kMaximumTextureSize:
      settings.textureLimit = true;
      GetDlgItem(kTextureSize)->EnableWindow(TRUE);
      return TRUE;
    case kBrowse: {
      BROWSEINFOA info;
      info.hwndOwner = GetSafeHwnd();
      info.lpszTitle = kBrowseTitle;
      info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
      std::string folder;
      if (BrowseForFolder(info, folder)) {
        SetDlgItemText(kExportTo, folder.c_str());
        exportFolder = folder;
      }
      return TRUE;
    }
    case kOptimize: {
      COstrelMaxExpOptDlg dialog(this, settings.sampleRate, settings.thresholdR, settings.thresholdT,
                                 settings.thresholdS, settings.thresholdP);
      if (dialog.DoModal() == IDOK) {
        settings.sampleRate = dialog.sampleRate;
        settings.thresholdR = dialog.thresholdR;
        settings.thresholdT = dialog.thresholdT;
        settings.thresholdS = dialog.thresholdS;
        settings.thresholdP = dialog.thresholdP;
      }
      return TRUE;
    }
    case kOptimiseCheck:
      settings.optimise = IsDlgButtonChecked(kOptimiseCheck) != 0;
      GetDlgItem(kOptimize)->EnableWindow(settings.optimise ? TRUE : FALSE);
      return TRUE;
    case kBiped:
      settings.biped = IsDlgButtonChecked(kBiped) != 0;
      return TRUE;
    case kHandOnly:
      settings.handOnly = IsDlgButtonChecked(kHandOnly) != 0;
      return TRUE;
    default:
      return CDialog::OnCommand(id, code);
  }
}

void COstrelMaxExpDlg::OnOK() {
  settings.author = GetDlgItemText(kAuthor);
  settings.company = GetDlgItemText(kCompany);
  settings.email = GetDlgItemText(kEmail);
  settings.homePage = GetDlgItemText(kHomePage);
  settings.thumbnailFile = GetDlgItemText(kThumbnailFile);
  std::vector<OptionSettings> options;
  for (const int type : {2, 13, 3, 4, 5})
    if (const COstrelMaxExpClipDlg* dialog = OptionDialog(type)) options.push_back(dialog->Settings());
  std::vector<const OptionSettings*> written;
  for (const OptionSettings& option : options) written.push_back(&option);
  SavePanelSettings(ip, settings, written);

  fileName = GetDlgItemText(kFileName);
  exportFolder = GetDlgItemText(kExportTo);
  if (currentOption != nullptr) exportOption = static_cast<unsigned>(currentOption->exportOption);
  CloseOptionDialogs();
  EndDialog(IDOK);
}

void COstrelMaxExpDlg::OnCancel() {
  CloseOptionDialogs();
  EndDialog(IDCANCEL);
}

void COstrelMaxExpDlg::CloseOptionDialogs() {
  for (auto* slot : {&option3_, &option4_, &option5_, &option2_, &option13_}) {
    if (*slot) (*slot)->DestroyWindow();
    slot->reset();
  }
  currentOption = nullptr;
}

std::string COstrelMaxExpDlg::GetExportPath() const {
  std::string path = exportFolder;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  return path + fileName + ExtensionForType(static_cast<unsigned>(settings.contentType), exportOption, settings.handOnly);
}
