// The common dialogs: CFileDialog (open and save) and the folder browser.
// Headless, both record what they were asked (UiScript::Dialogs) and take
// their answer from the script: when the next scripted action is an
// Answer, it is consumed and chosen; otherwise the dialog is cancelled and
// the script stays as it was.
#pragma once

#include <string>

#include "platform/ui/wnd.h"

inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
inline constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

class CFileDialog {
 public:
  // `filter` in the "Label|pattern|...||" form.
  CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
              CWnd* parent = nullptr);
  // IDOK with the scripted answer, else IDCANCEL.
  int DoModal();
  // The chosen path (UTF-8); empty before a choice.
  std::string GetPathName() const { return path_; }

 private:
  bool open_;
  std::string defaultExt_;
  std::string filter_;
  DWORD flags_;
  std::string path_;
};

inline constexpr unsigned BIF_RETURNONLYFSDIRS = 0x0001;
inline constexpr unsigned BIF_NEWDIALOGSTYLE = 0x0040;

struct BROWSEINFOA {
  HWND hwndOwner = nullptr;
  const char* lpszTitle = nullptr;
  unsigned ulFlags = 0;
};

// The folder browser: answers true and sets `path` to the scripted choice,
// or answers false (cancelled) and leaves `path` alone.
bool BrowseForFolder(const BROWSEINFOA& info, std::string& path);
