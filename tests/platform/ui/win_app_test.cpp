#include "platform/ui/win_app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/call_record.h"

namespace {

TEST(WinApp, StartUpCallsAreRecordedInOrder) {
  KT::Platform::ClearPlatformCalls();
  CWinApp app;
  EXPECT_EQ(app.AppName(), nullptr);
  InitCommonControls();
  EXPECT_EQ(app.InitInstance(), TRUE);
  EXPECT_EQ(app.ExitInstance(), 0);
  EXPECT_EQ(KT::Platform::PlatformCalls(),
            (std::vector<std::string>{"InitCommonControls", "CWinApp::InitInstance", "CWinApp::ExitInstance"}));
  KT::Platform::ClearPlatformCalls();
  EXPECT_TRUE(KT::Platform::PlatformCalls().empty());
}

TEST(WinApp, ResourceHandleIsKeptUntilChanged) {
  EXPECT_EQ(AfxGetResourceHandle(), nullptr);
  HINSTANCE module = reinterpret_cast<HINSTANCE>(0x1000);
  AfxSetResourceHandle(module);
  EXPECT_EQ(AfxGetResourceHandle(), module);
  AfxSetResourceHandle(nullptr);
}

}  // namespace
