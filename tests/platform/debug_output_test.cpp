#include "platform/debug_output.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace KT::Platform {
namespace {

TEST(DebugOutput, GoesToStandardErrorAndTheRecorder) {
  std::vector<std::u16string> seen;
  const DebugOutputRecorder previous =
      SetDebugOutputRecorder([&seen](std::u16string_view text) { seen.emplace_back(text); });
  testing::internal::CaptureStderr();
  OutputDebugStringW(u"\u00e9t\u00e9 !");
  OutputDebugStringW(nullptr);
  OutputDebugText("plain");
  const std::string err = testing::internal::GetCapturedStderr();
  SetDebugOutputRecorder(previous);
  EXPECT_EQ(err, "\xc3\xa9t\xc3\xa9 !\nplain\n");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], u"\u00e9t\u00e9 !");
  EXPECT_EQ(seen[1], u"plain");
}

}  // namespace
}  // namespace KT::Platform
