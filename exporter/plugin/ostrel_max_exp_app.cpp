#include "exporter/plugin/ostrel_max_exp_app.h"

#include "platform/host/scene_export.h"

namespace {
COstrelMaxExpApp g_app;
}  // namespace

BOOL COstrelMaxExpApp::InitInstance() {
  InitCustomControls(AfxGetResourceHandle());
  InitCommonControls();
  CWinApp::InitInstance();
  return TRUE;
}

COstrelMaxExpApp& TheOstrelMaxExpApp() { return g_app; }
