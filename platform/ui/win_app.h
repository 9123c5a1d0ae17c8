// CWinApp: the application object of a library built on the dialog
// toolkit, with the toolkit's start-up calls. The platform constructs a
// library's one application object when it loads the library and runs its
// InitInstance then; ExitInstance runs at unload.
#pragma once

#include "platform/host/max_types.h"

class CWinApp {
 public:
  // `name` may be null (the library then has no application name).
  explicit CWinApp(const char* name = nullptr) : name_(name) {}
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Records "CWinApp::InitInstance" and answers TRUE.
  virtual BOOL InitInstance();
  // Records "CWinApp::ExitInstance" and answers 0.
  virtual int ExitInstance();
  const char* AppName() const { return name_; }

 private:
  const char* name_;
};

// The common controls' initialisation; recorded as "InitCommonControls".
void InitCommonControls();

// The module whose resources the dialogs come from (null: the program's
// own, where the stand-in keeps every resource).
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE handle);
