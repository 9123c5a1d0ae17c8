// The record of platform calls that leave no other trace: the control
// initialisations a plug-in makes at start-up and the application object's
// start and exit. Process-wide, in call order, so that a test can check
// which calls were made and in what order.
#pragma once

#include <string>
#include <vector>

namespace KT::Platform {

void RecordPlatformCall(std::string name);
const std::vector<std::string>& PlatformCalls();
void ClearPlatformCalls();

}  // namespace KT::Platform
