#include <cstdio>

#include "examples/sample_scene.h"
#include "objectmodel/stream.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

int RunSample(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn sample OUT\n");
    return 2;
  }
  KT::CStream stream;
  KT::Result r = KT::BuildSampleScene(stream);
  if (KT::Succeeded(r)) r = SaveSceneFile(argv[0], KT::CStream::kAllSections, stream);
  return FinishWithResult(r);
}

}  // namespace drn
