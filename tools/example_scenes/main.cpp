// write_example_scenes FOLDER: writes the example host scenes of the
// character exporter (their description files and the texture they name)
// into FOLDER, normally examples/scenes.
#include <cstdio>
#include <cstring>
#include <string>

#include "examples/scenes/g5_scenes.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc == 2 ? stdout : stderr, "usage: write_example_scenes FOLDER\n");
    return argc == 2 ? 0 : 2;
  }
  std::string error;
  if (!KT::Examples::WriteExampleScenes(argv[1], error)) {
    std::fprintf(stderr, "write_example_scenes: %s\n", error.c_str());
    return 1;
  }
  for (const KT::Examples::ExampleScene& scene : KT::Examples::ExampleScenes())
    std::printf("%s/%s\n", argv[1], scene.file);
  std::printf("%s/%s\n", argv[1], KT::Examples::kUpperTexture);
  return 0;
}
