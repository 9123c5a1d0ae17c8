#include "platform/ui/file_dialog.h"

#include "platform/ui/ui_script.h"

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, CWnd*)
    : open_(openFileDialog != FALSE),
      defaultExt_(defaultExt != nullptr ? defaultExt : ""),
      filter_(filter != nullptr ? filter : ""),
      flags_(flags),
      path_(fileName != nullptr ? fileName : "") {}

int CFileDialog::DoModal() {
  UiScript& script = UiScript::Current();
  script.RecordDialog({open_ ? RecordedDialog::Kind::kOpen : RecordedDialog::Kind::kSave, filter_, defaultExt_, flags_});
  std::string answer;
  if (!script.TakeAnswer(answer)) return IDCANCEL;
  path_ = answer;
  return IDOK;
}

bool BrowseForFolder(const BROWSEINFOA& info, std::string& path) {
  UiScript& script = UiScript::Current();
  script.RecordDialog({RecordedDialog::Kind::kFolder, info.lpszTitle != nullptr ? info.lpszTitle : "", "", info.ulFlags});
  return script.TakeAnswer(path);
}
