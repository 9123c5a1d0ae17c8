#include "platform/call_record.h"

namespace KT::Platform {
namespace {

std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

}  // namespace

void RecordPlatformCall(std::string name) { Calls().push_back(std::move(name)); }

const std::vector<std::string>& PlatformCalls() { return Calls(); }

void ClearPlatformCalls() { Calls().clear(); }

}  // namespace KT::Platform
