#include "platform/ui/win_app.h"

#include "platform/call_record.h"

namespace {
HINSTANCE g_resourceHandle = nullptr;
}  // namespace

BOOL CWinApp::InitInstance() {
  KT::Platform::RecordPlatformCall("CWinApp::InitInstance");
  return TRUE;
}

int CWinApp::ExitInstance() {
  KT::Platform::RecordPlatformCall("CWinApp::ExitInstance");
  return 0;
}

void InitCommonControls() { KT::Platform::RecordPlatformCall("InitCommonControls"); }

HINSTANCE AfxGetResourceHandle() { return g_resourceHandle; }

void AfxSetResourceHandle(HINSTANCE handle) { g_resourceHandle = handle; }
