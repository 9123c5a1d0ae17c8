#include <cstdio>
#include <string>
#include <vector>

#include "examples/sample_scene.h"
#include "examples/sample_tree.h"
#include "objectmodel/stream.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

int RunSample(int argc, char** argv) {
  if (argc == 2 && std::string(argv[0]) == "--tree") {
    const std::vector<std::uint8_t> tree = KT::BuildSampleTree();
    std::FILE* out = tree.empty() ? nullptr : std::fopen(argv[1], "wb");
    if (out == nullptr) {
      std::fprintf(stderr, "error: cannot write %s\n", argv[1]);
      return 1;
    }
    const bool written = std::fwrite(tree.data(), 1, tree.size(), out) == tree.size();
    if (std::fclose(out) != 0 || !written) {
      std::fprintf(stderr, "error: cannot write %s\n", argv[1]);
      return 1;
    }
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn sample OUT | drn sample --tree OUT\n");
    return 2;
  }
  KT::CStream stream;
  KT::Result r = KT::BuildSampleScene(stream);
  if (KT::Succeeded(r)) r = SaveSceneFile(argv[0], KT::CStream::kAllSections, stream);
  return FinishWithResult(r);
}

}  // namespace drn
