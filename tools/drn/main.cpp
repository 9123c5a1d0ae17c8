// drn: command-line tool for scene files and the object model.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/drn/commands.h"

namespace {

void PrintHelp() {
  std::printf(
      "usage: drn VERB [ARGS]\n"
      "verbs:\n"
      "  classes             list every class record: NAME PARENT VERSION 0xID\n"
      "  info FILE           load a scene file and summarise its sections and objects\n"
      "  dump FILE           load a scene file and print every object's members\n"
      "  copy IN OUT [--raw-root]\n"
      "                      load and save again (--raw-root keeps the root tree as bytes)\n"
      "  sample OUT          write a small scene that uses every persistent class\n"
      "  sample --tree OUT   write the example tree data\n"
      "  eval FILE TIME...   bring the first root to each time (ms) and print world matrices\n"
      "                      (random draws start from the same seed on every run)\n"
      "  image IN [--layout N] [--resize WxH] [--pixel X,Y]... [--out OUT]\n"
      "                      read an image (.bmp .dib .jpg .jpeg .png .tga .gif .tif .tiff .hdr),\n"
      "                      convert its pixel layout, resize it, print pixels, write it\n"
      "  host FILE [TICK...] load a host scene description and walk it through the host's calls,\n"
      "                      printing each node's world matrix at each tick\n"
      "  tree FILE [--seed N] [--size S V] [--save OUT] [--obj OUT]\n"
      "                      load tree data, compute it as a scene's tree does and print it;\n"
      "                      write it again (--save) or its geometry as OBJ text (--obj)\n"
      "  tree SCENE          print every tree object of a scene file as it loaded and computed\n"
      "  export SCENE.xml OUT_FOLDER [--name NAME] [--type 13|14] [--option all|geometry|animation]\n"
      "         [--clips NAME:FROM-TO,...] [--optimize RATE,R,T,S,P] [--thumbnail IMAGE]\n"
      "         [--max-texture 4096|2048|1024|512|256|none] [--selected] [--host-folder DIR]\n"
      "                      run the exporter on a host scene description as the host does;\n"
      "                      prints each content file written (--about: what the host lists)\n"
      "  --help              show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp();
    std::fprintf(stderr, "drn: no verb given\n");
    return 2;
  }
  const std::string verb = argv[1];
  if (verb == "--help" || verb == "-h" || verb == "help") {
    PrintHelp();
    return 0;
  }
  if (verb == "classes") return drn::RunClasses(argc - 2, argv + 2);
  if (verb == "info") return drn::RunInfo(argc - 2, argv + 2);
  if (verb == "dump") return drn::RunDump(argc - 2, argv + 2);
  if (verb == "copy") return drn::RunCopy(argc - 2, argv + 2);
  if (verb == "sample") return drn::RunSample(argc - 2, argv + 2);
  if (verb == "eval") return drn::RunEval(argc - 2, argv + 2);
  if (verb == "image") return drn::RunImage(argc - 2, argv + 2);
  if (verb == "host") return drn::RunHost(argc - 2, argv + 2);
  if (verb == "tree") return drn::RunTree(argc - 2, argv + 2);
  if (verb == "export") return drn::RunExport(argc - 2, argv + 2);
  std::fprintf(stderr, "drn: unknown verb '%s' (see drn --help)\n", verb.c_str());
  return 2;
}
