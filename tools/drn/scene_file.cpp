#include "tools/drn/scene_file.h"

#include <cstdio>

#include "library/register_library_classes.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/string_helpers.h"
#include "render/images/image_factory.h"

namespace drn {

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
  if (KT::Failed(r)) return r;
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
