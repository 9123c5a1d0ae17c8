#include <cstdio>
#include <string>

#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

int RunCopy(int argc, char** argv) {
  bool rawRoot = false;
  std::string paths[2];
  int count = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--raw-root") {
      rawRoot = true;
    } else if (count < 2 && !arg.empty() && arg[0] != '-') {
      paths[count++] = arg;
    } else {
      count = 3;
    }
  }
  if (count != 2) {
    std::fprintf(stderr, "usage: drn copy IN OUT [--raw-root]\n");
    return 2;
  }
  // With --raw-root the root tree is kept as bytes and written back as is.
  const KT::u32 wanted = rawRoot ? 0x2F : 0x1F;
  LoadedScene scene;
  KT::Result r = LoadSceneFile(paths[0], 0x1E, wanted, scene);
  if (!scene.opened) return 1;
  if (KT::Succeeded(r)) r = SaveSceneFile(paths[1], 0x1F, scene.stream);
  return FinishWithResult(r);
}

}  // namespace drn
