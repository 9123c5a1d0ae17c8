// drn host FILE [TICK...]: loads a host scene description and walks it
// through the modelling host's SDK calls, as the exporter would.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/host/scene_report.h"
#include "tools/drn/commands.h"

namespace drn {

namespace {

bool ParseTick(const char* text, TimeValue& tick) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  tick = static_cast<TimeValue>(value);
  return true;
}

}  // namespace

int RunHost(int argc, char** argv) {
  if (argc < 1) {
    std::fprintf(stderr, "usage: drn host FILE [TICK ...]\n");
    return 2;
  }
  std::vector<TimeValue> ticks;
  for (int i = 1; i < argc; ++i) {
    TimeValue t = 0;
    if (!ParseTick(argv[i], t)) {
      std::fprintf(stderr, "drn host: '%s' is not a tick\n", argv[i]);
      return 2;
    }
    ticks.push_back(t);
  }
  KT::Host::SceneDescription description;
  std::string error;
  if (!KT::Host::ReadDescriptionFile(argv[0], description, error)) {
    std::fprintf(stderr, "drn host: %s: %s\n", argv[0], error.c_str());
    return 1;
  }
  std::unique_ptr<KT::Host::HostScene> scene = KT::Host::HostScene::Create(std::move(description), &error);
  if (scene == nullptr) {
    std::fprintf(stderr, "drn host: %s: %s\n", argv[0], error.c_str());
    return 1;
  }
  const KT::Host::ActiveHostScene active(*scene);
  std::vector<std::u16string> names;
  for (const KT::Host::PropertyDesc& p : scene->Properties()) names.push_back(p.name);
  std::fputs(KT::Host::ReportScene(*scene, *scene, names, ticks, KT::Host::ReportDetail::kSummary).c_str(), stdout);
  std::printf("result 0x%08X\n", 0u);
  return 0;
}

}  // namespace drn
