#include "tools/drn/scene_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "library/register_library_classes.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/string_helpers.h"
#include "render/images/image_factory.h"

namespace drn {

namespace {

// Why a file cannot be opened for reading, in the system's words.
std::string DescribeOpenFailure(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return error.message();
  if (std::filesystem::is_directory(status)) return "is a folder";
  errno = 0;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > 0xFFFFFFFFull) return "larger than 4 GB";
    return "cannot be read";
  }
  return std::strerror(errno);
}

}  // namespace

void RegisterAllClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  KT::ImageFactory::RegisterImageClasses();
  KT::RegisterCustomDataClasses();
  KT::RegisterLibraryClasses();
}

KT::Result LoadSceneFile(const std::string& path, KT::u32 skipMask, KT::u32 wantedMask, LoadedScene& scene) {
  RegisterAllClasses();
  KT::Result r = scene.device.OpenRead(KT::Utf8ToWide(path));
  if (KT::Failed(r)) {
    std::fprintf(stderr, "error: cannot read %s: %s\n", path.c_str(), DescribeOpenFailure(path).c_str());
    return r;
  }
  scene.opened = true;
  scene.stream.SetDevice(&scene.device);
  return scene.stream.Load(skipMask, wantedMask);
}

KT::Result SaveSceneFile(const std::string& path, KT::u32 mask, KT::CStream& stream) {
  KT::CFileIo out;
  KT::Result r = out.OpenWrite(KT::Utf8ToWide(path));
  if (KT::Failed(r)) return r;
  KT::CIoBuffer* previous = stream.GetDevice();
  stream.SetDevice(&out);
  r = stream.Save(mask);
  stream.SetDevice(previous);
  const KT::Result closed = out.Close();
  return KT::Failed(r) ? r : closed;
}

int FinishWithResult(KT::Result result) {
  if (KT::Failed(result)) std::printf("error: %s\n", KT::DescribeResult(result));
  std::printf("result 0x%08X\n", static_cast<unsigned>(result));
  return KT::Failed(result) ? 1 : 0;
}

}  // namespace drn
