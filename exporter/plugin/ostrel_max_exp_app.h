// COstrelMaxExpApp: the library's application object, without an
// application name. At start-up it initialises the host's custom controls
// and the common controls before the toolkit's own start-up.
#pragma once

#include "platform/ui/win_app.h"

class COstrelMaxExpApp : public CWinApp {
 public:
  COstrelMaxExpApp() : CWinApp(nullptr) {}
  // InitCustomControls (with the current resource handle), then
  // InitCommonControls, then CWinApp::InitInstance; TRUE.
  BOOL InitInstance() override;
  int ExitInstance() override { return CWinApp::ExitInstance(); }
};

// The one application object of the library.
COstrelMaxExpApp& TheOstrelMaxExpApp();
