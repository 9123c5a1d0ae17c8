// Runs the scene-file round trip of the fuzzer (or, with --image-decode,
// the image-decode check) over every file of the folders given on the
// command line, without libFuzzer, so that the seed corpora and any saved
// crash input can be replayed in every build.
//
//   replay_corpus [--image-decode] FOLDER...
//
// Exit status 0 when every file passed; 1 with a one-line reason when a
// folder is missing, unreadable or holds no file. A failing input ends the
// process through abort() after the round trip names the fault.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/image_decode_check.h"
#include "fuzz/scene_round_trip.h"

namespace {

namespace fs = std::filesystem;

bool ReadFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  const bool images = argc > 1 && std::string(argv[1]) == "--image-decode";
  const int first = images ? 2 : 1;
  if (argc <= first) {
    std::fprintf(stderr, "usage: replay_corpus [--image-decode] FOLDER...\n");
    return 1;
  }
  std::size_t total = 0;
  for (int i = first; i < argc; ++i) {
    std::error_code error;
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[i], error)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    if (error) {
      std::fprintf(stderr, "replay_corpus: cannot list %s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
    if (files.empty()) {
      std::fprintf(stderr, "replay_corpus: no files in %s\n", argv[i]);
      return 1;
    }
    // A fixed order makes a failure easy to find again.
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::vector<std::uint8_t> bytes;
      if (!ReadFile(file, bytes)) {
        std::fprintf(stderr, "replay_corpus: cannot read %s\n", file.string().c_str());
        return 1;
      }
      std::fprintf(stderr, "%s (%zu bytes)\n", file.string().c_str(), bytes.size());
      if (images) {
        KT::fuzz::RunImageDecode(bytes.data(), bytes.size());
      } else {
        KT::fuzz::RunSceneRoundTrip(bytes.data(), bytes.size());
      }
    }
    total += files.size();
  }
  std::printf("replayed %zu files\n", total);
  return 0;
}
